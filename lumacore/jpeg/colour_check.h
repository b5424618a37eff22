// Argument checks shared by the JPEG colour conversions: pointers, then steps, then the region size.
#ifndef LUMACORE_JPEG_COLOUR_CHECK_H
#define LUMACORE_JPEG_COLOUR_CHECK_H

#include "lumacore/lumacore.h"

namespace lumacore::c {

// `planes` is the planar side (an array of `n` plane pointers, itself possibly null), `packed` the
// interleaved side. Unlike the image copies, steps are checked before the size.
template <typename PlaneArray, typename Packed>
LumStatus CheckColourArgs(PlaneArray planes, int n, Packed packed, int srcStep, int dstStep, LumiSize roi) {
    if (planes == nullptr || packed == nullptr) return lumStsNullPtrErr;
    for (int c = 0; c < n; ++c)
        if (planes[c] == nullptr) return lumStsNullPtrErr;
    if (srcStep <= 0 || dstStep <= 0) return lumStsStepErr;
    if (roi.width <= 0 || roi.height <= 0) return lumStsSizeErr;
    return lumStsNoErr;
}

}  // namespace lumacore::c

#endif
