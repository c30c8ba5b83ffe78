// Tests of the SFMT-19937 generator: the published reference output value for
// value (when the shared test data is present), a table of known values that
// is checked on every machine, the bulk fills against the one-at-a-time
// stream, and the array seeding.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "random/SFMT.h"

using namespace lattis;

namespace {

constexpr const char* kIdString = "SFMT-19937:122-18-1-11-1:dfffffef-ddfecb7f-bffaffff-bffffff6";
const std::vector<std::uint32_t> kReferenceKey = {0x1234, 0x5678, 0x9abc, 0xdef0};

std::vector<std::uint32_t> drawStream(sfmt_t* s, int count) {
    std::vector<std::uint32_t> out(count);
    for (auto& v : out) v = sfmt_genrand_uint32(s);
    return out;
}

std::vector<std::uint32_t> streamFromSeed(std::uint32_t seed, int count) {
    sfmt_t s;
    sfmt_init_gen_rand(&s, seed);
    return drawStream(&s, count);
}

std::vector<std::uint32_t> streamFromKey(std::vector<std::uint32_t> key, int count) {
    sfmt_t s;
    sfmt_init_by_array(&s, key.data(), static_cast<int>(key.size()));
    return drawStream(&s, count);
}

// The reference file: the id string, a caption, then two sections of 1000
// values each, introduced by "init_gen_rand__________" and
// "init_by_array__________".
struct Reference {
    std::string idLine;
    std::vector<std::uint32_t> byGenRand, byArray;
};

bool readReference(const std::string& path, Reference& ref, std::string& why) {
    std::ifstream in(path);
    if (!in) {
        why = "cannot open " + path;
        return false;
    }
    std::getline(in, ref.idLine);
    std::vector<std::uint32_t>* section = nullptr;
    std::string line;
    int lineNo = 1;
    while (std::getline(in, line)) {
        ++lineNo;
        if (line == "init_gen_rand__________") {
            section = &ref.byGenRand;
            continue;
        }
        if (line == "init_by_array__________") {
            section = &ref.byArray;
            continue;
        }
        if (section == nullptr) continue;
        std::istringstream words(line);
        std::string w;
        while (words >> w) {
            std::size_t used = 0;
            unsigned long v = 0;
            try {
                v = std::stoul(w, &used);
            } catch (const std::exception&) {
                used = 0;
            }
            if (used != w.size() || v > 0xffffffffUL) {
                why = path + ":" + std::to_string(lineNo) + ": expected an unsigned 32-bit value, got \"" + w + "\"";
                return false;
            }
            section->push_back(static_cast<std::uint32_t>(v));
        }
    }
    return true;
}

class SfmtReference : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string path = std::string(SHARED_DIR) + "/testdata/sfmt/SFMT.19937.out.txt";
        if (!std::ifstream(path)) GTEST_SKIP() << "reference output " << path << " is absent; skipping the value-for-value check";
        std::string why;
        ASSERT_TRUE(readReference(path, ref, why)) << why;
        ASSERT_EQ(ref.byGenRand.size(), 1000u);
        ASSERT_EQ(ref.byArray.size(), 1000u);
    }
    Reference ref;
};

// Each 64-bit value is two consecutive 32-bit values of the stream, the
// earlier one in the low half.
void expectLaneOrder(const std::vector<std::uint64_t>& wide, const std::vector<std::uint32_t>& narrow) {
    ASSERT_LE(2 * wide.size(), narrow.size());
    for (std::size_t j = 0; j < wide.size(); ++j) {
        const std::uint64_t expected = std::uint64_t{narrow[2 * j]} | (std::uint64_t{narrow[2 * j + 1]} << 32);
        ASSERT_EQ(wide[j], expected) << "64-bit value " << j;
    }
}

}  // namespace

TEST_F(SfmtReference, IdStringMatchesFileHeader) {
    sfmt_t s;
    sfmt_init_gen_rand(&s, 1234);
    EXPECT_EQ(ref.idLine, sfmt_get_idstring(&s));
}

