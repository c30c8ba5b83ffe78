// The coverage threshold and its checks; see threshold.h.
#include "selection/threshold.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>
#include <string>

#include "core/tuning.h"

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

}  // namespace lattis
