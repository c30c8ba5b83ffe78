// The store's size guard; see storeGuard.h.
#include "selection/storeGuard.h"

#include <sstream>
#include <stdexcept>
#include <string>

#include "core/tuning.h"
#include "sampling/hyperGraph.h"
#include "selection/threshold.h"

namespace lattis {

namespace {

// Hyperedges are generated in whole blocks of this many.
constexpr long long kBlock = kHyperedgeBlock;

// "C of the Lambda = X hyperedges needed (P%)": the coverage in messages.
std::string coverageText(long long coverage, double lambda) {
    std::ostringstream s;
    s.setf(std::ios::fixed);
    s.precision(1);
    s << coverage << " of the Lambda = " << lambda << " hyperedges needed ("
      << 100.0 * static_cast<double>(coverage) / lambda << "%)";
    return s.str();
}

double megabytes(double bytes) { return bytes / (1024.0 * 1024.0); }

}  // namespace

double estimateStoreBytes(std::uint64_t storedNodes, std::uint64_t slots, std::uint64_t numEdges,
                          std::uint64_t newEdges) {
    const double average = numEdges > 0 ? static_cast<double>(storedNodes) / static_cast<double>(numEdges) : 1.0;
    const double nodes = static_cast<double>(storedNodes) + static_cast<double>(newEdges) * average;
    const double slotsPerId = storedNodes > 0 ? static_cast<double>(slots) / static_cast<double>(storedNodes) : 1.0;
    return 8.0 * nodes + 8.0 * static_cast<double>(numEdges + newEdges) + 8.0 * nodes * slotsPerId;
}

void guardBatch(const HyperGraph& hg, long long runEdges, const BlockShare& share, long long batch,
                const MemoryRoom& room, double lambda, int iteration, long long coverage) {
    const std::uint64_t numEdges = static_cast<std::uint64_t>(runEdges);
    const std::uint64_t newEdges = static_cast<std::uint64_t>((batch + kBlock - 1) / kBlock * kBlock);
    const std::uint64_t ownEdges = static_cast<std::uint64_t>(
        share.ownedIn(numEdges / kBlock, static_cast<long long>(newEdges / kBlock)) * kBlock);
    const std::string advice = "; use a larger -epsilon or a larger budget -k";
    if (static_cast<double>(numEdges + newEdges) > kMaxLambda)
        throw std::runtime_error("stopped before iteration " + std::to_string(iteration) + ": its " +
                                 std::to_string(newEdges) + " hyperedges would take the store past " +
                                 "2147483647 hyperedges; the seeds covered " +
                                 coverageText(coverage, lambda) + advice);

    std::optional<double> limit;
    std::string source;
    if (auto avail = room.available ? room.available() : std::nullopt) {
        limit = static_cast<double>(*avail);
        source = "MemAvailable";
    }
    if (room.limit && (!limit || *room.limit < *limit)) {
        limit = *room.limit;
        source = "the -mem limit";
    }
    if (!limit) return;
    const double need = estimateStoreBytes(hg.getNumStoredNodes(), hg.getNumSlots(),
                                           static_cast<std::uint64_t>(hg.getNumEdge()), ownEdges);
    if (need <= *limit) return;
    std::ostringstream msg;
    msg.setf(std::ios::fixed);
    msg.precision(1);
    msg << "stopped before iteration " << iteration << ": with its " << ownEdges
        << " hyperedges the store would hold about " << megabytes(need) << " MB, more than the "
        << megabytes(*limit) << " MB of " << source << "; the seeds covered "
        << coverageText(coverage, lambda) << advice;
    throw std::runtime_error(msg.str());
}

}  // namespace lattis
