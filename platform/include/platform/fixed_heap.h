// A private heap of fixed size: it hands out blocks until its capacity in bytes is used up and then
// refuses (nullptr), instead of growing. Producers that allocate their queue blocks from such a heap
// stall while their consumer is behind, so the capacity is the flow control of a stream, not a
// tuning hint.
//
// Every block costs its size rounded up to kGranule plus kBlockOverhead bytes of bookkeeping; Used()
// counts exactly that, so a test can predict when the heap refuses. All members are thread-safe: one
// producer and one consumer may allocate and free concurrently. Destroying the heap releases the blocks
// still allocated from it (as destroying a private heap does); the heap must outlive every pointer into it.
#ifndef PLATFORM_FIXED_HEAP_H
#define PLATFORM_FIXED_HEAP_H

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace platform {

class FixedHeap {
  public:
    static constexpr std::size_t kGranule = 16;
    static constexpr std::size_t kBlockOverhead = 32;

    explicit FixedHeap(std::size_t capacityBytes);
    ~FixedHeap();
    FixedHeap(const FixedHeap&) = delete;
    FixedHeap& operator=(const FixedHeap&) = delete;

    // A block of `bytes` (16-byte aligned), or nullptr when the heap cannot hold it now. Zero-filled
    // when `zero` is set. A zero-byte request still costs one granule and gives a distinct pointer.
    [[nodiscard]] void* Allocate(std::size_t bytes, bool zero = false);

    // Like Allocate, but waits up to `timeoutMs` for a Free that makes room. Lets a producer sleep
    // until its consumer frees a block instead of polling.
    [[nodiscard]] void* AllocateWaiting(std::size_t bytes, uint32_t timeoutMs, bool zero = false);

    // Returns a block to the heap. False (and nothing changes) for nullptr or a pointer that is not a
    // live block of this heap, such as a block freed twice or one from another heap.
    bool Free(void* block);

    // True when `block` is a live block of this heap.
    [[nodiscard]] bool Owns(const void* block) const;

    std::size_t Capacity() const { return capacity_; }
    // Bytes in use, bookkeeping included; never above Capacity().
    [[nodiscard]] std::size_t Used() const;
    [[nodiscard]] std::size_t LiveBlocks() const;
    // What one block of `bytes` costs against the capacity.
    static constexpr std::size_t Cost(std::size_t bytes) {
        return (bytes + kGranule - 1) / kGranule * kGranule + (bytes == 0 ? kGranule : 0) + kBlockOverhead;
    }

  private:
    struct Header;
    void* AllocateLocked(std::size_t bytes, bool zero);

    const std::size_t capacity_;
    mutable std::mutex lock_;  // guards used_, count_ and the block list
    std::condition_variable freed_;
    std::size_t used_ = 0;
    std::size_t count_ = 0;
    Header* first_ = nullptr;  // live blocks, oldest first, so the destructor can release them
    Header* last_ = nullptr;
};

// Owning handle for one block: frees it on its heap when it goes out of scope.
struct FixedHeapDeleter {
    FixedHeap* heap = nullptr;
    void operator()(void* block) const {
        if (heap != nullptr) heap->Free(block);
    }
};
using FixedHeapBlock = std::unique_ptr<void, FixedHeapDeleter>;

inline FixedHeapBlock MakeHeapBlock(FixedHeap& heap, std::size_t bytes, bool zero = false) {
    return FixedHeapBlock(heap.Allocate(bytes, zero), FixedHeapDeleter{&heap});
}

}  // namespace platform

#endif
