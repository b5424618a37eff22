// Level 1 (SSE2) half-sample motion compensation, also bound at levels 2 and 3 (a block row is 8 or 16
// bytes, one 128-bit vector at most). Two rows of an 8x8 block or one of a macroblock at a time, each of
// the four phases with the generic rounding: (a + b + 1 - r) >> 1 is the byte average, less one where r
// is set and a + b is odd; the four-sample phase comes from byte averages with a parity correction. Every
// row reads exactly the samples the generic code reads (one more column or row only for an odd
// component), so the caller's padding is enough.
#include <emmintrin.h>

#include <cstddef>
#include <type_traits>

#include "lumacore/lumacore.h"

namespace lumacore::sse2 {
namespace {

// Width 8: the low eight bytes of a vector; width 16: all of it.
template <int Width>
inline __m128i LoadRow(const Lum8u* p) {
    if constexpr (Width == 8)
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    else
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

template <int Width>
inline void StoreRow(Lum8u* p, __m128i v) {
    if constexpr (Width == 8)
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
    else
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// (a + b + 1 - r) >> 1 per byte.
inline __m128i Average2(__m128i a, __m128i b, __m128i roundingMask) {
    const __m128i avg = _mm_avg_epu8(a, b);
    return _mm_sub_epi8(avg, _mm_and_si128(_mm_xor_si128(a, b), roundingMask));
}

// (a + b + c + d + 2 - r) >> 2 per byte from byte averages (avg(x, y) = (x + y + 1) >> 1, p and q the
// pair averages, x and y the parities of a + b and c + d; the sums' floors are 2 floor(p, q) + x + y):
//   r = 0: avg(p, q) with p, q rounded up, less one where x | y and p + q is odd;
//   r = 1: avg(p, q) with p, q rounded down, less one where neither x nor y and p + q is odd.
template <bool RoundDown>
inline __m128i Average4(__m128i a, __m128i b, __m128i c, __m128i d) {
    const __m128i one = _mm_set1_epi8(1);
    const __m128i ab = _mm_xor_si128(a, b), cd = _mm_xor_si128(c, d);
    __m128i p = _mm_avg_epu8(a, b), q = _mm_avg_epu8(c, d);
    __m128i odd = _mm_or_si128(ab, cd);
    if constexpr (RoundDown) {
        p = _mm_sub_epi8(p, _mm_and_si128(ab, one));
        q = _mm_sub_epi8(q, _mm_and_si128(cd, one));
        odd = _mm_xor_si128(odd, one);
    }
    const __m128i fix = _mm_and_si128(_mm_and_si128(odd, _mm_xor_si128(p, q)), one);
    return _mm_sub_epi8(_mm_avg_epu8(p, q), fix);
}

// The rows of the prediction one vector at a time: kLines 1 (16-byte rows: one row a vector) or 2 (8-byte
// rows: rows y and y + 1 in the low and high halves). LoadLines reads exactly the bytes of those rows.
template <int Size>
constexpr int kLines = Size == 8 ? 2 : 1;

template <int Size>
inline __m128i LoadLines(const Lum8u* p, std::ptrdiff_t step) {
    if constexpr (Size == 8)
        return _mm_castpd_si128(
            _mm_loadh_pd(_mm_castsi128_pd(LoadRow<8>(p)), reinterpret_cast<const double*>(p + step)));
    else
        return LoadRow<16>(p);
}

// Calls `lines(y, prediction)` for each vector of rows y, y + 1, ... (kLines<Size> of them) of the
// prediction.
template <int Size, typename Lines>
inline void Predict(const Lum8u* pSrc, int srcStep, const LumMotionVector& mv, int rounding, Lines lines) {
    constexpr int kStep = kLines<Size>;
    const std::ptrdiff_t step = srcStep;
    const Lum8u* src = pSrc + (mv.dx >> 1) + (mv.dy >> 1) * step;
    const int r = rounding != 0 ? 1 : 0;
    const bool halfX = (mv.dx & 1) != 0, halfY = (mv.dy & 1) != 0;
    const __m128i roundingMask = _mm_set1_epi8(static_cast<char>(r));
    if (!halfX && !halfY) {
        for (int y = 0; y < Size; y += kStep, src += kStep * step) lines(y, LoadLines<Size>(src, step));
    } else if (halfX && !halfY) {
        for (int y = 0; y < Size; y += kStep, src += kStep * step)
            lines(y, Average2(LoadLines<Size>(src, step), LoadLines<Size>(src + 1, step), roundingMask));
    } else if (!halfX) {
        if constexpr (Size == 8) {
            for (int y = 0; y < Size; y += kStep, src += kStep * step)
                lines(y,
                      Average2(LoadLines<Size>(src, step), LoadLines<Size>(src + step, step), roundingMask));
        } else {
            __m128i above = LoadRow<Size>(src);
            for (int y = 0; y < Size; ++y, src += step) {
                const __m128i below = LoadRow<Size>(src + step);
                lines(y, Average2(above, below, roundingMask));
                above = below;
            }
        }
    } else {
        auto both = [&](auto roundDown) {
            constexpr bool kDown = decltype(roundDown)::value;
            if constexpr (Size == 8) {
                for (int y = 0; y < Size; y += kStep, src += kStep * step)
                    lines(y, Average4<kDown>(LoadLines<Size>(src, step), LoadLines<Size>(src + 1, step),
                                             LoadLines<Size>(src + step, step),
                                             LoadLines<Size>(src + step + 1, step)));
            } else {
                __m128i aboveL = LoadRow<Size>(src), aboveR = LoadRow<Size>(src + 1);
                for (int y = 0; y < Size; ++y, src += step) {
                    const __m128i belowL = LoadRow<Size>(src + step), belowR = LoadRow<Size>(src + step + 1);
                    lines(y, Average4<kDown>(aboveL, aboveR, belowL, belowR));
                    aboveL = belowL;
                    aboveR = belowR;
                }
            }
        };
        if (r == 0)
            both(std::false_type{});
        else
            both(std::true_type{});
    }
}

// Stores rows y, y + 1, ... of `v` as LoadLines holds them.
template <int Size>
inline void StoreLines(Lum8u* p, std::ptrdiff_t step, __m128i v) {
    if constexpr (Size == 8) {
        StoreRow<8>(p, v);
        _mm_storeh_pd(reinterpret_cast<double*>(p + step), _mm_castsi128_pd(v));
    } else {
        StoreRow<16>(p, v);
    }
}

template <int Size>
LumStatus CopyHalfpel(const Lum8u* pSrc, int srcStep, Lum8u* pDst, int dstStep, const LumMotionVector* pMV,
                      int rounding) {
    if (pSrc == nullptr || pDst == nullptr || pMV == nullptr) return lumStsNullPtrErr;
    Predict<Size>(pSrc, srcStep, *pMV, rounding, [&](int y, __m128i p) {
        StoreLines<Size>(pDst + static_cast<std::ptrdiff_t>(y) * dstStep, dstStep, p);
    });
    return lumStsNoErr;
}

}  // namespace

LumStatus lumiCopyBlockHalfpel_MPEG4_8u(const Lum8u* pSrc, int srcStep, Lum8u* pDst, int dstStep,
                                        const LumMotionVector* pMV, int rounding) {
    return CopyHalfpel<8>(pSrc, srcStep, pDst, dstStep, pMV, rounding);
}

LumStatus lumiCopyMBHalfpel_MPEG4_8u(const Lum8u* pSrc, int srcStep, Lum8u* pDst, int dstStep,
                                     const LumMotionVector* pMV, int rounding) {
    return CopyHalfpel<16>(pSrc, srcStep, pDst, dstStep, pMV, rounding);
}

// Prediction plus residual, clamped to 0..255: a saturating 16-bit sum, then the unsigned byte pack.
LumStatus lumiReconBlockHalfpel_MPEG4_8u(const Lum8u* pSrc, int srcStep, const Lum16s* pSrcResidual,
                                         Lum8u* pDst, int dstStep, const LumMotionVector* pMV, int rounding) {
    if (pSrc == nullptr || pDst == nullptr || pSrcResidual == nullptr || pMV == nullptr)
        return lumStsNullPtrErr;
    const __m128i zero = _mm_setzero_si128();
    Predict<8>(pSrc, srcStep, *pMV, rounding, [&](int y, __m128i p) {  // rows y and y + 1
        const __m128i* residual = reinterpret_cast<const __m128i*>(pSrcResidual + 8 * y);
        const __m128i upper = _mm_adds_epi16(_mm_unpacklo_epi8(p, zero), _mm_loadu_si128(residual));
        const __m128i lower = _mm_adds_epi16(_mm_unpackhi_epi8(p, zero), _mm_loadu_si128(residual + 1));
        StoreLines<8>(pDst + static_cast<std::ptrdiff_t>(y) * dstStep, dstStep,
                      _mm_packus_epi16(upper, lower));
    });
    return lumStsNoErr;
}

}  // namespace lumacore::sse2
