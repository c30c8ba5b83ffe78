// A binary max-heap of integer element ids with a position map, so that the
// entry of any id can be re-sifted in logarithmic time after its key changed.
//
// The exact sift rules below decide which of several equal-ratio ids leaves
// first, and the greedy selection's seed sets depend on them, so they are
// fixed rather than merely "a valid heap": slots are 1-based (slot 0 is never
// a heap slot), a move needs a strictly greater key, the left child wins a
// tie between children, the build sifts down from slot n/2 to 1, and heapify
// sifts up all the way to the root before sifting down from wherever the id
// then rests.
//
// Each slot keeps its id's key beside the id, computed by the comparator
// (compLess.ratio(id)) when the id enters the heap and again by heapify or
// decreased, so a sift compares two children in one cache line instead of
// reading two arrays through the ids. The comparator's operator()(a, b) must
// be ratio(b) > ratio(a), as InfCost's is. The caller may change the arrays
// behind an id's key, but must then call heapify or decreased for that id
// before the next operation: the heap never reads a key it did not store.
//
// position[id] is the slot of id, -1 for an id that never entered the heap;
// pop leaves 0 for the id it takes out (but the last remaining id, popped
// alone, is moved into slot 1 after its 0 is written and so keeps 1).
//
// Both tables start as fresh zero memory at every build and hold each entry
// relative to its starting value (a slot holds the id one below it, an id
// sits in the slot one above it), so the zero bytes already mean "id s - 1
// in slot s with key 0" and a build over ids 0 .. count - 1 writes only keys.
//
// The selection's own heap is SparseHeap (sparseHeap.h), which follows these
// rules for pops and lowered keys in the size of the store; this one is the
// general form, with heapify and builds from any list of ids.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <iostream>
#include <utility>
#include <vector>

#include "core/growArray.h"

namespace lattis {

template <class CompareLess>
class MappedHeap {
    using Key = decltype(std::declval<const CompareLess&>().ratio(0));

public:
    explicit MappedHeap(CompareLess cl) : n(0), compLess(cl) {}

    // Ids must be non-negative; the heap starts in the order of v and is then
    // built bottom-up.
    MappedHeap(const std::vector<int>& v, CompareLess cl) : n(0), compLess(cl) {
        if (v.empty()) return;
        assert(*std::min_element(v.begin(), v.end()) >= 0);
        const int largest = *std::max_element(v.begin(), v.end());
        fresh(static_cast<int>(v.size()), std::max(largest, static_cast<int>(v.size())) + 3);
        for (int id = 0; id < static_cast<int>(positionCount); ++id) setPosition(id, -1);
        for (int i = 0; i < n; ++i) put(i + 1, Entry{compLess.ratio(v[static_cast<std::size_t>(i)]), v[static_cast<std::size_t>(i)]});
        for (int s = n / 2; s >= 1; --s) down_heap(s);
    }

    // The heap the constructor above builds from the ids 0 .. count - 1 in
    // order, without that list.
    static MappedHeap firstIds(int count, CompareLess cl) {
        MappedHeap h(cl);
        h.buildFirstIds(count);
        return h;
    }

    // Rebuilds this heap as firstIds(count) would.
    void buildFirstIds(int count) {
        fresh(count, count + 3);
        for (int i = 0; i < n; ++i) heap[static_cast<std::size_t>(i) + 1].key = compLess.ratio(i);
        for (int s = n / 2; s >= 1; --s) down_heap(s);
    }

    bool empty() const { return n <= 0; }
    unsigned size() const { return n > 0 ? static_cast<unsigned>(n) : 0u; }
    // Slot of id (see the position map above); for inspection by tests.
    int positionOf(int id) const { return slotOf(id); }
    // Whether id is still in the heap (the last id popped keeps slot 1 but
    // the heap is then empty).
    bool contains(int id) const {
        const int s = slotOf(id);
        return s >= 1 && s <= n;
    }

