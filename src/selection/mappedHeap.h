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
// in slot s with key 0". A build over ids 0 .. count - 1 therefore writes
// only the slots of ids whose key may not be 0 (buildFirstIds with a list),
// and sifts only the slots above them: its work follows that list, not
// count. The memory of untouched pages is never faulted in.
//
// Such a sparse build writes only the slots of its keyed ids and their
// ancestors; while no key grows (decreased and pop only), later sifts move
// entries only into slots of positive keys, so into those same slots, and a
// pop writes the root and vacates the last slot. The next sparse build over
// the same count therefore zeroes just those slots and the position entries
// of their ids, keeping the tables, rather than taking fresh ones: the
// selections of a run then cost what their stores hold, not count. Any
// other build, and heapify, which may raise a key, leave the next build
// fresh tables.
#pragma once

#include <algorithm>
#include <atomic>
#include <bit>
#include <cassert>
#include <cstdint>
#include <cstddef>
#include <iostream>
#include <span>
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
        sparseCount = -1;
        for (int i = 0; i < n; ++i) heap[static_cast<std::size_t>(i) + 1].key = compLess.ratio(i);
        for (int s = n / 2; s >= 1; --s) down_heap(s);
    }

    // Rebuilds this heap as firstIds(count) would when every id not in
    // `keyed` (ascending, within 0 .. count - 1) has key 0, with work in the
    // size of `keyed` times the heap's depth. The build sifts down from slot
    // n/2 to 1, but a slot whose subtree holds only keys 0 has no child to
    // move: only the slots of keyed ids and their ancestors can change, and
    // those are sifted here level by level from the deepest (every slot of a
    // level lies below every slot of the level above, and the subtrees of one
    // level are disjoint, so the order inside a level does not matter). The
    // slots to sift are bits of `marked`: the keyed slots, and the parent of
    // every slot sifted, marked as its level is done. The same disjointness
    // lets `threads` threads share a level: each sift reads and writes only
    // the slots of its own subtree and the positions of the ids in them, so
    // the tables end the same on any number of threads.
    void buildFirstIds(int count, std::span<const int> keyed, int threads = 1) {
        clearFor(count, threads);
        std::uint64_t* bits = marked.data();
        const std::size_t ids = keyed.size();
#pragma omp parallel for schedule(static) num_threads(threads) if (threads > 1 && ids > 1)
        for (std::size_t i = 0; i < ids; ++i) {
            const int id = keyed[i];
            heap[static_cast<std::size_t>(id) + 1].key = compLess.ratio(id);
            mark(bits, static_cast<std::size_t>(id) + 1);
        }
        for (int depth = depthOf(n); depth >= 0 && n > 0; --depth) {
            // The level's slots [first, last]; from depth 6 on, its words
            // hold no slot of the level above, so the parents marked while
            // it is read lie in other words.
            const std::size_t first = std::size_t{1} << depth;
            const std::size_t last = std::min(2 * first - 1, static_cast<std::size_t>(n));
            const std::size_t w0 = first / 64, words = last / 64 - w0 + 1;
            // A level's slots lie ascending, so each thread's share of them
            // is one stretch of the table (schedule static); their sifts go
            // about equally deep.
#pragma omp parallel for schedule(static) num_threads(threads) if (threads > 1 && words > 1)
            for (std::size_t w = w0; w < w0 + words; ++w) {
                std::uint64_t word = bits[w];
                if (w == first / 64) word &= ~std::uint64_t{0} << (first % 64);
                if (w == last / 64 && last % 64 != 63) word &= (std::uint64_t{2} << (last % 64)) - 1;
                for (; word != 0; word &= word - 1) {
                    const std::size_t slot = w * 64 + static_cast<std::size_t>(std::countr_zero(word));
                    if (slot <= static_cast<std::size_t>(n / 2)) down_heap(static_cast<int>(slot));
                    if (slot > 1) mark(bits, slot / 2);
                }
            }
        }
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

    // Asks for the position entry of id ahead of a decreased(id) soon after.
    void prefetchPosition(int id) const { __builtin_prefetch(position.data() + id); }
    // Asks for the slot of id and its children, once its position entry is in cache.
    void prefetchSlot(int id) const {
        const int s = slotOf(id);
        __builtin_prefetch(heap.data() + s);
        __builtin_prefetch(heap.data() + 2 * static_cast<std::size_t>(s));
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
        sparseCount = -1;
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

    // Zero tables for a sparse build over `count` ids: those of the last
    // sparse build over as many, with the slots it marked (its keyed ids'
    // and their ancestors'), the root and the ones pops vacated, and those
    // slots' ids, zeroed again, on `threads` threads; fresh ones otherwise.
    void clearFor(int count, int threads) {
        const std::size_t words = static_cast<std::size_t>(std::max(count, 0)) / 64 + 1;
        if (sparseCount != count || count <= 0) {
            fresh(count, count + 3);
            sparseCount = count;
            marked.release();
            marked.resize(words);
            return;
        }
        auto zero = [this](std::size_t s) {
            heap[s] = Slot{};
            position[s - 1] = 0;
        };
        std::uint64_t* bits = marked.data();
#pragma omp parallel for schedule(static) num_threads(threads) if (threads > 1 && words > 1)
        for (std::size_t w = 0; w < words; ++w) {
            for (std::uint64_t word = bits[w]; word != 0; word &= word - 1)
                zero(w * 64 + static_cast<std::size_t>(std::countr_zero(word)));
            bits[w] = 0;
        }
        zero(1);
        for (int s = std::max(n, 0) + 1; s <= count; ++s) zero(static_cast<std::size_t>(s));
        n = count;
    }

    // Marks slot s; threads may mark slots of one word together.
    static void mark(std::uint64_t* bits, std::size_t s) {
        const std::uint64_t bit = std::uint64_t{1} << (s % 64);
        std::atomic_ref<std::uint64_t> word(bits[s / 64]);
        if ((word.load(std::memory_order_relaxed) & bit) == 0) word.fetch_or(bit, std::memory_order_relaxed);
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
    // The count of the last build when it was sparse and no key has grown
    // since, else -1; the slots that build wrote, one bit each.
    int sparseCount = -1;
    GrowArray<std::uint64_t> marked;
    CompareLess compLess;
};

}  // namespace lattis
