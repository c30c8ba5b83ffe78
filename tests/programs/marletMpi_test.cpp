// End-to-end tests of marlet-mpi under mpirun: for 1, 2 and 3 ranks of 1 or 2
// threads, the seed file, the report's figures and the Total Benefit
// estimate's samples and hits equal marlet's for the same -seed on
// email-Eu-core packed by netpack (LT and IC, unit and out-degree costs), and
// the JSON report names marlet-mpi and its rank count; two
// ranks run within a -mem limit that one process's store exceeds, each
// holding about half of it; and faults (a bad network file, ranks started
// with different options or reading different files of one name, a refused
// parameter, the memory guard, an invalid command line) end every rank
// within a timeout with one message and a non-zero status, leaving no seed
// file.
//
// Skipped with a message when MPI was not found at configure time or the
// shared data directory is absent. mpirun runs with the two variables Open
// MPI needs to start as root, so that the tests also run in CI containers.
// Leak detection is off in the ranks of a sanitizer build: Open MPI leaves
// allocations of its unloaded plugins at exit, which no suppression can name;
// the address and undefined-behaviour checks stay on, and the code the ranks
// share with marlet is leak-checked by marlet's own tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/testNetwork.h"

using namespace lattis;

namespace {

namespace fs = std::filesystem;

#ifdef MARLET_MPI_BIN
constexpr const char* kMarletMpi = MARLET_MPI_BIN;
constexpr const char* kMpiexec = MPIEXEC_BIN;
#else
constexpr const char* kMarletMpi = nullptr;
constexpr const char* kMpiexec = nullptr;
#endif

// Seconds a whole mpirun may take before the test calls it a hang.
constexpr const char* kTimeout = "120";

// The report lines that must agree: seeds, benefit estimate, pair count
// (time and memory differ between runs by nature).
std::string figures(const std::string& out) {
    std::istringstream in(out);
    std::string result;
    for (std::string l; std::getline(in, l);)
        if (l.starts_with("Seed Nodes: ") || l.starts_with("Total Benefit: ") || l.starts_with("Estimate Influence: "))
            result += l + '\n';
    return result;
}

// The JSON report's figures of the Total Benefit estimate.
std::string estimateFigures(const fs::path& json) {
    const nlohmann::json j = nlohmann::json::parse(testnet::readFile(json));
    const nlohmann::json& t = j["timing"];
    return "benefit " + j["report"]["totalBenefit"].dump() + ", samples " + t["estimateSamples"].dump() + ", hits " +
           t["estimateHits"].dump() + ", capped " + t["estimateCapped"].dump();
}

// The seed count, cost spent and budget left of the JSON report.
std::string spentFigures(const fs::path& json) {
    const nlohmann::json r = nlohmann::json::parse(testnet::readFile(json))["report"];
    return r["seedCount"].dump() + " seeds, " + r["costSpent"].dump() + " spent, " + r["budgetLeft"].dump() + " left";
}

// Every rank's store in MB, from the JSON report.
std::vector<double> storePerRank(const fs::path& json) {
    return nlohmann::json::parse(testnet::readFile(json))["timing"]["storeMBPerRank"].get<std::vector<double>>();
}

// Lines on standard error that are marlet's own messages (notes aside).
int messageLines(const std::string& err) {
    std::istringstream in(err);
    int count = 0;
    for (std::string l; std::getline(in, l);)
        if ((l.starts_with("marlet: ") && !l.starts_with("marlet: note: ")) || l.starts_with("marlet-mpi: ")) ++count;
    return count;
}

class MarletMpi : public ::testing::Test {
protected:
    void SetUp() override {
        if (kMarletMpi == nullptr) GTEST_SKIP() << "MPI was not found when the build was configured: marlet-mpi is not built";
        const fs::path data = fs::path(SHARED_DIR) / "data" / "email-Eu-core.txt.gz";
        if (!fs::exists(data)) GTEST_SKIP() << "no shared data at " << data;
        // Out-degree costs with the reference pair list, and unit costs.
        for (const auto& [name, cost] : {std::pair{"deg", "degree"}, std::pair{"unit", "uniform"}}) {
            const std::string base = name;
            const testnet::RunResult r = testnet::run(
                {NETPACK_BIN, "-i", data.string(), "-w", "wc", "-benefit", "uniform", "-cost", cost, "-o", base + ".bin",
                 "-bo", base + ".ben", "-co", base + ".cost", "-po", "db_Enron.txt"},
                dir.root().string());
            ASSERT_EQ(r.status, 0) << r.err;
        }
    }

