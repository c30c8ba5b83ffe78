// Tests of the verifier: the stopping bound, the estimator against exact
// expected benefits (every live-edge outcome enumerated), the reachability
// pre-check, the seed file reader, and end-to-end runs of the ostrand binary
// with its exit statuses, defaults and mends (the command line's fixed
// messages are in commandLine_test.cpp).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "estimate/blockEstimate.h"
#include "estimate/estimate.h"
#include "graph/graph.h"
#include "io/seedFile.h"
#include "sampling/hyperGraph.h"
#include "support/testNetwork.h"

using namespace lattis;

namespace {

using testnet::Arc;

struct Net {
    int n;
    std::vector<Arc> arcs;
    std::vector<double> ben;   // ben[v - 1] is the benefit of node v
};

// Network A, eight arcs with the cycles 1 -> 2 -> 4 -> 1 and
// 1 -> 2 -> 5 -> 4 -> 1:
//
//    4 --0.2--> 1 --0.5--> 2 --0.5--> 4
//               |          |    |
//             0.25        0.5  0.25
//               v          v    v
//               3 <--------'    5 --0.4--> 4
//               |               ^
//               `------0.3------'
//
// In-weights: node 1 {4: 0.2}; 2 {1: 0.5}; 3 {1: 0.25, 2: 0.5};
// 4 {2: 0.5, 5: 0.4}; 5 {3: 0.3, 2: 0.25}. Every node's in-weights sum to at
// most 1, so the same arcs serve LT.
const std::vector<Arc> kArcsA = {{1, 2, 0.5f},  {1, 3, 0.25f}, {2, 3, 0.5f}, {2, 4, 0.5f},
                                 {3, 5, 0.3f},  {2, 5, 0.25f}, {5, 4, 0.4f}, {4, 1, 0.2f}};

// Network B, a certain edge and a node whose LT in-weights sum to 1:
//
//    1 --0.5--> 3 --1.0--> 4 --0.75--> 2 --0.5--> 3
//
// Node 3 has in-edges from 1 and 2 (0.5 each), so under LT it always takes
// one of them; under IC either may be live.
const std::vector<Arc> kArcsB = {{1, 3, 0.5f}, {2, 3, 0.5f}, {3, 4, 1.0f}, {4, 2, 0.75f}};

// The nodes reached from the seeds over the live arcs.
std::vector<char> reached(int n, const std::vector<const Arc*>& live, const std::vector<int>& seeds) {
    std::vector<char> on(static_cast<std::size_t>(n) + 1, 0);
    for (int s : seeds) on[static_cast<std::size_t>(s)] = 1;
    for (bool grew = true; grew;) {
        grew = false;
        for (const Arc* a : live)
            if (on[static_cast<std::size_t>(a->u)] && !on[static_cast<std::size_t>(a->v)]) {
                on[static_cast<std::size_t>(a->v)] = 1;
                grew = true;
            }
    }
    return on;
}

double positiveBenefitOf(const Net& net, const std::vector<char>& on) {
    double sum = 0;
    for (int v = 1; v <= net.n; ++v)
        if (on[static_cast<std::size_t>(v)] && net.ben[static_cast<std::size_t>(v - 1)] > 0)
            sum += net.ben[static_cast<std::size_t>(v - 1)];
    return sum;
}

// Exact expected positive benefit that the seeds reach: under IC every subset
// of live arcs, under LT every choice of at most one in-arc per node.
double exactBenefit(const Net& net, const std::vector<int>& seeds, bool lt) {
    double expected = 0;
    if (!lt) {
        const std::size_t m = net.arcs.size();
        for (std::uint64_t mask = 0; mask < (std::uint64_t{1} << m); ++mask) {
            double p = 1;
            std::vector<const Arc*> live;
            for (std::size_t i = 0; i < m; ++i) {
                const bool on = (mask >> i) & 1;
                p *= on ? net.arcs[i].p : 1.0 - net.arcs[i].p;
                if (on) live.push_back(&net.arcs[i]);
            }
            expected += p * positiveBenefitOf(net, reached(net.n, live, seeds));
        }
        return expected;
    }
    std::vector<std::vector<const Arc*>> in(static_cast<std::size_t>(net.n) + 1);
    for (const Arc& a : net.arcs) in[static_cast<std::size_t>(a.v)].push_back(&a);
    // choice[v] = index of v's live in-arc, or in[v].size() for none.
    std::vector<std::size_t> choice(static_cast<std::size_t>(net.n) + 1, 0);
    for (;;) {
        double p = 1;
        std::vector<const Arc*> live;
        for (int v = 1; v <= net.n; ++v) {
            const auto& arcs = in[static_cast<std::size_t>(v)];
            const std::size_t c = choice[static_cast<std::size_t>(v)];
            if (c < arcs.size()) {
                p *= arcs[c]->p;
                live.push_back(arcs[c]);
            } else {
                double rest = 1;
                for (const Arc* a : arcs) rest -= a->p;
                p *= rest;
            }
        }
        if (p > 0) expected += p * positiveBenefitOf(net, reached(net.n, live, seeds));
        int v = 1;
        while (v <= net.n && ++choice[static_cast<std::size_t>(v)] > in[static_cast<std::size_t>(v)].size()) {
            choice[static_cast<std::size_t>(v)] = 0;
            ++v;
        }
        if (v > net.n) break;
    }
    return expected;
}

// A network and its benefits written to a temporary directory, loaded in the
// verifier's layout, with a store whose generator follows srand(seed).
class Loaded {
public:
    Loaded(const Net& net, bool lt, unsigned seed) : g(BenefitLayout::Compact) {
        testnet::writeNetwork(dir.path("net.bin"), net.n, net.arcs);
        testnet::writeValues(dir.path("ben.txt"), net.ben);
        if (lt)
            g.readGraphLT(dir.path("net.bin").c_str(), dir.path("ben.txt").c_str());
        else
            g.readGraphIC(dir.path("net.bin").c_str(), dir.path("ben.txt").c_str());
        std::srand(seed);
        hg = std::make_unique<HyperGraph>(static_cast<unsigned>(net.n), g);
    }
    testnet::TempDir dir;
    Graph g;
    std::unique_ptr<HyperGraph> hg;
};

// ostrand's classic figure: the estimator in the order of thread streams.
BlockEstimate classicEstimate(const Graph& g, HyperGraph& hg, const std::vector<int>& seeds, int t = 1,
                              float epsilon = 0.1f, float delta = 0.01f) {
    EstimateSettings s;
    s.threads = t;
    s.epsilon = epsilon;
    s.delta = delta;
    s.order = EstimateOrder::ThreadStreams;
    return estimateInBlocks(g, hg, seeds, s);
}

BlockEstimate estimateOn(const Net& net, bool lt, const std::vector<int>& seeds, unsigned seed, int t = 1,
                         float epsilon = 0.1f, float delta = 0.01f) {
    Loaded l(net, lt, seed);
    return classicEstimate(l.g, *l.hg, seeds, t, epsilon, delta);
}

std::string printed(double v) {
    std::ostringstream s;
    s << v << '\n';
    return s.str();
}

// ---------------------------------------------------------------- bound

TEST(OstrandBound, WorkedValuesInSinglePrecision) {
    struct Case {
        float e, d, bound;
        long long hits;
    };
    for (const Case& c : {Case{0.1f, 0.01f, 1205.484f, 1206}, Case{0.05f, 0.01f, 4525.762f, 4526},
                          Case{0.2f, 0.01f, 340.092f, 341}, Case{0.1f, 0.05f, 839.605f, 840}}) {
        const float b = stoppingBound(c.e, c.d);
        EXPECT_NEAR(b, c.bound, 5e-4f) << "e = " << c.e << ", d = " << c.d;
        EXPECT_EQ(static_cast<long long>(std::ceil(static_cast<double>(b))), c.hits);
    }
}

TEST(OstrandBound, ExtremeParametersStayAboveOneOrOverflow) {
    EXPECT_GT(stoppingBound(1000.0f, 1.999f), 1.0f);
    EXPECT_FALSE(std::isfinite(stoppingBound(1e-30f, 0.01f)));
}

// ---------------------------------------------------------------- exact values

struct ExactCase {
    const char* name;
    Net net;
    std::vector<int> seeds;
};

std::vector<ExactCase> exactCases() {
    const std::vector<double> unit(5, 1.0), mixed = {0.0, 3.0, 0.5, 10.0, 2.0}, sparse = {5.0, 0.0, 0.0, 1.0, 0.0};
    return {
        {"A unit {1}", {5, kArcsA, unit}, {1}},
        {"A unit {2,5}", {5, kArcsA, unit}, {2, 5}},
        {"A mixed {1}", {5, kArcsA, mixed}, {1}},
        {"A mixed {3}", {5, kArcsA, mixed}, {3}},
        {"A sparse {2}", {5, kArcsA, sparse}, {2}},
        {"A sparse {5,3}", {5, kArcsA, sparse}, {5, 3}},
        {"B unit {1}", {4, kArcsB, {1.0, 1.0, 1.0, 1.0}}, {1}},
        {"B weighted {4}", {4, kArcsB, {7.0, 0.25, 2.0, 1.5}}, {4}},
        {"B weighted {1,2}", {4, kArcsB, {0.0, 1.0, 4.0, 0.5}}, {1, 2}},
    };
}

TEST(OstrandExact, DefaultAccuracyWithinEpsilonUnderBothModels) {
    unsigned seed = 11;
    for (const ExactCase& c : exactCases())
        for (bool lt : {true, false}) {
            const double exact = exactBenefit(c.net, c.seeds, lt);
            const BlockEstimate r = estimateOn(c.net, lt, c.seeds, seed++);
            EXPECT_EQ(r.hits, 1206) << c.name;
            EXPECT_NEAR(r.estimate, exact, 0.1 * exact) << c.name << (lt ? " LT" : " IC");
        }
}

// A finer run bounds the error by a few standard errors: with the stop at a
// fixed number of hits h, hits / samples has relative error sqrt((1 - p) / h).
TEST(OstrandExact, FineAccuracyWithinFourStandardErrors) {
    const std::vector<ExactCase> cases = exactCases();
    unsigned seed = 101;
    for (std::size_t i : {0u, 3u, 7u}) {
        const ExactCase& c = cases[i];
        for (bool lt : {true, false}) {
            const double exact = exactBenefit(c.net, c.seeds, lt);
            double mass = 0;
            for (double b : c.net.ben) mass += b > 0 ? b : 0;
            const double p = exact / mass;
            const BlockEstimate r = estimateOn(c.net, lt, c.seeds, seed++, 1, 0.03f);
            const double se = exact * std::sqrt((1 - p) / static_cast<double>(r.hits));
            EXPECT_NEAR(r.estimate, exact, 4 * se + 1e-9) << c.name << (lt ? " LT" : " IC");
        }
    }
}

TEST(OstrandExact, ModelsDifferWhereTheirDiffusionsDo) {
    // Under LT node 3 of network B always takes an in-arc from 1 or 2; under
    // IC each is live with probability 0.5, so it is reached with 0.75.
    const Net net{4, kArcsB, {0.0, 0.0, 1.0, 0.0}};
    EXPECT_DOUBLE_EQ(exactBenefit(net, {1, 2}, true), 1.0);
    EXPECT_DOUBLE_EQ(exactBenefit(net, {1, 2}, false), 0.75);
    const BlockEstimate lt = estimateOn(net, true, {1, 2}, 3);
    const BlockEstimate ic = estimateOn(net, false, {1, 2}, 3);
    EXPECT_EQ(lt.samples, lt.hits);
    EXPECT_DOUBLE_EQ(lt.estimate, 1.0);
    EXPECT_NEAR(ic.estimate, 0.75, 0.075);
}

TEST(OstrandExact, EveryNodeAsSeedGivesExactlyTheTotal) {
    const Net net{5, kArcsA, {0.0, 3.0, 0.5, 10.0, 2.0}};
    for (bool lt : {true, false}) {
        const BlockEstimate r = estimateOn(net, lt, {1, 2, 3, 4, 5}, 4);
        EXPECT_EQ(r.hits, 1206);
        EXPECT_EQ(r.samples, 1206);
        EXPECT_EQ(r.estimate, 15.5);
    }
}

TEST(OstrandExact, OneThreadStopsAtTheCeilingOfTheBound) {
    const Net net{5, kArcsA, std::vector<double>(5, 1.0)};
    for (auto [e, d, hits] : {std::tuple{0.1f, 0.01f, 1206LL}, std::tuple{0.2f, 0.01f, 341LL},
                              std::tuple{0.1f, 0.05f, 840LL}}) {
        const BlockEstimate r = estimateOn(net, true, {2}, 21, 1, e, d);
        EXPECT_EQ(r.hits, hits);
        EXPECT_GT(r.samples, r.hits);
        EXPECT_DOUBLE_EQ(r.estimate, 5.0 * static_cast<double>(r.hits) / static_cast<double>(r.samples));
    }
}

TEST(OstrandExact, FourThreadsAgreeWithOneWithinTolerance) {
    const ExactCase c = exactCases()[2];
    for (bool lt : {true, false}) {
        const double exact = exactBenefit(c.net, c.seeds, lt);
        const BlockEstimate one = estimateOn(c.net, lt, c.seeds, 31, 1);
        const BlockEstimate four = estimateOn(c.net, lt, c.seeds, 31, 4);
        EXPECT_EQ(one.hits, 1206);
        EXPECT_EQ(four.hits, 1206);
        EXPECT_NEAR(one.estimate, exact, 0.1 * exact);
        EXPECT_NEAR(four.estimate, exact, 0.1 * exact);
    }
}

TEST(OstrandExact, FixedSeedReproducesOneThreadRun) {
    const ExactCase c = exactCases()[4];
    const BlockEstimate a = estimateOn(c.net, false, c.seeds, 77);
    const BlockEstimate b = estimateOn(c.net, false, c.seeds, 77);
    EXPECT_EQ(a.samples, b.samples);
    EXPECT_EQ(a.estimate, b.estimate);
}

TEST(OstrandExact, DuplicateSeedsCountOnce) {
    const ExactCase c = exactCases()[1];
    const BlockEstimate once = estimateOn(c.net, true, {2, 5}, 8);
    const BlockEstimate twice = estimateOn(c.net, true, {5, 2, 5, 2}, 8);
    EXPECT_EQ(once.samples, twice.samples);
    EXPECT_EQ(once.estimate, twice.estimate);
}

TEST(OstrandExact, NegativeBenefitsScaleByThePositiveMass) {
    // Benefits 4, -3, 1 on three isolated nodes: roots come from nodes 1 and 3
    // only, so all three as seeds give the positive mass 5, not the total 2.
    const Net net{3, {}, {4.0, -3.0, 1.0}};
    const BlockEstimate all = estimateOn(net, true, {1, 2, 3}, 5);
    EXPECT_EQ(all.estimate, 5.0);
    const BlockEstimate one = estimateOn(net, false, {3}, 5);
    EXPECT_NEAR(one.estimate, exactBenefit(net, {3}, false), 0.1);
}

// ---------------------------------------------------------------- output

TEST(OstrandOutput, DefaultStreamFormatSixSignificantDigits) {
    for (auto [benefit, text] : {std::pair{1234567.5, "1.23457e+06\n"}, std::pair{2345.678, "2345.68\n"},
                                 std::pair{2.5, "2.5\n"}}) {
        Loaded l({1, {}, {benefit}}, true, 1);
        testing::internal::CaptureStdout();
        calculateInfluence(l.g, *l.hg, {1}, 1, 0.1f, 0.01f);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), text);
    }
}

