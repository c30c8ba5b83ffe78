// Loading of network and benefit files: the byte layout, the thresholds of
// both models to the bit, both benefit layouts, and one message per kind of
// malformed file (each naming the file and the fault). The network is read
// in blocks on the OpenMP team: loads on one and on several threads give
// the same arrays, and the same message, naming the first fault in file
// order, for a file broken in several blocks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <omp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "core/tuning.h"
#include "graph/graph.h"
#include "graph/graphView.h"
#include "graph/rootDistribution.h"
#include "netpack/netpack.h"
#include "support/testNetwork.h"

using namespace lattis;

namespace {

// A table the graph lends as a span, as a vector to compare.
template <class T>
std::vector<T> copied(std::span<const T> s) {
    return {s.begin(), s.end()};
}

using testnet::Arc;
using testnet::TempDir;

constexpr UI kMax = 4294967295u;

void load(Graph& g, Model model, const std::string& net, const char* ben, NetworkLoad how = NetworkLoad::Copy) {
    if (model == Model::LT)
        g.readGraphLT(net.c_str(), ben, how);
    else
        g.readGraphIC(net.c_str(), ben, how);
}

constexpr int kTeam = 3;

// Runs f on a team of `threads` for the loader, then restores the team.
template <class F>
auto onThreads(int threads, F f) {
    const int before = omp_get_max_threads();
    omp_set_num_threads(threads);
    auto result = f();
    omp_set_num_threads(before);
    return result;
}

std::vector<int> inNeighbours(const Graph& g, int v) {
    auto s = g[v];
    return {s.begin(), s.end()};
}

std::vector<UI> weightsOf(const Graph& g, int v) {
    auto s = g.getWeight(v);
    return {s.begin(), s.end()};
}

std::vector<int> nodeDegs(const Graph& g) {
    std::vector<int> d;
    for (int v = 0; v <= g.getSize(); ++v) d.push_back(g.getNodeDeg(v));
    return d;
}

template <class T>
std::string raw(T v) {
    std::string s;
    testnet::appendRaw(s, v);
    return s;
}

// The message of the runtime_error that f throws, or "" (a failure) if none.
template <class F>
std::string errorOf(F f) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    ADD_FAILURE() << "expected a std::runtime_error";
    return "";
}

void expectMentions(const std::string& msg, const std::vector<std::string>& parts) {
    EXPECT_EQ(msg.find('\n'), std::string::npos) << msg;
    for (const std::string& p : parts) EXPECT_NE(msg.find(p), std::string::npos) << "'" << p << "' missing in: " << msg;
}

// A network where node 1 has one in-edge from each of nodes 2 .. d + 1, with
// the given probabilities in order:  2 -> 1, 3 -> 1, ..., (d+1) -> 1.
std::vector<Arc> fanIn(const std::vector<float>& probs) {
    std::vector<Arc> arcs;
    for (std::size_t j = 0; j < probs.size(); ++j) arcs.push_back({static_cast<int>(j) + 2, 1, probs[j]});
    return arcs;
}

class GraphFiles : public ::testing::Test {
protected:
    TempDir dir;
    std::string net = dir.path("network.bin");
    std::string ben = dir.path("benefit.txt");

    void writeNet(int n, const std::vector<Arc>& arcs) { testnet::writeNetwork(net, n, arcs); }
    void writeOnes(int n) { testnet::writeValues(ben, std::vector<double>(static_cast<std::size_t>(n), 1.0)); }

    std::vector<UI> node1Weights(Model model, const std::vector<float>& probs) {
        const int n = static_cast<int>(probs.size()) + 1;
        writeNet(n, fanIn(probs));
        writeOnes(n);
        Graph g;
        load(g, model, net, ben.c_str());
        EXPECT_EQ(g.getDegree(1), static_cast<int>(probs.size()));
        return weightsOf(g, 1);
    }
};

