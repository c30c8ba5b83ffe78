// Tests of netpack's costs and benefits given by original id (-cost file:,
// -benefit file:, -benefit targets:, -missing) and of its random costs
// (-cost random:LO:HI): faults refused with the file and line and nothing
// written, values written as the file gives them, seeded draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "netpack/netpack.h"
#include "support/testNetwork.h"

using namespace lattis;

namespace {

namespace fs = std::filesystem;
using netpack::BenefitModel;
using netpack::CostModel;

enum class Use { Cost, Benefit, Targets };

// Every case packs the edge list
//
//   10 -> 20 -> 30 -> 10,  10 -> 40      (original ids 10, 20, 30, 40 are nodes 1..4)
//
// with its values from v.txt, into a folder that already holds a network
// and a cost file from an earlier run.
class NodeValues : public testing::Test {
protected:
    void SetUp() override {
        testnet::writeBytes(dir.path("in.txt"), "10 20\n20 30\n30 10\n10 40\n");
        testnet::writeBytes(dir.path("net.bin"), "old network");
        testnet::writeBytes(dir.path("out.cost"), "old costs");
    }

    netpack::PackConfig config(Use use, const std::string& text) const {
        testnet::writeBytes(dir.path("v.txt"), text);
        netpack::PackConfig cfg;
        cfg.input = dir.path("in.txt");
        cfg.networkOut = dir.path("net.bin");
        cfg.costOut = dir.path("out.cost");
        cfg.benefitOut = dir.path("out.ben");
        if (use == Use::Cost) cfg.cost = {CostModel::Kind::File, 1, 1, dir.path("v.txt")};
        if (use == Use::Benefit) cfg.benefit = {BenefitModel::Kind::File, 1, dir.path("v.txt")};
        if (use == Use::Targets) cfg.benefit = {BenefitModel::Kind::Targets, 1, dir.path("v.txt")};
        return cfg;
    }

    // The message of the refusal, after checking that no file was written or replaced.
    std::string failure(const netpack::PackConfig& cfg) const {
        const std::string message = testnet::messageOf([&] { netpack::pack(cfg); });
        std::set<std::string> left;
        for (const auto& e : fs::directory_iterator(dir.root())) left.insert(e.path().filename().string());
        EXPECT_EQ(left, (std::set<std::string>{"in.txt", "v.txt", "net.bin", "out.cost"}));
        EXPECT_EQ(testnet::readFile(dir.path("net.bin")), "old network");
        EXPECT_EQ(testnet::readFile(dir.path("out.cost")), "old costs");
        return message;
    }