// Single draws, the 32-bit fill and the 64-bit fill of a state seeded either
// way give the file's values.
TEST_F(SfmtReference, StreamsAndFillsOfBothSeedings) {
    const std::pair<std::function<void(sfmt_t&)>, const std::vector<std::uint32_t>*> cases[] = {
        {[](sfmt_t& s) { sfmt_init_gen_rand(&s, 1234); }, &ref.byGenRand},
        {[](sfmt_t& s) { sfmt_init_by_array(&s, kReferenceKey.data(), 4); }, &ref.byArray},
    };
    for (const auto& [init, expected] : cases) {
        sfmt_t s;
        init(s);
        EXPECT_EQ(drawStream(&s, 1000), *expected);
        init(s);
        std::vector<std::uint32_t> block(1000);
        sfmt_fill_array32(&s, block.data(), 1000);
        EXPECT_EQ(block, *expected);
        init(s);
        std::vector<std::uint64_t> wide(500);
        sfmt_fill_array64(&s, wide.data(), 500);
        expectLaneOrder(wide, *expected);
    }
}

TEST(SfmtKnownValues, FirstDrawsOfSeeds) {
    EXPECT_EQ(streamFromSeed(1234, 5),
              (std::vector<std::uint32_t>{3440181298u, 1564997079u, 1510669302u, 2930277156u, 1452439940u}));
    EXPECT_EQ(streamFromSeed(0, 3), (std::vector<std::uint32_t>{772581976u, 265233418u, 1048142482u}));
    const auto s = streamFromSeed(1234, 626);
    EXPECT_EQ(s[624], 3899704621u);
    EXPECT_EQ(s[625], 1633861986u);
}

// Draw 1 and draw 625 regenerate the block; the draws between only read it.
TEST(SfmtKnownValues, RegenerationEvery624Draws) {
    sfmt_t s;
    sfmt_init_gen_rand(&s, 1234);
    EXPECT_EQ(s.idx, 624);
    const std::uint32_t first = sfmt_genrand_uint32(&s);
    EXPECT_EQ(s.idx, 1);
    EXPECT_EQ(first, s.state[0].u[0]);
    const sfmt_t afterFirst = s;
    for (int i = 2; i <= 624; ++i) sfmt_genrand_uint32(&s);
    EXPECT_EQ(s.idx, 624);
    EXPECT_EQ(std::memcmp(s.state, afterFirst.state, sizeof s.state), 0);
    const std::uint32_t next = sfmt_genrand_uint32(&s);
    EXPECT_EQ(s.idx, 1);
    EXPECT_EQ(next, s.state[0].u[0]);
    EXPECT_EQ(next, 3899704621u);
}

// The certification flips bit 0 of the first value exactly when the parity
// of the seeded state is even. Seeds 2 and 1234 both come out even (the
// published stream for 1234 starts 3440181298 only from the flipped state);
// seed 0 comes out odd and is left alone.
TEST(SfmtKnownValues, PeriodCertification) {
    sfmt_t s;
    sfmt_init_gen_rand(&s, 2);
    EXPECT_EQ(s.state[0].u[0], 3u);
    EXPECT_EQ(drawStream(&s, 3), (std::vector<std::uint32_t>{1198893606u, 2248571057u, 25443231u}));

    sfmt_init_gen_rand(&s, 1234);
    EXPECT_EQ(s.state[0].u[0], 1235u);

    sfmt_init_gen_rand(&s, 0);
    EXPECT_EQ(s.state[0].u[0], 0u);
    EXPECT_EQ(s.state[0].u[1], 1u);
}

TEST(SfmtKnownValues, IdStringAndMinimumSizes) {
    sfmt_t s;
    sfmt_init_gen_rand(&s, 1);
    EXPECT_STREQ(sfmt_get_idstring(&s), kIdString);
    EXPECT_EQ(sfmt_get_min_array_size32(&s), 624);
    EXPECT_EQ(sfmt_get_min_array_size64(&s), 312);
}

// 64-bit value j of a word is lanes 2j (low) and 2j + 1 (high) of it.
TEST(SfmtKnownValues, WordLanes) {
    w128_t w;
    w.u64[0] = 0x1111111122222222ULL;
    w.u64[1] = 0x3333333344444444ULL;
    EXPECT_EQ(w.u[0], 0x22222222u);
    EXPECT_EQ(w.u[1], 0x11111111u);
    EXPECT_EQ(w.u[2], 0x44444444u);
    EXPECT_EQ(w.u[3], 0x33333333u);
    EXPECT_EQ(sizeof(w128_t), 16u);
    EXPECT_EQ(sizeof(sfmt_t::state) / sizeof(w128_t), 156u);
}

