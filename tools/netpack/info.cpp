// Checking an existing network file: it is loaded through the library's own
// loader (so it is accepted or refused exactly as the other tools would), and
// the edge probabilities, which the loader turns into thresholds and drops,
// are then read from the file once more for their statistics.
//
// The loader needs a benefit file; without one, a temporary file of n ones
// stands in for it and is removed again.
#include <unistd.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <stdexcept>

#include "graph/graph.h"
#include "io/cFile.h"
#include "netpack/netpack.h"

namespace netpack {
namespace {

using lattis::File;

// A benefit file of n ones in the temporary directory, removed at scope end.
class OnesBenefit {
public:
    explicit OnesBenefit(std::uint64_t n) {
        std::string tmpl = (std::filesystem::temp_directory_path() / "netpack-info-XXXXXX").string();
        std::vector<char> name(tmpl.begin(), tmpl.end());
        name.push_back('\0');
        int fd = mkstemp(name.data());
        if (fd < 0)
            throw std::runtime_error("cannot create a temporary benefit file: " + std::string(std::strerror(errno)));
        path = name.data();
        File f(fdopen(fd, "wb"));
        std::string chunk;
        for (std::uint64_t i = 0; i < n; ++i) {
            chunk += "1\n";
            if (chunk.size() >= (1u << 16) || i + 1 == n) {
                std::fwrite(chunk.data(), 1, chunk.size(), f.get());
                chunk.clear();
            }
        }
        if (std::fflush(f.get()) != 0) {
            std::remove(path.c_str());
            throw std::runtime_error("cannot write a temporary benefit file " + path);
        }
    }
    OnesBenefit(const OnesBenefit&) = delete;
    OnesBenefit& operator=(const OnesBenefit&) = delete;
    ~OnesBenefit() { std::remove(path.c_str()); }
    std::string path;
};

// The node count the file claims, when its degree block fits the file;
// otherwise 0, and the loader reports the fault before it reads benefits.
std::uint64_t plausibleNodeCount(const std::string& path) {
    std::error_code ec;
    auto bytes = std::filesystem::file_size(path, ec);
    File f(std::fopen(path.c_str(), "rb"));
    std::uint32_t n = 0;
    if (ec || !f || std::fread(&n, sizeof n, 1, f.get()) != 1) return 0;
    return 12 + 4 * static_cast<std::uint64_t>(n) <= bytes ? n : 0;
}

std::string shown(double x, int digits = 9) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.*g", digits, x);
    return buf;
}

}  // namespace

NetworkInfo inspectNetwork(const std::string& path, const std::string& benefitFile) {
    Graph g(BenefitLayout::Compact);
    if (benefitFile.empty()) {
        OnesBenefit ones(plausibleNodeCount(path));
        g.readGraphIC(path.c_str(), ones.path.c_str());
    } else {
        g.readGraphIC(path.c_str(), benefitFile.c_str());
    }

    NetworkInfo info;
    info.n = static_cast<std::uint32_t>(g.getSize());
    info.headerArcs = static_cast<std::uint32_t>(g.getEdge());
    info.minIn = info.n > 0 ? std::numeric_limits<std::uint32_t>::max() : 0;
    for (std::uint32_t v = 1; v <= info.n; ++v) {
        auto d = static_cast<std::uint32_t>(g.getDegree(static_cast<int>(v)));
        info.arcs += d;
        info.minIn = std::min(info.minIn, d);
        info.maxIn = std::max(info.maxIn, d);
    }
    info.meanIn = info.n > 0 ? static_cast<double>(info.arcs) / info.n : 0.0;
    if (!benefitFile.empty()) {
        info.hasBenefit = true;
        info.totalBenefit = g.getTotalBenefit();
        info.positiveBenefit = g.getBen().size();
    }

    File f(std::fopen(path.c_str(), "rb"));
    long at = static_cast<long>(12 + 4 * static_cast<std::uint64_t>(info.n) + 4 * info.arcs);
    if (!f || std::fseek(f.get(), at, SEEK_SET) != 0)
        throw std::runtime_error(path + ": cannot read the probabilities again: " + std::strerror(errno));
    std::vector<float> chunk(1u << 16);
    std::size_t have = 0, used = 0;
    auto nextProbability = [&]() {
        if (used == have) {
            have = std::fread(chunk.data(), sizeof(float), chunk.size(), f.get());
            used = 0;
            if (have == 0) throw std::runtime_error(path + ": the file changed while it was being checked");
        }
        return chunk[used++];
    };
    bool first = true;
    for (std::uint32_t v = 1; v <= info.n; ++v) {
        double sum = 0;
        for (int k = g.getDegree(static_cast<int>(v)); k > 0; --k) {
            float p = nextProbability();
            if (!(p >= 0.0f && p <= 1.0f)) ++info.outOfRange;
            if (first || p < info.minP) info.minP = p;
            if (first || p > info.maxP) info.maxP = p;
            first = false;
            sum += p;
        }
        if (sum > 1.0 + kSumTolerance) {
            ++info.sumAboveOne;
            info.largestSum = std::max(info.largestSum, sum);
        }
    }
    return info;
}

std::string formatInfo(const std::string& path, const NetworkInfo& info) {
    std::string s;
    s += "file: " + path + "\n";
    s += "nodes: " + std::to_string(info.n) + "\n";
    s += "arcs: " + std::to_string(info.arcs) + " (header states " + std::to_string(info.headerArcs) + ")\n";
    s += "in-degree: min " + std::to_string(info.minIn) + ", max " + std::to_string(info.maxIn) + ", mean " +
         shown(info.meanIn, 6) + "\n";
    s += "probability: min " + shown(info.minP) + ", max " + shown(info.maxP) + "\n";
    s += "nodes with in-probabilities summing above 1: " + std::to_string(info.sumAboveOne) + "\n";
    if (info.hasBenefit)
        s += "benefit: total " + shown(info.totalBenefit) + ", positive at " + std::to_string(info.positiveBenefit) +
             " nodes\n";
    return s;
}

std::string infoNote(const NetworkInfo& info) {
    if (info.sumAboveOne == 0) return "";
    return "under LT the in-probabilities of " + std::to_string(info.sumAboveOne) +
           " nodes sum above 1 (the largest to " + shown(info.largestSum) +
           "): marlet and ostrand take each one's in-edges in file order until they reach 1, and the later ones "
           "never activate it; -normalize 1 scales them to 1";
}

std::string infoFault(const std::string& path, const NetworkInfo& info) {
    if (info.headerArcs != info.arcs)
        return path + ": the header states " + std::to_string(info.headerArcs) + " arcs, but the in-degrees sum to " +
               std::to_string(info.arcs);
    if (info.outOfRange > 0) return path + ": " + std::to_string(info.outOfRange) + " probabilities lie above 1";
    return "";
}

}  // namespace netpack
