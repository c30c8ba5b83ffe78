// The directed, weighted social network and the benefit of every node.
//
// Nodes are 1..n; slot 0 of every per-node table belongs to no node. The
// in-neighbour lists and thresholds are held contiguously (one array per kind
// with offsets) so that the reverse samplers walk cache-friendly memory; the
// accessors hand out read-only views of one node's slice.
//
// Thresholds are 32-bit probabilities scaled by UI_MAX. Under LT they are
// cumulative over a node's in-edges (weights[v][0] = 0, then running sums);
// under IC each entry j >= 1 belongs to one in-edge and entry 0 is unused.
//
// Loading validates both files completely and throws std::runtime_error with
// a one-line message naming the file and the fault; after that the graph is
// trusted and read-only, and every sampling thread may read it without locks.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/growArray.h"
#include "core/types.h"
#include "graph/model.h"
#include "io/fileMapping.h"

namespace lattis {


// Which benefit layout a Graph keeps (see getBen): the verifier's compact
// list of positive-benefit nodes, or the selection program's dense table.
enum class BenefitLayout { Compact, Dense };

struct GraphView;
struct LoadFaults;
struct NetworkSource;
class TextReader;

// A network in memory, as the network file holds it: in-neighbours of v are
// adj[offsets[v] .. offsets[v + 1]) (ids 1..n), prob parallel to adj;
// offsets has n + 2 entries, the first two 0.
struct NetworkArrays {
    std::uint32_t n = 0;
    std::span<const std::uint32_t> offsets;
    std::span<const int> adj;
    std::span<const float> prob;
};

// The thresholds of a node's d in-edge probabilities (checked: not NaN, not
// negative) under `model`, as a load makes them and a deferred load's fast
// sampler too: entry 0, then one per in-edge (d + 1 entries in out).
void nodeThresholds(Model model, const float* prob, UI d, UI* out);

class Graph {
public:
    explicit Graph(BenefitLayout layout = BenefitLayout::Dense);

    // Load the network file and the benefit file; call one of them once.
    void readGraphLT(const char* filename, const char* benfile, NetworkLoad load = NetworkLoad::Copy);
    void readGraphIC(const char* filename, const char* benfile, NetworkLoad load = NetworkLoad::Copy);
    // The same from memory (benefit[i] of node i + 1), giving the Graph the
    // file and the benefit file with these values would: ids outside 1..n,
    // NaN or negative probabilities, benefits that are not finite or whose
    // sum is not are refused with std::invalid_argument.
    void loadArrays(const NetworkArrays& net, std::span<const double> benefit, Model model);
    // The network file with benefits from memory (benefit[i] of node i + 1;
    // none, every benefit 0, when the span is empty).
    void readNetworkWith(const char* filename, std::span<const double> benefit, Model model,
                         NetworkLoad load = NetworkLoad::Copy);

    // In-neighbours of v, in file order.
    std::span<const int> operator[](int v) const {
        return {inIds + adjOff[v], static_cast<std::size_t>(adjOff[v + 1] - adjOff[v])};
    }
    // Thresholds of v: d(v) + 1 entries for v >= 1, none for v = 0.
    std::span<const UI> getWeight(int v) const {
        if (v == 0) return {};
        return {weights.data() + weightStart(v), static_cast<std::size_t>(adjOff[v + 1] - adjOff[v] + 1)};
    }
    int getDegree(int v) const { return static_cast<int>(adjOff[v + 1] - adjOff[v]); }
    // node_deg[v]: d(v) under IC, d(v) + 1 under LT (0 for v = 0).
    int getNodeDeg(int v) const { return v == 0 ? 0 : getDegree(v) + (loadedModel == Model::LT ? 1 : 0); }
    int getSize() const { return static_cast<int>(numNodes); }
    int getEdge() const { return static_cast<int>(numEdges); }

    // Benefit positions. Compact: one per node with a positive benefit, in
    // node order. Dense: n + 1 positions, position i standing for node i + 1
    // (node id 0 and benefit 0 where that benefit is not positive, and at i = n).
    std::span<const UI> getBenIndex() const { return ben_ind.view(); }
    std::span<const double> getBen() const { return ben.view(); }
    UI getNodeInBen(unsigned i) const { return ben_ind[i]; }

    // Sum of all n benefits, whatever their sign.
    double getTotalBenefit() const { return totalBen; }
    // Sum of the positive benefits: the mass that roots are drawn from, and so
    // the scale of every benefit estimate.
    double getPositiveBenefit() const { return positiveBen; }
    bool hasNegativeBenefit() const { return negativeBen; }

