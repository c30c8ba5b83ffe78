// The selection's heap over all n node ids by gain per cost, whose slots are
// stored in the size of the nodes the store holds rather than of n: what is
// left of n is one int per id (its place) and two bits per slot (marks).
//
// The selection's seed sets depend on which of several equal-ratio ids
// leaves first, so the heap's rules are fixed, not merely "a valid heap":
// it starts with id s - 1 in slot s (1-based; slot 0 is none), the build
// sifts down from slot n/2 to 1, a move needs a strictly greater key, the
// left child wins a tie between children, and pop moves the last slot's
// entry to the root and sifts it down. Keys are stored beside the ids
// (compLess.ratio(id), taken by the caller with keyOf), so a sift never
// reads the arrays behind them. Only pop and decreasedTo change it, so no
// key ever grows.
//
// Why it can be small: in such a heap only the slots of keyed ids and their
// ancestors (the marked slots, with the root) can ever hold anything but
// their own id s - 1 with key 0. A sift moves an entry only into the slot of
// a child of greater key, and a key 0 slot has none; a pop writes the root
// and shortens the heap. The marked slots are kept in slot order in a dense
// array, each with its slot number, which of its children are marked and
// the index of the first marked one (children are consecutive slots, so they
// are consecutive there too), and a sift walks that array alone; every
// other slot is never stored.
//
// Each id's place is one int per id, 0 while the id rests in its own
// unmarked slot: its entry's index in the dense array, plus one, once it is
// in a marked slot (a marked own slot, or the root after a pop took it from
// the end), -1 once popped. Only those entries are written, and a rebuild
// over as many ids puts back 0 in just those.
//
// Assumes keys are never negative or NaN (the selection's costs are > 0).
#pragma once

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <span>
#include <utility>
#include <vector>

#include "core/bitWords.h"
#include "core/growArray.h"

namespace lattis {

template <class CompareLess>
class SparseHeap {
    using Key = decltype(std::declval<const CompareLess&>().ratio(0));

public:
    explicit SparseHeap(CompareLess cl) : compLess(cl) {}

    // Builds the heap over the ids 0 .. count - 1 in which only the ids of
    // `keyed` (ascending, each below count) may have a key other than 0,
    // with work in the size of `keyed` (and of the last build's) times the
    // heap's depth, beside clearing the marks, on `threads` threads; the
    // heap is the same on any number.
    void build(int count, std::span<const int> keyed, int threads = 1);

    bool empty() const { return n <= 0; }
    // Slot of id: 0 once popped (but the last id, popped alone, keeps 1).
    int positionOf(int id) const {
        const int p = place[static_cast<std::size_t>(id)];
        return p == 0 ? id + 1 : p < 0 ? 0 : static_cast<int>(slots[static_cast<std::size_t>(p) - 1].slot);
    }
    bool contains(int id) const {
        const int s = positionOf(id);
        return s >= 1 && s <= n;
    }

    // Requests ahead of a decreasedTo(id) in three steps, each once the one
    // before has landed: id's place, its entry, its entry's children.
    void prefetchPlace(int id) const { __builtin_prefetch(place.data() + id); }
    void prefetchEntry(int id) const {
        const int p = place[static_cast<std::size_t>(id)];
        if (p > 0) __builtin_prefetch(slots.data() + (p - 1));
    }
    void prefetchChildren(int id) const {
        const int p = place[static_cast<std::size_t>(id)];
        if (p <= 0) return;
        const Slot& at = slots[static_cast<std::size_t>(p) - 1];
        if (at.leftMarked || at.rightMarked) __builtin_prefetch(slots.data() + at.child);
    }

    // Removes and returns the id with the greatest key; -1 when empty.
    int pop() {
        if (empty()) {
            std::cerr << "Error: Cannot pop from an empty heap!" << std::endl;
            return -1;
        }
        const int top = slots[0].id;  // the root is marked and comes first
        place[static_cast<std::size_t>(top)] = -1;
        // The entry of the last slot: its own id with key 0 when unmarked.
        const std::size_t last = static_cast<std::size_t>(n);
        Key key{};
        int id = n - 1;
        if (marked(last)) {
            const Slot& s = slots[rank(last)];
            key = s.key;
            id = s.id;
        }
        ++pops;
        put(0, key, id);
        n = n - 1;
        downHeap(0);
        return top;
    }

