// The hits of a seed set on a validation set: reverse samples drawn apart
// from the selection's store, of a family of streams of their own, and not
// stored. A certificate (selection/certificate.h) needs the seeds' hits on
// samples the seeds were not chosen from.
//
// The samples are numbered from 0 and drawn in blocks of kEstimateBlock,
// block b from the stream seeded by sfmt_init_by_array on seven words: a tag,
// the run's seed (-seed), b's two words and three zeros. Every other stream
// of a run is seeded on six words (the store's own generator by
// sfmt_init_gen_rand), so none of them is seeded alike with a validation
// block, whatever -seed is, and the validation samples are independent of
// the store the seeds are chosen from. A count of N samples is that of
// the blocks covering samples 0 .. N - 1, the last one cut short; so the
// samples of a count of N are the first N of a larger count, and the hits
// do not depend on the thread count or, split by block number over the
// processes of a run (blockShare.h), on the process count.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "estimate/blockEstimate.h"
#include "estimate/blockHits.h"
#include "graph/graph.h"
#include "sampling/hyperGraph.h"

namespace lattis {

// The hits of `seeds` among the validation samples 0 .. samples - 1 of the
// run seeded by `runSeed`, under g's model, with settings' threads, sampler and team
// (its epsilon, delta, cap and progress are not used), and the samples
// drawn: all of them, or none, with no hit, for an empty seed list or seeds
// no sample can reach. Every process of a team calls it alike and gets the
// run's counts.
// With blockHits, also the hits of each block, in block order (none for a
// tally that drew nothing).
BlockTally validationHits(const Graph& g, HyperGraph& hg, const std::vector<int>& seeds, long long samples,
                         std::uint32_t runSeed, const EstimateSettings& settings,
                         std::vector<long long>* blockHits = nullptr);

// The benefit estimate of estimateInBlocks, its stopping bound from
// settings' epsilon and delta, taken on the validation samples whose block
// hits validationHits gave for these seeds: when the blocks hold the
// stopping sample, the block that holds it is drawn again up to it, and the
// estimate is that of the samples up to it; otherwise nothing.
std::optional<BlockEstimate> validationEstimate(const Graph& g, HyperGraph& hg, const std::vector<int>& seeds,
                                                const std::vector<long long>& blockHits, long long samples,
                                                std::uint32_t runSeed, const EstimateSettings& settings);

}  // namespace lattis
