// The id map that netpack writes beside a network file: line i holds the
// original id (in the edge list) of node i. The programs use it to show seeds
// as original ids.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lattis {

// The n original ids of the map file `path`, node 1 first. Throws
// std::runtime_error naming the file and the line when the file cannot be
// read, a line is not one unsigned integer, or it holds other than n lines
// (a map of another network).
std::vector<std::uint64_t> readIdMap(const std::string& path, int n);

// The original id of each seed (ids 1..n, as the map's size).
std::vector<std::uint64_t> originalIds(const std::vector<std::uint64_t>& map, const std::vector<int>& seeds);

}  // namespace lattis
