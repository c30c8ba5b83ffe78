// Tests of the one output path of every program: a file appears under its
// name only when published, an earlier file stays until then, a temporary
// never outlives a failure, links are followed, directories refused, and
// fifos and devices either refused or written in place.
#include "io/atomicFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/heldFifo.h"
#include "support/testNetwork.h"

using namespace lattis;

namespace {

namespace fs = std::filesystem;

std::vector<std::string> names(const testnet::TempDir& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir.root())) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

void writeAll(AtomicFile& f, const std::string& text) {
    f.write(text.data(), text.size());
    f.finish();
}

// Runs f, expecting std::runtime_error whose message holds `part`.
template <class F>
void expectFailure(F f, const std::string& part) {
    const std::string message = testnet::messageOf<std::runtime_error>([&] { f(); });
    EXPECT_NE(message.find(part), std::string::npos) << message;
}

TEST(AtomicFile, AnEarlierFileStaysUntilPublish) {
    testnet::TempDir dir;
    for (bool sync : {false, true}) {
        testnet::writeBytes(dir.path("out"), "old\n");
        AtomicFile f(dir.path("out"), "test file", AtomicFile::Special::Refuse, sync);
        writeAll(f, "new\n");
        EXPECT_EQ(testnet::readFile(dir.path("out")), "old\n");
        EXPECT_EQ(names(dir).size(), 2u);  // the file and the finished temporary
        f.publish();
        EXPECT_EQ(testnet::readFile(dir.path("out")), "new\n");
        EXPECT_EQ(names(dir), std::vector<std::string>{"out"});
    }
}

TEST(AtomicFile, AnUnpublishedFileLeavesNoTrace) {
    testnet::TempDir dir;
    testnet::writeBytes(dir.path("kept"), "old\n");
    for (const char* name : {"fresh", "kept"}) {
        AtomicFile f(dir.path(name), "test file");
        f.write("partial", 7);
    }
    {
        AtomicFile f(dir.path("fresh"), "test file");
        writeAll(f, "done\n");  // finished, never published
    }
    EXPECT_EQ(names(dir), std::vector<std::string>{"kept"});
    EXPECT_EQ(testnet::readFile(dir.path("kept")), "old\n");
}

TEST(AtomicFile, AFailedPublishRemovesTheTemporary) {
    testnet::TempDir dir;
    AtomicFile f(dir.path("out"), "test file");
    writeAll(f, "text\n");
    // The name becomes a directory that is not empty: the rename must fail.
    fs::create_directory(dir.path("out"));
    testnet::writeBytes(dir.path("out/inside"), "x");
    expectFailure([&] { f.publish(); }, "test file: cannot rename the finished temporary into place");
    EXPECT_EQ(names(dir), std::vector<std::string>{"out"});
}

// Whether the target exists or not (a dangling link creates it), and
// through a chain of two links.
TEST(AtomicFile, ALinkIsFollowedAndKept) {
    for (bool existing : {true, false}) {
        SCOPED_TRACE(existing);
        testnet::TempDir dir;
        if (existing) testnet::writeBytes(dir.path("target"), "old\n");
        fs::create_symlink("target", dir.path("link"));
        fs::create_symlink("link", dir.path("link2"));
        AtomicFile f(dir.path("link2"), "test file");
        writeAll(f, "new\n");
        f.publish();
        EXPECT_TRUE(fs::is_symlink(dir.path("link")));
        EXPECT_EQ(fs::read_symlink(dir.path("link")), "target");
        EXPECT_EQ(testnet::readFile(dir.path("target")), "new\n");
        EXPECT_EQ(names(dir), (std::vector<std::string>{"link", "link2", "target"}));
    }
}

TEST(AtomicFile, PlacesThatCannotTakeAFileAreRefusedAtOnce) {
    testnet::TempDir dir;
    fs::create_directory(dir.path("sub"));
    expectFailure([&] { AtomicFile f(dir.path("sub"), "test file"); }, "test file: is a directory");
    expectFailure([&] { AtomicFile f(dir.path("none/out"), "test file"); }, "test file: cannot create (as ");
    EXPECT_EQ(names(dir), std::vector<std::string>{"sub"});
}

// A fifo stands for every file that is not regular (devices, sockets): a
// rename would replace it, so it is refused or written in place.
TEST(AtomicFile, AFifoIsRefusedOrWrittenInPlace) {
    testnet::TempDir dir;
    const std::string fifo = dir.path("fifo");
    testnet::HeldFifo held(fifo);
    expectFailure([&] { AtomicFile f(fifo, "test file"); }, "test file: exists and is not a regular file");
    for (bool sync : {false, true}) {
        AtomicFile f(fifo, "test file", AtomicFile::Special::WriteInPlace, sync);
        writeAll(f, "through\n");
        f.publish();
    }
    EXPECT_EQ(held.drain(), "through\nthrough\n");
    EXPECT_TRUE(testnet::isFifo(fifo));
    EXPECT_EQ(names(dir), std::vector<std::string>{"fifo"});
}

}  // namespace
