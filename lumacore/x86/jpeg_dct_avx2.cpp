// Level 3 (AVX2) JPEG transforms: the dequantising inverse DCT and the forward DCT with quantisation.
//
// The inverse: a block is eight vectors of eight 32-bit lanes, one row each. The column pass runs on the
// rows as they are; the block is transposed for the row pass and back. The forward transform runs its row
// pass on 16-bit lanes (its 8-bit input bounds every term, see ForwardRowPass) and its column pass on
// 32-bit lanes, and quantises 16 coefficients at a time. Same bits as the generic code (see
// dct8_lines.h); twins: jpeg_dct_sse2.cpp, jpeg_dct_sse41.cpp.
#include <immintrin.h>

#include <cstddef>

#include "jpeg/idct.h"
#include "lumacore/lumacore.h"
#include "x86/dct8_lines.h"
#include "x86/jpeg_dct_columns.h"

namespace lumacore::avx2 {
namespace {

struct Ops {
    using V = __m256i;
    static V Add(V a, V b) { return _mm256_add_epi32(a, b); }
    static V Sub(V a, V b) { return _mm256_sub_epi32(a, b); }
    static V Mul(V a, V b) { return _mm256_mullo_epi32(a, b); }
    static V Mul(V a, int k) { return _mm256_mullo_epi32(a, _mm256_set1_epi32(k)); }
    // Products of lanes holding 16-bit values, and (a + b) k: the plain 32-bit multiply.
    static V MulW(V a, int k) { return Mul(a, k); }
    static V MulSum(V a, V b, int k) { return Mul(Add(a, b), k); }
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

// Both passes of the inverse transform; x[r] holds row r before, output column r (a row in each lane)
// after. `Sparse`: rows 4-7 and columns 4-7 of the input are zero, so are columns 4-7 of the first pass's
// results (every term of an all-zero line is zero, and so is (0 + 2^11) >> 12): neither pass reads
// x[4..7].
template <bool Sparse>
[[gnu::always_inline]] inline void InverseDctPasses(__m256i x[8]) {
    x86::IdctLines<12, Ops, Sparse>(x);
    Transpose8x8(x);
    x86::IdctLines<21, Ops, Sparse>(x);
}

// The level shift with clamping of the output columns y[0..7] (each lane a row, values within 11 bits)
// into eight rows of bytes: saturating to signed bytes and flipping the top bit gives 0 below -128 and
// 255 above 127. The packs leave, in each half, four columns of four rows; one shuffle turns those into
// four rows of four columns, and interleaving the two column halves makes whole rows.
[[gnu::always_inline]] inline void StoreColumns(const __m256i y[8], Lum8u* pDst, int dstStep) {
    const __m256i flip = _mm256_set1_epi8(static_cast<char>(0x80));
    const __m256i toRows = _mm256_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 0, 4, 8, 12,
                                            1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    auto quarter = [&](int k) {  // columns k to k + 3: rows 0-3 | rows 4-7
        const __m256i w =
            _mm256_packs_epi16(_mm256_packs_epi32(y[k], y[k + 1]), _mm256_packs_epi32(y[k + 2], y[k + 3]));
        return _mm256_shuffle_epi8(_mm256_xor_si256(w, flip), toRows);
    };
    const __m256i left = quarter(0), right = quarter(4);
    const __m256i rows01 = _mm256_unpacklo_epi32(left, right);  // rows 0, 1 | rows 4, 5
    const __m256i rows23 = _mm256_unpackhi_epi32(left, right);  // rows 2, 3 | rows 6, 7
    auto store = [&](int r, __m128i two) {
        Lum8u* row = pDst + static_cast<std::ptrdiff_t>(r) * dstStep;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(row), two);
        _mm_storeh_pd(reinterpret_cast<double*>(row + dstStep), _mm_castsi128_pd(two));
    };
    store(0, _mm256_castsi256_si128(rows01));
    store(2, _mm256_castsi256_si128(rows23));
    store(4, _mm256_extracti128_si256(rows01, 1));
    store(6, _mm256_extracti128_si256(rows23, 1));
}

// Word lanes: the low eight (the low 128 bits) and the high eight.
inline __m256i SplitWords(int lo, int hi) {
    return _mm256_setr_epi16(
        static_cast<short>(lo), static_cast<short>(lo), static_cast<short>(lo), static_cast<short>(lo),
        static_cast<short>(lo), static_cast<short>(lo), static_cast<short>(lo), static_cast<short>(lo),
        static_cast<short>(hi), static_cast<short>(hi), static_cast<short>(hi), static_cast<short>(hi),
        static_cast<short>(hi), static_cast<short>(hi), static_cast<short>(hi), static_cast<short>(hi));
}

// Multiplier pairs for _mm256_madd_epi16: (a, b) in every pair of the low half, (c, d) in the high half.
inline __m256i SplitPairs(int a, int b, int c, int d) {
    const int lo = static_cast<int>((static_cast<uint32_t>(b) << 16) | static_cast<uint16_t>(a));
    const int hi = static_cast<int>((static_cast<uint32_t>(d) << 16) | static_cast<uint16_t>(c));
    return _mm256_setr_epi32(lo, lo, lo, lo, hi, hi, hi, hi);
}

// (term + 2^11) >> 12 of the pair sums of (lo, hi) interleaved, narrowed to words: lanes 0-3 of `lo`'s
// words then 4-7, in each half.
inline __m256i RoundPairs(__m256i lo, __m256i hi, __m256i k) {
    const __m256i round = _mm256_set1_epi32(2048);
    const __m256i a =
        _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(lo, hi), k), round), 12);
    const __m256i b =
        _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(lo, hi), k), round), 12);
    return _mm256_packs_epi32(a, b);
}

