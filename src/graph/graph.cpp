// Loading of the binary network file and the text benefit file into a Graph.
//
// The network file is little-endian: n (u32), m (u64), n in-degrees (i32),
// then all in-neighbour ids (i32) node by node, then all probabilities (f32)
// in the same order. The host is assumed little-endian too, so each block is
// fetched with one fread straight into its array. Every size is checked
// against the file's length before anything proportional to it is allocated,
// so a corrupt header fails fast instead of asking for gigabytes.
//
// A load builds a fresh Graph and moves it into place only when both files
// have been read completely, so a failed load leaves the old contents intact
// and loading again replaces them.
#include "graph/graph.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cassert>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

#include "graph/graphView.h"
#include "core/memoryFault.h"
#include "core/parse.h"
#include "io/cFile.h"
#include "io/textReader.h"

namespace lattis {

static_assert(std::endian::native == std::endian::little, "the network file is read as little-endian memory");
static_assert(sizeof(float) == 4 && std::numeric_limits<float>::is_iec559);

namespace {

constexpr ULL kHeaderBytes = 12;
// Single-precision image of UI_MAX: rounding makes it exactly 2^32.
constexpr float kThresholdScale = 4294967296.0f;

std::string quoted(const char* name) { return std::string("\"") + name + "\""; }

[[noreturn]] void networkFault(const char* file, const std::string& what) {
    throw std::runtime_error("network file " + quoted(file) + ": " + what);
}

[[noreturn]] void benefitFault(const char* file, const std::string& what) {
    throw std::runtime_error("benefit file " + quoted(file) + ": " + what);
}

// Probability p >= 0 (not NaN) as a threshold; 1.0 and above are certain.
UI threshold(float p, UI uiMax) {
    if (p >= 1.0f) return uiMax;
    return static_cast<UI>(p * kThresholdScale);
}

// Reads count items of T at byte offset `at`; the caller has checked that the
// file is long enough, so a short read is an I/O fault or a file that shrank.
template <class T>
void readBlock(std::FILE* f, const char* file, T* dst, ULL count, ULL at) {
    if (count == 0) return;
    if (std::fread(dst, sizeof(T), count, f) != count)
        networkFault(file, "read failed in the block at byte offset " + std::to_string(at) +
                               (std::ferror(f) ? std::string(": ") + std::strerror(errno) : std::string(": file ended early")));
}

// The first of the count in-neighbour ids outside 1..n, or count.
// (The flags are gathered in a word: g++ vectorises an OR of words but not
// of bools.)
std::size_t firstOutside(const int* adj, std::size_t count, std::uint32_t n) {
    std::uint32_t any = 0;
    for (std::size_t e = 0; e < count; ++e)
        any |= static_cast<std::uint32_t>(static_cast<std::uint32_t>(adj[e]) - 1u >= n);
    if (!any) return count;
    std::size_t e = 0;
    while (static_cast<std::uint32_t>(adj[e]) - 1u < n) ++e;
    return e;
}

// The first of the count probabilities (as stored bits) that is NaN or
// negative, or count. Negative zero is a probability.
std::size_t firstNotProbability(const UI* bits, std::size_t count) {
    std::uint32_t any = 0;
    for (std::size_t e = 0; e < count; ++e)
        any |= static_cast<std::uint32_t>(!(std::bit_cast<float>(bits[e]) >= 0.0f));
    if (!any) return count;
    std::size_t e = 0;
    while (std::bit_cast<float>(bits[e]) >= 0.0f) ++e;
    return e;
}

// The node whose in-edges hold list position e.
std::uint32_t nodeOfEdge(const GrowArray<std::int64_t>& adjOff, std::uint32_t n, std::size_t e) {
    const std::int64_t* off = adjOff.data();
    const auto* at = std::upper_bound(off + 1, off + n + 2, static_cast<std::int64_t>(e));
    return static_cast<std::uint32_t>(at - off - 1);
}

std::string shownFloat(float p) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(p));
    return buf;
}

}  // namespace

Graph::Graph(BenefitLayout layout) : UI_MAX(0xFFFFFFFFu), layout(layout) {}

void Graph::readGraphLT(const char* filename, const char* benfile) {
    Graph g(layout);
    g.readNetwork(filename, Model::LT);
    g.readBenefit(benfile);
    *this = std::move(g);
}

void Graph::readGraphIC(const char* filename, const char* benfile) {
    Graph g(layout);
    g.readNetwork(filename, Model::IC);
    g.readBenefit(benfile);
    *this = std::move(g);
}

