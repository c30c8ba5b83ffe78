// Bit arrays in 64-bit words that a thread team shares: setting a bit that
// other threads may set bits of the same word beside, and where each
// thread's stretch of words starts in the list of the set bits.
//
// Assumes the words are not written while the offsets are counted.
#pragma once

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace lattis {

// Sets `bit` of `word`; whether this call set it. Most bits asked for are
// set already, so the word is read first and written only for a new bit.
inline bool setSharedBit(std::uint64_t& word, std::uint64_t bit) {
    std::atomic_ref<std::uint64_t> w(word);
    if (w.load(std::memory_order_relaxed) & bit) return false;
    return (w.fetch_or(bit, std::memory_order_relaxed) & bit) == 0;
}

// The first of `words` words in stretch p of `parts` (p = parts: the end).
inline std::size_t stretchStart(std::size_t words, int parts, int p) {
    return words * static_cast<std::size_t>(p) / static_cast<std::size_t>(parts);
}

// The set bits before each of the `parts` stretches of `words` words, and
// all of them last (parts + 1 entries); bitsOf(w) is word w. Counted on
// `parts` threads, the same on any number.
template <class BitsOf>
std::vector<std::size_t> stretchOffsets(std::size_t words, int parts, BitsOf bitsOf) {
    struct alignas(64) PaddedCount {
        std::size_t value = 0;
    };
    std::vector<PaddedCount> count(static_cast<std::size_t>(parts));
#pragma omp parallel for schedule(static, 1) num_threads(parts) if (parts > 1)
    for (int p = 0; p < parts; ++p) {
        std::size_t c = 0;
        for (std::size_t w = stretchStart(words, parts, p); w < stretchStart(words, parts, p + 1); ++w)
            c += static_cast<std::size_t>(std::popcount(bitsOf(w)));
        count[static_cast<std::size_t>(p)].value = c;
    }
    std::vector<std::size_t> offset(static_cast<std::size_t>(parts) + 1, 0);
    for (int p = 0; p < parts; ++p)
        offset[static_cast<std::size_t>(p) + 1] = offset[static_cast<std::size_t>(p)] + count[static_cast<std::size_t>(p)].value;
    return offset;
}

}  // namespace lattis
