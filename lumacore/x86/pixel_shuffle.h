// Byte shuffles between three planes and interleaved three-byte pixels, 16 pixels (48 bytes) at a time,
// for the SSSE3 and AVX2 colour conversions.
#ifndef LUMACORE_X86_PIXEL_SHUFFLE_H
#define LUMACORE_X86_PIXEL_SHUFFLE_H

#include <tmmintrin.h>

#include "lumacore/lumacore.h"

namespace lumacore::x86 {
// Internal to each including file: compiled for that file's instruction set, never merged with another
// level's copy at link time.
namespace {

struct ShuffleMasks {
    // interleave[o][c]: picks plane c's bytes for output vector o (0x80 leaves a zero).
    alignas(16) Lum8u interleave[3][3][16];
    // deinterleave[c][i]: picks channel c's bytes from input vector i.
    alignas(16) Lum8u deinterleave[3][3][16];
};

constexpr ShuffleMasks MakeShuffleMasks() {
    ShuffleMasks m{};
    for (int o = 0; o < 3; ++o)
        for (int c = 0; c < 3; ++c)
            for (int j = 0; j < 16; ++j) {
                const int k = 16 * o + j;  // byte of the interleaved run
                m.interleave[o][c][j] = static_cast<Lum8u>(k % 3 == c ? k / 3 : 0x80);
            }
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 16; ++j) {
                const int k = 3 * j + c;  // byte of pixel j's channel c
                m.deinterleave[c][i][j] = static_cast<Lum8u>(k / 16 == i ? k % 16 : 0x80);
            }
    return m;
}

constexpr ShuffleMasks kShuffleMasks = MakeShuffleMasks();

inline __m128i Mask(const Lum8u* m) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(m));
}

// Writes 16 pixels of three bytes each: p0 first in every pixel, then p1, then p2.
inline void StoreInterleaved3(Lum8u* d, __m128i p0, __m128i p1, __m128i p2) {
    const auto& m = kShuffleMasks.interleave;
    for (int o = 0; o < 3; ++o) {
        const __m128i v = _mm_or_si128(
            _mm_or_si128(_mm_shuffle_epi8(p0, Mask(m[o][0])), _mm_shuffle_epi8(p1, Mask(m[o][1]))),
            _mm_shuffle_epi8(p2, Mask(m[o][2])));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16 * o), v);
    }
}

// Reads 16 pixels of three bytes each into their three channels, in byte order.
inline void LoadDeinterleaved3(const Lum8u* s, __m128i out[3]) {
    const auto& m = kShuffleMasks.deinterleave;
    const __m128i in[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16)),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32))};
    for (int c = 0; c < 3; ++c)
        out[c] = _mm_or_si128(
            _mm_or_si128(_mm_shuffle_epi8(in[0], Mask(m[c][0])), _mm_shuffle_epi8(in[1], Mask(m[c][1]))),
            _mm_shuffle_epi8(in[2], Mask(m[c][2])));
}

}  // namespace
}  // namespace lumacore::x86

#endif
