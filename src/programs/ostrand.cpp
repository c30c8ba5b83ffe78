// ostrand: estimates the benefit that a seed set (a seed file as marlet
// writes it) reaches on a network under the LT or IC model.
//
// The run is a sequence of named steps: parse the options (all of them
// checked before anything is loaded), load the network and the seed file,
// estimate, build the report, print. The network, the benefits and the seed
// file are validated by their readers. The usage of -h/--help, and the fixed
// messages of a rejected command line, an unknown model and a missing seed
// file go to standard output with their fixed statuses; every other fault is
// one "ostrand: ..." line on standard error and status 1.
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <ctime>
#include <exception>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "estimate/blockEstimate.h"
#include "estimate/estimate.h"
#include "graph/graph.h"
#include "io/cliArgs.h"
#include "io/jsonReport.h"
#include "io/option.h"
#include "io/optionTable.h"
#include "io/progressLine.h"
#include "io/seedFile.h"
#include "programs/entrySteps.h"
#include "sampling/fastSampler.h"
#include "sampling/hyperGraph.h"
#include "version.h"

namespace lattis {

namespace {

// Samples drawn at most, unless -maxsamples says otherwise.
constexpr long long kDefaultMaxSamples = 1000000000;

// A new option is one row here plus the line of readOptions that reads it.
constexpr OptionRow kOstrandOptions[] = {
    {"-s", "FILE", "", "seed file: node ids 1..n separated by whitespace; required"},
    {"-i", "FILE", "network.bin", "network file (binary, as netpack writes it)"},
    {"-b", "FILE", "nodeBenefit.txt", "benefit file: n numbers, the i-th the benefit of node i"},
    {"-m", "LT|IC", "LT", "diffusion model: Linear Threshold or Independent Cascade"},
    {"-epsilon", "E", "0.1", "relative accuracy, E > 0"},
    {"-delta", "D", "0.01", "failure probability, 0 < D < 2"},
    {"-t", "T", "1", "sampling threads, 1..1024"},
    {"-seed", "S", "the clock", "generator seed, 0..4294967295"},
    {"-c", "FILE", "", "accepted and ignored (costs are not used)"},
    {"-json", "FILE", "", "also write the estimate, its figures and the settings as JSON to FILE"},
    {"-map", "FILE", "", "netpack's id map of the network: seeds as original ids in the JSON"},
    {"-sampler", "classic|fast", "classic", "reverse samplers; fast: fewer draws, the same estimate for any -t"},
    {"-load", "copy|map", "copy", "map: read the network file through a mapping, copying nothing; it must not change meanwhile"},
    {"-maxsamples", "N", "1000000000", "most samples to draw before giving up, N >= 1"},
    {"-progress", "0|1", "1 on a terminal, else 0", "1: progress lines of samples and hits on standard error; 0: none"},
};

std::string ostrandUsage() {
    return usageText("ostrand " LATTIS_VERSION, "ostrand -s SEEDFILE [OPTION VALUE]...", kOstrandOptions);
}

struct OstrandOptions {
    CommonOptions common;
    long long maxSamples = kDefaultMaxSamples;  // -maxsamples
    bool seedGiven = false;                     // -seed, rather than the clock
};

// The option's value in single precision, refused unless the rounded value
// satisfies ok; the message names the option and the valid range.
float floatOption(const OptionParser& op, const char* name, double def, bool (*ok)(float), const char* range) {
    const float v = static_cast<float>(realOption(op, name, def));
    if (!ok(v))
        throw std::invalid_argument(std::string("option ") + name + ": " + op.getPara(name) + " is out of range: " +
                                    range);
    return v;
}

// Refuses accuracy settings whose stopping bound overflows.
void checkBoundIsFinite(float epsilon, float delta) {
    if (std::isfinite(stoppingBound(epsilon, delta))) return;
    std::ostringstream msg;
    msg << "options -epsilon " << epsilon << " and -delta " << delta
        << ": the stopping bound on hits overflows single precision; choose an epsilon nearer to 0.1";
    throw std::invalid_argument(msg.str());
}

// Every value of a command line that passed the parser and whose model is
// known, in this order, so that the first bad one is the one named.
OstrandOptions readOptions(const OptionParser& op) {
    OstrandOptions o;
    CommonOptions& c = o.common;
    c.network = textOption(op, "-i", "network.bin");
    c.benefit = textOption(op, "-b", "nodeBenefit.txt");
    c.model = textOption(op, "-m", "LT") == "IC" ? Model::IC : Model::LT;
    c.seedFile = textOption(op, "-s");
    c.map = textOption(op, "-map");
    o.seedGiven = op.getPara("-seed") != nullptr;
    c.seed = o.seedGiven ? static_cast<unsigned>(intOption(op, "-seed", 0, 0, UINT_MAX))
                                            : static_cast<unsigned>(std::time(nullptr));
    c.epsilon = floatOption(
        op, "-epsilon", 0.1, [](float e) { return e > 0.0f && std::isfinite(e); },
        "epsilon must be greater than 0 (and finite in single precision)");
    c.delta = floatOption(
        op, "-delta", 0.01, [](float d) { return d > 0.0f && d < 2.0f; },
        "delta must lie strictly between 0 and 2 (in single precision)");
    checkBoundIsFinite(c.epsilon, c.delta);
    c.threads = threadOption(op, "-t", 1);
    c.sampler = samplerOption(op);
    c.load = loadOption(op);
    o.maxSamples = intOption(op, "-maxsamples", kDefaultMaxSamples, 1);
    checkHitsWithinCap(c.epsilon, c.delta, o.maxSamples, {"options", "-epsilon", "-delta", "-maxsamples"});
    c.json = textOption(op, "-json");
    c.progress = progressOption(op);
    return o;
}

// The report: the common part, the estimate and how it was reached.
OstrandReport reportOf(const OstrandOptions& opt, const Graph& graph, const std::vector<int>& seeds,
                       const std::vector<std::uint64_t>& idMap, const BlockEstimate& counts) {
    OstrandReport r;
    r.common = commonReport(opt.common, graph, seeds, idMap);
    r.maxSamples = opt.maxSamples;
    r.estimate = counts.estimate;
    r.samples = counts.samples;
    r.hits = counts.hits;
    r.stoppingBound = stoppingBound(opt.common.epsilon, opt.common.delta);
    return r;
}

// The JSON report against every input, before anything is loaded.
void checkOstrandFiles(const CommonOptions& c) {
    const NamedFile inputs[] = {
        {"-i", c.network}, {"-b", c.benefit.value_or("")}, {"-s", c.seedFile.value_or("")}, {"-map", c.map.value_or("")}};
    if (c.json) checkFileNames(inputs, std::vector<NamedFile>{{"-json", *c.json}});
}

// An estimate that stopped at -maxsamples short of its hits is no answer.
int refuseCapped(const OstrandOptions& opt, const BlockEstimate& counts) {
    std::cerr << "ostrand: stopped at the cap of " << opt.maxSamples << " samples (-maxsamples) with " << counts.hits
              << " of the " << neededHits(opt.common.epsilon, opt.common.delta)
              << " hits that -epsilon and -delta ask for: the seeds reach too little benefit for an estimate "
                 "of that accuracy (about "
              << counts.estimate << " from what was drawn); raise -maxsamples or -epsilon\n";
    return 1;
}

int runOstrand(const OptionParser& op) {
    if (!knownModel(op)) return refuseModel();
    const OstrandOptions opt = readOptions(op);
    checkOstrandFiles(opt.common);
    // The store takes its generator seed from the next rand() value.
    std::srand(opt.common.seed);
    // Created now, so that an unusable place is refused before the run.
    std::optional<JsonReportFile> json;
    if (opt.common.json) json.emplace(*opt.common.json);

    Graph graph(BenefitLayout::Compact);
    // The fast sampler builds its tables from the mapped probabilities.
    if (opt.common.sampler == SamplerKind::Fast) graph.deferThresholds();
    loadGraph("ostrand", graph, opt.common);
    const int n = graph.getSize();
    const std::vector<std::uint64_t> idMap = idMapOf(opt.common, n);
    HyperGraph hyperGraph(static_cast<unsigned>(n), graph);
    // With -seed, a generator of ostrand's own (keyCheckGenerator); a
    // clock-seeded run keeps the one it always had.
    if (opt.seedGiven) keyCheckGenerator(hyperGraph, opt.common.seed);
    if (!opt.common.seedFile) {
        std::cout << "No seed file!" << std::endl;
        return 1;
    }
    const std::vector<int> seeds = readSeedFile(*opt.common.seedFile, n);
    if (graph.hasNegativeBenefit())
        std::cerr << "ostrand: note: some benefits are negative; the estimate is scaled by the sum of the "
                     "positive benefits ("
                  << graph.getPositiveBenefit() << "), the mass that roots are drawn from\n";

    ProgressLine progress(opt.common.progress);
    const std::clock_t start = std::clock();
    const Stopwatch wall;
    std::function<void(long long, long long)> show;
    if (progress.enabled())
        show = [&progress](long long samples, long long hits) {
            progress.show("ostrand: " + std::to_string(samples) + " samples, " + std::to_string(hits) + " hits");
        };
    const BlockEstimate counts = estimateSeeds(graph, hyperGraph, seeds, opt.common, opt.maxSamples, show);
    progress.clear();
    const double wallSeconds = wall.seconds();
    const double processorSeconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    OstrandReport report = reportOf(opt, graph, seeds, idMap, counts);
    report.wallSeconds = wallSeconds;
    report.processorSeconds = processorSeconds;

    if (counts.capped) return refuseCapped(opt, counts);
    std::cout << report.estimate << std::endl;
    if (!standardOutputWritten("ostrand", "the estimate")) return 1;
    if (json) json->commit(report);
    return 0;
}

}  // namespace

int ostrandMain(int argc, char** argv) {
    if (helpAsked(argc, argv)) return printUsage(ostrandUsage());
    // A closed standard output is then a failed write, reported by the run.
    std::signal(SIGPIPE, SIG_IGN);
    OptionParser op(argc, argv);
    if (!op.validCheck()) return refuseCommandLine(ostrandUsage());
    noteUnknownOptions("ostrand", argc, argv, kOstrandOptions);
    try {
        return runOstrand(op);
    } catch (const std::bad_alloc&) {
        std::cerr << "ostrand: out of memory (std::bad_alloc): the run does not fit in this machine's memory; use "
                     "fewer threads -t or a smaller network\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "ostrand: " << e.what() << '\n';
        return 1;
    }
}

}  // namespace lattis

int main(int argc, char** argv) { return lattis::ostrandMain(argc, argv); }
