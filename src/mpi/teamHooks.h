// How one process of a seed-selection run split over several processes
// (marlet-mpi) takes part in the shared entry and doubling loop. The hooks are
// plain callables so that the entry and the loop need no message-passing
// library; marlet passes none and runs as the one process of its run.
//
// The agreement rule the hooks keep: every exchange between the processes is
// preceded by an agreement, and work that can fail (reading, sampling, the
// memory guard) runs between agreements, so a fault on any process reaches
// every process at the next agreement instead of leaving one waiting.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "mpi/blockShare.h"
#include "selection/budgetGreedy.h"

namespace lattis {

class HyperGraph;

struct TeamHooks {
    // The blocks this process samples and stores.
    BlockShare share;
    // Runs a step of local work, then agrees with the other processes that
    // all finished theirs; throws on every process when any of them failed.
    std::function<void(const std::function<void()>&)> together;
    // The sum of a count over the processes (an exchange: call it between steps).
    std::function<long long(long long)> sum;
    // Replaces every entry of a vector, of the same length on every process,
    // by its sum over the processes (an exchange: call it between steps).
    std::function<void(std::vector<long long>&)> sumEach;
    // The greedy selection over the union of the processes' stores, with
    // buildSeedSetCost's arguments and result: every process gets the seeds,
    // the coverage and the summary, the first process the degree table as well.
    std::function<SelectionSummary(const HyperGraph& hg, std::vector<int>& seeds, unsigned n, double k,
                                   const std::vector<float>& costs, std::vector<double>& degree,
                                   long long& totalDegree, SelectRule rule)>
        select;
    // The coverage upper bound of a certificate (selection/certificate.h)
    // over the union of the processes' stores, for every prefix of seeds:
    // coverageUpperBound's arguments and value, which every process gets.
    std::function<double(const HyperGraph& hg, const std::vector<int>& seeds, unsigned n, double k,
                         const std::vector<float>& costs)>
        upperBound;
    // Whether this process prints the report and writes the seed file.
    bool reports = true;
    // The one message a fault caught on this process ends the run with: it
    // is agreed with the other processes first (or ends them all at once).
    std::function<std::string(const std::exception&)> fault;
};

// Runs a step of local work as team->together does, or simply runs it when
// there is no team (one process).
inline void runTogether(const TeamHooks* team, const std::function<void()>& step) {
    team != nullptr ? team->together(step) : step();
}

}  // namespace lattis
