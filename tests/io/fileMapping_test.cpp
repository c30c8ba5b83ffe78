// Tests of the read-only file mapping: it holds the file's bytes, pages let
// go of read the same again, and a file cut short under it ends the process
// with the program's line and no temporaries left, instead of SIGBUS.
#include "io/fileMapping.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "io/temporaryRegistry.h"
#include "support/testNetwork.h"

using namespace lattis;

namespace {

// Three pages and a bit of distinct bytes.
std::string pattern() {
    std::string bytes(3 * 4096 + 100, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 % 251);
    return bytes;
}

TEST(FileMapping, HoldsTheFileAndReadsReleasedPagesAgain) {
    const testnet::TempDir dir;
    const std::string file = dir.path("bytes.bin"), bytes = pattern();
    testnet::writeBytes(file, bytes);
    const int fd = open(file.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    FileMapping m;
    int err = 0;
    ASSERT_TRUE(m.map(fd, bytes.size(), err)) << std::strerror(err);
    close(fd);
    ASSERT_EQ(m.size(), bytes.size());
    EXPECT_EQ(std::memcmp(m.data(), bytes.data(), bytes.size()), 0);
    m.release(100, bytes.size());
    FileMapping moved = std::move(m);
    EXPECT_EQ(m.data(), nullptr);
    EXPECT_EQ(std::memcmp(moved.data(), bytes.data(), bytes.size()), 0);
    moved.keepFirst(4097);
    EXPECT_EQ(moved.size(), 2u * 4096);
    EXPECT_EQ(std::memcmp(moved.data(), bytes.data(), 2 * 4096), 0);
    FileMapping empty;
    EXPECT_TRUE(empty.map(-1, 0, err));
    EXPECT_EQ(empty.data(), nullptr);
}

TEST(FileMappingDeathTest, FileCutShortStopsWithTheProgramsLine) {
    const testnet::TempDir dir;
    const std::string file = dir.path("bytes.bin"), temporary = dir.path("out.tmp"), bytes = pattern();
    testnet::writeBytes(file, bytes);
    testnet::writeBytes(temporary, "half an output");
    EXPECT_EXIT(
        {
            const int fd = open(file.c_str(), O_RDONLY);
            FileMapping m;
            int err = 0;
            if (fd < 0 || !m.map(fd, bytes.size(), err)) _exit(3);
            registerTemporary(temporary);
            stopOnShrunkMapping("marlet", file);
            if (truncate(file.c_str(), 0) != 0) _exit(4);
            volatile char c = static_cast<char>(m.data()[2 * 4096]);
            (void)c;
            _exit(5);
        },
        testing::ExitedWithCode(1), "^marlet: \".*bytes.bin\" was cut short while it was read through a mapping; no output was written\n$");
    EXPECT_FALSE(std::filesystem::exists(temporary));
}

}  // namespace
