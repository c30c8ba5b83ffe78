// Reading the first tokens of a regular text file on the OpenMP team: the
// fast path of the benefit and cost files, whose tens of millions of lines
// one thread parses at about 10 ns a line.
//
// The file is read window by window (kTextWindowBlocks blocks of kTextBlock
// bytes). A window ends after its last blank, so no token crosses into the
// next one; each block owns the tokens that start in it. The team counts the
// tokens of every block, a prefix sum gives each block the index of its
// first token, and the team then parses the blocks, each token into its own
// place, so the values do not depend on the number of threads.
//
// The tokens are the runs of non-blank bytes, which are TextReader's tokens
// as long as they hold only printable bytes and are shorter than its cap.
// Any other token, a value the caller refuses, too few tokens or a failed
// read ends the fast path with false, and the caller then reads the file
// again with its serial reader: that reader alone writes the messages, so
// every fault is named as it always was, the first in file order. A fault
// costs the serial read up to it, which stops there.
#pragma once

#include <omp.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "core/tuning.h"
#include "io/readRange.h"
#include "io/textReader.h"

namespace lattis {

namespace textblocks_detail {

// Token starts in the len bytes at p, counting p[0] as one when it is not
// blank (whether the byte before it is blank is for the caller to settle).
std::uint64_t countStarts(const char* p, std::size_t len);
// Where the token that starts at p (not blank) ends: the first blank at or
// after p, or end; plain is cleared when the token holds a byte that
// TextReader stops at (a control byte or one above 0x7e).
inline const char* tokenEnd(const char* p, const char* end, bool& plain) {
    while (p < end) {
        const auto c = static_cast<unsigned char>(*p);
        if (c > 0x20 && c < 0x7f) {
            ++p;
            continue;
        }
        if (textreader_detail::isBlank(static_cast<char>(c))) break;
        plain = false;
        ++p;
    }
    return p;
}

}  // namespace textblocks_detail

// Whether tok is a run of one to nine decimal digits, the tokens that
// TextReader::nextDigits takes, and then its value in v.
inline bool shortDigitRun(std::string_view tok, std::uint32_t& v) {
    if (tok.empty() || tok.size() > 9) return false;
    std::uint32_t value = 0;
    for (char ch : tok) {
        const unsigned d = static_cast<unsigned char>(ch) - static_cast<unsigned>('0');
        if (d > 9) return false;
        value = value * 10 + d;
    }
    v = value;
    return true;
}

// Passes the first `count` tokens of the regular file open at fd, `bytes`
// long, to take(token, index) on the team (omp_get_max_threads()), each
// token once; take returns false to refuse one. True when all were taken;
// false when the caller must read the file serially (see above). take must
// not throw; it runs on several threads at once, for different indices.
// The block and window sizes are the tuned ones but in the tests.
template <class Take>
bool takeTokensOnTeam(int fd, std::uint64_t bytes, std::uint64_t count, Take&& take,
                      std::size_t block = kTextBlock, std::size_t windowBlocks = kTextWindowBlocks) {
    using namespace textblocks_detail;
    using textreader_detail::isBlank;
    const std::size_t window = block * windowBlocks;
    if (count == 0) return true;
    const std::size_t room = static_cast<std::size_t>(std::min<std::uint64_t>(window, bytes));
    std::unique_ptr<char[]> buf(new char[std::max<std::size_t>(room, 1)]);
    // starts[b + 1]: the tokens of block b, then the index of block b's first.
    std::vector<std::uint64_t> starts(windowBlocks + 1);
    std::vector<unsigned char> refused(windowBlocks);
    auto anyRefused = [&refused](std::size_t blocks) {
        return std::any_of(refused.begin(), refused.begin() + static_cast<std::ptrdiff_t>(blocks),
                           [](unsigned char r) { return r != 0; });
    };
    std::uint64_t at = 0, taken = 0;
    while (taken < count) {
        if (at >= bytes) return false;  // too few tokens
        const std::size_t len = static_cast<std::size_t>(std::min<std::uint64_t>(window, bytes - at));
        const std::size_t blocks = (len + block - 1) / block;
        const bool last = at + len == bytes;
        std::size_t used = len;  // the window's bytes up to its last blank
        bool failed = false;
        std::fill(refused.begin(), refused.end(), 0);
        const int team = static_cast<int>(std::min<std::size_t>(blocks, static_cast<std::size_t>(omp_get_max_threads())));
#pragma omp parallel num_threads(team)
        {
#pragma omp for schedule(static)
            for (std::size_t b = 0; b < blocks; ++b) {
                const std::size_t first = b * block, size = std::min(block, len - first);
                int err = 0;  // the serial reader names it
                if (!readRange(fd, buf.get() + first, size, at + first, err)) {
                    refused[b] = 1;
                    continue;
                }
                starts[b + 1] = countStarts(buf.get() + first, size);
            }
#pragma omp single
            {
                failed = anyRefused(blocks);
                if (!failed) {
                    // A block that starts inside a token does not own it.
                    for (std::size_t b = 1; b < blocks; ++b) {
                        const char* p = buf.get() + b * block;
                        if (!isBlank(p[-1]) && !isBlank(p[0])) --starts[b + 1];
                    }
                    if (!last) {
                        // The token cut by the window's end is read again
                        // whole by the next window.
                        std::size_t blank = len;
                        while (blank > 0 && !isBlank(buf[blank - 1])) --blank;
                        if (blank == 0) {
                            failed = true;  // a token as long as the window
                        } else {
                            used = blank;
                            if (used < len) --starts[used / block + 1];
                        }
                    }
                    starts[0] = taken;
                    for (std::size_t b = 0; b < blocks; ++b) starts[b + 1] += starts[b];
                }
            }
            if (!failed) {
#pragma omp for schedule(static)
                for (std::size_t b = 0; b < blocks; ++b) {
                    const char* const data = buf.get();
                    const char* p = data + b * block;
                    const char* const blockEnd = data + std::min(used, (b + 1) * block);
                    const char* const end = data + used;
                    if (p >= blockEnd) continue;
                    if (b > 0 && !isBlank(p[-1]))
                        while (p < end && !isBlank(*p)) ++p;
                    for (std::uint64_t i = starts[b]; i < count; ++i) {
                        while (p < blockEnd && isBlank(*p)) ++p;
                        if (p >= blockEnd) break;
                        bool plain = true;
                        const char* const tokEnd = tokenEnd(p, end, plain);
                        const std::string_view tok(p, static_cast<std::size_t>(tokEnd - p));
                        p = tokEnd;
                        if (!plain || tok.size() >= TextReader::kMaxToken || !take(tok, i)) {
                            refused[b] = 1;
                            break;
                        }
                    }
                }
            }
        }
        if (failed || anyRefused(blocks)) return false;
        taken = starts[blocks];
        at += used;
    }
    return true;
}

}  // namespace lattis
