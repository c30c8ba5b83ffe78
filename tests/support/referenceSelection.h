// The greedy cover written the plain way, for tests to check buildSeedSetCost
// against: a gain for every one of the n nodes from the index sizes, the
// plain heap of referenceHeap.h over the ids 0 .. n - 1, and one heapify per
// lowered gain. Stop takes the best ratio until a node does not fit, zero
// gains included; Fill drops what does not fit, ends at a best gain of 0, and
// then lets the best affordable single node (lowest id among equals) replace
// the set when it covers more.
#pragma once

#include <vector>

#include "sampling/hyperGraph.h"
#include "selection/HeapData.h"
#include "selection/budgetGreedy.h"
#include "support/referenceHeap.h"

namespace lattis {

struct ReferenceCover {
    std::vector<int> seeds;
    std::vector<double> degree{0};  // degree[i]: hyperedges covered by the first i seeds
    long long totalDegree = 0;
};

inline ReferenceCover referenceSeedSetCost(const HyperGraph& hg, int n, double k, std::vector<float> costs,
                                           SelectRule rule) {
    ReferenceCover r;
    std::vector<int> gain(static_cast<std::size_t>(n)), ids(static_cast<std::size_t>(n));
    for (int x = 0; x < n; ++x) {
        ids[static_cast<std::size_t>(x)] = x;
        gain[static_cast<std::size_t>(x)] = static_cast<int>(hg.getNode(x + 1).size());
    }
    int single = 0, singleCover = 0;
    for (int x = 0; x < n; ++x)
        if (static_cast<double>(costs[static_cast<std::size_t>(x)]) <= k && gain[static_cast<std::size_t>(x)] > singleCover) {
            single = x + 1;
            singleCover = gain[static_cast<std::size_t>(x)];
        }
    ReferenceHeap<InfCost<int, float>> heap(ids, InfCost<int, float>(gain.data(), costs.data()));
    std::vector<bool> covered(static_cast<std::size_t>(hg.getNumEdge()), false), out(static_cast<std::size_t>(n), false);
    double spent = 0;
    while (spent < k && !heap.empty()) {
        const int x = heap.pop();
        out[static_cast<std::size_t>(x)] = true;
        const int g = gain[static_cast<std::size_t>(x)];
        if (rule == SelectRule::Fill && g <= 0) break;
        if (spent + static_cast<double>(costs[static_cast<std::size_t>(x)]) > k) {
            if (rule == SelectRule::Stop) break;
            continue;
        }
        spent += static_cast<double>(costs[static_cast<std::size_t>(x)]);
        r.seeds.push_back(x + 1);
        r.degree.push_back(r.degree.back() + g);
        r.totalDegree += g;
        gain[static_cast<std::size_t>(x)] = 0;
        for (int h : hg.getNode(x + 1)) {
            if (covered[static_cast<std::size_t>(h)]) continue;
            covered[static_cast<std::size_t>(h)] = true;
            for (int u : hg.getEdge(h))
                if (u != x + 1) {
                    --gain[static_cast<std::size_t>(u - 1)];
                    if (!out[static_cast<std::size_t>(u - 1)]) heap.heapify(u - 1);
                }
        }
    }
    if (rule == SelectRule::Fill && single != 0 && singleCover > r.totalDegree) {
        r.seeds = {single};
        r.degree = {0, static_cast<double>(singleCover)};
        r.totalDegree = singleCover;
    }
    return r;
}

}  // namespace lattis
