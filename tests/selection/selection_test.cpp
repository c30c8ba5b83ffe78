// Tests of the budgeted greedy selection over hand-built hyperedge stores: the
// small worked stores, the budget rule, zero-gain picks, the equal-ratio
// order, and random stores checked against a plain recomputing greedy; for
// -select fill, drawn stores and every budget-feasible set of tiny ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <numeric>
#include <random>
#include <vector>

#include "graph/graph.h"
#include "io/costFile.h"
#include "netpack/netpack.h"
#include "sampling/generate.h"
#include "selection/schedule.h"
#include "selection/selection.h"
#include "selection/selectionTables.h"
#include "sampling/hyperGraph.h"
#include "support/referenceSelection.h"
#include "support/testNetwork.h"

using namespace lattis;

namespace {

using Edges = std::vector<std::vector<int>>;

// A store needs a loaded network with a positive benefit; the selection only
// reads the hyperedges added by hand, so one arc and unit benefits do.
class Network {
public:
    explicit Network(int nodes) : n(nodes), g(BenefitLayout::Dense) {
        std::vector<testnet::Arc> arcs;
        if (n >= 2) arcs.push_back({1, 2, 0.5f});
        testnet::writeNetwork(dir.path("net.bin"), n, arcs);
        testnet::writeValues(dir.path("ben.txt"), std::vector<double>(static_cast<std::size_t>(n), 1.0));
        g.readGraphIC(dir.path("net.bin").c_str(), dir.path("ben.txt").c_str());
    }
    std::unique_ptr<HyperGraph> store(const Edges& edges) const {
        auto hg = std::make_unique<HyperGraph>(static_cast<unsigned>(n), g);
        for (const auto& e : edges) hg->addEdge(e);
        return hg;
    }
private:
    int n;
    testnet::TempDir dir;
    Graph g;
};

struct Selection {
    std::vector<int> seeds;
    std::vector<double> degree;   // degree[0..seeds.size()]
    long long totalDegree = 0;
    SelectionSummary summary;
};

constexpr double kUntouched = -7.0;

// Runs the selection with a degree vector of n + 1 sentinels, as the
// selection program sizes it, and checks that no entry past the chosen seeds
// was written.
Selection select(const HyperGraph& hg, int n, double k, const std::vector<float>& costs,
                 std::vector<int> seeds = {}, SelectRule rule = SelectRule::Stop) {
    std::size_t before = seeds.size();
    std::vector<double> degree(static_cast<std::size_t>(n) + 1, kUntouched);
    long long total = -99;
    const SelectionSummary summary = buildSeedSetCost(hg, seeds, static_cast<unsigned>(n), k, costs, degree, total, rule);
    std::size_t chosen = seeds.size() - before;
    EXPECT_EQ(summary.seedCount, chosen);
    // A fill selection replaced by its best single node leaves later entries written.
    if (rule == SelectRule::Stop) {
        for (std::size_t i = chosen + 1; i < degree.size(); ++i) EXPECT_EQ(degree[i], kUntouched) << "entry " << i;
    }
    degree.resize(chosen + 1);
    return {seeds, degree, total, summary};
}

Selection fill(const HyperGraph& hg, int n, double k, const std::vector<float>& costs) {
    return select(hg, n, k, costs, {}, SelectRule::Fill);
}

// Hyperedges {1}, {1, 2}, {2}, {3}, {3} over nodes 1..3: every node has gain 2.
const Edges kFirstStore{{1}, {1, 2}, {2}, {3}, {3}};

TEST(BuildSeedSetCostTest, WorkedStores) {
    Network net(3);
    auto hg = net.store(kFirstStore);

    // Node 1 first (ratio 2, first in the heap), node 2 drops to gain 1 and
    // still beats node 3's 2/5; the total reaches the budget exactly.
    Selection a = select(*hg, 3, 2.0, {1.0f, 1.0f, 5.0f});
    EXPECT_EQ(a.seeds, (std::vector<int>{1, 2}));
    EXPECT_EQ(a.degree, (std::vector<double>{0, 2, 3}));
    EXPECT_EQ(a.totalDegree, 3);

    // Node 3 at ratio 2/1 beats node 2 at 1/3 after node 1.
    Selection b = select(*hg, 3, 2.0, {1.0f, 3.0f, 1.0f});
    EXPECT_EQ(b.seeds, (std::vector<int>{1, 3}));
    EXPECT_EQ(b.degree, (std::vector<double>{0, 2, 4}));
    EXPECT_EQ(b.totalDegree, 4);

    // The second node taken brings the total to 2 > 1.5 and ends the selection.
    Selection c = select(*hg, 3, 1.5, {1.0f, 1.0f, 1.0f});
    EXPECT_EQ(c.seeds, (std::vector<int>{1}));
    EXPECT_EQ(c.degree, (std::vector<double>{0, 2}));
    EXPECT_EQ(c.totalDegree, 2);
}

TEST(BuildSeedSetCostTest, NonPositiveBudgetChoosesNothing) {
    Network net(3);
    auto hg = net.store(kFirstStore);
    for (double k : {0.0, -1.0}) {
        Selection s = select(*hg, 3, k, {1.0f, 1.0f, 1.0f}, {42});
        EXPECT_EQ(s.seeds, (std::vector<int>{42}));
        EXPECT_EQ(s.degree, (std::vector<double>{0}));
        EXPECT_EQ(s.totalDegree, 0);
    }
}

TEST(BuildSeedSetCostTest, AppendsToGivenSeeds) {
    Network net(3);
    auto hg = net.store(kFirstStore);
    Selection s = select(*hg, 3, 2.0, {1.0f, 1.0f, 5.0f}, {7, 9});
    EXPECT_EQ(s.seeds, (std::vector<int>{7, 9, 1, 2}));
    EXPECT_EQ(s.totalDegree, 3);
}

TEST(BuildSeedSetCostTest, ShortDegreeVectorGrows) {
    Network net(3);
    auto hg = net.store(kFirstStore);
    std::vector<int> seeds;
    std::vector<double> degree;
    long long total = 0;
    buildSeedSetCost(*hg, seeds, 3, 2.0, {1.0f, 1.0f, 5.0f}, degree, total);
    EXPECT_EQ(degree, (std::vector<double>{0, 2, 3}));
}

// No hyperedges: every ratio is 0, so the heap's own order decides: node 1,
// then n, n - 1, ..., 2, for as long as the budget lasts.
TEST(BuildSeedSetCostTest, EmptyStoreTakesNodesInHeapOrder) {
    Network net(6);
    auto hg = net.store({});
    std::vector<float> unit(6, 1.0f);
    Selection all = select(*hg, 6, 100.0, unit);
    EXPECT_EQ(all.seeds, (std::vector<int>{1, 6, 5, 4, 3, 2}));
    EXPECT_EQ(all.degree, std::vector<double>(7, 0.0));
    EXPECT_EQ(all.totalDegree, 0);

    Selection some = select(*hg, 6, 3.5, unit);
    EXPECT_EQ(some.seeds, (std::vector<int>{1, 6, 5}));
}

// Hyperedges {1, 2}, {1, 2}, {3}: after node 1, node 2 has nothing left to
// cover, falls below node 3 and is still taken last, adding 0.
TEST(BuildSeedSetCostTest, CoveredSeedAddsZero) {
    Network net(3);
    auto hg = net.store({{1, 2}, {1, 2}, {3}});
    Selection s = select(*hg, 3, 3.0, {1.0f, 1.0f, 1.0f});
    EXPECT_EQ(s.seeds, (std::vector<int>{1, 3, 2}));
    EXPECT_EQ(s.degree, (std::vector<double>{0, 2, 3, 3}));
    EXPECT_EQ(s.totalDegree, 3);
}

// Ratios: node 1 3/1, node 3 1/0.5, node 2 2/5, node 4 0/0.1. With budget 2,
// node 2 does not fit and ends the selection although node 4 would.
TEST(BuildSeedSetCostTest, FirstNodeThatDoesNotFitEndsSelection) {
    Network net(4);
    auto hg = net.store({{1}, {1}, {1}, {2}, {2}, {3}});
    Selection s = select(*hg, 4, 2.0, {1.0f, 5.0f, 0.5f, 0.1f});
    EXPECT_EQ(s.seeds, (std::vector<int>{1, 3}));
    EXPECT_EQ(s.degree, (std::vector<double>{0, 3, 4}));
    EXPECT_EQ(s.totalDegree, 4);
}

// -select fill on drawn stores. Each column is a node with its cost and the
// hyperedges (letters) that hold it.
struct FillCase {
    const char* name;
    int n;
    Edges edges;
    std::vector<float> costs;
    double k;
    std::vector<int> stopSeeds, fillSeeds;
    long long fillCover;
    double fillSpent;
    bool stopLeavesUsable;  // the stop rule's note: budget left that a node with gain would use
};

TEST(BuildSeedSetCostTest, FillSkipsWhatDoesNotFitAndKeepsTheBetterOfGreedyAndBestSingle) {
    const FillCase cases[] = {
        // node:   1      2        3   4
        // cost:   1      3        1   1      budget 3
        // holds:  a b c  d e f g  h   -
        // Stop ends at node 2 (ratio 4/3) with 2 unspent; fill drops it,
        // takes node 3 and leaves node 4 (gain 0) although it fits. The best
        // single node, node 2, covers 4: no more than the greedy's 4, so the
        // greedy stays.
        {"skip", 4, {{1}, {1}, {1}, {2}, {2}, {2}, {2}, {3}}, {1, 3, 1, 1}, 3, {1}, {1, 3}, 4, 2, true},
        // node:   1    2                budget 10
        // cost:   1    10
        // holds:  a b  c d e f g h i j k l
        // The greedy takes node 1 and cannot afford node 2; node 2 alone covers 10.
        {"single", 2, {{1}, {1}, {2}, {2}, {2}, {2}, {2}, {2}, {2}, {2}, {2}, {2}}, {1, 10}, 10, {1}, {2}, 10, 10, false},
        // node:   1    2    3               budget 3
        // cost:   1    1    3
        // holds:  a b  c d  a b c d e
        // The greedy's nodes 1 and 2 cover 4 for 2 and node 3 no longer fits;
        // node 3 alone covers all 5.
        {"overlap", 3, {{1, 3}, {1, 3}, {2, 3}, {2, 3}, {3}}, {1, 1, 3}, 3, {1, 2}, {3}, 5, 3, false},
        // node:   1    2    3   4           budget 10
        // cost:   1    1    1   1
        // holds:  a b  a b  c   -
        // Stop takes every node while the budget lasts, zero gains included;
        // fill ends once every gain left is 0.
        {"zero gain", 4, {{1, 2}, {1, 2}, {3}}, {1, 1, 1, 1}, 10, {1, 3, 2, 4}, {1, 3}, 3, 2, false},
        // node:   1    2    3                budget 2.5
        // cost:   2    2    0.5
        // holds:  a b  c d  -
        // After node 1 neither node fits a gain: node 2 costs too much, node 3 adds 0.
        {"nothing left", 3, {{1}, {1}, {2}, {2}}, {2, 2, 0.5f}, 2.5, {1}, {1}, 2, 2, false},
        // No hyperedges: fill takes nothing (stop takes nodes in heap order).
        {"empty", 3, {}, {1, 1, 1}, 2, {1, 3}, {}, 0, 0, false},
    };
    for (const FillCase& c : cases) {
        SCOPED_TRACE(c.name);
        Network net(c.n);
        auto hg = net.store(c.edges);
        const Selection stop = select(*hg, c.n, c.k, c.costs);
        EXPECT_EQ(stop.seeds, c.stopSeeds);
        EXPECT_EQ(stop.summary.unspentUsable, c.stopLeavesUsable);
        const Selection f = fill(*hg, c.n, c.k, c.costs);
        EXPECT_EQ(f.seeds, c.fillSeeds);
        EXPECT_EQ(f.totalDegree, c.fillCover);
        EXPECT_EQ(f.degree.back(), static_cast<double>(c.fillCover));
        EXPECT_EQ(f.summary.costSpent, c.fillSpent);
        EXPECT_FALSE(f.summary.unspentUsable);  // a note of the stop rule only
    }
}

// Several calls on one store see the hyperedges added in between.
TEST(BuildSeedSetCostTest, LaterCallSeesNewHyperedges) {
    Network net(3);
    auto hg = net.store({{1}, {2}, {2}});
    EXPECT_EQ(select(*hg, 3, 1.0, {1.0f, 1.0f, 1.0f}).seeds, (std::vector<int>{2}));
    hg->addEdge({1, 3});
    hg->addEdge({1});
    Selection s = select(*hg, 3, 1.0, {1.0f, 1.0f, 1.0f});
    EXPECT_EQ(s.seeds, (std::vector<int>{1}));
    EXPECT_EQ(s.totalDegree, 3);
}

// Hyperedges of 1..maxSize distinct nodes of 1..n.
Edges randomEdges(std::mt19937& rng, int n, int m, int maxSize) {
    Edges edges;
    std::vector<int> nodes(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) nodes[static_cast<std::size_t>(i)] = i + 1;
    for (int e = 0; e < m; ++e) {
        std::shuffle(nodes.begin(), nodes.end(), rng);
        int size = 1 + static_cast<int>(rng() % static_cast<unsigned>(std::min(n, maxSize)));
        edges.emplace_back(nodes.begin(), nodes.begin() + size);
    }
    return edges;
}

float ratioOf(int gain, float cost) { return static_cast<float>(gain) / cost; }

// Uncovered hyperedges holding x.
int uncoveredCount(const Edges& edges, const std::vector<bool>& covered, int x) {
    int c = 0;
    for (std::size_t h = 0; h < edges.size(); ++h)
        if (!covered[h] && std::find(edges[h].begin(), edges[h].end(), x) != edges[h].end()) ++c;
    return c;
}

struct Reference {
    Selection sel;
    bool tied = false;   // sel holds the picks before the first tied best ratio
};

// The greedy spelled out: at every step recount each remaining node's
// uncovered hyperedges and take the best ratio by a linear scan; the budget
// is tested after taking the node. Stops early, flagged, when the best ratio
// is shared, since then only the heap's rules decide. Under Fill a node that
// does not fit is set aside and the scan goes on, a best ratio of 0 ends the
// greedy, and the affordable node holding the most hyperedges (the lowest id
// among equals) replaces the greedy's set when it covers more.
Reference referenceGreedy(const Edges& edges, int n, double k, const std::vector<float>& costs,
                          SelectRule rule = SelectRule::Stop) {
    Reference r;
    r.sel.degree.push_back(0);
    std::vector<bool> covered(edges.size(), false), chosen(static_cast<std::size_t>(n) + 1, false);
    const std::vector<bool> none(edges.size(), false);
    double totalCost = 0;
    int left = n;
    while (totalCost < k && left > 0) {
        int best = -1;
        float bestRatio = 0;
        bool tie = false;
        for (int x = 1; x <= n; ++x) {
            if (chosen[static_cast<std::size_t>(x)]) continue;
            float q = ratioOf(uncoveredCount(edges, covered, x), costs[static_cast<std::size_t>(x - 1)]);
            if (best < 0 || q > bestRatio) {
                best = x;
                bestRatio = q;
                tie = false;
            } else if (q == bestRatio) {
                tie = true;
            }
        }
        if (rule == SelectRule::Fill && bestRatio == 0) break;  // every gain left is 0
        if (tie) {
            r.tied = true;
            return r;
        }
        int g = uncoveredCount(edges, covered, best);
        if (rule == SelectRule::Fill) {
            if (totalCost + static_cast<double>(costs[static_cast<std::size_t>(best - 1)]) > k) {
                chosen[static_cast<std::size_t>(best)] = true;  // set aside, not a seed
                --left;
                continue;
            }
        }
        totalCost += static_cast<double>(costs[static_cast<std::size_t>(best - 1)]);
        if (totalCost > k) break;
        r.sel.seeds.push_back(best);
        r.sel.degree.push_back(r.sel.degree.back() + g);
        r.sel.totalDegree += g;
        for (std::size_t h = 0; h < edges.size(); ++h)
            if (std::find(edges[h].begin(), edges[h].end(), best) != edges[h].end()) covered[h] = true;
        chosen[static_cast<std::size_t>(best)] = true;
        --left;
    }
    if (rule == SelectRule::Fill) {
        int single = 0, singleCover = 0;
        for (int x = 1; x <= n; ++x)
            if (static_cast<double>(costs[static_cast<std::size_t>(x - 1)]) <= k &&
                uncoveredCount(edges, none, x) > singleCover) {
                single = x;
                singleCover = uncoveredCount(edges, none, x);
            }
        if (singleCover > r.sel.totalDegree) r.sel = {{single}, {0, static_cast<double>(singleCover)}, singleCover, {}};
    }
    return r;
}

// Distinct costs from a fine grid, so that equal ratios are rare; the
// reference detects the ones that remain.
std::vector<float> distinctCosts(std::mt19937& rng, int n) {
    std::vector<float> pool;
    for (int i = 0; i < 4 * n; ++i) pool.push_back(0.5f + 0.0371f * static_cast<float>(i));
    std::shuffle(pool.begin(), pool.end(), rng);
    pool.resize(static_cast<std::size_t>(n));
    return pool;
}

TEST(BuildSeedSetCostTest, MatchesReferenceOnRandomStores) {
    std::mt19937 rng(77001);
    int compared[2] = {0, 0}, full[2] = {0, 0}, multiSeed[2] = {0, 0};  // per rule: stop, fill
    for (int n = 2; n <= 24; n += 2) {
        Network net(n);
        for (int round = 0; round < 25; ++round) {
            int m = static_cast<int>(rng() % static_cast<unsigned>(8 * n));
            Edges edges = randomEdges(rng, n, m, 5);
            std::vector<float> costs = distinctCosts(rng, n);
            double sum = 0;
            for (float c : costs) sum += c;
            double k = std::uniform_real_distribution<double>(0.0, 0.6 * sum)(rng);

            auto hg = net.store(edges);
            for (SelectRule rule : {SelectRule::Stop, SelectRule::Fill}) {
                const int r = rule == SelectRule::Fill;
                SCOPED_TRACE(::testing::Message() << "n " << n << " round " << round << (r ? " fill" : " stop"));
                Selection got = select(*hg, n, k, costs, {}, rule);
                Reference want = referenceGreedy(edges, n, k, costs, rule);
                ++compared[r];
                if (want.tied) {
                    // A fill selection may have been replaced by a single node.
                    if (rule == SelectRule::Fill) continue;
                    ASSERT_GE(got.seeds.size(), want.sel.seeds.size());
                    EXPECT_TRUE(std::equal(want.sel.seeds.begin(), want.sel.seeds.end(), got.seeds.begin()));
                    EXPECT_TRUE(std::equal(want.sel.degree.begin(), want.sel.degree.end(), got.degree.begin()));
                    continue;
                }
                ++full[r];
                if (want.sel.seeds.size() >= 3) ++multiSeed[r];
                EXPECT_EQ(got.seeds, want.sel.seeds);
                EXPECT_EQ(got.degree, want.sel.degree);
                EXPECT_EQ(got.totalDegree, want.sel.totalDegree);
            }
        }
    }
    // The comparison is only worth something if most instances ran to the end
    // without a tie and many chose several seeds.
    for (int r : {0, 1}) {
        EXPECT_GE(full[r] * 10, compared[r] * 6) << full[r] << " of " << compared[r];
        EXPECT_GE(multiSeed[r] * 10, compared[r] * 3) << multiSeed[r] << " of " << compared[r];
    }
}

// Small integer costs and gains make equal ratios common. Whatever the heap
// picks among them, each seed must hold the best ratio left at its turn, the
// coverage counts must be those of the chosen prefix, and the selection may
// only end at the budget or when a best-ratio node no longer fits.
TEST(BuildSeedSetCostTest, TiedStoresFollowGreedyRules) {
    std::mt19937 rng(5150);
    std::vector<std::unique_ptr<Network>> nets;
    for (int n = 0; n <= 13; ++n) nets.push_back(n >= 2 ? std::make_unique<Network>(n) : nullptr);
    for (int round = 0; round < 120; ++round) {
        int n = 2 + static_cast<int>(rng() % 12);
        const Network& net = *nets[static_cast<std::size_t>(n)];
        Edges edges = randomEdges(rng, n, static_cast<int>(rng() % static_cast<unsigned>(4 * n)), 3);
        std::vector<float> costs(static_cast<std::size_t>(n));
        for (float& c : costs) c = static_cast<float>(1 + rng() % 3);
        double k = static_cast<double>(rng() % static_cast<unsigned>(2 * n + 1));

        auto hg = net.store(edges);
        Selection got = select(*hg, n, k, costs);

        std::vector<bool> covered(edges.size(), false), chosen(static_cast<std::size_t>(n) + 1, false);
        double spent = 0;
        long long cover = 0;
        auto bestLeft = [&] {
            float best = -1;
            for (int x = 1; x <= n; ++x)
                if (!chosen[static_cast<std::size_t>(x)])
                    best = std::max(best, ratioOf(uncoveredCount(edges, covered, x), costs[static_cast<std::size_t>(x - 1)]));
            return best;
        };
        for (std::size_t i = 0; i < got.seeds.size(); ++i) {
            int s = got.seeds[i];
            ASSERT_FALSE(chosen[static_cast<std::size_t>(s)]) << "node " << s << " chosen twice";
            int g = uncoveredCount(edges, covered, s);
            EXPECT_EQ(ratioOf(g, costs[static_cast<std::size_t>(s - 1)]), bestLeft()) << "round " << round << " seed " << i;
            cover += g;
            EXPECT_EQ(got.degree[i + 1], static_cast<double>(cover));
            spent += static_cast<double>(costs[static_cast<std::size_t>(s - 1)]);
            for (std::size_t h = 0; h < edges.size(); ++h)
                if (std::find(edges[h].begin(), edges[h].end(), s) != edges[h].end()) covered[h] = true;
            chosen[static_cast<std::size_t>(s)] = true;
        }
        EXPECT_EQ(got.totalDegree, cover);
        EXPECT_LE(spent, k);
        if (static_cast<int>(got.seeds.size()) < n && spent < k) {
            float best = bestLeft();
            bool blocked = false;
            for (int x = 1; x <= n; ++x)
                if (!chosen[static_cast<std::size_t>(x)] &&
                    ratioOf(uncoveredCount(edges, covered, x), costs[static_cast<std::size_t>(x - 1)]) == best &&
                    spent + static_cast<double>(costs[static_cast<std::size_t>(x - 1)]) > k)
                    blocked = true;
            EXPECT_TRUE(blocked) << "round " << round << " stopped with budget left";
        }
    }
}

}  // namespace

