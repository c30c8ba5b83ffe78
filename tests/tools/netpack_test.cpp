// Tests of netpack: reading edge lists and Matrix Market files, renumbering,
// self-loops and duplicates, the weight, benefit and cost models, the R-MAT
// generator, the output files and the program's command line.
//
// Most cases call the library directly; a few run the built program. Network
// files are compared byte for byte with testnet::networkBytes and loaded back
// through the library's Graph.
#include "netpack/netpack.h"

#include <omp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "graph/graph.h"
#include "support/testNetwork.h"

using namespace lattis;

namespace {

using testnet::Arc;
using testnet::TempDir;
namespace fs = std::filesystem;

using testnet::contains;

struct Packed {
    netpack::PackReport report;
    std::string network, map;
};

// Packs `text` (as file in.txt) with cfg and returns the report and the bytes
// of the network and map files.
Packed packText(const TempDir& dir, const std::string& text, netpack::PackConfig cfg = {}) {
    testnet::writeBytes(dir.path("in.txt"), text);
    cfg.input = dir.path("in.txt");
    cfg.networkOut = dir.path("net.bin");
    Packed p;
    p.report = netpack::pack(cfg);
    p.network = testnet::readFile(dir.path("net.bin"));
    p.map = testnet::readFile(dir.path("net.bin.map"));
    return p;
}

// The message of the runtime_error that packing `text` raises.
std::string packFailure(const TempDir& dir, const std::string& text, netpack::PackConfig cfg = {}) {
    return testnet::messageOf<std::runtime_error>([&] { packText(dir, text, cfg); });
}

Graph loadBack(const TempDir& dir, const std::string& network, int n) {
    testnet::writeValues(dir.path("ones.ben"), std::vector<double>(static_cast<std::size_t>(n), 1.0));
    Graph g;
    g.readGraphIC(network.c_str(), dir.path("ones.ben").c_str());
    return g;
}

std::vector<int> inNeighbours(const Graph& g, int v) {
    auto s = g[v];
    return {s.begin(), s.end()};
}

float wc(int d) {
    return static_cast<float>(1.0 / d);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

void writeGzip(const std::string& file, const std::string& text) {
    gzFile f = gzopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(gzwrite(f, text.data(), static_cast<unsigned>(text.size())), static_cast<int>(text.size()));
    ASSERT_EQ(gzclose(f), Z_OK);
}

}  // namespace

// Ids 7, 42, 100 become 1, 2, 3:
//
//   100 -> 7, 7 -> 42, 42 -> 100     (plus the self-loop 42 -> 42 and a
//   second 100 -> 7, both dropped)
TEST(NetpackRead, CommentsCrlfTabsGapsSelfLoopsAndDuplicates) {
    TempDir dir;
    Packed p = packText(dir,
                        "# Directed graph: a SNAP-style header\r\n"
                        "% a comment of the other kind\n"
                        "\n"
                        "100\t7\r\n"
                        "7 42\r\n"
                        "  \t \r\n"
                        "42 42\n"
                        "100 7\n"
                        "\t 42  100 \r");
    EXPECT_EQ(p.network, testnet::networkBytes(3, {{3, 1, 1.0f}, {1, 2, 1.0f}, {2, 3, 1.0f}}));
    EXPECT_EQ(p.map, "7\n42\n100\n");
    EXPECT_EQ(p.report.n, 3u);
    EXPECT_EQ(p.report.arcs, 3u);
    EXPECT_EQ(p.report.entries, 5u);
    EXPECT_EQ(p.report.lines, 9u);
    EXPECT_EQ(p.report.counts.selfLoops, 1u);
    EXPECT_EQ(p.report.counts.duplicates, 1u);

    Graph g = loadBack(dir, dir.path("net.bin"), 3);
    EXPECT_EQ(g.getSize(), 3);
    EXPECT_EQ(g.getEdge(), 3);
    EXPECT_EQ(inNeighbours(g, 1), std::vector<int>{3});
    EXPECT_EQ(inNeighbours(g, 2), std::vector<int>{1});
    EXPECT_EQ(inNeighbours(g, 3), std::vector<int>{2});
}

// In-lists keep input order, and the first of equal arcs is the one kept:
//
//   4 -> 3, 1 -> 3, 2 -> 3, 1 -> 3 (again), 3 -> 1
TEST(NetpackRead, InListsInInputOrderWithWeightedCascade) {
    TempDir dir;
    Packed p = packText(dir, "4 3\n1 3\n2 3\n1 3\n3 1\n");
    EXPECT_EQ(p.network, testnet::networkBytes(4, {{4, 3, wc(3)}, {1, 3, wc(3)}, {2, 3, wc(3)}, {3, 1, wc(1)}}));
    EXPECT_EQ(p.report.counts.duplicates, 1u);
    Graph g = loadBack(dir, dir.path("net.bin"), 4);
    EXPECT_EQ(inNeighbours(g, 3), (std::vector<int>{4, 1, 2}));
    EXPECT_EQ(g.getDegree(2), 0);
    EXPECT_EQ(g.getDegree(4), 0);
}

// -undirected 1: each line adds u -> v and then v -> u.
//
//   1 - 2 - 3, and "3 2" repeats the second edge (two duplicate arcs)
TEST(NetpackRead, UndirectedAddsBothArcs) {
    TempDir dir;
    netpack::PackConfig cfg;
    cfg.undirected = true;
    Packed p = packText(dir, "1 2\n2 3\n3 2\n", cfg);
    EXPECT_EQ(p.network, testnet::networkBytes(3, {{2, 1, wc(1)}, {1, 2, wc(2)}, {3, 2, wc(2)}, {2, 3, wc(1)}}));
    EXPECT_EQ(p.report.counts.duplicates, 2u);
    EXPECT_EQ(p.report.arcs, 4u);
}

// Ids beyond 32 bits go through the sorted renumbering; so do small files
// whose ids are spread too thinly for a bitmap. Both keep increasing order.
TEST(NetpackRead, WideAndSparseIdsRenumberInIncreasingOrder) {
    TempDir dir;
    Packed wide = packText(dir, "9223372036854775808 0\n5000000000 9223372036854775808\n0 5000000000\n");
    EXPECT_EQ(wide.map, "0\n5000000000\n9223372036854775808\n");
    EXPECT_EQ(wide.network, testnet::networkBytes(3, {{3, 1, 1.0f}, {1, 2, 1.0f}, {2, 3, 1.0f}}));

    Packed sparse = packText(dir, "4000000000 17\n3 4000000000\n17 3\n");
    EXPECT_EQ(sparse.map, "3\n17\n4000000000\n");
    EXPECT_EQ(sparse.network, testnet::networkBytes(3, {{3, 2, 1.0f}, {1, 3, 1.0f}, {2, 1, 1.0f}}));

    // A narrow id first, then a wide one: the columns widen mid-file.
    Packed mixed = packText(dir, "1 2\n2 10000000000\n");
    EXPECT_EQ(mixed.map, "1\n2\n10000000000\n");
    EXPECT_EQ(mixed.network, testnet::networkBytes(3, {{1, 2, 1.0f}, {2, 3, 1.0f}}));
}

TEST(NetpackRead, GzipInputReadsLikePlainAndTruncationIsAnError) {
    TempDir dir;
    std::string text = "# header\n5 6\r\n6 7\n7 5\n";
    Packed plain = packText(dir, text);
    writeGzip(dir.path("in.txt.gz"), text);
    netpack::PackConfig cfg;
    cfg.input = dir.path("in.txt.gz");
    cfg.networkOut = dir.path("gz.bin");
    netpack::pack(cfg);
    EXPECT_EQ(testnet::readFile(dir.path("gz.bin")), plain.network);
    EXPECT_EQ(testnet::readFile(dir.path("gz.bin.map")), plain.map);

    // Enough lines that the compressed stream is long; cut it in the middle.
    std::string big;
    for (int i = 0; i < 20000; ++i) big += std::to_string(i) + " " + std::to_string((i * 7919) % 20000) + "\n";
    writeGzip(dir.path("big.gz"), big);
    std::string z = testnet::readFile(dir.path("big.gz"));
    testnet::writeBytes(dir.path("cut.gz"), z.substr(0, z.size() / 2));
    cfg.input = dir.path("cut.gz");
    const std::string message = testnet::messageOf<std::runtime_error>([&] { netpack::pack(cfg); });
    EXPECT_TRUE(contains(message, dir.path("cut.gz") + ":")) << message;
    EXPECT_TRUE(contains(message, "truncated")) << message;
}

TEST(NetpackRead, DataAfterTheGzipStreamIsRefused) {
    TempDir dir;
    writeGzip(dir.path("a.gz"), "1 2\n");
    writeGzip(dir.path("b.gz"), "2 3\n");
    const std::string a = testnet::readFile(dir.path("a.gz")), b = testnet::readFile(dir.path("b.gz"));
    netpack::PackConfig cfg;
    cfg.networkOut = dir.path("out.bin");
    // A second member is read on; anything else after a member is refused.
    testnet::writeBytes(dir.path("two.gz"), a + b);
    cfg.input = dir.path("two.gz");
    EXPECT_EQ(netpack::pack(cfg).arcs, 2u);
    for (const std::string& tail : {std::string("3 4\n"), std::string(8, '\0'), std::string("\x1f")}) {
        testnet::writeBytes(dir.path("tail.gz"), a + tail);
        cfg.input = dir.path("tail.gz");
        const std::string message = testnet::messageOf<std::runtime_error>([&] { netpack::pack(cfg); });
        EXPECT_TRUE(contains(message, dir.path("tail.gz") + ":")) << message;
        EXPECT_TRUE(contains(message, "after the end of the gzip stream")) << message;
    }
}

// Malformed inputs, each refused with the file, the line (where there is
// one) and what was expected.
struct Malformed {
    std::string text;
    std::string message;  // after the file name
    netpack::WeightModel weights = netpack::WeightModel::WeightedCascade;
};

void PrintTo(const Malformed& m, std::ostream* os) { *os << testing::PrintToString(m.text); }

class NetpackMalformed : public testing::TestWithParam<Malformed> {};

TEST_P(NetpackMalformed, NamesFileLineAndExpectation) {
    TempDir dir;
    netpack::PackConfig cfg;
    cfg.weights = GetParam().weights;
    EXPECT_EQ(packFailure(dir, GetParam().text, cfg), dir.path("in.txt") + GetParam().message);
    EXPECT_FALSE(fs::exists(dir.path("net.bin")));
}

const std::string kNodeId = "expected a node id (an integer from 0 to 2^63), got ";
const std::string kArcLine = "expected \"u v\" or \"u v p\" (node ids, optional probability), got ";
INSTANTIATE_TEST_SUITE_P(EdgeLists, NetpackMalformed, testing::ValuesIn(std::vector<Malformed>{
    {"1 2\n# c\n-5 3\n", ":3: expected a non-negative node id, got \"-5\""},
    {"1 x2\n", ":1: " + kNodeId + "\"x2\""},
    {"1 9223372036854775809\n", ":1: " + kNodeId + "\"9223372036854775809\""},
    {"1 2\n3\n", ":2: " + kArcLine + "\"3\""},
    {"1 2 0.5 7\n", ":1: " + kArcLine + "\"1 2 0.5 7\""},
    {"# only a comment\n\n", ":2: expected at least one arc \"u v\", found none in 2 lines"},
    {"", ":1: expected at least one arc \"u v\", found none in 0 lines"},
    {"4 4\n5 5\n", ": expected at least one arc that is not a self-loop, found 2 self-loops and nothing else"},
}));

const std::string kProbability = "expected a probability from 0 to 1 in the third column, got ";
INSTANTIATE_TEST_SUITE_P(FileWeights, NetpackMalformed, testing::ValuesIn(std::vector<Malformed>{
    {"1 2 0.5\n2 3 1.5\n", ":2: " + kProbability + "\"1.5\"", netpack::WeightModel::File},
    {"1 2 -0.1\n", ":1: " + kProbability + "\"-0.1\"", netpack::WeightModel::File},
    {"1 2 nan\n", ":1: " + kProbability + "\"nan\"", netpack::WeightModel::File},
    {"1 2 half\n", ":1: " + kProbability + "\"half\"", netpack::WeightModel::File},
    {"1 2 0.5\n2 3\n", ":2: expected a probability in the third column (-w file), got \"2 3\"",
     netpack::WeightModel::File},
}));

const std::string kPattern = "%%MatrixMarket matrix coordinate pattern general\n";
const std::string kBannerForm = "expected \"%%MatrixMarket matrix coordinate pattern|integer|real general|symmetric\", "
                                "got ";
const std::string kLateBanner = ":2: expected the Matrix Market banner on line 1 only, found it on line 2: remove the "
                                "lines before it (or the banner, if the file is an edge list)";
INSTANTIATE_TEST_SUITE_P(MatrixMarket, NetpackMalformed, testing::ValuesIn(std::vector<Malformed>{
    {kPattern + "3 3 2\n1 2\n", ":3: expected 2 entries after the size line (line 2), found 1"},
    {kPattern + "2 2 1\n1 2\n2 1\n", ":4: expected 1 entries after the size line (line 2), found more"},
    {kPattern + "3 3 2\n1 2 5\n", ":3: expected \"row column\" as the header says, got \"1 2 5\""},
    {"%%MatrixMarket matrix coordinate real general\n3 3 2\n1 2\n",
     ":3: expected \"row column value\" as the header says, got \"1 2\""},
    {"%%MatrixMarket matrix coordinate integer general\n3 3 2\n1 2 0.5\n",
     ":3: expected an integer value, got \"0.5\""},
    {kPattern + "3 3 2\n4 2\n", ":3: expected a row index from 1 to 3, got \"4\""},
    {kPattern + "3 3 2\n1 0\n", ":3: expected a column index from 1 to 3, got \"0\""},
    {kPattern + "3 4 1\n1 2\n", ":2: expected a square matrix, got 3 rows and 4 columns"},
    {kPattern + "3 3\n", ":2: expected the size line \"rows columns entries\", got \"3 3\""},
    {kPattern, ":1: expected the size line \"rows columns entries\""},
    {kPattern + "3 3 0\n", ":2: expected at least one entry, the matrix has none"},
    {"%%MatrixMarket matrix array real general\n3 3\n",
     ":1: " + kBannerForm + "\"%%MatrixMarket matrix array real general\""},
    {"%%MatrixMarket matrix coordinate real hermitian\n",
     ":1: " + kBannerForm + "\"%%MatrixMarket matrix coordinate real he...\""},  // quoted tokens are cut
    {kPattern + "2 2 1\n1 2\n", ":1: expected an integer or real matrix for -w file, got a pattern matrix",
     netpack::WeightModel::File},
    // An entry joins at most two nodes: rows beyond twice the entries would be nodes without arcs.
    {kPattern + "5 5 2\n1 2\n3 4\n",
     ":2: expected at most 2 rows per entry (an entry joins two nodes), got 5 rows for 2 entries, so at least 1 nodes "
     "would have no arc; give -force 1 to pack them anyway"},
    // A banner after line 1 is not a comment of an edge list.
    {"\n" + kPattern + "3 3 1\n1 2\n", kLateBanner},
    {"% made by hand\n" + kPattern + "3 3 1\n1 2\n", kLateBanner},
    {"1 2\n" + kPattern, kLateBanner},
}));

TEST(NetpackRead, MissingFileIsNamed) {
    TempDir dir;
    const std::string message =
        testnet::messageOf<std::runtime_error>([&] { netpack::readEdgeFile(dir.path("absent.txt"), {}); });
    EXPECT_TRUE(contains(message, dir.path("absent.txt") + ": cannot open")) << message;
}

// Matrix Market: rows are tails, columns heads, all N nodes are kept and the
// ids stay as they are (map line i is i).
TEST(NetpackMatrixMarket, GeneralPatternIntegerRealAndSymmetric) {
    TempDir dir;
    Packed pattern = packText(dir,
                              "%%MatrixMarket matrix coordinate pattern general\n"
                              "% a comment\n"
                              "4 4 3\n"
                              "1 2\n"
                              "3 2\n"
                              "2 3\n");
    EXPECT_EQ(pattern.network, testnet::networkBytes(4, {{1, 2, wc(2)}, {3, 2, wc(2)}, {2, 3, wc(1)}}));
    EXPECT_EQ(pattern.map, "1\n2\n3\n4\n");

    netpack::PackConfig file;
    file.weights = netpack::WeightModel::File;
    Packed real = packText(dir,
                           "%%MatrixMarket matrix coordinate real general\r\n"
                           "3 3 2\r\n"
                           "1 3 0.25\r\n"
                           "2 3 1e-1\r\n",
                           file);
    EXPECT_EQ(real.network, testnet::networkBytes(3, {{1, 3, 0.25f}, {2, 3, 0.1f}}));

    Packed integer = packText(dir, "%%MatrixMarket matrix coordinate integer general\n2 2 1\n2 1 1\n", file);
    EXPECT_EQ(integer.network, testnet::networkBytes(2, {{2, 1, 1.0f}}));

    // Symmetric: the entry (2, 1) stands for both arcs, the diagonal entry is a self-loop.
    Packed symmetric = packText(dir, "%%MatrixMarket matrix coordinate pattern symmetric\n3 3 3\n2 1\n3 3\n3 1\n");
    EXPECT_EQ(symmetric.network,
              testnet::networkBytes(3, {{2, 1, wc(2)}, {1, 2, wc(1)}, {3, 1, wc(2)}, {1, 3, wc(1)}}));
    EXPECT_EQ(symmetric.report.counts.selfLoops, 1u);

    // -force keeps the nodes that no entry reaches.
    netpack::PackConfig force;
    force.force = true;
    Packed sparse = packText(dir, "%%MatrixMarket matrix coordinate pattern general\n5 5 1\n4 2\n", force);
    EXPECT_EQ(sparse.network, testnet::networkBytes(5, {{4, 2, wc(1)}}));
}

TEST(NetpackWeights, UniformTrivalencyAndFile) {
    TempDir dir;
    const std::string text = "1 2 0.5\n2 3 0.125\n3 1 1\n1 3 0\n";
    netpack::PackConfig cfg;
    cfg.weights = netpack::WeightModel::Uniform;
    cfg.p = 0.25;
    EXPECT_EQ(packText(dir, text, cfg).network,
              testnet::networkBytes(3, {{3, 1, 0.25f}, {1, 2, 0.25f}, {2, 3, 0.25f}, {1, 3, 0.25f}}));

    cfg.weights = netpack::WeightModel::File;
    EXPECT_EQ(packText(dir, text, cfg).network,
              testnet::networkBytes(3, {{3, 1, 1.0f}, {1, 2, 0.5f}, {2, 3, 0.125f}, {1, 3, 0.0f}}));

    // Under -undirected both arcs of a line carry its probability.
    cfg.undirected = true;
    EXPECT_EQ(packText(dir, "1 2 0.5\n", cfg).network, testnet::networkBytes(2, {{2, 1, 0.5f}, {1, 2, 0.5f}}));
}

TEST(NetpackWeights, TrivalencyDrawsTheThreeLevelsEvenlyPerSeed) {
    // A star of 3000 arcs into node 1 from nodes 2..3001.
    netpack::Network net;
    net.n = 3001;
    net.off.assign(3003, 3000);
    net.off[0] = net.off[1] = 0;
    net.adj.resize(3000);
    for (int i = 0; i < 3000; ++i) net.adj[static_cast<std::size_t>(i)] = i + 2;
    net.prob.assign(3000, 0.0f);

    netpack::assignWeights(net, netpack::WeightModel::Trivalency, 0, 7);
    std::vector<float> first = net.prob;
    netpack::assignWeights(net, netpack::WeightModel::Trivalency, 0, 7);
    EXPECT_EQ(net.prob, first);
    netpack::assignWeights(net, netpack::WeightModel::Trivalency, 0, 8);
    EXPECT_NE(net.prob, first);

    // Each level has probability 1/3: 1000 expected, standard error
    // sqrt(3000 * 1/3 * 2/3) = 25.8; allow five of them.
    for (float level : {0.1f, 0.01f, 0.001f}) {
        auto count = std::count(first.begin(), first.end(), level);
        EXPECT_NEAR(static_cast<double>(count), 1000.0, 5 * 25.8) << level;
    }
    EXPECT_EQ(std::count(first.begin(), first.end(), 0.1f) + std::count(first.begin(), first.end(), 0.01f) +
                  std::count(first.begin(), first.end(), 0.001f),
              3000);
}

// Node 3 receives 0.6 + 0.6 (scaled to 0.5 + 0.5), node 2 receives 0.3 + 0.2 (kept).
//
//   1 -> 3 <- 2,  1 -> 2 <- 3
TEST(NetpackWeights, NormalizeScalesOnlySumsAboveOne) {
    TempDir dir;
    netpack::PackConfig cfg;
    cfg.weights = netpack::WeightModel::File;
    cfg.normalize = true;
    Packed p = packText(dir, "1 3 0.6\n2 3 0.6\n1 2 0.3\n3 2 0.2\n", cfg);
    EXPECT_EQ(p.report.normalized, 1u);
    EXPECT_EQ(p.network, testnet::networkBytes(3, {{1, 3, 0.5f}, {2, 3, 0.5f}, {1, 2, 0.3f}, {3, 2, 0.2f}}));

    // Three weighted-cascade weights of 1/3 sum above 1 by rounding only.
    netpack::PackConfig cascade;
    cascade.normalize = true;
    Packed q = packText(dir, "1 3\n2 3\n4 3\n", cascade);
    EXPECT_EQ(q.report.normalized, 0u);
    EXPECT_EQ(q.network, testnet::networkBytes(4, {{1, 3, wc(3)}, {2, 3, wc(3)}, {4, 3, wc(3)}}));
}

netpack::BenefitModel fraction(double f) {
    return {netpack::BenefitModel::Kind::Fraction, f, ""};
}

// 1 -> 2, 1 -> 3, 1 -> 4, 2 -> 3: out-degrees 3, 1, 0, 0.
TEST(NetpackValues, BenefitAndCostModels) {
    TempDir dir;
    netpack::PackConfig cfg;
    cfg.benefitOut = dir.path("b.txt");
    cfg.costOut = dir.path("c.txt");
    cfg.cost.kind = netpack::CostModel::Kind::Degree;
    packText(dir, "1 2\n1 3\n1 4\n2 3\n", cfg);
    EXPECT_EQ(testnet::readFile(dir.path("b.txt")), "1\n1\n1\n1\n");
    EXPECT_EQ(testnet::readFile(dir.path("c.txt")), "3\n1\n1\n1\n");
    cfg.cost.kind = netpack::CostModel::Kind::Uniform;
    packText(dir, "1 2\n1 3\n1 4\n2 3\n", cfg);
    EXPECT_EQ(testnet::readFile(dir.path("c.txt")), "1\n1\n1\n1\n");

    std::vector<std::uint32_t> a = netpack::makeBenefit(40, fraction(0.25), 3);
    ASSERT_EQ(a.size(), 41u);
    EXPECT_EQ(a[0], 0);
    EXPECT_EQ(std::count(a.begin(), a.end(), 1), 10);
    EXPECT_EQ(std::count(a.begin(), a.end(), 0), 31);
    EXPECT_EQ(netpack::makeBenefit(40, fraction(0.25), 3), a);
    EXPECT_NE(netpack::makeBenefit(40, fraction(0.25), 4), a);
    std::vector<std::uint32_t> none = netpack::makeBenefit(5, fraction(0.0), 3);
    std::vector<std::uint32_t> all = netpack::makeBenefit(5, fraction(1.0), 3);
    EXPECT_EQ(std::count(none.begin(), none.end(), 1), 0);
    EXPECT_EQ(std::count(all.begin(), all.end(), 1), 5);
}

TEST(NetpackValues, PairListHoldsEveryArcInNewIds) {
    TempDir dir;
    netpack::PackConfig cfg;
    cfg.pairsOut = dir.path("db_Enron.txt");
    packText(dir, "10 30\n20 30\n30 10\n30 30\n", cfg);
    EXPECT_EQ(testnet::readFile(dir.path("db_Enron.txt")), "4\n3\n3 1\n1 3\n2 3\n");
}

TEST(NetpackRmat, ReproduciblePerSeed) {
    auto network = [](std::uint64_t seed) {
        netpack::BuildCounts counts;
        netpack::Network net = netpack::buildNetwork(netpack::generateRmat(8, 4, seed), counts, "rmat");
        EXPECT_EQ(net.arcs() + counts.selfLoops + counts.duplicates, 1024u);
        return net;
    };
    netpack::Network a = network(5);
    EXPECT_EQ(a.n, 256u);
    EXPECT_EQ(a.originalId(1), 0u);
    EXPECT_EQ(a.originalId(256), 255u);
    EXPECT_EQ(a.adj, network(5).adj);
    EXPECT_NE(a.adj, network(6).adj);
    // A block of a stream starts where the draws before it leave off.
    netpack::SplitMix64 drawn(9), skipped(9);
    for (int i = 0; i < 3; ++i) drawn.next();
    skipped.skip(3);
    EXPECT_EQ(drawn.next(), skipped.next());
}

// Every file is the same at 1 and 3 threads, for networks large enough to
// span several blocks of lines and of draws (65536 each) and several ranges
// of nodes: R-MATs, and edge lists with duplicates (the first probability
// kept), self-loops, arcs both ways, narrow ids (bitmap) and wide ones (sort).
TEST(NetpackOutput, FilesAreTheSameAtOneAndThreeThreads) {
    TempDir dir;
    // 40000 lines over about 5000 nodes; the last 15000 repeat earlier ones.
    auto edges = [](std::uint64_t idOffset) {
        std::string text;
        for (std::uint64_t i = 0; i < 40000; ++i) {
            const std::uint64_t k = i % 25000, u = k * 7919 % 5003 + idOffset;
            const std::uint64_t v = k % 97 == 0 ? u : k * 104729 % 3001 + idOffset;
            const std::string p = " 0." + std::to_string(100 + i * 31 % 900) + "\n";
            text += std::to_string(u) + " " + std::to_string(v) + p;
            if (k % 3 == 0) text += std::to_string(v) + " " + std::to_string(u) + p;
        }
        return text;
    };
    struct Row {
        std::string name, text;  // text: the edge list, or empty for an R-MAT
        netpack::PackConfig cfg;
    };
    auto row = [](std::string name, std::string text, auto&& set) {
        Row r{std::move(name), std::move(text), {}};
        r.cfg.generate = r.text.empty();
        r.cfg.scale = 17;
        r.cfg.edgefactor = 2;
        r.cfg.seed = 4;
        r.cfg.benefit = {netpack::BenefitModel::Kind::Fraction, 0.3, ""};
        r.cfg.cost = {netpack::CostModel::Kind::Random, 1, 1000, ""};
        set(r.cfg);
        return r;
    };
    using WM = netpack::WeightModel;
    const Row rows[] = {
        row("rmat tv", "", [](netpack::PackConfig& c) { c.weights = WM::Trivalency, c.normalize = true; }),
        row("rmat wc, degree", "", [](netpack::PackConfig& c) { c.cost.kind = netpack::CostModel::Kind::Degree; }),
        row("list file", edges(0), [](netpack::PackConfig& c) { c.weights = WM::File, c.normalize = true; }),
        row("list undirected", edges(7), [](netpack::PackConfig& c) {
            c.undirected = true, c.weights = WM::File, c.cost.kind = netpack::CostModel::Kind::Degree;
        }),
        row("list wide", edges(std::uint64_t{1} << 40), [](netpack::PackConfig& c) { c.undirected = true; }),
    };
    // 64-bit FNV-1a of the first row's files as the serial build wrote them.
    const std::vector<std::uint64_t> serial{0xc6855a38bec64a79, 0xe36b9a457ff58e3f, 0xad785d3a21e169b1,
                                            0xa4df6d36864fa00, 0x397eb9280a1c03e5};
    auto fnv = [](const std::string& bytes) {
        std::uint64_t h = 0xcbf29ce484222325;
        for (unsigned char c : bytes) h = (h ^ c) * 0x100000001b3;
        return h;
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        std::vector<std::string> files[2];
        netpack::BuildCounts counts[2];
        for (int run = 0; run < 2; ++run) {
            netpack::PackConfig cfg = r.cfg;
            if (!cfg.generate) testnet::writeBytes(cfg.input = dir.path("in.txt"), r.text);
            cfg.networkOut = dir.path("t.bin");
            cfg.benefitOut = dir.path("t.ben");
            cfg.costOut = dir.path("t.cost");
            cfg.pairsOut = dir.path("t.pairs");
            const int before = omp_get_max_threads();
            omp_set_num_threads(run == 0 ? 1 : 3);
            const netpack::PackReport report = netpack::pack(cfg);
            omp_set_num_threads(before);
            counts[run] = report.counts;
            for (const char* ext : {".bin", ".bin.map", ".ben", ".cost", ".pairs"})
                files[run].push_back(testnet::readFile(dir.path(std::string("t") + ext)));
        }
        EXPECT_GT(counts[0].duplicates * counts[0].selfLoops, 0u);
        EXPECT_EQ(counts[0].duplicates, counts[1].duplicates);
        EXPECT_EQ(counts[0].selfLoops, counts[1].selfLoops);
        EXPECT_TRUE(files[0] == files[1]);
        for (std::size_t f = 0; &r == rows && f < serial.size(); ++f) EXPECT_EQ(fnv(files[0][f]), serial[f]) << f;
    }
}

// The top bit of each endpoint follows the quadrant probabilities:
// row bit 1 with c + d = 0.24, column bit 1 with b + d = 0.24, both with d = 0.05.
TEST(NetpackRmat, QuadrantFrequencies) {
    netpack::ArcList arcs = netpack::generateRmat(10, 64, 11);
    const double m = static_cast<double>(arcs.src.size());
    ASSERT_EQ(arcs.src.size(), 65536u);
    double row = 0, col = 0, both = 0;
    for (std::size_t i = 0; i < arcs.src.size(); ++i) {
        bool r = (arcs.src[i] - 1) >= 512, c = (arcs.dst[i] - 1) >= 512;
        row += r;
        col += c;
        both += r && c;
    }
    auto se = [&](double p) { return std::sqrt(p * (1 - p) / m); };
    EXPECT_NEAR(row / m, 0.24, 5 * se(0.24));
    EXPECT_NEAR(col / m, 0.24, 5 * se(0.24));
    EXPECT_NEAR(both / m, 0.05, 5 * se(0.05));
}

TEST(NetpackRmat, SizeLimits) {
    EXPECT_THROW(netpack::generateRmat(0, 4, 1), std::invalid_argument);
    EXPECT_THROW(netpack::generateRmat(31, 4, 1), std::invalid_argument);
    EXPECT_THROW(netpack::generateRmat(30, 4, 1), std::invalid_argument);
}

TEST(NetpackOutput, FailedRunLeavesNoFileUnderTheFinalName) {
    TempDir dir;
    testnet::writeBytes(dir.path("net.bin"), "old contents");
    netpack::PackConfig cfg;
    cfg.costOut = dir.path("cost.txt");
    packFailure(dir, "1 2\n2 x\n", cfg);
    EXPECT_EQ(testnet::readFile(dir.path("net.bin")), "old contents");
    EXPECT_FALSE(fs::exists(dir.path("net.bin.map")));
    EXPECT_FALSE(fs::exists(dir.path("cost.txt")));
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir.root())) left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"in.txt", "net.bin"}));

    cfg.networkOut = dir.path("missing-dir/net.bin");
    cfg.input = dir.path("in.txt");
    const std::string message = testnet::messageOf<std::runtime_error>([&] { netpack::pack(cfg); });
    EXPECT_TRUE(contains(message, dir.path("missing-dir/net.bin") + ": cannot create")) << message;
    cfg.networkOut = dir.path("same");
    cfg.costOut = dir.path("same");
    EXPECT_THROW(netpack::pack(cfg), std::invalid_argument);
}

