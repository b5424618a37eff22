// Level 2 and 3 (SSSE3) image copies of three-byte pixels, one pshufb per plane and vector
// (pixel_shuffle.h). Twin: frame_sse2.cpp, whose four-byte copies serve these levels too.
#include "dispatch/level_impls.h"
#include "lumacore/lumacore.h"
#include "x86/frame_copy_body.h"
#include "x86/pixel_shuffle.h"

namespace lumacore::sse41 {

LumStatus lumiCopy_8u_C3P3R(const Lum8u* pSrc, int srcStep, Lum8u* const pDst[3], int dstStep,
                            LumiSize roiSize) {
    return x86::InterleavedToPlanar<3>(
        pSrc, srcStep, pDst, dstStep, roiSize,
        [](const Lum8u* s, __m128i* out) { x86::LoadDeinterleaved3(s, out); }, &c::lumiCopy_8u_C3P3R);
}

LumStatus lumiCopy_8u_P3C3R(const Lum8u* const pSrc[3], int srcStep, Lum8u* pDst, int dstStep,
                            LumiSize roiSize) {
    return x86::PlanarToInterleaved<3>(
        pSrc, srcStep, pDst, dstStep, roiSize,
        [](Lum8u* d, const __m128i* p) { x86::StoreInterleaved3(d, p[0], p[1], p[2]); },
        &c::lumiCopy_8u_P3C3R);
}

}  // namespace lumacore::sse41
