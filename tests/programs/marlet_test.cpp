// Tests of the selection program: the threshold's worked values and range
// checks, the cost file and pair list readers, the doubling loop on a tiny
// store, and end-to-end runs of the built marlet binary in a temporary
// directory (report format, seed file, budget, every mend, reproducibility;
// the command line's fixed messages are in commandLine_test.cpp).
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <omp.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "graph/graph.h"
#include "sampling/hyperGraph.h"
#include "io/pairList.h"
#include "core/procStatus.h"
#include "io/costFile.h"
#include "selection/schedule.h"
#include "selection/storeGuard.h"
#include "selection/threshold.h"
#include "support/testNetwork.h"

using namespace lattis;

namespace {

using testnet::contains;

// ---------------------------------------------------------------- threshold

// The worked values, each compared to the digits it is known to: a tolerance
// of half a unit of the last digit.
struct Worked {
    int n;
    double k;
    float epsilon;
    double L, alpha, beta, epsPrime, lambda;
    long long firstBatch;
};

std::vector<float> unitCosts(int n) { return std::vector<float>(static_cast<std::size_t>(n) + 1, 1.0f); }

TEST(MarletThreshold, WorkedValues) {
    const Worked table[] = {
        {1000, 100, 0.1f, 335.51697, 2.91220, 1.82047, 0.0615340, 5000.9485, 5000},
        {10000, 100, 0.1f, 575.19849, 3.20580, 2.05771, 0.0609061, 6128.9934, 6128},
    };
    for (const Worked& w : table) {
        SCOPED_TRACE(w.n);
        const Threshold th = computeThreshold(w.n, w.k, w.epsilon, static_cast<float>(1.0 / w.n));
        EXPECT_NEAR(th.L, w.L, 5e-6);
        EXPECT_NEAR(th.alpha, w.alpha, 5e-6);
        EXPECT_NEAR(th.beta, w.beta, 5e-6);
        EXPECT_NEAR(th.epsPrime, w.epsPrime, 5e-8);
        EXPECT_NEAR(th.lambda, w.lambda, 5e-5);
        EXPECT_EQ(static_cast<long long>(th.lambda), w.firstBatch);
    }
}

TEST(MarletThreshold, WorkedVariants) {
    const float delta = static_cast<float>(1.0 / 10000);
    const Threshold eps02 = computeThreshold(10000, 100, 0.2f, delta);
    EXPECT_NEAR(eps02.epsPrime, 0.1218123, 5e-8);
    EXPECT_NEAR(eps02.lambda, 1620.2140, 5e-5);
    EXPECT_EQ(static_cast<long long>(eps02.lambda), 1620);

    const Threshold budget10 = computeThreshold(10000, 10, 0.1f, delta);
    EXPECT_NEAR(budget10.L, 95.41307, 5e-6);
    EXPECT_NEAR(budget10.lambda, 5733.2164, 5e-5);
}

TEST(MarletThreshold, CheckedAcceptsTheDefaults) {
    const Threshold th = checkedThreshold(1000, 100, 0.1f, static_cast<float>(1.0 / 1000), unitCosts(1000));
    EXPECT_NEAR(th.lambda, 5000.9485, 5e-5);
}

// Each refusal names the parameter and the range it must lie in.
TEST(MarletThreshold, RefusesParametersOutsideRange) {
    struct Refusal {
        int n;
        double k;
        float epsilon, delta;
        std::vector<std::string> parts;
    };
    const Refusal table[] = {
        {30, 0, 0.1f, 0.01f, {"option -k", "greater than 0"}},
        {30, -2, 0.1f, 0.01f, {"option -k", "greater than 0"}},
        {1, 0.5, 0.1f, 0.01f, {"option -k", "no budget is valid"}},
        {30, 5, 0.0f, 0.01f, {"option -epsilon", "greater than 0"}},
        {30, 5, -0.1f, 0.01f, {"option -epsilon", "greater than 0"}},
        {30, 5, INFINITY, 0.01f, {"option -epsilon", "finite"}},
        {30, 5, 0.1f, 0.0f, {"option -delta", "0 < delta < 4"}},
        {30, 5, 0.1f, -1.0f, {"option -delta", "0 < delta < 4"}},
        {30, 5, 0.1f, 4.0f, {"option -delta", "0 < delta < 4"}},
        {30, 5, 0.1f, 5.0f, {"option -delta", "0 < delta < 4"}},
        // n = 3, k = 1: L = ln 3! = 1.79, so 2L/delta = 0.92 for delta = 3.9.
        {3, 1, 0.1f, 3.9f, {"ln(2L/delta)", "-delta must be below 2L = 3.58352"}},
        // Thresholds no run can meet.
        {1000, 100, 1e-6f, 0.001f, {"option -epsilon", "2147483647"}},
        {1000, 100, 1000.0f, 0.001f, {"option -epsilon", "below one hyperedge"}},
    };
    for (const Refusal& r : table) {
        SCOPED_TRACE(testing::Message() << "n=" << r.n << " k=" << r.k << " epsilon=" << r.epsilon
                                        << " delta=" << r.delta);
        const std::string message = testnet::messageOf<std::invalid_argument>(
            [&] { checkedThreshold(r.n, r.k, r.epsilon, r.delta, unitCosts(r.n)); });
        EXPECT_TRUE(testnet::holdsAll(message, r.parts));
    }
    EXPECT_NO_THROW(checkedThreshold(30, 28.5, 0.1f, 0.01f, unitCosts(30)));
}

// From k = n - 1 on, the threshold is that of the number of seeds k buys,
// the cheapest first, at most n - 2; below n - 1 it is that of k itself.
TEST(MarletThreshold, LargeBudgetsCountTheSeedsTheyBuy) {
    // 30 nodes: costs 1, 2, ..., 30 in reverse node order. The cheapest
    // m cost m(m + 1)/2: 28 need 406, 27 need 378, 8 need 36.
    std::vector<float> rising(31, 0.0f);
    for (int x = 1; x <= 30; ++x) rising[static_cast<std::size_t>(x - 1)] = static_cast<float>(31 - x);
    struct Case {
        double k;
        const std::vector<float> costs;
        double seeds;
    };
    const Case cases[] = {
        {28.5, unitCosts(30), 28.5},  // below n - 1: k itself
        {29, unitCosts(30), 28},      // 29 unit nodes fit, capped at n - 2
        {1e9, unitCosts(30), 28},
        {29, rising, 7},              // 1 + ... + 7 = 28 <= 29 < 36
        {36, rising, 8},
        {405, rising, 27},
        {406, rising, 28},
        {1e6, rising, 28},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.k);
        EXPECT_EQ(thresholdSeeds(30, c.k, c.costs), c.seeds);
        const Threshold th = checkedThreshold(30, c.k, 0.1f, 0.01f, c.costs);
        const Threshold want = computeThreshold(30, c.seeds, 0.1f, 0.01f);
        EXPECT_EQ(th.lambda, want.lambda);
        EXPECT_TRUE(std::isfinite(th.lambda) && th.lambda > 0);
    }
    // Costs in large units: nodes of cost 1000 and a budget of 2500 buy two.
    const std::vector<float> dear(31, 1000.0f);
    EXPECT_EQ(thresholdSeeds(30, 2500, dear), 2);
    // None fits: the threshold of no seed is still defined (the run then
    // ends with an empty selection).
    EXPECT_EQ(thresholdSeeds(30, 500, dear), 0);
    EXPECT_NO_THROW(checkedThreshold(30, 500, 0.1f, 0.01f, dear));
}