// Two nodes, one edge 2 -> 1 with probability 0.5, spelt out byte by byte.
TEST_F(GraphFiles, ByteLevelExampleLoadsUnderBothModels) {
    const std::string bytes{"\x02\x00\x00\x00"
                            "\x01\x00\x00\x00\x00\x00\x00\x00"
                            "\x01\x00\x00\x00"
                            "\x00\x00\x00\x00"
                            "\x02\x00\x00\x00"
                            "\x00\x00\x00\x3F",
                            28};
    ASSERT_EQ(bytes, testnet::networkBytes(2, {{2, 1, 0.5f}}));
    testnet::writeBytes(net, bytes);
    writeOnes(2);
    for (Model model : {Model::LT, Model::IC}) {
        SCOPED_TRACE(model == Model::LT ? "LT" : "IC");
        Graph g;
        load(g, model, net, ben.c_str());
        EXPECT_EQ(g.model(), model);
        EXPECT_EQ(g.getSize(), 2);
        EXPECT_EQ(g.getEdge(), 1);
        EXPECT_TRUE(inNeighbours(g, 0).empty());
        EXPECT_EQ(inNeighbours(g, 1), std::vector<int>{2});
        EXPECT_TRUE(inNeighbours(g, 2).empty());
        EXPECT_EQ(g.getDegree(1), 1);
        EXPECT_EQ(g.getDegree(2), 0);
        EXPECT_TRUE(weightsOf(g, 0).empty());
        EXPECT_EQ(weightsOf(g, 1), (std::vector<UI>{0, 2147483648u}));
        if (model == Model::LT) {
            EXPECT_EQ(nodeDegs(g), (std::vector<int>{0, 2, 1}));
            EXPECT_EQ(weightsOf(g, 2), std::vector<UI>{0});
        } else {
            EXPECT_EQ(nodeDegs(g), (std::vector<int>{0, 1, 0}));
            EXPECT_EQ(weightsOf(g, 2), std::vector<UI>{kMax});
        }
    }
}

TEST_F(GraphFiles, LtThresholdsAreSinglePrecisionRunningSums) {
    EXPECT_EQ(node1Weights(Model::LT, {0.25f, 0.5f}), (std::vector<UI>{0, 1073741824u, 3221225472u}));
    // 0.1f + 0.2f + 0.3f rounds to 0.6000000238..., not 0.6.
    EXPECT_EQ(node1Weights(Model::LT, {0.1f, 0.2f, 0.3f}),
              (std::vector<UI>{0, 429496736u, 1288490240u, 2576980480u}));
    EXPECT_EQ(node1Weights(Model::LT, {0.6f, 0.6f}), (std::vector<UI>{0, 2576980480u, kMax}));
    // Once the sum reaches 1.0 every later entry is certain too.
    EXPECT_EQ(node1Weights(Model::LT, {0.5f, 1.0f, 0.25f}), (std::vector<UI>{0, 2147483648u, kMax, kMax}));
    EXPECT_EQ(node1Weights(Model::LT, {std::numeric_limits<float>::infinity(), 0.0f}), (std::vector<UI>{0, kMax, kMax}));
}

TEST_F(GraphFiles, IcThresholdsArePerEdge) {
    EXPECT_EQ(node1Weights(Model::IC, {0.25f, 0.5f}), (std::vector<UI>{0, 1073741824u, 2147483648u}));
    EXPECT_EQ(node1Weights(Model::IC, {0.0f, 0.5f}), (std::vector<UI>{0, 0, 2147483648u}));
    // A last edge of probability 0 never fires: it stays 0, not certain.
    EXPECT_EQ(node1Weights(Model::IC, {0.5f, 0.0f}), (std::vector<UI>{0, 2147483648u, 0}));
    EXPECT_EQ(node1Weights(Model::IC, {0.5f, 1.0f, 0.25f}), (std::vector<UI>{0, 2147483648u, kMax, 1073741824u}));
    EXPECT_EQ(node1Weights(Model::IC, {1.5f, std::numeric_limits<float>::infinity()}), (std::vector<UI>{0, kMax, kMax}));
}

// 2 -> 1 (0.25), 3 -> 1 (0.5); nodes 2 and 3 have no in-edges.
TEST_F(GraphFiles, NodeDegreeCountsTheExtraLtSlot) {
    writeNet(3, fanIn({0.25f, 0.5f}));
    writeOnes(3);
    Graph lt, ic;
    load(lt, Model::LT, net, ben.c_str());
    load(ic, Model::IC, net, ben.c_str());
    EXPECT_EQ(nodeDegs(lt), (std::vector<int>{0, 3, 1, 1}));
    EXPECT_EQ(nodeDegs(ic), (std::vector<int>{0, 2, 0, 0}));
    for (int v : {2, 3}) {
        EXPECT_TRUE(inNeighbours(lt, v).empty());
        EXPECT_EQ(weightsOf(lt, v), std::vector<UI>{0});
        EXPECT_EQ(weightsOf(ic, v), std::vector<UI>{kMax});
    }
    EXPECT_EQ(inNeighbours(lt, 1), (std::vector<int>{2, 3}));
    EXPECT_EQ(lt.getDegree(1), 2);
    EXPECT_EQ(ic.getDegree(1), 2);
}

