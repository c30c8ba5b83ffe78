// How the C library's allocator is set for a seed-selection run.
//
// By default, blocks from 128 kB up are fresh mappings, returned to the
// system when freed, and the heap's top is trimmed from 128 kB: a run that
// builds and drops per-node tables once per batch (the selection's heap
// and degrees, the index's counts) then faults in every page of them again,
// and faults are slow on virtual machines. Blocks below 32 MB now come from
// the heap and are reused; larger ones, the tables that set a large run's
// peak, still go back to the system when freed.
#pragma once

#include <malloc.h>

#include "core/tuning.h"

namespace lattis {

inline void tuneAllocator() {
    mallopt(M_MMAP_THRESHOLD, kAllocatorReuseBelow);
    mallopt(M_TRIM_THRESHOLD, kAllocatorReuseBelow);
}

}  // namespace lattis
