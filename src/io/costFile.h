// The cost file: one cost per node, whitespace-separated, read strictly
// (std::runtime_error with a one-line message naming the file, the line and
// the value), and the costs of a run without one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lattis {

// The floor of every cost: values of at most 1e-9 are stored as this.
inline constexpr float kMinCost = static_cast<float>(1e-9);

class TextReader;

// Reads the costs from a reader: whitespace-separated numbers, the i-th (from
// 0) the cost of node i + 1; exactly n are taken and nothing after them is
// read. Returns n + 1 floats, the first n used. Throws std::runtime_error
// naming the reader's label, the line and the value's position when a token
// is not a finite number or fewer than n values are present.
std::vector<float> readCosts(TextReader& in, unsigned n);

// readCosts over text in memory, named `name` in messages.
std::vector<float> parseCosts(std::string_view text, unsigned n, const std::string& name);

// Reads the cost file `path` with readCosts; throws when it cannot be opened
// or read (a directory included).
std::vector<float> readCostFile(const std::string& path, unsigned n);

// Every node at kMinCost: the costs of a run without a cost file.
std::vector<float> defaultCosts(unsigned n);

}  // namespace lattis
