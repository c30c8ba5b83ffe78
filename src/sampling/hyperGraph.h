// The hyperedge store of one run as the programs see it: the root
// distribution, the stored hyperedges with their node index, and the
// generator every draw of sampling comes from.
//
// HyperGraph only joins the parts that live in files of their own
// (rootDistribution.h, hyperStore.h, reverseSampler.h, drawStream.h) and keeps
// the interface the programs and their tests were written against. Samplers
// come in two forms: the members that draw from the store's own generator
// and append to the store, and const members that take the calling thread's
// stream and buffer, so that sampling threads share nothing writable.
// Derived streams are seeded with sfmt_init_by_array on a key drawn from the
// store's generator plus an index (a block number), so no two streams of a
// run coincide. The store holds no reference to the Graph: every sampling
// operation is given the Graph again.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "random/drawStream.h"
#include "graph/graph.h"
#include "sampling/hyperStore.h"
#include "core/types.h"
#include "graph/rootDistribution.h"
#include "random/SFMT.h"

namespace lattis {

class FastSampler;
class ScratchPool;
struct ThreadScratch;

class HyperGraph {
public:
    // Builds the empty store for n nodes, the root distribution over g's
    // benefit positions and the generator (seeded from one rand() value).
    // Throws std::runtime_error when no node has a positive benefit.
    HyperGraph(unsigned n, const Graph& g);
    HyperGraph(const HyperGraph&) = delete;
    HyperGraph& operator=(const HyperGraph&) = delete;
    ~HyperGraph();

    void updateDeg();
    void updateEdge();
    void addEdge(const std::vector<int>& edge);
    void addEdgeD(const std::vector<int>& edge);
    int getMaxDegree() const;
    std::span<const int> getEdge(int e) const { return store.edge(e); }
    std::span<const int> getNode(int n) const { return store.node(n); }
    int getNumEdge() const { return store.numEdges(); }
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
    StreamKey drawStreamKey();
    // Seeds s by sfmt_init_by_array on {key[0..3], low and high word of index}.
    static void initStream(sfmt_t& s, const StreamKey& key, std::uint64_t index) { lattis::initStream(s, key, index); }
    // Blocks handed out over the store's whole life; advances the count by n
    // and returns the first block number of the n.
    std::uint64_t claimBlockNumbers(std::uint64_t n);

    // Makes room for `edges` more hyperedges holding `nodes` more node ids.
    // Throws std::runtime_error when the store would pass 2147483647 hyperedges.
    void reserveEdges(std::size_t edges, std::size_t nodes) { store.reserve(edges, nodes); }
    // Appends `count` hyperedges of buf, starting at hyperedge position
    // firstEdge whose nodes start at position firstNode (not indexed until
    // updateDeg). Throws like reserveEdges.
    void appendEdges(const HyperedgeBuffer& buf, std::size_t firstEdge, std::size_t count, std::size_t firstNode) {
        store.append(buf, firstEdge, count, firstNode);
    }
    // Room for a batch whose parts several threads copy in; see HyperStore::extend.
    HyperStore::Extension extendEdges(std::size_t edges, std::size_t nodes) { return store.extend(edges, nodes); }
    // Appends all of buf and empties it, releasing its memory.
    void appendEdges(HyperedgeBuffer& buf);

    // Node ids held by the hyperedges.
    std::size_t getNumStoredNodes() const { return store.storedNodes(); }
    // The nodes the index holds a list for.
    std::size_t getNumSlots() const { return store.slots(); }
    // Bytes held by the hyperedges, their offsets and the index.
    std::size_t storeBytes() const { return store.bytes(); }
    std::size_t storeUsedBytes() const { return store.usedBytes(); }

    sfmt_t& generator() { return sfmtSeed; }
    std::span<const UI> rootDistribution() const { return roots.cumulative(); }
    const RootDistribution& rootDraw() const { return roots; }

    // The per-thread records of `threads` sampling threads, prepared for n
    // nodes and fast (threadScratch.h); kept between parallel phases. The
    // span is valid until the next call, which may move the records.
    std::span<ThreadScratch> samplingScratch(int threads, UI n, const FastSampler* fast);
    // Gives the records back; the next samplingScratch builds fresh ones.
    void releaseSamplingScratch();

private:
    HyperStore store;
    UI curEdge = 0;
    UI maxDegree = 0;
    UI numNodes = 0;
    RootDistribution roots;
    std::uint64_t blocksIssued = 0;
    sfmt_t sfmtSeed;
    std::unique_ptr<ScratchPool> scratch;
};

}  // namespace lattis
