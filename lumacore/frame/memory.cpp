// Aligned allocation and the time-stamp counter.
//
// A block is the system allocation with the caller's address rounded up to 32 bytes and the whole system
// address stored in the pointer-sized word just below it (a 32-bit word would truncate on 64-bit). The
// caller never sees or frees the hidden start.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "lumacore/lumacore.h"

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#else
#include <ctime>
#endif

namespace lumacore::c {
namespace {

constexpr std::size_t kAlign = 32;
constexpr std::size_t kOverhead = sizeof(void*) + kAlign - 1;

void* AllocAligned(std::size_t bytes) {
    void* raw = std::malloc(bytes + kOverhead);
    if (raw == nullptr) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kOverhead) & ~static_cast<std::uintptr_t>(kAlign - 1);
    std::memcpy(reinterpret_cast<void*>(aligned - sizeof(void*)), &raw, sizeof raw);
    return reinterpret_cast<void*>(aligned);
}

}  // namespace

Lum64u lumGetCpuClocks(void) {
#if defined(__x86_64__) || defined(__i386__)
    return __rdtsc();
#else
    // No unprivileged cycle counter everywhere: nanoseconds of the monotonic clock stand in for it.
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<Lum64u>(ts.tv_sec) * 1000000000u + static_cast<Lum64u>(ts.tv_nsec);
#endif
}

Lum8u* lumsMalloc_8u(int len) {
    if (len <= 0) return nullptr;
    return static_cast<Lum8u*>(AllocAligned(static_cast<std::size_t>(len)));
}

Lum16s* lumsMalloc_16s(int len) {
    if (len <= 0) return nullptr;
    return static_cast<Lum16s*>(AllocAligned(2 * static_cast<std::size_t>(len)));
}

void lumsFree(void* ptr) {
    if (ptr == nullptr) return;
    void* raw;
    std::memcpy(&raw, static_cast<unsigned char*>(ptr) - sizeof(void*), sizeof raw);
    std::free(raw);
}

}  // namespace lumacore::c