// The forward transform's first (row) pass in word lanes, then the rows widened to 32-bit lanes for the
// column pass: x[r] holds row r's eight outputs.
//
// Each lane carries one row; a register holds one input column in its low half and another in its high
// half. The generic pass's terms are exact integers far from any 32-bit wrap for 8-bit samples, so any
// exact rearrangement of them gives its bits. With samples x in [0, 255] (the level shift of -128 changes
// only the DC sum, subtracted at its end):
//   s in [0, 510], d and p = s07 - s34, q = s16 - s25 in [-510, 510], p + q and p - q in [-1020, 1020];
//   u = (46341 d07 + 2^11) >> 12 = 8 d07 + ((13573 d07 + 2^11) >> 12) = 8 d07 + mulhrs(8 d07, 13573)
//     (exact while |8 d| < 2^15; |8 d| <= 2040), so |u|, |v| <= 2885;
//   w, b in [-4080, 4080]; a = w + u, c = b + v, uu = u - w, vv = v - b all within +-6965;
//   t2 = 25080 p + 17734 (p + q), t6 = 17734 (p - q) - 25079 q, t1 = 4017 a + 799 c, t7 = 799 a - 4017 c,
//   t3 = 3406 uu - 2275 vv, t5 = 2276 uu + 3406 vv: products of words by word constants (one madd per
//   pair), |t| <= 30.9e6, so (t + 2^11) >> 12 lies within +-7539; the sums times 8 within [-8192, 8160].
// Every output fits 16 bits, so the saturating packs narrow exactly as the generic 16-bit store does.
[[gnu::always_inline]] inline void ForwardRowPass(const Lum8u* pSrc, int srcStep, __m256i x[8]) {
    // Columns out of rows, widened to word lanes in the pairs the butterfly adds and subtracts.
    __m128i cols[4];
    x86::LoadColumnPairs(pSrc, srcStep, cols);
    const __m256i x01 = _mm256_cvtepu8_epi16(cols[0]);
    const __m256i x76 = _mm256_cvtepu8_epi16(_mm_shuffle_epi32(cols[3], 0x4E));
    const __m256i x32 = _mm256_cvtepu8_epi16(_mm_shuffle_epi32(cols[1], 0x4E));
    const __m256i x45 = _mm256_cvtepu8_epi16(cols[2]);

    const __m256i sA = _mm256_add_epi16(x01, x76), dA = _mm256_sub_epi16(x01, x76);  // s07|s16, d07|d16
    const __m256i sB = _mm256_add_epi16(x32, x45), dB = _mm256_sub_epi16(x32, x45);  // s34|s25, d34|d25
    const __m256i negHigh = SplitWords(1, -1);

    // Even part. e1 = s07 + s34 | s16 + s25, pq = p | q.
    const __m256i e1 = _mm256_add_epi16(sA, sB), pq = _mm256_sub_epi16(sA, sB);
    const __m256i sums = _mm256_add_epi16(_mm256_permute4x64_epi64(e1, 0x4E), _mm256_sign_epi16(e1, negHigh));
    const __m256i o04 = _mm256_sub_epi16(_mm256_slli_epi16(sums, 3), SplitWords(8 * 1024, 0));
    const __m256i pp = _mm256_permute4x64_epi64(pq, 0x44), qq = _mm256_permute4x64_epi64(pq, 0xEE);
    const __m256i lowOnly = SplitWords(-1, 0);
    const __m256i evenLo = _mm256_sub_epi16(pp, _mm256_andnot_si256(lowOnly, qq));  // p | p - q
    const __m256i evenHi = _mm256_add_epi16(_mm256_and_si256(lowOnly, pp), qq);     // p + q | q
    const __m256i o26 = RoundPairs(evenLo, evenHi, SplitPairs(25080, 17734, 17734, -25079));

    // Odd part.
    const __m256i du = _mm256_permute2x128_si256(dA, dB, 0x20);  // d07 | d34
    const __m256i dw = _mm256_permute2x128_si256(dA, dB, 0x31);  // d16 | d25
    const __m256i du8 = _mm256_slli_epi16(du, 3);
    const __m256i uv = _mm256_add_epi16(du8, _mm256_mulhrs_epi16(du8, _mm256_set1_epi16(13573)));
    const __m256i wb = _mm256_slli_epi16(
        _mm256_add_epi16(_mm256_permute4x64_epi64(dw, 0x4E), _mm256_sign_epi16(dw, negHigh)), 3);
    const __m256i ac = _mm256_add_epi16(wb, uv), uuvv = _mm256_sub_epi16(uv, wb);
    const __m256i oddLo = _mm256_permute2x128_si256(ac, uuvv, 0x20);  // a | uu
    const __m256i oddHi = _mm256_permute2x128_si256(ac, uuvv, 0x31);  // c | vv
    const __m256i o15 = RoundPairs(oddLo, oddHi, SplitPairs(4017, 799, 2276, 3406));
    const __m256i o37 =
        _mm256_permute4x64_epi64(RoundPairs(oddLo, oddHi, SplitPairs(799, -4017, 3406, -2275)), 0x4E);

    // Rows out of the output columns: o0 o1 | o4 o5 and o2 o3 | o6 o7 pairs, then quads, then a row in
    // each half, widened.
    const __m256i p0 = _mm256_unpacklo_epi16(o04, o15), p1 = _mm256_unpackhi_epi16(o04, o15);
    const __m256i p2 = _mm256_unpacklo_epi16(o26, o37), p3 = _mm256_unpackhi_epi16(o26, o37);
    const __m256i q[4] = {_mm256_unpacklo_epi32(p0, p2), _mm256_unpackhi_epi32(p0, p2),
                          _mm256_unpacklo_epi32(p1, p3), _mm256_unpackhi_epi32(p1, p3)};
    for (int i = 0; i < 4; ++i) {
        const __m256i rows = _mm256_permute4x64_epi64(q[i], 0xD8);  // row 2i | row 2i + 1
        x[2 * i] = _mm256_cvtepi16_epi32(_mm256_castsi256_si128(rows));
        x[2 * i + 1] = _mm256_cvtepi16_epi32(_mm256_extracti128_si256(rows, 1));
    }
}