// ---------------------------------------------------------------- mends in-process

// Network C, where the only arc into 3 that can fire comes from 2:
//
//    1 --0.0--> 3 <--0.5-- 2        4 --0.5--> 5
//
// The 0.0 arc is listed first among 3's in-arcs, so its threshold stays 0
// under IC (only a zero last threshold is raised) and its LT interval is empty.
const std::vector<Arc> kArcsC = {{1, 3, 0.0f}, {2, 3, 0.5f}, {4, 5, 0.5f}};

TEST(OstrandMend, EmptySeedListIsZeroWithoutSampling) {
    const Net net{5, kArcsA, std::vector<double>(5, 1.0)};
    const BlockEstimate r = estimateOn(net, true, {}, 1);
    EXPECT_EQ(r.samples, 0);
    EXPECT_EQ(r.estimate, 0.0);
}

TEST(OstrandMend, ForwardSearchFollowsOnlyEdgesThatCanFire) {
    const Net net{5, kArcsC, {0.0, 0.0, 1.0, 0.0, 0.0}};
    for (bool lt : {true, false}) {
        Loaded l(net, lt, 2);
        EXPECT_FALSE(seedsReachRoot(l.g, *l.hg, {1}));
        EXPECT_TRUE(seedsReachRoot(l.g, *l.hg, {2}));
        EXPECT_TRUE(seedsReachRoot(l.g, *l.hg, {1, 3}));
        EXPECT_FALSE(seedsReachRoot(l.g, *l.hg, {4, 5}));
        const BlockEstimate none = classicEstimate(l.g, *l.hg, {1, 4});
        EXPECT_EQ(none.samples, 0);
        EXPECT_EQ(none.estimate, 0.0);
        const BlockEstimate some = classicEstimate(l.g, *l.hg, {2});
        EXPECT_NEAR(some.estimate, 0.5, 0.05);
    }
}

