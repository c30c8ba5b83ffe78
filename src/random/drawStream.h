// Streams of draws for sampling threads.
//
// A draw is one 32-bit value of SFMT-19937. Every parallel phase takes one
// key of four draws from the store's generator and seeds each block of work
// with sfmt_init_by_array on the key plus the block's number, so a block's
// draws depend on the key and its number only, never on the thread that runs
// it. DrawCursor hands out a stream's draws exactly as sfmt_genrand_uint32
// would, with the generator's index kept in a register for the length of one
// sample; the index is written back when the cursor goes.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "random/SFMT.h"

namespace lattis {

using StreamKey = std::array<std::uint32_t, 4>;

// Seeds s by sfmt_init_by_array on {key[0..3], low and high word of index}.
inline void initStream(sfmt_t& s, const StreamKey& key, std::uint64_t index) {
    std::uint32_t init[6] = {key[0], key[1], key[2], key[3], static_cast<std::uint32_t>(index),
                             static_cast<std::uint32_t>(index >> 32)};
    sfmt_init_by_array(&s, init, 6);
}

class DrawCursor {
public:
    explicit DrawCursor(sfmt_t& s) : state(&s), idx(s.idx) {}
    DrawCursor(const DrawCursor&) = delete;
    DrawCursor& operator=(const DrawCursor&) = delete;
    ~DrawCursor() { state->idx = idx; }

    std::uint32_t next() {
        if (idx >= SFMT_N32) {
            sfmt_gen_rand_all(state);
            idx = 0;
        }
        const std::uint32_t r = state->state[idx >> 2].u[idx & 3];
        ++idx;
        return r;
    }

    // f(i, draw) for i = 0..count-1 on the next count draws, handed out in
    // runs up to the end of the generator's block of 624, so that the inner
    // loop tests no index.
    template <class F>
    void each(int count, F&& f) {
        int i = 0;
        while (i < count) {
            if (idx >= SFMT_N32) {
                sfmt_gen_rand_all(state);
                idx = 0;
            }
            const int run = std::min(count - i, SFMT_N32 - idx);
            const std::uint32_t* r = &state->state[0].u[0] + idx;
            for (int j = 0; j < run; ++j) f(i + j, r[j]);
            i += run;
            idx += run;
        }
    }

    // A uniform value in 0 .. bound - 1 (bound >= 1): multiply-shift with
    // rejection of the few low products that would bias it, so it is exact.
    std::uint32_t below(std::uint32_t bound) {
        std::uint64_t m = static_cast<std::uint64_t>(next()) * bound;
        std::uint32_t low = static_cast<std::uint32_t>(m);
        if (low < bound) {
            const std::uint32_t floor = (0u - bound) % bound;
            while (low < floor) {
                m = static_cast<std::uint64_t>(next()) * bound;
                low = static_cast<std::uint32_t>(m);
            }
        }
        return static_cast<std::uint32_t>(m >> 32);
    }

private:
    sfmt_t* state;
    int idx;
};

}  // namespace lattis