// Quantisation of 16 coefficients c in [-1024, 1020] (the column pass's range) by reciprocals f: c f / 2^15
// rounded to nearest, ties to even. That rounding is odd-symmetric, so it runs on |c| and takes c's sign at
// the end. With |c| <= 1024, 2 |c| f < 2^27, so the unsigned high word of 2 |c| f is the floor q = |c| f >>
// 15 and the low word is twice the remainder; up by one when remainder + (q & 1) >= 2^14 + 1. |result| <=
// 2048.
inline __m256i Quantise16(__m256i c, __m256i f) {
    const __m256i c2 = _mm256_slli_epi16(_mm256_abs_epi16(c), 1);
    const __m256i q = _mm256_mulhi_epu16(c2, f);
    const __m256i rem = _mm256_srli_epi16(_mm256_mullo_epi16(c2, f), 1);
    const __m256i odd = _mm256_and_si256(q, _mm256_set1_epi16(1));
    const __m256i up =
        _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(rem, odd), _mm256_set1_epi16(16383)), 15);
    return _mm256_sign_epi16(_mm256_add_epi16(q, up), c);
}

}  // namespace

// The inverse DCT alone, for the MPEG-4 block decoders (mpeg4_blocks_avx2.cpp). The second pass leaves
// at most 11 bits, so the saturating pack to 16 bits is the generic narrowing. The output columns are
// packed to words first and turned into rows as words: pairs of columns, then quads of a row.
void InverseDct8x8(Lum16s block[64]) {
    __m256i x[8];
    for (int r = 0; r < 8; ++r) x[r] = _mm256_cvtepi16_epi32(Load128(block + 8 * r));
    InverseDctPasses<false>(x);
    // Each half: columns k and k + 1 of rows 0-3 | of rows 4-7.
    const __m256i w01 = _mm256_packs_epi32(x[0], x[1]), w23 = _mm256_packs_epi32(x[2], x[3]);
    const __m256i w45 = _mm256_packs_epi32(x[4], x[5]), w67 = _mm256_packs_epi32(x[6], x[7]);
    // Columns 0-3 (c) and 4-7 (d) of rows 0, 1 | rows 4, 5 (lo) and rows 2, 3 | rows 6, 7 (hi).
    auto quads = [](__m256i a, __m256i b, __m256i& lo, __m256i& hi) {
        const __m256i even = _mm256_unpacklo_epi16(a, b), odd = _mm256_unpackhi_epi16(a, b);
        lo = _mm256_unpacklo_epi16(even, odd);
        hi = _mm256_unpackhi_epi16(even, odd);
    };
    __m256i c01, c23, d01, d23;
    quads(w01, w23, c01, c23);
    quads(w45, w67, d01, d23);
    const __m256i r04 = _mm256_unpacklo_epi64(c01, d01), r15 = _mm256_unpackhi_epi64(c01, d01);
    const __m256i r26 = _mm256_unpacklo_epi64(c23, d23), r37 = _mm256_unpackhi_epi64(c23, d23);
    __m256i* out = reinterpret_cast<__m256i*>(block);
    _mm256_storeu_si256(out, _mm256_permute2x128_si256(r04, r15, 0x20));
    _mm256_storeu_si256(out + 1, _mm256_permute2x128_si256(r26, r37, 0x20));
    _mm256_storeu_si256(out + 2, _mm256_permute2x128_si256(r04, r15, 0x31));
    _mm256_storeu_si256(out + 3, _mm256_permute2x128_si256(r26, r37, 0x31));
}

