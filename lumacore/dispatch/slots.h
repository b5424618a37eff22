// The entry slot of each dispatched export: written once at load, read by the export's trampoline.
#ifndef LUMACORE_DISPATCH_SLOTS_H
#define LUMACORE_DISPATCH_SLOTS_H

#include "dispatch/dispatch_table.h"

#define LUM_EXPORT(ret, name, params, args) \
    namespace lumacore::slots {             \
    extern GenericFn name;                  \
    }
#include "exports.inc"
#undef LUM_EXPORT

#endif
