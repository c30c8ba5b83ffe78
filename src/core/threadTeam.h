// Letting the OpenMP thread team go between parallel phases.
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

#include <cstdlib>

namespace lattis {

// Call on the main thread, outside any parallel region.
inline void restThreadTeam() {
    static const bool policyChosen = std::getenv("OMP_WAIT_POLICY") != nullptr;
    if (!policyChosen && omp_in_parallel() == 0) omp_pause_resource_all(omp_pause_soft);
}

}  // namespace lattis
