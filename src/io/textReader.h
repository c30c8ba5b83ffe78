// Streaming reader of whitespace-separated tokens, shared by every text input
// of the programs: the benefit, cost and seed files and the reference pair
// list (and the quoting of tokens in messages, which netpack uses too).
//
// Input is read in blocks as tokens are asked for, so a reader takes from a
// file exactly what its caller needs: a reader of n numbers stops after the
// n-th, and a device or a pipe that never ends (/dev/zero, a fifo whose
// writer stays open) costs one block, not all memory or a wait for its end.
// A token is a run of printable, non-blank bytes. A byte that can belong to
// no number (a control byte other than a blank, or a byte above 0x7e) ends
// the token it is part of, and so does the length cap, so such a token fails
// any numeric parse and reading stops there.
//
// Errors (a file that cannot be opened, is a directory, or fails to read)
// throw std::runtime_error whose message starts with the label the caller
// gave, e.g. "cost file c.txt: cannot open: No such file or directory".
#pragma once

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace lattis {

// Opens a file for reading without waiting for a writer: a fifo that no
// process writes reads as empty at once instead of blocking the open (a
// writer that stays open still makes reads wait for its data). The
// descriptor reads blocking, as any other; -1 with errno on failure. For
// the inputs opened before the options are read (the pair list) and those
// that must be regular files (the network); the text readers open as
// usual, so that a fifo is read once its writer opens it.
int openInput(const std::string& path);

class TextReader {
public:
    // Fits the processor's second-level cache, and is faulted in once: a
    // larger buffer only adds page faults (a 1 MB one took 256 of them).
    static constexpr std::size_t kDefaultBuffer = std::size_t{1} << 17;
    // Longest token taken whole; a longer one is cut here (and fails to parse).
    static constexpr std::size_t kMaxToken = 4096;

    // Opens the file at path; a directory is refused.
    TextReader(const std::string& path, std::string label, std::size_t bufferBytes = kDefaultBuffer);
    // Reads from an open descriptor (such as standard input), which stays open.
    TextReader(int fd, std::string label, std::size_t bufferBytes, bool ownsFd = false);
    // Reads text held in memory, which must outlive the reader.
    struct InMemory {};
    TextReader(InMemory, std::string_view text, std::string label);
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;
    ~TextReader();

    // The next token, or an empty view at the end of the input. The view is
    // valid until the next call.
    std::string_view next();
    // The next token when it is a plain run of one to nine decimal digits:
    // converted into v and consumed. Otherwise false, and only the blanks
    // before the token are consumed, so next() then returns it (or the end).
    // The fast path of long lists of small integers.
    bool nextDigits(std::uint32_t& v);
    // The next two tokens when they are runs of one to eight digits
    // separated by one space and followed by a blank, as on the lines of a
    // pair list: converted into a and b and consumed. Otherwise false, and
    // only the blanks before the first token are consumed.
    bool nextDigitPair(std::uint32_t& a, std::uint32_t& b);
    // Line (from 1) of the token last returned; at the end, the last line.
    std::uint64_t line() const { return tokenLine; }
    const std::string& label() const { return name; }
    // For reading the file by other means (textBlocks.h): the length of the
    // regular file under the reader when nothing has been read from it and
    // its offset is at the start, which the reader then still reads from;
    // otherwise (a pipe, a device, text in memory) none.
    std::optional<std::uint64_t> unreadFileBytes() const;
    int descriptor() const { return fd; }

private:
    void checkNotDirectory();
    // Skips blanks, reading on as needed; false at the end of the input.
    bool skipBlanks();
    // Skips spaces and line breaks within the buffer (the fast paths'
    // blanks), counting lines; returns where it stopped.
    const char* skipSpacesAndBreaks() {
        const char* p = buf + pos;
        const char* const e = buf + end;
        std::uint64_t lines = curLine;
        while (p < e && (*p == ' ' || *p == '\n')) {
            lines += *p == '\n';
            ++p;
        }
        curLine = lines;
        pos = static_cast<std::size_t>(p - buf);
        return p;
    }
    // nextDigits where the token may cross the end of the buffer.
    bool nextDigitsSlow(std::uint32_t& v);
    // Reads more input behind what is held, first moving the bytes from
    // `keep` on to the front; false at the end of the input.
    bool refill(std::size_t& keep);

    std::string name;
    int fd = -1;
    bool ownsFd = false;
    std::unique_ptr<char[]> storage;
    const char* buf = nullptr;
    std::size_t capacity = 0;
    std::size_t pos = 0, end = 0;
    bool atEnd = false;
    std::uint64_t curLine = 1, tokenLine = 1;
};

// A token as messages show it: in double quotes, with control bytes, bytes
// above 0x7e, quotes and backslashes escaped (\x1b, \x00, \", \\), and cut
// after 40 bytes with "..." so that a binary file still gives one short line.
std::string quoteToken(std::string_view tok);

namespace textreader_detail {

// Bit i set where byte i of the 16 at p is a decimal digit. Signed
// compares: bytes from 0x80 up are negative, so never digits.
inline unsigned digitMask(const char* p) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i isDigit =
        _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(bytes, _mm_set1_epi8('9' + 1)));
    return static_cast<unsigned>(_mm_movemask_epi8(isDigit));
}