TEST(OstrandMend, ForwardSearchGoesAlongTheArcs) {
    // 1 --0.5--> 2 --0.5--> 3 with the benefit at the head or the tail.
    const std::vector<Arc> chain = {{1, 2, 0.5f}, {2, 3, 0.5f}};
    for (bool lt : {true, false}) {
        Loaded head({3, chain, {0.0, 0.0, 1.0}}, lt, 3);
        EXPECT_TRUE(seedsReachRoot(head.g, *head.hg, {1}));
        Loaded tail({3, chain, {1.0, 0.0, 0.0}}, lt, 3);
        EXPECT_FALSE(seedsReachRoot(tail.g, *tail.hg, {3}));
        EXPECT_FALSE(seedsReachRoot(tail.g, *tail.hg, {2, 3}));
        EXPECT_TRUE(seedsReachRoot(tail.g, *tail.hg, {1}));
    }
}

TEST(OstrandMend, ABenefitTooSmallToBeDrawnIsNoRoot) {
    // Node 1's benefit is below one part in 2^32 of the mass: its slot of the
    // root distribution has zero width, so no sample can start there.
    Loaded l({2, {}, {1e-12, 1.0}}, true, 4);
    EXPECT_FALSE(seedsReachRoot(l.g, *l.hg, {1}));
    EXPECT_TRUE(seedsReachRoot(l.g, *l.hg, {2}));
    EXPECT_EQ(classicEstimate(l.g, *l.hg, {1}).samples, 0);
}

