// A growable array of trivially copyable values that never holds two copies
// of its contents (but for a moment under kHugeFrom bytes of them).
//
// std::vector grows by allocating a larger block and copying, so for a moment
// it holds the old and the new block: twice the data. The hyperedge store is
// the largest structure of a run and grows once per batch, so it keeps its
// arrays in anonymous memory mappings instead and grows them with mremap,
// which moves page tables rather than bytes. Fresh elements are zero (new
// anonymous pages are zero-filled). Capacity is rounded up to whole pages (huge
// pages for large arrays, see kHugeFrom) and grows geometrically, so appends
// stay amortised O(1).
//
// Built with LATTIS_PLAIN_MEMORY (CMake option of that name), the arrays are
// plain heap blocks instead, aligned and zero-filled alike, with the same
// capacities; growing and shrinking then copy. That build is for valgrind:
// memcheck 3.19 marks the grown part of an mremap with MREMAP_FIXED as
// inaccessible when the mapping that followed the old range had no access
// rights (a thread stack's guard page, say), and then reports every use of
// memory the kernel did map. The mapped build stays the default.
#pragma once

#if !LATTIS_PLAIN_MEMORY
#include <sys/mman.h>
#endif

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <type_traits>
#include <utility>

#include "core/tuning.h"

namespace lattis {

template <class T>
class GrowArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    // From kHugeFrom bytes on (core/tuning.h), arrays are whole huge pages
    // at huge-page aligned addresses. They are filled front to back, so the
    // rounding leaves at most one partly used huge page, and a fault then
    // clears 2 MB instead of 4 kB. Where free memory is fragmented the
    // kernel may first compact it, which can take milliseconds; on average
    // the trade still favours huge pages. Without transparent huge pages the
    // advice is refused, harmlessly, and untouched rounding costs nothing.

    GrowArray() = default;
    GrowArray(const GrowArray&) = delete;
    GrowArray& operator=(const GrowArray&) = delete;
    GrowArray(GrowArray&& o) noexcept { swap(o); }
    GrowArray& operator=(GrowArray&& o) noexcept {
        GrowArray tmp(std::move(o));
        swap(tmp);
        return *this;
    }
    ~GrowArray() { release(); }

    std::size_t size() const { return count; }
    bool empty() const { return count == 0; }
    T* data() { return ptr; }
    const T* data() const { return ptr; }
    T& operator[](std::size_t i) { return ptr[i]; }
    const T& operator[](std::size_t i) const { return ptr[i]; }
    std::span<const T> view() const { return {ptr, count}; }
    // Bytes of memory the array holds (whole pages).
    std::size_t bytes() const { return capBytes; }
    // The size of the pages the array is mapped with: memory is given back
    // in whole pages of this size, so a huge page is never split.
    std::size_t pageBytes() const { return huge(capBytes) ? kHugePage : kPage; }
    // b bytes rounded up to whole pages of that size.
    std::size_t wholePages(std::size_t b) const { return roundUp(b, pageBytes()); }

    // Ensure room for n elements without changing size().
    void reserve(std::size_t n) {
        if (n * sizeof(T) <= capBytes) return;
        remap(roundPages(n * sizeof(T)));
    }
    // Set the size to n; elements past the old size are zero only if that
    // memory was never used before (after a shrink they may hold old values),
    // so callers that need zeros after a shrink must write them.
    void resize(std::size_t n) {
        if (n * sizeof(T) > capBytes) {
            std::size_t want = capBytes + capBytes / 2;
            if (want < n * sizeof(T)) want = n * sizeof(T);
            remap(roundPages(want));
        }
        count = n;
    }
    void push_back(const T& v) {
        resize(count + 1);
        ptr[count - 1] = v;
    }
    void append(std::span<const T> src) {
        std::size_t old = count;
        resize(count + src.size());
        // Hyperedges are mostly a few ids long: a plain loop beats a call.
        if (src.size() <= 16)
            for (std::size_t i = 0; i < src.size(); ++i) ptr[old + i] = src[i];
        else
            std::memcpy(ptr + old, src.data(), src.size() * sizeof(T));
    }
    // Give the memory back; size and capacity become 0.
    void release() {
        if (ptr != nullptr) freeBlock(ptr, capBytes);
        ptr = nullptr;
        count = 0;
        capBytes = 0;
    }
    void clear() { release(); }
    // Empties the array and gives back the capacity beyond keepBytes, a
    // capacity the array had (so whole pages of its kind); the memory kept
    // keeps its pages, and its old values until written.
    void emptyKeeping(std::size_t keepBytes) {
        count = 0;
        if (keepBytes >= capBytes) return;
        if (keepBytes == 0) {
            release();
            return;
        }
        shrinkBlock(keepBytes);
        capBytes = keepBytes;
    }
    // Gives bytes [from, to) back to the system, whole pages of pageBytes()
    // within the capacity; they read as zero afterwards, unless the system
    // refuses, which leaves them as they were.
    void discardPages(std::size_t from, std::size_t to) { zeroPages(reinterpret_cast<char*>(ptr) + from, to - from); }

private:
    static constexpr std::size_t kPage = 4096;
    static constexpr std::size_t kHugePage = std::size_t{2} << 20;

