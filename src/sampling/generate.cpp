// Parallel generation of a batch of hyperedges into the store.
//
// The batch is exactly B = ceil(num / 10000) blocks of 10000 samples. Threads
// claim block numbers one at a time from an atomic counter, and a claimed
// block always runs to its end. Block b draws from its own stream, seeded
// from a key taken once per call from the store's generator and b's number
// over the store's whole life, so what a block samples does not depend on
// which thread runs it. Each thread writes into its own buffer and notes
// where each of its blocks starts; after the join the blocks are appended in
// block order, and each buffer's copied prefix is returned to the system as
// the copy goes, so the batch is never held twice. The stored hyperedges
// therefore depend only on the store's seed (and the sampler), never on the
// thread count.
//
// A run split over several processes passes a BlockShare: every process draws
// the key and claims the batch's block numbers alike, but samples and stores
// only its own blocks (see blockShare.h).
#include <omp.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <exception>
#include <span>
#include <stdexcept>
#include <string>

#include "graph/graphView.h"
#include "sampling/generate.h"
#include "sampling/sampler.h"
#include "sampling/threadScratch.h"
#include "core/threadTeam.h"
#include "core/tuning.h"

namespace lattis {

namespace {

constexpr long long kBlock = kHyperedgeBlock;

// Where one block's hyperedges lie in the buffer of the thread that ran it.
struct BlockSlice {
    int thread = 0;
    std::size_t firstEdge = 0;
    std::size_t firstNode = 0;
    std::size_t endNode = 0;
};

// One block of kBlock samples into s.buf.
void sampleInto(const Sampler& sampler, const RootDistribution& roots, ThreadScratch& s) {
    sampler.sampleBlock<SeedTest::None>(roots, s, kBlock, nullptr, 0, [&s](const int* nodes, UI count, bool) {
        s.buf.add(nodes, count);
        return false;
    });
}

// The blocks of one batch that this process samples: batch positions
// firstMine, firstMine + ranks, ... of the block numbers from firstBlock on.
struct BatchPlan {
    StreamKey key{};
    std::uint64_t firstBlock = 0;
    long long blocks = 0;  // this process's
    long long firstMine = 0;
    int ranks = 1;
};

// Refuses a batch that would take the store past the id range, then draws
// the batch's key and claims its block numbers (every process alike).
BatchPlan planBatch(HyperGraph& hg, long long num, const BlockShare& share) {
    const long long batchBlocks = num / kBlock + (num % kBlock != 0 ? 1 : 0);
    if (batchBlocks > (INT_MAX - static_cast<long long>(hg.getNumEdge())) / kBlock)
        throw std::runtime_error("a batch of " + std::to_string(num) + " hyperedges would take the store of " +
                                 std::to_string(hg.getNumEdge()) + " past 2147483647 hyperedges");
    BatchPlan plan;
    plan.key = hg.drawStreamKey();
    plan.firstBlock = hg.claimBlockNumbers(static_cast<std::uint64_t>(batchBlocks));
    plan.blocks = share.ownedIn(plan.firstBlock, batchBlocks);
    plan.firstMine = share.firstOwned(plan.firstBlock);
    plan.ranks = share.ranks;
    return plan;
}

// Samples the plan's blocks on a team of scratch.size() threads into their
// own buffers; returns where each block lies. Rethrows a thread's fault
// after the join.
std::vector<BlockSlice> sampleBlocks(const Sampler& sampler, const RootDistribution& roots, const BatchPlan& plan,
                                     std::span<ThreadScratch> scratch) {
    const int team = static_cast<int>(scratch.size());
    std::vector<BlockSlice> slices(static_cast<std::size_t>(plan.blocks));
    std::vector<std::exception_ptr> failures(static_cast<std::size_t>(team));
    std::atomic<long long> nextBlock{0};
    std::atomic<bool> failed{false};

    // Blocks are handed out one at a time, like schedule(dynamic, 1): the
    // samples' sizes vary widely, so a static split would leave a thread
    // idle.
#pragma omp parallel num_threads(team)
    {
        const int tid = omp_get_thread_num();
        ThreadScratch& s = scratch[static_cast<std::size_t>(tid)];
        try {
            while (!failed.load(std::memory_order_relaxed)) {
                const long long i = nextBlock.fetch_add(1, std::memory_order_relaxed);
                if (i >= plan.blocks) break;
                const long long b = plan.firstMine + i * plan.ranks;
                initStream(s.rng, plan.key, plan.firstBlock + static_cast<std::uint64_t>(b));
                BlockSlice& slice = slices[static_cast<std::size_t>(i)];
                slice.thread = tid;
                slice.firstEdge = s.buf.sizes.size();
                slice.firstNode = s.buf.nodes.size();
                sampleInto(sampler, roots, s);
                slice.endNode = s.buf.nodes.size();
            }
        } catch (...) {
            failures[static_cast<std::size_t>(tid)] = std::current_exception();
            failed.store(true, std::memory_order_relaxed);
        }
    }
    for (const std::exception_ptr& f : failures)
        if (f) std::rethrow_exception(f);
    return slices;
}

// Appends the sampled blocks to the store in block order. Each block's place
// follows from the sizes of the blocks before it; then every thread copies
// the blocks it sampled, giving each copied prefix of its buffer back as it
// goes.
void appendBlocks(HyperGraph& hg, const std::vector<BlockSlice>& slices, std::span<ThreadScratch> scratch) {
    const int team = static_cast<int>(scratch.size());
    std::vector<std::size_t> at(slices.size());
    std::size_t nodes = 0;
    for (std::size_t b = 0; b < slices.size(); ++b) {
        at[b] = nodes;
        nodes += slices[b].endNode - slices[b].firstNode;
    }
    const HyperStore::Extension ext = hg.extendEdges(slices.size() * static_cast<std::size_t>(kBlock), nodes);
    // One buffer per iteration, so every buffer is copied whatever
    // number of threads the runtime grants.
#pragma omp parallel for schedule(static, 1) num_threads(team)
    for (int owner = 0; owner < team; ++owner) {
        HyperedgeBuffer& buf = scratch[static_cast<std::size_t>(owner)].buf;
        for (std::size_t b = 0; b < slices.size(); ++b) {
            const BlockSlice& slice = slices[b];
            if (slice.thread != owner) continue;
            std::memcpy(ext.nodes + at[b], buf.nodes.data() + slice.firstNode,
                        (slice.endNode - slice.firstNode) * sizeof(int));
            std::int64_t end = ext.firstNode + static_cast<std::int64_t>(at[b]);
            const UI* sizes = buf.sizes.data() + slice.firstEdge;
            std::int64_t* ends = ext.ends + b * static_cast<std::size_t>(kBlock);
            for (long long i = 0; i < kBlock; ++i) {
                end += sizes[i];
                ends[i] = end;
            }
            buf.discardBefore(slice.endNode, slice.firstEdge + static_cast<std::size_t>(kBlock));
        }
    }
    for (ThreadScratch& s : scratch) s.buf.restart();
}

}  // namespace

long long addHyperedge(const Graph& g, HyperGraph& hg, int t, long long num, const FastSampler* fast,
                       const BlockShare& share) {
    // The programs reject a thread count below 1; should one arrive, it runs
    // on one thread rather than sizing the per-thread tables by it.
    if (t < 1) t = 1;
    omp_set_num_threads(t);
    if (num > 0) {
        const BatchPlan plan = planBatch(hg, num, share);
        const Sampler sampler(g.view(), fast);
        // A batch of fewer blocks than threads starts no thread that would
        // only wait.
        const int team = static_cast<int>(std::min<long long>(t, std::max<long long>(plan.blocks, 1)));
        const ScratchGuard guard(hg);
        const std::span<ThreadScratch> scratch = hg.samplingScratch(team, static_cast<UI>(g.getSize()), fast);
        const std::vector<BlockSlice> slices = sampleBlocks(sampler, hg.rootDraw(), plan, scratch);
        appendBlocks(hg, slices, scratch);
    }
    hg.updateDeg();
    // The selection follows, on this thread alone.
    restThreadTeam();
    return hg.getNumEdge();
}

}  // namespace lattis
