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
    static void LoadDeinterleaved3(const Lum8u* s, __m128i out[3]) { x86::LoadDeinterleaved3(s, out); }
    static void StoreInterleaved3(Lum8u* d, __m128i p0, __m128i p1, __m128i p2) {
        x86::StoreInterleaved3(d, p0, p1, p2);
    }
    static void FullRangeRgb(const Lum8u* ys, const Lum8u* cbs, const Lum8u* crs, __m128i* r, __m128i* g,
                             __m128i* b) {
        x86::FullRangeRgb128(ys, cbs, crs, r, g, b);
    }
    static void VideoRangeRgb(const Lum8u* ys, const Lum8u* cbs, const Lum8u* crs, __m128i* r, __m128i* g,
                              __m128i* b) {
        x86::VideoRangeRgb128(ys, cbs, crs, r, g, b);
    }
    template <bool Chroma>
    static void YCbCr(__m128i r, __m128i g, __m128i b, __m128i* y, __m128i* cb, __m128i* cr) {
        x86::YCbCr128<Chroma>(r, g, b, y, cb, cr);
    }
};

}  // namespace

#include "x86/jpeg_colour_exports.inc"

}  // namespace lumacore::sse41
