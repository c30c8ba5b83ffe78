// Throughput and memory of hyperedge generation under LT and IC.
//
//   bench_sampling [network-file benefit-file] [-s seconds] [-m LT|IC|LT,IC]
//                  [-sampler classic|fast|both] [-w dir]
//
// Without files it generates an R-MAT network of 2^20 nodes and about 10
// million edges (self-loops and repeated edges removed) with weighted-cascade
// probabilities 1 / in-degree and unit benefits, in a temporary directory
// (or in the directory given with -w, where it is left for later runs).
//
// For each model and each sampler (classic and fast, or the one named with
// -sampler) it sizes a batch to take about the given time (default 3 s) of
// processor time on one thread, then generates the same batch from the same
// store seed on one and on two threads: the hyperedges are identical, so the
// two timings measure the same work. It prints the fast sampler's throughput
// over the classic one's, for the whole generation and for the parallel
// sampling alone (without the join's append and index). It prints hyperedges per second, the ratio, the
// average hyperedge size, nanoseconds per examined in-edge (IC) or per walk
// step (LT), and the memory of the store: the bytes its arrays hold against
// 8 per stored node id plus 8 per hyperedge, and the resident-set growth and
// peak (VmHWM reset through /proc/self/clear_refs) of a run that stores a
// batch and then a second one twice its size, as the selection program does.
// Figures only; nothing is asserted.
#include <omp.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "sampling/fastSampler.h"
#include "graph/graph.h"
#include "sampling/generate.h"
#include "sampling/hyperGraph.h"

using namespace lattis;

