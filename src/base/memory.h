// Memory for the engine's large arrays. Each fresh page costs a fault when it
// is first touched, which on some machines costs more than the work done on
// the page; so large blocks ask the kernel for huge pages, and blocks are kept
// and reused rather than given back between records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace varnel {

// A block of `bytes` zeroed bytes, aligned to 64; huge pages where the system offers them.
struct page_block {
    void operator()(std::byte* p) const noexcept;  // frees a block
    std::size_t bytes = 0;
    bool mapped = false;  // from the kernel directly, not the heap
};
using block_ptr = std::unique_ptr<std::byte[], page_block>;
block_ptr take_block(std::size_t bytes);
// The deleter of a block that take_block gave for `bytes`.
page_block block_kind(std::size_t bytes);

// Memory as take_block gives it, for containers.
template <class T>
struct page_allocator {
    using value_type = T;
    page_allocator() = default;
    template <class U>
    page_allocator(const page_allocator<U>&) {}
    T* allocate(std::size_t n) { return reinterpret_cast<T*>(take_block(n * sizeof(T)).release()); }
    void deallocate(T* p, std::size_t n) { block_kind(n * sizeof(T))(reinterpret_cast<std::byte*>(p)); }
    template <class U>
    bool operator==(const page_allocator<U>&) const { return true; }
};

// An array that only grows; its contents are not kept when it does.
template <class T>
class page_array {
public:
    T* reserve(std::size_t n) {
        if (n > size_) {
            block_ = take_block(n * sizeof(T));
            size_ = n;
        }
        return reinterpret_cast<T*>(block_.get());
    }
    T* data() const { return reinterpret_cast<T*>(block_.get()); }
    std::size_t size() const { return size_; }

private:
    block_ptr block_;
    std::size_t size_ = 0;
};

// Bytes appended one piece after another, kept when the store grows.
class byte_store {
public:
    // Room for n more bytes at the end, to be written and then added with grow.
    char* room(std::size_t n);
    void reserve(std::size_t n) { room(n > size_ ? n - size_ : 0); }
    void grow(std::size_t n) { size_ += n; }
    void clear() { size_ = 0; }
    const char* data() const { return reinterpret_cast<const char*>(block_.get()); }
    std::size_t size() const { return size_; }

private:
    block_ptr block_;
    std::size_t size_ = 0, capacity_ = 0;
};

// Hands out arrays from large blocks and frees them all together; threads may share one.
class arena {
public:
    // Makes the next blocks large enough for `bytes` in all, so one suffices.
    void expect(std::size_t bytes) { expected_ = bytes; }
    template <class T>
    T* take(std::size_t n) {
        return reinterpret_cast<T*>(take_bytes(n * sizeof(T)));
    }

private:
    std::byte* take_bytes(std::size_t bytes);
    std::mutex lock_;
    std::vector<block_ptr> blocks_;
    std::size_t used_ = 0, room_ = 0, expected_ = 0;
};

}  // namespace varnel
