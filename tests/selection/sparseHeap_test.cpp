// Tests of the selection's sparse heap: after its build and after every pop
// and lowered key it holds each id in the slot the plain reference heap over
// all ids does, on one thread and several, through rebuilds of one heap over
// new gains as a run's selections rebuild it.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "selection/HeapData.h"
#include "selection/sparseHeap.h"
#include "support/heapKeys.h"
#include "support/referenceHeap.h"

using namespace lattis;

namespace {

using Cmp = InfCost<int, float>;

std::vector<int> iota(int n) {
    std::vector<int> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) v[static_cast<std::size_t>(i)] = i;
    return v;
}

/* Ids 0..9 in slots 1..10 at the start; gains only for ids 2, 5 and 9
   (3, 1, 3), unit costs. The build lifts 9 over 4, 1 and then 0 (the left
   child wins the tie with 2):

             0                     9
          1     2               0     2
         3 4   5 6      ->     3 1   5 6
        7 8 9                 7 8 4

   The marked slots are 1, 2, 3, 5, 6 and 10. The pops take 9, 2 and 5; the
   second and third bring the unmarked last slots' ids 8 and 7 to the root,
   where 8 sinks below 5 into slot 3 and 7 stays. */
TEST(SparseHeapTest, DrawnHeapPopsAndMovesAsTheReference) {
    std::vector<int> gains = {0, 0, 3, 0, 0, 1, 0, 0, 0, 3};
    std::vector<float> costs(gains.size(), 1.0f);
    const Cmp cmp(gains.data(), costs.data());
    SparseHeap<Cmp> heap(cmp);
    const std::vector<int> keyed = {2, 5, 9};
    heap.build(10, keyed);
    ReferenceHeap<Cmp> plain(iota(10), cmp);
    auto samePlaces = [&] {
        for (int id = 0; id < 10; ++id) EXPECT_EQ(heap.positionOf(id), plain.positionOf(id)) << id;
    };
    samePlaces();
    EXPECT_EQ(std::vector<int>({heap.positionOf(9), heap.positionOf(0), heap.positionOf(1), heap.positionOf(4)}),
              std::vector<int>({1, 2, 5, 10}));
    for (int want : {9, 2, 5}) {
        EXPECT_EQ(heap.pop(), want);
        EXPECT_EQ(plain.pop(), want);
        samePlaces();
    }
    EXPECT_EQ(heap.positionOf(8), 3);
    EXPECT_EQ(heap.positionOf(7), 1);
    for (int id = 0; id < 10; ++id) EXPECT_EQ(heap.contains(id), id != 9 && id != 2 && id != 5) << id;
}

