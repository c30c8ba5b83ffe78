// Greedy budgeted cover of the stored hyperedges: take the node with the most
// uncovered hyperedges per unit of cost until the next node taken does not fit.
//
// Assumes the store is fully indexed (getNode lists every hyperedge that holds
// the node) and that node ids in hyperedges lie in 1..n. Gains are kept exact:
// every newly covered hyperedge lowers the gain of each of its other nodes at
// once and re-sifts that node, so the heap top is always the true best ratio
// and no lazy re-evaluation is needed. The heap is RatioHeap, which orders and
// breaks ties as MappedHeap<InfCost> over the same gains and costs. Runs on
// the calling thread. degree is normally sized n + 1 by the caller; a shorter
// one is grown as seeds are taken.
#include <cassert>
#include <span>
#include <vector>

#include "selection/selection.h"
#include "selection/ratioHeap.h"
#include "core/workTable.h"

namespace lattis {

namespace {
constexpr std::size_t kLookahead = 8;
}

void buildSeedSetCost(const HyperGraph& hg, std::vector<int>& seeds, unsigned n, double k,
                      const std::vector<float>& costs, std::vector<double>& degree, long long& totalDegree) {
    assert(costs.size() >= n);
    const int nodes = static_cast<int>(n);
    WorkTable<int> nodeDegree;
    int* gain = nodeDegree.resize(n);
    for (int j = 0; j < nodes; ++j) gain[j] = static_cast<int>(hg.getNode(j + 1).size());
    const float* cost = costs.data();

    // The heap starts from the indices 0 .. n - 1 in order.
    RatioHeap heap;
    heap.build(nodes, gain, cost);

    const long long numEdge = hg.getNumEdge();
    std::vector<bool> edgeMark(static_cast<std::size_t>(numEdge), false);

    double totalCost = 0;
    if (degree.empty()) degree.resize(1);
    degree[0] = 0;
    totalDegree = 0;
    std::size_t i = 1;
    while (totalCost < k && !heap.empty()) {
        int maxInd = heap.pop() + 1;
        totalCost += static_cast<double>(costs[maxInd - 1]);
        if (totalCost > k) break;

        int g = gain[maxInd - 1];
        if (degree.size() <= i) degree.resize(i + 1);
        degree[i] = degree[i - 1] + g;
        totalDegree += g;
        gain[maxInd - 1] = 0;
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
            for (int u : hg.getEdge(h)) {
                if (u == maxInd) continue;
                --gain[u - 1];
                heap.decreased(u - 1, gain[u - 1], cost[u - 1]);
            }
            edgeMark[h] = true;
        }
        ++i;
    }
}

}  // namespace lattis
