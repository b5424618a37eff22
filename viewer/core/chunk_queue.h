// The queue of one stream session: blocks allocated from the session's fixed heap, added by its producer
// and taken by its consumer, each under the lock of the session's stream kind.
#ifndef OCUVIEW_CORE_CHUNK_QUEUE_H
#define OCUVIEW_CORE_CHUNK_QUEUE_H

#include <cstddef>
#include <cstdint>

namespace ocuview {

struct StreamSession;
struct ViewerState;

// Copies `size` bytes into a new block of the session's heap and appends it to the queue. `blockBytes`,
// when larger, is the payload room allocated (zero-filled), as the UDP receivers allocate whole datagrams.
// False when the heap is full (or absent): the caller keeps the bytes.
[[nodiscard]] bool PushChunk(StreamSession& session, const uint8_t* data, std::size_t size,
                             std::size_t blockBytes = 0);

// Cuts `size` bytes into blocks of at most `blockBytes` and queues as many as the heap takes, under one
// hold of the lock and with one wake-up for the consumer. Returns the bytes queued (whole blocks, from the
// front); the caller keeps the rest for a later try.
[[nodiscard]] std::size_t PushChunks(StreamSession& session, const uint8_t* data, std::size_t size,
                                     std::size_t blockBytes);

// Audio: with more than 25 blocks waiting, drops the 10 oldest.
void TrimAudioQueue(StreamSession& session);

// Frees every queued block; with `destroyHeap` also the heap itself (both under the queue lock).
void ClearQueue(StreamSession& session, bool destroyHeap);
// A fresh empty heap of 20480 bytes (the old one, with its blocks, is released).
void NewHeap(StreamSession& session);

// Takes the oldest block: copies up to `capacity` bytes of it to `out` and frees it. Returns the bytes
// copied, or -1 when the queue is empty; a block that is not well formed is discarded and counts as 0.
int TakeChunk(StreamSession& session, uint8_t* out, std::size_t capacity);
// Takes the oldest blocks under one hold of the lock: the first as TakeChunk does, then more while each
// fits whole into what is left of `capacity`. Returns the bytes copied, or -1 when the queue is empty.
int TakeChunks(StreamSession& session, uint8_t* out, std::size_t capacity);
std::size_t QueuedChunks(StreamSession& session);

// Sleeps until a block is queued for the session, or `timeoutMs` passes.
void WaitForChunk(StreamSession& session, int timeoutMs);

}  // namespace ocuview

#endif
