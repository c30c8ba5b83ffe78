// The indexed max-heap in its plain form, for tests to check the selection's
// SparseHeap against: ids only in the slots, and every comparison reads both
// keys through the comparator, so a key is never stored and never stale. The
// sift rules are the selection's (1-based slots, strict comparisons, the
// left child on ties, the build from slot n/2 down, heapify's walk to the
// root and then down, the order of writes in pop), written out step by step.
#pragma once

#include <algorithm>
#include <iostream>
#include <utility>
#include <vector>

namespace lattis {

template <class CompareLess>
class ReferenceHeap {
public:
    ReferenceHeap(const std::vector<int>& v, CompareLess cl) : n(0), compLess(cl) {
        if (v.empty()) return;
        n = static_cast<int>(v.size());
        heap.assign(static_cast<std::size_t>(n) + 1, 0);
        const int largest = *std::max_element(v.begin(), v.end());
        position.assign(static_cast<std::size_t>(std::max(largest, n)) + 3, -1);
        for (int i = 0; i < n; ++i) {
            heap[static_cast<std::size_t>(i) + 1] = v[static_cast<std::size_t>(i)];
            position[static_cast<std::size_t>(v[static_cast<std::size_t>(i)])] = i + 1;
        }
        for (int s = n / 2; s >= 1; --s) down_heap(s);
    }

    bool empty() const { return n <= 0; }
    unsigned size() const { return n > 0 ? static_cast<unsigned>(n) : 0u; }
    int positionOf(int id) const { return position[static_cast<std::size_t>(id)]; }

    int pop() {
        if (empty()) {
            std::cerr << "Error: Cannot pop from an empty heap!" << std::endl;
            return -1;
        }
        const int top = heap[1];
        position[static_cast<std::size_t>(heap[1])] = 0;
        heap[1] = heap[static_cast<std::size_t>(n)];
        position[static_cast<std::size_t>(heap[1])] = 1;
        n = n - 1;
        down_heap(1);
        return top;
    }

    int heapify(int key) {
        up_heap(position[static_cast<std::size_t>(key)]);
        return down_heap(position[static_cast<std::size_t>(key)]);
    }

private:
    void swapSlots(int a, int b) {
        std::swap(position[static_cast<std::size_t>(heap[static_cast<std::size_t>(b)])],
                  position[static_cast<std::size_t>(heap[static_cast<std::size_t>(a)])]);
        std::swap(heap[static_cast<std::size_t>(a)], heap[static_cast<std::size_t>(b)]);
    }
    int up_heap(int k) {
        while (k > 1) {
            const int p = k / 2;
            if (compLess(heap[static_cast<std::size_t>(p)], heap[static_cast<std::size_t>(k)])) swapSlots(p, k);
            k = p;
        }
        return k;
    }
    int down_heap(int k) {
        while (2 * k <= n) {
            int child = 2 * k;
            if (child + 1 <= n && compLess(heap[static_cast<std::size_t>(child)], heap[static_cast<std::size_t>(child) + 1]))
                child = child + 1;
            if (!compLess(heap[static_cast<std::size_t>(k)], heap[static_cast<std::size_t>(child)])) break;
            swapSlots(child, k);
            k = child;
        }
        return k;
    }

    std::vector<int> heap;
    std::vector<int> position;
    int n;
    CompareLess compLess;
};

}  // namespace lattis
