// Level 3 (AVX2) colour conversions: full-range YCbCr to and from interleaved BGR and RGB, and the
// video-range 4:2:0 to BGR conversion of decoded MPEG-4 pictures.
//
// Sixteen pixels a step, the arithmetic in two vectors of eight 32-bit lanes: the generic code's fixed-
// point terms, sums and shifts exactly (its tables are these products), so the results are the same bits.
// The columns that do not fill a step go to the generic code. Twin: jpeg_colour_sse41.cpp.
#include <immintrin.h>

#include <cstddef>

#include "dispatch/level_impls.h"
#include "lumacore/lumacore.h"
#include "x86/pixel_shuffle.h"

namespace lumacore::avx2 {
namespace {

constexpr int kStep = 16;

inline __m256i K(int k) {
    return _mm256_set1_epi32(k);
}
inline __m256i MulK(__m256i a, int k) {
    return _mm256_mullo_epi32(a, _mm256_set1_epi32(k));
}

// Eight bytes to eight 32-bit lanes.
inline __m256i Widen8(const Lum8u* p) {
    return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}

// Sixteen 32-bit lanes (two vectors) to sixteen bytes, clamped to 0..255.
inline __m128i PackBytes(__m256i lo, __m256i hi) {
    const __m256i w = _mm256_permute4x64_epi64(_mm256_packs_epi32(lo, hi), 0xD8);
    return _mm_packus_epi16(_mm256_castsi256_si128(w), _mm256_extracti128_si256(w, 1));
}

struct Rgb16 {
    __m128i r, g, b;
};

// Full-range YCbCr to RGB for eight lanes: R = Y + (91881 Cr' + 2^15) >> 16, G = Y + (-22554 Cb' -
// 46802 Cr' + 2^15) >> 16, B = Y + (116130 Cb' + 2^15) >> 16, with Cb' = Cb - 128 and Cr' = Cr - 128.
struct Rgb8 {
    __m256i r, g, b;
};
inline Rgb8 FullRangeRgb(__m256i y, __m256i cb, __m256i cr) {
    const __m256i half = K(32768);
    cb = _mm256_sub_epi32(cb, K(128));
    cr = _mm256_sub_epi32(cr, K(128));
    const __m256i r = _mm256_srai_epi32(_mm256_add_epi32(MulK(cr, 91881), half), 16);
    const __m256i b = _mm256_srai_epi32(_mm256_add_epi32(MulK(cb, 116130), half), 16);
    const __m256i g =
        _mm256_srai_epi32(_mm256_add_epi32(_mm256_add_epi32(MulK(cb, -22554), MulK(cr, -46802)), half), 16);
    return Rgb8{_mm256_add_epi32(y, r), _mm256_add_epi32(y, g), _mm256_add_epi32(y, b)};
}

Rgb16 FullRangeRgb16(const Lum8u* ys, const Lum8u* cbs, const Lum8u* crs) {
    const Rgb8 lo = FullRangeRgb(Widen8(ys), Widen8(cbs), Widen8(crs));
    const Rgb8 hi = FullRangeRgb(Widen8(ys + 8), Widen8(cbs + 8), Widen8(crs + 8));
    return Rgb16{PackBytes(lo.r, hi.r), PackBytes(lo.g, hi.g), PackBytes(lo.b, hi.b)};
}

// The argument checks are the generic code's (it is called first on an empty region when the arguments
// are bad, and for the remainder columns otherwise).
template <bool Bgr>
LumStatus FromYCbCr(const Lum8u* const pSrc[3], int srcStep, Lum8u* pDst, int dstStep, LumiSize roi,
                    decltype(&c::lumiYCbCrToBGR_JPEG_8u_P3C3R) generic) {
    const int whole = roi.width > 0 ? roi.width / kStep * kStep : 0;
    if (whole == 0 || pSrc == nullptr || pDst == nullptr || pSrc[0] == nullptr || pSrc[1] == nullptr ||
        pSrc[2] == nullptr || srcStep <= 0 || dstStep <= 0 || roi.height <= 0)
        return generic(pSrc, srcStep, pDst, dstStep, roi);
    for (std::ptrdiff_t y = 0; y < roi.height; ++y) {
        const std::ptrdiff_t row = y * srcStep;
        Lum8u* d = pDst + y * dstStep;
        for (int x = 0; x < whole; x += kStep) {
            const Rgb16 p = FullRangeRgb16(pSrc[0] + row + x, pSrc[1] + row + x, pSrc[2] + row + x);
            if constexpr (Bgr)
                x86::StoreInterleaved3(d + 3 * x, p.b, p.g, p.r);
            else
                x86::StoreInterleaved3(d + 3 * x, p.r, p.g, p.b);
        }
    }
    if (whole == roi.width) return lumStsNoErr;
    const Lum8u* const rest[3] = {pSrc[0] + whole, pSrc[1] + whole, pSrc[2] + whole};
    return generic(rest, srcStep, pDst + 3 * whole, dstStep, LumiSize{roi.width - whole, roi.height});
}

// Y = (19595 R + 38470 G + 7471 B + 2^15) >> 16; Cb and Cr add 128 << 16 and a bias of 2^15 - 1.
template <bool Bgr>
LumStatus ToYCbCr(const Lum8u* pSrc, int srcStep, Lum8u* const pDst[3], int dstStep, LumiSize roi,
                  decltype(&c::lumiBGRToYCbCr_JPEG_8u_C3P3R) generic) {
    const int whole = roi.width > 0 ? roi.width / kStep * kStep : 0;
    if (whole == 0 || pSrc == nullptr || pDst == nullptr || pDst[0] == nullptr || pDst[1] == nullptr ||
        pDst[2] == nullptr || srcStep <= 0 || dstStep <= 0 || roi.height <= 0)
        return generic(pSrc, srcStep, pDst, dstStep, roi);
    const __m256i chromaBias = K(8421375), lumaBias = K(32768);
    for (std::ptrdiff_t y = 0; y < roi.height; ++y) {
        const Lum8u* s = pSrc + y * srcStep;
        const std::ptrdiff_t row = y * dstStep;
        for (int x = 0; x < whole; x += kStep) {
            __m128i ch[3];
            x86::LoadDeinterleaved3(s + 3 * x, ch);
            const __m128i rb = Bgr ? ch[2] : ch[0], gb = ch[1], bb = Bgr ? ch[0] : ch[2];
            __m256i out[3][2];
            for (int half = 0; half < 2; ++half) {
                auto lanes = [half](__m128i v) {
                    return _mm256_cvtepu8_epi32(half == 0 ? v : _mm_srli_si128(v, 8));
                };
                const __m256i r = lanes(rb), g = lanes(gb), b = lanes(bb);
                out[0][half] =
                    _mm256_srai_epi32(_mm256_add_epi32(_mm256_add_epi32(MulK(r, 19595), MulK(g, 38470)),
                                                       _mm256_add_epi32(MulK(b, 7471), lumaBias)),
                                      16);
                out[1][half] = _mm256_srai_epi32(
                    _mm256_add_epi32(_mm256_add_epi32(MulK(r, -11059), MulK(g, -21709)),
                                     _mm256_add_epi32(_mm256_slli_epi32(b, 15), chromaBias)),
                    16);
                out[2][half] = _mm256_srai_epi32(
                    _mm256_add_epi32(_mm256_add_epi32(_mm256_slli_epi32(r, 15), MulK(g, -27439)),
                                     _mm256_add_epi32(MulK(b, -5329), chromaBias)),
                    16);
            }
            for (int p = 0; p < 3; ++p)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(pDst[p] + row + x),
                                 PackBytes(out[p][0], out[p][1]));
        }
    }
    if (whole == roi.width) return lumStsNoErr;
    Lum8u* const rest[3] = {pDst[0] + whole, pDst[1] + whole, pDst[2] + whole};
    return generic(pSrc + 3 * whole, srcStep, rest, dstStep, LumiSize{roi.width - whole, roi.height});
}

// Video range: 76284 (Y - 16) plus 132186 Cb', -25690 Cb' - 53281 Cr' and 104595 Cr', shifted by 16
// (the constants fold in the offsets, as in the generic code). Each chroma byte is doubled so that every
// lane carries its luma sample's chroma.
Rgb16 VideoRangeRgb16(const Lum8u* ys, const Lum8u* cbs, const Lum8u* crs) {
    const __m128i cb8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cbs));
    const __m128i cr8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(crs));
    const __m128i cb16 = _mm_unpacklo_epi8(cb8, cb8), cr16 = _mm_unpacklo_epi8(cr8, cr8);
    __m256i out[3][2];
    for (int half = 0; half < 2; ++half) {
        const __m256i l = MulK(Widen8(ys + 8 * half), 76284);
        const __m256i cb = _mm256_cvtepu8_epi32(half == 0 ? cb16 : _mm_srli_si128(cb16, 8));
        const __m256i cr = _mm256_cvtepu8_epi32(half == 0 ? cr16 : _mm_srli_si128(cr16, 8));
        const __m256i tb = _mm256_add_epi32(MulK(cb, 132186), K(-18140352));
        const __m256i tg = _mm256_add_epi32(_mm256_add_epi32(MulK(cb, -25690), MulK(cr, -53281)), K(8887744));
        const __m256i tr = _mm256_add_epi32(MulK(cr, 104595), K(-14608704));
        out[0][half] = _mm256_srai_epi32(_mm256_add_epi32(l, tr), 16);
        out[1][half] = _mm256_srai_epi32(_mm256_add_epi32(l, tg), 16);
        out[2][half] = _mm256_srai_epi32(_mm256_add_epi32(l, tb), 16);
    }
    return Rgb16{PackBytes(out[0][0], out[0][1]), PackBytes(out[1][0], out[1][1]),
                 PackBytes(out[2][0], out[2][1])};
}

}  // namespace

