// A file's size and a 64-bit hash of its bytes, for processes that must
// agree they read the same input before loading it (marlet-mpi).
//
// The hash is FNV-1a over 64-bit words (native byte order) in four interleaved
// lanes (then the tail bytes), folded into one value: the lanes keep the
// multiplications independent, so the pass runs at memory speed instead of
// one multiplication latency per byte. Not cryptographic; it tells apart
// files that differ, not files crafted to collide.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace lattis {

struct FileDigest {
    bool readable = false;  // false: the file could not be opened or read
    std::uint64_t size = 0;
    std::uint64_t hash = 0;

    bool operator==(const FileDigest&) const = default;
};

// The running hash of a stream of bytes handed over in pieces; pieces may
// have any length, and the hash depends on the bytes alone.
class ByteHash {
public:
    void add(std::span<const unsigned char> bytes);
    std::uint64_t value() const;

private:
    void addWord(std::uint64_t w);
    std::uint64_t lanes[4] = {0xcbf29ce484222325ull, 0xcbf29ce484222325ull ^ 1, 0xcbf29ce484222325ull ^ 2,
                              0xcbf29ce484222325ull ^ 3};
    unsigned char pending[32] = {};
    std::size_t held = 0;
    std::uint64_t total = 0;
};

// The digest of the file at path (opened as the readers open inputs, without
// waiting for a fifo's writer); not readable when it cannot be opened, is
// not a regular file or a read fails: the loader then names the fault.
FileDigest fileDigest(const std::string& path);

}  // namespace lattis
