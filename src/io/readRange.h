// Reading a stretch of a file at a given offset in full: pread again after a
// short read or an interrupted call, so that a caller on any thread gets all
// of it or a reason. The loaders of the network file and of the benefit and
// cost files read their blocks this way, side by side on the team.
#pragma once

#include <cstdint>

namespace lattis {

// Reads bytes [at, at + len) of the file open at fd into dst; false with
// err = errno, or err = 0 when the file ended first (it shrank after its
// size was checked).
bool readRange(int fd, void* dst, std::uint64_t len, std::uint64_t at, int& err) noexcept;

}  // namespace lattis
