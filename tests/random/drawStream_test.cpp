// DrawCursor::below: which draws it rejects, what it maps the others to, and
// that its values are uniform where a plain multiply-shift is not.
//
// For bound b, below(b) maps a draw x to floor(x b / 2^32) and rejects x
// when (x b mod 2^32) < 2^32 mod b. At b = 3 * 2^30 that reads simply:
// x b mod 2^32 = (3x mod 4) 2^30 and 2^32 mod b = 2^30, so exactly the
// draws x = 4k are rejected, and 4k + 1, 4k + 2, 4k + 3 give 3k, 3k + 1,
// 3k + 2: each value from one draw. Without the rejection 4k would give 3k
// as well, so values divisible by 3 would come half the time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "random/drawStream.h"

using namespace lattis;

namespace {

constexpr std::uint32_t kThreeQuarters = 3u << 30;

void setNextDraws(sfmt_t& s, const std::vector<std::uint32_t>& draws) {
    s.idx = 0;
    for (std::size_t i = 0; i < draws.size(); ++i) s.state[i / 4].u[i % 4] = draws[i];
}

// below(bound) once on a fresh cursor; `used` gets the draws it took.
std::uint32_t belowOnce(sfmt_t& s, std::uint32_t bound, int& used) {
    const int before = s.idx;
    std::uint32_t v;
    {
        DrawCursor draw(s);
        v = draw.below(bound);
    }
    used = s.idx - before;
    if (used <= 0) used += SFMT_N32;  // the block was regenerated on the way
    return v;
}

TEST(DrawCursorBelow, RejectsExactlyTheBiasedDrawsAndMapsTheRest) {
    const struct {
        std::uint32_t bound;
        std::vector<std::uint32_t> draws;
        std::uint32_t value;
        int used;
    } rows[] = {
        {1, {0xFFFFFFFFu}, 0, 1},                  // 2^32 mod 1 = 0: nothing rejected
        {1u << 31, {0}, 0, 1},                     // a power of two: nothing rejected
        {1u << 31, {0xFFFFFFFFu}, (1u << 31) - 1, 1},
        {3, {0, 0xFFFFFFFFu}, 2, 2},               // 2^32 mod 3 = 1: only x with 3x mod 2^32 = 0
        {3, {1, 0}, 0, 1},                         // 3 * 1 = 3 >= 1: kept
        {kThreeQuarters, {5}, 3, 1},               // 4k + 1 -> 3k
        {kThreeQuarters, {8, 4, 0, 11}, 8, 4},     // 4k rejected, 11 = 4 * 2 + 3 -> 8
        {kThreeQuarters, {0xFFFFFFFCu, 0xFFFFFFFFu}, kThreeQuarters - 1, 2},
    };
    for (const auto& r : rows) {
        sfmt_t s;
        sfmt_init_gen_rand(&s, 1);
        setNextDraws(s, r.draws);
        int used = 0;
        EXPECT_EQ(belowOnce(s, r.bound, used), r.value) << "bound " << r.bound << ", first draw " << r.draws[0];
        EXPECT_EQ(used, r.used) << "bound " << r.bound << ", first draw " << r.draws[0];
    }
}

// Seeded draws: chi-square over the residues mod 3 (two degrees of freedom,
// so P(chi-square > 30) = e^-15), and the mean number of draws per value,
// geometric with success 3/4 (mean 4/3, variance 4/9), within five standard
// errors.
TEST(DrawCursorBelow, ValuesAreUniformWhereMultiplyShiftIsNot) {
    constexpr int kValues = 300000;
    sfmt_t s;
    sfmt_init_gen_rand(&s, 2027);
    double residue[3] = {0, 0, 0};
    double draws = 0;
    for (int i = 0; i < kValues; ++i) {
        int used = 0;
        const std::uint32_t v = belowOnce(s, kThreeQuarters, used);
        ASSERT_LT(v, kThreeQuarters);
        residue[v % 3] += 1;
        draws += used;
    }
    const double expected = kValues / 3.0;
    double chi = 0;
    for (double c : residue) chi += (c - expected) * (c - expected) / expected;
    EXPECT_LT(chi, 30.0) << residue[0] << " " << residue[1] << " " << residue[2];
    EXPECT_NEAR(draws / kValues, 4.0 / 3.0, 5 * std::sqrt(4.0 / 9.0 / kValues));
}

// Small bounds: every value equally often, chi-square with bound - 1 degrees
// of freedom allowed six standard deviations (sqrt(2 df)) over its mean, and
// at least 30 (beyond which fewer than one in 10^4 runs land for df <= 6).
TEST(DrawCursorBelow, SmallBoundsAreUniform) {
    for (std::uint32_t bound : {2u, 3u, 7u, 10u, 1000u}) {
        constexpr int kValues = 200000;
        sfmt_t s;
        sfmt_init_gen_rand(&s, 7 + bound);
        std::vector<double> count(bound, 0.0);
        {
            DrawCursor draw(s);
            for (int i = 0; i < kValues; ++i) {
                const std::uint32_t v = draw.below(bound);
                ASSERT_LT(v, bound);
                count[v] += 1;
            }
        }
        const double expected = static_cast<double>(kValues) / bound;
        double chi = 0;
        for (double c : count) chi += (c - expected) * (c - expected) / expected;
        const double df = bound - 1.0;
        EXPECT_LT(chi, std::max(30.0, df + 6 * std::sqrt(2 * df))) << "bound " << bound;
    }
}

}  // namespace
