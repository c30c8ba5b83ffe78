// Tests of the JSON reports (-json) and id maps (-map) of marlet and ostrand,
// end to end on the built programs: the file parses, holds the settings in
// force and matches the printed report figure for figure; faults leave no
// file behind; a fifo is written in place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "support/heldFifo.h"
#include "support/testNetwork.h"
#include "version.h"

using namespace lattis;

namespace {

using nlohmann::json;

constexpr int kN = 40;

// The text after `prefix` up to the end of its line in `out`, or "" when absent.
std::string after(const std::string& out, const std::string& prefix) {
    const std::size_t at = out.find(prefix);
    if (at == std::string::npos) return "";
    const std::size_t from = at + prefix.size();
    return out.substr(from, out.find('\n', from) - from);
}

// How the programs print a double in the stream's default notation.
std::string streamed(double v) {
    std::ostringstream s;
    s << v;
    return s.str();
}

std::string fixed2(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%0.2lf", v);
    return buf;
}

// The file names in the directory, so that a test can tell that no temporary is left.
std::vector<std::string> names(const std::filesystem::path& dir) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// The end-to-end network of testNetwork.h with n = 40, and an id map giving
// node i the original id 1000 + i.
class JsonReport : public ::testing::Test {
protected:
    void SetUp() override {
        costs = testnet::writeProgramNetwork(dir, kN);
        std::ostringstream map;
        for (int i = 1; i <= kN; ++i) map << 1000 + i << '\n';
        testnet::writeBytes(dir.path("net.map"), map.str());
        testnet::writeBytes(dir.path("db_Enron.txt"), "4 3\n1 2\n1 3\n2 1\n");
    }
    testnet::RunResult run(const char* program, std::vector<std::string> args) {
        args.insert(args.begin(), program);
        return testnet::run(args, dir.root().string());
    }
    json load(const std::string& name) { return json::parse(testnet::readFile(dir.path(name))); }

