// estimate and simulate: ostrand's estimate of a seed set and the forward
// simulation, on a network and arrays in memory; see runs.h.
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "boundary.h"
#include "estimate/blockEstimate.h"
#include "estimate/estimate.h"
#include "estimate/forwardSimulation.h"
#include "programs/entrySteps.h"
#include "runs.h"

namespace lattis::python {

namespace {

std::vector<int> seedIds(const py::handle& seeds, std::uint32_t n) {
    const std::vector<std::int64_t> ids = idArray(seeds, "seeds", 1, n);
    return std::vector<int>(ids.begin(), ids.end());
}

void checkRun(const std::string& model, int threads) {
    if (model != "IC" && model != "LT") throw py::value_error("model: \"" + model + "\" is neither \"IC\" nor \"LT\"");
    if (threads < 1 || threads > 1024) throw py::value_error("threads: " + std::to_string(threads) + " is outside 1..1024");
}

}  // namespace

py::dict estimateBenefit(const NetworkData& net, const py::handle& seeds, const py::handle& benefits,
                         const std::string& model, float epsilon, float delta, int threads,
                         std::optional<std::uint32_t> seed, const std::string& sampler, long long maxSamples) {
    checkRun(model, threads);
    if (sampler != "classic" && sampler != "fast")
        throw py::value_error("sampler: \"" + sampler + "\" is neither \"classic\" nor \"fast\"");
    if (!(epsilon > 0) || !std::isfinite(epsilon)) throw py::value_error("epsilon: must be a finite number above 0");
    if (!(delta > 0 && delta < 2)) throw py::value_error("delta: must lie strictly between 0 and 2");
    if (!std::isfinite(stoppingBound(epsilon, delta)))
        throw py::value_error("epsilon, delta: the stopping bound on hits overflows single precision");
    if (maxSamples < 1) throw py::value_error("max_samples: must be at least 1");
    checkHitsWithinCap(epsilon, delta, maxSamples, {"", "epsilon", "delta", "max_samples"});
    const std::vector<int> ids = seedIds(seeds, net.n());
    const std::vector<double> benefit = benefitArray(benefits, net.n());
    CommonOptions c;
    c.model = model == "LT" ? Model::LT : Model::IC;
    c.epsilon = epsilon;
    c.delta = delta;
    c.threads = threads;
    c.sampler = sampler == "fast" ? SamplerKind::Fast : SamplerKind::Classic;
    c.seed = seed ? *seed : static_cast<unsigned>(std::time(nullptr));
    // ostrand's order: srand(-seed), the network, the store, its own key.
    std::srand(c.seed);
    Graph g(BenefitLayout::Compact);
    net.load(g, benefit, c.model, c.threads);
    BlockEstimate counts;
    withoutGil([&] {
        HyperGraph hg(static_cast<unsigned>(g.getSize()), g);
        if (seed) keyCheckGenerator(hg, c.seed);
        // Ctrl-C is looked for between the estimate's rounds.
        counts = estimateSeeds(g, hg, ids, c, maxSamples, [](long long, long long) { checkInterrupt(); });
    });
    py::dict out;
    out["estimate"] = counts.estimate;
    out["samples"] = counts.samples;
    out["hits"] = counts.hits;
    out["capped"] = counts.capped;
    out["seed"] = c.seed;
    return out;
}

py::dict simulateSpread(const NetworkData& net, const py::handle& seeds, const py::handle& benefits,
                        const std::string& model, long long runs, std::optional<std::uint32_t> seed, int threads) {
    checkRun(model, threads);
    if (runs < 1) throw py::value_error("runs: must be at least 1");
    const std::vector<int> ids = seedIds(seeds, net.n());
    const std::vector<double> benefit = benefitArray(benefits, net.n());
    std::vector<double> byNode(benefit.size() + 1, 0.0);
    for (std::size_t i = 0; i < benefit.size(); ++i) byNode[i + 1] = benefit[i];
    // The Graph's benefits are not read by the simulation: it takes byNode.
    Graph g(BenefitLayout::Compact);
    net.load(g, {}, model == "LT" ? Model::LT : Model::IC, threads);
    const std::uint32_t key = seed ? *seed : static_cast<std::uint32_t>(std::time(nullptr));
    SimulationResult r;
    withoutGil([&] { r = simulateForward(g, ids, byNode, runs, key, threads, [] { checkInterrupt(); }); });
    py::dict out;
    out["mean"] = r.mean;
    out["standard_error"] = r.standardError;
    out["runs"] = r.runs;
    out["seed"] = key;
    return out;
}

}  // namespace lattis::python
