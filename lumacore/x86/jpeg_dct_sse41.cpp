// Level 2 (SSE4.1) JPEG transforms: the dequantising inverse DCT and the forward DCT with quantisation, four
// lines at a time (jpeg_dct_sse.h). Same bits as the generic code; twins: jpeg_dct_sse2.cpp,
// jpeg_dct_avx2.cpp.
#include <smmintrin.h>

#include "jpeg/idct.h"
#include "lumacore/lumacore.h"
#include "x86/jpeg_dct_sse.h"

namespace lumacore::sse41 {
namespace {

struct Ops {
    using V = __m128i;
    static V Add(V a, V b) { return _mm_add_epi32(a, b); }
    static V Sub(V a, V b) { return _mm_sub_epi32(a, b); }
    static V Mul(V a, V b) { return _mm_mullo_epi32(a, b); }
    static V Mul(V a, int k) { return Mul(a, _mm_set1_epi32(k)); }
    // Products of lanes holding 16-bit values, and (a + b) k: the plain 32-bit multiply.
    static V MulW(V a, int k) { return Mul(a, k); }
    static V MulSum(V a, V b, int k) { return Mul(Add(a, b), k); }
    static V And(V a, V b) { return _mm_and_si128(a, b); }
    static V Set(int k) { return _mm_set1_epi32(k); }
    template <int N>
    static V Sra(V a) {
        return _mm_srai_epi32(a, N);
    }
    // Word-lane helpers of the forward transform.
    static V MulHiRound(V a, V k) { return _mm_mulhrs_epi16(a, k); }
    static V Abs16(V a) { return _mm_abs_epi16(a); }
    static V SignOf16(V x, V s) { return _mm_sign_epi16(x, s); }
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

}  // namespace lumacore::sse41
