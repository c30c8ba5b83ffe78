// Parallel generation of a batch of hyperedges into the store.
//
// The batch is exactly B = ceil(num / 10000) blocks of 10000 samples. Threads
// claim block numbers with one atomic fetch-and-add each, and a claimed block
// always runs to its end. Block b draws from its own stream, seeded from a key
// taken once per call from the store's generator and b's number over the
// store's whole life, so what a block samples does not depend on which thread
// runs it. Each thread writes into its own buffer and notes where each of its
// blocks starts; after the join the blocks are appended in block order, and
// each buffer's copied prefix is returned to the system as the copy goes, so
// the batch is never held twice. The stored hyperedges therefore depend only
// on the store's seed, never on the thread count.
//
// A run split over several processes passes a BlockShare: every process draws
// the key and claims the batch's block numbers alike, but samples and stores
// only its own blocks (see blockShare.h).
#include <omp.h>

#include <atomic>
#include <climits>
#include <exception>
#include <stdexcept>
#include <string>

#include "hypergraph.h"

namespace {

constexpr long long kBlock = 10000;
static_assert(kBlock == BlockShare::kBlockSize, "a run split over processes maps hyperedge ids by this block size");

// Where one block's hyperedges lie in the buffer of the thread that ran it.
struct BlockSlice {
    int thread = 0;
    std::size_t firstEdge = 0;
    std::size_t firstNode = 0;
    std::size_t endNode = 0;
};

}  // namespace

long long addHyperedge(const Graph& g, HyperGraph& hg, int t, long long num, bool lt) {
    return addHyperedge(g, hg, t, num, lt, BlockShare{});
}

long long addHyperedge(const Graph& g, HyperGraph& hg, int t, long long num, bool lt, const BlockShare& share) {
    // The programs reject a thread count below 1; should one arrive, it runs
    // on one thread rather than sizing the per-thread tables by it.
    if (t < 1) t = 1;
    const int n = g.getSize();
    omp_set_num_threads(t);
    if (num > 0) {
        const long long batchBlocks = num / kBlock + (num % kBlock != 0 ? 1 : 0);
        if (batchBlocks > (INT_MAX - static_cast<long long>(hg.getNumEdge())) / kBlock)
            throw std::runtime_error("a batch of " + std::to_string(num) + " hyperedges would take the store of " +
                                     std::to_string(hg.getNumEdge()) + " past 2147483647 hyperedges");
        const std::array<UI, 4> key = hg.drawStreamKey();
        const std::uint64_t firstBlock = hg.claimBlockNumbers(static_cast<std::uint64_t>(batchBlocks));
        // This process's blocks: batch positions firstMine, firstMine + ranks, ...
        const long long blocks = share.ownedIn(firstBlock, batchBlocks);
        const long long firstMine = share.firstOwned(firstBlock);

        std::vector<BlockSlice> slices(static_cast<std::size_t>(blocks));
        std::vector<HyperedgeBuffer> buffers(static_cast<std::size_t>(t));
        std::vector<std::exception_ptr> failures(static_cast<std::size_t>(t));
        std::atomic<long long> nextBlock{0};
        std::atomic<bool> failed{false};

        // Blocks are handed out one at a time, like schedule(dynamic, 1): the
        // samples' sizes vary widely, so a static split would leave a thread idle.
#pragma omp parallel
        {
            const int tid = omp_get_thread_num();
            try {
                std::vector<bool> visit(static_cast<std::size_t>(n) + 1);
                std::vector<int> visit_mark(static_cast<std::size_t>(n) + 1);
                sfmt_t rng;
                HyperedgeBuffer& buf = buffers[static_cast<std::size_t>(tid)];
                while (!failed.load(std::memory_order_relaxed)) {
                    const long long i = nextBlock.fetch_add(1, std::memory_order_relaxed);
                    if (i >= blocks) break;
                    const long long b = firstMine + i * share.ranks;
                    HyperGraph::initStream(rng, key, firstBlock + static_cast<std::uint64_t>(b));
                    BlockSlice& slice = slices[static_cast<std::size_t>(i)];
                    slice.thread = tid;
                    slice.firstEdge = buf.sizes.size();
                    slice.firstNode = buf.nodes.size();
                    if (lt) {
                        for (long long i = 0; i < kBlock; ++i) hg.pollingIC1(g, rng, buf, visit, visit_mark);
                    } else {
                        for (long long i = 0; i < kBlock; ++i) hg.pollingLT1(g, rng, buf, visit, visit_mark);
                    }
                    slice.endNode = buf.nodes.size();
                }
            } catch (...) {
                failures[static_cast<std::size_t>(tid)] = std::current_exception();
                failed.store(true, std::memory_order_relaxed);
            }
        }
        for (const std::exception_ptr& f : failures)
            if (f) std::rethrow_exception(f);

        std::size_t nodes = 0;
        for (const HyperedgeBuffer& buf : buffers) nodes += buf.nodes.size();
        hg.reserveEdges(static_cast<std::size_t>(blocks * kBlock), nodes);
        for (const BlockSlice& slice : slices) {
            HyperedgeBuffer& buf = buffers[static_cast<std::size_t>(slice.thread)];
            hg.appendEdges(buf, slice.firstEdge, static_cast<std::size_t>(kBlock), slice.firstNode);
            buf.discardBefore(slice.endNode, slice.firstEdge + static_cast<std::size_t>(kBlock));
        }
    }
    hg.updateDeg();
    return hg.getNumEdge();
}
