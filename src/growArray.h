// A growable array of trivially copyable values that never holds two copies
// of its contents.
//
// std::vector grows by allocating a larger block and copying, so for a moment
// it holds the old and the new block: twice the data. The hyperedge store is
// the largest structure of a run and grows once per batch, so it keeps its
// arrays in anonymous memory mappings instead and grows them with mremap,
// which moves page tables rather than bytes. Fresh elements are zero (new
// anonymous pages are zero-filled). Capacity is rounded up to whole pages and
// grows geometrically, so appends stay amortised O(1).
#pragma once

#include <sys/mman.h>

#include <cassert>
#include <cstddef>
#include <cstring>
#include <new>
#include <span>
#include <type_traits>
#include <utility>

template <class T>
class GrowArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
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

    // Ensure room for n elements without changing size().
    void reserve(std::size_t n) {
        if (n * sizeof(T) <= capBytes) return;
        remap(roundPages(n * sizeof(T)));
    }
    // Set the size to n; elements past the old size are zero only if that
    // memory was never used before (shrinking then growing keeps old values),
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
        if (ptr != nullptr) munmap(ptr, capBytes);
        ptr = nullptr;
        count = 0;
        capBytes = 0;
    }
    void clear() { release(); }

private:
    static constexpr std::size_t kHugePage = std::size_t{2} << 20;
    static std::size_t roundPages(std::size_t b) {
        constexpr std::size_t page = 4096;
        return (b + page - 1) / page * page;
    }
    void remap(std::size_t newBytes) {
        void* p;
        if (ptr == nullptr)
            p = mmap(nullptr, newBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        else
            p = mremap(ptr, capBytes, newBytes, MREMAP_MAYMOVE);
        if (p == MAP_FAILED) throw std::bad_alloc();
        // Large arrays are filled front to back at once, so huge pages cost
        // no extra memory and spare hundreds of page faults per megabyte.
        // Without transparent huge pages the advice is refused, harmlessly.
        if (newBytes >= kHugePage) {
            [[maybe_unused]] int rc = madvise(p, newBytes, MADV_HUGEPAGE);
        }
        ptr = static_cast<T*>(p);
        capBytes = newBytes;
    }
    void swap(GrowArray& o) noexcept {
        std::swap(ptr, o.ptr);
        std::swap(count, o.count);
        std::swap(capBytes, o.capBytes);
    }

    T* ptr = nullptr;
    std::size_t count = 0;
    std::size_t capBytes = 0;
};