//   1 -> 2 (0.5)   3 -> 2 (0.25)   2 -> 3 (1.0)   4 -> 1 (0.75)
// In-neighbour lists keep file order across several nodes.
TEST_F(GraphFiles, SeveralNodesKeepTheirSlices) {
    writeNet(4, {{1, 2, 0.5f}, {3, 2, 0.25f}, {2, 3, 1.0f}, {4, 1, 0.75f}});
    writeOnes(4);
    Graph g;
    load(g, Model::LT, net, ben.c_str());
    EXPECT_EQ(inNeighbours(g, 1), std::vector<int>{4});
    EXPECT_EQ(inNeighbours(g, 2), (std::vector<int>{1, 3}));
    EXPECT_EQ(inNeighbours(g, 3), std::vector<int>{2});
    EXPECT_TRUE(inNeighbours(g, 4).empty());
    EXPECT_EQ(weightsOf(g, 1), (std::vector<UI>{0, 3221225472u}));
    EXPECT_EQ(weightsOf(g, 2), (std::vector<UI>{0, 2147483648u, 3221225472u}));
    EXPECT_EQ(weightsOf(g, 3), (std::vector<UI>{0, kMax}));
    EXPECT_EQ(weightsOf(g, 4), std::vector<UI>{0});
}

TEST_F(GraphFiles, BenefitLayouts) {
    writeNet(4, {});
    testnet::writeValues(ben, std::vector<double>{0, 2.5, -1, 0.5});
    Graph compact(BenefitLayout::Compact), dense(BenefitLayout::Dense);
    load(compact, Model::LT, net, ben.c_str());
    load(dense, Model::IC, net, ben.c_str());
    for (const Graph* g : {&compact, &dense}) {
        EXPECT_EQ(g->getTotalBenefit(), 2.0);
        EXPECT_EQ(g->getPositiveBenefit(), 3.0);
        EXPECT_TRUE(g->hasNegativeBenefit());
    }
    EXPECT_EQ(compact.getLayout(), BenefitLayout::Compact);
    EXPECT_EQ(copied(compact.getBenIndex()), (std::vector<UI>{2, 4}));
    EXPECT_EQ(copied(compact.getBen()), (std::vector<double>{2.5, 0.5}));
    EXPECT_EQ(compact.getNodeInBen(1), 4u);
    EXPECT_EQ(copied(dense.getBenIndex()), (std::vector<UI>{0, 2, 0, 4, 0}));
    EXPECT_EQ(copied(dense.getBen()), (std::vector<double>{0, 2.5, 0, 0.5, 0}));
    EXPECT_EQ(dense.getNodeInBen(0), 0u);
    EXPECT_EQ(dense.getNodeInBen(3), 4u);
}

TEST_F(GraphFiles, BenefitWhitespaceDoesNotMatter) {
    writeNet(4, {});
    testnet::writeBytes(ben, "1.5 -2e0 +3 0.25\n");
    Graph oneLine(BenefitLayout::Compact);
    load(oneLine, Model::IC, net, ben.c_str());
    testnet::writeBytes(ben, "\n  1.5\r\n-2e0\n\t+3\n0.25");
    Graph perLine(BenefitLayout::Compact);
    load(perLine, Model::IC, net, ben.c_str());
    EXPECT_EQ(copied(oneLine.getBenIndex()), (std::vector<UI>{1, 3, 4}));
    EXPECT_EQ(copied(oneLine.getBen()), (std::vector<double>{1.5, 3, 0.25}));
    EXPECT_EQ(copied(perLine.getBenIndex()), copied(oneLine.getBenIndex()));
    EXPECT_EQ(copied(perLine.getBen()), copied(oneLine.getBen()));
    EXPECT_EQ(perLine.getTotalBenefit(), 2.75);
    EXPECT_FALSE(Graph().hasNegativeBenefit());
}

TEST_F(GraphFiles, WholeBenefitsAreExact) {
    // Long enough for the reader's digit path: the same values as parsed text.
    writeNet(4, {});
    testnet::writeBytes(ben, "00000012\n99999999 0 7.25" + std::string(32, ' '));
    Graph g(BenefitLayout::Compact);
    load(g, Model::IC, net, ben.c_str());
    EXPECT_EQ(copied(g.getBen()), (std::vector<double>{12, 99999999, 7.25}));
    EXPECT_EQ(g.getTotalBenefit(), 100000018.25);
}