// ---------------------------------------------------------------- seed file

class OstrandSeedFile : public testing::Test {
protected:
    std::string write(const std::string& text) {
        const std::string f = dir.path("seeds" + std::to_string(count++));
        testnet::writeBytes(f, text);
        return f;
    }
    // The message of the error that reading `text` with n nodes raises.
    std::string refusal(const std::string& text, int n) {
        return testnet::messageOf<std::runtime_error>([&] { readSeedFile(write(text), n); });
    }
    testnet::TempDir dir;
    int count = 0;
};

// Any whitespace separates ids; duplicates and order are kept.
TEST_F(OstrandSeedFile, ReadsIdsAsWritten) {
    const std::pair<std::string, std::vector<int>> table[] = {
        {"3 7 12", {3, 7, 12}},     {"3\n7\n12\n", {3, 7, 12}}, {"\t3\r\n 7  \n\n12", {3, 7, 12}},
        {"5\n2\n5\n1\n", {5, 2, 5, 1}}, {"", {}},                {" \n \n", {}},
    };
    for (const auto& [text, ids] : table) EXPECT_EQ(readSeedFile(write(text), 12), ids) << text;
}

// A refusal is one line naming the token, its position and what was expected.
TEST_F(OstrandSeedFile, RefusesTokensNamingThemAndTheirPosition) {
    struct Refusal {
        std::string text;
        std::vector<std::string> parts;
    };
    std::vector<Refusal> table = {{"1 2\n3 x 5\n", {"line 2", "token 4", "\"x\""}}};
    for (const char* bad : {"2.0", "3e1", "0x4", "-", "99999999999999999999"})
        table.push_back({std::string("1\n") + bad + "\n", {std::string("\"") + bad + "\"", "token 2", "integer"}});
    for (const char* out : {"0", "10", "-3"})
        table.push_back({std::string("4 ") + out, {std::string("\"") + out + "\"", "1..9"}});
    for (const Refusal& r : table) {
        const std::string m = refusal(r.text, 9);
        EXPECT_TRUE(testnet::holdsAll(m, r.parts));
        EXPECT_EQ(m.find('\n'), std::string::npos) << m;
    }
}

