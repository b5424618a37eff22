// FramePacer: spaces the shown pictures and measures the rate they are shown at.
//
// Called once per picture with a signed argument a: a positive a is a frame rate and the interval is
// 1000 / a ms (integer division); zero or negative means an interval of -a ms. The wait is the interval
// less the time already spent since the previous picture's due time, never below 0. The rate is
// measured over windows of at least 1000 ms.
#ifndef REELDECK_PLAYER_FRAME_PACER_H
#define REELDECK_PLAYER_FRAME_PACER_H

#include <cstdint>
#include <functional>

namespace reeldeck {

class FramePacer {
  public:
    // The clock and the sleep are replaceable for tests; by default the platform's tick count and a
    // sleep until the due millisecond.
    using Now = std::function<uint32_t()>;
    using SleepUntil = std::function<void(uint32_t dueMs)>;
    FramePacer();
    FramePacer(Now now, SleepUntil sleepUntil);

    // Paces one picture (sleeps as needed) and returns the last measured rate (pictures per second).
    double Pace(int a);
    // Back to the start: no previous picture, no window.
    void Reset();

    uint32_t LastWait() const { return previousWait_; }

  private:
    Now now_;
    SleepUntil sleepUntil_;
    bool started_ = false;
    uint32_t frames_ = 0;       // counted in the current window
    uint32_t windowStart_ = 0;  // ms
    uint32_t previousStart_ = 0;
    uint32_t previousWait_ = 0;
    double rate_ = 0.0;
};

}  // namespace reeldeck

#endif
