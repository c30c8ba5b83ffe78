// Tests of the certificate's bounds: the fractional knapsack against a
// sort-based reference, the store's upper bound against the best
// budget-feasible coverage found by enumerating every set on tiny random
// stores (any order of seeds), and the confidence bounds against their
// defining equations and, by simulation, against their failure probability.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "graph/graph.h"
#include "sampling/hyperGraph.h"
#include "selection/certificate.h"
#include "support/testNetwork.h"

using namespace lattis;

namespace {

// The knapsack by the textbook rule: items sorted by ratio, taken whole
// while they fit, the first that does not cut to fit.
double sortedKnapsack(std::vector<KnapsackItem> items, double capacity) {
    std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.ratio > b.ratio; });
    double value = 0;
    for (const KnapsackItem& it : items) {
        if (it.cost >= capacity) return value + it.gain * capacity / it.cost;
        value += it.gain;
        capacity -= it.cost;
    }
    return value;
}

TEST(FractionalKnapsack, AgreesWithTheSortedRule) {
    // Hand case: ratios 3, 2, 1; capacity 4 takes the first two whole (cost
    // 3) and a third of the last (cost 3): 6 + 4 + 1 = 11.
    std::vector<KnapsackItem> hand{{3, 3, 1}, {6, 2, 3}, {4, 1, 4}};
    for (KnapsackItem& it : hand) it.ratio = it.gain / it.cost;
    EXPECT_DOUBLE_EQ(fractionalKnapsack(hand, 4), 11);
    EXPECT_DOUBLE_EQ(fractionalKnapsack(hand, 100), 13);
    EXPECT_DOUBLE_EQ(fractionalKnapsack(hand, 0), 0);

    std::mt19937 rng(11);
    for (int round = 0; round < 200; ++round) {
        std::vector<KnapsackItem> items(rng() % 40);
        for (KnapsackItem& it : items) {
            it.gain = static_cast<double>(1 + rng() % 20);
            // Repeated ratios too: costs from a short list.
            it.cost = static_cast<double>(1 + rng() % 4) * 0.5;
            it.ratio = it.gain / it.cost;
        }
        const double capacity = static_cast<double>(rng() % 30) * 0.7;
        const double expected = sortedKnapsack(items, capacity);
        EXPECT_NEAR(fractionalKnapsack(items, capacity), expected, 1e-9 * (1 + expected)) << "round " << round;
    }
}

// A store of hand-made hyperedges over n nodes (the network only lends its
// root distribution).
class TinyStores : public ::testing::Test {
protected:
    static constexpr int kNodes = 12;
    void SetUp() override {
        testnet::writeNetwork(dir.path("net.bin"), kNodes, {{1, 2, 0.5f}});
        testnet::writeValues(dir.path("ben.txt"), std::vector<double>(kNodes, 1.0));
        g.readGraphIC(dir.path("net.bin").c_str(), dir.path("ben.txt").c_str());
    }
    testnet::TempDir dir;
    Graph g{BenefitLayout::Dense};
};

// The most hyperedges a set of total cost at most k covers, over all 2^n sets.
long long bestFeasibleCoverage(const std::vector<std::vector<int>>& edges, int n, const std::vector<float>& costs,
                               double k) {
    long long best = 0;
    for (unsigned set = 0; set < (1u << n); ++set) {
        double cost = 0;
        for (int x = 1; x <= n; ++x)
            if (set & (1u << (x - 1))) cost += static_cast<double>(costs[static_cast<std::size_t>(x - 1)]);
        if (cost > k) continue;
        long long covered = 0;
        for (const auto& e : edges)
            covered += std::any_of(e.begin(), e.end(), [set](int x) { return (set & (1u << (x - 1))) != 0; });
        best = std::max(best, covered);
    }
    return best;
}

