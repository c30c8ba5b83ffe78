// The steps that marlet's and ostrand's entries take alike: the options both
// read, the fixed messages of a refused command line, the notes on unknown
// options, loading the network, the report's common part and the check that
// standard output took the report.
//
// Each entry reads as a short sequence of steps: parse options, load the
// inputs, run, build the report, write the outputs, print. The entries print;
// these steps print only the fixed messages and notes named below.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "graph/model.h"
#include "io/cliArgs.h"
#include "io/fileIdentity.h"
#include "io/optionTable.h"
#include "io/runReport.h"
#include "estimate/blockEstimate.h"

namespace lattis {

class Graph;
class HyperGraph;
class OptionParser;

// The settings both programs take, as their option steps read them.
struct CommonOptions {
    std::string network;                   // -i
    std::optional<std::string> benefit;    // -b
    Model model = Model::LT;               // -m
    float epsilon = 0, delta = 0;          // -epsilon, -delta (marlet's delta once n is known)
    int threads = 1;                       // -t
    std::optional<std::string> seedFile;   // marlet's -o, ostrand's -s (required there)
    unsigned seed = 0;                     // -seed, or the clock's value when absent
    SamplerKind sampler = SamplerKind::Classic;  // -sampler
    NetworkLoad load = NetworkLoad::Copy;        // -load
    std::optional<std::string> json, map;  // -json, -map
    std::optional<bool> progress;          // -progress; absent: only on a terminal
};

// The value of option `name`, or nothing when it is absent.
std::optional<std::string> textOption(const OptionParser& op, const char* name);

// The value of option `name`, or `fallback` when it is absent.
std::string textOption(const OptionParser& op, const char* name, const char* fallback);

// The usage on standard output, for -h and --help; returns 0, the status.
int printUsage(const std::string& usage);

// A command line that is not made of name-value pairs: the fixed message on
// standard output, the usage on standard error; returns -1 (status 255).
int refuseCommandLine(const std::string& usage);

// -progress: 1 on, 0 off, absent when not given (ProgressLine's default).
std::optional<bool> progressOption(const OptionParser& op);

// Whether -m is absent (LT) or exactly LT or IC.
bool knownModel(const OptionParser& op);

// An unknown -m: the fixed message on standard output, without a line end;
// returns -1 (status 255).
int refuseModel();

// One note on standard error per option name that the table does not hold.
void noteUnknownOptions(std::string_view program, int argc, char** argv, std::span<const OptionRow> table);

// Refuses, before anything is read or written, an output whose name is
// empty and an output that is one of the inputs or another output
// (fileIdentity.h): std::invalid_argument with the clash's text. Absent
// files are left out of both lists; an empty input name is skipped.
void checkFileNames(std::span<const NamedFile> inputs, std::span<const NamedFile> outputs);

// Loads the network and benefits with the loader of the model; a header
// whose arc count disagrees with the degree lists is refused, naming the
// file and both figures. Under LT, one note on standard error when some
// nodes' in-weights sum above 1 (how many, and the largest sum).
void loadGraph(std::string_view program, Graph& g, const CommonOptions& opt);

// The id map of -map for n nodes; empty without -map.
std::vector<std::uint64_t> idMapOf(const CommonOptions& opt, int n);

// The report's common part: the settings in force, the network's size, the
// seeds with their original ids (with -map) and the peak memory so far.
CommonReport commonReport(const CommonOptions& opt, const Graph& g, const std::vector<int>& seeds,
                          const std::vector<std::uint64_t>& idMap);

// ostrand's estimate of the seeds' benefit by the sampler of -sampler
// (blockEstimate.h): the classic one in the order of thread streams, the
// fast one in block order; at most maxSamples samples. show, when set, gets
// the samples and hits so far after each round, outside the parallel
// region (so it may throw to end the run). The thresholds are released
// once the fast sampler's tables are built, unless it reads them.
BlockEstimate estimateSeeds(Graph& graph, HyperGraph& hyperGraph, const std::vector<int>& seeds,
                            const CommonOptions& c, long long maxSamples,
                            const std::function<void(long long, long long)>& show);

// Whether standard output took everything written to it; if not, one line
// "<program>: cannot write <what> to standard output: <cause>" on standard
// error.
bool standardOutputWritten(std::string_view program, std::string_view what);

// Wall seconds since construction.
class Stopwatch {
public:
    double seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); }

private:
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

}  // namespace lattis
