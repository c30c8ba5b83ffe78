// The doubling loop of the selection program; see schedule.h.
#include "selection/schedule.h"

#include <chrono>

#include "mpi/teamHooks.h"
#include "sampling/generate.h"
#include "sampling/hyperGraph.h"
#include "selection/selection.h"
#include "selection/selectionTables.h"
#include "selection/storeGuard.h"

namespace lattis {

ScheduleResult runSchedule(const Graph& g, HyperGraph& hg, const std::vector<float>& costs,
                           const ScheduleSettings& settings, std::vector<int>& seeds,
                           std::vector<double>& degree, long long& totalDegree) {
    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); };
    const Clock::time_point begin = Clock::now();
    const unsigned n = static_cast<unsigned>(g.getSize());
    ScheduleResult result;
    long long batch = static_cast<long long>(settings.lambda);
    totalDegree = 0;
    // A team of processes (marlet-mpi) agrees after each step of local work
    // that every process finished it, counts the run's hyperedges over all
    // stores and selects over their union; one process does each directly.
    const TeamHooks* team = settings.team;
    const BlockShare share = team != nullptr ? team->share : BlockShare{};
    auto runEdges = [team, &hg] { return team != nullptr ? team->sum(hg.getNumEdge()) : hg.getNumEdge(); };
    const MemoryRoom room{settings.memoryLimit, settings.available};
    // The store only grows here, so one set of tables serves every selection.
    SelectionTables tables(static_cast<int>(n), costs.data());
    runTogether(team, [] {});  // every process has read its inputs
    while (settings.lambda > static_cast<double>(totalDegree)) {
        seeds.clear();
        const long long stored = runEdges();
        const Clock::time_point t0 = Clock::now();
        runTogether(team, [&] {
            guardBatch(hg, stored, share, batch, room, settings.lambda, result.iterations + 1, totalDegree);
            addHyperedge(g, hg, settings.threads, batch, settings.fast, share);
        });
        const Clock::time_point t1 = Clock::now();
        batch *= 2;
        result.selection = team != nullptr
                               ? team->select(hg, seeds, n, settings.k, costs, degree, totalDegree, settings.rule)
                               : buildSeedSetCost(hg, tables, seeds, settings.k, degree, totalDegree, settings.rule,
                                                  settings.threads);
        const Clock::time_point t2 = Clock::now();
        result.samplingSeconds += seconds(t0, t1);
        result.selectionSeconds += seconds(t1, t2);
        ++result.iterations;
        result.hyperedges = runEdges();
        if (settings.progress)
            settings.progress({result.iterations, result.hyperedges, totalDegree, settings.lambda, seconds(begin, t2)});
        if (settings.stopHere) {
            const bool last = seeds.empty() || !(settings.lambda > static_cast<double>(totalDegree));
            const bool stop = settings.stopHere(seeds, totalDegree, result.hyperedges, last);
            result.stopHereSeconds += seconds(t2, Clock::now());
            if (stop && !last) {
                result.stoppedHere = true;
                break;
            }
        }
        // A selection that took nothing covers nothing, and more hyperedges
        // seldom change which node ranks first: stop rather than sample on
        // without bound.
        if (seeds.empty()) {
            result.emptySelection = true;
            break;
        }
    }
    return result;
}

}  // namespace lattis
