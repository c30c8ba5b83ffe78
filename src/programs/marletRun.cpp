// marlet: chooses a seed set within a cost budget that reaches the most
// benefit under the LT or IC model, by reverse sampling in doubling batches
// and greedy selection, and writes the seeds to a file with a five-line report.
//
// The run is a sequence of named steps: parse the options (marletOptions.h),
// load the inputs, select the seeds, estimate their benefit, build the
// report, write the seed file, print. Standard output carries only the
// report, the usage of -h/--help and the two fixed messages (invalid command
// line, unknown model), which end the run with status 255; every other
// failure is one "marlet: ..." line on standard error and status 1, and notes
// about defaults in force go to standard error too. The reference pair list
// "db_Enron.txt" (or the file of -pairs) is read through standard input
// before the options are parsed (referencePairs.h).
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <functional>
#include <future>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "core/allocatorTuning.h"
#include "core/memoryProbe.h"
#include "core/threadTeam.h"
#include "estimate/blockEstimate.h"
#include "estimate/estimate.h"
#include "graph/graph.h"
#include "io/atomicFile.h"
#include "io/jsonReport.h"
#include "io/option.h"
#include "io/progressLine.h"
#include "mpi/teamHooks.h"
#include "programs/certifiedStop.h"
#include "programs/entrySteps.h"
#include "programs/marletOptions.h"
#include "programs/marletRun.h"
#include "programs/referencePairs.h"
#include "programs/selectionRun.h"
#include "sampling/fastSampler.h"
#include "sampling/hyperGraph.h"
#include "io/costFile.h"
#include "selection/schedule.h"
#include "selection/threshold.h"

