// ostrand: estimates the benefit that a seed set (a seed file as marlet
// writes it) reaches on a network under the LT or IC model.
//
// The command line, the model and the numeric options are checked before
// anything is loaded; the network, the benefits and the seed file are
// validated by their readers. The fixed messages of a rejected command line,
// an unknown model and a missing seed file go to standard output with their
// fixed statuses; every other fault is one "ostrand: ..." line on standard
// error and status 1.
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "estimate/blockEstimate.h"
#include "io/cliArgs.h"
#include "estimate/estimate.h"
#include "sampling/fastSampler.h"
#include "graph/graph.h"
#include "io/idMap.h"
#include "io/jsonReport.h"
#include "sampling/hyperGraph.h"
#include "io/option.h"
#include "io/progressLine.h"
#include "io/runReport.h"
#include "selection/schedule.h"
#include "version.h"

namespace lattis {

namespace {

// Samples drawn at most, unless -maxsamples says otherwise.
constexpr long long kDefaultMaxSamples = 1000000000;
// Every option name ostrand reads; any other name given is ignored with a note.
constexpr std::string_view kKnownOptions[] = {"-i",    "-b", "-c",    "-m",       "-epsilon", "-delta",     "-t",
                                              "-s",    "-seed", "-sampler", "-json", "-map", "-maxsamples"};

const char* const kUsage =
    "ostrand " LATTIS_VERSION "\n"
    "usage: ostrand -s <seed file> [-i <network file>] [-b <benefit file>] [-m LT|IC]\n"
    "               [-epsilon <e>] [-delta <d>] [-t <threads>] [-seed <n>] [-c <cost file>]\n"
    "               [-json <file>] [-map <map file>]\n"
    "               [-sampler classic|fast] [-maxsamples <n>]\n"
    "  -s        seed file: node ids (1..n) separated by whitespace; required\n"
    "  -i        network file (binary)                      default network.bin\n"
    "  -b        benefit file (n numbers)                   default nodeBenefit.txt\n"
    "  -m        diffusion model, LT or IC                  default LT\n"
    "  -epsilon  relative accuracy, > 0                     default 0.1\n"
    "  -delta    failure probability, 0 < delta < 2         default 0.01\n"
    "  -t        threads, >= 1                              default 1\n"
    "  -seed     random seed, 0..4294967295                 default: the clock\n"
    "  -c        accepted and ignored (node costs are not used)\n"
    "  -json     also write the report as JSON to this file\n"
    "  -map      netpack's id map of the network: original ids in the JSON report\n"
    "  -sampler  reverse samplers: classic, or fast (same distribution,  default classic\n"
    "            fewer draws; the estimate then repeats for any -t)\n"
    "  -maxsamples  most samples to draw before giving up           default 1000000000\n"
    "Options are name-value pairs in any order; see readme.txt.\n";

// The option's value in single precision, refused unless the rounded value
// satisfies ok; the message names the option and the valid range.
float floatOption(const OptionParser& op, const char* name, double def, bool (*ok)(float), const char* range) {
    const float v = static_cast<float>(realOption(op, name, def));
    if (!ok(v))
        throw std::invalid_argument(std::string("option ") + name + ": " + op.getPara(name) + " is out of range: " +
                                    range);
    return v;
}

}  // namespace

int ostrandMain(int argc, char** argv) {
    // A closed standard output is then a failed write, reported below.
    std::signal(SIGPIPE, SIG_IGN);
    OptionParser op(argc, argv);
    if (!op.validCheck()) {
        std::cout << "Parameters error, please check the readme.txt file for correct format!" << std::endl;
        std::cerr << kUsage;
        return -1;
    }
    for (const std::string& name : unknownOptions(argc, argv, kKnownOptions))
        std::cerr << "ostrand: note: option " << name
                  << " is not known and was ignored (names are case-sensitive; see readme.txt)\n";
    try {
        const char* network = op.getPara("-i") != nullptr ? op.getPara("-i") : "network.bin";
        const char* benefit = op.getPara("-b") != nullptr ? op.getPara("-b") : "nodeBenefit.txt";
        const std::string model = op.getPara("-m") != nullptr ? op.getPara("-m") : "LT";
        if (model != "LT" && model != "IC") {
            std::cout << "Incorrect model option!" << std::flush;
            return -1;
        }

        // The store takes its generator seed from the next rand() value.
        const unsigned seed = op.getPara("-seed") != nullptr
                                  ? static_cast<unsigned>(intOption(op, "-seed", 0, 0, UINT_MAX))
                                  : static_cast<unsigned>(std::time(nullptr));
        std::srand(seed);

        const float epsilon = floatOption(
            op, "-epsilon", 0.1, [](float e) { return e > 0.0f && std::isfinite(e); },
            "epsilon must be greater than 0 (and finite in single precision)");
        const float delta = floatOption(
            op, "-delta", 0.01, [](float d) { return d > 0.0f && d < 2.0f; },
            "delta must lie strictly between 0 and 2 (in single precision)");
        if (!std::isfinite(stoppingBound(epsilon, delta))) {
            std::ostringstream msg;
            msg << "options -epsilon " << epsilon << " and -delta " << delta
                << ": the stopping bound on hits overflows single precision; choose an epsilon nearer to 0.1";
            throw std::invalid_argument(msg.str());
        }
        const int threads = threadOption(op, "-t", 1);
        const SamplerKind sampler = samplerOption(op);
        const long long maxSamples = intOption(op, "-maxsamples", kDefaultMaxSamples, 1);
        if (neededHits(epsilon, delta) > maxSamples) {
            std::ostringstream msg;
            msg << "options -epsilon " << epsilon << " and -delta " << delta << " ask for "
                << neededHits(epsilon, delta) << " hits, more than the cap of " << maxSamples
                << " samples (-maxsamples) could ever give; choose a larger -epsilon or -delta, or raise -maxsamples";
            throw std::invalid_argument(msg.str());
        }
        std::optional<JsonReportFile> json;
        if (op.getPara("-json") != nullptr) json.emplace(op.getPara("-json"));

        Graph graph(BenefitLayout::Compact);
        if (model == "LT")
            graph.readGraphLT(network, benefit);
        else
            graph.readGraphIC(network, benefit);
        const int n = graph.getSize();
        std::vector<std::uint64_t> idMap;
        if (op.getPara("-map") != nullptr) idMap = readIdMap(op.getPara("-map"), n);

        HyperGraph hyperGraph(static_cast<unsigned>(n), graph);

        const char* seedFile = op.getPara("-s");
        if (seedFile == nullptr) {
            std::cout << "No seed file!" << std::endl;
            return 1;
        }
        const std::vector<int> seeds = readSeedFile(seedFile, n);

        if (graph.hasNegativeBenefit())
            std::cerr << "ostrand: note: some benefits are negative; the estimate is scaled by the sum of the "
                         "positive benefits ("
                      << graph.getPositiveBenefit() << "), the mass that roots are drawn from\n";

        const int m = model == "IC" ? 1 : 0;
        ProgressLine progress;
        std::function<void(long long, long long)> show;
        if (progress.enabled())
            show = [&progress](long long samples, long long hits) {
                progress.show("ostrand: " + std::to_string(samples) + " samples, " + std::to_string(hits) + " hits");
            };
        const std::clock_t start = std::clock();
        const auto wallStart = std::chrono::steady_clock::now();
        InfluenceCounts counts;
        if (sampler == SamplerKind::Fast) {
            const FastSampler fast(graph);
            EstimateSettings settings;
            settings.threads = threads;
            settings.epsilon = epsilon;
            settings.delta = delta;
            settings.ic = m != 0;
            settings.fast = &fast;
            settings.maxSamples = maxSamples;
            settings.progress = show;
            const BlockEstimate e = estimateInBlocks(graph, hyperGraph, seeds, settings);
            counts = {e.samples, e.hits, e.estimate, e.capped};
        } else {
            counts = estimateInfluence(graph, hyperGraph, seeds, threads, epsilon, delta, m, maxSamples, show);
        }
        progress.clear();
        OstrandReport report;
        report.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        report.processorSeconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
        report.network = network;
        report.benefit = benefit;
        report.model = model;
        report.epsilon = epsilon;
        report.delta = delta;
        report.threads = threads;
        report.seedFile = seedFile;
        report.seed = seed;
        if (op.getPara("-map") != nullptr) {
            report.map = op.getPara("-map");
            report.originalIds = originalIds(idMap, seeds);
        }
        report.nodes = n;
        report.arcs = graph.getEdge();
        report.seeds = seeds;
        report.estimate = counts.estimate;
        report.samples = counts.samples;
        report.hits = counts.hits;
        report.stoppingBound = stoppingBound(epsilon, delta);
        if (const auto peak = peakResidentBytes()) report.peakMemoryMB = static_cast<double>(*peak) / (1024.0 * 1024.0);

        report.sampler = sampler == SamplerKind::Fast ? "fast" : "classic";
        report.maxSamples = maxSamples;
        if (counts.capped) {
            std::cerr << "ostrand: stopped at the cap of " << maxSamples << " samples (-maxsamples) with "
                      << counts.hits << " of the " << neededHits(epsilon, delta)
                      << " hits that -epsilon and -delta ask for: the seeds reach too little benefit for an estimate "
                         "of that accuracy (about "
                      << counts.estimate << " from what was drawn); raise -maxsamples or -epsilon\n";
            return 1;
        }
        std::cout << report.estimate << std::endl;
        if (std::fflush(stdout) != 0 || std::ferror(stdout) || !std::cout) {
            std::cerr << "ostrand: cannot write the estimate to standard output: " << std::strerror(errno) << '\n';
            return 1;
        }
        if (json) json->commit(report);
        return 0;
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
