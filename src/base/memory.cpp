#include "base/memory.h"

#include <algorithm>
#include <cstring>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define VARNEL_CHECKED_MEMORY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VARNEL_CHECKED_MEMORY 1
#endif
#endif

#if defined(__linux__) && !defined(VARNEL_CHECKED_MEMORY)
#include <sys/mman.h>
#define VARNEL_MAPPED_MEMORY 1
#endif

namespace varnel {
namespace {

constexpr std::size_t arena_block = std::size_t(64) << 10;  // least block an arena takes
#if defined(VARNEL_CHECKED_MEMORY)
constexpr bool block_per_array = true;  // so the checker sees each array's end
#else
constexpr bool block_per_array = false;
#endif

block_ptr heap_block(std::size_t bytes) {
    bytes = std::max<std::size_t>(bytes, 1);
    auto* p = static_cast<std::byte*>(::operator new[](bytes, std::align_val_t(64)));
    std::memset(p, 0, bytes);
    return block_ptr(p, page_block{bytes, false});
}

}  // namespace

#if defined(VARNEL_MAPPED_MEMORY)

namespace {
constexpr std::size_t huge_page = std::size_t(2) << 20, small_page = 4096;
}

page_block block_kind(std::size_t bytes) {
    // Small blocks from the heap, which reuses what it has. Mid-sized ones as
    // small pages mapped and faulted in one call, which costs about half of
    // faulting them one by one as they are first written. From an eighth of a
    // huge page up, one huge page costs less than the faults of its small pages.
    if (bytes < small_page * 16) return {std::max<std::size_t>(bytes, 1), false};
    if (bytes < huge_page / 8) return {(bytes + small_page - 1) & ~(small_page - 1), true};
    return {(bytes + huge_page - 1) & ~(huge_page - 1), true};
}

block_ptr take_block(std::size_t bytes) {
    const page_block kind = block_kind(bytes);
    if (!kind.mapped) return heap_block(kind.bytes);
    bytes = kind.bytes;
    if (bytes < huge_page) {
        void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        return block_ptr(static_cast<std::byte*>(p), kind);
    }
    // Whole huge pages, aligned: map one more and trim both ends.
    void* p = mmap(nullptr, bytes + huge_page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    const std::uintptr_t at = std::uintptr_t(p), aligned = (at + huge_page - 1) & ~std::uintptr_t(huge_page - 1);
    if (aligned > at) munmap(p, aligned - at);
    munmap(reinterpret_cast<void*>(aligned + bytes), at + huge_page - aligned);  // never empty: aligned < at + huge_page
    auto* block = reinterpret_cast<std::byte*>(aligned);
#if defined(MADV_HUGEPAGE)
    madvise(block, bytes, MADV_HUGEPAGE);  // advice only: fine if refused
#endif
    return block_ptr(block, kind);
}

#else

// Heap blocks only: elsewhere, and under the address checker, which then sees
// every array's bounds.
page_block block_kind(std::size_t bytes) { return {std::max<std::size_t>(bytes, 1), false}; }
block_ptr take_block(std::size_t bytes) { return heap_block(bytes); }

#endif

void page_block::operator()(std::byte* p) const noexcept {
#if defined(VARNEL_MAPPED_MEMORY)
    if (mapped) {
        munmap(p, bytes);
        return;
    }
#endif
    ::operator delete[](p, std::align_val_t(64));
}

char* byte_store::room(std::size_t n) {
    if (n > capacity_ - size_) {  // a larger block, the bytes so far moved into it
        block_ptr block = take_block(std::max(size_ + n, 2 * capacity_));
        if (size_ > 0) std::memcpy(block.get(), block_.get(), size_);
        block_ = std::move(block);
        capacity_ = block_.get_deleter().bytes;
    }
    return reinterpret_cast<char*>(block_.get()) + size_;
}

std::byte* arena::take_bytes(std::size_t bytes) {
    if (!block_per_array) bytes = (bytes + 63) & ~std::size_t(63);  // each array on its own lines
    std::lock_guard<std::mutex> hold(lock_);
    if (block_per_array || blocks_.empty() || bytes > room_ - used_) {
        blocks_.push_back(take_block(block_per_array ? bytes : std::max({bytes, expected_, arena_block})));
        room_ = blocks_.back().get_deleter().bytes;  // all of it: whole huge pages when mapped
        expected_ = 0;
        used_ = 0;
    }
    std::byte* p = blocks_.back().get() + used_;
    used_ += bytes;
    return p;
}

}  // namespace varnel
