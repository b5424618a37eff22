// The row and column walk of the tuned 2:1 chroma up-sampling, shared by levels 1 (SSE2) and 3 (AVX2):
// which source rows each output row weighs, the sixteen source columns a step covers, and the columns
// that do not fill a step, which go to the generic code. `S` supplies one step for one instruction set:
// S::H2V1(s, d) and S::H2V2(near, far, d) write the 32 outputs of source columns s[0..15] (reading one
// column either side, as the generic code does). Internal to each including file (see dct8_lines.h).
#ifndef LUMACORE_X86_JPEG_SAMPLE_UP_BODY_H
#define LUMACORE_X86_JPEG_SAMPLE_UP_BODY_H

#include <cstddef>

#include "dispatch/level_impls.h"
#include "jpeg/sampling_check.h"
#include "lumacore/lumacore.h"

namespace lumacore::x86 {
namespace {

template <typename S>
LumStatus SampleUpH2V1(const Lum8u* pSrc, int srcStep, LumiSize srcRoiSize, Lum8u* pDst, int dstStep,
                       LumiSize dstRoiSize) {
    if (const LumStatus st = c::CheckSamplingArgs(pSrc, srcStep, srcRoiSize, pDst, dstStep, dstRoiSize);
        st != lumStsNoErr)
        return st;
    const int whole = (dstRoiSize.width >> 1) / 16 * 16;  // source columns done here
    for (std::ptrdiff_t y = 0; y < dstRoiSize.height && whole > 0; ++y) {
        const Lum8u* s = pSrc + y * srcStep;
        Lum8u* d = pDst + y * dstStep;
        for (int x = 0; x < whole; x += 16) S::H2V1(s + x, d + 2 * x);
    }
    if (2 * whole == dstRoiSize.width) return lumStsNoErr;
    return c::lumiSampleUpH2V1_JPEG_8u_C1R(pSrc + whole, srcStep, srcRoiSize, pDst + 2 * whole, dstStep,
                                           LumiSize{dstRoiSize.width - 2 * whole, dstRoiSize.height});
}

template <typename S>
LumStatus SampleUpH2V2(const Lum8u* pSrc, int srcStep, LumiSize srcRoiSize, Lum8u* pDst, int dstStep,
                       LumiSize dstRoiSize) {
    if (const LumStatus st = c::CheckSamplingArgs(pSrc, srcStep, srcRoiSize, pDst, dstStep, dstRoiSize);
        st != lumStsNoErr)
        return st;
    const int whole = (dstRoiSize.width >> 1) / 16 * 16;
    for (std::ptrdiff_t y = 0; y < dstRoiSize.height && whole > 0; ++y) {
        // Even output rows take the source row above as the far row, odd ones the row below. Each column
        // weighs 3 near + far; the horizontal filter then weighs the columns 3:1.
        const std::ptrdiff_t nearRow = y >> 1;
        const std::ptrdiff_t farRow = (y & 1) == 0 ? nearRow - 1 : nearRow + 1;
        const Lum8u* n = pSrc + nearRow * srcStep;
        const Lum8u* f = pSrc + farRow * srcStep;
        Lum8u* d = pDst + y * dstStep;
        for (int x = 0; x < whole; x += 16) S::H2V2(n + x, f + x, d + 2 * x);
    }
    if (2 * whole == dstRoiSize.width) return lumStsNoErr;
    return c::lumiSampleUpH2V2_JPEG_8u_C1R(pSrc + whole, srcStep, srcRoiSize, pDst + 2 * whole, dstStep,
                                           LumiSize{dstRoiSize.width - 2 * whole, dstRoiSize.height});
}

}  // namespace
}  // namespace lumacore::x86

#endif
