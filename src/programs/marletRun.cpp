// marlet: chooses a seed set within a cost budget that reaches the most
// benefit under the LT or IC model, by reverse sampling in doubling batches
// and greedy selection, and writes the seeds to a file with a five-line report.
//
// Standard output carries only the report and the two fixed messages (invalid
// command line, unknown model), which end the run with status 255; every other
// failure is one "marlet: ..." line on standard error and status 1, and notes
// about defaults in force go to standard error too. The reference pair list
// "db_Enron.txt" is read through standard input before the options are parsed.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <ctime>
#include <future>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "io/atomicFile.h"
#include "core/allocatorTuning.h"
#include "estimate/blockEstimate.h"
#include "io/cliArgs.h"
#include "sampling/fastSampler.h"
#include "graph/graph.h"
#include "io/idMap.h"
#include "io/jsonReport.h"
#include "programs/marletRun.h"
#include "sampling/hyperGraph.h"
#include "io/option.h"
#include "io/progressLine.h"
#include "io/pairList.h"
#include "core/memoryProbe.h"
#include "io/runReport.h"
#include "selection/schedule.h"
#include "mpi/teamHooks.h"
#include "io/textReader.h"
#include "core/threadTeam.h"
#include "version.h"

namespace lattis {

namespace {

constexpr const char* kPairList = "db_Enron.txt";
// Most fresh samples the report's benefit estimate may draw.
constexpr long long kReportSampleCap = 100000000;

// Every option name marlet reads; any other name given is ignored with a note.
constexpr std::string_view kKnownOptions[] = {"-i", "-b",   "-c",    "-m",   "-epsilon", "-delta",  "-k",   "-t",
                                              "-o", "-seed", "-mem", "-timing", "-sampler", "-json", "-map"};

void note(const std::string& text) { std::cerr << "marlet: note: " << text << '\n'; }

void printUsage(std::ostream& os) {
    os << "marlet " LATTIS_VERSION "\n"
          "usage: marlet [-i network.bin] [-b benefit-file] [-c cost-file] [-m LT|IC]\n"
          "              [-epsilon 0.1] [-delta 1/n] [-k 100] [-t 1] [-o network.seeds]\n"
          "              [-seed unsigned] [-mem MB] [-timing 0|1] [-json FILE] [-map FILE]\n"
          "              [-sampler classic|fast]\n"
          "every option is a name and one value; see readme.txt\n";
}

// The pair-count table of the reference list, read through standard input
// as a stream; empty, with a note, when the list is absent. The list is
// opened on the calling thread and parsed on a thread of its own while the
// options are read, the network loads and the seeds are chosen (on large
// networks each takes seconds). get() waits for it; the run calls it before
// it uses the table and before it reports any other fault, so that a fault
// of the list is the one reported, as when the list was read before
// anything else.
class ReferencePairs {
public:
    // A process that does not report (the other ranks of marlet-mpi) has
    // no use for the table and reads nothing.
    explicit ReferencePairs(bool wanted) {
        if (!wanted) return;
        if (std::freopen(kPairList, "r", stdin) == nullptr) {
            if (errno != ENOENT)
                throw std::runtime_error(std::string(kPairList) + ": cannot open: " + std::strerror(errno));
            note(std::string(kPairList) + " not found in the working directory: the pair-count table is empty, so "
                 "\"Estimate Influence\" reports 0");
            return;
        }
        reader = std::thread([this] {
            const auto start = std::chrono::steady_clock::now();
            try {
                TextReader in(fileno(stdin), kPairList, TextReader::kDefaultBuffer);
                table = readPairList(in);
            } catch (...) {
                fault = std::current_exception();
            }
            parseSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        });
    }
    ReferencePairs(const ReferencePairs&) = delete;
    ReferencePairs& operator=(const ReferencePairs&) = delete;
    ~ReferencePairs() { wait(); }
    // The table; throws the list's fault.
    const PairList& get() {
        wait();
        if (fault) std::rethrow_exception(fault);
        return table;
    }
    // The list's fault, or null, once the parse has ended.
    std::exception_ptr failure() {
        wait();
        return fault;
    }
    // Wall seconds the parse took (on its own thread).
    double seconds() {
        wait();
        return parseSeconds;
    }

private:
    void wait() {
        if (reader.joinable()) reader.join();
    }
    std::thread reader;
    PairList table;
    std::exception_ptr fault;
    double parseSeconds = 0;
};

const char* paraOr(const OptionParser& op, const char* name, const char* def) {
    const char* v = op.getPara(name);
    return v != nullptr ? v : def;
}

// Wall seconds since construction.
class Stopwatch {
public:
    double seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); }

private:
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

// The loop's progress as the terminal line shows it.
std::string progressText(const Progress& p) {
    char text[200];
    std::snprintf(text, sizeof text, "marlet: iteration %d, %lld hyperedges, coverage %lld of %.1f (%.1f%%), %.1f s",
                  p.iteration, p.hyperedges, p.coverage, p.lambda, 100.0 * static_cast<double>(p.coverage) / p.lambda,
                  p.seconds);
    return text;
}

int runAfterPairs(int argc, char** argv, const TeamHooks* team, const Stopwatch& watch, MarletReport& report,
                  ReferencePairs& pairs) {
    OptionParser op(argc, argv);
    if (!op.validCheck()) {
        pairs.get();
        std::cout << "Parameters error, please check the readme.txt file for correct format!" << std::endl;
        printUsage(std::cerr);
        return -1;
    }
    for (const std::string& name : unknownOptions(argc, argv, kKnownOptions))
        note("option " + name + " is not known and was ignored (names are case-sensitive; see readme.txt)");
    const char* networkFile = paraOr(op, "-i", "network.bin");
    const char* benefitFile = op.getPara("-b");
    const char* costFile = op.getPara("-c");
    const std::string model = paraOr(op, "-m", "LT");
    if (model != "LT" && model != "IC") {
        pairs.get();
        std::cout << "Incorrect model option!";
        return -1;
    }
    const bool ic = model == "IC";
    const double loadStart = watch.seconds();

    // Every numeric option is read before the network, so that a mistyped
    // value is refused at once; the ranges that depend on n are checked after.
    const double epsilonValue = realOption(op, "-epsilon", 0.1);
    const bool deltaGiven = op.getPara("-delta") != nullptr;
    const double deltaValue = realOption(op, "-delta", 0.0);
    const double k = realOption(op, "-k", 100.0);
    const int threads = threadOption(op, "-t", 1);
    if (op.getPara("-seed") != nullptr) {
        report.seed = static_cast<unsigned>(intOption(op, "-seed", 0, 0, UINT32_MAX));
        std::srand(report.seed);
    }
    std::optional<double> memoryLimit;
    if (op.getPara("-mem") != nullptr) {
        const double mb = realOption(op, "-mem", 0.0);
        if (!(mb > 0 && std::isfinite(mb)))
            throw std::invalid_argument("option -mem: " + std::string(op.getPara("-mem")) +
                                        " is out of range: the limit must be a finite number of megabytes greater than 0");
        memoryLimit = mb * 1024.0 * 1024.0;
    }
    const bool timing = intOption(op, "-timing", 0, 0, 1) == 1;
    const SamplerKind sampler = samplerOption(op);
    std::optional<JsonReportFile> json;
    if (op.getPara("-json") != nullptr) json.emplace(op.getPara("-json"));

    Graph g(BenefitLayout::Dense);
    if (ic)
        g.readGraphIC(networkFile, benefitFile);
    else
        g.readGraphLT(networkFile, benefitFile);
    const int n = g.getSize();
    // The fast samplers' tables hold all they read of the thresholds but
    // for LT nodes they still search; without those the thresholds go,
    // before anything else is allocated: on large networks they are a third
    // of the memory.
    std::optional<FastSampler> fast;
    if (sampler == SamplerKind::Fast) {
        fast.emplace(g);
        if (!fast->needsThresholds()) g.releaseThresholds();
    }
    std::vector<std::uint64_t> idMap;
    if (op.getPara("-map") != nullptr) idMap = readIdMap(op.getPara("-map"), n);

    std::vector<float> costs;
    if (costFile != nullptr) {
        costs = readCostFile(costFile, static_cast<unsigned>(n));
    } else {
        note("no cost file given (-c): every cost is 1e-9, so the budget buys every node");
        costs = defaultCosts(static_cast<unsigned>(n));
    }

    const float epsilon = static_cast<float>(epsilonValue);
    const float delta = deltaGiven ? static_cast<float>(deltaValue) : static_cast<float>(1.0 / n);
    const Threshold th = checkedThreshold(n, k, epsilon, delta);
    if (g.hasNegativeBenefit())
        note("some benefits are negative: roots are drawn among the positive ones, so the estimate is scaled by "
             "their sum " + std::to_string(g.getPositiveBenefit()) + ", not by the total " +
             std::to_string(g.getTotalBenefit()));

    HyperGraph hg(static_cast<unsigned>(n), g);
    const double loadSeconds = watch.seconds() - loadStart;
    // Coverage per number of seeds; the selection grows it as seeds are
    // taken, so it holds one entry per seed, not one per node.
    std::vector<double> degree(1, 0.0);
    std::vector<int> seeds;
    long long totalDegree = 0;
    const char* seedFile = paraOr(op, "-o", "network.seeds");
    // Created now, so that an unwritable place is refused before sampling.
    AtomicFile out(seedFile, std::string("seed file ") + seedFile, AtomicFile::Special::WriteInPlace, true);

    ScheduleSettings settings;
    settings.lambda = th.lambda;
    settings.k = k;
    settings.threads = threads;
    settings.ic = ic;
    settings.memoryLimit = memoryLimit;
    settings.fast = fast ? &*fast : nullptr;
    settings.team = team;
    ProgressLine progress;
    if (progress.enabled()) settings.progress = [&progress](const Progress& p) { progress.show(progressText(p)); };

    const std::clock_t start = std::clock();
    const auto wallStart = std::chrono::steady_clock::now();
    const ScheduleResult result = runSchedule(g, hg, costs, settings, seeds, degree, totalDegree);
    // The bytes of every process's store, entry r for process r (summed
    // over the processes, the others' entries being 0).
    const BlockShare share = team != nullptr ? team->share : BlockShare{};
    std::vector<long long> storeBytes;
    auto storeFigures = [&] {
        storeBytes.assign(static_cast<std::size_t>(share.ranks), 0);
        storeBytes[static_cast<std::size_t>(share.rank)] = static_cast<long long>(hg.storeUsedBytes());
    };
    runTogether(team, storeFigures);
    if (team != nullptr) team->sumEach(storeBytes);
    // The seeds were chosen to cover the stored hyperedges, so their share
    // of them overstates what the seeds are worth; the reported benefit is
    // estimated from fresh samples instead.
    const double inSample =
        g.getPositiveBenefit() * static_cast<double>(totalDegree) / static_cast<double>(result.hyperedges);
    EstimateSettings estimate;
    estimate.threads = threads;
    estimate.epsilon = epsilon;
    estimate.delta = delta;
    estimate.ic = ic;
    estimate.fast = settings.fast;
    estimate.maxSamples = kReportSampleCap;
    estimate.team = team;
    if (progress.enabled())
        estimate.progress = [&progress](long long samples, long long hits) {
            progress.show("marlet: estimating the seeds' benefit: " + std::to_string(samples) + " samples, " +
                          std::to_string(hits) + " hits");
        };
    const double estimateStart = watch.seconds();
    const BlockEstimate benefit = estimateInBlocks(g, hg, seeds, estimate);
    const double estimateSeconds = watch.seconds() - estimateStart;
    // Sampling is over: the memory figure should not count its records.
    hg.releaseSamplingScratch();
    restThreadTeam();
    // Every process of a split run has the seeds and the estimate; the first
    // alone reports and writes the seed file.
    if (team != nullptr && !team->reports) return 0;
    // The memory probe starts a shell and three tools: tens of milliseconds
    // on a small run. What it measures is final by now (what is left only
    // prints and writes the seed file), so it runs while the report is put
    // together and the seed file written; its text is converted, with any
    // message, where "Memory: " is printed.
    const double probeStart = watch.seconds();
    double probeSeconds = 0;
    auto probe = [&] {
        std::string total = memoryTotalText();
        probeSeconds = watch.seconds() - probeStart;
        return total;
    };
    std::future<std::string> memoryTotal;
    try {
        memoryTotal = std::async(std::launch::async, probe);
    } catch (const std::system_error&) {
        memoryTotal = std::async(std::launch::deferred, probe);  // no thread to spare: probe in place
    }
    const std::clock_t stop = std::clock();
    report.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    // The pair counts serve only the report's last line, so the list is
    // parsed on its thread through loading and sampling, filling what the
    // single-threaded steps leave of the machine; a fault of the list still
    // ends the run here, before any output.
    const PairList& pairCount = pairs.get();
    const double pairSeconds = pairs.seconds();
    if (pairCount.tableSize() != 0 && static_cast<long long>(pairCount.tableSize()) != n + 1LL)
        note(std::string(kPairList) + " states a table of A = " + std::to_string(pairCount.tableSize()) +
             " entries, but this network has n + 1 = " + std::to_string(n + 1LL) +
             ": the list may belong to another network, so \"Estimate Influence\" may count unrelated pairs");
    progress.clear();
    if (benefit.capped)
        note("the Total Benefit estimate stopped at its cap of " + std::to_string(kReportSampleCap) +
             " samples with " + std::to_string(benefit.hits) + " of the " + std::to_string(benefit.neededHits) +
             " hits that -epsilon and -delta ask for: the seeds reach little benefit, and the estimate's relative "
             "standard error is about 1/sqrt(hits), more than -epsilon promises");
    if (result.emptySelection)
        note("no node fits the budget: the node the selection ranks first costs more than -k " + std::to_string(k) +
             ", so the seed set is empty");

    report.network = networkFile;
    if (benefitFile != nullptr) report.benefit = benefitFile;
    if (costFile != nullptr) report.cost = costFile;
    report.model = model;
    report.epsilon = epsilon;
    report.delta = delta;
    report.k = k;
    report.threads = threads;
    report.seedFile = seedFile;
    if (memoryLimit) report.memoryLimitMB = *memoryLimit / (1024.0 * 1024.0);
    if (op.getPara("-map") != nullptr) {
        report.map = op.getPara("-map");
        report.originalIds = originalIds(idMap, seeds);
    }
    report.nodes = n;
    report.arcs = g.getEdge();
    report.seeds = seeds;
    report.sampler = sampler == SamplerKind::Fast ? "fast" : "classic";
    report.totalBenefit = benefit.estimate;
    report.inSampleBenefit = inSample;
    report.estimateSamples = benefit.samples;
    report.estimateHits = benefit.hits;
    report.estimateCapped = benefit.capped;
    report.pairListSeconds = pairSeconds;
    report.loadingSeconds = loadSeconds;
    report.estimateSeconds = estimateSeconds;
    report.processorSeconds = static_cast<float>(stop - start) / 1000000;
    report.estimateInfluence = pairCountOf(pairCount, seeds);
    report.iterations = result.iterations;
    report.hyperedges = result.hyperedges;
    report.coveredHyperedges = totalDegree;
    report.threshold = th.lambda;
    report.samplingSeconds = result.samplingSeconds;
    report.selectionSeconds = result.selectionSeconds;
    if (const auto peak = peakResidentBytes()) report.peakMemoryMB = static_cast<double>(*peak) / (1024.0 * 1024.0);
    for (long long bytes : storeBytes) report.storeMBPerRank.push_back(static_cast<double>(bytes) / (1024.0 * 1024.0));
    report.storeMB = report.storeMBPerRank[static_cast<std::size_t>(share.rank)];

    // The seed file is in place, complete, before the report is printed.
    std::string seedFileError;
    try {
        for (int s : seeds) {
            const std::string line = std::to_string(s) + "\n";
            out.write(line.data(), line.size());
        }
        out.finish();
        out.publish();
    } catch (const std::runtime_error& e) {
        seedFileError = e.what();
    }
    std::cout << "Seed Nodes: ";
    for (int s : seeds) std::cout << s << ' ';
    std::cout << "\n\n";
    std::printf("Total Benefit: %0.2lf\n", report.totalBenefit);
    std::cout << "Time: " << static_cast<double>(report.processorSeconds) << "s\n";
    // Probed here: a probe that finds no figure says so on standard output,
    // after "Memory: ".
    std::cout << "Memory: ";
    report.memoryMB = megabytesFromTotal(memoryTotal.get());
    report.memoryProbeSeconds = probeSeconds;
    std::cout << report.memoryMB << " MB\n";
    std::cout << "Estimate Influence: " << report.estimateInfluence << "\n";
    std::cout.flush();
    if (std::fflush(stdout) != 0 || std::ferror(stdout) || !std::cout) {
        std::cerr << "marlet: cannot write the report to standard output: " << std::strerror(errno) << '\n';
        return 1;
    }

    if (timing)
        std::fprintf(stderr,
                     "marlet: timing: iterations %d, hyperedges %lld, lambda %.1f, sampling %.3f s, selection %.3f s, "
                     "peak memory %.1f MB; total benefit %.2f from %lld fresh samples (%lld hits), in-sample benefit "
                     "%.2f over the selection's own hyperedges; pair list %.3f s, loading %.3f s, estimate %.3f s, "
                     "memory probe %.3f s, wall %.3f s, store %.1f MB\n",
                     report.iterations, report.hyperedges, report.threshold, report.samplingSeconds,
                     report.selectionSeconds, report.peakMemoryMB.value_or(0.0), report.totalBenefit,
                     report.estimateSamples, report.estimateHits, report.inSampleBenefit, report.pairListSeconds,
                     report.loadingSeconds, report.estimateSeconds, report.memoryProbeSeconds, watch.seconds(),
                     report.storeMB);
    if (timing && team != nullptr) {
        double most = 0, all = 0;
        std::fprintf(stderr, "marlet: timing: store per rank");
        for (double mb : report.storeMBPerRank) {
            std::fprintf(stderr, " %.1f", mb);
            most = std::max(most, mb);
            all += mb;
        }
        std::fprintf(stderr, " MB, max %.1f MB, sum %.1f MB\n", most, all);
    }
    if (!seedFileError.empty()) {
        std::cerr << "marlet: " << seedFileError << '\n';
        return 1;
    }
    if (json) json->commit(report);
    return 0;
}

int runMarlet(int argc, char** argv, const TeamHooks* team) {
    const Stopwatch watch;
    MarletReport report;
    report.seed = static_cast<unsigned>(std::time(nullptr));
    std::srand(report.seed);
    // A closed standard output or error is then a failed write, reported,
    // instead of a kill that could leave files half done.
    std::signal(SIGPIPE, SIG_IGN);
    ReferencePairs pairs(team == nullptr || team->reports);
    try {
        return runAfterPairs(argc, argv, team, watch, report, pairs);
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
