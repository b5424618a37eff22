// Video-range (BT.601) 4:2:0 planar YCbCr to interleaved BGR, for decoded MPEG-4 pictures.
#include <cstddef>

#include "lumacore/lumacore.h"

namespace lumacore::c {
namespace {

inline Lum8u Clamp(int v) {
    return static_cast<Lum8u>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

}  // namespace

// 16 fractional bits: 76284 = 1.164 (255/219), 104595 = 1.596, 25690 = 0.392, 53281 = 0.813,
// 132186 = 2.017. The constant terms fold in Y - 16, Cb - 128 and Cr - 128. All sums stay below 2^26.
LumStatus lumiYCbCr420ToBGR_8u_P3C3R(const Lum8u* const pSrc[3], const int srcStep[3], Lum8u* pDst,
                                     int dstStep, LumiSize roiSize) {
    // A null step array is refused like a null image rather than read.
    if (pSrc == nullptr || pDst == nullptr || srcStep == nullptr) return lumStsNullPtrErr;
    if (roiSize.width <= 0 || roiSize.height <= 0) return lumStsSizeErr;
    if (pSrc[0] == nullptr || pSrc[1] == nullptr || pSrc[2] == nullptr) return lumStsNullPtrErr;
    if (srcStep[0] <= 0 || srcStep[1] <= 0 || srcStep[2] <= 0 || dstStep <= 0) return lumStsStepErr;

    for (std::ptrdiff_t y = 0; y < roiSize.height; ++y) {
        const Lum8u* ys = pSrc[0] + y * srcStep[0];
        const Lum8u* cbs = pSrc[1] + (y >> 1) * srcStep[1];
        const Lum8u* crs = pSrc[2] + (y >> 1) * srcStep[2];
        Lum8u* d = pDst + y * dstStep;
        for (int x = 0; x < roiSize.width; ++x, d += 3) {
            const int l = 76284 * ys[x];
            const int cb = cbs[x >> 1], cr = crs[x >> 1];
            d[0] = Clamp((l + 132186 * cb - 18140352) >> 16);
            d[1] = Clamp((l - 25690 * cb - 53281 * cr + 8887744) >> 16);
            d[2] = Clamp((l + 104595 * cr - 14608704) >> 16);
        }
    }
    return lumStsNoErr;
}

}  // namespace lumacore::c