LumStatus lumiYCbCrToBGR_JPEG_8u_P3C3R(const Lum8u* const pSrc[3], int srcStep, Lum8u* pDst, int dstStep,
                                       LumiSize roiSize) {
    return FromYCbCr<true>(pSrc, srcStep, pDst, dstStep, roiSize, &c::lumiYCbCrToBGR_JPEG_8u_P3C3R);
}

LumStatus lumiYCbCrToRGB_JPEG_8u_P3C3R(const Lum8u* const pSrc[3], int srcStep, Lum8u* pDst, int dstStep,
                                       LumiSize roiSize) {
    return FromYCbCr<false>(pSrc, srcStep, pDst, dstStep, roiSize, &c::lumiYCbCrToRGB_JPEG_8u_P3C3R);
}

LumStatus lumiBGRToYCbCr_JPEG_8u_C3P3R(const Lum8u* pSrc, int srcStep, Lum8u* const pDst[3], int dstStep,
                                       LumiSize roiSize) {
    return ToYCbCr<true>(pSrc, srcStep, pDst, dstStep, roiSize, &c::lumiBGRToYCbCr_JPEG_8u_C3P3R);
}

LumStatus lumiRGBToYCbCr_JPEG_8u_C3P3R(const Lum8u* pSrc, int srcStep, Lum8u* const pDst[3], int dstStep,
                                       LumiSize roiSize) {
    return ToYCbCr<false>(pSrc, srcStep, pDst, dstStep, roiSize, &c::lumiRGBToYCbCr_JPEG_8u_C3P3R);
}

