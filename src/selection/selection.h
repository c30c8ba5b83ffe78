// The cost-aware greedy cover of the stored hyperedges: nodes by uncovered
// hyperedges per unit of cost, within a budget.
#pragma once

#include <vector>

#include "sampling/hyperGraph.h"
#include "selection/budgetGreedy.h"

namespace lattis {

// Greedy selection by uncovered hyperedges per unit of cost within budget k,
// under the budget rule `rule` (budgetGreedy.h). costs[x - 1] is the cost of
// node x. Appends the chosen nodes to seeds; degree[i] = hyperedges covered by
// the first i seeds; totalDegree = all covered. Returns what was taken and left.
// The nodes the store holds are listed and their gains read from the index
// on `threads` threads from kParallelGainsFrom nodes on; the seeds do not
// depend on that count.
SelectionSummary buildSeedSetCost(const HyperGraph& hg, std::vector<int>& seeds, unsigned n, double k,
                                  const std::vector<float>& costs, std::vector<double>& degree,
                                  long long& totalDegree, SelectRule rule = SelectRule::Stop, int threads = 1);

// The same selection on tables the selections of one run share
// (selectionTables.h), which hold the nodes and costs: past the first
// selection, its work follows the store and the last selection's, not n.
SelectionSummary buildSeedSetCost(const HyperGraph& hg, SelectionTables& tables, std::vector<int>& seeds, double k,
                                  std::vector<double>& degree, long long& totalDegree, SelectRule rule, int threads);

}  // namespace lattis
