// Public interface of the SFMT-19937 generator: plain functions over an
// explicit state record, one state per user (it does no locking).
//
// A state is usable after sfmt_init_gen_rand or sfmt_init_by_array. Draws
// come one at a time from sfmt_genrand_uint32, which is inline because the
// samplers take one per random decision; the whole state is regenerated once
// every 624 draws. The fill functions produce the same stream in bulk into
// the caller's array and may only be called on a state whose block is used up
// (idx == 624, as it is right after seeding).
#pragma once

#include <cstdint>

#include "random/SFMT-common.h"

namespace lattis {

void sfmt_init_gen_rand(sfmt_t* sfmt, std::uint32_t seed);
void sfmt_init_by_array(sfmt_t* sfmt, const std::uint32_t* init_key, int key_length);
void sfmt_gen_rand_all(sfmt_t* sfmt);
void sfmt_fill_array32(sfmt_t* sfmt, std::uint32_t* array, int size);
void sfmt_fill_array64(sfmt_t* sfmt, std::uint64_t* array, int size);
const char* sfmt_get_idstring(const sfmt_t* sfmt);
int sfmt_get_min_array_size32(const sfmt_t* sfmt);
int sfmt_get_min_array_size64(const sfmt_t* sfmt);

inline std::uint32_t sfmt_genrand_uint32(sfmt_t* sfmt) {
    if (sfmt->idx >= SFMT_N32) {
        sfmt_gen_rand_all(sfmt);
        sfmt->idx = 0;
    }
    const int i = sfmt->idx++;
    return sfmt->state[i >> 2].u[i & 3];
}

}  // namespace lattis
