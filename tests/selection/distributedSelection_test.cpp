// Tests of the run split over processes, without a message-passing library:
// the block shares cover every block once, the processes' stores together are
// exactly one process's store under the run-wide ids, and the split greedy
// (shards feeding a root) chooses the seeds, degree table and coverage of
// buildSeedSetCost, ties included, for 1 to 3 shards and 1 or 2 threads; and
// the root applies the shards' streams in hyperedge order, which decides ties.
#include <gtest/gtest.h>

#include <memory>
#include <span>
#include <vector>

#include "selection/distributedSelection.h"
#include "graph/graph.h"
#include "sampling/generate.h"
#include "selection/selection.h"
#include "sampling/hyperGraph.h"
#include "support/testNetwork.h"

using namespace lattis;

namespace {

TEST(BlockShare, EveryBlockHasExactlyOneOwner) {
    for (int ranks = 1; ranks <= 4; ++ranks)
        for (std::uint64_t first = 0; first < 9; ++first)
            for (long long count = 0; count < 9; ++count) {
                long long owners = 0;
                for (int rank = 0; rank < ranks; ++rank) {
                    const BlockShare share{rank, ranks};
                    long long owned = 0;
                    long long firstSeen = -1;
                    for (long long b = 0; b < count; ++b)
                        if (share.owns(first + static_cast<std::uint64_t>(b))) {
                            ++owned;
                            if (firstSeen < 0) firstSeen = b;
                        }
                    EXPECT_EQ(share.ownedIn(first, count), owned) << rank << '/' << ranks << ' ' << first << ' ' << count;
                    if (firstSeen >= 0) {
                        EXPECT_EQ(share.firstOwned(first), firstSeen);
                    }
                    owners += owned;
                }
                EXPECT_EQ(owners, count);
            }
}

// A random network of 40 nodes with up to six in-edges each (LT weights
// summing to at most 0.9), benefits 0 to 3, so that hyperedges vary in size
// and many nodes tie on gain.
class SplitNet {
public:
    explicit SplitNet(bool lt) : lt(lt), g(BenefitLayout::Dense) {
        testnet::loadRandomNetwork(g, dir, lt, {n, lt ? 7u : 8u, 0.1f, 3, 5});
    }
    // The store of process `rank` of `ranks` after batches of 2 and 3 blocks.
    std::unique_ptr<HyperGraph> store(const BlockShare& share, int threads) const {
        auto hg = std::make_unique<HyperGraph>(n, g);
        sfmt_init_gen_rand(&hg->generator(), 2024);
        for (long long batch : {15000LL, 30000LL}) addHyperedge(g, *hg, threads, batch, nullptr, share);
        return hg;
    }
    static constexpr int n = 40;
    bool lt;
    testnet::TempDir dir;
    Graph g;
};

TEST(SplitStore, ShardsTogetherHoldTheOneProcessStore) {
    for (bool lt : {true, false}) {
        const SplitNet net(lt);
        const auto one = net.store(BlockShare{}, 1);
        ASSERT_EQ(one->getNumEdge(), 50000);
        for (int ranks : {2, 3})
            for (int threads : {1, 2}) {
                SCOPED_TRACE(::testing::Message() << (lt ? "LT" : "IC") << " ranks " << ranks << " threads " << threads);
                std::vector<bool> seen(static_cast<std::size_t>(one->getNumEdge()), false);
                for (int rank = 0; rank < ranks; ++rank) {
                    const BlockShare share{rank, ranks};
                    const auto part = net.store(share, threads);
                    for (int e = 0; e < part->getNumEdge(); ++e) {
                        const long long id = share.globalEdge(e);
                        ASSERT_LT(id, one->getNumEdge());
                        ASSERT_FALSE(seen[static_cast<std::size_t>(id)]) << "hyperedge " << id << " stored twice";
                        seen[static_cast<std::size_t>(id)] = true;
                        const auto a = part->getEdge(e);
                        const auto b = one->getEdge(static_cast<int>(id));
                        ASSERT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end())) << "hyperedge " << id;
                    }
                }
                EXPECT_EQ(std::count(seen.begin(), seen.end(), false), 0);
            }
    }
}

// The split greedy run in one process: every shard's stream after each pick
// goes straight to the root, as the processes' messages would.
SelectionSummary splitSelect(std::vector<CoverageShard>& shards, unsigned n, double k, const std::vector<float>& costs,
                             std::vector<int>& seeds, std::vector<double>& degree, long long& totalDegree,
                             SelectRule rule) {
    std::vector<int> gains(n, 0);
    for (const CoverageShard& s : shards) {
        const std::vector<int> local = s.localGains(n);
        for (unsigned x = 0; x < n; ++x) gains[x] += local[x];
    }
    GreedyRoot root(gains, k, costs, degree, totalDegree, rule);
    std::vector<std::vector<int>> streams(shards.size());
    std::vector<std::span<const int>> views(shards.size());
    while (const int pick = root.next()) {
        seeds.push_back(pick);
        for (std::size_t r = 0; r < shards.size(); ++r) {
            shards[r].cover(pick, streams[r]);
            views[r] = streams[r];
        }
        root.apply(views);
    }
    if (const int single = root.finish()) seeds = {single};
    return root.summary();
}

