// Quantisation tables: quality scaling of a raw (zig-zag) table, and the forward (reciprocal) and inverse
// tables in natural order that the transforms take.
#include "jpeg/zigzag.h"
#include "lumacore/lumacore.h"

namespace lumacore::c {

LumStatus lumiQuantInvTableInit_JPEG_8u16u(const Lum8u* pQuantRawTable, Lum16u* pQuantInvTable) {
    if (pQuantRawTable == nullptr || pQuantInvTable == nullptr) return lumStsNullPtrErr;
    for (int i = 0; i < 64; ++i) pQuantInvTable[i] = pQuantRawTable[kZigzagOfNatural[i]];
    return lumStsNoErr;
}

}  // namespace lumacore::c
