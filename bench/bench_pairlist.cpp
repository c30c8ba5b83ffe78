// Parse speed of the reference pair list: writes a generated list of the
// shape netpack -po writes (n + 1, the pair count, one "u v" line per arc,
// ids below n) to a temporary file, then parses it through the same
// streaming reader marlet uses and prints MB/s. Asserts nothing.
//
// usage: bench_pairlist [MEGABYTES (default 512)] [NODES (default 2^24)]
//        bench_pairlist -f LIST      parse an existing list (e.g. netpack -po's)
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>

#include "io/pairList.h"
#include "io/textReader.h"

using namespace lattis;

namespace {

void timeParse(const std::string& path) {
    const double bytes = static_cast<double>(std::filesystem::file_size(path));
    for (int round = 1; round <= 3; ++round) {
        const int in = open(path.c_str(), O_RDONLY);
        const auto t0 = std::chrono::steady_clock::now();
        const std::clock_t c0 = std::clock();
        TextReader reader(in, "pair list", TextReader::kDefaultBuffer, true);
        const PairList list = readPairList(reader);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double cpu = static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
        // Processor time too: on a shared machine the wall time includes waiting.
        std::printf("round %d: %.0f MB, %d pairs in %.3f s (processor %.3f s): %.0f MB/s (%.0f MB/s of processor "
                    "time; count of node 1: %d)\n",
                    round, bytes / 1e6, list.pairs(), s, cpu, bytes / 1e6 / s, bytes / 1e6 / cpu, list.count(1));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "-f") {
        timeParse(argv[2]);
        return 0;
    }
    const double megabytes = argc > 1 ? std::atof(argv[1]) : 512.0;
    const unsigned nodes = argc > 2 ? static_cast<unsigned>(std::atol(argv[2])) : (1u << 24);
    const std::uint64_t target = static_cast<std::uint64_t>(megabytes * 1e6);

    // Pairs of the R-MAT-like mix: many small ids, a long tail of large ones.
    std::uint64_t state = 88172645463325252ull;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    const std::uint64_t pairs = target / 18;  // about 18 bytes a line at these id sizes
    std::string path = (std::filesystem::temp_directory_path() / "bench_pairlist-XXXXXX").string();
    const int fd = mkstemp(path.data());
    if (fd < 0) return 1;
    std::FILE* f = fdopen(fd, "wb");
    std::fprintf(f, "%u\n%llu\n", nodes + 1, static_cast<unsigned long long>(pairs));
    std::string chunk;
    for (std::uint64_t i = 0; i < pairs; ++i) {
        const std::uint64_t r = next();
        const unsigned u = static_cast<unsigned>((r & 0xFFFFFFFF) % nodes) + 1;
        const unsigned v = static_cast<unsigned>((r >> 32) % nodes) + 1;
        chunk += std::to_string(u);
        chunk += ' ';
        chunk += std::to_string(v);
        chunk += '\n';
        if (chunk.size() > (1u << 20)) {
            std::fwrite(chunk.data(), 1, chunk.size(), f);
            chunk.clear();
        }
    }
    std::fwrite(chunk.data(), 1, chunk.size(), f);
    std::fclose(f);
    timeParse(path);
    std::remove(path.c_str());
    return 0;
}