namespace lattis {

namespace {

void note(const std::string& text) { std::cerr << "marlet: note: " << text << '\n'; }

// Loads the network, the fast samplers' tables, the id map and the costs;
// settles delta now that n is known and checks the threshold's parameters.
void loadInputs(MarletInputs& in, MarletOptions& opt) {
    // The fast samplers' tables are all a run reads of the thresholds but
    // for LT nodes that search, and prepareSamplers lets them go once built:
    // under -load map the tables are made from the mapped probabilities
    // instead, and keep those nodes' thresholds themselves.
    if (opt.common.sampler == SamplerKind::Fast) in.graph.deferThresholds();
    loadGraph("marlet", in.graph, opt.common);
    const int n = in.n();
    prepareSamplers(in, opt);
    in.idMap = idMapOf(opt.common, n);
    if (opt.cost) {
        in.costs = readCostFile(*opt.cost, static_cast<unsigned>(n));
    } else {
        note("no cost file given (-c): every cost is 1e-9, so the budget buys every node");
        in.costs = defaultCosts(static_cast<unsigned>(n));
    }
    settleThreshold(in, opt);
    if (in.graph.hasNegativeBenefit())
        note("some benefits are negative: roots are drawn among the positive ones, so the estimate is scaled by "
             "their sum " + std::to_string(in.graph.getPositiveBenefit()) + ", not by the total " +
             std::to_string(in.graph.getTotalBenefit()));
}

// The loop's progress as the terminal line shows it.
std::string progressText(const Progress& p) {
    char text[200];
    std::snprintf(text, sizeof text, "marlet: iteration %d, %lld hyperedges, coverage %lld of %.1f (%.1f%%), %.1f s",
                  p.iteration, p.hyperedges, p.coverage, p.lambda, 100.0 * static_cast<double>(p.coverage) / p.lambda,
                  p.seconds);
    return text;
}

// Processor and wall time from construction: of sampling, selection and the
// estimate, as "Time" reports them.
class RunClock {
public:
    float processorSeconds() const { return static_cast<float>(std::clock() - start) / 1000000; }
    double wallSeconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count(); }

private:
    std::clock_t start = std::clock();
    std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
};

// The memory probe starts a shell and three tools: tens of milliseconds on a
// small run. What it measures is final once sampling is over (what is left
// only prints and writes the seed file), so it runs on a thread of its own
// while the report is put together and the seed file written.
class MemoryProbeTask {
public:
    explicit MemoryProbeTask(const Stopwatch& watch) : start(watch.seconds()) {
        auto probe = [this, &watch] {
            std::string text = memoryTotalText();
            probeSeconds = watch.seconds() - start;
            return text;
        };
        try {
            total = std::async(std::launch::async, probe);
        } catch (const std::system_error&) {
            total = std::async(std::launch::deferred, probe);  // no thread to spare: probe in place
        }
    }
    MemoryProbeTask(const MemoryProbeTask&) = delete;
    MemoryProbeTask& operator=(const MemoryProbeTask&) = delete;
    // The figure, converted on the calling thread, so that a probe that finds
    // none says so (strToInt's message on standard output) where it prints.
    float megabytes() { return megabytesFromTotal(total.get()); }
    // Wall seconds the probe took; known once megabytes() returned.
    double seconds() const { return probeSeconds; }

private:
    double start;
    double probeSeconds = 0;
    std::future<std::string> total;
};

// The report's last figure: the pair counts of the seeds. The list is parsed
// on its thread through loading and sampling, filling what the
// single-threaded steps leave of the machine; a fault of the list still ends
// the run here, before any output.
int referenceCount(ReferencePairs& pairs, const std::vector<int>& seeds, int n) {
    const PairList& table = pairs.get();
    if (table.tableSize() != 0 && static_cast<long long>(table.tableSize()) != n + 1LL)
        note(pairs.name() + " states a table of A = " + std::to_string(table.tableSize()) +
             " entries, but this network has n + 1 = " + std::to_string(n + 1LL) +
             ": the list may belong to another network, so \"Estimate Influence\" may count unrelated pairs");
    return pairCountOf(table, seeds);
}

// Notes on a benefit estimate below the accuracy asked for, on an empty
// seed set, on budget the default rule left that a node would still use and
// on a certificate that did not prove the ratio asked for.
void noteShortfalls(const BlockEstimate& benefit, const ScheduleResult& result, double k, SelectRule rule,
                    const std::optional<CertificateReport>& certificate) {
    if (benefit.capped)
        note("the Total Benefit estimate stopped at its cap of " + std::to_string(kReportSampleCap) +
             " samples with " + std::to_string(benefit.hits) + " of the " + std::to_string(benefit.neededHits) +
             " hits that -epsilon and -delta ask for: the seeds reach little benefit, and the estimate's relative "
             "standard error is about 1/sqrt(hits), more than -epsilon promises");
    if (result.emptySelection && rule == SelectRule::Stop)
        note("no node fits the budget: the node the selection ranks first costs more than -k " + std::to_string(k) +
             ", so the seed set is empty");
    if (result.emptySelection && rule == SelectRule::Fill)
        note("no node fits the budget: every node that covers a sample costs more than -k " + std::to_string(k) +
             ", so the seed set is empty");
    if (rule == SelectRule::Stop && result.selection.unspentUsable) {
        char text[300];
        std::snprintf(text, sizeof text,
                      "the selection stopped at the first node over the budget with %g of -k %g unspent, though a "
                      "node that adds coverage still fits; -select fill spends the rest",
                      k - result.selection.costSpent, k);
        note(text);
    }
    if (certificate && !certificate->reached && !result.emptySelection) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "the coverage threshold ended the run before the certificate proved -ratio %g: the seeds are "
                      "certified at %.4f only",
                      certificate->ratioAsked, certificate->certifiedRatio);
        note(text);
    }
}

// -stop certified: the certificate's line, the last of the run.
void printCertificate(const CertificateReport& c, float delta) {
    std::fprintf(stderr, "marlet: certified ratio %.2f (benefit >= %.2f of at most %.2f possible, confidence 1 - %g)\n",
                 c.certifiedRatio, c.benefitLowerBound, c.optimumUpperBound, static_cast<double>(delta));
}

