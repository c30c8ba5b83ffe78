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
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cliArgs.h"
#include "estimate.h"
#include "graph.h"
#include "lattis.h"
#include "option.h"

namespace {

// Every option name ostrand reads; any other name given is ignored with a note.
constexpr std::string_view kKnownOptions[] = {"-i", "-b", "-c", "-m", "-epsilon", "-delta",
                                              "-t", "-s", "-seed", "-sampler", "-json"};

const char* const kUsage =
    "usage: ostrand -s <seed file> [-i <network file>] [-b <benefit file>] [-m LT|IC]\n"
    "               [-epsilon <e>] [-delta <d>] [-t <threads>] [-seed <n>] [-c <cost file>]\n"
    "  -s        seed file: node ids (1..n) separated by whitespace; required\n"
    "  -i        network file (binary)                      default network.bin\n"
    "  -b        benefit file (n numbers)                   default nodeBenefit.txt\n"
    "  -m        diffusion model, LT or IC                  default LT\n"
    "  -epsilon  relative accuracy, > 0                     default 0.1\n"
    "  -delta    failure probability, 0 < delta < 2         default 0.01\n"
    "  -t        threads, >= 1                              default 1\n"
    "  -seed     random seed, 0..4294967295                 default: the clock\n"
    "  -c        accepted and ignored (node costs are not used)\n"
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

int main(int argc, char** argv) {
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

        Graph graph(BenefitLayout::Compact);
        if (model == "LT")
            graph.readGraphLT(network, benefit);
        else
            graph.readGraphIC(network, benefit);
        const int n = graph.getSize();

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
        calculateInfluence(graph, hyperGraph, seeds, threads, epsilon, delta, m);
        if (std::fflush(stdout) != 0 || std::ferror(stdout) || !std::cout) {
            std::cerr << "ostrand: cannot write the estimate to standard output: " << std::strerror(errno) << '\n';
            return 1;
        }
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
