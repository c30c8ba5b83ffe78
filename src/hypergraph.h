// The two algorithms over the hyperedge store: parallel generation of a batch
// of hyperedges, and the cost-aware greedy cover of the stored hyperedges.
#pragma once

#include <cstdint>
#include <vector>

#include "blockShare.h"
#include "lattis.h"

class FastSampler;

// Adds at least num new hyperedges (whole blocks of 10000) on a team of t
// threads, IC sampling when lt is true and LT sampling otherwise, then indexes
// them. Each block has its own stream, and blocks join the store in block
// order, so the stored hyperedges do not depend on t. Returns the store's
// total count. Throws std::runtime_error, before sampling, when the batch
// would take the store past 2147483647 hyperedges.
long long addHyperedge(const Graph& g, HyperGraph& hg, int t, long long num, bool lt);
// The same with the fast samplers of `fast` (built for g's model), or the
// ones above when fast is null. The hyperedges depend on the sampler and the
// store's seed, never on t. For one process of a run split over several,
// `share` names the blocks it owns: the batch's blocks are numbered and keyed
// as above, but only those are sampled and stored (blockShare.h).
long long addHyperedge(const Graph& g, HyperGraph& hg, int t, long long num, bool lt, const FastSampler* fast,
                       const BlockShare& share = BlockShare{});

// Greedy selection by uncovered hyperedges per unit of cost within budget k.
// costs[x - 1] is the cost of node x. Appends the chosen nodes to seeds;
// degree[i] = hyperedges covered by the first i seeds; totalDegree = all covered.
void buildSeedSetCost(const HyperGraph& hg, std::vector<int>& seeds, unsigned n, double k,
                      const std::vector<float>& costs, std::vector<double>& degree, long long& totalDegree);
