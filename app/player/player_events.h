// The engine's manual-reset events, kept as one set so that a thread can wait for a combination of them
// ("until SupplierRestart is reset", "until Paused is reset or DecoderFlush is set or my stop flag
// rises") and wake as soon as any of them changes, instead of polling every millisecond.
//
// The waits re-check their condition at least every `kPollMs` as well, because some conditions also
// read state outside the set (queue counts, stop flags raised elsewhere). With `polling` on, a wait is
// the plain 1 ms sleep loop instead; the benchmark measures both.
#ifndef REELDECK_PLAYER_PLAYER_EVENTS_H
#define REELDECK_PLAYER_PLAYER_EVENTS_H

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/clock.h"

namespace reeldeck {

enum class Event : uint32_t {
    kSupplierRunning,
    kDecoderReady,
    kAudioReady,
    kStopped,
    kPaused,
    kFrameShown,
    kVideoEnd,
    kAudioEnd,
    kCaptureRequest,
    kSupplierRestart,
    kDecoderFlush,
    kSupplierRebooting,
    kVideoRebooting,
    kAudioRebooting,
    kSensorAlarm,
    kMotionAlarm,
    kCount,
};

class PlayerEvents {
  public:
    static constexpr uint32_t kPollMs = 1;

    explicit PlayerEvents(bool polling = false) : polling_(polling) {}
    PlayerEvents(const PlayerEvents&) = delete;
    PlayerEvents& operator=(const PlayerEvents&) = delete;

    void Set(Event e) { Change(e, true); }
    void Reset(Event e) { Change(e, false); }
    bool IsSet(Event e) const {
        std::lock_guard<std::mutex> hold(lock_);
        return (bits_ & Bit(e)) != 0;
    }
    // Wakes every waiter to re-check its condition: for a change outside the set (a stop flag raised, a
    // packet freed).
    void Touch();

    // Waits until `done()` holds or `timeoutMs` passed (kForever: no limit); true when it holds.
    // `done` runs with no lock held.
    template <typename Done>
    bool WaitUntil(Done done, uint32_t timeoutMs = kForever) {
        const uint32_t start = platform::TickCountMs();
        for (;;) {
            const uint64_t seen = Generation();
            if (done()) return true;
            if (timeoutMs != kForever && platform::TickCountMs() - start >= timeoutMs) return false;
            WaitForChange(seen);
        }
    }
    // One wait step: until any change or kPollMs.
    void WaitStep() { WaitForChange(Generation()); }

    static constexpr uint32_t kForever = 0xFFFFFFFFu;

  private:
    static constexpr uint32_t Bit(Event e) { return 1u << static_cast<uint32_t>(e); }
    void Change(Event e, bool set);
    uint64_t Generation() const {
        std::lock_guard<std::mutex> hold(lock_);
        return generation_;
    }
    void WaitForChange(uint64_t seen);

    const bool polling_;
    mutable std::mutex lock_;  // guards bits_ and generation_
    std::condition_variable changed_;
    uint32_t bits_ = 0;
    uint64_t generation_ = 0;  // counts changes, so a waiter cannot miss one between check and wait
};

}  // namespace reeldeck

#endif
