// Exact hyperedge statistics of tiny networks by enumerating every live-edge
// outcome, for checking sampled frequencies: the probability that each node
// lies in the hyperedge, and that the hyperedge holds a seed.
//
// LT: every node independently keeps at most one in-edge, with the
// probabilities its cumulative thresholds give the draws (boundary draws
// counted as the searches count them). IC: every in-edge is live
// independently with its threshold over 2^32. Roots follow the widths of the
// root distribution, with the top draw on the last position with a positive
// benefit.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <span>
#include <vector>

#include "graph/graph.h"
#include "sampling/hyperGraph.h"

namespace lattis {

namespace enumeration {

inline constexpr double kTwo32 = 4294967296.0;

// Probability of each root node: the widths of the root distribution, with
// the top draw on the last position with a positive benefit.
inline std::map<int, double> rootProbabilities(const Graph& g, const HyperGraph& hg) {
    const std::span<const UI> d = hg.rootDistribution();
    std::map<int, double> p;
    std::size_t lastPositive = 0;
    for (std::size_t j = 0; j < g.getBen().size(); ++j)
        if (g.getBen()[j] > 0) lastPositive = j;
    for (std::size_t j = 0; j + 1 < d.size(); ++j) {
        double width = static_cast<double>(d[j + 1] - d[j]) + (j == lastPositive ? 1.0 : 0.0);
        if (width > 0) p[static_cast<int>(g.getNodeInBen(static_cast<unsigned>(j)))] += width / kTwo32;
    }
    return p;
}

struct Exact {
    std::vector<double> contains;  // P(node in the hyperedge), by node id
    double hit = 0;                // P(the hyperedge holds a seed)
};

// LT: every node independently keeps at most one in-edge; the sample from r
// follows kept edges backwards until none is kept or a node repeats. Choice
// probabilities count the draws each search maps to each in-neighbour.
inline Exact exactLT(const Graph& g, const HyperGraph& hg, const std::vector<int>& seeds) {
    const int n = g.getSize();
    struct Choice {
        double p;
        int next;  // 0: the walk stops
    };
    std::vector<std::vector<Choice>> choices(static_cast<std::size_t>(n) + 1);
    for (int v = 1; v <= n; ++v) {
        const auto w = g.getWeight(v);
        const auto in = g[v];
        const std::size_t s = w.size();
        auto& c = choices[static_cast<std::size_t>(v)];
        c.push_back({s == 1 ? 1.0 : (kTwo32 - 1 - w[s - 1]) / kTwo32, 0});
        for (std::size_t p = 1; p < s; ++p) {
            double count = static_cast<double>(w[p] - w[p - 1]);
            if (s >= 32 && p == s - 1) count += 1;  // the draw equal to the last entry
            if (s < 32 && p == 1) count += 1;       // the draw 0
            c.push_back({count / kTwo32, in[p - 1]});
        }
    }
    Exact ex{std::vector<double>(static_cast<std::size_t>(n) + 1, 0.0), 0};
    const std::map<int, double> roots = rootProbabilities(g, hg);
    std::vector<std::size_t> pick(static_cast<std::size_t>(n) + 1, 0);
    std::set<int> seedSet(seeds.begin(), seeds.end());
    for (;;) {
        double p = 1;
        for (int v = 1; v <= n; ++v) p *= choices[static_cast<std::size_t>(v)][pick[static_cast<std::size_t>(v)]].p;
        if (p > 0) {
            for (const auto& [r, pr] : roots) {
                std::vector<bool> seen(static_cast<std::size_t>(n) + 1);
                bool hit = false;
                for (int cur = r; cur != 0 && !seen[static_cast<std::size_t>(cur)];
                     cur = choices[static_cast<std::size_t>(cur)][pick[static_cast<std::size_t>(cur)]].next) {
                    seen[static_cast<std::size_t>(cur)] = true;
                    ex.contains[static_cast<std::size_t>(cur)] += p * pr;
                    hit |= seedSet.count(cur) > 0;
                }
                if (hit) ex.hit += p * pr;
            }
        }
        int v = 1;
        while (v <= n && ++pick[static_cast<std::size_t>(v)] == choices[static_cast<std::size_t>(v)].size())
            pick[static_cast<std::size_t>(v++)] = 0;
        if (v > n) break;
    }
    return ex;
}

// IC: every in-edge is live independently with its threshold over 2^32; the
// sample from r is everything that reaches r over live edges.
inline Exact exactIC(const Graph& g, const HyperGraph& hg, const std::vector<int>& seeds) {
    const int n = g.getSize();
    struct Edge {
        int u, v;
        double p;
    };
    std::vector<Edge> edges;
    for (int v = 1; v <= n; ++v) {
        const auto w = g.getWeight(v);
        const auto in = g[v];
        for (std::size_t j = 0; j < in.size(); ++j) edges.push_back({in[j], v, w[j + 1] / kTwo32});
    }
    EXPECT_LE(edges.size(), 16u);
    Exact ex{std::vector<double>(static_cast<std::size_t>(n) + 1, 0.0), 0};
    const std::map<int, double> roots = rootProbabilities(g, hg);
    std::set<int> seedSet(seeds.begin(), seeds.end());
    for (std::uint32_t live = 0; live < (1u << edges.size()); ++live) {
        double p = 1;
        std::vector<std::vector<int>> in(static_cast<std::size_t>(n) + 1);
        for (std::size_t i = 0; i < edges.size(); ++i) {
            const bool on = (live >> i) & 1u;
            p *= on ? edges[i].p : 1 - edges[i].p;
            if (on) in[static_cast<std::size_t>(edges[i].v)].push_back(edges[i].u);
        }
        if (p == 0) continue;
        for (const auto& [r, pr] : roots) {
            std::vector<bool> seen(static_cast<std::size_t>(n) + 1);
            std::vector<int> queue = {r};
            seen[static_cast<std::size_t>(r)] = true;
            bool hit = false;
            for (std::size_t head = 0; head < queue.size(); ++head) {
                const int cur = queue[head];
                ex.contains[static_cast<std::size_t>(cur)] += p * pr;
                hit |= seedSet.count(cur) > 0;
                for (int u : in[static_cast<std::size_t>(cur)])
                    if (!seen[static_cast<std::size_t>(u)]) {
                        seen[static_cast<std::size_t>(u)] = true;
                        queue.push_back(u);
                    }
            }
            if (hit) ex.hit += p * pr;
        }
    }
    return ex;
}

}  // namespace enumeration

}  // namespace lattis
