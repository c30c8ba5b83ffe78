// Throughput of the verifier's estimator: samples per second at one and two
// threads, their ratio, and where the time goes (the same samples with no
// shared counters, and the bare cost of the per-sample critical section).
//
// usage: bench_estimate -i <network> -b <benefits> [-m LT|IC] [-s <seed file>]
//                       [-top <k>] [-epsilon <e>] [-reps <r>] [-seed <n>]
// Without -s the seeds are the k (default 50) nodes of highest out-degree.
// A small epsilon (default 0.01) makes each run long enough to time; each
// thread count runs -reps times (default 3).
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <numeric>
#include <string>
#include <vector>

#include "io/cliArgs.h"
#include "estimate/estimate.h"
#include "graph/graph.h"
#include "sampling/hyperGraph.h"
#include "io/option.h"
#include "io/seedFile.h"

using namespace lattis;

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::vector<int> topOutDegree(const Graph& g, int k) {
    const int n = g.getSize();
    std::vector<long long> out(static_cast<std::size_t>(n) + 1, 0);
    for (int v = 1; v <= n; ++v)
        for (int u : g[v]) ++out[static_cast<std::size_t>(u)];
    std::vector<int> ids(static_cast<std::size_t>(n));
    std::iota(ids.begin(), ids.end(), 1);
    k = std::min(k, n);
    std::partial_sort(ids.begin(), ids.begin() + k, ids.end(), [&](int a, int b) {
        return out[static_cast<std::size_t>(a)] != out[static_cast<std::size_t>(b)]
                   ? out[static_cast<std::size_t>(a)] > out[static_cast<std::size_t>(b)]
                   : a < b;
    });
    ids.resize(static_cast<std::size_t>(k));
    return ids;
}

// The estimator's samples without its shared counters: each of t threads
// draws `each` samples on its own stream and counts its hits privately.
double samplingOnly(const Graph& g, HyperGraph& hg, const std::vector<int>& seeds, int t, long long each, bool lt) {
    const int n = g.getSize();
    const UI k = static_cast<UI>(seeds.size());
    std::vector<UI> link(static_cast<std::size_t>(n) + 1, k);
    for (UI i = 0; i < k; ++i) link[static_cast<std::size_t>(seeds[i])] = i;
    const auto key = hg.drawStreamKey();
    const HyperGraph& sampler = hg;
    long long hits = 0;
    const auto start = std::chrono::steady_clock::now();
    omp_set_num_threads(t);
#pragma omp parallel reduction(+ : hits)
    {
        sfmt_t rng;
        HyperGraph::initStream(rng, key, static_cast<std::uint64_t>(omp_get_thread_num()));
        std::vector<bool> visit(static_cast<std::size_t>(n) + 1, false);
        std::vector<int> visit_mark(static_cast<std::size_t>(n), 0);
        for (long long i = 0; i < each; ++i)
            hits += lt ? sampler.pollingLT(g, rng, link, k, visit, visit_mark)
                       : sampler.pollingIC(g, rng, link, k, visit, visit_mark);
    }
    const double s = seconds(start);
    std::printf("    (hit share %.4f)\n", static_cast<double>(hits) / static_cast<double>(each * t));
    return static_cast<double>(each * t) / s;
}

// Nanoseconds per entry of an empty unnamed critical section, t threads.
double criticalCost(int t, long long each) {
    long long count = 0;
    const auto start = std::chrono::steady_clock::now();
    omp_set_num_threads(t);
#pragma omp parallel
    for (long long i = 0; i < each; ++i) {
#pragma omp critical
        ++count;
    }
    return seconds(start) * 1e9 / static_cast<double>(count);
}

}  // namespace

