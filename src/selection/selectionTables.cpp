// The tables the selections of a run share; see selectionTables.h.
#include "selection/selectionTables.h"

#include "core/bitWords.h"

#include <algorithm>
#include <bit>
#include <cassert>

namespace lattis {

namespace {

GrowArray<int> zeroGains(int n) {
    GrowArray<int> g;
    g.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return g;
}

}  // namespace

SelectionTables::SelectionTables(int n, const float* cost)
    : n(n > 0 ? n : 0), cost(cost), gain(zeroGains(n)), order(InfCost<int, const float>(gain.data(), cost)) {
    held.resize((static_cast<std::size_t>(this->n) + 63) / 64);
}

void SelectionTables::markFrom(const HyperGraph& hg, int threads) {
    const int last = hg.getNumEdge();
    assert(last >= markedEdges);
    const int first = markedEdges;
    std::uint64_t* bits = held.data();
    // A node is mostly marked already (the large hyperedges hold the same
    // hubs). The bits end the same whichever thread sets them.
#pragma omp parallel for schedule(static) num_threads(threads) if (threads > 1)
    for (int e = first; e < last; ++e)
        for (int u : hg.getEdge(e)) {
            const std::size_t x = static_cast<std::size_t>(u) - 1;
            setSharedBit(bits[x >> 6], std::uint64_t{1} << (x & 63));
        }
    markedEdges = last;
}

std::vector<int> SelectionTables::storedGains(const HyperGraph& hg, int threads) {
    const int parts = std::max(1, threads);
    markFrom(hg, parts);
    const std::size_t words = held.size();
    const std::uint64_t* bits = held.data();
    // Two passes over the words, so that nothing is allocated inside a
    // parallel region: each stretch is counted, then the list, sized
    // outside, is filled at each stretch's offset with the gains written beside.
    const std::vector<std::size_t> offset = stretchOffsets(words, parts, [bits](std::size_t w) { return bits[w]; });
    std::vector<int> all(offset.back());
    int* g = gain.data();
#pragma omp parallel for schedule(static, 1) num_threads(parts) if (parts > 1)
    for (int p = 0; p < parts; ++p) {
        std::size_t at = offset[static_cast<std::size_t>(p)];
        for (std::size_t w = stretchStart(words, parts, p); w < stretchStart(words, parts, p + 1); ++w)
            for (std::uint64_t b = bits[w]; b != 0; b &= b - 1) {
                const int x = static_cast<int>(w * 64 + static_cast<std::size_t>(std::countr_zero(b)));
                g[x] = static_cast<int>(hg.getNode(x + 1).size());
                all[at++] = x;
            }
    }
    return all;
}

}  // namespace lattis
