// Line-by-line reading of netpack's text inputs (edge lists, Matrix Market
// files, the id map, seed files, and the cost, benefit and target files given
// by original id), plain or gzip-compressed (detected from the content, not
// the name), with the splitting of a line into blank-separated fields.
//
// Lines end in '\n'; a '\r' before it (Windows line ends) is not part of the
// line, and the last line need not end in '\n'. Fields are separated by
// spaces and tabs. Faults throw std::runtime_error "FILE:LINE: what".
#pragma once

#include <zlib.h>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "io/textReader.h"
#include "netpack/netpack.h"

namespace netpack {

[[noreturn]] void lineFault(const std::string& path, std::uint64_t line, const std::string& what);

// The bytes of a file, inflated when it starts with the gzip magic and
// passed through otherwise. Further gzip members are read on; anything else
// after the end of a member is refused rather than dropped, and a stream that
// ends inside a member is a truncated file.
class GzInput {
public:
    explicit GzInput(const std::string& path);
    GzInput(const GzInput&) = delete;
    GzInput& operator=(const GzInput&) = delete;
    ~GzInput();

    // Up to cap bytes; fewer only at the end of the data. `line` is the
    // number of lines complete so far, for the message of a damaged stream.
    std::size_t read(char* buf, std::size_t cap, std::uint64_t line);

private:
    // Reads more of the file behind the unused bytes; false at its end.
    bool fill(std::uint64_t line);

    static constexpr std::size_t kIn = std::size_t{1} << 17;
    std::string path;
    int fd = -1;
    std::unique_ptr<unsigned char[]> in;
    std::size_t have = 0, used = 0;
    bool gzip = false, inMember = true;
    z_stream zs{};
};

// Calls onLine(text, number) for every line, without its '\n' and without a
// trailing '\r'. The last line need not end in '\n'.
template <class F>
void scanLines(GzInput& in, const std::string& path, std::uint64_t& lineNo, std::uint64_t& bytes, F&& onLine) {
    constexpr std::size_t kBuf = std::size_t{1} << 20;
    std::unique_ptr<char[]> buf(new char[kBuf]);
    std::size_t have = 0;
    for (;;) {
        std::size_t want = kBuf - have;
        std::size_t got = in.read(buf.get() + have, want, lineNo);
        bytes += got;
        have += got;
        bool eof = got < want;
        const char* p = buf.get();
        const char* end = p + have;
        while (const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)))) {
            const char* e = (nl > p && nl[-1] == '\r') ? nl - 1 : nl;
            onLine(std::string_view(p, static_cast<std::size_t>(e - p)), ++lineNo);
            p = nl + 1;
        }
        std::size_t rest = static_cast<std::size_t>(end - p);
        if (eof) {
            if (rest > 0) {
                if (end[-1] == '\r') --end;
                onLine(std::string_view(p, static_cast<std::size_t>(end - p)), ++lineNo);
            }
            return;
        }
        if (rest == kBuf) lineFault(path, lineNo + 1, "expected a line shorter than 1 MiB");
        std::memmove(buf.get(), p, rest);
        have = rest;
    }
}

inline bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Up to three blank-separated fields; `more` tells whether a fourth exists.
struct Fields {
    std::string_view f[3];
    int count = 0;
    bool more = false;
};

inline Fields split(std::string_view line) {
    Fields r;
    const char* p = line.data();
    const char* end = p + line.size();
    for (;;) {
        while (p < end && isBlank(*p)) ++p;
        if (p == end) return r;
        if (r.count == 3) {
            r.more = true;
            return r;
        }
        const char* s = p;
        while (p < end && !isBlank(*p)) ++p;
        r.f[r.count++] = std::string_view(s, static_cast<std::size_t>(p - s));
    }
}

// A comment line: its first field starts with '#' or '%'.
inline bool isComment(const Fields& fl) {
    return fl.f[0][0] == '#' || fl.f[0][0] == '%';
}

template <class T>
inline bool parseWhole(std::string_view t, T& value) {
    auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    return ec == std::errc() && p == t.data() + t.size();
}

// An original node id as edge lists give it: an integer from 0 to 2^63.
std::uint64_t parseNodeId(const std::string& path, std::uint64_t line, std::string_view t);

}  // namespace netpack
