#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace platform {

namespace {
uint64_t MonotonicNs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}
}  // namespace

uint32_t TickCountMs() {
    return static_cast<uint32_t>(MonotonicNs() / 1000000u);
}

uint64_t PerformanceCounter() {
    return MonotonicNs();
}

uint64_t PerformanceFrequency() {
    return 1000000000u;
}

void SleepMs(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace platform
