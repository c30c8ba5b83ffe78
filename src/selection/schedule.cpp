// Threshold, cost reader and doubling loop of the selection program; see
// schedule.h.
#include "selection/schedule.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "sampling/generate.h"
#include "selection/selection.h"
#include "sampling/hyperGraph.h"
#include "core/parse.h"
#include "core/tuning.h"
#include "mpi/teamHooks.h"
#include "io/textReader.h"

namespace lattis {

namespace {

// 1 - 1/e and 2(1 - 1/e), as the nearest doubles.
constexpr double kOneMinusInvE = 0.6321205588285577;
constexpr double kTwoOneMinusInvE = 1.2642411176571153;

// Hyperedges are generated in whole blocks of this many.
constexpr long long kBlock = kHyperedgeBlock;

template <class T>
std::string str(T v) {
    std::ostringstream s;
    s << v;
    return s.str();
}

// A cost as formatted float extraction reads it, but strictly: the whole token
// a finite number. Magnitudes below the float range are tiny costs and so
// floored like any other; magnitudes above it are refused.
std::optional<float> parseCost(std::string_view tok) {
    std::string_view s = tok;
    if (!s.empty() && s.front() == '+') {
        s.remove_prefix(1);
        if (!s.empty() && s.front() == '-') return std::nullopt;
    }
    if (s.empty()) return std::nullopt;
    float v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec == std::errc::result_out_of_range) {
        auto wide = parseReal(tok);
        if (wide && std::isfinite(*wide) && std::fabs(*wide) < 1.0) return 0.0f;
        return std::nullopt;
    }
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<std::uint64_t> procFile(const char* path, std::string_view key) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto kb = procFieldKilobytes(text, key);
    if (!kb) return std::nullopt;
    return *kb * 1024;
}

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

// Refuses the next batch when the store cannot take it: past the hyperedge
// limit of the store, or past the memory the run may use.
// runEdges counts the hyperedges of the whole run, over every process; the
// memory test weighs this process's store and its share of the batch.
void guardBatch(const HyperGraph& hg, long long runEdges, const BlockShare& share, long long batch,
                const ScheduleSettings& s, int iteration, long long coverage) {
    const std::uint64_t numEdges = static_cast<std::uint64_t>(runEdges);
    const std::uint64_t newEdges = static_cast<std::uint64_t>((batch + kBlock - 1) / kBlock * kBlock);
    const std::uint64_t ownEdges = static_cast<std::uint64_t>(
        share.ownedIn(numEdges / kBlock, static_cast<long long>(newEdges / kBlock)) * kBlock);
    const std::string advice = "; use a larger -epsilon or a larger budget -k";
    if (static_cast<double>(numEdges + newEdges) > kMaxLambda)
        throw std::runtime_error("stopped before iteration " + std::to_string(iteration) + ": its " +
                                 std::to_string(newEdges) + " hyperedges would take the store past " +
                                 "2147483647 hyperedges; the seeds covered " +
                                 coverageText(coverage, s.lambda) + advice);

    std::optional<double> limit;
    std::string source;
    if (auto avail = s.available ? s.available() : std::nullopt) {
        limit = static_cast<double>(*avail);
        source = "MemAvailable";
    }
    if (s.memoryLimit && (!limit || *s.memoryLimit < *limit)) {
        limit = *s.memoryLimit;
        source = "the -mem limit";
    }
    if (!limit) return;
    const double need = estimateStoreBytes(hg.getNumStoredNodes(), static_cast<std::uint64_t>(hg.getNumEdge()), ownEdges);
    if (need <= *limit) return;
    std::ostringstream msg;
    msg.setf(std::ios::fixed);
    msg.precision(1);
    msg << "stopped before iteration " << iteration << ": with its " << ownEdges
        << " hyperedges the store would hold about " << megabytes(need) << " MB, more than the "
        << megabytes(*limit) << " MB of " << source << "; the seeds covered "
        << coverageText(coverage, s.lambda) << advice;
    throw std::runtime_error(msg.str());
}

}  // namespace

Threshold computeThreshold(int n, double k, float epsilon, float delta) {
    Threshold th;
    const double nd = static_cast<double>(n);
    th.L = std::lgamma(nd + 1) - std::lgamma(k + 1) - std::lgamma(nd - k - 1);
    const double d = static_cast<double>(delta);
    const double e = static_cast<double>(epsilon);
    th.alpha = std::sqrt(kOneMinusInvE * std::log(2 * th.L / d));
    // The second weight has always been computed in single precision; its
    // rounding reaches Lambda and so the batch sizes.
    const float s = sqrtf(logf(4.0f / delta));
    th.beta = kOneMinusInvE * static_cast<double>(s);
    th.epsPrime = e * th.alpha / (th.alpha + th.beta);
    th.lambda = (1 + th.epsPrime) * kTwoOneMinusInvE * std::log(4 * th.L / d) / (th.epsPrime * th.epsPrime);
    return th;
}