TEST_F(TinyStores, UpperBoundIsNeverBelowTheBestFeasibleCoverage) {
    std::mt19937 rng(5);
    for (int round = 0; round < 150; ++round) {
        const int n = 3 + static_cast<int>(rng() % (kNodes - 2));
        std::vector<std::vector<int>> edges(1 + rng() % 60);
        HyperGraph hg(kNodes, g);
        for (auto& e : edges) {
            // One to four distinct nodes, skewed toward low ids so that
            // some nodes are worth far more than others.
            const int size = 1 + static_cast<int>(rng() % static_cast<unsigned>(std::min(4, n)));
            while (static_cast<int>(e.size()) < size) {
                const int x = 1 + static_cast<int>(std::min(rng() % n, rng() % n));
                if (std::find(e.begin(), e.end(), x) == e.end()) e.push_back(x);
            }
            hg.addEdge(e);
        }
        std::vector<float> costs(kNodes + 1, 0.0f);
        for (int x = 0; x < n; ++x) costs[static_cast<std::size_t>(x)] = static_cast<float>(1 + rng() % 9) * 0.5f;
        for (int x = n; x < kNodes; ++x) costs[static_cast<std::size_t>(x)] = 1.0f;  // in no hyperedge
        const double k = 0.5 * static_cast<double>(1 + rng() % 16);
        const long long best = bestFeasibleCoverage(edges, n, costs, k);

        // Any seed sequence: a random one (repeats and budget overruns
        // included), its reverse, and none.
        std::vector<int> seeds(rng() % 6);
        for (int& s : seeds) s = 1 + static_cast<int>(rng() % n);
        std::vector<int> reversed(seeds.rbegin(), seeds.rend());
        for (const auto& order : {seeds, reversed, std::vector<int>{}}) {
            const double u = coverageUpperBound(hg, order, kNodes, k, costs);
            EXPECT_GE(u, static_cast<double>(best) - 1e-9) << "round " << round;
        }
    }
}

// cov(S_j) + F(S_j) at every prefix of `seeds`, the gains counted afresh
// from the hyperedges at each one.
double leastOverEveryPrefix(const std::vector<std::vector<int>>& edges, const std::vector<int>& seeds, int n,
                            const std::vector<float>& costs, double k) {
    double least = std::numeric_limits<double>::infinity();
    for (std::size_t j = 0; j <= seeds.size(); ++j) {
        const std::vector<int> prefix(seeds.begin(), seeds.begin() + static_cast<std::ptrdiff_t>(j));
        auto in = [&](int x) { return std::find(prefix.begin(), prefix.end(), x) != prefix.end(); };
        double covered = 0;
        std::vector<double> gain(static_cast<std::size_t>(n) + 1, 0);
        for (const auto& e : edges) {
            if (std::any_of(e.begin(), e.end(), in)) {
                ++covered;
                continue;
            }
            for (int x : e) ++gain[static_cast<std::size_t>(x)];
        }
        std::vector<KnapsackItem> items;
        for (int x = 1; x <= n; ++x) {
            const double c = static_cast<double>(costs[static_cast<std::size_t>(x - 1)]);
            if (gain[static_cast<std::size_t>(x)] > 0 && c <= k)
                items.push_back({gain[static_cast<std::size_t>(x)], c, gain[static_cast<std::size_t>(x)] / c});
        }
        least = std::min(least, covered + fractionalKnapsack(items, k));
    }
    return least;
}

// The knapsack runs at some prefixes only and the rest are skipped where
// they cannot lower the bound: long seed lists (repeats included) give the
// least over every prefix all the same.
TEST_F(TinyStores, UpperBoundIsTheLeastOverEveryPrefix) {
    std::mt19937 rng(11);
    for (int round = 0; round < 100; ++round) {
        const int n = kNodes;
        std::vector<std::vector<int>> edges(1 + rng() % 80);
        HyperGraph hg(kNodes, g);
        for (auto& e : edges) {
            const int size = 1 + static_cast<int>(rng() % 3);
            while (static_cast<int>(e.size()) < size) {
                const int x = 1 + static_cast<int>(rng() % n);
                if (std::find(e.begin(), e.end(), x) == e.end()) e.push_back(x);
            }
            hg.addEdge(e);
        }
        std::vector<float> costs(kNodes + 1);
        for (float& c : costs) c = static_cast<float>(1 + rng() % 6) * 0.25f;
        const double k = 0.25 * static_cast<double>(1 + rng() % 24);
        std::vector<int> seeds(rng() % 40);
        for (int& s : seeds) s = 1 + static_cast<int>(rng() % n);
        EXPECT_NEAR(coverageUpperBound(hg, seeds, kNodes, k, costs), leastOverEveryPrefix(edges, seeds, n, costs, k),
                    1e-9)
            << "round " << round;
    }
}

