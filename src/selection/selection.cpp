// Greedy budgeted cover of the stored hyperedges: take the node with the most
// uncovered hyperedges per unit of cost while the budget rule (budgetGreedy.h)
// lets it.
//
// Assumes the store is fully indexed (getNode lists every hyperedge that holds
// the node) and that node ids in hyperedges lie in 1..n. Gains are kept exact:
// every newly covered hyperedge lowers the gain of each of its other nodes at
// once and re-sifts that node, so the heap top is always the true best ratio
// and no lazy re-evaluation is needed. The heap (BudgetGreedy's RatioHeap)
// orders and breaks ties as MappedHeap<InfCost> over the same gains and
// costs. Runs on the calling thread. degree is normally sized n + 1 by the caller; a shorter
// one is grown as seeds are taken.
#include <cassert>
#include <span>
#include <vector>

#include "selection/selection.h"
#include "core/tuning.h"

namespace lattis {

namespace {
constexpr std::size_t kLookahead = kSelectionLookahead;
}

SelectionSummary buildSeedSetCost(const HyperGraph& hg, std::vector<int>& seeds, unsigned n, double k,
                                  const std::vector<float>& costs, std::vector<double>& degree,
                                  long long& totalDegree, SelectRule rule) {
    assert(costs.size() >= n);
    const int nodes = static_cast<int>(n);
    BudgetGreedy greedy(nodes, costs.data(), k, rule, degree, totalDegree);
    int* gain = greedy.gains();
    for (int j = 0; j < nodes; ++j) gain[j] = static_cast<int>(hg.getNode(j + 1).size());
    greedy.start();

    const long long numEdge = hg.getNumEdge();
    std::vector<bool> edgeMark(static_cast<std::size_t>(numEdge), false);
    const std::size_t before = seeds.size();
    while (const int maxInd = greedy.next()) {
        seeds.push_back(maxInd);
        // The covered hyperedges lie all over the store and their node lists
        // miss the cache; requesting the list a few places ahead lets that
        // miss overlap the heap work on the current one.
        std::span<const int> list = hg.getNode(maxInd);
        for (std::size_t j = 0; j < list.size(); ++j) {
            if (j + kLookahead < list.size() && !edgeMark[list[j + kLookahead]])
                __builtin_prefetch(hg.getEdge(list[j + kLookahead]).data());
            int h = list[j];
            if (edgeMark[h]) continue;
            for (int u : hg.getEdge(h))
                if (u != maxInd) greedy.lower(u);
            edgeMark[h] = true;
        }
    }
    if (const int single = greedy.finish()) {
        seeds.resize(before);
        seeds.push_back(single);
    }
    return greedy.summary();
}

}  // namespace lattis
