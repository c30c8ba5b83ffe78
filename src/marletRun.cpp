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
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cliArgs.h"
#include "graph.h"
#include "marletRun.h"
#include "lattis.h"
#include "option.h"
#include "procutil.h"
#include "schedule.h"
#include "teamHooks.h"

namespace {

constexpr const char* kPairList = "db_Enron.txt";

void note(const std::string& text) { std::cerr << "marlet: note: " << text << '\n'; }

void printUsage(std::ostream& os) {
    os << "usage: marlet [-i network.bin] [-b benefit-file] [-c cost-file] [-m LT|IC]\n"
          "              [-epsilon 0.1] [-delta 1/n] [-k 100] [-t 1] [-o network.seeds]\n"
          "              [-seed unsigned] [-mem MB] [-timing 0|1]\n"
          "every option is a name and one value; see readme.txt\n";
}

// The pair-count table of the reference list, read through standard input;
// empty, with a note, when the list is absent.
std::vector<int> readReferencePairs() {
    if (std::freopen(kPairList, "r", stdin) == nullptr) {
        if (errno != ENOENT) throw std::runtime_error(std::string(kPairList) + ": cannot open: " + std::strerror(errno));
        note(std::string(kPairList) + " not found in the working directory: the pair-count table is empty, so "
             "\"Estimate Influence\" reports 0");
        return {};
    }
    std::string text;
    char buf[1 << 16];
    std::size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, stdin)) > 0) text.append(buf, got);
    if (std::ferror(stdin)) throw std::runtime_error(std::string(kPairList) + ": read error");
    return parsePairList(text, kPairList);
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

int runMarlet(int argc, char** argv, const TeamHooks* team) {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    const std::vector<int> pairCount = readReferencePairs();

    OptionParser op(argc, argv);
    if (!op.validCheck()) {
        std::cout << "Parameters error, please check the readme.txt file for correct format!" << std::endl;
        printUsage(std::cerr);
        return -1;
    }
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
    const int threads = static_cast<int>(intOption(op, "-t", 1, 1, INT_MAX));
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

    ScheduleSettings settings;
    settings.lambda = th.lambda;
    settings.k = k;
    settings.threads = threads;
    settings.ic = ic;
    settings.memoryLimit = memoryLimit;
    settings.team = team;
    ProgressLine progress;
    if (progress.enabled()) settings.progress = [&progress](const Progress& p) { progress.show(p); };

    const std::clock_t start = std::clock();
    const ScheduleResult result = runSchedule(g, hg, costs, settings, seeds, degree, totalDegree);
    const std::clock_t stop = std::clock();
    progress.clear();
    if (result.emptySelection)
        note("no node fits the budget: the node the selection ranks first costs more than -k " + std::to_string(k) +
             ", so the seed set is empty");
    if (team != nullptr && !team->reports) return 0;

    std::cout << "Seed Nodes: ";
    std::FILE* out = std::fopen(seedFile, "w");
    std::string seedFileError = out == nullptr ? std::string("cannot create it: ") + std::strerror(errno) : "";
    for (int s : seeds) {
        std::cout << s << ' ';
        if (out != nullptr && seedFileError.empty() && (std::fprintf(out, "%d\n", s) < 0 || std::fflush(out) != 0))
            seedFileError = std::string("cannot write it: ") + std::strerror(errno);
    }
    if (out != nullptr && std::fclose(out) != 0 && seedFileError.empty())
        seedFileError = std::string("cannot write it: ") + std::strerror(errno);
    std::cout << "\n\n";
    std::printf("Total Benefit: %0.2lf\n",
                g.getPositiveBenefit() * static_cast<double>(totalDegree) / static_cast<double>(result.hyperedges));
    const float seconds = static_cast<float>(stop - start) / 1000000;
    std::cout << "Time: " << static_cast<double>(seconds) << "s\n";
    std::cout << "Memory: " << getCurrentMemoryUsage() << " MB\n";
    std::cout << "Estimate Influence: " << pairCountOf(pairCount, seeds) << "\n";
    std::cout.flush();

    if (timing) {
        const auto peak = peakResidentBytes();
        std::fprintf(stderr,
                     "marlet: timing: iterations %d, hyperedges %lld, lambda %.1f, sampling %.3f s, selection %.3f s, "
                     "peak memory %.1f MB\n",
                     result.iterations, result.hyperedges, th.lambda, result.samplingSeconds, result.selectionSeconds,
                     peak ? static_cast<double>(*peak) / (1024.0 * 1024.0) : 0.0);
    }
    if (!seedFileError.empty()) {
        std::cerr << "marlet: seed file " << seedFile << ": " << seedFileError << '\n';
        return 1;
    }
    return 0;
}

}  // namespace

int marletMain(int argc, char** argv, const TeamHooks* team) {
    try {
        return runMarlet(argc, argv, team);
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "marlet: " << (team != nullptr ? team->fault(e) : std::string(e.what())) << '\n';
        return 1;
    }
}
