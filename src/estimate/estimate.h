// Benefit estimation of a given seed set by reverse sampling, for the
// verifier ostrand.
//
// Roots are drawn in proportion to their positive benefit; a sample is a hit
// when its reverse walk or search reaches a seed. Sampling runs on a team of
// threads until the hits reach a bound computed from epsilon and delta, and
// the estimate is the positive benefit mass times hits over samples.
//
// Assumes a Graph loaded with the compact benefit layout for the model that
// is sampled, and seed ids in 1..n (io/seedFile.h checks them at the boundary).
#pragma once

#include <functional>
#include <limits>
#include <string>
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

struct InfluenceCounts {
    long long samples = 0;   // reverse samples drawn by all threads
    long long hits = 0;      // samples that reached a seed
    double estimate = 0.0;   // positive benefit mass times hits / samples
    bool capped = false;     // maxSamples ended the run before the bound
};

// Samples on t threads until the hits reach stoppingBound(epsilon_2, delta),
// or the samples reach maxSamples, under the model g was loaded for. Draws no sample, and returns all zeros, when the seed list is
// empty or seedsReachRoot is false: the benefit is then exactly 0 and the
// loop would never end. Thread 0 calls progress(samples, hits) about every
// 2^20 of its own samples. Requires t >= 1 and a finite bound.
InfluenceCounts estimateInfluence(const Graph& g, HyperGraph& hg, const std::vector<int>& seeds, int t,
                                  float epsilon_2, float delta,
                                  long long maxSamples = std::numeric_limits<long long>::max(),
                                  const std::function<void(long long, long long)>& progress = {});

// estimateInfluence, then the estimate as one line on standard output in the
// stream's default format (six significant digits).
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