    testnet::TempDir dir;
    std::vector<float> costs;
};

TEST_F(JsonReport, MarletFileMatchesThePrintedReport) {
    const testnet::RunResult r = run(MARLET_BIN, {"-i", "net.bin", "-b", "net.ben", "-c", "net.cost", "-k", "5", "-seed",
                                                  "7", "-timing", "1", "-json", "run.json", "-map", "net.map"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json j = load("run.json");
    EXPECT_EQ(j["program"], "marlet");
    EXPECT_EQ(j["version"], LATTIS_VERSION);

    // Settings in force, defaults included; single-precision values in their shortest form.
    const json& p = j["parameters"];
    EXPECT_EQ(p["network"], "net.bin");
    EXPECT_EQ(p["cost"], "net.cost");
    EXPECT_EQ(p["model"], "LT");
    EXPECT_EQ(p["epsilon"], 0.1);
    EXPECT_EQ(p["delta"], 0.025);
    EXPECT_EQ(p["k"], 5.0);
    EXPECT_EQ(p["select"], "stop");
    EXPECT_EQ(p["threads"], 1);
    EXPECT_EQ(p["seedFile"], "network.seeds");
    EXPECT_EQ(p["seed"], 7);
    EXPECT_TRUE(p["memoryLimitMB"].is_null());
    EXPECT_EQ(p["map"], "net.map");
    EXPECT_EQ(p["load"], "copy");
    EXPECT_FALSE(p.contains("ranks"));  // marlet-mpi's alone
    EXPECT_EQ(j["network"]["nodes"], kN);
    EXPECT_EQ(j["network"]["arcs"], 3 * kN - 1);

    // Seeds as printed, with their original ids and the pair counts 0, 2, 1, 0.
    std::string printedSeeds;
    int pairSum = 0;
    ASSERT_FALSE(j["seeds"].empty());
    for (std::size_t i = 0; i < j["seeds"].size(); ++i) {
        const int s = j["seeds"][i];
        printedSeeds += std::to_string(s) + " ";
        EXPECT_EQ(j["originalIds"][i], 1000 + s);
        pairSum += s == 1 ? 2 : s == 2 ? 1 : 0;
    }
    EXPECT_EQ(after(r.out, "Seed Nodes: "), printedSeeds);

    const json& rep = j["report"];
    EXPECT_EQ(after(r.out, "Total Benefit: "), fixed2(rep["totalBenefit"]));
    EXPECT_EQ(after(r.out, "Time: "), streamed(rep["processorSeconds"]) + "s");
    // The figure ends the memory line (a probe that finds none says so first).
    EXPECT_NE(r.out.find(streamed(rep["memoryMB"]) + " MB\nEstimate Influence: "), std::string::npos) << r.out;
    EXPECT_EQ(after(r.out, "Estimate Influence: "), std::to_string(pairSum));
    EXPECT_EQ(rep["estimateInfluence"], pairSum);
    // What the seeds cost, as the timing line gives it too.
    double spent = 0;
    for (const json& s : j["seeds"]) spent += static_cast<double>(costs[s.get<std::size_t>() - 1]);
    EXPECT_EQ(rep["seedCount"], j["seeds"].size());
    EXPECT_EQ(rep["costSpent"], spent);
    EXPECT_EQ(rep["budgetLeft"], 5.0 - spent);
    char spentText[128];
    std::snprintf(spentText, sizeof spentText, "; seeds %zu, cost spent %g, budget left %g; ", j["seeds"].size(), spent,
                  5.0 - spent);
    EXPECT_NE(r.err.find(spentText), std::string::npos) << r.err << "\nexpected: " << spentText;

    const json& t = j["timing"];
    char line[256];
    std::snprintf(line, sizeof line, "iterations %d, hyperedges %lld, lambda %.1f, sampling %.3f s, selection %.3f s",
                  t["iterations"].get<int>(), t["hyperedges"].get<long long>(), t["threshold"].get<double>(),
                  t["samplingSeconds"].get<double>(), t["selectionSeconds"].get<double>());
    EXPECT_NE(r.err.find(line), std::string::npos) << r.err << "\nexpected: " << line;
    EXPECT_GE(t["coveredHyperedges"].get<double>(), t["threshold"].get<double>());
    EXPECT_DOUBLE_EQ(rep["totalBenefit"].get<double>(),
                     kN * t["coveredHyperedges"].get<double>() / t["hyperedges"].get<double>());
    EXPECT_GE(t["wallSeconds"].get<double>(), 0.0);
    EXPECT_GT(t["peakMemoryMB"].get<double>(), 0.0);
    // The store's size ends the timing line; one process is its one rank.
    std::snprintf(line, sizeof line, ", store %.1f MB\n", t["storeMB"].get<double>());
    EXPECT_TRUE(r.err.ends_with(line)) << r.err << "\nexpected: " << line;
    EXPECT_GT(t["storeMB"].get<double>(), 0.0);
    EXPECT_EQ(t["storeMBPerRank"], json::array({t["storeMB"]}));

    EXPECT_EQ(names(dir.root()), (std::vector<std::string>{"db_Enron.txt", "net.ben", "net.bin", "net.cost",
                                                           "net.map", "network.seeds", "run.json"}));
}

TEST_F(JsonReport, OstrandFileMatchesThePrintedEstimate) {
    testnet::writeBytes(dir.path("s.txt"), "3 1 3\n");
    const testnet::RunResult r = run(OSTRAND_BIN, {"-i", "net.bin", "-b", "net.ben", "-s", "s.txt", "-m", "IC", "-seed",
                                                   "5", "-json", "est.json", "-map", "net.map", "-load", "map"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json j = load("est.json");
    EXPECT_EQ(j["program"], "ostrand");
    EXPECT_EQ(j["version"], LATTIS_VERSION);
    const json& p = j["parameters"];
    EXPECT_EQ(p["model"], "IC");
    EXPECT_EQ(p["epsilon"], 0.1);
    EXPECT_EQ(p["delta"], 0.01);
    EXPECT_EQ(p["threads"], 1);
    EXPECT_EQ(p["seed"], 5);
    EXPECT_EQ(p["seedFile"], "s.txt");
    EXPECT_EQ(p["load"], "map");
    EXPECT_EQ(j["network"]["nodes"], kN);
    EXPECT_EQ(j["seeds"], json::parse("[3, 1, 3]"));
    EXPECT_EQ(j["originalIds"], json::parse("[1003, 1001, 1003]"));

    const double estimate = j["report"]["estimate"];
    EXPECT_EQ(r.out, streamed(estimate) + "\n");
    const json& t = j["timing"];
    EXPECT_EQ(t["stoppingBound"], 1205.4841);  // 1 + (2 + 2e/3)(1 + e) ln(2/d) / e^2 in single precision
    EXPECT_EQ(t["hits"], 1206);                // one thread stops at the bound's ceiling
    EXPECT_DOUBLE_EQ(estimate, kN * t["hits"].get<double>() / t["samples"].get<double>());
}

// Each fault is one line naming the file; no report file, no temporary and
// (the place of -json being checked before the run) no seed file remain.
TEST_F(JsonReport, FaultsLeaveNoFileBehind) {
    testnet::writeBytes(dir.path("s.txt"), "2\n");
    testnet::writeBytes(dir.path("short.map"), "7\n8\n");
    testnet::writeBytes(dir.path("bad.cost"), "1 2 x\n");
    const std::vector<std::string> marletArgs{"-i", "net.bin", "-b", "net.ben", "-k", "5", "-seed", "1"};
    const std::vector<std::string> ostrandArgs{"-i", "net.bin", "-b", "net.ben", "-s", "s.txt"};
    struct Case {
        const char* program;
        std::vector<std::string> extra;
        std::string message;
    };
    const Case cases[] = {
        {MARLET_BIN, {"-json", "no/such/dir/r.json"}, "marlet: json file \"no/such/dir/r.json\": cannot create"},
        {OSTRAND_BIN, {"-json", "no/such/dir/r.json"}, "ostrand: json file \"no/such/dir/r.json\": cannot create"},
        {MARLET_BIN, {"-json", "."}, "marlet: json file \".\": is a directory"},
        {MARLET_BIN, {"-json", "r.json", "-map", "short.map"}, "marlet: map file \"short.map\" holds 2 ids but the network has 40"},
        {OSTRAND_BIN, {"-json", "r.json", "-map", "bad.cost"}, "ostrand: map file \"bad.cost\", line 1: expected one original node id"},
        {MARLET_BIN, {"-json", "r.json", "-c", "bad.cost"}, "marlet: "},
        {OSTRAND_BIN, {"-json", ""}, "ostrand: option -json: the file name is empty"},
    };
    const std::vector<std::string> before = names(dir.root());
    for (const Case& c : cases) {
        std::vector<std::string> args = c.program == std::string(MARLET_BIN) ? marletArgs : ostrandArgs;
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const testnet::RunResult r = run(c.program, args);
        SCOPED_TRACE(c.message);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(names(dir.root()), before);
    }
}

// A fifo (as a device) is written in place, not replaced by a file.
TEST_F(JsonReport, AFifoIsWrittenInPlace) {
    testnet::writeBytes(dir.path("s.txt"), "3 1\n");
    const std::vector<std::string> marletArgs{"-i", "net.bin", "-b", "net.ben", "-k", "5", "-seed", "1", "-json", "fifo"};
    const std::vector<std::string> ostrandArgs{"-i", "net.bin", "-b", "net.ben", "-s", "s.txt", "-json", "fifo"};
    for (const char* program : {MARLET_BIN, OSTRAND_BIN}) {
        SCOPED_TRACE(program);
        testnet::HeldFifo fifo(dir.path("fifo"));
        const testnet::RunResult r = run(program, program == std::string(MARLET_BIN) ? marletArgs : ostrandArgs);
        EXPECT_EQ(r.status, 0) << r.err;
        const std::string text = fifo.drain();
        EXPECT_TRUE(testnet::isFifo(dir.path("fifo")));
        EXPECT_EQ(json::parse(text)["program"], std::filesystem::path(program).filename().string()) << text;
        std::filesystem::remove(dir.path("fifo"));
        std::filesystem::remove(dir.path("network.seeds"));
        EXPECT_EQ(names(dir.root()), (std::vector<std::string>{"db_Enron.txt", "net.ben", "net.bin", "net.cost",
                                                               "net.map", "s.txt"}));
    }
}

}  // namespace