TEST_F(OstrandSeedFile, UnopenableFileIsNamed) {
    const std::string missing = dir.path("absent.seeds");
    const std::string message = testnet::messageOf<std::runtime_error>([&] { readSeedFile(missing, 3); });
    EXPECT_NE(message.find(missing), std::string::npos) << message;
}

// ---------------------------------------------------------------- the program

// A working directory holding network A as network.bin with nodeBenefit.txt
// (the defaults), and a second network and benefit file under other names.
class OstrandRun : public testing::Test {
protected:
    void SetUp() override {
        testnet::writeNetwork(dir.path("network.bin"), 5, kArcsA);
        testnet::writeValues(dir.path("nodeBenefit.txt"), unitA.ben);
        testnet::writeNetwork(dir.path("b.bin"), 4, kArcsB);
        testnet::writeValues(dir.path("other.txt"), mixedA.ben);
        testnet::writeValues(dir.path("four.txt"), std::vector<double>{7.0, 0.25, 2.0, 1.5});
        testnet::writeBytes(dir.path("s.txt"), "2\n5\n");
    }
    testnet::RunResult ostrand(std::vector<std::string> args) {
        args.insert(args.begin(), OSTRAND_BIN);
        return testnet::run(args, dir.root().string());
    }
    // What the estimator prints in-process for the same inputs and -seed,
    // whose generator ostrand keys with keyCheckGenerator.
    std::string expected(const Net& net, bool lt, const std::vector<int>& seeds, unsigned seed, float e = 0.1f,
                         float d = 0.01f) {
        Loaded l(net, lt, seed);
        keyCheckGenerator(*l.hg, seed);
        return printed(classicEstimate(l.g, *l.hg, seeds, 1, e, d).estimate);
    }
    testnet::TempDir dir;
    const Net unitA{5, kArcsA, std::vector<double>(5, 1.0)};
    const Net mixedA{5, kArcsA, {0.0, 3.0, 0.5, 10.0, 2.0}};
};

