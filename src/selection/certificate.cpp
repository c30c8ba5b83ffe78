// The certificate's bounds; see certificate.h.
#include "selection/certificate.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

#include "selection/distributedSelection.h"

namespace lattis {

double fractionalKnapsack(std::span<KnapsackItem> items, double capacity, double* cutRatio) {
    if (cutRatio != nullptr) *cutRatio = 0;
    auto byRatio = [](const KnapsackItem& a, const KnapsackItem& b) { return a.ratio > b.ratio; };
    double value = 0;
    double room = capacity;
    auto lo = items.begin();
    auto hi = items.end();
    // Invariant: the items before lo are taken whole, those from hi on are
    // not taken, and every item in [lo, hi) ranks below those before lo.
    while (lo != hi) {
        const auto mid = lo + (hi - lo) / 2;
        std::nth_element(lo, mid, hi, byRatio);
        double cost = 0, gain = 0;
        for (auto it = lo; it != mid; ++it) {
            cost += it->cost;
            gain += it->gain;
        }
        if (cost > room) {  // the cut lies among the better half
            hi = mid;
            continue;
        }
        value += gain;
        room -= cost;
        if (mid->cost >= room) {
            if (cutRatio != nullptr) *cutRatio = mid->ratio;
            return value + mid->gain * (room / mid->cost);
        }
        value += mid->gain;
        room -= mid->cost;
        lo = mid + 1;
    }
    return value;
}

CoverageBound::CoverageBound(std::vector<int> gains, const std::vector<float>& costs, double k, std::size_t prefixes)
    : gain(std::move(gains)),
      costs(costs),
      k(k),
      every(std::max<std::size_t>(1, static_cast<std::size_t>(std::sqrt(static_cast<double>(prefixes))))) {
    assert(costs.size() >= gain.size());
    for (std::size_t x = 0; x < gain.size(); ++x)
        if (gain[x] > 0 && static_cast<double>(costs[x]) <= k) candidates.push_back(static_cast<int>(x));
    fitting = candidates;
    evaluate();
}

void CoverageBound::add(int pick, std::span<const std::span<const int>> streams) {
    assert(!walked);
    // Records [hyperedge id, m, u1 .. um]: one newly covered hyperedge each.
    for (std::span<const int> s : streams) {
        for (std::size_t at = 0; at < s.size();) {
            const std::size_t m = static_cast<std::size_t>(s[at + 1]);
            for (int u : s.subspan(at + 2, m)) {
                --gain[static_cast<std::size_t>(u - 1)];
                members.push_back(u);
            }
            ++covered;
            at += 2 + m;
        }
    }
    int& own = gain[static_cast<std::size_t>(pick - 1)];
    picks.push_back({pick, own, members.size(), covered});
    own = 0;
    if (picks.size() % every == 0) evaluate();
}

double CoverageBound::knapsack(bool compact) {
    // Gains only fall, so the ratio at which the knapsack cuts never rises
    // from one prefix to the next. Items from half the last cut up usually
    // fill the budget alone: then the rest, most nodes, cannot change the
    // value and only these are searched. The value is the same either way.
    const double pivot = cut / 2;
    items.clear();
    rest.clear();
    double costAbove = 0, gainAbove = 0;
    std::vector<int>& nodes = compact ? candidates : fitting;
    std::size_t kept = 0;
    for (int x : nodes) {
        const int g = gain[static_cast<std::size_t>(x)];
        if (g <= 0) continue;  // as the seeds join, a gain at 0 stays there
        if (compact) nodes[kept++] = x;
        const double c = static_cast<double>(costs[static_cast<std::size_t>(x)]);
        const KnapsackItem item{static_cast<double>(g), c, static_cast<double>(g) / c};
        if (item.ratio >= pivot) {
            items.push_back(item);
            costAbove += c;
            gainAbove += item.gain;
        } else {
            rest.push_back(item);
        }
    }
    if (compact) nodes.resize(kept);
    // Every item above the pivot fits and outranks every other, or they fill
    // the budget alone.
    if (costAbove >= k) return fractionalKnapsack(items, k, &cut);
    return gainAbove + fractionalKnapsack(rest, k - costAbove, &cut);
}

void CoverageBound::evaluate() {
    const double f = knapsack(true);
    knapsackAt.push_back(f);
    best = std::min(best, static_cast<double>(covered) + f);
}

double CoverageBound::value() {
    if (walked) return best;
    walked = true;
    // The prefixes the knapsack has not seen, last to first, undoing each
    // pick in turn: prefix j lies below the knapsack prefix j2 = g * (j / g + 1),
    // or is the last one, which is evaluated first.
    const std::size_t last = picks.size();
    double below = 0;  // F at the knapsack prefix above the one being undone to
    if (last % every != 0) {
        below = knapsack(true);
        best = std::min(best, static_cast<double>(covered) + below);
    } else {
        below = knapsackAt.back();
    }
    for (std::size_t j = last; j-- > 0;) {
        // Undo pick j (0-based): the prefix becomes S_j.
        const Pick& p = picks[j];
        gain[static_cast<std::size_t>(p.node - 1)] = p.gainBefore;
        const std::size_t from = j > 0 ? picks[j - 1].membersEnd : 0;
        for (std::size_t i = from; i < p.membersEnd; ++i) ++gain[static_cast<std::size_t>(members[i] - 1)];
        const long long coveredHere = j > 0 ? picks[j - 1].coveredAfter : 0;
        if (j % every == 0) {
            below = knapsackAt[j / every];  // seen as the seeds joined
            continue;
        }
        if (static_cast<double>(coveredHere) + below >= best) continue;
        best = std::min(best, static_cast<double>(coveredHere) + knapsack(false));
    }
    return best;
}

double coverageUpperBound(const HyperGraph& hg, const std::vector<int>& seeds, unsigned n, double k,
                          const std::vector<float>& costs) {
    CoverageShard shard(hg, BlockShare{});
    CoverageBound bound(shard.localGains(n), costs, k, seeds.size());
    std::vector<int> stream;
    for (int s : seeds) {
        shard.cover(s, stream);
        const std::span<const int> streams[] = {stream};
        bound.add(s, streams);
    }
    return bound.value();
}

double certificateExponent(double delta, int iterations) { return std::log(2.0 * iterations / delta); }

double hitsLowerBound(double hits, double a) {
    const double root = std::sqrt(hits + 2 * a / 9) - std::sqrt(a / 2);
    // Between 0 and the hits, which rounding alone could leave.
    return std::clamp(root * root - a / 18, 0.0, hits);
}

double coverageUpperConfidence(double bound, double a) {
    const double root = std::sqrt(bound + a / 2) + std::sqrt(a / 2);
    return root * root;
}

}  // namespace lattis
