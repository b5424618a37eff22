// The processor time of the calling thread, for benchmarks that time ours and a peer on the same thread.
#ifndef BENCH_COMMON_THREAD_SECONDS_H
#define BENCH_COMMON_THREAD_SECONDS_H

#include <time.h>

namespace bench {

// Seconds of processor time this thread has used: time the scheduler gives to other processes is not
// counted, so on a shared machine a pass is not lengthened by being switched out. What remains is the
// effect of the other processes on the caches, which the best of several short passes leaves out.
inline double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

}  // namespace bench

#endif
