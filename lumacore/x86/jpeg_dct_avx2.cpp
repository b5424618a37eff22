// Level 3 (AVX2) JPEG transforms: the dequantising inverse DCT and the forward DCT with quantisation.
//
// A block is eight vectors of eight 32-bit lanes, one row each. The column pass runs on the rows as they
// are; the block is transposed for the row pass and back. Same bits as the generic code (see
// dct8_lines.h); twins: jpeg_dct_sse2.cpp, jpeg_dct_sse41.cpp.
#include <immintrin.h>

#include <cstddef>

#include "jpeg/idct.h"
#include "lumacore/lumacore.h"
#include "x86/dct8_lines.h"

namespace lumacore::avx2 {
namespace {

struct Ops {
    using V = __m256i;
    static V Add(V a, V b) { return _mm256_add_epi32(a, b); }
    static V Sub(V a, V b) { return _mm256_sub_epi32(a, b); }
    static V Mul(V a, V b) { return _mm256_mullo_epi32(a, b); }
    static V Mul(V a, int k) { return _mm256_mullo_epi32(a, _mm256_set1_epi32(k)); }
    static V And(V a, V b) { return _mm256_and_si256(a, b); }
    static V Set(int k) { return _mm256_set1_epi32(k); }
    template <int N>
    static V Sra(V a) {
        return _mm256_srai_epi32(a, N);
    }
    template <int N>
    static V Sll(V a) {
        return _mm256_slli_epi32(a, N);
    }
};

// Inlined: the block then stays in registers between the passes.
[[gnu::always_inline]] inline void Transpose8x8(__m256i r[8]) {
    const __m256i t0 = _mm256_unpacklo_epi32(r[0], r[1]), t1 = _mm256_unpackhi_epi32(r[0], r[1]);
    const __m256i t2 = _mm256_unpacklo_epi32(r[2], r[3]), t3 = _mm256_unpackhi_epi32(r[2], r[3]);
    const __m256i t4 = _mm256_unpacklo_epi32(r[4], r[5]), t5 = _mm256_unpackhi_epi32(r[4], r[5]);
    const __m256i t6 = _mm256_unpacklo_epi32(r[6], r[7]), t7 = _mm256_unpackhi_epi32(r[6], r[7]);
    const __m256i u0 = _mm256_unpacklo_epi64(t0, t2), u1 = _mm256_unpackhi_epi64(t0, t2);
    const __m256i u2 = _mm256_unpacklo_epi64(t1, t3), u3 = _mm256_unpackhi_epi64(t1, t3);
    const __m256i u4 = _mm256_unpacklo_epi64(t4, t6), u5 = _mm256_unpackhi_epi64(t4, t6);
    const __m256i u6 = _mm256_unpacklo_epi64(t5, t7), u7 = _mm256_unpackhi_epi64(t5, t7);
    r[0] = _mm256_permute2x128_si256(u0, u4, 0x20);
    r[1] = _mm256_permute2x128_si256(u1, u5, 0x20);
    r[2] = _mm256_permute2x128_si256(u2, u6, 0x20);
    r[3] = _mm256_permute2x128_si256(u3, u7, 0x20);
    r[4] = _mm256_permute2x128_si256(u0, u4, 0x31);
    r[5] = _mm256_permute2x128_si256(u1, u5, 0x31);
    r[6] = _mm256_permute2x128_si256(u2, u6, 0x31);
    r[7] = _mm256_permute2x128_si256(u3, u7, 0x31);
}

inline __m128i Load128(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

// Both passes of the inverse transform; x[r] holds row r before and after.
inline void InverseDctRows(__m256i x[8]) {
    x86::IdctLines<12, Ops>(x);
    Transpose8x8(x);
    x86::IdctLines<21, Ops>(x);
    Transpose8x8(x);
}

}  // namespace

// The inverse DCT alone, for the MPEG-4 block decoders (mpeg4_blocks_avx2.cpp). The second pass leaves
// at most 11 bits, so the saturating pack to 16 bits is the generic narrowing.
void InverseDct8x8(Lum16s block[64]) {
    __m256i x[8];
    for (int r = 0; r < 8; ++r) x[r] = _mm256_cvtepi16_epi32(Load128(block + 8 * r));
    InverseDctRows(x);
    for (int r = 0; r < 8; r += 2)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(block + 8 * r),
                            _mm256_permute4x64_epi64(_mm256_packs_epi32(x[r], x[r + 1]), 0xD8));
}

LumStatus lumiDCTQuantInv8x8LS_JPEG_16s8u_C1R(const Lum16s* pSrc, Lum8u* pDst, int dstStep,
                                              const Lum16u* pQuantInvTable) {
    if (pSrc == nullptr || pDst == nullptr) return lumStsNullPtrErr;
    if (dstStep <= 0) return lumStsStepErr;
    if (pQuantInvTable == nullptr) return lumStsNullPtrErr;

    // A block with no AC coefficient (common in flat areas and chroma) has one output value.
    const __m256i notDc = _mm256_setr_epi16(0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i ac = _mm256_or_si256(
        _mm256_or_si256(_mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(pSrc)), notDc),
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pSrc + 16))),
        _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(pSrc + 32)),
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pSrc + 48))));
    if (_mm256_testz_si256(ac, ac)) {
        const int product = pSrc[0] * pQuantInvTable[0];
        const int dc = product < -32768 ? -32768 : product > 32767 ? 32767 : product;
        const __m128i fill = _mm_set1_epi8(static_cast<char>(x86::IdctDcOnlySample(dc)));
        for (int r = 0; r < 8; ++r)
            _mm_storel_epi64(reinterpret_cast<__m128i*>(pDst + static_cast<std::ptrdiff_t>(r) * dstStep),
                             fill);
        return lumStsNoErr;
    }

    // Dequantise: the 32-bit product saturated to 16 bits.
    const __m256i lo = _mm256_set1_epi32(-32768), hi = _mm256_set1_epi32(32767);
    __m256i x[8];
    for (int r = 0; r < 8; ++r) {
        const __m256i c = _mm256_cvtepi16_epi32(Load128(pSrc + 8 * r));
        const __m256i q = _mm256_cvtepu16_epi32(Load128(pQuantInvTable + 8 * r));
        x[r] = _mm256_min_epi32(_mm256_max_epi32(_mm256_mullo_epi32(c, q), lo), hi);
    }
    InverseDctRows(x);

    // Level shift with clamping: a 16-bit value below -128 gives 0, above 127 gives 255. Saturating to
    // signed bytes and flipping the top bit is exactly that.
    const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
    for (int r = 0; r < 8; r += 2) {
        const __m256i w = _mm256_permute4x64_epi64(_mm256_packs_epi32(x[r], x[r + 1]), 0xD8);  // row r | r+1
        const __m128i bytes =
            _mm_xor_si128(_mm_packs_epi16(_mm256_castsi256_si128(w), _mm256_extracti128_si256(w, 1)), flip);
        Lum8u* row = pDst + static_cast<std::ptrdiff_t>(r) * dstStep;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(row), bytes);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(row + dstStep), _mm_srli_si128(bytes, 8));
    }
    return lumStsNoErr;
}

