// The fixed-width integers every subsystem shares: thresholds and node
// counts are unsigned 32-bit (UI), wide counters unsigned 64-bit (ULL).
#pragma once

#include <cstdint>

namespace lattis {

using UI = std::uint32_t;
using ULL = std::uint64_t;

}  // namespace lattis
