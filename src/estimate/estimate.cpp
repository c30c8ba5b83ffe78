// What every benefit estimate shares: the stopping bound, the scaled
// estimate, the check's generator key and the reachability pre-check; see
// estimate.h.
#include "estimate/estimate.h"

#include <cassert>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <span>

#include "estimate/blockEstimate.h"
#include "sampling/fastSampler.h"
#include "graph/graphView.h"

namespace lattis {

float stoppingBound(float epsilon, float delta) {
    const float e = epsilon;
    float b = e + e;
    b = b / 3.0f;
    b = 2.0f + b;
    b = b * (e + 1.0f);
    b = b * std::log(2.0f / delta);
    b = b / (e * e);
    return b + 1.0f;
}

void keyCheckGenerator(HyperGraph& hg, unsigned seed) {
    constexpr std::uint32_t kCheckTag = 0x6f737472;  // "ostr"
    const std::uint32_t key[] = {kCheckTag, static_cast<std::uint32_t>(seed)};
    sfmt_init_by_array(&hg.generator(), key, 2);
}

double scaledEstimate(double benefit, long long hits, long long samples) {
    const double h = static_cast<double>(hits), s = static_cast<double>(samples);
    const double product = benefit * h;
    return std::isfinite(product) ? product / s : benefit * (h / s);
}

bool seedsReachRoot(const Graph& g, const HyperGraph& hg, const std::vector<int>& seeds,
                    const FastSampler* fast) {
    const int n = g.getSize();
    std::vector<char> isSeed(static_cast<std::size_t>(n) + 1, 0);
    for (int s : seeds) {
        assert(s >= 1 && s <= n);
        isSeed[static_cast<std::size_t>(s)] = 1;
    }
    // The roots a draw can pick: positions of positive width. A seed among
    // them settles it at once, as it does for almost every real seed set.
    std::vector<int> queue;
    std::vector<char> seen(static_cast<std::size_t>(n) + 1, 0);
    const std::span<const UI> bDist = hg.rootDistribution();
    for (std::size_t p = 0; p + 1 < bDist.size(); ++p) {
        const int v = static_cast<int>(g.getNodeInBen(static_cast<unsigned>(p)));
        if (bDist[p + 1] <= bDist[p] || v == 0 || seen[static_cast<std::size_t>(v)]) continue;
        if (isSeed[static_cast<std::size_t>(v)]) return true;
        seen[static_cast<std::size_t>(v)] = 1;
        queue.push_back(v);
    }
    // Otherwise search backwards from the roots along the in-edges that can
    // fire (IC: threshold above 0; LT: an interval of positive width), as a
    // reverse sample may; memory stays linear in the nodes.
    auto reach = [&](int u) {
        if (isSeed[static_cast<std::size_t>(u)]) return true;
        if (!seen[static_cast<std::size_t>(u)]) {
            seen[static_cast<std::size_t>(u)] = 1;
            queue.push_back(u);
        }
        return false;
    };
    // The fast sampler's tables stand for the thresholds it may have replaced.
    const GraphView view = g.view();
    const bool lt = g.model() == Model::LT;
    auto eachFiring = [&](int v, auto&& f) {
        if (fast != nullptr) {
            fast->forEachFiringInNeighbour(view, v, f);
            return;
        }
        const std::span<const int> in = g[v];
        const std::span<const UI> w = g.getWeight(v);
        for (std::size_t j = 0; j < in.size(); ++j)
            if (lt ? w[j + 1] > w[j] : w[j + 1] > 0) f(in[j]);
    };
    for (std::size_t head = 0; head < queue.size(); ++head) {
        bool found = false;
        eachFiring(queue[head], [&](int u) { found = found || reach(u); });
        if (found) return true;
    }
    return false;
}

void calculateInfluence(const Graph& g, HyperGraph& hg, const std::vector<int>& seeds, int t, float epsilon_2,
                        float delta) {
    EstimateSettings settings;
    settings.threads = t;
    settings.epsilon = epsilon_2;
    settings.delta = delta;
    settings.order = EstimateOrder::ThreadStreams;
    std::cout << estimateInBlocks(g, hg, seeds, settings).estimate << std::endl;
}

}  // namespace lattis
