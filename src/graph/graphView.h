// A read-only view of a loaded Graph's flat arrays, for the reverse samplers.
//
// The samplers are the hot loop of both programs, so they read the
// in-neighbour lists and thresholds through raw pointers instead of through
// Graph's accessors, and take everything they read from the Graph in this
// one record. The view stays valid while the Graph it came from is alive and
// not loaded again.
#pragma once

#include <cstdint>

#include "graph/graph.h"

namespace lattis {

struct GraphView {
    UI n = 0;
    // In-neighbours of v are adj[adjOff[v] .. adjOff[v + 1]); n + 2 offsets.
    const std::int64_t* adjOff = nullptr;
    const int* adj = nullptr;
    // Thresholds: d(v) + 1 per node v >= 1, laid out node after node; null
    // after a deferred load (Graph::deferThresholds), which gives the
    // in-edges' probabilities instead, parallel to adj.
    const UI* weights = nullptr;
    const float* probabilities = nullptr;
    // Node id of each benefit position (0 for a position with no node).
    const UI* benIndex = nullptr;
    // The model the thresholds are laid out for.
    Model model = Model::IC;

    UI degree(int v) const { return static_cast<UI>(adjOff[v + 1] - adjOff[v]); }
    // weights[v] of the loaded model: entry 0, then one entry per in-edge.
    const UI* thresholds(int v) const { return weights + adjOff[v] + v - 1; }
};

}  // namespace lattis
