// A table that each use sizes anew and writes in full before reading it:
// the selection's per-node gains and heap.
//
// Where the table lives depends on its size. A small one comes from the
// allocator, which keeps freed memory for the next use, so the selections of
// a run fault its pages in once. A large one (from kHugeFrom bytes, where
// GrowArray takes huge pages) is a GrowArray: one fault per 2 MB, where the
// allocator would clear it a 4 kB page at a time, and above 32 MB map it
// afresh for every use.
#pragma once

#include <cstddef>
#include <vector>

#include "core/growArray.h"

namespace lattis {

template <class T>
class WorkTable {
public:
    // Room for n entries, which the caller writes before reading.
    T* resize(std::size_t n) {
        if (n * sizeof(T) >= kHugeFrom) {
            large.resize(n);
            ptr = large.data();
        } else {
            small.resize(n);
            ptr = small.data();
        }
        return ptr;
    }
    T* data() { return ptr; }
    const T* data() const { return ptr; }
    T& operator[](std::size_t i) { return ptr[i]; }
    const T& operator[](std::size_t i) const { return ptr[i]; }

private:
    std::vector<T> small;
    GrowArray<T> large;
    T* ptr = nullptr;
};

}  // namespace lattis
