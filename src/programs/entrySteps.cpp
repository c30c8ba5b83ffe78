// The steps both programs' entries take alike; see entrySteps.h.
#include "programs/entrySteps.h"

#include <omp.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <stdexcept>

#include "estimate/blockEstimate.h"
#include "graph/graph.h"
#include "io/idMap.h"
#include "io/option.h"
#include "core/procStatus.h"
#include "sampling/fastSampler.h"
#include "sampling/hyperGraph.h"

namespace lattis {

std::optional<std::string> textOption(const OptionParser& op, const char* name) {
    const char* v = op.getPara(name);
    return v != nullptr ? std::optional<std::string>(v) : std::nullopt;
}

std::string textOption(const OptionParser& op, const char* name, const char* fallback) {
    const char* v = op.getPara(name);
    return v != nullptr ? v : fallback;
}

int printUsage(const std::string& usage) {
    std::cout << usage << std::flush;
    return 0;
}

int refuseCommandLine(const std::string& usage) {
    std::cout << "Parameters error, please check the readme.txt file for correct format!" << std::endl;
    std::cerr << usage;
    return -1;
}

std::optional<bool> progressOption(const OptionParser& op) {
    if (op.getPara("-progress") == nullptr) return std::nullopt;
    return intOption(op, "-progress", 0, 0, 1) == 1;
}

bool knownModel(const OptionParser& op) {
    const std::string model = textOption(op, "-m", "LT");
    return model == "LT" || model == "IC";
}

int refuseModel() {
    std::cout << "Incorrect model option!" << std::flush;
    return -1;
}

void noteUnknownOptions(std::string_view program, int argc, char** argv, std::span<const OptionRow> table) {
    for (const std::string& name : unknownOptions(argc, argv, table))
        std::cerr << program << ": note: option " << name
                  << " is not known and was ignored (names are case-sensitive; see readme.txt)\n";
}

void checkFileNames(std::span<const NamedFile> inputs, std::span<const NamedFile> outputs) {
    for (const NamedFile& f : outputs)
        if (f.name.empty()) throw std::invalid_argument("option " + f.option + ": the file name is empty");
    if (std::string clash = fileClash(inputs, outputs); !clash.empty()) throw std::invalid_argument(clash);
}

void loadGraph(std::string_view program, Graph& g, const CommonOptions& opt) {
    const char* benefit = opt.benefit ? opt.benefit->c_str() : nullptr;
    // The network is read on the run's team (-t).
    omp_set_num_threads(opt.threads);
    if (opt.load == NetworkLoad::Map) stopOnShrunkMapping(std::string(program), opt.network);
    if (opt.model == Model::IC)
        g.readGraphIC(opt.network.c_str(), benefit, opt.load);
    else
        g.readGraphLT(opt.network.c_str(), benefit, opt.load);
    if (g.headerEdges() != g.listedEdges())
        throw std::runtime_error("network file \"" + opt.network + "\": the header (byte offset 4) states " +
                                 std::to_string(g.headerEdges()) + " arcs, but the in-degree lists hold " +
                                 std::to_string(g.listedEdges()) + "; repack the network with netpack");
    if (g.heavyInWeightNodes() > 0) {
        char largest[32];
        std::snprintf(largest, sizeof largest, "%.9g", g.largestInWeightSum());
        std::cerr << program << ": note: under LT the in-weights of " << g.heavyInWeightNodes()
                  << " nodes sum above 1 (the largest to " << largest
                  << "): each takes its in-edges in file order until their weights reach 1, and the later ones "
                     "never activate it\n";
    }
}

std::vector<std::uint64_t> idMapOf(const CommonOptions& opt, int n) {
    return opt.map ? readIdMap(*opt.map, n) : std::vector<std::uint64_t>();
}

CommonReport commonReport(const CommonOptions& opt, const Graph& g, const std::vector<int>& seeds,
                          const std::vector<std::uint64_t>& idMap) {
    CommonReport r;
    r.network = opt.network;
    r.benefit = opt.benefit;
    r.model = modelName(opt.model);
    r.epsilon = opt.epsilon;
    r.delta = opt.delta;
    r.threads = opt.threads;
    r.seedFile = opt.seedFile.value_or("");
    r.seed = opt.seed;
    r.map = opt.map;
    r.sampler = opt.sampler == SamplerKind::Fast ? "fast" : "classic";
    r.load = opt.load == NetworkLoad::Map ? "map" : "copy";
    r.nodes = g.getSize();
    r.arcs = g.getEdge();
    r.seeds = seeds;
    if (opt.map) r.originalIds = originalIds(idMap, seeds);
    if (const auto peak = peakResidentBytes()) r.peakMemoryMB = static_cast<double>(*peak) / (1024.0 * 1024.0);
    return r;
}

BlockEstimate estimateSeeds(Graph& graph, HyperGraph& hyperGraph, const std::vector<int>& seeds,
                            const CommonOptions& c, long long maxSamples,
                            const std::function<void(long long, long long)>& show) {
    std::optional<FastSampler> fast;
    if (c.sampler == SamplerKind::Fast) {
        fast.emplace(graph);
        if (!fast->needsThresholds()) graph.releaseThresholds();
    }
    EstimateSettings settings;
    settings.threads = c.threads;
    settings.epsilon = c.epsilon;
    settings.delta = c.delta;
    settings.fast = fast ? &*fast : nullptr;
    settings.order = fast ? EstimateOrder::Blocks : EstimateOrder::ThreadStreams;
    settings.maxSamples = maxSamples;
    settings.progress = show;
    return estimateInBlocks(graph, hyperGraph, seeds, settings);
}

bool standardOutputWritten(std::string_view program, std::string_view what) {
    std::cout.flush();
    if (std::fflush(stdout) == 0 && !std::ferror(stdout) && std::cout) return true;
    std::cerr << program << ": cannot write " << what << " to standard output: " << std::strerror(errno) << '\n';
    return false;
}

}  // namespace lattis
