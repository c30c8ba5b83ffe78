// choose_seeds: marlet's run on a network and arrays in memory; see runs.h.
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <stdexcept>

#include "boundary.h"
#include "estimate/estimate.h"
#include "programs/selectionRun.h"
#include "runs.h"

namespace lattis::python {

namespace {

void checkChoice(const std::string& value, const char* name, const char* a, const char* b) {
    if (value != a && value != b)
        throw py::value_error(std::string(name) + ": \"" + value + "\" is neither \"" + a + "\" nor \"" + b + "\"");
}

// marlet's options from the call's keywords, checked as marlet checks them.
MarletOptions optionsOf(const SeedRequest& r) {
    checkChoice(r.model, "model", "IC", "LT");
    checkChoice(r.sampler, "sampler", "classic", "fast");
    checkChoice(r.select, "select", "stop", "fill");
    checkChoice(r.stop, "stop", "threshold", "certified");
    if (r.threads < 1 || r.threads > 1024) throw py::value_error("threads: " + std::to_string(r.threads) + " is outside 1..1024");
    MarletOptions opt;
    opt.common.model = r.model == "LT" ? Model::LT : Model::IC;
    opt.common.epsilon = r.epsilon;
    opt.common.threads = r.threads;
    opt.common.sampler = r.sampler == "fast" ? SamplerKind::Fast : SamplerKind::Classic;
    opt.common.seed = r.seed ? *r.seed : static_cast<unsigned>(std::time(nullptr));
    opt.delta = r.delta;
    opt.k = r.budget;
    opt.select = r.select == "fill" ? SelectRule::Fill : SelectRule::Stop;
    opt.certified = r.stop == "certified";
    opt.ratio = r.ratio ? *r.ratio : defaultRatio(r.epsilon);
    if (opt.certified && !(opt.ratio > 0 && opt.ratio <= 1))
        throw py::value_error("ratio: " + std::to_string(opt.ratio) + " is outside (0, 1]");
    if (r.memoryMB) opt.memoryLimit = *r.memoryMB * 1024.0 * 1024.0;
    return opt;
}

// What a run chose and what its seeds are worth.
struct ChosenSeeds {
    Selection s;
    BlockEstimate e;
    double estimateSeconds = 0;
};

// marlet's run, without the GIL: the selection, then Total Benefit.
ChosenSeeds runSelection(MarletInputs& in, const MarletOptions& opt) {
    ChosenSeeds c;
    withoutGil([&] {
        HyperGraph hg(static_cast<unsigned>(in.n()), in.graph);
        c.s = selectSeeds(in, hg, opt, nullptr, [](const Progress&) { checkInterrupt(); });
        const auto t = std::chrono::steady_clock::now();
        // As marlet: the certificate's validation samples give the figure when they hold its stopping sample.
        c.e = c.s.validationBenefit ? *c.s.validationBenefit
                                    : estimateBenefit(in, hg, c.s.seeds, opt, nullptr,
                                                      [](long long, long long) { checkInterrupt(); });
        c.estimateSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
    });
    return c;
}

py::dict resultOf(const MarletInputs& in, const MarletOptions& opt, const ChosenSeeds& c) {
    const Selection& s = c.s;
    py::dict out;
    out["seeds"] = s.seeds;
    out["seed"] = opt.common.seed;
    out["delta"] = static_cast<double>(opt.common.delta);
    out["cost_spent"] = s.result.selection.costSpent;
    out["budget_left"] = opt.k - s.result.selection.costSpent;
    out["total_benefit"] = c.e.estimate;
    out["estimate_samples"] = c.e.samples;
    out["estimate_hits"] = c.e.hits;
    out["estimate_capped"] = c.e.capped;
    out["in_sample_benefit"] = scaledEstimate(in.graph.getPositiveBenefit(), s.coverage, s.result.hyperedges);
    out["hyperedges"] = s.result.hyperedges;
    out["covered_hyperedges"] = s.coverage;
    out["iterations"] = s.result.iterations;
    out["threshold"] = in.threshold.lambda;
    out["sampling_seconds"] = s.result.samplingSeconds;
    out["selection_seconds"] = s.result.selectionSeconds;
    out["estimate_seconds"] = c.estimateSeconds;
    out["unspent_usable"] = s.result.selection.unspentUsable;
    if (s.certificate) {
        out["certified_ratio"] = s.certificate->ratio;
        out["benefit_lower_bound"] = s.certificate->benefitLower;
        out["optimum_upper_bound"] = s.certificate->optimumUpper;
        out["validation_samples"] = s.validationDrawn;
    }
    return out;
}

}  // namespace

py::dict chooseSeeds(const NetworkData& net, const SeedRequest& r, const py::handle& costs, const py::handle& benefits) {
    MarletOptions opt = optionsOf(r);
    const std::vector<double> benefit = benefitArray(benefits, net.n());
    MarletInputs in;
    in.costs = costArray(costs, net.n());
    const auto wallStart = std::chrono::steady_clock::now();
    // marlet's order: srand(-seed), the inputs, the store (one rand()).
    std::srand(opt.common.seed);
    net.load(in.graph, benefit, opt.common.model, opt.common.threads);
    prepareSamplers(in, opt);
    settleThreshold(in, opt);
    const ChosenSeeds chosen = runSelection(in, opt);
    py::dict out = resultOf(in, opt, chosen);
    out["wall_seconds"] = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    return out;
}

}  // namespace lattis::python
