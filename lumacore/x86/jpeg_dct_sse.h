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
#include "x86/jpeg_dct_columns.h"

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

// Both passes of the inverse transform, x[h][r] holding row r's columns 4h to 4h + 3 before and after.
// `Sparse`: rows 4-7 and columns 4-7 of the input are zero (x[1] and x[0][4..7] are not read). Then
// columns 4-7 stay zero through the first pass (every term of an all-zero line is zero, and so is
// (0 + 2^11) >> 12), and both passes skip their zero inputs x[4..7].
template <typename O, bool Sparse>
inline void InversePasses(__m128i x[2][8]) {
    if constexpr (Sparse) {
        IdctLines<12, O, true>(x[0]);
        for (int r = 0; r < 8; ++r) x[1][r] = _mm_setzero_si128();
        Transpose8x8(x);
        IdctLines<21, O, true>(x[0]);
        IdctLines<21, O, true>(x[1]);
    } else {
        IdctLines<12, O>(x[0]);
        IdctLines<12, O>(x[1]);
        Transpose8x8(x);
        IdctLines<21, O>(x[0]);
        IdctLines<21, O>(x[1]);
    }
    Transpose8x8(x);
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
    // Most blocks of a photograph code only their 4x4 lowest frequencies (InversePasses' sparse form).
    __m128i outside = _mm_srli_si128(Load(pSrc), 8);
    for (int r = 1; r < 4; ++r) outside = _mm_or_si128(outside, _mm_srli_si128(Load(pSrc + 8 * r), 8));
    for (int r = 4; r < 8; ++r) outside = _mm_or_si128(outside, Load(pSrc + 8 * r));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(outside, _mm_setzero_si128())) == 0xFFFF) {
        for (int r = 0; r < 4; ++r) dequantise(r, true);
        InversePasses<O, true>(x);
    } else {
        for (int r = 0; r < 8; ++r) dequantise(r, false);
        InversePasses<O, false>(x);
    }

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

// The inverse DCT alone, in place (the MPEG-4 block decoders' transform; twin of the AVX2
// InverseDct8x8). Blocks coded only in their 4x4 lowest frequencies take the sparse passes. The second
// pass leaves at most 11 bits, so the saturating pack to 16 bits is the generic narrowing.
template <typename O>
void InverseDctInPlace(Lum16s block[64]) {
    __m128i rows[8];
    __m128i outside = _mm_setzero_si128();
    for (int r = 0; r < 8; ++r) {
        rows[r] = Load(block + 8 * r);
        outside = _mm_or_si128(outside, r < 4 ? _mm_srli_si128(rows[r], 8) : rows[r]);
    }
    __m128i x[2][8];
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(outside, _mm_setzero_si128())) == 0xFFFF) {
        for (int r = 0; r < 4; ++r) x[0][r] = WidenSigned(rows[r]);
        InversePasses<O, true>(x);
    } else {
        for (int r = 0; r < 8; ++r) {
            x[0][r] = WidenSigned(rows[r]);
            x[1][r] = _mm_srai_epi32(_mm_unpackhi_epi16(rows[r], rows[r]), 16);
        }
        InversePasses<O, false>(x);
    }
    for (int r = 0; r < 8; ++r)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * r), _mm_packs_epi32(x[0][r], x[1][r]));
}

// (term + 2^11) >> 12 of lo * k0 + hi * k1 for word lanes lo and hi (madd pairs), narrowed to words.
inline __m128i RoundPairs(__m128i lo, __m128i hi, int k0, int k1) {
    const __m128i k =
        _mm_set1_epi32(static_cast<int>((static_cast<uint32_t>(k1) << 16) | static_cast<uint16_t>(k0)));
    const __m128i round = _mm_set1_epi32(2048);
    const __m128i a = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(lo, hi), k), round), 12);
    const __m128i b = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(lo, hi), k), round), 12);
    return _mm_packs_epi32(a, b);
}

// The 8x8 transpose of word lanes.
inline void Transpose8x8Words(__m128i x[8]) {
    __m128i a[8], b[8];
    for (int i = 0; i < 4; ++i) {
        a[2 * i] = _mm_unpacklo_epi16(x[2 * i], x[2 * i + 1]);
        a[2 * i + 1] = _mm_unpackhi_epi16(x[2 * i], x[2 * i + 1]);
    }
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j) {
            b[4 * i + 2 * j] = _mm_unpacklo_epi32(a[4 * i + j], a[4 * i + j + 2]);
            b[4 * i + 2 * j + 1] = _mm_unpackhi_epi32(a[4 * i + j], a[4 * i + j + 2]);
        }
    for (int i = 0; i < 4; ++i) {
        x[2 * i] = _mm_unpacklo_epi64(b[i], b[i + 4]);
        x[2 * i + 1] = _mm_unpackhi_epi64(b[i], b[i + 4]);
    }
}

