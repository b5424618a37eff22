#include "platform/signal_event.h"

#include <chrono>

namespace platform {

void SignalEvent::Set() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        signalled_ = true;
    }
    if (manualReset_) {
        changed_.notify_all();
    } else {
        changed_.notify_one();
    }
}

void SignalEvent::Reset() {
    std::lock_guard<std::mutex> hold(lock_);
    signalled_ = false;
}

bool SignalEvent::IsSet() const {
    std::lock_guard<std::mutex> hold(lock_);
    return signalled_;
}

bool SignalEvent::Wait(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> hold(lock_);
    auto ready = [this] { return signalled_; };
    if (timeoutMs == kInfinite) {
        changed_.wait(hold, ready);
    } else if (!changed_.wait_for(hold, std::chrono::milliseconds(timeoutMs), ready)) {
        return false;
    }
    if (!manualReset_) signalled_ = false;
    return true;
}

}  // namespace platform