LumStatus lumiYCbCr420ToBGR_8u_P3C3R(const Lum8u* const pSrc[3], const int srcStep[3], Lum8u* pDst,
                                     int dstStep, LumiSize roiSize) {
    const int whole = roiSize.width > 0 ? roiSize.width / kStep * kStep : 0;
    if (whole == 0 || pSrc == nullptr || pDst == nullptr || srcStep == nullptr || pSrc[0] == nullptr ||
        pSrc[1] == nullptr || pSrc[2] == nullptr || srcStep[0] <= 0 || srcStep[1] <= 0 || srcStep[2] <= 0 ||
        dstStep <= 0 || roiSize.height <= 0)
        return c::lumiYCbCr420ToBGR_8u_P3C3R(pSrc, srcStep, pDst, dstStep, roiSize);
    for (std::ptrdiff_t y = 0; y < roiSize.height; ++y) {
        const Lum8u* ys = pSrc[0] + y * srcStep[0];
        const Lum8u* cbs = pSrc[1] + (y >> 1) * srcStep[1];
        const Lum8u* crs = pSrc[2] + (y >> 1) * srcStep[2];
        Lum8u* d = pDst + y * dstStep;
        for (int x = 0; x < whole; x += kStep) {
            const Rgb16 p = VideoRangeRgb16(ys + x, cbs + x / 2, crs + x / 2);
            x86::StoreInterleaved3(d + 3 * x, p.b, p.g, p.r);
        }
    }
    if (whole == roiSize.width) return lumStsNoErr;
    // The remainder starts on an even column, so its chroma starts at whole / 2.
    const Lum8u* const rest[3] = {pSrc[0] + whole, pSrc[1] + whole / 2, pSrc[2] + whole / 2};
    return c::lumiYCbCr420ToBGR_8u_P3C3R(rest, srcStep, pDst + 3 * whole, dstStep,
                                         LumiSize{roiSize.width - whole, roiSize.height});
}

}  // namespace lumacore::avx2
