// The hyperedge store of one run, its benefit-weighted root distribution and
// the reverse samplers under LT and IC.
//
// A hyperedge is the set of nodes one reverse sample reaches, root first, in
// the order reached. The store keeps all hyperedges back to back in one array
// (edge_node) with one offset per hyperedge, and the node-to-hyperedge index
// (node_edge) likewise contiguous with one offset per node, so that each
// stored node id costs one int in each structure. Both live in GrowArrays, so
// a growing store never holds its contents twice.
//
// Samplers come in two forms: the single-threaded members that draw from the
// store's own generator and append to the store, and const members that take
// the calling thread's generator stream and hyperedge buffer, so that sampling
// threads share nothing writable. Derived streams are seeded with
// sfmt_init_by_array on a key drawn from the store's generator plus an index
// (a block number, a thread number), so no two streams of a run coincide.
//
// The root distribution assumes the Graph's benefit positions hold only
// positive benefits or zeros (both layouts do). Every entry from the last
// positive position on is UI_MAX, and the top draw 4294967295 roots at the
// last positive position, so every draw yields a real node. A table over the
// top bits of the draw narrows the search of bDist to a few positions.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "graph.h"
#include "growArray.h"
#include "procutil.h"
#include "sfmt/SFMT.h"

// Hyperedges sampled by one thread before they join the store. Held in
// GrowArrays so that released memory goes back to the system at once rather
// than lingering in the allocator while the store grows.
struct HyperedgeBuffer {
    GrowArray<int> nodes;  // node ids of all hyperedges, back to back
    GrowArray<UI> sizes;   // node count of each hyperedge, in order
    void clear() {
        nodes.release();
        sizes.release();
        nodeBytesGone = 0;
        sizeBytesGone = 0;
    }
    // Gives the whole pages below node position `node` and hyperedge position
    // `edge` back to the system; they read as zero afterwards, so only call
    // this for a prefix that has already been copied out.
    void discardBefore(std::size_t node, std::size_t edge);

private:
    std::size_t nodeBytesGone = 0;  // prefixes already given back
    std::size_t sizeBytesGone = 0;
};

class HyperGraph {
public:
    // Builds the empty store for n nodes, the root distribution over g's
    // benefit positions and the generator (seeded from one rand() value).
    // Throws std::runtime_error when no node has a positive benefit.
    HyperGraph(unsigned n, const Graph& g);
    HyperGraph(const HyperGraph&) = delete;
    HyperGraph& operator=(const HyperGraph&) = delete;

    void updateDeg();
    void updateEdge();
    void addEdge(const std::vector<int>& edge);
    void addEdgeD(const std::vector<int>& edge);
    int getMaxDegree() const;
    std::span<const int> getEdge(int e) const;
    std::span<const int> getNode(int n) const;
    int getNumEdge() const;
    void clearEdges();

    // Samplers on the store's own generator; the storing ones append to the store.
    void pollingLT1(const Graph& g, std::vector<bool>& visit, std::vector<int>& visit_mark);
    bool pollingLT2(const Graph& g, const std::vector<UI>& link, UI k, std::vector<bool>& visit, std::vector<int>& visit_mark);
    bool pollingLT(const Graph& g, const std::vector<UI>& link, UI k, std::vector<bool>& visit, std::vector<int>& visit_mark);
    void pollingIC1(const Graph& g, std::vector<bool>& visit, std::vector<int>& visit_mark);
    bool pollingIC2(const Graph& g, const std::vector<UI>& link, UI k, std::vector<bool>& visit, std::vector<int>& visit_mark);
    bool pollingIC(const Graph& g, const std::vector<UI>& link, UI k, std::vector<bool>& visit, std::vector<int>& visit_mark);

