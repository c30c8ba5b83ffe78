// What every benefit estimate of a given seed set shares (the estimator
// itself is blockEstimate.h): the stopping bound, the scaled estimate, the
// generator key of a check and the test whether any sample can be a hit.
//
// Roots are drawn in proportion to their positive benefit; a sample is a hit
// when its reverse walk or search reaches a seed. Sampling runs until the
// hits reach a bound computed from epsilon and delta, and the estimate is
// the positive benefit mass times hits over samples.
//
// Assumes a Graph loaded with the compact benefit layout for the model that
// is sampled, and seed ids in 1..n (io/seedFile.h checks them at the boundary).
#pragma once

#include <vector>

#include "graph/graph.h"
#include "sampling/hyperGraph.h"

namespace lattis {

class FastSampler;

// The stopping bound on hits, 1 + (2 + 2e/3)(1 + e) ln(2/d) / e^2, with every
// step rounded to single precision: 1205.484 for e = 0.1, d = 0.01.
float stoppingBound(float epsilon, float delta);

// The benefit mass times hits / samples, as benefit * hits / samples while
// that product is finite and as benefit * (hits / samples) when it is not
// (a benefit near the largest double): never "inf" from finite inputs.
double scaledEstimate(double benefit, long long hits, long long samples);

// Keys the store's generator for an estimate that checks a selection made
// with the same seed (ostrand -seed S on marlet -seed S's seeds): the seed
// and a tag of the check's own through SFMT's array initialisation, which
// the selection's generator (srand(S), rand(), sfmt_init_gen_rand) never
// uses, so the check does not redraw the samples the selection favoured
// its seeds on.
void keyCheckGenerator(HyperGraph& hg, unsigned seed);

// ostrand's classic figure (estimateInBlocks in the order of thread
// streams, blockEstimate.h) as one line on standard output in the stream's
// default format (six significant digits).
void calculateInfluence(const Graph& g, HyperGraph& hg, const std::vector<int>& seeds, int t, float epsilon_2,
                        float delta);

// Whether a forward search from the seeds, over the edges that can fire
// (IC: threshold above 0; LT: an interval of positive width), reaches a node
// that a root draw can pick (a positive-width slot of the root distribution).
// When it does not, no reverse sample can ever be a hit.
// With `fast`, the edges that can fire are read from its tables, so that a
// graph whose thresholds were released can be searched too.
bool seedsReachRoot(const Graph& g, const HyperGraph& hg, const std::vector<int>& seeds,
                    const FastSampler* fast = nullptr);

}  // namespace lattis
