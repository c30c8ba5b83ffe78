// The state one sampling thread owns for a parallel phase: its stream, its
// visit flags and mark list, its hyperedge buffer and, for the fast samplers,
// its live-position buffer and LT walks in flight.
//
// One record per thread, each on cache lines of its own, so that no two
// threads ever write to one line. Everything is allocated before the
// parallel region starts; the mark list is an anonymous mapping, so only the
// pages that samples reach are ever touched.
#pragma once

#include <vector>

#include "fastSampler.h"
#include "growArray.h"
#include "hyperStore.h"
#include "sfmt/SFMT.h"
#include "visitBits.h"

struct alignas(64) ThreadScratch {
    sfmt_t rng;
    VisitBits visit;
    GrowArray<int> mark;
    HyperedgeBuffer buf;
    std::vector<UI> live;  // fast IC: live positions of one node or group
    LtWalks walks;         // fast samplers: samples in flight

    static constexpr std::size_t kSizesReserve = 10000;
    static constexpr std::size_t kNodesReserve = std::size_t{1} << 18;

    // Sized for n nodes; fast, when given, adds what its samplers need.
    void prepare(UI n, const FastSampler* fast) {
        visit = VisitBits(static_cast<std::size_t>(n) + 1);
        mark.resize(static_cast<std::size_t>(n) + 1);
        // Room for a block's sizes and a first stretch of ids: the buffer
        // then starts on huge pages instead of growing through small ones.
        buf.sizes.reserve(kSizesReserve);
        buf.nodes.reserve(kNodesReserve);
        if (fast == nullptr) return;
        walks.prepare(n);
        if (!fast->forLT()) live.resize(fast->maxDegree() + 1);
    }
};