// ---------------------------------------------------------------- readers

// Values are whitespace separated and whole tokens; what follows the n-th is
// ignored. Values up to the floor, and magnitudes below the float range, are
// tiny costs, floored.
TEST(MarletCosts, ReadsValuesAndFloorsSmallOnes) {
    struct Read {
        std::string_view text;
        std::vector<float> costs;
    };
    const Read table[] = {
        {"0 -3 0.5", {kMinCost, kMinCost, 0.5f}},
        {"2\n\t+0.25  1e1\r\n7 tail words", {2.0f, 0.25f, 10.0f}},
        {"1e-60", {kMinCost}},
        {"1e-9", {kMinCost}},
    };
    for (const Read& r : table) {
        const std::vector<float> c = parseCosts(r.text, static_cast<unsigned>(r.costs.size()), "c.txt");
        ASSERT_EQ(c.size(), r.costs.size() + 1) << r.text;
        EXPECT_TRUE(std::equal(r.costs.begin(), r.costs.end(), c.begin())) << r.text;
    }
    EXPECT_EQ(kMinCost, static_cast<float>(1e-9));
}

TEST(MarletCosts, WholeNumbersRoundAsTheirTextDoes) {
    // Enough text behind each number for the reader's digit path to take it.
    const std::vector<std::string> words = {"16777217", "16777219", "99999999", "00000012", "0", "7.5"};
    std::string text;
    for (const std::string& w : words) text += w + "\n";
    const std::vector<float> c = parseCosts(text + std::string(32, ' '), static_cast<unsigned>(words.size()), "c.txt");
    for (std::size_t i = 0; i < words.size(); ++i)
        EXPECT_EQ(c[i], std::max(std::strtof(words[i].c_str(), nullptr), kMinCost)) << words[i];
}

TEST(MarletCosts, RefusesShortFilesAndBadTokens) {
    struct Refusal {
        std::string_view text;
        unsigned n;
        std::vector<std::string> parts;
    };
    const Refusal table[] = {
        {"2 0.5", 3, {"costs.txt", "holds 2 costs", "expected 3"}},
        {"", 1, {"costs.txt", "holds 0 costs"}},
        {"2 word 3", 3, {"costs.txt", "line 1", "value 2", "\"word\""}},
        {"1\n2\n3x\n", 3, {"costs.txt", "line 3", "value 3", "\"3x\""}},
        {"nan", 1, {"costs.txt", "value 1"}},
        {"1e60", 1, {"costs.txt", "value 1"}},
        {"+-1", 1, {"costs.txt", "value 1"}},
    };
    // A file read on one thread or a team gives the message of the text in
    // memory; so does one of several blocks with faults in two of them.
    testnet::TempDir dir;
    const std::string path = dir.path("costs.txt");
    std::string big;
    for (int i = 0; i < 600000; ++i) big += i % 2 ? "12\n" : "0.5\n";
    std::string faulty = big;
    faulty.replace(faulty.rfind("12"), 2, "1z");
    faulty.replace(faulty.find("0.5", big.size() / 2), 3, "inf");
    std::vector<Refusal> rows(std::begin(table), std::end(table));
    rows.push_back({faulty, 600000, {"costs.txt", "\"inf\""}});
    rows.push_back({big, 600001, {"costs.txt", "holds 600000 costs"}});
    for (const Refusal& r : rows) {
        const std::string memory =
            testnet::messageOf<std::runtime_error>([&] { parseCosts(r.text, r.n, path); });
        EXPECT_TRUE(testnet::holdsAll(memory, r.parts)) << r.text.substr(0, 20);
        testnet::writeBytes(path, std::string(r.text));
        for (int threads : {1, 3}) {
            omp_set_num_threads(threads);
            EXPECT_EQ(testnet::messageOf<std::runtime_error>([&] { readCostFile(path, r.n); }), memory) << threads;
        }
    }
    // The costs a team reads are those of one thread.
    testnet::writeBytes(path, big);
    omp_set_num_threads(1);
    const std::vector<float> one = readCostFile(path, 600000);
    omp_set_num_threads(3);
    EXPECT_EQ(readCostFile(path, 600000), one);
    EXPECT_EQ(one, parseCosts(big, 600000, path));
}

TEST(MarletCosts, FileThatCannotBeOpened) {
    testnet::TempDir dir;
    const std::string path = dir.path("absent.cost");
    EXPECT_TRUE(contains(testnet::messageOf<std::runtime_error>([&] { readCostFile(path, 3); }), path));
    std::ofstream(dir.path("ok.cost")) << "1 2 3\n";
    EXPECT_EQ(readCostFile(dir.path("ok.cost"), 3)[2], 3.0f);
}

TEST(MarletCosts, DefaultsAreAllTheFloor) {
    const std::vector<float> c = defaultCosts(3);
    ASSERT_EQ(c.size(), 4u);
    for (unsigned i = 0; i < 3; ++i) EXPECT_EQ(c[i], kMinCost);
}

// The table's entries 0 .. size - 1.
std::vector<int> entries(const PairList& t, int size) {
    std::vector<int> e;
    for (int id = 0; id < size; ++id) e.push_back(t.count(id));
    return e;
}

TEST(MarletPairList, CountsFirstMembers) {
    // A = 4, B = 3, pairs (1, 2), (1, 3), (2, 1): counts 0, 2, 1, 0.
    const PairList t = parsePairList("4 3\n1 2\n1 3\n2 1\n", "db_Enron.txt");
    EXPECT_EQ(entries(t, 4), (std::vector<int>{0, 2, 1, 0}));
    EXPECT_EQ(t.tableSize(), 4);
    EXPECT_EQ(t.pairs(), 3);
    EXPECT_EQ(pairCountOf(t, {1, 2}), 3);
    // Ids of A or more (and any negative id) count 0.
    EXPECT_EQ(pairCountOf(t, {2, 4, 1000, -1}), 1);
    EXPECT_EQ(pairCountOf(PairList{}, {1, 2}), 0);
    EXPECT_EQ(parsePairList("0 0", "db_Enron.txt").tableSize(), 0);
    EXPECT_EQ(entries(parsePairList("2 1 0 9 trailing text", "db_Enron.txt"), 2), (std::vector<int>{1, 0}));
}

