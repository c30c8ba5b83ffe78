// Tests of parallel hyperedge generation: the block count rule, the same
// stored hyperedges (and index) for 1, 2 and 4 threads, each block's stream
// derived from the call's key and the block's number over the store's life,
// indices following on over calls, and the refusal of a batch that would
// pass the hyperedge id range.
#include <gtest/gtest.h>
#include <omp.h>

#include <climits>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <stdexcept>
#include <vector>

#include "sampling/fastSampler.h"
#include "graph/graph.h"
#include "sampling/generate.h"
#include "sampling/hyperGraph.h"
#include "support/testNetwork.h"

using namespace lattis;

namespace {

// A random network of 30 nodes, about three in-edges each; LT weights are
// scaled so that each node's in-weights sum to at most 0.9.
class Net {
public:
    explicit Net(bool lt) : g(BenefitLayout::Dense) {
        testnet::loadRandomNetwork(g, dir, lt, {n, lt ? 41u : 42u, 0.15f, 4, 4});
    }
    std::unique_ptr<HyperGraph> store(std::uint32_t seed) const {
        auto hg = std::make_unique<HyperGraph>(n, g);
        sfmt_init_gen_rand(&hg->generator(), seed);
        return hg;
    }
    static constexpr int n = 30;
    testnet::TempDir dir;
    Graph g;
};

std::vector<int> edgeOf(const HyperGraph& hg, int e) {
    const auto s = hg.getEdge(e);
    return {s.begin(), s.end()};
}

bool sameState(const sfmt_t& a, const sfmt_t& b) {
    return a.idx == b.idx && std::memcmp(a.state, b.state, sizeof a.state) == 0;
}

void expectIndexed(const HyperGraph& hg, int n) {
    std::vector<std::vector<int>> lists(static_cast<std::size_t>(n) + 1);
    for (int e = 0; e < hg.getNumEdge(); ++e)
        for (int v : hg.getEdge(e)) lists[static_cast<std::size_t>(v)].push_back(e);
    for (int v = 0; v <= n; ++v) {
        const auto got = hg.getNode(v);
        ASSERT_EQ(std::vector<int>(got.begin(), got.end()), lists[static_cast<std::size_t>(v)]) << "node " << v;
    }
}

TEST(GenerateCount, WholeBlocksOfTenThousand) {
    Net net(false);
    auto hg = net.store(1);
    EXPECT_EQ(addHyperedge(net.g, *hg, 1, 1), 10000);
    EXPECT_EQ(addHyperedge(net.g, *hg, 1, 10000), 20000);
    EXPECT_EQ(addHyperedge(net.g, *hg, 1, 10001), 40000);
    EXPECT_EQ(addHyperedge(net.g, *hg, 4, 10000), 50000);
    EXPECT_EQ(addHyperedge(net.g, *hg, 4, 30001), 90000);
    EXPECT_EQ(addHyperedge(net.g, *hg, 0, 5), 100000);
    EXPECT_EQ(hg->getNumEdge(), 100000);
}

TEST(GenerateCount, NothingAskedStillIndexes) {
    Net net(true);
    auto hg = net.store(2);
    HyperedgeBuffer buf;
    for (int v : {3, 1, 2}) buf.nodes.push_back(v);
    buf.sizes.push_back(2);
    buf.sizes.push_back(1);
    hg->appendEdges(buf);
    const sfmt_t before = hg->generator();
    EXPECT_EQ(addHyperedge(net.g, *hg, 2, 0), 2);
    EXPECT_EQ(addHyperedge(net.g, *hg, 2, -7), 2);
    EXPECT_TRUE(sameState(before, hg->generator()));
    expectIndexed(*hg, Net::n);
    EXPECT_EQ(hg->getNode(1).size(), 1u);
}

TEST(GenerateThreads, SameHyperedgesForOneTwoAndFourThreadsAndMixes) {
    using Batch = FastSampler::IcBatch;
    const struct {
        bool lt, fast;
        Batch batch;
    } rows[] = {{true, false, Batch::InFlight},
                {false, false, Batch::InFlight},
                {true, true, Batch::InFlight},
                {false, true, Batch::OneAtATime},
                {false, true, Batch::InFlight}};
    for (auto [lt, fast, batch] : rows) {
        SCOPED_TRACE(std::string(lt ? "LT" : "IC") + (fast ? ", fast" : ", classic") +
                     (batch == Batch::OneAtATime ? ", one at a time" : ""));
        Net net(lt);
        const FastSampler sampler(net.g, batch);
        std::vector<std::unique_ptr<HyperGraph>> stores;
        // The second call runs on thread records the first left behind, and
        // on fresh ones where it has more threads.
        for (auto [first, second] : {std::pair{1, 1}, {2, 2}, {4, 4}, {2, 4}, {4, 1}}) {
            stores.push_back(net.store(7));
            addHyperedge(net.g, *stores.back(), first, 25000, fast ? &sampler : nullptr);
            // Large enough for the team to copy it into the store.
            addHyperedge(net.g, *stores.back(), second, 195000, fast ? &sampler : nullptr);
        }
        const HyperGraph& one = *stores[0];
        ASSERT_EQ(one.getNumEdge(), 230000);
        // Large enough for the team to index it, where more than one thread runs.
        ASSERT_GE(one.getNumStoredNodes(), 2 * (std::size_t{1} << 18));
        expectIndexed(one, Net::n);
        for (std::size_t i = 1; i < stores.size(); ++i) {
            const HyperGraph& other = *stores[i];
            ASSERT_EQ(other.getNumEdge(), one.getNumEdge());
            ASSERT_EQ(other.getNumStoredNodes(), one.getNumStoredNodes());
            for (int e = 0; e < one.getNumEdge(); ++e) ASSERT_EQ(edgeOf(other, e), edgeOf(one, e)) << e;
            for (int v = 0; v <= Net::n; ++v) {
                const auto a = one.getNode(v), b = other.getNode(v);
                ASSERT_EQ(std::vector<int>(a.begin(), a.end()), std::vector<int>(b.begin(), b.end()));
            }
            EXPECT_TRUE(sameState(stores[0]->generator(), stores[i]->generator()));
        }
    }
}

TEST(GenerateStreams, EachBlockFollowsItsKeyAndNumber) {
    // Block b of a call is 10000 samples on the stream seeded by the call's
    // key (four draws of the store's generator, its only draws) and b's
    // number over the store's life: a second call's blocks follow on.
    for (bool lt : {true, false}) {
        Net net(lt);
        auto hg = net.store(3);
        sfmt_t shadow = hg->generator();
        std::array<UI, 4> key1, key2;
        for (UI& k : key1) k = sfmt_genrand_uint32(&shadow);
        addHyperedge(net.g, *hg, 2, 25000);
        EXPECT_TRUE(sameState(shadow, hg->generator()));
        for (UI& k : key2) k = sfmt_genrand_uint32(&shadow);
        addHyperedge(net.g, *hg, 2, 10000);
        EXPECT_TRUE(sameState(shadow, hg->generator()));
        ASSERT_EQ(hg->getNumEdge(), 40000);

        std::vector<bool> visit(Net::n + 1);
        std::vector<int> mark(Net::n + 1);
        struct Block {
            const std::array<UI, 4>* key;
            std::uint64_t number;
            int firstEdge;
        };
        for (const Block& b : {Block{&key1, 0, 0}, Block{&key1, 2, 20000}, Block{&key2, 3, 30000}}) {
            sfmt_t stream;
            HyperGraph::initStream(stream, *b.key, b.number);
            HyperedgeBuffer buf;
            for (int i = 0; i < 10000; ++i) {
                if (lt)
                    hg->pollingLT1(net.g, stream, buf, visit, mark);
                else
                    hg->pollingIC1(net.g, stream, buf, visit, mark);
            }
            std::size_t at = 0;
            for (int i = 0; i < 10000; ++i) {
                const std::vector<int> expect(buf.nodes.data() + at, buf.nodes.data() + at + buf.sizes[i]);
                at += buf.sizes[i];
                ASSERT_EQ(edgeOf(*hg, b.firstEdge + i), expect) << "block " << b.number << " sample " << i;
            }
        }
    }
}

TEST(GenerateIndex, SecondCallFollowsOn) {
    Net net(false);
    auto hg = net.store(5);
    addHyperedge(net.g, *hg, 2, 10000);
    addHyperedge(net.g, *hg, 2, 20000);
    expectIndexed(*hg, Net::n);
    const std::span<const double> ben = net.g.getBen();
    for (int e = 0; e < hg->getNumEdge(); ++e) {
        const std::vector<int> h = edgeOf(*hg, e);
        ASSERT_FALSE(h.empty());
        EXPECT_GT(ben[static_cast<std::size_t>(h[0] - 1)], 0.0);
        EXPECT_EQ(std::set<int>(h.begin(), h.end()).size(), h.size());
        for (int v : h) ASSERT_TRUE(v >= 1 && v <= Net::n);
    }
}

TEST(GenerateIndex, LargeBatchesIndexedByTheTeamAsByOneThread) {
    // Batches of more new ids than one thread indexes alone (two of them,
    // so that old lists move too), on one thread and on a team.
    for (int t : {1, 4}) {
        SCOPED_TRACE(t);
        Net net(false);
        auto hg = net.store(8);
        std::mt19937 rng(9);
        for (int batch = 0; batch < 2; ++batch) {
            HyperedgeBuffer buf;
            for (int e = 0; e < 100000; ++e) {
                for (int i = 0; i < 3; ++i) buf.nodes.push_back(1 + static_cast<int>(rng() % Net::n));
                buf.sizes.push_back(3);
            }
            hg->appendEdges(buf);
            omp_set_num_threads(t);
            hg->updateDeg();
        }
        expectIndexed(*hg, Net::n);
    }
}

TEST(GenerateLimits, RefusesABatchPastTheIdRange) {
    Net net(true);
    auto hg = net.store(6);
    addHyperedge(net.g, *hg, 1, 1);
    const sfmt_t before = hg->generator();
    EXPECT_THROW(addHyperedge(net.g, *hg, 2, INT_MAX - 9999), std::runtime_error);
    EXPECT_THROW(addHyperedge(net.g, *hg, 2, LLONG_MAX), std::runtime_error);
    EXPECT_EQ(hg->getNumEdge(), 10000);
    EXPECT_TRUE(sameState(before, hg->generator()));
}

}  // namespace
