// The hyperedge store: root distribution, contiguous hyperedges and node
// index, and the reverse samplers.
//
// Every sampler is one of two templates (the LT walk and the IC search),
// parameterised by what happens to the finished hyperedge (the store, a
// thread's buffer, nowhere) and by the seed test, so the six public forms and
// their thread-stream variants share one body each. The hot loops read the
// Graph's flat arrays through raw pointers and keep the generator's index in
// a local, which the compiler could not do through the state record because
// stores into visit_mark may alias it. A node's list length (node_deg: d + 1
// under LT, d under IC) is taken from the two offsets that bound its list,
// which share a cache line, rather than from node_deg, which would cost one
// more cache miss per step on a large network.
#include "lattis.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {

constexpr std::size_t kMaxEdges = static_cast<std::size_t>(INT_MAX);
// The root lookup table has at most 2^22 buckets (16 MB).
constexpr int kMaxRootBits = 22;

// The draws of one sampler call, taken exactly as sfmt_genrand_uint32 takes
// them; the index is written back when the call ends.
class DrawCursor {
public:
    explicit DrawCursor(sfmt_t& s) : state(&s), idx(s.idx) {}
    DrawCursor(const DrawCursor&) = delete;
    DrawCursor& operator=(const DrawCursor&) = delete;
    ~DrawCursor() { state->idx = idx; }
    UI next() {
        if (idx >= SFMT_N32) {
            sfmt_gen_rand_all(state);
            idx = 0;
        }
        const UI r = state->state[idx >> 2].u[idx & 3];
        ++idx;
        return r;
    }
    // f(i, draw) for i = 0..count-1 on the next count draws, handed out in
    // runs up to the end of the generator's block of 624, so that the inner
    // loop tests no index.
    template <class F>
    void each(int count, F&& f) {
        int i = 0;
        while (i < count) {
            if (idx >= SFMT_N32) {
                sfmt_gen_rand_all(state);
                idx = 0;
            }
            const int run = std::min(count - i, SFMT_N32 - idx);
            // The state's 32-bit view, as the generator itself reads it.
            const UI* r = &state->state[0].u[0] + idx;
            for (int j = 0; j < run; ++j) f(i + j, r[j]);
            i += run;
            idx += run;
        }
    }

private:
    sfmt_t* state;
    int idx;
};

// The first p in [lo, hi) with w[p] > ran, or hi; w ascending on [lo, hi).
// The probes are conditional moves, not branches: draws are random, so a
// branch would be mispredicted at about every other probe.
UI firstAbove(const UI* w, UI lo, UI hi, UI ran) {
    if (lo == hi) return hi;
    const UI* base = w + lo;
    UI len = hi - lo;
    while (len > 1) {
        const UI half = len / 2;
        base = base[half] <= ran ? base + half : base;
        len -= half;
    }
    return static_cast<UI>(base - w) + (*base <= ran ? 1 : 0);
}

// The position p with w[p - 1] <= ran < w[p]; a draw equal to w[si - 1] runs
// the passes out and ends at si - 1.
int binIndex(const UI* w, UI si, UI ran) {
    if (si <= 1 || w[si - 1] < ran) return -1;
    int left = 1;
    int right = static_cast<int>(si) - 1;
    int prob = 0;
    for (UI pass = 0; pass < si; ++pass) {
        prob = (left + right) / 2;
        if (w[prob - 1] > ran)
            right = prob - 1;
        else if (w[prob] <= ran)
            left = prob + 1;
        else
            break;
    }
    return prob;
}

// The position p with w[p - 1] < ran <= w[p] (1 for a draw of 0).
int linIndex(const UI* w, UI si, UI ran) {
    if (si <= 1 || w[si - 1] < ran) return -1;
    UI i = 1;
    while (w[i] < ran) ++i;
    return static_cast<int>(i);
}

}  // namespace

void HyperedgeBuffer::discardBefore(std::size_t node, std::size_t edge) {
    constexpr std::size_t page = 4096;
    auto drop = [](auto& arr, std::size_t count, std::size_t& gone) {
        const std::size_t whole = count * sizeof(arr[0]) / page * page;
        if (whole <= gone) return;
        // Failure only means the pages stay resident until clear().
        [[maybe_unused]] int rc = madvise(reinterpret_cast<char*>(arr.data()) + gone, whole - gone, MADV_DONTNEED);
        gone = whole;
    };
    drop(nodes, node, nodeBytesGone);
    drop(sizes, edge, sizeBytesGone);
}

