// The JFIF colour tables, computed at compile time. Right shifts of negative values are arithmetic
// (towards minus infinity), which C++20 guarantees.
#include "jpeg/colour_tables.h"

namespace lumacore::c {
namespace {

constexpr ColourTables MakeTables() {
    ColourTables t{};
    for (int x = 0; x < 256; ++x) {
        t.yFromR[x] = 19595 * x;
        t.yFromG[x] = 38470 * x;
        t.yFromB[x] = 7471 * x + 32768;
        t.cbFromR[x] = -11059 * x;
        t.cbFromG[x] = -21709 * x;
        t.chromaFromMax[x] = 32768 * x + 8421375;  // 128 << 16 plus a rounding bias of 32767
        t.crFromG[x] = -27439 * x;
        t.crFromB[x] = -5329 * x;
        t.rFromCr[x] = (91881 * (x - 128) + 32768) >> 16;
        t.bFromCb[x] = (116130 * (x - 128) + 32768) >> 16;
        t.gFromCr[x] = -46802 * (x - 128);
        t.gFromCb[x] = -22554 * (x - 128) + 32768;
    }
    return t;
}

}  // namespace

constinit const ColourTables kColourTables = MakeTables();

}  // namespace lumacore::c
