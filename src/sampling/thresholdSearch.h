// The two searches that turn one draw into a position of a non-decreasing
// threshold list w (w[0] = 0): the interval p with w[p - 1] .. w[p] that holds
// the draw, or -1 when the list has fewer than two entries or the draw lies
// above its last entry.
//
// They differ only at boundaries: binary search puts a draw equal to a
// boundary into the interval above it (and a draw equal to w[si - 1] into the
// last interval), the linear scan into the interval below it (a draw of 0
// into the first). Both are what the LT walk and the root draw have always
// used, so a given stream of draws yields the same hyperedges.
#pragma once

#include "core/types.h"

namespace lattis {

inline int binIndex(const UI* w, UI si, UI ran) {
    if (si <= 1 || w[si - 1] < ran) return -1;
    int left = 1;
    int right = static_cast<int>(si) - 1;
    int prob = 0;
    for (UI pass = 0; pass < si; ++pass) {
        prob = (left + right) / 2;
        if (w[prob - 1] > ran)
            right = prob - 1;
        else if (w[prob] <= ran)
            left = prob + 1;
        else
            break;
    }
    return prob;
}

inline int linIndex(const UI* w, UI si, UI ran) {
    if (si <= 1 || w[si - 1] < ran) return -1;
    UI i = 1;
    while (w[i] < ran) ++i;
    return static_cast<int>(i);
}

// The LT walk's choice: binary search for lists of 32 entries or more, the
// linear scan below that.
inline int ltIndex(const UI* w, UI si, UI ran) { return si >= 32 ? binIndex(w, si, ran) : linIndex(w, si, ran); }

}  // namespace lattis
