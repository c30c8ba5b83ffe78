// The seed-selection run over inputs in memory; see selectionRun.h.
#include "programs/selectionRun.h"

#include "mpi/teamHooks.h"

namespace lattis {

void prepareSamplers(MarletInputs& in, const MarletOptions& opt) {
    // The fast samplers' tables hold all they read of the thresholds but
    // for LT nodes they still search on a graph that made them; without
    // those the thresholds go, before anything else is allocated: on large
    // networks they are a third of the memory.
    if (opt.common.sampler == SamplerKind::Fast) {
        in.fast.emplace(in.graph);
        if (!in.fast->needsThresholds()) in.graph.releaseThresholds();
    }
}

void settleThreshold(MarletInputs& in, MarletOptions& opt) {
    const int n = in.n();
    opt.common.delta = opt.delta ? static_cast<float>(*opt.delta) : static_cast<float>(1.0 / n);
    in.threshold = checkedThreshold(n, opt.k, opt.common.epsilon, opt.common.delta, in.costs);
}

namespace {

// -stop certified: the certified stop's settings for this run.
CertifySettings certifySettings(const MarletInputs& in, const MarletOptions& opt, const TeamHooks* team) {
    CertifySettings c;
    c.ratio = opt.ratio;
    c.delta = static_cast<double>(opt.common.delta);
    c.k = opt.k;
    c.runSeed = opt.common.seed;
    c.iterations = maxIterations(in.threshold.lambda);
    c.sampling.threads = opt.common.threads;
    c.sampling.fast = in.fastSampler();
    c.sampling.team = team;
    return c;
}

}  // namespace

Selection selectSeeds(const MarletInputs& in, HyperGraph& hg, const MarletOptions& opt, const TeamHooks* team,
                      const std::function<void(const Progress&)>& progress) {
    ScheduleSettings settings;
    settings.lambda = in.threshold.lambda;
    settings.k = opt.k;
    settings.rule = opt.select;
    settings.threads = opt.common.threads;
    settings.memoryLimit = opt.memoryLimit;
    settings.fast = in.fastSampler();
    settings.team = team;
    settings.progress = progress;
    Selection s;
    // Coverage per number of seeds; the selection grows it as seeds are
    // taken, so it holds one entry per seed, not one per node.
    std::vector<double> degree(1, 0.0);
    std::optional<CertifiedStop> certified;
    if (opt.certified) {
        certified.emplace(in.graph, hg, in.costs, certifySettings(in, opt, team));
        settings.stopHere = [&certified](const std::vector<int>& seeds, long long coverage, long long hyperedges,
                                         bool last) { return (*certified)(seeds, coverage, hyperedges, last); };
    }
    s.result = runSchedule(in.graph, hg, in.costs, settings, s.seeds, degree, s.coverage);
    if (certified) {
        s.certificate = certified->certificate();
        s.validationDrawn = certified->validationDrawn();
        s.validationBenefit = certified->benefitEstimate(s.seeds, opt.common.epsilon, opt.common.delta);
    }
    // Summed over the processes, the others' entries being 0.
    const BlockShare share = team != nullptr ? team->share : BlockShare{};
    s.rank = static_cast<std::size_t>(share.rank);
    runTogether(team, [&] {
        s.storeBytes.assign(static_cast<std::size_t>(share.ranks), 0);
        s.storeBytes[s.rank] = static_cast<long long>(hg.storeUsedBytes());
    });
    if (team != nullptr) team->sumEach(s.storeBytes);
    return s;
}

BlockEstimate estimateBenefit(const MarletInputs& in, HyperGraph& hg, const std::vector<int>& seeds,
                              const MarletOptions& opt, const TeamHooks* team,
                              const std::function<void(long long samples, long long hits)>& progress) {
    EstimateSettings estimate;
    estimate.threads = opt.common.threads;
    estimate.epsilon = opt.common.epsilon;
    estimate.delta = opt.common.delta;
    estimate.fast = in.fastSampler();
    estimate.maxSamples = kReportSampleCap;
    estimate.team = team;
    estimate.progress = progress;
    return estimateInBlocks(in.graph, hg, seeds, estimate);
}

}  // namespace lattis
