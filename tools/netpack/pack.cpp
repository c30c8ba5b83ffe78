// One packing run: read or generate the arcs, build the network, draw the
// weights, benefits and costs, and write every requested file.
//
// All outputs are opened (under temporary names) before the input is read,
// so that an unwritable destination fails at once, and are renamed into
// place only after every one of them has been written completely.
#include <initializer_list>
#include <memory>
#include <stdexcept>

#include "io/fileIdentity.h"
#include "netpack/netpack.h"

namespace netpack {

PackReport pack(const PackConfig& cfg) {
    if (cfg.generate == !cfg.input.empty())
        throw std::invalid_argument("expected exactly one of an input file (-i) and a generator (-gen)");
    if (cfg.generate && cfg.weights == WeightModel::File)
        throw std::invalid_argument(
            "option -w: \"file\" takes the probabilities from an input file (-i), not from -gen");

    const std::string mapOut = cfg.mapOut.empty() ? cfg.networkOut + ".map" : cfg.mapOut;
    // Names are compared as files, not as spellings: "a.bin" and "./a.bin"
    // (or a link to it) are one file, which two outputs would corrupt and an
    // output would destroy when it is the input.
    const NamedFile inputNames[] = {{"-i", cfg.input}};
    const NamedFile outputNames[] = {{"-o", cfg.networkOut}, {"-map", mapOut}, {"-bo", cfg.benefitOut},
                                     {"-co", cfg.costOut}, {"-po", cfg.pairsOut}};
    if (std::string clash = fileClash(inputNames, outputNames); !clash.empty()) throw std::invalid_argument(clash);

    OutputFile networkFile(cfg.networkOut), mapFile(mapOut);
    std::unique_ptr<OutputFile> benefitFile, costFile, pairsFile;
    if (!cfg.benefitOut.empty()) benefitFile = std::make_unique<OutputFile>(cfg.benefitOut);
    if (!cfg.costOut.empty()) costFile = std::make_unique<OutputFile>(cfg.costOut);
    if (!cfg.pairsOut.empty()) pairsFile = std::make_unique<OutputFile>(cfg.pairsOut);

    PackReport report;
    const ReadOptions read{cfg.undirected, cfg.weights == WeightModel::File, cfg.force};
    ArcList arcs = cfg.generate ? generateRmat(cfg.scale, cfg.edgefactor, cfg.seed) : readEdgeFile(cfg.input, read);
    report.entries = arcs.src.size();
    report.lines = arcs.lines;
    report.bytes = arcs.bytes;
    report.readSeconds = arcs.readSeconds;

    Network net = buildNetwork(std::move(arcs), report.counts, cfg.generate ? std::string("-gen rmat") : cfg.input);
    assignWeights(net, cfg.weights, cfg.p, cfg.seed);
    if (cfg.normalize) report.normalized = normalizeWeights(net);
    report.n = net.n;
    report.arcs = net.arcs();

    writeNetwork(net, networkFile);
    report.networkBytes = networkFile.size();
    writeMap(net, mapFile);
    if (benefitFile) writeBenefit(makeBenefit(net.n, cfg.benefit, cfg.seed), *benefitFile);
    if (costFile) writeCost(makeCost(net, cfg.cost), *costFile);
    if (pairsFile) writePairs(net, *pairsFile);

    const std::initializer_list<OutputFile*> outputs = {&networkFile, &mapFile, benefitFile.get(), costFile.get(),
                                                        pairsFile.get()};
    for (OutputFile* f : outputs)
        if (f != nullptr) f->finish();
    for (OutputFile* f : outputs) {
        if (f == nullptr) continue;
        f->publish();
        report.written.push_back(f->path());
    }
    return report;
}

}  // namespace netpack
