// The forward transforms' first step at every tuned level: the columns of an 8x8 block of samples, read
// as eight rows.
#ifndef LUMACORE_X86_JPEG_DCT_COLUMNS_H
#define LUMACORE_X86_JPEG_DCT_COLUMNS_H

#include <emmintrin.h>

#include <cstddef>

#include "lumacore/lumacore.h"

namespace lumacore::x86 {
// Internal to each including file: compiled for that file's instruction set (see jpeg_dct_sse.h).
namespace {

// cols[i] receives column 2i (rows 0-7) in its low eight bytes and column 2i + 1 in its high eight.
inline void LoadColumnPairs(const Lum8u* pSrc, int srcStep, __m128i cols[4]) {
    __m128i r[8];
    for (int i = 0; i < 8; ++i)
        r[i] = _mm_loadl_epi64(
            reinterpret_cast<const __m128i*>(pSrc + static_cast<std::ptrdiff_t>(i) * srcStep));
    const __m128i a01 = _mm_unpacklo_epi8(r[0], r[1]), a23 = _mm_unpacklo_epi8(r[2], r[3]);
    const __m128i a45 = _mm_unpacklo_epi8(r[4], r[5]), a67 = _mm_unpacklo_epi8(r[6], r[7]);
    const __m128i b0 = _mm_unpacklo_epi16(a01, a23), b1 = _mm_unpackhi_epi16(a01, a23);
    const __m128i b2 = _mm_unpacklo_epi16(a45, a67), b3 = _mm_unpackhi_epi16(a45, a67);
    cols[0] = _mm_unpacklo_epi32(b0, b2);
    cols[1] = _mm_unpackhi_epi32(b0, b2);
    cols[2] = _mm_unpacklo_epi32(b1, b3);
    cols[3] = _mm_unpackhi_epi32(b1, b3);
}

}  // namespace
}  // namespace lumacore::x86

#endif
