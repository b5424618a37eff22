// The 128-bit JPEG transforms shared by levels 1 (SSE2) and 2 (SSE4.1): each file supplies its own `O`
// (the 32-bit multiply is the only operation the two levels do differently) and instantiates these.
//
// A block is two halves of eight vectors, x[h][r] holding row r, columns 4h to 4h+3, as 32-bit lanes.
#ifndef LUMACORE_X86_JPEG_DCT_SSE_H
#define LUMACORE_X86_JPEG_DCT_SSE_H

#include <emmintrin.h>

#include <cstddef>
#include <utility>

#include "lumacore/lumacore.h"
#include "x86/dct8_lines.h"

namespace lumacore::x86 {
// Internal to each including file: the helpers are compiled for that file's instruction set and must not
// be merged with another level's copy at link time.
namespace {

inline void Transpose4x4(__m128i& a, __m128i& b, __m128i& c, __m128i& d) {
    const __m128i t0 = _mm_unpacklo_epi32(a, b), t1 = _mm_unpackhi_epi32(a, b);
    const __m128i t2 = _mm_unpacklo_epi32(c, d), t3 = _mm_unpackhi_epi32(c, d);
    a = _mm_unpacklo_epi64(t0, t2);
    b = _mm_unpackhi_epi64(t0, t2);
    c = _mm_unpacklo_epi64(t1, t3);
    d = _mm_unpackhi_epi64(t1, t3);
}

// The whole 8x8 block: each 4x4 quarter in place, then the two off-diagonal quarters swapped.
inline void Transpose8x8(__m128i x[2][8]) {
    for (int h = 0; h < 2; ++h)
        for (int q = 0; q < 8; q += 4) Transpose4x4(x[h][q], x[h][q + 1], x[h][q + 2], x[h][q + 3]);
    for (int i = 0; i < 4; ++i) std::swap(x[0][4 + i], x[1][i]);
}

// 16-bit lanes to 32-bit lanes: the low four, sign- or zero-extended.
inline __m128i WidenSigned(__m128i v) {
    return _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
}
inline __m128i WidenUnsigned(__m128i v) {
    return _mm_unpacklo_epi16(v, _mm_setzero_si128());
}

inline __m128i Load(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

template <typename O>
LumStatus DctQuantInv(const Lum16s* pSrc, Lum8u* pDst, int dstStep, const Lum16u* pQuantInvTable) {
    if (pSrc == nullptr || pDst == nullptr) return lumStsNullPtrErr;
    if (dstStep <= 0) return lumStsStepErr;
    if (pQuantInvTable == nullptr) return lumStsNullPtrErr;

    // A block with no AC coefficient (common in flat areas and chroma) has one output value.
    __m128i any = _mm_and_si128(Load(pSrc), _mm_setr_epi16(0, -1, -1, -1, -1, -1, -1, -1));
    for (int r = 1; r < 8; ++r) any = _mm_or_si128(any, Load(pSrc + 8 * r));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) == 0xFFFF) {
        const int product = pSrc[0] * pQuantInvTable[0];
        const int dc = product < -32768 ? -32768 : product > 32767 ? 32767 : product;
        const __m128i fill = _mm_set1_epi8(static_cast<char>(IdctDcOnlySample(dc)));
        for (int r = 0; r < 8; ++r)
            _mm_storel_epi64(reinterpret_cast<__m128i*>(pDst + static_cast<std::ptrdiff_t>(r) * dstStep),
                             fill);
        return lumStsNoErr;
    }

