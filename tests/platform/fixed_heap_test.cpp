#include "platform/fixed_heap.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using platform::FixedHeap;

// A 20480-byte heap of 136-byte blocks (a 128-byte chunk and its 8-byte head) holds exactly as many
// blocks as their cost allows, refuses the next one, and takes one again after a free.
TEST(FixedHeap, RefusesOnceFullAndRecoversAfterFree) {
    FixedHeap heap(20480);
    const std::size_t cost = FixedHeap::Cost(136);
    ASSERT_EQ(cost, 144u + FixedHeap::kBlockOverhead);
    std::vector<void*> blocks;
    while (void* b = heap.Allocate(136)) blocks.push_back(b);
    EXPECT_EQ(blocks.size(), 20480 / cost);
    EXPECT_EQ(heap.Used(), blocks.size() * cost);
    EXPECT_LE(heap.Used(), heap.Capacity());
    EXPECT_EQ(heap.Allocate(136), nullptr);
    EXPECT_EQ(heap.Allocate(20481), nullptr);  // larger than the whole heap
    EXPECT_TRUE(heap.Free(blocks.front()));
    blocks.erase(blocks.begin());
    void* again = heap.Allocate(136, true);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(again) % 16, 0u);
    for (int i = 0; i < 136; ++i) EXPECT_EQ(static_cast<unsigned char*>(again)[i], 0);
    blocks.push_back(again);
    for (void* b : blocks) EXPECT_TRUE(heap.Free(b));
    EXPECT_EQ(heap.Used(), 0u);
    EXPECT_EQ(heap.LiveBlocks(), 0u);
}

TEST(FixedHeap, RefusesForeignAndStalePointers) {
    FixedHeap a(4096), b(4096);
    void* p = a.Allocate(100);
    int local = 0;
    EXPECT_FALSE(b.Free(p));
    EXPECT_FALSE(a.Free(&local));
    EXPECT_FALSE(a.Free(nullptr));
    EXPECT_TRUE(a.Owns(p));
    EXPECT_TRUE(a.Free(p));
    EXPECT_FALSE(a.Owns(p));
    EXPECT_FALSE(a.Free(p));  // twice
}

// Blocks left allocated are released with the heap (the leak checker would report them otherwise),
// and the owning handle frees its block on its heap.
TEST(FixedHeap, ReleasesLeftoverBlocksAndHandles) {
    auto heap = std::make_unique<FixedHeap>(4096);
    for (int i = 0; i < 5; ++i) ASSERT_NE(heap->Allocate(64), nullptr);
    {
        platform::FixedHeapBlock block = platform::MakeHeapBlock(*heap, 64);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(heap->LiveBlocks(), 6u);
    }
    EXPECT_EQ(heap->LiveBlocks(), 5u);
    heap.reset();
}

// A producer blocked on a full heap wakes when the consumer frees; no block is lost or doubled.
TEST(FixedHeap, ProducerStallsUntilConsumerFrees) {
    FixedHeap heap(FixedHeap::Cost(100) * 4);
    constexpr int kBlocks = 2000;
    std::vector<void*> queue;
    std::mutex queueLock;
    std::atomic<int> consumed{0};
    std::atomic<std::size_t> highest{0};
    std::thread consumer([&] {
        while (consumed < kBlocks) {
            void* b = nullptr;
            {
                std::lock_guard<std::mutex> hold(queueLock);
                if (!queue.empty()) {
                    b = queue.front();
                    queue.erase(queue.begin());
                }
            }
            if (b == nullptr) {
                std::this_thread::yield();
                continue;
            }
            EXPECT_EQ(std::memcmp(b, "block", 6), 0);
            EXPECT_TRUE(heap.Free(b));
            ++consumed;
        }
    });
    for (int i = 0; i < kBlocks; ++i) {
        void* b = nullptr;
        while ((b = heap.AllocateWaiting(100, 1000)) == nullptr) {
        }
        std::memcpy(b, "block", 6);
        highest = std::max(highest.load(), heap.Used());
        std::lock_guard<std::mutex> hold(queueLock);
        queue.push_back(b);
    }
    consumer.join();
    EXPECT_LE(highest.load(), heap.Capacity());
    EXPECT_EQ(heap.LiveBlocks(), 0u);
}

TEST(FixedHeap, WaitingAllocationTimesOut) {
    FixedHeap heap(FixedHeap::Cost(64));
    void* only = heap.Allocate(64);
    ASSERT_NE(only, nullptr);
    EXPECT_EQ(heap.AllocateWaiting(64, 5), nullptr);
    EXPECT_TRUE(heap.Free(only));
}

}  // namespace
