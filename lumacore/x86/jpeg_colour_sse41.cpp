// Level 2 (SSE4.1 with SSSE3) colour conversions (jpeg_colour_body.h): four vectors of four 32-bit lanes
// a step. Twins: jpeg_colour_sse2.cpp, jpeg_colour_avx2.cpp.
#include <smmintrin.h>

#include "dispatch/level_impls.h"
#include "lumacore/lumacore.h"
#include "x86/jpeg_colour_body.h"
#include "x86/pixel_shuffle.h"

namespace lumacore::sse41 {
namespace {

struct Ops {
    using V = __m128i;
    static constexpr int kLanes = 4;
    static V Set(int k) { return _mm_set1_epi32(k); }
    static V Add(V a, V b) { return _mm_add_epi32(a, b); }
    static V Mul(V a, int k) { return _mm_mullo_epi32(a, _mm_set1_epi32(k)); }
    template <int N>
    static V Sra(V a) {
        return _mm_srai_epi32(a, N);
    }
    // Bytes 4i to 4i + 3 of `bytes`, zero-extended.
    static V Widen(__m128i bytes, int i) {
        switch (i) {
            case 0:
                return _mm_cvtepu8_epi32(bytes);
            case 1:
                return _mm_cvtepu8_epi32(_mm_srli_si128(bytes, 4));
            case 2:
                return _mm_cvtepu8_epi32(_mm_srli_si128(bytes, 8));
            default:
                return _mm_cvtepu8_epi32(_mm_srli_si128(bytes, 12));
        }
    }
    static void LoadDeinterleaved3(const Lum8u* s, __m128i out[3]) { x86::LoadDeinterleaved3(s, out); }
    static void StoreInterleaved3(Lum8u* d, __m128i p0, __m128i p1, __m128i p2) {
        x86::StoreInterleaved3(d, p0, p1, p2);
    }
    static void FullRangeRgb(const Lum8u* ys, const Lum8u* cbs, const Lum8u* crs, __m128i* r, __m128i* g,
                             __m128i* b) {
        x86::FullRangeRgb128(ys, cbs, crs, r, g, b);
    }
    template <bool Chroma>
    static void YCbCr(__m128i r, __m128i g, __m128i b, __m128i* y, __m128i* cb, __m128i* cr) {
        x86::YCbCr128<Chroma>(r, g, b, y, cb, cr);
    }
    // Sixteen lanes to sixteen bytes, clamped to 0..255.
    static __m128i PackBytes(const V v[4]) {
        return _mm_packus_epi16(_mm_packs_epi32(v[0], v[1]), _mm_packs_epi32(v[2], v[3]));
    }
};

}  // namespace

#include "x86/jpeg_colour_exports.inc"

}  // namespace lumacore::sse41
