// One packing run: read or generate the arcs, build the network, draw the
// weights, benefits and costs, and write every requested file.
//
// Every file name is checked and all outputs are opened (under temporary
// names) before the input is read, so that an unwritable destination fails
// at once; the outputs are renamed into place only after every one of them
// has been written completely.
#include <initializer_list>
#include <memory>
#include <stdexcept>

#include "io/fileIdentity.h"
#include "netpack/netpack.h"

namespace netpack {

namespace {

void checkConfig(const PackConfig& cfg) {
    if (cfg.generate == !cfg.input.empty())
        throw std::invalid_argument("expected exactly one of an input file (-i) and a generator (-gen)");
    if (cfg.generate && cfg.weights == WeightModel::File)
        throw std::invalid_argument(
            "option -w: \"file\" takes the probabilities from an input file (-i), not from -gen");
    if (!cfg.missing) return;
    const auto check = [&](ValueKind kind, const char* user) {
        if (!parseValue(kind, *cfg.missing))
            throw std::invalid_argument("option -missing: expected " + expectedValue(kind) + " (for " + user +
                                        "), got \"" + *cfg.missing + "\"");
    };
    if (cfg.cost.kind == CostModel::Kind::File) check(ValueKind::Cost, "-cost file:");
    if (cfg.benefit.kind == BenefitModel::Kind::File) check(ValueKind::Benefit, "-benefit file:");
}

// Names are compared as files, not as spellings: "a.bin" and "./a.bin" (or a
// link to it) are one file, which two outputs would corrupt and an output
// would destroy when it is an input.
void checkNames(const PackConfig& cfg, const std::string& mapOut) {
    const bool costFile = cfg.cost.kind == CostModel::Kind::File;
    const bool benefitFile = cfg.benefit.kind == BenefitModel::Kind::File;
    const bool targets = cfg.benefit.kind == BenefitModel::Kind::Targets;
    const NamedFile inputs[] = {
        {"-i", cfg.input},
        {"-cost file:", costFile ? cfg.cost.file : ""},
        {benefitFile ? "-benefit file:" : "-benefit targets:", benefitFile || targets ? cfg.benefit.file : ""}};
    const NamedFile outputs[] = {
        {"-o", cfg.networkOut}, {"-map", mapOut}, {"-bo", cfg.benefitOut}, {"-co", cfg.costOut}, {"-po", cfg.pairsOut}};
    if (std::string clash = fileClash(inputs, outputs); !clash.empty()) throw std::invalid_argument(clash);
}

NodeColumn benefitColumn(const PackConfig& cfg, const Network& net, const std::string& source) {
    switch (cfg.benefit.kind) {
        case BenefitModel::Kind::File:
            return readGivenValues(cfg.benefit.file, ValueKind::Benefit, net, source, cfg.missing);
        case BenefitModel::Kind::Targets:
            return readTargets(cfg.benefit.file, net, source);
        default:
            return makeBenefit(net.n, cfg.benefit, cfg.seed);
    }
}

NodeColumn costColumn(const PackConfig& cfg, const Network& net, const std::string& source) {
    if (cfg.cost.kind == CostModel::Kind::File)
        return readGivenValues(cfg.cost.file, ValueKind::Cost, net, source, cfg.missing);
    return makeCost(net, cfg.cost, cfg.seed);
}

// Every output, opened under a temporary name before the input is read.
struct Outputs {
    Outputs(const PackConfig& cfg, const std::string& mapOut) : network(cfg.networkOut), map(mapOut) {
        if (!cfg.benefitOut.empty()) benefit = std::make_unique<OutputFile>(cfg.benefitOut);
        if (!cfg.costOut.empty()) cost = std::make_unique<OutputFile>(cfg.costOut);
        if (!cfg.pairsOut.empty()) pairs = std::make_unique<OutputFile>(cfg.pairsOut);
    }
    // Finishes all, then renames all, in this order; returns the final names.
    std::vector<std::string> commit() {
        const std::initializer_list<OutputFile*> all = {&network, &map, benefit.get(), cost.get(), pairs.get()};
        for (OutputFile* f : all)
            if (f != nullptr) f->finish();
        std::vector<std::string> names;
        for (OutputFile* f : all) {
            if (f == nullptr) continue;
            f->publish();
            names.push_back(f->path());
        }
        return names;
    }
    OutputFile network, map;
    std::unique_ptr<OutputFile> benefit, cost, pairs;
};

}  // namespace

PackReport pack(const PackConfig& cfg) {
    checkConfig(cfg);
    const std::string mapOut = cfg.mapOut.empty() ? cfg.networkOut + ".map" : cfg.mapOut;
    checkNames(cfg, mapOut);
    Outputs out(cfg, mapOut);

    PackReport report;
    const std::string source = cfg.generate ? std::string("-gen rmat") : cfg.input;
    const ReadOptions read{cfg.undirected, cfg.weights == WeightModel::File, cfg.force};
    ArcList arcs = cfg.generate ? generateRmat(cfg.scale, cfg.edgefactor, cfg.seed) : readEdgeFile(cfg.input, read);
    report.entries = arcs.src.size();
    report.lines = arcs.lines;
    report.bytes = arcs.bytes;
    report.readSeconds = arcs.readSeconds;

    Network net = buildNetwork(std::move(arcs), report.counts, source);
    assignWeights(net, cfg.weights, cfg.p, cfg.seed);
    if (cfg.normalize) report.normalized = normalizeWeights(net);
    report.n = net.n;
    report.arcs = net.arcs();
    // Files by original id are read (and refused) before anything is written.
    std::optional<NodeColumn> benefit, cost;
    if (out.benefit) benefit = benefitColumn(cfg, net, source);
    if (out.cost) cost = costColumn(cfg, net, source);

    writeNetwork(net, out.network);
    report.networkBytes = out.network.size();
    writeMap(net, out.map);
    if (benefit) writeColumn(*benefit, *out.benefit);
    if (cost) writeColumn(*cost, *out.cost);
    if (out.pairs) writePairs(net, *out.pairs);
    report.written = out.commit();
    return report;
}

}  // namespace netpack