TEST(MarletPairList, TableSizedByTheIdsPresentNotByA) {
    // A stated as 2^31 - 1 and a first member near it: no table of A entries.
    const PairList huge = parsePairList("2147483647 3\n2147483646 0\n5 1\n2147483646 7\n", "db_Enron.txt");
    EXPECT_EQ(huge.tableSize(), 2147483647);
    EXPECT_EQ(huge.count(2147483646), 2);
    EXPECT_EQ(huge.count(5), 1);
    EXPECT_EQ(huge.count(2147483645), 0);
    // Descending first members: the largest come before the table may reach
    // them and are counted apart, the later ones in the table.
    const int n = 200000;
    std::string text = std::to_string(n) + " " + std::to_string(n) + "\n";
    for (int i = 0; i < n; ++i) text += std::to_string(n - 1 - i) + " 0\n";
    const PairList down = parsePairList(text, "db_Enron.txt");
    for (int id : {0, 1, 65535, 65536, 100000, n - 2, n - 1}) EXPECT_EQ(down.count(id), 1) << id;
    EXPECT_EQ(down.count(n), 0);
    // More pairs than one chunk of pending increments, over a table too large
    // to count into directly: the grouped increments give the same counts.
    const int pairs = 1200000, range = 2500000;
    std::vector<int> expected(range, 0);
    text = std::to_string(range) + " " + std::to_string(pairs) + "\n";
    for (int i = 0; i < pairs; ++i) {
        const int x = static_cast<int>((static_cast<long long>(i) * 7919) % range);
        ++expected[static_cast<std::size_t>(x)];
        text += std::to_string(x) + " 1\n";
    }
    const PairList spread = parsePairList(text, "db_Enron.txt");
    for (int id = 0; id < range; id += 997) ASSERT_EQ(spread.count(id), expected[static_cast<std::size_t>(id)]) << id;
}

void expectPairError(std::string_view text, const std::vector<std::string>& parts) {
    const std::string message = testnet::messageOf<std::runtime_error>([&] { parsePairList(text, "db_Enron.txt"); });
    EXPECT_TRUE(testnet::holdsAll(message, parts)) << text;
}

TEST(MarletPairList, LayoutsOtherThanOneSpaceTakeTheSlowPathAlike) {
    // Lines the whole-line path takes and lines it must leave to the token
    // path (two spaces, a tab, CRLF, nine digits, a sign, several pairs on
    // one line), repeated so that each kind is read far from the text's end.
    const std::vector<std::pair<std::string, int>> lines = {
        {"7 1\n", 7}, {"12345678 99999999\n", 12345678}, {"3  4\n", 3}, {"5\t6\n", 5},
        {"6 7\r\n", 6}, {"8 123456789\n", 8}, {"+9 1\n", 9}, {"10 1 11 2\n", 10}};
    const int rounds = 50;
    std::string body;
    std::vector<int> expected(12345679, 0);
    int pairs = 0;
    for (int r = 0; r < rounds; ++r)
        for (const auto& [line, x] : lines) {
            body += line;
            ++expected[static_cast<std::size_t>(x)];
            ++pairs;
            if (x == 10) {
                ++expected[11];
                ++pairs;
            }
        }
    const PairList t = parsePairList("12345679 " + std::to_string(pairs) + "\n" + body, "db_Enron.txt");
    for (int id : {3, 5, 6, 7, 8, 9, 10, 11, 12345678}) EXPECT_EQ(t.count(id), expected[static_cast<std::size_t>(id)]) << id;
    // A fault after many plain lines is still placed on its own line.
    std::string bad = "100 400\n";
    for (int i = 0; i < 399; ++i) bad += "1 2\n";
    expectPairError(bad + "4 5x\n", {"line 401", "second member of pair 400", "\"5x\""});
}

TEST(MarletPairList, RefusesMalformedLists) {
    expectPairError("", {"db_Enron.txt", "before the table size A"});
    expectPairError("x 1", {"db_Enron.txt", "line 1", "table size A", "\"x\""});
    expectPairError("4", {"db_Enron.txt", "before the pair count B"});
    expectPairError("-1 0", {"db_Enron.txt", "A = -1", "negative"});
    expectPairError("4 -2", {"db_Enron.txt", "B = -2", "negative"});
    expectPairError("4 3\n1 2\n1 3\n", {"db_Enron.txt", "pair 3 of 3"});
    expectPairError("4 2\n1 2\n4 0\n", {"db_Enron.txt", "line 3", "first member 4", "0..3"});
    expectPairError("4 1\n-1 0\n", {"db_Enron.txt", "first member -1"});
    expectPairError("4 1\n1 y\n", {"db_Enron.txt", "second member of pair 1", "\"y\""});
}

TEST(MarletProc, FieldsOfProcFiles) {
    const std::string meminfo = "MemTotal:       32000 kB\nMemFree: 100 kB\nMemAvailable:   2048 kB\n";
    EXPECT_EQ(procFieldKilobytes(meminfo, "MemAvailable"), 2048u);
    EXPECT_EQ(procFieldKilobytes(meminfo, "MemTotal"), 32000u);
    EXPECT_FALSE(procFieldKilobytes(meminfo, "Mem").has_value());
    EXPECT_FALSE(procFieldKilobytes(meminfo, "VmHWM").has_value());
    EXPECT_EQ(procFieldKilobytes("Name:\tx\nVmHWM:\t  512 kB", "VmHWM"), 512u);
    // The live files of this machine.
    EXPECT_TRUE(memAvailableBytes().has_value());
    EXPECT_GT(peakResidentBytes().value_or(0), 0u);
}

TEST(MarletProc, StoreEstimate) {
    // Empty store: each new hyperedge counted as its root alone, in a slot
    // of its own.
    EXPECT_DOUBLE_EQ(estimateStoreBytes(0, 0, 0, 10000), 8.0 * 10000 + 8.0 * 10000 + 8.0 * 10000);
    // 30000 ids of 6000 nodes over 10000 hyperedges: 20000 more at 3 ids
    // each, and a node per 5 ids.
    EXPECT_DOUBLE_EQ(estimateStoreBytes(30000, 6000, 10000, 20000), 8.0 * 90000 + 8.0 * 30000 + 8.0 * 18000);
}

// ---------------------------------------------------------------- the loop

// The loop's store:   1 --> 2 --> 3    4
// with certain arcs (p = 1) and unit benefits. Under IC every hyperedge is
// its root's ancestors: {1}, {2, 1}, {3, 2, 1} or {4}, so node 1 covers each
// hyperedge with probability 3/4 and is the best single seed.
class MarletSchedule : public ::testing::Test {
protected:
    void SetUp() override {
        testnet::writeNetwork(dir.path("net.bin"), 4, {{1, 2, 1.0f}, {2, 3, 1.0f}});
        testnet::writeValues<double>(dir.path("net.ben"), {1, 1, 1, 1});
        g.readGraphIC(dir.path("net.bin").c_str(), dir.path("net.ben").c_str());
        settings.k = 1;
        settings.available = [] { return std::optional<std::uint64_t>(); };
    }
    ScheduleResult run(HyperGraph& hg, const std::vector<float>& costs) {
        return runSchedule(g, hg, costs, settings, seeds, degree, totalDegree);
    }
    testnet::TempDir dir;
    Graph g{BenefitLayout::Dense};
    ScheduleSettings settings;
    std::vector<int> seeds;
    std::vector<double> degree = std::vector<double>(5, 0.0);
    long long totalDegree = -1;
    const std::vector<float> unitCosts{1, 1, 1, 1, 0};
};

