// The fast IC sampler's rare paths against exact hyperedge statistics: nodes
// whose in-edges are so many and so likely that fewer than two live ones is
// rarer than one draw in 2^32 (the live set drawn afresh, edge by edge at
// probability 0.25 and above, by geometric jumps below), and nodes where more
// than 16 in-edges are live among few (selection sampling). The networks are
// stars: leaves 2..d+1 each with one in-edge into the hub, node 1, the only
// root. Live edges are independent, so the exact statistics are products:
// leaf i lies in the hyperedge with its edge's probability, two leaves
// together with the product, and the hyperedge's size less one is the sum of
// independent Bernoulli variables, whose distribution a convolution gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "graph/graph.h"
#include "sampling/fastSampler.h"
#include "sampling/generate.h"
#include "sampling/hyperGraph.h"
#include "support/testNetwork.h"

using namespace lattis;

namespace {

constexpr long long kSamples = 40000;

// Each leaf's probability as the sampler sees it, the loaded threshold of
// its edge over 2^32, by leaf (leaf i + 2 at i).
std::vector<double> loadedProbabilities(const Graph& g) {
    const std::span<const int> in = g[1];
    const std::span<const UI> w = g.getWeight(1);
    std::vector<double> p(in.size(), 0.0);
    for (std::size_t j = 0; j < in.size(); ++j)
        p[static_cast<std::size_t>(in[j] - 2)] = static_cast<double>(w[j + 1]) / 4294967296.0;
    return p;
}

// P(exactly j of the independent events happen), j = 0..size.
std::vector<double> countDistribution(const std::vector<double>& p) {
    std::vector<double> d = {1.0};
    for (double q : p) {
        std::vector<double> next(d.size() + 1, 0.0);
        for (std::size_t j = 0; j < d.size(); ++j) {
            next[j] += d[j] * (1 - q);
            next[j + 1] += d[j] * q;
        }
        d = next;
    }
    return d;
}

void expectFrequency(double count, double p, const std::string& what) {
    const double se = std::sqrt(p * (1 - p) / static_cast<double>(kSamples));
    EXPECT_NEAR(count / static_cast<double>(kSamples), p, 5 * se + 1e-12) << what;
}

struct Star {
    const char* name;
    std::vector<float> probabilities;  // of the leaves' edges, in leaf order
};

std::vector<float> repeated(int d, float p) { return std::vector<float>(static_cast<std::size_t>(d), p); }
std::vector<float> alternating(int d, float a, float b) {
    std::vector<float> p;
    for (int i = 0; i < d; ++i) p.push_back(i % 2 == 0 ? a : b);
    return p;
}

class FastRarePaths : public testing::TestWithParam<Star> {};

TEST_P(FastRarePaths, HyperedgesFollowTheExactStatistics) {
    const std::vector<float>& prob = GetParam().probabilities;
    const int d = static_cast<int>(prob.size());
    const int n = d + 1;
    std::vector<testnet::Arc> arcs;
    for (int i = 0; i < d; ++i) arcs.push_back({i + 2, 1, prob[static_cast<std::size_t>(i)]});
    std::vector<double> ben(static_cast<std::size_t>(n), 0.0);
    ben[0] = 1.0;
    testnet::TempDir dir;
    testnet::writeNetwork(dir.path("net.bin"), n, arcs);
    testnet::writeValues(dir.path("ben.txt"), ben);
    Graph g;
    g.readGraphIC(dir.path("net.bin").c_str(), dir.path("ben.txt").c_str());
    const std::vector<double> p = loadedProbabilities(g);
    const std::vector<double> sizes = countDistribution(p);

    for (auto batch : {FastSampler::IcBatch::InFlight, FastSampler::IcBatch::OneAtATime}) {
        SCOPED_TRACE(batch == FastSampler::IcBatch::InFlight ? "in flight" : "one at a time");
        const FastSampler fast(g, batch);
        HyperGraph hg(static_cast<UI>(n), g);
        sfmt_init_gen_rand(&hg.generator(), 41);
        addHyperedge(g, hg, 2, kSamples, &fast);
        ASSERT_EQ(hg.getNumEdge(), kSamples);

        std::vector<double> leaf(static_cast<std::size_t>(d), 0.0), pair(static_cast<std::size_t>(d), 0.0);
        std::vector<double> size(static_cast<std::size_t>(d) + 1, 0.0);
        for (int e = 0; e < kSamples; ++e) {
            std::vector<bool> in(static_cast<std::size_t>(n) + 1, false);
            int count = 0;
            for (int v : hg.getEdge(e)) {
                ASSERT_GE(v, 1);
                ASSERT_LE(v, n);
                ASSERT_FALSE(in[static_cast<std::size_t>(v)]) << "node " << v << " twice";
                in[static_cast<std::size_t>(v)] = true;
                ++count;
            }
            ASSERT_TRUE(in[1]);
            size[static_cast<std::size_t>(count - 1)] += 1;
            for (int i = 0; i < d; ++i) {
                const bool here = in[static_cast<std::size_t>(i) + 2];
                leaf[static_cast<std::size_t>(i)] += here;
                if (i + 1 < d) pair[static_cast<std::size_t>(i)] += here && in[static_cast<std::size_t>(i) + 3];
            }
        }
        for (int i = 0; i < d; ++i) {
            expectFrequency(leaf[static_cast<std::size_t>(i)], p[static_cast<std::size_t>(i)],
                            "leaf " + std::to_string(i + 2));
            if (i + 1 < d)
                expectFrequency(pair[static_cast<std::size_t>(i)],
                                p[static_cast<std::size_t>(i)] * p[static_cast<std::size_t>(i) + 1],
                                "leaves " + std::to_string(i + 2) + " and " + std::to_string(i + 3));
        }
        // Chi-square of the live counts, the classes expecting fewer than 20
        // samples pooled into one; allowed up to six standard deviations
        // (sqrt(2 df)) above its mean, df, and at least 30.
        double chi = 0, restSeen = 0, restExpected = 0;
        int classes = 0;
        for (std::size_t j = 0; j < sizes.size(); ++j) {
            const double expected = sizes[j] * static_cast<double>(kSamples);
            if (expected < 20) {
                restSeen += size[j];
                restExpected += expected;
                continue;
            }
            chi += (size[j] - expected) * (size[j] - expected) / expected;
            ++classes;
        }
        if (restExpected >= 1) {
            chi += (restSeen - restExpected) * (restSeen - restExpected) / restExpected;
            ++classes;
        } else {
            EXPECT_LE(restSeen, 10) << "live counts the exact distribution all but rules out";
        }
        const double df = classes - 1;
        EXPECT_LT(chi, std::max(30.0, df + 6 * std::sqrt(2 * df))) << classes << " classes";
    }
}

// 40 edges at 0.5 and 150 at 0.2 put fewer than two live below one draw in
// 2^32 (41 / 2^40; 0.8^150 (1 + 37.5)); 24 at 0.5 do not (25 / 2^24), and
// then 17 or more are live about once in 30 samples, well over a thousand
// times here. Alternating 0.75 and 0.6 share a group (one bit length),
// sampled at 0.75, where fewer than two live is as rare, and thinned by the
// ratio.
INSTANTIATE_TEST_SUITE_P(
    Stars, FastRarePaths,
    testing::Values(Star{"AllDrawnAtHalf", repeated(40, 0.5f)}, Star{"JumpsAtOneFifth", repeated(150, 0.2f)},
                    Star{"SelectionSamplingAtHalf", repeated(24, 0.5f)},
                    Star{"GroupOfTwoThresholds", alternating(40, 0.75f, 0.6f)}),
    [](const testing::TestParamInfo<Star>& info) { return std::string(info.param.name); });

}  // namespace
