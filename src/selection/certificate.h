// How good a seed set is, proved rather than promised: a lower bound of its
// benefit against an upper bound of the best benefit any seed set within the
// budget can reach, both holding together with probability at least
// 1 - delta. Their quotient, the certified ratio, says the seeds reach at
// least that share of the best possible. Nothing here depends on how the
// seeds were chosen.
//
// The upper bound on a store. Let cov(S) be the stored hyperedges a set S
// covers, g_v(S) = cov(S + v) - cov(S) the marginal gain of node v and O any
// set of cost at most k. Coverage is monotone and submodular, so for every
// set S: cov(O) <= cov(S u O) <= cov(S) + sum over v in O of g_v(S), and the
// sum is at most the fractional knapsack maximum F(S) of the gains with the
// nodes' costs and capacity k (a node dearer than k alone is in no such O
// and is left out). So U = min over the seeds' prefixes S_0 = {}, S_1, ...
// of cov(S_j) + F(S_j) bounds the coverage of every budget-feasible set;
// any prefixes, in any order of the seeds, keep it sound.
//
// The confidence bounds. A reverse sample reaches a set S with probability
// p(S), and S's benefit is W p(S) for the positive benefit mass W the roots
// are drawn from. For theta independent samples the hits X of a fixed set
// have mean mu = theta p(S), and the tail bounds of a sum of independent
// 0-1 variables give
//     P[X >= mu + l] <= exp(-l^2 / (2 mu + 2 l / 3)),  P[X <= mu - l] <= exp(-l^2 / (2 mu)).
// Lower bound: with a = ln(1 / delta'), the first with l chosen so that the
// exponent is a, i.e. l^2 = a (2 mu + 2 l / 3), says X < mu + l(mu) but
// with probability delta'; mu + l(mu) grows with mu, so then mu exceeds the
// root of X = mu + l(mu), which is
//     mu >= X + 2a/3 - sqrt(2aX + 4a^2/9) = (sqrt(X + 2a/9) - sqrt(a/2))^2 - a/18.
// The seeds are chosen from the selection's store alone, so on a validation
// set drawn apart from it they are a fixed set. Upper bound: for the best
// set O itself (fixed, unknown), l = sqrt(2 a mu) in the second says
// X_O > mu - sqrt(2 a mu) but with probability delta', and U >= X_O on the
// store, so sqrt(mu) < sqrt(a/2) + sqrt(U + a/2):
//     mu < (sqrt(U + a/2) + sqrt(a/2))^2.
// Each iteration of the doubling schedule tests both at a fixed sample
// count; delta is split over the two bounds of every iteration that can
// happen, delta' = delta / (2 i_max), so all hold at once with probability
// at least 1 - delta, the iteration at which the run stops included.
#pragma once

#include <limits>
#include <span>
#include <vector>

#include "sampling/hyperGraph.h"

namespace lattis {

// One node as the knapsack sees it: its gain, its cost and their quotient.
struct KnapsackItem {
    double gain = 0;
    double cost = 0;
    double ratio = 0;  // gain / cost
};

// The most gain items of total cost at most capacity can hold when any item
// may be taken in part: items by falling ratio, the last one cut to fit.
// Every cost must be positive; items are reordered. Expected time linear in
// the item count (selection by partition rather than a sort). With cutRatio,
// the ratio of the item cut to fit goes there (0 when every item fits).
double fractionalKnapsack(std::span<KnapsackItem> items, double capacity, double* cutRatio = nullptr);

// U of the header comment, built prefix by prefix. The prefixes' newly
// covered hyperedges come as the streams of CoverageShard
// (distributedSelection.h), so that a store split over processes gives the
// same bound as one store.
//
// A knapsack over the candidates costs time linear in their count, and a
// budget of many cheap nodes has a prefix per seed: so the knapsack runs at
// every g-th prefix only (g about the square root of the seed count) as the
// seeds join, and value() then walks back through the prefixes in between.
// Gains only fall, so F(S_j) >= F(S_j2) for the next such prefix j2 > j and
// cov(S_j) + F(S_j) >= cov(S_j) + F(S_j2): a prefix where that already
// reaches the least value found cannot lower it and is skipped. The value is
// the least over every prefix all the same.
class CoverageBound {
public:
    // gains: every node's hyperedge count (entry x - 1 for node x), the
    // gains of the empty prefix; costs[x - 1] the cost of node x; k the
    // budget; prefixes the seed count to come.
    CoverageBound(std::vector<int> gains, const std::vector<float>& costs, double k, std::size_t prefixes);

    // `pick` joins the prefix; streams hold the hyperedges it newly covers.
    void add(int pick, std::span<const std::span<const int>> streams);

    // The least cov(S_j) + F(S_j) over the prefixes so far; the bound
    // leaves gains as they were before the first pick.
    double value();

private:
    // F on the gains as they stand, with the cut ratio kept for the next
    // call; with compact, nodes whose gain is 0 leave the candidates.
    double knapsack(bool compact);
    void evaluate();

    std::vector<int> gain;
    const std::vector<float>& costs;
    double k;
    std::size_t every;             // g: the knapsack runs at prefixes 0, g, 2g, ... as seeds join
    long long covered = 0;
    double best = std::numeric_limits<double>::infinity();
    std::vector<int> candidates;   // node indices whose gain may be positive and that fit k alone
    std::vector<int> fitting;      // every one of them, for the walk back
    double cut = 0;                // the last knapsack's cut ratio
    std::vector<KnapsackItem> items, rest;
    // Per pick: the node, its gain before it joined and the end of its
    // hyperedges' members in `members` (gain decrements to undo).
    struct Pick {
        int node, gainBefore;
        std::size_t membersEnd;
        long long coveredAfter;
    };
    std::vector<Pick> picks;
    std::vector<int> members;
    std::vector<double> knapsackAt;  // F at prefixes 0, g, 2g, ...
    bool walked = false;
};

// U over every prefix of `seeds` (in their order) on one process's store.
double coverageUpperBound(const HyperGraph& hg, const std::vector<int>& seeds, unsigned n, double k,
                          const std::vector<float>& costs);

// a = ln(2 iterations / delta): each of the two bounds of each iteration fails
// with probability at most exp(-a).
double certificateExponent(double delta, int iterations);

// The lower confidence bound of the mean hits from `hits` hits (never below
// 0 nor above hits).
double hitsLowerBound(double hits, double a);

// The upper confidence bound of the best set's mean coverage from U.
double coverageUpperConfidence(double bound, double a);

}  // namespace lattis