void Graph::readNetwork(const char* filename, Model model) {
    assert(filename != nullptr);
    // Opened without waiting for a fifo's writer; what is not a regular
    // file is refused below.
    const int fd = openInput(filename);
    File f(fd >= 0 ? fdopen(fd, "rb") : nullptr);
    if (!f) {
        const int err = errno;
        if (fd >= 0) ::close(fd);
        throw std::runtime_error("cannot open network file " + quoted(filename) + ": " + std::strerror(err));
    }
    struct stat st {};
    if (fstat(fileno(f.get()), &st) != 0) networkFault(filename, std::string("cannot stat: ") + std::strerror(errno));
    if (!S_ISREG(st.st_mode)) networkFault(filename, "not a regular file");
    const ULL fileBytes = static_cast<ULL>(st.st_size);

    if (fileBytes < kHeaderBytes)
        networkFault(filename, "truncated: " + std::to_string(fileBytes) + " bytes, but the header alone needs 12");
    std::uint32_t n = 0;
    ULL m = 0;
    readBlock(f.get(), filename, &n, 1, 0);
    readBlock(f.get(), filename, &m, 1, 4);
    if (m >> 32 != 0)
        networkFault(filename, "edge count " + std::to_string(m) + " at byte offset 4 does not fit in 32 bits");
    if (n > static_cast<std::uint32_t>(std::numeric_limits<int>::max()))
        networkFault(filename, "node count " + std::to_string(n) + " at byte offset 0 exceeds the largest node id " +
                                   std::to_string(std::numeric_limits<int>::max()));
    const ULL listsStart = kHeaderBytes + 4ull * n;
    if (fileBytes < listsStart)
        networkFault(filename, "truncated: the header promises " + std::to_string(n) + " nodes, whose degrees end at byte " +
                                   std::to_string(listsStart) + ", but the file holds " + std::to_string(fileBytes) + " bytes");

    numNodes = n;
    numEdges = static_cast<std::uint32_t>(m);
    statedEdges = m;
    loadedModel = model;

    // The degrees serve only to place the lists; the offsets keep them.
    const std::string label = "network file " + quoted(filename);
    std::vector<int> degrees;
    allocating(label, "the degrees of " + std::to_string(n) + " nodes", (static_cast<ULL>(n) + 1) * 4,
               [&] { degrees.assign(static_cast<std::size_t>(n) + 1, 0); });
    readBlock(f.get(), filename, degrees.data() + 1, n, kHeaderBytes);

    // Each in-edge takes 8 bytes (id and probability); comparing the running
    // sum with the room left keeps every product below 2^64.
    const ULL room = (fileBytes - listsStart) / 8;
    allocating(label, "the offsets of " + std::to_string(n) + " nodes", (static_cast<ULL>(n) + 2) * 8,
               [&] { adjOff.resize(static_cast<std::size_t>(n) + 2); });
    ULL sum = 0;
    for (std::uint32_t v = 1; v <= n; ++v) {
        const int d = degrees[v];
        if (d < 0)
            networkFault(filename, "node " + std::to_string(v) + " has negative degree " + std::to_string(d) +
                                       " (byte offset " + std::to_string(kHeaderBytes + 4ull * (v - 1)) + ")");
        sum += static_cast<ULL>(d);
        adjOff[v + 1] = static_cast<std::int64_t>(sum);
    }
    if (sum > room)
        networkFault(filename, "truncated: the degrees promise " + std::to_string(sum) + " in-edges, 8 bytes each from byte " +
                                   std::to_string(listsStart) + ", but the file holds " + std::to_string(fileBytes) + " bytes");

    std::vector<int>().swap(degrees);
    allocating(label, "the in-neighbour lists of " + std::to_string(sum) + " in-edges", sum * 4,
               [&] { adjList.resize(sum); });
    readBlock(f.get(), filename, adjList.data(), sum, listsStart);
    // One flat pass that the compiler vectorises; the entry at fault and
    // its node are looked for only when there is one.
    if (const std::size_t e = firstOutside(adjList.data(), sum, n); e < sum) {
        const int u = adjList[e];
        const auto v = nodeOfEdge(adjOff, n, e);
        networkFault(filename, "in-neighbour " + std::to_string(u) + " of node " + std::to_string(v) + " (byte offset " +
                                   std::to_string(listsStart + 4 * static_cast<ULL>(e)) + ") is outside 1.." +
                                   std::to_string(n));
    }

    // The probabilities land in the tail of `weights` (offset n) and are
    // turned into thresholds in place (thresholdsFromProbabilities).
    allocating(label, "the thresholds of " + std::to_string(sum) + " in-edges", (sum + n) * 4,
               [&] { weights.resize(sum + n); });
    const ULL probStart = listsStart + 4 * sum;
    readBlock(f.get(), filename, weights.data() + n, sum, probStart);
    f.reset();

    if (const std::size_t e = firstNotProbability(weights.data() + n, sum); e < sum) {
        const float p = std::bit_cast<float>(weights[e + n]);
        const auto v = nodeOfEdge(adjOff, n, e);
        networkFault(filename, "probability " + shownFloat(p) + " of the in-edge from " + std::to_string(adjList[e]) +
                                   " to node " + std::to_string(v) + " (byte offset " +
                                   std::to_string(probStart + 4 * static_cast<ULL>(e)) + ") is " +
                                   (std::isnan(p) ? "not a number" : "negative"));
    }
    thresholdsFromProbabilities();
}

