// The selection program's sample-size schedule and the readers of its inputs.
//
// The coverage threshold (Lambda) is computed from the node count n, the
// budget k and the accuracy parameters epsilon and delta, with the constants
// and the single-precision steps the program has always used, so that a given
// input yields the same threshold, the same batch sizes and so the same seeds.
// The doubling loop then samples batches of hyperedges and reruns the greedy
// selection until the seeds cover Lambda hyperedges.
//
// Everything here prints nothing: readers and checks throw std::runtime_error
// (files) or std::invalid_argument (parameters) with a one-line message, and
// the loop reports progress through a callback. The entry does the printing.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "selection/budgetGreedy.h"

namespace lattis {

class FastSampler;
class Graph;
class HyperGraph;
struct TeamHooks;

// The derived values of the threshold, each as the program computes it.
struct Threshold {
    double L = 0;         // lgamma(n + 1) - lgamma(k + 1) - lgamma(n - k - 1)
    double alpha = 0;
    double beta = 0;
    double epsPrime = 0;  // the scaled accuracy
    double lambda = 0;    // the coverage threshold
};

// The arithmetic alone, without checks: for inputs outside the valid range the
// values are NaN or infinite, exactly as the formulas give them.
Threshold computeThreshold(int n, double k, float epsilon, float delta);

// Largest threshold a run can reach: the store holds at most this many hyperedges.
inline constexpr double kMaxLambda = 2147483647.0;

// The seed count the threshold is computed for: the budget k itself below
// n - 1; from n - 1 on (costs in large units), the number of seeds k buys,
// the cheapest nodes first (costs[x - 1] the cost of node x), at most n - 2,
// where the threshold's log-binomial term is defined.
double thresholdSeeds(int n, double k, const std::vector<float>& costs);

// The most iterations the doubling loop can run for threshold Lambda: it
// ends at the latest before a batch (in whole blocks of 10000) would take
// the store past kMaxLambda hyperedges. At least 1.
int maxIterations(double lambda);

// Refuses parameters for which the threshold is undefined or the loop cannot
// end, with a message naming the parameter and its valid range: n < 2,
// k <= 0, epsilon <= 0, delta outside (0, 4), 2L / delta <= 1, and thresholds
// below one hyperedge or above kMaxLambda. Returns the threshold for
// thresholdSeeds(n, k, costs) otherwise.
Threshold checkedThreshold(int n, double k, float epsilon, float delta, const std::vector<float>& costs);

// The floor of every cost: values of at most 1e-9 are stored as this.
inline constexpr float kMinCost = static_cast<float>(1e-9);

class TextReader;

// Reads the costs from a reader: whitespace-separated numbers, the i-th (from
// 0) the cost of node i + 1; exactly n are taken and nothing after them is
// read. Returns n + 1 floats, the first n used. Throws std::runtime_error
// naming the reader's label, the line and the value's position when a token
// is not a finite number or fewer than n values are present.
std::vector<float> readCosts(TextReader& in, unsigned n);

// readCosts over text in memory, named `name` in messages.
std::vector<float> parseCosts(std::string_view text, unsigned n, const std::string& name);

// Reads the cost file `path` with readCosts; throws when it cannot be opened
// or read (a directory included).
std::vector<float> readCostFile(const std::string& path, unsigned n);

// Every node at kMinCost: the costs of a run without a cost file.
std::vector<float> defaultCosts(unsigned n);

// The value in kB of the line "<key>: <value> kB" of a /proc file's text
// (/proc/meminfo, /proc/self/status), or nothing when the line is absent.
std::optional<std::uint64_t> procFieldKilobytes(std::string_view text, std::string_view key);

// MemAvailable of /proc/meminfo in bytes, or nothing when it cannot be read.
std::optional<std::uint64_t> memAvailableBytes();

// Peak resident memory of this process (VmHWM) in bytes, or nothing.
std::optional<std::uint64_t> peakResidentBytes();

// Bytes the store will hold once `newEdges` more hyperedges join it, taking
// each new hyperedge at the average size of the stored ones (one node, its
// root, while the store is empty): 8 bytes per stored node id (the hyperedge
// and the index each keep it as an int) and 8 per hyperedge (its offset).
double estimateStoreBytes(std::uint64_t storedNodes, std::uint64_t numEdges, std::uint64_t newEdges);

// What the loop tells its caller after each iteration.
struct Progress {
    int iteration = 0;
    long long hyperedges = 0;
    long long coverage = 0;
    double lambda = 0;
    double seconds = 0;  // wall time since the loop began
};

struct ScheduleSettings {
    double lambda = 0;
    double k = 0;
    SelectRule rule = SelectRule::Stop;  // -select
    int threads = 1;
    const FastSampler* fast = nullptr;  // the fast samplers, or null for the classic ones
    // Memory the store may take, in bytes, when smaller than MemAvailable.
    std::optional<double> memoryLimit;
    // Memory available now, asked before every batch; memAvailableBytes by default.
    std::function<std::optional<std::uint64_t>()> available = memAvailableBytes;
    std::function<void(const Progress&)> progress;
    // marlet-mpi: this process's part in a run split over several processes
    // (teamHooks.h); null for a run of one process.
    const TeamHooks* team = nullptr;
    // Called after every selection, whether it chose seeds or not, with the
    // seeds, the hyperedges they cover, the run's hyperedges and whether the
    // loop ends after this selection anyway; true ends the loop here, with
    // these seeds. Every process of a team calls it alike.
    std::function<bool(const std::vector<int>& seeds, long long coverage, long long hyperedges, bool last)>
        stopHere;
};

struct ScheduleResult {
    int iterations = 0;
    bool emptySelection = false;  // the selection chose no node and the loop stopped
    double samplingSeconds = 0;   // wall time of generation and indexing
    double selectionSeconds = 0;  // wall time of the greedy selections
    long long hyperedges = 0;     // hyperedges of the whole run (all processes) at the end
    SelectionSummary selection;   // of the last selection
    bool stoppedHere = false;     // stopHere ended the loop before the threshold
    double stopHereSeconds = 0;   // wall time of the stopHere calls
};

// The doubling loop: while Lambda exceeds the coverage, empty `seeds`,
// generate a batch (first trunc(Lambda), doubling after each generation),
// select on the whole store. Stops early, with emptySelection, when a
// selection chooses no node, and, with stoppedHere, when stopHere says so.
// Before each batch it estimates the store after the batch and throws std::runtime_error, saying the coverage reached and
// what to change, when that exceeds the available memory or the store's
// hyperedge limit. costs has at least n entries; degree n + 1. With a team,
// this process samples its share of each batch, the memory guard weighs its
// own store, and the hyperedge limit, the selection and the stopping test
// cover the whole run.
ScheduleResult runSchedule(const Graph& g, HyperGraph& hg, const std::vector<float>& costs,
                           const ScheduleSettings& settings, std::vector<int>& seeds,
                           std::vector<double>& degree, long long& totalDegree);

}  // namespace lattis
