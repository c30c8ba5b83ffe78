// The command line of netpack: which options each mode takes, and the strict
// reading of their values.
//
// The program has three modes, chosen by exactly one of -i/-gen (pack),
// -unmap and -info. An option that the chosen mode does not use is a fault of
// the command line rather than something to ignore, since it is almost
// always a typing slip (-edgefactor without -gen, -p without -w uniform).
#include <omp.h>

#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "io/cliArgs.h"
#include "netpack/netpack.h"
#include "io/option.h"
#include "core/parse.h"
#include "version.h"

namespace netpack {

const char* const kUsage =
    "netpack " LATTIS_VERSION "\n"
    "usage: netpack -i EDGEFILE | -gen rmat  [options]             pack a network\n"
    "       netpack -unmap SEEDFILE [-map MAPFILE]                 print seeds as original ids\n"
    "       netpack -info NETWORKFILE [-b BENEFITFILE] [-t T]      check a network file\n"
    "input:\n"
    "  -i FILE            edge list (\"u v\" or \"u v p\" per line, '#'/'%' comments) or\n"
    "                     Matrix Market coordinate file; gzip-compressed or plain\n"
    "  -undirected 0|1    1: every line is an edge, both arcs are added (default 0)\n"
    "  -force 0|1         1: accept a Matrix Market size line with over 2 rows per entry\n"
    "                     (nodes no entry reaches are kept without arcs; default 0)\n"
    "  -gen rmat          generate an R-MAT network (a, b, c) = (0.57, 0.19, 0.19)\n"
    "  -scale S           2^S nodes (1..30, default 16)\n"
    "  -edgefactor E      E * 2^S arcs drawn (default 16)\n"
    "weights:\n"
    "  -w wc|uniform|tv|file   edge probabilities (default wc = 1 / in-degree)\n"
    "  -p P               probability for -w uniform, in [0, 1] (default 0.01)\n"
    "  -normalize 0|1     1: scale in-probabilities summing above 1 to sum 1 (default 0)\n"
    "  -seed N            seed of every random choice (default 1)\n"
    "  -t T               threads, 1..1024 (default all cores); the files do not depend on T\n"
    "outputs:\n"
    "  -o FILE            network file (default network.bin)\n"
    "  -map FILE          id map, line i = original id of node i (default: network file + .map)\n"
    "  -bo FILE           benefit file, with -benefit MODEL:\n"
    "                       uniform       every node 1 (default)\n"
    "                       target:F      round(F * n) random nodes 1, the rest 0\n"
    "                       file:PATH     lines \"original-id benefit\"\n"
    "                       targets:PATH  one original id a line: those 1, the rest 0\n"
    "  -co FILE           cost file, with -cost MODEL:\n"
    "                       uniform       every node 1 (default)\n"
    "                       degree        the out-degree, at least 1\n"
    "                       random:LO:HI  integers drawn uniformly from LO..HI (1..16777216)\n"
    "                       file:PATH     lines \"original-id cost\" (positive numbers)\n"
    "  -missing V         value of the nodes a -cost file: or -benefit file: leaves out\n"
    "                     (default: such a file is refused)\n"
    "  -po FILE           reference pair list: n + 1, arc count, one \"u v\" per arc\n";

namespace {

enum Modes : unsigned { kPack = 1, kFromFile = 2, kGenerate = 4, kUnmap = 8, kInfo = 16 };

struct OptionUse {
    std::string_view name;
    unsigned modes;  // the modes that accept it; kFromFile / kGenerate narrow kPack
};

constexpr std::array<OptionUse, 22> kOptions{{
    {"-i", kFromFile},
    {"-gen", kGenerate},
    {"-unmap", kUnmap},
    {"-info", kInfo},
    {"-undirected", kFromFile},
    {"-force", kFromFile},
    {"-scale", kGenerate},
    {"-edgefactor", kGenerate},
    {"-w", kPack},
    {"-p", kPack},
    {"-normalize", kPack},
    {"-seed", kPack},
    {"-t", kPack | kInfo},
    {"-o", kPack | kUnmap},
    {"-map", kPack | kUnmap},
    {"-bo", kPack},
    {"-benefit", kPack},
    {"-co", kPack},
    {"-cost", kPack},
    {"-missing", kPack},
    {"-po", kPack},
    {"-b", kInfo},
}};

std::string text(const OptionParser& op, const char* name, const char* def = "") {
    const char* v = op.getPara(name);
    return v == nullptr ? std::string(def) : std::string(v);
}

WeightModel weightModel(const std::string& s) {
    if (s == "wc") return WeightModel::WeightedCascade;
    if (s == "uniform") return WeightModel::Uniform;
    if (s == "tv") return WeightModel::Trivalency;
    if (s == "file") return WeightModel::File;
    throw std::invalid_argument("option -w: expected wc, uniform, tv or file, got \"" + s + "\"");
}

// The PATH of "file:PATH" (after `prefix`), which must not be empty.
std::string pathAfter(const std::string& s, std::string_view prefix, const char* option) {
    std::string path = s.substr(prefix.size());
    if (path.empty())
        throw std::invalid_argument(std::string("option ") + option + ": expected a file name after \"" +
                                    std::string(prefix) + "\"");
    return path;
}

BenefitModel benefitModel(const std::string& s) {
    using Kind = BenefitModel::Kind;
    if (s == "uniform") return {};
    constexpr std::string_view kFile = "file:", kTargets = "targets:", kTarget = "target:";
    if (s.starts_with(kFile)) return {Kind::File, 1.0, pathAfter(s, kFile, "-benefit")};
    if (s.starts_with(kTargets)) return {Kind::Targets, 1.0, pathAfter(s, kTargets, "-benefit")};
    if (s.starts_with(kTarget)) {
        auto f = parseReal(std::string_view(s).substr(kTarget.size()));
        if (f && *f >= 0.0 && *f <= 1.0) return {Kind::Fraction, *f, ""};
    }
    throw std::invalid_argument(
        "option -benefit: expected uniform, target:F with F from 0 to 1, file:PATH or targets:PATH, got \"" + s + "\"");
}

// "random:LO:HI" with integers 1 <= LO <= HI <= kMaxRandomCost.
std::optional<CostModel> randomCost(std::string_view s) {
    constexpr std::string_view kRandom = "random:";
    if (!s.starts_with(kRandom)) return std::nullopt;
    s.remove_prefix(kRandom.size());
    const std::size_t colon = s.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    auto lo = parseInteger<std::uint32_t>(s.substr(0, colon)), hi = parseInteger<std::uint32_t>(s.substr(colon + 1));
    if (!lo || !hi || *lo < 1 || *lo > *hi || *hi > kMaxRandomCost) return std::nullopt;
    return CostModel{CostModel::Kind::Random, *lo, *hi, ""};
}

CostModel costModel(const std::string& s) {
    if (s == "uniform") return {};
    if (s == "degree") return {CostModel::Kind::Degree, 1, 1, ""};
    constexpr std::string_view kFile = "file:";
    if (s.starts_with(kFile)) return {CostModel::Kind::File, 1, 1, pathAfter(s, kFile, "-cost")};
    if (auto random = randomCost(s)) return *random;
    throw std::invalid_argument("option -cost: expected uniform, degree, random:LO:HI with integers 1 <= LO <= HI <= "
                                "16777216, or file:PATH, got \"" + s + "\"");
}

// A structural fault of the command line: it ends the parse with `problem`.
struct CommandFault {
    std::string problem;
};

struct Mode {
    unsigned bits;
    const char* name;
};

Mode chooseMode(const OptionParser& op) {
    constexpr Mode kModes[] = {
        {kPack | kFromFile, "-i"}, {kPack | kGenerate, "-gen"}, {kUnmap, "-unmap"}, {kInfo, "-info"}};
    Mode mode{0, ""};
    int count = 0;
    for (Mode m : kModes)
        if (op.getPara(m.name) != nullptr) {
            ++count;
            mode = m;
        }
    if (count != 1) throw CommandFault{"expected exactly one of -i, -gen, -unmap and -info"};
    return mode;
}

void checkOptionsApply(int argc, char** argv, Mode mode) {
    for (int i = 1; i < argc; i += 2) {
        std::string_view name = argv[i];
        auto it = std::find_if(kOptions.begin(), kOptions.end(), [&](const OptionUse& o) { return o.name == name; });
        if (it == kOptions.end()) throw CommandFault{"unknown option " + std::string(name)};
        unsigned narrowing = it->modes & (kFromFile | kGenerate);
        bool fits = (it->modes & mode.bits & (kPack | kUnmap | kInfo)) != 0 || (narrowing & mode.bits) != 0;
        if (!fits) throw CommandFault{"option " + std::string(name) + " does not apply to " + mode.name};
    }
}

Command unmapCommand(const OptionParser& op) {
    Command c;
    c.mode = Command::Mode::Unmap;
    c.seedFile = text(op, "-unmap");
    c.mapFile = op.getPara("-map") ? text(op, "-map") : text(op, "-o", "network.bin") + ".map";
    return c;
}

// Without -t, the team OpenMP would start (every core, or OMP_NUM_THREADS),
// as the R-MAT generator always had.
int defaultThreads() { return std::clamp(omp_get_max_threads(), 1, 1024); }

Command infoCommand(const OptionParser& op) {
    Command c;
    c.mode = Command::Mode::Info;
    c.infoFile = text(op, "-info");
    c.infoBenefit = text(op, "-b");
    c.threads = threadOption(op, "-t", defaultThreads());
    return c;
}

// Options that only make sense beside another.
void checkPackPairs(const OptionParser& op, WeightModel weights) {
    if (op.getPara("-p") != nullptr && weights != WeightModel::Uniform)
        throw CommandFault{"option -p applies only to -w uniform"};
    if (op.getPara("-benefit") != nullptr && op.getPara("-bo") == nullptr)
        throw CommandFault{"option -benefit needs a benefit file (-bo)"};
    if (op.getPara("-cost") != nullptr && op.getPara("-co") == nullptr)
        throw CommandFault{"option -cost needs a cost file (-co)"};
}

// -missing fills in for a file by original id, so it needs one.
void checkMissingApplies(const OptionParser& op, const PackConfig& p) {
    if (op.getPara("-missing") != nullptr && p.cost.kind != CostModel::Kind::File &&
        p.benefit.kind != BenefitModel::Kind::File)
        throw CommandFault{"option -missing applies only to -cost file: and -benefit file:"};
}

// The edge list, or the generator with its sizes.
void readSource(const OptionParser& op, unsigned mode, PackConfig& p) {
    if (mode & kGenerate) {
        std::string gen = text(op, "-gen");
        if (gen != "rmat") throw std::invalid_argument("option -gen: expected rmat, got \"" + gen + "\"");
        p.generate = true;
        p.scale = static_cast<int>(intOption(op, "-scale", p.scale, 1, 30));
        p.edgefactor = static_cast<std::uint32_t>(intOption(op, "-edgefactor", p.edgefactor, 1, UINT32_MAX));
        return;
    }
    p.input = text(op, "-i");
    if (p.input.empty()) throw std::invalid_argument("option -i: expected a file name");
    p.undirected = intOption(op, "-undirected", 0, 0, 1) == 1;
    p.force = intOption(op, "-force", 0, 0, 1) == 1;
}

Command packCommand(const OptionParser& op, unsigned mode) {
    Command c;
    PackConfig& p = c.pack;
    p.weights = weightModel(text(op, "-w", "wc"));
    checkPackPairs(op, p.weights);
    readSource(op, mode, p);
    p.p = realOption(op, "-p", p.p, 0.0, 1.0);
    p.normalize = intOption(op, "-normalize", 0, 0, 1) == 1;
    p.seed = static_cast<std::uint64_t>(intOption(op, "-seed", 1, 0));
    c.threads = threadOption(op, "-t", defaultThreads());
    p.networkOut = text(op, "-o", "network.bin");
    p.mapOut = text(op, "-map");
    p.benefitOut = text(op, "-bo");
    p.costOut = text(op, "-co");
    p.pairsOut = text(op, "-po");
    p.benefit = benefitModel(text(op, "-benefit", "uniform"));
    p.cost = costModel(text(op, "-cost", "uniform"));
    checkMissingApplies(op, p);
    if (op.getPara("-missing") != nullptr) p.missing = text(op, "-missing");
    return c;
}

}  // namespace

ParsedCommand parseCommandLine(int argc, char** argv) {
    ParsedCommand r;
    OptionParser op(argc, argv);
    try {
        if (!op.validCheck()) throw CommandFault{"expected pairs of an option name (starting with '-') and its value"};
        const Mode mode = chooseMode(op);
        checkOptionsApply(argc, argv, mode);
        r.command = mode.bits == kUnmap  ? unmapCommand(op)
                    : mode.bits == kInfo ? infoCommand(op)
                                         : packCommand(op, mode.bits);
    } catch (const CommandFault& fault) {
        r.problem = fault.problem;
    }
    return r;
}

}  // namespace netpack