TEST_F(GraphFiles, TextAfterTheLastBenefitIsNotRead) {
    writeNet(2, {});
    testnet::writeBytes(ben, "1 2 not-a-number\nnan\n");
    Graph g(BenefitLayout::Compact);
    load(g, Model::LT, net, ben.c_str());
    EXPECT_EQ(g.getTotalBenefit(), 3.0);
    EXPECT_FALSE(g.hasNegativeBenefit());
}

TEST_F(GraphFiles, EmptyNetwork) {
    writeNet(0, {});
    ASSERT_EQ(testnet::readFile(net).size(), 12u);
    testnet::writeBytes(ben, "");
    Graph compact(BenefitLayout::Compact), dense(BenefitLayout::Dense);
    load(compact, Model::LT, net, ben.c_str());
    load(dense, Model::IC, net, ben.c_str());
    for (const Graph* g : {&compact, &dense}) {
        EXPECT_EQ(g->getSize(), 0);
        EXPECT_EQ(g->getEdge(), 0);
        EXPECT_EQ(g->getTotalBenefit(), 0.0);
        EXPECT_TRUE((*g)[0].empty());
        EXPECT_TRUE(g->getWeight(0).empty());
        EXPECT_EQ(g->getNodeDeg(0), 0);
    }
    EXPECT_TRUE(compact.getBenIndex().empty());
    EXPECT_TRUE(compact.getBen().empty());
    EXPECT_EQ(copied(dense.getBenIndex()), std::vector<UI>{0});
    EXPECT_EQ(copied(dense.getBen()), std::vector<double>{0.0});
}

// A failed load leaves the graph as it was; a second load replaces it whole.
TEST_F(GraphFiles, ReloadingReplacesAndFailuresLeaveNoTrace) {
    writeNet(2, {{2, 1, 0.5f}});
    writeOnes(2);
    Graph g;
    load(g, Model::LT, net, ben.c_str());
    const std::string other = dir.path("other.bin");
    testnet::writeNetwork(other, 3, {{1, 3, 0.25f}});
    EXPECT_FALSE(errorOf([&] { g.readGraphIC(other.c_str(), ben.c_str()); }).empty());  // 3 nodes, 2 benefits
    EXPECT_EQ(g.model(), Model::LT);
    EXPECT_EQ(weightsOf(g, 1), (std::vector<UI>{0, 2147483648u}));
    EXPECT_EQ(nodeDegs(g), (std::vector<int>{0, 2, 1}));

    writeOnes(3);
    g.readGraphIC(other.c_str(), ben.c_str());
    EXPECT_EQ(g.model(), Model::IC);
    EXPECT_EQ(g.getSize(), 3);
    EXPECT_TRUE(inNeighbours(g, 1).empty());
    EXPECT_EQ(inNeighbours(g, 3), std::vector<int>{1});
    EXPECT_EQ(weightsOf(g, 1), std::vector<UI>{kMax});
    EXPECT_EQ(weightsOf(g, 3), (std::vector<UI>{0, 1073741824u}));
    EXPECT_EQ(nodeDegs(g), (std::vector<int>{0, 0, 0, 1}));
    EXPECT_EQ(g.getTotalBenefit(), 3.0);
}

class MalformedNetwork : public GraphFiles {
protected:
    void SetUp() override { writeOnes(4); }
    // The message of a load on one thread, which a load on a team repeats,
    // and so do loads through a mapping of the file.
    std::string errorFor(const std::string& bytes, Model model = Model::LT) {
        testnet::writeBytes(net, bytes);
        auto message = [&](NetworkLoad how) {
            return [&, how] {
                Graph g;
                return errorOf([&] { load(g, model, net, ben.c_str(), how); });
            };
        };
        const std::string one = onThreads(1, message(NetworkLoad::Copy));
        EXPECT_EQ(onThreads(kTeam, message(NetworkLoad::Copy)), one);
        EXPECT_EQ(onThreads(1, message(NetworkLoad::Map)), one);
        EXPECT_EQ(onThreads(kTeam, message(NetworkLoad::Map)), one);
        // Under either model, mapped loads that leave the thresholds to a
        // fast sampler give the copied load's message too.
        for (Model m : {Model::IC, Model::LT}) {
            auto mMessage = [&](bool defer) {
                return [&, defer] {
                    Graph g;
                    if (defer) g.deferThresholds();
                    return errorOf([&] { load(g, m, net, ben.c_str(), defer ? NetworkLoad::Map : NetworkLoad::Copy); });
                };
            };
            const std::string copied = onThreads(1, mMessage(false));
            EXPECT_EQ(onThreads(1, mMessage(true)), copied);
            EXPECT_EQ(onThreads(kTeam, mMessage(true)), copied);
        }
        return one;
    }
    static std::string header(std::uint32_t n, std::uint64_t m) { return raw(n) + raw(m); }
};

