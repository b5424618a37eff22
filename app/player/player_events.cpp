#include "player/player_events.h"

namespace reeldeck {

void PlayerEvents::Change(Event e, bool set) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        const uint32_t bits = set ? bits_ | Bit(e) : bits_ & ~Bit(e);
        if (bits == bits_) return;
        bits_ = bits;
        ++generation_;
    }
    changed_.notify_all();
}

void PlayerEvents::Touch() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        ++generation_;
    }
    changed_.notify_all();
}

void PlayerEvents::WaitForChange(uint64_t seen) {
    if (polling_) {
        platform::SleepMs(kPollMs);
        return;
    }
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait_for(hold, std::chrono::milliseconds(kPollMs), [&] { return generation_ != seen; });
}

}  // namespace reeldeck
