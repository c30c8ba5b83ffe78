// Construction and lookup of the root distribution; see rootDistribution.h.
#include "graph/rootDistribution.h"

#include <omp.h>

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "core/threadTeam.h"
#include "core/tuning.h"

namespace lattis {

namespace {

constexpr UI kUiMax = 0xFFFFFFFFu;
// The lookup table has at most 2^22 buckets (16 MB).
constexpr int kMaxRootBits = 22;

// The first p in [lo, hi) with w[p] > ran, or hi; w ascending on [lo, hi).
// The probes are conditional moves, not branches: draws are random, so a
// branch would be mispredicted at about every other probe.
UI firstAbove(const UI* w, UI lo, UI hi, UI ran) {
    if (lo == hi) return hi;
    const UI* base = w + lo;
    UI len = hi - lo;
    while (len > 1) {
        const UI half = len / 2;
        base = base[half] <= ran ? base + half : base;
        len -= half;
    }
    return static_cast<UI>(base - w) + (*base <= ran ? 1 : 0);
}

}  // namespace

RootDistribution::RootDistribution(const Graph& g) {
    const std::span<const double> ben = g.getBen();
    const std::size_t m = ben.size();
    std::size_t positive = m;
    for (std::size_t j = m; j > 0; --j)
        if (ben[j - 1] > 0) {
            positive = j - 1;
            break;
        }
    if (positive == m) throw std::runtime_error("no node has a positive benefit: no reverse sample can be rooted");
    lastPositive = static_cast<UI>(positive);
    // Equal benefits up to the last positive one; the zeros after it (the
    // dense layout's unused last entry) hold no draw.
    uniform = idsInOrder = true;
    for (std::size_t j = 0; j <= positive && (uniform || idsInOrder); ++j) {
        uniform = uniform && ben[j] == ben[0];
        idsInOrder = idsInOrder && g.getNodeInBen(static_cast<unsigned>(j)) == static_cast<UI>(j + 1);
    }

    // Prefix sums in double precision, in index order. The sum of all
    // positions is the Graph's positive benefit, added in the same order
    // (the positions that are not positive hold +0, which adds nothing).
    // The prefix sums are taken serially at each block's start, and each
    // block then repeats the same additions from there on the team, so every
    // entry is the one a single pass gives.
    const double total = g.getPositiveBenefit();
    const double scale = static_cast<double>(kUiMax);
    bDist.resize(m + 1);  // fresh zero memory: entry 0 is 0
    const std::size_t blocks = loadBlocks(m);
    std::vector<double> before(blocks, 0.0);  // before[b]: the sum of the positions before block b
    double c = 0;
    for (std::size_t i = 0; i < m; ++i) {
        if (i % kLoadBlock == 0) before[i / kLoadBlock] = c;
        c += ben[i];
    }
    UI* const dist = bDist.data();
#pragma omp parallel for schedule(static) num_threads(teamForEntries(m + 1))
    for (std::size_t b = 0; b < blocks; ++b) {
        double sum = before[b];
        const std::size_t last = std::min(m, (b + 1) * kLoadBlock);
        for (std::size_t i = b * kLoadBlock + 1; i <= last; ++i) {
            sum += ben[i - 1];
            const double tmp = scale * sum / total;
            dist[i] = tmp >= scale ? kUiMax : static_cast<UI>(tmp);
        }
    }
    // The scaled total may round down to UI_MAX - 1; closing the distribution
    // at UI_MAX leaves no draw without a position.
    for (std::size_t i = positive + 1; i <= m; ++i) bDist[i] = kUiMax;
    benSize = static_cast<UI>(m + 1);

    if (uniform) {
        // positionFor needs no bucket table. Where every entry up to the
        // last positive position's end is exactly floor(UI_MAX * i /
        // positions), it needs no entry either.
        const std::uint64_t positions = positive + 1;
        exact = true;
        for (std::size_t i = 0; i <= positive + 1 && exact; ++i)
            exact = bDist[i] == static_cast<UI>(std::uint64_t{kUiMax} * i / positions);
        return;
    }
    // About four positions per bucket: the bucket's range then usually lies
    // in one cache line of bDist, and the table is a quarter of its size.
    int bits = 1;
    while (bits < kMaxRootBits && (std::size_t{1} << bits) * 4 < bDist.size()) ++bits;
    rootShift = 32 - bits;
    const std::size_t buckets = std::size_t{1} << bits;
    rootStart.resize(buckets + 1);
    // Bucket j starts at the first position whose entry passes the bucket's
    // least draw; the entries ascend, so each block of buckets finds its
    // first by a binary search and walks on from there.
    const std::size_t bucketBlocks = loadBlocks(buckets);
#pragma omp parallel for schedule(static) num_threads(teamForEntries(buckets))
    for (std::size_t b = 0; b < bucketBlocks; ++b) {
        const std::size_t first = b * kLoadBlock, last = std::min(buckets, first + kLoadBlock);
        UI p = static_cast<UI>(std::upper_bound(dist, dist + benSize, static_cast<UI>(first << rootShift)) - dist);
        for (std::size_t j = first; j < last; ++j) {
            const UI low = static_cast<UI>(j << rootShift);
            while (p < benSize && dist[p] <= low) ++p;
            rootStart[j] = p;
        }
    }
    rootStart[buckets] = benSize;
}

// The draws of one bucket end at positions from its own start to the next
// bucket's, so the search runs over that range only. The result is the one a
// binary search over the whole of bDist gives.
UI RootDistribution::positionFor(UI ran) const {
    if (exact) {
        // The last p with floor(UI_MAX * p / positions) <= ran, that is
        // UI_MAX * p < (ran + 1) * positions.
        const std::uint64_t positions = std::uint64_t{lastPositive} + 1;
        const UI p = static_cast<UI>(((static_cast<std::uint64_t>(ran) + 1) * positions - 1) / kUiMax);
        return p > lastPositive ? lastPositive : p;
    }
    if (uniform) {
        // Entry i lies within a rounding of i * 2^32 / positions, so the
        // guess is the answer or next to it; the steps make it exact: the
        // last p with bDist[p] <= ran (bDist[0] is 0), as the search gives.
        const UI positions = lastPositive + 1;
        UI p = static_cast<UI>((static_cast<std::uint64_t>(ran) * positions) >> 32);
        const UI* d = bDist.data();
        while (p < positions && d[p + 1] <= ran) ++p;
        while (d[p] > ran) --p;
        return p > lastPositive ? lastPositive : p;
    }
    const std::size_t j = ran >> rootShift;
    UI p = firstAbove(bDist.data(), rootStart[j], rootStart[j + 1], ran);
    // The top draw equals the last entry and ends at it.
    if (p > benSize - 1) p = benSize - 1;
    assert(p >= 1);
    // Past the last positive position only the top draw can land (all later
    // entries are UI_MAX); it belongs to that last position.
    UI pos = p - 1;
    if (pos > lastPositive) pos = lastPositive;
    return pos;
}

}  // namespace lattis
