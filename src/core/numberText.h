// Conversions between integers and decimal text, in the lenient forms the
// memory probe's report has always used (memoryProbe.h). New code parses
// numbers strictly with parse.h instead.
#pragma once

#include <string>

#include "core/types.h"

namespace lattis {

// Decimal text of i.
std::string intToStr(int i);

// The unsigned number at the start of s (leading blanks skipped, reading stops
// at the first character that cannot continue it). Text without a leading
// number prints "String <s> is not a number." on standard output and gives
// the atoi conversion of s (0 for text without digits).
UI strToInt(std::string s);

}  // namespace lattis
