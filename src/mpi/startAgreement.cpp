// The agreement every process of a marlet-mpi run reaches before loading
// anything: the same options, and the same bytes in every input file the
// processes all read (network, benefit, cost and map files). Ranks started
// with different command lines, or in folders whose files differ, would
// otherwise sample different graphs and exchange messages of different
// lengths (a crash inside MPI) or, worse, end with status 0 and seeds no
// single input gives. See rankTeam.h.
//
// What crosses the network: rank 0's command line (a length and the bytes),
// a digest of each of its input files (readable, size, hash), then one
// agreement of two ints per process and, on a difference, one message.
#include <mpi.h>

#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/fileDigest.h"
#include "mpi/rankTeam.h"

namespace lattis {

namespace {

// The input files every process reads, by option.
struct InputOption {
    const char* option;
    const char* what;
};
constexpr InputOption kInputs[] = {
    {"-i", "network file"}, {"-b", "benefit file"}, {"-c", "cost file"}, {"-map", "map file"}};

// The first value of each option of a command line of name-value pairs (the
// first occurrence is the one a run uses), in order of first appearance; none
// when the tokens are not pairs.
std::optional<std::vector<std::pair<std::string, std::string>>> firstValues(const std::vector<std::string>& tokens) {
    if (tokens.size() % 2 != 0) return std::nullopt;
    std::vector<std::pair<std::string, std::string>> values;
    std::map<std::string, bool> seen;
    for (std::size_t i = 0; i < tokens.size(); i += 2)
        if (!seen[tokens[i]]) {
            seen[tokens[i]] = true;
            values.emplace_back(tokens[i], tokens[i + 1]);
        }
    return values;
}

const std::string* valueOf(const std::vector<std::pair<std::string, std::string>>& values, const std::string& name) {
    for (const auto& [n, v] : values)
        if (n == name) return &v;
    return nullptr;
}

std::string shown(const std::string* value) { return value != nullptr ? "\"" + *value + "\"" : "absent"; }

// What differs between rank 0's command line and this rank's, or nothing
// when both run the same options.
std::optional<std::string> optionDifference(const std::vector<std::string>& first, const std::vector<std::string>& mine,
                                            int me) {
    if (first == mine) return std::nullopt;
    const std::string ranks = "rank 0 and rank " + std::to_string(me);
    const auto a = firstValues(first), b = firstValues(mine);
    if (!a || !b) return ranks + " were started with different command lines";
    for (const auto* side : {&*a, &*b})
        for (const auto& entry : *side) {
            const std::string* x = valueOf(*a, entry.first);
            const std::string* y = valueOf(*b, entry.first);
            if (x == nullptr || y == nullptr || *x != *y)
                return ranks + " were started with different options: " + entry.first + " is " + shown(x) +
                       " on rank 0 but " + shown(y) + " on rank " + std::to_string(me);
        }
    return std::nullopt;  // the same options in another order
}

std::string digestText(const FileDigest& d) {
    if (!d.readable) return "unreadable";
    char text[64];
    std::snprintf(text, sizeof text, "%llu bytes, hash %016llx", static_cast<unsigned long long>(d.size),
                  static_cast<unsigned long long>(d.hash));
    return text;
}

}  // namespace

int RankTeam::agreeOnStart(int argc, char** argv) {
    // Rank 0's tokens, joined with NULs.
    std::vector<std::string> mine(argv + 1, argv + argc);
    std::string joined;
    for (const std::string& t : mine) joined += t + '\0';
    long long length = static_cast<long long>(joined.size());
    MPI_Bcast(&length, 1, MPI_LONG_LONG, 0, comm);
    joined.resize(static_cast<std::size_t>(length));
    MPI_Bcast(joined.data(), static_cast<int>(length), MPI_CHAR, 0, comm);
    std::vector<std::string> first;
    for (std::size_t at = 0; at < joined.size();) {
        const std::size_t end = joined.find('\0', at);
        first.push_back(joined.substr(at, end - at));
        at = end + 1;
    }
    std::optional<std::string> difference = optionDifference(first, mine, me);

    // Each input file, digested by every process under rank 0's name for it
    // (the names agree unless the options already differ).
    const auto values = firstValues(first);
    for (const InputOption& input : kInputs) {
        const std::string* name = values ? valueOf(*values, input.option) : nullptr;
        if (name == nullptr) continue;
        const FileDigest d = fileDigest(*name);
        unsigned long long local[3] = {d.readable ? 1ull : 0ull, d.size, d.hash};
        unsigned long long root[3] = {local[0], local[1], local[2]};
        MPI_Bcast(root, 3, MPI_UNSIGNED_LONG_LONG, 0, comm);
        const FileDigest atRoot{root[0] == 1, root[1], root[2]};
        if (!difference && !(atRoot == d))
            difference = "rank 0 and rank " + std::to_string(me) + " read different " + input.what + "s " +
                         shown(name) + " (" + input.option + "): " + digestText(atRoot) + " on rank 0 but " +
                         digestText(d) + " on rank " + std::to_string(me);
    }

    // The lowest rank that differs tells rank 0, which prints it.
    int local = difference ? me : size, from = size;
    MPI_Allreduce(&local, &from, 1, MPI_INT, MPI_MIN, comm);
    if (from == size) return 0;
    std::string text = me == from ? *difference : std::string();
    int chars = static_cast<int>(text.size());
    MPI_Bcast(&chars, 1, MPI_INT, from, comm);
    text.resize(static_cast<std::size_t>(chars));
    MPI_Bcast(text.data(), chars, MPI_CHAR, from, comm);
    faultAgreed = true;
    if (me == 0) std::cerr << "marlet-mpi: " << text << '\n';
    return 1;
}

}  // namespace lattis