// The probabilities in the tail of `weights` (offset n) become thresholds
// in place: edge e of node v moves to slot e + v, never beyond its source
// slot e + n, so a forward pass reads every probability before its slot is
// overwritten. This spares a second edge-sized buffer.
void Graph::thresholdsFromProbabilities() {
    const std::uint32_t n = numNodes;
    const bool lt = loadedModel == Model::LT;
    for (std::uint32_t v = 1; v <= n; ++v) {
        const std::size_t first = static_cast<std::size_t>(adjOff[v]);
        const std::size_t last = static_cast<std::size_t>(adjOff[v + 1]);
        const std::size_t base = first + v - 1;
        weights[base] = (lt || first != last) ? 0 : UI_MAX;
        if (lt) {
            float running = 0.0f;
            double sum = 0.0;
            for (std::size_t e = first; e < last; ++e) {
                const float p = std::bit_cast<float>(weights[e + n]);
                running += p;
                sum += p;
                weights[e + v] = threshold(running, UI_MAX);
            }
            // The tolerance of netpack's check: single-precision weights
            // meant to sum to 1 may exceed it by rounding.
            if (sum > 1.0 + 1e-6) {
                ++heavyNodes;
                largestInSum = std::max(largestInSum, sum);
            }
        } else {
            for (std::size_t e = first; e < last; ++e) weights[e + v] = threshold(std::bit_cast<float>(weights[e + n]), UI_MAX);
        }
    }
}

void Graph::readBenefit(const char* benfile) {
    if (benfile == nullptr) throw std::runtime_error("no benefit file given (option -b)");
    // Read as a stream: exactly n numbers are taken, so a device or a pipe
    // that never ends is read no further than they are.
    TextReader in(benfile, "benefit file " + quoted(benfile));

    const std::uint32_t n = numNodes;
    clearBenefits(in.label());

    for (std::uint32_t i = 0; i < n; ++i) {
        // Plain whole numbers (most benefit files) are taken exactly by the
        // reader's digit path; anything else is parsed as a real.
        std::uint32_t digits = 0;
        std::string_view tok;
        double b = 0;
        const bool plain = in.nextDigits(digits);
        if (plain) {
            b = digits;
        } else {
            tok = in.next();
            if (tok.empty())
                benefitFault(benfile, "holds " + std::to_string(i) + " numbers, but the network has " + std::to_string(n) +
                                          " nodes");
        }
        const auto where = [&] {
            return "token " + std::to_string(i + 1) + " (" + quoteToken(plain ? std::to_string(digits) : tok) +
                   ") on line " + std::to_string(in.line());
        };
        if (!plain) {
            const auto value = parseReal(tok);
            if (!value) {
                double ignored = 0;
                const bool range =
                    std::from_chars(tok.data(), tok.data() + tok.size(), ignored).ec == std::errc::result_out_of_range;
                benefitFault(benfile, where() + (range ? " is out of the range of a double" : " is not a number"));
            }
            b = *value;
            if (!std::isfinite(b))
                benefitFault(benfile, where() + ", the benefit of node " + std::to_string(i + 1) + ", is not finite");
        }
        takeBenefit(i, b);
        // Each value is finite, but their sum may not be: the estimates
        // scale by it, so an infinite sum would print "inf" or worse.
        if (!std::isfinite(totalBen) || !std::isfinite(positiveBen))
            benefitFault(benfile, "the benefits up to node " + std::to_string(i + 1) + " (" + where() +
                                      ") sum past the range of a double; scale the benefits down");
    }
}

