// One flag per node for the nodes a sample has marked, as a plain bit array.
//
// The samplers test and set a flag per reached node and clear only the flags
// they set, so a sample costs time in proportion to its own size. The
// functions isMarked / mark / unmark work on this array and on the
// std::vector<bool> that the store's own sampler members take, so one sampler
// body serves both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lattis {

class VisitBits {
public:
    VisitBits() = default;
    explicit VisitBits(std::size_t n) : words((n + 63) / 64, 0) {}
    bool test(std::size_t i) const { return (words[i >> 6] >> (i & 63)) & 1u; }
    void set(std::size_t i) { words[i >> 6] |= std::uint64_t{1} << (i & 63); }
    void reset(std::size_t i) { words[i >> 6] &= ~(std::uint64_t{1} << (i & 63)); }

private:
    std::vector<std::uint64_t> words;
};

inline bool isMarked(const VisitBits& v, int i) { return v.test(static_cast<std::size_t>(i)); }
inline void mark(VisitBits& v, int i) { v.set(static_cast<std::size_t>(i)); }
inline void unmark(VisitBits& v, int i) { v.reset(static_cast<std::size_t>(i)); }

inline bool isMarked(const std::vector<bool>& v, int i) { return v[static_cast<std::size_t>(i)]; }
inline void mark(std::vector<bool>& v, int i) { v[static_cast<std::size_t>(i)] = true; }
inline void unmark(std::vector<bool>& v, int i) { v[static_cast<std::size_t>(i)] = false; }

}  // namespace lattis
