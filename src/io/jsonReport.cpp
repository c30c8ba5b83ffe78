// The JSON reports of marlet and ostrand, written with nlohmann-json; see
// jsonReport.h, and readme.txt for the fields.
#include "io/jsonReport.h"

#include <charconv>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <utility>

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

// The object's frame, alike for both programs: the program and version, the
// settings, the network, the seeds, then the report's and timing figures.
json frame(const char* program, const CommonReport& c, json parameters, json report, json timing) {
    return {
        {"program", program},
        {"version", LATTIS_VERSION},
        {"parameters", std::move(parameters)},
        {"network", {{"nodes", c.nodes}, {"arcs", c.arcs}}},
        {"seeds", c.seeds},
        {"originalIds", orNull(c.originalIds)},
        {"report", std::move(report)},
        {"timing", std::move(timing)},
    };
}

json marletFrame(const MarletReport& r) {
    const CommonReport& c = r.common;
    json parameters{{"network", c.network},
                    {"benefit", orNull(c.benefit)},
                    {"cost", orNull(r.cost)},
                    {"model", c.model},
                    {"epsilon", shortest(c.epsilon)},
                    {"delta", shortest(c.delta)},
                    {"k", r.k},
                    {"select", r.select},
                    {"threads", c.threads},
                    {"seedFile", c.seedFile},
                    {"seed", c.seed},
                    {"memoryLimitMB", orNull(r.memoryLimitMB)},
                    {"map", orNull(c.map)},
                    {"sampler", c.sampler},
                    {"load", c.load}};
    if (r.ranks) parameters["ranks"] = *r.ranks;
    return frame(r.ranks ? "marlet-mpi" : "marlet", c, std::move(parameters),
                 {{"totalBenefit", r.totalBenefit},
                  {"processorSeconds", static_cast<double>(r.processorSeconds)},
                  {"memoryMB", static_cast<double>(r.memoryMB)},
                  {"estimateInfluence", r.estimateInfluence},
                  {"seedCount", r.seedCount},
                  {"costSpent", r.costSpent},
                  {"budgetLeft", r.budgetLeft}},
                 {{"iterations", r.iterations},
                  {"hyperedges", r.hyperedges},
                  {"coveredHyperedges", r.coveredHyperedges},
                  {"threshold", r.threshold},
                  {"samplingSeconds", r.samplingSeconds},
                  {"selectionSeconds", r.selectionSeconds},
                  {"wallSeconds", r.wallSeconds},
                  {"peakMemoryMB", orNull(c.peakMemoryMB)},
                  {"estimateSamples", r.estimateSamples},
                  {"estimateHits", r.estimateHits},
                  {"estimateCapped", r.estimateCapped},
                  {"inSampleBenefit", r.inSampleBenefit},
                  {"pairListSeconds", r.pairListSeconds},
                  {"loadingSeconds", r.loadingSeconds},
                  {"estimateSeconds", r.estimateSeconds},
                  {"memoryProbeSeconds", r.memoryProbeSeconds},
                  {"storeMB", r.storeMB},
                  {"storeMBPerRank", r.storeMBPerRank}});
}

// The frame, and for a -stop certified run its setting and certificate; a
// run with the default stop writes what it always wrote.
json marletJson(const MarletReport& r) {
    json out = marletFrame(r);
    if (const auto& cert = r.certificate) {
        out["parameters"]["stop"] = "certified";
        out["parameters"]["ratio"] = cert->ratioAsked;
        json& report = out["report"];
        report["certifiedRatio"] = cert->certifiedRatio;
        report["benefitLowerBound"] = cert->benefitLowerBound;
        report["optimumUpperBound"] = cert->optimumUpperBound;
        report["validationSamples"] = cert->validationSamples;
        json& timing = out["timing"];
        timing["certificateReached"] = cert->reached;
        timing["certificateIteration"] = cert->iteration;
        timing["validationSamplesDrawn"] = cert->validationSamplesDrawn;
        timing["certificateSeconds"] = cert->seconds;
        timing["benefitFromValidation"] = cert->benefitFromValidation;
    }
    return out;
}

json ostrandJson(const OstrandReport& r) {
    const CommonReport& c = r.common;
    return frame("ostrand", c,
                 {{"network", c.network},
                  {"benefit", orNull(c.benefit)},
                  {"model", c.model},
                  {"epsilon", shortest(c.epsilon)},
                  {"delta", shortest(c.delta)},
                  {"threads", c.threads},
                  {"seedFile", c.seedFile},
                  {"seed", c.seed},
                  {"map", orNull(c.map)},
                  {"sampler", c.sampler},
                  {"load", c.load},
                  {"maxSamples", r.maxSamples}},
                 {{"estimate", r.estimate}},
                 {{"samples", r.samples},
                  {"hits", r.hits},
                  {"stoppingBound", shortest(r.stoppingBound)},
                  {"wallSeconds", r.wallSeconds},
                  {"processorSeconds", r.processorSeconds},
                  {"peakMemoryMB", orNull(c.peakMemoryMB)}});
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
