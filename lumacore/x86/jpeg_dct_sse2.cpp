// Level 1 (SSE2) JPEG transforms: the dequantising inverse DCT and the forward DCT with quantisation, four
// lines at a time (jpeg_dct_sse.h). Same bits as the generic code; twins: jpeg_dct_sse41.cpp,
// jpeg_dct_avx2.cpp.
#include <emmintrin.h>

#include "jpeg/idct.h"
#include "lumacore/lumacore.h"
#include "x86/jpeg_dct_sse.h"

namespace lumacore::sse2 {
namespace {

struct Ops {
    using V = __m128i;
    static V Add(V a, V b) { return _mm_add_epi32(a, b); }
    static V Sub(V a, V b) { return _mm_sub_epi32(a, b); }
    static V Mul(V a, V b) {
        // No 32-bit multiply below SSE4.1: the even and odd lanes by two 32x32->64 multiplies.
        const V even = _mm_mul_epu32(a, b);
        const V odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
        return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, 0x08), _mm_shuffle_epi32(odd, 0x08));
    }
    static V Mul(V a, int k) { return Mul(a, _mm_set1_epi32(k)); }
    // a k for lanes holding 16-bit values (sign-extended, so the high word is 0 or -1) and 0 < k < 2^16:
    // one madd of the low word by the low word of k, whose pair in the high word is 0. From 2^15 up, that
    // word reads as k - 2^16, so a 2^16 is added back.
    static V MulW(V a, int k) {
        const V p = _mm_madd_epi16(a, _mm_set1_epi32(k));
        return k < 32768 ? p : _mm_add_epi32(p, _mm_slli_epi32(a, 16));
    }
    // (a + b) k for lanes holding 16-bit values and k < 2^15: the two products apart.
    static V MulSum(V a, V b, int k) { return _mm_add_epi32(MulW(a, k), MulW(b, k)); }
    static V And(V a, V b) { return _mm_and_si128(a, b); }
    static V Set(int k) { return _mm_set1_epi32(k); }
    template <int N>
    static V Sra(V a) {
        return _mm_srai_epi32(a, N);
    }
    // Word-lane helpers of the forward transform (SSSE3 has them as single instructions).
    // (a k + 2^14) >> 15 while the product >> 14 fits 16 bits: its low 16 bits from the product's halves.
    static V MulHiRound(V a, V k) {
        const V t = _mm_add_epi16(_mm_slli_epi16(_mm_mulhi_epi16(a, k), 2),
                                  _mm_srli_epi16(_mm_mullo_epi16(a, k), 14));
        return _mm_srai_epi16(_mm_add_epi16(t, _mm_set1_epi16(1)), 1);
    }
    static V Abs16(V a) { return _mm_max_epi16(a, _mm_sub_epi16(_mm_setzero_si128(), a)); }
    // x with the sign of s (x >= 0, and x = 0 where s = 0).
    static V SignOf16(V x, V s) {
        const V m = _mm_srai_epi16(s, 15);
        return _mm_sub_epi16(_mm_xor_si128(x, m), m);
    }
    template <int N>
    static V Sll(V a) {
        return _mm_slli_epi32(a, N);
    }
};

}  // namespace

void InverseDct8x8(Lum16s block[64]) {
    x86::InverseDctInPlace<Ops>(block);
}

LumStatus lumiDCTQuantInv8x8LS_JPEG_16s8u_C1R(const Lum16s* pSrc, Lum8u* pDst, int dstStep,
                                              const Lum16u* pQuantInvTable) {
    return x86::DctQuantInv<Ops>(pSrc, pDst, dstStep, pQuantInvTable);
}

LumStatus lumiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(const Lum8u* pSrc, int srcStep, Lum16s* pDst,
                                              const Lum16u* pQuantFwdTable) {
    return x86::DctQuantFwd<Ops>(pSrc, srcStep, pDst, pQuantFwdTable);
}

}  // namespace lumacore::sse2