// Every output is compared with the inputs and the other outputs as a file:
// in.txt has a symbolic link inlink and a hard link inhard beside it; c.txt,
// b.txt and t.txt are cost, benefit and target files by original id.
TEST(NetpackOutput, TargetsAreCheckedAsFilesBeforeAnythingIsWritten) {
    TempDir dir;
    const std::string inputs[] = {"in.txt", "c.txt", "b.txt", "t.txt"};
    for (const std::string& name : inputs) testnet::writeBytes(dir.path(name), "1 2\n2 3\n");
    testnet::writeBytes(dir.path("net.bin"), "old network");
    fs::create_directory(dir.path("adir"));
    fs::create_directory(dir.path("sub"));
    fs::create_symlink("in.txt", dir.path("inlink"));
    ASSERT_EQ(link(dir.path("in.txt").c_str(), dir.path("inhard").c_str()), 0);
    ASSERT_EQ(mkfifo(dir.path("fifo").c_str(), 0600), 0);
    using Field = std::string netpack::PackConfig::*;
    using netpack::BenefitModel;
    using netpack::PackConfig;
    const std::string destroys = " are the same file, which writing would destroy";
    struct Case {
        Field field;
        std::string name, message;
        netpack::CostModel cost{};
        BenefitModel benefit{};
    };
    const Case cases[] = {
        {&PackConfig::benefitOut, "./net.bin", "outputs -o \"net.bin\" and -bo \"./net.bin\" are the same file"},
        {&PackConfig::costOut, "net.bin", "outputs -o \"net.bin\" and -co \"net.bin\" are the same file"},
        {&PackConfig::benefitOut, dir.path("sub/../net.bin"), "are the same file"},
        {&PackConfig::pairsOut, "net.bin.map",
         "outputs -map \"net.bin.map\" and -po \"net.bin.map\" are the same file"},
        {&PackConfig::networkOut, "in.txt", "output -o \"in.txt\" and input -i \"in.txt\"" + destroys},
        {&PackConfig::mapOut, "./in.txt", "output -map \"./in.txt\" and input -i \"in.txt\"" + destroys},
        {&PackConfig::costOut, "inlink", "output -co \"inlink\" and input -i \"in.txt\"" + destroys},
        {&PackConfig::pairsOut, "inhard", "output -po \"inhard\" and input -i \"in.txt\"" + destroys},
        {&PackConfig::costOut, "c.txt", "output -co \"c.txt\" and input -cost file: \"c.txt\"" + destroys,
         {netpack::CostModel::Kind::File, 1, 1, "c.txt"}},
        {&PackConfig::networkOut, "./b.txt", "output -o \"./b.txt\" and input -benefit file: \"b.txt\"" + destroys,
         {}, {BenefitModel::Kind::File, 1, "b.txt"}},
        {&PackConfig::benefitOut, "t.txt", "output -bo \"t.txt\" and input -benefit targets: \"t.txt\"" + destroys,
         {}, {BenefitModel::Kind::Targets, 1, "t.txt"}},
        {&PackConfig::pairsOut, dir.path("adir"), "is a directory"},
        {&PackConfig::benefitOut, dir.path("fifo"), "is not a regular file"},
    };
    const fs::path home = fs::current_path();
    fs::current_path(dir.root());
    for (const Case& c : cases) {
        PackConfig cfg;
        cfg.input = "in.txt";
        cfg.networkOut = "net.bin";
        cfg.*c.field = c.name;
        cfg.cost = c.cost;
        cfg.benefit = c.benefit;
        const std::string message = testnet::messageOf([&] { netpack::pack(cfg); });
        EXPECT_TRUE(contains(message, c.message)) << message;
        EXPECT_EQ(testnet::readFile("net.bin"), "old network");
        for (const std::string& name : inputs) EXPECT_EQ(testnet::readFile(name), "1 2\n2 3\n");
        EXPECT_FALSE(fs::exists("net.bin.map"));
    }
    fs::current_path(home);
    EXPECT_TRUE(fs::is_fifo(dir.path("fifo")));
    EXPECT_TRUE(fs::is_directory(dir.path("adir")));
}