LumStatus lumiDCTQuantInv8x8LS_JPEG_16s8u_C1R(const Lum16s* pSrc, Lum8u* pDst, int dstStep,
                                              const Lum16u* pQuantInvTable) {
    if (pSrc == nullptr || pDst == nullptr) return lumStsNullPtrErr;
    if (dstStep <= 0) return lumStsStepErr;
    if (pQuantInvTable == nullptr) return lumStsNullPtrErr;

    // A block with no AC coefficient (common in flat areas and chroma) has one output value.
    const __m256i c01 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pSrc));
    const __m256i c23 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pSrc + 16));
    const __m256i c45 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pSrc + 32));
    const __m256i c67 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pSrc + 48));
    const __m256i notDc = _mm256_setr_epi16(0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i lower = _mm256_or_si256(c45, c67), upper = _mm256_or_si256(c01, c23);
    const __m256i ac = _mm256_or_si256(_mm256_or_si256(_mm256_and_si256(c01, notDc), c23), lower);
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
    auto dequantise = [&](int r) {
        const __m256i c = _mm256_cvtepi16_epi32(Load128(pSrc + 8 * r));
        const __m256i q = _mm256_cvtepu16_epi32(Load128(pQuantInvTable + 8 * r));
        x[r] = _mm256_min_epi32(_mm256_max_epi32(_mm256_mullo_epi32(c, q), lo), hi);
    };
    // Most blocks of a photograph code only their 4x4 lowest frequencies: both passes then skip half of
    // their inputs.
    const __m256i rightHalf = _mm256_setr_epi16(0, 0, 0, 0, -1, -1, -1, -1, 0, 0, 0, 0, -1, -1, -1, -1);
    const __m256i outside = _mm256_or_si256(lower, _mm256_and_si256(upper, rightHalf));
    if (_mm256_testz_si256(outside, outside)) {
        for (int r = 0; r < 4; ++r) dequantise(r);
        InverseDctPasses<true>(x);
    } else {
        for (int r = 0; r < 8; ++r) dequantise(r);
        InverseDctPasses<false>(x);
    }
    StoreColumns(x, pDst, dstStep);
    return lumStsNoErr;
}

LumStatus lumiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(const Lum8u* pSrc, int srcStep, Lum16s* pDst,
                                              const Lum16u* pQuantFwdTable) {
    if (pSrc == nullptr || pDst == nullptr) return lumStsNullPtrErr;
    if (srcStep <= 0) return lumStsStepErr;
    if (pQuantFwdTable == nullptr) return lumStsNullPtrErr;

    __m256i x[8];
    ForwardRowPass(pSrc, srcStep, x);
    x86::FdctColumnLines<Ops>(x);
    for (int r = 0; r < 8; r += 2) {
        // The column pass leaves coefficients in [-1024, 1020]: the saturating pack keeps them unchanged.
        const __m256i c = _mm256_permute4x64_epi64(_mm256_packs_epi32(x[r], x[r + 1]), 0xD8);
        const __m256i f = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pQuantFwdTable + 8 * r));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pDst + 8 * r), Quantise16(c, f));
    }
    return lumStsNoErr;
}

}  // namespace lumacore::avx2
