// A binary max-heap of integer element ids with a position map, so that the
// entry of any id can be re-sifted in logarithmic time after its key changed.
//
// The keys are not stored here: the comparator reads them from the caller's
// arrays at every comparison. The exact sift rules below decide which of
// several equal-ratio ids leaves first, and the greedy selection's seed sets
// depend on them, so they are fixed rather than merely "a valid heap":
// slots are 1-based (slot 0 is never a heap slot), a move needs a strictly
// greater key, the left child wins a tie between children, the build sifts
// down from slot n/2 to 1, and heapify sifts up all the way to the root before
// sifting down from wherever the id then rests.
//
// position[id] is the slot of id, -1 for an id that never entered the heap;
// pop leaves 0 for the id it takes out (but the last remaining id, popped
// alone, is moved into slot 1 after its 0 is written and so keeps 1).
#pragma once

#include <algorithm>
#include <cassert>
#include <iostream>
#include <utility>
#include <vector>

namespace lattis {

template <class CompareLess>
class MappedHeap {
public:
    // Ids must be non-negative; the heap starts in the order of v and is then
    // built bottom-up.
    MappedHeap(const std::vector<int>& v, CompareLess cl) : n(0), compLess(cl) {
        if (v.empty()) return;
        n = static_cast<int>(v.size());
        heap.resize(static_cast<std::size_t>(n) + 1, 0);
        int largest = *std::max_element(v.begin(), v.end());
        assert(*std::min_element(v.begin(), v.end()) >= 0);
        position.assign(static_cast<std::size_t>(std::max(largest, n)) + 3, -1);
        for (int i = 0; i < n; ++i) {
            heap[i + 1] = v[i];
            position[v[i]] = i + 1;
        }
        for (int s = n / 2; s >= 1; --s) down_heap(s);
    }

    // The heap the constructor above builds from the ids 0 .. count - 1 in
    // order, without that list.
    static MappedHeap firstIds(int count, CompareLess cl) {
        MappedHeap h(std::vector<int>{}, cl);
        h.n = count > 0 ? count : 0;
        if (h.n == 0) return h;
        h.heap.resize(static_cast<std::size_t>(h.n) + 1, 0);
        h.position.assign(static_cast<std::size_t>(h.n) + 3, -1);
        for (int i = 0; i < h.n; ++i) {
            h.heap[i + 1] = i;
            h.position[i] = i + 1;
        }
        for (int s = h.n / 2; s >= 1; --s) h.down_heap(s);
        return h;
    }

    bool empty() const { return n <= 0; }
    unsigned size() const { return n > 0 ? static_cast<unsigned>(n) : 0u; }
    // Slot of id (see the position map above); for inspection by tests.
    int positionOf(int id) const { return position[id]; }

    // Removes and returns the id with the greatest ratio; -1 when empty.
    int pop() {
        if (empty()) {
            std::cerr << "Error: Cannot pop from an empty heap!" << std::endl;
            return -1;
        }
        int top = heap[1];
        position[heap[1]] = 0;
        heap[1] = heap[n];
        position[heap[1]] = 1;
        n = n - 1;
        down_heap(1);
        return top;
    }

    // Restores the order after the key of id key changed; returns its final slot.
    int heapify(int key) {
        assert(position[key] >= 1 && position[key] <= n);
        up_heap(position[key]);
        return down_heap(position[key]);
    }

    // heapify for a key whose ratio did not grow, in the heap's own order:
    // heapify's walk to the root then meets only pairs that were in order
    // before and compare the same (a parent no lower than the changed child
    // stays no lower), so it moves nothing and only the sift-down remains.
    // Assumes no ratio in the heap is NaN (the selection's costs are > 0).
    int decreased(int key) {
        assert(position[key] >= 1 && position[key] <= n);
        return down_heap(position[key]);
    }

private:
    void swapSlots(int a, int b) {
        std::swap(position[heap[b]], position[heap[a]]);
        std::swap(heap[a], heap[b]);
    }

    // Walks every ancestor up to the root even after a comparison finds the
    // pair in order; that fixed walk is part of the tie behaviour.
    int up_heap(int k) {
        while (k > 1) {
            int p = k / 2;
            if (compLess(heap[p], heap[k])) swapSlots(p, k);
            k = p;
        }
        return k;
    }

    int down_heap(int k) {
        while (2 * k <= n) {
            int child = 2 * k;
            if (child + 1 <= n && compLess(heap[child], heap[child + 1])) child = child + 1;
            if (!compLess(heap[k], heap[child])) break;
            swapSlots(child, k);
            k = child;
        }
        return k;
    }

    std::vector<int> heap;       // slots 1..n; slot 0 unused
    std::vector<int> position;   // slot of each id
    int n;
    CompareLess compLess;
};

}  // namespace lattis
