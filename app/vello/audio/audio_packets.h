// The audio packet source VelloAudio reads from, and G.726 code unpacking.
//
// The host (Reeldeck's player queue, Ocuview's receive queue) owns the queue and its lock; VelloAudio
// only counts packets and takes the oldest one, holding the host's lock while it unlinks and copies it.
#ifndef VELLO_AUDIO_AUDIO_PACKETS_H
#define VELLO_AUDIO_AUDIO_PACKETS_H

#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace vello {

class AudioPacketSource {
  public:
    virtual ~AudioPacketSource() = default;
    // Packets queued now.
    virtual int Count() = 0;
    // Unlinks the oldest packet and copies at most `capacity` bytes of its payload to `out`; returns the
    // number of bytes copied, or -1 when the queue is empty.
    virtual int Take(uint8_t* out, int capacity) = 0;
    // Reeldeck: packets may be taken only while the player is not paused and its supplier runs.
    virtual bool MayTake() { return true; }
    // Ocuview: the host is stopping, so the wait for the first packets ends.
    virtual bool Stopping() { return false; }
};

// A plain locked FIFO of packets, for hosts without a queue of their own (qxrtool, tests).
class LockedPacketQueue : public AudioPacketSource {
  public:
    void Push(std::vector<uint8_t> packet);
    int Count() override;
    int Take(uint8_t* out, int capacity) override;
    void SetMayTake(bool may);
    bool MayTake() override;

  private:
    std::mutex lock_;  // guards packets_ and mayTake_
    std::deque<std::vector<uint8_t>> packets_;
    bool mayTake_ = true;
};

// Unpacks G.726 codes of `bits` (2 to 5) bits, packed most significant bit first, one code per output
// byte. Stops at `maxCodes` or where the bytes run out (a trailing partial code is not produced).
// Returns the number of codes written.
int UnpackG726Codes(const uint8_t* packet, int length, int bits, uint8_t* codes, int maxCodes);

}  // namespace vello

#endif