TEST(SplitSelection, SameSeedsAsOneProcess) {
    const unsigned n = SplitNet::n;
    std::vector<float> unit(n + 1, 1.0f), varied(n + 1, 0.0f);
    for (unsigned x = 0; x < n; ++x) varied[x] = 0.5f + static_cast<float>(x % 4);
    struct Case {
        const char* name;
        const std::vector<float>* costs;
        double k;
    };
    // Budget 39 at unit costs takes every node but one, zero gains and ties
    // included (fill: every node of positive gain). Node 1 costs 12 under
    // "dear": with budget 12 the fill greedy skips it after cheaper picks,
    // and may keep it alone instead.
    std::vector<float> dear = varied;
    dear[0] = 12.0f;
    const Case cases[] = {{"unit k 5", &unit, 5},
                          {"unit k 39", &unit, 39},
                          {"varied k 7.5", &varied, 7.5},
                          {"dear k 12", &dear, 12}};
    for (bool lt : {true, false}) {
        const SplitNet net(lt);
        const auto one = net.store(BlockShare{}, 1);
        for (int ranks : {1, 2, 3})
            for (int threads : {1, 2}) {
                std::vector<std::unique_ptr<HyperGraph>> parts;
                for (int rank = 0; rank < ranks; ++rank) parts.push_back(net.store(BlockShare{rank, ranks}, threads));
                for (const Case& c : cases)
                    for (SelectRule rule : {SelectRule::Stop, SelectRule::Fill}) {
                        SCOPED_TRACE(::testing::Message() << (lt ? "LT " : "IC ") << c.name << " ranks " << ranks
                                                          << " threads " << threads
                                                          << (rule == SelectRule::Fill ? " fill" : " stop"));
                        std::vector<int> seeds;
                        std::vector<double> degree(n + 1, 0.0);
                        long long total = -1;
                        const SelectionSummary whole = buildSeedSetCost(*one, seeds, n, c.k, *c.costs, degree, total, rule);
                        ASSERT_FALSE(seeds.empty());
                        std::vector<CoverageShard> shards;
                        for (int rank = 0; rank < ranks; ++rank)
                            shards.emplace_back(*parts[rank], BlockShare{rank, ranks});
                        std::vector<int> splitSeeds;
                        std::vector<double> splitDegree(n + 1, 0.0);
                        long long splitTotal = -1;
                        const SelectionSummary split =
                            splitSelect(shards, n, c.k, *c.costs, splitSeeds, splitDegree, splitTotal, rule);
                        EXPECT_EQ(splitSeeds, seeds);
                        EXPECT_EQ(splitDegree, degree);
                        EXPECT_EQ(splitTotal, total);
                        EXPECT_EQ(split.seedCount, seeds.size());
                        EXPECT_EQ(split.costSpent, whole.costSpent);
                        EXPECT_EQ(split.unspentUsable, whole.unspentUsable);
                    }
            }
    }
}

// Three hyperedges on five nodes at unit costs, where the order of the
// decrements after the first pick (node 2) decides the second: in hyperedge
// order the heap yields node 4, applying hyperedges 0 and 2 before 1 yields
// node 3. Hyperedges 0 and 2 come from one process, 1 from another.
TEST(SplitSelection, StreamsApplyInHyperedgeOrder) {
    testnet::TempDir dir;
    testnet::writeNetwork(dir.path("net.bin"), 5, {});
    testnet::writeValues(dir.path("ben.txt"), std::vector<double>(5, 1.0));
    Graph g(BenefitLayout::Dense);
    g.readGraphIC(dir.path("net.bin").c_str(), dir.path("ben.txt").c_str());
    HyperGraph hg(5, g);
    for (const std::vector<int>& e : {std::vector<int>{2}, {2, 4, 1, 5, 3}, {5, 3, 1, 2, 4}}) hg.addEdge(e);
    const std::vector<float> costs(6, 1.0f);
    std::vector<int> seeds;
    std::vector<double> degree(6, 0.0);
    long long total = 0;
    buildSeedSetCost(hg, seeds, 5, 2, costs, degree, total);
    ASSERT_EQ(seeds, (std::vector<int>{2, 4}));

    std::vector<double> splitDegree(6, 0.0);
    long long splitTotal = 0;
    GreedyRoot root(std::vector<int>{2, 3, 2, 2, 2}, 2, costs, splitDegree, splitTotal);
    ASSERT_EQ(root.next(), 2);
    // Records [hyperedge id, m, the m other nodes].
    const std::vector<int> first{0, 0, 2, 4, 5, 3, 1, 4};
    const std::vector<int> second{1, 4, 4, 1, 5, 3};
    const std::span<const int> streams[] = {first, second};
    root.apply(streams);
    EXPECT_EQ(root.next(), 4);
    EXPECT_EQ(root.next(), 0);  // the budget of 2 is spent
    EXPECT_EQ(splitDegree, degree);
    EXPECT_EQ(splitTotal, total);
}

}  // namespace