TEST_F(MalformedNetwork, MissingOrNotAFile) {
    Graph g;
    const std::string missing = dir.path("absent.bin");
    expectMentions(errorOf([&] { g.readGraphLT(missing.c_str(), ben.c_str()); }),
                   {"network file", missing, "No such file"});
    expectMentions(errorOf([&] { g.readGraphIC(dir.root().c_str(), ben.c_str()); }),
                   {"network file", dir.root().string(), "not a regular file"});
}

TEST_F(MalformedNetwork, ShorterThanTheHeader) {
    expectMentions(errorFor(""), {net, "truncated", "0 bytes", "header"});
    expectMentions(errorFor(raw<std::uint32_t>(1) + std::string("\x01\x00", 2)), {net, "truncated", "6 bytes"});
}

TEST_F(MalformedNetwork, EdgeCountAboveThirtyTwoBits) {
    expectMentions(errorFor(header(0, 1ull << 32)), {net, "edge count 4294967296", "byte offset 4", "32 bits"});
}

TEST_F(MalformedNetwork, NodeCountBeyondTheFile) {
    // Four nodes promised, degrees of three present.
    expectMentions(errorFor(header(4, 0) + raw(0) + raw(0) + raw(0)), {net, "truncated", "4 nodes", "byte 28", "24 bytes"});
    // A corrupt count must fail before anything of its size is allocated.
    expectMentions(errorFor(header(2147483647u, 0)), {net, "truncated", "2147483647 nodes"});
    expectMentions(errorFor(header(4294967295u, 0)), {net, "node count 4294967295", "byte offset 0", "exceeds"});
}

TEST_F(MalformedNetwork, DegreesBeyondTheFile) {
    const std::string huge = header(2, 0) + raw(2147483647) + raw(2147483647);
    expectMentions(errorFor(huge), {net, "truncated", "4294967294 in-edges", "20 bytes"});
    // 2 -> 1 (0.5), 1 -> 2 (0.5): drop the last byte, then cut into the id block.
    const std::string good = testnet::networkBytes(2, {{2, 1, 0.5f}, {1, 2, 0.5f}});
    ASSERT_EQ(good.size(), 36u);
    expectMentions(errorFor(good.substr(0, 35)), {net, "truncated", "2 in-edges", "from byte 20", "35 bytes"});
    expectMentions(errorFor(good.substr(0, 22)), {net, "truncated", "22 bytes"});
}

TEST_F(MalformedNetwork, NegativeDegree) {
    expectMentions(errorFor(header(2, 0) + raw(0) + raw(-1)), {net, "node 2", "negative degree -1", "byte offset 16"});
}

TEST_F(MalformedNetwork, InNeighbourOutOfRange) {
    // One edge into node 2 from the id under test.
    auto withSource = [](int u) {
        return header(2, 1) + raw(0) + raw(1) + raw(u) + raw(0.5f);
    };
    expectMentions(errorFor(withSource(0)), {net, "in-neighbour 0", "node 2", "byte offset 20", "outside 1..2"});
    expectMentions(errorFor(withSource(3), Model::IC), {net, "in-neighbour 3", "node 2", "outside 1..2"});
    expectMentions(errorFor(withSource(-7)), {net, "in-neighbour -7", "node 2"});
}

TEST_F(MalformedNetwork, ProbabilityNegativeOrNotANumber) {
    // 2 -> 1 (0.5), 1 -> 2 (under test): the bad value sits at byte 32.
    auto withProb = [](float p) { return testnet::networkBytes(2, {{2, 1, 0.5f}, {1, 2, p}}); };
    for (Model model : {Model::LT, Model::IC}) {
        expectMentions(errorFor(withProb(-0.25f), model), {net, "probability -0.25 of the in-edge from 1 to node 2", "byte offset 32", "negative"});
        expectMentions(errorFor(withProb(std::numeric_limits<float>::quiet_NaN()), model),
                       {net, "node 2", "byte offset 32", "not a number"});
        expectMentions(errorFor(withProb(-std::numeric_limits<float>::infinity()), model), {net, "node 2", "negative"});
    }
}

