#include "core/chunk_queue.h"

#include <chrono>
#include <cstring>

#include "core/viewer_state.h"

namespace ocuview {

std::mutex& StreamSession::QueueLock() const {
    switch (kind) {
        case StreamKind::kAudio:
            return viewer->audioLock;
        case StreamKind::kMotionData:
            return viewer->motionLock;
        default:
            return viewer->videoLock;
    }
}

std::condition_variable& StreamSession::QueueSignal() const {
    switch (kind) {
        case StreamKind::kAudio:
            return viewer->audioSignal;
        case StreamKind::kMotionData:
            return viewer->motionSignal;
        default:
            return viewer->videoSignal;
    }
}

namespace {

// One block of `size` bytes (`payload` allocated) at the back of the queue; the caller holds the lock.
bool AppendBlockLocked(StreamSession& session, const uint8_t* data, std::size_t size, std::size_t payload) {
    if (!session.heap) return false;
    void* raw = session.heap->Allocate(sizeof(ChunkBlock) + payload, payload > size);
    if (raw == nullptr) return false;
    auto* block = static_cast<ChunkBlock*>(raw);
    block->self = block;
    block->count = static_cast<uint32_t>(size);
    std::memcpy(block->Bytes(), data, size);
    session.queue.push_back(block);
    return true;
}

// Copies the block's bytes (up to `capacity`) when this heap handed it out and it is well formed, then
// frees it; the caller holds the lock. Anything else is dropped without touching it.
int TakeBlockLocked(StreamSession& session, ChunkBlock* block, uint8_t* out, std::size_t capacity) {
    int copied = 0;
    if (session.heap && session.heap->Owns(block) && block->WellFormed()) {
        copied = static_cast<int>(std::min<std::size_t>(block->count, capacity));
        std::memcpy(out, block->Bytes(), static_cast<std::size_t>(copied));
    }
    if (session.heap) (void)session.heap->Free(block);
    return copied;
}

}  // namespace

bool PushChunk(StreamSession& session, const uint8_t* data, std::size_t size, std::size_t blockBytes) {
    {
        std::lock_guard<std::mutex> hold(session.QueueLock());
        if (!AppendBlockLocked(session, data, size, std::max(size, blockBytes))) return false;
    }
    session.QueueSignal().notify_all();
    if (session.kind == StreamKind::kAudio && session.viewer != nullptr) {
        if (const std::shared_ptr<StreamTap> tap = CurrentTap(*session.viewer)) tap->OnAudio({data, size});
    }
    return true;
}

std::size_t PushChunks(StreamSession& session, const uint8_t* data, std::size_t size,
                       std::size_t blockBytes) {
    std::size_t queued = 0;
    {
        std::lock_guard<std::mutex> hold(session.QueueLock());
        while (queued < size) {
            const std::size_t n = std::min(size - queued, std::max<std::size_t>(blockBytes, 1));
            if (!AppendBlockLocked(session, data + queued, n, n)) break;
            queued += n;
        }
    }
    if (queued > 0) session.QueueSignal().notify_all();
    return queued;
}

void TrimAudioQueue(StreamSession& session) {
    std::lock_guard<std::mutex> hold(session.QueueLock());
    if (session.queue.size() <= static_cast<std::size_t>(kAudioQueueLimit)) return;
    for (int i = 0; i < kAudioDropCount && !session.queue.empty(); ++i) {
        if (session.heap) (void)session.heap->Free(session.queue.front());
        session.queue.pop_front();
    }
}

void ClearQueue(StreamSession& session, bool destroyHeap) {
    std::lock_guard<std::mutex> hold(session.QueueLock());
    for (ChunkBlock* b : session.queue) {
        if (session.heap) (void)session.heap->Free(b);
    }
    session.queue.clear();
    if (destroyHeap) session.heap.reset();
}

void NewHeap(StreamSession& session) {
    std::lock_guard<std::mutex> hold(session.QueueLock());
    session.queue.clear();
    session.heap = std::make_unique<platform::FixedHeap>(kSessionHeapBytes);
}

int TakeChunk(StreamSession& session, uint8_t* out, std::size_t capacity) {
    std::lock_guard<std::mutex> hold(session.QueueLock());
    if (session.queue.empty()) return -1;
    ChunkBlock* block = session.queue.front();
    session.queue.pop_front();
    return TakeBlockLocked(session, block, out, capacity);
}

int TakeChunks(StreamSession& session, uint8_t* out, std::size_t capacity) {
    std::lock_guard<std::mutex> hold(session.QueueLock());
    if (session.queue.empty()) return -1;
    std::size_t copied = 0;
    do {
        ChunkBlock* block = session.queue.front();
        session.queue.pop_front();
        copied += static_cast<std::size_t>(TakeBlockLocked(session, block, out + copied, capacity - copied));
        // The next block is taken only when it fits whole (its count is read only from a block of ours).
    } while (!session.queue.empty() && session.heap && session.heap->Owns(session.queue.front()) &&
             session.queue.front()->WellFormed() && session.queue.front()->count <= capacity - copied);
    return static_cast<int>(copied);
}

std::size_t QueuedChunks(StreamSession& session) {
    std::lock_guard<std::mutex> hold(session.QueueLock());
    return session.queue.size();
}

void WaitForChunk(StreamSession& session, int timeoutMs) {
    std::unique_lock<std::mutex> hold(session.QueueLock());
    if (!session.queue.empty()) return;
    session.QueueSignal().wait_for(hold, std::chrono::milliseconds(timeoutMs));
}

}  // namespace ocuview