    // The entry of id, whose key did not grow, now has `key`, taken with
    // keyOf after the last change of the arrays behind it; sifts it down.
    int decreasedTo(int id, Key key) {
        assert(contains(id) && place[static_cast<std::size_t>(id)] > 0);
        const std::size_t r = static_cast<std::size_t>(place[static_cast<std::size_t>(id)]) - 1;
        slots[r].key = key;
        return downHeap(r);
    }
    // The key id would be stored with now.
    Key keyOf(int id) const { return compLess.ratio(id); }

private:
    // Slots 64w .. 64w + 63: which are marked, and how many marked slots
    // come before them.
    struct Word {
        std::uint64_t bits;
        std::uint64_t before;
    };
    // A marked slot: the entry it holds (key, id), and what only the build
    // writes: its number, the index of its first marked child and which of
    // its two children are marked (an unmarked one is never read).
    struct Slot {
        Key key;
        int id;
        std::uint32_t slot : 31;
        std::uint32_t leftMarked : 1;
        std::uint32_t child : 31;
        std::uint32_t rightMarked : 1;
    };

    const Word* word(std::size_t s) const { return marks.data() + (s >> 6); }
    bool marked(std::size_t s) const { return (word(s)->bits >> (s & 63)) & 1; }
    // Index of slot s among the marked slots (the marked ones before it).
    std::size_t rank(std::size_t s) const {
        const Word* w = word(s);
        return w->before + static_cast<std::size_t>(std::popcount(w->bits & ((std::uint64_t{1} << (s & 63)) - 1)));
    }

    void put(std::size_t r, Key key, int id) {
        slots[r].key = key;
        slots[r].id = id;
        place[static_cast<std::size_t>(id)] = static_cast<int>(r) + 1;
    }

    // Sifts the entry of marked slot index r down; its final slot. An
    // unmarked child has key 0, never greater than the sifted key, so only
    // marked slots receive.
    int downHeap(std::size_t r) {
        const Key key = slots[r].key;
        const int id = slots[r].id;
        const std::size_t from = r, count = static_cast<std::size_t>(n);
        for (;;) {
            const Slot& at = slots[r];
            const std::size_t c = 2 * std::size_t{at.slot};
            if (c > count) break;
            const std::size_t rl = at.child;
            const bool left = at.leftMarked;
            const std::size_t rr = rl + left;
            const bool right = c + 1 <= count && at.rightMarked;
            const Key kl = left ? slots[rl].key : Key{};
            const Key kr = right ? slots[rr].key : Key{};
            std::size_t next = rl;
            Key kc = kl;
            if (c + 1 <= count && kr > kl) {
                next = rr;
                kc = kr;
            }
            if (!(kc > key)) break;
            put(r, slots[next].key, slots[next].id);
            r = next;
        }
        if (r != from) put(r, key, id);
        return static_cast<int>(slots[r].slot);
    }

    static int depthOf(std::size_t count) {
        int d = 0;
        while (count >> (d + 1)) ++d;
        return d;
    }