double thresholdSeeds(int n, double k, const std::vector<float>& costs) {
    if (k < static_cast<double>(n) - 1) return k;
    std::vector<float> cheapest(costs.begin(), costs.begin() + std::min<std::ptrdiff_t>(n, std::ssize(costs)));
    std::sort(cheapest.begin(), cheapest.end());
    double spent = 0;
    long long bought = 0;
    for (float c : cheapest) {
        if (spent + static_cast<double>(c) > k) break;
        spent += static_cast<double>(c);
        ++bought;
    }
    return static_cast<double>(std::min<long long>(bought, n - 2LL));
}

int maxIterations(double lambda) {
    long long batch = static_cast<long long>(lambda);
    double stored = 0;
    int iterations = 0;
    for (;;) {
        const double edges = static_cast<double>((batch + kBlock - 1) / kBlock * kBlock);
        if (stored + edges > kMaxLambda) break;
        stored += edges;
        batch *= 2;
        ++iterations;
    }
    return std::max(iterations, 1);
}

Threshold checkedThreshold(int n, double k, float epsilon, float delta, const std::vector<float>& costs) {
    if (n <= 1)
        throw std::invalid_argument("option -k: no budget is valid for a network of " + std::to_string(n) +
                                    " nodes: the threshold needs at least 2 nodes");
    if (!(k > 0))
        throw std::invalid_argument("option -k: " + str(k) + " is out of range: the budget must be greater than 0");
    if (!(epsilon > 0 && std::isfinite(epsilon)))
        throw std::invalid_argument("option -epsilon: " + str(epsilon) +
                                    " is out of range: epsilon must be a finite number greater than 0");
    if (!(delta > 0 && delta < 4))
        throw std::invalid_argument("option -delta: " + str(delta) +
                                    " is out of range: delta must satisfy 0 < delta < 4 (in single precision)");
    Threshold th = computeThreshold(n, thresholdSeeds(n, k, costs), epsilon, delta);
    const double ratio = 2 * th.L / static_cast<double>(delta);
    if (!(std::isfinite(th.L) && ratio > 1))
        throw std::invalid_argument("the threshold is undefined: ln(2L/delta) must be positive, but L = " + str(th.L) +
                                    " (from n = " + std::to_string(n) + " and -k " + str(k) + ") and -delta " +
                                    str(delta) + " give 2L/delta = " + str(ratio) + "; -delta must be below 2L = " +
                                    str(2 * th.L));
    if (!(std::isfinite(th.lambda) && th.lambda > 0))
        throw std::invalid_argument("the coverage threshold is not a finite positive number for -epsilon " + str(epsilon) +
                                    " and -delta " + str(delta) + "; choose a larger -delta or -epsilon");
    if (th.lambda < 1)
        throw std::invalid_argument("option -epsilon: " + str(epsilon) + " is too large: the coverage threshold Lambda = " +
                                    str(th.lambda) + " is below one hyperedge, so no sample would be drawn; choose a smaller -epsilon");
    if (th.lambda > kMaxLambda)
        throw std::invalid_argument("option -epsilon: " + str(epsilon) + " is too small: the coverage threshold Lambda = " +
                                    str(th.lambda) + " exceeds the 2147483647 hyperedges a store can hold; choose a larger -epsilon");
    return th;
}

std::vector<float> readCosts(TextReader& in, unsigned n) {
    std::vector<float> costs(static_cast<std::size_t>(n) + 1, 0.0f);
    for (unsigned i = 0; i < n; ++i) {
        // A plain whole number (out-degree costs, say) is rounded to single
        // precision by the conversion, to nearest as parsing its text would.
        std::uint32_t digits = 0;
        float c = 0;
        if (in.nextDigits(digits)) {
            c = static_cast<float>(digits);
        } else {
            std::string_view tok = in.next();
            if (tok.empty())
                throw std::runtime_error(in.label() + ": holds " + std::to_string(i) + " costs, expected " +
                                         std::to_string(n) + " (one for each node of the network)");
            auto v = parseCost(tok);
            if (!v)
                throw std::runtime_error(in.label() + ", line " + std::to_string(in.line()) + ": value " +
                                         std::to_string(i + 1) + " (cost of node " + std::to_string(i + 1) +
                                         "): expected a finite number, got " + quoteToken(tok));
            c = *v;
        }
        costs[i] = static_cast<double>(c) <= 1e-9 ? kMinCost : c;
    }
    return costs;
}

