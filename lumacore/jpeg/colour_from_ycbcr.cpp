// Planar full-range YCbCr (and YCCK) to interleaved RGB, BGR and CMYK, as a JPEG decoder produces them.
#include <cstddef>

#include "jpeg/colour_check.h"
#include "jpeg/colour_tables.h"
#include "lumacore/lumacore.h"

namespace lumacore::c {
namespace {

// `Order` writes one pixel's R, G, B (and K) to the interleaved row.
template <int Channels, typename Order>
LumStatus FromYCbCr(const Lum8u* const* src, int srcStep, Lum8u* dst, int dstStep, LumiSize roi,
                    Order order) {
    if (const LumStatus st = CheckColourArgs(src, Channels, dst, srcStep, dstStep, roi); st != lumStsNoErr)
        return st;
    const ColourTables& t = kColourTables;
    for (std::ptrdiff_t y = 0; y < roi.height; ++y) {
        const std::ptrdiff_t srcRow = y * srcStep;
        const Lum8u* ys = src[0] + srcRow;
        const Lum8u* cbs = src[1] + srcRow;
        const Lum8u* crs = src[2] + srcRow;
        Lum8u* d = dst + y * dstStep;
        for (int x = 0; x < roi.width; ++x, d += Channels) {
            const Rgb p = RgbFromYCbCr(t, ys[x], cbs[x], crs[x]);
            if constexpr (Channels == 4)
                order(d, p, src[3][srcRow + x]);
            else
                order(d, p, 0);
        }
    }
    return lumStsNoErr;
}

}  // namespace

LumStatus lumiYCbCrToRGB_JPEG_8u_P3C3R(const Lum8u* const pSrc[3], int srcStep, Lum8u* pDst, int dstStep,
                                       LumiSize roiSize) {
    return FromYCbCr<3>(pSrc, srcStep, pDst, dstStep, roiSize, [](Lum8u* d, Rgb p, Lum8u) {
        d[0] = p.r;
        d[1] = p.g;
        d[2] = p.b;
    });
}

LumStatus lumiYCbCrToBGR_JPEG_8u_P3C3R(const Lum8u* const pSrc[3], int srcStep, Lum8u* pDst, int dstStep,
                                       LumiSize roiSize) {
    return FromYCbCr<3>(pSrc, srcStep, pDst, dstStep, roiSize, [](Lum8u* d, Rgb p, Lum8u) {
        d[0] = p.b;
        d[1] = p.g;
        d[2] = p.r;
    });
}

// Adobe-style inverted CMYK: the colour channels are stored as 255 - R, 255 - G, 255 - B.
LumStatus lumiYCCKToCMYK_JPEG_8u_P4C4R(const Lum8u* const pSrc[4], int srcStep, Lum8u* pDst, int dstStep,
                                       LumiSize roiSize) {
    return FromYCbCr<4>(pSrc, srcStep, pDst, dstStep, roiSize, [](Lum8u* d, Rgb p, Lum8u k) {
        d[0] = static_cast<Lum8u>(255 - p.r);
        d[1] = static_cast<Lum8u>(255 - p.g);
        d[2] = static_cast<Lum8u>(255 - p.b);
        d[3] = k;
    });
}

}  // namespace lumacore::c
