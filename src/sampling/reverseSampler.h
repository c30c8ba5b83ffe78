// The reverse samplers that follow every draw: the LT walk and the IC search.
//
// A sample draws its root from the root distribution, then follows the model
// backwards: under LT one in-neighbour per marked node (one draw each, chosen
// by its cumulative threshold), under IC every in-edge of every expanded node
// (one draw each, live when below its threshold), breadth first. Each body
// is parameterised by what happens to the finished hyperedge (the Sink: the
// store, a thread's buffer, nowhere) and by the seed test, so the store's
// members and the threads' forms share it. The draws of one sample are taken
// in this order, which fixes the hyperedges a stream yields.
//
// Assumes `mark` has room for every node and the visit flags are all clear
// on entry; they are all clear again on return.
#pragma once

#include "random/drawStream.h"
#include "graph/graphView.h"
#include "graph/rootDistribution.h"
#include "sampling/thresholdSearch.h"
#include "core/visitBits.h"

namespace lattis {

// What a sample does on reaching a node v with link[v] < k (a seed):
// nothing, note it and go on, or end the sample.
enum class SeedTest { None, Flag, Exit };

template <SeedTest mode, class Visit, class Sink>
bool walkLT(const GraphView& g, const RootDistribution& roots, sfmt_t& rng, Sink&& sink, const UI* link, UI k,
            Visit& visit, int* mark_) {
    DrawCursor draw(rng);
    int cur = static_cast<int>(roots.nodeFor(draw.next(), g.benIndex));
    UI marked = 0;
    bool hit = false;
    for (UI pass = 0; pass < g.n; ++pass) {
        if constexpr (mode == SeedTest::Exit) {
            if (link[cur] < k) {
                hit = true;
                break;
            }
        }
        if (isMarked(visit, cur)) break;
        mark(visit, cur);
        mark_[marked++] = cur;
        if constexpr (mode == SeedTest::Flag) {
            if (link[cur] < k) hit = true;
        }
        const std::int64_t first = g.adjOff[cur];
        const UI s = static_cast<UI>(g.adjOff[cur + 1] - first) + 1;
        // The in-neighbour is read only after the search of the weights; for
        // a short list, fetching it meanwhile overlaps the two cache misses.
        if (s <= 16) __builtin_prefetch(g.adj + first + (s - 1) / 2);
        const int ind = ltIndex(g.thresholds(cur), s, draw.next());
        if (ind == -1) break;
        cur = g.adj[first + ind - 1];
    }
    if constexpr (mode != SeedTest::Exit) sink(mark_, marked);
    for (UI i = 0; i < marked; ++i) unmark(visit, mark_[i]);
    return hit;
}

// The breadth-first frame of an IC sample: the root, then each marked node
// in turn, the seed test first, then expand(draw, cur, reach, next), which
// draws which in-edges of cur are live and calls reach(u) for the tail u of
// each, in the order the draws decide. `next` is the node expanded after cur
// (-1 when none is marked yet), for samplers that fetch ahead.
template <SeedTest mode, class Visit, class Sink, class Expand>
bool searchBreadthFirst(const GraphView& g, const RootDistribution& roots, sfmt_t& rng, Sink&& sink, const UI* link,
                        UI k, Visit& visit, int* mark_, Expand&& expand) {
    DrawCursor draw(rng);
    const int root = static_cast<int>(roots.nodeFor(draw.next(), g.benIndex));
    mark(visit, root);
    mark_[0] = root;
    UI marked = 1;
    UI pos = 0;
    bool hit = false;
    auto reach = [&](int u) {
        if (!isMarked(visit, u)) {
            mark(visit, u);
            mark_[marked++] = u;
        }
    };
    while (pos < marked) {
        const int cur = mark_[pos++];
        if constexpr (mode != SeedTest::None) {
            if (link[cur] < k) {
                hit = true;
                if constexpr (mode == SeedTest::Exit) break;
            }
        }
        expand(draw, cur, reach, pos < marked ? mark_[pos] : -1);
    }
    if constexpr (mode != SeedTest::Exit) sink(mark_, marked);
    for (UI i = 0; i < marked; ++i) unmark(visit, mark_[i]);
    return hit;
}

template <SeedTest mode, class Visit, class Sink>
bool searchIC(const GraphView& g, const RootDistribution& roots, sfmt_t& rng, Sink&& sink, const UI* link, UI k,
              Visit& visit, int* mark_) {
    return searchBreadthFirst<mode>(g, roots, rng, sink, link, k, visit, mark_,
                                    [&g](DrawCursor& draw, int cur, auto& reach, int) {
                                        const std::int64_t first = g.adjOff[cur];
                                        const int* neigh = g.adj + first;
                                        const UI* w = g.thresholds(cur) + 1;  // w[i]: threshold of in-edge i
                                        draw.each(static_cast<int>(g.adjOff[cur + 1] - first), [&](int i, UI ran) {
                                            if (ran < w[i]) reach(neigh[i]);
                                        });
                                    });
}

}  // namespace lattis
