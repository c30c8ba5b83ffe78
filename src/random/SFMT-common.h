// Shared definitions of the SFMT-19937 generator: the parameter set and the
// two records the generator works on.
//
// SFMT is the SIMD-oriented Fast Mersenne Twister of Saito and Matsumoto with
// its published 19937 parameters (period a multiple of 2^19937 - 1). The
// 128-bit word is kept as plain 32- and 64-bit lanes, without a SIMD member,
// so that the record needs no 16-byte alignment; the generator moves words in
// and out of SIMD registers with unaligned loads and stores. Lane 0 is the
// least significant part of the word read as a little-endian 128-bit integer.
#pragma once

#include <cstdint>

namespace lattis {

inline constexpr int SFMT_MEXP = 19937;
inline constexpr int SFMT_N = SFMT_MEXP / 128 + 1;  // 128-bit words in the state
inline constexpr int SFMT_N32 = SFMT_N * 4;
inline constexpr int SFMT_N64 = SFMT_N * 2;

inline constexpr int SFMT_POS1 = 122;
inline constexpr int SFMT_SL1 = 18;  // bits, per 32-bit lane
inline constexpr int SFMT_SL2 = 1;   // bytes, whole 128-bit word
inline constexpr int SFMT_SR1 = 11;  // bits, per 32-bit lane
inline constexpr int SFMT_SR2 = 1;   // bytes, whole 128-bit word
inline constexpr std::uint32_t SFMT_MSK1 = 0xdfffffefU;
inline constexpr std::uint32_t SFMT_MSK2 = 0xddfecb7fU;
inline constexpr std::uint32_t SFMT_MSK3 = 0xbffaffffU;
inline constexpr std::uint32_t SFMT_MSK4 = 0xbffffff6U;
inline constexpr std::uint32_t SFMT_PARITY1 = 0x00000001U;
inline constexpr std::uint32_t SFMT_PARITY2 = 0x00000000U;
inline constexpr std::uint32_t SFMT_PARITY3 = 0x00000000U;
inline constexpr std::uint32_t SFMT_PARITY4 = 0x13c9e684U;

inline constexpr const char* SFMT_IDSTR =
    "SFMT-19937:122-18-1-11-1:dfffffef-ddfecb7f-bffaffff-bffffff6";

union W128_T {
    std::uint32_t u[4];
    std::uint64_t u64[2];
};
typedef union W128_T w128_t;

// 32-bit value j of the state is lane j % 4 of word j / 4.
struct SFMT_T {
    w128_t state[SFMT_N];
    int idx;  // next 32-bit value to hand out; SFMT_N32 means "regenerate first"
};
typedef struct SFMT_T sfmt_t;

}  // namespace lattis