    // Removes and returns the id with the greatest ratio; -1 when empty.
    int pop() {
        if (empty()) {
            std::cerr << "Error: Cannot pop from an empty heap!" << std::endl;
            return -1;
        }
        const int top = at(1).id;
        setPosition(top, 0);
        put(1, at(n));
        n = n - 1;
        down_heap(1);
        return top;
    }

    // Restores the order after the key of id key changed; returns its final slot.
    int heapify(int key) {
        assert(contains(key));
        heap[static_cast<std::size_t>(slotOf(key))].key = compLess.ratio(key);
        up_heap(slotOf(key));
        return down_heap(slotOf(key));
    }

    // heapify for a key whose ratio did not grow, in the heap's own order:
    // heapify's walk to the root then meets only pairs that were in order
    // before and compare the same (a parent no lower than the changed child
    // stays no lower), so it moves nothing and only the sift-down remains.
    // Assumes no ratio in the heap is NaN (the selection's costs are > 0).
    int decreased(int key) { return decreasedTo(key, keyOf(key)); }

    // decreased for an id whose key the caller took with keyOf after the
    // last change of the arrays behind it; lets a caller take the keys of a
    // run of changes in one pass and sift them in the same order after.
    int decreasedTo(int id, Key key) {
        assert(contains(id));
        const int s = slotOf(id);
        heap[static_cast<std::size_t>(s)].key = key;
        return down_heap(s);
    }
    // The key id would be stored with now.
    Key keyOf(int id) const { return compLess.ratio(id); }

private:
    struct Slot {
        Key key;
        int shift;  // id - (slot - 1)
    };
    struct Entry {
        Key key;
        int id;
    };

    static int depthOf(int count) {
        int d = 0;
        while (count >> (d + 1)) ++d;
        return d;
    }

    // Fresh zero tables for `count` ids and `ids` position entries.
    void fresh(int count, int ids) {
        n = count > 0 ? count : 0;
        heap.release();
        position.release();
        heap.resize(static_cast<std::size_t>(n) + 1);
        positionCount = static_cast<std::size_t>(std::max(ids, 0));
        position.resize(positionCount);
    }

    Entry at(int s) const {
        const Slot& x = heap[static_cast<std::size_t>(s)];
        return Entry{x.key, x.shift + s - 1};
    }
    int slotOf(int id) const { return position[static_cast<std::size_t>(id)] + id + 1; }
    void setPosition(int id, int s) { position[static_cast<std::size_t>(id)] = s - id - 1; }
    void put(int s, Entry e) {
        heap[static_cast<std::size_t>(s)] = Slot{e.key, e.id - s + 1};
        setPosition(e.id, s);
    }

    // Walks every ancestor up to the root even after a comparison finds the
    // pair in order; that fixed walk is part of the tie behaviour.
    int up_heap(int k) {
        while (k > 1) {
            const int p = k / 2;
            const Entry a = at(p), b = at(k);
            if (b.key > a.key) {
                put(p, b);
                put(k, a);
            }
            k = p;
        }
        return k;
    }

    // Moves the sifted entry once at the end instead of swapping at every
    // level: the same comparisons, the same result. An entry that stays is
    // not written back: slot k holds it already, and its position.
    int down_heap(int k) {
        const Entry x = at(k);
        const int from = k;
        while (2 * k <= n) {
            int child = 2 * k;
            if (child + 1 <= n && heap[static_cast<std::size_t>(child) + 1].key > heap[static_cast<std::size_t>(child)].key)
                child = child + 1;
            const Entry c = at(child);
            if (!(c.key > x.key)) break;
            put(k, c);
            k = child;
        }
        if (k != from) put(k, x);
        return k;
    }

    GrowArray<Slot> heap;      // slots 1..n; slot 0 unused
    GrowArray<int> position;   // slot of each id, relative to id + 1
    std::size_t positionCount = 0;
    int n;
    CompareLess compLess;
};

}  // namespace lattis
