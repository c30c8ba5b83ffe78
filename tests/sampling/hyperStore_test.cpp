// Tests of the hyperedge store: the root distribution over both benefit
// layouts (with its closing at UI_MAX and the top draw), the two searches and
// their tie rules, the contiguous index kept in place across batches, the
// byte figure of the layout, and the store's limits; the root lookup against
// a full search of the distribution.
//
// Draws are steered by writing the wanted values into a generator state and
// setting its index to 0, so the next draws return exactly those values and
// the index afterwards counts the draws taken.
#include <omp.h>

#include <array>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <span>
#include <vector>

#include "graph/graph.h"
#include "sampling/hyperGraph.h"
#include "support/testNetwork.h"

using namespace lattis;

namespace {

constexpr UI kTop = 4294967295U;

void setNextDraws(sfmt_t& s, const std::vector<UI>& draws) {
    s.idx = 0;
    for (std::size_t i = 0; i < draws.size(); ++i) s.state[i / 4].u[i % 4] = draws[i];
}

// A network of n nodes without arcs (every sample is its root alone) and the
// given benefits, loaded under LT.
struct Isolated {
    Isolated(int n, const std::vector<double>& benefits, BenefitLayout layout)
        : g(layout), visit(static_cast<std::size_t>(n) + 1), mark(static_cast<std::size_t>(n) + 1) {
        testnet::writeNetwork(dir.path("net.bin"), n, {});
        testnet::writeValues(dir.path("ben.txt"), benefits);
        g.readGraphLT(dir.path("net.bin").c_str(), dir.path("ben.txt").c_str());
    }
    // The root that a given root draw selects.
    int rootFor(HyperGraph& hg, UI draw) {
        setNextDraws(hg.generator(), {draw, 0});
        hg.pollingLT1(g, visit, mark);
        return hg.getEdge(hg.getNumEdge() - 1)[0];
    }
    testnet::TempDir dir;
    Graph g;
    std::vector<bool> visit;
    std::vector<int> mark;
};

std::vector<UI> distribution(const HyperGraph& hg) {
    const std::span<const UI> d = hg.rootDistribution();
    return {d.begin(), d.end()};
}

// Worked distributions (their size and last entries) and the roots that
// draws at and around their boundaries select.
TEST(HyperStoreRoots, WorkedDistributionsAndDraws) {
    struct Case {
        int n;
        std::vector<double> benefits;
        BenefitLayout layout;
        std::size_t size;
        std::vector<UI> tail;
        std::vector<std::pair<UI, int>> roots;  // draw, root
    };
    const Case cases[] = {
        {2, {0, 1}, BenefitLayout::Compact, 2, {0, kTop}, {{0, 2}, {12345, 2}, {kTop - 1, 2}, {kTop, 2}}},
        // 1.1 * UI_MAX / 1.1 rounds to 4294967294.9999995, which truncates to
        // UI_MAX - 1; the distribution is closed at UI_MAX so the top draw
        // still finds the node.
        {1, {1.1}, BenefitLayout::Compact, 2, {0, kTop}, {{kTop - 1, 1}, {kTop, 1}}},
        {2, {1, 3}, BenefitLayout::Compact, 3, {0, 1073741823, kTop}, {{1073741822, 1}, {1073741823, 2}, {kTop, 2}}},
        // Dense: positions 0..3 hold node ids 0, 2, 3, 0 with benefits 0, 2,
        // 2, 0, and no draw roots at node 0. The top draw runs the binary
        // search out at the trailing position of node id 0; it belongs to
        // the last positive position instead.
        {3, {0, 2, 2}, BenefitLayout::Dense, 5, {0, 0, 2147483647, kTop, kTop},
         {{0, 2}, {2147483646, 2}, {2147483647, 3}, {kTop - 1, 3}, {kTop, 3}}},
        // Benefits 0.1 and 1.0 total 1.1, whose scaled prefix is UI_MAX - 1;
        // the entries from node 2's end on are closed at UI_MAX.
        {4, {0.1, 1.0, 0, 0}, BenefitLayout::Dense, 6, {kTop, kTop, kTop, kTop}, {{kTop - 1, 2}, {kTop, 2}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.benefits));
        Isolated net(c.n, c.benefits, c.layout);
        HyperGraph hg(static_cast<unsigned>(c.n), net.g);
        const std::vector<UI> d = distribution(hg);
        ASSERT_EQ(d.size(), c.size);
        EXPECT_TRUE(std::equal(c.tail.begin(), c.tail.end(), d.end() - static_cast<std::ptrdiff_t>(c.tail.size())));
        for (const auto& [draw, root] : c.roots) EXPECT_EQ(net.rootFor(hg, draw), root) << draw;
    }
}

TEST(HyperStoreRoots, NegligibleBenefitHasZeroWidth) {
    Isolated net(2, {1e-12, 1.0}, BenefitLayout::Compact);
    HyperGraph hg(2, net.g);
    const std::vector<UI> d = distribution(hg);
    EXPECT_EQ(d[1], d[0]);
    EXPECT_EQ(net.rootFor(hg, 0), 2);
}

TEST(HyperStoreRoots, NoPositiveBenefitFailsAtConstruction) {
    for (BenefitLayout layout : {BenefitLayout::Compact, BenefitLayout::Dense}) {
        Isolated net(3, {0, -1, 0}, layout);
        EXPECT_THROW(HyperGraph(3, net.g), std::runtime_error);
    }
}

TEST(HyperStoreRoots, ConstructorSeedsFromOneRandValue) {
    Isolated net(2, {1, 1}, BenefitLayout::Dense);
    std::srand(77);
    const unsigned first = static_cast<unsigned>(std::rand());
    const unsigned second = static_cast<unsigned>(std::rand());
    std::srand(77);
    HyperGraph hg(2, net.g);
    EXPECT_EQ(static_cast<unsigned>(std::rand()), second);
    sfmt_t expected;
    sfmt_init_gen_rand(&expected, first);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(sfmt_genrand_uint32(&hg.generator()), sfmt_genrand_uint32(&expected));
}

TEST(HyperStoreRoots, LookupAgreesWithFullSearchAtEveryBoundary) {
    // Isolated nodes with benefits of widely varying size and runs of zeros,
    // so that buckets of the root lookup hold zero, one and many positions;
    // and equal benefits, looked up by multiplication: 1 (exact entries), 0.3
    // (entries carrying the running sum's rounding) and a count of nodes that
    // does not divide 2^32. Every boundary of the distribution, one either
    // side of it, and draws in between must root where the interval p with
    // d[p - 1] <= draw < d[p] (the last positive position for the top draw)
    // says.
    std::mt19937 rng(11);
    struct Case {
        int n;
        double equal;  // 0: varied benefits
    };
    for (const Case c : {Case{300, 0}, Case{300, 1}, Case{1000, 0.3}, Case{7, 1}}) {
        const int n = c.n;
        std::vector<double> ben(static_cast<std::size_t>(n), c.equal);
        if (c.equal == 0)
            for (int v = 0; v < n; ++v) ben[static_cast<std::size_t>(v)] = v % 7 == 3 ? 0 : std::ldexp(1.0 + rng() % 100, static_cast<int>(rng() % 20));
        for (BenefitLayout layout : {BenefitLayout::Dense, BenefitLayout::Compact}) {
            Isolated net(n, ben, layout);
            HyperGraph hg(static_cast<unsigned>(n), net.g);
            const std::vector<UI> d = distribution(hg);
            std::size_t lastPositive = 0;
            for (std::size_t j = 0; j < net.g.getBen().size(); ++j)
                if (net.g.getBen()[j] > 0) lastPositive = j;
            auto expected = [&](UI draw) {
                std::size_t p = d.size() - 1;
                for (std::size_t q = 1; q < d.size(); ++q)
                    if (d[q - 1] <= draw && draw < d[q]) {
                        p = q;
                        break;
                    }
                return static_cast<int>(net.g.getNodeInBen(static_cast<unsigned>(std::min(p - 1, lastPositive))));
            };
            std::vector<UI> draws = {0, kTop};
            for (UI b : d) {
                draws.push_back(b);
                if (b > 0) draws.push_back(b - 1);
                if (b < kTop) draws.push_back(b + 1);
            }
            for (int i = 0; i < 2000; ++i) draws.push_back(static_cast<UI>(rng()));
            for (UI draw : draws) ASSERT_EQ(net.rootFor(hg, draw), expected(draw)) << c.n << " nodes, draw " << draw;
        }
    }
}

TEST(HyperStoreSearch, TieRulesOnRepeatedBoundary) {
    const std::vector<UI> w = {0, 10, 10, 20};
    sfmt_t s;
    struct Case {
        UI draw;
        int bin, lin;
    };
    for (const Case& c : {Case{10, 3, 1}, Case{20, 3, 3}, Case{21, -1, -1}, Case{0, 1, 1}, Case{9, 1, 1},
                          Case{11, 3, 3}, Case{kTop, -1, -1}}) {
        setNextDraws(s, {c.draw});
        EXPECT_EQ(HyperGraph::randIndex_bin(w.data(), 4, s), c.bin) << c.draw;
        EXPECT_EQ(s.idx, 1);
        setNextDraws(s, {c.draw});
        EXPECT_EQ(HyperGraph::randIndex_lin(w.data(), 4, s), c.lin) << c.draw;
        EXPECT_EQ(s.idx, 1);
    }
}

TEST(HyperStoreSearch, SingleEntryTakesItsDrawAndFails) {
    const std::vector<UI> w = {0};
    sfmt_t s;
    setNextDraws(s, {0});
    EXPECT_EQ(HyperGraph::randIndex_bin(w.data(), 1, s), -1);
    EXPECT_EQ(s.idx, 1);
    setNextDraws(s, {0});
    EXPECT_EQ(HyperGraph::randIndex_lin(w.data(), 1, s), -1);
    EXPECT_EQ(s.idx, 1);
}

TEST(HyperStoreSearch, RandomListsWithZeroWidthIntervals) {
    // bin: the p with w[p - 1] <= draw < w[p], or si - 1 for a draw equal to
    // w[si - 1]. lin: the p with w[p - 1] < draw <= w[p], or 1 for a draw of
    // 0. Both: -1 above w[si - 1]. Lists of 2 to 40 entries, every third
    // interval of zero width.
    std::vector<UI> w = {0};
    std::mt19937 rng(5);
    for (int i = 1; i < 40; ++i) w.push_back(w.back() + (i % 3 == 0 ? 0 : 1 + static_cast<UI>(rng() % 100000000)));
    sfmt_t s;
    for (int trial = 0; trial < 3000; ++trial) {
        // Every other draw hits a stored value exactly.
        const UI draw = trial % 2 ? w[rng() % w.size()] : static_cast<UI>(rng()) % (w.back() + 100);
        for (UI si : {2U, 17U, 31U, 32U, 40U}) {
            int bin = -1, lin = -1;
            if (draw <= w[si - 1]) {
                bin = static_cast<int>(si) - 1;
                for (UI p = 1; p < si; ++p)
                    if (w[p - 1] <= draw && draw < w[p]) bin = static_cast<int>(p);
                lin = 1;
                for (UI p = 1; p < si; ++p)
                    if (w[p - 1] < draw && draw <= w[p]) lin = static_cast<int>(p);
            }
            setNextDraws(s, {draw});
            EXPECT_EQ(HyperGraph::randIndex_bin(w.data(), si, s), bin) << draw << " " << si;
            setNextDraws(s, {draw});
            EXPECT_EQ(HyperGraph::randIndex_lin(w.data(), si, s), lin) << draw << " " << si;
        }
    }
}

// The index as a plain per-node list built from the stored hyperedges.
std::vector<std::vector<int>> plainIndex(const HyperGraph& hg, int n) {
    std::vector<std::vector<int>> lists(static_cast<std::size_t>(n) + 1);
    for (int e = 0; e < hg.getNumEdge(); ++e)
        for (int v : hg.getEdge(e)) lists[static_cast<std::size_t>(v)].push_back(e);
    return lists;
}

void expectIndexed(const HyperGraph& hg, int n) {
    const auto lists = plainIndex(hg, n);
    for (int v = 0; v <= n; ++v) {
        const auto got = hg.getNode(v);
        EXPECT_EQ(std::vector<int>(got.begin(), got.end()), lists[static_cast<std::size_t>(v)]) << "node " << v;
    }
}

TEST(HyperStoreIndex, AddEdgeDKeepsMaxDegree) {
    Isolated net(6, {1, 1, 1, 1, 1, 1}, BenefitLayout::Dense);
    HyperGraph hg(6, net.g);
    hg.addEdgeD({2, 5});
    hg.addEdgeD({5});
    EXPECT_EQ(hg.getMaxDegree(), 2);
    const auto l5 = hg.getNode(5), l2 = hg.getNode(2);
    EXPECT_EQ(std::vector<int>(l5.begin(), l5.end()), (std::vector<int>{0, 1}));
    EXPECT_EQ(std::vector<int>(l2.begin(), l2.end()), (std::vector<int>{0}));
    hg.addEdge({2, 3, 4});
    EXPECT_EQ(hg.getMaxDegree(), 2);
    expectIndexed(hg, 6);
}

TEST(HyperStoreIndex, CountBeforeIndexAndUpdateTwice) {
    Isolated net(5, {1, 1, 1, 1, 1}, BenefitLayout::Dense);
    HyperGraph hg(5, net.g);
    std::vector<bool> visit(6);
    std::vector<int> mark(6);
    for (int i = 0; i < 7; ++i) hg.pollingLT1(net.g, visit, mark);
    EXPECT_EQ(hg.getNumEdge(), 7);
    for (int v = 0; v <= 5; ++v) EXPECT_TRUE(hg.getNode(v).empty());
    hg.updateDeg();
    expectIndexed(hg, 5);
    const std::size_t bytes = hg.storeBytes();
    hg.updateDeg();
    expectIndexed(hg, 5);
    EXPECT_EQ(hg.storeBytes(), bytes);
}

TEST(HyperStoreIndex, UpdateEdgeSkipsWithoutIndexing) {
    Isolated net(3, {1, 1, 1}, BenefitLayout::Dense);
    HyperGraph hg(3, net.g);
    HyperedgeBuffer buf;
    for (int v : {1, 2, 3}) {
        buf.nodes.push_back(v);
        buf.sizes.push_back(1);
    }
    hg.appendEdges(buf);
    hg.updateEdge();
    hg.updateDeg();
    for (int v = 0; v <= 3; ++v) EXPECT_TRUE(hg.getNode(v).empty());
    EXPECT_EQ(hg.getNumEdge(), 3);
}

TEST(HyperStoreIndex, BatchesMoveListsInPlace) {
    // Random batches of hyperedges of distinct nodes, indexed batch by batch
    // on one thread and on a team of node ranges, always equal the plain
    // index and stay in increasing order. Under "low after high" the first
    // batches hold only the top nodes and the later ones mostly the lowest,
    // so that a range's lists move by more than the range holds.
    const int n = 40;
    const int before = omp_get_max_threads();
    for (const bool lowAfterHigh : {false, true})
        for (const int threads : {1, 3}) {
            SCOPED_TRACE(testing::Message() << "low after high " << lowAfterHigh << ", threads " << threads);
            omp_set_num_threads(threads);
            Isolated net(n, std::vector<double>(n, 1.0), BenefitLayout::Dense);
            HyperGraph hg(n, net.g);
            std::mt19937 rng(11);
            for (int batch = 0; batch < 12; ++batch) {
                HyperedgeBuffer buf;
                const int count = static_cast<int>(rng() % 60);
                for (int e = 0; e < count; ++e) {
                    std::vector<int> nodes(static_cast<std::size_t>(n));
                    for (int v = 0; v < n; ++v) nodes[static_cast<std::size_t>(v)] = v + 1;
                    std::shuffle(nodes.begin(), nodes.end(), rng);
                    if (lowAfterHigh) std::sort(nodes.begin(), nodes.end(), [&](int a, int b) { return batch < 3 ? a > b : a < b; });
                    // Mostly small hyperedges, and now and then one over half the nodes.
                    const UI size = 1 + static_cast<UI>(rng() % (rng() % 8 == 0 ? n : 4));
                    for (UI i = 0; i < size; ++i) buf.nodes.push_back(nodes[i]);
                    buf.sizes.push_back(size);
                }
                hg.appendEdges(buf);
                hg.updateDeg();
                expectIndexed(hg, n);
            }
        }
    omp_set_num_threads(before);
}

TEST(HyperStoreIndex, ClearEdgesLeavesAUsableStore) {
    Isolated net(4, {1, 1, 1, 1}, BenefitLayout::Dense);
    HyperGraph hg(4, net.g);
    hg.addEdgeD({1, 2});
    hg.addEdgeD({2});
    std::vector<bool> visit(5);
    std::vector<int> mark(5);
    hg.pollingLT1(net.g, visit, mark);
    hg.updateDeg();
    hg.clearEdges();
    EXPECT_EQ(hg.getNumEdge(), 0);
    EXPECT_EQ(hg.getMaxDegree(), 0);
    for (int v = 0; v <= 4; ++v) EXPECT_TRUE(hg.getNode(v).empty());
    // Sampled hyperedges are indexed from 0 again, then addEdge follows on.
    hg.pollingLT1(net.g, visit, mark);
    hg.pollingLT1(net.g, visit, mark);
    hg.updateDeg();
    hg.addEdge({3, 4});
    EXPECT_EQ(hg.getNumEdge(), 3);
    expectIndexed(hg, 4);
}

TEST(HyperStoreLayout, BytesMatchIdsAndOffsets) {
    // edge_node and node_edge: one int per stored id; edge_off: one 64-bit
    // offset per hyperedge; node_slot: an int per node and slot_off: one
    // 64-bit offset per stored node (here all n) and one. Each rounds to a page,
    // of 2 MB for large arrays, so the store is made large enough for that
    // slack to be small beside a second copy of any array.
    const int n = 1000;
    Isolated net(n, std::vector<double>(n, 1.0), BenefitLayout::Dense);
    HyperGraph hg(n, net.g);
    HyperedgeBuffer buf;
    std::mt19937 rng(3);
    std::size_t ids = 0;
    const std::size_t edges = 2000000;
    for (std::size_t e = 0; e < edges; ++e) {
        const UI size = 1 + static_cast<UI>(rng() % 5);
        for (UI i = 0; i < size; ++i) buf.nodes.push_back(1 + static_cast<int>((e + i) % n));
        buf.sizes.push_back(size);
        ids += size;
    }
    hg.reserveEdges(edges, ids);
    hg.appendEdges(buf);
    hg.updateDeg();
    EXPECT_EQ(hg.getNumStoredNodes(), ids);
    const std::size_t ideal = 8 * ids + 8 * (edges + 1) + 4 * (n + 1) + 8 * (n + 1);
    EXPECT_GE(hg.storeBytes(), ideal);
    EXPECT_LE(hg.storeBytes(), ideal + 5 * (std::size_t{2} << 20));
}

TEST(HyperStoreLayout, ArraysKeepTheirContentsAsTheyGrowOntoHugePages) {
    // A buffer grows from small pages across the 256 kB line onto huge pages
    // (a move to a 2 MB boundary) and on; a prefix given back reads as zero
    // while the rest stays, whichever page size the buffer has reached.
    constexpr std::size_t kHuge = std::size_t{2} << 20;
    for (const std::size_t count : {std::size_t{1000}, std::size_t{300000}, std::size_t{3000000}}) {
        HyperedgeBuffer buf;
        for (std::size_t i = 0; i < count; ++i) buf.add(std::array<int, 1>{static_cast<int>(i)}.data(), 1);
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < count; ++i) wrong += buf.nodes[i] != static_cast<int>(i);
        EXPECT_EQ(wrong, 0u) << count;
        if (buf.nodes.bytes() >= kHuge) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buf.nodes.data()) % kHuge, 0u) << count;
        }
        const std::size_t keepFrom = count / 2;
        buf.discardBefore(keepFrom, keepFrom);
        const std::size_t page = buf.nodes.pageBytes() / sizeof(int);
        for (std::size_t i = keepFrom; i < count; ++i) wrong += buf.nodes[i] != static_cast<int>(i);
        for (std::size_t i = 0; i < keepFrom / page * page; ++i) wrong += buf.nodes[i] != 0;
        EXPECT_EQ(wrong, 0u) << count;
    }
}

