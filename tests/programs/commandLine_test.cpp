// The command lines of marlet and ostrand, end to end, one table per shape
// with rows for both programs (and netpack where it shares the shape): the
// usage of -h/--help on standard output before anything is read, the fixed
// message of a malformed command line with the usage (and the version) on
// standard error, the fixed message of an unknown model, option values
// refused with one line naming the option, progress lines on request, and
// unknown option names noted.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/testNetwork.h"
#include "version.h"

using namespace lattis;

namespace {

const std::string kMarlet = MARLET_BIN, kOstrand = OSTRAND_BIN, kNetpack = NETPACK_BIN;

using testnet::contains;

std::string nameOf(const std::string& program) {
    return program == kMarlet ? "marlet" : program == kOstrand ? "ostrand" : "netpack";
}

// The end-to-end network of testNetwork.h (n = 40, net.bin, net.ben,
// net.cost), a seed file for ostrand and a pair list sized for the network.
class CommandLine : public testing::Test {
protected:
    void SetUp() override {
        testnet::writeProgramNetwork(dir, 40);
        testnet::writeBytes(dir.path("s.txt"), "2\n5\n");
        testnet::writeBytes(dir.path("db_Enron.txt"), "41 0\n");
    }
    testnet::RunResult run(const std::string& program, std::vector<std::string> args) {
        args.insert(args.begin(), program);
        return testnet::run(args, dir.root().string());
    }
    // A run with the inputs after args, so that a name in args wins.
    testnet::RunResult runOnInputs(const std::string& program, std::vector<std::string> args) {
        const std::vector<std::string> marlet{"-i", "net.bin", "-b", "net.ben", "-c", "net.cost", "-k", "5", "-seed", "7"};
        const std::vector<std::string> ostrand{"-i", "net.bin", "-b", "net.ben", "-s", "s.txt"};
        for (const std::string& a : program == kMarlet ? marlet : ostrand) args.push_back(a);
        return run(program, args);
    }
    testnet::TempDir dir;
};

// The usage names every option with its default, and nothing is read: not
// the pair list (malformed here), not the network (absent).
TEST_F(CommandLine, HelpPrintsTheUsageBeforeAnythingIsRead) {
    testnet::writeBytes(dir.path("db_Enron.txt"), "ten 45\n");
    struct Case {
        std::string program;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {kMarlet, {"-h"}},  {kMarlet, {"--help"}},  {kMarlet, {"-i", "absent.bin", "-h", "x"}},
        {kOstrand, {"-h"}}, {kOstrand, {"--help"}}, {kOstrand, {"-s", "s.txt", "-i", "absent.bin", "--help"}},
    };
    const std::vector<std::string> marletNames{"-i", "-b", "-c", "-m", "-epsilon", "-delta", "-k", "-t",
                                               "-o", "-seed", "-mem", "-timing", "-sampler", "-load", "-json", "-map",
                                               "-pairs", "-progress", "-stop", "-ratio"};
    const std::vector<std::string> ostrandNames{"-s", "-i", "-b", "-m", "-epsilon", "-delta", "-t", "-seed",
                                                "-c", "-json", "-map", "-sampler", "-load", "-maxsamples", "-progress"};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const testnet::RunResult r = run(c.program, c.args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        const std::string name = nameOf(c.program);
        EXPECT_TRUE(r.out.starts_with(name + " " LATTIS_VERSION "\nusage: " + name + " ")) << r.out;
        for (const std::string& option : c.program == kMarlet ? marletNames : ostrandNames)
            EXPECT_TRUE(contains(r.out, "\n  " + option + " ")) << option << " in\n" << r.out;
        EXPECT_TRUE(contains(r.out, "\n  -h, --help ")) << r.out;
        // Defaults that readme.txt states, one on each option's line.
        EXPECT_TRUE(contains(r.out, "default network.bin\n")) << r.out;
        EXPECT_TRUE(contains(r.out, c.program == kMarlet ? "default 100\n" : "default nodeBenefit.txt\n")) << r.out;
    }
}

TEST_F(CommandLine, MalformedIsTheFixedMessageWithTheUsage) {
    struct Case {
        std::string program;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {kMarlet, {"extra"}}, {kMarlet, {"-i"}}, {kMarlet, {"-i", "net.bin", "stray", "-m", "IC"}},
        {kOstrand, {"-s"}},   {kOstrand, {"s.txt"}}, {kOstrand, {"-s", "s.txt", "extra"}},
        {kNetpack, {"-i"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const testnet::RunResult r = run(c.program, c.args);
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.out, "Parameters error, please check the readme.txt file for correct format!\n");
        const std::string name = nameOf(c.program);
        EXPECT_TRUE(contains(r.err, "usage: " + name)) << r.err;
        EXPECT_TRUE(contains("\n" + r.err, "\n" + name + " " LATTIS_VERSION "\n")) << r.err;
    }
}

TEST_F(CommandLine, UnknownModelIsTheFixedMessage) {
    struct Case {
        std::string program;
        std::string model;
    };
    const Case cases[] = {{kMarlet, "lt"},   {kMarlet, "ic"},   {kMarlet, "XX"},  {kOstrand, "ic"},
                          {kOstrand, "lt"},  {kOstrand, ""},    {kOstrand, "IC "}};
    for (const Case& c : cases) {
        SCOPED_TRACE(nameOf(c.program) + " -m \"" + c.model + "\"");
        const testnet::RunResult r = runOnInputs(c.program, {"-m", c.model});
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.out, "Incorrect model option!");
    }
}

// One line on standard error naming the option (and, where given, the range
// it must lie in); nothing on standard output.
TEST_F(CommandLine, RefusedValuesAreNamed) {
    struct Case {
        std::string program, name;
        std::vector<std::string> values;
        std::string range;
    };
    const Case cases[] = {
        {kMarlet, "-k", {"abc"}, ""},
        {kMarlet, "-t", {"4x"}, ""},
        {kMarlet, "-epsilon", {""}, ""},
        {kMarlet, "-delta", {"0.1.2"}, ""},
        {kMarlet, "-seed", {"-1", "4294967296", "1.5"}, ""},
        {kMarlet, "-mem", {"lots"}, ""},
        {kMarlet, "-timing", {"2"}, ""},
        {kMarlet, "-epsilon", {"0", "-0.5"}, "greater than 0"},
        {kMarlet, "-delta", {"0", "4"}, "0 < delta < 4"},
        {kMarlet, "-k", {"0", "-3"}, "greater than 0"},
        {kMarlet, "-select", {"Fill", "greedy", ""}, "expected stop or fill"},
        {kMarlet, "-load", {"mmap", ""}, "expected copy or map"},
        {kOstrand, "-load", {"Map"}, "expected copy or map"},
        {kMarlet, "-sampler", {"Fast", "quick"}, "expected classic or fast"},
        {kMarlet, "-t", {"0"}, "[1, "},
        {kMarlet, "-t", {"100000"}, "[1, 1024]"},
        {kMarlet, "-mem", {"0"}, "greater than 0"},
        {kMarlet, "-progress", {"2", "yes"}, ""},
        {kMarlet, "-stop", {"certify", "", "Certified"}, "threshold or certified"},
        {kMarlet, "-ratio", {"abc", "0.5x", "nan"}, ""},
        {kMarlet, "-ratio", {"0", "-0.1", "1.0001", "inf"}, "0 < R <= 1"},
        {kOstrand, "-progress", {"-1", ""}, ""},
        {kOstrand, "-epsilon", {"abc", "0.1x", "", "0", "-0.1", "1e-60", "inf", "1e-30"}, ""},
        {kOstrand, "-delta", {"0", "2", "-0.5", "x"}, ""},
        {kOstrand, "-t", {"0", "-2", "2x", "1.5", "100000"}, ""},
        {kOstrand, "-seed", {"abc", "-1", "4294967296"}, ""},
    };
    for (const Case& c : cases)
        for (const std::string& value : c.values) {
            SCOPED_TRACE(nameOf(c.program) + " " + c.name + " \"" + value + "\"");
            testnet::RunResult r = runOnInputs(c.program, {c.name, value});
            r.err = testnet::withoutInWeightNote(r.err);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.out, "");
            EXPECT_TRUE(r.err.starts_with(nameOf(c.program) + ": ")) << r.err;
            EXPECT_TRUE(contains(r.err, c.name)) << r.err;
            EXPECT_TRUE(contains(r.err, c.range)) << r.err;
            EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        }
    // Values at the edge of their ranges are taken.
    EXPECT_EQ(runOnInputs(kOstrand, {"-delta", "1.99", "-epsilon", "5", "-t", "2"}).status, 0);
    EXPECT_EQ(runOnInputs(kMarlet, {"-stop", "certified", "-ratio", "1"}).status, 0);
    // -ratio's default, 1 - 1/sqrt(e) - epsilon, is refused where it is not
    // above 0 and would be used.
    const testnet::RunResult wide = runOnInputs(kMarlet, {"-stop", "certified", "-epsilon", "0.4"});
    EXPECT_EQ(wide.status, 1);
    EXPECT_TRUE(wide.err.starts_with("marlet: option -ratio: the default")) << wide.err;
    EXPECT_EQ(runOnInputs(kMarlet, {"-epsilon", "0.4"}).status, 0);
}