namespace {

// Hyperedges holding at least one node of `set`.
long long coverageOf(const Edges& edges, const std::vector<int>& set) {
    long long c = 0;
    for (const auto& e : edges)
        if (std::any_of(e.begin(), e.end(), [&](int u) { return std::find(set.begin(), set.end(), u) != set.end(); }))
            ++c;
    return c;
}

// Small integer costs make ties and exact fits common. Whatever the heap picks
// among equal ratios, a fill selection stays within the budget, takes no
// node that adds nothing, leaves no affordable node that would add coverage
// (unless replaced by the best single node), covers at least what any single
// affordable node covers, and at least (1 - 1/e)/2 of the best budget-feasible
// coverage, found by enumerating every set; the stop rule also stays within
// the budget.
TEST(BuildSeedSetCostTest, FillAgainstEveryFeasibleSet) {
    std::mt19937 rng(90210);
    const double guarantee = (1 - std::exp(-1.0)) / 2;
    int replaced = 0, gained = 0;
    for (int round = 0; round < 150; ++round) {
        const int n = 2 + static_cast<int>(rng() % 9);
        Network net(n);
        Edges edges = randomEdges(rng, n, static_cast<int>(rng() % static_cast<unsigned>(5 * n)), 3);
        std::vector<float> costs(static_cast<std::size_t>(n));
        for (float& c : costs) c = static_cast<float>(1 + rng() % 5);
        const double k = static_cast<double>(1 + rng() % static_cast<unsigned>(2 * n));
        // Every other store has a dear hub, node n, costing half the budget
        // or more and holding many hyperedges of its own: the case where
        // the best single node beats the greedy.
        if (round % 2 == 1) {
            costs[static_cast<std::size_t>(n - 1)] = static_cast<float>(k - std::floor(k / 2 * (rng() % 2)));
            for (int e = static_cast<int>(rng() % static_cast<unsigned>(3 * n)); e > 0; --e) edges.push_back({n});
        }
        SCOPED_TRACE(::testing::Message() << "round " << round << " n " << n << " k " << k);
        auto hg = net.store(edges);

        auto costOf = [&](const std::vector<int>& set) {
            double c = 0;
            for (int x : set) c += static_cast<double>(costs[static_cast<std::size_t>(x - 1)]);
            return c;
        };
        const Selection stop = select(*hg, n, k, costs);
        EXPECT_LE(costOf(stop.seeds), k);
        EXPECT_EQ(stop.summary.costSpent, costOf(stop.seeds));

        const Selection got = fill(*hg, n, k, costs);
        const double spent = costOf(got.seeds);
        EXPECT_LE(spent, k);
        EXPECT_EQ(got.summary.costSpent, spent);
        EXPECT_EQ(got.totalDegree, coverageOf(edges, got.seeds));
        std::vector<int> prefix;
        for (std::size_t i = 0; i < got.seeds.size(); ++i) {
            ASSERT_EQ(std::count(got.seeds.begin(), got.seeds.end(), got.seeds[i]), 1);
            const long long before = coverageOf(edges, prefix);
            prefix.push_back(got.seeds[i]);
            EXPECT_GT(coverageOf(edges, prefix), before) << "seed " << got.seeds[i] << " adds nothing";
            EXPECT_EQ(got.degree[i + 1], static_cast<double>(coverageOf(edges, prefix)));
        }

        long long bestSingle = 0, best = 0;
        for (int x = 1; x <= n; ++x)
            if (static_cast<double>(costs[static_cast<std::size_t>(x - 1)]) <= k)
                bestSingle = std::max(bestSingle, coverageOf(edges, {x}));
        for (unsigned mask = 1; mask < (1u << n); ++mask) {
            std::vector<int> set;
            for (int x = 1; x <= n; ++x)
                if (mask & (1u << (x - 1))) set.push_back(x);
            if (costOf(set) <= k) best = std::max(best, coverageOf(edges, set));
        }
        EXPECT_GE(got.totalDegree, bestSingle);
        EXPECT_GE(static_cast<double>(got.totalDegree), guarantee * static_cast<double>(best)) << "optimum " << best;

        // The best single node replaced the greedy's set when the greedy
        // would have begun with another: one of a better ratio that fits.
        if (got.seeds.size() == 1) {
            const int s = got.seeds[0];
            auto ratio = [&](int x) {
                return ratioOf(static_cast<int>(coverageOf(edges, {x})), costs[static_cast<std::size_t>(x - 1)]);
            };
            for (int x = 1; x <= n; ++x)
                if (static_cast<double>(costs[static_cast<std::size_t>(x - 1)]) <= k && ratio(x) > ratio(s)) {
                    ++replaced;
                    EXPECT_EQ(got.totalDegree, bestSingle);
                    break;
                }
        }
        // Maximal unless the best single node replaced the greedy's set.
        bool maximal = true;
        for (int x = 1; x <= n; ++x) {
            if (std::find(got.seeds.begin(), got.seeds.end(), x) != got.seeds.end()) continue;
            std::vector<int> more = got.seeds;
            more.push_back(x);
            if (spent + static_cast<double>(costs[static_cast<std::size_t>(x - 1)]) <= k &&
                coverageOf(edges, more) > got.totalDegree)
                maximal = false;
        }
        if (!maximal) {
            EXPECT_EQ(got.seeds.size(), 1u);
            EXPECT_EQ(got.totalDegree, bestSingle);
        }
        if (coverageOf(edges, got.seeds) > coverageOf(edges, stop.seeds)) ++gained;
    }
    // Both ways of ending occur often enough for the checks to mean something.
    EXPECT_GE(replaced, 3);
    EXPECT_GE(gained, 15);
}

}  // namespace

