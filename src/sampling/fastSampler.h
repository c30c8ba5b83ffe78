// Reverse samplers that draw only for what fires: the same hyperedge
// distribution as the walk and the search of reverseSampler.h, with far
// fewer draws and cache misses. Chosen with "-sampler fast".
//
// IC. Each in-edge is live independently with probability t / 2^32 (t its
// threshold), which is what the per-edge draw realises. For a node whose
// in-edges share one threshold (weighted cascade, uniform), the number K of
// live in-edges is binomial: one draw against two precomputed thresholds
// settles K = 0 and K = 1 (most expansions), one more picks the live
// in-edge; K >= 2 is found by inverting the binomial and its K positions are
// drawn without replacement. So a node costs one draw plus one per live
// in-edge instead of one per in-edge. Nodes with mixed thresholds keep their
// in-edges in groups whose thresholds lie within a factor of two; a group is
// sampled at its largest threshold and each candidate kept with the ratio of
// its own threshold to that bound, so a node costs O(1 + live edges +
// groups) draws. Edges of threshold 0 never fire and are left out.
//
// LT. A node whose cumulative thresholds are those of equal in-weights that
// sum to 1 (weighted cascade) picks its in-neighbour as draw * d / 2^32,
// reading neither its thresholds nor searching them; the walk's intervals
// then have exactly equal widths, where the loaded thresholds carry the
// single-precision running sum's rounding (at most j * 2^-23 at the j-th
// boundary, which the test of uniformity allows). Other nodes keep the
// search.
//
// Under both models several samples are in flight per thread when
// hyperedges are generated, each step prefetching what the next needs (an
// LT walk's next node; an IC search's drawn in-edges, then the records of
// the nodes they reach), so the cache misses of different samples overlap.
// The order in which a batch's IC samples draw from their stream is part of
// what the sampler yields: the programs always keep samples in flight
// (IcBatch::InFlight), on every network and in every block, so the
// hyperedges of a -seed depend on the network and the sampler kind alone,
// never on a speed threshold. IcBatch::OneAtATime, one searchIC after
// another, draws the same distribution with other hyperedges; the tests run
// both against the live-edge enumeration. (On networks whose records stay in
// cache, one at a time samples about 1.2x faster; on large ones it runs at
// 0.6x, so in flight is the order that never loses much.) An LT walk's
// steps depend on each other, so walks are always in flight.
//
// The tables are built from a loaded Graph, for its model, and are read only
// afterwards, so every sampling thread may use them at once. They hold
// in-edge offsets in 31 bits: a network of 2^31 in-edges or more is refused.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "random/drawStream.h"
#include "graph/graphView.h"
#include "core/growArray.h"
#include "sampling/reverseSampler.h"
#include "graph/rootDistribution.h"
#include "sampling/thresholdSearch.h"
#include "core/visitBits.h"

