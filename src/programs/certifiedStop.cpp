// The certified stop; see certifiedStop.h.
#include "programs/certifiedStop.h"

#include <algorithm>

#include "estimate/validationHits.h"
#include "mpi/teamHooks.h"
#include "selection/certificate.h"

namespace lattis {

CertifiedStop::CertifiedStop(const Graph& g, HyperGraph& hg, const std::vector<float>& costs,
                             const CertifySettings& settings)
    : g(g), hg(hg), costs(costs), settings(settings), a(certificateExponent(settings.delta, settings.iterations)) {}

bool CertifiedStop::operator()(const std::vector<int>& seeds, long long coverage, long long hyperedges, bool last) {
    ++iteration;
    const TeamHooks* team = settings.sampling.team;
    const unsigned n = static_cast<unsigned>(g.getSize());
    // No set covers more than every hyperedge; the sum of gains can.
    const double u = std::min(static_cast<double>(hyperedges),
                              team != nullptr ? team->upperBound(hg, seeds, n, settings.k, costs)
                                              : coverageUpperBound(hg, seeds, n, settings.k, costs));
    const double upper = coverageUpperConfidence(u, a);
    if (!last && hitsLowerBound(static_cast<double>(coverage), a) / upper < settings.ratio) return false;

    const BlockTally tally =
        validationHits(g, hg, seeds, hyperedges, settings.runSeed, settings.sampling, &latestBlockHits);
    latestSeeds = seeds;
    drawn += tally.samples;
    const double lower = hitsLowerBound(static_cast<double>(tally.hits), a);
    const double scale = g.getPositiveBenefit() / static_cast<double>(hyperedges);
    latest.iteration = iteration;
    // Past 1 only when a bound failed; no set beats the best one.
    latest.ratio = std::min(1.0, lower / upper);
    latest.benefitLower = lower * scale;
    latest.optimumUpper = upper * scale;
    latest.storeBound = u;
    latest.validationSamples = hyperedges;
    latest.validationHits = tally.hits;
    latest.reached = latest.ratio >= settings.ratio;
    return latest.reached;
}

std::optional<BlockEstimate> CertifiedStop::benefitEstimate(const std::vector<int>& seeds, float epsilon,
                                                            float delta) {
    if (latest.iteration == 0 || seeds != latestSeeds) return std::nullopt;
    EstimateSettings e = settings.sampling;
    e.epsilon = epsilon;
    e.delta = delta;
    return validationEstimate(g, hg, seeds, latestBlockHits, latest.validationSamples, settings.runSeed, e);
}

}  // namespace lattis
