// From an arc list to the packed in-lists, and the per-arc and per-node values
// drawn on them (edge probabilities, benefits, costs).
//
// The in-lists are built by a counting sort on the head of each arc, which
// keeps every list in input order; self-loops are skipped while counting and
// duplicates are merged afterwards in one pass per node with a "last seen at"
// mark per tail. The arc columns are released as soon as they are used, so a
// build holds at most about twice the final network at once.
#include <algorithm>
#include <cmath>
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

// off[v + 1] = the arcs into v; self-loops are not counted. Returns their number.
std::uint64_t countInArcs(const ArcList& arcs, std::vector<std::uint32_t>& off) {
    std::uint64_t selfLoops = 0;
    for (std::size_t i = 0; i < arcs.src.size(); ++i) {
        std::uint32_t u = arcs.src[i], v = arcs.dst[i];
        if (u == v) {
            ++selfLoops;
            continue;
        }
        ++off[v + 1];
        if (arcs.bothWays) ++off[u + 1];
    }
    return selfLoops;
}

// Each scatter advances off[v] from the start of v's list to the start of
// the next one; shifting by one place restores the starts.
void restoreStarts(std::vector<std::uint32_t>& off, std::uint32_t n) {
    for (std::uint32_t v = n + 1; v >= 1; --v) off[v] = off[v - 1];
}

// The tails into the in-lists, in input order. Self-loops get head 0 so that
// the probability pass can skip them without the tail column.
void scatterTails(ArcList& arcs, Network& net) {
    std::vector<std::uint32_t>& off = net.off;
    for (std::size_t i = 0; i < arcs.src.size(); ++i) {
        std::uint32_t u = arcs.src[i], v = arcs.dst[i];
        if (u == v) {
            arcs.dst[i] = 0;
            continue;
        }
        net.adj[off[v]++] = static_cast<std::int32_t>(u);
        if (arcs.bothWays) net.adj[off[u]++] = static_cast<std::int32_t>(v);
    }
    restoreStarts(off, net.n);
}

// The probabilities read with the arcs, parallel to the tails.
void scatterProbabilities(const ArcList& arcs, Network& net) {
    std::vector<std::uint32_t>& off = net.off;
    for (std::size_t i = 0; i < arcs.dst.size(); ++i) {
        std::uint32_t v = arcs.dst[i];
        if (v == 0) continue;
        net.prob[off[v]++] = arcs.prob[i];
        if (arcs.bothWays) net.prob[off[arcs.src[i]]++] = arcs.prob[i];
    }
    restoreStarts(off, net.n);
}

// Merges duplicates in place, keeping the first: mark[u] == v once u -> v
// has been kept. Returns the number merged.
std::uint64_t mergeDuplicates(Network& net, const std::string& source) {
    const std::uint32_t n = net.n;
    std::vector<std::uint32_t> mark;
    allocating(source, "the duplicate marks of " + std::to_string(n) + " nodes", (std::uint64_t{n} + 1) * 4,
               [&] { mark.assign(static_cast<std::size_t>(n) + 1, 0); });
    std::uint32_t write = 0, read = 0;
    std::uint64_t duplicates = 0;
    for (std::uint32_t v = 1; v <= n; ++v) {
        std::uint32_t end = net.off[v + 1];
        net.off[v] = write;
        for (; read < end; ++read) {
            std::int32_t u = net.adj[read];
            if (mark[static_cast<std::uint32_t>(u)] == v) {
                ++duplicates;
                continue;
            }
            mark[static_cast<std::uint32_t>(u)] = v;
            net.adj[write] = u;
            net.prob[write] = net.prob[read];
            ++write;
        }
    }
    net.off[n + 1] = write;
    net.adj.resize(write);
    net.prob.resize(write);
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
    scatterTails(arcs, net);
    if (!arcs.bothWays) arcs.src.release();
    if (!withProb) arcs.dst.release();
    allocating(source, "the probabilities of " + std::to_string(total) + " arcs", std::uint64_t{total} * 4,
               [&] { net.prob.assign(total, 0.0f); });
    if (withProb) scatterProbabilities(arcs, net);
    arcs.src.release();
    arcs.dst.release();
    arcs.prob.release();

    counts.duplicates = mergeDuplicates(net, source);
    return net;
}

void assignWeights(Network& net, WeightModel model, double p, std::uint64_t seed) {
    switch (model) {
        case WeightModel::File:
            return;
        case WeightModel::Uniform:
            std::fill(net.prob.begin(), net.prob.end(), static_cast<float>(p));
            return;
        case WeightModel::WeightedCascade:
            for (std::uint32_t v = 1; v <= net.n; ++v) {
                std::uint32_t d = net.inDegree(v);
                if (d == 0) continue;
                float w = static_cast<float>(1.0 / d);
                std::fill(net.prob.begin() + net.off[v], net.prob.begin() + net.off[v + 1], w);
            }
            return;
        case WeightModel::Trivalency: {
            static constexpr float kLevels[3] = {0.1f, 0.01f, 0.001f};
            SplitMix64 rng(streamSeed(seed, Stream::Trivalency));
            for (float& w : net.prob) w = kLevels[rng.below(3)];
            return;
        }
    }
}

std::uint64_t normalizeWeights(Network& net) {
    std::uint64_t scaled = 0;
    for (std::uint32_t v = 1; v <= net.n; ++v) {
        auto first = net.prob.begin() + net.off[v], last = net.prob.begin() + net.off[v + 1];
        double sum = 0;
        for (auto it = first; it != last; ++it) sum += *it;
        if (sum <= 1.0 + kSumTolerance) continue;
        for (auto it = first; it != last; ++it) *it = static_cast<float>(*it / sum);
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
    switch (model.kind) {
        case CostModel::Kind::Degree:
            std::fill(cost.begin() + 1, cost.end(), 0);
            for (std::int32_t u : net.adj) ++cost[static_cast<std::uint32_t>(u)];
            for (std::uint32_t v = 1; v <= net.n; ++v) cost[v] = std::max<std::uint32_t>(cost[v], 1);
            break;
        case CostModel::Kind::Random: {
            SplitMix64 rng(streamSeed(seed, Stream::Cost));
            for (std::uint32_t v = 1; v <= net.n; ++v) cost[v] = model.lo + rng.below(model.hi - model.lo + 1);
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
