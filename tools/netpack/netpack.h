// netpack: turns public edge lists, Matrix Market files or a generated R-MAT
// network into the binary network file of the suite, plus the id map, the
// benefit, cost and reference pair-list files.
//
// The pipeline is a chain of plain functions over value types, so that tests
// and benchmarks can run any stage in-process:
//
//   readEdgeFile / generateRmat  ->  ArcList   (ids already 1..n)
//   buildNetwork                 ->  Network   (in-lists, self-loops dropped,
//                                               duplicates merged)
//   assignWeights, normalizeWeights
//   makeBenefit, makeCost,       ->  one value per node (NodeColumn)
//   readGivenValues, readTargets     (files by original id, checked against
//                                     the network's ids)
//   write* through OutputFile    ->  files renamed into place when complete
//
// pack() runs the whole chain for one PackConfig, as the program does.
// Every input fault throws std::runtime_error with a one-line message naming
// the file, the line and what was expected; option faults throw
// std::invalid_argument naming the option. Nothing here prints.
//
// Assumes a little-endian host (the network file is little-endian and is
// written straight from memory).
#pragma once

#include <bit>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "io/atomicFile.h"
#include "core/growArray.h"

namespace lattis {
class OptionParser;
}

namespace netpack {

// netpack is built on the library: its names are used here unqualified.
using namespace lattis;

static_assert(std::endian::native == std::endian::little, "the network file is written from memory");

// Largest original node id accepted in an edge list.
inline constexpr std::uint64_t kMaxOriginalId = std::uint64_t{1} << 63;

// splitmix64: small, fast and fixed, so that every output is reproducible for
// a given -seed on any platform and standard library.
struct SplitMix64 {
    std::uint64_t state;
    explicit SplitMix64(std::uint64_t seed) : state(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // As if next() had been called `draws` times: the state only advances by
    // a constant per draw, so a thread can start at its block of a stream.
    void skip(std::uint64_t draws) { state += draws * 0x9E3779B97F4A7C15ULL; }
    // Uniform in 0 .. bound - 1 (multiply-shift; bias below 2^-32 per draw).
    std::uint32_t below(std::uint32_t bound) { return static_cast<std::uint32_t>(((next() >> 32) * bound) >> 32); }
};

// The seed of an independent stream for one purpose (and one block) of a run,
// so that adding draws to one purpose never shifts another's.
enum class Stream : std::uint64_t { Trivalency = 1, Benefit = 2, Rmat = 3, Cost = 4 };
std::uint64_t streamSeed(std::uint64_t seed, Stream purpose, std::uint64_t index = 0);

// Arcs u -> v in input order, with ids already renumbered to 1..n.
struct ArcList {
    std::uint32_t n = 0;
    GrowArray<std::uint32_t> src, dst;
    GrowArray<float> prob;  // one per arc, only when read under -w file
    bool bothWays = false;  // each entry stands for u -> v and then v -> u
    // Original id of node i: origId[i - 1] (ascending), or i - 1 + firstId
    // when origId is empty (generated networks, Matrix Market files).
    std::vector<std::uint64_t> origId;
    std::uint64_t firstId = 0;
    std::uint64_t lines = 0;  // physical lines read (0 when generated)
    std::uint64_t bytes = 0;  // uncompressed input bytes (0 when generated)
    double readSeconds = 0;
};

struct ReadOptions {
    bool undirected = false;       // every line is an edge: add both arcs
    bool withProbability = false;  // -w file: the third column is the probability
    bool force = false;            // -force 1: a Matrix Market size line may have over 2 rows per entry
};

// Reads a text edge list or a Matrix Market coordinate file, plain or gzip
// (detected from the content, not the name).
ArcList readEdgeFile(const std::string& path, const ReadOptions& opt);

// Directed R-MAT network: 2^scale nodes (all kept, isolated ones included),
// edgefactor * 2^scale arcs drawn with (a, b, c, d) = (0.57, 0.19, 0.19, 0.05).
// Arcs are drawn in fixed blocks, each from its own stream, so the result
// depends on the seed only, not on the number of threads.
ArcList generateRmat(int scale, std::uint32_t edgefactor, std::uint64_t seed);

// The packed network: in-neighbours of v are adj[off[v] .. off[v + 1]), in
// input order, with prob parallel to adj.
struct Network {
    std::uint32_t n = 0;
    std::vector<std::uint32_t> off;  // n + 2 entries; off[0] = off[1] = 0
    std::vector<std::int32_t> adj;
    std::vector<float> prob;
    std::vector<std::uint64_t> origId;
    std::uint64_t firstId = 0;

