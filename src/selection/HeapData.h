// The order of the selection heap: element x ranks by v1[x] / v2[x], gain per
// cost, computed in single precision from two arrays the caller owns.
//
// The comparator holds only the two pointers, so the caller may change a gain
// between heap operations and then re-sift that element. The quotient is
// formed in float on purpose: the selection's ties and near-ties, and so its
// seed sets, depend on exactly this rounding. A NaN quotient (0 / 0) makes
// every comparison false, so such an element never passes another; a
// positive gain over a zero cost is +inf and ranks above every finite one.
#pragma once

namespace lattis {

template <class T1, class T2>
struct InfCost {
    T1* v1;   // gains, indexed by element id
    T2* v2;   // costs, indexed by element id

    InfCost(T1* u1, T2* u2) : v1(u1), v2(u2) {}

    float ratio(int x) const { return static_cast<float>(v1[x]) / static_cast<float>(v2[x]); }

    // The "less" of a max-heap: a is less than b when b has strictly more gain per cost.
    bool operator()(int a, int b) const { return ratio(b) > ratio(a); }
};

}  // namespace lattis
