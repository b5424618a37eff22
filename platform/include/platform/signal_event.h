// An event object in the manner the programs expect: manual-reset (stays signalled until reset) or
// auto-reset (one successful wait consumes the signal). Any thread may set, reset or wait.
#ifndef PLATFORM_SIGNAL_EVENT_H
#define PLATFORM_SIGNAL_EVENT_H

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

class SignalEvent {
  public:
    explicit SignalEvent(bool manualReset, bool initiallySignalled = false)
        : manualReset_(manualReset), signalled_(initiallySignalled) {}
    SignalEvent(const SignalEvent&) = delete;
    SignalEvent& operator=(const SignalEvent&) = delete;

    void Set();
    void Reset();
    // True when the event is signalled, without waiting and without consuming an auto-reset signal.
    bool IsSet() const;
    // Waits up to `timeoutMs` (kInfinite: no limit); true when the event was signalled.
    bool Wait(uint32_t timeoutMs);

    static constexpr uint32_t kInfinite = 0xFFFFFFFFu;

  private:
    const bool manualReset_;
    mutable std::mutex lock_;  // guards signalled_
    std::condition_variable changed_;
    bool signalled_;
};

}  // namespace platform

#endif
