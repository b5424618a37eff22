// 1:2 chroma up-sampling with the triangle filter (each output sample weighs its nearest source sample
// 3:1 against the next one out, in each direction that is up-sampled).
//
// The loops run over the destination region; the source row is read one sample beyond each end (index -1
// and the sample after the last one used) and, for H2V2, one row above the first and below the last. The
// caller provides those border samples, normally copies of the edge samples.
#include <cstddef>

#include "jpeg/sampling_check.h"
#include "lumacore/lumacore.h"

namespace lumacore::c {

LumStatus lumiSampleUpH2V1_JPEG_8u_C1R(const Lum8u* pSrc, int srcStep, LumiSize srcRoiSize, Lum8u* pDst,
                                       int dstStep, LumiSize dstRoiSize) {
    if (const LumStatus st = CheckSamplingArgs(pSrc, srcStep, srcRoiSize, pDst, dstStep, dstRoiSize);
        st != lumStsNoErr)
        return st;
    for (std::ptrdiff_t y = 0; y < dstRoiSize.height; ++y) {
        const Lum8u* s = pSrc + y * srcStep;
        Lum8u* d = pDst + y * dstStep;
        // Even outputs lean left and round with +1, odd ones lean right and round with +2. Whole pairs
        // first (a branch-free loop), then the lone even output of an odd width.
        const int pairs = dstRoiSize.width >> 1;
        for (int x = 0; x < pairs; ++x) {
            const int c3 = 3 * s[x];
            d[2 * x] = static_cast<Lum8u>((c3 + s[x - 1] + 1) >> 2);
            d[2 * x + 1] = static_cast<Lum8u>((c3 + s[x + 1] + 2) >> 2);
        }
        if ((dstRoiSize.width & 1) != 0)
            d[2 * pairs] = static_cast<Lum8u>((3 * s[pairs] + s[pairs - 1] + 1) >> 2);
    }
    return lumStsNoErr;
}

LumStatus lumiSampleUpH2V2_JPEG_8u_C1R(const Lum8u* pSrc, int srcStep, LumiSize srcRoiSize, Lum8u* pDst,
                                       int dstStep, LumiSize dstRoiSize) {
    if (const LumStatus st = CheckSamplingArgs(pSrc, srcStep, srcRoiSize, pDst, dstStep, dstRoiSize);
        st != lumStsNoErr)
        return st;
    for (std::ptrdiff_t y = 0; y < dstRoiSize.height; ++y) {
        // Even output rows take the source row above as the far row, odd ones the row below.
        const std::ptrdiff_t nearRow = y >> 1;
        const std::ptrdiff_t farRow = (y & 1) == 0 ? nearRow - 1 : nearRow + 1;
        const Lum8u* n = pSrc + nearRow * srcStep;
        const Lum8u* f = pSrc + farRow * srcStep;
        Lum8u* d = pDst + y * dstStep;
        const int pairs = dstRoiSize.width >> 1;
        for (int x = 0; x < pairs; ++x) {
            const int centre = 9 * n[x] + 3 * f[x];
            d[2 * x] = static_cast<Lum8u>((centre + 3 * n[x - 1] + f[x - 1] + 8) >> 4);
            d[2 * x + 1] = static_cast<Lum8u>((centre + 3 * n[x + 1] + f[x + 1] + 7) >> 4);
        }
        if ((dstRoiSize.width & 1) != 0) {
            const int x = pairs;
            d[2 * x] = static_cast<Lum8u>((9 * n[x] + 3 * f[x] + 3 * n[x - 1] + f[x - 1] + 8) >> 4);
        }
    }
    return lumStsNoErr;
}

}  // namespace lumacore::c