// The selection against the plain one over all n nodes (tests/support): the
// heap is built from the nodes the store holds only, and the others wait in
// the slots the build leaves them, to come out once every gain left is 0 in
// the order the heap over all n gives them. So the picks must agree past the
// last positive gain, and the -t count must not matter; nor whether the
// tables are fresh or kept from the selections on the store before it grew.
namespace {

struct DrawnStore {
    const char* drawing;
    int n;
    Edges edges;
    std::vector<float> costs;  // empty: every cost 1
    double k;
    std::vector<int> want;  // Stop's seeds, worked out by hand; empty: the reference alone
};

// kept: tables of earlier selections on this store, with these costs; null
// for fresh ones.
void expectAsReference(const HyperGraph& hg, int n, double k, const std::vector<float>& costs, SelectRule rule,
                       int threads, SelectionTables* kept = nullptr) {
    std::vector<int> seeds;
    std::vector<double> degree(static_cast<std::size_t>(n) + 1, kUntouched);
    long long total = -1;
    if (kept != nullptr)
        buildSeedSetCost(hg, *kept, seeds, k, degree, total, rule, threads);
    else
        buildSeedSetCost(hg, seeds, static_cast<unsigned>(n), k, costs, degree, total, rule, threads);
    const ReferenceCover want = referenceSeedSetCost(hg, n, k, costs, rule);
    ASSERT_EQ(seeds, want.seeds) << (rule == SelectRule::Fill ? "fill" : "stop") << ", k " << k << ", -t " << threads;
    degree.resize(want.degree.size());
    EXPECT_EQ(degree, want.degree);
    EXPECT_EQ(total, want.totalDegree);
}

const std::vector<DrawnStore> kDrawnStores = {
    {R"(nodes 1..5, h0 = {2}, h1 = {2, 4}; keys by slot after the build, node(gain):
            2(2)
           /    \
         4(1)   3(0)
         /  \
       1(0) 5(0)
     pop 2: node 5 to the root, 4 rises over it; h1 covered, 4 falls to 0 in place
     -> slots [4 5 3 1]; from here every key is 0, so each pop takes the root
     and the last slot replaces it: 4, then 1, 3, 5.)",
     5, {{2}, {2, 4}}, {}, 5.0, {2, 4, 1, 3, 5}},
    {"the same store, the budget ending inside the zero gains", 5, {{2}, {2, 4}}, {}, 3.0, {2, 4, 1}},
    {R"(nodes 1..12, only 9 and 12 in the store, deep in the heap:
     h0 = {9}, h1 = {9, 12}, h2 = {12}: equal gains, 9 rises first in the build)",
     12, {{9}, {9, 12}, {12}}, {}, 12.0, {}},
    {"nodes 1..10, mixed costs, ties at ratio 1", 10, {{3, 7}, {7}, {3}, {10}, {10, 1}},
     {1, 2, 1, 2, 1, 2, 1, 2, 1, 2}, 14.0, {}},
    {"nodes 1..7, no node outside the store", 7, {{1, 2}, {3, 4}, {5, 6}, {7}, {2, 3}}, {}, 7.0, {}},
};