// The forward transform's first (row) pass on word lanes, one row in each lane, x[k] receiving output k of
// every row. The bounds are those of the AVX2 twin (jpeg_dct_avx2.cpp, ForwardRowPass): with samples in
// [0, 255] every term is exact in 32 bits and every value kept in a word lane fits 16 bits (|8 d| <=
// 2040, u and v within +-2885, a, c, uu, vv within +-6965, outputs within [-8192, 8160]); the level shift
// changes only the DC sum. `O::MulHiRound` is (a k + 2^14) >> 15.
template <typename O>
inline void ForwardRowPass(const Lum8u* pSrc, int srcStep, __m128i x[8]) {
    __m128i cols[4];
    LoadColumnPairs(pSrc, srcStep, cols);
    const __m128i zero = _mm_setzero_si128();
    __m128i c[8];
    for (int i = 0; i < 4; ++i) {
        c[2 * i] = _mm_unpacklo_epi8(cols[i], zero);
        c[2 * i + 1] = _mm_unpackhi_epi8(cols[i], zero);
    }

    const __m128i s07 = _mm_add_epi16(c[0], c[7]), s16 = _mm_add_epi16(c[1], c[6]);
    const __m128i s25 = _mm_add_epi16(c[2], c[5]), s34 = _mm_add_epi16(c[3], c[4]);
    const __m128i d07 = _mm_sub_epi16(c[0], c[7]), d16 = _mm_sub_epi16(c[1], c[6]);
    const __m128i d25 = _mm_sub_epi16(c[2], c[5]), d34 = _mm_sub_epi16(c[3], c[4]);

    // Even part.
    const __m128i e0 = _mm_add_epi16(s07, s34), e1 = _mm_add_epi16(s16, s25);
    const __m128i p = _mm_sub_epi16(s07, s34), q = _mm_sub_epi16(s16, s25);
    x[0] = _mm_sub_epi16(_mm_slli_epi16(_mm_add_epi16(e0, e1), 3), _mm_set1_epi16(8 * 1024));
    x[4] = _mm_slli_epi16(_mm_sub_epi16(e0, e1), 3);
    x[2] = RoundPairs(p, _mm_add_epi16(p, q), 25080, 17734);
    x[6] = RoundPairs(_mm_sub_epi16(p, q), q, 17734, -25079);

    // Odd part.
    const __m128i k13573 = _mm_set1_epi16(13573);
    const __m128i du = _mm_slli_epi16(d07, 3), dv = _mm_slli_epi16(d34, 3);
    const __m128i u = _mm_add_epi16(du, O::MulHiRound(du, k13573));
    const __m128i v = _mm_add_epi16(dv, O::MulHiRound(dv, k13573));
    const __m128i w = _mm_slli_epi16(_mm_add_epi16(d25, d16), 3),
                  b = _mm_slli_epi16(_mm_sub_epi16(d16, d25), 3);
    const __m128i a = _mm_add_epi16(w, u), cc = _mm_add_epi16(b, v);
    const __m128i uu = _mm_sub_epi16(u, w), vv = _mm_sub_epi16(v, b);
    x[1] = RoundPairs(a, cc, 4017, 799);
    x[7] = RoundPairs(a, cc, 799, -4017);
    x[3] = RoundPairs(uu, vv, 3406, -2275);
    x[5] = RoundPairs(uu, vv, 2276, 3406);
}

// Quantisation of eight coefficients c in [-1024, 1020] by reciprocals f, rounded to nearest with ties to
// even, as the AVX2 twin does it (jpeg_dct_avx2.cpp, Quantise16): on |c|, whose double times f has the
// floor quotient as its unsigned high word and twice the remainder as its low word.
template <typename O>
inline __m128i Quantise16(__m128i c, __m128i f) {
    const __m128i c2 = _mm_slli_epi16(O::Abs16(c), 1);
    const __m128i q = _mm_mulhi_epu16(c2, f);
    const __m128i rem = _mm_srli_epi16(_mm_mullo_epi16(c2, f), 1);
    const __m128i odd = _mm_and_si128(q, _mm_set1_epi16(1));
    const __m128i up = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(rem, odd), _mm_set1_epi16(16383)), 15);
    return O::SignOf16(_mm_add_epi16(q, up), c);
}

template <typename O>
LumStatus DctQuantFwd(const Lum8u* pSrc, int srcStep, Lum16s* pDst, const Lum16u* pQuantFwdTable) {
    if (pSrc == nullptr || pDst == nullptr) return lumStsNullPtrErr;
    if (srcStep <= 0) return lumStsStepErr;
    if (pQuantFwdTable == nullptr) return lumStsNullPtrErr;

    __m128i rows[8];
    ForwardRowPass<O>(pSrc, srcStep, rows);
    Transpose8x8Words(rows);
    __m128i x[2][8];
    for (int r = 0; r < 8; ++r) {
        x[0][r] = WidenSigned(rows[r]);
        x[1][r] = _mm_srai_epi32(_mm_unpackhi_epi16(rows[r], rows[r]), 16);
    }
    FdctColumnLines<O>(x[0]);
    FdctColumnLines<O>(x[1]);

    for (int r = 0; r < 8; ++r) {
        // The column pass leaves coefficients in [-1024, 1020]: the saturating pack keeps them unchanged.
        const __m128i c = _mm_packs_epi32(x[0][r], x[1][r]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pDst + 8 * r),
                         Quantise16<O>(c, Load(pQuantFwdTable + 8 * r)));
    }
    return lumStsNoErr;
}

}  // namespace
}  // namespace lumacore::x86

#endif
