// The selection program's doubling loop: it samples batches of hyperedges
// and reruns the greedy selection until the seeds cover the coverage
// threshold Lambda (threshold.h), guarding each batch with the store's size
// estimate (storeGuard.h).
//
// It prints nothing: it throws std::runtime_error with a one-line message
// and reports progress through a callback. The entry does the printing.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/procStatus.h"
#include "selection/budgetGreedy.h"

namespace lattis {

class FastSampler;
class Graph;
class HyperGraph;
struct TeamHooks;

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