TEST_F(TinyStores, UpperBoundIsExactWhereTheRelaxationIs) {
    // Hyperedges {1}, {1}, {2}, {3, 4}; unit costs, budget 2: the best pair
    // {1, 2} or {1, 3} covers 3, and so does every prefix's bound through
    // seeds 1 then 2 (the knapsack of the empty prefix takes 1 and one more).
    HyperGraph hg(kNodes, g);
    for (const std::vector<int>& e : std::vector<std::vector<int>>{{1}, {1}, {2}, {3, 4}}) hg.addEdge(e);
    const std::vector<float> costs(kNodes + 1, 1.0f);
    EXPECT_DOUBLE_EQ(coverageUpperBound(hg, {1, 2}, kNodes, 2, costs), 3);
    // A node dearer than the budget is in no feasible set: with node 1 at
    // cost 3, the best within 2 is {2, 3}, covering 2.
    std::vector<float> dear = costs;
    dear[0] = 3.0f;
    EXPECT_DOUBLE_EQ(coverageUpperBound(hg, {}, kNodes, 2, dear), 2);
}

TEST(ConfidenceBounds, SolveTheirDefiningEquations) {
    for (double a : {1.0, 8.5, 20.0})
        for (double h : {0.0, 3.0, 50.0, 1e4, 3e6}) {
            SCOPED_TRACE(::testing::Message() << "a " << a << " hits " << h);
            // Lower: the mean x with h = x + l, l^2 = a (2x + 2l/3), or 0
            // where that root is negative.
            const double x = hitsLowerBound(h, a);
            if (x > 0) {
                const double l = h - x;
                EXPECT_NEAR(l * l, a * (2 * x + 2 * l / 3), 1e-9 * (1 + l * l));
            } else {
                EXPECT_LE(h, 2 * a / 3 + 1e-9);  // x <= 0 exactly when h <= 2a/3
            }
            EXPECT_LE(x, h);
            // Upper: the mean y with y - sqrt(2 a y) = U.
            const double y = coverageUpperConfidence(h, a);
            EXPECT_NEAR(y - std::sqrt(2 * a * y), h, 1e-9 * (1 + y));
            EXPECT_GE(y, h);
        }
}

TEST(ConfidenceBounds, FailAtMostAsOftenAsPromised) {
    // a = ln 10: each bound may fail in at most 10% of the draws. Over 4000
    // binomial draws the failure share's standard error is below 0.5%, so a
    // share above 10% + 2% would take 4 standard errors.
    const double a = std::log(10.0);
    std::mt19937_64 rng(17);
    for (const auto& [theta, p] : {std::pair{5000, 0.02}, std::pair{20000, 0.3}, std::pair{3000, 0.9}}) {
        std::binomial_distribution<long long> draw(theta, p);
        const double mu = theta * p;
        int lowFails = 0, highFails = 0;
        const int trials = 4000;
        for (int i = 0; i < trials; ++i) {
            const double hits = static_cast<double>(draw(rng));
            if (hitsLowerBound(hits, a) > mu) ++lowFails;
            if (coverageUpperConfidence(hits, a) < mu) ++highFails;
        }
        EXPECT_LE(lowFails, trials * 0.12) << theta << ' ' << p;
        EXPECT_LE(highFails, trials * 0.12) << theta << ' ' << p;
        // And they are not vacuous: the mean lies well inside both.
        EXPECT_GT(hitsLowerBound(mu, a), 0.5 * mu);
        EXPECT_LT(coverageUpperConfidence(mu, a), 2 * mu);
    }
}

}  // namespace
