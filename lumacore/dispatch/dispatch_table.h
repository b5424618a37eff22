// Load-time dispatch: the table of dispatched exports, each with its entry slot and one implementation per
// level, and the waterfall that binds the slots for the processor's level at load.
//
// Levels: 0 generic C++, 1 SSE2, 2 SSE4.1 with SSSE3, 3 AVX2 (x86-64); other architectures use level 0.
// The slots are written once, by the library's constructor, before any export can be called, and only
// read afterwards, so they need no lock.
#ifndef LUMACORE_DISPATCH_DISPATCH_TABLE_H
#define LUMACORE_DISPATCH_DISPATCH_TABLE_H

#include <cstddef>

namespace lumacore {

// A function pointer of no particular type; every slot and implementation is stored as one and cast back
// to the export's own type before a call.
using GenericFn = void (*)();

inline constexpr int kLevelCount = 4;
inline constexpr int kRowEnd = 4;  // ends a level row

struct DispatchRecord {
    const char* name;
    GenericFn* slot;
    GenericFn impl[kLevelCount];
};

// The library's table, in export order, and its entry count. The table is built on first use, so the
// load-time constructor never sees it before its initialisation (the records hold casts, which are not
// constant expressions).
DispatchRecord* DispatchTable();
inline constexpr int kDispatchTableCount = 69;

// Level rows: for each level, the implementation levels to try in order, ended by kRowEnd.
extern const int kLevelRows[kLevelCount][5];

// Runs the waterfall for `level` over `table`: for each entry k of the level's row, copies implementation
// k of every record into its slot in table order; a record without implementation k ends that pass (the
// slots already written keep their values) and the next entry of the row is tried. Returns the
// implementation level whose pass completed, or -1 when none did (or the count or level is out of range).
int BindDispatchTable(DispatchRecord* table, int count, int level);

inline constexpr char kWaterfallMessage[] = " No lum matching to CPU was found during the Waterfall";
inline constexpr char kWaterfallCaption[] = "Set lum library error";

// The report a failed binding gives: the message copied into a 256-byte buffer and its caption.
struct BindFailureReport {
    char text[256];
    const char* caption;
};

// Binds the table and, on failure, fills `report`. Returns true when binding succeeded.
bool AttachDispatchTable(DispatchRecord* table, int count, int level, BindFailureReport* report);

}  // namespace lumacore

#endif
