#include "player/frame_pacer.h"

#include <utility>

#include "platform/clock.h"

namespace reeldeck {

FramePacer::FramePacer()
    : FramePacer(platform::TickCountMs, [](uint32_t due) {
          // Sleep in 1 ms steps, never past the due millisecond.
          while (static_cast<int32_t>(due - platform::TickCountMs()) > 0) platform::SleepMs(1);
      }) {}

FramePacer::FramePacer(Now now, SleepUntil sleepUntil)
    : now_(std::move(now)), sleepUntil_(std::move(sleepUntil)) {}

void FramePacer::Reset() {
    started_ = false;
    frames_ = 0;
    windowStart_ = previousStart_ = previousWait_ = 0;
    rate_ = 0.0;
}

double FramePacer::Pace(int a) {
    const int64_t interval = a > 0 ? 1000 / a : -static_cast<int64_t>(a);
    ++frames_;
    const uint32_t t0 = now_();
    if (!started_) {
        // The first picture has no previous due time: it waits nothing and opens the window.
        started_ = true;
        windowStart_ = t0;
        previousStart_ = t0;
        previousWait_ = 0;
        return rate_;
    }
    // Tick arithmetic is modulo 2^32: differences are taken unsigned and read as signed.
    const int64_t late = static_cast<int32_t>(t0 - (previousStart_ + previousWait_));
    int64_t wait = interval - late;
    if (wait < 0) wait = 0;
    if (wait > 0) sleepUntil_(t0 + static_cast<uint32_t>(wait));
    previousWait_ = static_cast<uint32_t>(wait);
    previousStart_ = t0;
    const uint32_t elapsed = t0 - windowStart_;
    if (elapsed >= 1000) {
        rate_ = static_cast<double>(frames_) * 1000.0 / elapsed;
        frames_ = 0;
        windowStart_ = t0;
    }
    return rate_;
}

}  // namespace reeldeck