// The fills write the same stream as single draws and leave the state so
// that single draws carry on where the fill stopped. The sizes cover a fill
// of exactly one block, fills shorter than two blocks and one longer.
TEST(SfmtFill, MatchesSingleDrawsAndContinues) {
    for (int size : {624, 1000, 1248, 1400, 2000}) {
        SCOPED_TRACE(size);
        const auto expected = streamFromSeed(4321, size + 700);
        sfmt_t s;
        sfmt_init_gen_rand(&s, 4321);
        std::vector<std::uint32_t> block(size);
        sfmt_fill_array32(&s, block.data(), size);
        EXPECT_EQ(s.idx, 624);
        EXPECT_TRUE(std::equal(block.begin(), block.end(), expected.begin()));
        const auto after = drawStream(&s, 700);
        EXPECT_TRUE(std::equal(after.begin(), after.end(), expected.begin() + size));
    }
}

TEST(SfmtFill, Array64MatchesSingleDrawsAndContinues) {
    for (int size : {312, 500, 624, 700, 1000}) {
        SCOPED_TRACE(size);
        const auto expected = streamFromSeed(99, 2 * size + 700);
        sfmt_t s;
        sfmt_init_gen_rand(&s, 99);
        std::vector<std::uint64_t> wide(size);
        sfmt_fill_array64(&s, wide.data(), size);
        EXPECT_EQ(s.idx, 624);
        expectLaneOrder(wide, expected);
        const auto after = drawStream(&s, 700);
        EXPECT_TRUE(std::equal(after.begin(), after.end(), expected.begin() + 2 * size));
    }
}

// Consecutive fills continue one stream.
TEST(SfmtFill, ConsecutiveFillsContinue) {
    const auto expected = streamFromSeed(7, 624 + 1000);
    sfmt_t s;
    sfmt_init_gen_rand(&s, 7);
    std::vector<std::uint32_t> a(624), b(1000);
    sfmt_fill_array32(&s, a.data(), 624);
    sfmt_fill_array32(&s, b.data(), 1000);
    EXPECT_TRUE(std::equal(a.begin(), a.end(), expected.begin()));
    EXPECT_TRUE(std::equal(b.begin(), b.end(), expected.begin() + 624));
}

TEST(SfmtFill, BrokenPreconditionsAssert) {
#ifdef NDEBUG
    GTEST_SKIP() << "assertions are compiled out of this build";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    std::vector<std::uint32_t> narrow(1248);
    std::vector<std::uint64_t> wide(624);
    sfmt_t s;
    sfmt_init_gen_rand(&s, 5);
    EXPECT_DEATH(sfmt_fill_array32(&s, narrow.data(), 620), "");
    EXPECT_DEATH(sfmt_fill_array32(&s, narrow.data(), 626), "");
    EXPECT_DEATH(sfmt_fill_array64(&s, wide.data(), 310), "");
    EXPECT_DEATH(sfmt_fill_array64(&s, wide.data(), 313), "");
    sfmt_genrand_uint32(&s);
    EXPECT_DEATH(sfmt_fill_array32(&s, narrow.data(), 624), "");
}

TEST(SfmtInitByArray, LastKeyWordMatters) {
    const auto a = streamFromKey({0x1234, 0x5678, 0x9abc, 0xdef0}, 1000);
    const auto b = streamFromKey({0x1234, 0x5678, 0x9abc, 0xdef1}, 1000);
    EXPECT_NE(a, b);
    int equalPositions = 0;
    for (int i = 0; i < 1000; ++i) equalPositions += a[i] == b[i];
    EXPECT_LT(equalPositions, 5);
}

TEST(SfmtInitByArray, KeyLengthAndContentMatter) {
    const auto base = streamFromKey({1, 2, 3}, 50);
    EXPECT_EQ(base, streamFromKey({1, 2, 3}, 50));
    EXPECT_NE(base, streamFromKey({1, 2}, 50));
    EXPECT_NE(base, streamFromKey({1, 2, 3, 0}, 50));
    EXPECT_NE(streamFromKey({}, 50), streamFromKey({0}, 50));
}

// A key longer than the state takes more mixing steps than 624; every word,
// the last included, still changes the stream.
TEST(SfmtInitByArray, KeyLongerThanState) {
    std::vector<std::uint32_t> key(1000);
    for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint32_t>(i * 2654435761u);
    const auto a = streamFromKey(key, 100);
    key.back() ^= 1;
    EXPECT_NE(a, streamFromKey(key, 100));
}