TEST(NetpackOutput, UnmapTranslatesSeedsThroughTheMap) {
    TempDir dir;
    testnet::writeBytes(dir.path("m.map"), "7\n42\n9223372036854775808\n");
    testnet::writeBytes(dir.path("s.txt"), "3\n1\n\n2 3\n");
    EXPECT_EQ(netpack::unmapSeeds(dir.path("s.txt"), dir.path("m.map")),
              (std::vector<std::uint64_t>{9223372036854775808ull, 7, 42, 9223372036854775808ull}));
    testnet::writeBytes(dir.path("s.txt"), "1\n4\n");
    const std::string message =
        testnet::messageOf<std::runtime_error>([&] { netpack::unmapSeeds(dir.path("s.txt"), dir.path("m.map")); });
    EXPECT_EQ(message, dir.path("s.txt") + ":2: expected a node id from 1 to 3 (the nodes of " + dir.path("m.map") +
                           "), got \"4\"");
}

// Node 1 receives 0.6 + 0.6 from 2 and 3, node 2 receives 0.25 from 1, node 3 nothing.
TEST(NetpackInfo, SummaryOfANetworkFile) {
    TempDir dir;
    testnet::writeNetwork(dir.path("n.bin"), 3, {{2, 1, 0.6f}, {3, 1, 0.6f}, {1, 2, 0.25f}});
    netpack::NetworkInfo info = netpack::inspectNetwork(dir.path("n.bin"));
    EXPECT_EQ(info.n, 3u);
    EXPECT_EQ(info.arcs, 3u);
    EXPECT_EQ(info.headerArcs, 3u);
    EXPECT_EQ(info.minIn, 0u);
    EXPECT_EQ(info.maxIn, 2u);
    EXPECT_DOUBLE_EQ(info.meanIn, 1.0);
    EXPECT_EQ(info.minP, 0.25f);
    EXPECT_EQ(info.maxP, 0.6f);
    EXPECT_EQ(info.sumAboveOne, 1u);
    EXPECT_EQ(netpack::infoFault(dir.path("n.bin"), info), "");
    EXPECT_FALSE(info.hasBenefit);

    testnet::writeValues(dir.path("b.txt"), std::vector<double>{0, 2.5, 1});
    info = netpack::inspectNetwork(dir.path("n.bin"), dir.path("b.txt"));
    EXPECT_TRUE(info.hasBenefit);
    EXPECT_EQ(info.totalBenefit, 3.5);
    EXPECT_EQ(info.positiveBenefit, 2u);

    // A probability above 1 loads (as a certain edge) but is reported.
    testnet::writeNetwork(dir.path("p.bin"), 2, {{2, 1, 1.5f}});
    info = netpack::inspectNetwork(dir.path("p.bin"));
    EXPECT_EQ(info.outOfRange, 1u);
    EXPECT_EQ(netpack::infoFault(dir.path("p.bin"), info), dir.path("p.bin") + ": 1 probabilities lie above 1");

    // The header claims 5 arcs, the lists hold 1.
    std::string bytes = testnet::networkBytes(2, {{2, 1, 0.5f}});
    bytes[4] = 5;
    testnet::writeBytes(dir.path("h.bin"), bytes);
    info = netpack::inspectNetwork(dir.path("h.bin"));
    EXPECT_EQ(netpack::infoFault(dir.path("h.bin"), info),
              dir.path("h.bin") + ": the header states 5 arcs, but the in-degrees sum to 1");

    // A truncated file is the loader's error.
    testnet::writeBytes(dir.path("t.bin"), bytes.substr(0, 20));
    EXPECT_THROW(netpack::inspectNetwork(dir.path("t.bin")), std::runtime_error);
}