namespace lattis {

// Samples in flight per thread; a sample's visit flag is one bit of a
// per-node word, so at most 16.
inline constexpr int kWalksInFlight = 16;

// One thread's state for samples in flight: a 16-bit mask of visit flags per
// node, the nodes each sample has reached (an LT walk's path, an IC search's
// queue) and, for IC, the in-edge positions a sample has drawn but not yet
// followed.
//
// The masks are a fresh mapping, zero until written, so that each thread's
// pages are zeroed as its own samples first reach them rather than all of
// them up front on the thread that prepares the team (two bytes a node and
// thread: 134 MB each at 67 million nodes). Every finished sample clears its
// flags, so a prepared table stays all zero between samples.
struct LtWalks {
    GrowArray<std::uint16_t> visit;  // n + 1 entries
    std::array<std::vector<int>, kWalksInFlight> path;
    std::array<std::vector<UI>, kWalksInFlight> pending;
    void prepare(UI n) {
        if (visit.size() < static_cast<std::size_t>(n) + 1) visit.resize(static_cast<std::size_t>(n) + 1);
        for (auto& p : path) p.reserve(64);
    }
    // Ends sample i: its visit flags, path and pending in-edges cleared.
    void clear(int i) {
        const auto keep = static_cast<std::uint16_t>(~(1u << i));
        for (int v : path[static_cast<std::size_t>(i)]) visit[static_cast<std::size_t>(v)] &= keep;
        path[static_cast<std::size_t>(i)].clear();
        pending[static_cast<std::size_t>(i)].clear();
    }
};

// Which of a thread's slots hold a sample and how many samples of the batch
// have started: the part of the samplers in flight that does not depend on
// the model. start(i) begins a new sample in slot i (drawing its root).
template <class Start>
class SlotsInFlight {
public:
    SlotsInFlight(LtWalks& s, long long count, Start start) : s(s), count(count), start(std::move(start)) {
        for (int i = 0; i < kWalksInFlight && started < count; ++i) begin(i);
    }
    bool any() const { return active > 0; }
    bool holds(int i) const { return busy[static_cast<std::size_t>(i)]; }
    // Ends the sample in slot i: done(nodes, size, hit) gets it, the slot is
    // cleared and, unless done asked to stop, the next sample starts there.
    // Returns whether to stop.
    template <class Done>
    bool finish(int i, bool hit, Done& done) {
        const auto& path = s.path[static_cast<std::size_t>(i)];
        const bool stop = done(path.data(), static_cast<UI>(path.size()), hit);
        release(i);
        if (!stop && started < count) begin(i);
        return stop;
    }
    // Clears the slots still holding a sample (a batch ended early).
    void releaseAll() {
        for (int i = 0; i < kWalksInFlight; ++i)
            if (holds(i)) release(i);
    }

private:
    void begin(int i) {
        busy[static_cast<std::size_t>(i)] = true;
        start(i);
        ++started;
        ++active;
    }
    void release(int i) {
        s.clear(i);
        busy[static_cast<std::size_t>(i)] = false;
        --active;
    }

    LtWalks& s;
    long long count;
    Start start;
    long long started = 0;
    int active = 0;
    std::array<bool, kWalksInFlight> busy{};
};

class FastSampler {
public:
    // The order of a batch's IC samples (see above): the programs' is
    // InFlight.
    enum class IcBatch { InFlight, OneAtATime };

    // Builds the tables for g's loaded model. Throws std::runtime_error when
    // g holds 2^31 in-edges or more.
    explicit FastSampler(const Graph& g, IcBatch batch = IcBatch::InFlight);

    Model model() const { return loadedModel; }
    // Whether the samplers read the graph's thresholds (LT nodes whose
    // weights are not equal and summing to 1, on a graph that made them);
    // when not, the graph may release them once the tables are built. After
    // a deferred load (Graph::deferThresholds) the tables keep the
    // thresholds of those nodes themselves.
    bool needsThresholds() const { return searchesLT && !keptThresholds; }
    // f(u) for each in-neighbour u of v whose edge can fire (IC: threshold
    // above 0; LT: an interval of positive width), read from the tables for
    // the nodes whose thresholds they replace.
    template <class F>
    void forEachFiringInNeighbour(const GraphView& g, int v, F&& f) const;
    // Room a thread needs for the live positions of one node or group.
    UI maxDegree() const { return maxDeg; }
    // Whether some batch keeps samples in flight (and so needs LtWalks).
    bool inFlight() const { return loadedModel == Model::LT || batch != IcBatch::OneAtATime; }
    std::size_t bytes() const;
    // Whether o holds the same tables, entry for entry: a build on one
    // thread and one on a team do.
    bool sameTables(const FastSampler& o) const;

    // One IC sample, as searchIC in reverseSampler.h: the root, then breadth
    // first; `live` has room for maxDegree() positions.
    template <SeedTest mode, class Visit, class Sink>
    bool searchIC(const GraphView& g, const RootDistribution& roots, sfmt_t& rng, Sink&& sink, const UI* link, UI k,
                  Visit& visit, int* mark, UI* live) const;

