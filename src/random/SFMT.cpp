// SFMT-19937: seeding, period certification and block regeneration.
//
// The recursion runs on SSE2, which every x86-64 processor has, so there is
// one code path. State words and caller arrays are read and written with
// unaligned loads and stores, so neither the state record nor the caller's
// array needs 16-byte alignment. The lane order of a word (lane 0 least
// significant) is the little-endian byte order of x86-64, so one 128-bit load
// of a uint32 or uint64 array yields exactly the word its lanes hold.
#include "random/SFMT.h"

#include <emmintrin.h>

#include <cassert>
#include <cstddef>

namespace lattis {

namespace {

constexpr std::uint32_t kParity[4] = {SFMT_PARITY1, SFMT_PARITY2, SFMT_PARITY3, SFMT_PARITY4};

std::uint32_t& flat32(sfmt_t* sfmt, int j) { return sfmt->state[j >> 2].u[j & 3]; }

// R(a, b, c, d) = a ^ (a << SL2*8) ^ ((b >> SR1) & MSK) ^ (c >> SR2*8) ^ (d << SL1),
// the 128-bit shifts taken over the little-endian word.
inline __m128i recursion(__m128i a, __m128i b, __m128i c, __m128i d, __m128i mask) {
    const __m128i x = _mm_slli_si128(a, SFMT_SL2);
    const __m128i y = _mm_srli_si128(c, SFMT_SR2);
    const __m128i z = _mm_and_si128(_mm_srli_epi32(b, SFMT_SR1), mask);
    const __m128i v = _mm_slli_epi32(d, SFMT_SL1);
    return _mm_xor_si128(_mm_xor_si128(_mm_xor_si128(a, x), _mm_xor_si128(z, y)), v);
}

inline __m128i maskWord() {
    return _mm_set_epi32(static_cast<int>(SFMT_MSK4), static_cast<int>(SFMT_MSK3), static_cast<int>(SFMT_MSK2),
                         static_cast<int>(SFMT_MSK1));
}

inline __m128i load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void store(void* p, __m128i w) { _mm_storeu_si128(static_cast<__m128i*>(p), w); }

void periodCertification(sfmt_t* sfmt) {
    std::uint32_t inner = 0;
    for (int i = 0; i < 4; ++i) inner ^= flat32(sfmt, i) & kParity[i];
    for (int shift = 16; shift > 0; shift >>= 1) inner ^= inner >> shift;
    if (inner & 1) return;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 32; ++j) {
            const std::uint32_t work = std::uint32_t{1} << j;
            if (work & kParity[i]) {
                flat32(sfmt, i) ^= work;
                return;
            }
        }
    }
}

std::uint32_t mix1(std::uint32_t x) { return (x ^ (x >> 27)) * 1664525U; }
std::uint32_t mix2(std::uint32_t x) { return (x ^ (x >> 27)) * 1566083941U; }

// Writes `size` words (size >= SFMT_N) of the stream to the array, computing
// each from the words SFMT_N and SFMT_N - POS1 before it, and leaves the last
// SFMT_N of them in the state so that the stream continues from there. Word i
// of the array occupies its bytes 16i..16i+15.
void genRandArray(sfmt_t* sfmt, unsigned char* array, int size) {
    constexpr int n = SFMT_N;
    constexpr int pos1 = SFMT_POS1;
    const __m128i mask = maskWord();
    w128_t* st = sfmt->state;
    auto word = [array](int i) { return array + 16 * static_cast<std::ptrdiff_t>(i); };
    __m128i r1 = load(&st[n - 2]);
    __m128i r2 = load(&st[n - 1]);
    auto step = [&](int i, __m128i a, __m128i b) {
        const __m128i w = recursion(a, b, r1, r2, mask);
        store(word(i), w);
        r1 = r2;
        r2 = w;
        return w;
    };
    int i = 0;
    for (; i < n - pos1; ++i) step(i, load(&st[i]), load(&st[i + pos1]));
    for (; i < n; ++i) step(i, load(&st[i]), load(word(i + pos1 - n)));
    for (; i < size - n; ++i) step(i, load(word(i - n)), load(word(i + pos1 - n)));
    int j = 0;
    for (; j < 2 * n - size; ++j) store(&st[j], load(word(j + size - n)));
    for (; i < size; ++i, ++j) store(&st[j], step(i, load(word(i - n)), load(word(i + pos1 - n))));
}

}  // namespace

