// Tests of the streaming token reader and of token quoting: tokens and lines
// across block boundaries, the length cap, bytes that end a token, and the
// escaping that keeps control bytes out of messages.
#include "io/textReader.h"

#include <fcntl.h>
#include <omp.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "io/textBlocks.h"
#include "support/testNetwork.h"

using namespace lattis;

namespace {

struct Read {
    std::vector<std::string> tokens;
    std::vector<std::uint64_t> lines;
};

// Every token of `text` read from a pipe in blocks of `buffer` bytes.
Read readAll(const std::string& text, std::size_t buffer) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe");
    if (write(fds[1], text.data(), text.size()) != static_cast<ssize_t>(text.size())) throw std::runtime_error("write");
    close(fds[1]);
    TextReader in(fds[0], "pipe", buffer, true);
    Read r;
    for (std::string_view t; !(t = in.next()).empty();) {
        r.tokens.emplace_back(t);
        r.lines.push_back(in.line());
    }
    return r;
}

TEST(TextReader, TokensAndLinesAcrossBlocks) {
    const std::string text = "12 345\n\n 6789012345\t7\r\n  last";
    for (std::size_t buffer : {16, 17, 20, 64}) {
        SCOPED_TRACE(buffer);
        const Read r = readAll(text, buffer);
        EXPECT_EQ(r.tokens, (std::vector<std::string>{"12", "345", "6789012345", "7", "last"}));
        EXPECT_EQ(r.lines, (std::vector<std::uint64_t>{1, 1, 3, 3, 4}));
    }
    // Longer than the buffer: cut at its size; a stop byte ends a token after itself.
    EXPECT_EQ(readAll(std::string(40, '7'), 16).tokens.front(), std::string(16, '7'));
    EXPECT_EQ(readAll("1\x1b[31m 2", 64).tokens.front(), "1\x1b");
    EXPECT_EQ(readAll(std::string("4\0\0\0", 4), 64).tokens.front(), std::string("4\0", 2));
}

TEST(TextReader, DigitFastPathFallsBackToTokens) {
    const std::string text = "12 345\n 6789012345\t7x\r\n  +8 0009 last";
    for (std::size_t buffer : {16, 17, 64}) {
        SCOPED_TRACE(buffer);
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        ASSERT_EQ(write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
        close(fds[1]);
        TextReader in(fds[0], "pipe", buffer, true);
        std::vector<std::string> seen;
        for (;;) {
            std::uint32_t v = 0;
            if (in.nextDigits(v)) {
                std::string item = std::to_string(v);
                item.insert(item.begin(), '#');
                seen.push_back(item + "@" + std::to_string(in.line()));
                continue;
            }
            const std::string_view t = in.next();
            if (t.empty()) break;
            seen.push_back(std::string(t) + "@" + std::to_string(in.line()));
        }
        EXPECT_EQ(seen, (std::vector<std::string>{"#12@1", "#345@1", "6789012345@2", "7x@2", "+8@3", "#9@3",
                                                  "last@3"}));
    }
}

TEST(TextReader, DigitRunsOfEveryLengthAndEnd) {
    // Runs of 1 to 10 digits (leading zeros included) before each kind of
    // byte, far from the buffer's end: runs up to nine digits before a
    // blank are numbers, the rest are left to next() whole.
    const std::string pool = "9081726354";
    for (std::size_t len = 1; len <= 10; ++len)
        for (const std::string end : {" ", "\n", "\t", "\r", "x", "\x80"}) {
            const std::string run = pool.substr(10 - len);
            const std::string text = run + end + std::string(20, ' ') + "1";
            SCOPED_TRACE(run + " then byte " + std::to_string(static_cast<unsigned char>(end[0])));
            TextReader in(TextReader::InMemory{}, text, "t");
            std::uint32_t v = 0;
            const bool number = len <= 9 && (end[0] == ' ' || end[0] == '\n' || end[0] == '\t' || end[0] == '\r');
            ASSERT_EQ(in.nextDigits(v), number);
            if (number)
                EXPECT_EQ(v, std::stoul(run));
            else
                EXPECT_EQ(in.next().substr(0, len), run);
        }
}

TEST(TextReader, FilesThatCannotBeRead) {
    testnet::TempDir dir;
    const std::string message =
        testnet::messageOf<std::runtime_error>([&] { TextReader in(dir.root().string(), "cost file d"); });
    EXPECT_EQ(message, "cost file d: is a directory, not a file");
    EXPECT_THROW(TextReader(dir.path("absent"), "x"), std::runtime_error);
}

TEST(TextReader, QuotingEscapesWhatATerminalWouldObey) {
    const std::pair<std::string, std::string> cases[] = {
        {"abc", "\"abc\""},
        {"\x1b[2J", "\"\\x1b[2J\""},
        {std::string("a\0b", 3), "\"a\\x00b\""},
        {"\"q\\", "\"\\\"q\\\\\""},
        {"\xff\x7f\t", "\"\\xff\\x7f\\x09\""},
        {std::string(45, 'x'), "\"" + std::string(40, 'x') + "...\""},
    };
    for (const auto& [token, shown] : cases) EXPECT_EQ(quoteToken(token), shown);
}

// The team's reading of a file in blocks of 1 to 16 bytes and windows of 1
// or 3 blocks, on 1 and 3 threads, takes the tokens the reader gives, each
// at its index; where it cannot (a token the reader would cut or stop
// within, too few tokens) it says so and the caller reads serially.
TEST(TextBlocks, TakesTheReadersTokensOrDeclines) {
    struct Row {
        std::string text;
        bool plain;  // only tokens the team takes
    };
    const Row rows[] = {
        {"12 345\n\n 6789012345\t7\r\n  last", true},
        {"  \n1\n2\n3\n\n", true},
        {"0.25 1e-3\v+4 -5\f.5", true},
        {"x", true},
        {"1 2\x01" "3 4", false},
        {"1 " + std::string(TextReader::kMaxToken + 3, '7') + " 2", false},
    };
    testnet::TempDir dir;
    const std::string path = dir.path("t.txt");
    const int team = omp_get_max_threads();
    for (const Row& row : rows) {
        testnet::writeBytes(path, row.text);
        const Read serial = readAll(row.text, TextReader::kDefaultBuffer);
        const std::size_t total = serial.tokens.size();
        const int fd = open(path.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        for (int threads : {1, 3})
            for (std::size_t block : {1, 2, 3, 16})
                for (std::size_t windowBlocks : {1, 3})
                    for (std::size_t count : {total - 1, total, total + 1}) {
                        SCOPED_TRACE(row.text.substr(0, 20) + " block " + std::to_string(block) + " window " +
                                     std::to_string(windowBlocks) + " threads " + std::to_string(threads));
                        std::vector<std::string> taken(count);
                        omp_set_num_threads(threads);
                        const bool done = takeTokensOnTeam(
                            fd, row.text.size(), count,
                            [&](std::string_view t, std::uint64_t i) {
                                taken[i] = t;
                                return true;
                            },
                            block, windowBlocks);
                        const bool fits = count <= total && block * windowBlocks > 10;
                        EXPECT_TRUE(done || !(row.plain && fits));
                        EXPECT_TRUE(!done || count <= total);
                        if (done) {
                            taken.resize(total);  // count <= total: the rest as the reader gives it
                            std::copy(serial.tokens.begin() + static_cast<std::ptrdiff_t>(count), serial.tokens.end(),
                                      taken.begin() + static_cast<std::ptrdiff_t>(count));
                            EXPECT_EQ(taken, serial.tokens);
                        }
                    }
        close(fd);
    }
    omp_set_num_threads(team);
}

}  // namespace