LumStatus lumiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(const Lum8u* pSrc, int srcStep, Lum16s* pDst,
                                              const Lum16u* pQuantFwdTable) {
    if (pSrc == nullptr || pDst == nullptr) return lumStsNullPtrErr;
    if (srcStep <= 0) return lumStsStepErr;
    if (pQuantFwdTable == nullptr) return lumStsNullPtrErr;

    const __m256i shift = _mm256_set1_epi32(128);
    __m256i x[8];
    for (int r = 0; r < 8; ++r) {
        const __m128i row = _mm_loadl_epi64(
            reinterpret_cast<const __m128i*>(pSrc + static_cast<std::ptrdiff_t>(r) * srcStep));
        x[r] = _mm256_sub_epi32(_mm256_cvtepu8_epi32(row), shift);
    }
    Transpose8x8(x);
    x86::FdctLines<false, Ops>(x);
    Transpose8x8(x);
    x86::FdctLines<true, Ops>(x);

    for (int r = 0; r < 8; r += 2) {
        const __m256i f0 = _mm256_cvtepu16_epi32(Load128(pQuantFwdTable + 8 * r));
        const __m256i f1 = _mm256_cvtepu16_epi32(Load128(pQuantFwdTable + 8 * r + 8));
        const __m256i q0 = x86::QuantiseLanes<Ops>(x[r], f0);
        const __m256i q1 = x86::QuantiseLanes<Ops>(x[r + 1], f1);
        const __m256i w = _mm256_permute4x64_epi64(_mm256_packs_epi32(q0, q1), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pDst + 8 * r), w);
    }
    return lumStsNoErr;
}

}  // namespace lumacore::avx2
