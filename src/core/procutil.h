// Small process utilities for the selection program's report.
#pragma once

#include <string>
#include <string_view>

#include "core/types.h"

namespace lattis {

// Decimal text of i.
std::string intToStr(int i);

// The unsigned number at the start of s (leading blanks skipped, reading stops
// at the first character that cannot continue it). Text without a leading
// number prints "String <s> is not a number." on standard output and gives
// the atoi conversion of s (0 for text without digits).
UI strToInt(std::string s);

// The process's total mapped memory in megabytes, asked of pmap through the
// shell; where that yields nothing, read from /proc/self/status (VmSize);
// 0 (with strToInt's message) when neither gives a figure.
float getCurrentMemoryUsage();

// getCurrentMemoryUsage in two steps: memoryTotalText runs the probe and
// gives the total as text (empty when nothing gave one) and prints nothing,
// so it may run on another thread while the caller works on;
// megabytesFromTotal then converts it on the thread that prints.
std::string memoryTotalText();

// The two steps of getCurrentMemoryUsage that read text, apart so that they
// can be tried on given text. megabytesFromTotal takes the total as pmap
// prints it, kilobytes and one unit letter ("123456K" gives 120.5625); the
// empty text gives 0 with strToInt's message. totalFromStatus finds the
// VmSize line of /proc/<pid>/status text and gives its figure in that same
// form, or the empty text when there is none.
float megabytesFromTotal(std::string total);
std::string totalFromStatus(std::string_view status);

}  // namespace lattis
