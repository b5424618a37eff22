// 2:1 chroma down-sampling by averaging. The loops run over the destination region; the source region
// is only checked, and the caller makes sure the source covers twice the destination.
#include <cstddef>

#include "jpeg/sampling_check.h"
#include "lumacore/lumacore.h"

namespace lumacore::c {

LumStatus lumiSampleDownH2V1_JPEG_8u_C1R(const Lum8u* pSrc, int srcStep, LumiSize srcRoiSize, Lum8u* pDst,
                                         int dstStep, LumiSize dstRoiSize) {
    if (const LumStatus st = CheckSamplingArgs(pSrc, srcStep, srcRoiSize, pDst, dstStep, dstRoiSize);
        st != lumStsNoErr)
        return st;
    for (std::ptrdiff_t y = 0; y < dstRoiSize.height; ++y) {
        const Lum8u* s = pSrc + y * srcStep;
        Lum8u* d = pDst + y * dstStep;
        for (int x = 0; x < dstRoiSize.width; ++x)
            d[x] = static_cast<Lum8u>((s[2 * x] + s[2 * x + 1] + 1) >> 1);
    }
    return lumStsNoErr;
}

// The bias of 3 (not 2) rounds the average of four samples up on a remainder of 1 or more.
LumStatus lumiSampleDownH2V2_JPEG_8u_C1R(const Lum8u* pSrc, int srcStep, LumiSize srcRoiSize, Lum8u* pDst,
                                         int dstStep, LumiSize dstRoiSize) {
    if (const LumStatus st = CheckSamplingArgs(pSrc, srcStep, srcRoiSize, pDst, dstStep, dstRoiSize);
        st != lumStsNoErr)
        return st;
    for (std::ptrdiff_t y = 0; y < dstRoiSize.height; ++y) {
        const Lum8u* s0 = pSrc + 2 * y * srcStep;
        const Lum8u* s1 = s0 + srcStep;
        Lum8u* d = pDst + y * dstStep;
        for (int x = 0; x < dstRoiSize.width; ++x)
            d[x] = static_cast<Lum8u>((s0[2 * x] + s0[2 * x + 1] + s1[2 * x] + s1[2 * x + 1] + 3) >> 2);
    }
    return lumStsNoErr;
}

}  // namespace lumacore::c