    std::uint64_t arcs() const { return off.empty() ? 0 : off[n + 1]; }
    std::uint32_t inDegree(std::uint32_t v) const { return off[v + 1] - off[v]; }
    std::uint64_t originalId(std::uint32_t v) const { return origId.empty() ? v - 1 + firstId : origId[v - 1]; }
    // The node whose original id is `original`, or 0 when no node has it.
    std::uint32_t nodeOf(std::uint64_t original) const;
};

struct BuildCounts {
    std::uint64_t selfLoops = 0;   // input lines u u (one per line, undirected or not)
    std::uint64_t duplicates = 0;  // arcs merged into an earlier equal arc
};

// Builds the in-lists, dropping self-loops and keeping the first of equal
// arcs. Releases the ArcList's columns as they are used. Probabilities are
// carried over when the ArcList has them, else left zero for assignWeights.
// Throws when no arc is left (message names `source`).
Network buildNetwork(ArcList&& arcs, BuildCounts& counts, const std::string& source);

enum class WeightModel { WeightedCascade, Uniform, Trivalency, File };

// Sets prob for every model but File (whose values came with the arcs):
// WeightedCascade 1 / in-degree of v, Uniform p, Trivalency 0.1, 0.01 or
// 0.001 drawn per arc in network order.
void assignWeights(Network& net, WeightModel model, double p, std::uint64_t seed);

// In-probability sums up to 1 + kSumTolerance count as 1: single-precision
// weights such as three times 1/3 sum a few ulps above 1 by rounding alone.
inline constexpr double kSumTolerance = 1e-6;

// Scales the in-probabilities of each node whose sum exceeds 1 (beyond
// kSumTolerance) so that they sum to 1; returns the number of nodes scaled.
std::uint64_t normalizeWeights(Network& net);

// Where the benefits come from: every node 1; a random fraction of the
// nodes 1 and the rest 0; a file of "original-id benefit" lines; or a file of
// original ids, 1 for those and 0 for the rest.
struct BenefitModel {
    enum class Kind { Uniform, Fraction, File, Targets } kind = Kind::Uniform;
    double fraction = 1.0;  // Fraction
    std::string file;       // File, Targets
};
// One value per node (index 0 unused) for Uniform and Fraction:
// round(fraction * n) nodes drawn without replacement get 1.
std::vector<std::uint32_t> makeBenefit(std::uint32_t n, const BenefitModel& model, std::uint64_t seed);

// Where the costs come from: every node 1; the out-degree, at least 1;
// integers drawn uniformly from [lo, hi]; or a file of "original-id cost" lines.
struct CostModel {
    enum class Kind { Uniform, Degree, Random, File } kind = Kind::Uniform;
    std::uint32_t lo = 1, hi = 1;  // Random
    std::string file;              // File
};
// Largest cost drawn: marlet reads costs in single precision, which holds
// every integer up to 2^24 exactly.
inline constexpr std::uint32_t kMaxRandomCost = std::uint32_t{1} << 24;
// One value per node (index 0 unused) for Uniform, Degree and Random (from
// its own stream of seed, node by node).
std::vector<std::uint32_t> makeCost(const Network& net, const CostModel& model, std::uint64_t seed);

// Values of a file given by original id, kept as written, so that the output
// holds exactly the numbers of the file: node v's value is the text from
// text[at[v]] up to the next '\n'.
struct GivenValues {
    std::string text;
    std::vector<std::uint64_t> at;  // n + 1 entries, at[0] unused
};
// The rules of the value files marlet and ostrand read: a cost is a positive
// finite number within single precision (marlet's costs), a benefit any
// finite number (negative ones are allowed, their sum must be finite).
enum class ValueKind { Cost, Benefit };
// What a value of the kind must be, for messages: "a positive finite cost".
std::string expectedValue(ValueKind kind);
// The value of `text` when it is one of the kind.
std::optional<double> parseValue(ValueKind kind, std::string_view text);

// Reads a file of "original-id value" lines ('#' and '%' lines are comments,
// blank lines and Windows line ends accepted, plain or gzip) for the nodes
// of net, whose ids `source` names in messages ("e.txt", "-gen rmat"). An id
// that no node has, an id given twice, a malformed line or value is refused
// with the file and line; nodes the file leaves out get `missing` when given,
// else the file is refused with their count and first ids.
GivenValues readGivenValues(const std::string& path, ValueKind kind, const Network& net, const std::string& source,
                            const std::optional<std::string>& missing);
// Reads a file of original ids, one a line, under the same rules: 1 for the
// nodes listed (at least one), 0 for the rest (index 0 unused).
std::vector<std::uint32_t> readTargets(const std::string& path, const Network& net, const std::string& source);

// One value per node for a text output: small integers, or values as a file gave them.
using NodeColumn = std::variant<std::vector<std::uint32_t>, GivenValues>;

// A file written under a temporary name in the same directory (AtomicFile):
// finish() completes it, publish() renames it to its final name; destroyed
// before that, it removes the temporary. An existing target that is not a
// regular file is refused when the OutputFile is made.
class OutputFile {
public:
    explicit OutputFile(const std::string& finalPath);