TEST(StoreSizedSelection, DrawnStoresAsOverAllNodes) {
    for (const DrawnStore& d : kDrawnStores) {
        SCOPED_TRACE(d.drawing);
        Network net(d.n);
        auto hg = net.store(d.edges);
        const std::vector<float> costs = d.costs.empty() ? std::vector<float>(static_cast<std::size_t>(d.n), 1.0f) : d.costs;
        if (!d.want.empty()) {
            EXPECT_EQ(select(*hg, d.n, d.k, costs).seeds, d.want);
        }
        for (SelectRule rule : {SelectRule::Stop, SelectRule::Fill}) expectAsReference(*hg, d.n, d.k, costs, rule, 1);
    }
}

// Random stores over a few of many nodes, small integer costs (many equal
// ratios), budgets reaching past the positive gains; one and two threads.
// Each store grows in three steps, selected on after each on fresh tables
// and on one set per thread count kept across steps, rules and budgets.
TEST(StoreSizedSelection, SparseRandomStoresAsOverAllNodes) {
    std::mt19937 rng(4242);
    for (int n : {40, 300, 20000}) {
        Network net(n);
        for (int round = 0; round < (n > 1000 ? 3 : 12); ++round) {
            const int present = 1 + static_cast<int>(rng() % static_cast<unsigned>(std::min(n, 60)));
            std::vector<int> pool(static_cast<std::size_t>(n));
            for (int i = 0; i < n; ++i) pool[static_cast<std::size_t>(i)] = i + 1;
            std::shuffle(pool.begin(), pool.end(), rng);
            Edges edges;
            for (int e = 0, m = static_cast<int>(rng() % 80); e < m; ++e) {
                std::vector<int> h;
                for (int j = 0, size = 1 + static_cast<int>(rng() % 4); j < size; ++j) {
                    const int u = pool[rng() % static_cast<unsigned>(present)];
                    if (std::find(h.begin(), h.end(), u) == h.end()) h.push_back(u);
                }
                edges.push_back(h);
            }
            std::vector<float> costs(static_cast<std::size_t>(n));
            for (float& c : costs) c = static_cast<float>(1 + rng() % 3);
            auto hg = net.store({});
            SelectionTables kept[2] = {{n, costs.data()}, {n, costs.data()}};
            for (std::size_t step = 0; step < 3; ++step) {
                for (std::size_t e = edges.size() * step / 3; e < edges.size() * (step + 1) / 3; ++e) hg->addEdge(edges[e]);
                const double k = static_cast<double>(1 + rng() % static_cast<unsigned>(2 * present + 20));
                for (SelectRule rule : {SelectRule::Stop, SelectRule::Fill})
                    for (int threads : {1, 2}) {
                        expectAsReference(*hg, n, k, costs, rule, threads);
                        expectAsReference(*hg, n, k, costs, rule, threads, &kept[threads - 1]);
                    }
            }
        }
    }
}

