// Tests that the programs' outputs never destroy their inputs: an output
// naming an input (or another output) is refused before anything is read or
// written, places that cannot take a file are refused before sampling, and
// SIGINT or SIGTERM leave no temporary behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/testNetwork.h"

using namespace lattis;

namespace {

namespace fs = std::filesystem;

using testnet::contains;

struct Clash {
    const char* program;
    std::vector<std::string> args;
    const char* message;  // the part of the refusal naming the two options
};

// The inputs every case may name, each with distinct content, in a fresh
// folder: the 40-node network with its benefits and costs, an id map, a pair
// list (the default name and another) and a seed file.
class OutputFiles : public testing::Test {
protected:
    static constexpr int kN = 40;
    void SetUp() override {
        testnet::writeProgramNetwork(dir, kN);
        std::ostringstream map;
        for (int i = 1; i <= kN; ++i) map << 1000 + i << '\n';
        testnet::writeBytes(dir.path("net.map"), map.str());
        testnet::writeBytes(dir.path("db_Enron.txt"), "41 2\n1 2\n1 3\n");
        testnet::writeBytes(dir.path("p.txt"), "41 1\n2 3\n");
        testnet::writeBytes(dir.path("s.txt"), "1 2\n");
    }
    // Every file of the folder with its bytes.
    std::map<std::string, std::string> snapshot() const {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::directory_iterator(dir.root()))
            files[e.path().filename().string()] = testnet::readFile(e.path().string());
        return files;
    }
    testnet::RunResult run(const std::string& program, const std::vector<std::string>& args) {
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), args.begin(), args.end());
        return testnet::run(argv, dir.root().string());
    }
    // The run is refused with the message, and the folder is as it was.
    void expectRefusedAndNothingTouched(const Clash& c) {
        SCOPED_TRACE(c.message);
        const auto before = snapshot();
        const testnet::RunResult r = run(c.program, c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(contains(r.err, c.message)) << r.err;
        EXPECT_EQ(snapshot(), before);
    }

    testnet::TempDir dir;
};


using testnet::kMarletArgs;
using testnet::kOstrandArgs;
using testnet::with;

TEST_F(OutputFiles, AnOutputNamingAnInputIsRefusedAndTheInputKept) {
    const Clash table[] = {
        {MARLET_BIN, with(kMarletArgs, {"-o", "net.bin"}), "output -o \"net.bin\" and input -i \"net.bin\""},
        {MARLET_BIN, with(kMarletArgs, {"-o", "./net.ben"}), "output -o \"./net.ben\" and input -b \"net.ben\""},
        {MARLET_BIN, with(kMarletArgs, {"-o", "net.cost"}), "output -o \"net.cost\" and input -c"},
        {MARLET_BIN, with(kMarletArgs, {"-o", "db_Enron.txt"}), "output -o \"db_Enron.txt\" and input -pairs"},
        {MARLET_BIN, with(kMarletArgs, {"-pairs", "p.txt", "-o", "p.txt"}), "output -o \"p.txt\" and input -pairs"},
        {MARLET_BIN, with(kMarletArgs, {"-map", "net.map", "-o", "net.map"}), "output -o \"net.map\" and input -map"},
        {MARLET_BIN, with(kMarletArgs, {"-json", "net.bin"}), "output -json \"net.bin\" and input -i"},
        {MARLET_BIN, with(kMarletArgs, {"-map", "net.map", "-json", "net.map"}), "output -json \"net.map\" and input -map"},
        {MARLET_BIN, with(kMarletArgs, {"-o", "out.seeds", "-json", "./out.seeds"}),
         "outputs -o \"out.seeds\" and -json \"./out.seeds\" are the same file"},
        {OSTRAND_BIN, with(kOstrandArgs, {"-json", "s.txt"}), "output -json \"s.txt\" and input -s \"s.txt\""},
        {OSTRAND_BIN, with(kOstrandArgs, {"-json", "net.ben"}), "output -json \"net.ben\" and input -b"},
        {OSTRAND_BIN, with(kOstrandArgs, {"-map", "net.map", "-json", "net.map"}), "output -json \"net.map\" and input -map"},
    };
    fs::create_symlink("out.seeds", dir.path("link.seeds"));
    for (const Clash& c : table) expectRefusedAndNothingTouched(c);
    // A link is the file it names.
    const testnet::RunResult r = run(MARLET_BIN, with(kMarletArgs, {"-o", "link.seeds", "-json", "out.seeds"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "outputs -o \"link.seeds\" and -json \"out.seeds\" are the same file")) << r.err;
}

TEST_F(OutputFiles, PlacesThatCannotTakeAFileAreRefusedBeforeSampling) {
    const Clash table[] = {
        {MARLET_BIN, with(kMarletArgs, {"-o", ""}), "marlet: option -o: the file name is empty"},
        {MARLET_BIN, with(kMarletArgs, {"-json", ""}), "marlet: option -json: the file name is empty"},
        {MARLET_BIN, with(kMarletArgs, {"-json", "."}), "marlet: json file \".\": is a directory"},
        {MARLET_BIN, with(kMarletArgs, {"-o", "."}), "marlet: seed file .: is a directory"},
        {OSTRAND_BIN, with(kOstrandArgs, {"-json", ""}), "ostrand: option -json: the file name is empty"},
        {OSTRAND_BIN, with(kOstrandArgs, {"-json", "."}), "ostrand: json file \".\": is a directory"},
    };
    // Neither the seed file (network.seeds by default) nor a temporary.
    for (const Clash& c : table) expectRefusedAndNothingTouched(c);
}

// A run that stalls on an input that is a fifo whose writer never writes
// (the test holds it open), with its outputs' temporaries already made.
struct Stalled {
    const char* program;
    std::vector<std::string> args;
    std::size_t temporaries;  // made before the stall
};

std::vector<std::string> temporaries(const testnet::TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.root()))
        if (contains(e.path().filename().string(), ".tmp.")) names.push_back(e.path().filename().string());
    return names;
}

