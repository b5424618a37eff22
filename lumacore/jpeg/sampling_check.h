// Argument checks shared by the 2:1 chroma resamplers: the source (pointer, step, size), then the
// destination in the same order.
#ifndef LUMACORE_JPEG_SAMPLING_CHECK_H
#define LUMACORE_JPEG_SAMPLING_CHECK_H

#include "lumacore/lumacore.h"

namespace lumacore::c {

inline LumStatus CheckSamplingArgs(const Lum8u* src, int srcStep, LumiSize srcRoi, const Lum8u* dst,
                                   int dstStep, LumiSize dstRoi) {
    if (src == nullptr) return lumStsNullPtrErr;
    if (srcStep <= 0) return lumStsStepErr;
    if (srcRoi.width <= 0 || srcRoi.height <= 0) return lumStsSizeErr;
    if (dst == nullptr) return lumStsNullPtrErr;
    if (dstStep <= 0) return lumStsStepErr;
    if (dstRoi.width <= 0 || dstRoi.height <= 0) return lumStsSizeErr;
    return lumStsNoErr;
}

}  // namespace lumacore::c

#endif
