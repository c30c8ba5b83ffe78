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

#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "atomicFile.h"
#include "cliArgs.h"
#include "graph.h"
#include "marletRun.h"
#include "lattis.h"
#include "option.h"
#include "pairList.h"
#include "procutil.h"
#include "schedule.h"
#include "textReader.h"

namespace {

constexpr const char* kPairList = "db_Enron.txt";

// Every option name marlet reads; any other name given is ignored with a note.
constexpr std::string_view kKnownOptions[] = {"-i", "-b",   "-c",    "-m",   "-epsilon", "-delta",  "-k",   "-t",
                                              "-o", "-seed", "-mem", "-timing", "-sampler", "-json"};

void note(const std::string& text) { std::cerr << "marlet: note: " << text << '\n'; }

void printUsage(std::ostream& os) {
    os << "usage: marlet [-i network.bin] [-b benefit-file] [-c cost-file] [-m LT|IC]\n"
          "              [-epsilon 0.1] [-delta 1/n] [-k 100] [-t 1] [-o network.seeds]\n"
          "              [-seed unsigned] [-mem MB] [-timing 0|1]\n"
          "every option is a name and one value; see readme.txt\n";
}

// The pair-count table of the reference list, read through standard input
// as a stream; empty, with a note, when the list is absent.
PairList readReferencePairs() {
    if (std::freopen(kPairList, "r", stdin) == nullptr) {
        if (errno != ENOENT) throw std::runtime_error(std::string(kPairList) + ": cannot open: " + std::strerror(errno));
        note(std::string(kPairList) + " not found in the working directory: the pair-count table is empty, so "
             "\"Estimate Influence\" reports 0");
        return {};
    }
    TextReader in(fileno(stdin), kPairList, TextReader::kDefaultBuffer);
    return readPairList(in);
}

const char* paraOr(const OptionParser& op, const char* name, const char* def) {
    const char* v = op.getPara(name);
    return v != nullptr ? v : def;
}

// One line on a terminal's standard error, rewritten per iteration.
class ProgressLine {
public:
    ProgressLine() : shown(isatty(STDERR_FILENO) == 1) {}
    ~ProgressLine() { clear(); }
    bool enabled() const { return shown; }
    void show(const Progress& p) {
        std::fprintf(stderr, "\rmarlet: iteration %d, %lld hyperedges, coverage %lld of %.1f (%.1f%%), %.1f s\033[K",
                     p.iteration, p.hyperedges, p.coverage, p.lambda,
                     100.0 * static_cast<double>(p.coverage) / p.lambda, p.seconds);
        std::fflush(stderr);
        drawn = true;
    }
    void clear() {
        if (!drawn) return;
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        drawn = false;
    }

private:
    bool shown;
    bool drawn = false;
};

int runMarlet(int argc, char** argv) {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    // A closed standard output or error is then a failed write, reported,
    // instead of a kill that could leave files half done.
    std::signal(SIGPIPE, SIG_IGN);
    const PairList pairCount = readReferencePairs();

    OptionParser op(argc, argv);
    if (!op.validCheck()) {
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
        std::cout << "Incorrect model option!";
        return -1;
    }
    const bool ic = model == "IC";

    // Every numeric option is read before the network, so that a mistyped
    // value is refused at once; the ranges that depend on n are checked after.
    const double epsilonValue = realOption(op, "-epsilon", 0.1);
    const bool deltaGiven = op.getPara("-delta") != nullptr;
    const double deltaValue = realOption(op, "-delta", 0.0);
    const double k = realOption(op, "-k", 100.0);
    const int threads = threadOption(op, "-t", 1);
    if (op.getPara("-seed") != nullptr) std::srand(static_cast<unsigned>(intOption(op, "-seed", 0, 0, UINT32_MAX)));
    std::optional<double> memoryLimit;
    if (op.getPara("-mem") != nullptr) {
        const double mb = realOption(op, "-mem", 0.0);
        if (!(mb > 0 && std::isfinite(mb)))
            throw std::invalid_argument("option -mem: " + std::string(op.getPara("-mem")) +
                                        " is out of range: the limit must be a finite number of megabytes greater than 0");
        memoryLimit = mb * 1024.0 * 1024.0;
    }
    const bool timing = intOption(op, "-timing", 0, 0, 1) == 1;

    Graph g(BenefitLayout::Dense);
    if (ic)
        g.readGraphIC(networkFile, benefitFile);
    else
        g.readGraphLT(networkFile, benefitFile);
    const int n = g.getSize();
    if (pairCount.tableSize() != 0 && static_cast<long long>(pairCount.tableSize()) != n + 1LL)
        note(std::string(kPairList) + " states a table of A = " + std::to_string(pairCount.tableSize()) +
             " entries, but this network has n + 1 = " + std::to_string(n + 1LL) +
             ": the list may belong to another network, so \"Estimate Influence\" may count unrelated pairs");

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
    std::vector<double> degree(static_cast<std::size_t>(n) + 1, 0.0);
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
    ProgressLine progress;
    if (progress.enabled()) settings.progress = [&progress](const Progress& p) { progress.show(p); };

    const std::clock_t start = std::clock();
    const ScheduleResult result = runSchedule(g, hg, costs, settings, seeds, degree, totalDegree);
    const std::clock_t stop = std::clock();
    progress.clear();
    if (result.emptySelection)
        note("no node fits the budget: the node the selection ranks first costs more than -k " + std::to_string(k) +
             ", so the seed set is empty");

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
    std::printf("Total Benefit: %0.2lf\n",
                g.getPositiveBenefit() * static_cast<double>(totalDegree) / static_cast<double>(hg.getNumEdge()));
    const float seconds = static_cast<float>(stop - start) / 1000000;
    std::cout << "Time: " << static_cast<double>(seconds) << "s\n";
    std::cout << "Memory: " << getCurrentMemoryUsage() << " MB\n";
    std::cout << "Estimate Influence: " << pairCountOf(pairCount, seeds) << "\n";
    std::cout.flush();
    if (std::fflush(stdout) != 0 || std::ferror(stdout) || !std::cout) {
        std::cerr << "marlet: cannot write the report to standard output: " << std::strerror(errno) << '\n';
        return 1;
    }

    if (timing) {
        const auto peak = peakResidentBytes();
        std::fprintf(stderr,
                     "marlet: timing: iterations %d, hyperedges %d, lambda %.1f, sampling %.3f s, selection %.3f s, "
                     "peak memory %.1f MB\n",
                     result.iterations, hg.getNumEdge(), th.lambda, result.samplingSeconds, result.selectionSeconds,
                     peak ? static_cast<double>(*peak) / (1024.0 * 1024.0) : 0.0);
    }
    if (!seedFileError.empty()) {
        std::cerr << "marlet: " << seedFileError << '\n';
        return 1;
    }
    return 0;
}

}  // namespace

int marletMain(int argc, char** argv) {
    try {
        return runMarlet(argc, argv);
    } catch (const std::bad_alloc&) {
        std::cout.flush();
        std::cerr << "marlet: out of memory (std::bad_alloc): the run does not fit in this machine's memory; use a "
                     "larger -epsilon, a smaller budget -k, fewer threads -t, a -mem limit or a smaller network\n";
        return 1;
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "marlet: " << e.what() << '\n';
        return 1;
    }
}
