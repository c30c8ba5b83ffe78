// Appending and indexing of the contiguous hyperedge store; see hyperStore.h.
#include "hyperStore.h"

#include <omp.h>
#include <sys/mman.h>

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {
constexpr std::size_t kMaxEdges = static_cast<std::size_t>(INT_MAX);
// New ids from which a batch is indexed by the thread team.
constexpr std::int64_t kParallelIndexFrom = std::int64_t{1} << 18;

// b rounded up to whole pages of `page` bytes.
std::size_t wholePages(std::size_t b, std::size_t page) { return (b + page - 1) / page * page; }
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
        const std::size_t from = wholePages(gone, page);
        const std::size_t whole = count * sizeof(arr[0]) / page * page;
        if (whole <= from) return;
        // Failure only means the pages stay resident until clear().
        [[maybe_unused]] int rc = madvise(reinterpret_cast<char*>(arr.data()) + from, whole - from, MADV_DONTNEED);
        gone = whole;
    };
    drop(nodes, node, nodeBytesGone);
    drop(sizes, edge, sizeBytesGone);
}

void HyperedgeBuffer::restart() {
    // The kept room grows to whole pages of the array's present kind: an
    // array that moved onto huge pages keeps its first one whole.
    auto keep = [](auto& arr, std::size_t& kept, std::size_t& gone) {
        kept = std::min(arr.bytes(), wholePages(kept, arr.pageBytes()));
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

// One counting pass, in place: each node's old list moves up by the number
// of new ids of the nodes below it (highest node first, so nothing is
// overwritten before it moved), then the new ids are appended in hyperedge
// order. During the appends node_off[v] serves as v's write cursor, which
// leaves it at the end of v's list, the start of v + 1's; one shift by a
// place then restores the starts.
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
    std::vector<int> count(slots, 0);
    {
        for (std::int64_t p = eo[firstEdge]; p < eo[lastEdge]; ++p) {
            assert(en[p] >= 0 && static_cast<std::size_t>(en[p]) < slots);
            ++count[static_cast<std::size_t>(en[p])];
        }
        std::int64_t oldNext = oldTotal;
        std::int64_t above = 0;  // new ids of this node and all higher ones
        for (std::size_t v = slots; v-- > 0;) {
            above += count[v];
            const std::int64_t oldBeg = off[v];
            const std::int64_t len = oldNext - oldBeg;
            const std::int64_t newBeg = oldBeg + added - above;
            if (newBeg != oldBeg && len > 0)
                std::memmove(ne + newBeg, ne + oldBeg, static_cast<std::size_t>(len) * sizeof(int));
            off[v] = newBeg + len;
            oldNext = oldBeg;
        }
    }
    // The appends go to as many places as there are nodes, so many of them
    // miss the cache; fetching the slot of an id some way ahead keeps
    // several misses in flight. Each thread of the team takes the ids of one
    // range of nodes (ranges of about equal shares of the new ids): it reads
    // the whole batch but writes only its own lists, each in hyperedge order,
    // so the index is the same for any number of threads.
    // A small batch is indexed on this thread: waking the team would cost
    // more than its share of the work.
    const int parts = added < kParallelIndexFrom ? 1 : std::max(1, omp_get_max_threads());
    std::vector<std::size_t> bound(static_cast<std::size_t>(parts) + 1, slots);
    bound[0] = 0;
    {
        std::size_t v = 0;
        std::int64_t below = 0;  // new ids of the nodes before v
        for (int j = 1; j < parts; ++j) {
            while (v < slots && below < added * j / parts) below += count[v++];
            bound[static_cast<std::size_t>(j)] = v;
        }
    }
    constexpr std::int64_t ahead = 16;
    const std::int64_t endAll = eo[lastEdge];
#pragma omp parallel for schedule(static, 1) if (parts > 1)
    for (int j = 0; j < parts; ++j) {
        const std::size_t lo = bound[static_cast<std::size_t>(j)], hi = bound[static_cast<std::size_t>(j) + 1];
        for (std::size_t e = firstEdge; e < lastEdge; ++e)
            for (std::int64_t p = eo[e]; p < eo[e + 1]; ++p) {
                const std::size_t v = static_cast<std::size_t>(en[p]);
                if (v < lo || v >= hi) continue;
                if (p + ahead < endAll) {
                    const std::size_t w = static_cast<std::size_t>(en[p + ahead]);
                    if (w >= lo && w < hi) __builtin_prefetch(ne + off[w], 1);
                }
                ne[off[v]++] = static_cast<int>(e);
            }
    }
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
