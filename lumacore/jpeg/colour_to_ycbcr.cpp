// Interleaved RGB, BGR and CMYK to planar full-range YCbCr (and YCCK), as a JPEG encoder needs them.
#include <cstddef>

#include "jpeg/colour_check.h"
#include "jpeg/colour_tables.h"
#include "lumacore/lumacore.h"

namespace lumacore::c {
namespace {

// `R`, `G`, `B` are the byte offsets of the colour channels within a pixel of `Channels` bytes; `Invert`
// takes 255 - value first (inverted CMYK); a fourth channel is copied to plane 3.
template <int Channels, int R, int G, int B, bool Invert = false>
LumStatus ToYCbCr(const Lum8u* src, int srcStep, Lum8u* const* dst, int dstStep, LumiSize roi) {
    if (const LumStatus st = CheckColourArgs(dst, Channels, src, srcStep, dstStep, roi); st != lumStsNoErr)
        return st;
    const ColourTables& t = kColourTables;
    for (std::ptrdiff_t y = 0; y < roi.height; ++y) {
        const Lum8u* s = src + y * srcStep;
        const std::ptrdiff_t dstRow = y * dstStep;
        Lum8u* ys = dst[0] + dstRow;
        Lum8u* cbs = dst[1] + dstRow;
        Lum8u* crs = dst[2] + dstRow;
        for (int x = 0; x < roi.width; ++x, s += Channels) {
            const int r = Invert ? 255 - s[R] : s[R];
            const int g = Invert ? 255 - s[G] : s[G];
            const int b = Invert ? 255 - s[B] : s[B];
            ys[x] = LumaFromRgb(t, r, g, b);
            cbs[x] = CbFromRgb(t, r, g, b);
            crs[x] = CrFromRgb(t, r, g, b);
            if constexpr (Channels == 4) dst[3][dstRow + x] = s[3];
        }
    }
    return lumStsNoErr;
}

}  // namespace

LumStatus lumiRGBToYCbCr_JPEG_8u_C3P3R(const Lum8u* pSrc, int srcStep, Lum8u* const pDst[3], int dstStep,
                                       LumiSize roiSize) {
    return ToYCbCr<3, 0, 1, 2>(pSrc, srcStep, pDst, dstStep, roiSize);
}

LumStatus lumiBGRToYCbCr_JPEG_8u_C3P3R(const Lum8u* pSrc, int srcStep, Lum8u* const pDst[3], int dstStep,
                                       LumiSize roiSize) {
    return ToYCbCr<3, 2, 1, 0>(pSrc, srcStep, pDst, dstStep, roiSize);
}

LumStatus lumiCMYKToYCCK_JPEG_8u_C4P4R(const Lum8u* pSrc, int srcStep, Lum8u* const pDst[4], int dstStep,
                                       LumiSize roiSize) {
    return ToYCbCr<4, 0, 1, 2, true>(pSrc, srcStep, pDst, dstStep, roiSize);
}

// Luma only, for grey-scale output.
LumStatus lumiRGBToY_JPEG_8u_C3C1R(const Lum8u* pSrc, int srcStep, Lum8u* pDst, int dstStep,
                                   LumiSize roiSize) {
    if (pSrc == nullptr || pDst == nullptr) return lumStsNullPtrErr;
    if (srcStep <= 0 || dstStep <= 0) return lumStsStepErr;
    if (roiSize.width <= 0 || roiSize.height <= 0) return lumStsSizeErr;
    const ColourTables& t = kColourTables;
    for (std::ptrdiff_t y = 0; y < roiSize.height; ++y) {
        const Lum8u* s = pSrc + y * srcStep;
        Lum8u* d = pDst + y * dstStep;
        for (int x = 0; x < roiSize.width; ++x, s += 3) d[x] = LumaFromRgb(t, s[0], s[1], s[2]);
    }
    return lumStsNoErr;
}

}  // namespace lumacore::c