// Picks whose covered hyperedges hold more nodes than a stretch of
// lowerings (kSelectionLoweredStretch), so that the lowerings of one pick
// are gathered and sifted in several stretches, on one thread or beside each
// other. Nodes 1 to 3 cost 1; hyperedges in store order:
//   6 of {3, two others}, one of {3} + 4,200 others, one of {2} + 5,000,
//   24 of {1} + 500 others (10 of them also hold 3), 400 small ones.
// Node 1 goes first (gain 24) and 3 second (7 left): its small hyperedges
// and the 4,200 fill a stretch, and the ten left are covered, so its last
// stretch is empty.
TEST(StoreSizedSelection, PicksOfManyStretchesOnOneThreadAndMore) {
    constexpr int n = 9000;
    std::mt19937 rng(2026);
    std::vector<int> pool(n - 3);
    std::iota(pool.begin(), pool.end(), 4);
    auto others = [&](std::vector<int> h, int count) {
        std::shuffle(pool.begin(), pool.end(), rng);
        h.insert(h.end(), pool.begin(), pool.begin() + count);
        return h;
    };
    Edges edges;
    for (int i = 0; i < 6; ++i) edges.push_back(others({3}, 2));
    edges.push_back(others({3}, 4200));
    edges.push_back(others({2}, 5000));
    for (int i = 0; i < 24; ++i) edges.push_back(i < 10 ? others({1, 3}, 500) : others({1}, 500));
    for (int i = 0; i < 400; ++i) edges.push_back(others({4 + static_cast<int>(rng() % (n - 3))}, static_cast<int>(rng() % 4)));
    Network net(n);
    auto hg = net.store(edges);
    std::vector<float> unit(static_cast<std::size_t>(n), 1.0f), small(static_cast<std::size_t>(n), 1.0f);
    for (std::size_t x = 3; x < small.size(); ++x) small[x] = static_cast<float>(1 + rng() % 3);
    for (const std::vector<float>* costs : {&unit, &small})
        for (double k : {3.0, 60.0})
            for (SelectRule rule : {SelectRule::Stop, SelectRule::Fill})
                for (int threads : {1, 2, 3}) expectAsReference(*hg, n, k, *costs, rule, threads);
}

}  // namespace

