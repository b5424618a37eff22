// Level 2 (SSE4.1 with SSSE3) colour conversions (jpeg_colour_body.h): two vectors of eight 16-bit lanes
// a step; three-byte pixels go through pshufb (pixel_shuffle.h). Twins: jpeg_colour_sse2.cpp,
// jpeg_colour_avx2.cpp.
#include <smmintrin.h>

#include "dispatch/level_impls.h"
#include "lumacore/lumacore.h"
#include "x86/jpeg_colour_body.h"
#include "x86/pixel_shuffle.h"

namespace lumacore::sse41 {
namespace {

struct Shuffles {
    static void LoadDeinterleaved3(const Lum8u* s, __m128i out[3]) { x86::LoadDeinterleaved3(s, out); }
    static void StoreInterleaved3(Lum8u* d, __m128i p0, __m128i p1, __m128i p2) {
        x86::StoreInterleaved3(d, p0, p1, p2);
    }
};
using Ops = x86::Ops128<Shuffles>;

}  // namespace

#include "x86/jpeg_colour_exports.inc"

}  // namespace lumacore::sse41