    // The options of a run on network `net` under `model`; out-degree costs
    // get budget 50, unit costs 20.
    static std::vector<std::string> options(const std::string& net, const std::string& model) {
        return {"-i", net + ".bin", "-b", net + ".ben", "-c", net + ".cost", "-m", model,
                "-k", net == "deg" ? "50" : "20", "-seed", "5"};
    }

    // One program line of an mpirun: its process count, options and, when
    // given, a working folder of its own (relative to the test's).
    struct Line {
        int np;
        std::vector<std::string> args;
        const char* wdir = nullptr;
    };

    // mpirun with one program line per entry of `ranks` (several make an
    // MPMD job: each line's processes get their own options).
    testnet::RunResult mpirun(const std::vector<Line>& ranks) {
        std::vector<std::string> argv{"/usr/bin/env",   "OMPI_ALLOW_RUN_AS_ROOT=1", "OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1",
                                      "ASAN_OPTIONS=detect_leaks=0", "timeout", kTimeout, kMpiexec, "--oversubscribe"};
        for (std::size_t i = 0; i < ranks.size(); ++i) {
            if (i > 0) argv.push_back(":");
            argv.insert(argv.end(), {"-np", std::to_string(ranks[i].np)});
            if (ranks[i].wdir != nullptr) argv.insert(argv.end(), {"-wdir", dir.path(ranks[i].wdir)});
            argv.push_back(kMarletMpi);
            argv.insert(argv.end(), ranks[i].args.begin(), ranks[i].args.end());
        }
        return testnet::run(argv, dir.root().string());
    }

    testnet::TempDir dir;
};

TEST_F(MarletMpi, SameSeedsAndFiguresAsMarlet) {
    struct Row {
        const char* model;
        const char* net;
        int ranks;
        int threads;
        const char* select = "stop";
    };
    // Every model and cost pair on 2 and 3 ranks, each thread count on each;
    // -select fill on 1 to 3 ranks.
    const Row rows[] = {
        {"LT", "deg", 1, 1}, {"LT", "deg", 2, 2}, {"LT", "deg", 3, 1}, {"IC", "deg", 2, 1}, {"IC", "deg", 3, 2},
        {"LT", "unit", 2, 1}, {"LT", "unit", 3, 2}, {"IC", "unit", 1, 2}, {"IC", "unit", 2, 2}, {"IC", "unit", 3, 1},
        {"IC", "deg", 1, 2, "fill"}, {"IC", "deg", 2, 1, "fill"}, {"LT", "deg", 3, 2, "fill"},
    };
    struct Reference {
        std::string figures, seeds, estimate, spent;
    };
    std::map<std::string, Reference> reference;  // per model and net
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.model << ' ' << row.net << " ranks " << row.ranks << " threads "
                                          << row.threads << ' ' << row.select);
        const std::string key = std::string(row.model) + row.net + row.select;
        if (!reference.contains(key)) {
            std::vector<std::string> args{MARLET_BIN};
            for (const std::string& o : options(row.net, row.model)) args.push_back(o);
            args.insert(args.end(), {"-select", row.select, "-o", key + ".seeds", "-json", key + ".json"});
            const testnet::RunResult r = testnet::run(args, dir.root().string());
            ASSERT_EQ(r.status, 0) << r.err;
            reference[key] = {figures(r.out), testnet::readFile(dir.path(key + ".seeds")),
                              estimateFigures(dir.path(key + ".json")), spentFigures(dir.path(key + ".json"))};
            ASSERT_NE(reference[key].seeds, "");
        }
        std::vector<std::string> args = options(row.net, row.model);
        args.insert(args.end(), {"-select", row.select, "-t", std::to_string(row.threads), "-o", "mpi.seeds", "-json",
                                 "mpi.json"});
        const testnet::RunResult r = mpirun({{row.ranks, args}});
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(figures(r.out), reference[key].figures);
        EXPECT_EQ(testnet::readFile(dir.path("mpi.seeds")), reference[key].seeds);
        EXPECT_EQ(estimateFigures(dir.path("mpi.json")), reference[key].estimate);
        EXPECT_EQ(spentFigures(dir.path("mpi.json")), reference[key].spent);
        EXPECT_EQ(storePerRank(dir.path("mpi.json")).size(), static_cast<std::size_t>(row.ranks));
        const nlohmann::json j = nlohmann::json::parse(testnet::readFile(dir.path("mpi.json")));
        EXPECT_EQ(j["program"], "marlet-mpi");
        EXPECT_EQ(j["parameters"]["ranks"], row.ranks);
        fs::remove(dir.path("mpi.seeds"));
        fs::remove(dir.path("mpi.json"));
    }
}

