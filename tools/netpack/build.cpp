// From an arc list to the packed in-lists, and the per-arc and per-node values
// drawn on them (edge probabilities, benefits, costs).
//
// The in-lists are built by a counting sort on the head of each arc, which
// keeps every list in input order; self-loops are skipped while counting and
// duplicates are merged afterwards in one pass per node with a "last seen at"
// mark per tail. The arc columns are released as soon as they are used, so a
// build holds at most about twice the final network at once.
//
// The steps run on the thread team and write the same bytes for any number
// of threads: the sort is split by ranges of heads (see Ranges), and the
// random draws come from streams that a thread can enter at any block (all
// but the target:F benefits, a partial shuffle, which stays serial).
// The merge holds one mark per range (4 bytes per node and thread), which
// stays below the peak of the sort while the team has fewer threads than the
// network has arcs per node.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <stdexcept>

#include "core/memoryFault.h"
#include "netpack/netpack.h"

namespace netpack {

std::uint64_t streamSeed(std::uint64_t seed, Stream purpose, std::uint64_t index) {
    SplitMix64 mix(seed ^ (static_cast<std::uint64_t>(purpose) << 56));
    std::uint64_t base = mix.next();
    SplitMix64 per(base + index * 0xD1B54A32D192ED03ULL);
    return per.next();
}

namespace {

// The node ranges of the thread team: range p holds the nodes first[p] ..
// first[p + 1] - 1, and first has one entry per range and one more, from 1
// to n + 1. The thread of a range scans every arc and handles those whose
// node lies in it, so no two threads touch the same list or counter and each
// list keeps input order whatever the number of ranges. The threads then
// share the random accesses, which cost, and only the cheap sequential scan
// is repeated per range.
using Ranges = std::vector<std::uint32_t>;

std::size_t teamRanges() {
    return static_cast<std::size_t>(omp_get_max_threads());
}

// Ranges of about equal arc counts by the in-list starts off[1 .. n + 1].
Ranges rangesByOffsets(const std::vector<std::uint32_t>& off, std::uint32_t n) {
    const std::size_t ranges = teamRanges();
    Ranges first(ranges + 1, n + 1);
    first[0] = 1;
    const std::uint64_t total = off[n + 1];
    for (std::size_t p = 1; p < ranges; ++p) {
        const auto target = static_cast<std::uint32_t>(total * p / ranges);
        first[p] = static_cast<std::uint32_t>(std::lower_bound(off.begin() + 1, off.begin() + n + 1, target) -
                                              off.begin());
    }
    return first;
}

// Ranges of about equal counts by a sample of the nodes the arcs name in
// `column`, for counting before any offset is known (R-MAT heads are far
// from uniform: the lowest ids carry most arcs).
template <class T>
Ranges rangesBySample(const T* column, std::size_t size, std::uint32_t n) {
    const std::size_t ranges = teamRanges();
    Ranges first(ranges + 1, n + 1);
    first[0] = 1;
    if (ranges == 1 || size == 0) return first;
    constexpr std::size_t kSample = std::size_t{1} << 16;
    const std::size_t step = std::max<std::size_t>(1, size / kSample);
    std::vector<std::uint32_t> sample;
    for (std::size_t i = 0; i < size; i += step) sample.push_back(static_cast<std::uint32_t>(column[i]));
    std::sort(sample.begin(), sample.end());
    for (std::size_t p = 1; p < ranges; ++p) first[p] = sample[sample.size() * p / ranges];
    return first;
}

// Whether node x lies in [first, first + size).
inline bool owns(std::uint32_t x, std::uint32_t first, std::uint32_t size) {
    return x - first < size;
}

// off[v + 1] = the arcs into v; self-loops are not counted. Returns their number.
std::uint64_t countInArcs(const ArcList& arcs, std::vector<std::uint32_t>& off) {
    const Ranges ranges = rangesBySample(arcs.dst.data(), arcs.dst.size(), arcs.n);
    const auto rangeCount = static_cast<std::int64_t>(ranges.size() - 1);
    const std::size_t m = arcs.src.size();
    const std::uint32_t* src = arcs.src.data();
    const std::uint32_t* dst = arcs.dst.data();
    std::uint64_t selfLoops = 0;
#pragma omp parallel for schedule(static, 1) reduction(+ : selfLoops)
    for (std::int64_t p = 0; p < rangeCount; ++p) {
        const std::uint32_t lo = ranges[p], size = ranges[p + 1] - lo;
        for (std::size_t i = 0; i < m; ++i) {
            const std::uint32_t u = src[i], v = dst[i];
            if (u == v) {
                if (p == 0) ++selfLoops;
                continue;
            }
            if (owns(v, lo, size)) ++off[v + 1];
            if (arcs.bothWays && owns(u, lo, size)) ++off[u + 1];
        }
    }
    return selfLoops;
}

// Scatters arc i into the lists of the range's nodes, advancing off[x] from
// the start of x's list to the start of the next one; shifting by one place
// then restores the starts. put(at, i, other) stores arc i's entry at `at`;
// `other` is the end whose list it is not in. Once markSelfLoops has run,
// the tails are read only for arcs that go both ways (the column may be gone
// otherwise) and `other` is 0 for the entry in the head's list.
template <class Put>
void scatter(const ArcList& arcs, std::vector<std::uint32_t>& off, std::uint32_t n, bool marked, Put&& put) {
    const Ranges ranges = rangesByOffsets(off, n);
    const auto rangeCount = static_cast<std::int64_t>(ranges.size() - 1);
    const std::size_t m = arcs.dst.size();
    const std::uint32_t* src = arcs.src.data();
    const std::uint32_t* dst = arcs.dst.data();
    const bool withTails = !marked || arcs.bothWays;
#pragma omp parallel for schedule(static, 1)
    for (std::int64_t p = 0; p < rangeCount; ++p) {
        const std::uint32_t lo = ranges[p], hi = ranges[p + 1], size = hi - lo;
        if (size == 0) continue;
        const std::uint32_t start = off[lo];
        for (std::size_t i = 0; i < m; ++i) {
            const std::uint32_t v = dst[i];
            if (v == 0) continue;  // a marked self-loop
            const std::uint32_t u = withTails ? src[i] : 0;
            if (u == v) continue;
            if (owns(v, lo, size)) put(off[v]++, i, u);
            if (arcs.bothWays && owns(u, lo, size)) put(off[u]++, i, v);
        }
        for (std::uint32_t v = hi - 1; v > lo; --v) off[v] = off[v - 1];
        off[lo] = start;
    }
}

// Self-loops get head 0 so that the probability pass can skip them after the
// tail column is released.
void markSelfLoops(ArcList& arcs) {
    const auto m = static_cast<std::int64_t>(arcs.dst.size());
    std::uint32_t* src = arcs.src.data();
    std::uint32_t* dst = arcs.dst.data();
#pragma omp parallel for schedule(static)
    for (std::int64_t i = 0; i < m; ++i)
        if (src[i] == dst[i]) dst[i] = 0;
}

// Merges duplicates in place, keeping the first: mark[u] == v once u -> v
// has been kept, with a mark per range so that ranges never see each other's.
// Each range compacts its lists at the start of its own span; the spans are
// then moved down into place in range order. Returns the number merged.
std::uint64_t mergeDuplicates(Network& net, const std::string& source) {
    const std::uint32_t n = net.n;
    const Ranges ranges = rangesByOffsets(net.off, n);
    const std::size_t rangeCount = ranges.size() - 1;
    std::vector<std::vector<std::uint32_t>> marks(rangeCount);
    allocating(source, "the duplicate marks of " + std::to_string(n) + " nodes",
               (std::uint64_t{n} + 1) * 4 * rangeCount, [&] {
                   for (auto& mark : marks) mark.assign(static_cast<std::size_t>(n) + 1, 0);
               });
    std::vector<std::uint32_t> kept(rangeCount, 0);
    std::uint32_t* off = net.off.data();
    std::int32_t* adj = net.adj.data();
    float* prob = net.prob.data();
    std::uint64_t duplicates = 0;
#pragma omp parallel for schedule(static, 1) reduction(+ : duplicates)
    for (std::int64_t p = 0; p < static_cast<std::int64_t>(rangeCount); ++p) {
        std::uint32_t* mark = marks[p].data();
        const std::uint32_t lo = ranges[p], hi = ranges[p + 1];
        // off[lo] stays (the range's span starts there); off[hi] is the next range's.
        std::uint32_t write = off[lo], read = off[lo];
        for (std::uint32_t v = lo; v < hi; ++v) {
            const std::uint32_t end = off[v + 1];
            if (v > lo) off[v] = write;
            for (; read < end; ++read) {
                const std::int32_t u = adj[read];
                if (mark[static_cast<std::uint32_t>(u)] == v) {
                    ++duplicates;
                    continue;
                }
                mark[static_cast<std::uint32_t>(u)] = v;
                adj[write] = u;
                prob[write] = prob[read];
                ++write;
            }
        }
        kept[p] = write - off[lo];
    }
    marks.clear();
    // Range p's span moves from off[first[p]] down to the arcs kept before it.
    std::vector<std::uint32_t> shift(rangeCount, 0);
    std::uint32_t to = 0;
    for (std::size_t p = 0; p < rangeCount; ++p) {
        const std::uint32_t from = off[ranges[p]];
        shift[p] = from - to;
        if (shift[p] != 0 && kept[p] != 0) {
            std::memmove(adj + to, adj + from, std::size_t{kept[p]} * sizeof *adj);
            std::memmove(prob + to, prob + from, std::size_t{kept[p]} * sizeof *prob);
        }
        to += kept[p];
    }
#pragma omp parallel for schedule(static, 1)
    for (std::int64_t p = 0; p < static_cast<std::int64_t>(rangeCount); ++p)
        for (std::uint32_t v = ranges[p]; v < ranges[p + 1]; ++v) off[v] -= shift[p];
    net.off[n + 1] = to;
    net.adj.resize(to);
    net.prob.resize(to);
    return duplicates;
}

}  // namespace

Network buildNetwork(ArcList&& arcs, BuildCounts& counts, const std::string& source) {
    const std::size_t entries = arcs.src.size();
    const std::uint64_t wanted = entries * (arcs.bothWays ? 2 : 1);
    const bool withProb = arcs.prob.size() == entries && entries > 0;
    if (wanted > UINT32_MAX)
        throw std::runtime_error(source + ": expected at most 4294967295 arcs, found " + std::to_string(wanted));

    Network net;
    const std::uint32_t n = net.n = arcs.n;
    net.origId = std::move(arcs.origId);
    net.firstId = arcs.firstId;

    // Counts per head, then prefix sums turn off[v] into the start of v's list.
    allocating(source, "the in-list offsets of " + std::to_string(n) + " nodes", (std::uint64_t{n} + 2) * 8,
               [&] { net.off.assign(static_cast<std::size_t>(n) + 2, 0); });
    counts.selfLoops = countInArcs(arcs, net.off);
    std::partial_sum(net.off.begin(), net.off.end(), net.off.begin());
    const std::uint32_t total = net.off[n + 1];
    if (total == 0)
        throw std::runtime_error(source + ": expected at least one arc that is not a self-loop, found " +
                                 std::to_string(counts.selfLoops) + " self-loops and nothing else");

    allocating(source, "the in-lists of " + std::to_string(total) + " arcs", std::uint64_t{total} * 8,
               [&] { net.adj.resize(total); });
    scatter(arcs, net.off, n, false, [&](std::uint32_t at, std::size_t, std::uint32_t other) {
        net.adj[at] = static_cast<std::int32_t>(other);
    });
    if (withProb) markSelfLoops(arcs);
    if (!arcs.bothWays) arcs.src.release();
    if (!withProb) arcs.dst.release();
    allocating(source, "the probabilities of " + std::to_string(total) + " arcs", std::uint64_t{total} * 4,
               [&] { net.prob.assign(total, 0.0f); });
    if (withProb)
        scatter(arcs, net.off, n, true, [&](std::uint32_t at, std::size_t i, std::uint32_t) { net.prob[at] = arcs.prob[i]; });
    arcs.src.release();
    arcs.dst.release();
    arcs.prob.release();

    counts.duplicates = mergeDuplicates(net, source);
    return net;
}

namespace {

// Arcs or nodes per block of a stream drawn in order: a block's generator
// skips to its first draw, so blocks are drawn in any order.
constexpr std::int64_t kDrawBlock = std::int64_t{1} << 16;

std::int64_t blocksOf(std::uint64_t count) {
    return static_cast<std::int64_t>((count + kDrawBlock - 1) / kDrawBlock);
}

}  // namespace

void assignWeights(Network& net, WeightModel model, double p, std::uint64_t seed) {
    float* prob = net.prob.data();
    const std::uint64_t m = net.prob.size();
    switch (model) {
        case WeightModel::File:
            return;
        case WeightModel::Uniform: {
            const auto w = static_cast<float>(p);
#pragma omp parallel for schedule(static)
            for (std::int64_t i = 0; i < static_cast<std::int64_t>(m); ++i) prob[i] = w;
            return;
        }
        case WeightModel::WeightedCascade: {
            const std::uint32_t* off = net.off.data();
            // In-degrees are skewed, so nodes go out in small chunks.
#pragma omp parallel for schedule(dynamic, 4096)
            for (std::int64_t v = 1; v <= static_cast<std::int64_t>(net.n); ++v) {
                const std::uint32_t d = net.inDegree(static_cast<std::uint32_t>(v));
                if (d == 0) continue;
                const auto w = static_cast<float>(1.0 / d);
                std::fill(prob + off[v], prob + off[v + 1], w);
            }
            return;
        }
        case WeightModel::Trivalency: {
            static constexpr float kLevels[3] = {0.1f, 0.01f, 0.001f};
            const std::uint64_t base = streamSeed(seed, Stream::Trivalency);
#pragma omp parallel for schedule(static)
            for (std::int64_t b = 0; b < blocksOf(m); ++b) {
                const std::uint64_t first = static_cast<std::uint64_t>(b) * kDrawBlock;
                const std::uint64_t last = std::min<std::uint64_t>(first + kDrawBlock, m);
                SplitMix64 rng(base);
                rng.skip(first);
                for (std::uint64_t i = first; i < last; ++i) prob[i] = kLevels[rng.below(3)];
            }
            return;
        }
    }
}

std::uint64_t normalizeWeights(Network& net) {
    std::uint64_t scaled = 0;
    const std::uint32_t* off = net.off.data();
    float* prob = net.prob.data();
#pragma omp parallel for schedule(dynamic, 4096) reduction(+ : scaled)
    for (std::int64_t v = 1; v <= static_cast<std::int64_t>(net.n); ++v) {
        float* first = prob + off[v];
        float* last = prob + off[v + 1];
        double sum = 0;
        for (float* it = first; it != last; ++it) sum += *it;
        if (sum <= 1.0 + kSumTolerance) continue;
        for (float* it = first; it != last; ++it) *it = static_cast<float>(*it / sum);
        ++scaled;
    }
    return scaled;
}

std::uint32_t Network::nodeOf(std::uint64_t original) const {
    if (origId.empty())
        return original >= firstId && original - firstId < n ? static_cast<std::uint32_t>(original - firstId + 1) : 0;
    auto it = std::lower_bound(origId.begin(), origId.end(), original);
    return it != origId.end() && *it == original ? static_cast<std::uint32_t>(it - origId.begin() + 1) : 0;
}

std::vector<std::uint32_t> makeBenefit(std::uint32_t n, const BenefitModel& model, std::uint64_t seed) {
    const bool fraction = model.kind == BenefitModel::Kind::Fraction;
    std::vector<std::uint32_t> ben(static_cast<std::size_t>(n) + 1, fraction ? 0 : 1);
    ben[0] = 0;
    if (!fraction) return ben;
    auto k = static_cast<std::uint32_t>(std::llround(model.fraction * n));
    // The first k places of a partial Fisher-Yates shuffle are a uniform k-subset.
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 1u);
    SplitMix64 rng(streamSeed(seed, Stream::Benefit));
    for (std::uint32_t i = 0; i < k; ++i) {
        std::uint32_t j = i + rng.below(n - i);
        std::swap(order[i], order[j]);
        ben[order[i]] = 1;
    }
    return ben;
}

