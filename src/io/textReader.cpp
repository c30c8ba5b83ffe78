// Streaming token reader and token quoting; see textReader.h.
#include "io/textReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace lattis {

namespace {

enum ByteKind : unsigned char { kWord, kBlank, kStop };

// kBlank: the separators; kWord: printable ASCII; kStop: everything else,
// which ends a token after itself.
constexpr std::array<unsigned char, 256> kKinds = [] {
    std::array<unsigned char, 256> k{};
    for (int c = 0; c < 256; ++c) k[static_cast<std::size_t>(c)] = (c > 0x20 && c < 0x7f) ? kWord : kStop;
    for (char c : {' ', '\t', '\n', '\v', '\f', '\r'}) k[static_cast<unsigned char>(c)] = kBlank;
    return k;
}();

inline unsigned char kindOf(char c) { return kKinds[static_cast<unsigned char>(c)]; }

}  // namespace

int openInput(const std::string& path) {
    int fd = -1;
    do fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

TextReader::TextReader(const std::string& path, std::string label, std::size_t bufferBytes)
    : name(std::move(label)), ownsFd(true), capacity(std::max(bufferBytes, std::size_t{16})) {
    // A blocking open: a fifo is read once its writer opens it.
    do fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) throw std::runtime_error(name + ": cannot open: " + std::strerror(errno));
    checkNotDirectory();
    storage.reset(new char[capacity]);
    buf = storage.get();
}

TextReader::TextReader(int fd, std::string label, std::size_t bufferBytes, bool ownsFd)
    : name(std::move(label)), fd(fd), ownsFd(ownsFd), capacity(std::max(bufferBytes, std::size_t{16})) {
    checkNotDirectory();
    storage.reset(new char[capacity]);
    buf = storage.get();
}

TextReader::TextReader(InMemory, std::string_view text, std::string label)
    : name(std::move(label)), buf(text.data()), capacity(text.size()), end(text.size()), atEnd(true) {}

TextReader::~TextReader() {
    if (ownsFd && fd >= 0) ::close(fd);
}

std::optional<std::uint64_t> TextReader::unreadFileBytes() const {
    if (fd < 0 || pos != 0 || end != 0 || atEnd || ::lseek(fd, 0, SEEK_CUR) != 0) return std::nullopt;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

void TextReader::checkNotDirectory() {
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        if (ownsFd) ::close(fd);
        fd = -1;
        throw std::runtime_error(name + ": is a directory, not a file");
    }
}

bool TextReader::refill(std::size_t& keep) {
    if (atEnd) return false;
    char* data = storage.get();
    const std::size_t kept = end - keep;
    if (kept > 0 && keep > 0) std::memmove(data, data + keep, kept);
    pos -= keep;
    end = kept;
    keep = 0;
    if (end == capacity) return false;  // a token fills the buffer: the caller cuts it
    // One read: a pipe delivers what its writer has written so far, which is
    // taken rather than waiting for a full block.
    ssize_t got;
    do got = ::read(fd, data + end, capacity - end);
    while (got < 0 && errno == EINTR);
    if (got < 0) throw std::runtime_error(name + ": read failed: " + std::strerror(errno));
    if (got == 0) atEnd = true;
    end += static_cast<std::size_t>(got);
    return end > kept;
}

bool TextReader::skipBlanks() {
    for (;;) {
        while (pos < end && kindOf(buf[pos]) == kBlank) {
            if (buf[pos] == '\n') ++curLine;
            ++pos;
        }
        if (pos < end) return true;
        std::size_t keep = pos;
        if (!refill(keep)) return false;
    }
}

bool TextReader::nextDigitsSlow(std::uint32_t& v) {
    if (!skipBlanks()) return false;
    std::size_t start = pos;
    std::uint64_t value = 0;
    for (;;) {
        while (pos < end) {
            const unsigned d = static_cast<unsigned char>(buf[pos]) - static_cast<unsigned>('0');
            if (d > 9) break;
            value = value * 10 + d;
            ++pos;
            if (pos - start > 9) break;
        }
        if (pos < end || pos - start > 9) break;
        if (!refill(start)) break;
    }
    const std::size_t digits = pos - start;
    if (digits == 0 || digits > 9 || (pos < end && kindOf(buf[pos]) != kBlank)) {
        pos = start;
        return false;
    }
    tokenLine = curLine;
    v = static_cast<std::uint32_t>(value);
    return true;
}

std::string_view TextReader::next() {
    if (!skipBlanks()) {
        tokenLine = curLine;
        return {};
    }
    tokenLine = curLine;
    std::size_t start = pos;
    const std::size_t cap = std::min(kMaxToken, capacity);
    for (;;) {
        const std::size_t limit = std::min(end, start + cap);
        while (pos < limit && kindOf(buf[pos]) == kWord) ++pos;
        if (pos < end || pos - start >= cap) break;
        if (!refill(start)) break;
    }
    // A byte that can belong to no number closes the token after itself.
    if (pos < end && pos - start < cap && kindOf(buf[pos]) == kStop) ++pos;
    return {buf + start, pos - start};
}

std::string quoteToken(std::string_view tok) {
    constexpr std::size_t kShown = 40;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string r = "\"";
    for (char ch : tok.substr(0, kShown)) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            r += '\\';
            r += ch;
        } else if (c < 0x20 || c > 0x7e) {
            r += "\\x";
            r += kHex[c >> 4];
            r += kHex[c & 15];
        } else {
            r += ch;
        }
    }
    if (tok.size() > kShown) r += "...";
    r += '"';
    return r;
}

}  // namespace lattis
