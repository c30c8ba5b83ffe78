// The budget rule of the cost-aware greedy cover, written once for the
// one-process selection (selection.cpp) and the split one
// (distributedSelection.cpp): the gains, the heap by gain per cost, the
// running cost and which node comes next. The callers do the coverage work
// and report each lowered gain through lower().
//
// Two rules (option -select):
//  - Stop, the program's own: take the best ratio while the running cost is
//    below the budget; the first node that does not fit ends the selection,
//    zero gains included.
//  - Fill: a node that does not fit the budget left is dropped and the next
//    best is tried, until no node with a positive gain fits; then the best
//    single node the budget buys, by its coverage, replaces the greedy's set
//    when it covers more (the classic guard of the budgeted greedy, which
//    alone can be arbitrarily far from the best). Nodes whose gain is 0 are
//    never taken. The heap's gains are exact, so no re-evaluation is needed.
// Assumes every cost is positive (the cost reader floors them at 1e-9).
#pragma once

#include <cstddef>
#include <vector>

#include "selection/selectionTables.h"

namespace lattis {

enum class SelectRule { Stop, Fill };

// What a selection took and left, for the report.
struct SelectionSummary {
    std::size_t seedCount = 0;
    double costSpent = 0;
    // Stop only: the budget left buys a node, not chosen, whose gain is
    // positive (the fill rule would have used it).
    bool unspentUsable = false;
};

class BudgetGreedy {
public:
    // Over the nodes and costs of `tables`, whose gains and heap it uses.
    // Sets degree[0] and totalDegree to 0; degree grows as seeds are taken,
    // as buildSeedSetCost's does.
    BudgetGreedy(SelectionTables& tables, double k, SelectRule rule, std::vector<double>& degree,
                 long long& totalDegree);
    BudgetGreedy(const BudgetGreedy&) = delete;
    BudgetGreedy& operator=(const BudgetGreedy&) = delete;

    // The n gains (entry x - 1 for node x); the caller writes the positive
    // ones before start().
    int* gains() { return gain; }
    // Builds the heap from the gains: every gain not listed in `positive`
    // (entries x - 1, ascending) must be 0. The heap is the one of all n
    // nodes, built with work in the size of that list (and of the last
    // selection's on the same tables), on `threads` threads; the heap is the
    // same on any number.
    void start(std::vector<int> positive, int threads = 1);

    // The next node taken, its gain booked; 0 when the selection ends.
    int next();

    // Node u's gain fell by one (a hyperedge holding it was covered).
    void lower(int u) { resift(u, lowerGain(u)); }

    // lower(u) in two steps, for a caller with a run of lowerings between
    // two picks: the gain and the key it leaves first, then the sift with
    // that key. Taking all the run's keys in order and then sifting in
    // order gives the heap lower() gives, since a key reads only the gain
    // and cost, no sift changes them, and no pick comes between.
    float lowerGain(int u) {
        --gain[u - 1];
        return heap.keyOf(u - 1);
    }
    void resift(int u, float key) {
        // Under Fill a dropped node left the heap without being chosen.
        if (heap.contains(u - 1)) heap.decreasedTo(u - 1, key);
    }

    // Ask for what lowerGain(u) and resift(u) read, ahead of the calls;
    // the heap's in three steps, each once the one before has landed.
    void prefetchGain(int u) const {
        __builtin_prefetch(gain + (u - 1));
        __builtin_prefetch(cost + (u - 1));
    }
    void prefetchPlace(int u) const { heap.prefetchPlace(u - 1); }
    void prefetchEntry(int u) const { heap.prefetchEntry(u - 1); }
    void prefetchChildren(int u) const { heap.prefetchChildren(u - 1); }

    // Ends the selection. Fill: returns the best single node when it covers
    // more than the nodes taken, which it then replaces (degree and
    // totalDegree rewritten); otherwise, and under Stop, 0.
    int finish();

    SelectionSummary summary() const { return result; }

private:
    int n;
    const float* cost;
    double k;
    SelectRule rule;
    int* gain;
    SelectionTables::Heap& heap;
    std::vector<int> listed;  // the entries given to start()
    std::vector<double>& degree;
    long long& totalDegree;
    SelectionSummary result;
    bool ended = false;
    // Fill: the affordable node of most coverage before any pick, and it.
    int bestSingle = 0;
    long long bestSingleCoverage = 0;

    void take(int node);
};

}  // namespace lattis