std::vector<std::uint32_t> makeCost(const Network& net, const CostModel& model, std::uint64_t seed) {
    std::vector<std::uint32_t> cost(static_cast<std::size_t>(net.n) + 1, 1);
    cost[0] = 0;
    const auto n = static_cast<std::int64_t>(net.n);
    std::uint32_t* c = cost.data();
    switch (model.kind) {
        case CostModel::Kind::Degree: {
            std::fill(cost.begin() + 1, cost.end(), 0);
            // Counted per range of the tails, as the in-lists are per range of the heads.
            const Ranges ranges = rangesBySample(net.adj.data(), net.adj.size(), net.n);
            const auto rangeCount = static_cast<std::int64_t>(ranges.size() - 1);
            const std::size_t m = net.adj.size();
            const std::int32_t* adj = net.adj.data();
#pragma omp parallel for schedule(static, 1)
            for (std::int64_t p = 0; p < rangeCount; ++p) {
                const std::uint32_t lo = ranges[p], size = ranges[p + 1] - lo;
                for (std::size_t i = 0; i < m; ++i) {
                    const auto u = static_cast<std::uint32_t>(adj[i]);
                    if (owns(u, lo, size)) ++c[u];
                }
            }
#pragma omp parallel for schedule(static)
            for (std::int64_t v = 1; v <= n; ++v) c[v] = std::max<std::uint32_t>(c[v], 1);
            break;
        }
        case CostModel::Kind::Random: {
            const std::uint64_t base = streamSeed(seed, Stream::Cost);
            const std::uint32_t width = model.hi - model.lo + 1;
            // Node v takes the stream's draw v - 1.
#pragma omp parallel for schedule(static)
            for (std::int64_t b = 0; b < blocksOf(net.n); ++b) {
                const std::int64_t first = b * kDrawBlock + 1;
                const std::int64_t last = std::min(first + kDrawBlock, n + 1);
                SplitMix64 rng(base);
                rng.skip(static_cast<std::uint64_t>(first - 1));
                for (std::int64_t v = first; v < last; ++v) c[v] = model.lo + rng.below(width);
            }
            break;
        }
        case CostModel::Kind::Uniform:
            break;
        case CostModel::Kind::File:
            throw std::logic_error("makeCost: costs from a file are read with readGivenValues");
    }
    return cost;
}

}  // namespace netpack
