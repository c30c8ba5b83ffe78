// Loading of the binary network file and the text benefit file into a Graph.
//
// The network file is little-endian: n (u32), m (u64), n in-degrees (i32),
// then all in-neighbour ids (i32) node by node, then all probabilities (f32)
// in the same order. The host is assumed little-endian too, so the ids and
// degrees are read with pread straight into their arrays. Every size is
// checked against the file's length before anything proportional to it is
// allocated, so a corrupt header fails fast instead of asking for gigabytes.
//
// The three arrays are read, checked and converted in blocks of kLoadBlock
// entries on the OpenMP team the caller has set (omp_set_num_threads). No
// thread throws: each notes the first fault of its blocks, and after the
// region the earliest of them in file order is the one reported, so the
// message for a bad file is the same on any number of threads, and so is
// the Graph of a good one.
//
// With NetworkLoad::Map the file is mapped instead (io/fileMapping.h): the
// degrees and probabilities are read through the mapping, and its pages let
// go of once converted; the in-neighbour lists stay where the mapping has
// them, checked in the same blocks. The messages are the same either way.
//
// A load builds a fresh Graph and moves it into place only when both files
// have been read completely, so a failed load leaves the old contents intact
// and loading again replaces them.
#include "graph/graph.h"

#include <omp.h>
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
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

#include "graph/graphView.h"
#include "core/memoryFault.h"
#include "core/parse.h"
#include "core/threadTeam.h"
#include "io/readRange.h"
#include "io/textBlocks.h"
#include "io/textReader.h"

namespace lattis {

static_assert(std::endian::native == std::endian::little, "the network file is read as little-endian memory");
static_assert(sizeof(float) == 4 && std::numeric_limits<float>::is_iec559);

// The network file being read: its name, descriptor (closed at the end of
// the load, thrown or not) and length.
struct NetworkSource {
    explicit NetworkSource(const char* filename);
    NetworkSource(const NetworkSource&) = delete;
    NetworkSource& operator=(const NetworkSource&) = delete;
    ~NetworkSource();
    const char* name;
    int fd = -1;
    ULL bytes = 0;
};

constexpr ULL kNoFault = ~0ull;

// What one loading thread found in its blocks, padded to a cache line: the
// position (node or in-edge, in file order) of the first fault, the start
// of the array in which a read failed, and under LT the nodes whose
// in-weights sum above 1.
struct alignas(64) LoadFaults {
    ULL fault = kNoFault;
    ULL readAt = kNoFault;
    int readErr = 0;
    std::uint32_t heavy = 0;
    double largest = 0.0;

