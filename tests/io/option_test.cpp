// Tests of the command-line option table, of the strict numeric option
// readers built on it, and of the usage and name checks that come from a
// program's table of options.
#include <gtest/gtest.h>

#include <initializer_list>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "io/cliArgs.h"
#include "io/option.h"
#include "io/optionTable.h"
#include "support/testNetwork.h"

using namespace lattis;

namespace {

// An argument vector with a program name in argv[0], owning its strings.
class Args {
public:
    Args(std::initializer_list<const char*> words) : text{"prog"} {
        for (const char* w : words) text.emplace_back(w);
        for (auto& t : text) ptrs.push_back(t.data());
        ptrs.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(text.size()); }
    char** argv() { return ptrs.data(); }
    char* word(int i) { return ptrs[i]; }

private:
    std::vector<std::string> text;
    std::vector<char*> ptrs;
};

// Runs f, expecting std::invalid_argument whose message names the option.
template <class F>
void expectRefused(F f, const std::string& option) {
    const std::string message = testnet::messageOf<std::invalid_argument>([&] { f(); });
    EXPECT_NE(message.find(option), std::string::npos) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
}

}  // namespace

TEST(OptionParser, NoArguments) {
    Args a{};
    OptionParser op(a.argc(), a.argv());
    EXPECT_TRUE(op.validCheck());
    EXPECT_EQ(op.getPara("-i"), nullptr);
    EXPECT_EQ(op.getPara("prog"), nullptr);
}

TEST(OptionParser, PairsAreLookedUpByName) {
    Args a{"-i", "network.bin", "-m", "IC"};
    OptionParser op(a.argc(), a.argv());
    ASSERT_TRUE(op.validCheck());
    EXPECT_STREQ(op.getPara("-i"), "network.bin");
    EXPECT_STREQ(op.getPara("-m"), "IC");
    EXPECT_EQ(op.getPara("-b"), nullptr);
}

// The value is the argument vector's own string, not a copy.
TEST(OptionParser, ValuesPointIntoArgv) {
    Args a{"-o", "seeds.txt"};
    OptionParser op(a.argc(), a.argv());
    EXPECT_EQ(op.getPara("-o"), a.word(2));
}

TEST(OptionParser, FirstOccurrenceWins) {
    Args a{"-i", "first.bin", "-i", "second.bin"};
    OptionParser op(a.argc(), a.argv());
    EXPECT_TRUE(op.validCheck());
    EXPECT_STREQ(op.getPara("-i"), "first.bin");
}

TEST(OptionParser, WordWhereNameExpectedIsInvalid) {
    Args a{"-i", "network.bin", "extra", "-m", "IC"};
    EXPECT_FALSE(OptionParser(a.argc(), a.argv()).validCheck());
    Args b{"network.bin"};
    EXPECT_FALSE(OptionParser(b.argc(), b.argv()).validCheck());
}

TEST(OptionParser, NameWithoutValueIsInvalid) {
    Args a{"-i"};
    EXPECT_FALSE(OptionParser(a.argc(), a.argv()).validCheck());
    Args b{"-i", "network.bin", "-m", "IC", "-k"};
    EXPECT_FALSE(OptionParser(b.argc(), b.argv()).validCheck());
}

// Values are never tested for a leading minus.
TEST(OptionParser, NegativeValues) {
    Args a{"-t", "-4", "-delta", "-0.5"};
    OptionParser op(a.argc(), a.argv());
    ASSERT_TRUE(op.validCheck());
    EXPECT_STREQ(op.getPara("-t"), "-4");
    EXPECT_STREQ(op.getPara("-delta"), "-0.5");
}

// Only the first character makes a name.
TEST(OptionParser, AnythingStartingWithMinusIsAName) {
    Args a{"-", "x", "--long", "y", "-5", "z"};
    OptionParser op(a.argc(), a.argv());
    ASSERT_TRUE(op.validCheck());
    EXPECT_STREQ(op.getPara("-"), "x");
    EXPECT_STREQ(op.getPara("--long"), "y");
    EXPECT_STREQ(op.getPara("-5"), "z");
}

TEST(OptionParser, LookupsAreExact) {
    Args a{"-epsilon", "0.1"};
    OptionParser op(a.argc(), a.argv());
    EXPECT_STREQ(op.getPara("-epsilon"), "0.1");
    EXPECT_EQ(op.getPara("-eps"), nullptr);
    EXPECT_EQ(op.getPara("-EPSILON"), nullptr);
    EXPECT_EQ(op.getPara("epsilon"), nullptr);
    EXPECT_EQ(op.getPara("-epsilon2"), nullptr);
}

