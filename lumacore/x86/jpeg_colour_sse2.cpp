// Level 1 (SSE2) colour conversions (jpeg_colour_body.h): four vectors of four 32-bit lanes a step, like
// level 2, without its two missing instructions. Twins: jpeg_colour_sse41.cpp, jpeg_colour_avx2.cpp.
//
// The 32-bit multiply is pmaddwd: every lane the conversions multiply holds a value within
// -32768..32767, so its high word is the low word's sign and the product with a constant kl of 16 bits
// is one pmaddwd against the pairs (kl, 0). A constant beyond 16 bits, k = 65536 kh + kl with kl within
// -32768..32767, adds kh times the lane shifted left by 16 (a shift alone for kh of -1, 1 or 2, which
// covers every constant used).
// Three-byte pixels go through the unpacks of pixel_unpack.h.
#include <emmintrin.h>

#include "dispatch/level_impls.h"
#include "lumacore/lumacore.h"
#include "x86/jpeg_colour_body.h"
#include "x86/pixel_unpack.h"

namespace lumacore::sse2 {
namespace {

struct Ops {
    static void LoadDeinterleaved3(const Lum8u* s, __m128i out[3]) { x86::LoadDeinterleaved3Unpack(s, out); }
    static void StoreInterleaved3(Lum8u* d, __m128i p0, __m128i p1, __m128i p2) {
        x86::StoreInterleaved3Unpack(d, p0, p1, p2);
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

}  // namespace lumacore::sse2
