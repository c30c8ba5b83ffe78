// The seed-selection run once its inputs are in memory, as marlet and the
// Python module take it alike: the fast samplers' tables, delta and the
// threshold settled for n, the doubling loop of sampling and greedy
// selection (with the certified stop of -stop certified), and the Total
// Benefit estimate of the seeds from fresh samples. Nothing here prints;
// the callers show progress through the two callbacks, which run on the
// calling thread between parallel regions (and may throw to end the run).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "estimate/blockEstimate.h"
#include "graph/graph.h"
#include "programs/certifiedStop.h"
#include "programs/marletOptions.h"
#include "sampling/fastSampler.h"
#include "sampling/hyperGraph.h"
#include "selection/schedule.h"
#include "selection/threshold.h"

namespace lattis {

struct TeamHooks;

// Most fresh samples the report's benefit estimate may draw.
inline constexpr long long kReportSampleCap = 100000000;

// What the run loads before the store is built, in the order it loads it.
struct MarletInputs {
    Graph graph{BenefitLayout::Dense};
    std::optional<FastSampler> fast;  // with -sampler fast
    std::vector<std::uint64_t> idMap;
    std::vector<float> costs;
    Threshold threshold;

    int n() const { return graph.getSize(); }
    const FastSampler* fastSampler() const { return fast ? &*fast : nullptr; }
};

// With -sampler fast, builds the fast samplers' tables from the loaded graph
// and releases the thresholds when they hold all the samplers need.
void prepareSamplers(MarletInputs& in, const MarletOptions& opt);

// Settles delta (-delta, or 1/n) once the graph and costs are loaded and
// computes the checked threshold (schedule.h checkedThreshold).
void settleThreshold(MarletInputs& in, MarletOptions& opt);

// What the doubling loop leaves: the seeds, the hyperedges they cover and
// the bytes of every process's store (entry r for process r).
struct Selection {
    ScheduleResult result;
    std::vector<int> seeds;
    long long coverage = 0;
    std::vector<long long> storeBytes;
    std::size_t rank = 0;  // this process's entry
    // -stop certified: the seeds' certificate and the validation samples drawn.
    std::optional<Certificate> certificate;
    long long validationDrawn = 0;
    // The benefit estimate on the certificate's validation samples, when
    // they hold its stopping sample (CertifiedStop::benefitEstimate).
    std::optional<BlockEstimate> validationBenefit;
};

// The doubling loop of sampling and greedy selection (schedule.h), on a
// store built after std::srand(seed).
Selection selectSeeds(const MarletInputs& in, HyperGraph& hg, const MarletOptions& opt, const TeamHooks* team,
                      const std::function<void(const Progress&)>& progress);

// The seeds were chosen to cover the stored hyperedges, so their share of
// them overstates what the seeds are worth; the reported benefit is
// estimated from fresh samples instead (blockEstimate.h).
BlockEstimate estimateBenefit(const MarletInputs& in, HyperGraph& hg, const std::vector<int>& seeds,
                              const MarletOptions& opt, const TeamHooks* team,
                              const std::function<void(long long samples, long long hits)>& progress);

}  // namespace lattis
