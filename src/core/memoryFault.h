// Out-of-memory faults with a name: what was being allocated, for which
// input, how much, and what to change, instead of a bare "std::bad_alloc".
//
// Used around the few allocations whose size comes from an input (the
// network's arrays, a generated network, a packed edge list), where the
// input is what the user can change.
#pragma once

#include <cstdint>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>

namespace lattis {

// Megabytes with one decimal, as messages show them.
inline std::string megabytesText(std::uint64_t bytes) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return buf;
}

// Runs body; a std::bad_alloc inside it becomes std::runtime_error
// "<label>: cannot allocate <X> MB for <what>: out of memory; <advice>".
template <class F>
void allocating(const std::string& label, const std::string& what, std::uint64_t bytes, F&& body,
                const std::string& advice = "free memory or use a smaller network") {
    try {
        body();
    } catch (const std::bad_alloc&) {
        throw std::runtime_error(label + ": cannot allocate " + megabytesText(bytes) + " MB for " + what +
                                 ": out of memory; " + advice);
    }
}

}  // namespace lattis
