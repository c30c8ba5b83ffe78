// Benefit estimation of a seed set: reverse samples drawn until their hits
// reach the stopping bound of estimate.h, the estimate the positive benefit
// mass times hits over samples. In block order it is fixed by the store's
// seed whatever the thread count.
//
// Samples are drawn in blocks of kEstimateBlock, block b from its own stream
// (a key drawn once from the store's generator, plus b), on a team of
// threads in rounds. After each round the blocks' hit counts are added in
// block order, and the run stops at the exact sample, in that order, whose
// hit meets the bound: the block that holds it is drawn again up to that
// sample. So the counts are those of one thread drawing the blocks one after
// the other, and no lock is taken per sample. A cap on the samples ends a
// run whose seeds reach almost no benefit: the estimate is then taken from
// what was drawn and the result says so.
//
// A run split over several processes (marlet-mpi) splits each round's blocks
// among them by block number; the per-block hit counts are summed over the
// processes before they are added in block order, and every process redraws
// the block that holds the stopping sample, so every process gets the counts
// of one process with the same seeds, whatever the process and thread counts.
//
// ostrand's classic figure is the same driver in the order of thread
// streams (EstimateOrder::ThreadStreams): thread i reads stream i of the key
// from its start, in blocks of kEstimateBlock taken thread by thread in turn,
// and the run stops at the exact sample, in that order, whose hit meets the
// bound. With one thread that is one stream sample after sample; with more,
// the counts are fixed by the seed and the thread count.
//
// Used by ostrand (both samplers) and by marlet for its report.
#pragma once

#include <functional>
#include <vector>

#include "graph/graph.h"
#include "sampling/hyperGraph.h"

namespace lattis {

class FastSampler;
struct TeamHooks;

inline constexpr long long kEstimateBlock = 4096;

// Which stream each block draws from.
enum class EstimateOrder {
    Blocks,         // block b from stream b: the same counts for any thread count
    ThreadStreams,  // ostrand's classic figure: thread i's blocks continue stream i
};

struct EstimateSettings {
    int threads = 1;
    float epsilon = 0.1f;
    float delta = 0.01f;
    const FastSampler* fast = nullptr;  // null: the classic samplers
    EstimateOrder order = EstimateOrder::Blocks;
    long long maxSamples = 1000000000;  // the cap
    // Called after each round, on the calling thread outside the parallel
    // region, with the samples and hits counted so far; may throw to end
    // the run.
    std::function<void(long long samples, long long hits)> progress;
    // This process's part in a run split over several processes
    // (teamHooks.h: its share, together and sumEach); null for one process.
    // Every process of the team must call with the same seeds and settings
    // but threads, on stores whose generators are in the same state. Only
    // in the order of Blocks.
    const TeamHooks* team = nullptr;
};

struct BlockEstimate {
    long long samples = 0;     // samples counted, in block order
    long long hits = 0;        // those that reached a seed
    long long neededHits = 0;  // the stopping bound, rounded up (at least 1)
    bool capped = false;       // the cap ended the run before the bound
    double estimate = 0.0;     // positive benefit mass times hits / samples
};

// Hits the stopping bound asks for: stoppingBound(epsilon, delta) rounded
// up, and at least 1. Requires a finite bound.
long long neededHits(float epsilon, float delta);

// How a caller's user names the accuracy settings and the sample cap.
struct AccuracyNames {
    const char* settings;  // the word before the names ("options"), or ""
    const char* epsilon;
    const char* delta;
    const char* cap;
};

// Refuses (std::invalid_argument, naming the settings) an epsilon and delta
// that ask for more hits than a cap of maxSamples samples could ever give.
void checkHitsWithinCap(float epsilon, float delta, long long maxSamples, const AccuracyNames& names);

// The estimate for seeds (node ids in 1..n, duplicates allowed). Draws no
// sample, and returns zeros but neededHits, when the seed list is empty or no
// reverse sample can reach a seed. Requires settings.threads >= 1 and
// settings.maxSamples >= 1.
BlockEstimate estimateInBlocks(const Graph& g, HyperGraph& hg, const std::vector<int>& seeds,
                               const EstimateSettings& settings);

}  // namespace lattis