TEST(NumericOption, AbsentGivesDefault) {
    Args a{"-m", "IC"};
    OptionParser op(a.argc(), a.argv());
    EXPECT_EQ(realOption(op, "-epsilon", 0.1), 0.1);
    EXPECT_EQ(intOption(op, "-t", 1), 1);
    // A default outside the range is the caller's choice and is not checked.
    EXPECT_EQ(intOption(op, "-k", 0, 1, 10), 0);
}

TEST(NumericOption, ReadsValues) {
    Args a{"-epsilon", "0.25", "-delta", "1e-3", "-t", "-4", "-k", "+3", "-b", "+2.5"};
    OptionParser op(a.argc(), a.argv());
    ASSERT_TRUE(op.validCheck());
    EXPECT_EQ(realOption(op, "-epsilon", 0.1), 0.25);
    EXPECT_EQ(realOption(op, "-delta", 0.1), 1e-3);
    EXPECT_EQ(intOption(op, "-t", 1), -4);
    EXPECT_EQ(intOption(op, "-k", 1), 3);
    EXPECT_EQ(realOption(op, "-b", 1), 2.5);
    EXPECT_EQ(realOption(op, "-t", 1), -4.0);
}

// Text that is not wholly a number of the kind read, and numbers outside the
// range given or beyond the type, are refused; the bounds themselves are in.
TEST(NumericOption, RefusesValuesOutsideTheKindOrRange) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    struct Refused {
        const char* name;
        const char* value;
        bool integer;
        double lo = -kInf, hi = kInf;
    };
    const Refused table[] = {
        {"-k", "abc", true},         {"-k", "abc", false},    {"-t", "4x", true},
        {"-t", "4x", false},         {"-epsilon", "", false}, {"-epsilon", "", true},
        {"-delta", "0.1x", false},   {"-b", "nan", false},    {"-c", " 1", true},
        {"-t", "2.5", true},         {"-k", "1e3", true},     {"-t", "0", true, 1, 64},
        {"-epsilon", "1.5", false, 0.0, 1.0}, {"-k", "99999999999999999999", true}, {"-epsilon", "1e999", false},
    };
    for (const Refused& r : table) {
        Args a{r.name, r.value};
        OptionParser op(a.argc(), a.argv());
        ASSERT_TRUE(op.validCheck());
        if (r.integer && r.lo == -kInf)
            expectRefused([&] { intOption(op, r.name, 1); }, r.name);
        else if (r.integer)
            expectRefused([&] { intOption(op, r.name, 1, static_cast<long long>(r.lo), static_cast<long long>(r.hi)); },
                          r.name);
        else
            expectRefused([&] { realOption(op, r.name, 0.1, r.lo, r.hi); }, r.name);
    }
    Args a{"-k", "10", "-delta", "0"};
    OptionParser op(a.argc(), a.argv());
    EXPECT_EQ(intOption(op, "-k", 1, 1, 10), 10);
    EXPECT_EQ(realOption(op, "-delta", 0.1, 0.0, 1.0), 0.0);
}

// A program with two options, one with a default and one without.
constexpr OptionRow kTable[] = {{"-k", "K", "100", "budget in cost units"}, {"-o", "FILE", "", "output file"}};

TEST(OptionTable, UsageHasALinePerOptionWithItsDefault) {
    const std::string u = usageText("prog 1.2.3", "prog [OPTION VALUE]...", kTable);
    EXPECT_TRUE(u.starts_with("prog 1.2.3\nusage: prog [OPTION VALUE]...\n")) << u;
    EXPECT_NE(u.find("\n  -k K                  budget in cost units; default 100\n"), std::string::npos) << u;
    EXPECT_NE(u.find("\n  -o FILE               output file\n"), std::string::npos) << u;
    EXPECT_NE(u.find("\n  -h, --help            "), std::string::npos) << u;
    EXPECT_TRUE(u.ends_with(".\n")) << u;
}

TEST(OptionTable, HelpIsAskedWhereANameStands) {
    struct Case {
        Args args;
        bool help;
    };
    Case cases[] = {
        {Args{"-h"}, true},           {Args{"--help"}, true},    {Args{"-k", "5", "-h"}, true},
        {Args{"-k", "5", "--help", "x"}, true}, {Args{}, false}, {Args{"-o", "-h"}, false},
        {Args{"-help", "x"}, false},  {Args{"-H", "x"}, false},  {Args{"x", "-h"}, false},
    };
    for (Case& c : cases) EXPECT_EQ(helpAsked(c.args.argc(), c.args.argv()), c.help) << c.args.argc();
}

TEST(OptionTable, UnknownNamesInTheOrderGivenEachOnce) {
    Args a{"-K", "1", "-k", "2", "-x", "3", "-K", "4", "-o", "f"};
    EXPECT_EQ(unknownOptions(a.argc(), a.argv(), kTable), (std::vector<std::string>{"-K", "-x"}));
    Args none{"-o", "f", "-k", "1"};
    EXPECT_TRUE(unknownOptions(none.argc(), none.argv(), kTable).empty());
}
