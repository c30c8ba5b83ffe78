// Forward Monte Carlo simulation of the diffusion from a seed set: an
// estimate independent of the reverse samplers, to check them against.
//
// Each run follows the model forwards from the seeds. IC: every arc u -> v
// is tried once, when u becomes active, and is live when one draw lies below
// its threshold (as the reverse search tests it). LT: every node keeps at
// most one live in-arc, drawn by its cumulative thresholds the first time an
// in-neighbour becomes active (HyperGraph::randIndex_bin, as the reverse
// walk draws it), and becomes active when that arc's source is active; this
// is the live-edge form of the threshold model. A run's value is the
// benefit of the nodes it activates (seeds included).
//
// Run r draws from a stream of its own (the seed and run r), and the runs'
// values are summed in run order, so the result depends on the seed alone,
// never on the thread count. Assumes a Graph with its thresholds (not
// released) loaded for the model simulated, and seeds in 1..n.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "graph/graph.h"

namespace lattis {

struct SimulationResult {
    long long runs = 0;
    double mean = 0;            // benefit reached, averaged over the runs
    double standardError = 0;   // sample standard deviation / sqrt(runs)
};

// `runs` >= 1 runs on `threads` >= 1 threads; benefit[v] is node v's
// benefit (n + 1 entries, entry 0 unused). The runs go in chunks of
// kSimulationRunsPerThread per thread; `between`, when set, is called after
// each chunk on the calling thread, outside the parallel region, and may
// throw to end the run.
SimulationResult simulateForward(const Graph& g, const std::vector<int>& seeds, const std::vector<double>& benefit,
                                 long long runs, std::uint32_t seed, int threads,
                                 const std::function<void()>& between = {});

}  // namespace lattis
