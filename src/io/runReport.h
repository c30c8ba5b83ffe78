// The figures of one run of marlet or ostrand, in one plain record per
// program. The run fills the record; the printed report and the JSON report
// (jsonReport.h) both read it, so a figure added to a run is one field here
// plus one line in each writer that shows it.
//
// What both programs report alike (the settings they share, the network's
// size, the seeds, the peak memory) is one record, CommonReport, filled in
// one place for both (programs/entrySteps.h).
//
// Settings are those in force after defaults; an absent file name or limit
// is an empty optional. Single-precision settings stay float so that both
// writers show exactly the value the run used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lattis {

struct CommonReport {
    // Settings in force.
    std::string network;
    std::optional<std::string> benefit;  // marlet's -b may be absent; ostrand's has a default
    std::string model;
    float epsilon = 0, delta = 0;
    int threads = 0;
    std::string seedFile;  // marlet's written seed file, ostrand's read one
    unsigned seed = 0;     // the generator seed: -seed, or the clock's when absent
    std::optional<std::string> map;  // netpack id map of the network (-map)
    std::string sampler;             // "classic" or "fast"
    std::string load;                // "copy" or "map"

    // The network.
    int nodes = 0;
    long long arcs = 0;

    // marlet's seeds in the order chosen, ostrand's as read (duplicates kept).
    std::vector<int> seeds;
    std::optional<std::vector<std::uint64_t>> originalIds;  // with -map
    std::optional<double> peakMemoryMB;
};

// The certificate of a -stop certified run: how close the seeds are proved
// to be to the best seed set within the budget.
struct CertificateReport {
    double ratioAsked = 0;         // -ratio
    bool reached = false;          // the certificate proved it and ended the loop
    int iteration = 0;             // of the certificate
    double certifiedRatio = 0;     // benefitLowerBound / optimumUpperBound
    double benefitLowerBound = 0;  // the seeds' benefit is at least this
    double optimumUpperBound = 0;  // no seed set within the budget reaches more
    long long validationSamples = 0;       // of the certificate
    long long validationSamplesDrawn = 0;  // over every iteration
    double seconds = 0;            // wall time of the certificates
    // "Total Benefit" is the estimate on the certificate's validation
    // samples, which held the estimate's stopping sample, not on fresh ones.
    bool benefitFromValidation = false;
};

struct MarletReport {
    CommonReport common;
    // Settings in force of marlet alone.
    std::optional<std::string> cost;
    double k = 0;
    std::string select = "stop";  // -select
    std::optional<double> memoryLimitMB;
    std::optional<int> ranks;  // the processes of a marlet-mpi run; absent for marlet

    // The printed report, in its order, after the seeds (common.seeds).
    double totalBenefit = 0;     // "Total Benefit": from samples the seeds were not chosen from
    float processorSeconds = 0;  // "Time": processor seconds of sampling, selection and estimate
    float memoryMB = 0;          // "Memory"
    int estimateInfluence = 0;   // "Estimate Influence"
    // What the seeds cost: their count, the sum of their costs, k minus it.
    std::size_t seedCount = 0;
    double costSpent = 0, budgetLeft = 0;

    // The -timing figures.
    int iterations = 0;
    long long hyperedges = 0;
    long long coveredHyperedges = 0;
    double threshold = 0;  // the coverage threshold Lambda
    double samplingSeconds = 0, selectionSeconds = 0;
    double wallSeconds = 0;  // wall time of sampling, selection and estimate
    // The hyperedge store with its index at the end of the loop: this
    // process's, and every process's of a run split over several (one
    // entry, the same, for one process).
    double storeMB = 0;
    std::vector<double> storeMBPerRank;
    // The Total Benefit estimate, and the seeds' share of the selection's
    // own hyperedges, which overstates their worth.
    long long estimateSamples = 0, estimateHits = 0;
    bool estimateCapped = false;
    double inSampleBenefit = 0;
    // Wall seconds of the other parts of the run.
    double pairListSeconds = 0, loadingSeconds = 0, estimateSeconds = 0, memoryProbeSeconds = 0;
    std::optional<CertificateReport> certificate;  // -stop certified
};

struct OstrandReport {
    CommonReport common;
    long long maxSamples = 0;  // -maxsamples

    // The printed estimate and how it was reached.
    double estimate = 0;
    long long samples = 0, hits = 0;
    float stoppingBound = 0;  // hits at which sampling stops
    double wallSeconds = 0, processorSeconds = 0;  // of the estimate
};

}  // namespace lattis
