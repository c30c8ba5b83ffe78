// Tables of the fast samplers and the rare path of the IC subset draw; see
// fastSampler.h.
#include "sampling/fastSampler.h"

#include <omp.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <tuple>

#include "core/threadTeam.h"
#include "core/tuning.h"

namespace lattis {

namespace {

constexpr double kTwo32 = 4294967296.0;
constexpr double kInvTwo32 = 1.0 / 4294967296.0;
constexpr UI kUiMax = 0xFFFFFFFFu;
// Up to this many live positions are drawn one by one (Floyd's algorithm).
constexpr UI kFewLive = 16;

// A probability as the count of draws (out of 2^32) below the threshold.
UI drawsBelow(double probability) {
    const double x = std::floor(probability * kTwo32 + 0.5);
    if (!(x > 0)) return 0;
    if (x >= static_cast<double>(kUiMax)) return kUiMax;
    return static_cast<UI>(x);
}

// Thresholds for K = 0 and K <= 1 live among `size` edges of threshold t.
std::pair<UI, UI> binomialHead(UI size, UI t) {
    const double p = static_cast<double>(t) * kInvTwo32;
    const double p0 = std::exp(static_cast<double>(size) * std::log1p(-p));
    const double p1 = static_cast<double>(size) * p / (1.0 - p) * p0;
    return {drawsBelow(p0), drawsBelow(p0 + p1)};
}

// Whether LT thresholds w[0..d] are those of d equal weights summing to 1, up
// to the running sum's single-precision rounding.
bool equalWeightsSummingToOne(const UI* w, UI d) {
    if (d == 0 || w[d] != kUiMax) return false;
    for (UI j = 1; j < d; ++j) {
        const double exact = static_cast<double>(j) * kTwo32 / static_cast<double>(d);
        const double slack = static_cast<double>(j) * kTwo32 * 0x1p-23 + 1.0;
        if (std::fabs(static_cast<double>(w[j]) - exact) > slack) return false;
    }
    return true;
}

// One thread's thresholds of a node at a time (entry 0, then one per
// in-edge): the graph's or, after a deferred load, made from the node's
// probabilities as the load would have made them, in a buffer of the
// thread's own. Null when that buffer could not be had, which sets
// outOfMemory (shared by the team; thrown after the region).
class NodeThresholds {
public:
    NodeThresholds(const GraphView& view, UI maxDeg, bool& outOfMemory) : view(view) {
        if (view.weights != nullptr) return;
        try {
            made.resize(static_cast<std::size_t>(maxDeg) + 1);
        } catch (const std::bad_alloc&) {
            failed = true;
#pragma omp atomic write
            outOfMemory = true;
        }
    }
    const UI* of(UI v) {
        if (view.weights != nullptr) return view.thresholds(static_cast<int>(v));
        if (failed) return nullptr;
        nodeThresholds(view.model, view.probabilities + view.adjOff[v], view.degree(static_cast<int>(v)), made.data());
        return made.data();
    }
private:
    const GraphView& view;
    bool failed = false;
    std::vector<UI> made;
};

}  // namespace

FastSampler::FastSampler(const Graph& g, IcBatch way) : loadedModel(g.model()), batch(way) {
    const GraphView view = g.view();
    const UI n = view.n;
    const std::int64_t arcs = view.adjOff[n + 1];
    if (arcs > static_cast<std::int64_t>(kIndexMask))
        throw std::runtime_error("the fast sampler holds in-edge positions in 31 bits, but the network has " +
                                 std::to_string(arcs) + " in-edges; use -sampler classic");
    UI largest = 0;
#pragma omp parallel for schedule(static) reduction(max : largest) num_threads(teamForEntries(static_cast<std::uint64_t>(n) + 1))
    for (UI v = 1; v <= n; ++v) largest = std::max(largest, view.degree(static_cast<int>(v)));
    maxDeg = largest;
    if (loadedModel == Model::LT)
        buildLT(g, view);
    else
        buildIC(view);
}

void FastSampler::buildLT(const Graph& g, const GraphView& view) {
    const UI n = view.n;
    // Per-node tables are mappings: fresh pages read as zero, and large
    // ones come on huge pages.
    ltStart.resize(static_cast<std::size_t>(n) + 2);
    UI* const starts = ltStart.data();
    keptThresholds = view.weights == nullptr;
    if (keptThresholds) ltAt.resize(static_cast<std::size_t>(n) + 2);
    // Blocks of nodes on the team; each node's entry depends on its own
    // thresholds alone. A pass marks the uniform nodes and counts the
    // thresholds each block keeps of the others. After a deferred load they
    // are made here from the node's probabilities, as the load would have
    // made them, and a second pass writes them at each block's offset; each
    // block's mapped probabilities leave resident memory after each pass
    // (the second reads again only those of the searching nodes).
    const std::size_t blocks = loadBlocks(static_cast<std::uint64_t>(n) + 1);
    std::vector<std::size_t> kept(blocks + 1, 0);
    bool searches = false;
    bool outOfMemory = false;
    const int team = teamForEntries(static_cast<std::uint64_t>(n) + 1);
    auto pass = [&](bool write) {
#pragma omp parallel num_threads(team) reduction(|| : searches)
        {
            NodeThresholds thresholds(view, maxDeg, outOfMemory);
#pragma omp for schedule(dynamic, 1)
            for (std::size_t b = 0; b < blocks; ++b) {
                const UI first = static_cast<UI>(1 + b * kLoadBlock);
                const UI last = static_cast<UI>(std::min<std::size_t>(first + kLoadBlock, static_cast<std::size_t>(n) + 1));
                std::size_t at = write ? kept[b] : 0;  // the count pass writes kept[b + 1]
                for (UI v = first; v < last; ++v) {
                    const UI d = view.degree(static_cast<int>(v));
                    if (write) {
                        if ((starts[v] & kGrouped) || d == 0) continue;
                        if (const UI* w = thresholds.of(v)) std::copy(w, w + d + 1, ltThresholds.data() + at);
                        ltAt[v] = static_cast<UI>(at);
                        at += d + 1;
                        continue;
                    }
                    const UI* w = d > 0 ? thresholds.of(v) : nullptr;  // null: out of memory, noted
                    const bool uniform = w != nullptr && equalWeightsSummingToOne(w, d);
                    starts[v] = static_cast<UI>(view.adjOff[v]) | (uniform ? kGrouped : 0);
                    if (uniform || d == 0) continue;
                    searches = true;
                    at += d + 1;
                }
                if (!write) kept[b + 1] = at;
                g.releaseProbabilities(first, last);
            }
        }
    };
    pass(false);
    if (outOfMemory) throw std::bad_alloc();
    starts[n + 1] = static_cast<UI>(view.adjOff[n + 1]);
    searchesLT = searches;
    if (!keptThresholds) return;
    // Each block's count becomes its offset.
    for (std::size_t b = 0; b < blocks; ++b) kept[b + 1] += kept[b];
    ltThresholds.resize(kept[blocks]);
    pass(true);
    if (outOfMemory) throw std::bad_alloc();
}

void FastSampler::buildIC(const GraphView& view) {
    const UI n = view.n;
    icNodes.resize(static_cast<std::size_t>(n) + 2);
    // The nodes are built in blocks on the team, each block's groups and
    // members in tables of its own, numbered from 0; the blocks' tables are
    // then joined in node order and their numbers shifted, which gives the
    // tables of one pass over the nodes.
    const std::size_t blocks = loadBlocks(static_cast<std::uint64_t>(n) + 1);
    struct BlockTables {
        std::vector<IcGroup> groups;
        std::vector<IcMember> members;
    };
    std::vector<BlockTables> own(blocks);
    IcNode* const nodes = icNodes.data();
    bool outOfMemory = false;
#pragma omp parallel num_threads(teamForEntries(static_cast<std::uint64_t>(n) + 1))
    {
        // Nodes of one in-degree mostly share their threshold (under
        // weighted cascade always), so the binomial head, a logarithm and an
        // exponential, is kept per degree and reused while the threshold
        // matches; each thread keeps its own.
        struct Head {
            UI size = 0, t = 0, none = 0, one = 0;
        };
        std::array<Head, 1024> heads{};
        auto headOf = [&heads](UI size, UI t) {
            Head& h = heads[size % heads.size()];
            if (h.size != size || h.t != t) {
                const auto [none, one] = binomialHead(size, t);
                h = {size, t, none, one};
            }
            return std::pair<UI, UI>{h.none, h.one};
        };
        // After a deferred load each node's thresholds are made here from
        // its probabilities, as the load would have made them.
        NodeThresholds thresholds(view, maxDeg, outOfMemory);
#pragma omp for schedule(dynamic, 1)
        for (std::size_t b = 0; b < blocks; ++b) {
            const UI first = static_cast<UI>(1 + b * kLoadBlock);
            const UI last = static_cast<UI>(std::min<std::size_t>(first + kLoadBlock, static_cast<std::size_t>(n) + 2));
            for (UI v = first; v < last; ++v) {
                IcNode& nd = nodes[v];
                nd.start = static_cast<UI>(view.adjOff[v]);
                if (v > n) break;
                const UI d = view.degree(static_cast<int>(v));
                const UI* all = thresholds.of(v);
                if (all == nullptr) continue;  // out of memory, noted above
                const UI* w = all + 1;         // w[i]: in-edge i
                const bool shared = d > 0 && w[0] > 0 && std::all_of(w, w + d, [&](UI t) { return t == w[0]; });
                if (shared) {
                    nd.t = w[0];
                    std::tie(nd.none, nd.one) = headOf(d, w[0]);
                } else {
                    // Out of memory is noted, not thrown here, and thrown
                    // after the region.
                    try {
                        groupInEdges(view, v, w, nd, own[b].groups, own[b].members);
                    } catch (const std::bad_alloc&) {
#pragma omp atomic write
                        outOfMemory = true;
                    }
                }
            }
        }
    }
    if (outOfMemory) throw std::bad_alloc();
    std::vector<UI> groupBase(blocks + 1, 0), memberBase(blocks + 1, 0);
    for (std::size_t b = 0; b < blocks; ++b) {
        groupBase[b + 1] = groupBase[b] + static_cast<UI>(own[b].groups.size());
        memberBase[b + 1] = memberBase[b] + static_cast<UI>(own[b].members.size());
    }
    if (groupBase[blocks] == 0) {
        icGroups.push_back({0, 0, 0, 0});
        return;
    }
    icGroups.resize(groupBase[blocks] + 1);
    icMembers.resize(memberBase[blocks]);
#pragma omp parallel for schedule(dynamic, 1) num_threads(teamForEntries(static_cast<std::uint64_t>(n) + 1))
    for (std::size_t b = 0; b < blocks; ++b) {
        BlockTables& tables = own[b];
        if (tables.groups.empty()) continue;
        for (std::size_t g = 0; g < tables.groups.size(); ++g) {
            IcGroup gr = tables.groups[g];
            gr.first += memberBase[b];
            icGroups[groupBase[b] + g] = gr;
        }
        std::copy(tables.members.begin(), tables.members.end(), icMembers.begin() + memberBase[b]);
        const UI first = static_cast<UI>(1 + b * kLoadBlock);
        const UI last = static_cast<UI>(std::min<std::size_t>(first + kLoadBlock, static_cast<std::size_t>(n) + 1));
        for (UI v = first; v < last; ++v)
            if (nodes[v].start & kGrouped) nodes[v].t += groupBase[b];
        tables = BlockTables{};
    }
    icGroups.back() = {memberBase[blocks], 0, 0, 0};
}

void FastSampler::groupInEdges(const GraphView& view, UI v, const UI* w, IcNode& nd, std::vector<IcGroup>& groups,
                               std::vector<IcMember>& members) const {
    // Groups by the bit length of the threshold, largest first; edges that
    // never fire join none.
    const UI d = view.degree(static_cast<int>(v));
    nd.start |= kGrouped;
    nd.t = static_cast<UI>(groups.size());
    const int* neigh = view.adj + view.adjOff[v];
    for (UI bits = 32; bits >= 1; --bits) {
        UI bound = 0;
        UI size = 0;
        for (UI i = 0; i < d; ++i)
            if (w[i] != 0 && std::bit_width(w[i]) == bits) {
                bound = std::max(bound, w[i]);
                ++size;
            }
        if (size == 0) continue;
        IcGroup gr;
        gr.first = static_cast<UI>(members.size());
        gr.t = bound;
        std::tie(gr.none, gr.one) = binomialHead(size, bound);
        groups.push_back(gr);
        for (UI i = 0; i < d; ++i)
            if (w[i] != 0 && std::bit_width(w[i]) == bits) {
                const UI accept = w[i] == bound ? 0
                                                : static_cast<UI>(static_cast<double>(w[i]) * kTwo32 /
                                                                  static_cast<double>(bound));
                members.push_back({neigh[i], accept});
            }
    }
    nd.none = static_cast<UI>(groups.size()) - nd.t;
}

std::size_t FastSampler::bytes() const {
    return icNodes.bytes() + icGroups.capacity() * sizeof(IcGroup) + icMembers.capacity() * sizeof(IcMember) +
           ltStart.bytes() + ltThresholds.bytes() + ltAt.bytes();
}

namespace {

template <class A, class B>
bool sameEntries(const A& a, const B& b) {
    return a.size() == b.size() && (a.size() == 0 || std::memcmp(a.data(), b.data(), a.size() * sizeof(*a.data())) == 0);
}

}  // namespace

bool FastSampler::sameTables(const FastSampler& o) const {
    return loadedModel == o.loadedModel && searchesLT == o.searchesLT && keptThresholds == o.keptThresholds &&
           maxDeg == o.maxDeg && sameEntries(icNodes, o.icNodes) &&
           sameEntries(icGroups, o.icGroups) && sameEntries(icMembers, o.icMembers) && sameEntries(ltStart, o.ltStart) &&
           sameEntries(ltThresholds, o.ltThresholds) && sameEntries(ltAt, o.ltAt);
}

UI FastSampler::severalLive(DrawCursor& draw, UI r, UI size, UI t, UI none, UI one, UI* out) const {
    const double p = static_cast<double>(t) * kInvTwo32;
    UI count = 0;
    if (one == 0) {
        // K <= 1 is rarer than one draw in 2^32, so the draw that passed
        // `one` tells nothing: draw the live set afresh. Likely edges are
        // drawn one by one; unlikely ones by jumps to the next live edge.
        if (p >= 0.25) {
            for (UI i = 0; i < size; ++i)
                if (draw.next() < t) out[count++] = i;
            return count;
        }
        const double logMiss = std::log1p(-p);
        double at = -1;
        for (;;) {
            const double u = (static_cast<double>(draw.next()) + 0.5) * kInvTwo32;
            at += std::floor(std::log(u) / logMiss) + 1;
            if (at >= static_cast<double>(size)) return count;
            out[count++] = static_cast<UI>(at);
        }
    }
    // Invert the binomial from K = 2 on, with the same draw. P(K = 1)
    // starts the recurrence: taken from the two thresholds when they hold it
    // to 20 bits or more (a relative error below 2^-20 in how the mass of
    // K >= 2 is split, which no sample size here could see), computed
    // exactly otherwise.
    const double ratio = p / (1.0 - p);
    const double p0 = none >= (1u << 20) ? static_cast<double>(none) * kInvTwo32
                                         : std::exp(static_cast<double>(size) * std::log1p(-p));
    double pk = static_cast<double>(size) * ratio * p0;
    double cumulative = static_cast<double>(one) * kInvTwo32;
    const double u = (static_cast<double>(r) + 0.5) * kInvTwo32;
    UI live = 1;
    while (live < size) {
        pk *= static_cast<double>(size - live) / static_cast<double>(live + 1) * ratio;
        ++live;
        cumulative += pk;
        if (u < cumulative) break;
    }
    if (live > kFewLive && 4 * static_cast<std::uint64_t>(live) >= size) {
        // Selection sampling: each position in turn, kept with the share of
        // the places still to fill among the positions left.
        for (UI i = 0; i < size && count < live; ++i)
            if (static_cast<std::uint64_t>(draw.next()) * (size - i) < (static_cast<std::uint64_t>(live - count) << 32))
                out[count++] = i;
        return count;
    }
    // Floyd's sampling of `live` distinct positions, one draw each, then
    // in increasing order (an insertion sort: there are few).
    for (UI j = size - live; j < size; ++j) {
        const UI x = draw.below(j + 1);
        const bool taken = std::find(out, out + count, x) != out + count;
        out[count++] = taken ? j : x;
    }
    for (UI i = 1; i < count; ++i)
        for (UI j = i; j > 0 && out[j - 1] > out[j]; --j) std::swap(out[j - 1], out[j]);
    return count;
}

}  // namespace lattis
