// Figures the kernel states in /proc: the memory available to a new
// allocation (MemAvailable) and this process's peak resident memory (VmHWM).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace lattis {

// The value in kB of the line "<key>: <value> kB" of a /proc file's text
// (/proc/meminfo, /proc/self/status), or nothing when the line is absent.
std::optional<std::uint64_t> procFieldKilobytes(std::string_view text, std::string_view key);

// MemAvailable of /proc/meminfo in bytes, or nothing when it cannot be read.
std::optional<std::uint64_t> memAvailableBytes();

// Peak resident memory of this process (VmHWM) in bytes, or nothing.
std::optional<std::uint64_t> peakResidentBytes();

}  // namespace lattis