    // The arc count the network file's header states, and the in-edges its
    // degree lists hold (the loader keeps the lists; callers refuse a
    // header that disagrees).
    std::uint64_t headerEdges() const { return statedEdges; }
    std::uint64_t listedEdges() const {
        return adjOff.size() > numNodes + 1u ? static_cast<std::uint64_t>(adjOff[numNodes + 1]) : 0;
    }
    // Under LT: the nodes whose in-weights sum above 1 (past a rounding
    // tolerance), whose in-edges beyond the point where the running sum
    // reaches 1 are never drawn, and the largest such sum (0 when none).
    std::uint32_t heavyInWeightNodes() const { return heavyNodes; }
    double largestInWeightSum() const { return largestInSum; }

    BenefitLayout getLayout() const { return layout; }
    // The model the network was loaded under (IC until a load).
    Model model() const { return loadedModel; }

    // The flat arrays, read-only, for the samplers (graphView.h).
    GraphView view() const;

    // Gives the thresholds' memory back, for a run whose fast samplers
    // (fastSampler.h) hold all they need of them; getWeight and the classic
    // samplers must not be used afterwards. After a deferred load (below),
    // lets the mapped probabilities go instead.
    void releaseThresholds();
    bool hasThresholds() const { return !weights.empty() || numNodes == 0; }
    // Asks the next load, when it is NetworkLoad::Map, to check the
    // probabilities (and under LT note their sums) but leave them in the
    // mapping rather than make thresholds of them: a fast sampler builds its
    // tables from them (view().probabilities), so the thresholds' array, a
    // third of a large network's memory, is never cleared and filled.
    // getWeight and the classic samplers must not be used on such a graph.
    // Other loads ignore it.
    void deferThresholds() { deferRequested = true; }
    // After a deferred load, lets go of the resident pages of the mapped
    // probabilities of nodes v0 .. v1 - 1, which a fast sampler's build has
    // read (they stay in the page cache and are read again if asked for);
    // otherwise does nothing.
    void releaseProbabilities(std::uint32_t v0, std::uint32_t v1) const;

private:
    std::size_t weightStart(int v) const { return static_cast<std::size_t>(adjOff[v]) + static_cast<std::size_t>(v) - 1; }
    void readNetwork(const char* filename, Model model, NetworkLoad load = NetworkLoad::Copy);
    // A graph of this one's layout and deferral request with that network
    // read, for the readers that replace this graph only once all is read.
    Graph freshNetwork(const char* filename, Model model, NetworkLoad load) const;
    ULL readOffsets(const NetworkSource& src);
    void readInNeighbours(const NetworkSource& src, ULL sum);
    void readThresholds(const NetworkSource& src, ULL sum);
    std::uint32_t rangeStart(std::size_t r) const;
    template <class P>
    void thresholdsOfRange(std::uint32_t v0, std::uint32_t v1, const P* prob, LoadFaults& f);
    // Under LT, the in-weight sums of the range's nodes alone.
    void inWeightsOfRange(std::uint32_t v0, std::uint32_t v1, const float* prob, LoadFaults& f) const;
    void readBenefit(const char* benfile);
    bool benefitsOnTeam(TextReader& in, std::uint64_t bytes);
    void clearBenefits(const std::string& label);
    void takeBenefit(std::uint32_t i, double b);
    void setBenefits(std::span<const double> benefit);

    std::uint32_t numNodes = 0;
    std::uint32_t numEdges = 0;
    // inIds[adjOff[v] .. adjOff[v + 1]) are the in-neighbours of v; n + 2
    // offsets. inIds points into adjList, or into networkMap for a network
    // loaded with NetworkLoad::Map (adjList then stays empty). The three big
    // arrays are fresh anonymous mappings (zero
    // pages, huge pages where the system allows), filled by the reads
    // without first being cleared, which on large networks spares gigabytes
    // of writes and most page faults.
    GrowArray<std::int64_t> adjOff;
    GrowArray<int> adjList;
    FileMapping networkMap;
    const int* inIds = nullptr;
    // weights[weightStart(v) .. + d(v) + 1) are the thresholds of v (v >= 1).
    GrowArray<UI> weights;
    // A deferred load's probabilities, in networkMap from probStart on.
    bool deferRequested = false;
    const float* deferredProb = nullptr;
    ULL probStart = 0;
    // Mappings of their own, as the network's arrays: the dense table's
    // fresh pages are zero, so a load on the team faults them in (and the
    // kernel clears them) on the threads that fill them.
    GrowArray<UI> ben_ind;
    GrowArray<double> ben;
    double totalBen = 0.0;
    double positiveBen = 0.0;
    bool negativeBen = false;
    BenefitLayout layout;
    Model loadedModel = Model::IC;
    std::uint64_t statedEdges = 0;
    std::uint32_t heavyNodes = 0;
    double largestInSum = 0.0;
};

}  // namespace lattis