void Graph::clearBenefits(const std::string& label) {
    const std::uint32_t n = numNodes;
    if (layout == BenefitLayout::Dense) {
        const ULL entries = static_cast<ULL>(n) + 1;
        allocating(label, "the benefit table of " + std::to_string(n) + " nodes", entries * 12, [&] {
            ben_ind.assign(entries, 0);
            ben.assign(entries, 0.0);
        });
    } else {
        ben_ind.clear();
        ben.clear();
    }
    totalBen = 0.0;
    positiveBen = 0.0;
    negativeBen = false;
}

void Graph::takeBenefit(std::uint32_t i, double b) {
    totalBen += b;
    if (b > 0) {
        positiveBen += b;
        if (layout == BenefitLayout::Dense) {
            ben_ind[i] = i + 1;
            ben[i] = b;
        } else {
            ben_ind.push_back(i + 1);
            ben.push_back(b);
        }
    } else if (b < 0) {
        negativeBen = true;
    }
}

void Graph::loadArrays(const NetworkArrays& net, std::span<const double> benefit, Model model) {
    const std::uint32_t n = net.n;
    const std::size_t arcs = net.adj.size();
    if (net.offsets.size() != static_cast<std::size_t>(n) + 2 || net.prob.size() != arcs ||
        net.offsets[n + 1] != arcs || arcs >> 32 != 0)
        throw std::invalid_argument("network arrays: the offsets, lists and probabilities disagree in length");
    Graph g(layout);
    g.numNodes = n;
    g.numEdges = static_cast<std::uint32_t>(arcs);
    g.statedEdges = arcs;
    g.loadedModel = model;
    g.adjOff.resize(static_cast<std::size_t>(n) + 2);
    for (std::size_t v = 0; v < net.offsets.size(); ++v) g.adjOff[v] = static_cast<std::int64_t>(net.offsets[v]);
    g.adjList.resize(arcs);
    std::copy(net.adj.begin(), net.adj.end(), g.adjList.data());
    if (const std::size_t e = firstOutside(g.adjList.data(), arcs, n); e < arcs)
        throw std::invalid_argument("network arrays: in-neighbour " + std::to_string(g.adjList[e]) + " is outside 1.." +
                                    std::to_string(n));
    g.weights.resize(arcs + n);
    if (arcs > 0) std::memcpy(g.weights.data() + n, net.prob.data(), arcs * sizeof(float));
    if (const std::size_t e = firstNotProbability(g.weights.data() + n, arcs); e < arcs)
        throw std::invalid_argument("network arrays: probability " + shownFloat(net.prob[e]) + " of arc " +
                                    std::to_string(e) + " is not a number or negative");
    g.thresholdsFromProbabilities();
    g.setBenefits(benefit);
    *this = std::move(g);
}

void Graph::readNetworkWith(const char* filename, std::span<const double> benefit, Model model) {
    Graph g(layout);
    g.readNetwork(filename, model);
    g.setBenefits(benefit);
    *this = std::move(g);
}

void Graph::setBenefits(std::span<const double> benefit) {
    const std::uint32_t n = numNodes;
    if (benefit.empty()) {
        clearBenefits("benefits");
        return;
    }
    if (benefit.size() != n)
        throw std::invalid_argument("benefits: " + std::to_string(benefit.size()) + " values, but the network has " +
                                    std::to_string(n) + " nodes");
    clearBenefits("benefits");
    for (std::uint32_t i = 0; i < n; ++i) {
        if (!std::isfinite(benefit[i]))
            throw std::invalid_argument("benefits: the benefit of node " + std::to_string(i + 1) + " is not finite");
        takeBenefit(i, benefit[i]);
        if (!std::isfinite(totalBen) || !std::isfinite(positiveBen))
            throw std::invalid_argument("benefits: the benefits up to node " + std::to_string(i + 1) +
                                        " sum past the range of a double; scale the benefits down");
    }
}

GraphView Graph::view() const {
    GraphView v;
    v.n = numNodes;
    v.adjOff = adjOff.data();
    v.adj = adjList.data();
    v.weights = weights.data();
    v.benIndex = ben_ind.data();
    v.model = loadedModel;
    return v;
}

}  // namespace lattis
