// The cost-aware greedy cover of buildSeedSetCost split over the processes of
// a run whose store is divided by blocks (blockShare.h), with exactly the
// seeds of one process over the whole store.
//
// The seeds depend on the heap's tie rules, so the gains must change in the
// one-process order: after each pick, for each newly covered hyperedge in
// increasing run-wide id, each of its nodes but the pick, in stored order, is
// decremented and re-sifted. One process, the root, keeps the run's gains and
// the heap (GreedyRoot); every process keeps the coverage marks of its own
// hyperedges (CoverageShard) and reports, per pick, its newly covered
// hyperedges as one stream; the root merges the streams by hyperedge id.
//
// A stream is a sequence of records [run-wide hyperedge id, m, u1 .. um]: the
// hyperedge's nodes other than the pick, in stored order; records in
// increasing id. Moving the numbers between processes is the caller's part.
#pragma once

#include <span>
#include <vector>

#include "mpi/blockShare.h"
#include "sampling/hyperGraph.h"
#include "selection/budgetGreedy.h"

namespace lattis {

// One process's part: its store, its block share and its coverage marks.
class CoverageShard {
public:
    CoverageShard(const HyperGraph& hg, const BlockShare& share);

    // How many of this process's hyperedges hold each node: entry x - 1 for
    // node x, n entries. Summed over the processes: the initial gains.
    std::vector<int> localGains(unsigned n) const;

    // Marks this process's hyperedges of `pick` that were not yet covered and
    // writes them to `stream` (emptied first), in increasing id.
    void cover(int pick, std::vector<int>& stream);

private:
    const HyperGraph& hg;
    BlockShare share;
    std::vector<bool> edgeMark;
};

// The root's part: the run's gains, the heap and the budget rule
// (BudgetGreedy, as buildSeedSetCost uses it); degree and totalDegree are its
// results, written as buildSeedSetCost writes them.
class GreedyRoot {
public:
    // gains: the run's gains (entry x - 1 for node x); costs as in buildSeedSetCost.
    GreedyRoot(const std::vector<int>& gains, double k, const std::vector<float>& costs, std::vector<double>& degree,
               long long& totalDegree, SelectRule rule = SelectRule::Stop);

    // Takes the next node within the budget and books its gain; 0 when the
    // selection ends.
    int next() { return greedy.next(); }

    // Applies the streams of every process after a pick, merged by hyperedge id.
    void apply(std::span<const std::span<const int>> streams);

    // Ends the selection: the node that replaces every pick, or 0 (BudgetGreedy::finish).
    int finish() { return greedy.finish(); }
    SelectionSummary summary() const { return greedy.summary(); }

private:
    SelectionTables tables;
    BudgetGreedy greedy;
    std::vector<std::size_t> cursor;
};

}  // namespace lattis
