// Letting the OpenMP thread team go between parallel phases, and the team
// that shares a table cut in loading blocks.
//
// Idle OpenMP workers spin-wait for the next parallel region by default.
// A run's parallel phases are followed by serial work (the selection, the
// report, the memory probe's processes), and meanwhile the spinning workers
// hold cores that the pair list's thread, the probe and other jobs need; on
// virtual machines spinning is costlier still. So after a phase the team is
// released; the next region starts it again, which costs tens of
// microseconds. A user who sets OMP_WAIT_POLICY has chosen how workers wait,
// and the team is then left as it is.
#pragma once

#include <omp.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/tuning.h"

namespace lattis {

// Call on the main thread, outside any parallel region.
inline void restThreadTeam() {
    static const bool policyChosen = std::getenv("OMP_WAIT_POLICY") != nullptr;
    if (!policyChosen && omp_in_parallel() == 0) omp_pause_resource_all(omp_pause_soft);
}

// The blocks of kLoadBlock entries that `entries` fill.
inline std::size_t loadBlocks(std::uint64_t entries) {
    return static_cast<std::size_t>((entries + kLoadBlock - 1) / kLoadBlock);
}

// The threads that share `blocks` blocks: the team, but no more than there
// are blocks, and one at least.
inline int loadTeam(std::size_t blocks) {
    return static_cast<int>(
        std::max<std::size_t>(1, std::min<std::size_t>(blocks, static_cast<std::size_t>(omp_get_max_threads()))));
}

// The team that builds a table of `entries` block by block.
inline int teamForEntries(std::uint64_t entries) { return loadTeam(loadBlocks(entries)); }

}  // namespace lattis