TEST_F(MarletSchedule, DoublesUntilCovered) {
    std::srand(11);
    HyperGraph hg(4, g);
    settings.lambda = 25000;  // first batch 25000 (3 blocks); coverage about 22500 < 25000
    std::vector<Progress> seen;
    settings.progress = [&seen](const Progress& p) { seen.push_back(p); };
    const ScheduleResult r = run(hg, unitCosts);
    EXPECT_EQ(r.iterations, 2);
    EXPECT_FALSE(r.emptySelection);
    // Second batch 50000: 5 more blocks.
    EXPECT_EQ(hg.getNumEdge(), 80000);
    EXPECT_EQ(seeds, std::vector<int>{1});
    // Coverage is binomial(80000, 3/4): within five standard errors (about 122 each).
    EXPECT_NEAR(static_cast<double>(totalDegree), 60000.0, 5 * std::sqrt(80000 * 0.75 * 0.25));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].iteration, 1);
    EXPECT_EQ(seen[0].hyperedges, 30000);
    EXPECT_LT(static_cast<double>(seen[0].coverage), 25000.0);
    EXPECT_EQ(seen[1].hyperedges, 80000);
    EXPECT_EQ(seen[1].coverage, totalDegree);
    EXPECT_GE(r.samplingSeconds, 0.0);
    EXPECT_GE(r.selectionSeconds, 0.0);
}

TEST_F(MarletSchedule, OneAndTwoThreadsAgree) {
    settings.lambda = 25000;
    std::srand(5);
    HyperGraph one(4, g);
    run(one, unitCosts);
    const std::vector<int> seedsOne = seeds;
    const long long coverOne = totalDegree;

    std::srand(5);
    HyperGraph two(4, g);
    settings.threads = 2;
    run(two, unitCosts);
    EXPECT_EQ(seeds, seedsOne);
    EXPECT_EQ(totalDegree, coverOne);
    EXPECT_EQ(two.getNumEdge(), one.getNumEdge());
}

TEST_F(MarletSchedule, EmptySelectionEndsTheLoop) {
    std::srand(3);
    HyperGraph hg(4, g);
    settings.lambda = 2000;
    const ScheduleResult r = run(hg, {2, 2, 2, 2, 0});  // every node costs more than k = 1
    EXPECT_TRUE(r.emptySelection);
    EXPECT_EQ(r.iterations, 1);
    EXPECT_TRUE(seeds.empty());
    EXPECT_EQ(totalDegree, 0);
    EXPECT_EQ(hg.getNumEdge(), 10000);
}

void expectGuardStop(const std::function<ScheduleResult()>& body, const std::vector<std::string>& parts) {
    EXPECT_TRUE(testnet::holdsAll(testnet::messageOf<std::runtime_error>([&] { body(); }), parts));
}

TEST_F(MarletSchedule, MemoryGuardBeforeTheFirstBatch) {
    std::srand(3);
    HyperGraph hg(4, g);
    settings.lambda = 2000;
    // One block of roots alone needs 160000 bytes.
    settings.available = [] { return std::optional<std::uint64_t>(100000); };
    expectGuardStop([&] { return run(hg, unitCosts); },
                    {"before iteration 1", "MemAvailable", "covered 0 of the Lambda = 2000.0", "-epsilon", "-k"});
    EXPECT_EQ(hg.getNumEdge(), 0);
}

TEST_F(MarletSchedule, MemoryGuardMidRun) {
    std::srand(3);
    HyperGraph hg(4, g);
    settings.lambda = 25000;
    // Iteration 1 (30000 roots alone: 480000 bytes) fits; iteration 2 adds
    // 50000 hyperedges of 1.75 ids on average: about 1.76 MB in all.
    settings.available = [] { return std::optional<std::uint64_t>(1000000); };
    expectGuardStop([&] { return run(hg, unitCosts); }, {"before iteration 2", "Lambda = 25000.0", "-epsilon"});
    EXPECT_EQ(hg.getNumEdge(), 30000);
}

TEST_F(MarletSchedule, MemoryLimitBelowAvailable) {
    std::srand(3);
    HyperGraph hg(4, g);
    settings.lambda = 2000;
    settings.available = [] { return std::optional<std::uint64_t>(1ull << 40); };
    settings.memoryLimit = 100000;
    expectGuardStop([&] { return run(hg, unitCosts); }, {"before iteration 1", "-mem limit"});
}

// ---------------------------------------------------------------- end to end

// A run's standard output split into the five parts of the report.
struct Report {
    std::vector<int> seeds;
    std::string benefit;
    int influence = 0;
};

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

// Strips `prefix` from the front of `s`; false when it is not there.
bool eat(std::string_view& s, std::string_view prefix) {
    if (s.substr(0, prefix.size()) != prefix) return false;
    s.remove_prefix(prefix.size());
    return true;
}

// The text up to the next newline (which is consumed), or nothing without one.
std::optional<std::string_view> line(std::string_view& s) {
    std::size_t end = s.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    std::string_view l = s.substr(0, end);
    s.remove_prefix(end + 1);
    return l;
}

bool allOf(std::string_view s, std::string_view chars) {
    return !s.empty() && s.find_first_not_of(chars) == std::string_view::npos;
}

// A number in the stream's default notation (e.g. 0, 0.0123, 1.5e-05), in full.
bool defaultNotation(std::string_view s) {
    if (!allOf(s, "0123456789.e+-")) return false;
    std::string text(s);
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size();
}

// Checks the report's exact layout and splits it into its parts:
//   Seed Nodes: <id >*\n\nTotal Benefit: <x.xx>\nTime: <t>s\nMemory: <m> MB\nEstimate Influence: <i>\n
::testing::AssertionResult parseReport(const std::string& out, Report& r) {
    auto bad = [&out](const char* what) {
        return ::testing::AssertionFailure() << what << " in the report \"" << out << "\"";
    };
    std::string_view s = out;
    if (!eat(s, "Seed Nodes: ")) return bad("no \"Seed Nodes: \" at the start");
    auto ids = line(s);
    if (!ids || !eat(s, "\n")) return bad("no empty line after the seeds");
    r.seeds.clear();
    for (std::string_view rest = *ids; !rest.empty();) {
        std::size_t blank = rest.find(' ');
        if (blank == std::string_view::npos || !allOf(rest.substr(0, blank), "0123456789"))
            return bad("a seed that is not \"<id> \"");
        r.seeds.push_back(std::stoi(std::string(rest.substr(0, blank))));
        rest.remove_prefix(blank + 1);
    }
    auto benefit = line(s);
    if (!benefit || !eat(*benefit, "Total Benefit: ")) return bad("no \"Total Benefit: \" line");
    std::string_view b = *benefit;
    if (b.size() < 4 || b[b.size() - 3] != '.' || !allOf(b.substr(b.size() - 2), "0123456789") ||
        !allOf(b.substr(b.front() == '-' ? 1 : 0, b.size() - 3 - (b.front() == '-' ? 1 : 0)), "0123456789"))
        return bad("a benefit not printed as %0.2lf");
    r.benefit = std::string(b);
    auto time = line(s);
    if (!time || !eat(*time, "Time: ") || time->empty() || time->back() != 's' ||
        !defaultNotation(time->substr(0, time->size() - 1)))
        return bad("no \"Time: <seconds>s\" line");
    std::optional<std::string_view> memory = line(s);
    std::string memoryLine;
    // Under AddressSanitizer the process maps terabytes of shadow memory, more
    // kilobytes than the memory probe's 32-bit reading holds, so the probe's
    // own "String <text> is not a number." line comes before the figure.
    if (kAddressSanitizer && memory && memory->starts_with("Memory: String ") &&
        memory->ends_with(" is not a number.")) {
        auto figure = line(s);
        if (!figure) return bad("no figure after the memory probe's message");
        memoryLine = "Memory: " + std::string(*figure);
        memory = memoryLine;
    }
    if (!memory || !eat(*memory, "Memory: ") || memory->size() < 4 ||
        memory->substr(memory->size() - 3) != " MB" || !defaultNotation(memory->substr(0, memory->size() - 3)))
        return bad("no \"Memory: <megabytes> MB\" line");
    auto influence = line(s);
    if (!influence || !eat(*influence, "Estimate Influence: ") || !allOf(*influence, "0123456789"))
        return bad("no \"Estimate Influence: <count>\" line");
    r.influence = std::stoi(std::string(*influence));
    if (!s.empty()) return bad("text after the last line");
    return ::testing::AssertionSuccess();
}