// Faults in several blocks of a network of 2 * kLoadBlock + 10 nodes, each
// with in-edges from the next two: the one reported is the first in the
// file, however the blocks fall to the threads.
TEST_F(MalformedNetwork, FirstFaultInFileOrderAcrossBlocks) {
    constexpr int B = static_cast<int>(kLoadBlock);
    const int n = 2 * B + 10;
    std::vector<Arc> arcs;
    for (int v = 1; v <= n; ++v)
        for (int j = 1; j <= 2; ++j) arcs.push_back({(v + j - 1) % n + 1, v, 0.25f});
    const std::string good = testnet::networkBytes(n, arcs);
    writeOnes(n);
    const std::size_t ids = 12 + 4 * static_cast<std::size_t>(n), probs = ids + 8 * static_cast<std::size_t>(n);
    auto at = [](std::size_t start, int i) { return start + 4 * static_cast<std::size_t>(i); };
    struct Row {
        const char* name;
        std::vector<std::pair<std::size_t, std::string>> patches;  // byte offset, 4 bytes
        std::vector<std::string> mentions;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<Row> rows{
        {"degrees", {{at(12, 2 * B + 2), raw(-1)}, {at(12, B + 4), raw(-3)}},
         {"node " + std::to_string(B + 5) + " has negative degree -3"}},
        {"ids", {{at(ids, 4 * B + 1), raw(0)}, {at(ids, B + 7), raw(n + 1)}, {at(ids, 3 * B), raw(-2)}},
         {"in-neighbour " + std::to_string(n + 1), "byte offset " + std::to_string(at(ids, B + 7))}},
        {"probabilities", {{at(probs, 3 * B + 2), raw(nan)}, {at(probs, B + 9), raw(-0.5f)}},
         {"probability -0.5", "byte offset " + std::to_string(at(probs, B + 9)), "negative"}},
        {"ids before probabilities", {{at(probs, 5), raw(nan)}, {at(ids, 3 * B), raw(0)}},
         {"in-neighbour 0", "byte offset " + std::to_string(at(ids, 3 * B))}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string bytes = good;
        for (const auto& [offset, value] : row.patches) bytes.replace(offset, 4, value);
        for (Model model : {Model::LT, Model::IC}) expectMentions(errorFor(bytes, model), row.mentions);
    }
}

// The arrays of a loaded Graph, to compare two loads bit for bit.
struct LoadedArrays {
    std::vector<std::int64_t> offsets;
    std::vector<int> adj;
    std::vector<UI> weights;
    std::uint32_t heavy = 0;
    double largest = 0;
    bool operator==(const LoadedArrays&) const = default;
};

LoadedArrays arraysOf(const Graph& g) {
    const GraphView v = g.view();
    const std::size_t n = static_cast<std::size_t>(g.getSize()), m = g.listedEdges();
    return {{v.adjOff, v.adjOff + n + 2}, {v.adj, v.adj + m}, {v.weights, v.weights + m + n},
            g.heavyInWeightNodes(), g.largestInWeightSum()};
}

// The file's own arrays through loadArrays, which converts in one pass on
// the calling thread.
LoadedArrays viaArrays(const std::string& file, Model model) {
    const std::string bytes = testnet::readFile(file);
    std::uint32_t n = 0;
    std::memcpy(&n, bytes.data(), 4);
    std::vector<std::uint32_t> offsets(static_cast<std::size_t>(n) + 2, 0);
    for (std::uint32_t v = 1; v <= n; ++v) {
        std::int32_t d = 0;
        std::memcpy(&d, bytes.data() + 12 + 4 * (v - 1), 4);
        offsets[v + 1] = offsets[v] + static_cast<std::uint32_t>(d);
    }
    const std::size_t m = offsets[n + 1], ids = 12 + 4 * static_cast<std::size_t>(n);
    std::vector<int> adj(m);
    std::vector<float> prob(m);
    std::memcpy(adj.data(), bytes.data() + ids, 4 * m);
    std::memcpy(prob.data(), bytes.data() + ids + 4 * m, 4 * m);
    Graph g;
    g.loadArrays({n, offsets, adj, prob}, {}, model);
    return arraysOf(g);
}

// A real network (cit-HepTh from ../shared/data, weighted cascade), and one
// node with in-edges over several blocks and LT weights above 1 beside many
// with none: one thread and a team load the same Graph as loadArrays, and
// so do both through a mapping of the file.
TEST_F(GraphFiles, TeamLoadsTheGraphOfOneThread) {
    std::vector<std::string> files;
    const std::string real = std::string(SHARED_DIR) + "/data/cit-HepTh.txt.gz";
    if (std::ifstream(real).good()) {
        netpack::PackConfig cfg;
        cfg.input = real;
        cfg.networkOut = dir.path("hep.bin");
        netpack::pack(cfg);
        files.push_back(cfg.networkOut);
    } else {
        ADD_FAILURE() << "no shared data at " << real;
    }
    const int fan = 3 * static_cast<int>(kLoadBlock) + 5, n = fan + 2 * static_cast<int>(kLoadBlock);
    std::vector<Arc> arcs;
    for (int j = 0; j < fan; ++j) arcs.push_back({j % (n - 1) + 2, 1, 1e-5f});
    arcs.push_back({1, n, 0.5f});
    testnet::writeNetwork(dir.path("fan.bin"), n, arcs);
    files.push_back(dir.path("fan.bin"));
    for (const std::string& file : files)
        for (Model model : {Model::LT, Model::IC}) {
            SCOPED_TRACE(file + (model == Model::LT ? " LT" : " IC"));
            auto loaded = [&] {
                Graph g;
                g.readNetworkWith(file.c_str(), {}, model);
                return arraysOf(g);
            };
            const LoadedArrays one = onThreads(1, loaded);
            EXPECT_GT(one.adj.size(), 2 * kLoadBlock);
            EXPECT_TRUE(onThreads(kTeam, loaded) == one);
            EXPECT_TRUE(viaArrays(file, model) == one);
            writeOnes(static_cast<int>(one.offsets.size()) - 2);
            for (int threads : {1, kTeam}) {
                const LoadedArrays mapped = onThreads(threads, [&] {
                    Graph g;
                    load(g, model, file, ben.c_str(), NetworkLoad::Map);
                    return arraysOf(g);
                });
                EXPECT_TRUE(mapped == one) << threads << " threads, mapped";
            }
        }
}

class MalformedBenefit : public GraphFiles {
protected:
    void SetUp() override { writeNet(3, {{1, 2, 0.5f}}); }
    // The message of one thread, which a team gives too.
    std::string errorFor(const std::string& text) {
        testnet::writeBytes(ben, text);
        auto error = [&] {
            Graph g;
            return errorOf([&] { g.readGraphLT(net.c_str(), ben.c_str()); });
        };
        const std::string one = onThreads(1, error);
        EXPECT_EQ(onThreads(kTeam, error), one);
        return one;
    }
};

// A benefit file of several blocks: a team reads the benefits of one thread,
// and of faults in several blocks names the first.
TEST_F(MalformedBenefit, TeamReadsTheBenefitsOfOneThread) {
    const int n = 3 * static_cast<int>(kTextBlock) / 6;
    writeNet(n, {});
    std::string text;
    for (int i = 0; i < n; ++i) text += i % 7 == 0 ? "-0.125\n" : i % 3 == 0 ? "00\n" : i % 5 == 0 ? "17\n" : "2.75\n";
    testnet::writeBytes(ben, text);
    auto loaded = [&] {
        Graph g;
        g.readGraphIC(net.c_str(), ben.c_str());
        return std::make_tuple(copied(g.getBen()), copied(g.getBenIndex()), g.getTotalBenefit(), g.getPositiveBenefit());
    };
    const auto one = onThreads(1, loaded);
    EXPECT_EQ(std::get<0>(one)[5], 17.0);
    EXPECT_TRUE(onThreads(kTeam, loaded) == one);
    // The root distribution over these benefits is that of one pass in
    // position order, on one thread and on a team, and so are its lookups.
    Graph g;
    g.readGraphIC(net.c_str(), ben.c_str());
    const std::span<const double> b = g.getBen();
    std::vector<UI> pass(b.size() + 1, 0);
    double c = 0;
    for (std::size_t i = 1; i <= b.size(); ++i) {
        c += b[i - 1];
        pass[i] = static_cast<UI>(4294967295.0 * c / g.getPositiveBenefit());
    }
    pass.back() = 0xFFFFFFFFu;  // the dense layout's last position holds +0
    const RootDistribution roots = onThreads(1, [&] { return RootDistribution(g); });
    const RootDistribution team = onThreads(kTeam, [&] { return RootDistribution(g); });
    EXPECT_EQ(copied(roots.cumulative()), pass);
    EXPECT_EQ(copied(team.cumulative()), pass);
    for (std::size_t i = 1; i < pass.size(); i += 97)
        for (UI draw : {pass[i] - 1, pass[i]}) ASSERT_EQ(team.positionFor(draw), roots.positionFor(draw)) << draw;
    const std::size_t late = text.rfind("2.75"), early = text.find("2.75", text.size() / 3);
    text.replace(late, 4, "2.7x");
    text.replace(early, 4, "nan!");
    const int line = 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(early), '\n'));
    expectMentions(errorFor(text), {"\"nan!\"", "on line " + std::to_string(line) + " is not"});
}