    testnet::TempDir dir;
};

struct Fault {
    Use use;
    std::string text;
    std::string message;  // after "v.txt"; {in} stands for the edge list's name
};

void PrintTo(const Fault& f, std::ostream* os) { *os << testing::PrintToString(f.text); }

class NodeValueFaults : public NodeValues, public testing::WithParamInterface<Fault> {};

TEST_P(NodeValueFaults, RefusedWithFileAndLineAndNothingWritten) {
    std::string expected = dir.path("v.txt") + GetParam().message;
    if (auto at = expected.find("{in}"); at != std::string::npos) expected.replace(at, 4, dir.path("in.txt"));
    EXPECT_EQ(failure(config(GetParam().use, GetParam().text)), expected);
}

const std::string kLeftOut =
    " for every node of {in}, found none for 2 of its 4 nodes (original ids 20, 40); add "
    "them, or give them a value with -missing V";
INSTANTIATE_TEST_SUITE_P(
    CostsBenefitsAndTargets, NodeValueFaults,
    testing::ValuesIn(std::vector<Fault>{
        {Use::Cost, "10 1\n99 2\n", ":2: expected the original id of a node of {in}, got \"99\""},
        {Use::Cost, "10 1\r\n20 2\r\n10 3\r\n",
         ":3: expected each original id once, got \"10\" again (first on line 1)"},
        {Use::Cost, "10 1\n20 x\n", ":2: expected a positive finite cost, got \"x\""},
        {Use::Cost, "10 0\n", ":1: expected a positive finite cost, got \"0\""},
        {Use::Cost, "10 -2\n", ":1: expected a positive finite cost, got \"-2\""},
        {Use::Cost, "10 1e39\n", ":1: expected a positive finite cost, got \"1e39\""},  // beyond single precision
        {Use::Cost, "10 nan\n", ":1: expected a positive finite cost, got \"nan\""},
        {Use::Cost, "10\n", ":1: expected \"original-id cost\", got \"10\""},
        {Use::Cost, "10 1 2\n", ":1: expected \"original-id cost\", got \"10 1 2\""},
        {Use::Cost, "ten 1\n", ":1: expected a node id (an integer from 0 to 2^63), got \"ten\""},
        {Use::Cost, "-10 1\n", ":1: expected a non-negative node id, got \"-10\""},
        {Use::Cost, "10 1\n# 20 is left out\n30 1\n", ": expected a cost" + kLeftOut},
        {Use::Benefit, "10 1\n40 2\n30 7\n",
         ": expected a benefit for every node of {in}, found none for 1 of its 4 "
         "nodes (original id 20); add them, or give them a value with -missing V"},
        {Use::Benefit, "10 1\n30 1\n", ": expected a benefit" + kLeftOut},
        {Use::Benefit, "10 inf\n", ":1: expected a finite benefit, got \"inf\""},
        {Use::Benefit, "10 1e400\n", ":1: expected a finite benefit, got \"1e400\""},
        {Use::Benefit, "10 1\n11 1\n", ":2: expected the original id of a node of {in}, got \"11\""},
        {Use::Benefit, "10 1e308\n20 1e308\n30 0\n40 0\n",
         ": the benefits sum past the range of a double; scale them down"},
        {Use::Targets, "20\r\n40\r\n20\r\n", ":3: expected each original id once, got \"20\" again (first on line 1)"},
        {Use::Targets, "20\n50\n", ":2: expected the original id of a node of {in}, got \"50\""},
        {Use::Targets, "20 1\n", ":1: expected one original id, got \"20 1\""},
        {Use::Targets, "# nobody\n\n", ": expected at least one target id, found none in 2 lines"},
    }));

// CRLF line ends, comments and blank lines are read as in edge lists; the
// values are written as the file gives them, in node order (the order of
// the map: 10, 20, 30, 40).
TEST_F(NodeValues, ValuesAreWrittenAsGivenInNodeOrder) {
    netpack::PackConfig cfg = config(Use::Cost, "# id cost\r\n40 12.50\r\n\r\n10 3\r\n% prices\r\n30 +2e1\r\n20 0.5");
    testnet::writeBytes(dir.path("t.txt"), "40\n\n# the campaign\n20\n");
    cfg.benefit = {BenefitModel::Kind::Targets, 1, dir.path("t.txt")};
    netpack::pack(cfg);
    EXPECT_EQ(testnet::readFile(dir.path("net.bin.map")), "10\n20\n30\n40\n");
    EXPECT_EQ(testnet::readFile(dir.path("out.cost")), "3\n0.5\n+2e1\n12.50\n");
    EXPECT_EQ(testnet::readFile(dir.path("out.ben")), "0\n1\n0\n1\n");

    cfg = config(Use::Benefit, "30 -1.5\n10 2\n");
    cfg.costOut.clear();
    cfg.missing = "0";
    netpack::pack(cfg);
    EXPECT_EQ(testnet::readFile(dir.path("out.ben")), "2\n0\n-1.5\n0\n");
}

// -missing fills the nodes a file leaves out, checked by the rules of the
// file it fills (a cost must be positive, a benefit may be 0).
TEST_F(NodeValues, MissingFillsTheNodesLeftOut) {
    netpack::PackConfig cfg = config(Use::Cost, "20 4\n");
    cfg.missing = "1.5";
    netpack::pack(cfg);
    EXPECT_EQ(testnet::readFile(dir.path("out.cost")), "1.5\n4\n1.5\n1.5\n");
    EXPECT_EQ(testnet::readFile(dir.path("out.ben")), "1\n1\n1\n1\n");

    cfg.missing = "0";
    EXPECT_EQ(testnet::messageOf<std::invalid_argument>([&] { netpack::pack(cfg); }),
              "option -missing: expected a positive finite cost (for -cost file:), got \"0\"");
}

// Generated networks have the original ids 0..n-1, as their map shows.
TEST_F(NodeValues, GeneratedNetworksTakeTheIdsOfTheirMap) {
    netpack::PackConfig cfg = config(Use::Cost, "0 5\n7 2\n");
    cfg.input.clear();
    cfg.generate = true;
    cfg.scale = 3;
    cfg.edgefactor = 4;
    cfg.benefitOut.clear();
    cfg.missing = "1";
    netpack::pack(cfg);
    EXPECT_EQ(testnet::readFile(dir.path("net.bin.map")), "0\n1\n2\n3\n4\n5\n6\n7\n");
    EXPECT_EQ(testnet::readFile(dir.path("out.cost")), "5\n1\n1\n1\n1\n1\n1\n2\n");

    testnet::writeBytes(dir.path("v.txt"), "8 1\n");
    EXPECT_EQ(testnet::messageOf<std::runtime_error>([&] { netpack::pack(cfg); }),
              dir.path("v.txt") + ":1: expected the original id of a node of -gen rmat (0 to 7), got \"8\"");
    testnet::writeBytes(dir.path("v.txt"), "3 1\n");
    cfg.missing.reset();
    EXPECT_EQ(testnet::messageOf<std::runtime_error>([&] { netpack::pack(cfg); }), dir.path("v.txt") +
                                         ": expected a cost for every node of -gen rmat, found none for 7 of its 8 "
                                         "nodes (original ids 0, 1, 2, 4, 5, ...); add them, or give them a value "
                                         "with -missing V");
}

// -cost random:LO:HI draws each node's cost uniformly from LO..HI with the
// run's seed: the same seed, the same costs; another seed, other costs.
TEST(NetpackRandomCost, SeededUniformIntegersInTheRange) {
    netpack::Network net;
    net.n = 3000;
    const CostModel model{CostModel::Kind::Random, 2, 4, ""};
    const std::vector<std::uint32_t> a = netpack::makeCost(net, model, 5);
    ASSERT_EQ(a.size(), 3001u);
    EXPECT_EQ(a[0], 0u);
    EXPECT_EQ(netpack::makeCost(net, model, 5), a);
    EXPECT_NE(netpack::makeCost(net, model, 6), a);
    EXPECT_TRUE(std::all_of(a.begin() + 1, a.end(), [](std::uint32_t c) { return c >= 2 && c <= 4; }));
    // Each of the three values has probability 1/3: 1000 expected, standard
    // error sqrt(3000 * 1/3 * 2/3) = 25.8; allow five of them.
    for (std::uint32_t c = 2; c <= 4; ++c)
        EXPECT_NEAR(static_cast<double>(std::count(a.begin() + 1, a.end(), c)), 1000.0, 5 * 25.8) << c;
    const std::vector<std::uint32_t> one = netpack::makeCost(net, {CostModel::Kind::Random, 7, 7, ""}, 5);
    EXPECT_TRUE(std::all_of(one.begin() + 1, one.end(), [](std::uint32_t c) { return c == 7; }));
}

TEST_F(NodeValues, RandomCostFileIsTheSameForOneSeed) {
    auto costs = [&](std::uint64_t seed) {
        netpack::PackConfig cfg = config(Use::Cost, "");
        cfg.cost = {CostModel::Kind::Random, 1, 1000, ""};
        cfg.seed = seed;
        netpack::pack(cfg);
        return testnet::readFile(dir.path("out.cost"));
    };
    const std::string first = costs(3);
    EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 4);
    EXPECT_EQ(costs(3), first);
    EXPECT_NE(costs(4), first);
}

}  // namespace