HyperGraph::HyperGraph(unsigned n, const Graph& g) {
    sfmt_init_gen_rand(&sfmtSeed, static_cast<std::uint32_t>(rand()));
    node_off.resize(static_cast<std::size_t>(n) + 2);
    edge_off.push_back(0);
    numNodes = n;

    const std::vector<double>& ben = g.getBen();
    const std::size_t m = ben.size();
    std::size_t positive = m;
    for (std::size_t j = 0; j < m; ++j)
        if (ben[j] > 0) positive = j;
    if (positive == m) throw std::runtime_error("no node has a positive benefit: no reverse sample can be rooted");
    lastPositive = static_cast<UI>(positive);

    std::vector<double> c(ben);
    for (std::size_t i = 1; i < m; ++i) c[i] += c[i - 1];
    const double total = c[m - 1];
    const double scale = static_cast<double>(g.UI_MAX);
    bDist.assign(m + 1, 0);
    for (std::size_t i = 1; i <= m; ++i) {
        const double tmp = scale * c[i - 1] / total;
        bDist[i] = tmp >= scale ? g.UI_MAX : static_cast<UI>(tmp);
    }
    // The scaled total may round down to UI_MAX - 1; closing the distribution
    // at UI_MAX leaves no draw without a position.
    for (std::size_t i = positive + 1; i <= m; ++i) bDist[i] = g.UI_MAX;
    benSize = static_cast<UI>(m + 1);

    // About four positions per bucket: the bucket's range then usually lies
    // in one cache line of bDist, and the table is a quarter of its size.
    int bits = 1;
    while (bits < kMaxRootBits && (std::size_t{1} << bits) * 4 < bDist.size()) ++bits;
    rootShift = 32 - bits;
    const std::size_t buckets = std::size_t{1} << bits;
    rootStart.resize(buckets + 1);
    UI p = 0;
    for (std::size_t j = 0; j < buckets; ++j) {
        const UI low = static_cast<UI>(j << rootShift);
        while (p < benSize && bDist[p] <= low) ++p;
        rootStart[j] = p;
    }
    rootStart[buckets] = benSize;
}

int HyperGraph::randIndex_bin(const UI* w, UI si, sfmt_t& rng) { return binIndex(w, si, sfmt_genrand_uint32(&rng)); }

int HyperGraph::randIndex_lin(const UI* w, UI si, sfmt_t& rng) { return linIndex(w, si, sfmt_genrand_uint32(&rng)); }

// The draws of one bucket end at positions from its own start to the next
// bucket's, so the search runs over that range only. The result is the one
// binIndex gives over the whole of bDist.
int HyperGraph::rootFor(const Graph& g, UI ran) const {
    const std::size_t j = ran >> rootShift;
    UI p = firstAbove(bDist.data(), rootStart[j], rootStart[j + 1], ran);
    // The top draw equals the last entry and ends at it, as in binIndex.
    if (p > benSize - 1) p = benSize - 1;
    assert(p >= 1);
    // Past the last positive position only the top draw can land (all later
    // entries are UI_MAX); it belongs to that last position.
    UI pos = p - 1;
    if (pos > lastPositive) pos = lastPositive;
    return static_cast<int>(g.getNodeInBen(pos));
}

void HyperGraph::checkRoom(std::size_t edges) const {
    if (edges > kMaxEdges - static_cast<std::size_t>(getNumEdge()))
        throw std::runtime_error("the hyperedge store would pass 2147483647 hyperedges, the range of hyperedge ids");
}

void HyperGraph::pushEdge(const int* nodes, std::size_t count) {
    edge_node.append({nodes, count});
    edge_off.push_back(static_cast<std::int64_t>(edge_node.size()));
}

