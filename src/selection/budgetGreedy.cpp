// The budget rule of the greedy cover; see budgetGreedy.h. Under Stop the
// running cost, the budget test and the degree table are those the program
// has always used, so that its seeds do not change.
#include "selection/budgetGreedy.h"

#include <utility>

namespace lattis {

BudgetGreedy::BudgetGreedy(SelectionTables& tables, double k, SelectRule rule, std::vector<double>& degree,
                           long long& totalDegree)
    : n(tables.nodes()), cost(tables.costs()), k(k), rule(rule), gain(tables.gains()), heap(tables.heap()),
      degree(degree), totalDegree(totalDegree) {
    if (degree.empty()) degree.resize(1);
    degree[0] = 0;
    totalDegree = 0;
}

void BudgetGreedy::start(std::vector<int> positive, int threads) {
    listed = std::move(positive);
    // The heap starts from the indices 0 .. n - 1 in order; the gains not
    // listed are 0, and so are their ratios, every cost being positive.
    heap.build(n, listed, threads);
    if (rule != SelectRule::Fill) return;
    // Ascending, as over all n: a gain not listed is 0 and never the best.
    for (int x : listed)
        if (static_cast<double>(cost[x]) <= k && gain[x] > bestSingleCoverage) {
            bestSingle = x + 1;
            bestSingleCoverage = gain[x];
        }
}

void BudgetGreedy::take(int node) {
    const int g = gain[node - 1];
    const std::size_t i = ++result.seedCount;
    if (degree.size() <= i) degree.resize(i + 1);
    degree[i] = degree[i - 1] + g;
    totalDegree += g;
    gain[node - 1] = 0;
}

int BudgetGreedy::next() {
    // With the budget spent no node fits: every cost is positive.
    if (ended || !(result.costSpent < k)) return 0;
    while (!heap.empty()) {
        const int x = heap.pop();
        if (rule == SelectRule::Fill && gain[x] <= 0) {
            // The best ratio is 0, so every gain left is 0 (a positive gain
            // over a positive cost is a positive ratio).
            ended = true;
            return 0;
        }
        const double total = result.costSpent + static_cast<double>(cost[x]);
        if (total > k) {
            if (rule == SelectRule::Stop) {
                ended = true;
                return 0;
            }
            continue;  // Fill: dropped for good, since the budget left only shrinks
        }
        result.costSpent = total;
        take(x + 1);
        return x + 1;
    }
    return 0;
}

int BudgetGreedy::finish() {
    if (rule == SelectRule::Stop) {
        // Only a listed gain can be positive.
        for (std::size_t i = 0; i < listed.size() && !result.unspentUsable; ++i) {
            const int x = listed[i];
            result.unspentUsable =
                gain[x] > 0 && !(result.costSpent + static_cast<double>(cost[x]) > k);
        }
        return 0;
    }
    if (bestSingle == 0 || bestSingleCoverage <= totalDegree) return 0;
    if (degree.size() < 2) degree.resize(2);
    degree[1] = static_cast<double>(bestSingleCoverage);
    totalDegree = bestSingleCoverage;
    result.seedCount = 1;
    result.costSpent = static_cast<double>(cost[bestSingle - 1]);
    return bestSingle;
}

}  // namespace lattis
