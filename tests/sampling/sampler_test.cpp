// Tests of the reverse samplers under LT and IC: the hyperedges and draw
// counts of small worked cases, the seed tests and early exits, the draw
// accounting of random samples (the generator afterwards equals a copy
// advanced by the number of draws the walk must take), and sampled node
// frequencies against exact probabilities from enumerating every live-edge
// outcome.
//
// Draws are steered where a case needs particular ones by writing values
// into the generator state and setting its index to 0.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "sampling/fastSampler.h"
#include "graph/graph.h"
#include "sampling/generate.h"
#include "sampling/hyperGraph.h"
#include "support/liveEdgeEnumeration.h"
#include "support/testNetwork.h"

using namespace lattis;

namespace {

using testnet::Arc;
using namespace enumeration;

void setNextDraws(sfmt_t& s, const std::vector<UI>& draws) {
    s.idx = 0;
    for (std::size_t i = 0; i < draws.size(); ++i) s.state[i / 4].u[i % 4] = draws[i];
}

sfmt_t advanced(sfmt_t s, long long draws) {
    for (long long i = 0; i < draws; ++i) sfmt_genrand_uint32(&s);
    return s;
}

bool sameState(const sfmt_t& a, const sfmt_t& b) {
    return a.idx == b.idx && std::memcmp(a.state, b.state, sizeof a.state) == 0;
}

struct Net {
    Net(int nodes, const std::vector<Arc>& arcs, const std::vector<double>& benefits, bool lt,
        BenefitLayout layout = BenefitLayout::Dense)
        : n(nodes), g(layout), visit(static_cast<std::size_t>(nodes) + 1), mark(static_cast<std::size_t>(nodes) + 1) {
        testnet::writeNetwork(dir.path("net.bin"), n, arcs);
        testnet::writeValues(dir.path("ben.txt"), benefits);
        if (lt)
            g.readGraphLT(dir.path("net.bin").c_str(), dir.path("ben.txt").c_str());
        else
            g.readGraphIC(dir.path("net.bin").c_str(), dir.path("ben.txt").c_str());
    }
    bool allClear() const {
        for (bool b : visit)
            if (b) return false;
        return true;
    }
    std::vector<UI> seedLink(const std::vector<int>& seeds) const {
        std::vector<UI> link(static_cast<std::size_t>(n) + 1, static_cast<UI>(seeds.size()));
        for (std::size_t i = 0; i < seeds.size(); ++i) link[static_cast<std::size_t>(seeds[i])] = static_cast<UI>(i);
        return link;
    }
    int n;
    testnet::TempDir dir;
    Graph g;
    std::vector<bool> visit;
    std::vector<int> mark;
};

std::vector<int> last(const HyperGraph& hg) {
    const auto e = hg.getEdge(hg.getNumEdge() - 1);
    return {e.begin(), e.end()};
}

std::vector<double> only(int n, int v) {
    std::vector<double> b(static_cast<std::size_t>(n), 0.0);
    b[static_cast<std::size_t>(v - 1)] = 1.0;
    return b;
}

// ---- worked cases ----

TEST(SamplerLT, RootWithoutInNeighboursTakesTwoDraws) {
    Net net(2, {{1, 2, 0.5f}}, only(2, 1), true);
    HyperGraph hg(2, net.g);
    const sfmt_t before = hg.generator();
    hg.pollingLT1(net.g, net.visit, net.mark);
    EXPECT_EQ(last(hg), (std::vector<int>{1}));
    EXPECT_TRUE(sameState(hg.generator(), advanced(before, 2)));
    EXPECT_TRUE(net.allClear());
}

TEST(SamplerLT, WalkToANodeAndBackStopsOnTheRevisit) {
    // 1 <-> 2, both edges certain: the cumulative weight is UI_MAX, so the
    // draw never ends the walk; the revisit of 1 does, after three draws.
    Net net(2, {{2, 1, 1.0f}, {1, 2, 1.0f}}, only(2, 1), true);
    HyperGraph hg(2, net.g);
    for (int i = 0; i < 20; ++i) {
        const sfmt_t before = hg.generator();
        hg.pollingLT1(net.g, net.visit, net.mark);
        EXPECT_EQ(last(hg), (std::vector<int>{1, 2}));
        EXPECT_TRUE(sameState(hg.generator(), advanced(before, 3)));
    }
}

TEST(SamplerLT, InNeighbourChoiceFollowsTheDraw) {
    //   2 --0.25--> 1 <--0.5-- 3      weights[1] = {0, 2^30, 3 * 2^30}
    Net net(3, {{2, 1, 0.25f}, {3, 1, 0.5f}}, only(3, 1), true);
    HyperGraph hg(3, net.g);
    struct Case {
        UI draw;
        std::vector<int> edge;
    };
    // Short lists scan linearly: a boundary draw belongs to the lower interval.
    for (const Case& c : {Case{0, {1, 2}}, Case{1073741824, {1, 2}}, Case{1073741825, {1, 3}},
                          Case{3221225472U, {1, 3}}, Case{3221225473U, {1}}}) {
        setNextDraws(hg.generator(), {0, c.draw, 4294967295U});
        hg.pollingLT1(net.g, net.visit, net.mark);
        EXPECT_EQ(last(hg), c.edge) << c.draw;
        EXPECT_EQ(hg.generator().idx, static_cast<int>(c.edge.size()) + 1);
    }
}

TEST(SamplerLT, LongListsSearchBinarily) {
    // Node 1 has 31 in-neighbours (32 weight entries), each with 2^-5:
    // weights[1][j] = j * 2^27. A draw on a boundary belongs to the upper
    // interval.
    std::vector<Arc> arcs;
    for (int u = 2; u <= 32; ++u) arcs.push_back({u, 1, 0.03125f});
    Net net(32, arcs, only(32, 1), true);
    HyperGraph hg(32, net.g);
    struct Case {
        UI draw;
        std::vector<int> edge;
    };
    const UI step = 1U << 27;
    for (const Case& c : {Case{0, {1, 2}}, Case{step - 1, {1, 2}}, Case{step, {1, 3}}, Case{30 * step, {1, 32}},
                          Case{31 * step - 1, {1, 32}}, Case{31 * step, {1, 32}}, Case{31 * step + 1, {1}}}) {
        setNextDraws(hg.generator(), {0, c.draw, 0});
        hg.pollingLT1(net.g, net.visit, net.mark);
        EXPECT_EQ(last(hg), c.edge) << c.draw;
    }
}

TEST(SamplerIC, RootWithDeadInEdgesDrawsOncePerInEdge) {
    Net net(3, {{2, 1, 0.5f}, {3, 1, 0.5f}}, only(3, 1), false);
    HyperGraph hg(3, net.g);
    setNextDraws(hg.generator(), {0, 4294967295U, 2147483648U});
    hg.pollingIC1(net.g, net.visit, net.mark);
    EXPECT_EQ(last(hg), (std::vector<int>{1}));
    EXPECT_EQ(hg.generator().idx, 3);
    // One draw below the threshold makes the edge live.
    setNextDraws(hg.generator(), {0, 2147483647U, 2147483648U});
    hg.pollingIC1(net.g, net.visit, net.mark);
    EXPECT_EQ(last(hg), (std::vector<int>{1, 2}));
    EXPECT_EQ(hg.generator().idx, 3);
    EXPECT_TRUE(net.allClear());
}

TEST(SamplerIC, SharedInNeighbourIsQueuedOnceAndStillDrawnFor) {
    //   4 --> 2 --> 1
    //   4 --> 3 --> 1      all certain
    Net net(4, {{2, 1, 1.0f}, {3, 1, 1.0f}, {4, 2, 1.0f}, {4, 3, 1.0f}}, only(4, 1), false);
    HyperGraph hg(4, net.g);
    setNextDraws(hg.generator(), {0, 1, 2, 3, 4, 99});
    hg.pollingIC1(net.g, net.visit, net.mark);
    EXPECT_EQ(last(hg), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(hg.generator().idx, 5);
    // With 2's edge from 4 dead, 4 is queued by 3's edge.
    setNextDraws(hg.generator(), {0, 1, 2, 4294967295U, 4, 99});
    hg.pollingIC1(net.g, net.visit, net.mark);
    EXPECT_EQ(last(hg), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(hg.generator().idx, 5);
}

TEST(SamplerSeeds, SeedRootEndsAfterTheRootDraw) {
    for (bool lt : {true, false}) {
        Net net(3, {{2, 1, 1.0f}, {3, 2, 1.0f}}, only(3, 1), lt);
        HyperGraph hg(3, net.g);
        const std::vector<UI> link = net.seedLink({1});
        const sfmt_t before = hg.generator();
        const bool hit = lt ? hg.pollingLT(net.g, link, 1, net.visit, net.mark)
                            : hg.pollingIC(net.g, link, 1, net.visit, net.mark);
        EXPECT_TRUE(hit);
        EXPECT_TRUE(sameState(hg.generator(), advanced(before, 1)));
        EXPECT_EQ(hg.getNumEdge(), 0);
        EXPECT_TRUE(net.allClear());
    }
}

TEST(SamplerSeeds, ICSeedAtQueuePositionThreeEndsWhenDequeued) {
    //   2 --> 1 <-- 4 (seed)      5 --> 2,  6 --> 3,  7 --> 4, all certain
    //         ^
    //         3
    // Queue: 1, 2, 3, 4, ... ; 1, 2 and 3 are expanded (3 + 1 + 1 draws).
    Net net(7, {{2, 1, 1.0f}, {3, 1, 1.0f}, {4, 1, 1.0f}, {5, 2, 1.0f}, {6, 3, 1.0f}, {7, 4, 1.0f}}, only(7, 1),
            false);
    HyperGraph hg(7, net.g);
    const std::vector<UI> link = net.seedLink({4});
    const sfmt_t before = hg.generator();
    EXPECT_TRUE(hg.pollingIC(net.g, link, 1, net.visit, net.mark));
    EXPECT_TRUE(sameState(hg.generator(), advanced(before, 6)));
    EXPECT_TRUE(net.allClear());
    EXPECT_EQ(hg.getNumEdge(), 0);
}

TEST(SamplerSeeds, FlagFormsStoreTheWholeSample) {
    // 3 --> 2 --> 1 certain; seed 2 in the middle of the walk or search.
    for (bool lt : {true, false}) {
        Net net(3, {{2, 1, 1.0f}, {3, 2, 1.0f}}, only(3, 1), lt);
        HyperGraph hg(3, net.g);
        const std::vector<UI> link = net.seedLink({2});
        const bool hit = lt ? hg.pollingLT2(net.g, link, 1, net.visit, net.mark)
                            : hg.pollingIC2(net.g, link, 1, net.visit, net.mark);
        EXPECT_TRUE(hit);
        EXPECT_EQ(last(hg), (std::vector<int>{1, 2, 3}));
        EXPECT_TRUE(net.allClear());
    }
}

TEST(SamplerSeeds, NoSeedsMeansNoHit) {
    for (bool lt : {true, false}) {
        Net net(3, {{2, 1, 1.0f}, {3, 2, 1.0f}}, only(3, 1), lt);
        HyperGraph hg(3, net.g);
        const std::vector<UI> link(4, 0);
        EXPECT_FALSE(lt ? hg.pollingLT(net.g, link, 0, net.visit, net.mark)
                        : hg.pollingIC(net.g, link, 0, net.visit, net.mark));
        const sfmt_t before = hg.generator();
        EXPECT_FALSE(lt ? hg.pollingLT2(net.g, link, 0, net.visit, net.mark)
                        : hg.pollingIC2(net.g, link, 0, net.visit, net.mark));
        const sfmt_t afterFlag = hg.generator();
        hg.generator() = before;
        if (lt)
            hg.pollingLT1(net.g, net.visit, net.mark);
        else
            hg.pollingIC1(net.g, net.visit, net.mark);
        EXPECT_TRUE(sameState(hg.generator(), afterFlag));
        ASSERT_EQ(hg.getNumEdge(), 2);
        const auto a = hg.getEdge(0), b = hg.getEdge(1);
        EXPECT_EQ(std::vector<int>(a.begin(), a.end()), std::vector<int>(b.begin(), b.end()));
    }
}

// ---- random samples: draws and seed tests ----

// A random network on nodes 1..14 where some nodes have no in-edges, cycles
// abound and some probabilities are 0 or 1, plus nodes 8..40 as extra
// in-neighbours of node 1, whose list is long enough for the binary search.
Net randomNet(bool lt, unsigned seed) {
    std::mt19937 rng(seed);
    const int n = 40;
    std::vector<Arc> arcs;
    const float probs[] = {0.0f, 0.05f, 0.2f, 0.35f, 0.5f, 1.0f};
    for (int v = 1; v <= 14; ++v) {
        const int d = static_cast<int>(rng() % 6);
        std::set<int> from;
        while (static_cast<int>(from.size()) < d) from.insert(1 + static_cast<int>(rng() % 14));
        for (int u : from) {
            float p = probs[rng() % 6];
            if (lt) p /= static_cast<float>(d);
            arcs.push_back({u, v, p});
        }
    }
    for (int u = 8; u <= n; ++u) arcs.push_back({u, 1, lt ? 0.02f : 0.1f});
    std::vector<double> ben(static_cast<std::size_t>(n), 0.0);
    for (int v = 1; v <= 14; ++v) ben[static_cast<std::size_t>(v - 1)] = (rng() % 3 == 0) ? 0.0 : 0.5 + rng() % 4;
    ben[0] = 1.0;
    return Net(n, arcs, ben, lt);
}

long long drawsOf(const Graph& g, const std::vector<int>& edge, bool lt, std::size_t expanded) {
    if (lt) return 1 + static_cast<long long>(expanded);
    long long d = 1;
    for (std::size_t i = 0; i < expanded; ++i) d += g.getDegree(edge[i]);
    return d;
}

TEST(SamplerDraws, StoringSamplersTakeExactlyTheirDraws) {
    for (bool lt : {true, false}) {
        Net net = randomNet(lt, lt ? 21 : 22);
        HyperGraph hg(static_cast<unsigned>(net.n), net.g);
        for (int i = 0; i < 3000; ++i) {
            const sfmt_t before = hg.generator();
            if (lt)
                hg.pollingLT1(net.g, net.visit, net.mark);
            else
                hg.pollingIC1(net.g, net.visit, net.mark);
            const std::vector<int> e = last(hg);
            ASSERT_TRUE(sameState(hg.generator(), advanced(before, drawsOf(net.g, e, lt, e.size())))) << i;
            ASSERT_TRUE(std::set<int>(e.begin(), e.end()).size() == e.size());
        }
        EXPECT_TRUE(net.allClear());
    }
}

TEST(SamplerDraws, ThreadFormsMatchTheStoreForms) {
    for (bool lt : {true, false}) {
        Net net = randomNet(lt, 5);
        HyperGraph hg(static_cast<unsigned>(net.n), net.g);
        sfmt_t stream = hg.generator();
        HyperedgeBuffer buf;
        for (int i = 0; i < 500; ++i) {
            if (lt) {
                hg.pollingLT1(net.g, net.visit, net.mark);
                hg.pollingLT1(net.g, stream, buf, net.visit, net.mark);
            } else {
                hg.pollingIC1(net.g, net.visit, net.mark);
                hg.pollingIC1(net.g, stream, buf, net.visit, net.mark);
            }
        }
        EXPECT_TRUE(sameState(stream, hg.generator()));
        HyperGraph copy(static_cast<unsigned>(net.n), net.g);
        copy.appendEdges(buf);
        ASSERT_EQ(copy.getNumEdge(), hg.getNumEdge());
        for (int e = 0; e < hg.getNumEdge(); ++e) {
            const auto a = hg.getEdge(e), b = copy.getEdge(e);
            ASSERT_EQ(std::vector<int>(a.begin(), a.end()), std::vector<int>(b.begin(), b.end()));
        }
    }
}

TEST(SamplerDraws, SeedTestsFollowTheFullSample) {
    // From one state: the storing sample H; the flag form stores H and
    // reports whether H holds a seed; the exit form reports the same and
    // takes only the draws up to the first seed (LT: one per node before
    // it; IC: the in-edges of the nodes dequeued before it).
    for (bool lt : {true, false}) {
        Net net = randomNet(lt, 8);
        HyperGraph hg(static_cast<unsigned>(net.n), net.g);
        const std::vector<int> seeds = {3, 9, 12};
        const std::vector<UI> link = net.seedLink(seeds);
        int hits = 0;
        for (int i = 0; i < 2000; ++i) {
            const sfmt_t before = hg.generator();
            if (lt)
                hg.pollingLT1(net.g, net.visit, net.mark);
            else
                hg.pollingIC1(net.g, net.visit, net.mark);
            const std::vector<int> h = last(hg);
            const sfmt_t afterFull = hg.generator();
            std::size_t firstSeed = h.size();
            for (std::size_t j = 0; j < h.size() && firstSeed == h.size(); ++j)
                if (link[static_cast<std::size_t>(h[j])] < seeds.size()) firstSeed = j;
            const bool expectHit = firstSeed < h.size();
            hits += expectHit;

            hg.generator() = before;
            const bool flag = lt ? hg.pollingLT2(net.g, link, 3, net.visit, net.mark)
                                 : hg.pollingIC2(net.g, link, 3, net.visit, net.mark);
            ASSERT_EQ(flag, expectHit);
            ASSERT_EQ(last(hg), h);
            ASSERT_TRUE(sameState(hg.generator(), afterFull));

            sfmt_t stream = before;
            const bool exitHit = lt ? hg.pollingLT(net.g, stream, link, 3, net.visit, net.mark)
                                    : hg.pollingIC(net.g, stream, link, 3, net.visit, net.mark);
            ASSERT_EQ(exitHit, expectHit);
            ASSERT_TRUE(sameState(stream, advanced(before, drawsOf(net.g, h, lt, firstSeed)))) << i;
            ASSERT_TRUE(net.allClear());
            hg.generator() = afterFull;
        }
        EXPECT_GT(hits, 100);
        EXPECT_LT(hits, 1900);
    }
}

// ---- statistics against enumeration ----

void expectFrequency(double count, double samples, double p, const std::string& what) {
    const double se = std::sqrt(p * (1 - p) / samples);
    EXPECT_NEAR(count / samples, p, 5 * se + 1e-12) << what << ": exact " << p;
}

// Node frequencies of N hyperedges generated on two threads, and the hit
// rate of N exit-form samples on one stream, against the enumeration; with
// the fast samplers when `fast` is given.
void checkAgainst(Net& net, const Exact& ex, HyperGraph& hg, bool lt, const std::vector<int>& seeds,
                  const FastSampler* fast = nullptr) {
    constexpr long long kSamples = 100000;
    addHyperedge(net.g, hg, 2, kSamples, fast);
    ASSERT_EQ(hg.getNumEdge(), kSamples);
    std::vector<double> count(static_cast<std::size_t>(net.n) + 1, 0.0);
    for (int e = 0; e < hg.getNumEdge(); ++e)
        for (int v : hg.getEdge(e)) count[static_cast<std::size_t>(v)] += 1;
    EXPECT_EQ(count[0], 0);
    for (int v = 1; v <= net.n; ++v)
        expectFrequency(count[static_cast<std::size_t>(v)], kSamples, ex.contains[static_cast<std::size_t>(v)],
                        "node " + std::to_string(v));

    const std::vector<UI> link = net.seedLink(seeds);
    const UI k = static_cast<UI>(seeds.size());
    sfmt_t stream;
    HyperGraph::initStream(stream, {1, 2, 3, 4}, 0);
    double hits = 0;
    if (fast != nullptr && lt) {
        LtWalks walks;
        walks.prepare(static_cast<UI>(net.n));
        fast->walksLT<SeedTest::Exit>(net.g.view(), hg.rootDraw(), stream, kSamples, walks, link.data(), k,
                                      [&](const int*, UI, bool hit) {
                                          hits += hit;
                                          return false;
                                      });
    } else if (fast != nullptr) {
        VisitBits visit(static_cast<std::size_t>(net.n) + 1);
        std::vector<UI> live(fast->maxDegree() + 1);
        for (long long i = 0; i < kSamples; ++i)
            hits += fast->searchIC<SeedTest::Exit>(net.g.view(), hg.rootDraw(), stream, [](const int*, UI) {},
                                                   link.data(), k, visit, net.mark.data(), live.data());
        // And with searches in flight, as the estimates draw them.
        LtWalks searches;
        searches.prepare(static_cast<UI>(net.n));
        double inFlight = 0;
        fast->searchesIC<SeedTest::Exit>(net.g.view(), hg.rootDraw(), stream, kSamples, searches, link.data(), k,
                                         live.data(), [&](const int*, UI, bool hit) {
                                             inFlight += hit;
                                             return false;
                                         });
        expectFrequency(inFlight, kSamples, ex.hit, "hits of searches in flight");
    } else {
        for (long long i = 0; i < kSamples; ++i)
            hits += lt ? hg.pollingLT(net.g, stream, link, k, net.visit, net.mark)
                       : hg.pollingIC(net.g, stream, link, k, net.visit, net.mark);
    }
    expectFrequency(hits, kSamples, ex.hit, "hits");
}

TEST(SamplerStats, LTMatchesLiveEdgeEnumeration) {
    // Node 1 has 31 in-neighbours 2..32 at 0.025 each (32 weight entries:
    // binary search); the rest scan linearly:
    //   1 --0.3--> 2 <--0.4-- 33,  3 --0.5--> 33 <--0.5-- 34 (sums to 1),
    //   33 --0.9--> 3,  2 --0.6--> 5
    std::vector<Arc> arcs;
    for (int u = 2; u <= 32; ++u) arcs.push_back({u, 1, 0.025f});
    for (const Arc& a : {Arc{1, 2, 0.3f}, Arc{33, 2, 0.4f}, Arc{3, 33, 0.5f}, Arc{34, 33, 0.5f}, Arc{33, 3, 0.9f},
                         Arc{2, 5, 0.6f}})
        arcs.push_back(a);
    std::vector<double> ben(34, 0.0);
    ben[0] = 2.0;
    ben[1] = 1.0;
    ben[2] = 0.7;
    ben[4] = 0.3;
    ben[32] = 0.5;
    ben[33] = 0.25;
    Net net(34, arcs, ben, true, BenefitLayout::Compact);
    HyperGraph hg(34, net.g);
    sfmt_init_gen_rand(&hg.generator(), 2024);
    const std::vector<int> seeds = {5, 34};
    checkAgainst(net, exactLT(net.g, hg, seeds), hg, true, seeds);
}

TEST(SamplerStats, ICMatchesLiveEdgeEnumeration) {
    //   2 -> 1 (.5)   3 -> 1 (.3)   4 -> 2 (.6)   1 -> 2 (.4)   5 -> 3 (.7)
    //   4 -> 3 (.2)   6 -> 4 (.5)   3 -> 4 (.5)   7 -> 5 (1)    2 -> 5 (.25)
    //   1 -> 6 (.35)  5 -> 6 (.45)  6 -> 7 (.15)  4 -> 7 (.8)
    const std::vector<Arc> arcs = {{2, 1, 0.5f},  {3, 1, 0.3f},  {4, 2, 0.6f},   {1, 2, 0.4f}, {5, 3, 0.7f},
                                   {4, 3, 0.2f},  {6, 4, 0.5f},  {3, 4, 0.5f},   {7, 5, 1.0f}, {2, 5, 0.25f},
                                   {1, 6, 0.35f}, {5, 6, 0.45f}, {6, 7, 0.15f}, {4, 7, 0.8f}};
    Net net(7, arcs, {1.0, 0.0, 2.0, 0.5, 0.0, 1.5, 0.25}, false, BenefitLayout::Dense);
    HyperGraph hg(7, net.g);
    sfmt_init_gen_rand(&hg.generator(), 99);
    const std::vector<int> seeds = {4, 7};
    checkAgainst(net, exactIC(net.g, hg, seeds), hg, false, seeds);
}

// The fast samplers against the same enumeration. IC: node 1 has nine
// equal in-edges (two or more live picks positions without replacement),
// node 2 a never-firing edge before a live one, node 3 a certain edge beside
// a weak one (two groups), node 4 two thresholds in one group (the weaker
// kept with the ratio of the two). LT: node 33 and node 35 have
// equal weights summing to 1 (picked by one multiply), node 1 weights
// summing below 1 (searched).
//   2..10 -0.2-> 1    3 -0-> 2 <-0.5- 4    1 -1-> 3 <-0.3- 5
//   6 -0.7-> 4 <-0.5- 7    2 -0.5-> 5
TEST(SamplerStats, FastSamplersMatchLiveEdgeEnumeration) {
    std::vector<Arc> icArcs;
    for (int u = 2; u <= 10; ++u) icArcs.push_back({u, 1, 0.2f});
    for (const Arc& a : {Arc{3, 2, 0.0f}, Arc{4, 2, 0.5f}, Arc{1, 3, 1.0f}, Arc{5, 3, 0.3f}, Arc{6, 4, 0.7f},
                         Arc{7, 4, 0.5f}, Arc{2, 5, 0.5f}})
        icArcs.push_back(a);
    Net ic(10, icArcs, {3.0, 1.0, 0.0, 0.5, 1.0, 0.0, 0.0, 0.0, 0.0, 0.25}, false);
    const std::vector<int> icSeeds = {3, 6};
    // Generated one sample at a time and in flight.
    for (auto batch : {FastSampler::IcBatch::OneAtATime, FastSampler::IcBatch::InFlight}) {
        HyperGraph icStore(10, ic.g);
        sfmt_init_gen_rand(&icStore.generator(), 17);
        const FastSampler icFast(ic.g, batch);
        checkAgainst(ic, exactIC(ic.g, icStore, icSeeds), icStore, false, icSeeds, &icFast);
    }

    std::vector<Arc> ltArcs;
    for (int u = 2; u <= 32; ++u) ltArcs.push_back({u, 1, 0.025f});
    for (const Arc& a : {Arc{1, 2, 0.3f}, Arc{33, 2, 0.4f}, Arc{3, 33, 0.5f}, Arc{34, 33, 0.5f}, Arc{33, 3, 0.9f},
                         Arc{2, 35, 1.0f / 3}, Arc{33, 35, 1.0f / 3}, Arc{1, 35, 1.0f / 3}, Arc{35, 5, 0.6f}})
        ltArcs.push_back(a);
    std::vector<double> ben(35, 0.0);
    for (int v : {1, 2, 5, 33, 35}) ben[static_cast<std::size_t>(v - 1)] = 1.0;
    Net lt(35, ltArcs, ben, true, BenefitLayout::Compact);
    HyperGraph ltStore(35, lt.g);
    sfmt_init_gen_rand(&ltStore.generator(), 18);
    const FastSampler ltFast(lt.g);
    const std::vector<int> ltSeeds = {3, 34};
    checkAgainst(lt, exactLT(lt.g, ltStore, ltSeeds), ltStore, true, ltSeeds, &ltFast);
}

}  // namespace