// The report's figures of the inputs, the selection and the estimate.
void fillReport(MarletReport& r, const MarletOptions& opt, const MarletInputs& in, const Selection& s,
                const BlockEstimate& benefit) {
    r.common = commonReport(opt.common, in.graph, s.seeds, in.idMap);
    r.cost = opt.cost;
    r.k = opt.k;
    r.select = opt.select == SelectRule::Fill ? "fill" : "stop";
    if (opt.memoryLimit) r.memoryLimitMB = *opt.memoryLimit / (1024.0 * 1024.0);
    r.totalBenefit = benefit.estimate;
    r.estimateSamples = benefit.samples;
    r.estimateHits = benefit.hits;
    r.estimateCapped = benefit.capped;
    r.inSampleBenefit = scaledEstimate(in.graph.getPositiveBenefit(), s.coverage, s.result.hyperedges);
    r.seedCount = s.result.selection.seedCount;
    r.costSpent = s.result.selection.costSpent;
    r.budgetLeft = opt.k - r.costSpent;
    r.iterations = s.result.iterations;
    r.hyperedges = s.result.hyperedges;
    r.coveredHyperedges = s.coverage;
    r.threshold = in.threshold.lambda;
    r.samplingSeconds = s.result.samplingSeconds;
    r.selectionSeconds = s.result.selectionSeconds;
    for (long long bytes : s.storeBytes) r.storeMBPerRank.push_back(static_cast<double>(bytes) / (1024.0 * 1024.0));
    r.storeMB = r.storeMBPerRank[s.rank];
    if (const auto& c = s.certificate) {
        CertificateReport& cr = r.certificate.emplace();
        cr.ratioAsked = opt.ratio;
        cr.reached = s.result.stoppedHere || c->reached;
        cr.iteration = c->iteration;
        cr.certifiedRatio = c->ratio;
        cr.benefitLowerBound = c->benefitLower;
        cr.optimumUpperBound = c->optimumUpper;
        cr.validationSamples = c->validationSamples;
        cr.validationSamplesDrawn = s.validationDrawn;
        cr.seconds = s.result.stopHereSeconds;
        cr.benefitFromValidation = s.validationBenefit.has_value();
    }
}