void sfmt_init_gen_rand(sfmt_t* sfmt, std::uint32_t seed) {
    flat32(sfmt, 0) = seed;
    for (int i = 1; i < SFMT_N32; ++i) {
        const std::uint32_t prev = flat32(sfmt, i - 1);
        flat32(sfmt, i) = 1812433253U * (prev ^ (prev >> 30)) + static_cast<std::uint32_t>(i);
    }
    sfmt->idx = SFMT_N32;
    periodCertification(sfmt);
}

void sfmt_init_by_array(sfmt_t* sfmt, const std::uint32_t* init_key, int key_length) {
    assert(key_length >= 0 && (key_length == 0 || init_key != nullptr));
    constexpr int size = SFMT_N32;
    constexpr int lag = 11;  // the published lag for state sizes of 623 values and more
    constexpr int mid = (size - lag) / 2;
    auto at = [sfmt](int j) -> std::uint32_t& { return flat32(sfmt, j % size); };

    for (int j = 0; j < size; ++j) flat32(sfmt, j) = 0x8b8b8b8bU;
    const int count = key_length + 1 > size ? key_length + 1 : size;

    std::uint32_t r = mix1(at(0) ^ at(mid) ^ at(size - 1));
    at(mid) += r;
    r += static_cast<std::uint32_t>(key_length);
    at(mid + lag) += r;
    at(0) = r;

    // The first value above used up one of the count mixing steps.
    int i = 1;
    int j = 0;
    for (; j < count - 1 && j < key_length; ++j) {
        r = mix1(at(i) ^ at(i + mid) ^ at(i + size - 1));
        at(i + mid) += r;
        r += init_key[j] + static_cast<std::uint32_t>(i);
        at(i + mid + lag) += r;
        at(i) = r;
        i = (i + 1) % size;
    }
    for (; j < count - 1; ++j) {
        r = mix1(at(i) ^ at(i + mid) ^ at(i + size - 1));
        at(i + mid) += r;
        r += static_cast<std::uint32_t>(i);
        at(i + mid + lag) += r;
        at(i) = r;
        i = (i + 1) % size;
    }
    for (j = 0; j < size; ++j) {
        r = mix2(at(i) + at(i + mid) + at(i + size - 1));
        at(i + mid) ^= r;
        r -= static_cast<std::uint32_t>(i);
        at(i + mid + lag) ^= r;
        at(i) = r;
        i = (i + 1) % size;
    }
    sfmt->idx = SFMT_N32;
    periodCertification(sfmt);
}

void sfmt_gen_rand_all(sfmt_t* sfmt) {
    constexpr int n = SFMT_N;
    constexpr int pos1 = SFMT_POS1;
    const __m128i mask = maskWord();
    w128_t* st = sfmt->state;
    __m128i r1 = load(&st[n - 2]);
    __m128i r2 = load(&st[n - 1]);
    int i = 0;
    for (; i < n - pos1; ++i) {
        const __m128i w = recursion(load(&st[i]), load(&st[i + pos1]), r1, r2, mask);
        store(&st[i], w);
        r1 = r2;
        r2 = w;
    }
    for (; i < n; ++i) {
        const __m128i w = recursion(load(&st[i]), load(&st[i + pos1 - n]), r1, r2, mask);
        store(&st[i], w);
        r1 = r2;
        r2 = w;
    }
}

void sfmt_fill_array32(sfmt_t* sfmt, std::uint32_t* array, int size) {
    assert(sfmt->idx == SFMT_N32);
    assert(size % 4 == 0);
    assert(size >= SFMT_N32);
    genRandArray(sfmt, reinterpret_cast<unsigned char*>(array), size / 4);
    sfmt->idx = SFMT_N32;
}

void sfmt_fill_array64(sfmt_t* sfmt, std::uint64_t* array, int size) {
    assert(sfmt->idx == SFMT_N32);
    assert(size % 2 == 0);
    assert(size >= SFMT_N64);
    genRandArray(sfmt, reinterpret_cast<unsigned char*>(array), size / 2);
    sfmt->idx = SFMT_N32;
}

const char* sfmt_get_idstring(const sfmt_t*) { return SFMT_IDSTR; }

int sfmt_get_min_array_size32(const sfmt_t*) { return SFMT_N32; }

int sfmt_get_min_array_size64(const sfmt_t*) { return SFMT_N64; }

}  // namespace lattis
