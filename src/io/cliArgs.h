// Strict reading of numeric options for the programs' entries.
//
// Each function returns the option's default when the option is absent and
// throws std::invalid_argument with a one-line message naming the option when
// its value is not a number in full or lies outside [lo, hi]. The entries
// catch it, print "<program>: <message>" on standard error and exit non-zero.
#pragma once

#include <limits>

#include "io/fileMapping.h"

namespace lattis {

class OptionParser;

double realOption(const OptionParser& op, const char* name, double def,
                  double lo = -std::numeric_limits<double>::infinity(),
                  double hi = std::numeric_limits<double>::infinity());

long long intOption(const OptionParser& op, const char* name, long long def,
                    long long lo = std::numeric_limits<long long>::min(),
                    long long hi = std::numeric_limits<long long>::max());

// An option whose value is one of two words: 0 for `first` (also when the
// option is absent), 1 for `second`; anything else throws like the others.
int keywordOption(const OptionParser& op, const char* name, const char* first, const char* second);

// The reverse samplers of option -sampler: "classic" (the default), the
// per-edge draws the programs have always made, or "fast", the same
// distribution with draws only for what fires. Throws like the others.
enum class SamplerKind { Classic, Fast };
SamplerKind samplerOption(const OptionParser& op);
// -load: copy (the default) or map.
NetworkLoad loadOption(const OptionParser& op);

// Most threads a program starts. Far beyond the processors the thread runtime
// fails (thread creation, stacks) or crashes, and no result depends on the
// thread count, so larger counts are refused.
inline constexpr long long kMaxThreads = 1024;

// The option `name` as a thread count in 1..kMaxThreads (def when absent).
int threadOption(const OptionParser& op, const char* name, int def);

}  // namespace lattis
