// Level 3 (AVX2) colour conversions (jpeg_colour_body.h): two vectors of eight 32-bit lanes a step.
// Twin: jpeg_colour_sse41.cpp.
#include <immintrin.h>

#include "dispatch/level_impls.h"
#include "lumacore/lumacore.h"
#include "x86/jpeg_colour_body.h"

namespace lumacore::avx2 {
namespace {

struct Ops {
    using V = __m256i;
    static constexpr int kLanes = 8;
    static V Set(int k) { return _mm256_set1_epi32(k); }
    static V Add(V a, V b) { return _mm256_add_epi32(a, b); }
    static V Sub(V a, V b) { return _mm256_sub_epi32(a, b); }
    static V Mul(V a, int k) { return _mm256_mullo_epi32(a, _mm256_set1_epi32(k)); }
    template <int N>
    static V Sra(V a) {
        return _mm256_srai_epi32(a, N);
    }
    template <int N>
    static V Sll(V a) {
        return _mm256_slli_epi32(a, N);
    }
    // Bytes 8i to 8i + 7 of `bytes`, zero-extended.
    static V Widen(__m128i bytes, int i) {
        return _mm256_cvtepu8_epi32(i == 0 ? bytes : _mm_srli_si128(bytes, 8));
    }
    // Sixteen lanes to sixteen bytes, clamped to 0..255.
    static __m128i PackBytes(const V v[2]) {
        const __m256i w = _mm256_permute4x64_epi64(_mm256_packs_epi32(v[0], v[1]), 0xD8);
        return _mm_packus_epi16(_mm256_castsi256_si128(w), _mm256_extracti128_si256(w, 1));
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

}  // namespace lumacore::avx2