TEST(MarletReportFormat, CheckerTellsExactLayout) {
    Report r;
    const std::string tail = "Total Benefit: 12.50\nTime: 1.5e-05s\nMemory: 6.35547 MB\nEstimate Influence: 3\n";
    ASSERT_TRUE(parseReport("Seed Nodes: 4 17 \n\n" + tail, r));
    EXPECT_EQ(r.seeds, (std::vector<int>{4, 17}));
    EXPECT_EQ(r.benefit, "12.50");
    EXPECT_EQ(r.influence, 3);
    ASSERT_TRUE(parseReport("Seed Nodes: \n\n" + tail, r));
    EXPECT_TRUE(r.seeds.empty());
    EXPECT_FALSE(parseReport("Seed Nodes: 4 17\n\n" + tail, r));
    EXPECT_FALSE(parseReport("Seed Nodes: 4 \n" + tail, r));
    EXPECT_FALSE(parseReport("note\nSeed Nodes: 4 \n\n" + tail, r));
    EXPECT_FALSE(parseReport("Seed Nodes: 4 \n\nTotal Benefit: 12.5\nTime: 1s\nMemory: 6 MB\nEstimate Influence: 3\n", r));
    EXPECT_FALSE(parseReport("Seed Nodes: 4 \n\nTotal Benefit: 12.50\nTime: 1 s\nMemory: 6 MB\nEstimate Influence: 3\n", r));
    EXPECT_FALSE(parseReport("Seed Nodes: 4 \n\nTotal Benefit: 12.50\nTime: 1s\nMemory: 6MB\nEstimate Influence: 3\n", r));
    EXPECT_FALSE(parseReport("Seed Nodes: 4 \n\n" + tail + "x", r));
}

std::vector<int> seedFileIds(const std::string& path) {
    std::ifstream in(path);
    std::vector<int> ids;
    for (int id; in >> id;) ids.push_back(id);
    return ids;
}

// The end-to-end network of testNetwork.h with n = 40:
//
//        1 ──0.5──> every other node
//        u ──0.3──> u+1,  u ──0.3──> u+3
class MarletRun : public ::testing::Test {
protected:
    static constexpr int kN = 40;

    void SetUp() override {
        costs = testnet::writeProgramNetwork(dir, kN);
        // Pair counts: node x (0..9) appears in x pairs; ids from 10 have none.
        std::ostringstream pairs;
        pairs << kN + 1 << " 45\n";
        for (int x = 0; x < 10; ++x)
            for (int j = 0; j < x; ++j) pairs << x << ' ' << j << '\n';
        writeFile("db_Enron.txt", pairs.str());
    }

    void writeFile(const std::string& name, const std::string& text) { std::ofstream(dir.path(name)) << text; }

    testnet::RunResult marlet(std::vector<std::string> args) {
        args.insert(args.begin(), MARLET_BIN);
        return testnet::run(args, dir.root().string());
    }
    // A run on the 40-node network with the given extra options.
    testnet::RunResult marletOn(const std::vector<std::string>& extra) {
        std::vector<std::string> args{"-i", "net.bin", "-b", "net.ben", "-c", "net.cost", "-k", "5", "-seed", "7"};
        args.insert(args.end(), extra.begin(), extra.end());
        return marlet(args);
    }
    // Writes an edgeless network of n nodes with the given benefits.
    void writeEdgeless(const std::string& base, const std::vector<double>& benefits) {
        testnet::writeNetwork(dir.path(base + ".bin"), static_cast<int>(benefits.size()), {});
        testnet::writeValues<double>(dir.path(base + ".ben"), benefits);
    }

    testnet::TempDir dir;
    std::vector<float> costs;
};

TEST_F(MarletRun, ReportSeedFileAndBudget) {
    const testnet::RunResult r = marletOn({"-o", "chosen.seeds"});
    ASSERT_EQ(r.status, 0) << r.err;
    Report rep;
    ASSERT_TRUE(parseReport(r.out, rep));
    ASSERT_FALSE(rep.seeds.empty());
    EXPECT_EQ(seedFileIds(dir.path("chosen.seeds")), rep.seeds);
    std::string expectedFile;
    for (int s : rep.seeds) expectedFile += std::to_string(s) + "\n";
    EXPECT_EQ(testnet::readFile(dir.path("chosen.seeds")), expectedFile);

    double spent = 0;
    int influence = 0;
    std::vector<bool> seen(kN + 1, false);
    for (int s : rep.seeds) {
        ASSERT_GE(s, 1);
        ASSERT_LE(s, kN);
        EXPECT_FALSE(seen[s]) << "seed " << s << " chosen twice";
        seen[s] = true;
        spent += costs[s - 1];
        if (s < 10) influence += s;
    }
    EXPECT_LE(spent, 5.0);
    EXPECT_EQ(rep.influence, influence);
    // Unit benefits: the estimate lies between 0 and n.
    const double benefit = std::stod(rep.benefit);
    EXPECT_GT(benefit, 0.0);
    EXPECT_LE(benefit, kN);
    // Standard error is no terminal: no progress line, and only the report on standard output.
    EXPECT_FALSE(contains(r.err, "\r"));
    EXPECT_FALSE(contains(r.err, "iteration"));
}

TEST_F(MarletRun, DefaultSeedFileName) {
    const testnet::RunResult r = marletOn({});
    ASSERT_EQ(r.status, 0) << r.err;
    Report rep;
    ASSERT_TRUE(parseReport(r.out, rep));
    EXPECT_EQ(seedFileIds(dir.path("network.seeds")), rep.seeds);
}

