#include "player/data_packet.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace reeldeck {

PacketQueue::PacketQueue(std::size_t heapBytes, uint32_t payloadBytes)
    : heap_(heapBytes), payload_(payloadBytes) {}

PacketQueue::~PacketQueue() {
    Clear();
}

DataPacket* PacketQueue::Allocate(int32_t unit) {
    void* block = heap_.Allocate(sizeof(DataPacket) + payload_, true);
    if (block == nullptr) return nullptr;
    DataPacket* packet = new (block) DataPacket{&heap_, nullptr, 0, unit};
    packet->self = packet;
    return packet;
}

void PacketQueue::Release(DataPacket* packet) {
    if (packet == nullptr) return;
    // A packet whose header was overwritten still belongs to this heap: free it here, not where it says.
    heap_.Free(packet);
    if (freed_) freed_();
}

void PacketQueue::Append(DataPacket* packet) {
    std::lock_guard<std::mutex> hold(lock_);
    packets_.push_back(packet);
}

std::size_t PacketQueue::Count() const {
    std::lock_guard<std::mutex> hold(lock_);
    return packets_.size();
}

DataPacket* PacketQueue::Oldest() const {
    std::lock_guard<std::mutex> hold(lock_);
    return packets_.empty() ? nullptr : packets_.front();
}

DataPacket* PacketQueue::Take() {
    std::lock_guard<std::mutex> hold(lock_);
    if (packets_.empty()) return nullptr;
    DataPacket* packet = packets_.front();
    packets_.pop_front();
    return packet;
}

int PacketQueue::TakeCopy(uint8_t* out, int capacity) {
    DataPacket* packet = Take();
    if (packet == nullptr) return -1;
    int copied = 0;
    if (Valid(packet)) {
        copied = std::min(static_cast<int>(packet->bytes), std::max(capacity, 0));
        if (copied > 0) std::memcpy(out, packet->Payload(), static_cast<std::size_t>(copied));
    }
    Release(packet);
    return copied;
}

void PacketQueue::Clear() {
    for (DataPacket* packet = Take(); packet != nullptr; packet = Take()) Release(packet);
}

}  // namespace reeldeck
