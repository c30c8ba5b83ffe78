// The reference pair list "db_Enron.txt": A, B, then B pairs "x y" of
// integers; entry x of an A-entry table counts the pairs whose first member
// is x, and marlet's last report line sums the entries of the chosen seeds.
//
// The list is parsed as a stream at disk speed. The table never takes more
// room than the ids present need: entries up to the largest first member seen
// (A itself is only checked against), and first members far beyond the pairs
// read so far are kept in a sorted side list instead, so that neither a huge
// A nor one huge id in a tiny file asks for gigabytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lattis {

class TextReader;

class PairList {
public:
    // A, as the list states it (0 for an empty table or a missing list).
    int tableSize() const { return stated; }
    // B, the number of pairs.
    int pairs() const { return pairCount; }
    // Entry id of the table: the pairs whose first member is id; 0 for ids
    // outside the table.
    int count(int id) const;

private:
    friend PairList readPairList(TextReader& in);
    int stated = 0;
    int pairCount = 0;
    std::vector<int> dense;             // entries 0 .. dense.size() - 1
    std::vector<int> sparse;            // sorted first members at or past dense.size()
};

// Parses the list from the reader; throws std::runtime_error naming the
// reader's label and the line when an item is not an integer, A or B is
// negative, fewer than B pairs follow, or a first member lies outside
// 0..A - 1. Anything after the B-th pair is not read.
PairList readPairList(TextReader& in);
PairList parsePairList(std::string_view text, const std::string& name);

// Sum of the table's entries of the seeds; ids outside the table count 0.
int pairCountOf(const PairList& table, const std::vector<int>& seeds);

}  // namespace lattis
