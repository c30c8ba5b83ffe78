// Which generation blocks a process keeps when one run is split over several
// processes (marlet-mpi), and where its hyperedges stand in the whole run.
//
// Every process builds the same store generator from the same seed, draws the
// same per-batch keys and claims the same block numbers, so each knows the
// whole run's blocks without talking to the others. Process `rank` of `ranks`
// samples the blocks whose lifetime number is rank modulo ranks and stores
// them in block order. Assumes what generation guarantees: every block holds
// exactly kHyperedgeBlock hyperedges, block numbers start at 0 with the store's
// first hyperedge, and every claimed block is sampled by its owner; then the
// union over the processes is the store one process would build, and local
// hyperedge i is global hyperedge globalEdge(i). One process (the default)
// keeps every block and its ids are the global ids. The benefit estimate
// splits its own blocks of samples over the processes the same way.
#pragma once

#include <cstdint>

#include "core/tuning.h"

namespace lattis {

struct BlockShare {
    int rank = 0;
    int ranks = 1;

    bool owns(std::uint64_t block) const { return block % static_cast<std::uint64_t>(ranks) == static_cast<std::uint64_t>(rank); }

    // Position within [first, first + count) of the first block this process owns.
    long long firstOwned(std::uint64_t first) const {
        const std::uint64_t r = static_cast<std::uint64_t>(ranks);
        return static_cast<long long>((static_cast<std::uint64_t>(rank) + r - first % r) % r);
    }

    // How many of the blocks first .. first + count - 1 this process owns.
    long long ownedIn(std::uint64_t first, long long count) const {
        const long long start = firstOwned(first);
        return count > start ? (count - start + ranks - 1) / ranks : 0;
    }

    // The run-wide id of this process's local hyperedge `local`.
    long long globalEdge(long long local) const {
        const long long block = local / kHyperedgeBlock;
        return (block * ranks + rank) * kHyperedgeBlock + local % kHyperedgeBlock;
    }
};

}  // namespace lattis
