// Declarations of every level's implementation of every dispatched export, from the exports' own types,
// so a family never repeats a signature. The table uses them all; tuned code uses lumacore::c:: to hand
// a region's remainder (the columns that do not fill a vector) to the generic code.
#ifndef LUMACORE_DISPATCH_LEVEL_IMPLS_H
#define LUMACORE_DISPATCH_LEVEL_IMPLS_H

#include "lumacore/lumacore.h"

#define LUM_EXPORT(ret, name, params, args) \
    namespace lumacore::c {                 \
    decltype(::name) name;                  \
    }                                       \
    namespace lumacore::sse2 {              \
    decltype(::name) name;                  \
    }                                       \
    namespace lumacore::sse41 {             \
    decltype(::name) name;                  \
    }                                       \
    namespace lumacore::avx2 {              \
    decltype(::name) name;                  \
    }
#include "exports.inc"
#undef LUM_EXPORT

#endif
