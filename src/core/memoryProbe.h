// The memory probe of the selection program's report ("Memory: "): the
// process's total mapped memory, in megabytes, as pmap states it. Its text is
// read with strToInt (numberText.h), whose message it keeps.
#pragma once

#include <string>
#include <string_view>

namespace lattis {

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
