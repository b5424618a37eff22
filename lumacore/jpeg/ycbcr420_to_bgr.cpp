// Video-range (BT.601) 4:2:0 planar YCbCr to interleaved BGR, for decoded MPEG-4 pictures.
#include <cstddef>

#include "lumacore/lumacore.h"

namespace lumacore::c {
namespace {

inline Lum8u Clamp(int v) {
    return static_cast<Lum8u>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// 16 fractional bits: 76284 = 1.164 (255/219), 104595 = 1.596, 25690 = 0.392, 53281 = 0.813,
// 132186 = 2.017. The constant terms fold in Y - 16, Cb - 128 and Cr - 128. All sums stay below 2^26.
struct Chroma {
    int b, g, r;
};
inline Chroma ChromaTerms(int cb, int cr) {
    return Chroma{132186 * cb - 18140352, -25690 * cb - 53281 * cr + 8887744, 104595 * cr - 14608704};
}
// One pixel from its scaled luma 76284 * Y, written as B, G, R.
inline void Store(Lum8u* d, int l, const Chroma& c) {
    d[0] = Clamp((l + c.b) >> 16);
    d[1] = Clamp((l + c.g) >> 16);
    d[2] = Clamp((l + c.r) >> 16);
}

}  // namespace

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
        // The chroma terms are formed once per chroma sample and shared by the two luma columns it covers;
        // an odd last column has its chroma sample to itself.
        const int pairs = roiSize.width >> 1;
        for (int j = 0; j < pairs; ++j, d += 6) {
            const Chroma c = ChromaTerms(cbs[j], crs[j]);
            Store(d, 76284 * ys[2 * j], c);
            Store(d + 3, 76284 * ys[2 * j + 1], c);
        }
        if ((roiSize.width & 1) != 0) Store(d, 76284 * ys[2 * pairs], ChromaTerms(cbs[pairs], crs[pairs]));
    }
    return lumStsNoErr;
}

}  // namespace lumacore::c
