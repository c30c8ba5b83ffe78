// Tests of the programs' readers at their boundary: a network header that
// disagrees with its degree lists, id maps that never end, carry CRLF lines,
// control bytes or name a directory, and a pair list or network that is a
// fifo no process writes, which must end the run with a message, not a hang.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/testNetwork.h"

using namespace lattis;

namespace {

using testnet::contains;

// The 40-node network of testNetwork.h, its id map (node i is 1000 + i) and a seed file.
class InputReaders : public testing::Test {
protected:
    static constexpr int kN = 40;
    void SetUp() override {
        testnet::writeProgramNetwork(dir, kN);
        testnet::writeBytes(dir.path("net.map"), mapText("\n"));
        testnet::writeBytes(dir.path("s.txt"), "1 2\n");
    }
    static std::string mapText(const std::string& lineEnd) {
        std::ostringstream map;
        for (int i = 1; i <= kN; ++i) map << 1000 + i << lineEnd;
        return map.str();
    }
    // A run under a time limit far above its need, so that a hang fails the
    // test (status 124) instead of stalling the suite.
    testnet::RunResult run(const std::string& program, const std::vector<std::string>& args) {
        std::vector<std::string> argv{"/usr/bin/timeout", "60", program};
        argv.insert(argv.end(), args.begin(), args.end());
        return testnet::run(argv, dir.root().string());
    }
    testnet::TempDir dir;
};

using testnet::kMarletArgs;
using testnet::kOstrandArgs;
using testnet::with;

TEST_F(InputReaders, AHeaderArcCountThatDisagreesWithTheListsIsRefused) {
    const std::string bytes = testnet::readFile(dir.path("net.bin"));
    std::uint64_t listed = 0;
    std::memcpy(&listed, bytes.data() + 4, sizeof listed);
    for (std::uint64_t stated : {std::uint64_t{99}, std::uint64_t{0}, std::uint64_t{3000000000}}) {
        SCOPED_TRACE(stated);
        std::string patched = bytes;
        std::memcpy(patched.data() + 4, &stated, sizeof stated);
        testnet::writeBytes(dir.path("bad.bin"), patched);
        const std::string message = "network file \"bad.bin\": the header (byte offset 4) states " +
                                    std::to_string(stated) + " arcs, but the in-degree lists hold " +
                                    std::to_string(listed);
        for (const auto& [program, args] : {std::pair{MARLET_BIN, kMarletArgs}, std::pair{OSTRAND_BIN, kOstrandArgs}}) {
            std::vector<std::string> a = args;
            a[1] = "bad.bin";
            const testnet::RunResult r = run(program, a);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.out, "");
            EXPECT_TRUE(contains(r.err, message)) << r.err;
        }
    }
}

struct MapCase {
    std::string file;  // given to -map
    std::string bytes;  // written there, unless the case makes it itself
    std::string message;  // "" when the map is accepted
};

TEST_F(InputReaders, IdMapsAreReadLineByLineAndBounded) {
    std::filesystem::create_directory(dir.path("maps"));
    const MapCase table[] = {
        {"crlf.map", mapText("\r\n"), ""},
        {"last.map", mapText("\n").substr(0, mapText("\n").size() - 1), ""},
        {"long.map", mapText("\n") + "1041\n", "map file \"long.map\" holds more than 40 ids but the network has 40"},
        {"esc.map", "1001\n\x1b[31m\n", "map file \"esc.map\", line 2: expected one original node id, got \"\\x1b[31m\""},
        {"maps", "", "map file \"maps\": is a directory"},
        // Read as an input, the endless device gives one line that is too
        // long at once, not the whole stream.
        {"/dev/zero", "", "map file \"/dev/zero\", line 1: expected one original node id, got \"\\x00"},
    };
    for (const MapCase& c : table) {
        SCOPED_TRACE(c.file);
        if (!c.bytes.empty()) testnet::writeBytes(dir.path(c.file), c.bytes);
        for (const auto& [program, args] : {std::pair{MARLET_BIN, kMarletArgs}, std::pair{OSTRAND_BIN, kOstrandArgs}}) {
            const testnet::RunResult r = run(program, with(args, {"-map", c.file, "-json", "r.json"}));
            if (c.message.empty()) {
                EXPECT_EQ(r.status, 0) << r.err;
                EXPECT_TRUE(contains(testnet::readFile(dir.path("r.json")), "\"originalIds\": [\n    1001"));
            } else {
                EXPECT_EQ(r.status, 1);
                EXPECT_TRUE(contains(r.err, c.message)) << r.err;
            }
        }
    }
}

// Fifos that no process writes, as the inputs opened before the options are
// read (the pair list) or that must be regular (the network): read as empty
// or refused, with a message, never waited on. (The text inputs wait for a
// fifo's writer, so that a stream fed by another process is read.)
TEST_F(InputReaders, FifoInputsWithoutAWriterEndTheRun) {
    struct FifoCase {
        std::string program;
        std::vector<std::string> args;
        std::string message;
    };
    const FifoCase table[] = {
        {MARLET_BIN, with(kMarletArgs, {"-pairs", "fifo"}), "fifo"},
        {MARLET_BIN, kMarletArgs, "db_Enron.txt"},
        {MARLET_BIN, {"-i", "fifo", "-b", "net.ben", "-k", "5"}, "network file \"fifo\": not a regular file"},
        {OSTRAND_BIN, {"-i", "fifo", "-b", "net.ben", "-s", "s.txt"}, "network file \"fifo\": not a regular file"},
    };
    for (const FifoCase& c : table) {
        SCOPED_TRACE(c.message);
        for (const char* name : {"fifo", "db_Enron.txt"}) std::filesystem::remove(dir.path(name));
        const std::string fifo = dir.path(c.message == "db_Enron.txt" ? "db_Enron.txt" : "fifo");
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        const testnet::RunResult r = run(c.program, c.args);
        EXPECT_NE(r.status, 124) << "the run waited on the fifo";
        if (!c.message.empty()) {
            EXPECT_TRUE(contains(r.err, c.message)) << r.err;
        }
    }
}

}  // namespace
