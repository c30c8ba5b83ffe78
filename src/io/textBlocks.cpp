// The byte-level steps of reading text on the team; see textBlocks.h.
#include "io/textBlocks.h"

#include <emmintrin.h>

#include <bit>

namespace lattis::textblocks_detail {

namespace {

// Bit i set where byte i of the 16 at p is blank: a space or \t .. \r.
unsigned blankMask(const char* p) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i space = _mm_cmpeq_epi8(bytes, _mm_set1_epi8(' '));
    const __m128i fromTab = _mm_sub_epi8(bytes, _mm_set1_epi8('\t'));
    const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(fromTab, _mm_set1_epi8(4)), fromTab);
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(space, control)));
}

}  // namespace

std::uint64_t countStarts(const char* p, std::size_t len) {
    // A start is a byte that is not blank after one that is; the byte
    // before p counts as blank.
    std::uint64_t starts = 0;
    unsigned before = 1;  // bit 0: whether the byte before the next 16 is blank
    std::size_t i = 0;
    for (; i + 16 <= len; i += 16) {
        const unsigned blank = blankMask(p + i);
        const unsigned after = ((blank << 1) | before) & 0xFFFFu;
        starts += static_cast<std::uint64_t>(std::popcount(~blank & after & 0xFFFFu));
        before = blank >> 15;
    }
    bool wasBlank = before != 0;
    for (; i < len; ++i) {
        const bool blank = textreader_detail::isBlank(p[i]);
        starts += static_cast<std::uint64_t>(!blank && wasBlank);
        wasBlank = blank;
    }
    return starts;
}

}  // namespace lattis::textblocks_detail
