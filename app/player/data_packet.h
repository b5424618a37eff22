// DataPacket and the packet queues between the supplier and its consumers.
//
// A packet is one zero-filled allocation from its queue's fixed private heap: the header {owning heap,
// the packet's own address, byte count, unit number} and the payload behind it. On 64-bit the header is
// 24 bytes, not 16; the payload sizes are what the engine fixes (8192 video, 512 audio). Because the
// heaps never grow, an allocation fails once the queued packets fill them and the supplier waits: that is
// the engine's only flow control (32768 bytes hold 3 video packets, 12288 bytes 21 audio packets).
#ifndef REELDECK_PLAYER_DATA_PACKET_H
#define REELDECK_PLAYER_DATA_PACKET_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/fixed_heap.h"

namespace reeldeck {

struct DataPacket {
    platform::FixedHeap* heap;  // the heap it must be freed into
    DataPacket* self;           // its own address: a packet whose self pointer differs is discarded
    uint32_t bytes;             // payload bytes used, 1 .. kMaxPayload
    int32_t unit;               // the data unit it was read from

    static constexpr uint32_t kMaxPayload = 8192;
    uint8_t* Payload() { return reinterpret_cast<uint8_t*>(this + 1); }
    const uint8_t* Payload() const { return reinterpret_cast<const uint8_t*>(this + 1); }
    // The consumer's check before it uses a packet.
    bool Intact() const { return self == this && bytes >= 1 && bytes <= kMaxPayload; }
};
static_assert(sizeof(DataPacket) % 8 == 0);

inline constexpr std::size_t kVideoHeapBytes = 32768;
inline constexpr std::size_t kAudioHeapBytes = 12288;
inline constexpr uint32_t kVideoPayload = 8192;
inline constexpr uint32_t kAudioPayload = 512;

// A FIFO of packets on its own fixed heap. The lock is held only to append or take one packet; packets
// are allocated and freed outside it (the heap has its own lock).
class PacketQueue {
  public:
    PacketQueue(std::size_t heapBytes, uint32_t payloadBytes);
    ~PacketQueue();
    PacketQueue(const PacketQueue&) = delete;
    PacketQueue& operator=(const PacketQueue&) = delete;

    // A zero-filled packet with its header filled in (bytes 0), or nullptr while the heap is full.
    DataPacket* Allocate(int32_t unit);
    // Frees a packet into its owning heap and runs the freed hook.
    void Release(DataPacket* packet);

    void Append(DataPacket* packet);
    std::size_t Count() const;
    // The oldest packet without taking it (only the one consumer takes, so it stays valid until then).
    DataPacket* Oldest() const;
    // Takes the oldest packet off the queue; nullptr when empty.
    DataPacket* Take();
    // Takes the oldest packet, copies at most `capacity` payload bytes and frees it: the bytes copied,
    // 0 for a packet that fails its check, -1 when the queue is empty.
    int TakeCopy(uint8_t* out, int capacity);
    // Frees every queued packet.
    void Clear();

    uint32_t PayloadCapacity() const { return payload_; }
    // The consumer's check: the self pointer and a byte count of 1 up to this queue's payload size (an
    // audio packet claiming 8192 bytes would otherwise be read past its 512).
    bool Valid(const DataPacket* packet) const { return packet->Intact() && packet->bytes <= payload_; }
    std::size_t HeapUsed() const { return heap_.Used(); }
    std::size_t HeapCapacity() const { return heap_.Capacity(); }

    // Runs after a packet was freed, with no lock held (the supplier's wait wakes on it).
    void SetFreedHook(std::function<void()> hook) { freed_ = std::move(hook); }

  private:
    platform::FixedHeap heap_;
    const uint32_t payload_;
    mutable std::mutex lock_;  // guards packets_
    std::deque<DataPacket*> packets_;
    std::function<void()> freed_;  // set before the threads start
};

}  // namespace reeldeck

#endif
