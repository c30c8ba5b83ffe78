// Tests of the estimator: in block order the same counts for any thread
// count and for a run split over processes, the stop at exactly the bound's
// hits, accuracy against live-edge enumeration under both models and both
// samplers, the cap, ostrand's classic order of thread streams against its
// definition, and the cases that need no sample.
//
//   LT and IC network (probabilities as drawn):
//   2 -.5-> 1 <-.3- 3    4 -.6-> 2 <-.4- 1    5 -.7-> 3 <-.2- 4
//   6 -.5-> 4 <-.5- 3    7 -1-> 5             1 -.35-> 6 <-.45- 5
#include <gtest/gtest.h>

#include <algorithm>
#include <barrier>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "estimate/blockEstimate.h"
#include "estimate/blockHits.h"
#include "estimate/estimate.h"
#include "sampling/fastSampler.h"
#include "graph/graph.h"
#include "sampling/hyperGraph.h"
#include "support/liveEdgeEnumeration.h"
#include "mpi/teamHooks.h"
#include "support/testNetwork.h"

using namespace lattis;

namespace {

using testnet::Arc;

const std::vector<Arc> kArcs = {{2, 1, 0.5f}, {3, 1, 0.3f}, {4, 2, 0.6f}, {1, 2, 0.4f}, {5, 3, 0.7f}, {4, 3, 0.2f},
                                {6, 4, 0.5f}, {3, 4, 0.5f}, {7, 5, 1.0f}, {1, 6, 0.35f}, {5, 6, 0.45f}};
const std::vector<double> kBenefits = {1.0, 0.0, 2.0, 0.5, 0.0, 1.5, 0.25};

struct Loaded {
    explicit Loaded(bool lt, FastSampler::IcBatch batch = FastSampler::IcBatch::InFlight) : g(BenefitLayout::Compact) {
        testnet::writeNetwork(dir.path("net.bin"), 7, kArcs);
        testnet::writeValues(dir.path("ben.txt"), kBenefits);
        if (lt)
            g.readGraphLT(dir.path("net.bin").c_str(), dir.path("ben.txt").c_str());
        else
            g.readGraphIC(dir.path("net.bin").c_str(), dir.path("ben.txt").c_str());
        fast = std::make_unique<FastSampler>(g, batch);
    }
    // A store seeded with `seed`, as ostrand builds it after srand(seed).
    std::unique_ptr<HyperGraph> store(unsigned seed) const {
        auto hg = std::make_unique<HyperGraph>(7, g);
        sfmt_init_gen_rand(&hg->generator(), seed);
        return hg;
    }
    BlockEstimate estimate(const std::vector<int>& seeds, unsigned seed, int t, bool useFast, float epsilon = 0.1f,
                           long long cap = 1000000000, const TeamHooks* team = nullptr,
                           EstimateOrder order = EstimateOrder::Blocks) const {
        auto hg = store(seed);
        EstimateSettings s;
        s.order = order;
        s.threads = t;
        s.epsilon = epsilon;
        s.fast = useFast ? fast.get() : nullptr;
        s.maxSamples = cap;
        s.team = team;
        return estimateInBlocks(g, *hg, seeds, s);
    }
    testnet::TempDir dir;
    Graph g;
    std::unique_ptr<FastSampler> fast;
};

TEST(BlockEstimate, SameCountsForAnyThreadCountAndStopAtTheBound) {
    using Batch = FastSampler::IcBatch;
    for (bool lt : {true, false})
        for (auto [fast, batch] :
             {std::pair{false, Batch::InFlight}, {true, Batch::OneAtATime}, {true, Batch::InFlight}}) {
            SCOPED_TRACE(std::string(lt ? "LT" : "IC") + (fast ? " fast" : " classic") +
                         (batch == Batch::OneAtATime ? " one at a time" : ""));
            const Loaded l(lt, batch);
            const BlockEstimate one = l.estimate({2, 6}, 5, 1, fast);
            EXPECT_EQ(one.hits, 1206);
            EXPECT_EQ(one.neededHits, 1206);
            EXPECT_FALSE(one.capped);
            for (int t : {2, 4}) {
                const BlockEstimate other = l.estimate({2, 6}, 5, t, fast);
                EXPECT_EQ(other.samples, one.samples) << "t = " << t;
                EXPECT_EQ(other.hits, one.hits);
                EXPECT_EQ(other.estimate, one.estimate);
            }
            EXPECT_NE(l.estimate({2, 6}, 6, 2, fast).samples, one.samples);
        }
}

// Processes emulated by one thread each, whose hooks sum the per-block
// counts through shared slots: a process that drew another's blocks, or
// missed one of its own, would change the counts. Epsilon 0.02 takes
// several rounds of several blocks.
TEST(BlockEstimate, SplitOverProcessesGivesTheCountsOfOne) {
    for (bool lt : {true, false}) {
        SCOPED_TRACE(lt ? "LT" : "IC");
        const Loaded l(lt);
        const BlockEstimate one = l.estimate({2, 6}, 5, 1, true, 0.02f);
        ASSERT_GT(one.samples, 8 * kEstimateBlock);
        for (const auto& [ranks, t] : {std::pair{2, 1}, std::pair{3, 2}}) {
            std::barrier sync(ranks);
            std::vector<std::vector<long long>> slots(static_cast<std::size_t>(ranks));
            std::vector<BlockEstimate> got(static_cast<std::size_t>(ranks));
            std::vector<std::thread> processes;
            for (int r = 0; r < ranks; ++r)
                processes.emplace_back([&, r, ranks = ranks, t = t] {
                    TeamHooks h;
                    h.share = BlockShare{r, ranks};
                    h.together = [](const std::function<void()>& step) { step(); };
                    h.sumEach = [&, r](std::vector<long long>& v) {
                        slots[static_cast<std::size_t>(r)] = v;
                        sync.arrive_and_wait();
                        for (int o = 0; o < ranks; ++o)
                            for (std::size_t i = 0; o != r && i < v.size(); ++i) v[i] += slots[static_cast<std::size_t>(o)][i];
                        sync.arrive_and_wait();
                    };
                    got[static_cast<std::size_t>(r)] = l.estimate({2, 6}, 5, t, true, 0.02f, 1000000000, &h);
                });
            for (std::thread& p : processes) p.join();
            for (const BlockEstimate& e : got) {
                EXPECT_EQ(e.samples, one.samples) << ranks << " processes of " << t << " threads";
                EXPECT_EQ(e.hits, one.hits);
                EXPECT_EQ(e.estimate, one.estimate);
            }
        }
    }
}

TEST(BlockEstimate, WithinEpsilonOfTheExactBenefit) {
    for (bool lt : {true, false}) {
        const Loaded l(lt);
        auto hg = l.store(1);
        for (const std::vector<int>& seeds : {std::vector<int>{2, 6}, {4}, {1, 3, 7}}) {
            const enumeration::Exact ex =
                lt ? enumeration::exactLT(l.g, *hg, seeds) : enumeration::exactIC(l.g, *hg, seeds);
            const double exact = ex.hit * l.g.getPositiveBenefit();
            for (bool fast : {false, true}) {
                // epsilon 0.05: the bound's guarantee, with delta 0.01 per case.
                const BlockEstimate e = l.estimate(seeds, 9, 2, fast, 0.05f);
                EXPECT_NEAR(e.estimate, exact, 0.05 * exact) << (lt ? "LT" : "IC") << (fast ? " fast" : " classic");
            }
        }
    }
}

TEST(BlockEstimate, CapEndsTheRunAtExactlyItsSamples) {
    const Loaded l(false);
    for (bool fast : {false, true}) {
        const BlockEstimate e = l.estimate({4}, 3, 2, fast, 0.1f, 3000);
        EXPECT_TRUE(e.capped);
        EXPECT_EQ(e.samples, 3000);
        EXPECT_LT(e.hits, e.neededHits);
        EXPECT_GT(e.hits, 0);
        EXPECT_DOUBLE_EQ(e.estimate, l.g.getPositiveBenefit() * static_cast<double>(e.hits) / 3000.0);
    }
}

// ostrand's classic order by its definition: thread l's stream (the key, l)
// read in blocks taken thread by thread in turn, counted sample by sample
// to the bound's hits or to the cap.
BlockTally threadStreamsCount(const Graph& g, unsigned seed, const std::vector<int>& seeds, int t, long long needed,
                              long long cap) {
    HyperGraph hg(static_cast<UI>(g.getSize()), g);
    sfmt_init_gen_rand(&hg.generator(), seed);
    const StreamKey key = hg.drawStreamKey();
    const Sampler sampler(g.view(), nullptr);
    const std::vector<UI> link = seedLinks(static_cast<UI>(g.getSize()), seeds);
    const SeedHitTest test{&sampler, &hg.rootDraw(), link.data(), static_cast<UI>(seeds.size())};
    std::vector<ThreadScratch> lanes(static_cast<std::size_t>(t));
    for (int i = 0; i < t; ++i) {
        lanes[static_cast<std::size_t>(i)].prepare(static_cast<UI>(g.getSize()), nullptr);
        initStream(lanes[static_cast<std::size_t>(i)].rng, key, static_cast<std::uint64_t>(i));
    }
    BlockTally all;
    for (long long b = 0; all.hits < needed && all.samples < cap; ++b) {
        const long long size = std::min(kEstimateBlock, cap - all.samples);
        const BlockTally part = countBlockHits(test, lanes[static_cast<std::size_t>(b % t)], size, needed - all.hits);
        all.samples += part.samples;
        all.hits += part.hits;
    }
    return all;
}

// Epsilon 0.02 takes several rounds, and a cap of 9000 ends inside a block.
// A seed holding one benefit in 10^5 with two hits asked for (epsilon 1000)
// finds them in rounds of many blocks, so that the stopping block is rarely
// the first of its round.
TEST(BlockEstimate, ThreadStreamsOrderReadsEachThreadsStreamInTurn) {
    testnet::TempDir dir;
    testnet::writeNetwork(dir.path("rare.bin"), 2, {});
    testnet::writeValues(dir.path("rare.txt"), std::vector<double>{1e-5, 1.0});
    Graph rare(BenefitLayout::Compact);
    rare.readGraphIC(dir.path("rare.bin").c_str(), dir.path("rare.txt").c_str());
    for (int t : {1, 2, 3}) {
        for (bool lt : {true, false})
            for (long long cap : {1000000000LL, 9000LL}) {
                SCOPED_TRACE(std::string(lt ? "LT" : "IC") + " t = " + std::to_string(t) + " cap " + std::to_string(cap));
                const Loaded l(lt);
                const BlockEstimate got = l.estimate({4}, 5, t, false, 0.02f, cap, nullptr, EstimateOrder::ThreadStreams);
                const BlockTally want = threadStreamsCount(l.g, 5, {4}, t, got.neededHits, cap);
                EXPECT_EQ(got.samples, want.samples);
                EXPECT_EQ(got.hits, want.hits);
                EXPECT_EQ(got.capped, cap == 9000);
                EXPECT_GT(got.samples, 2 * kEstimateBlock);
            }
        for (unsigned seed : {1u, 2u, 3u}) {
            HyperGraph hg(2, rare);
            sfmt_init_gen_rand(&hg.generator(), seed);
            EstimateSettings s;
            s.threads = t;
            s.epsilon = 1000.0f;
            s.delta = 1.999f;
            s.order = EstimateOrder::ThreadStreams;
            const BlockEstimate got = estimateInBlocks(rare, hg, {1}, s);
            ASSERT_EQ(got.neededHits, 2);
            EXPECT_EQ(got.samples, threadStreamsCount(rare, seed, {1}, t, 2, s.maxSamples).samples) << "seed " << seed;
        }
    }
}

TEST(BlockEstimate, EmptySeedListDrawsNothing) {
    const Loaded l(true);
    const BlockEstimate none = l.estimate({}, 1, 2, true);
    EXPECT_EQ(none.samples, 0);
    EXPECT_EQ(none.estimate, 0.0);
    EXPECT_EQ(none.neededHits, 1206);
}

}  // namespace

