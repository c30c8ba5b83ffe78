// The network of a Python Network object; see network.h.
#include "network.h"

#include <omp.h>

#include <stdexcept>

namespace lattis::python {

NetworkData::NetworkData(netpack::Network&& net) : packed(std::move(net)) {
    nodes = packed->n;
    arcs = packed->arcs();
    degrees.resize(nodes);
    for (std::uint32_t v = 1; v <= nodes; ++v) degrees[v - 1] = packed->inDegree(v);
    outDegrees.assign(nodes, 0);
    for (const std::int32_t u : packed->adj) ++outDegrees[static_cast<std::size_t>(u) - 1];
    if (!packed->origId.empty()) original = packed->origId;
}

NetworkData::NetworkData(const std::string& path) : file(path) {
    Graph g(BenefitLayout::Compact);
    g.readNetworkWith(path.c_str(), {}, Model::IC);
    if (g.headerEdges() != g.listedEdges())
        throw std::runtime_error("network file \"" + path + "\": the header (byte offset 4) states " +
                                 std::to_string(g.headerEdges()) + " arcs, but the in-degree lists hold " +
                                 std::to_string(g.listedEdges()) + "; repack the network with netpack");
    nodes = static_cast<std::uint32_t>(g.getSize());
    arcs = g.listedEdges();
    degrees.resize(nodes);
    outDegrees.assign(nodes, 0);
    for (std::uint32_t v = 1; v <= nodes; ++v) {
        degrees[v - 1] = static_cast<std::uint32_t>(g.getDegree(static_cast<int>(v)));
        for (const int u : g[static_cast<int>(v)]) ++outDegrees[static_cast<std::size_t>(u) - 1];
    }
}

void NetworkData::load(Graph& g, std::span<const double> benefit, Model model, int threads) const {
    // A file is read on the run's team, as the programs read it.
    omp_set_num_threads(threads);
    if (!packed) {
        g.readNetworkWith(file.c_str(), benefit, model);
        return;
    }
    NetworkArrays a;
    a.n = packed->n;
    a.offsets = packed->off;
    a.adj = packed->adj;
    a.prob = packed->prob;
    g.loadArrays(a, benefit, model);
}

}  // namespace lattis::python
