// Greedy budgeted cover of the stored hyperedges: take the node with the most
// uncovered hyperedges per unit of cost while the budget rule (budgetGreedy.h)
// lets it.
//
// Assumes the store is fully indexed (getNode lists every hyperedge that holds
// the node) and that node ids in hyperedges lie in 1..n. Gains are kept exact:
// every newly covered hyperedge lowers the gain of each of its other nodes at
// once and re-sifts that node, so the heap top is always the true best ratio
// and no lazy re-evaluation is needed. The heap is BudgetGreedy's
// MappedHeap<InfCost> over all n nodes, built from the nodes the store holds
// (the others have gain 0 and wait in the slots the build leaves them), on
// tables a run keeps across its selections (selectionTables.h), so the work
// follows the store; what is left of n is one bit per node to list the
// nodes held. Marking, listing and the heap's build run on `threads`
// threads from kParallelGainsFrom nodes on; the picks on the calling thread.
// degree is normally sized n + 1 by the caller; a shorter one is grown as
// seeds are taken.
#include <algorithm>
#include <cassert>
#include <span>
#include <vector>

#include "selection/selection.h"
#include "core/tuning.h"

namespace lattis {

namespace {
constexpr std::size_t kLookahead = kSelectionLookahead;
constexpr std::size_t kNodeLookahead = kSelectionNodeLookahead / 2;
constexpr std::size_t kLoweredStretch = kSelectionLoweredStretch;
}  // namespace

SelectionSummary buildSeedSetCost(const HyperGraph& hg, std::vector<int>& seeds, unsigned n, double k,
                                  const std::vector<float>& costs, std::vector<double>& degree,
                                  long long& totalDegree, SelectRule rule, int threads) {
    assert(costs.size() >= n);
    SelectionTables tables(static_cast<int>(n), costs.data());
    return buildSeedSetCost(hg, tables, seeds, k, degree, totalDegree, rule, threads);
}

SelectionSummary buildSeedSetCost(const HyperGraph& hg, SelectionTables& tables, std::vector<int>& seeds, double k,
                                  std::vector<double>& degree, long long& totalDegree, SelectRule rule, int threads) {
    BudgetGreedy greedy(tables, k, rule, degree, totalDegree);
    const int team = tables.nodes() >= kParallelGainsFrom ? threads : 1;
    greedy.start(tables.storedGains(hg, team), team);

    const long long numEdge = hg.getNumEdge();
    std::vector<bool> edgeMark(static_cast<std::size_t>(numEdge), false);
    // The nodes whose gains a pick lowers, in the order they are lowered,
    // gathered a stretch at a time so that their gains, heap positions and
    // slots can be asked for ahead across hyperedge boundaries.
    std::vector<int> lowered;
    lowered.reserve(kLoweredStretch + kLoweredStretch / 4);
    auto lowerGathered = [&] {
        const std::size_t count = lowered.size();
        for (std::size_t i = 0; i < count; ++i) {
            if (i + kSelectionNodeLookahead < count) greedy.prefetch(lowered[i + kSelectionNodeLookahead]);
            if (i + kNodeLookahead < count) greedy.prefetchSlot(lowered[i + kNodeLookahead]);
            greedy.lower(lowered[i]);
        }
        lowered.clear();
    };
    const std::size_t before = seeds.size();
    while (const int maxInd = greedy.next()) {
        seeds.push_back(maxInd);
        // The covered hyperedges lie all over the store and their node lists
        // miss the cache; requesting the list a few places ahead lets that
        // miss overlap the work on the current one.
        std::span<const int> list = hg.getNode(maxInd);
        for (std::size_t j = 0; j < list.size(); ++j) {
            if (j + kLookahead < list.size() && !edgeMark[list[j + kLookahead]])
                __builtin_prefetch(hg.getEdge(list[j + kLookahead]).data());
            const int h = list[j];
            if (edgeMark[h]) continue;
            edgeMark[h] = true;
            for (int u : hg.getEdge(h))
                if (u != maxInd) lowered.push_back(u);
            if (lowered.size() >= kLoweredStretch) lowerGathered();
        }
        lowerGathered();
    }
    if (const int single = greedy.finish()) {
        seeds.resize(before);
        seeds.push_back(single);
    }
    return greedy.summary();
}

}  // namespace lattis