    static std::size_t roundUp(std::size_t b, std::size_t unit) { return (b + unit - 1) / unit * unit; }
    static std::size_t roundPages(std::size_t b) { return roundUp(b, b >= kHugeFrom ? kHugePage : kPage); }
    static bool huge(std::size_t b) { return b >= kHugeFrom; }

#if LATTIS_PLAIN_MEMORY
    // Zero-filled heap blocks at the alignment a mapping of that size gets.
    static void* allocate(std::size_t b) { return std::aligned_alloc(huge(b) ? kHugePage : kPage, b); }

    void remap(std::size_t newBytes) {
        void* p = allocate(newBytes);
        if (p == nullptr) throw std::bad_alloc();
        if (ptr != nullptr) std::memcpy(p, ptr, capBytes);
        std::memset(static_cast<char*>(p) + capBytes, 0, newBytes - capBytes);
        std::free(ptr);
        ptr = static_cast<T*>(p);
        capBytes = newBytes;
    }
    // Without room for a smaller block the old one stays, its tail unused.
    void shrinkBlock(std::size_t keepBytes) {
        void* p = allocate(keepBytes);
        if (p == nullptr) return;
        std::memcpy(p, ptr, keepBytes);
        std::free(ptr);
        ptr = static_cast<T*>(p);
    }
    static void freeBlock(void* p, std::size_t) { std::free(p); }
    static void zeroPages(void* p, std::size_t b) { std::memset(p, 0, b); }
#else
    // A fresh mapping of b bytes; huge-page aligned when b is large.
    static void* mapFresh(std::size_t b) {
        if (!huge(b)) return mmap(nullptr, b, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        void* raw = reserveAligned(b);
        if (raw == MAP_FAILED) return MAP_FAILED;
        adviseHuge(raw, b);
        return raw;
    }
    // b bytes of address space at a huge-page boundary (b a multiple of it).
    static void* reserveAligned(std::size_t b) {
        void* raw = mmap(nullptr, b + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (raw == MAP_FAILED) return MAP_FAILED;
        const auto start = reinterpret_cast<std::uintptr_t>(raw);
        const std::uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
        if (aligned > start) munmap(raw, aligned - start);
        const std::uintptr_t tail = start + b + kHugePage - (aligned + b);
        if (tail > 0) munmap(reinterpret_cast<void*>(aligned + b), tail);
        return reinterpret_cast<void*>(aligned);
    }
    static void adviseHuge(void* p, std::size_t b) { [[maybe_unused]] int rc = madvise(p, b, MADV_HUGEPAGE); }

    void remap(std::size_t newBytes) {
        void* p;
        if (ptr == nullptr) {
            p = mapFresh(newBytes);
        } else if (!huge(newBytes)) {
            p = mremap(ptr, capBytes, newBytes, MREMAP_MAYMOVE);
        } else if (!huge(capBytes)) {
            // Small pages moved into a huge-page region would keep it on
            // small pages up to its first 2 MB boundary, hundreds of faults
            // more; under kHugeFrom bytes, copying them costs less.
            p = mapFresh(newBytes);
            if (p != MAP_FAILED) {
                std::memcpy(p, ptr, count * sizeof(T));
                munmap(ptr, capBytes);
            }
        } else {
            // Grown in place where the address space allows; otherwise moved
            // (page tables, not bytes) to a huge-page boundary, so that huge
            // pages already filled move whole.
            p = mremap(ptr, capBytes, newBytes, 0);
            if (p == MAP_FAILED) {
                void* target = reserveAligned(newBytes);
                if (target != MAP_FAILED) {
                    p = mremap(ptr, capBytes, newBytes, MREMAP_MAYMOVE | MREMAP_FIXED, target);
                    if (p == MAP_FAILED) munmap(target, newBytes);
                }
            }
            if (p != MAP_FAILED) adviseHuge(p, newBytes);
        }
        if (p == MAP_FAILED) throw std::bad_alloc();
        ptr = static_cast<T*>(p);
        capBytes = newBytes;
    }
    void shrinkBlock(std::size_t keepBytes) { munmap(reinterpret_cast<char*>(ptr) + keepBytes, capBytes - keepBytes); }
    static void freeBlock(void* p, std::size_t b) { munmap(p, b); }
    // Failure only means the pages stay resident until release().
    static void zeroPages(void* p, std::size_t b) { [[maybe_unused]] int rc = madvise(p, b, MADV_DONTNEED); }
#endif
    void swap(GrowArray& o) noexcept {
        std::swap(ptr, o.ptr);
        std::swap(count, o.count);
        std::swap(capBytes, o.capBytes);
    }

    T* ptr = nullptr;
    std::size_t count = 0;
    std::size_t capBytes = 0;
};

}  // namespace lattis
