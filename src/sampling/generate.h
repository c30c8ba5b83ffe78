// Parallel generation of a batch of hyperedges into the store, on a team
// of threads, in blocks whose streams fix the result whatever the team size.
#pragma once

#include <cstdint>
#include <vector>

#include "mpi/blockShare.h"
#include "sampling/hyperGraph.h"

namespace lattis {

class FastSampler;

// Adds at least num new hyperedges (whole blocks of 10000) on a team of t
// threads, sampling under the model g was loaded for, then indexes them.
// Each block has its own stream, and blocks join the store in block order,
// so the stored hyperedges do not depend on t. Returns the store's total
// count. Throws std::runtime_error, before sampling, when the batch would
// take the store past 2147483647 hyperedges.
// With `fast` (built for g), the fast samplers draw instead of the classic
// ones; the hyperedges depend on the sampler and the store's seed, never on
// t. For one process of a run split over several, `share` names the blocks
// it owns: the batch's blocks are numbered and keyed as above, but only
// those are sampled and stored (blockShare.h).
long long addHyperedge(const Graph& g, HyperGraph& hg, int t, long long num, const FastSampler* fast = nullptr,
                       const BlockShare& share = BlockShare{});

}  // namespace lattis
