// Level 1 (SSE2) colour conversions (jpeg_colour_body.h): two vectors of eight 16-bit lanes a step, as
// at level 2; three-byte pixels go through the unpacks of pixel_unpack.h, without pshufb. Twins:
// jpeg_colour_sse41.cpp, jpeg_colour_avx2.cpp.
#include <emmintrin.h>

#include "dispatch/level_impls.h"
#include "lumacore/lumacore.h"
#include "x86/jpeg_colour_body.h"
#include "x86/pixel_unpack.h"

namespace lumacore::sse2 {
namespace {

struct Shuffles {
    static void LoadDeinterleaved3(const Lum8u* s, __m128i out[3]) { x86::LoadDeinterleaved3Unpack(s, out); }
    static void StoreInterleaved3(Lum8u* d, __m128i p0, __m128i p1, __m128i p2) {
        x86::StoreInterleaved3Unpack(d, p0, p1, p2);
    }
};
using Ops = x86::Ops128<Shuffles>;

}  // namespace

#include "x86/jpeg_colour_exports.inc"

}  // namespace lumacore::sse2
