// The report's memory probe: the kilobyte parsing of its text, with the
// message of strToInt for text without a figure, and its /proc fallback.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/memoryProbe.h"
#include "support/coutCapture.h"
#include "support/testNetwork.h"

using namespace lattis;
using testnet::CoutCapture;

namespace {

TEST(MemoryProbe, TotalLineToMegabytes) {
    {
        CoutCapture out;
        EXPECT_EQ(megabytesFromTotal("123456K"), 120.5625f);
        EXPECT_EQ(megabytesFromTotal("1024K"), 1.0f);
        EXPECT_EQ(out.text(), "");
    }
    {
        CoutCapture out;
        EXPECT_EQ(megabytesFromTotal(""), 0.0f);
        EXPECT_EQ(out.text(), "String  is not a number.\n");
    }
}

TEST(MemoryProbe, VmSizeFromStatusText) {
    const std::string status =
        "Name:\tlattis_tests\nVmPeak:\t  999999 kB\nVmSize:\t  123456 kB\nVmRSS:\t    4000 kB\n";
    EXPECT_EQ(totalFromStatus(status), "123456K");
    EXPECT_EQ(totalFromStatus("VmSize:\t12 kB"), "12K");
    EXPECT_EQ(totalFromStatus("Name:\tx\nVmRSS:\t4000 kB\n"), "");
    EXPECT_EQ(totalFromStatus(""), "");
}

// The process's VmSize in kB as the kernel states it, or 0 if unknown.
unsigned long long vmSizeKilobytes() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmSize:", 0) == 0) return std::stoull(line.substr(7));
    return 0;
}

// strToInt reads 32 bits, so a process mapping 4 TB or more (AddressSanitizer
// reserves its shadow that way) gets the message with the figure in it
// instead of a measurement; below that the probe measures silently.
void expectMeasured(float mb, const std::string& printed) {
    if (vmSizeKilobytes() <= 0xFFFFFFFFull) {
        EXPECT_GT(mb, 1.0f);
        EXPECT_EQ(printed, "");
    } else {
        const std::string head = "String ", tail = " is not a number.\n";
        ASSERT_GT(printed.size(), head.size() + tail.size()) << printed;
        EXPECT_EQ(printed.substr(0, head.size()), head);
        EXPECT_EQ(printed.substr(printed.size() - tail.size()), tail);
        const std::string figure = printed.substr(head.size(), printed.size() - head.size() - tail.size());
        EXPECT_EQ(figure.find_first_not_of("0123456789"), std::string::npos) << printed;
    }
}

// The probe leaves no temporary file behind and measures something.
TEST(MemoryProbe, MemoryProbeMeasuresTheProcess) {
    CoutCapture out;
    const float mb = getCurrentMemoryUsage();
    expectMeasured(mb, out.text());
    EXPECT_FALSE(std::filesystem::exists("tmp_" + std::to_string(getpid()) + ".txt"));
}

// In a working directory that no longer exists the pipeline cannot write its
// file, and the figure comes from /proc/self/status instead. (The shell's
// complaints about the directory go to standard error.)
TEST(MemoryProbe, MemoryProbeFallsBackWhenThePipelineYieldsNothing) {
    const std::filesystem::path home = std::filesystem::current_path();
    float mb = 0;
    std::string printed;
    {
        testnet::TempDir dir;
        const std::filesystem::path gone = dir.root() / "gone";
        std::filesystem::create_directory(gone);
        std::filesystem::current_path(gone);
        std::filesystem::remove(gone);
        CoutCapture out;
        mb = getCurrentMemoryUsage();
        printed = out.text();
        std::filesystem::current_path(home);
    }
    expectMeasured(mb, printed);
}

// The probe makes no file in the working directory: a name planted where the
// old temporary file went (a link to another file) is neither written
// through nor removed.
TEST(MemoryProbe, MemoryProbeWritesNoFileInTheWorkingDirectory) {
    const std::filesystem::path home = std::filesystem::current_path();
    testnet::TempDir dir;
    testnet::writeBytes(dir.path("victim"), "keep");
    const std::string planted = "tmp_" + std::to_string(getpid()) + ".txt";
    std::filesystem::create_symlink(dir.path("victim"), dir.path(planted));
    std::filesystem::current_path(dir.root());
    float mb = 0;
    std::string printed;
    {
        CoutCapture out;
        mb = getCurrentMemoryUsage();
        printed = out.text();
    }
    std::filesystem::current_path(home);
    expectMeasured(mb, printed);
    EXPECT_EQ(testnet::readFile(dir.path("victim")), "keep");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path(planted)));
}

}  // namespace
