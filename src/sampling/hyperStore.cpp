// Appending and indexing of the contiguous hyperedge store; see hyperStore.h.
#include "sampling/hyperStore.h"

#include <omp.h>

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstring>
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
                                    std::int64_t added, std::size_t slots) {
    const std::int64_t room = added / (static_cast<std::int64_t>(slots) * kIdsPerNodeForTeam);
    const int parts = static_cast<int>(std::min<std::int64_t>(std::max(1, omp_get_max_threads()), 1 + room));
    std::vector<std::size_t> range(static_cast<std::size_t>(parts) + 1, lastEdge);
    range[0] = firstEdge;
    for (int j = 1; j < parts; ++j)
        range[static_cast<std::size_t>(j)] = static_cast<std::size_t>(
            std::lower_bound(eo + firstEdge, eo + lastEdge, eo[firstEdge] + added * j / parts) - eo);
    return range;
}

// Counts each part's new ids per node: part 0 in `first`, part j > 0 in
// later[j - 1].
void countIds(const int* en, const std::int64_t* eo, const std::vector<std::size_t>& range,
              [[maybe_unused]] std::size_t slots, std::vector<int>& first, std::vector<std::vector<std::int64_t>>& later) {
    const int parts = static_cast<int>(range.size()) - 1;
#pragma omp parallel for schedule(static, 1) num_threads(parts) if (parts > 1)
    for (int j = 0; j < parts; ++j) {
        auto countInto = [&](auto* c) {
            for (std::int64_t p = eo[range[static_cast<std::size_t>(j)]];
                 p < eo[range[static_cast<std::size_t>(j) + 1]]; ++p) {
                assert(en[p] >= 0 && static_cast<std::size_t>(en[p]) < slots);
                ++c[en[p]];
            }
        };
        if (j == 0)
            countInto(first.data());
        else
            countInto(later[static_cast<std::size_t>(j) - 1].data());
    }
}

// Moves each node's old list up by the new ids of the nodes below it
// (highest node first, so nothing is overwritten before it moved), leaving
// off[v] at the end of v's old list, part 0's cursor; the later parts'
// counts become their cursors, after the ids of the parts before them.
void makeRoom(int* ne, std::int64_t* off, std::size_t slots, std::int64_t oldTotal, std::int64_t added,
              const std::vector<int>& first, std::vector<std::vector<std::int64_t>>& later) {
    std::int64_t oldNext = oldTotal;
    std::int64_t above = 0;  // new ids of this node and all higher ones
    for (std::size_t v = slots; v-- > 0;) {
        std::int64_t count = first[v];
        for (const auto& c : later) count += c[v];
        above += count;
        const std::int64_t oldBeg = off[v];
        const std::int64_t len = oldNext - oldBeg;
        const std::int64_t newBeg = oldBeg + added - above;
        if (newBeg != oldBeg && len > 0)
            std::memmove(ne + newBeg, ne + oldBeg, static_cast<std::size_t>(len) * sizeof(int));
        off[v] = newBeg + len;
        std::int64_t at = off[v] + first[v];
        for (auto& c : later) {
            const std::int64_t mine = c[v];
            c[v] = at;
            at += mine;
        }
        oldNext = oldBeg;
    }
}

// Appends each part's ids at its cursors, in hyperedge order.
void placeIds(int* ne, const int* en, const std::int64_t* eo, const std::vector<std::size_t>& range,
              std::int64_t* off, std::vector<std::vector<std::int64_t>>& later) {
    const int parts = static_cast<int>(range.size()) - 1;
    // The appends go to as many places as there are nodes, so many of them
    // miss the cache; fetching the slot of an id some way ahead keeps
    // several misses in flight.
    constexpr std::int64_t ahead = 16;
#pragma omp parallel for schedule(static, 1) num_threads(parts) if (parts > 1)
    for (int j = 0; j < parts; ++j) {
        std::int64_t* c = j == 0 ? off : later[static_cast<std::size_t>(j) - 1].data();
        const std::size_t from = range[static_cast<std::size_t>(j)], to = range[static_cast<std::size_t>(j) + 1];
        const std::int64_t end = eo[to];
        for (std::size_t e = from; e < to; ++e)
            for (std::int64_t p = eo[e]; p < eo[e + 1]; ++p) {
                if (p + ahead < end) __builtin_prefetch(ne + c[en[p + ahead]], 1);
                ne[c[en[p]]++] = static_cast<int>(e);
            }
    }
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
    node_off.resize(static_cast<std::size_t>(n) + 2);
    edge_off.push_back(0);
}

std::size_t HyperStore::bytes() const {
    return node_edge.bytes() + node_off.bytes() + edge_node.bytes() + edge_off.bytes();
}

std::size_t HyperStore::usedBytes() const {
    return node_edge.size() * sizeof(int) + node_off.size() * sizeof(std::int64_t) + edge_node.size() * sizeof(int) +
           edge_off.size() * sizeof(std::int64_t);
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

// A counting sort, in place: each node's old list moves up by the number of
// new ids of the nodes below it (highest node first, so nothing is
// overwritten before it moved), then the new ids are appended in hyperedge
// order, node_off[v] serving as v's write cursor; one shift by a place then
// turns the list ends into starts.
//
// A large batch on a network of few nodes is counted and appended by the
// team: each thread takes one range of hyperedges (ranges of about equal
// shares of the new ids) and, for every node, slots of its own among the
// node's new ids, after those of the ranges before it. So every list stays
// in hyperedge order and the index is the same for any number of threads.
// The threads after the first keep a cursor per node, so the team (or part
// of it) is used only where those cursors are small beside the batch.
// (Splitting by node ranges instead had every thread read the whole batch,
// and was slower on two threads than on one.)
void HyperStore::indexFrom(std::size_t firstEdge) {
    const std::size_t lastEdge = static_cast<std::size_t>(numEdges());
    if (firstEdge >= lastEdge) return;
    const std::size_t slots = static_cast<std::size_t>(numNodes) + 1;
    const int* en = edge_node.data();
    const std::int64_t* eo = edge_off.data();
    const std::int64_t added = eo[lastEdge] - eo[firstEdge];
    std::int64_t* off = node_off.data();
    const std::int64_t oldTotal = off[slots];
    node_edge.reserve(static_cast<std::size_t>(oldTotal + added));
    node_edge.resize(static_cast<std::size_t>(oldTotal + added));
    int* ne = node_edge.data();

    const std::vector<std::size_t> range = partRanges(eo, firstEdge, lastEdge, added, slots);
    std::vector<int> first(slots, 0);
    std::vector<std::vector<std::int64_t>> later;
    for (std::size_t j = 2; j < range.size(); ++j) later.emplace_back(slots, 0);
    countIds(en, eo, range, slots, first, later);
    makeRoom(ne, off, slots, oldTotal, added, first, later);
    placeIds(ne, en, eo, range, off, later);
    // The last part's cursors end where the lists do.
    if (!later.empty()) std::copy(later.back().begin(), later.back().end(), off);
    std::memmove(off + 1, off, slots * sizeof(std::int64_t));
    off[0] = 0;
}

void HyperStore::clear() {
    edge_node.release();
    edge_off.release();
    node_edge.release();
    node_off.release();
    edge_off.push_back(0);
    node_off.resize(static_cast<std::size_t>(numNodes) + 2);
}

}  // namespace lattis
