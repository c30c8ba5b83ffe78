// marlet's command line: its option table (name, value, default, meaning),
// from which its usage and its check for unknown names come, and the step
// that reads every value before anything is loaded, so that a mistyped value
// is refused at once. Ranges that depend on the network (k and delta against
// n) are checked once it is loaded.
//
// A new option is one row of kMarletOptions plus the line of
// readMarletOptions that reads it into MarletOptions.
#pragma once

#include <optional>
#include <string>

#include "io/optionTable.h"
#include "programs/entrySteps.h"
#include "selection/budgetGreedy.h"

namespace lattis {

class OptionParser;

inline constexpr OptionRow kMarletOptions[] = {
    {"-i", "FILE", "network.bin", "network file (binary, as netpack writes it)"},
    {"-b", "FILE", "", "benefit file: n numbers, the i-th the benefit of node i; required"},
    {"-c", "FILE", "every cost 1e-9", "cost file: n numbers, the i-th the cost of node i (unit of -k)"},
    {"-m", "LT|IC", "LT", "diffusion model: Linear Threshold or Independent Cascade"},
    {"-epsilon", "E", "0.1", "accuracy, E > 0; a smaller E draws more samples"},
    {"-delta", "D", "1/n", "failure probability, 0 < D < 4"},
    {"-k", "K", "100", "budget in cost units, K > 0; from n - 1 on, Lambda counts the seeds K buys"},
    {"-select", "stop|fill", "stop", "stop: end at the first node over budget; fill: skip it, spend the rest"},
    {"-t", "T", "1", "sampling threads, 1..1024; results do not depend on T"},
    {"-o", "FILE", "network.seeds", "seed file to write, one chosen node id a line"},
    {"-seed", "S", "the clock", "generator seed, 0..4294967295; the same S, the same seeds"},
    {"-mem", "MB", "MemAvailable", "most megabytes the sample store may take"},
    {"-timing", "0|1", "0", "1: a line of the run's figures on standard error"},
    {"-sampler", "classic|fast", "classic", "reverse samplers; fast: the same distribution, fewer draws"},
    {"-load", "copy|map", "copy", "map: read the network file through a mapping, copying nothing; it must not change meanwhile"},
    {"-json", "FILE", "", "also write the settings, seeds and figures as JSON to FILE"},
    {"-map", "FILE", "", "netpack's id map of the network: seeds as original ids in the JSON"},
    {"-pairs", "FILE|none", "db_Enron.txt", "pair list whose counts \"Estimate Influence\" sums; none: no list (0)"},
    {"-progress", "0|1", "1 on a terminal, else 0", "1: a progress line per iteration on standard error; 0: none"},
    {"-stop", "threshold|certified", "threshold", "certified: stop once the seeds' ratio to the best is proved"},
    {"-ratio", "R", "1 - 1/sqrt(e) - epsilon", "-stop certified: the ratio to prove, 0 < R <= 1"},
};

// The usage of -h/--help and of a malformed command line.
std::string marletUsage();

struct MarletOptions {
    CommonOptions common;
    std::optional<std::string> cost;   // -c
    std::optional<double> delta;        // -delta as given; common.delta is set once n is known
    double k = 100;                     // -k
    SelectRule select = SelectRule::Stop;  // -select
    std::optional<double> memoryLimit;  // -mem, in bytes
    bool timing = false;                // -timing
    bool certified = false;             // -stop certified
    double ratio = 0;                   // -ratio, or its default
    bool ratioGiven = false;            // -ratio is on the command line
};

// -ratio's default for an epsilon: 1 - 1/sqrt(e) - epsilon, what the greedy
// by gain per cost with the best single node guarantees, less the accuracy.
double defaultRatio(float epsilon);

// The pair list's -pairs, taken from the command line before it is checked,
// since the list is read first: the value of the first -pairs among the
// name-value pairs up to any malformation; absent without one.
std::optional<std::string> pairListOption(int argc, char** argv);

// Every value of a command line that passed the parser and whose model is
// known (knownModel); clockSeed is the seed when -seed is absent. Throws
// std::invalid_argument naming the option for a value that is refused.
MarletOptions readMarletOptions(const OptionParser& op, unsigned clockSeed);

}  // namespace lattis
