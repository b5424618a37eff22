// Byte shuffles between planes and interleaved pixels made of SSE2 unpacks only, 16 pixels at a time:
// four-byte pixels (CMYK) at every level, three-byte pixels at level 1, where pshufb is not available
// (levels 2 and 3 take pixel_shuffle.h for those).
#ifndef LUMACORE_X86_PIXEL_UNPACK_H
#define LUMACORE_X86_PIXEL_UNPACK_H

#include <emmintrin.h>

#include "lumacore/lumacore.h"

namespace lumacore::x86 {
// Internal to each including file (see pixel_shuffle.h).
namespace {

// Four vectors of four 4-byte pixels to the four channels' 16 bytes each. Each round of unpacks halves
// the distance between a channel's bytes: pixel pairs (0, 4), then quadruples (0, 2, 4, 6), then runs of
// eight, which the last round joins.
inline void Deinterleave4(const __m128i in[4], __m128i out[4]) {
    const __m128i a = _mm_unpacklo_epi8(in[0], in[1]), b = _mm_unpackhi_epi8(in[0], in[1]);
    const __m128i c = _mm_unpacklo_epi8(in[2], in[3]), d = _mm_unpackhi_epi8(in[2], in[3]);
    const __m128i e = _mm_unpacklo_epi8(a, b), f = _mm_unpackhi_epi8(a, b);
    const __m128i g = _mm_unpacklo_epi8(c, d), h = _mm_unpackhi_epi8(c, d);
    const __m128i lo0 = _mm_unpacklo_epi8(e, f), hi0 = _mm_unpackhi_epi8(e, f);  // pixels 0..7
    const __m128i lo1 = _mm_unpacklo_epi8(g, h), hi1 = _mm_unpackhi_epi8(g, h);  // pixels 8..15
    out[0] = _mm_unpacklo_epi64(lo0, lo1);
    out[1] = _mm_unpackhi_epi64(lo0, lo1);
    out[2] = _mm_unpacklo_epi64(hi0, hi1);
    out[3] = _mm_unpackhi_epi64(hi0, hi1);
}

// Four channels' 16 bytes to four vectors of four 4-byte pixels (p0 first in every pixel).
inline void Interleave4(__m128i p0, __m128i p1, __m128i p2, __m128i p3, __m128i out[4]) {
    const __m128i lo01 = _mm_unpacklo_epi8(p0, p1), hi01 = _mm_unpackhi_epi8(p0, p1);
    const __m128i lo23 = _mm_unpacklo_epi8(p2, p3), hi23 = _mm_unpackhi_epi8(p2, p3);
    out[0] = _mm_unpacklo_epi16(lo01, lo23);
    out[1] = _mm_unpackhi_epi16(lo01, lo23);
    out[2] = _mm_unpacklo_epi16(hi01, hi23);
    out[3] = _mm_unpackhi_epi16(hi01, hi23);
}

inline void LoadDeinterleaved4(const Lum8u* s, __m128i out[4]) {
    const __m128i in[4] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16)),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32)),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 48))};
    Deinterleave4(in, out);
}

inline void StoreInterleaved4(Lum8u* d, __m128i p0, __m128i p1, __m128i p2, __m128i p3) {
    __m128i out[4];
    Interleave4(p0, p1, p2, p3, out);
    for (int i = 0; i < 4; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16 * i), out[i]);
}

// The dwords of each quadword's low half (0xFFFFFFFF) and high half (0).
inline __m128i LowDwords() {
    return _mm_set_epi32(0, -1, 0, -1);
}

// Four 3-byte pixels in bytes 0..11 to four dwords (pixel i in bytes 4i..4i+2; byte 4i+3 is the next
// pixel's first byte or junk).
inline __m128i SpreadPixels3(__m128i v) {
    const __m128i h = _mm_unpacklo_epi64(v, _mm_srli_si128(v, 6));  // pixels 0, 1 | pixels 2, 3
    const __m128i s = _mm_slli_epi64(h, 8);                         // the odd pixel moved to its dword
    const __m128i low = LowDwords();
    return _mm_or_si128(_mm_and_si128(h, low), _mm_andnot_si128(low, s));
}

// Four dwords whose fourth bytes are 0 to four 3-byte pixels in bytes 0..11 (bytes 12..15 are 0).
inline __m128i PackPixels3(__m128i v) {
    const __m128i low = LowDwords();
    const __m128i q = _mm_or_si128(_mm_and_si128(v, low), _mm_srli_epi64(_mm_andnot_si128(low, v), 8));
    const __m128i first = _mm_move_epi64(q);
    return _mm_or_si128(first, _mm_srli_si128(_mm_xor_si128(q, first), 2));
}

// Reads 16 pixels of three bytes each into their three channels, in byte order.
inline void LoadDeinterleaved3Unpack(const Lum8u* s, __m128i out[3]) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32));
    const __m128i pixels[4] = {SpreadPixels3(a),
                               SpreadPixels3(_mm_or_si128(_mm_srli_si128(a, 12), _mm_slli_si128(b, 4))),
                               SpreadPixels3(_mm_or_si128(_mm_srli_si128(b, 8), _mm_slli_si128(c, 8))),
                               SpreadPixels3(_mm_srli_si128(c, 4))};
    __m128i planes[4];
    Deinterleave4(pixels, planes);
    for (int i = 0; i < 3; ++i) out[i] = planes[i];
}

// Writes 16 pixels of three bytes each: p0 first in every pixel, then p1, then p2.
inline void StoreInterleaved3Unpack(Lum8u* d, __m128i p0, __m128i p1, __m128i p2) {
    __m128i q[4];
    Interleave4(p0, p1, p2, _mm_setzero_si128(), q);
    for (__m128i& v : q) v = PackPixels3(v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_or_si128(q[0], _mm_slli_si128(q[1], 12)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16),
                     _mm_or_si128(_mm_srli_si128(q[1], 4), _mm_slli_si128(q[2], 8)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 32),
                     _mm_or_si128(_mm_srli_si128(q[2], 8), _mm_slli_si128(q[3], 4)));
}

}  // namespace
}  // namespace lumacore::x86

#endif