    void write(const void* data, std::size_t size);
    // Buffered decimal text.
    void put(std::uint64_t value);
    void put(char c);
    void put(std::string_view text);
    void finish();
    void publish() { file.publish(); }
    const std::string& path() const { return file.path(); }
    std::uint64_t size() const { return written; }

private:
    void flushText();
    AtomicFile file;
    std::vector<char> text;
    std::uint64_t written = 0;
};

// The network file: n, m, in-degrees, in-neighbour lists, probabilities.
void writeNetwork(const Network& net, OutputFile& out);
// Line i: the original id of node i.
void writeMap(const Network& net, OutputFile& out);
// One value per line for nodes 1..n.
void writeColumn(const NodeColumn& column, OutputFile& out);
// Reference pair list: n + 1, the arc count, then "u v" for every arc u -> v.
void writePairs(const Network& net, OutputFile& out);

struct PackConfig {
    std::string input;      // edge list or Matrix Market file; empty when generating
    bool generate = false;  // -gen rmat
    int scale = 16;
    std::uint32_t edgefactor = 16;
    bool undirected = false;
    bool force = false;  // -force 1 (ReadOptions::force)
    WeightModel weights = WeightModel::WeightedCascade;
    double p = 0.01;
    bool normalize = false;
    std::uint64_t seed = 1;
    std::string networkOut = "network.bin";
    std::string mapOut;                         // empty: networkOut + ".map"
    std::string benefitOut, costOut, pairsOut;  // empty: not written
    BenefitModel benefit;
    CostModel cost;
    std::optional<std::string> missing;  // -missing: the value of nodes a cost or benefit file leaves out
};

struct PackReport {
    std::uint32_t n = 0;
    std::uint64_t arcs = 0;
    std::uint64_t entries = 0;  // arcs (or edges) read or drawn, before dropping
    std::uint64_t lines = 0, bytes = 0;
    double readSeconds = 0;
    BuildCounts counts;
    std::uint64_t normalized = 0;
    std::uint64_t networkBytes = 0;
    std::vector<std::string> written;  // final names, in the order committed
};

// Runs the whole chain. Every file name is checked before anything is read:
// an output that is an input or another output (by identity, however it is
// spelt or linked) is refused with std::invalid_argument, and a directory or
// special file as output with std::runtime_error. The outputs are renamed
// into place only after all of them were written completely.
PackReport pack(const PackConfig& cfg);

// Original ids of the seeds in seedFile (whitespace-separated node ids),
// through the map file written with the network.
std::vector<std::uint64_t> unmapSeeds(const std::string& seedFile, const std::string& mapFile);

// Summary of an existing network file, loaded through the library's loader
// (with benefitFile when given, else with a benefit of 1 for every node).
struct NetworkInfo {
    std::uint32_t n = 0;
    std::uint64_t headerArcs = 0;  // the edge count stated in the file
    std::uint64_t arcs = 0;        // the sum of the in-degrees
    std::uint32_t minIn = 0, maxIn = 0;
    double meanIn = 0;
    float minP = 0, maxP = 0;       // over all arcs (0 when there are none)
    std::uint64_t sumAboveOne = 0;  // nodes whose in-probabilities sum above 1 + kSumTolerance
    double largestSum = 0;          // the largest of those sums (0 when there is none)
    std::uint64_t outOfRange = 0;   // probabilities above 1 (the loader refuses negative and NaN ones)
    bool hasBenefit = false;
    double totalBenefit = 0;
    std::uint64_t positiveBenefit = 0;  // nodes with a benefit above 0
};
NetworkInfo inspectNetwork(const std::string& path, const std::string& benefitFile = "");
std::string formatInfo(const std::string& path, const NetworkInfo& info);
// Why the file is unfit for the tools, or the empty text when it is fit.
std::string infoFault(const std::string& path, const NetworkInfo& info);
// The note on nodes whose in-probabilities sum above 1 (how many, the
// largest sum), or "" when there is none.
std::string infoNote(const NetworkInfo& info);

// The command line of the program, checked against the options each mode takes.
struct Command {
    enum class Mode { Pack, Unmap, Info } mode = Mode::Pack;
    PackConfig pack;
    std::string seedFile, mapFile, infoFile, infoBenefit;
    int threads = 1;  // -t: the team of pack and -info
};
// A structural fault of the command line (unparsable, unknown or misplaced
// option, no or two modes) leaves `command` empty and says why in `problem`;
// a value that is not acceptable throws std::invalid_argument naming the option.
struct ParsedCommand {
    std::optional<Command> command;
    std::string problem;
};
ParsedCommand parseCommandLine(int argc, char** argv);
extern const char* const kUsage;

}  // namespace netpack
