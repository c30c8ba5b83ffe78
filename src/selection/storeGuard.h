// The guard the doubling loop runs before each batch: the hyperedge store's
// size once the batch joins it, against the store's hyperedge limit and the
// memory the run may use.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "mpi/blockShare.h"

namespace lattis {

// Bytes the store will hold once `newEdges` more hyperedges join it, taking
// each new hyperedge at the average size of the stored ones (one node, its
// root, while the store is empty): 8 bytes per stored node id (the hyperedge
// and the index each keep it as an int), 8 per hyperedge (its offset) and 8
// per node the index holds (its list's offset), `slots` of them now and as
// many per stored id later as now (one per id while the store is empty).
double estimateStoreBytes(std::uint64_t storedNodes, std::uint64_t slots, std::uint64_t numEdges,
                          std::uint64_t newEdges);

class HyperGraph;

// Where the guard's memory limit comes from: the -mem limit in bytes when
// given, and the memory available now, asked before every batch.
struct MemoryRoom {
    std::optional<double> limit;
    std::function<std::optional<std::uint64_t>()> available;
};

// Refuses the next batch of `batch` hyperedges (std::runtime_error, saying
// the coverage reached of `lambda` and what to change) when it would take the
// store past its hyperedge limit or past the memory the run may use.
// runEdges counts the hyperedges of the whole run, over every process; the
// memory test weighs this process's store and its share of the batch.
void guardBatch(const HyperGraph& hg, long long runEdges, const BlockShare& share, long long batch,
                const MemoryRoom& room, double lambda, int iteration, long long coverage);

}  // namespace lattis
