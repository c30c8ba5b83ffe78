// Reading a stretch of a file in full; see readRange.h.
#include "io/readRange.h"

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>

namespace lattis {

bool readRange(int fd, void* dst, std::uint64_t len, std::uint64_t at, int& err) noexcept {
    char* out = static_cast<char*>(dst);
    while (len > 0) {
        const ssize_t got = ::pread(fd, out, len, static_cast<off_t>(at));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            err = got < 0 ? errno : 0;
            return false;
        }
        out += got;
        at += static_cast<std::uint64_t>(got);
        len -= static_cast<std::uint64_t>(got);
    }
    return true;
}

}  // namespace lattis
