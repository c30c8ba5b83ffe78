// The split greedy cover; see distributedSelection.h. The budget rule and the
// degree table are BudgetGreedy's, as in buildSeedSetCost (selection.cpp),
// and the order of decrements is the same, so that both give the same seeds
// for the same store.
#include "selection/distributedSelection.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace lattis {

CoverageShard::CoverageShard(const HyperGraph& hg, const BlockShare& share)
    : hg(hg), share(share), edgeMark(static_cast<std::size_t>(hg.getNumEdge()), false) {}

std::vector<int> CoverageShard::localGains(unsigned n) const {
    std::vector<int> gains(n);
    for (unsigned x = 1; x <= n; ++x) gains[x - 1] = static_cast<int>(hg.getNode(static_cast<int>(x)).size());
    return gains;
}

void CoverageShard::cover(int pick, std::vector<int>& stream) {
    stream.clear();
    // Local ids grow with run-wide ids, so the list order is the id order.
    for (int h : hg.getNode(pick)) {
        if (edgeMark[static_cast<std::size_t>(h)]) continue;
        edgeMark[static_cast<std::size_t>(h)] = true;
        stream.push_back(static_cast<int>(share.globalEdge(h)));
        const std::size_t countAt = stream.size();
        stream.push_back(0);
        for (int u : hg.getEdge(h))
            if (u != pick) stream.push_back(u);
        stream[countAt] = static_cast<int>(stream.size() - countAt - 1);
    }
}

GreedyRoot::GreedyRoot(const std::vector<int>& gains, double k, const std::vector<float>& costs,
                       std::vector<double>& degree, long long& totalDegree, SelectRule rule)
    : tables(static_cast<int>(gains.size()), costs.data()), greedy(tables, k, rule, degree, totalDegree) {
    assert(costs.size() >= gains.size());
    int* gain = greedy.gains();
    std::vector<int> positive;
    for (std::size_t x = 0; x < gains.size(); ++x)
        if (gains[x] != 0) {
            gain[x] = gains[x];
            positive.push_back(static_cast<int>(x));
        }
    greedy.start(std::move(positive));
}

void GreedyRoot::apply(std::span<const std::span<const int>> streams) {
    cursor.assign(streams.size(), 0);
    for (;;) {
        // The record with the least hyperedge id among the streams' heads.
        std::size_t best = streams.size();
        for (std::size_t r = 0; r < streams.size(); ++r)
            if (cursor[r] < streams[r].size() &&
                (best == streams.size() || streams[r][cursor[r]] < streams[best][cursor[best]]))
                best = r;
        if (best == streams.size()) return;
        const std::span<const int> s = streams[best];
        const std::size_t m = static_cast<std::size_t>(s[cursor[best] + 1]);
        for (int u : s.subspan(cursor[best] + 2, m)) greedy.lower(u);
        cursor[best] += 2 + m;
    }
}

}  // namespace lattis
