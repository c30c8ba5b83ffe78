// The estimator in block order and in the order of thread streams; see
// blockEstimate.h.
#include "estimate/blockEstimate.h"

#include <omp.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <exception>
#include <functional>
#include <iomanip>
#include <limits>
#include <span>
#include <sstream>
#include <stdexcept>

#include "core/tuning.h"
#include "estimate/blockHits.h"
#include "estimate/estimate.h"
#include "sampling/sampler.h"
#include "mpi/teamHooks.h"
#include "sampling/threadScratch.h"

namespace lattis {

long long neededHits(float epsilon, float delta) {
    const double bound = std::ceil(static_cast<double>(stoppingBound(epsilon, delta)));
    assert(std::isfinite(bound));
    // Converted only within range: a bound past the largest count (from a
    // tiny epsilon) is one no cap can reach, not a wrapped value.
    constexpr double kLargest = 9.2e18;
    if (bound >= kLargest) return std::numeric_limits<long long>::max();
    return std::max(1LL, static_cast<long long>(bound));
}

void checkHitsWithinCap(float epsilon, float delta, long long maxSamples, const AccuracyNames& names) {
    // Compared in double precision: the bound may lie far beyond any count.
    const double hits = std::ceil(static_cast<double>(stoppingBound(epsilon, delta)));
    if (hits <= static_cast<double>(maxSamples)) return;
    std::ostringstream msg;
    if (*names.settings != '\0') msg << names.settings << ' ';
    msg << names.epsilon << ' ' << epsilon << " and " << names.delta << ' ' << delta
        << " ask for " << std::fixed << std::setprecision(0) << hits << " hits, more than the cap of " << maxSamples
        << " samples (" << names.cap << ") could ever give; choose a larger " << names.epsilon << " or "
        << names.delta << ", or raise " << names.cap;
    throw std::invalid_argument(msg.str());
}

namespace {

// The estimate's blocks, the last one stopping at the cap. In the order of
// Blocks, block b draws from its own stream of the key; in the order of
// ThreadStreams it continues the stream of its lane (b mod the threads),
// which the caller has brought to the block's start.
struct EstimateBlocks {
    SeedHitTest test;
    StreamKey key{};
    long long cap = 0;
    EstimateOrder order = EstimateOrder::Blocks;

    long long size(long long b) const { return std::min(kEstimateBlock, cap - b * kEstimateBlock); }
    // Block b's samples, counted until `stopAt` hits when stopAt > 0.
    BlockTally run(ThreadScratch& s, long long b, long long stopAt) const {
        if (order == EstimateOrder::Blocks) initStream(s.rng, key, static_cast<std::uint64_t>(b));
        return countBlockHits(test, s, size(b), stopAt);
    }
};

// The blocks of the next round, in whole units (one block per thread of
// every process), at most the blocks left: enough for the hits still needed
// (doubling while no hit has come). Blocks drawn past the stopping sample
// are wasted, and a rate seen on a few hits is often far below the true one
// (one hit in the first block predicts twice the samples needed about half
// the time), so the round is sized by a rate about two standard errors
// above the one seen: it falls a little short, and the next round, on a
// rate seen on many hits, draws the rest. A round holds at most
// kEstimateRoundBlocksPerThread blocks per thread, so that progress and an
// interrupt are looked at often.
long long roundBlocks(const BlockEstimate& sofar, long long done, long long blocks, long long unit) {
    long long want = std::max<long long>(done, 1);
    if (sofar.hits > 0) {
        const double h = static_cast<double>(sofar.hits);
        const double rateHigh = (h + 2.0 * std::sqrt(h) + 1.0) / static_cast<double>(sofar.samples);
        const double missing = static_cast<double>(sofar.neededHits - sofar.hits);
        const double blocksNeeded = missing / rateHigh / static_cast<double>(kEstimateBlock);
        want = static_cast<long long>(std::min(blocksNeeded, static_cast<double>(blocks - done))) + 1;
    }
    want = (std::max(want, unit) + unit - 1) / unit * unit;
    return std::min({want, kEstimateRoundBlocksPerThread * unit, blocks - done});
}

void rethrowFirst(const std::vector<std::exception_ptr>& failures) {
    for (const std::exception_ptr& f : failures)
        if (f) std::rethrow_exception(f);
}

// One round's blocks done .. done + want - 1 and, in the order of thread
// streams, where its lane's stream stood when each began (so that the block
// holding the stopping sample can be drawn again from there).
class Round {
public:
    Round(const EstimateBlocks& blocks, std::span<ThreadScratch> scratch, const BlockShare& share)
        : blocks(blocks), scratch(scratch), share(share), failures(scratch.size()) {
        // In the order of thread streams each lane's stream starts once.
        if (blocks.order == EstimateOrder::ThreadStreams)
            for (std::size_t l = 0; l < scratch.size(); ++l) initStream(scratch[l].rng, blocks.key, l);
    }

    // The hits of this process's blocks of the round into hitsOf (the
    // others' entries 0); rethrows a thread's fault after the loop.
    void count(long long first, long long blocksInRound) {
        done = first;
        want = blocksInRound;
        hitsOf.assign(static_cast<std::size_t>(want), 0);
        if (blocks.order == EstimateOrder::ThreadStreams)
            countLanes();
        else
            countBlocks();
        rethrowFirst(failures);
    }