namespace {

netpack::ParsedCommand parse(std::vector<std::string> args) {
    args.insert(args.begin(), "netpack");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    return netpack::parseCommandLine(static_cast<int>(argv.size()), argv.data());
}

}  // namespace

TEST(NetpackCommandLine, ModesDefaultsAndStructuralFaults) {
    netpack::ParsedCommand p = parse({"-i", "edges.txt"});
    ASSERT_TRUE(p.command);
    const netpack::PackConfig& c = p.command->pack;
    EXPECT_EQ(c.input, "edges.txt");
    EXPECT_EQ(c.networkOut, "network.bin");
    EXPECT_EQ(c.weights, netpack::WeightModel::WeightedCascade);
    EXPECT_EQ(c.p, 0.01);
    EXPECT_EQ(c.seed, 1u);
    EXPECT_EQ(p.command->threads, omp_get_max_threads());
    EXPECT_FALSE(c.undirected);
    EXPECT_FALSE(c.normalize);
    EXPECT_EQ(c.benefit.kind, netpack::BenefitModel::Kind::Uniform);
    EXPECT_EQ(c.cost.kind, netpack::CostModel::Kind::Uniform);

    p = parse({"-gen", "rmat", "-scale", "12", "-edgefactor", "8", "-benefit", "target:0.1", "-bo", "b", "-cost",
               "degree", "-co", "c", "-w", "uniform", "-p", "0.05"});
    ASSERT_TRUE(p.command);
    EXPECT_TRUE(p.command->pack.generate);
    EXPECT_EQ(p.command->pack.scale, 12);
    EXPECT_EQ(p.command->pack.edgefactor, 8u);
    EXPECT_EQ(p.command->pack.benefit.kind, netpack::BenefitModel::Kind::Fraction);
    EXPECT_EQ(p.command->pack.benefit.fraction, 0.1);
    EXPECT_EQ(p.command->pack.p, 0.05);
    EXPECT_EQ(parse({"-gen", "rmat", "-t", "1024"}).command->threads, 1024);

    p = parse({"-i", "e", "-co", "c", "-cost", "random:2:9", "-bo", "b", "-benefit", "targets:t.txt"});
    ASSERT_TRUE(p.command);
    EXPECT_EQ(p.command->pack.cost.kind, netpack::CostModel::Kind::Random);
    EXPECT_EQ(p.command->pack.cost.lo, 2u);
    EXPECT_EQ(p.command->pack.cost.hi, 9u);
    EXPECT_EQ(p.command->pack.benefit.kind, netpack::BenefitModel::Kind::Targets);
    EXPECT_EQ(p.command->pack.benefit.file, "t.txt");
    EXPECT_FALSE(p.command->pack.missing);

    p = parse(
        {"-i", "e", "-co", "c", "-cost", "file:c.txt", "-bo", "b", "-benefit", "file:b:1.txt", "-missing", "0.5"});
    ASSERT_TRUE(p.command);
    EXPECT_EQ(p.command->pack.cost.kind, netpack::CostModel::Kind::File);
    EXPECT_EQ(p.command->pack.cost.file, "c.txt");
    EXPECT_EQ(p.command->pack.benefit.kind, netpack::BenefitModel::Kind::File);
    EXPECT_EQ(p.command->pack.benefit.file, "b:1.txt");
    EXPECT_EQ(p.command->pack.missing, "0.5");

    p = parse({"-unmap", "s.txt", "-o", "x.bin"});
    ASSERT_TRUE(p.command);
    EXPECT_EQ(p.command->mapFile, "x.bin.map");

    const std::string pairs = "expected pairs of an option name (starting with '-') and its value";
    const std::string oneMode = "expected exactly one of -i, -gen, -unmap and -info";
    const std::string missing = "option -missing applies only to -cost file: and -benefit file:";
    struct Case {
        std::vector<std::string> args;
        std::string problem;
    };
    for (const Case& c : std::vector<Case>{
             {{}, oneMode},
             {{"-i"}, pairs},
             {{"-i", "a", "b"}, pairs},
             {{"-i", "a", "-gen", "rmat"}, oneMode},
             {{"-i", "a", "-scale", "3"}, "option -scale does not apply to -i"},
             {{"-gen", "rmat", "-undirected", "1"}, "option -undirected does not apply to -gen"},
             {{"-gen", "rmat", "-force", "1"}, "option -force does not apply to -gen"},
             {{"-i", "a", "-typo", "1"}, "unknown option -typo"},
             {{"-i", "a", "-p", "0.1"}, "option -p applies only to -w uniform"},
             {{"-i", "a", "-benefit", "uniform"}, "option -benefit needs a benefit file (-bo)"},
             {{"-i", "a", "-cost", "degree"}, "option -cost needs a cost file (-co)"},
             {{"-i", "a", "-missing", "1"}, missing},
             {{"-i", "a", "-co", "c", "-cost", "random:1:3", "-missing", "1"}, missing},
             {{"-i", "a", "-bo", "b", "-benefit", "targets:t", "-missing", "0"}, missing},
             {{"-info", "a", "-o", "b"}, "option -o does not apply to -info"},
             {{"-unmap", "s", "-t", "2"}, "option -t does not apply to -unmap"},
         }) {
        p = parse(c.args);
        EXPECT_FALSE(p.command) << testing::PrintToString(c.args);
        EXPECT_EQ(p.problem, c.problem) << testing::PrintToString(c.args);
    }
}

