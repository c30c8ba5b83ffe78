// Tests of the gain-per-cost comparator and the indexed max-heap: the exact
// pop order under ties, the position map, heapify in both directions, the
// zero-cost and NaN ratios, and random operation sequences checked against a
// linear scan.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <vector>

#include "selection/HeapData.h"
#include "selection/mappedHeap.h"
#include "support/heapKeys.h"
#include "support/referenceHeap.h"

using namespace lattis;

namespace {

using Cmp = InfCost<int, float>;
using Heap = MappedHeap<Cmp>;

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

std::vector<int> popAll(Heap& h) {
    std::vector<int> out;
    while (!h.empty()) out.push_back(h.pop());
    return out;
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

TEST(MappedHeapTest, EmptyHeapPopReportsAndReturnsMinusOne) {
    Keys k({});
    Heap h(std::vector<int>{}, k.cmp());
    EXPECT_TRUE(h.empty());
    EXPECT_EQ(h.size(), 0u);
    testing::internal::CaptureStderr();
    int r = h.pop();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(r, -1);
    EXPECT_EQ(err, "Error: Cannot pop from an empty heap!\n");
    EXPECT_TRUE(h.empty());
}

TEST(MappedHeapTest, PopAfterLastAlsoReports) {
    Keys k({4});
    Heap h({0}, k.cmp());
    EXPECT_EQ(h.pop(), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(h.pop(), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Cannot pop from an empty heap!\n");
}

/* Gains 3, 5, 5, 1, 0 over ids 0..4, costs 1. The build swaps id 1 (left of
   the two 5s) to the root:
          0(3)                1(5)
        /      \            /      \
      1(5)    2(5)   =>   0(3)    2(5)
      /  \                /  \
    3(1) 4(0)           3(1) 4(0) */
TEST(MappedHeapTest, PopOrderWithEqualGains) {
    Keys k({3, 5, 5, 1, 0});
    Heap h(iota(5), k.cmp());
    EXPECT_EQ(h.size(), 5u);
    EXPECT_EQ(h.positionOf(1), 1);
    EXPECT_EQ(h.positionOf(0), 2);
    EXPECT_EQ(popAll(h), (std::vector<int>{1, 2, 0, 3, 4}));
}

// Every ratio equal: nothing ever moves, so pop takes slot 1 and refills it
// from the last slot: 0, then n - 1, n - 2, ..., 1.
TEST(MappedHeapTest, EqualRatiosLeaveFirstThenLastToFirst) {
    for (int n : {1, 2, 3, 7, 16}) {
        Keys k(std::vector<int>(static_cast<std::size_t>(n), 2));
        Heap h(iota(n), k.cmp());
        std::vector<int> want{0};
        for (int id = n - 1; id >= 1; --id) want.push_back(id);
        EXPECT_EQ(popAll(h), want) << "n = " << n;
    }
}

TEST(MappedHeapTest, PositionsAfterPop) {
    // Two ids: the popped one is marked 0, the former last one sits in slot 1.
    Keys two({2, 1});
    Heap h2(iota(2), two.cmp());
    EXPECT_EQ(h2.pop(), 0);
    EXPECT_EQ(h2.positionOf(0), 0);
    EXPECT_EQ(h2.positionOf(1), 1);
    // Popping the last id writes its 0 and then moves it into slot 1 again.
    EXPECT_EQ(h2.pop(), 1);
    EXPECT_EQ(h2.positionOf(1), 1);
    EXPECT_TRUE(h2.empty());

    // Ids never in the heap keep -1, including ids above the largest given.
    Keys k({5, 0, 0, 9, 0, 0, 0, 2, 0, 0});
    Heap h({7, 3, 0}, k.cmp());
    for (int id : {1, 2, 4, 5, 6, 8, 9}) EXPECT_EQ(h.positionOf(id), -1) << id;
    EXPECT_EQ(h.pop(), 3);
    EXPECT_EQ(h.positionOf(3), 0);
    expectValidHeap(h, {0, 7}, k.cmp());
    EXPECT_EQ(popAll(h), (std::vector<int>{0, 7}));
}

/* ids 0..3 with ratios 5, 2, 1, NaN (0/0):
          0(5)
         /    \
       1(2)  2(1)
       /
     3(NaN)
   The NaN id moves into slot 1 on the first pop and no comparison with it is
   ever true, so it stays there and is popped next, before ids 1 and 2. */
TEST(MappedHeapTest, NaNRatioNeverMoves) {
    Keys k({5, 2, 1, 0}, {1.0f, 1.0f, 1.0f, 0.0f});
    Heap h(iota(4), k.cmp());
    EXPECT_EQ(h.positionOf(3), 4);
    EXPECT_EQ(h.pop(), 0);
    EXPECT_EQ(h.positionOf(0), 0);
    EXPECT_EQ(h.positionOf(3), 1);
    EXPECT_EQ(popAll(h), (std::vector<int>{3, 1, 2}));

    // A NaN at the root blocks a larger child from rising during the build.
    Keys root({0, 5, 7}, {0.0f, 1.0f, 1.0f});
    Heap hr(iota(3), root.cmp());
    EXPECT_EQ(hr.positionOf(0), 1);
    EXPECT_EQ(popAll(hr), (std::vector<int>{0, 2, 1}));

    // Heapify of a NaN id leaves it where it is.
    Keys mid({9, 8, 7, 6, 5}, {1.0f, 1.0f, 1.0f, 1.0f, 1.0f});
    Heap hm(iota(5), mid.cmp());
    mid.gain[1] = 0;
    mid.cost[1] = 0.0f;
    EXPECT_EQ(hm.heapify(1), 2);
    EXPECT_EQ(hm.positionOf(3), 4);
}

TEST(MappedHeapTest, ZeroCostRanksFirst) {
    Keys k({50, 1, 100, 3}, {1.0f, 0.0f, 1.0f, 0.5f});
    Heap h(iota(4), k.cmp());
    EXPECT_EQ(popAll(h), (std::vector<int>{1, 2, 0, 3}));
}

/* ids 0..6 with gains 7..1 are a heap as given:
              0(7)
           /       \
         1(6)      2(5)
        /   \     /   \
      3(4) 4(3) 5(2) 6(1) */
TEST(MappedHeapTest, HeapifyMovesDownAndUp) {
    Keys k({7, 6, 5, 4, 3, 2, 1});
    Heap h(iota(7), k.cmp());
    std::set<int> all{0, 1, 2, 3, 4, 5, 6};
    for (int id = 0; id < 7; ++id) ASSERT_EQ(h.positionOf(id), id + 1);

    // The root falls along the greater child each time: slots 2, 4.
    k.gain[0] = 0;
    EXPECT_EQ(h.heapify(0), 4);
    EXPECT_EQ(h.positionOf(1), 1);
    EXPECT_EQ(h.positionOf(3), 2);
    expectValidHeap(h, all, k.cmp());

    // A leaf raised above everything climbs to the root.
    k.gain[6] = 10;
    EXPECT_EQ(h.heapify(6), 1);
    EXPECT_EQ(h.positionOf(1), 3);
    EXPECT_EQ(h.positionOf(2), 7);
    expectValidHeap(h, all, k.cmp());

    // A raise that stays below its parent moves nothing: id 5 keeps slot 6.
    k.gain[5] = 4;
    EXPECT_EQ(h.heapify(5), 6);
    expectValidHeap(h, all, k.cmp());
    // Ids 3 and 5 tie at 4; 3 reaches slot 1 first as the left child.
    EXPECT_EQ(popAll(h), (std::vector<int>{6, 1, 2, 3, 5, 4, 0}));
}

/* The sift-up walks every ancestor even past a pair in order: raising id 1
   (slot 2) without re-sifting it, then heapify of its child id 3 (slot 4)
   finds 3 in order below 1 but still lifts 1 over the root. MappedHeap keeps
   each id's key and so asks for a heapify after every change; the walk then
   meets only pairs in order. The plain heap the tests check it against reads
   every key afresh, and shows the walk.
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
TEST(MappedHeapTest, RandomOperationsMatchLinearScan) {
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

// firstIds(n) is the constructor on the list 0 .. n - 1: the same pops
// under the same gain changes, ties included (gains drawn from a few values).
TEST(MappedHeapTest, FirstIdsMatchesTheIdList) {
    std::mt19937 rng(5);
    for (int n : {0, 1, 2, 7, 100}) {
        std::vector<int> gains(static_cast<std::size_t>(n)), ids(static_cast<std::size_t>(n));
        std::vector<float> costs(static_cast<std::size_t>(n), 1.0f);
        for (int i = 0; i < n; ++i) {
            gains[static_cast<std::size_t>(i)] = static_cast<int>(rng() % 4);
            ids[static_cast<std::size_t>(i)] = i;
        }
        MappedHeap<Cmp> fromList(ids, Cmp(gains.data(), costs.data()));
        MappedHeap<Cmp> fromCount = MappedHeap<Cmp>::firstIds(n, Cmp(gains.data(), costs.data()));
        while (!fromList.empty()) {
            ASSERT_FALSE(fromCount.empty());
            const int a = fromList.pop(), b = fromCount.pop();
            ASSERT_EQ(a, b) << "n = " << n;
            if (!fromList.empty()) {
                const int other = static_cast<int>(rng() % static_cast<unsigned>(n));
                if (fromList.positionOf(other) > 0 && gains[static_cast<std::size_t>(other)] > 0) {
                    --gains[static_cast<std::size_t>(other)];
                    fromList.heapify(other);
                    fromCount.heapify(other);
                }
            }
        }
        EXPECT_TRUE(fromCount.empty());
    }
}

// decreased is heapify for a ratio that did not grow: the same slots after
// every change, ties included (gains from a few values, equal costs), and
// the same pops.
TEST(MappedHeapTest, DecreasedMatchesHeapifyOnDecreases) {
    std::mt19937 rng(77);
    for (int round = 0; round < 40; ++round) {
        const int n = 1 + static_cast<int>(rng() % 50);
        std::vector<int> a(static_cast<std::size_t>(n)), b;
        std::vector<float> costs(static_cast<std::size_t>(n), 1.0f);
        for (int& g : a) g = static_cast<int>(rng() % 5);
        b = a;
        Heap ha(iota(n), Cmp(a.data(), costs.data()));
        Heap hb(iota(n), Cmp(b.data(), costs.data()));
        for (int step = 0; step < 200 && !ha.empty(); ++step) {
            if (rng() % 4 == 0) {
                ASSERT_EQ(ha.pop(), hb.pop());
                continue;
            }
            const int id = static_cast<int>(rng() % static_cast<unsigned>(n));
            if (ha.positionOf(id) < 1 || a[static_cast<std::size_t>(id)] == 0) continue;
            --a[static_cast<std::size_t>(id)];
            --b[static_cast<std::size_t>(id)];
            ASSERT_EQ(ha.heapify(id), hb.decreased(id));
            for (int v = 0; v < n; ++v) ASSERT_EQ(ha.positionOf(v), hb.positionOf(v));
        }
    }
}

// The heap against the plain one of tests/support built from the ids
// 0 .. n - 1: the same pops and the same slot for every id after every
// step, under random pops, decreases (decreased) and changes either way
// (heapify), with ties (gains from a few values) and mixed costs. Zero costs
// (+inf and 0 / 0) only meet heapify, decreased assuming no NaN. One heap is
// rebuilt three times over new gains (most 0 in some shapes), after all its
// ids or only some were popped.
TEST(MappedHeapTest, MatchesTheReferenceHeap) {
    std::mt19937 rng(31);
    const std::vector<HeapKeyShape> shapes = {{{1.0f}, 2, 60}, {{0.5f, 1.0f, 3.0f}, 2, 60}, {{0.0f, 1.0f, 2.0f}, 2, 60},
                                       {{1.0f}, 7, 3000}, {{1.0f, 2.0f}, 6, 300}, {{1.0f}, 8, 60}};
    for (const HeapKeyShape& shape : shapes) {
        const bool positiveCosts = shape.costs[0] > 0;
        for (int run = 0; run < 10; ++run) {
            const int n = static_cast<int>(rng() % static_cast<unsigned>(shape.maxN));
            std::vector<int> gains(static_cast<std::size_t>(n));
            std::vector<float> costs(static_cast<std::size_t>(n));
            Heap fast(Cmp(gains.data(), costs.data()));
            for (int round = 0; round < 3; ++round) {
                SCOPED_TRACE(::testing::Message() << "n " << n << ", run " << run << ", round " << round);
                drawHeapKeys(shape, rng, gains, costs);
                ReferenceHeap<Cmp> plain(iota(n), Cmp(gains.data(), costs.data()));
                fast.buildFirstIds(n);
                for (int v = 0; v < n; ++v) ASSERT_EQ(plain.positionOf(v), fast.positionOf(v)) << v;
                const bool raises = run % 3 == 0;  // heapify with any new gain, else only decreases
                while (!plain.empty() && !(round < 2 && rng() % 64 == 0)) {
                    ASSERT_FALSE(fast.empty());
                    const unsigned op = rng() % 6;
                    if (op < 2) {
                        ASSERT_EQ(plain.pop(), fast.pop());
                        continue;
                    }
                    const int id = static_cast<int>(rng() % static_cast<unsigned>(n));
                    if (!fast.contains(id)) continue;
                    int& g = gains[static_cast<std::size_t>(id)];
                    if ((op < 5 || !raises) && positiveCosts) {
                        if (g == 0) continue;
                        --g;
                        ASSERT_EQ(plain.heapify(id), fast.decreased(id));
                    } else {
                        g = static_cast<int>(rng() % 5);
                        ASSERT_EQ(plain.heapify(id), fast.heapify(id));
                    }
                    for (int v = 0; v < n; ++v) ASSERT_EQ(plain.positionOf(v), fast.positionOf(v)) << v;
                }
                EXPECT_EQ(fast.empty(), plain.empty());
            }
        }
    }
}
