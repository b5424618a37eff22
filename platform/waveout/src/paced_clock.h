// Real-time accounting of a sink that has no device of its own: bytes count as played at the format's
// byte rate from the moment they are pushed, and the clock stands still while paused or starved.
#ifndef PLATFORM_WAVEOUT_PACED_CLOCK_H
#define PLATFORM_WAVEOUT_PACED_CLOCK_H

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace platform::waveout {

class PacedClock {
  public:
    explicit PacedClock(uint32_t bytesPerSecond) : bytesPerSecond_(bytesPerSecond) {}

    void Pushed(uint32_t bytes) {
        if (PlayedNow() >= pushed_) Anchor(pushed_);  // idle until now: start timing from here
        pushed_ += bytes;
    }
    uint64_t Played() { return PlayedNow(); }
    void Flush() {
        pushed_ = 0;
        Anchor(0);
    }
    void SetPaused(bool paused) {
        if (paused == paused_) return;
        Anchor(PlayedNow());
        paused_ = paused;
    }

  private:
    using Clock = std::chrono::steady_clock;

    uint64_t PlayedNow() const {
        if (paused_) return anchorBytes_;
        const double seconds = std::chrono::duration<double>(Clock::now() - anchorTime_).count();
        const auto elapsed = static_cast<uint64_t>(seconds * bytesPerSecond_);
        return std::min(pushed_, anchorBytes_ + elapsed);
    }
    void Anchor(uint64_t bytes) {
        anchorBytes_ = bytes;
        anchorTime_ = Clock::now();
    }

    const uint32_t bytesPerSecond_;
    uint64_t pushed_ = 0;
    uint64_t anchorBytes_ = 0;
    Clock::time_point anchorTime_ = Clock::now();
    bool paused_ = false;
};

}  // namespace platform::waveout

#endif