TEST(NetpackCommandLine, BadValuesNameTheOption) {
    struct Case {
        std::vector<std::string> args;
        std::string option;
    };
    for (const Case& c : std::vector<Case>{
             {{"-i", "a", "-w", "ic"}, "-w"},
             {{"-i", "a", "-w", "uniform", "-p", "1.5"}, "-p"},
             {{"-i", "a", "-undirected", "yes"}, "-undirected"},
             {{"-i", "a", "-force", "2"}, "-force"},
             {{"-i", "a", "-seed", "-1"}, "-seed"},
             {{"-i", "a", "-bo", "b", "-benefit", "target:2"}, "-benefit"},
             {{"-i", "a", "-bo", "b", "-benefit", "file:"}, "-benefit"},
             {{"-i", "a", "-bo", "b", "-benefit", "targets:"}, "-benefit"},
             {{"-i", "a", "-co", "c", "-cost", "outdegree"}, "-cost"},
             {{"-i", "a", "-co", "c", "-cost", "file:"}, "-cost"},
             {{"-i", "a", "-co", "c", "-cost", "random:0:5"}, "-cost"},
             {{"-i", "a", "-co", "c", "-cost", "random:5:2"}, "-cost"},
             {{"-i", "a", "-co", "c", "-cost", "random:1:16777217"}, "-cost"},
             {{"-i", "a", "-co", "c", "-cost", "random:1"}, "-cost"},
             {{"-i", "a", "-co", "c", "-cost", "random:1:x"}, "-cost"},
             {{"-i", "a", "-co", "c", "-cost", "random:-1:3"}, "-cost"},
             {{"-gen", "kron"}, "-gen"},
             {{"-gen", "rmat", "-scale", "31"}, "-scale"},
             {{"-gen", "rmat", "-edgefactor", "0"}, "-edgefactor"},
             {{"-gen", "rmat", "-t", "0"}, "-t"},
             {{"-i", "a", "-t", "1025"}, "-t"},
             {{"-info", "a", "-t", "2x"}, "-t"},
         }) {
        const std::string message = testnet::messageOf<std::invalid_argument>([&] { parse(c.args); });
        EXPECT_TRUE(contains(message, "option " + c.option + ":")) << message;
    }
}

