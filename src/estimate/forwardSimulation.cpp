// Forward Monte Carlo simulation; see forwardSimulation.h.
#include "estimate/forwardSimulation.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <exception>
#include <functional>

#include "core/tuning.h"
#include "random/drawStream.h"
#include "sampling/hyperGraph.h"

namespace lattis {

namespace {

// Tag of the simulation's streams, apart from every other key of a run.
constexpr std::uint32_t kSimulationTag = 0x53494d55u;

// The out-arcs of every node: target and the arc's slot in the target's
// in-list, node by node.
struct OutArcs {
    std::vector<std::int64_t> off;
    std::vector<int> target, slot;
};

OutArcs outArcsOf(const Graph& g) {
    const int n = g.getSize();
    OutArcs o;
    o.off.assign(static_cast<std::size_t>(n) + 2, 0);
    for (int v = 1; v <= n; ++v)
        for (int u : g[v]) ++o.off[static_cast<std::size_t>(u) + 1];
    for (int v = 1; v <= n + 1; ++v) o.off[static_cast<std::size_t>(v)] += o.off[static_cast<std::size_t>(v) - 1];
    std::vector<std::int64_t> at(o.off.begin(), o.off.end() - 1);
    o.target.resize(static_cast<std::size_t>(o.off.back()));
    o.slot.resize(o.target.size());
    for (int v = 1; v <= n; ++v) {
        const auto in = g[v];
        for (std::size_t j = 0; j < in.size(); ++j) {
            const auto e = static_cast<std::size_t>(at[static_cast<std::size_t>(in[j])]++);
            o.target[e] = v;
            o.slot[e] = static_cast<int>(j);
        }
    }
    return o;
}

// Per-thread marks, stamped with the run number so nothing is cleared
// between runs; padded apart so threads do not share cache lines.
struct alignas(64) RunScratch {
    std::vector<long long> active, chosenAt;
    std::vector<int> chosen, queue;
};

double oneRun(const Graph& g, const OutArcs& out, const std::vector<int>& seeds, const std::vector<double>& benefit,
              long long run, sfmt_t& rng, RunScratch& s) {
    const long long stamp = run + 1;
    double value = 0;
    s.queue.clear();
    for (int x : seeds) {
        if (s.active[static_cast<std::size_t>(x)] == stamp) continue;
        s.active[static_cast<std::size_t>(x)] = stamp;
        s.queue.push_back(x);
        value += benefit[static_cast<std::size_t>(x)];
    }
    const bool lt = g.model() == Model::LT;
    for (std::size_t q = 0; q < s.queue.size(); ++q) {
        const int u = s.queue[q];
        for (std::int64_t e = out.off[static_cast<std::size_t>(u)]; e < out.off[static_cast<std::size_t>(u) + 1]; ++e) {
            const int v = out.target[static_cast<std::size_t>(e)];
            if (s.active[static_cast<std::size_t>(v)] == stamp) continue;
            const auto w = g.getWeight(v);
            const int j = out.slot[static_cast<std::size_t>(e)];
            bool live;
            if (lt) {
                if (s.chosenAt[static_cast<std::size_t>(v)] != stamp) {
                    s.chosenAt[static_cast<std::size_t>(v)] = stamp;
                    s.chosen[static_cast<std::size_t>(v)] =
                        HyperGraph::randIndex_bin(w.data(), static_cast<UI>(w.size()), rng) - 1;
                }
                live = s.chosen[static_cast<std::size_t>(v)] == j;
            } else {
                live = sfmt_genrand_uint32(&rng) < w[static_cast<std::size_t>(j) + 1];
            }
            if (!live) continue;
            s.active[static_cast<std::size_t>(v)] = stamp;
            s.queue.push_back(v);
            value += benefit[static_cast<std::size_t>(v)];
        }
    }
    return value;
}

}  // namespace

SimulationResult simulateForward(const Graph& g, const std::vector<int>& seeds, const std::vector<double>& benefit,
                                 long long runs, std::uint32_t seed, int threads,
                                 const std::function<void()>& between) {
    const OutArcs out = outArcsOf(g);
    const std::size_t slots = static_cast<std::size_t>(g.getSize()) + 1;
    std::vector<RunScratch> scratch(static_cast<std::size_t>(threads));
    for (RunScratch& s : scratch) {
        s.active.assign(slots, 0);
        s.chosenAt.assign(slots, 0);
        s.chosen.assign(slots, -1);
    }
    const long long chunk = kSimulationRunsPerThread * threads;
    std::vector<double> values(static_cast<std::size_t>(std::min(runs, chunk)), 0.0);
    std::vector<std::exception_ptr> failures(static_cast<std::size_t>(threads));
    const StreamKey key{seed, kSimulationTag, 0, 0};
    // The sum in run order; the squares about the running mean (Welford),
    // also in run order, so that memory does not grow with the runs.
    double sum = 0, mean = 0, squares = 0;
    for (long long first = 0; first < runs; first += chunk) {
        const long long count = std::min(chunk, runs - first);
        // Runs vary with the cascade they follow; small pieces keep both
        // threads busy to the end of the chunk.
#pragma omp parallel for num_threads(threads) schedule(dynamic, 8)
        for (long long i = 0; i < count; ++i) {
            const std::size_t tid = static_cast<std::size_t>(omp_get_thread_num());
            try {
                sfmt_t rng;
                initStream(rng, key, static_cast<std::uint64_t>(first + i));
                values[static_cast<std::size_t>(i)] = oneRun(g, out, seeds, benefit, first + i, rng, scratch[tid]);
            } catch (...) {
                failures[tid] = std::current_exception();
            }
        }
        for (const std::exception_ptr& f : failures)
            if (f) std::rethrow_exception(f);
        for (long long i = 0; i < count; ++i) {
            const double v = values[static_cast<std::size_t>(i)];
            sum += v;
            const double before = mean;
            mean += (v - before) / static_cast<double>(first + i + 1);
            squares += (v - before) * (v - mean);
        }
        if (between) between();
    }
    SimulationResult result;
    result.runs = runs;
    result.mean = sum / static_cast<double>(runs);
    if (runs > 1) result.standardError = std::sqrt(squares / static_cast<double>(runs - 1) / static_cast<double>(runs));
    return result;
}

}  // namespace lattis