TEST_F(OstrandRun, MissingSeedOptionAfterLoading) {
    testnet::RunResult r = ostrand({});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "No seed file!\n");
    r = ostrand({"-i", "absent.bin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("absent.bin"), std::string::npos) << r.err;
}

TEST_F(OstrandRun, DefaultsAreNetworkBinNodeBenefitLtAndDefaultAccuracy) {
    const testnet::RunResult r = ostrand({"-s", "s.txt", "-seed", "9"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected(unitA, true, {2, 5}, 9));
    EXPECT_EQ(r.err, "");
}

TEST_F(OstrandRun, EachFileOptionChangesOnlyItsFile) {
    testnet::RunResult r = ostrand({"-s", "s.txt", "-seed", "9", "-b", "other.txt"});
    EXPECT_EQ(r.out, expected(mixedA, true, {2, 5}, 9)) << r.err;
    testnet::writeBytes(dir.path("s4.txt"), "2\n4\n");
    r = ostrand({"-s", "s4.txt", "-seed", "9", "-i", "b.bin", "-b", "four.txt"});
    EXPECT_EQ(r.out, expected({4, kArcsB, {7.0, 0.25, 2.0, 1.5}}, true, {2, 4}, 9)) << r.err;
    // -i alone keeps nodeBenefit.txt, whose five values cover network B's four.
    r = ostrand({"-s", "s4.txt", "-seed", "9", "-i", "b.bin"});
    EXPECT_EQ(r.out, expected({4, kArcsB, {1.0, 1.0, 1.0, 1.0}}, true, {2, 4}, 9)) << r.err;
}

// With -seed S ostrand does not draw from the generator marlet -seed S
// samples from (srand(S), then the store), so that checking marlet's seeds
// with marlet's seed does not redraw the samples that chose them: its
// estimate is not the one that generator gives, for any of three seeds
// (equal for all three only if the streams were one).
TEST_F(OstrandRun, WithSeedItDoesNotDrawMarletsSamples) {
    int same = 0;
    for (unsigned seed : {3u, 4u, 5u}) {
        const testnet::RunResult r = ostrand({"-s", "s.txt", "-seed", std::to_string(seed)});
        ASSERT_EQ(r.status, 0) << r.err;
        same += r.out == printed(estimateOn(unitA, true, {2, 5}, seed).estimate);
    }
    EXPECT_LT(same, 3);
}

TEST_F(OstrandRun, ModelAccuracyAndCostOptions) {
    testnet::RunResult r = ostrand({"-s", "s.txt", "-seed", "12", "-m", "IC"});
    EXPECT_EQ(r.out, expected(unitA, false, {2, 5}, 12)) << r.err;
    r = ostrand({"-s", "s.txt", "-seed", "12", "-m", "LT", "-epsilon", "0.2", "-delta", "0.05"});
    EXPECT_EQ(r.out, expected(unitA, true, {2, 5}, 12, 0.2f, 0.05f)) << r.err;
    const testnet::RunResult without = ostrand({"-s", "s.txt", "-seed", "12"});
    const testnet::RunResult with = ostrand({"-s", "s.txt", "-seed", "12", "-c", "no-such-costs.txt"});
    EXPECT_EQ(with.status, 0) << with.err;
    EXPECT_EQ(with.out, without.out);
}

TEST_F(OstrandRun, FixedSeedRepeatsAndThreadsStayAccurate) {
    const testnet::RunResult a = ostrand({"-s", "s.txt", "-seed", "40", "-b", "other.txt", "-m", "IC"});
    const testnet::RunResult b = ostrand({"-s", "s.txt", "-seed", "40", "-b", "other.txt", "-m", "IC"});
    EXPECT_EQ(a.out, b.out);
    const double exact = exactBenefit(mixedA, {2, 5}, false);
    for (const char* t : {"1", "2", "4"}) {
        const testnet::RunResult r = ostrand({"-s", "s.txt", "-b", "other.txt", "-m", "IC", "-t", t});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NEAR(std::stod(r.out), exact, 0.1 * exact) << "-t " << t;
    }
}

TEST_F(OstrandRun, AgainstExactValues) {
    const double lt = exactBenefit(mixedA, {2, 5}, true);
    const double ic = exactBenefit(mixedA, {2, 5}, false);
    testnet::RunResult r = ostrand({"-s", "s.txt", "-b", "other.txt", "-seed", "3"});
    EXPECT_NEAR(std::stod(r.out), lt, 0.1 * lt);
    r = ostrand({"-s", "s.txt", "-b", "other.txt", "-seed", "3", "-m", "IC"});
    EXPECT_NEAR(std::stod(r.out), ic, 0.1 * ic);
    testnet::writeBytes(dir.path("all.txt"), "1 2 3 4 5");
    r = ostrand({"-s", "all.txt", "-b", "other.txt"});
    EXPECT_EQ(r.out, "15.5\n");
}

TEST_F(OstrandRun, EmptyOrUnreachableSeedsPrintZero) {
    testnet::writeBytes(dir.path("empty.txt"), "");
    testnet::RunResult r = ostrand({"-s", "empty.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0\n");
    testnet::writeNetwork(dir.path("c.bin"), 5, kArcsC);
    testnet::writeValues(dir.path("c.txt"), std::vector<double>{0.0, 0.0, 1.0, 0.0, 0.0});
    testnet::writeBytes(dir.path("c.seeds"), "1\n4\n5\n");
    for (const char* m : {"LT", "IC"}) {
        r = ostrand({"-i", "c.bin", "-b", "c.txt", "-s", "c.seeds", "-m", m});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "0\n") << m;
    }
}

TEST_F(OstrandRun, BadSeedFiles) {
    testnet::writeBytes(dir.path("bad.txt"), "1\n2\nthree\n");
    testnet::writeBytes(dir.path("range.txt"), "1 6");
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"absent.seeds", {"absent.seeds"}},        {"bad.txt", {"\"three\"", "line 3"}},
        {"range.txt", {"\"6\""}},                  {".", {"seed file \".\""}},
        {"/dev/zero", {"seed file \"/dev/zero\""}},
    };
    for (const auto& [file, parts] : cases) {
        const testnet::RunResult r = ostrand({"-s", file});
        EXPECT_EQ(r.status, 1) << file;
        EXPECT_EQ(r.out, "") << file;
        EXPECT_TRUE(testnet::holdsAll(r.err, parts)) << file;
    }
    testnet::writeBytes(dir.path("dup.txt"), "5 2 2 5");
    EXPECT_EQ(ostrand({"-s", "dup.txt", "-seed", "6"}).out, ostrand({"-s", "s.txt", "-seed", "6"}).out);
}

