// SFMT-19937: seeding, period certification and block regeneration.
//
// The recursion is written on the four 32-bit lanes of a word, so the byte
// shifts of the 128-bit word carry bits across lane boundaries by hand. Block
// generation into a caller's array goes through local words loaded from and
// stored to the array's lanes, so any suitably sized uint32/uint64 array works
// whatever its alignment.
#include "sfmt/SFMT.h"

#include <cassert>

namespace {

constexpr std::uint32_t kMask[4] = {SFMT_MSK1, SFMT_MSK2, SFMT_MSK3, SFMT_MSK4};
constexpr std::uint32_t kParity[4] = {SFMT_PARITY1, SFMT_PARITY2, SFMT_PARITY3, SFMT_PARITY4};
constexpr int kSL2Bits = SFMT_SL2 * 8;
constexpr int kSR2Bits = SFMT_SR2 * 8;
static_assert(kSL2Bits > 0 && kSL2Bits < 32 && kSR2Bits > 0 && kSR2Bits < 32,
              "the lane-carry shifts below assume a byte shift inside one lane");

std::uint32_t& flat32(sfmt_t* sfmt, int j) { return sfmt->state[j >> 2].u[j & 3]; }

// R(a, b, c, d) = a ^ (a << SL2*8) ^ ((b >> SR1) & MSK) ^ (c >> SR2*8) ^ (d << SL1),
// the 128-bit shifts taken over the little-endian word.
w128_t recursion(const w128_t& a, const w128_t& b, const w128_t& c, const w128_t& d) {
    w128_t x, y, r;
    x.u[0] = a.u[0] << kSL2Bits;
    for (int k = 1; k < 4; ++k) x.u[k] = (a.u[k] << kSL2Bits) | (a.u[k - 1] >> (32 - kSL2Bits));
    y.u[3] = c.u[3] >> kSR2Bits;
    for (int k = 0; k < 3; ++k) y.u[k] = (c.u[k] >> kSR2Bits) | (c.u[k + 1] << (32 - kSR2Bits));
    for (int k = 0; k < 4; ++k)
        r.u[k] = a.u[k] ^ x.u[k] ^ ((b.u[k] >> SFMT_SR1) & kMask[k]) ^ y.u[k] ^ (d.u[k] << SFMT_SL1);
    return r;
}

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

// Caller-array views as 128-bit words: word i occupies 32-bit values 4i..4i+3,
// or 64-bit values 2i and 2i+1 (low lanes first).
struct Array32 {
    std::uint32_t* p;
    w128_t load(int i) const {
        w128_t w;
        for (int k = 0; k < 4; ++k) w.u[k] = p[4 * i + k];
        return w;
    }
    void store(int i, const w128_t& w) const {
        for (int k = 0; k < 4; ++k) p[4 * i + k] = w.u[k];
    }
};

struct Array64 {
    std::uint64_t* p;
    w128_t load(int i) const {
        w128_t w;
        for (int k = 0; k < 2; ++k) {
            w.u[2 * k] = static_cast<std::uint32_t>(p[2 * i + k]);
            w.u[2 * k + 1] = static_cast<std::uint32_t>(p[2 * i + k] >> 32);
        }
        return w;
    }
    void store(int i, const w128_t& w) const {
        for (int k = 0; k < 2; ++k)
            p[2 * i + k] = std::uint64_t{w.u[2 * k]} | (std::uint64_t{w.u[2 * k + 1]} << 32);
    }
};

// Writes `size` words (size >= SFMT_N) of the stream to the array, computing
// each from the words SFMT_N and SFMT_N - POS1 before it, and leaves the last
// SFMT_N of them in the state so that the stream continues from there.
template <class Array>
void genRandArray(sfmt_t* sfmt, Array array, int size) {
    constexpr int n = SFMT_N;
    constexpr int pos1 = SFMT_POS1;
    w128_t* st = sfmt->state;
    w128_t r1 = st[n - 2];
    w128_t r2 = st[n - 1];
    auto step = [&](int i, const w128_t& a, const w128_t& b) {
        const w128_t w = recursion(a, b, r1, r2);
        array.store(i, w);
        r1 = r2;
        r2 = w;
        return w;
    };
    int i = 0;
    for (; i < n - pos1; ++i) step(i, st[i], st[i + pos1]);
    for (; i < n; ++i) step(i, st[i], array.load(i + pos1 - n));
    for (; i < size - n; ++i) step(i, array.load(i - n), array.load(i + pos1 - n));
    int j = 0;
    for (; j < 2 * n - size; ++j) st[j] = array.load(j + size - n);
    for (; i < size; ++i, ++j) st[j] = step(i, array.load(i - n), array.load(i + pos1 - n));
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
    w128_t* st = sfmt->state;
    w128_t r1 = st[SFMT_N - 2];
    w128_t r2 = st[SFMT_N - 1];
    for (int i = 0; i < SFMT_N; ++i) {
        const int b = i < SFMT_N - SFMT_POS1 ? i + SFMT_POS1 : i + SFMT_POS1 - SFMT_N;
        st[i] = recursion(st[i], st[b], r1, r2);
        r1 = r2;
        r2 = st[i];
    }
}

void sfmt_fill_array32(sfmt_t* sfmt, std::uint32_t* array, int size) {
    assert(sfmt->idx == SFMT_N32);
    assert(size % 4 == 0);
    assert(size >= SFMT_N32);
    genRandArray(sfmt, Array32{array}, size / 4);
    sfmt->idx = SFMT_N32;
}

void sfmt_fill_array64(sfmt_t* sfmt, std::uint64_t* array, int size) {
    assert(sfmt->idx == SFMT_N32);
    assert(size % 2 == 0);
    assert(size >= SFMT_N64);
    genRandArray(sfmt, Array64{array}, size / 2);
    sfmt->idx = SFMT_N32;
}

const char* sfmt_get_idstring(const sfmt_t*) { return SFMT_IDSTR; }

int sfmt_get_min_array_size32(const sfmt_t*) { return SFMT_N32; }

int sfmt_get_min_array_size64(const sfmt_t*) { return SFMT_N64; }