// Writes the seed file and renames it into place; the fault's message, or
// "" once the file is in place.
std::string writeSeedFile(AtomicFile& out, const std::vector<int>& seeds) {
    try {
        for (int s : seeds) {
            const std::string line = std::to_string(s) + "\n";
            out.write(line.data(), line.size());
        }
        out.finish();
        out.publish();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

// The five report lines on standard output; false, with a message, when
// standard output does not take them. "Memory" is probed here.
bool printReport(MarletReport& r, MemoryProbeTask& memory) {
    std::cout << "Seed Nodes: ";
    for (int s : r.common.seeds) std::cout << s << ' ';
    std::cout << "\n\n";
    std::printf("Total Benefit: %0.2lf\n", r.totalBenefit);
    std::cout << "Time: " << static_cast<double>(r.processorSeconds) << "s\n";
    std::cout << "Memory: ";
    r.memoryMB = memory.megabytes();
    r.memoryProbeSeconds = memory.seconds();
    std::cout << r.memoryMB << " MB\n";
    std::cout << "Estimate Influence: " << r.estimateInfluence << "\n";
    return standardOutputWritten("marlet", "the report");
}

// The -timing line on standard error, and for a run split over several
// processes the store of each.
void printTiming(const MarletReport& r, double wallSeconds, bool split) {
    std::fprintf(stderr,
                 "marlet: timing: iterations %d, hyperedges %lld, lambda %.1f, sampling %.3f s, selection %.3f s, "
                 "peak memory %.1f MB; seeds %zu, cost spent %g, budget left %g; total benefit %.2f from %lld %s "
                 "samples (%lld hits), in-sample benefit "
                 "%.2f over the selection's own hyperedges; pair list %.3f s, loading %.3f s, estimate %.3f s, "
                 "memory probe %.3f s, wall %.3f s, store %.1f MB\n",
                 r.iterations, r.hyperedges, r.threshold, r.samplingSeconds, r.selectionSeconds,
                 r.common.peakMemoryMB.value_or(0.0), r.seedCount, r.costSpent, r.budgetLeft, r.totalBenefit,
                 r.estimateSamples,
                 r.certificate && r.certificate->benefitFromValidation ? "validation" : "fresh", r.estimateHits,
                 r.inSampleBenefit, r.pairListSeconds, r.loadingSeconds, r.estimateSeconds, r.memoryProbeSeconds,
                 wallSeconds, r.storeMB);
    if (const auto& c = r.certificate)
        std::fprintf(stderr,
                     "marlet: timing: certificate of iteration %d: ratio %.4f (-ratio %.4f %s), benefit >= %.2f, "
                     "optimum <= %.2f, validation samples %lld (%lld drawn in all), certificates %.3f s\n",
                     c->iteration, c->certifiedRatio, c->ratioAsked, c->reached ? "reached" : "not reached",
                     c->benefitLowerBound, c->optimumUpperBound, c->validationSamples, c->validationSamplesDrawn,
                     c->seconds);
    if (!split) return;
    double most = 0, all = 0;
    std::fprintf(stderr, "marlet: timing: store per rank");
    for (double mb : r.storeMBPerRank) {
        std::fprintf(stderr, " %.1f", mb);
        most = std::max(most, mb);
        all += mb;
    }
    std::fprintf(stderr, " MB, max %.1f MB, sum %.1f MB\n", most, all);
}

// The fixed message of a command line the run cannot take, with its status,
// or 0 when the run goes on; unknown names are noted. A fault of the pair
// list comes first.
int commandLineRefusal(const OptionParser& op, int argc, char** argv, ReferencePairs& pairs) {
    if (!op.validCheck()) {
        pairs.get();
        return refuseCommandLine(marletUsage());
    }
    noteUnknownOptions("marlet", argc, argv, kMarletOptions);
    if (!knownModel(op)) {
        pairs.get();
        return refuseModel();
    }
    return 0;
}

// Every output against every input and the other outputs, before anything
// is loaded; the pair list counts only when it was opened.
void checkMarletFiles(const MarletOptions& opt, const ReferencePairs& pairs) {
    const CommonOptions& c = opt.common;
    const bool pairList = pairs.name() != ReferencePairs::kNone && fileIdentity(pairs.name()).exists;
    const NamedFile inputs[] = {{"-i", c.network},
                                {"-b", c.benefit.value_or("")},
                                {"-c", opt.cost.value_or("")},
                                {"-pairs", pairList ? pairs.name() : ""},
                                {"-map", c.map.value_or("")}};
    std::vector<NamedFile> outputs{{"-o", *c.seedFile}};
    if (c.json) outputs.push_back({"-json", *c.json});
    checkFileNames(inputs, outputs);
}

// Where the report of the run goes and what measured it.
struct RunOutputs {
    AtomicFile& seedFile;
    JsonReportFile* json;
    const Stopwatch& watch;
    const RunClock& clock;
    ReferencePairs& pairs;
    ProgressLine& progress;
};

// The reporting process's last steps: fill the report, write the seed file,
// print, commit the JSON report.
int reportRun(MarletReport& report, const RunOutputs& to, const MarletOptions& opt, const MarletInputs& in,
              const Selection& selection, const BlockEstimate& benefit, const TeamHooks* team) {
    MemoryProbeTask memory(to.watch);
    report.processorSeconds = to.clock.processorSeconds();
    report.wallSeconds = to.clock.wallSeconds();
    report.estimateInfluence = referenceCount(to.pairs, selection.seeds, in.n());
    report.pairListSeconds = to.pairs.seconds();
    to.progress.clear();
    fillReport(report, opt, in, selection, benefit);
    noteShortfalls(benefit, selection.result, opt.k, opt.select, report.certificate);
    if (team != nullptr) report.ranks = team->share.ranks;

    // The seed file is in place, complete, before the report is printed.
    const std::string seedFileError = writeSeedFile(to.seedFile, selection.seeds);
    if (!printReport(report, memory)) return 1;
    if (opt.timing) printTiming(report, to.watch.seconds(), team != nullptr);
    if (report.certificate) printCertificate(*report.certificate, opt.common.delta);
    if (!seedFileError.empty()) {
        std::cerr << "marlet: " << seedFileError << '\n';
        return 1;
    }
    if (to.json != nullptr) to.json->commit(report);
    return 0;
}

// The run once the pair list is opening: options, inputs, selection,
// estimate, report, seed file, print, JSON report.
int runAfterPairs(int argc, char** argv, const TeamHooks* team, const Stopwatch& watch, unsigned clockSeed,
                  ReferencePairs& pairs) {
    const OptionParser op(argc, argv);
    if (const int status = commandLineRefusal(op, argc, argv, pairs)) return status;
    const double loadStart = watch.seconds();
    MarletOptions opt = readMarletOptions(op, clockSeed);
    if (opt.ratioGiven && !opt.certified) note("-ratio is used by -stop certified only; this run stops at the threshold");
    checkMarletFiles(opt, pairs);
    std::srand(opt.common.seed);
    // Created now, so that an unusable place is refused before the run; only
    // by the process that writes them.
    std::optional<JsonReportFile> json;
    std::optional<AtomicFile> out;
    if (team == nullptr || team->reports) {
        if (opt.common.json) json.emplace(*opt.common.json);
        const std::string& seedFile = *opt.common.seedFile;
        out.emplace(seedFile, "seed file " + seedFile, AtomicFile::Special::WriteInPlace, true);
    }
    MarletInputs in;
    loadInputs(in, opt);
    HyperGraph hg(static_cast<unsigned>(in.n()), in.graph);
    MarletReport report;
    report.loadingSeconds = watch.seconds() - loadStart;

    // The others' lines would repeat rank 0's.
    ProgressLine progress(team == nullptr || team->reports ? opt.common.progress : std::optional<bool>(false));
    const RunClock clock;
    std::function<void(const Progress&)> showIteration;
    std::function<void(long long, long long)> showEstimate;
    if (progress.enabled()) {
        showIteration = [&progress](const Progress& p) { progress.show(progressText(p)); };
        showEstimate = [&progress](long long samples, long long hits) {
            progress.show("marlet: estimating the seeds' benefit: " + std::to_string(samples) + " samples, " +
                          std::to_string(hits) + " hits");
        };
    }
    const Selection selection = selectSeeds(in, hg, opt, team, showIteration);
    const double estimateStart = watch.seconds();
    const BlockEstimate benefit = selection.validationBenefit
                                      ? *selection.validationBenefit
                                      : estimateBenefit(in, hg, selection.seeds, opt, team, showEstimate);
    report.estimateSeconds = watch.seconds() - estimateStart;
    // Sampling is over: the memory figure should not count its records.
    hg.releaseSamplingScratch();
    restThreadTeam();
    // Every process of a split run has the seeds and the estimate; the first
    // alone reports and writes the seed file.
    if (team != nullptr && !team->reports) return 0;
    const RunOutputs outputs{*out, json ? &*json : nullptr, watch, clock, pairs, progress};
    return reportRun(report, outputs, opt, in, selection, benefit, team);
}

int runMarlet(int argc, char** argv, const TeamHooks* team) {
    const bool reports = team == nullptr || team->reports;
    if (helpAsked(argc, argv)) return reports ? printUsage(marletUsage()) : 0;
    const Stopwatch watch;
    const unsigned clockSeed = static_cast<unsigned>(std::time(nullptr));
    // A closed standard output or error is then a failed write, reported,
    // instead of a kill that could leave files half done.
    std::signal(SIGPIPE, SIG_IGN);
    ReferencePairs pairs(reports, pairListOption(argc, argv));
    try {
        return runAfterPairs(argc, argv, team, watch, clockSeed, pairs);
    } catch (...) {
        if (std::exception_ptr first = pairs.failure()) std::rethrow_exception(first);
        throw;
    }
}

}  // namespace

int marletMain(int argc, char** argv, const TeamHooks* team) {
    tuneAllocator();
    try {
        return runMarlet(argc, argv, team);
    } catch (const std::bad_alloc&) {
        std::cout.flush();
        const std::runtime_error oom(
            "out of memory (std::bad_alloc): the run does not fit in this machine's memory; use a larger -epsilon, a "
            "smaller budget -k, fewer threads -t, a -mem limit or a smaller network");
        std::cerr << "marlet: " << (team != nullptr ? team->fault(oom) : std::string(oom.what())) << '\n';
        return 1;
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "marlet: " << (team != nullptr ? team->fault(e) : std::string(e.what())) << '\n';
        return 1;
    }
}

}  // namespace lattis