    // `count` IC samples, up to kWalksInFlight at a time, all drawing from
    // rng in a fixed interleaving: each step expands one node of one
    // sample, and the in-neighbours it draws are followed a round later, so
    // that their fetches overlap the other samples' work. Each finished
    // sample goes to done(nodes, size, hit) in the order samples finish;
    // done returns true to end the batch at once (the samples still in
    // flight are dropped). Under SeedTest::Exit a sample ends when it
    // expands a seed, as searchIC's does. Draws the same distribution as
    // searchIC; `live` as there.
    template <SeedTest mode, class Done>
    void searchesIC(const GraphView& g, const RootDistribution& roots, sfmt_t& rng, long long count, LtWalks& s,
                    const UI* link, UI k, UI* live, Done&& done) const;
    // `count` IC samples as a batch in the sampler's order: by searchesIC,
    // or one searchIC after another (see above); done(nodes, size, hit) as
    // there (under SeedTest::Exit, with no nodes).
    template <SeedTest mode, class Visit, class Done>
    void batchIC(const GraphView& g, const RootDistribution& roots, sfmt_t& rng, long long count, LtWalks& s,
                 Visit& visit, int* mark, const UI* link, UI k, UI* live, Done&& done) const;
    // `count` LT walks, up to kWalksInFlight at a time, all drawing from rng
    // in a fixed interleaving. Each finished walk goes to done(nodes, size,
    // hit) in the order walks finish; done returns true to end the batch at
    // once (the walks still in flight are dropped). Under SeedTest::Exit a
    // walk ends on reaching a seed, which is not added, as in walkLT.
    template <SeedTest mode, class Done>
    void walksLT(const GraphView& g, const RootDistribution& roots, sfmt_t& rng, long long count, LtWalks& s,
                 const UI* link, UI k, Done&& done) const;

private:
    static constexpr UI kGrouped = 0x80000000u;  // IC: node in groups; LT: uniform node
    static constexpr UI kIndexMask = 0x7FFFFFFFu;

    // A node whose in-edges share one threshold t: its in-edges start at
    // `start`; K = 0 for a draw below none, K = 1 below one. A grouped node
    // (kGrouped set in start) has its groups at t .. t + none - 1.
    struct IcNode {
        UI start, t, none, one;
    };
    // A group of in-edges with thresholds in (t / 2, t]: members first ..
    // the next group's first; none and one as for a node, at threshold t.
    struct IcGroup {
        UI first, t, none, one;
    };
    // accept: keep a candidate when a draw is below it; 0 keeps it always.
    struct IcMember {
        int node;
        UI accept;
    };
    // The d + 1 thresholds (the first 0) an LT node v that searches reads:
    // the graph's, or those the tables keep.
    const UI* ltWeights(const GraphView& g, int v) const {
        return keptThresholds ? ltThresholds.data() + ltAt[static_cast<std::size_t>(v)] : g.thresholds(v);
    }

    // The constructor's steps: the LT tables, the IC tables, and the groups
    // of an IC node whose in-edges do not share one threshold.
    void buildLT(const Graph& g, const GraphView& view);
    void buildIC(const GraphView& view);
    // Appends v's groups and their members to the tables given, numbering
    // them from the tables' sizes; w[i] is the threshold of in-edge i.
    void groupInEdges(const GraphView& view, UI v, const UI* w, IcNode& nd, std::vector<IcGroup>& groups,
                      std::vector<IcMember>& members) const;