TEST(HyperStoreLayout, KeptRoomOutlastsDiscardsAndRestarts) {
    // The room a buffer keeps between batches is never given back: its ids
    // stay through discards and a restart, which empties the buffer and
    // unmaps only what lies past that room.
    for (const std::size_t count : {std::size_t{1000}, std::size_t{300000}, std::size_t{3000000}}) {
        HyperedgeBuffer buf;
        buf.reserveKept(16, std::size_t{1} << 18);
        const std::size_t kept = buf.nodes.bytes();
        for (std::size_t i = 0; i < count; ++i) buf.add(std::array<int, 1>{static_cast<int>(i)}.data(), 1);
        buf.discardBefore(count, count);
        const std::size_t keptIds = std::min(count, kept / sizeof(int));
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < keptIds; ++i) wrong += buf.nodes[i] != static_cast<int>(i);
        buf.restart();
        EXPECT_EQ(buf.nodes.size(), 0u);
        EXPECT_EQ(buf.sizes.size(), 0u);
        EXPECT_EQ(buf.nodes.bytes(), kept);
        for (std::size_t i = 0; i < keptIds; ++i) wrong += buf.nodes[i] != static_cast<int>(i);
        EXPECT_EQ(wrong, 0u) << count;
    }
}

TEST(HyperStoreLimits, RefusesToPassTheHyperedgeIdRange) {
    Isolated net(2, {1, 1}, BenefitLayout::Dense);
    HyperGraph hg(2, net.g);
    hg.addEdge({1});
    EXPECT_THROW(hg.reserveEdges(static_cast<std::size_t>(INT_MAX), 0), std::runtime_error);
    EXPECT_EQ(hg.getNumEdge(), 1);
}