// The certificate's figures of a -stop certified run, from the JSON report.
std::string certificateFigures(const fs::path& json) {
    const nlohmann::json j = nlohmann::json::parse(testnet::readFile(json));
    const nlohmann::json& r = j["report"];
    const nlohmann::json& t = j["timing"];
    return "ratio " + r["certifiedRatio"].dump() + ", lower " + r["benefitLowerBound"].dump() + ", upper " +
           r["optimumUpperBound"].dump() + ", validation " + r["validationSamples"].dump() + ", drawn " +
           t["validationSamplesDrawn"].dump() + ", iterations " + t["iterations"].dump() + ", hyperedges " +
           t["hyperedges"].dump() + ", benefit from validation " + t["benefitFromValidation"].dump();
}

// -stop certified on 1 to 3 ranks: marlet's seeds, stopping point and
// certificate; at -epsilon 0.3 the Total Benefit comes from the validation
// samples, at 0.1 from fresh ones.
TEST_F(MarletMpi, CertifiedStopAsMarlet) {
    for (const auto& [model, epsilon] : {std::pair{"IC", "0.1"}, std::pair{"LT", "0.3"}}) {
        std::vector<std::string> args = options("deg", model);
        args.insert(args.end(), {"-stop", "certified", "-sampler", "fast", "-epsilon", epsilon});
        std::vector<std::string> one{MARLET_BIN};
        one.insert(one.end(), args.begin(), args.end());
        one.insert(one.end(), {"-o", "one.seeds", "-json", "one.json"});
        const testnet::RunResult r = testnet::run(one, dir.root().string());
        ASSERT_EQ(r.status, 0) << r.err;
        const nlohmann::json j = nlohmann::json::parse(testnet::readFile(dir.path("one.json")));
        EXPECT_EQ(j["timing"]["benefitFromValidation"], std::string(epsilon) == "0.3");
        for (int ranks : {1, 2, 3}) {
            SCOPED_TRACE(::testing::Message() << model << " ranks " << ranks);
            std::vector<std::string> split = args;
            split.insert(split.end(), {"-t", ranks == 2 ? "2" : "1", "-o", "mpi.seeds", "-json", "mpi.json"});
            const testnet::RunResult m = mpirun({{ranks, split}});
            ASSERT_EQ(m.status, 0) << m.out << m.err;
            EXPECT_EQ(figures(m.out), figures(r.out));
            EXPECT_EQ(testnet::readFile(dir.path("mpi.seeds")), testnet::readFile(dir.path("one.seeds")));
            EXPECT_EQ(certificateFigures(dir.path("mpi.json")), certificateFigures(dir.path("one.json")));
        }
    }
}

// The store is what the ranks split: under IC at out-degree costs the last
// batch takes one process's store to about 6.7 MB, past a -mem of 5, while
// each of two ranks holds within 10% of half of it (what the split promises);
// the two ranks then give marlet's seeds of a run without the limit.
TEST_F(MarletMpi, StoreOverOneProcessLimitFitsTwoRanks) {
    auto marlet = [this](std::vector<std::string> first) {
        first.insert(first.begin(), MARLET_BIN);
        for (const std::string& o : options("deg", "IC")) first.push_back(o);
        return testnet::run(first, dir.root().string());
    };
    const testnet::RunResult refused = marlet({"-mem", "5", "-o", "refused.seeds"});
    ASSERT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("of the -mem limit"), std::string::npos) << refused.err;
    const testnet::RunResult r = marlet({"-o", "one.seeds", "-json", "one.json"});
    ASSERT_EQ(r.status, 0) << r.err;

    std::vector<std::string> limited{"-mem", "5", "-o", "two.seeds", "-json", "two.json"};
    for (const std::string& o : options("deg", "IC")) limited.push_back(o);
    const testnet::RunResult two = mpirun({{2, limited}});
    ASSERT_EQ(two.status, 0) << two.err;
    EXPECT_EQ(figures(two.out), figures(r.out));
    EXPECT_EQ(testnet::readFile(dir.path("two.seeds")), testnet::readFile(dir.path("one.seeds")));
    const std::vector<double> one = storePerRank(dir.path("one.json"));
    ASSERT_EQ(one.size(), 1u);
    for (double mb : storePerRank(dir.path("two.json"))) EXPECT_NEAR(mb, one[0] / 2, one[0] / 20);
}

