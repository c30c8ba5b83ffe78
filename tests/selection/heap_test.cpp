// Tests of the gain-per-cost comparator and of the plain indexed max-heap
// the selection's heap is checked against: single-precision ratios, zero
// costs and NaN, heapify's walk to the root, and random operation sequences
// checked against a linear scan.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "selection/HeapData.h"
#include "support/referenceHeap.h"

using namespace lattis;

namespace {

using Cmp = InfCost<int, float>;
using Heap = ReferenceHeap<Cmp>;

// Gains and costs indexed by id, owned by the test as the selection owns them.
struct Keys {
    std::vector<int> gain;
    std::vector<float> cost;
    Keys(std::vector<int> g, std::vector<float> c) : gain(std::move(g)), cost(std::move(c)) {}
    explicit Keys(std::vector<int> g) : gain(std::move(g)), cost(gain.size(), 1.0f) {}
    Cmp cmp() { return Cmp(gain.data(), cost.data()); }
};

std::vector<int> iota(int n) {
    std::vector<int> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) v[static_cast<std::size_t>(i)] = i;
    return v;
}

// Positions of the ids in the heap must be a permutation of 1..size, and no
// child may have a strictly greater ratio than its parent.
void expectValidHeap(const Heap& h, const std::set<int>& inHeap, const Cmp& cmp) {
    int n = static_cast<int>(h.size());
    ASSERT_EQ(static_cast<std::size_t>(n), inHeap.size());
    std::vector<int> slot(static_cast<std::size_t>(n) + 1, -1);
    for (int id : inHeap) {
        int p = h.positionOf(id);
        ASSERT_GE(p, 1);
        ASSERT_LE(p, n);
        ASSERT_EQ(slot[static_cast<std::size_t>(p)], -1) << "two ids in slot " << p;
        slot[static_cast<std::size_t>(p)] = id;
    }
    for (int i = 2; i <= n; ++i)
        EXPECT_FALSE(cmp(slot[static_cast<std::size_t>(i / 2)], slot[static_cast<std::size_t>(i)]))
            << "slot " << i << " beats its parent";
}

TEST(InfCostTest, ComparesGainPerCostStrictly) {
    Keys k({6, 3, 5}, {2.0f, 1.0f, 1.0f});   // ratios 3, 3, 5
    Cmp less = k.cmp();
    EXPECT_TRUE(less(0, 2));
    EXPECT_FALSE(less(2, 0));
    EXPECT_FALSE(less(0, 1));   // equal ratios are not less either way
    EXPECT_FALSE(less(1, 0));
    EXPECT_FALSE(less(1, 1));
}

TEST(InfCostTest, RatioIsSinglePrecision) {
    // 16777217 is not a float: converted, it equals 16777216.
    Keys big({16777216, 16777217});
    EXPECT_FALSE(big.cmp()(0, 1));
    // 5000000 / 14999999 exceeds 1 / 3 in double but rounds to the same float.
    Keys quot({1, 5000000}, {3.0f, 14999999.0f});
    ASSERT_GT(5000000.0 / 14999999.0, 1.0 / 3.0);
    EXPECT_FALSE(quot.cmp()(0, 1));
    EXPECT_FALSE(quot.cmp()(1, 0));
}

TEST(InfCostTest, ZeroCostAndNaN) {
    // id 0: 1/0 = inf; id 1: 0/0 = NaN; id 2: 1000/1.
    Keys k({1, 0, 1000}, {0.0f, 0.0f, 1.0f});
    Cmp less = k.cmp();
    EXPECT_TRUE(less(2, 0));
    EXPECT_FALSE(less(0, 2));
    for (int other : {0, 2}) {
        EXPECT_FALSE(less(1, other));
        EXPECT_FALSE(less(other, 1));
    }
}

/* The sift-up walks every ancestor even past a pair in order: raising id 1
   (slot 2) without re-sifting it, then heapify of its child id 3 (slot 4)
   finds 3 in order below 1 but still lifts 1 over the root, since the plain
   heap reads every key afresh.
          0(4)
         /    \
       1(3)  2(2)
       /
     3(1) */
TEST(ReferenceHeapTest, HeapifyWalksToTheRoot) {
    Keys k({4, 3, 2, 1});
    ReferenceHeap<Cmp> h(iota(4), k.cmp());
    k.gain[1] = 10;
    EXPECT_EQ(h.heapify(3), 4);
    EXPECT_EQ(h.positionOf(1), 1);
    EXPECT_EQ(h.positionOf(0), 2);
    EXPECT_EQ(h.pop(), 1);
}

// Random ids, gains and distinct costs; a mix of pops and gain changes each
// followed by heapify. Every pop must return an id of the greatest ratio left
// (a linear scan), and the heap must stay valid throughout.
TEST(ReferenceHeapTest, RandomOperationsMatchLinearScan) {
    std::mt19937 rng(20240611);
    for (int round = 0; round < 60; ++round) {
        int universe = 1 + static_cast<int>(rng() % 60);
        std::vector<int> gain(static_cast<std::size_t>(universe));
        std::vector<float> cost(static_cast<std::size_t>(universe));
        for (int i = 0; i < universe; ++i) {
            gain[static_cast<std::size_t>(i)] = static_cast<int>(rng() % 20);
            cost[static_cast<std::size_t>(i)] = 0.5f + static_cast<float>(i) * 0.25f;
        }
        std::shuffle(cost.begin(), cost.end(), rng);
        Keys k(gain, cost);
        Cmp cmp = k.cmp();

        std::vector<int> ids = iota(universe);
        std::shuffle(ids.begin(), ids.end(), rng);
        ids.resize(1 + rng() % static_cast<unsigned>(universe));
        std::set<int> in(ids.begin(), ids.end());
        Heap h(ids, cmp);
        expectValidHeap(h, in, cmp);

        while (!in.empty()) {
            if (rng() % 3 == 0) {
                int top = h.pop();
                ASSERT_EQ(in.count(top), 1u);
                for (int other : in) ASSERT_FALSE(cmp(top, other)) << "popped " << top << " below " << other;
                in.erase(top);
                EXPECT_EQ(h.positionOf(top), in.empty() ? 1 : 0);
            } else {
                auto it = in.begin();
                std::advance(it, static_cast<long>(rng() % in.size()));
                k.gain[static_cast<std::size_t>(*it)] = static_cast<int>(rng() % 20);
                int slot = h.heapify(*it);
                ASSERT_EQ(h.positionOf(*it), slot);
            }
            expectValidHeap(h, in, cmp);
        }
    }
}

}  // namespace
