// The static dispatch table: one record per dispatched export, its slot and its four implementations.
//
// The implementations are declared in level_impls.h from the exports' own types: a family defines
// lumacore::c::<export> (and lumacore::sse2::, ::sse41::, ::avx2:: where it has tuned versions) and lists
// its records in its impls.inc, in export order.
#include "dispatch/dispatch_table.h"

#include <iterator>
#include <type_traits>

#include "dispatch/level_impls.h"
#include "dispatch/slots.h"
#include "lumacore/lumacore.h"

namespace lumacore {
namespace {

// Only an implementation of exactly the export's type converts; anything else fails to compile.
template <typename Fn>
GenericFn AsGeneric(Fn fn) {
    return reinterpret_cast<GenericFn>(fn);
}

}  // namespace

#if defined(__x86_64__) || defined(_M_X64)
#define LUM_LEVEL_IMPL(ns, name) AsGeneric<decltype(&::name)>(&ns::name)
#else
// Without x86 the tuned namespaces have no definitions: every level runs the generic code.
#define LUM_LEVEL_IMPL(ns, name) AsGeneric<decltype(&::name)>(&c::name)
#endif

#define LUM_IMPL(name, l0, l1, l2, l3)                                                             \
    {#name,                                                                                        \
     &slots::name,                                                                                 \
     {AsGeneric<decltype(&::name)>(&l0::name), LUM_LEVEL_IMPL(l1, name), LUM_LEVEL_IMPL(l2, name), \
      LUM_LEVEL_IMPL(l3, name)}},

DispatchRecord* DispatchTable() {
    static DispatchRecord table[] = {
// The families stand in export order, not in name order.
// clang-format off
#include "frame/impls.inc"
#include "jpeg/impls.inc"
#include "mpeg4/impls.inc"
#include "g726/impls.inc"
        // clang-format on
    };
    static_assert(std::size(table) == kDispatchTableCount, "every dispatched export has exactly one record");
    return table;
}

}  // namespace lumacore