TEST_F(MalformedBenefit, NotGivenOrMissing) {
    Graph g;
    expectMentions(errorOf([&] { g.readGraphLT(net.c_str(), nullptr); }), {"no benefit file given"});
    const std::string missing = dir.path("absent.txt");
    expectMentions(errorOf([&] { g.readGraphIC(net.c_str(), missing.c_str()); }), {"benefit file", missing, "No such file"});
    expectMentions(errorOf([&] { g.readGraphIC(net.c_str(), dir.root().c_str()); }), {"benefit file", dir.root().string()});
}

TEST_F(MalformedBenefit, FewerNumbersThanNodes) {
    expectMentions(errorFor("1\n2\n"), {ben, "holds 2 numbers", "3 nodes"});
    expectMentions(errorFor(" \n\t\n"), {ben, "holds 0 numbers", "3 nodes"});
}

TEST_F(MalformedBenefit, TokenThatIsNotANumber) {
    expectMentions(errorFor("1\n2.5x\n3\n"), {ben, "token 2", "\"2.5x\"", "line 2", "not a number"});
    expectMentions(errorFor("1 2,5 3"), {ben, "token 2", "\"2,5\"", "line 1", "not a number"});
    expectMentions(errorFor("\n\n1 2 abc"), {ben, "token 3", "\"abc\"", "line 3", "not a number"});
    expectMentions(errorFor("1 2 +-3"), {ben, "token 3", "not a number"});
    expectMentions(errorFor("1 1e999 3"), {ben, "token 2", "\"1e999\"", "out of the range"});
}