// Pop orders of whole heaps, every id keyed: ties leave the left child
// first and then the last slot's id; a zero cost is +inf and goes first.
TEST(SparseHeapTest, PopOrders) {
    /* Gains 3, 5, 5, 1, 0: the build swaps id 1 (left of the two 5s) up.
          0(3)                1(5)
        /      \            /      \
      1(5)    2(5)   =>   0(3)    2(5)
      /  \                /  \
    3(1) 4(0)           3(1) 4(0) */
    struct Case {
        std::vector<int> gains;
        std::vector<float> costs;  // empty: all 1
        std::vector<int> pops;
    };
    const std::vector<Case> cases = {
        {{3, 5, 5, 1, 0}, {}, {1, 2, 0, 3, 4}},
        {{2}, {}, {0}},
        {{2, 2, 2}, {}, {0, 2, 1}},
        {std::vector<int>(16, 2), {}, {0, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
        {{50, 1, 100, 3}, {1.0f, 0.0f, 1.0f, 0.5f}, {1, 2, 0, 3}},
    };
    for (const Case& c : cases) {
        std::vector<int> gains = c.gains;
        std::vector<float> costs = c.costs.empty() ? std::vector<float>(gains.size(), 1.0f) : c.costs;
        SparseHeap<Cmp> heap(Cmp(gains.data(), costs.data()));
        std::vector<int> keyed;
        for (std::size_t i = 0; i < gains.size(); ++i)
            if (gains[i] != 0) keyed.push_back(static_cast<int>(i));
        heap.build(static_cast<int>(gains.size()), keyed);
        std::vector<int> pops;
        while (!heap.empty()) pops.push_back(heap.pop());
        EXPECT_EQ(pops, c.pops) << "case of " << gains.size() << " ids";
    }
}

// A pop leaves 0 for the id it takes, but the last id popped alone keeps
// slot 1; popping an empty heap says so and returns -1.
TEST(SparseHeapTest, PositionsAfterPopsAndTheEmptyPop) {
    std::vector<int> gains = {2, 1};
    std::vector<float> costs = {1.0f, 1.0f};
    SparseHeap<Cmp> heap(Cmp(gains.data(), costs.data()));
    heap.build(2, std::vector<int>{0, 1});
    EXPECT_EQ(heap.pop(), 0);
    EXPECT_EQ(std::vector<int>({heap.positionOf(0), heap.positionOf(1)}), std::vector<int>({0, 1}));
    EXPECT_EQ(heap.pop(), 1);
    EXPECT_EQ(heap.positionOf(1), 1);
    EXPECT_FALSE(heap.contains(1));
    for (bool rebuilt : {false, true}) {  // emptied by pops, then built over no ids
        if (rebuilt) heap.build(0, {});
        testing::internal::CaptureStderr();
        EXPECT_EQ(heap.pop(), -1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Cannot pop from an empty heap!\n");
        EXPECT_TRUE(heap.empty());
    }
}

// Random gains (mostly 0, as most nodes are in no hyperedge), costs, pops
// and lowered gains; the heap is rebuilt three times over new gains, on one
// thread and on three alternately. Empty and one-id heaps included.
TEST(SparseHeapTest, MatchesTheReferenceHeap) {
    std::mt19937 rng(47);
    const std::vector<HeapKeyShape> shapes = {{{1.0f}, 2, 60}, {{0.5f, 1.0f, 3.0f}, 2, 60}, {{1.0f}, 7, 3000},
                                       {{1.0f, 2.0f}, 6, 300}, {{1.0f}, 8, 60}, {{1.0f}, 0, 2}};
    for (const HeapKeyShape& shape : shapes)
        for (int run = 0; run < 10; ++run) {
            const int n = static_cast<int>(rng() % static_cast<unsigned>(shape.maxN));
            std::vector<int> gains(static_cast<std::size_t>(n));
            std::vector<float> costs(static_cast<std::size_t>(n));
            SparseHeap<Cmp> heap(Cmp(gains.data(), costs.data()));
            for (int round = 0; round < 3; ++round) {
                SCOPED_TRACE(::testing::Message() << "n " << n << ", run " << run << ", round " << round);
                const std::vector<int> keyed = drawHeapKeys(shape, rng, gains, costs);
                ReferenceHeap<Cmp> plain(iota(n), Cmp(gains.data(), costs.data()));
                heap.build(n, keyed, 1 + 2 * (round % 2));
                for (int v = 0; v < n; ++v) ASSERT_EQ(plain.positionOf(v), heap.positionOf(v)) << v;
                while (!plain.empty() && !(round < 2 && rng() % 64 == 0)) {
                    ASSERT_FALSE(heap.empty());
                    if (rng() % 3 == 0) {
                        ASSERT_EQ(plain.pop(), heap.pop());
                    } else {
                        const int id = static_cast<int>(rng() % static_cast<unsigned>(n));
                        int& g = gains[static_cast<std::size_t>(id)];
                        if (!heap.contains(id) || g == 0) continue;
                        --g;
                        ASSERT_EQ(plain.heapify(id), heap.decreasedTo(id, heap.keyOf(id)));
                    }
                    for (int v = 0; v < n; ++v) ASSERT_EQ(plain.positionOf(v), heap.positionOf(v)) << v;
                }
                EXPECT_EQ(heap.empty(), plain.empty());
            }
        }
}

}  // namespace