namespace {

// With the thresholds released or never made (as marlet does for the fast
// samplers), the reachability pre-check reads the edges that can fire from
// the fast tables and answers as the thresholds do.
//   IC: 2 -0-> 1 <-.5- 3 (the first edge never fires);  LT: 2 -.5-> 1 <-.5- 3
//   (node 1 uniform) and 2 -0-> 1 <-.5- 3 (node 1 searches its thresholds,
//   which the tables keep); node 4 has no edge; only node 1 has a benefit.
TEST(BlockEstimate, ReachabilityFromTheFastTablesAfterRelease) {
    struct Case {
        bool lt;
        float from2;
    };
    for (const Case c : {Case{false, 0.0f}, Case{true, 0.5f}, Case{true, 0.0f}}) {
        const bool lt = c.lt, edge2 = c.from2 > 0;
        testnet::TempDir dir;
        testnet::writeNetwork(dir.path("net.bin"), 4, {{2, 1, c.from2}, {3, 1, 0.5f}});
        testnet::writeValues(dir.path("ben.txt"), std::vector<double>{1, 0, 0, 0});
        // The thresholds of a copied load answer first; then the tables of
        // a load that left them to the fast sampler, with nothing else left.
        const std::string net = dir.path("net.bin"), ben = dir.path("ben.txt");
        auto load = [&](Graph& to, NetworkLoad how) {
            if (lt)
                to.readGraphLT(net.c_str(), ben.c_str(), how);
            else
                to.readGraphIC(net.c_str(), ben.c_str(), how);
        };
        Graph made(BenefitLayout::Compact), g(BenefitLayout::Compact);
        load(made, NetworkLoad::Copy);
        g.deferThresholds();
        load(g, NetworkLoad::Map);
        HyperGraph hg(4, g);
        const FastSampler fast(g);
        const std::vector<std::vector<int>> seedSets = {{2}, {3}, {4}, {4, 2}};
        std::vector<bool> before;
        for (const auto& seeds : seedSets) before.push_back(seedsReachRoot(made, hg, seeds));
        EXPECT_EQ(before, (std::vector<bool>{edge2, true, false, edge2}));
        g.releaseThresholds();
        EXPECT_FALSE(g.hasThresholds());
        for (std::size_t i = 0; i < seedSets.size(); ++i)
            EXPECT_EQ(seedsReachRoot(g, hg, seedSets[i], &fast), before[i]) << (lt ? "LT" : "IC") << " set " << i;
    }
}

}  // namespace
