// The exported entry points. Each dispatched export calls whatever its slot holds (one indirect jump
// once optimised); the three direct exports call the generic allocator code themselves.
#include <cstdint>

#include "dispatch/slots.h"
#include "lumacore/lumacore.h"

#define LUM_EXPORT(ret, name, params, args)                                     \
    namespace lumacore::slots {                                                 \
    GenericFn name = nullptr;                                                   \
    }                                                                           \
    extern "C" ret name params {                                                \
        return reinterpret_cast<decltype(&::name)>(lumacore::slots::name) args; \
    }
#include "exports.inc"
#undef LUM_EXPORT

namespace lumacore::c {
Lum8u* lumsMalloc_8u(int len);
void lumsFree(void* ptr);
}  // namespace lumacore::c

extern "C" void* lumMalloc(int length) {
    return lumacore::c::lumsMalloc_8u(length);
}

extern "C" void lumFree(void* ptr) {
    lumacore::c::lumsFree(ptr);
}

extern "C" void* lumAlignPtr(void* ptr, int alignBytes) {
    const auto p = reinterpret_cast<uintptr_t>(ptr);
    const auto mask = static_cast<uintptr_t>(alignBytes) - 1;
    return reinterpret_cast<void*>(p + ((0 - (p & mask)) & mask));
}
