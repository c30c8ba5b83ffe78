// Seed hits on the validation samples; see validationHits.h.
#include "estimate/validationHits.h"

#include <omp.h>

#include <algorithm>
#include <cassert>
#include <exception>

#include "estimate/blockHits.h"
#include "estimate/estimate.h"
#include "mpi/teamHooks.h"
#include "random/SFMT.h"
#include "sampling/threadScratch.h"

namespace lattis {

namespace {

// "vald": marks the validation streams among any other family of seven words.
constexpr std::uint32_t kValidationTag = 0x76616c64u;

void initValidationStream(sfmt_t& s, std::uint32_t runSeed, std::uint64_t block) {
    std::uint32_t init[7] = {kValidationTag, runSeed, static_cast<std::uint32_t>(block),
                             static_cast<std::uint32_t>(block >> 32), 0, 0, 0};
    sfmt_init_by_array(&s, init, 7);
}

// Validation block b of `samples` (the last one cut short), drawn on s and
// counted until stopAt hits when stopAt > 0.
BlockTally drawValidationBlock(const SeedHitTest& test, ThreadScratch& s, std::uint32_t runSeed, long long b,
                               long long samples, long long stopAt) {
    initValidationStream(s.rng, runSeed, static_cast<std::uint64_t>(b));
    return countBlockHits(test, s, std::min(kEstimateBlock, samples - b * kEstimateBlock), stopAt);
}

}  // namespace

BlockTally validationHits(const Graph& g, HyperGraph& hg, const std::vector<int>& seeds, long long samples,
                         std::uint32_t runSeed, const EstimateSettings& settings, std::vector<long long>* blockHits) {
    assert(settings.threads >= 1);
    if (samples <= 0 || seeds.empty() || !seedsReachRoot(g, hg, seeds, settings.fast)) return {};
    const TeamHooks* team = settings.team;
    const BlockShare share = team != nullptr ? team->share : BlockShare{};
    const UI n = static_cast<UI>(g.getSize());
    const int t = settings.threads;
    const long long blocks = (samples + kEstimateBlock - 1) / kEstimateBlock;
    std::vector<UI> link;
    std::vector<long long> hitsOf;
    const ScratchGuard guard(hg);
    std::span<ThreadScratch> scratch;
    std::vector<std::exception_ptr> failures(static_cast<std::size_t>(t));
    runTogether(team, [&] {
        link = seedLinks(n, seeds);
        scratch = hg.samplingScratch(t, n, settings.fast);
        const Sampler sampler(g.view(), settings.fast);
        const SeedHitTest test{&sampler, &hg.rootDraw(), link.data(), static_cast<UI>(seeds.size())};
        const long long first = share.firstOwned(0);
        const long long mine = share.ownedIn(0, blocks);
        hitsOf.assign(static_cast<std::size_t>(mine), 0);
        omp_set_num_threads(t);
        // Blocks vary with the seeds' reach; handing them out one at a time
        // keeps every thread busy to the end.
#pragma omp parallel for schedule(dynamic, 1)
        for (long long j = 0; j < mine; ++j) {
            const std::size_t tid = static_cast<std::size_t>(omp_get_thread_num());
            const long long b = first + j * share.ranks;
            try {
                const BlockTally tally = drawValidationBlock(test, scratch[tid], runSeed, b, samples, 0);
                hitsOf[static_cast<std::size_t>(j)] = tally.hits;
            } catch (...) {
                failures[tid] = std::current_exception();
            }
        }
        for (const std::exception_ptr& f : failures)
            if (f) std::rethrow_exception(f);
    });
    // Every block's count, the others' entries 0 before the sum.
    std::vector<long long> own;
    std::vector<long long>& all = blockHits != nullptr ? *blockHits : own;
    all.assign(static_cast<std::size_t>(blocks), 0);
    for (std::size_t j = 0; j < hitsOf.size(); ++j)
        all[static_cast<std::size_t>(share.firstOwned(0) + static_cast<long long>(j) * share.ranks)] = hitsOf[j];
    if (team != nullptr) team->sumEach(all);
    long long hits = 0;
    for (long long h : all) hits += h;
    return {samples, hits};
}

std::optional<BlockEstimate> validationEstimate(const Graph& g, HyperGraph& hg, const std::vector<int>& seeds,
                                                const std::vector<long long>& blockHits, long long samples,
                                                std::uint32_t runSeed, const EstimateSettings& settings) {
    BlockEstimate result;
    result.neededHits = neededHits(settings.epsilon, settings.delta);
    long long before = 0;  // hits of the blocks before b
    for (std::size_t b = 0; b < blockHits.size(); ++b) {
        if (before + blockHits[b] < result.neededHits) {
            before += blockHits[b];
            continue;
        }
        // Every process redraws the block, so that all end with the same counts.
        const UI n = static_cast<UI>(g.getSize());
        BlockTally last;
        const ScratchGuard guard(hg);
        runTogether(settings.team, [&] {
            const std::vector<UI> link = seedLinks(n, seeds);
            ThreadScratch& s = hg.samplingScratch(1, n, settings.fast)[0];
            const Sampler sampler(g.view(), settings.fast);
            const SeedHitTest test{&sampler, &hg.rootDraw(), link.data(), static_cast<UI>(seeds.size())};
            last = drawValidationBlock(test, s, runSeed, static_cast<long long>(b), samples,
                                       result.neededHits - before);
        });
        result.samples = static_cast<long long>(b) * kEstimateBlock + last.samples;
        result.hits = before + last.hits;
        result.estimate = scaledEstimate(g.getPositiveBenefit(), result.hits, result.samples);
        return result;
    }
    return std::nullopt;
}

}  // namespace lattis
