// The command line of netpack: which options each mode takes, and the strict
// reading of their values.
//
// The program has three modes, chosen by exactly one of -i/-gen (pack),
// -unmap and -info. An option that the chosen mode does not use is a fault of
// the command line rather than something to ignore, since it is almost
// always a typing slip (-edgefactor without -gen, -p without -w uniform).
#include <algorithm>
#include <array>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "io/cliArgs.h"
#include "netpack/netpack.h"
#include "io/option.h"
#include "core/parse.h"
#include "version.h"

namespace netpack {

const char* const kUsage =
    "netpack " LATTIS_VERSION "\n"
    "usage: netpack -i EDGEFILE | -gen rmat  [options]      pack a network\n"
    "       netpack -unmap SEEDFILE [-map MAPFILE]          print seeds as original ids\n"
    "       netpack -info NETWORKFILE [-b BENEFITFILE]      check a network file\n"
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
    "outputs:\n"
    "  -o FILE            network file (default network.bin)\n"
    "  -map FILE          id map, line i = original id of node i (default: network file + .map)\n"
    "  -bo FILE           benefit file, with -benefit uniform | target:F (default uniform)\n"
    "  -co FILE           cost file, with -cost uniform | degree (default uniform)\n"
    "  -po FILE           reference pair list: n + 1, arc count, one \"u v\" per arc\n";

namespace {

enum Modes : unsigned { kPack = 1, kFromFile = 2, kGenerate = 4, kUnmap = 8, kInfo = 16 };

struct OptionUse {
    std::string_view name;
    unsigned modes;  // the modes that accept it; kFromFile / kGenerate narrow kPack
};

constexpr std::array<OptionUse, 20> kOptions{{
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
    {"-o", kPack | kUnmap},
    {"-map", kPack | kUnmap},
    {"-bo", kPack},
    {"-benefit", kPack},
    {"-co", kPack},
    {"-cost", kPack},
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

BenefitModel benefitModel(const std::string& s) {
    if (s == "uniform") return {};
    constexpr std::string_view kTarget = "target:";
    if (s.starts_with(kTarget)) {
        auto f = parseReal(std::string_view(s).substr(kTarget.size()));
        if (f && *f >= 0.0 && *f <= 1.0) return {true, *f};
    }
    throw std::invalid_argument("option -benefit: expected uniform or target:F with F from 0 to 1, got \"" + s + "\"");
}

CostModel costModel(const std::string& s) {
    if (s == "uniform") return CostModel::Uniform;
    if (s == "degree") return CostModel::Degree;
    throw std::invalid_argument("option -cost: expected uniform or degree, got \"" + s + "\"");
}

}  // namespace

ParsedCommand parseCommandLine(int argc, char** argv) {
    ParsedCommand r;
    OptionParser op(argc, argv);
    if (!op.validCheck()) {
        r.problem = "expected pairs of an option name (starting with '-') and its value";
        return r;
    }
    constexpr std::pair<const char*, unsigned> kModes[] = {
        {"-i", kPack | kFromFile}, {"-gen", kPack | kGenerate}, {"-unmap", kUnmap}, {"-info", kInfo}};
    unsigned mode = 0;
    const char* modeName = "";
    int modeCount = 0;
    for (auto [name, bits] : kModes)
        if (op.getPara(name) != nullptr) {
            ++modeCount;
            mode = bits;
            modeName = name;
        }
    if (modeCount != 1) {
        r.problem = "expected exactly one of -i, -gen, -unmap and -info";
        return r;
    }
    for (int i = 1; i < argc; i += 2) {
        std::string_view name = argv[i];
        auto it = std::find_if(kOptions.begin(), kOptions.end(), [&](const OptionUse& o) { return o.name == name; });
        if (it == kOptions.end()) {
            r.problem = "unknown option " + std::string(name);
            return r;
        }
        unsigned narrowing = it->modes & (kFromFile | kGenerate);
        bool fits = (it->modes & mode & (kPack | kUnmap | kInfo)) != 0 || (narrowing & mode) != 0;
        if (!fits) {
            r.problem = "option " + std::string(name) + " does not apply to " + modeName;
            return r;
        }
    }

    Command c;
    if (mode == kUnmap) {
        c.mode = Command::Mode::Unmap;
        c.seedFile = text(op, "-unmap");
        c.mapFile = op.getPara("-map") ? text(op, "-map") : text(op, "-o", "network.bin") + ".map";
        r.command = std::move(c);
        return r;
    }
    if (mode == kInfo) {
        c.mode = Command::Mode::Info;
        c.infoFile = text(op, "-info");
        c.infoBenefit = text(op, "-b");
        r.command = std::move(c);
        return r;
    }

    PackConfig& p = c.pack;
    p.weights = weightModel(text(op, "-w", "wc"));
    if (op.getPara("-p") != nullptr && p.weights != WeightModel::Uniform) {
        r.problem = "option -p applies only to -w uniform";
        return r;
    }
    if (op.getPara("-benefit") != nullptr && op.getPara("-bo") == nullptr) {
        r.problem = "option -benefit needs a benefit file (-bo)";
        return r;
    }
    if (op.getPara("-cost") != nullptr && op.getPara("-co") == nullptr) {
        r.problem = "option -cost needs a cost file (-co)";
        return r;
    }
    if (mode & kGenerate) {
        std::string gen = text(op, "-gen");
        if (gen != "rmat") throw std::invalid_argument("option -gen: expected rmat, got \"" + gen + "\"");
        p.generate = true;
        p.scale = static_cast<int>(intOption(op, "-scale", p.scale, 1, 30));
        p.edgefactor = static_cast<std::uint32_t>(intOption(op, "-edgefactor", p.edgefactor, 1, UINT32_MAX));
    } else {
        p.input = text(op, "-i");
        if (p.input.empty()) throw std::invalid_argument("option -i: expected a file name");
        p.undirected = intOption(op, "-undirected", 0, 0, 1) == 1;
        p.force = intOption(op, "-force", 0, 0, 1) == 1;
    }
    p.p = realOption(op, "-p", p.p, 0.0, 1.0);
    p.normalize = intOption(op, "-normalize", 0, 0, 1) == 1;
    p.seed = static_cast<std::uint64_t>(intOption(op, "-seed", 1, 0));
    p.networkOut = text(op, "-o", "network.bin");
    p.mapOut = text(op, "-map");
    p.benefitOut = text(op, "-bo");
    p.costOut = text(op, "-co");
    p.pairsOut = text(op, "-po");
    p.benefit = benefitModel(text(op, "-benefit", "uniform"));
    p.cost = costModel(text(op, "-cost", "uniform"));
    r.command = std::move(c);
    return r;
}

}  // namespace netpack