// Enters hyperedges firstEdge.. into node_edge with one counting pass, in
// place: each node's old list moves up by the number of new ids of the nodes
// below it (highest node first, so nothing is overwritten before it moved),
// then the new ids are appended in hyperedge order. During the appends
// node_off[v] serves as v's write cursor, which leaves it at the end of v's
// list, the start of v + 1's; one shift by a place then restores the starts.
void HyperGraph::indexFrom(std::size_t firstEdge) {
    const std::size_t lastEdge = static_cast<std::size_t>(getNumEdge());
    if (firstEdge >= lastEdge) return;
    const std::size_t slots = static_cast<std::size_t>(numNodes) + 1;
    const int* en = edge_node.data();
    const std::int64_t* eo = edge_off.data();
    const std::int64_t added = eo[lastEdge] - eo[firstEdge];
    std::int64_t* off = node_off.data();
    const std::int64_t oldTotal = off[slots];
    node_edge.reserve(static_cast<std::size_t>(oldTotal + added));
    node_edge.resize(static_cast<std::size_t>(oldTotal + added));
    int* ne = node_edge.data();
    {
        std::vector<int> count(slots, 0);
        for (std::int64_t p = eo[firstEdge]; p < eo[lastEdge]; ++p) {
            assert(en[p] >= 0 && static_cast<std::size_t>(en[p]) < slots);
            ++count[static_cast<std::size_t>(en[p])];
        }
        std::int64_t oldNext = oldTotal;
        std::int64_t above = 0;  // new ids of this node and all higher ones
        for (std::size_t v = slots; v-- > 0;) {
            above += count[v];
            const std::int64_t oldBeg = off[v];
            const std::int64_t len = oldNext - oldBeg;
            const std::int64_t newBeg = oldBeg + added - above;
            if (newBeg != oldBeg && len > 0)
                std::memmove(ne + newBeg, ne + oldBeg, static_cast<std::size_t>(len) * sizeof(int));
            off[v] = newBeg + len;
            oldNext = oldBeg;
        }
    }
    // The appends go to as many places as there are nodes, so many of them
    // miss the cache; fetching the slot of an id some way ahead keeps
    // several misses in flight.
    constexpr std::int64_t ahead = 16;
    const std::int64_t endAll = eo[lastEdge];
    for (std::size_t e = firstEdge; e < lastEdge; ++e)
        for (std::int64_t p = eo[e]; p < eo[e + 1]; ++p) {
            if (p + ahead < endAll) __builtin_prefetch(ne + off[static_cast<std::size_t>(en[p + ahead])], 1);
            ne[off[static_cast<std::size_t>(en[p])]++] = static_cast<int>(e);
        }
    std::memmove(off + 1, off, slots * sizeof(std::int64_t));
    off[0] = 0;
}

void HyperGraph::updateDeg() {
    indexFrom(curEdge);
    curEdge = static_cast<UI>(getNumEdge());
}

void HyperGraph::updateEdge() { curEdge = static_cast<UI>(getNumEdge()); }

void HyperGraph::addEdge(const std::vector<int>& edge) {
    checkRoom(1);
    pushEdge(edge.data(), edge.size());
    indexFrom(static_cast<std::size_t>(getNumEdge()) - 1);
}

void HyperGraph::addEdgeD(const std::vector<int>& edge) {
    addEdge(edge);
    for (int v : edge) {
        const std::int64_t len = node_off[static_cast<std::size_t>(v) + 1] - node_off[static_cast<std::size_t>(v)];
        if (len > static_cast<std::int64_t>(maxDegree)) maxDegree = static_cast<UI>(len);
    }
}

int HyperGraph::getMaxDegree() const { return static_cast<int>(maxDegree); }

std::span<const int> HyperGraph::getEdge(int e) const {
    const std::int64_t b = edge_off[static_cast<std::size_t>(e)];
    return {edge_node.data() + b, static_cast<std::size_t>(edge_off[static_cast<std::size_t>(e) + 1] - b)};
}

std::span<const int> HyperGraph::getNode(int n) const {
    const std::int64_t b = node_off[static_cast<std::size_t>(n)];
    return {node_edge.data() + b, static_cast<std::size_t>(node_off[static_cast<std::size_t>(n) + 1] - b)};
}

int HyperGraph::getNumEdge() const { return static_cast<int>(edge_off.size() - 1); }

void HyperGraph::clearEdges() {
    edge_node.release();
    edge_off.release();
    node_edge.release();
    node_off.release();
    edge_off.push_back(0);
    node_off.resize(static_cast<std::size_t>(numNodes) + 2);
    curEdge = 0;
    maxDegree = 0;
}

std::size_t HyperGraph::getNumStoredNodes() const { return edge_node.size(); }

std::size_t HyperGraph::storeBytes() const {
    return node_edge.bytes() + node_off.bytes() + edge_node.bytes() + edge_off.bytes();
}

std::array<UI, 4> HyperGraph::drawStreamKey() {
    std::array<UI, 4> key;
    for (UI& k : key) k = sfmt_genrand_uint32(&sfmtSeed);
    return key;
}