    GrowArray<Word> marks;  // slots 0 .. count, by 64
    GrowArray<Slot> slots;  // the marked slots, in slot order
    GrowArray<int> place;   // per id, see above
    int n = 0;
    int count0 = 0;
    int pops = 0;
    CompareLess compLess;
};

template <class CompareLess>
void SparseHeap<CompareLess>::build(int count, std::span<const int> keyed, int threads) {
    // Places back to 0: those the last build over as many ids wrote (the
    // ids of its marked slots, and those its pops took from the end), or
    // fresh ones.
    if (count0 != std::max(count, 0) || place.empty()) {
        place.release();
        place.resize(static_cast<std::size_t>(std::max(count, 0)));
    } else {
        const std::size_t old = slots.size();
        Slot* sl = slots.data();
        int* pl = place.data();
#pragma omp parallel for schedule(static) num_threads(threads) if (threads > 1 && old > 1)
        for (std::size_t r = 0; r < old; ++r) pl[sl[r].slot - 1] = 0;
        for (int j = 0; j < pops; ++j) pl[count0 - 1 - j] = 0;
    }
    n = count0 = std::max(count, 0);
    pops = 0;
    const std::size_t words = static_cast<std::size_t>(n) / 64 + 1;
    marks.resize(words);
    Word* mw = marks.data();
#pragma omp parallel for schedule(static) num_threads(threads) if (threads > 1)
    for (std::size_t w = 0; w < words; ++w) mw[w] = Word{0, 0};
    if (n == 0) {
        slots.resize(0);
        return;
    }

    // Marks: the root, each keyed id's slot and its ancestors. Each slot is
    // marked once by whichever thread sets its bit first, which then goes on
    // up, so the marks end the same on any number of threads.
    auto mark = [mw](std::size_t s) { return setSharedBit(mw[s >> 6].bits, std::uint64_t{1} << (s & 63)); };
    mark(1);
    const std::size_t ids = keyed.size();
#pragma omp parallel for schedule(static) num_threads(threads) if (threads > 1 && ids > 1)
    for (std::size_t i = 0; i < ids; ++i)
        for (std::size_t s = static_cast<std::size_t>(keyed[i]) + 1; s >= 1 && mark(s); s /= 2) {
        }

    // Indices: each thread's stretch of words from its offset.
    const int parts = std::max(threads, 1);
    auto first = [words, parts](int p) { return stretchStart(words, parts, p); };
    const std::vector<std::size_t> total = stretchOffsets(words, parts, [mw](std::size_t w) { return mw[w].bits; });
#pragma omp parallel for schedule(static, 1) num_threads(parts) if (parts > 1)
    for (int p = 0; p < parts; ++p) {
        std::size_t r = total[static_cast<std::size_t>(p)];
        for (std::size_t w = first(p); w < first(p + 1); ++w) {
            mw[w].before = r;
            r += static_cast<std::size_t>(std::popcount(mw[w].bits));
        }
    }
    // Every marked slot starts with its own id, key 0.
    slots.resize(total.back());
    Slot* sl = slots.data();
    int* pl = place.data();
    const std::size_t all = static_cast<std::size_t>(n);
#pragma omp parallel for schedule(static, 1) num_threads(parts) if (parts > 1)
    for (int p = 0; p < parts; ++p)
        for (std::size_t w = first(p); w < first(p + 1); ++w) {
            std::size_t r = mw[w].before;
            for (std::uint64_t b = mw[w].bits; b != 0; b &= b - 1, ++r) {
                const std::size_t s = w * 64 + static_cast<std::size_t>(std::countr_zero(b));
                const bool below = 2 * s <= all;
                sl[r] = Slot{Key{}, static_cast<int>(s) - 1, static_cast<std::uint32_t>(s), below && marked(2 * s),
                             below ? static_cast<std::uint32_t>(rank(2 * s)) : 0u, 2 * s + 1 <= all && marked(2 * s + 1)};
                pl[s - 1] = static_cast<int>(r) + 1;
            }
        }
#pragma omp parallel for schedule(static) num_threads(threads) if (threads > 1 && ids > 1)
    for (std::size_t i = 0; i < ids; ++i)
        sl[static_cast<std::size_t>(pl[keyed[i]]) - 1].key = compLess.ratio(keyed[i]);

    // The build's sifts from slot n/2 down to 1, of the marked slots only,
    // level by level from the deepest: a level's subtrees are disjoint, so
    // its sifts may run in any order and on several threads alike.
    for (int depth = depthOf(all) - 1; depth >= 0; --depth) {
        const std::size_t lo = rank(std::size_t{1} << depth), hi = rank(std::min(std::size_t{2} << depth, all / 2 + 1));
#pragma omp parallel for schedule(static) num_threads(threads) if (threads > 1 && hi - lo > 64)
        for (std::size_t r = lo; r < hi; ++r) downHeap(r);
    }
}

}  // namespace lattis