    // Block done + i drawn again until `stopAt` hits.
    BlockTally redraw(long long i, long long stopAt) {
        if (blocks.order == EstimateOrder::Blocks) return blocks.run(scratch[0], done + i, stopAt);
        ThreadScratch& s = scratch[0];
        s.rng = blockStart[static_cast<std::size_t>(i)];
        return blocks.run(s, done + i, stopAt);
    }

    std::vector<long long> hitsOf;

private:
    void countBlocks() {
        // This process's blocks of the round (all of them for one process).
        const long long first = share.firstOwned(static_cast<std::uint64_t>(done));
        const long long mine = share.ownedIn(static_cast<std::uint64_t>(done), want);
        // Blocks vary with the seeds' reach; handing them out one at a time
        // keeps every thread busy to the end of the round.
#pragma omp parallel for schedule(dynamic, 1)
        for (long long j = 0; j < mine; ++j) {
            const std::size_t tid = static_cast<std::size_t>(omp_get_thread_num());
            const long long i = first + j * share.ranks;
            try {
                hitsOf[static_cast<std::size_t>(i)] = blocks.run(scratch[tid], done + i, 0).hits;
            } catch (...) {
                failures[tid] = std::current_exception();
            }
        }
    }

    // Lane l (thread l's stream, in scratch[l]) draws the round's blocks l,
    // l + lanes, ... one after the other; rounds start at a whole number of
    // blocks per lane, so block done + i is lane i mod lanes's.
    void countLanes() {
        const long long lanes = static_cast<long long>(scratch.size());
        assert(done % lanes == 0);
        blockStart.resize(static_cast<std::size_t>(want));
        // One lane per thread: a stream is read in order by one thread.
#pragma omp parallel for schedule(static, 1)
        for (long long l = 0; l < lanes; ++l) {
            ThreadScratch& s = scratch[static_cast<std::size_t>(l)];
            try {
                for (long long i = l; i < want; i += lanes) {
                    blockStart[static_cast<std::size_t>(i)] = s.rng;
                    hitsOf[static_cast<std::size_t>(i)] = blocks.run(s, done + i, 0).hits;
                }
            } catch (...) {
                failures[static_cast<std::size_t>(l)] = std::current_exception();
            }
        }
    }

    const EstimateBlocks& blocks;
    std::span<ThreadScratch> scratch;
    BlockShare share;
    std::vector<std::exception_ptr> failures;
    std::vector<sfmt_t> blockStart;
    long long done = 0, want = 0;
};

}  // namespace

BlockEstimate estimateInBlocks(const Graph& g, HyperGraph& hg, const std::vector<int>& seeds,
                               const EstimateSettings& settings) {
    assert(settings.threads >= 1 && settings.maxSamples >= 1);
    assert(settings.team == nullptr || settings.order == EstimateOrder::Blocks);
    BlockEstimate result;
    result.neededHits = neededHits(settings.epsilon, settings.delta);
    if (seeds.empty() || !seedsReachRoot(g, hg, seeds, settings.fast)) return result;

    // A team of processes agrees after each step of local work that every
    // process finished it; one process does each step directly.
    const TeamHooks* team = settings.team;
    const BlockShare share = team != nullptr ? team->share : BlockShare{};

    const UI n = static_cast<UI>(g.getSize());
    const UI k = static_cast<UI>(seeds.size());
    const RootDistribution& roots = hg.rootDraw();
    const FastSampler* fast = settings.fast;
    const Sampler sampler(g.view(), fast);
    const StreamKey key = hg.drawStreamKey();
    const long long blocks = (settings.maxSamples + kEstimateBlock - 1) / kEstimateBlock;
    const int t = settings.threads;
    std::vector<UI> link;
    const ScratchGuard guard(hg);
    std::span<ThreadScratch> scratch;
    runTogether(team, [&] {
        link = seedLinks(n, seeds);
        scratch = hg.samplingScratch(t, n, fast);
    });
    const EstimateBlocks estimate{SeedHitTest{&sampler, &roots, link.data(), k}, key, settings.maxSamples,
                                  settings.order};

    omp_set_num_threads(t);
    Round round(estimate, scratch, share);
    // Blocks per round come in whole numbers per thread of every process.
    const long long unit = static_cast<long long>(t) * share.ranks;
    long long done = 0;  // blocks counted, in order
    while (done < blocks) {
        const long long want = roundBlocks(result, done, blocks, unit);
        runTogether(team, [&] { round.count(done, want); });
        if (team != nullptr) team->sumEach(round.hitsOf);

        for (long long i = 0; i < want; ++i) {
            const long long h = round.hitsOf[static_cast<std::size_t>(i)];
            if (result.hits + h >= result.neededHits) {
                // Every process redraws the block, so that all end with the
                // same counts and without another exchange.
                BlockTally last;
                runTogether(team, [&] { last = round.redraw(i, result.neededHits - result.hits); });
                result.samples += last.samples;
                result.hits += last.hits;
                result.estimate = scaledEstimate(g.getPositiveBenefit(), result.hits, result.samples);
                return result;
            }
            result.hits += h;
            result.samples += estimate.size(done + i);
        }
        done += want;
        if (settings.progress) settings.progress(result.samples, result.hits);
    }
    result.capped = true;
    result.estimate = scaledEstimate(g.getPositiveBenefit(), result.hits, result.samples);
    return result;
}

}  // namespace lattis