TEST_F(MarletMpi, FaultsEndEveryRankWithOneMessage) {
    const std::string bad = testnet::readFile(dir.path("deg.bin")).substr(0, 100);
    testnet::writeBytes(dir.path("bad.bin"), bad);
    // Folders holding the good run's files but for one, of the same name:
    // a truncated network, a benefit file with one benefit changed (same
    // size), the unit costs.
    std::string benefits = testnet::readFile(dir.path("deg.ben"));
    benefits[benefits.size() - 1] ^= 0x40;
    const std::map<std::string, std::pair<std::string, std::string>> folders{
        {"net", {"deg.bin", bad}},
        {"ben", {"deg.ben", benefits}},
        {"cost", {"deg.cost", testnet::readFile(dir.path("unit.cost"))}}};
    for (const auto& [folder, replaced] : folders) {
        fs::create_directory(dir.path(folder));
        for (const char* name : {"deg.bin", "deg.ben", "deg.cost", "db_Enron.txt"})
            fs::copy_file(dir.path(name), dir.path(folder) + "/" + name);
        testnet::writeBytes(dir.path(folder) + "/" + replaced.first, replaced.second);
    }
    const std::vector<std::string> good = [] {
        std::vector<std::string> args = options("deg", "IC");
        args.insert(args.end(), {"-o", "f.seeds"});
        return args;
    }();
    // The good run with some options changed: the first occurrence of an option wins.
    auto changed = [&good](std::vector<std::string> first) {
        first.insert(first.end(), good.begin(), good.end());
        return first;
    };
    struct Case {
        const char* name;
        std::vector<Line> ranks;
        const char* message;  // part of the one line on standard error
    };
    const Case cases[] = {
        {"bad network file on every rank", {{3, changed({"-i", "bad.bin"})}}, "marlet: network file \"bad.bin\": truncated"},
        // Ranks started differently are refused before anything is read.
        {"-i differs on rank 1", {{1, good}, {1, changed({"-i", "bad.bin"})}},
         "marlet-mpi: rank 0 and rank 1 were started with different options: -i is \"deg.bin\" on rank 0 but "
         "\"bad.bin\" on rank 1"},
        {"-b differs on rank 2", {{2, good}, {1, changed({"-b", "unit.ben"})}},
         "rank 0 and rank 2 were started with different options: -b is \"deg.ben\" on rank 0 but \"unit.ben\""},
        {"-seed differs", {{1, good}, {1, changed({"-seed", "6"})}}, "-seed is \"5\" on rank 0 but \"6\" on rank 1"},
        {"-k differs", {{1, changed({"-k", "40"})}, {1, good}}, "-k is \"40\" on rank 0 but \"50\" on rank 1"},
        {"-m differs", {{1, good}, {1, changed({"-m", "LT"})}}, "-m is \"IC\" on rank 0 but \"LT\" on rank 1"},
        {"-sampler on rank 1 only", {{1, good}, {1, changed({"-sampler", "fast"})}},
         "-sampler is absent on rank 0 but \"fast\" on rank 1"},
        {"network file differs", {{1, good}, {1, good, "net"}},
         "marlet-mpi: rank 0 and rank 1 read different network files \"deg.bin\" (-i): "},
        {"benefit file differs", {{1, good}, {1, good, "ben"}},
         "marlet-mpi: rank 0 and rank 1 read different benefit files \"deg.ben\" (-b): "},
        {"cost file differs", {{2, good, "cost"}, {1, good}},
         "marlet-mpi: rank 0 and rank 2 read different cost files \"deg.cost\" (-c): "},
        {"refused parameter", {{2, changed({"-k", "0"})}}, "marlet: option -k: 0 is out of range"},
        {"memory guard", {{2, changed({"-mem", "0.5"})}}, "of the -mem limit"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const testnet::RunResult r = mpirun(c.ranks);
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.status, 124) << "timed out";
        EXPECT_EQ(messageLines(r.err), 1) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists(dir.path("f.seeds")));
    }

    // The fixed message of an invalid command line, once, with marlet's status.
    const testnet::RunResult r = mpirun({{3, {"-i"}}});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "Parameters error, please check the readme.txt file for correct format!\n");
}

}  // namespace
