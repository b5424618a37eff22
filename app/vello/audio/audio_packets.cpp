#include "vello/audio/audio_packets.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace vello {

void LockedPacketQueue::Push(std::vector<uint8_t> packet) {
    std::lock_guard<std::mutex> hold(lock_);
    packets_.push_back(std::move(packet));
}

int LockedPacketQueue::Count() {
    std::lock_guard<std::mutex> hold(lock_);
    return static_cast<int>(packets_.size());
}

int LockedPacketQueue::Take(uint8_t* out, int capacity) {
    std::vector<uint8_t> packet;
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (packets_.empty()) return -1;
        packet = std::move(packets_.front());
        packets_.pop_front();
    }
    const int n = std::min(static_cast<int>(packet.size()), std::max(capacity, 0));
    if (n > 0) std::memcpy(out, packet.data(), static_cast<std::size_t>(n));
    return n;
}

void LockedPacketQueue::SetMayTake(bool may) {
    std::lock_guard<std::mutex> hold(lock_);
    mayTake_ = may;
}

bool LockedPacketQueue::MayTake() {
    std::lock_guard<std::mutex> hold(lock_);
    return mayTake_;
}

int UnpackG726Codes(const uint8_t* packet, int length, int bits, uint8_t* codes, int maxCodes) {
    if (packet == nullptr || codes == nullptr || bits < 2 || bits > 5 || length <= 0 || maxCodes <= 0)
        return 0;
    // A bit reservoir, filled from the top: the first code is the most significant `bits` of byte 0.
    uint32_t reservoir = 0;
    int held = 0, produced = 0;
    const uint32_t mask = (1u << bits) - 1;
    for (int i = 0; i < length && produced < maxCodes; ++i) {
        reservoir = (reservoir << 8) | packet[i];
        held += 8;
        while (held >= bits && produced < maxCodes) {
            held -= bits;
            codes[produced++] = static_cast<uint8_t>((reservoir >> held) & mask);
        }
        reservoir &= (1u << held) - 1;
    }
    return produced;
}

}  // namespace vello