TEST(HyperStoreStreams, KeyAndBlockNumbers) {
    Isolated net(2, {1, 1}, BenefitLayout::Dense);
    HyperGraph hg(2, net.g);
    sfmt_t copy = hg.generator();
    const std::array<UI, 4> key = hg.drawStreamKey();
    for (UI k : key) EXPECT_EQ(k, sfmt_genrand_uint32(&copy));
    EXPECT_EQ(hg.generator().idx, copy.idx);
    EXPECT_EQ(hg.claimBlockNumbers(3), 0u);
    EXPECT_EQ(hg.claimBlockNumbers(2), 3u);
    EXPECT_EQ(hg.claimBlockNumbers(1), 5u);

    // Streams of different indices (also ones differing only in the high
    // word) start differently; the same index restarts the same stream.
    sfmt_t a, b, c, a2;
    HyperGraph::initStream(a, key, 7);
    HyperGraph::initStream(b, key, 8);
    HyperGraph::initStream(c, key, 7 + (std::uint64_t{1} << 32));
    HyperGraph::initStream(a2, key, 7);
    const UI first = sfmt_genrand_uint32(&a);
    EXPECT_NE(first, sfmt_genrand_uint32(&b));
    EXPECT_NE(first, sfmt_genrand_uint32(&c));
    EXPECT_EQ(first, sfmt_genrand_uint32(&a2));
}

}  // namespace