TEST_F(OstrandRun, UnwritableOutput) {
    for (testnet::Stdout to : {testnet::Stdout::DevFull, testnet::Stdout::ClosedPipe}) {
        const testnet::RunResult r = testnet::run({OSTRAND_BIN, "-s", "s.txt"}, dir.root().string(), to);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, std::string("ostrand: cannot write the estimate to standard output: ") +
                             (to == testnet::Stdout::DevFull ? "No space left on device" : "Broken pipe") + "\n");
    }
}

TEST_F(OstrandRun, NegativeBenefitsNoted) {
    testnet::writeValues(dir.path("neg.txt"), std::vector<double>{4.0, -3.0, 1.0, 0.0, -1.0});
    testnet::writeBytes(dir.path("all.txt"), "1 2 3 4 5");
    const testnet::RunResult r = ostrand({"-s", "all.txt", "-b", "neg.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "5\n");
    EXPECT_NE(r.err.find("negative"), std::string::npos) << r.err;
}

// A random network of n nodes and m distinct arcs (no self-loops) with
// weighted-cascade probabilities 1 / in-degree, so that LT in-weights sum to 1.
std::vector<Arc> randomWeightedCascade(int n, std::size_t m, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::set<std::pair<int, int>> pairs;
    while (pairs.size() < m) {
        const int u = static_cast<int>(rng() % static_cast<std::uint32_t>(n)) + 1;
        const int v = static_cast<int>(rng() % static_cast<std::uint32_t>(n)) + 1;
        if (u != v) pairs.emplace(u, v);
    }
    std::vector<int> indeg(static_cast<std::size_t>(n) + 1, 0);
    for (const auto& [u, v] : pairs) ++indeg[static_cast<std::size_t>(v)];
    std::vector<Arc> arcs;
    for (const auto& [u, v] : pairs)
        arcs.push_back({u, v, 1.0f / static_cast<float>(indeg[static_cast<std::size_t>(v)])});
    return arcs;
}

TEST_F(OstrandRun, AgreesWithMarletOnItsSeeds) {
    const int n = 300;
    testnet::writeNetwork(dir.path("wc.bin"), n, randomWeightedCascade(n, 1500, 17));
    std::vector<double> ben(n);
    for (int i = 0; i < n; ++i) ben[static_cast<std::size_t>(i)] = 1.0 + (i % 7) * 0.5;
    testnet::writeValues(dir.path("wc.ben"), ben);
    testnet::writeValues(dir.path("wc.cost"), std::vector<double>(n, 1.0));
    for (const char* m : {"LT", "IC"})
        for (const char* k : {"3", "10"}) {
            const testnet::RunResult sel = testnet::run({MARLET_BIN, "-i", "wc.bin", "-b", "wc.ben", "-c", "wc.cost",
                                                         "-m", m, "-k", k, "-epsilon", "0.1", "-seed", "2", "-o",
                                                         "wc.seeds"},
                                                        dir.root().string());
            ASSERT_EQ(sel.status, 0) << sel.err;
            const std::size_t at = sel.out.find("Total Benefit: ");
            ASSERT_NE(at, std::string::npos) << sel.out;
            const double marlet = std::stod(sel.out.substr(at + 15));
            const testnet::RunResult est = ostrand({"-i", "wc.bin", "-b", "wc.ben", "-s", "wc.seeds", "-m", m});
            ASSERT_EQ(est.status, 0) << est.err;
            const double ostrand = std::stod(est.out);
            EXPECT_NEAR(marlet, ostrand, (0.1 + 0.1) * ostrand) << m << " k " << k;
        }
}

TEST_F(OstrandRun, NoPositiveBenefitIsAnError) {
    testnet::writeValues(dir.path("zero.txt"), std::vector<double>(5, 0.0));
    const testnet::RunResult r = ostrand({"-s", "s.txt", "-b", "zero.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("ostrand: ", 0), 0u) << r.err;
}

}  // namespace