    // The same walks on a caller's stream and buffer, for sampling threads.
    void pollingLT1(const Graph& g, sfmt_t& rng, HyperedgeBuffer& out, std::vector<bool>& visit, std::vector<int>& visit_mark) const;
    void pollingIC1(const Graph& g, sfmt_t& rng, HyperedgeBuffer& out, std::vector<bool>& visit, std::vector<int>& visit_mark) const;
    bool pollingLT(const Graph& g, sfmt_t& rng, const std::vector<UI>& link, UI k, std::vector<bool>& visit, std::vector<int>& visit_mark) const;
    bool pollingIC(const Graph& g, sfmt_t& rng, const std::vector<UI>& link, UI k, std::vector<bool>& visit, std::vector<int>& visit_mark) const;

    // One draw, then the position p in 1..si-1 whose interval of w holds it
    // (-1 when si <= 1 or the draw lies above w[si - 1]). Binary search puts
    // a draw equal to a boundary into the interval above it, the linear scan
    // into the interval below it.
    static int randIndex_bin(const UI* w, UI si, sfmt_t& rng);
    static int randIndex_lin(const UI* w, UI si, sfmt_t& rng);

    // Four draws from the store's generator: the key of a family of streams.
    std::array<UI, 4> drawStreamKey();
    // Seeds s by sfmt_init_by_array on {key[0..3], low and high word of index}.
    static void initStream(sfmt_t& s, const std::array<UI, 4>& key, std::uint64_t index);
    // Blocks handed out over the store's whole life; advances the count by n
    // and returns the first block number of the n.
    std::uint64_t claimBlockNumbers(std::uint64_t n);

    // Makes room for `edges` more hyperedges holding `nodes` more node ids, so
    // that a batch appended slice by slice is mapped once, at its exact size.
    // Throws std::runtime_error when the store would pass 2147483647 hyperedges.
    void reserveEdges(std::size_t edges, std::size_t nodes);
    // Appends `count` hyperedges of buf, starting at hyperedge position
    // firstEdge whose nodes start at position firstNode (not indexed until
    // updateDeg). Throws like reserveEdges.
    void appendEdges(const HyperedgeBuffer& buf, std::size_t firstEdge, std::size_t count, std::size_t firstNode);
    // Appends all of buf and empties it, releasing its memory.
    void appendEdges(HyperedgeBuffer& buf);

    // Node ids held by the hyperedges (the length of edge_node).
    std::size_t getNumStoredNodes() const;
    // Bytes held by the hyperedges, their offsets and the index.
    std::size_t storeBytes() const;

    sfmt_t& generator() { return sfmtSeed; }
    const std::vector<UI>& rootDistribution() const { return bDist; }

private:
    enum class SeedTest { None, Flag, Exit };
    template <SeedTest mode, class Sink>
    bool walkLT(const Graph& g, sfmt_t& rng, Sink& sink, const UI* link, UI k, std::vector<bool>& visit, std::vector<int>& visit_mark) const;
    template <SeedTest mode, class Sink>
    bool searchIC(const Graph& g, sfmt_t& rng, Sink& sink, const UI* link, UI k, std::vector<bool>& visit, std::vector<int>& visit_mark) const;
    int rootFor(const Graph& g, UI ran) const;
    void pushEdge(const int* nodes, std::size_t count);
    void checkRoom(std::size_t edges) const;
    void indexFrom(std::size_t firstEdge);

    GrowArray<int> node_edge;                  // hyperedge ids per node, back to back
    GrowArray<std::int64_t> node_off;          // n + 2 offsets into node_edge
    GrowArray<int> edge_node;                  // node ids per hyperedge, back to back
    GrowArray<std::int64_t> edge_off;          // numEdge + 1 offsets into edge_node
    UI curEdge = 0;
    UI maxDegree = 0;
    UI numNodes = 0;
    UI benSize = 0;
    std::vector<UI> bDist;
    UI lastPositive = 0;                        // last position with a positive benefit
    // rootStart[j]: the first position whose entry passes the least draw of
    // bucket j (the draws with j in their top 32 - rootShift bits); one
    // entry more at the end holds benSize.
    std::vector<UI> rootStart;
    int rootShift = 31;
    std::uint64_t blocksIssued = 0;
    sfmt_t sfmtSeed;
};
