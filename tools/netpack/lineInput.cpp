// Line input of netpack's text files; see lineInput.h.
//
// Input is inflated with zlib when it starts with the gzip magic and passed
// through otherwise, read with plain read(2) in blocks of 128 KiB.
#include "netpack/lineInput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace netpack {

void lineFault(const std::string& path, std::uint64_t line, const std::string& what) {
    throw std::runtime_error(path + ":" + std::to_string(line) + ": " + what);
}

GzInput::GzInput(const std::string& path) : path(path) {
    do fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) throw std::runtime_error(path + ": cannot open: " + std::strerror(errno));
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw std::runtime_error(path + ": is a directory, not a file");
    }
    in.reset(new unsigned char[kIn]);
    while (have < 2 && fill(0)) {
    }
    gzip = have >= 2 && in[0] == 0x1f && in[1] == 0x8b;
    if (gzip && inflateInit2(&zs, 15 + 16) != Z_OK) {
        ::close(fd);
        throw std::runtime_error(path + ": cannot start decompression: out of memory");
    }
}

GzInput::~GzInput() {
    if (gzip) inflateEnd(&zs);
    ::close(fd);
}

std::size_t GzInput::read(char* buf, std::size_t cap, std::uint64_t line) {
    std::size_t out = 0;
    if (!gzip) {
        while (out < cap) {
            if (used == have && !fill(line)) break;
            const std::size_t n = std::min(cap - out, have - used);
            std::memcpy(buf + out, in.get() + used, n);
            used += n;
            out += n;
        }
        return out;
    }
    while (out < cap) {
        if (used == have && !fill(line)) {
            if (inMember) lineFault(path, line + 1, "expected more compressed data: the gzip stream is truncated");
            break;
        }
        if (!inMember) {
            // A member ended: only another member may follow.
            while (have - used < 2 && fill(line)) {
            }
            if (have - used < 2 || in[used] != 0x1f || in[used + 1] != 0x8b)
                lineFault(path, line + 1,
                          "expected the end of the file or another gzip member after the end of the gzip stream, "
                          "found other data");
            inflateReset(&zs);
            inMember = true;
        }
        zs.next_in = in.get() + used;
        zs.avail_in = static_cast<uInt>(have - used);
        zs.next_out = reinterpret_cast<Bytef*>(buf + out);
        zs.avail_out = static_cast<uInt>(std::min<std::size_t>(cap - out, UINT32_MAX));
        const int rc = inflate(&zs, Z_NO_FLUSH);
        used = have - zs.avail_in;
        out = static_cast<std::size_t>(reinterpret_cast<char*>(zs.next_out) - buf);
        if (rc == Z_STREAM_END)
            inMember = false;
        else if (rc != Z_OK && rc != Z_BUF_ERROR)
            lineFault(path, line + 1,
                      std::string("damaged gzip data: ") + (zs.msg != nullptr ? zs.msg : "inflate failed"));
    }
    return out;
}

bool GzInput::fill(std::uint64_t line) {
    if (used > 0) {
        std::memmove(in.get(), in.get() + used, have - used);
        have -= used;
        used = 0;
    }
    for (;;) {
        const ssize_t got = ::read(fd, in.get() + have, kIn - have);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) lineFault(path, line + 1, std::strerror(errno));
        have += static_cast<std::size_t>(got);
        return got > 0;
    }
}

std::uint64_t parseNodeId(const std::string& path, std::uint64_t line, std::string_view t) {
    std::uint64_t id = 0;
    if (!parseWhole(t, id) || id > kMaxOriginalId) {
        if (t[0] == '-') lineFault(path, line, "expected a non-negative node id, got " + quoteToken(t));
        lineFault(path, line, "expected a node id (an integer from 0 to 2^63), got " + quoteToken(t));
    }
    return id;
}

}  // namespace netpack