    // Draws which in-edges of IC node v are live: onEdge(e) for each live
    // in-edge at position e of the graph's lists (a node of one threshold),
    // onMember(m) for each live member m of v's groups, in increasing order.
    template <class OnEdge, class OnMember>
    void drawLiveInEdges(DrawCursor& draw, int v, UI* live, OnEdge&& onEdge, OnMember&& onMember) const;
    // K >= 2 live among `size` in-edges of threshold t, given the draw r that
    // passed `one` (none and one as in IcNode): writes the live positions,
    // ascending, to out and returns how many.
    UI severalLive(DrawCursor& draw, UI r, UI size, UI t, UI none, UI one, UI* out) const;
    // The in-edge an LT walk at `cur` follows for the draw r: a uniform
    // node's pick leaves the walk pending on that edge (its tail is fetched
    // on the walk's next turn), any other node's moves the walk on to the
    // tail. False when the draw picks no in-edge and the walk ends.
    template <class Slot, class Fetch>
    bool stepLT(const GraphView& g, int cur, UI r, Slot& sl, Fetch& fetch) const;

    Model loadedModel = Model::IC;
    IcBatch batch = IcBatch::InFlight;
    bool searchesLT = false;      // some LT node searches its thresholds
    bool keptThresholds = false;  // LT: the tables hold those thresholds
    UI maxDeg = 0;
    GrowArray<IcNode> icNodes;    // n + 2 (IC)
    std::vector<IcGroup> icGroups;  // groups, then one sentinel (IC)
    std::vector<IcMember> icMembers;
    // LT: n + 2 in-edge starts, with kGrouped set when the node's weights
    // are equal and sum to 1 (a draw picks one uniformly); any other node
    // with in-edges searches its thresholds.
    GrowArray<UI> ltStart;
    GrowArray<UI> ltThresholds;  // kept: the searching nodes', node after node,
    GrowArray<UI> ltAt;          // each from ltAt[v] (n + 2)
};

template <class OnEdge, class OnMember>
void FastSampler::drawLiveInEdges(DrawCursor& draw, int v, UI* live, OnEdge&& onEdge, OnMember&& onMember) const {
    const IcNode* nodes = icNodes.data();
    const IcNode& nd = nodes[v];
    if ((nd.start & kGrouped) == 0) {
        const UI first = nd.start;
        const UI r = draw.next();
        if (r < nd.none) return;
        const UI d = (nodes[v + 1].start & kIndexMask) - first;
        if (r < nd.one) {
            onEdge(first + draw.below(d));
            return;
        }
        const UI count = severalLive(draw, r, d, nd.t, nd.none, nd.one, live);
        for (UI i = 0; i < count; ++i) onEdge(first + live[i]);
        return;
    }
    for (UI gi = nd.t; gi < nd.t + nd.none; ++gi) {
        const IcGroup& gr = icGroups[gi];
        auto accept = [&](UI j) {
            const UI m = gr.first + j;
            if (icMembers[m].accept == 0 || draw.next() < icMembers[m].accept) onMember(m);
        };
        const UI r = draw.next();
        if (r < gr.none) continue;
        const UI size = icGroups[gi + 1].first - gr.first;
        if (r < gr.one) {
            accept(draw.below(size));
            continue;
        }
        const UI count = severalLive(draw, r, size, gr.t, gr.none, gr.one, live);
        for (UI i = 0; i < count; ++i) accept(live[i]);
    }
}

template <SeedTest mode, class Visit, class Sink>
bool FastSampler::searchIC(const GraphView& g, const RootDistribution& roots, sfmt_t& rng, Sink&& sink,
                           const UI* link, UI k, Visit& visit, int* mark_, UI* live) const {
    const IcNode* nodes = icNodes.data();
    return searchBreadthFirst<mode>(g, roots, rng, sink, link, k, visit, mark_,
                                    [&](DrawCursor& draw, int cur, auto& reach, int next) {
                                        // Fetch the next node's record while this one is expanded.
                                        if (next >= 0) __builtin_prefetch(nodes + next);
                                        drawLiveInEdges(
                                            draw, cur, live, [&](UI e) { reach(g.adj[e]); },
                                            [&](UI m) { reach(icMembers[m].node); });
                                    });
}

template <SeedTest mode, class Done>
void FastSampler::searchesIC(const GraphView& g, const RootDistribution& roots, sfmt_t& rng, long long count,
                             LtWalks& s, const UI* link, UI k, UI* live, Done&& done) const {
    static_assert(mode != SeedTest::Flag, "searches in flight end at a seed or not at all");
    // A slot expands the node at `next` of its queue, unless in-edges it
    // drew (`pending`, positions in g.adj or, with `grouped`, in the
    // members) wait to be followed.
    struct Slot {
        std::size_t next = 0;
        bool grouped = false;
    };
    std::array<Slot, kWalksInFlight> slot{};
    DrawCursor draw(rng);
    const IcNode* nodes = icNodes.data();
    const IcMember* members = icMembers.data();
    std::uint16_t* flags = s.visit.data();
    auto reach = [&](int i, int u) {
        const auto bit = static_cast<std::uint16_t>(1u << i);
        if ((flags[u] & bit) == 0) {
            flags[u] |= bit;
            s.path[i].push_back(u);
            __builtin_prefetch(nodes + u);
        }
    };
    SlotsInFlight flights(s, count, [&](int i) {
        slot[i] = Slot{};
        reach(i, static_cast<int>(roots.nodeFor(draw.next(), g.benIndex)));
    });
    bool stop = false;
    while (flights.any() && !stop) {
        for (int i = 0; i < kWalksInFlight && !stop; ++i) {
            Slot& sl = slot[i];
            if (!flights.holds(i)) continue;
            std::vector<UI>& drawn = s.pending[i];
            if (!drawn.empty()) {
                if (sl.grouped)
                    for (UI m : drawn) reach(i, members[m].node);
                else
                    for (UI e : drawn) reach(i, g.adj[e]);
                drawn.clear();
                continue;
            }
            std::vector<int>& queue = s.path[i];
            if (sl.next == queue.size()) {
                stop = flights.finish(i, false, done);
                continue;
            }
            const int cur = queue[sl.next++];
            if constexpr (mode == SeedTest::Exit) {
                if (link[cur] < k) {
                    stop = flights.finish(i, true, done);
                    continue;
                }
            }
            sl.grouped = (nodes[cur].start & kGrouped) != 0;
            drawLiveInEdges(
                draw, cur, live, [&](UI e) { drawn.push_back(e); }, [&](UI m) { drawn.push_back(m); });
            if (!sl.grouped)
                for (UI e : drawn) __builtin_prefetch(g.adj + e);
        }
    }
    flights.releaseAll();
}

template <SeedTest mode, class Visit, class Done>
void FastSampler::batchIC(const GraphView& g, const RootDistribution& roots, sfmt_t& rng, long long count,
                          LtWalks& s, Visit& visit, int* mark, const UI* link, UI k, UI* live, Done&& done) const {
    if (batch == IcBatch::InFlight) {
        searchesIC<mode>(g, roots, rng, count, s, link, k, live, done);
        return;
    }
    for (long long i = 0; i < count; ++i) {
        // The hyperedge stays in `mark` until the next sample starts.
        const int* nodes = nullptr;
        UI size = 0;
        const bool hit = searchIC<mode>(
            g, roots, rng,
            [&](const int* h, UI c) {
                nodes = h;
                size = c;
            },
            link, k, visit, mark, live);
        if (done(nodes, size, hit)) return;
    }
}

template <SeedTest mode, class Done>
void FastSampler::walksLT(const GraphView& g, const RootDistribution& roots, sfmt_t& rng, long long count,
                          LtWalks& s, const UI* link, UI k, Done&& done) const {
    static_assert(mode != SeedTest::Flag, "walks in flight end at a seed or not at all");
    struct Slot {
        int cur = 0;
        UI edge = 0;           // in-edge whose tail is the next node, when pending
        bool pending = false;  // the next node is still being fetched
    };
    std::array<Slot, kWalksInFlight> slot{};
    DrawCursor draw(rng);
    const UI* starts = ltStart.data();
    const UI* at = keptThresholds ? ltAt.data() : nullptr;
    std::uint16_t* flags = s.visit.data();
    auto fetch = [&](int v) {
        __builtin_prefetch(starts + v);
        if (at != nullptr) __builtin_prefetch(at + v);
        __builtin_prefetch(flags + v, 1);
        if constexpr (mode == SeedTest::Exit) __builtin_prefetch(link + v);
    };
    SlotsInFlight flights(s, count, [&](int i) {
        slot[i].cur = static_cast<int>(roots.nodeFor(draw.next(), g.benIndex));
        slot[i].pending = false;
        fetch(slot[i].cur);
    });
    bool stop = false;
    while (flights.any() && !stop) {
        for (int i = 0; i < kWalksInFlight && !stop; ++i) {
            Slot& sl = slot[i];
            if (!flights.holds(i)) continue;
            if (sl.pending) {
                sl.cur = g.adj[sl.edge];
                sl.pending = false;
                fetch(sl.cur);
                continue;
            }
            const int cur = sl.cur;
            const std::uint16_t bit = static_cast<std::uint16_t>(1u << i);
            bool finished = false;
            bool hit = false;
            if (mode == SeedTest::Exit && link[cur] < k) {
                hit = true;
                finished = true;
            } else if (flags[cur] & bit) {
                finished = true;
            } else {
                flags[cur] |= bit;
                s.path[i].push_back(cur);
                const UI r = draw.next();
                finished = !stepLT(g, cur, r, sl, fetch);
            }
            if (finished) stop = flights.finish(i, hit, done);
        }
    }
    flights.releaseAll();
}

// Inlined into the walks' loop, whose turn it is most of.
template <class Slot, class Fetch>
[[gnu::always_inline]] inline bool FastSampler::stepLT(const GraphView& g, int cur, UI r, Slot& sl,
                                                       Fetch& fetch) const {
    const UI* starts = ltStart.data();
    const UI st = starts[cur];
    const UI first = st & kIndexMask;
    const UI d = (starts[cur + 1] & kIndexMask) - first;
    if (st & kGrouped) {
        sl.edge = first + static_cast<UI>((static_cast<std::uint64_t>(r) * d) >> 32);
        sl.pending = true;
        __builtin_prefetch(g.adj + sl.edge);
        return true;
    }
    const int ind = ltIndex(ltWeights(g, cur), d + 1, r);
    if (ind == -1) return false;
    sl.cur = g.adj[first + static_cast<UI>(ind) - 1];
    fetch(sl.cur);
    return true;
}

template <class F>
void FastSampler::forEachFiringInNeighbour(const GraphView& g, int v, F&& f) const {
    const std::int64_t first = g.adjOff[v], last = g.adjOff[v + 1];
    if (loadedModel == Model::LT) {
        if (ltStart[static_cast<std::size_t>(v)] & kGrouped) {
            for (std::int64_t e = first; e < last; ++e) f(g.adj[e]);
            return;
        }
        const UI* w = ltWeights(g, v);
        for (std::int64_t e = first; e < last; ++e)
            if (w[e - first + 1] > w[e - first]) f(g.adj[e]);
        return;
    }
    const IcNode& nd = icNodes[static_cast<std::size_t>(v)];
    if ((nd.start & kGrouped) == 0) {
        for (std::int64_t e = first; e < last; ++e) f(g.adj[e]);
        return;
    }
    for (UI gi = nd.t; gi < nd.t + nd.none; ++gi)
        for (UI m = icGroups[gi].first; m < icGroups[gi + 1].first; ++m) f(icMembers[m].node);
}

}  // namespace lattis