// The same seeds and figures on any -t, and with the network read through
// a mapping (-load map).
TEST_F(MarletRun, ReproducibleWithSeedAcrossThreadCounts) {
    for (const char* rule : {"stop", "fill"}) {
        SCOPED_TRACE(rule);
        Report first, again, twoThreads;
        const testnet::RunResult a = marletOn({"-m", "IC", "-t", "1", "-o", "a.seeds", "-select", rule});
        const testnet::RunResult b = marletOn({"-m", "IC", "-t", "1", "-o", "b.seeds", "-select", rule});
        const testnet::RunResult c = marletOn({"-m", "IC", "-t", "2", "-o", "c.seeds", "-select", rule});
        const testnet::RunResult d =
            marletOn({"-m", "IC", "-t", "2", "-o", "d.seeds", "-select", rule, "-load", "map"});
        ASSERT_TRUE(parseReport(a.out, first)) << a.err;
        ASSERT_TRUE(parseReport(b.out, again)) << b.err;
        ASSERT_TRUE(parseReport(c.out, twoThreads)) << c.err;
        EXPECT_EQ(again.seeds, first.seeds);
        EXPECT_EQ(again.benefit, first.benefit);
        EXPECT_EQ(twoThreads.seeds, first.seeds);
        EXPECT_EQ(twoThreads.benefit, first.benefit);
        Report mapped;
        ASSERT_TRUE(parseReport(d.out, mapped)) << d.err;
        EXPECT_EQ(mapped.seeds, first.seeds);
        EXPECT_EQ(mapped.benefit, first.benefit);
        // The fast sampler's IC tables, made from the mapped probabilities
        // under -load map, are those of the copied thresholds.
        Report fast, fastMapped;
        const testnet::RunResult e = marletOn({"-m", "IC", "-t", "2", "-o", "e.seeds", "-select", rule, "-sampler", "fast"});
        const testnet::RunResult f =
            marletOn({"-m", "IC", "-t", "2", "-o", "f.seeds", "-select", rule, "-sampler", "fast", "-load", "map"});
        ASSERT_TRUE(parseReport(e.out, fast)) << e.err;
        ASSERT_TRUE(parseReport(f.out, fastMapped)) << f.err;
        EXPECT_EQ(fastMapped.seeds, fast.seeds);
        EXPECT_EQ(fastMapped.benefit, fast.benefit);
    }
}

// An edgeless network, so that each hyperedge is its root, drawn by
// benefit: node 1 (benefit 10, cost 1), node 2 (30, cost 5), nodes 3-6
// (1, cost 1), nodes 7-10 (0, cost 1); budget 3. Ratios about 10, 6, 1 and
// 0 per unit of benefit: the stop rule takes node 1 and ends at node 2 with
// 2 unspent, which nodes 3-6 would use, and says so; fill skips node 2 and
// takes two of nodes 3-6, spending all 3, never a node of benefit 0.
TEST_F(MarletRun, FillSpendsWhatTheStopRuleLeaves) {
    writeEdgeless("flat", {10, 30, 1, 1, 1, 1, 0, 0, 0, 0});
    testnet::writeValues<float>(dir.path("flat.cost"), {1, 5, 1, 1, 1, 1, 1, 1, 1, 1});
    auto runWith = [&](const char* rule) {
        return marlet({"-i", "flat.bin", "-b", "flat.ben", "-c", "flat.cost", "-k", "3", "-seed", "4", "-select", rule,
                       "-json", std::string(rule) + ".json", "-timing", "1"});
    };
    const testnet::RunResult stop = runWith("stop");
    ASSERT_EQ(stop.status, 0) << stop.err;
    Report rep;
    ASSERT_TRUE(parseReport(stop.out, rep));
    EXPECT_EQ(rep.seeds, std::vector<int>{1});
    EXPECT_TRUE(contains(stop.err, "marlet: note: the selection stopped at the first node over the budget with 2 of "
                                   "-k 3 unspent")) << stop.err;
    EXPECT_TRUE(contains(stop.err, "seeds 1, cost spent 1, budget left 2;")) << stop.err;

    const testnet::RunResult fill = runWith("fill");
    ASSERT_EQ(fill.status, 0) << fill.err;
    ASSERT_TRUE(parseReport(fill.out, rep));
    ASSERT_EQ(rep.seeds.size(), 3u);
    EXPECT_EQ(rep.seeds[0], 1);
    for (int s : {rep.seeds[1], rep.seeds[2]}) EXPECT_TRUE(s >= 3 && s <= 6) << s;
    EXPECT_FALSE(contains(fill.err, "unspent")) << fill.err;
    EXPECT_TRUE(contains(fill.err, "seeds 3, cost spent 3, budget left 0;")) << fill.err;
    const nlohmann::json j = nlohmann::json::parse(testnet::readFile(dir.path("fill.json")));
    EXPECT_EQ(j["parameters"]["select"], "fill");
    EXPECT_EQ(j["report"]["seedCount"], 3);
    EXPECT_EQ(j["report"]["costSpent"], 3.0);
    EXPECT_EQ(j["report"]["budgetLeft"], 0.0);
}

// A budget of n - 1 or more is taken: the threshold counts the seeds it
// buys. Node i costs 1 + i % 3: thirteen nodes cost 1, fourteen 2 and
// thirteen 3, 80 in all. Budget 39 buys the thirteen of cost 1 and thirteen
// of cost 2; 80 buys all 40, capped at n - 2 = 38.
TEST_F(MarletRun, BudgetOfNMinusOneOrMore) {
    for (const auto& [k, seeds] : {std::pair{"39", 26}, std::pair{"80", 38}}) {
        SCOPED_TRACE(k);
        const testnet::RunResult r =
            marlet({"-i", "net.bin", "-b", "net.ben", "-c", "net.cost", "-k", k, "-seed", "7", "-timing", "1"});
        ASSERT_EQ(r.status, 0) << r.err;
        Report rep;
        ASSERT_TRUE(parseReport(r.out, rep));
        double spent = 0;
        for (int s : rep.seeds) spent += costs[static_cast<std::size_t>(s - 1)];
        EXPECT_LE(spent, std::stod(k));
        EXPECT_FALSE(rep.seeds.empty());
        // The threshold of that many seeds (delta 1/40), as computed for it.
        char lambda[64];
        std::snprintf(lambda, sizeof lambda, "lambda %.1f,",
                      computeThreshold(kN, seeds, 0.1f, static_cast<float>(1.0 / kN)).lambda);
        EXPECT_TRUE(contains(r.err, lambda)) << r.err << "\nexpected " << lambda;
    }
}

TEST_F(MarletRun, UndefinedLogarithmIsRefused) {
    // n = 3, k = 1, delta = 3.9: 2L/delta < 1.
    writeEdgeless("three", {1, 1, 1});
    const testnet::RunResult r = marlet({"-i", "three.bin", "-b", "three.ben", "-k", "1", "-delta", "3.9"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "ln(2L/delta)")) << r.err;
}

TEST_F(MarletRun, NoNodeFitsTheBudget) {
    testnet::writeValues<float>(dir.path("dear.cost"), std::vector<float>(kN, 10.0f));
    const testnet::RunResult r = marlet({"-i", "net.bin", "-b", "net.ben", "-c", "dear.cost", "-k", "5", "-o", "e.seeds"});
    ASSERT_EQ(r.status, 0) << r.err;
    Report rep;
    ASSERT_TRUE(parseReport(r.out, rep));
    EXPECT_TRUE(rep.seeds.empty());
    EXPECT_EQ(r.out.substr(0, 14), "Seed Nodes: \n\n");
    EXPECT_EQ(rep.benefit, "0.00");
    EXPECT_EQ(rep.influence, 0);
    EXPECT_TRUE(std::filesystem::exists(dir.path("e.seeds")));
    EXPECT_EQ(testnet::readFile(dir.path("e.seeds")), "");
    EXPECT_TRUE(contains(r.err, "no node fits the budget")) << r.err;
}

TEST_F(MarletRun, MemoryGuardStopsWithoutSeedFile) {
    const testnet::RunResult r = marletOn({"-mem", "0.01", "-o", "m.seeds"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_TRUE(contains(r.err, "before iteration 1")) << r.err;
    EXPECT_TRUE(contains(r.err, "covered 0 of the Lambda")) << r.err;
    EXPECT_TRUE(contains(r.err, "-epsilon")) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.path("m.seeds")));
}

