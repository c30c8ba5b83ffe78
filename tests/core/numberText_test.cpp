// The report's integer/text conversions: text forms and the fallback message
// of strToInt on standard output.
#include <gtest/gtest.h>

#include "core/numberText.h"
#include "support/coutCapture.h"

using namespace lattis;
using testnet::CoutCapture;

namespace {

TEST(NumberText, IntToStr) {
    EXPECT_EQ(intToStr(0), "0");
    EXPECT_EQ(intToStr(-12), "-12");
    EXPECT_EQ(intToStr(2147483647), "2147483647");
}

TEST(NumberText, StrToIntReadsALeadingNumberSilently) {
    CoutCapture out;
    EXPECT_EQ(strToInt("42"), 42u);
    EXPECT_EQ(strToInt("42K"), 42u);
    EXPECT_EQ(strToInt("  7 8"), 7u);
    EXPECT_EQ(strToInt("4294967295"), 4294967295u);
    EXPECT_EQ(out.text(), "");
}

TEST(NumberText, StrToIntWithoutANumberPrintsAndFallsBack) {
    {
        CoutCapture out;
        EXPECT_EQ(strToInt(""), 0u);
        EXPECT_EQ(out.text(), "String  is not a number.\n");
    }
    {
        CoutCapture out;
        EXPECT_EQ(strToInt("memory"), 0u);
        EXPECT_EQ(out.text(), "String memory is not a number.\n");
    }
}

}  // namespace