// -progress 1 on a standard error that is no terminal: plain lines, one per
// iteration of marlet (numbered 1, 2, ... up to the JSON report's
// iterations) and of its estimate's rounds, one per round of ostrand's block
// estimate (the first after one block of 4096 samples); -progress 0, like the
// default off a terminal, prints none. 200 nodes without arcs, unit benefits
// and costs: marlet's two seeds take several iterations, and one seed is hit
// by 1 sample in 200, so that ostrand needs more than one round.
TEST_F(CommandLine, ProgressLinesOnRequest) {
    const int n = 200;
    testnet::writeNetwork(dir.path("flat.bin"), n, {});
    testnet::writeValues<double>(dir.path("flat.ben"), std::vector<double>(n, 1.0));
    testnet::writeValues<float>(dir.path("flat.cost"), std::vector<float>(n, 1.0f));
    testnet::writeBytes(dir.path("one.txt"), "7\n");
    const std::vector<std::string> marlet{"-i", "flat.bin", "-b", "flat.ben", "-c", "flat.cost", "-k", "2",
                                          "-seed", "1", "-json", "flat.json", "-pairs", "none"};
    const std::vector<std::string> ostrand{"-i", "flat.bin", "-b", "flat.ben", "-s", "one.txt", "-sampler", "fast",
                                           "-seed", "1"};
    for (const std::string& program : {kMarlet, kOstrand})
        for (const char* progress : {"1", "0", ""}) {
            SCOPED_TRACE(nameOf(program) + " -progress \"" + progress + "\"");
            std::vector<std::string> args = program == kMarlet ? marlet : ostrand;
            if (*progress != '\0') args.insert(args.end(), {"-progress", progress});
            const testnet::RunResult r = run(program, args);
            ASSERT_EQ(r.status, 0) << r.err;
            if (std::string(progress) != "1") {
                EXPECT_EQ(r.err, "");
                continue;
            }
            EXPECT_EQ(r.err.find_first_of("\r\033"), std::string::npos) << r.err;
            ASSERT_TRUE(r.err.ends_with("\n")) << r.err;
            std::vector<std::string> lines;
            for (std::size_t at = 0, end; at < r.err.size(); at = end + 1)
                lines.push_back(r.err.substr(at, (end = r.err.find('\n', at)) - at));
            if (program == kOstrand) {
                EXPECT_TRUE(lines[0].starts_with("ostrand: 4096 samples, ")) << r.err;
                for (const std::string& l : lines) EXPECT_TRUE(l.ends_with(" hits")) << l;
                continue;
            }
            const std::size_t iterations =
                nlohmann::json::parse(testnet::readFile(dir.path("flat.json")))["timing"]["iterations"];
            ASSERT_GE(iterations, 2u);
            ASSERT_GE(lines.size(), iterations);
            for (std::size_t i = 0; i < iterations; ++i)
                EXPECT_TRUE(lines[i].starts_with("marlet: iteration " + std::to_string(i + 1) + ", ")) << lines[i];
            for (std::size_t i = iterations; i < lines.size(); ++i)
                EXPECT_TRUE(lines[i].starts_with("marlet: estimating the seeds' benefit: ")) << lines[i];
        }
}

// Names are case-sensitive: a name neither program knows, or one the other
// program knows, is noted once and the run goes on.
TEST_F(CommandLine, UnknownNamesAreNotedAndIgnored) {
    struct Case {
        std::string program;
        std::vector<std::string> args;
        std::vector<std::string> noted;
    };
    const Case cases[] = {
        {kMarlet, {"-K", "50", "-threads", "2", "-K", "9"}, {"-K", "-threads"}},
        {kOstrand, {"-K", "5", "-k", "5"}, {"-K", "-k"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(nameOf(c.program));
        const testnet::RunResult r = runOnInputs(c.program, c.args);
        EXPECT_EQ(r.status, 0) << r.err;
        std::string notes;
        for (const std::string& name : c.noted)
            notes += nameOf(c.program) + ": note: option " + name +
                     " is not known and was ignored (names are case-sensitive; see readme.txt)\n";
        EXPECT_EQ(testnet::withoutInWeightNote(r.err), notes);
    }
}

}  // namespace