TEST_F(MarletRun, MemoryGuardMidRun) {
    // 200 nodes without arcs: every hyperedge is its root alone, 16 bytes in
    // the estimate. Two unit-cost seeds cover about 1% of the hyperedges, so
    // the loop needs many iterations; 10000 and then 20000 hyperedges fit in
    // 0.5 MB, 40000 do not.
    writeEdgeless("flat", std::vector<double>(200, 1.0));
    testnet::writeValues<float>(dir.path("flat.cost"), std::vector<float>(200, 1.0f));
    const testnet::RunResult r =
        marlet({"-i", "flat.bin", "-b", "flat.ben", "-c", "flat.cost", "-k", "2", "-mem", "0.5", "-o", "f.seeds"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_TRUE(contains(r.err, "before iteration 3")) << r.err;
    EXPECT_TRUE(contains(r.err, "-mem limit")) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.path("f.seeds")));
}

// The pair list: db_Enron.txt in the working directory (a note when it is
// absent), the file of -pairs from any folder, or none at all (-pairs none,
// without a note). The fixture's list counts x pairs for node x < 10;
// elsewhere/other.txt counts two for each node 1..40, so that its sum is
// twice the seed count.
TEST_F(MarletRun, PairListOfTheWorkingDirectoryOrOfPairs) {
    const std::string fixtureList = testnet::readFile(dir.path("db_Enron.txt"));
    std::filesystem::create_directory(dir.path("elsewhere"));
    std::ostringstream other;
    other << kN + 1 << ' ' << 2 * kN << '\n';
    for (int x = 1; x <= kN; ++x) other << x << " 0\n" << x << " 1\n";
    writeFile("elsewhere/other.txt", other.str());
    using Sum = int (*)(const std::vector<int>&);
    const Sum fixtureSum = [](const std::vector<int>& seeds) {
        int sum = 0;
        for (int s : seeds) sum += s < 10 ? s : 0;
        return sum;
    };
    const Sum none = [](const std::vector<int>&) { return 0; };
    const Sum otherSum = [](const std::vector<int>& seeds) { return 2 * static_cast<int>(seeds.size()); };
    struct Case {
        bool listInWorkingDirectory;
        std::vector<std::string> args;
        Sum sum;            // the expected "Estimate Influence"
        std::string err;    // all of standard error
    };
    const std::string absent = "marlet: note: db_Enron.txt not found in the working directory: the pair-count "
                               "table is empty, so \"Estimate Influence\" reports 0\n";
    const Case cases[] = {
        {true, {}, fixtureSum, ""},
        {false, {}, none, absent},
        {true, {"-pairs", "none"}, none, ""},
        {false, {"-pairs", "none"}, none, ""},
        {false, {"-pairs", "elsewhere/other.txt"}, otherSum, ""},
        {true, {"-pairs", dir.path("elsewhere/other.txt")}, otherSum, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args) + (c.listInWorkingDirectory ? " with" : " without") +
                     " db_Enron.txt");
        if (c.listInWorkingDirectory)
            writeFile("db_Enron.txt", fixtureList);
        else
            std::filesystem::remove(dir.path("db_Enron.txt"));
        const testnet::RunResult r = marletOn(c.args);
        ASSERT_EQ(r.status, 0) << r.err;
        Report rep;
        ASSERT_TRUE(parseReport(r.out, rep));
        ASSERT_FALSE(rep.seeds.empty());
        EXPECT_EQ(rep.influence, c.sum(rep.seeds));
        EXPECT_EQ(testnet::withoutInWeightNote(r.err), c.err);
    }
    // A list that -pairs names must be there.
    const testnet::RunResult missing = marletOn({"-pairs", "missing.txt"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "marlet: missing.txt: cannot open: No such file or directory\n");
}

TEST_F(MarletRun, MalformedPairList) {
    for (const char* text : {"ten 45\n", "10 5\n1 2\n", "-1 0\n", "10 1\n10 0\n", "10 1\n-1 0\n"}) {
        writeFile("db_Enron.txt", text);
        const testnet::RunResult r = marletOn({});
        EXPECT_EQ(r.status, 1) << text;
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_TRUE(contains(r.err, "marlet: db_Enron.txt")) << r.err;
    }
}

// The list, and so -pairs, is taken before the command line is checked: a
// malformed list is the fault reported, unless -pairs skips it.
TEST_F(MarletRun, PairListIsReadBeforeTheOptions) {
    writeFile("db_Enron.txt", "ten 45\n");
    const testnet::RunResult r = marlet({"stray"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "db_Enron.txt")) << r.err;
    const testnet::RunResult skipped = marlet({"-pairs", "none", "stray"});
    EXPECT_EQ(skipped.status, 255);
    EXPECT_EQ(skipped.out, "Parameters error, please check the readme.txt file for correct format!\n");
}

TEST_F(MarletRun, CostFileFaults) {
    writeFile("short.cost", "1 2 3\n");
    writeFile("word.cost", "1\n2\nthree\n");
    struct Case {
        std::string file;
        std::vector<std::string> parts;
    };
    const Case cases[] = {
        {"absent.cost", {"cost file absent.cost", "cannot open"}},
        {"short.cost", {"cost file short.cost", "holds 3 costs", "expected 40"}},
        {"word.cost", {"cost file word.cost", "line 3", "\"three\""}},
        {".", {"cost file .", "is a directory"}},
        {"/dev/zero", {"cost file /dev/zero", "value 1", "\"\\x00"}},
    };
    for (const Case& c : cases) {
        const testnet::RunResult r = marlet({"-i", "net.bin", "-b", "net.ben", "-c", c.file, "-k", "5"});
        EXPECT_EQ(r.status, 1) << c.file;
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_TRUE(testnet::holdsAll(r.err, c.parts));
    }
}

