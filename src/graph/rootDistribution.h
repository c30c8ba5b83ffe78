// The benefit-weighted distribution from which every reverse sample draws
// its root.
//
// bDist holds the cumulative benefits of the Graph's benefit positions scaled
// to 0 .. UI_MAX (entry 0 is 0, entry i the scaled sum of the first i
// positions), so one draw picks position p with probability about its share
// of the positive benefit. It assumes the positions hold only positive
// benefits or zeros (both benefit layouts do). Every entry from the last
// positive position on is UI_MAX, and the top draw 4294967295 belongs to the
// last positive position, so every draw yields a real node. A table over the
// top bits of the draw narrows the binary search to a few positions. Where
// every position up to the last positive one has the same benefit (unit
// benefits), the position is draw * positions / 2^32 instead, corrected
// against the entries by a step if rounding put it off, with the same
// result; where the entries are exactly the scaled multiples, it is computed
// from the draw alone.
#pragma once

#include <span>
#include <vector>

#include "core/growArray.h"
#include "graph/graph.h"

namespace lattis {

class RootDistribution {
public:
    RootDistribution() = default;
    // Throws std::runtime_error when no position has a positive benefit.
    explicit RootDistribution(const Graph& g);

    // The benefit position (from 0) that draw ran selects: the p - 1 for the
    // p with bDist[p - 1] <= ran < bDist[p].
    UI positionFor(UI ran) const;
    // The node at that position; benIndex is the Graph's (GraphView::benIndex).
    UI nodeFor(UI ran, const UI* benIndex) const {
        const UI p = positionFor(ran);
        return idsInOrder ? p + 1 : benIndex[p];
    }

    std::span<const UI> cumulative() const { return bDist.view(); }
    UI size() const { return benSize; }

private:
    // A mapping of its own, filled on the team: its pages are cleared by
    // the threads that first write them.
    GrowArray<UI> bDist;
    UI benSize = 0;
    UI lastPositive = 0;  // last position with a positive benefit
    // rootStart[j]: the first position whose entry passes the least draw of
    // bucket j (the draws with j in their top 32 - rootShift bits); one entry
    // more at the end holds benSize.
    std::vector<UI> rootStart;
    int rootShift = 31;
    // Every position up to lastPositive holds the same benefit, and then
    // whether entry i up to lastPositive + 1 is floor(UI_MAX * i / (lastPositive + 1)).
    bool uniform = false;
    bool exact = false;
    // Position p holds node p + 1 for every p up to lastPositive, so
    // nodeFor need not read the Graph's table.
    bool idsInOrder = false;
};

}  // namespace lattis
