// The coverage threshold (Lambda) of the selection program, computed from the
// node count n, the budget k and the accuracy parameters epsilon and delta
// with the constants and the single-precision steps the program has always
// used, so that a given input yields the same threshold, the same batch
// sizes and so the same seeds; and the refusal of parameters for which it is
// undefined (std::invalid_argument with a one-line message).
#pragma once

#include <vector>

namespace lattis {

// The derived values of the threshold, each as the program computes it.
struct Threshold {
    double L = 0;         // lgamma(n + 1) - lgamma(k + 1) - lgamma(n - k - 1)
    double alpha = 0;
    double beta = 0;
    double epsPrime = 0;  // the scaled accuracy
    double lambda = 0;    // the coverage threshold
};

// The arithmetic alone, without checks: for inputs outside the valid range the
// values are NaN or infinite, exactly as the formulas give them.
Threshold computeThreshold(int n, double k, float epsilon, float delta);

// Largest threshold a run can reach: the store holds at most this many hyperedges.
inline constexpr double kMaxLambda = 2147483647.0;

// The seed count the threshold is computed for: the budget k itself below
// n - 1; from n - 1 on (costs in large units), the number of seeds k buys,
// the cheapest nodes first (costs[x - 1] the cost of node x), at most n - 2,
// where the threshold's log-binomial term is defined.
double thresholdSeeds(int n, double k, const std::vector<float>& costs);

// The most iterations the doubling loop can run for threshold Lambda: it
// ends at the latest before a batch (in whole blocks of 10000) would take
// the store past kMaxLambda hyperedges. At least 1.
int maxIterations(double lambda);

// Refuses parameters for which the threshold is undefined or the loop cannot
// end, with a message naming the parameter and its valid range: n < 2,
// k <= 0, epsilon <= 0, delta outside (0, 4), 2L / delta <= 1, and thresholds
// below one hyperedge or above kMaxLambda. Returns the threshold for
// thresholdSeeds(n, k, costs) otherwise.
Threshold checkedThreshold(int n, double k, float epsilon, float delta, const std::vector<float>& costs);

}  // namespace lattis
