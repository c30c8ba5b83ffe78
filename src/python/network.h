// The network a Python Network object holds: netpack's packed arrays (from
// arcs or a text edge list) or the path of a network file, from which each
// run builds the library's Graph for its model and benefits, as the
// programs load their files.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "graph/graph.h"
#include "netpack/netpack.h"

namespace lattis::python {

class NetworkData {
public:
    // Packed arcs (netpack's Network, probabilities set).
    explicit NetworkData(netpack::Network&& net);
    // A network file as netpack writes it, read once here to check it.
    explicit NetworkData(const std::string& file);

    std::uint32_t n() const { return nodes; }
    std::uint64_t m() const { return arcs; }
    const std::vector<std::uint32_t>& inDegree() const { return degrees; }
    const std::vector<std::uint32_t>& outDegree() const { return outDegrees; }
    // Original ids of a network read from text (node i at i - 1); empty otherwise.
    const std::vector<std::uint64_t>& originalIds() const { return original; }

    // Loads g (of the layout it was made with) for the model and benefits,
    // a file on a team of `threads` threads.
    void load(Graph& g, std::span<const double> benefit, Model model, int threads) const;

private:
    std::optional<netpack::Network> packed;
    std::string file;
    std::uint32_t nodes = 0;
    std::uint64_t arcs = 0;
    std::vector<std::uint32_t> degrees, outDegrees;
    std::vector<std::uint64_t> original;
};

}  // namespace lattis::python
