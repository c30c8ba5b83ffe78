// The cost-aware greedy cover of the stored hyperedges: nodes by uncovered
// hyperedges per unit of cost, within a budget.
#pragma once

#include <vector>

#include "sampling/hyperGraph.h"
#include "selection/budgetGreedy.h"

namespace lattis {

// Writes the gains that are positive (gain[x - 1] = the number of hyperedges
// holding node x, from the index) into `gain`, n entries all 0 on entry, and
// returns their entries x - 1, ascending. Each of `threads` threads
// scans one contiguous range of nodes and the ranges' lists are joined in
// order, so nothing depends on the thread count.
std::vector<int> positiveGains(const HyperGraph& hg, int nodes, int* gain, int threads);

// Greedy selection by uncovered hyperedges per unit of cost within budget k,
// under the budget rule `rule` (budgetGreedy.h). costs[x - 1] is the cost of
// node x. Appends the chosen nodes to seeds; degree[i] = hyperedges covered by
// the first i seeds; totalDegree = all covered. Returns what was taken and left.
// The gains are read from the index on `threads` threads from
// kParallelGainsFrom nodes on; the seeds do not depend on that count.
SelectionSummary buildSeedSetCost(const HyperGraph& hg, std::vector<int>& seeds, unsigned n, double k,
                                  const std::vector<float>& costs, std::vector<double>& degree,
                                  long long& totalDegree, SelectRule rule = SelectRule::Stop, int threads = 1);

}  // namespace lattis