TEST_F(OutputFiles, InterruptedRunsLeaveNoTemporary) {
    const Stalled table[] = {
        {MARLET_BIN, with(kMarletArgs, {"-pairs", "fifo", "-o", "out.seeds", "-json", "out.json"}), 2},
        {OSTRAND_BIN, {"-i", "net.bin", "-b", "net.ben", "-s", "fifo", "-json", "out.json"}, 1},
        {NETPACK_BIN, {"-i", "fifo", "-o", "packed.bin", "-bo", "packed.ben"}, 3},
    };
    for (const Stalled& s : table) {
        for (int sig : {SIGINT, SIGTERM}) {
            SCOPED_TRACE(std::string(s.program) + " " + std::to_string(sig));
            ASSERT_EQ(mkfifo(dir.path("fifo").c_str(), 0600), 0);
            // Read-write: opening does not wait for a reader, and the
            // program's reads wait for data that never comes.
            const int writer = open(dir.path("fifo").c_str(), O_RDWR);
            ASSERT_GE(writer, 0);
            const pid_t pid = fork();
            if (pid == 0) {
                if (chdir(dir.root().c_str()) != 0 || !freopen("/dev/null", "w", stdout) ||
                    !freopen("/dev/null", "w", stderr))
                    _exit(127);
                std::vector<char*> argv{const_cast<char*>(s.program)};
                for (const std::string& a : s.args) argv.push_back(const_cast<char*>(a.c_str()));
                argv.push_back(nullptr);
                execv(argv[0], argv.data());
                _exit(127);
            }
            // Waits for the temporaries (a stalled run makes them and then
            // blocks); a program that ended instead fails the test.
            int status = 0;
            bool ended = false;
            while (temporaries(dir).size() < s.temporaries && !ended) {
                ended = waitpid(pid, &status, WNOHANG) == pid;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            if (!ended) {
                kill(pid, sig);
                waitpid(pid, &status, 0);
            }
            close(writer);
            fs::remove(dir.path("fifo"));
            EXPECT_FALSE(ended) << "the run ended before the signal";
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
            EXPECT_EQ(temporaries(dir), std::vector<std::string>{});
        }
    }
}

}  // namespace
