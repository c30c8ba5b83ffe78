// R-MAT generator: each arc picks one quadrant of the adjacency matrix per
// level, with probabilities (a, b, c, d) = (0.57, 0.19, 0.19, 0.05), so that
// 2^scale nodes get the skewed degrees of real social networks.
//
// Arcs are drawn in blocks of a fixed size, block b from its own splitmix64
// stream seeded by (seed, b), so that any number of threads (one included)
// writes the same arcs to the same places. Node ids are not permuted: low ids
// carry the high degrees. Every one of the 2^scale nodes is kept, also when
// no arc touches it, so that n = 2^scale.
#include <algorithm>
#include <stdexcept>
#include <string>

#include "core/memoryFault.h"
#include "netpack/netpack.h"

namespace netpack {

ArcList generateRmat(int scale, std::uint32_t edgefactor, std::uint64_t seed) {
    if (scale < 1 || scale > 30) throw std::invalid_argument("option -scale: expected an integer from 1 to 30");
    if (edgefactor < 1) throw std::invalid_argument("option -edgefactor: expected a positive integer");
    const std::uint64_t arcs = static_cast<std::uint64_t>(edgefactor) << scale;
    if (arcs > UINT32_MAX)
        throw std::invalid_argument("options -scale and -edgefactor: expected at most 4294967295 arcs, got " +
                                    std::to_string(arcs));

    // Quadrant boundaries on the 32-bit scale of one half of a draw.
    constexpr std::uint64_t kA = static_cast<std::uint64_t>(0.57 * 4294967296.0);
    constexpr std::uint64_t kAB = static_cast<std::uint64_t>(0.76 * 4294967296.0);
    constexpr std::uint64_t kABC = static_cast<std::uint64_t>(0.95 * 4294967296.0);
    constexpr std::uint64_t kBlock = 1u << 16;

    ArcList out;
    out.n = static_cast<std::uint32_t>(std::uint64_t{1} << scale);
    out.firstId = 0;
    allocating("-gen rmat", "the " + std::to_string(arcs) + " arcs of 2^" + std::to_string(scale) + " nodes", arcs * 8,
               [&] {
                   out.src.resize(arcs);
                   out.dst.resize(arcs);
               },
               "use a smaller -scale or -edgefactor, or free memory");
    std::uint32_t* src = out.src.data();
    std::uint32_t* dst = out.dst.data();
    const auto blocks = static_cast<std::int64_t>((arcs + kBlock - 1) / kBlock);

    // Every block costs the same, so a static split balances the threads.
#pragma omp parallel for schedule(static)
    for (std::int64_t b = 0; b < blocks; ++b) {
        SplitMix64 rng(streamSeed(seed, Stream::Rmat, static_cast<std::uint64_t>(b)));
        std::uint64_t first = static_cast<std::uint64_t>(b) * kBlock;
        std::uint64_t last = std::min(first + kBlock, arcs);
        for (std::uint64_t i = first; i < last; ++i) {
            std::uint32_t u = 0, v = 0;
            std::uint64_t draw = 0;
            for (int level = 0; level < scale; ++level) {
                if ((level & 1) == 0) draw = rng.next();
                std::uint64_t r = (level & 1) == 0 ? (draw & 0xFFFFFFFFu) : (draw >> 32);
                std::uint32_t row = r >= kAB ? 1 : 0;
                std::uint32_t col = (r >= kA && r < kAB) || r >= kABC ? 1 : 0;
                u = (u << 1) | row;
                v = (v << 1) | col;
            }
            src[i] = u + 1;
            dst[i] = v + 1;
        }
    }
    return out;
}

}  // namespace netpack
