// Appending and indexing of the contiguous hyperedge store; see hyperStore.h.
#include "sampling/hyperStore.h"

#include <omp.h>

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstdint>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <vector>

#include "core/tuning.h"

namespace lattis {

namespace {
constexpr std::size_t kMaxEdges = static_cast<std::size_t>(INT_MAX);

// The team's parts of a batch of edges firstEdge .. lastEdge - 1 holding
// `added` ids: each part after the first needs kIdsPerNodeForTeam new ids
// per node, so the cursors stay within an eighth of a byte per new id.
// Returns parts + 1 bounds, ranges of about equal shares of the ids.
std::vector<std::size_t> partRanges(const std::int64_t* eo, std::size_t firstEdge, std::size_t lastEdge,
                                    std::int64_t added, std::size_t nodes, int team) {
    const std::int64_t room = added / (static_cast<std::int64_t>(nodes) * kIdsPerNodeForTeam);
    const int parts = static_cast<int>(std::min<std::int64_t>(team, 1 + room));
    std::vector<std::size_t> range(static_cast<std::size_t>(parts) + 1, lastEdge);
    range[0] = firstEdge;
    for (int j = 1; j < parts; ++j)
        range[static_cast<std::size_t>(j)] = static_cast<std::size_t>(
            std::lower_bound(eo + firstEdge, eo + lastEdge, eo[firstEdge] + added * j / parts) - eo);
    return range;
}

// n + 1 bounds of n about equal ranges of 0 .. count - 1.
std::vector<std::size_t> equalRanges(std::size_t count, int n) {
    std::vector<std::size_t> bound(static_cast<std::size_t>(n) + 1);
    for (int t = 0; t <= n; ++t) bound[static_cast<std::size_t>(t)] = count * static_cast<std::size_t>(t) / static_cast<std::size_t>(n);
    return bound;
}

// One batch being indexed: its hyperedges, the index arrays, and the new ids
// of each slot, counted either by hyperedge parts (part 0 in `first`, part
// j > 0 in later[j - 1]) or, with a single part, by node ranges into
// `first` alone.
struct Batch {
    const int* en = nullptr;
    const std::int64_t* eo = nullptr;
    std::size_t firstEdge = 0, lastEdge = 0;
    int* slotOf = nullptr;  // a node's slot + 1
    int* ne = nullptr;
    std::int64_t* off = nullptr;
    std::size_t oldSlots = 0, slots = 0;
    std::vector<std::size_t> range;  // hyperedge parts
    std::vector<std::size_t> nodes;  // node ranges, one per thread
    std::vector<int> first;
    std::vector<std::vector<std::int64_t>> later;

