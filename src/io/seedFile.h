// The seed file ostrand reads: the node ids of a seed set, checked at the
// boundary so that everything after may take them as ids in 1..n.
#pragma once

#include <string>
#include <vector>

namespace lattis {

// The node ids of a seed file: decimal integers separated by any whitespace,
// in file order, duplicates kept. Throws std::runtime_error naming the file
// when it cannot be opened or read, and naming the token, its line and its
// ordinal when a token is not an integer or not a node id in 1..n.
std::vector<int> readSeedFile(const std::string& path, int n);

}  // namespace lattis
