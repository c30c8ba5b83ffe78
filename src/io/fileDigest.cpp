// The file digest of fileDigest.h: one read pass in 1 MiB pieces.
#include "io/fileDigest.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "io/textReader.h"

namespace lattis {

namespace {

constexpr std::uint64_t kPrime = 0x100000001b3ull;

// Native byte order: the processes that compare digests run one build on
// machines of one kind.
std::uint64_t wordAt(const unsigned char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

}  // namespace

void ByteHash::add(std::span<const unsigned char> bytes) {
    total += bytes.size();
    std::size_t at = 0;
    if (held > 0) {
        const std::size_t take = std::min(bytes.size(), sizeof pending - held);
        std::memcpy(pending + held, bytes.data(), take);
        held += take;
        at = take;
        if (held < sizeof pending) return;
        for (int i = 0; i < 4; ++i) lanes[i] = (lanes[i] ^ wordAt(pending + 8 * i)) * kPrime;
        held = 0;
    }
    for (; at + sizeof pending <= bytes.size(); at += sizeof pending) {
        const unsigned char* p = bytes.data() + at;
        for (int i = 0; i < 4; ++i) lanes[i] = (lanes[i] ^ wordAt(p + 8 * i)) * kPrime;
    }
    std::memcpy(pending, bytes.data() + at, bytes.size() - at);
    held = bytes.size() - at;
}

std::uint64_t ByteHash::value() const {
    // The tail byte by byte (plain FNV-1a), then the lanes and the length.
    std::uint64_t h = lanes[0];
    for (std::size_t i = 0; i < held; ++i) h = (h ^ pending[i]) * kPrime;
    for (int i = 1; i < 4; ++i) h = (h ^ lanes[i]) * kPrime;
    return (h ^ total) * kPrime;
}

FileDigest fileDigest(const std::string& path) {
    FileDigest d;
    const int fd = openInput(path);
    if (fd < 0) return d;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return d;
    }
    std::vector<unsigned char> buffer(1 << 20);
    ByteHash hash;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            ::close(fd);
            return d;
        }
        if (got == 0) break;
        hash.add({buffer.data(), static_cast<std::size_t>(got)});
        d.size += static_cast<std::uint64_t>(got);
    }
    ::close(fd);
    d.readable = true;
    d.hash = hash.value();
    return d;
}

}  // namespace lattis