TEST(NetpackProgram, StatusesAndMessages) {
    TempDir dir;
    testnet::RunResult r = testnet::run({NETPACK_BIN}, dir.root().string());
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "Parameters error, please check the readme.txt file for correct format!\n");
    EXPECT_TRUE(contains(r.err, "usage: netpack")) << r.err;

    r = testnet::run({NETPACK_BIN, "-i", "e.txt", "-w", "ic"}, dir.root().string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "netpack: option -w: expected wc, uniform, tv or file, got \"ic\"\n");

    testnet::writeBytes(dir.path("e.txt"), "1 2\n2 three\n");
    r = testnet::run({NETPACK_BIN, "-i", "e.txt"}, dir.root().string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "netpack: e.txt:2: expected a node id (an integer from 0 to 2^63), got \"three\"\n");
    EXPECT_FALSE(fs::exists(dir.path("network.bin")));

    // A size line of 2 * 10^9 nodes in a file of 77 bytes is refused before
    // anything is allocated (the address-space limit keeps a build that
    // allocates from taking the machine's memory).
    testnet::writeBytes(dir.path("big.mtx"),
                        "%%MatrixMarket matrix coordinate pattern general\n2000000000 2000000000 1\n1 2\n");
    const std::string limit = kAddressSanitizer ? "" : "ulimit -v 1000000; ";
    r = testnet::run({"/bin/sh", "-c", limit + "exec \"$0\" \"$@\"", NETPACK_BIN, "-i", "big.mtx"},
                     dir.root().string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "netpack: big.mtx:2: expected at most 2 rows per entry (an entry joins two nodes), got 2000000000 "
                     "rows for 1 entries, so at least 1999999998 nodes would have no arc; give -force 1 to pack them "
                     "anyway\n");

    r = testnet::run({NETPACK_BIN, "-i", "e.txt", "-o", "e.txt"}, dir.root().string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "netpack: output -o \"e.txt\" and input -i \"e.txt\" are the same file, which writing would "
                     "destroy\n");
    EXPECT_EQ(testnet::readFile(dir.path("e.txt")), "1 2\n2 three\n");

    testnet::writeBytes(dir.path("ok.txt"), "1 2\n2 3\n");
    testnet::writeBytes(dir.path("t.txt"), "3\r\n1\r\n3\r\n");
    r = testnet::run({NETPACK_BIN, "-i", "ok.txt", "-bo", "b.txt", "-benefit", "targets:t.txt"}, dir.root().string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "netpack: t.txt:3: expected each original id once, got \"3\" again (first on line 1)\n");
    EXPECT_FALSE(fs::exists(dir.path("network.bin")));
    EXPECT_FALSE(fs::exists(dir.path("b.txt")));

    // The demo's call, at a small scale.
    r = testnet::run({NETPACK_BIN, "-gen", "rmat", "-scale", "8", "-edgefactor", "8", "-o", "example.bin", "-bo",
                      "example.benefit", "-co", "example.cost", "-po", "db_Enron.txt", "-cost", "degree"},
                     dir.root().string());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "2048 arcs drawn")) << r.err;
    Graph g = loadBack(dir, dir.path("example.bin"), 256);
    EXPECT_EQ(g.getSize(), 256);
    std::string cost = testnet::readFile(dir.path("example.cost"));
    EXPECT_EQ(std::count(cost.begin(), cost.end(), '\n'), 256);

    r = testnet::run({NETPACK_BIN, "-info", "example.bin"}, dir.root().string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "nodes: 256\n")) << r.out;

    testnet::writeBytes(dir.path("seeds"), "1\n256\n");
    r = testnet::run({NETPACK_BIN, "-unmap", "seeds", "-map", "example.bin.map"}, dir.root().string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0\n255\n");
}