namespace {

namespace fs = std::filesystem;

// A real network (email-Eu-core from ../shared/data, IC) over the doubling
// iterations of a run: after each batch the selection over the grown store
// picks as over all n nodes, with budgets that end among positive gains and
// ones that reach the nodes of gain 0 (every node at the cost floor: all of
// them), on tables kept across the iterations as a run keeps them (one set
// per cost table). Skipped with a message when the shared data is absent.
TEST(StoreSizedSelection, RealNetworkAcrossIterations) {
    const fs::path file = fs::path(SHARED_DIR) / "data" / "email-Eu-core.txt.gz";
    if (!fs::exists(file)) GTEST_SKIP() << "no shared data at " << file;
    testnet::TempDir dir;
    netpack::PackConfig cfg;
    cfg.input = file.string();
    cfg.networkOut = dir.path("eu.bin");
    cfg.benefitOut = dir.path("eu.ben");
    cfg.costOut = dir.path("eu.cost");
    const int n = static_cast<int>(netpack::pack(cfg).n);
    Graph g(BenefitLayout::Dense);
    g.readGraphIC(dir.path("eu.bin").c_str(), dir.path("eu.ben").c_str());
    std::mt19937 rng(99);
    std::vector<float> small(static_cast<std::size_t>(n));
    for (float& c : small) c = static_cast<float>(1 + rng() % 3);
    const std::vector<float> unit(static_cast<std::size_t>(n), 1.0f), floor(static_cast<std::size_t>(n), kMinCost);
    struct Budget {
        const std::vector<float>* costs;
        double k;
    };
    const std::vector<Budget> budgets = {{&unit, 20}, {&unit, static_cast<double>(n)}, {&small, 40}, {&small, 2.0 * n}, {&floor, 50}};
    SelectionTables unitTables(n, unit.data()), smallTables(n, small.data()), floorTables(n, floor.data());
    auto tablesOf = [&](const std::vector<float>* c) {
        return c == &unit ? &unitTables : c == &small ? &smallTables : &floorTables;
    };
    std::srand(7);
    HyperGraph hg(static_cast<unsigned>(n), g);
    long long batch = 40;
    for (int iteration = 1; iteration <= 5; ++iteration, batch *= 2) {
        addHyperedge(g, hg, 2, batch);
        SCOPED_TRACE(::testing::Message() << "iteration " << iteration << ", " << hg.getNumEdge() << " hyperedges");
        for (const Budget& b : budgets)
            for (SelectRule rule : {SelectRule::Stop, SelectRule::Fill})
                expectAsReference(hg, n, b.k, *b.costs, rule, 2, tablesOf(b.costs));
    }
}

}  // namespace