void HyperGraph::initStream(sfmt_t& s, const std::array<UI, 4>& key, std::uint64_t index) {
    std::uint32_t init[6] = {key[0], key[1], key[2], key[3], static_cast<std::uint32_t>(index),
                             static_cast<std::uint32_t>(index >> 32)};
    sfmt_init_by_array(&s, init, 6);
}

std::uint64_t HyperGraph::claimBlockNumbers(std::uint64_t n) {
    const std::uint64_t first = blocksIssued;
    blocksIssued += n;
    return first;
}

void HyperGraph::reserveEdges(std::size_t edges, std::size_t nodes) {
    checkRoom(edges);
    edge_node.reserve(edge_node.size() + nodes);
    edge_off.reserve(edge_off.size() + edges);
}

void HyperGraph::appendEdges(const HyperedgeBuffer& buf, std::size_t firstEdge, std::size_t count, std::size_t firstNode) {
    checkRoom(count);
    const UI* sizes = buf.sizes.data() + firstEdge;
    std::size_t nodes = 0;
    for (std::size_t i = 0; i < count; ++i) nodes += sizes[i];
    edge_node.append({buf.nodes.data() + firstNode, nodes});
    const std::size_t at = edge_off.size();
    edge_off.resize(at + count);
    std::int64_t* off = edge_off.data();
    for (std::size_t i = 0; i < count; ++i) off[at + i] = off[at + i - 1] + sizes[i];
}

void HyperGraph::appendEdges(HyperedgeBuffer& buf) {
    appendEdges(buf, 0, buf.sizes.size(), 0);
    buf.clear();
}

template <HyperGraph::SeedTest mode, class Sink>
bool HyperGraph::walkLT(const Graph& g, sfmt_t& rng, Sink& sink, const UI* link, UI k, std::vector<bool>& visit,
                        std::vector<int>& visit_mark) const {
    const std::int64_t* adjOff = g.adjOff.data();
    const int* adj = g.adjList.data();
    const UI* weights = g.weights.data();
    int* mark = visit_mark.data();
    const UI gSize = g.numNodes;
    DrawCursor draw(rng);

    int cur = rootFor(g, draw.next());
    UI marked = 0;
    bool hit = false;
    for (UI pass = 0; pass < gSize; ++pass) {
        if constexpr (mode == SeedTest::Exit) {
            if (link[cur] < k) {
                hit = true;
                break;
            }
        }
        if (visit[static_cast<std::size_t>(cur)]) break;
        visit[static_cast<std::size_t>(cur)] = true;
        mark[marked++] = cur;
        if constexpr (mode == SeedTest::Flag) {
            if (link[cur] < k) hit = true;
        }
        const std::int64_t first = adjOff[cur];
        const UI s = static_cast<UI>(adjOff[cur + 1] - first) + 1;
        // The in-neighbour is read only after the search of the weights; for
        // a short list, fetching it meanwhile overlaps the two cache misses.
        if (s <= 16) __builtin_prefetch(adj + first + (s - 1) / 2);
        const UI* w = weights + first + cur - 1;
        const UI ran = draw.next();
        const int ind = s >= 32 ? binIndex(w, s, ran) : linIndex(w, s, ran);
        if (ind == -1) break;
        cur = adj[first + ind - 1];
    }
    if constexpr (mode != SeedTest::Exit) sink(mark, marked);
    for (UI i = 0; i < marked; ++i) visit[static_cast<std::size_t>(mark[i])] = false;
    return hit;
}

template <HyperGraph::SeedTest mode, class Sink>
bool HyperGraph::searchIC(const Graph& g, sfmt_t& rng, Sink& sink, const UI* link, UI k, std::vector<bool>& visit,
                          std::vector<int>& visit_mark) const {
    const std::int64_t* adjOff = g.adjOff.data();
    const int* adj = g.adjList.data();
    const UI* weights = g.weights.data();
    int* mark = visit_mark.data();
    DrawCursor draw(rng);

    const int root = rootFor(g, draw.next());
    visit[static_cast<std::size_t>(root)] = true;
    mark[0] = root;
    UI marked = 1;
    UI pos = 0;
    bool hit = false;
    while (pos < marked) {
        const int cur = mark[pos++];
        if constexpr (mode != SeedTest::None) {
            if (link[cur] < k) {
                hit = true;
                if constexpr (mode == SeedTest::Exit) break;
            }
        }
        const std::int64_t first = adjOff[cur];
        const int* neigh = adj + first;
        const UI* w = weights + first + cur;  // w[i] is the threshold of in-edge i
        draw.each(static_cast<int>(adjOff[cur + 1] - first), [&](int i, UI ran) {
            if (ran < w[i]) {
                const int u = neigh[i];
                if (!visit[static_cast<std::size_t>(u)]) {
                    visit[static_cast<std::size_t>(u)] = true;
                    mark[marked++] = u;
                }
            }
        });
    }
    if constexpr (mode != SeedTest::Exit) sink(mark, marked);
    for (UI i = 0; i < marked; ++i) visit[static_cast<std::size_t>(mark[i])] = false;
    return hit;
}

