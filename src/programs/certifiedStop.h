// marlet's certified stop (-stop certified): after each selection of the
// doubling loop, the seeds' certificate (selection/certificate.h), and the
// loop ends as soon as it proves the ratio asked for.
//
// The certificate of an iteration weighs two sample sets of the same size
// theta, the run's stored hyperedges: the upper bound U of the best
// budget-feasible coverage on the selection's store, and the seeds' hits on
// as many validation samples (estimate/validationHits.h), drawn apart from
// the store and not kept. Both become confidence bounds with a =
// ln(2 i_max / delta), i_max the iterations the loop can run for its
// threshold, and are scaled to benefit by the positive benefit mass over
// theta. The validation samples are drawn only when they can prove the
// ratio: when the seeds' coverage of the store itself, which their hits on
// fresh samples seldom exceed, would prove it; and at the last iteration, so
// that a run always reports its seeds' certificate. Everything depends on the
// store, the seeds and -seed alone, never on the thread or process count.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "estimate/blockEstimate.h"
#include "graph/graph.h"
#include "sampling/hyperGraph.h"

namespace lattis {

struct CertifySettings {
    double ratio = 0;             // the ratio to prove (-ratio), in (0, 1]
    double delta = 0;             // the certificate holds with probability 1 - delta
    double k = 0;                 // the budget
    std::uint32_t runSeed = 0;    // -seed: the validation samples' streams
    int iterations = 1;           // i_max (threshold.h maxIterations)
    EstimateSettings sampling;    // threads, sampler and team of the validation samples
};

// The latest certificate computed.
struct Certificate {
    int iteration = 0;             // of the doubling loop, from 1; 0 while none is computed
    double ratio = 0;              // benefitLower / optimumUpper, at most 1
    double benefitLower = 0;       // the seeds' benefit is at least this
    double optimumUpper = 0;       // no seed set within the budget reaches more
    double storeBound = 0;         // U, on the selection's store
    long long validationSamples = 0, validationHits = 0;
    bool reached = false;          // ratio >= the ratio asked for
};

class CertifiedStop {
public:
    // costs: n + 1 entries as the selection takes them. The graph, the store
    // and the costs must outlive this.
    CertifiedStop(const Graph& g, HyperGraph& hg, const std::vector<float>& costs, const CertifySettings& settings);

    // The loop's stopHere (schedule.h): the certificate of these seeds, when
    // it can prove the ratio or `last` holds; true when it proves it.
    bool operator()(const std::vector<int>& seeds, long long coverage, long long hyperedges, bool last);

    const Certificate& certificate() const { return latest; }
    // Validation samples drawn over every iteration.
    long long validationDrawn() const { return drawn; }
    // The benefit estimate of `seeds` (estimateInBlocks' figure, with its
    // stopping bound from epsilon and delta) on the latest certificate's
    // validation samples, when they are these seeds' and hold the stopping
    // sample; otherwise nothing, and a fresh estimate is needed. They were
    // drawn apart from the store the seeds were chosen from.
    std::optional<BlockEstimate> benefitEstimate(const std::vector<int>& seeds, float epsilon, float delta);

private:
    const Graph& g;
    HyperGraph& hg;
    const std::vector<float>& costs;
    CertifySettings settings;
    double a;
    int iteration = 0;
    Certificate latest;
    std::vector<int> latestSeeds;                // those of the latest certificate
    std::vector<long long> latestBlockHits;      // their hits per validation block
    long long drawn = 0;
};

}  // namespace lattis
