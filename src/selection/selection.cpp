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
// (the others have gain 0 and wait in the slots the build leaves them), so
// past the one scan of the index sizes the work follows the store, not n.
// The scan runs on `threads` threads; everything else on the calling thread.
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

// One thread's count, on a cache line of its own.
struct alignas(64) PaddedCount {
    std::size_t value = 0;
};

}  // namespace

std::vector<int> positiveGains(const HyperGraph& hg, int nodes, int* gain, int threads) {
    const int parts = std::max(1, threads);
    auto first = [nodes, parts](int p) { return static_cast<int>(static_cast<long long>(nodes) * p / parts); };
    // Two passes, so that nothing is allocated inside a parallel region: the
    // positive gains of each range are written and counted, then the list,
    // sized outside, is filled at each range's offset.
    std::vector<PaddedCount> count(static_cast<std::size_t>(parts));
#pragma omp parallel for schedule(static, 1) num_threads(parts) if (parts > 1)
    for (int p = 0; p < parts; ++p) {
        std::size_t c = 0;
        for (int x = first(p); x < first(p + 1); ++x) {
            const int g = static_cast<int>(hg.getNode(x + 1).size());
            if (g == 0) continue;
            gain[x] = g;
            ++c;
        }
        count[static_cast<std::size_t>(p)].value = c;
    }
    std::vector<std::size_t> offset(static_cast<std::size_t>(parts) + 1, 0);
    for (int p = 0; p < parts; ++p)
        offset[static_cast<std::size_t>(p) + 1] = offset[static_cast<std::size_t>(p)] + count[static_cast<std::size_t>(p)].value;
    std::vector<int> all(offset.back());
#pragma omp parallel for schedule(static, 1) num_threads(parts) if (parts > 1)
    for (int p = 0; p < parts; ++p) {
        std::size_t at = offset[static_cast<std::size_t>(p)];
        for (int x = first(p); x < first(p + 1); ++x)
            if (gain[x] != 0) all[at++] = x;
    }
    return all;
}

SelectionSummary buildSeedSetCost(const HyperGraph& hg, std::vector<int>& seeds, unsigned n, double k,
                                  const std::vector<float>& costs, std::vector<double>& degree,
                                  long long& totalDegree, SelectRule rule, int threads) {
    assert(costs.size() >= n);
    const int nodes = static_cast<int>(n);
    BudgetGreedy greedy(nodes, costs.data(), k, rule, degree, totalDegree);
    greedy.start(positiveGains(hg, nodes, greedy.gains(), nodes >= kParallelGainsFrom ? threads : 1));

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
            // The nodes' gains and heap positions are misses too: ask for
            // them a few nodes ahead.
            const std::span<const int> edge = hg.getEdge(h);
            for (std::size_t i = 0; i < edge.size(); ++i) {
                if (i + kSelectionNodeLookahead < edge.size()) greedy.prefetch(edge[i + kSelectionNodeLookahead]);
                if (i + kNodeLookahead < edge.size()) greedy.prefetchSlot(edge[i + kNodeLookahead]);
                if (edge[i] != maxInd) greedy.lower(edge[i]);
            }
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
