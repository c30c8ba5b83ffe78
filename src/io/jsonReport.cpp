// The JSON reports of marlet and ostrand, written with nlohmann-json; see
// jsonReport.h, and readme.txt for the fields.
#include "io/jsonReport.h"

#include <charconv>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "version.h"

namespace lattis {

namespace {

// Keys stay in the order written, so that the file reads like the report.
using json = nlohmann::ordered_json;

// A single-precision setting as the double nearest its shortest decimal form,
// so that 0.1f appears as 0.1 (and reads back as the same float) rather than
// as 0.10000000149011612.
double shortest(float f) {
    char buf[32];
    const auto text = std::to_chars(buf, buf + sizeof buf, f);
    double d = 0;
    std::from_chars(buf, text.ptr, d);
    return d;
}

template <class T>
json orNull(const std::optional<T>& v) {
    return v ? json(*v) : json(nullptr);
}

json marletJson(const MarletReport& r) {
    return {
        {"program", "marlet"},
        {"version", LATTIS_VERSION},
        {"parameters",
         {{"network", r.network},
          {"benefit", orNull(r.benefit)},
          {"cost", orNull(r.cost)},
          {"model", r.model},
          {"epsilon", shortest(r.epsilon)},
          {"delta", shortest(r.delta)},
          {"k", r.k},
          {"threads", r.threads},
          {"seedFile", r.seedFile},
          {"seed", r.seed},
          {"memoryLimitMB", orNull(r.memoryLimitMB)},
          {"map", orNull(r.map)},
          {"sampler", r.sampler}}},
        {"network", {{"nodes", r.nodes}, {"arcs", r.arcs}}},
        {"seeds", r.seeds},
        {"originalIds", orNull(r.originalIds)},
        {"report",
         {{"totalBenefit", r.totalBenefit},
          {"processorSeconds", static_cast<double>(r.processorSeconds)},
          {"memoryMB", static_cast<double>(r.memoryMB)},
          {"estimateInfluence", r.estimateInfluence}}},
        {"timing",
         {{"iterations", r.iterations},
          {"hyperedges", r.hyperedges},
          {"coveredHyperedges", r.coveredHyperedges},
          {"threshold", r.threshold},
          {"samplingSeconds", r.samplingSeconds},
          {"selectionSeconds", r.selectionSeconds},
          {"wallSeconds", r.wallSeconds},
          {"peakMemoryMB", orNull(r.peakMemoryMB)},
          {"estimateSamples", r.estimateSamples},
          {"estimateHits", r.estimateHits},
          {"estimateCapped", r.estimateCapped},
          {"inSampleBenefit", r.inSampleBenefit},
          {"pairListSeconds", r.pairListSeconds},
          {"loadingSeconds", r.loadingSeconds},
          {"estimateSeconds", r.estimateSeconds},
          {"memoryProbeSeconds", r.memoryProbeSeconds},
          {"storeMB", r.storeMB},
          {"storeMBPerRank", r.storeMBPerRank}}},
    };
}

json ostrandJson(const OstrandReport& r) {
    return {
        {"program", "ostrand"},
        {"version", LATTIS_VERSION},
        {"parameters",
         {{"network", r.network},
          {"benefit", r.benefit},
          {"model", r.model},
          {"epsilon", shortest(r.epsilon)},
          {"delta", shortest(r.delta)},
          {"threads", r.threads},
          {"seedFile", r.seedFile},
          {"seed", r.seed},
          {"map", orNull(r.map)},
          {"sampler", r.sampler},
          {"maxSamples", r.maxSamples}}},
        {"network", {{"nodes", r.nodes}, {"arcs", r.arcs}}},
        {"seeds", r.seeds},
        {"originalIds", orNull(r.originalIds)},
        {"report", {{"estimate", r.estimate}}},
        {"timing",
         {{"samples", r.samples},
          {"hits", r.hits},
          {"stoppingBound", shortest(r.stoppingBound)},
          {"wallSeconds", r.wallSeconds},
          {"processorSeconds", r.processorSeconds},
          {"peakMemoryMB", orNull(r.peakMemoryMB)}}},
    };
}

// Indented text; bytes of file names that are not UTF-8 are replaced rather
// than refused, so that any name the system accepts can be reported.
std::string dumped(const json& j) { return j.dump(2, ' ', false, json::error_handler_t::replace) + "\n"; }

// The name checked before AtomicFile sees it: an empty name would make its
// temporary in the working directory.
const std::string& nonEmpty(const std::string& path) {
    if (path.empty()) throw std::runtime_error("option -json: the file name is empty");
    return path;
}

}  // namespace

JsonReportFile::JsonReportFile(const std::string& path)
    : file(nonEmpty(path), "json file \"" + path + "\"", AtomicFile::Special::WriteInPlace, true) {}

void JsonReportFile::commit(const MarletReport& report) { commitText(dumped(marletJson(report))); }

void JsonReportFile::commit(const OstrandReport& report) { commitText(dumped(ostrandJson(report))); }

void JsonReportFile::commitText(const std::string& text) {
    file.write(text.data(), text.size());
    file.finish();
    file.publish();
}

}  // namespace lattis
