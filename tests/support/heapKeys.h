// Random gains and costs for the heap tests, drawn by shape: a few gain
// values (so ties are common), a share of zeros (most nodes are in no
// hyperedge) and costs from a short list.
#pragma once

#include <random>
#include <vector>

namespace lattis {

struct HeapKeyShape {
    std::vector<float> costs;
    unsigned zeroIn8;  // chance in 8 that a gain is 0
    int maxN;
};

// Redraws every gain and cost; the ids whose gain is not 0, ascending.
inline std::vector<int> drawHeapKeys(const HeapKeyShape& shape, std::mt19937& rng, std::vector<int>& gains,
                                     std::vector<float>& costs) {
    std::vector<int> keyed;
    for (std::size_t i = 0; i < gains.size(); ++i) {
        gains[i] = rng() % 8 < shape.zeroIn8 ? 0 : 1 + static_cast<int>(rng() % 4);
        costs[i] = shape.costs[rng() % shape.costs.size()];
        if (gains[i] != 0) keyed.push_back(static_cast<int>(i));
    }
    return keyed;
}

}  // namespace lattis
