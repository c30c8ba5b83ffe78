// What the greedy selections of one run keep from one iteration to the next,
// so that each costs what the store holds rather than what the network has:
// the gain of every node, the heap over all n nodes by gain per cost (which
// stores only the slots of the nodes held and their ancestors, and whose
// rebuild resets only the places the last one wrote, see sparseHeap.h), and
// one bit per node for whether a stored hyperedge holds it, brought up to
// date from the hyperedges added since the last selection.
//
// Assumes that the store only grows between the selections sharing the
// tables (the doubling loop's does) and that the costs stay where they are.
#pragma once

#include <cstdint>
#include <vector>

#include "core/growArray.h"
#include "sampling/hyperGraph.h"
#include "selection/HeapData.h"
#include "selection/sparseHeap.h"

namespace lattis {

class SelectionTables {
public:
    using Heap = SparseHeap<InfCost<int, const float>>;

    // n nodes; cost[x - 1] the cost of node x, read by the heap.
    SelectionTables(int n, const float* cost);
    SelectionTables(const SelectionTables&) = delete;
    SelectionTables& operator=(const SelectionTables&) = delete;

    int nodes() const { return n; }
    const float* costs() const { return cost; }
    // Entry x - 1 for node x.
    int* gains() { return gain.data(); }
    Heap& heap() { return order; }

    // Marks the nodes of the hyperedges added since the last call, then
    // writes the gain of every node the store holds (gain[x - 1] = the
    // hyperedges holding node x, from the index) and returns their entries
    // x - 1, ascending. The gains of every other node must be 0, and a
    // selection only lowers gains, so after one they still are. Marking and
    // listing run on `threads` threads; nothing depends on that count.
    std::vector<int> storedGains(const HyperGraph& hg, int threads);

private:
    int n;
    const float* cost;
    GrowArray<int> gain;
    Heap order;
    GrowArray<std::uint64_t> held;  // bit x: node x + 1 is in a stored hyperedge
    int markedEdges = 0;            // hyperedges whose nodes are marked

    void markFrom(const HyperGraph& hg, int threads);
};

}  // namespace lattis
