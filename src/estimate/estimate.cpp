// Benefit estimation of a seed set: the stopping bound, the parallel sampling
// loop and the reachability pre-check; see estimate.h.
//
// The threads share one pair of counters updated together in one critical
// section per sample. Each thread draws from its own SFMT stream, seeded from
// a key the store's generator yields once before the region plus the thread
// number, so a one-thread run is fixed by the store's seed.
#include "estimate/estimate.h"

#include <omp.h>

#include <array>
#include <atomic>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <span>

#include "sampling/fastSampler.h"
#include "graph/graphView.h"
#include "sampling/sampler.h"
#include "sampling/threadScratch.h"

namespace lattis {

float stoppingBound(float epsilon, float delta) {
    const float e = epsilon;
    float b = e + e;
    b = b / 3.0f;
    b = 2.0f + b;
    b = b * (e + 1.0f);
    b = b * std::log(2.0f / delta);
    b = b / (e * e);
    return b + 1.0f;
}

void keyCheckGenerator(HyperGraph& hg, unsigned seed) {
    constexpr std::uint32_t kCheckTag = 0x6f737472;  // "ostr"
    const std::uint32_t key[] = {kCheckTag, static_cast<std::uint32_t>(seed)};
    sfmt_init_by_array(&hg.generator(), key, 2);
}

double scaledEstimate(double benefit, long long hits, long long samples) {
    const double h = static_cast<double>(hits), s = static_cast<double>(samples);
    const double product = benefit * h;
    return std::isfinite(product) ? product / s : benefit * (h / s);
}

bool seedsReachRoot(const Graph& g, const HyperGraph& hg, const std::vector<int>& seeds,
                    const FastSampler* fast) {
    const int n = g.getSize();
    std::vector<char> isSeed(static_cast<std::size_t>(n) + 1, 0);
    for (int s : seeds) {
        assert(s >= 1 && s <= n);
        isSeed[static_cast<std::size_t>(s)] = 1;
    }
    // The roots a draw can pick: positions of positive width. A seed among
    // them settles it at once, as it does for almost every real seed set.
    std::vector<int> queue;
    std::vector<char> seen(static_cast<std::size_t>(n) + 1, 0);
    const std::vector<UI>& bDist = hg.rootDistribution();
    for (std::size_t p = 0; p + 1 < bDist.size(); ++p) {
        const int v = static_cast<int>(g.getNodeInBen(static_cast<unsigned>(p)));
        if (bDist[p + 1] <= bDist[p] || v == 0 || seen[static_cast<std::size_t>(v)]) continue;
        if (isSeed[static_cast<std::size_t>(v)]) return true;
        seen[static_cast<std::size_t>(v)] = 1;
        queue.push_back(v);
    }
    // Otherwise search backwards from the roots along the in-edges that can
    // fire (IC: threshold above 0; LT: an interval of positive width), as a
    // reverse sample may; memory stays linear in the nodes.
    auto reach = [&](int u) {
        if (isSeed[static_cast<std::size_t>(u)]) return true;
        if (!seen[static_cast<std::size_t>(u)]) {
            seen[static_cast<std::size_t>(u)] = 1;
            queue.push_back(u);
        }
        return false;
    };
    // The fast sampler's tables stand for the thresholds it may have replaced.
    const GraphView view = g.view();
    const bool lt = g.model() == Model::LT;
    auto eachFiring = [&](int v, auto&& f) {
        if (fast != nullptr) {
            fast->forEachFiringInNeighbour(view, v, f);
            return;
        }
        const std::span<const int> in = g[v];
        const std::span<const UI> w = g.getWeight(v);
        for (std::size_t j = 0; j < in.size(); ++j)
            if (lt ? w[j + 1] > w[j] : w[j + 1] > 0) f(in[j]);
    };
    for (std::size_t head = 0; head < queue.size(); ++head) {
        bool found = false;
        eachFiring(queue[head], [&](int u) { found = found || reach(u); });
        if (found) return true;
    }
    return false;
}

namespace {

// A thread's latest sample result, alone in its cache line so that no two
// threads' writes meet in one word (nor bounce one line between cores).
struct alignas(64) HitFlag {
    bool hit = false;
};

}  // namespace

InfluenceCounts estimateInfluence(const Graph& g, HyperGraph& hg, const std::vector<int>& seeds, int t,
                                  float epsilon_2, float delta, long long maxSamples,
                                  const std::function<void(long long, long long)>& progress) {
    assert(t >= 1);
    const int n = g.getSize();
    const UI k = static_cast<UI>(seeds.size());
    const double upperBound = stoppingBound(epsilon_2, delta);
    assert(std::isfinite(upperBound) && upperBound >= 1.0);

    InfluenceCounts result;
    if (k == 0 || !seedsReachRoot(g, hg, seeds)) return result;

    std::vector<UI> link(static_cast<std::size_t>(n) + 1, k);
    for (UI i = 0; i < k; ++i) link[static_cast<std::size_t>(seeds[i])] = i;

    // Scratch is allocated before the region, so that the region itself
    // never allocates (and so never throws).
    const StreamKey key = hg.drawStreamKey();
    std::vector<ThreadScratch> scratch(static_cast<std::size_t>(t));
    for (int i = 0; i < t; ++i) {
        initStream(scratch[static_cast<std::size_t>(i)].rng, key, static_cast<std::uint64_t>(i));
        scratch[static_cast<std::size_t>(i)].prepare(static_cast<UI>(n), nullptr);
    }
    const Sampler sampler(g.view(), nullptr);
    const RootDistribution& roots = hg.rootDraw();
    std::vector<HitFlag> maxSeed(static_cast<std::size_t>(t));

    // Both written only inside the critical section; atomic so that the
    // loop test may read them without the lock.
    std::atomic<long long> counter{0};
    std::atomic<long long> degree{0};
    constexpr long long kProgressEvery = 1 << 20;

    omp_set_num_threads(t);
#pragma omp parallel
    {
        const int id = omp_get_thread_num();
        ThreadScratch& s = scratch[static_cast<std::size_t>(id)];
        bool& hit = maxSeed[static_cast<std::size_t>(id)].hit;
        auto note = [&hit](const int*, UI, bool h) {
            hit = h;
            return false;
        };
        long long own = 0;
        while (static_cast<double>(degree.load(std::memory_order_relaxed)) < upperBound &&
               counter.load(std::memory_order_relaxed) < maxSamples) {
            sampler.sampleBlock<SeedTest::Exit>(roots, s, 1, link.data(), k, note);
#pragma omp critical
            {
                counter.store(counter.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
                if (hit) degree.store(degree.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
            }
            if (id == 0 && progress && ++own % kProgressEvery == 0)
                progress(counter.load(std::memory_order_relaxed), degree.load(std::memory_order_relaxed));
        }
    }

    result.samples = counter.load();
    result.hits = degree.load();
    result.capped = static_cast<double>(result.hits) < upperBound;
    result.estimate = scaledEstimate(g.getPositiveBenefit(), result.hits, result.samples);
    return result;
}

void calculateInfluence(const Graph& g, HyperGraph& hg, const std::vector<int>& seeds, int t, float epsilon_2,
                        float delta) {
    std::cout << estimateInfluence(g, hg, seeds, t, epsilon_2, delta).estimate << std::endl;
}

}  // namespace lattis