std::vector<float> parseCosts(std::string_view text, unsigned n, const std::string& name) {
    TextReader in(TextReader::InMemory{}, text, "cost file " + name);
    return readCosts(in, n);
}

std::vector<float> readCostFile(const std::string& path, unsigned n) {
    TextReader in(path, "cost file " + path);
    return readCosts(in, n);
}

std::vector<float> defaultCosts(unsigned n) {
    std::vector<float> costs(static_cast<std::size_t>(n) + 1, kMinCost);
    costs[n] = 0.0f;
    return costs;
}

std::optional<std::uint64_t> procFieldKilobytes(std::string_view text, std::string_view key) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != ':') continue;
        line.remove_prefix(key.size() + 1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        std::size_t digits = 0;
        while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') ++digits;
        return parseInteger<std::uint64_t>(line.substr(0, digits));
    }
    return std::nullopt;
}

std::optional<std::uint64_t> memAvailableBytes() { return procFile("/proc/meminfo", "MemAvailable"); }

std::optional<std::uint64_t> peakResidentBytes() { return procFile("/proc/self/status", "VmHWM"); }

double estimateStoreBytes(std::uint64_t storedNodes, std::uint64_t numEdges, std::uint64_t newEdges) {
    const double average = numEdges > 0 ? static_cast<double>(storedNodes) / static_cast<double>(numEdges) : 1.0;
    const double nodes = static_cast<double>(storedNodes) + static_cast<double>(newEdges) * average;
    return 8.0 * nodes + 8.0 * static_cast<double>(numEdges + newEdges);
}

ScheduleResult runSchedule(const Graph& g, HyperGraph& hg, const std::vector<float>& costs,
                           const ScheduleSettings& settings, std::vector<int>& seeds,
                           std::vector<double>& degree, long long& totalDegree) {
    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); };
    const Clock::time_point begin = Clock::now();
    const unsigned n = static_cast<unsigned>(g.getSize());
    ScheduleResult result;
    long long batch = static_cast<long long>(settings.lambda);
    totalDegree = 0;
    // A team of processes (marlet-mpi) agrees after each step of local work
    // that every process finished it, counts the run's hyperedges over all
    // stores and selects over their union; one process does each directly.
    const TeamHooks* team = settings.team;
    const BlockShare share = team != nullptr ? team->share : BlockShare{};
    auto runEdges = [team, &hg] { return team != nullptr ? team->sum(hg.getNumEdge()) : hg.getNumEdge(); };
    runTogether(team, [] {});  // every process has read its inputs
    while (settings.lambda > static_cast<double>(totalDegree)) {
        seeds.clear();
        const long long stored = runEdges();
        const Clock::time_point t0 = Clock::now();
        runTogether(team, [&] {
            guardBatch(hg, stored, share, batch, settings, result.iterations + 1, totalDegree);
            addHyperedge(g, hg, settings.threads, batch, settings.fast, share);
        });
        const Clock::time_point t1 = Clock::now();
        batch *= 2;
        result.selection = team != nullptr
                               ? team->select(hg, seeds, n, settings.k, costs, degree, totalDegree, settings.rule)
                               : buildSeedSetCost(hg, seeds, n, settings.k, costs, degree, totalDegree, settings.rule,
                                                  settings.threads);
        const Clock::time_point t2 = Clock::now();
        result.samplingSeconds += seconds(t0, t1);
        result.selectionSeconds += seconds(t1, t2);
        ++result.iterations;
        result.hyperedges = runEdges();
        if (settings.progress)
            settings.progress({result.iterations, result.hyperedges, totalDegree, settings.lambda, seconds(begin, t2)});
        if (settings.stopHere) {
            const bool last = seeds.empty() || !(settings.lambda > static_cast<double>(totalDegree));
            const bool stop = settings.stopHere(seeds, totalDegree, result.hyperedges, last);
            result.stopHereSeconds += seconds(t2, Clock::now());
            if (stop && !last) {
                result.stoppedHere = true;
                break;
            }
        }
        // A selection that took nothing covers nothing, and more hyperedges
        // seldom change which node ranks first: stop rather than sample on
        // without bound.
        if (seeds.empty()) {
            result.emptySelection = true;
            break;
        }
    }
    return result;
}

}  // namespace lattis