    void faultAt(ULL at) { fault = std::min(fault, at); }
    void readFailed(ULL at, int err) {
        if (at < readAt) {
            readAt = at;
            readErr = err;
        }
    }
    // A node's in-weights summed to `sum`: heavy past the tolerance of
    // netpack's check (single-precision weights meant to sum to 1 may
    // exceed it by rounding).
    void inWeights(double sum) {
        if (!(sum > 1.0 + 1e-6)) return;
        ++heavy;
        largest = std::max(largest, sum);
    }
    void merge(const LoadFaults& o) {
        faultAt(o.fault);
        readFailed(o.readAt, o.readErr);
        heavy += o.heavy;
        largest = std::max(largest, o.largest);
    }
};

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

// A probability held as a float or as its bits (read into `weights`).
float probability(float p) { return p; }
float probability(UI bits) { return std::bit_cast<float>(bits); }

// The thresholds a load makes of one node's d in-edge probabilities
// (checked), into out[0 .. d]. Under LT: 0, then the threshold of each
// running single-precision sum, returning their sum in double precision.
// Under IC: 0 (all ones for a node without in-edges), then each in-edge's
// own, returning 0. out + 1 may be prob or lie below it, as when a copied
// load converts in place: each probability is read before its slot is
// written.
template <class P>
double nodeThresholdsOf(bool lt, const P* prob, std::size_t d, UI* out) {
    constexpr UI kAll = 0xFFFFFFFFu;
    if (!lt) {
        out[0] = d != 0 ? 0 : kAll;
        for (std::size_t e = 0; e < d; ++e) out[e + 1] = threshold(probability(prob[e]), kAll);
        return 0.0;
    }
    out[0] = 0;
    float running = 0.0f;
    double sum = 0.0;
    for (std::size_t e = 0; e < d; ++e) {
        const float p = probability(prob[e]);
        running += p;
        sum += p;
        out[e + 1] = threshold(running, kAll);
    }
    return sum;
}

// The first of the count probabilities that is NaN or negative, or count.
// Negative zero is a probability.
template <class P>
std::size_t firstNotProbability(const P* p, std::size_t count) {
    std::uint32_t any = 0;
    for (std::size_t e = 0; e < count; ++e) any |= static_cast<std::uint32_t>(!(probability(p[e]) >= 0.0f));
    if (!any) return count;
    std::size_t e = 0;
    while (probability(p[e]) >= 0.0f) ++e;
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

// A read that failed in the array that starts at byte `at`.
[[noreturn]] void readFault(const char* file, ULL at, int err) {
    networkFault(file, "read failed in the block at byte offset " + std::to_string(at) + ": " +
                           (err != 0 ? std::strerror(err) : "file ended early"));
}

void readHeader(const NetworkSource& src, std::uint32_t& n, ULL& m) {
    const char* filename = src.name;
    if (src.bytes < kHeaderBytes)
        networkFault(filename, "truncated: " + std::to_string(src.bytes) + " bytes, but the header alone needs 12");
    int err = 0;
    if (!readRange(src.fd, &n, 4, 0, err)) readFault(filename, 0, err);
    if (!readRange(src.fd, &m, 8, 4, err)) readFault(filename, 4, err);
    if (m >> 32 != 0)
        networkFault(filename, "edge count " + std::to_string(m) + " at byte offset 4 does not fit in 32 bits");
    if (n > static_cast<std::uint32_t>(std::numeric_limits<int>::max()))
        networkFault(filename, "node count " + std::to_string(n) + " at byte offset 0 exceeds the largest node id " +
                                   std::to_string(std::numeric_limits<int>::max()));
    const ULL listsStart = kHeaderBytes + 4ull * n;
    if (src.bytes < listsStart)
        networkFault(filename, "truncated: the header promises " + std::to_string(n) + " nodes, whose degrees end at byte " +
                                   std::to_string(listsStart) + ", but the file holds " + std::to_string(src.bytes) + " bytes");
}

// Runs body(b, faults of the thread) for every block b on the team and
// merges what the threads found. Blocks are handed out one at a time
// (schedule dynamic): they cost about the same, but the cores are shared,
// and which thread takes which block changes nothing in the result.
template <class F>
LoadFaults overBlocks(std::size_t blocks, F&& body) {
    const int team = loadTeam(blocks);
    std::vector<LoadFaults> found(static_cast<std::size_t>(team));
#pragma omp parallel for num_threads(team) schedule(dynamic, 1) if (blocks > 1)
    for (std::size_t b = 0; b < blocks; ++b) body(b, found[static_cast<std::size_t>(omp_get_thread_num())]);
    LoadFaults all;
    for (const LoadFaults& f : found) all.merge(f);
    return all;
}

}  // namespace

NetworkSource::NetworkSource(const char* filename) : name(filename) {
    // Opened without waiting for a fifo's writer; what is not a regular
    // file is refused below.
    fd = openInput(filename);
    if (fd < 0) throw std::runtime_error("cannot open network file " + quoted(filename) + ": " + std::strerror(errno));
    struct stat st {};
    if (fstat(fd, &st) != 0) networkFault(filename, std::string("cannot stat: ") + std::strerror(errno));
    if (!S_ISREG(st.st_mode)) networkFault(filename, "not a regular file");
    bytes = static_cast<ULL>(st.st_size);
}

NetworkSource::~NetworkSource() { ::close(fd); }

Graph::Graph(BenefitLayout layout) : layout(layout) {}

Graph Graph::freshNetwork(const char* filename, Model model, NetworkLoad load) const {
    Graph g(layout);
    g.deferRequested = deferRequested;
    g.readNetwork(filename, model, load);
    return g;
}

void Graph::readGraphLT(const char* filename, const char* benfile, NetworkLoad load) {
    Graph g = freshNetwork(filename, Model::LT, load);
    g.readBenefit(benfile);
    *this = std::move(g);
}

void Graph::readGraphIC(const char* filename, const char* benfile, NetworkLoad load) {
    Graph g = freshNetwork(filename, Model::IC, load);
    g.readBenefit(benfile);
    *this = std::move(g);
}

void Graph::readNetwork(const char* filename, Model model, NetworkLoad load) {
    assert(filename != nullptr);
    const NetworkSource src(filename);
    std::uint32_t n = 0;
    ULL m = 0;
    readHeader(src, n, m);
    if (load == NetworkLoad::Map) {
        int err = 0;
        if (!networkMap.map(src.fd, src.bytes, err))
            networkFault(filename, std::string("cannot map the file (-load map): ") + std::strerror(err));
    }
    numNodes = n;
    numEdges = static_cast<std::uint32_t>(m);
    statedEdges = m;
    loadedModel = model;
    const ULL sum = readOffsets(src);
    readInNeighbours(src, sum);
    readThresholds(src, sum);
}

// The degrees, read and checked in blocks on the team, become the offsets
// (each block's sum first, then one prefix over the blocks); the degrees
// themselves are not kept. Returns the number of in-edges they promise.
ULL Graph::readOffsets(const NetworkSource& src) {
    const std::uint32_t n = numNodes;
    const std::string label = "network file " + quoted(src.name);
    // degree[v] for v = 1..n: read into a mapping of its own, so that its
    // memory goes back to the system at once rather than to the
    // allocator's heap, or where the file's mapping holds them.
    const bool mapped = networkMap.data() != nullptr;
    GrowArray<int> degrees;
    if (!mapped)
        allocating(label, "the degrees of " + std::to_string(n) + " nodes", (static_cast<ULL>(n) + 1) * 4,
                   [&] { degrees.resize(static_cast<std::size_t>(n) + 1); });
    const int* degree = mapped ? reinterpret_cast<const int*>(networkMap.data() + kHeaderBytes - 4) : degrees.data();
    allocating(label, "the offsets of " + std::to_string(n) + " nodes", (static_cast<ULL>(n) + 2) * 8,
               [&] { adjOff.resize(static_cast<std::size_t>(n) + 2); });
    const std::size_t blocks = loadBlocks(n);
    std::vector<ULL> below(blocks + 1, 0);  // below[b]: the in-edges of the nodes before block b
    const LoadFaults found = overBlocks(blocks, [&](std::size_t b, LoadFaults& f) {
        const std::size_t first = 1 + b * kLoadBlock, count = std::min<std::size_t>(kLoadBlock, n + 1 - first);
        int err = 0;
        if (!mapped && !readRange(src.fd, degrees.data() + first, count * 4, kHeaderBytes + 4 * (first - 1), err))
            return f.readFailed(kHeaderBytes, err);
        std::uint32_t any = 0;
        ULL s = 0;
        for (std::size_t i = first; i < first + count; ++i) {
            any |= static_cast<std::uint32_t>(degree[i] < 0);
            s += static_cast<ULL>(std::max(degree[i], 0));
        }
        if (any) {
            const int* d = degree + first;
            f.faultAt(static_cast<ULL>(std::find_if(d, d + count, [](int x) { return x < 0; }) - degree));
        }
        below[b + 1] = s;
    });
    if (found.readAt != kNoFault) readFault(src.name, found.readAt, found.readErr);
    if (const ULL v = found.fault; v != kNoFault)
        networkFault(src.name, "node " + std::to_string(v) + " has negative degree " + std::to_string(degree[v]) +
                                   " (byte offset " + std::to_string(kHeaderBytes + 4ull * (v - 1)) + ")");
    for (std::size_t b = 0; b < blocks; ++b) below[b + 1] += below[b];
    const ULL sum = below[blocks];
    // Each in-edge takes 8 bytes (id and probability); the sum stays below
    // 2^62, so the product cannot wrap.
    const ULL listsStart = kHeaderBytes + 4ull * n;
    if (sum > (src.bytes - listsStart) / 8)
        networkFault(src.name, "truncated: the degrees promise " + std::to_string(sum) + " in-edges, 8 bytes each from byte " +
                                   std::to_string(listsStart) + ", but the file holds " + std::to_string(src.bytes) + " bytes");
    overBlocks(blocks, [&](std::size_t b, LoadFaults&) {
        const std::size_t first = 1 + b * kLoadBlock, last = std::min<std::size_t>(first + kLoadBlock, n + 1);
        ULL running = below[b];
        for (std::size_t v = first; v < last; ++v) {
            running += static_cast<ULL>(degree[v]);
            adjOff[v + 1] = static_cast<std::int64_t>(running);
        }
    });
    networkMap.release(kHeaderBytes, listsStart);
    return sum;
}

// The in-neighbour lists, read straight into place block by block, each
// block checked while it is still in the cache.
void Graph::readInNeighbours(const NetworkSource& src, ULL sum) {
    const std::uint32_t n = numNodes;
    const ULL listsStart = kHeaderBytes + 4ull * n;
    const bool mapped = networkMap.data() != nullptr;
    if (mapped) {
        inIds = reinterpret_cast<const int*>(networkMap.data() + listsStart);
    } else {
        allocating("network file " + quoted(src.name), "the in-neighbour lists of " + std::to_string(sum) + " in-edges",
                   sum * 4, [&] { adjList.resize(sum); });
        inIds = adjList.data();
    }
    const LoadFaults found = overBlocks(loadBlocks(sum), [&](std::size_t b, LoadFaults& f) {
        const std::size_t first = b * kLoadBlock, count = std::min<std::size_t>(kLoadBlock, sum - first);
        int err = 0;
        if (!mapped && !readRange(src.fd, adjList.data() + first, count * 4, listsStart + 4 * first, err))
            return f.readFailed(listsStart, err);
        if (const std::size_t e = firstOutside(inIds + first, count, n); e < count) f.faultAt(first + e);
    });
    if (found.readAt != kNoFault) readFault(src.name, found.readAt, found.readErr);
    if (const ULL e = found.fault; e != kNoFault)
        networkFault(src.name, "in-neighbour " + std::to_string(inIds[e]) + " of node " +
                                   std::to_string(nodeOfEdge(adjOff, n, e)) + " (byte offset " +
                                   std::to_string(listsStart + 4 * e) + ") is outside 1.." + std::to_string(n));
}

// The probabilities become thresholds node range by node range: each range
// starts at the node whose slots hold a multiple of kLoadBlock, so the
// ranges write about equal stretches of `weights`. A range's probabilities
// are read, kLoadBlock at a time, into the end of its own stretch and
// checked there, then turned into thresholds in place (thresholdsOfRange),
// so no range touches another's memory and nothing but `weights` is used.
// Mapped, they are checked and converted where the mapping holds them, or
// with deferThresholds only checked (and under LT their sums noted).
void Graph::readThresholds(const NetworkSource& src, ULL sum) {
    const std::uint32_t n = numNodes;
    probStart = kHeaderBytes + 4ull * n + 4 * sum;
    const float* mappedProb =
        networkMap.data() != nullptr ? reinterpret_cast<const float*>(networkMap.data() + probStart) : nullptr;
    // Deferred: the probabilities are only checked, and stay mapped.
    const bool defer = deferRequested && mappedProb != nullptr;
    if (!defer)
        allocating("network file " + quoted(src.name), "the thresholds of " + std::to_string(sum) + " in-edges",
                   (sum + n) * 4, [&] { weights.resize(sum + n); });
    // The ranges are those of the thresholds' slots either way, so that a
    // fault is found by the same blocks.
    const std::size_t ranges = n == 0 ? 0 : loadBlocks(sum + n);
    const LoadFaults found = overBlocks(ranges, [&](std::size_t r, LoadFaults& f) {
        const std::uint32_t v0 = rangeStart(r), v1 = r + 1 == ranges ? n + 1 : rangeStart(r + 1);
        const auto e0 = static_cast<std::size_t>(adjOff[v0]), e1 = static_cast<std::size_t>(adjOff[v1]);
        if (mappedProb != nullptr) {
            // The range's probabilities are read where the mapping holds
            // them, and their pages let go of once they are thresholds.
            if (const std::size_t bad = firstNotProbability(mappedProb + e0, e1 - e0); bad < e1 - e0)
                return f.faultAt(e0 + bad);
            if (defer) {
                if (loadedModel == Model::LT) inWeightsOfRange(v0, v1, mappedProb, f);
                return;
            }
            thresholdsOfRange(v0, v1, mappedProb, f);
            networkMap.release(probStart + 4 * e0, probStart + 4 * e1);
            return;
        }
        // In-edge e of the range lands in slot e + v1 - 1, at or after its
        // threshold's slot e + v (v < v1).
        const UI* prob = weights.data() + v1 - 1;
        for (std::size_t e = e0; e < e1; e += kLoadBlock) {
            const std::size_t count = std::min<std::size_t>(kLoadBlock, e1 - e);
            int err = 0;
            if (!readRange(src.fd, weights.data() + e + v1 - 1, count * 4, probStart + 4 * e, err))
                return f.readFailed(probStart, err);
            if (const std::size_t bad = firstNotProbability(prob + e, count); bad < count) return f.faultAt(e + bad);
        }
        thresholdsOfRange(v0, v1, prob, f);
    });
    if (found.readAt != kNoFault) readFault(src.name, found.readAt, found.readErr);
    if (const ULL e = found.fault; e == kNoFault) {
        // The probabilities are thresholds now, or stay for a fast
        // sampler's build (deferred); else only the lists stay mapped.
        if (defer) deferredProb = mappedProb;
        else networkMap.keepFirst(probStart);
    } else {
        const auto v = nodeOfEdge(adjOff, n, e);
        int err = 0;
        float p = 0;
        if (!readRange(src.fd, &p, 4, probStart + 4 * e, err)) readFault(src.name, probStart, err);
        networkFault(src.name, "probability " + shownFloat(p) + " of the in-edge from " + std::to_string(inIds[e]) +
                                   " to node " + std::to_string(v) + " (byte offset " + std::to_string(probStart + 4 * e) +
                                   ") is " + (std::isnan(p) ? "not a number" : "negative"));
    }
    heavyNodes = found.heavy;
    largestInSum = found.largest;
}

// The node whose slots in `weights` hold position r * kLoadBlock: the last
// node v whose first slot, weightStart(v), is not past it.
std::uint32_t Graph::rangeStart(std::size_t r) const {
    const ULL at = static_cast<ULL>(r) * kLoadBlock;
    std::uint32_t lo = 1, hi = numNodes;  // the answer lies in lo..hi
    while (lo < hi) {
        const std::uint32_t mid = lo + (hi - lo + 1) / 2;
        if (weightStart(static_cast<int>(mid)) <= at) lo = mid;
        else hi = mid - 1;
    }
    return lo;
}

// Thresholds of the nodes v0 .. v1 - 1 from the probabilities prob[e] of
// their in-edges e, which have been checked. prob may lie in `weights`
// itself, at or after each threshold's slot: every probability is then
// read before its slot is written. Under LT the running sum is kept in
// single precision, as the samplers' thresholds are defined.
template <class P>
void Graph::thresholdsOfRange(std::uint32_t v0, std::uint32_t v1, const P* prob, LoadFaults& f) {
    const bool lt = loadedModel == Model::LT;
    for (std::uint32_t v = v0; v < v1; ++v) {
        const std::size_t first = static_cast<std::size_t>(adjOff[v]), last = static_cast<std::size_t>(adjOff[v + 1]);
        const double sum = nodeThresholdsOf(lt, prob + first, last - first, weights.data() + first + v - 1);
        if (lt) f.inWeights(sum);
    }
}

void Graph::inWeightsOfRange(std::uint32_t v0, std::uint32_t v1, const float* prob, LoadFaults& f) const {
    for (std::uint32_t v = v0; v < v1; ++v) {
        double sum = 0.0;
        for (std::int64_t e = adjOff[v]; e < adjOff[v + 1]; ++e) sum += prob[e];
        f.inWeights(sum);
    }
}

void Graph::readBenefit(const char* benfile) {
    if (benfile == nullptr) throw std::runtime_error("no benefit file given (option -b)");
    // Read as a stream: exactly n numbers are taken, so a device or a pipe
    // that never ends is read no further than they are.
    TextReader in(benfile, "benefit file " + quoted(benfile));

    const std::uint32_t n = numNodes;
    clearBenefits(in.label());
    // The dense table is parsed into in place on the team; the compact one,
    // which exists to keep a large network's benefits small, stays serial
    // rather than take a table of 8 bytes per node beside it.
    if (layout == BenefitLayout::Dense) {
        if (const auto bytes = in.unreadFileBytes(); bytes && benefitsOnTeam(in, *bytes)) return;
        // A file with a fault: read serially, which names the first fault
        // in file order.
        clearBenefits(in.label());
    }

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

namespace {

// A benefit token as readBenefit converts it: a run of up to nine digits as
// the reader's digit path does, anything else with parseReal; false for what
// readBenefit refuses (not a number, out of range, not finite).
bool benefitOfToken(std::string_view tok, double& out) {
    if (std::uint32_t digits = 0; shortDigitRun(tok, digits)) {
        out = digits;
        return true;
    }
    const auto value = parseReal(tok);
    if (!value || !std::isfinite(*value)) return false;
    out = *value;
    return true;
}

}  // namespace

// The benefits of a regular file parsed on the team (textBlocks.h) into the
// dense table. The sums stay one serial pass in node order, so they round as
// readBenefit's do; they are finite if and only if every partial sum is
// (each value is finite), so a sum that overflows is left to the serial
// reader to name. False, with the benefits half set, when the file must be
// read serially.
bool Graph::benefitsOnTeam(TextReader& in, std::uint64_t bytes) {
    const std::uint32_t n = numNodes;
    double* values = ben.data();
    if (!takeTokensOnTeam(in.descriptor(), bytes, n,
                          [values](std::string_view tok, std::uint64_t i) { return benefitOfToken(tok, values[i]); }))
        return false;
    double total = 0, positive = 0;
    bool negative = false;
    for (std::uint32_t i = 0; i < n; ++i) {
        const double b = values[i];
        total += b;
        // Adding +0 leaves a sum that is at least +0 unchanged.
        positive += b > 0 ? b : 0.0;
        negative = negative || b < 0;
    }
    if (!std::isfinite(total) || !std::isfinite(positive)) return false;
    totalBen = total;
    positiveBen = positive;
    negativeBen = negative;
    // Positions whose benefit is not positive hold node 0 and benefit +0.
    UI* index = ben_ind.data();
#pragma omp parallel for schedule(static) num_threads(teamForEntries(n))
    for (std::uint32_t i = 0; i < n; ++i) {
        const bool kept = values[i] > 0;
        index[i] = kept ? i + 1 : 0;
        if (!kept) values[i] = 0.0;
    }
    return true;
}

void Graph::clearBenefits(const std::string& label) {
    const std::uint32_t n = numNodes;
    if (layout == BenefitLayout::Dense) {
        const ULL entries = static_cast<ULL>(n) + 1;
        // Released first, so that the table is fresh zero memory even when
        // a fault made the team hand a half-read file to the serial reader.
        ben_ind.release();
        ben.release();
        allocating(label, "the benefit table of " + std::to_string(n) + " nodes", entries * 12, [&] {
            ben_ind.resize(entries);
            ben.resize(entries);
        });
    } else {
        ben_ind.release();
        ben.release();
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
    g.inIds = g.adjList.data();
    if (const std::size_t e = firstOutside(g.inIds, arcs, n); e < arcs)
        throw std::invalid_argument("network arrays: in-neighbour " + std::to_string(g.inIds[e]) + " is outside 1.." +
                                    std::to_string(n));
    g.weights.resize(arcs + n);
    if (const std::size_t e = firstNotProbability(net.prob.data(), arcs); e < arcs)
        throw std::invalid_argument("network arrays: probability " + shownFloat(net.prob[e]) + " of arc " +
                                    std::to_string(e) + " is not a number or negative");
    LoadFaults found;
    g.thresholdsOfRange(1, n + 1, net.prob.data(), found);
    g.heavyNodes = found.heavy;
    g.largestInSum = found.largest;
    g.setBenefits(benefit);
    *this = std::move(g);
}

void Graph::readNetworkWith(const char* filename, std::span<const double> benefit, Model model, NetworkLoad load) {
    Graph g = freshNetwork(filename, model, load);
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

void Graph::releaseThresholds() {
    weights.release();
    if (deferredProb == nullptr) return;
    deferredProb = nullptr;
    networkMap.keepFirst(probStart);
}

void Graph::releaseProbabilities(std::uint32_t v0, std::uint32_t v1) const {
    if (deferredProb == nullptr) return;
    networkMap.release(probStart + 4 * static_cast<ULL>(adjOff[v0]), probStart + 4 * static_cast<ULL>(adjOff[v1]));
}

void nodeThresholds(Model model, const float* prob, UI d, UI* out) {
    nodeThresholdsOf(model == Model::LT, prob, d, out);
}

GraphView Graph::view() const {
    GraphView v;
    v.n = numNodes;
    v.adjOff = adjOff.data();
    v.adj = inIds;
    v.weights = deferredProb == nullptr ? weights.data() : nullptr;
    v.probabilities = deferredProb;
    v.benIndex = ben_ind.data();
    v.model = loadedModel;
    return v;
}

}  // namespace lattis
