// HyperGraph: the store's members over the root distribution, the
// contiguous store and the reverse samplers; see lattis.h.
#include "sampling/hyperGraph.h"

#include <cstdlib>

#include "graph/graphView.h"
#include "sampling/reverseSampler.h"
#include "sampling/threadScratch.h"

namespace lattis {

HyperGraph::HyperGraph(unsigned n, const Graph& g) : store(n), numNodes(n) {
    sfmt_init_gen_rand(&sfmtSeed, static_cast<std::uint32_t>(rand()));
    roots = RootDistribution(g);
}

HyperGraph::~HyperGraph() = default;

std::span<ThreadScratch> HyperGraph::samplingScratch(int threads, UI n, const FastSampler* fast) {
    if (!scratch) scratch = std::make_unique<ScratchPool>();
    return scratch->take(threads, n, fast);
}

void HyperGraph::releaseSamplingScratch() { scratch.reset(); }

int HyperGraph::randIndex_bin(const UI* w, UI si, sfmt_t& rng) { return binIndex(w, si, sfmt_genrand_uint32(&rng)); }

int HyperGraph::randIndex_lin(const UI* w, UI si, sfmt_t& rng) { return linIndex(w, si, sfmt_genrand_uint32(&rng)); }

void HyperGraph::updateDeg() {
    store.indexFrom(curEdge);
    curEdge = static_cast<UI>(getNumEdge());
}

void HyperGraph::updateEdge() { curEdge = static_cast<UI>(getNumEdge()); }

void HyperGraph::addEdge(const std::vector<int>& edge) {
    store.push(edge.data(), edge.size());
    store.indexFrom(static_cast<std::size_t>(getNumEdge()) - 1);
}

void HyperGraph::addEdgeD(const std::vector<int>& edge) {
    addEdge(edge);
    for (int v : edge) {
        const std::size_t len = store.node(v).size();
        if (len > maxDegree) maxDegree = static_cast<UI>(len);
    }
}

int HyperGraph::getMaxDegree() const { return static_cast<int>(maxDegree); }

void HyperGraph::clearEdges() {
    store.clear();
    curEdge = 0;
    maxDegree = 0;
}

StreamKey HyperGraph::drawStreamKey() {
    StreamKey key;
    for (UI& k : key) k = sfmt_genrand_uint32(&sfmtSeed);
    return key;
}

std::uint64_t HyperGraph::claimBlockNumbers(std::uint64_t n) {
    const std::uint64_t first = blocksIssued;
    blocksIssued += n;
    return first;
}

void HyperGraph::appendEdges(HyperedgeBuffer& buf) {
    store.append(buf, 0, buf.sizes.size(), 0);
    buf.clear();
}

namespace {

auto bufferSink(HyperedgeBuffer& out) {
    return [&out](const int* nodes, UI count) { out.add(nodes, count); };
}

auto noSink() {
    return [](const int*, UI) {};
}

}  // namespace

void HyperGraph::pollingLT1(const Graph& g, std::vector<bool>& visit, std::vector<int>& visit_mark) {
    store.checkRoom(1);
    auto sink = [this](const int* nodes, UI count) { store.push(nodes, count); };
    walkLT<SeedTest::None>(g.view(), roots, sfmtSeed, sink, nullptr, 0, visit, visit_mark.data());
}

bool HyperGraph::pollingLT2(const Graph& g, const std::vector<UI>& link, UI k, std::vector<bool>& visit,
                            std::vector<int>& visit_mark) {
    store.checkRoom(1);
    auto sink = [this](const int* nodes, UI count) { store.push(nodes, count); };
    return walkLT<SeedTest::Flag>(g.view(), roots, sfmtSeed, sink, link.data(), k, visit, visit_mark.data());
}

bool HyperGraph::pollingLT(const Graph& g, const std::vector<UI>& link, UI k, std::vector<bool>& visit,
                           std::vector<int>& visit_mark) {
    return static_cast<const HyperGraph&>(*this).pollingLT(g, sfmtSeed, link, k, visit, visit_mark);
}

void HyperGraph::pollingIC1(const Graph& g, std::vector<bool>& visit, std::vector<int>& visit_mark) {
    store.checkRoom(1);
    auto sink = [this](const int* nodes, UI count) { store.push(nodes, count); };
    searchIC<SeedTest::None>(g.view(), roots, sfmtSeed, sink, nullptr, 0, visit, visit_mark.data());
}

bool HyperGraph::pollingIC2(const Graph& g, const std::vector<UI>& link, UI k, std::vector<bool>& visit,
                            std::vector<int>& visit_mark) {
    store.checkRoom(1);
    auto sink = [this](const int* nodes, UI count) { store.push(nodes, count); };
    return searchIC<SeedTest::Flag>(g.view(), roots, sfmtSeed, sink, link.data(), k, visit, visit_mark.data());
}

bool HyperGraph::pollingIC(const Graph& g, const std::vector<UI>& link, UI k, std::vector<bool>& visit,
                           std::vector<int>& visit_mark) {
    return static_cast<const HyperGraph&>(*this).pollingIC(g, sfmtSeed, link, k, visit, visit_mark);
}

void HyperGraph::pollingLT1(const Graph& g, sfmt_t& rng, HyperedgeBuffer& out, std::vector<bool>& visit,
                            std::vector<int>& visit_mark) const {
    walkLT<SeedTest::None>(g.view(), roots, rng, bufferSink(out), nullptr, 0, visit, visit_mark.data());
}

void HyperGraph::pollingIC1(const Graph& g, sfmt_t& rng, HyperedgeBuffer& out, std::vector<bool>& visit,
                            std::vector<int>& visit_mark) const {
    searchIC<SeedTest::None>(g.view(), roots, rng, bufferSink(out), nullptr, 0, visit, visit_mark.data());
}

bool HyperGraph::pollingLT(const Graph& g, sfmt_t& rng, const std::vector<UI>& link, UI k, std::vector<bool>& visit,
                           std::vector<int>& visit_mark) const {
    return walkLT<SeedTest::Exit>(g.view(), roots, rng, noSink(), link.data(), k, visit, visit_mark.data());
}

bool HyperGraph::pollingIC(const Graph& g, sfmt_t& rng, const std::vector<UI>& link, UI k, std::vector<bool>& visit,
                           std::vector<int>& visit_mark) const {
    return searchIC<SeedTest::Exit>(g.view(), roots, rng, noSink(), link.data(), k, visit, visit_mark.data());
}

}  // namespace lattis
