// The tables the selections of a run share; see selectionTables.h.
#include "selection/selectionTables.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cassert>

namespace lattis {

namespace {

// One thread's count, on a cache line of its own.
struct alignas(64) PaddedCount {
    std::size_t value = 0;
};

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
    // hubs), so the word is read first and written only for a new bit. The
    // bits end the same whichever thread sets them.
#pragma omp parallel for schedule(static) num_threads(threads) if (threads > 1)
    for (int e = first; e < last; ++e)
        for (int u : hg.getEdge(e)) {
            const std::size_t x = static_cast<std::size_t>(u) - 1;
            const std::uint64_t bit = std::uint64_t{1} << (x & 63);
            std::atomic_ref<std::uint64_t> word(bits[x >> 6]);
            if ((word.load(std::memory_order_relaxed) & bit) == 0) word.fetch_or(bit, std::memory_order_relaxed);
        }
    markedEdges = last;
}

std::vector<int> SelectionTables::storedGains(const HyperGraph& hg, int threads) {
    const int parts = std::max(1, threads);
    markFrom(hg, parts);
    const std::size_t words = held.size();
    const std::uint64_t* bits = held.data();
    auto first = [words, parts](int p) { return words * static_cast<std::size_t>(p) / static_cast<std::size_t>(parts); };
    // Two passes over the words, so that nothing is allocated inside a
    // parallel region: each range is counted, then the list, sized outside,
    // is filled at each range's offset with the gains written beside.
    std::vector<PaddedCount> count(static_cast<std::size_t>(parts));
#pragma omp parallel for schedule(static, 1) num_threads(parts) if (parts > 1)
    for (int p = 0; p < parts; ++p) {
        std::size_t c = 0;
        for (std::size_t w = first(p); w < first(p + 1); ++w) c += static_cast<std::size_t>(std::popcount(bits[w]));
        count[static_cast<std::size_t>(p)].value = c;
    }
    std::vector<std::size_t> offset(static_cast<std::size_t>(parts) + 1, 0);
    for (int p = 0; p < parts; ++p)
        offset[static_cast<std::size_t>(p) + 1] = offset[static_cast<std::size_t>(p)] + count[static_cast<std::size_t>(p)].value;
    std::vector<int> all(offset.back());
    int* g = gain.data();
#pragma omp parallel for schedule(static, 1) num_threads(parts) if (parts > 1)
    for (int p = 0; p < parts; ++p) {
        std::size_t at = offset[static_cast<std::size_t>(p)];
        for (std::size_t w = first(p); w < first(p + 1); ++w)
            for (std::uint64_t b = bits[w]; b != 0; b &= b - 1) {
                const int x = static_cast<int>(w * 64 + static_cast<std::size_t>(std::countr_zero(b)));
                g[x] = static_cast<int>(hg.getNode(x + 1).size());
                all[at++] = x;
            }
    }
    return all;
}

}  // namespace lattis
