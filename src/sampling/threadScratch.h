// The state one sampling thread owns for a parallel phase: its stream, its
// visit flags and mark list, its hyperedge buffer and, for the fast samplers,
// its live-position buffer and samples in flight.
//
// One record per thread, each on cache lines of its own, so that no two
// threads ever write to one line. Everything is allocated before the
// parallel region starts; the mark list is an anonymous mapping, so only the
// pages that samples reach are ever touched. A store keeps its records from
// one parallel phase to the next (ScratchPool): every finished sample clears
// the flags it set, so a record left by a finished phase is ready for the
// next, with its pages already mapped; a phase that fails drops them
// (ScratchGuard).
#pragma once

#include <exception>
#include <span>
#include <vector>

#include "sampling/fastSampler.h"
#include "core/growArray.h"
#include "core/tuning.h"
#include "sampling/hyperStore.h"
#include "sampling/hyperGraph.h"
#include "random/SFMT.h"
#include "core/visitBits.h"

namespace lattis {

struct alignas(64) ThreadScratch {
    sfmt_t rng;
    VisitBits visit;
    GrowArray<int> mark;
    HyperedgeBuffer buf;
    std::vector<UI> live;  // fast IC: live positions of one node or group
    LtWalks walks;         // fast samplers: samples in flight

    // Sized for n nodes; fast, when given, adds what its samplers need. A
    // record already sized so is left as it is, but for an empty buffer.
    void prepare(UI n, const FastSampler* fast) {
        const std::size_t slots = static_cast<std::size_t>(n) + 1;
        if (mark.size() != slots) {
            visit = VisitBits(slots);
            mark.resize(slots);
        }
        // Room for a block's sizes and a first stretch of ids, kept from
        // batch to batch: the buffer starts on huge pages instead of growing
        // through small ones, and later batches find them mapped.
        buf.reserveKept(kBufferSizesKept, kBufferIdsKept);
        buf.restart();
        if (fast == nullptr) return;
        if (fast->inFlight()) walks.prepare(n);
        if (fast->model() == Model::IC && live.size() < fast->maxDegree() + 1) live.resize(fast->maxDegree() + 1);
    }
};

// The thread records of one store, kept between its parallel phases.
class ScratchPool {
public:
    // `threads` records, each prepared for n nodes and fast.
    std::span<ThreadScratch> take(int threads, UI n, const FastSampler* fast) {
        if (records.size() < static_cast<std::size_t>(threads)) records.resize(static_cast<std::size_t>(threads));
        std::span<ThreadScratch> team(records.data(), static_cast<std::size_t>(threads));
        for (ThreadScratch& s : team) s.prepare(n, fast);
        return team;
    }

private:
    std::vector<ThreadScratch> records;
};

// Drops a store's thread records when the phase that uses them ends by an
// exception: a sample cut short may have left flags set that the next phase
// would take for its own.
class ScratchGuard {
public:
    explicit ScratchGuard(HyperGraph& hg) : hg(hg), entered(std::uncaught_exceptions()) {}
    ScratchGuard(const ScratchGuard&) = delete;
    ScratchGuard& operator=(const ScratchGuard&) = delete;
    ~ScratchGuard() {
        if (std::uncaught_exceptions() > entered) hg.releaseSamplingScratch();
    }

private:
    HyperGraph& hg;
    int entered;
};

}  // namespace lattis
