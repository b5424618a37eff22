// Time sources: a millisecond tick count and a high-resolution counter, both monotonic.
#ifndef PLATFORM_CLOCK_H
#define PLATFORM_CLOCK_H

#include <cstdint>

namespace platform {

// Milliseconds since an arbitrary start, wrapping at 2^32 like the tick counts the programs expect;
// compare two readings by unsigned subtraction.
uint32_t TickCountMs();

// The high-resolution counter and its ticks per second (nanoseconds here: 1e9).
uint64_t PerformanceCounter();
uint64_t PerformanceFrequency();

// Sleeps the calling thread for `ms` milliseconds.
void SleepMs(uint32_t ms);

}  // namespace platform

#endif