TEST_F(MalformedBenefit, FiniteBenefitsWhoseSumIsNot) {
    expectMentions(errorFor("1e308 1e308 1"), {ben, "up to node 2", "sum past the range of a double"});
    expectMentions(errorFor("1 -1.7e308 -1.7e308"), {ben, "up to node 3", "sum past the range"});
}

TEST_F(MalformedBenefit, StreamsAreReadOnlyAsFarAsNeeded) {
    // A device without end: the first byte already is no number.
    Graph g;
    expectMentions(errorOf([&] { g.readGraphLT(net.c_str(), "/dev/zero"); }),
                   {"benefit file \"/dev/zero\"", "token 1 (\"\\x00", "not a number"});
    // A fifo whose writer stays open after the three numbers: the load ends
    // without waiting for the end of the stream (the writer gives up after 10 s).
    const std::string fifo = dir.path("ben.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<bool> loaded{false}, gaveUp{false};
    std::thread writer([&] {
        const int fd = open(fifo.c_str(), O_WRONLY);
        if (fd < 0) return;
        if (write(fd, "1 2 3\n", 6) != 6) gaveUp = true;
        for (int i = 0; i < 1000 && !loaded; ++i) usleep(10000);
        gaveUp = gaveUp || !loaded;
        close(fd);
    });
    EXPECT_NO_THROW(g.readGraphIC(net.c_str(), fifo.c_str()));
    loaded = true;
    writer.join();
    EXPECT_FALSE(gaveUp);
    EXPECT_EQ(g.getTotalBenefit(), 6.0);
}

TEST_F(MalformedBenefit, BenefitThatIsNotFinite) {
    expectMentions(errorFor("1 inf 3"), {ben, "token 2", "node 2", "not finite"});
    expectMentions(errorFor("-inf 2 3"), {ben, "node 1", "not finite"});
    expectMentions(errorFor("1 2 nan"), {ben, "node 3", "not finite"});
}

}  // namespace
