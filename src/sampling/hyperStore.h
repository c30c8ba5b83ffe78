// The hyperedges of one run and the node-to-hyperedge index, held
// contiguously.
//
// All hyperedges lie back to back in one array (edge_node) with one offset
// per hyperedge, and the index (node_edge) likewise, each list under a slot
// of its own: a node gets its slot when it first enters a stored hyperedge
// (node_slot, one int per node, 0 for none), and the slots' offsets
// (slot_off) are as many as the nodes stored. So each stored node id costs
// one int in each array, and the index costs what the store holds rather
// than one offset per node of the network, which at millions of nodes is
// most of it. All live in GrowArrays, so a growing store never holds its
// contents twice. Hyperedges arrive in batches (HyperedgeBuffer) and are
// indexed once per batch. Hyperedge ids are ints: a store holds at most
// 2147483647 hyperedges, and appending past that throws before anything
// changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "graph/graph.h"
#include "core/growArray.h"

namespace lattis {

// Hyperedges sampled by one thread before they join the store. Held in
// GrowArrays so that released memory goes back to the system at once rather
// than lingering in the allocator while the store grows. A first stretch of
// room may be kept from batch to batch (reserveKept), so that small batches
// find their pages already mapped.
struct HyperedgeBuffer {
    GrowArray<int> nodes;  // node ids of all hyperedges, back to back
    GrowArray<UI> sizes;   // node count of each hyperedge, in order
    void add(const int* ids, UI count) {
        nodes.append({ids, count});
        sizes.push_back(count);
    }
    void clear() {
        nodes.release();
        sizes.release();
        nodeBytesGone = nodeBytesKept = 0;
        sizeBytesGone = sizeBytesKept = 0;
    }
    // Room for `edges` sizes and `nodes` ids that discardBefore and restart
    // never give back.
    void reserveKept(std::size_t edges, std::size_t nodeCount);
    // Gives the whole pages below node position `node` and hyperedge position
    // `edge`, past the kept room, back to the system; they read as zero
    // afterwards, so only call this for a prefix that has already been
    // copied out.
    void discardBefore(std::size_t node, std::size_t edge);
    // Empties the buffer for the next batch: the kept room stays, all memory
    // past it is given back.
    void restart();

private:
    std::size_t nodeBytesGone = 0;  // prefixes already given back, from the kept room on
    std::size_t sizeBytesGone = 0;
    std::size_t nodeBytesKept = 0;
    std::size_t sizeBytesKept = 0;
};

class HyperStore {
public:
    explicit HyperStore(UI n = 0);

    int numEdges() const { return static_cast<int>(edge_off.size() - 1); }
    std::span<const int> edge(int e) const {
        const std::int64_t b = edge_off[static_cast<std::size_t>(e)];
        return {edge_node.data() + b, static_cast<std::size_t>(edge_off[static_cast<std::size_t>(e) + 1] - b)};
    }
    // Hyperedges that hold node v, in increasing order (indexed ones only).
    std::span<const int> node(int v) const {
        const std::size_t s = static_cast<std::size_t>(node_slot[static_cast<std::size_t>(v)]);
        if (s == 0) return {};
        const std::int64_t b = slot_off[s - 1];
        return {node_edge.data() + b, static_cast<std::size_t>(slot_off[s] - b)};
    }
    std::size_t storedNodes() const { return edge_node.size(); }
    std::size_t slots() const { return slot_off.size() - 1; }
    std::size_t bytes() const;
    // Bytes of the ids and offsets stored (bytes() adds the unused rest of
    // each array's last page, up to 2 MB per array).
    std::size_t usedBytes() const;

    // Throws std::runtime_error when `edges` more would pass 2147483647.
    void checkRoom(std::size_t edges) const;
    // Room for `edges` more hyperedges holding `nodes` more ids, so that a
    // batch appended slice by slice is mapped once, at its exact size.
    void reserve(std::size_t edges, std::size_t nodes);
    void push(const int* nodes, std::size_t count);
    // Room for `edges` more hyperedges of `nodes` ids in all, counted as
    // stored at once: the caller writes every id (nodes[0 .. nodes)) and
    // every end offset (ends[i], the position after hyperedge i's last id in
    // the whole store, from firstNode on) before anything reads the store.
    // Lets several threads copy their parts of a batch side by side.
    struct Extension {
        int* nodes;
        std::int64_t* ends;
        std::int64_t firstNode;
    };
    Extension extend(std::size_t edges, std::size_t nodes);
    // Appends `count` hyperedges of buf, starting at hyperedge position
    // firstEdge whose nodes start at position firstNode.
    void append(const HyperedgeBuffer& buf, std::size_t firstEdge, std::size_t count, std::size_t firstNode);
    // Enters hyperedges firstEdge.. into the index.
    void indexFrom(std::size_t firstEdge);
    // Drops every hyperedge and the index.
    void clear();

private:
    UI numNodes = 0;
    GrowArray<int> node_edge;          // hyperedge ids per slot, back to back
    GrowArray<int> node_slot;          // n + 1: a node's slot + 1, 0 for none
    GrowArray<std::int64_t> slot_off;  // slots + 1 offsets into node_edge
    GrowArray<int> edge_node;          // node ids per hyperedge, back to back
    GrowArray<std::int64_t> edge_off;  // numEdges + 1 offsets into edge_node
};

}  // namespace lattis