    __m128i x[2][8];
    auto dequantise = [&](int r, bool left) {
        const __m128i c = Load(pSrc + 8 * r), q = Load(pQuantInvTable + 8 * r);
        const __m128i p0 = O::Mul(WidenSigned(c), WidenUnsigned(q));
        if (!left) {
            const __m128i p1 = O::Mul(WidenSigned(_mm_srli_si128(c, 8)), WidenUnsigned(_mm_srli_si128(q, 8)));
            // Saturated to 16 bits, then widened again for the transform.
            const __m128i s = _mm_packs_epi32(p0, p1);
            x[0][r] = WidenSigned(s);
            x[1][r] = WidenSigned(_mm_srli_si128(s, 8));
        } else {
            x[0][r] = WidenSigned(_mm_packs_epi32(p0, p0));
        }
    };
    // Most blocks of a photograph code only their 4x4 lowest frequencies. Then columns 4-7 stay zero
    // through the first pass (every term of an all-zero line is zero, and so is (0 + 2^11) >> 12), and
    // both passes skip their zero inputs x[4..7].
    __m128i outside = _mm_srli_si128(Load(pSrc), 8);
    for (int r = 1; r < 4; ++r) outside = _mm_or_si128(outside, _mm_srli_si128(Load(pSrc + 8 * r), 8));
    for (int r = 4; r < 8; ++r) outside = _mm_or_si128(outside, Load(pSrc + 8 * r));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(outside, _mm_setzero_si128())) == 0xFFFF) {
        for (int r = 0; r < 4; ++r) dequantise(r, true);
        IdctLines<12, O, true>(x[0]);
        for (int r = 0; r < 8; ++r) x[1][r] = _mm_setzero_si128();
        Transpose8x8(x);
        IdctLines<21, O, true>(x[0]);
        IdctLines<21, O, true>(x[1]);
    } else {
        for (int r = 0; r < 8; ++r) dequantise(r, false);
        IdctLines<12, O>(x[0]);
        IdctLines<12, O>(x[1]);
        Transpose8x8(x);
        IdctLines<21, O>(x[0]);
        IdctLines<21, O>(x[1]);
    }
    Transpose8x8(x);

    // Saturating to signed bytes and flipping the top bit is the level shift with clamping.
    const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
    for (int r = 0; r < 8; r += 2) {
        const __m128i bytes = _mm_xor_si128(
            _mm_packs_epi16(_mm_packs_epi32(x[0][r], x[1][r]), _mm_packs_epi32(x[0][r + 1], x[1][r + 1])),
            flip);
        Lum8u* row = pDst + static_cast<std::ptrdiff_t>(r) * dstStep;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(row), bytes);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(row + dstStep), _mm_srli_si128(bytes, 8));
    }
    return lumStsNoErr;
}

template <typename O>
LumStatus DctQuantFwd(const Lum8u* pSrc, int srcStep, Lum16s* pDst, const Lum16u* pQuantFwdTable) {
    if (pSrc == nullptr || pDst == nullptr) return lumStsNullPtrErr;
    if (srcStep <= 0) return lumStsStepErr;
    if (pQuantFwdTable == nullptr) return lumStsNullPtrErr;

    const __m128i shift = _mm_set1_epi16(128);
    __m128i x[2][8];
    for (int r = 0; r < 8; ++r) {
        const __m128i bytes = _mm_loadl_epi64(
            reinterpret_cast<const __m128i*>(pSrc + static_cast<std::ptrdiff_t>(r) * srcStep));
        const __m128i s = _mm_sub_epi16(_mm_unpacklo_epi8(bytes, _mm_setzero_si128()), shift);
        x[0][r] = WidenSigned(s);
        x[1][r] = WidenSigned(_mm_srli_si128(s, 8));
    }
    Transpose8x8(x);
    FdctLines<false, O>(x[0]);
    FdctLines<false, O>(x[1]);
    Transpose8x8(x);
    FdctLines<true, O>(x[0]);
    FdctLines<true, O>(x[1]);

    for (int r = 0; r < 8; ++r) {
        const __m128i f = Load(pQuantFwdTable + 8 * r);
        const __m128i q0 = QuantiseLanes<O>(x[0][r], WidenUnsigned(f));
        const __m128i q1 = QuantiseLanes<O>(x[1][r], WidenUnsigned(_mm_srli_si128(f, 8)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pDst + 8 * r), _mm_packs_epi32(q0, q1));
    }
    return lumStsNoErr;
}

}  // namespace
}  // namespace lumacore::x86

#endif