// The gains read on several threads: the same gains and the same ascending
// list as on one, nodes of no hyperedge left at 0, on tables kept while the
// store grows in three steps with a selection lowering gains in between.
TEST(StoreSizedSelection, StoredGainsOnOneThreadAndMore) {
    const int n = 5000;
    Network net(n);
    std::mt19937 rng(8);
    const Edges edges = randomEdges(rng, n, 300, 6);
    auto hg = net.store({});
    const std::vector<float> costs(static_cast<std::size_t>(n), 1.0f);
    std::vector<std::unique_ptr<SelectionTables>> tables;
    for (int threads = 1; threads <= 3; ++threads) tables.push_back(std::make_unique<SelectionTables>(n, costs.data()));
    std::vector<int> want(static_cast<std::size_t>(n), 0);
    for (std::size_t step = 0; step < 3; ++step) {
        for (std::size_t e = 100 * step; e < 100 * (step + 1); ++e) {
            hg->addEdge(edges[e]);
            for (int u : edges[e]) ++want[static_cast<std::size_t>(u - 1)];
        }
        std::vector<int> wantList;
        for (int x = 0; x < n; ++x)
            if (want[static_cast<std::size_t>(x)] > 0) wantList.push_back(x);
        for (int threads = 1; threads <= 3; ++threads) {
            SelectionTables& t = *tables[static_cast<std::size_t>(threads) - 1];
            EXPECT_EQ(t.storedGains(*hg, threads), wantList) << threads << " threads, step " << step;
            EXPECT_EQ(std::vector<int>(t.gains(), t.gains() + n), want) << threads << " threads, step " << step;
            std::vector<int> seeds;
            std::vector<double> degree(static_cast<std::size_t>(n) + 1);
            long long total = 0;
            buildSeedSetCost(*hg, t, seeds, 40, degree, total, SelectRule::Stop, threads);
        }
    }
}
