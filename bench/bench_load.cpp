// Load speed of the network and benefit loaders on a large generated network.
//
// Writes a random network of about ten million in-edges (ten per node on
// average, uniform sources, probability 1/d(v) on each of v's in-edges so that
// LT sums stay at most 1) and a benefit file of one value per line into a
// temporary directory, then loads the pair several times with each loader and
// prints the best time as milliseconds per million edges and MB/s of both
// files together. The files are fresh in the page cache, so the figures measure parsing
// and conversion, not the disk. A network of the same nodes and no edges
// isolates the share of the benefit file.
//
// Usage: bench_load [edges (default 10000000)] [repeats (default 3)]
//        bench_load -file NETWORK.bin [-t threads (1)] [-m LT|IC (IC)] [-repeats r (3)]
// The second form loads a packed network (no benefit file) on a team of
// -t threads, r times, and prints each load's wall time and MB/s of the file;
// run it on a file just read once, so the page cache holds it.
#include <omp.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "graph/graph.h"
#include "core/parse.h"

using namespace lattis;

namespace {

// splitmix64: plenty for shaping a test network, and independent of the
// generator under test elsewhere.
struct SplitMix {
    std::uint64_t s;
    std::uint64_t next() {
        std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint32_t below(std::uint32_t k) { return static_cast<std::uint32_t>(next() % k); }
};

template <class T>
void put(std::FILE* f, const T* data, std::size_t count, const std::string& name) {
    if (count != 0 && std::fwrite(data, sizeof(T), count, f) != count) throw std::runtime_error("cannot write " + name);
}

std::uint64_t writeNetwork(const std::string& name, std::uint32_t n, std::uint64_t edges, bool withEdges, SplitMix& rng) {
    std::vector<std::int32_t> deg(n, 0);
    std::uint64_t sum = 0;
    if (withEdges) {
        const std::uint32_t span = static_cast<std::uint32_t>(2 * edges / n + 1);
        for (auto& d : deg) {
            d = static_cast<std::int32_t>(rng.below(span));
            sum += static_cast<std::uint64_t>(d);
        }
    }
    std::vector<std::int32_t> ids(sum);
    std::vector<float> probs(sum);
    std::size_t e = 0;
    for (std::uint32_t v = 0; v < n; ++v)
        for (std::int32_t j = 0; j < deg[v]; ++j, ++e) {
            ids[e] = static_cast<std::int32_t>(rng.below(n) + 1);
            probs[e] = 1.0f / static_cast<float>(deg[v]);
        }
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot create " + name);
    put(f, &n, 1, name);
    put(f, &sum, 1, name);
    put(f, deg.data(), deg.size(), name);
    put(f, ids.data(), ids.size(), name);
    put(f, probs.data(), probs.size(), name);
    if (std::fclose(f) != 0) throw std::runtime_error("cannot write " + name);
    return sum;
}

void writeBenefits(const std::string& name, std::uint32_t n, SplitMix& rng) {
    std::FILE* f = std::fopen(name.c_str(), "w");
    if (!f) throw std::runtime_error("cannot create " + name);
    for (std::uint32_t i = 0; i < n; ++i) {
        // A tenth zero, a tenth negative, the rest positive with three decimals.
        const std::uint32_t r = rng.below(10000);
        const double b = r < 1000 ? 0.0 : (r < 2000 ? -static_cast<double>(r) / 1000 : static_cast<double>(r) / 1000);
        std::fprintf(f, "%.3f\n", b);
    }
    if (std::fclose(f) != 0) throw std::runtime_error("cannot write " + name);
}

double bestMillis(bool lt, BenefitLayout layout, const std::string& net, const std::string& ben, int repeats) {
    double best = 1e300;
    for (int r = 0; r < repeats; ++r) {
        Graph g(layout);
        const auto t0 = std::chrono::steady_clock::now();
        if (lt)
            g.readGraphLT(net.c_str(), ben.c_str());
        else
            g.readGraphIC(net.c_str(), ben.c_str());
        const auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    return best;
}

// The -file form: argv holds option-value pairs after the program name.
int loadPackedFile(int argc, char** argv) {
    std::string file;
    int threads = 1, repeats = 3;
    Model model = Model::IC;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i], value = argv[i + 1];
        const auto count = parseInteger<int>(value);
        if (name == "-file") file = value;
        else if (name == "-m" && (value == "LT" || value == "IC")) model = value == "LT" ? Model::LT : Model::IC;
        else if (name == "-t" && count && *count >= 1) threads = *count;
        else if (name == "-repeats" && count && *count >= 1) repeats = *count;
        else throw std::invalid_argument("bad option " + name + " " + value);
    }
    if (argc % 2 == 0 || file.empty()) throw std::invalid_argument("usage: bench_load -file NETWORK.bin [-t T] [-m LT|IC] [-repeats R]");
    omp_set_num_threads(threads);
    const double mb = static_cast<double>(std::filesystem::file_size(file)) / 1e6;
    // Each repeat loads the file both ways, copied and mapped, one after
    // the other, so that the two see the same machine.
    for (int r = 0; r < repeats; ++r)
        for (const NetworkLoad load : {NetworkLoad::Copy, NetworkLoad::Map}) {
            Graph g(BenefitLayout::Compact);
            const auto t0 = std::chrono::steady_clock::now();
            g.readNetworkWith(file.c_str(), {}, model, load);
            const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            std::printf("load %s -t %d -m %s -load %s: %.3f s  %7.0f MB/s\n", file.c_str(), threads,
                        model == Model::LT ? "LT" : "IC", load == NetworkLoad::Map ? "map" : "copy", s, mb / s);
        }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc > 1 && std::string(argv[1]) == "-file") return loadPackedFile(argc, argv);
        std::uint64_t edges = 10'000'000;
        int repeats = 3;
        if (argc > 1) {
            auto v = parseInteger<std::uint64_t>(argv[1]);
            if (!v || *v < 10 || *v > 1'000'000'000) throw std::invalid_argument("edges must be an integer in 10..1000000000");
            edges = *v;
        }
        if (argc > 2) {
            auto v = parseInteger<int>(argv[2]);
            if (!v || *v < 1) throw std::invalid_argument("repeats must be a positive integer");
            repeats = *v;
        }
        const std::uint32_t n = static_cast<std::uint32_t>(edges / 10);

        std::string tmpl = (std::filesystem::temp_directory_path() / "bench-load-XXXXXX").string();
        if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("cannot create a temporary directory");
        const std::filesystem::path dir = tmpl;
        const std::string net = (dir / "network.bin").string();
        const std::string bare = (dir / "bare.bin").string();
        const std::string ben = (dir / "benefit.txt").string();

        SplitMix rng{20240601};
        const std::uint64_t m = writeNetwork(net, n, edges, true, rng);
        writeNetwork(bare, n, 0, false, rng);
        writeBenefits(ben, n, rng);
        const double netMB = static_cast<double>(std::filesystem::file_size(net)) / 1e6;
        const double benMB = static_cast<double>(std::filesystem::file_size(ben)) / 1e6;
        std::printf("network: %u nodes, %llu edges, %.1f MB; benefit file: %.1f MB; best of %d loads\n", n,
                    static_cast<unsigned long long>(m), netMB, benMB, repeats);

        const double bareMs = bestMillis(false, BenefitLayout::Dense, bare, ben, repeats);
        std::printf("%-34s %8.1f ms\n", "benefits + degrees only (no edges)", bareMs);
        struct Case {
            const char* name;
            bool lt;
            BenefitLayout layout;
        };
        for (const Case& c : {Case{"readGraphLT, dense benefits", true, BenefitLayout::Dense},
                              Case{"readGraphLT, compact benefits", true, BenefitLayout::Compact},
                              Case{"readGraphIC, dense benefits", false, BenefitLayout::Dense},
                              Case{"readGraphIC, compact benefits", false, BenefitLayout::Compact}}) {
            const double ms = bestMillis(c.lt, c.layout, net, ben, repeats);
            const double edgeMs = ms - bareMs;
            std::printf("%-34s %8.1f ms  %6.2f ms per million edges  %7.0f MB/s (network part: %6.2f ms per million edges)\n",
                        c.name, ms, ms / (static_cast<double>(m) / 1e6), (netMB + benMB) / (ms / 1e3),
                        edgeMs / (static_cast<double>(m) / 1e6));
        }
        std::filesystem::remove_all(dir);
    } catch (const std::exception& e) {
        std::cerr << "bench_load: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