    int parts() const { return static_cast<int>(range.size()) - 1; }
    int team() const { return static_cast<int>(nodes.size()) - 1; }
    std::int64_t newIds(std::size_t s) const {
        std::int64_t count = first[s];
        for (const auto& c : later) count += c[s];
        return count;
    }
};

// Calls f(edge, id position, node) for each new id, in hyperedge order,
// whose node lies in [lo, hi).
template <class F>
inline void forIdsIn(const Batch& b, std::size_t fromEdge, std::size_t toEdge, std::size_t lo, std::size_t hi,
                     F&& f) {
    const std::size_t width = hi - lo;
    for (std::size_t e = fromEdge; e < toEdge; ++e)
        for (std::int64_t p = b.eo[e]; p < b.eo[e + 1]; ++p) {
            const std::size_t v = static_cast<std::size_t>(b.en[p]);
            if (v - lo < width) f(e, p, v);
        }
}

// The nodes of one node range that enter the index with this batch, in the
// order they first appear, and their new ids.
struct alignas(64) Fresh {
    std::vector<int> nodes;
    std::vector<int> ids;
};

// Takes back the provisional slots of the fresh nodes.
void unmark(Batch& b, const std::vector<Fresh>& fresh) {
    for (const Fresh& f : fresh)
        for (int v : f.nodes) b.slotOf[v] = 0;
}

// Finds each node range's fresh nodes, marking them with provisional slots
// (-1 - their place in the range's list), and counts the new ids of the
// slots held already into b.first. Each thread reads the whole batch but
// touches only the nodes of its range. Should a list fail to grow, the
// marks are taken back and the failure is rethrown.
std::vector<Fresh> findFresh(Batch& b) {
    const int team = b.team();
    std::vector<Fresh> fresh(static_cast<std::size_t>(team));
    std::vector<std::exception_ptr> failures(static_cast<std::size_t>(team));
#pragma omp parallel for schedule(static, 1) num_threads(team)
    for (int t = 0; t < team; ++t) {
        Fresh& f = fresh[static_cast<std::size_t>(t)];
        int* slotOf = b.slotOf;
        int* first = b.first.data();
        try {
            forIdsIn(b, b.firstEdge, b.lastEdge, b.nodes[static_cast<std::size_t>(t)],
                     b.nodes[static_cast<std::size_t>(t) + 1], [&](std::size_t, std::int64_t, std::size_t v) {
                         const int s = slotOf[v];
                         if (s > 0) {
                             ++first[s - 1];
                         } else if (s == 0) {
                             f.nodes.push_back(static_cast<int>(v));
                             f.ids.push_back(1);
                             slotOf[v] = -static_cast<int>(f.nodes.size());
                         } else {
                             ++f.ids[static_cast<std::size_t>(-s - 1)];
                         }
                     });
        } catch (...) {
            failures[static_cast<std::size_t>(t)] = std::current_exception();
        }
    }
    for (const std::exception_ptr& failure : failures)
        if (failure) {
            unmark(b, fresh);
            std::rethrow_exception(failure);
        }
    return fresh;
}

// Gives the fresh nodes their slots after those held, range by range, and
// writes their new ids into b.first.
void assignSlots(Batch& b, const std::vector<Fresh>& fresh) {
    std::vector<std::size_t> base(fresh.size() + 1, b.oldSlots);
    for (std::size_t t = 0; t < fresh.size(); ++t) base[t + 1] = base[t] + fresh[t].nodes.size();
#pragma omp parallel for schedule(static, 1) num_threads(b.team())
    for (int t = 0; t < b.team(); ++t) {
        const Fresh& f = fresh[static_cast<std::size_t>(t)];
        const std::size_t at = base[static_cast<std::size_t>(t)];
        for (std::size_t i = 0; i < f.nodes.size(); ++i) {
            b.slotOf[f.nodes[i]] = static_cast<int>(at + i + 1);
            b.first[at + i] = f.ids[i];
        }
    }
}

// With several hyperedge parts, counts each part's new ids per slot.
void countByParts(Batch& b) {
    std::fill(b.first.begin(), b.first.end(), 0);
#pragma omp parallel for schedule(static, 1) num_threads(b.parts())
    for (int j = 0; j < b.parts(); ++j) {
        const std::size_t ji = static_cast<std::size_t>(j);
        auto countInto = [&](auto* c) {
            forIdsIn(b, b.range[ji], b.range[ji + 1], 0, SIZE_MAX,
                     [c, &b](std::size_t, std::int64_t, std::size_t v) { ++c[b.slotOf[v] - 1]; });
        };
        if (j == 0)
            countInto(b.first.data());
        else
            countInto(b.later[ji - 1].data());
    }
}

// The shift of a slot's old list is the number of new ids of the slots
// below it. Returns, per slot range, the new ids below it, then their total.
std::vector<std::int64_t> shiftsAtRanges(const Batch& b, const std::vector<std::size_t>& sr) {
    const int team = static_cast<int>(sr.size()) - 1;
    std::vector<std::int64_t> below(sr.size(), 0);
#pragma omp parallel for schedule(static, 1) num_threads(team)
    for (int t = 0; t < team; ++t) {
        std::int64_t sum = 0;
        for (std::size_t s = sr[static_cast<std::size_t>(t)]; s < sr[static_cast<std::size_t>(t) + 1]; ++s)
            sum += b.newIds(s);
        below[static_cast<std::size_t>(t) + 1] = sum;
    }
    for (std::size_t t = 1; t < below.size(); ++t) below[t] += below[t - 1];
    return below;
}

// Moves each slot's old list up by its shift and turns off[s + 1], the old
// end of s's list, into the cursor of s's first new id (the later parts'
// counts become their cursors, after the ids of the parts before them).
//
// Every list moves up, by more the higher its slot, so a thread that moves
// its slot range highest list first never overwrites a list of its own
// before it moved; runs of slots without new ids share a shift and move as
// one block. A range's moves reach into the next range's old lists at most
// as far as the shift of that range's first slot, so each range first
// copies that head of its lists aside, and reads it from there.
void makeRoom(Batch& b, const std::vector<std::size_t>& sr) {
    const std::vector<std::int64_t> below = shiftsAtRanges(b, sr);
    const int team = static_cast<int>(sr.size()) - 1;
    std::vector<std::int64_t> oldBegin(sr.size()), headEnd(static_cast<std::size_t>(team));
    std::vector<std::vector<int>> head(static_cast<std::size_t>(team));
    for (std::size_t t = 0; t < sr.size(); ++t) oldBegin[t] = b.off[sr[t]];
    for (std::size_t t = 0; t < head.size(); ++t) {
        headEnd[t] = oldBegin[t] + std::min(below[t], oldBegin[t + 1] - oldBegin[t]);
        head[t].resize(static_cast<std::size_t>(headEnd[t] - oldBegin[t]));
    }
#pragma omp parallel for schedule(static, 1) num_threads(team)
    for (int t = 0; t < team; ++t)
        std::copy(b.ne + oldBegin[static_cast<std::size_t>(t)], b.ne + headEnd[static_cast<std::size_t>(t)],
                  head[static_cast<std::size_t>(t)].begin());
#pragma omp parallel for schedule(static, 1) num_threads(team)
    for (int t = 0; t < team; ++t) {
        const std::size_t ti = static_cast<std::size_t>(t);
        const std::int64_t headBegin = oldBegin[ti], headStop = headEnd[ti];
        const int* aside = head[ti].data();
        int* ne = b.ne;
        // Moves old positions [lo, hi) up by `shift`, those of the head from
        // the copy.
        auto move = [&](std::int64_t lo, std::int64_t hi, std::int64_t shift) {
            if (shift == 0 || lo >= hi) return;
            const std::int64_t mid = std::clamp(headStop, lo, hi);
            if (hi > mid) std::memmove(ne + mid + shift, ne + mid, static_cast<std::size_t>(hi - mid) * sizeof(int));
            if (mid > lo)
                std::memcpy(ne + lo + shift, aside + (lo - headBegin), static_cast<std::size_t>(mid - lo) * sizeof(int));
        };
        std::int64_t shift = below[ti + 1];
        std::int64_t end = oldBegin[ti + 1];
        std::int64_t runLo = end, runHi = end, runShift = shift;
        for (std::size_t s = sr[ti + 1]; s-- > sr[ti];) {
            shift -= b.newIds(s);
            // The range below may have written this range's first offset.
            const std::int64_t begin = s == sr[ti] ? headBegin : b.off[s];
            if (shift != runShift) {
                move(runLo, runHi, runShift);
                runHi = end;
                runShift = shift;
            }
            runLo = begin;
            b.off[s + 1] = end + shift;
            std::int64_t at = b.off[s + 1] + b.first[s];
            for (auto& c : b.later) {
                const std::int64_t mine = c[s];
                c[s] = at;
                at += mine;
            }
            end = begin;
        }
        move(runLo, runHi, runShift);
    }
}

// Appends the new ids at their slots' cursors, in hyperedge order: by
// hyperedge parts, each with its cursors, or with one part, each thread the
// nodes of its range.
void placeIds(Batch& b) {
    // The appends go to as many places as there are nodes, so many of them
    // miss the cache; fetching the slot and the cursor of an id some way
    // ahead keeps several misses in flight.
    constexpr std::int64_t ahead = 16;
    const bool byParts = b.parts() > 1;
    const int workers = byParts ? b.parts() : b.team();
#pragma omp parallel for schedule(static, 1) num_threads(workers)
    for (int j = 0; j < workers; ++j) {
        const std::size_t ji = static_cast<std::size_t>(j);
        std::int64_t* c = !byParts || j == 0 ? b.off + 1 : b.later[ji - 1].data();
        const std::size_t from = byParts ? b.range[ji] : b.firstEdge, to = byParts ? b.range[ji + 1] : b.lastEdge;
        const std::size_t lo = byParts ? 0 : b.nodes[ji], hi = byParts ? SIZE_MAX : b.nodes[ji + 1];
        const std::int64_t end = b.eo[to];
        int* ne = b.ne;
        const int* en = b.en;
        const int* slotOf = b.slotOf;
        const std::size_t width = hi - lo;
        forIdsIn(b, from, to, lo, hi, [&](std::size_t e, std::int64_t p, std::size_t v) {
            if (p + 2 * ahead < end) __builtin_prefetch(slotOf + en[p + 2 * ahead]);
            if (p + ahead < end) {
                const std::size_t w = static_cast<std::size_t>(en[p + ahead]);
                if (w - lo < width) __builtin_prefetch(c + slotOf[w] - 1);
            }
            ne[c[slotOf[v] - 1]++] = static_cast<int>(e);
        });
    }
    // The last part's cursors end where the lists do.
    if (!b.later.empty()) std::copy(b.later.back().begin(), b.later.back().end(), b.off + 1);
}

}  // namespace

void HyperedgeBuffer::reserveKept(std::size_t edges, std::size_t nodeCount) {
    if (nodeBytesKept == 0) {
        nodes.reserve(nodeCount);
        nodeBytesKept = nodeBytesGone = nodes.bytes();
    }
    if (sizeBytesKept == 0) {
        sizes.reserve(edges);
        sizeBytesKept = sizeBytesGone = sizes.bytes();
    }
}

void HyperedgeBuffer::discardBefore(std::size_t node, std::size_t edge) {
    auto drop = [](auto& arr, std::size_t count, std::size_t& gone) {
        // Whole pages of the array's present kind, so a huge page is never
        // split (the kept room may end inside one).
        const std::size_t page = arr.pageBytes();
        const std::size_t from = arr.wholePages(gone);
        const std::size_t whole = count * sizeof(arr[0]) / page * page;
        if (whole <= from) return;
        arr.discardPages(from, whole);
        gone = whole;
    };
    drop(nodes, node, nodeBytesGone);
    drop(sizes, edge, sizeBytesGone);
}

void HyperedgeBuffer::restart() {
    // The kept room grows to whole pages of the array's present kind: an
    // array that moved onto huge pages keeps its first one whole.
    auto keep = [](auto& arr, std::size_t& kept, std::size_t& gone) {
        kept = std::min(arr.bytes(), arr.wholePages(kept));
        arr.emptyKeeping(kept);
        gone = kept;
    };
    keep(nodes, nodeBytesKept, nodeBytesGone);
    keep(sizes, sizeBytesKept, sizeBytesGone);
}

HyperStore::HyperStore(UI n) : numNodes(n) {
    node_slot.resize(static_cast<std::size_t>(n) + 1);
    slot_off.push_back(0);
    edge_off.push_back(0);
}

std::size_t HyperStore::bytes() const {
    return node_edge.bytes() + node_slot.bytes() + slot_off.bytes() + edge_node.bytes() + edge_off.bytes();
}

std::size_t HyperStore::usedBytes() const {
    return node_edge.size() * sizeof(int) + node_slot.size() * sizeof(int) + slot_off.size() * sizeof(std::int64_t) +
           edge_node.size() * sizeof(int) + edge_off.size() * sizeof(std::int64_t);
}

void HyperStore::checkRoom(std::size_t edges) const {
    if (edges > kMaxEdges - static_cast<std::size_t>(numEdges()))
        throw std::runtime_error("the hyperedge store would pass 2147483647 hyperedges, the range of hyperedge ids");
}

void HyperStore::reserve(std::size_t edges, std::size_t nodes) {
    checkRoom(edges);
    edge_node.reserve(edge_node.size() + nodes);
    edge_off.reserve(edge_off.size() + edges);
}

void HyperStore::push(const int* nodes, std::size_t count) {
    checkRoom(1);
    edge_node.append({nodes, count});
    edge_off.push_back(static_cast<std::int64_t>(edge_node.size()));
}

HyperStore::Extension HyperStore::extend(std::size_t edges, std::size_t nodes) {
    checkRoom(edges);
    const std::size_t firstNode = edge_node.size();
    const std::size_t firstEnd = edge_off.size();
    edge_node.resize(firstNode + nodes);
    edge_off.resize(firstEnd + edges);
    return {edge_node.data() + firstNode, edge_off.data() + firstEnd, static_cast<std::int64_t>(firstNode)};
}

void HyperStore::append(const HyperedgeBuffer& buf, std::size_t firstEdge, std::size_t count, std::size_t firstNode) {
    checkRoom(count);
    const UI* sizes = buf.sizes.data() + firstEdge;
    std::size_t nodes = 0;
    for (std::size_t i = 0; i < count; ++i) nodes += sizes[i];
    edge_node.append({buf.nodes.data() + firstNode, nodes});
    const std::size_t at = edge_off.size();
    edge_off.resize(at + count);
    std::int64_t* off = edge_off.data();
    for (std::size_t i = 0; i < count; ++i) off[at + i] = off[at + i - 1] + sizes[i];
}

// A counting sort, in place: the nodes new to the index get slots after
// those held, each slot's old list moves up by the number of new ids of the
// slots below it, then the new ids are appended in hyperedge order, the end
// offset slot_off[s + 1] serving as slot s's write cursor until it is s's
// end again. The work follows the batch and the slots, not the network's
// nodes.
//
// The team does every step, in one of two ways that give the same lists for
// any number of threads (the slots' order may differ, which no reader sees):
//  - A batch of few ids per node (every batch on a large network): each
//    thread takes a range of nodes, reads the whole batch and finds, counts
//    and appends the ids of its nodes only.
//  - A large batch on a network of few nodes: the fresh nodes are found on
//    one thread; then each thread takes one range of hyperedges (ranges of
//    about equal shares of the new ids) and, for every slot, places of its
//    own among the slot's new ids, after those of the ranges before it. The
//    threads after the first keep a cursor per slot, so this is used only
//    where those cursors are small beside the batch.
// The lists are moved by ranges of slots in either case.
void HyperStore::indexFrom(std::size_t firstEdge) {
    const std::size_t lastEdge = static_cast<std::size_t>(numEdges());
    if (firstEdge >= lastEdge) return;
    Batch b;
    b.en = edge_node.data();
    b.eo = edge_off.data();
    b.firstEdge = firstEdge;
    b.lastEdge = lastEdge;
    const std::size_t nodes = static_cast<std::size_t>(numNodes) + 1;
    const std::int64_t added = b.eo[lastEdge] - b.eo[firstEdge];
    b.oldSlots = slot_off.size() - 1;
    const std::int64_t oldTotal = slot_off[b.oldSlots];
    const int team = static_cast<int>(
        std::min<std::size_t>(static_cast<std::size_t>(std::max(1, omp_get_max_threads())), nodes));
    b.range = partRanges(b.eo, firstEdge, lastEdge, added, nodes, team);
    // With hyperedge parts the fresh nodes are found on one thread, and the
    // node ranges serve nothing else.
    b.nodes = equalRanges(nodes, b.parts() > 1 ? 1 : team);
    b.slotOf = node_slot.data();
    node_edge.reserve(static_cast<std::size_t>(oldTotal + added));
    b.first.resize(b.oldSlots);

    std::vector<Fresh> fresh = findFresh(b);
    b.slots = b.oldSlots;
    for (const Fresh& f : fresh) b.slots += f.nodes.size();
    try {
        slot_off.reserve(b.slots + 1);
        b.first.resize(b.slots);
        for (int j = 1; j < b.parts(); ++j) b.later.emplace_back(b.slots, 0);
    } catch (...) {
        unmark(b, fresh);
        throw;
    }
    assignSlots(b, fresh);
    fresh.clear();
    if (b.parts() > 1) countByParts(b);
    node_edge.resize(static_cast<std::size_t>(oldTotal + added));
    slot_off.resize(b.slots + 1);
    b.ne = node_edge.data();
    b.off = slot_off.data();
    // The fresh slots' old lists are empty, at the end of the old ones.
    std::fill(b.off + b.oldSlots + 1, b.off + b.slots + 1, oldTotal);
    makeRoom(b, equalRanges(b.slots, team));
    placeIds(b);
}

void HyperStore::clear() {
    edge_node.release();
    edge_off.release();
    node_edge.release();
    node_slot.release();
    slot_off.release();
    edge_off.push_back(0);
    node_slot.resize(static_cast<std::size_t>(numNodes) + 1);
    slot_off.push_back(0);
}

}  // namespace lattis
