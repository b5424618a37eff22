#include "platform/fixed_heap.h"

#include <chrono>
#include <cstring>
#include <new>

namespace platform {

// Sits in front of every block: links for the live list, the bytes asked for and the block's cost.
// 32 bytes on 64-bit, which keeps the payload 16-byte aligned.
struct alignas(16) FixedHeap::Header {
    Header* prev;
    Header* next;
    std::size_t bytes;
    std::size_t cost;
};

namespace {
constexpr std::align_val_t kAlign{16};
}

FixedHeap::FixedHeap(std::size_t capacityBytes) : capacity_(capacityBytes) {
    static_assert(sizeof(Header) == kBlockOverhead && alignof(Header) == 16);
}

FixedHeap::~FixedHeap() {
    std::lock_guard<std::mutex> hold(lock_);
    while (first_ != nullptr) {
        Header* h = first_;
        first_ = h->next;
        ::operator delete(h, kAlign);
    }
    last_ = nullptr;
}

void* FixedHeap::AllocateLocked(std::size_t bytes, bool zero) {
    if (bytes > capacity_) return nullptr;  // also keeps Cost() from overflowing
    const std::size_t cost = Cost(bytes);
    if (cost > capacity_ - used_) return nullptr;
    // The real allocation is exactly header + payload so that the sanitizers see overruns of a block.
    void* raw = ::operator new(kBlockOverhead + (bytes == 0 ? 1 : bytes), kAlign, std::nothrow);
    if (raw == nullptr) return nullptr;
    auto* h = static_cast<Header*>(raw);
    // Appended at the tail: queues free their oldest block first, and Free searches from the head.
    h->prev = last_;
    h->next = nullptr;
    h->bytes = bytes;
    h->cost = cost;
    if (last_ != nullptr) {
        last_->next = h;
    } else {
        first_ = h;
    }
    last_ = h;
    used_ += cost;
    ++count_;
    void* payload = static_cast<unsigned char*>(raw) + kBlockOverhead;
    if (zero) std::memset(payload, 0, bytes);
    return payload;
}

void* FixedHeap::Allocate(std::size_t bytes, bool zero) {
    std::lock_guard<std::mutex> hold(lock_);
    return AllocateLocked(bytes, zero);
}

void* FixedHeap::AllocateWaiting(std::size_t bytes, uint32_t timeoutMs, bool zero) {
    std::unique_lock<std::mutex> hold(lock_);
    void* block = AllocateLocked(bytes, zero);
    if (block != nullptr || bytes > capacity_) return block;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (block == nullptr) {
        if (freed_.wait_until(hold, deadline) == std::cv_status::timeout) {
            return AllocateLocked(bytes, zero);
        }
        block = AllocateLocked(bytes, zero);
    }
    return block;
}

bool FixedHeap::Free(void* block) {
    if (block == nullptr) return false;
    {
        std::lock_guard<std::mutex> hold(lock_);
        // Only pointers found on the live list are trusted; anything else is refused without touching
        // the memory in front of it, which may not be ours.
        Header* h = first_;
        auto* wanted = reinterpret_cast<Header*>(static_cast<unsigned char*>(block) - kBlockOverhead);
        while (h != nullptr && h != wanted) h = h->next;
        if (h == nullptr) return false;
        (h->prev != nullptr ? h->prev->next : first_) = h->next;
        (h->next != nullptr ? h->next->prev : last_) = h->prev;
        used_ -= h->cost;
        --count_;
        ::operator delete(h, kAlign);
    }
    freed_.notify_all();
    return true;
}

bool FixedHeap::Owns(const void* block) const {
    if (block == nullptr) return false;
    std::lock_guard<std::mutex> hold(lock_);
    for (const Header* h = first_; h != nullptr; h = h->next) {
        if (reinterpret_cast<const unsigned char*>(h) + kBlockOverhead == block) return true;
    }
    return false;
}

std::size_t FixedHeap::Used() const {
    std::lock_guard<std::mutex> hold(lock_);
    return used_;
}

std::size_t FixedHeap::LiveBlocks() const {
    std::lock_guard<std::mutex> hold(lock_);
    return count_;
}

}  // namespace platform
