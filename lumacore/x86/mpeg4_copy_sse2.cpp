// Level 1 (SSE2) integer-sample copies of the H.263 family, also bound at levels 2 and 3 (a block row is
// 8 or 16 bytes, one 128-bit vector at most): the 8x8 and 16x16 block copies of not-coded macroblocks and
// the border expansion of reference planes. Same bytes written as the generic code (copy_block.cpp,
// expand_frame.cpp), nothing else touched.
#include <emmintrin.h>

#include <cstddef>
#include <cstring>

#include "lumacore/lumacore.h"
#include "mpeg4/copy_check.h"

namespace lumacore::sse2 {
namespace {

// Both squares unrolled, all loads of a pair of rows before their stores.
template <int Size>
inline void CopySquare(const Lum8u* pSrc, Lum8u* pDst, int step) {
    const std::ptrdiff_t s = step;
    for (int y = 0; y < Size; y += 2) {
        if constexpr (Size == 8) {
            const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pSrc + y * s));
            const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pSrc + (y + 1) * s));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(pDst + y * s), a);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(pDst + (y + 1) * s), b);
        } else {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pSrc + y * s));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pSrc + (y + 1) * s));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(pDst + y * s), a);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(pDst + (y + 1) * s), b);
        }
    }
}

// `n` (>= 8) copies of `value` at `p`: 16-byte stores, the last one ending at p + n (overlapping the one
// before when n is not a multiple of 16); below 16, two 8-byte stores the same way.
inline void Fill(Lum8u* p, __m128i value, int n) {
    if (n < 16) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), value);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p + n - 8), value);
        return;
    }
    for (int i = 0; i + 16 < n; i += 16) _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), value);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + n - 16), value);
}

}  // namespace

LumStatus lumiCopyBlock_H263_8u(const Lum8u* pSrc, Lum8u* pDst, int step) {
    if (const LumStatus s = c::CheckSquareCopyArgs<8>(pSrc, pDst, step); s != lumStsNoErr) return s;
    CopySquare<8>(pSrc, pDst, step);
    return lumStsNoErr;
}

LumStatus lumiCopyMB_H263_8u(const Lum8u* pSrc, Lum8u* pDst, int step) {
    if (const LumStatus s = c::CheckSquareCopyArgs<16>(pSrc, pDst, step); s != lumStsNoErr) return s;
    CopySquare<16>(pSrc, pDst, step);
    return lumStsNoErr;
}

// The picture's rows get their left and right borders first; then the first and last of those whole
// rows (borders included) are repeated above and below. The generic code repeats the picture rows first
// and the borders after; both leave every border sample equal to the nearest picture sample.
LumStatus lumiExpandFrame_H263_8u(Lum8u* pSrcDstPlane, int frameWidth, int frameHeight, int expandPels,
                                  int step) {
    if (const LumStatus s = c::CheckExpandFrameArgs(pSrcDstPlane, frameWidth, frameHeight, expandPels, step);
        s != lumStsNoErr)
        return s;

    const std::ptrdiff_t s = step;
    Lum8u* const top = pSrcDstPlane + expandPels * s;  // the first picture row, borders included
    for (int y = 0; y < frameHeight; ++y) {
        Lum8u* row = top + y * s;
        Fill(row, _mm_set1_epi8(static_cast<char>(row[expandPels])), expandPels);
        Lum8u* right = row + expandPels + frameWidth;
        Fill(right, _mm_set1_epi8(static_cast<char>(right[-1])), expandPels);
    }
    const std::size_t width = static_cast<std::size_t>(frameWidth) + 2 * static_cast<std::size_t>(expandPels);
    Lum8u* const bottom = top + (frameHeight - 1) * s;
    for (int y = 1; y <= expandPels; ++y) {
        std::memcpy(top - y * s, top, width);
        std::memcpy(bottom + y * s, bottom, width);
    }
    return lumStsNoErr;
}

}  // namespace lumacore::sse2
