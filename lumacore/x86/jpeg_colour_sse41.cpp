// Level 2 (SSE4.1 with SSSE3) colour conversions (jpeg_colour_body.h): four vectors of four 32-bit lanes
// a step. Twin: jpeg_colour_avx2.cpp.
#include <smmintrin.h>

#include "dispatch/level_impls.h"
#include "lumacore/lumacore.h"
#include "x86/jpeg_colour_body.h"

namespace lumacore::sse41 {
namespace {

struct Ops {
    using V = __m128i;
    static constexpr int kLanes = 4;
    static V Set(int k) { return _mm_set1_epi32(k); }
    static V Add(V a, V b) { return _mm_add_epi32(a, b); }
    static V Sub(V a, V b) { return _mm_sub_epi32(a, b); }
    static V Mul(V a, int k) { return _mm_mullo_epi32(a, _mm_set1_epi32(k)); }
    template <int N>
    static V Sra(V a) {
        return _mm_srai_epi32(a, N);
    }
    template <int N>
    static V Sll(V a) {
        return _mm_slli_epi32(a, N);
    }
    // Bytes 4i to 4i + 3 of `bytes`, zero-extended.
    static V Widen(__m128i bytes, int i) {
        switch (i) {
            case 0:
                return _mm_cvtepu8_epi32(bytes);
            case 1:
                return _mm_cvtepu8_epi32(_mm_srli_si128(bytes, 4));
            case 2:
                return _mm_cvtepu8_epi32(_mm_srli_si128(bytes, 8));
            default:
                return _mm_cvtepu8_epi32(_mm_srli_si128(bytes, 12));
        }
    }
    // Sixteen lanes to sixteen bytes, clamped to 0..255.
    static __m128i PackBytes(const V v[4]) {
        return _mm_packus_epi16(_mm_packs_epi32(v[0], v[1]), _mm_packs_epi32(v[2], v[3]));
    }
};

}  // namespace

LumStatus lumiYCbCrToBGR_JPEG_8u_P3C3R(const Lum8u* const pSrc[3], int srcStep, Lum8u* pDst, int dstStep,
                                       LumiSize roiSize) {
    return x86::FromYCbCr<Ops, true>(pSrc, srcStep, pDst, dstStep, roiSize, &c::lumiYCbCrToBGR_JPEG_8u_P3C3R);
}

LumStatus lumiYCbCrToRGB_JPEG_8u_P3C3R(const Lum8u* const pSrc[3], int srcStep, Lum8u* pDst, int dstStep,
                                       LumiSize roiSize) {
    return x86::FromYCbCr<Ops, false>(pSrc, srcStep, pDst, dstStep, roiSize,
                                      &c::lumiYCbCrToRGB_JPEG_8u_P3C3R);
}

LumStatus lumiBGRToYCbCr_JPEG_8u_C3P3R(const Lum8u* pSrc, int srcStep, Lum8u* const pDst[3], int dstStep,
                                       LumiSize roiSize) {
    return x86::ToYCbCr<Ops, true>(pSrc, srcStep, pDst, dstStep, roiSize, &c::lumiBGRToYCbCr_JPEG_8u_C3P3R);
}

LumStatus lumiRGBToYCbCr_JPEG_8u_C3P3R(const Lum8u* pSrc, int srcStep, Lum8u* const pDst[3], int dstStep,
                                       LumiSize roiSize) {
    return x86::ToYCbCr<Ops, false>(pSrc, srcStep, pDst, dstStep, roiSize, &c::lumiRGBToYCbCr_JPEG_8u_C3P3R);
}

LumStatus lumiYCbCr420ToBGR_8u_P3C3R(const Lum8u* const pSrc[3], const int srcStep[3], Lum8u* pDst,
                                     int dstStep, LumiSize roiSize) {
    return x86::Ycbcr420ToBgr<Ops>(pSrc, srcStep, pDst, dstStep, roiSize, &c::lumiYCbCr420ToBGR_8u_P3C3R);
}

}  // namespace lumacore::sse41