TEST_F(MarletRun, WithoutCostFileTheBudgetBuysEveryNode) {
    const testnet::RunResult r = marlet({"-i", "net.bin", "-b", "net.ben", "-k", "5", "-seed", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    Report rep;
    ASSERT_TRUE(parseReport(r.out, rep));
    EXPECT_EQ(rep.seeds.size(), static_cast<std::size_t>(kN));
    // Every hyperedge is covered, so the estimate is the whole benefit.
    EXPECT_EQ(rep.benefit, "40.00");
    EXPECT_EQ(rep.influence, 45);
    EXPECT_TRUE(contains(r.err, "no cost file given")) << r.err;
}

TEST_F(MarletRun, NegativeBenefitsScaleByPositiveSum) {
    // Eight nodes, no arcs; benefits sum to 4, positive ones to 6. Without a
    // cost file every node is chosen and every hyperedge covered.
    writeEdgeless("signed", {1, 1, 1, -1, 1, 1, 1, -1});
    const testnet::RunResult r = marlet({"-i", "signed.bin", "-b", "signed.ben", "-k", "5"});
    ASSERT_EQ(r.status, 0) << r.err;
    Report rep;
    ASSERT_TRUE(parseReport(r.out, rep));
    EXPECT_EQ(rep.benefit, "6.00");
    EXPECT_TRUE(contains(r.err, "negative")) << r.err;

    writeEdgeless("plain", {1, 1, 1, 0, 1, 1, 1, 0});
    const testnet::RunResult p = marlet({"-i", "plain.bin", "-b", "plain.ben", "-k", "5"});
    ASSERT_TRUE(parseReport(p.out, rep)) << p.err;
    EXPECT_EQ(rep.benefit, "6.00");
    EXPECT_FALSE(contains(p.err, "negative")) << p.err;
}

TEST_F(MarletRun, SeedFileThatCannotBeWritten) {
    // A place that cannot take the file is refused before sampling.
    for (const char* target : {"no/such/dir/x.seeds", "."}) {
        const testnet::RunResult r = marletOn({"-o", target});
        EXPECT_EQ(r.status, 1) << target;
        EXPECT_EQ(r.out, "") << target;
        EXPECT_TRUE(contains(r.err, std::string("marlet: seed file ") + target)) << r.err;
    }
    // A device is written in place; a full one fails after the report. The
    // device is the test's own (1, 7 is the full device), where mknod is allowed.
    const std::string full = dir.path("full");
    if (mknod(full.c_str(), S_IFCHR | 0600, makedev(1, 7)) != 0) GTEST_SKIP() << "mknod is not allowed here";
    const testnet::RunResult r = marletOn({"-o", full});
    EXPECT_EQ(r.status, 1);
    Report rep;
    EXPECT_TRUE(parseReport(r.out, rep));
    EXPECT_TRUE(contains(r.err, "seed file " + full)) << r.err;
    struct stat st {};
    EXPECT_TRUE(lstat(full.c_str(), &st) == 0 && S_ISCHR(st.st_mode));
}

// The names in the run's directory other than the inputs of the fixture.
std::vector<std::string> leftovers(const testnet::TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.root())) {
        const std::string name = e.path().filename().string();
        if (!name.starts_with("net.") && name != "db_Enron.txt" && !name.starts_with("flat.")) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(MarletRun, SeedFileAppearsOnlyComplete) {
    // 300 nodes, no costs: all 300 are seeds, a seed file of 1092 bytes. A
    // file size limit of 512 bytes stops the write midway, killing the
    // process (SIGXFSZ) or, with the signal ignored, failing the write.
    writeEdgeless("flat", std::vector<double>(300, 1.0));
    for (const char* signal : {"trap '' XFSZ; ", ""}) {
        SCOPED_TRACE(signal);
        writeFile("kept.seeds", "old\n");
        const std::string script = std::string(signal) + "ulimit -f 1; exec \"$0\" \"$@\" >/dev/null";
        const testnet::RunResult r = testnet::run(
            {"/bin/sh", "-c", script, MARLET_BIN, "-i", "flat.bin", "-b", "flat.ben", "-k", "5", "-o", "kept.seeds"},
            dir.root().string());
        EXPECT_NE(r.status, 0);
        EXPECT_EQ(testnet::readFile(dir.path("kept.seeds")), "old\n");
        if (*signal != '\0') {
            EXPECT_EQ(r.status, 1);
            EXPECT_TRUE(contains(r.err, "marlet: seed file kept.seeds: write failed")) << r.err;
            EXPECT_EQ(leftovers(dir), std::vector<std::string>{"kept.seeds"});
        }
    }
}

TEST_F(MarletRun, ReportThatCannotBeWrittenIsAnError) {
    const testnet::RunResult full = testnet::run({MARLET_BIN, "-i", "net.bin", "-b", "net.ben", "-c", "net.cost", "-k",
                                                  "5", "-seed", "7", "-o", "full.seeds"},
                                                 dir.root().string(), testnet::Stdout::DevFull);
    EXPECT_EQ(full.status, 1);
    EXPECT_TRUE(contains(full.err, "marlet: cannot write the report to standard output")) << full.err;
    // A closed pipe: the seed file is still written whole, as a normal run writes it.
    const testnet::RunResult closed = testnet::run({MARLET_BIN, "-i", "net.bin", "-b", "net.ben", "-c", "net.cost",
                                                    "-k", "5", "-seed", "7", "-o", "pipe.seeds"},
                                                   dir.root().string(), testnet::Stdout::ClosedPipe);
    EXPECT_EQ(closed.status, 1);
    EXPECT_TRUE(contains(closed.err, "marlet: cannot write the report to standard output")) << closed.err;
    ASSERT_EQ(marletOn({"-o", "file.seeds"}).status, 0);
    EXPECT_EQ(testnet::readFile(dir.path("pipe.seeds")), testnet::readFile(dir.path("file.seeds")));
    EXPECT_EQ(testnet::readFile(dir.path("full.seeds")), testnet::readFile(dir.path("file.seeds")));
}

TEST_F(MarletRun, NoteForAForeignPairList) {
    testnet::RunResult r = marletOn({});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(contains(r.err, "db_Enron.txt")) << r.err;
    writeFile("db_Enron.txt", "10 1\n3 4\n");
    r = marletOn({});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "marlet: note: db_Enron.txt states a table of A = 10 entries, but this network has "
                                "n + 1 = 41")) << r.err;
}

TEST_F(MarletRun, ProgressLineOnlyOnTerminal) {
    // Standard error on a pseudo-terminal, standard output to a file. 200
    // nodes without arcs and two unit-cost seeds: several iterations.
    writeEdgeless("flat", std::vector<double>(200, 1.0));
    testnet::writeValues<float>(dir.path("flat.cost"), std::vector<float>(200, 1.0f));
    const std::string outFile = dir.path("tty.out");
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (chdir(dir.root().c_str()) != 0 || std::freopen(outFile.c_str(), "w", stdout) == nullptr) _exit(127);
        execl(MARLET_BIN, MARLET_BIN, "-i", "flat.bin", "-b", "flat.ben", "-c", "flat.cost", "-k", "2", "-seed", "1",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string tty;
    char buf[4096];
    for (ssize_t got; (got = read(master, buf, sizeof buf)) > 0;) tty.append(buf, static_cast<std::size_t>(got));
    int st = 0;
    waitpid(pid, &st, 0);
    close(master);
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), 0) << tty;
    EXPECT_TRUE(contains(tty, "\rmarlet: iteration 1, 10000 hyperedges, coverage ")) << tty;
    EXPECT_TRUE(contains(tty, "\rmarlet: iteration 2, 20000 hyperedges, coverage ")) << tty;
    EXPECT_TRUE(contains(tty, " of 3688.9 (")) << tty;
    // The line is cleared once the loop ends.
    const std::size_t last = tty.rfind("\rmarlet: iteration");
    ASSERT_NE(last, std::string::npos);
    EXPECT_NE(tty.find("\r\033[K", last), std::string::npos) << tty;
    Report rep;
    EXPECT_TRUE(parseReport(testnet::readFile(outFile), rep));
    EXPECT_EQ(rep.seeds.size(), 2u);
}

TEST_F(MarletRun, TimingLineOnRequest) {
    const testnet::RunResult r = marletOn({"-timing", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    Report rep;
    EXPECT_TRUE(parseReport(r.out, rep));
    for (const char* part : {"marlet: timing: iterations 1, hyperedges 10000, lambda 2984.1, sampling ",
                             " s, selection ", " s, peak memory "})
        EXPECT_TRUE(contains(r.err, part)) << r.err;
}

}  // namespace