// The value of the run of `digits` (1 to 8) decimal digits at p, with 8
// bytes readable there: the digits are shifted to the top of a word behind
// leading zeros (bytes past the run leave through the top) and combined in
// pairs, fours and eights by three multiplications.
inline std::uint32_t eightDigits(const char* p, unsigned digits) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    word = (word << (8 * (8 - digits))) & 0x0F0F0F0F0F0F0F0Full;
    word = (word * 2561) >> 8;
    word = ((word & 0x00FF00FF00FF00FFull) * 6553601) >> 16;
    word = ((word & 0x0000FFFF0000FFFFull) * 42949672960001ull) >> 32;
    return static_cast<std::uint32_t>(word);
}

inline bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace textreader_detail

// Inline, for lines of small integers: spaces and line breaks, then a digit
// run of at most eight bytes followed by a blank, well inside the buffer,
// read without bounds checks; everything else (a buffer end near, other
// blanks, longer runs, other tokens) takes the slow path. The run is found
// with one 16-byte comparison and converted with three multiplications
// (the digits shifted to the top of a 64-bit word behind leading zeros),
// where a byte-by-byte loop cost a branch per digit.
inline bool TextReader::nextDigits(std::uint32_t& v) {
    const char* p = skipSpacesAndBreaks();
    const char* const e = buf + end;
    const std::uint64_t lines = curLine;
    if (e - p >= 16) {
        using namespace textreader_detail;
        const unsigned digits = static_cast<unsigned>(__builtin_ctz(~digitMask(p)));
        if (digits >= 1 && digits <= 8 && isBlank(p[digits])) {
            v = eightDigits(p, digits);
            pos = static_cast<std::size_t>(p + digits - buf);
            tokenLine = lines;
            return true;
        }
    }
    return nextDigitsSlow(v);
}

inline bool TextReader::nextDigitPair(std::uint32_t& a, std::uint32_t& b) {
    using namespace textreader_detail;
    const char* p = skipSpacesAndBreaks();
    const char* const e = buf + end;
    const std::uint64_t lines = curLine;
    // Both runs and the blank after them lie in the 16 bytes compared; the
    // conversions read up to 8 bytes from the second run's start.
    if (e - p < 24) return false;
    const unsigned mask = digitMask(p);
    const unsigned first = static_cast<unsigned>(__builtin_ctz(~mask));
    if (first < 1 || first > 8 || p[first] != ' ') return false;
    const unsigned second = static_cast<unsigned>(__builtin_ctz(~(mask >> (first + 1))));
    if (second < 1 || second > 8 || first + 1 + second >= 16 || !isBlank(p[first + 1 + second])) return false;
    a = eightDigits(p, first);
    b = eightDigits(p + first + 1, second);
    pos = static_cast<std::size_t>(p + first + 1 + second - buf);
    tokenLine = lines;
    return true;
}

}  // namespace lattis
