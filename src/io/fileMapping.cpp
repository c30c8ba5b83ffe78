// Read-only file mappings and the stop on a mapped file cut short; see
// fileMapping.h.
#include "io/fileMapping.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "io/temporaryRegistry.h"

namespace lattis {

FileMapping::~FileMapping() {
    if (base != nullptr) munmap(const_cast<std::byte*>(base), length);
}

bool FileMapping::map(int fd, std::uint64_t bytes, int& err) noexcept {
    *this = FileMapping();
    if (bytes == 0) return true;
    void* at = mmap(nullptr, bytes, PROT_READ, MAP_PRIVATE, fd, 0);
    if (at == MAP_FAILED) {
        err = errno;
        return false;
    }
    base = static_cast<const std::byte*>(at);
    length = bytes;
    return true;
}

void FileMapping::release(std::uint64_t from, std::uint64_t to) const noexcept {
    const auto page = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    from = (from + page - 1) / page * page;
    to = to / page * page;
    if (from < to && to <= length)
        madvise(const_cast<std::byte*>(base) + from, to - from, MADV_DONTNEED);
}

void FileMapping::keepFirst(std::uint64_t bytes) noexcept {
    const auto page = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    const std::uint64_t kept = (bytes + page - 1) / page * page;
    if (base == nullptr || kept >= length) return;
    if (kept == 0) {
        *this = FileMapping();
        return;
    }
    munmap(const_cast<std::byte*>(base) + kept, length - kept);
    length = kept;
}

namespace {

// The line the handler writes, made before it is installed: the handler
// may only make async-signal-safe calls.
char shrunkLine[8192];
std::size_t shrunkLength = 0;

void stopShrunk(int) {
    removeRegisteredTemporaries();
    ssize_t ignored = write(STDERR_FILENO, shrunkLine, shrunkLength);
    (void)ignored;
    _exit(1);
}

}  // namespace

void stopOnShrunkMapping(const std::string& program, const std::string& file) {
    const std::string line =
        program + ": \"" + file + "\" was cut short while it was read through a mapping; no output was written\n";
    shrunkLength = std::min(line.size(), sizeof shrunkLine);
    std::memcpy(shrunkLine, line.data(), shrunkLength);
    struct sigaction act {};
    act.sa_handler = stopShrunk;
    sigemptyset(&act.sa_mask);
    sigaction(SIGBUS, &act, nullptr);
}

}  // namespace lattis
