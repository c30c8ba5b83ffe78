// Throughput of the verifier's estimator with the classic samplers, in the
// order of thread streams (ostrand -sampler classic) and in block order:
// samples per second at one and two threads, and their ratio.
//
// usage: bench_estimate -i <network> -b <benefits> [-m LT|IC] [-s <seed file>]
//                       [-top <k>] [-epsilon <e>] [-reps <r>] [-seed <n>]
// Without -s the seeds are the k (default 50) nodes of highest out-degree.
// A small epsilon (default 0.01) makes each run long enough to time; each
// thread count runs -reps times (default 3).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <numeric>
#include <string>
#include <vector>

#include "io/cliArgs.h"
#include "estimate/blockEstimate.h"
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
        for (const EstimateOrder order : {EstimateOrder::ThreadStreams, EstimateOrder::Blocks}) {
            const char* name = order == EstimateOrder::Blocks ? "blocks" : "thread streams";
            EstimateSettings settings;
            settings.epsilon = epsilon;
            settings.order = order;
            double rate[3] = {0, 0, 0}, busy[3] = {0, 0, 0};
            for (int rep = 0; rep < reps; ++rep)
                for (int t : {1, 2}) {
                    settings.threads = t;
                    const std::clock_t cpu = std::clock();
                    const auto start = std::chrono::steady_clock::now();
                    const BlockEstimate r = estimateInBlocks(g, hg, seeds, settings);
                    const double s = seconds(start);
                    const double used = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC / s;
                    std::printf("  %s t=%d: %lld samples, %lld hits, %.3f s, cpu/wall %.2f, %.0f samples/s, "
                                "estimate %g\n",
                                name, t, r.samples, r.hits, s, used, static_cast<double>(r.samples) / s, r.estimate);
                    if (static_cast<double>(r.samples) / s > rate[t]) {
                        rate[t] = static_cast<double>(r.samples) / s;
                        busy[t] = used;
                    }
                }
            std::printf("  best, %s: t=1 %.0f samples/s (cpu/wall %.2f), t=2 %.0f samples/s (cpu/wall %.2f), "
                        "ratio %.2f\n",
                        name, rate[1], busy[1], rate[2], busy[2], rate[2] / rate[1]);
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_estimate: %s\n", e.what());
        return 1;
    }
}