int main(int argc, char** argv) {
    OptionParser op(argc, argv);
    if (!op.validCheck() || op.getPara("-i") == nullptr || op.getPara("-b") == nullptr) {
        std::fprintf(stderr, "usage: bench_estimate -i <network> -b <benefits> [-m LT|IC] [-s <seed file>] "
                             "[-top <k>] [-epsilon <e>] [-reps <r>] [-seed <n>]\n");
        return 2;
    }
    try {
        const std::string model = op.getPara("-m") != nullptr ? op.getPara("-m") : "LT";
        const bool lt = model != "IC";
        const float epsilon = static_cast<float>(realOption(op, "-epsilon", 0.01, 1e-4, 10));
        const int top = static_cast<int>(intOption(op, "-top", 50, 1, 1 << 30));
        const int reps = static_cast<int>(intOption(op, "-reps", 3, 1, 100));
        std::srand(static_cast<unsigned>(intOption(op, "-seed", 1, 0, 4294967295LL)));

        Graph g(BenefitLayout::Compact);
        const auto loadStart = std::chrono::steady_clock::now();
        if (lt)
            g.readGraphLT(op.getPara("-i"), op.getPara("-b"));
        else
            g.readGraphIC(op.getPara("-i"), op.getPara("-b"));
        const double loadSeconds = seconds(loadStart);
        HyperGraph hg(static_cast<unsigned>(g.getSize()), g);
        const std::vector<int> seeds =
            op.getPara("-s") != nullptr ? readSeedFile(op.getPara("-s"), g.getSize()) : topOutDegree(g, top);

        std::printf("%s  model %s  n %d  arcs %d  seeds %zu (%s)  epsilon %g  bound %.3f  load %.2f s\n",
                    op.getPara("-i"), lt ? "LT" : "IC", g.getSize(), g.getEdge(), seeds.size(),
                    op.getPara("-s") != nullptr ? "seed file" : "highest out-degree", epsilon,
                    stoppingBound(epsilon, 0.01f), loadSeconds);

        // The machine is shared, so each figure is the best of a few runs,
        // t = 1 and t = 2 interleaved; cpu / wall shows how many cores a run
        // really had.
        double rate[3] = {0, 0, 0}, busy[3] = {0, 0, 0};
        long long samplesAtOne = 0;
        estimateInfluence(g, hg, seeds, 2, epsilon, 0.01f);
        for (int rep = 0; rep < reps; ++rep)
            for (int t : {1, 2}) {
                const std::clock_t cpu = std::clock();
                const auto start = std::chrono::steady_clock::now();
                const InfluenceCounts r = estimateInfluence(g, hg, seeds, t, epsilon, 0.01f);
                const double s = seconds(start);
                const double used = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC / s;
                std::printf("  estimator t=%d: %lld samples, %lld hits, %.3f s, cpu/wall %.2f, %.0f samples/s, "
                            "estimate %g\n",
                            t, r.samples, r.hits, s, used, static_cast<double>(r.samples) / s, r.estimate);
                if (static_cast<double>(r.samples) / s > rate[t]) {
                    rate[t] = static_cast<double>(r.samples) / s;
                    busy[t] = used;
                }
                if (t == 1) samplesAtOne = r.samples;
            }
        std::printf("  best: t=1 %.0f samples/s (cpu/wall %.2f), t=2 %.0f samples/s (cpu/wall %.2f), ratio %.2f\n",
                    rate[1], busy[1], rate[2], busy[2], rate[2] / rate[1]);

        const long long each = std::max<long long>(samplesAtOne / 2, 1);
        const double only1 = samplingOnly(g, hg, seeds, 1, 2 * each, lt);
        const double only2 = samplingOnly(g, hg, seeds, 2, each, lt);
        std::printf("  sampling only (no shared counters): t=1 %.0f samples/s, t=2 %.0f samples/s, ratio %.2f\n",
                    only1, only2, only2 / only1);
        std::printf("  empty critical section: %.1f ns per entry at t=1, %.1f ns at t=2 (%.1f ns per sample "
                    "at t=1)\n",
                    criticalCost(1, 2000000), criticalCost(2, 1000000), 1e9 / rate[1]);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_estimate: %s\n", e.what());
        return 1;
    }
}
