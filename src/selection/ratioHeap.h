// The greedy selection's heap: MappedHeap<InfCost> over the node ids 0 ..
// count - 1 (built as MappedHeap::firstIds builds it) with the same sift
// rules, so the same ids leave in the same order, ties included.
//
// MappedHeap's comparator divides a gain by a cost, read through the id,
// at every comparison: two misses and two divisions per element on a large
// network. Here each slot holds its id's ratio beside the id, computed once
// when the gain changes, so a sift compares two children in one cache line.
// The ratios are the comparator's own single-precision quotients, and a
// stored ratio always equals the one the comparator would compute, since an
// id's gain changes only through decreased(). NaN (0 / 0) and +inf (a
// positive gain over a zero cost) compare as there.
// Per id it holds 12 bytes (a slot and a position), 4 more than MappedHeap.
// build may be called again on a heap, for another count.
#pragma once

#include <cassert>
#include <cstddef>

#include "core/workTable.h"

namespace lattis {

class RatioHeap {
public:
    // The ids 0 .. count - 1 keyed by gain[id] / cost[id], then built bottom-up.
    void build(int count, const int* gain, const float* cost) {
        n = count > 0 ? count : 0;
        const std::size_t slots = static_cast<std::size_t>(n) + 1;
        slot.resize(slots);
        position.resize(slots);
        for (int i = 0; i < n; ++i) {
            slot[static_cast<std::size_t>(i) + 1] = Slot{ratio(gain[i], cost[i]), i};
            position[static_cast<std::size_t>(i)] = i + 1;
        }
        for (int s = n / 2; s >= 1; --s) down(s);
    }

    bool empty() const { return n <= 0; }
    // Slot of id: 0 once popped (the last id popped alone keeps 1, as in
    // MappedHeap); for inspection by tests.
    int positionOf(int id) const { return position[static_cast<std::size_t>(id)]; }
    // Whether id is still in the heap (the last id popped keeps slot 1 but
    // the heap is then empty).
    bool contains(int id) const {
        const int s = position[static_cast<std::size_t>(id)];
        return s >= 1 && s <= n;
    }

    // Removes and returns the id with the greatest ratio; the heap must not be empty.
    int pop() {
        assert(n > 0);
        const int top = slot[1].id;
        position[static_cast<std::size_t>(top)] = 0;
        slot[1] = slot[static_cast<std::size_t>(n)];
        position[static_cast<std::size_t>(slot[1].id)] = 1;
        --n;
        down(1);
        return top;
    }

    // The gain of id, still in the heap, fell to `gain`: its new ratio, then
    // the sift-down of MappedHeap::decreased. Returns the final slot.
    int decreased(int id, int gain, float cost) {
        const int s = position[static_cast<std::size_t>(id)];
        assert(s >= 1 && s <= n);
        slot[static_cast<std::size_t>(s)].key = ratio(gain, cost);
        return down(s);
    }

private:
    struct Slot {
        float key;
        int id;
    };
    static float ratio(int gain, float cost) { return static_cast<float>(gain) / cost; }

    // MappedHeap::down_heap, moving the sifted slot once at the end instead
    // of swapping at every level: the same comparisons, the same result.
    int down(int k) {
        const Slot x = slot[static_cast<std::size_t>(k)];
        while (2 * k <= n) {
            int child = 2 * k;
            if (child + 1 <= n && slot[static_cast<std::size_t>(child) + 1].key > slot[static_cast<std::size_t>(child)].key)
                child = child + 1;
            const Slot& c = slot[static_cast<std::size_t>(child)];
            if (!(c.key > x.key)) break;
            slot[static_cast<std::size_t>(k)] = c;
            position[static_cast<std::size_t>(c.id)] = k;
            k = child;
        }
        slot[static_cast<std::size_t>(k)] = x;
        position[static_cast<std::size_t>(x.id)] = k;
        return k;
    }

    WorkTable<Slot> slot;     // slots 1..n; slot 0 unused
    WorkTable<int> position;  // slot of each id
    int n = 0;
};

}  // namespace lattis
