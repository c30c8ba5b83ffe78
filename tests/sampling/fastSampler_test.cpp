// The fast samplers against the classic ones on a real network (email-Eu-core
// from ../shared/data, weighted cascade): the same mean hyperedge size and
// the same frequency of every node within standard errors, and marlet's
// seeds from either sampler reaching the same benefit within the estimates'
// tolerance. Skipped with a message when the shared data is absent.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/tuning.h"
#include "estimate/blockEstimate.h"
#include "estimate/estimate.h"
#include "sampling/fastSampler.h"
#include "graph/graph.h"
#include "io/seedFile.h"
#include "sampling/generate.h"
#include "sampling/hyperGraph.h"
#include "netpack/netpack.h"
#include "support/testNetwork.h"

using namespace lattis;

namespace {

namespace fs = std::filesystem;

class FastOnRealNetwork : public testing::Test {
protected:
    void SetUp() override {
        const fs::path file = fs::path(SHARED_DIR) / "data" / "email-Eu-core.txt.gz";
        if (!fs::exists(file)) GTEST_SKIP() << "no shared data at " << file;
        netpack::PackConfig cfg;
        cfg.input = file.string();
        cfg.networkOut = dir.path("eu.bin");
        cfg.benefitOut = dir.path("eu.ben");
        cfg.costOut = dir.path("eu.cost");
        n = static_cast<int>(netpack::pack(cfg).n);
    }
    Graph load(bool lt) const {
        Graph g(BenefitLayout::Dense);
        if (lt)
            g.readGraphLT(dir.path("eu.bin").c_str(), dir.path("eu.ben").c_str());
        else
            g.readGraphIC(dir.path("eu.bin").c_str(), dir.path("eu.ben").c_str());
        return g;
    }
    testnet::TempDir dir;
    int n = 0;
};

struct Sample {
    double meanSize = 0, sizeError = 0;
    std::vector<double> frequency;  // share of hyperedges holding each node
};

Sample sampleOf(const Graph& g, const FastSampler* fast, std::uint32_t seed) {
    constexpr long long kCount = 200000;
    HyperGraph hg(static_cast<unsigned>(g.getSize()), g);
    sfmt_init_gen_rand(&hg.generator(), seed);
    addHyperedge(g, hg, 2, kCount, fast);
    Sample s;
    s.frequency.assign(static_cast<std::size_t>(g.getSize()) + 1, 0.0);
    double sum = 0, squares = 0;
    for (int e = 0; e < hg.getNumEdge(); ++e) {
        const auto h = hg.getEdge(e);
        sum += static_cast<double>(h.size());
        squares += static_cast<double>(h.size()) * static_cast<double>(h.size());
        for (int v : h) s.frequency[static_cast<std::size_t>(v)] += 1.0 / kCount;
    }
    s.meanSize = sum / kCount;
    s.sizeError = std::sqrt((squares / kCount - s.meanSize * s.meanSize) / kCount);
    return s;
}

TEST_F(FastOnRealNetwork, SameHyperedgeDistributionAsClassic) {
    for (bool lt : {true, false}) {
        SCOPED_TRACE(lt ? "LT" : "IC");
        const Graph g = load(lt);
        const FastSampler fast(g);
        const Sample classic = sampleOf(g, nullptr, 11);
        const Sample quick = sampleOf(g, &fast, 12);
        EXPECT_NEAR(quick.meanSize, classic.meanSize,
                    5 * std::hypot(classic.sizeError, quick.sizeError) + 1e-12);
        for (int v = 1; v <= n; ++v) {
            const double p = classic.frequency[static_cast<std::size_t>(v)];
            const double q = quick.frequency[static_cast<std::size_t>(v)];
            const double error = std::sqrt((p * (1 - p) + q * (1 - q)) / 200000.0);
            ASSERT_NEAR(q, p, 5 * error + 1e-9) << "node " << v;
        }
    }
}

TEST_F(FastOnRealNetwork, MarletSeedsFromEitherSamplerReachTheSameBenefit) {
    for (const char* model : {"LT", "IC"}) {
        double reach[2];
        for (int fast = 0; fast < 2; ++fast) {
            const testnet::RunResult r =
                testnet::run({MARLET_BIN, "-i", "eu.bin", "-b", "eu.ben", "-c", "eu.cost", "-m", model, "-k", "20",
                              "-t", "2", "-seed", "4", "-o", "s.seeds", "-sampler", fast ? "fast" : "classic"},
                             dir.root().string());
            ASSERT_EQ(r.status, 0) << r.err;
            const Graph g = load(std::string(model) == "LT");
            HyperGraph hg(static_cast<unsigned>(n), g);
            sfmt_init_gen_rand(&hg.generator(), 6);
            EstimateSettings s;
            s.threads = 2;
            s.epsilon = 0.02f;
            reach[fast] = estimateInBlocks(g, hg, readSeedFile(dir.path("s.seeds"), n), s).estimate;
        }
        // Both are greedy covers of samples of one distribution; their worth,
        // each estimated within 2%, differs by far less than marlet's 10%.
        EXPECT_NEAR(reach[1], reach[0], 0.1 * reach[0]) << model;
    }
}

// Nodes of shared, mixed and never-firing in-edge thresholds over several
// blocks of nodes: a team builds the tables of one thread, under both models.
TEST(FastSamplerTables, TeamBuildsTheTablesOfOneThread) {
    testnet::TempDir dir;
    const int n = 3 * static_cast<int>(kLoadBlock) + 17;
    std::vector<testnet::Arc> arcs;
    const float mixed[] = {0.3f, 0.05f, 0.6f, 0.0f, 0.3f};
    for (int v = 1; v <= n; ++v)
        for (int j = 0; j < v % 5; ++j)
            arcs.push_back({(v + 7 * j) % n + 1, v, v % 4 == 0 ? mixed[j] : 1.0f / static_cast<float>(v % 5)});
    testnet::writeNetwork(dir.path("mixed.bin"), n, arcs);
    const int team = omp_get_max_threads();
    for (Model model : {Model::IC, Model::LT}) {
        Graph g;
        g.readNetworkWith(dir.path("mixed.bin").c_str(), {}, model);
        omp_set_num_threads(1);
        const FastSampler one(g);
        omp_set_num_threads(3);
        const FastSampler many(g);
        EXPECT_TRUE(many.sameTables(one)) << modelName(model);
        // The tables name the in-neighbours whose edges can fire.
        const GraphView view = g.view();
        for (int v = 1; v <= n; ++v) {
            std::vector<int> named, firing;
            many.forEachFiringInNeighbour(view, v, [&](int u) { named.push_back(u); });
            const UI* w = view.thresholds(v);
            for (std::int64_t e = view.adjOff[v]; e < view.adjOff[v + 1]; ++e) {
                const std::size_t i = static_cast<std::size_t>(e - view.adjOff[v]);
                if (model == Model::IC ? w[i + 1] > 0 : w[i + 1] > w[i]) firing.push_back(view.adj[e]);
            }
            std::sort(named.begin(), named.end());
            std::sort(firing.begin(), firing.end());
            ASSERT_EQ(named, firing) << modelName(model) << " node " << v;
        }
    }
    omp_set_num_threads(team);
}

// The hyperedges a store seeded with `seed` gets from g's fast tables.
std::vector<std::vector<int>> hyperedgesOf(const Graph& g, const FastSampler& fast, std::uint32_t seed) {
    HyperGraph hg(static_cast<unsigned>(g.getSize()), g);
    sfmt_init_gen_rand(&hg.generator(), seed);
    addHyperedge(g, hg, 2, 3000, &fast);
    std::vector<std::vector<int>> all;
    for (int e = 0; e < hg.getNumEdge(); ++e) all.emplace_back(hg.getEdge(e).begin(), hg.getEdge(e).end());
    return all;
}

// A load that leaves the probabilities mapped (Graph::deferThresholds) gives
// tables that draw the hyperedges of a copied load's, under both models, on
// one thread and on a team, before and after the probabilities go, and
// notes the same heavy LT nodes. The LT nodes are uniform, searching or
// without in-edges: the copied load's tables read the graph's thresholds of
// the searching ones, the deferred load's keep them.
TEST(FastSamplerTables, DeferredLoadBuildsTheTablesOfThresholds) {
    testnet::TempDir dir;
    const int n = 3 * static_cast<int>(kLoadBlock) + 17;
    std::vector<testnet::Arc> arcs;
    const float mixed[] = {0.3f, 0.05f, 1.5f, 0.0f, -0.0f};
    for (int v = 1; v <= n; ++v)
        for (int j = 0; j < v % 5; ++j)
            arcs.push_back({(v + 7 * j) % n + 1, v, v % 4 == 0 ? mixed[j] : 1.0f / static_cast<float>(v % 5)});
    const std::string file = dir.path("mixed.bin");
    testnet::writeNetwork(file, n, arcs);
    const std::vector<double> benefit(static_cast<std::size_t>(n), 1.0);
    for (Model model : {Model::IC, Model::LT}) {
        Graph copied;
        copied.readNetworkWith(file.c_str(), benefit, model);
        omp_set_num_threads(1);
        const FastSampler want(copied);
        EXPECT_EQ(want.needsThresholds(), model == Model::LT);
        const auto drawn = hyperedgesOf(copied, want, 5);
        std::optional<FastSampler> single;
        for (int threads : {1, 3}) {
            SCOPED_TRACE(std::string(model == Model::LT ? "LT, " : "IC, ") + std::to_string(threads) + " threads");
            Graph g;
            g.deferThresholds();
            g.readNetworkWith(file.c_str(), benefit, model, NetworkLoad::Map);
            ASSERT_EQ(g.view().weights, nullptr);
            ASSERT_NE(g.view().probabilities, nullptr);
            EXPECT_EQ(g.heavyInWeightNodes(), copied.heavyInWeightNodes());
            EXPECT_EQ(g.largestInWeightSum(), copied.largestInWeightSum());
            omp_set_num_threads(threads);
            const FastSampler fast(g);
            if (model == Model::IC) {
                EXPECT_TRUE(fast.sameTables(want));
            }
            EXPECT_FALSE(fast.needsThresholds());
            if (!single) single.emplace(g);
            EXPECT_TRUE(fast.sameTables(*single));
            EXPECT_EQ(hyperedgesOf(g, fast, 5), drawn);
            g.releaseThresholds();
            EXPECT_EQ(g.view().probabilities, nullptr);
            EXPECT_EQ(hyperedgesOf(g, fast, 5), drawn);
        }
    }
}

}  // namespace