void HyperGraph::pollingLT1(const Graph& g, std::vector<bool>& visit, std::vector<int>& visit_mark) {
    checkRoom(1);
    auto sink = [this](const int* nodes, UI count) { pushEdge(nodes, count); };
    walkLT<SeedTest::None>(g, sfmtSeed, sink, nullptr, 0, visit, visit_mark);
}

bool HyperGraph::pollingLT2(const Graph& g, const std::vector<UI>& link, UI k, std::vector<bool>& visit,
                            std::vector<int>& visit_mark) {
    checkRoom(1);
    auto sink = [this](const int* nodes, UI count) { pushEdge(nodes, count); };
    return walkLT<SeedTest::Flag>(g, sfmtSeed, sink, link.data(), k, visit, visit_mark);
}

bool HyperGraph::pollingLT(const Graph& g, const std::vector<UI>& link, UI k, std::vector<bool>& visit,
                           std::vector<int>& visit_mark) {
    return static_cast<const HyperGraph&>(*this).pollingLT(g, sfmtSeed, link, k, visit, visit_mark);
}

void HyperGraph::pollingIC1(const Graph& g, std::vector<bool>& visit, std::vector<int>& visit_mark) {
    checkRoom(1);
    auto sink = [this](const int* nodes, UI count) { pushEdge(nodes, count); };
    searchIC<SeedTest::None>(g, sfmtSeed, sink, nullptr, 0, visit, visit_mark);
}

bool HyperGraph::pollingIC2(const Graph& g, const std::vector<UI>& link, UI k, std::vector<bool>& visit,
                            std::vector<int>& visit_mark) {
    checkRoom(1);
    auto sink = [this](const int* nodes, UI count) { pushEdge(nodes, count); };
    return searchIC<SeedTest::Flag>(g, sfmtSeed, sink, link.data(), k, visit, visit_mark);
}

bool HyperGraph::pollingIC(const Graph& g, const std::vector<UI>& link, UI k, std::vector<bool>& visit,
                           std::vector<int>& visit_mark) {
    return static_cast<const HyperGraph&>(*this).pollingIC(g, sfmtSeed, link, k, visit, visit_mark);
}

namespace {

auto bufferSink(HyperedgeBuffer& out) {
    return [&out](const int* nodes, UI count) {
        out.nodes.append({nodes, count});
        out.sizes.push_back(count);
    };
}

auto noSink() {
    return [](const int*, UI) {};
}

}  // namespace

void HyperGraph::pollingLT1(const Graph& g, sfmt_t& rng, HyperedgeBuffer& out, std::vector<bool>& visit,
                            std::vector<int>& visit_mark) const {
    auto sink = bufferSink(out);
    walkLT<SeedTest::None>(g, rng, sink, nullptr, 0, visit, visit_mark);
}

void HyperGraph::pollingIC1(const Graph& g, sfmt_t& rng, HyperedgeBuffer& out, std::vector<bool>& visit,
                            std::vector<int>& visit_mark) const {
    auto sink = bufferSink(out);
    searchIC<SeedTest::None>(g, rng, sink, nullptr, 0, visit, visit_mark);
}

bool HyperGraph::pollingLT(const Graph& g, sfmt_t& rng, const std::vector<UI>& link, UI k, std::vector<bool>& visit,
                           std::vector<int>& visit_mark) const {
    auto sink = noSink();
    return walkLT<SeedTest::Exit>(g, rng, sink, link.data(), k, visit, visit_mark);
}

bool HyperGraph::pollingIC(const Graph& g, sfmt_t& rng, const std::vector<UI>& link, UI k, std::vector<bool>& visit,
                           std::vector<int>& visit_mark) const {
    auto sink = noSink();
    return searchIC<SeedTest::Exit>(g, rng, sink, link.data(), k, visit, visit_mark);
}