namespace {

double seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Processor time of all threads: per-step costs stay meaningful when other
// processes share the cores, which wall time does not.
double cpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// A field of /proc/self/status, in bytes.
long long statusBytes(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::size_t len = std::strlen(key);
    while (std::getline(in, line))
        if (line.compare(0, len, key) == 0) return std::atoll(line.c_str() + len + 1) * 1024;
    return -1;
}

void resetPeak() {
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
}

struct Rmat {
    std::string network, benefit;
};

// R-MAT with (a, b, c, d) = (0.57, 0.19, 0.19, 0.05); edge u -> v.
Rmat writeRmat(const std::filesystem::path& dir, int scale, long long edges) {
    const std::uint32_t n = 1u << scale;
    std::mt19937_64 rng(12345);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    std::vector<std::uint64_t> arcs;  // (v << 32) | u, so sorting groups by head
    arcs.reserve(static_cast<std::size_t>(edges));
    for (long long i = 0; i < edges; ++i) {
        std::uint32_t u = 0, v = 0;
        for (int bit = 0; bit < scale; ++bit) {
            const double r = uni(rng);
            const int q = r < 0.57 ? 0 : r < 0.76 ? 1 : r < 0.95 ? 2 : 3;
            u = (u << 1) | static_cast<std::uint32_t>(q >> 1);
            v = (v << 1) | static_cast<std::uint32_t>(q & 1);
        }
        if (u != v) arcs.push_back((std::uint64_t{v + 1} << 32) | (u + 1));
    }
    std::sort(arcs.begin(), arcs.end());
    arcs.erase(std::unique(arcs.begin(), arcs.end()), arcs.end());

    std::vector<std::int32_t> deg(n + 1, 0);
    for (std::uint64_t a : arcs) ++deg[a >> 32];
    Rmat files{(dir / "rmat.bin").string(), (dir / "rmat.ben").string()};
    std::FILE* f = std::fopen(files.network.c_str(), "wb");
    if (f == nullptr) throw std::runtime_error("cannot write " + files.network);
    const std::uint64_t m = arcs.size();
    std::fwrite(&n, 4, 1, f);
    std::fwrite(&m, 8, 1, f);
    std::fwrite(deg.data() + 1, 4, n, f);
    std::vector<std::int32_t> ids(arcs.size());
    std::vector<float> probs(arcs.size());
    for (std::size_t i = 0; i < arcs.size(); ++i) {
        ids[i] = static_cast<std::int32_t>(arcs[i] & 0xffffffffu);
        probs[i] = 1.0f / static_cast<float>(deg[arcs[i] >> 32]);
    }
    std::fwrite(ids.data(), 4, ids.size(), f);
    std::fwrite(probs.data(), 4, probs.size(), f);
    std::fclose(f);
    std::ofstream ben(files.benefit);
    for (std::uint32_t v = 0; v < n; ++v) ben << "1\n";
    std::cout << "generated R-MAT: n = " << n << ", m = " << m << " (after removing loops and repeats)\n";
    return files;
}

// Examined in-edges (IC: every node of a hyperedge was expanded) or walk
// steps (LT: every node of a hyperedge drew once) of a whole store.
double work(const Graph& g, const HyperGraph& hg, bool ic) {
    double w = 0;
    for (int e = 0; e < hg.getNumEdge(); ++e)
        for (int v : hg.getEdge(e)) w += ic ? g.getDegree(v) : 1;
    return w;
}

struct Throughput {
    double perSecond[2] = {0, 0};      // whole generation, t = 1 and 2
    double samplingOnly[2] = {0, 0};   // the parallel region alone
};

// Hyperedges per second of one sampler, on one and two threads.
Throughput measure(const Graph& g, bool ic, const FastSampler* fast, double budget) {
    const unsigned n = static_cast<unsigned>(g.getSize());
    const char* model = ic ? "IC" : "LT";
    const char* which = fast != nullptr ? "fast" : "classic";
    long long num = 10000;
    {
        HyperGraph probe(n, g);
        sfmt_init_gen_rand(&probe.generator(), 1);
        const double c0 = cpuSeconds();
        addHyperedge(g, probe, 1, num, fast);
        const double per = (cpuSeconds() - c0) / static_cast<double>(num);
        num = std::max<long long>(10000, static_cast<long long>(budget / per) / 10000 * 10000);
    }
    Throughput r;
    for (int t = 1; t <= 2; ++t) {
        HyperGraph hg(n, g);
        sfmt_init_gen_rand(&hg.generator(), 2);
        const double t0 = seconds(), c0 = cpuSeconds();
        addHyperedge(g, hg, t, num, fast);
        const double dt = seconds() - t0, dc = cpuSeconds() - c0;
        // The join's append and index, redone on a copy to time it.
        HyperedgeBuffer copy;
        for (int e = 0; e < hg.getNumEdge(); ++e) {
            const auto h = hg.getEdge(e);
            copy.add(h.data(), static_cast<UI>(h.size()));
        }
        HyperGraph again(n, g);
        const double a0 = seconds();
        again.reserveEdges(copy.sizes.size(), copy.nodes.size());
        again.appendEdges(copy);
        again.updateDeg();
        const double join = seconds() - a0;
        r.perSecond[t - 1] = static_cast<double>(num) / dt;
        r.samplingOnly[t - 1] = static_cast<double>(num) / std::max(dt - join, 1e-9);
        std::printf("%s %s t=%d: %lld hyperedges in %.2f s = %.0f hyperedges/s (%.2f s processor time), "
                    "sampling alone %.0f/s; avg size %.2f; %.1f ns processor time per %s; append and "
                    "index %.3f s (%.1f%%)\n",
                    model, which, t, num, dt, r.perSecond[t - 1], dc, r.samplingOnly[t - 1],
                    static_cast<double>(hg.getNumStoredNodes()) / static_cast<double>(num), dc * 1e9 / work(g, hg, ic),
                    ic ? "in-edge of an expanded node" : "walk step", join, 100 * join / dt);
    }
    std::printf("%s %s t=2 / t=1 throughput: %.2f\n", model, which, r.perSecond[1] / r.perSecond[0]);
    return r;
}

void runModel(const std::string& network, const std::string& benefit, bool ic, double budget,
              const std::string& samplers) {
    Graph g(BenefitLayout::Dense);
    const double l0 = seconds();
    if (ic)
        g.readGraphIC(network.c_str(), benefit.c_str());
    else
        g.readGraphLT(network.c_str(), benefit.c_str());
    const char* model = ic ? "IC" : "LT";
    std::printf("\n%s: loaded n = %d in %.1f s\n", model, g.getSize(), seconds() - l0);
    const unsigned n = static_cast<unsigned>(g.getSize());
    Throughput classic, quick;
    if (samplers != "fast") classic = measure(g, ic, nullptr, budget);
    if (samplers != "classic") {
        const double b0 = seconds();
        const FastSampler fast(g);
        std::printf("%s fast tables: %.3f s, %.1f MB\n", model, seconds() - b0, static_cast<double>(fast.bytes()) / 1e6);
        quick = measure(g, ic, &fast, budget);
    }
    if (samplers == "both")
        std::printf("%s fast / classic hyperedges per second: t=1 %.2f, t=2 %.2f; sampling alone t=1 %.2f, t=2 %.2f\n",
                    model, quick.perSecond[0] / classic.perSecond[0], quick.perSecond[1] / classic.perSecond[1],
                    quick.samplingOnly[0] / classic.samplingOnly[0], quick.samplingOnly[1] / classic.samplingOnly[1]);
    // Memory: a batch of 200000, then one twice its size, on two threads,
    // with the classic sampler. A small
    // batch on a throwaway store first, so that the per-call scratch (visit
    // flags and marks per thread, counters of the index; O(n) each), which
    // the allocator keeps for reuse, is in the baseline.
    const long long first = 200000;
    {
        HyperGraph warm(n, g);
        addHyperedge(g, warm, 2, 20000);
    }
    const long long rssBefore = statusBytes("VmRSS:");
    HyperGraph hg(n, g);
    sfmt_init_gen_rand(&hg.generator(), 3);
    addHyperedge(g, hg, 2, first);
    resetPeak();
    const long long rssMid = statusBytes("VmRSS:");
    addHyperedge(g, hg, 2, 2 * first);
    const long long peak = statusBytes("VmHWM:");
    const long long rssAfter = statusBytes("VmRSS:");
    const double ids = static_cast<double>(hg.getNumStoredNodes());
    const double edges = hg.getNumEdge();
    const double ideal = 8 * ids + 8 * edges;
    const double perNode = 4.0 * (n + 1);
    std::printf("%s store: %.0f hyperedges, %.0f node ids (%.2f per hyperedge)\n", model, edges, ids, ids / edges);
    const double bytes = static_cast<double>(hg.storeBytes());
    std::printf("%s store arrays: %.1f MB = %.3f x (8/id + 8/hyperedge), %.3f x without the %.1f MB of fixed "
                "per-node slots; %.2f bytes per stored id\n",
                model, bytes / 1e6, bytes / ideal, (bytes - perNode) / ideal, perNode / 1e6, bytes / ids);
    std::printf("%s resident: +%.1f MB after both batches = %.3f x ideal; peak during the second batch +%.1f MB = "
                "%.3f x ideal (first batch held %.1f MB)\n",
                model, static_cast<double>(rssAfter - rssBefore) / 1e6,
                static_cast<double>(rssAfter - rssBefore) / ideal, static_cast<double>(peak - rssBefore) / 1e6,
                static_cast<double>(peak - rssBefore) / ideal, static_cast<double>(rssMid - rssBefore) / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        std::string network, benefit;
        double budget = 3.0;
        std::string models = "LT,IC";
        std::string samplers = "both";
        std::string keep;  // where to write the generated network and leave it
        std::vector<std::string> files;
        for (int i = 1; i < argc; ++i) {
            if (std::strcmp(argv[i], "-s") == 0 && i + 1 < argc)
                budget = std::atof(argv[++i]);
            else if (std::strcmp(argv[i], "-m") == 0 && i + 1 < argc)
                models = argv[++i];
            else if (std::strcmp(argv[i], "-sampler") == 0 && i + 1 < argc)
                samplers = argv[++i];
            else if (std::strcmp(argv[i], "-w") == 0 && i + 1 < argc)
                keep = argv[++i];
            else
                files.push_back(argv[i]);
        }
        std::filesystem::path dir;
        if (files.size() == 2) {
            network = files[0];
            benefit = files[1];
        } else if (files.empty()) {
            dir = keep.empty() ? std::filesystem::temp_directory_path() / ("bench_sampling_" + std::to_string(getpid()))
                               : std::filesystem::path(keep);
            std::filesystem::create_directories(dir);
            const Rmat r = writeRmat(dir, 20, 10500000);
            if (!keep.empty()) dir.clear();
            network = r.network;
            benefit = r.benefit;
        } else {
            std::cerr << "usage: bench_sampling [network-file benefit-file] [-s seconds] [-m LT|IC|LT,IC] "
                         "[-sampler classic|fast|both] [-w dir]\n";
            return 1;
        }
        std::printf("threads available: %d\n", omp_get_num_procs());
        if (models.find("LT") != std::string::npos) runModel(network, benefit, false, budget, samplers);
        if (models.find("IC") != std::string::npos) runModel(network, benefit, true, budget, samplers);
        if (!dir.empty()) std::filesystem::remove_all(dir);
    } catch (const std::exception& e) {
        std::cerr << "bench_sampling: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