// Under an address-space limit of 1 GB, inputs that need more say what did
// not fit and what to change, instead of "std::bad_alloc".
TEST(NetpackProgram, OutOfMemoryIsNamed) {
    if (kAddressSanitizer) GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
    TempDir dir;
    // A network file whose degrees promise 2^29 in-edges, made sparse.
    std::string head = testnet::networkBytes(1, {});
    head.replace(12, 4, std::string("\x00\x00\x00\x20", 4));
    testnet::writeBytes(dir.path("big.bin"), head);
    fs::resize_file(dir.path("big.bin"), 16 + 8ull * (1u << 29));
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> parts;
    };
    const Case cases[] = {
        {{NETPACK_BIN, "-gen", "rmat", "-scale", "27", "-edgefactor", "4"},
         {"netpack: -gen rmat: cannot allocate 4096.0 MB for the 536870912 arcs", "use a smaller -scale"}},
        {{OSTRAND_BIN, "-i", "big.bin", "-s", "x"},
         {"ostrand: network file \"big.bin\": cannot allocate 2048.0 MB for the in-neighbour lists", "out of memory"}},
        {{NETPACK_BIN, "-info", "big.bin"}, {"netpack: network file \"big.bin\": cannot allocate", "in-neighbour"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv{"/bin/sh", "-c", "ulimit -v 1000000; exec \"$0\" \"$@\""};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const testnet::RunResult r = testnet::run(argv, dir.root().string());
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_TRUE(testnet::holdsAll(r.err, c.parts));
    }
}

// Every public network shipped for the project packs without preparation and
// loads back with the node and edge-line counts its provenance table states.
TEST(NetpackData, SharedNetworksPack) {
    const fs::path data = fs::path(SHARED_DIR) / "data";
    if (!fs::exists(data)) GTEST_SKIP() << "no shared data at " << data;
    struct Expected {
        const char* file;
        std::uint32_t nodes;
        std::uint64_t lines;
    };
    const Expected files[] = {
        {"email-Eu-core.txt.gz", 1005, 25571},     {"facebook_combined.txt.gz", 4039, 88234},
        {"ca-GrQc.txt.gz", 5242, 28980},           {"wiki-Vote.txt.gz", 7115, 103689},
        {"nethept.txt.gz", 15229, 62752},          {"cit-HepTh.txt.gz", 27770, 352807},
        {"email-Enron.txt.gz", 36692, 367662},     {"p2p-Gnutella31.txt.gz", 62586, 147892},
        {"soc-Epinions1.txt.gz", 75879, 508837},   {"soc-Slashdot0902.txt.gz", 82168, 948464},
        {"web-NotreDame.txt.gz", 325729, 1497134},
    };
    TempDir dir;
    int packed = 0;
    for (const Expected& e : files) {
        if (!fs::exists(data / e.file)) continue;
        netpack::PackConfig cfg;
        cfg.input = (data / e.file).string();
        cfg.networkOut = dir.path("net.bin");
        netpack::PackReport r = netpack::pack(cfg);
        EXPECT_EQ(r.n, e.nodes) << e.file;
        EXPECT_EQ(r.entries, e.lines) << e.file;
        EXPECT_EQ(r.arcs + r.counts.selfLoops + r.counts.duplicates, e.lines) << e.file;
        Graph g = loadBack(dir, dir.path("net.bin"), static_cast<int>(r.n));
        EXPECT_EQ(static_cast<std::uint64_t>(g.getEdge()), r.arcs) << e.file;
        ++packed;
    }
    if (packed == 0) GTEST_SKIP() << "none of the shared networks is present";
}
