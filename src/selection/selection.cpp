// Greedy budgeted cover of the stored hyperedges: take the node with the most
// uncovered hyperedges per unit of cost while the budget rule (budgetGreedy.h)
// lets it.
//
// Assumes the store is fully indexed (getNode lists every hyperedge that holds
// the node) and that node ids in hyperedges lie in 1..n. Gains are kept exact:
// every newly covered hyperedge lowers the gain of each of its other nodes at
// once and re-sifts that node, so the heap top is always the true best ratio
// and no lazy re-evaluation is needed. The heap is BudgetGreedy's
// SparseHeap<InfCost> over all n nodes, built from the nodes the store holds
// (the others have gain 0 and rest in slots it never stores), on tables a
// run keeps across its selections (selectionTables.h), so the work follows
// the store; what is left of n is the gains, the heap's place per node and
// a few bits per node. Marking, listing and the heap's build run on `threads`
// threads from kParallelGainsFrom nodes on; the picks on the calling thread,
// with a second one lowering the gains of a pick's next stretch of nodes
// while the first re-sifts the last (see below) when `threads` allows.
// degree is normally sized n + 1 by the caller; a shorter one is grown as
// seeds are taken.
#include <omp.h>

#include <algorithm>
#include <cassert>
#include <new>
#include <span>
#include <vector>

#include "selection/selection.h"
#include "core/tuning.h"

namespace lattis {

namespace {
constexpr std::size_t kLookahead = kSelectionLookahead;
constexpr std::size_t kEntryLookahead = kSelectionNodeLookahead * 2 / 3;
constexpr std::size_t kChildrenLookahead = kSelectionNodeLookahead / 3;
constexpr std::size_t kLoweredStretch = kSelectionLoweredStretch;

// Lowered nodes in the order they are lowered, and the keys they are left with.
struct Stretch {
    std::vector<int> nodes;
    std::vector<float> keys;
    void reserve(std::size_t count) {
        nodes.reserve(count);
        keys.reserve(count);
    }
};

// The walk over the hyperedges that hold a pick, covering the uncovered ones.
struct Walk {
    const HyperGraph& hg;
    std::span<const int> list;
    int pick;
    std::vector<bool>& edgeMark;
    std::size_t next = 0;

    // Appends the other nodes of uncovered hyperedges to `to` until it holds
    // a stretch; whether any hyperedge is left.
    bool gather(Stretch& to) {
        // The covered hyperedges lie all over the store and their node lists
        // miss the cache; requesting the list a few places ahead lets that
        // miss overlap the work on the current one.
        for (; next < list.size() && to.nodes.size() < kLoweredStretch; ++next) {
            if (next + kLookahead < list.size() && !edgeMark[list[next + kLookahead]])
                __builtin_prefetch(hg.getEdge(list[next + kLookahead]).data());
            const int h = list[next];
            if (edgeMark[h]) continue;
            edgeMark[h] = true;
            for (int u : hg.getEdge(h))
                if (u != pick) to.nodes.push_back(u);
        }
        return next < list.size();
    }
};

void takeKeys(BudgetGreedy& greedy, Stretch& st) {
    const std::size_t count = st.nodes.size();
    st.keys.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (i + kSelectionNodeLookahead < count) greedy.prefetchGain(st.nodes[i + kSelectionNodeLookahead]);
        st.keys[i] = greedy.lowerGain(st.nodes[i]);
    }
}

void sift(BudgetGreedy& greedy, Stretch& st) {
    const std::size_t count = st.nodes.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (i + kSelectionNodeLookahead < count) greedy.prefetchPlace(st.nodes[i + kSelectionNodeLookahead]);
        if (i + kEntryLookahead < count) greedy.prefetchEntry(st.nodes[i + kEntryLookahead]);
        if (i + kChildrenLookahead < count) greedy.prefetchChildren(st.nodes[i + kChildrenLookahead]);
        greedy.resift(st.nodes[i], st.keys[i]);
    }
    st.nodes.clear();
}

// The rest of a pick whose first stretch, in stretch[0], has its keys, with
// the sifts of one stretch beside the gathering of the next: thread 0
// gathers and keys, the other sifts, and they swap buffers at each step.
// The stretches go through the same three steps in the same order as on one
// thread. False when a stretch could not grow (nothing thrown in the team).
bool pipelined(BudgetGreedy& greedy, Walk& walk, Stretch (&stretch)[2]) {
    int ready = 0;      // the stretch whose keys are taken
    bool more = true;   // the walk has hyperedges left
    bool left = false;  // the walk had hyperedges left after the last gathering
    bool grown = true;  // no stretch ran out of memory
#pragma omp parallel num_threads(2)
    {
        const bool gatherer = omp_get_thread_num() == 0, sifter = omp_get_num_threads() == 1 || !gatherer;
        for (;;) {
            const bool fill = more;
            if (gatherer && fill) {
                try {
                    left = walk.gather(stretch[1 - ready]);
                    takeKeys(greedy, stretch[1 - ready]);
                } catch (const std::bad_alloc&) {
                    grown = false;
                }
            }
            if (sifter) sift(greedy, stretch[ready]);
#pragma omp barrier
#pragma omp single
            {
                more = left && grown;
                ready = 1 - ready;
            }
            // A step that gathered nothing sifted the last stretch.
            if (!fill || !grown) break;
        }
    }
    return grown;
}
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
    // A pick's lowerings go in stretches: its covered hyperedges' nodes are
    // gathered (gather), every gain lowered and the key it leaves taken
    // (takeKeys), then the nodes re-sifted with those keys (sift), each
    // stretch in the order of the serial walk. The stretches let the gains
    // and the heap's places, entries and children be asked for ahead across
    // hyperedge boundaries. Gathering and keys touch the marks, gains and
    // costs; the sifts only the heap; so while one thread sifts a stretch
    // another can gather and key the next, and the heap sees the same sifts
    // in the same order on any number of threads.
    Stretch stretch[2];
    for (Stretch& st : stretch) st.reserve(kLoweredStretch + kLoweredStretch / 4);
    const std::size_t before = seeds.size();
    while (const int maxInd = greedy.next()) {
        seeds.push_back(maxInd);
        Walk walk{hg, hg.getNode(maxInd), maxInd, edgeMark};
        bool more = walk.gather(stretch[0]);
        takeKeys(greedy, stretch[0]);
        if (more && threads > 1) {
            if (!pipelined(greedy, walk, stretch)) throw std::bad_alloc();
            continue;
        }
        sift(greedy, stretch[0]);
        while (more) {
            more = walk.gather(stretch[0]);
            takeKeys(greedy, stretch[0]);
            sift(greedy, stretch[0]);
        }
    }
    if (const int single = greedy.finish()) {
        seeds.resize(before);
        seeds.push_back(single);
    }
    return greedy.summary();
}

}  // namespace lattis
