// Half-sample motion compensation of 8x8 and 16x16 blocks, and the reconstruction of an 8x8 block as
// prediction plus residual. The vector moves the reference point by (mvx >> 1, mvy >> 1) whole samples;
// its odd components interpolate with the right and lower neighbours. rounding (vop_rounding_type) takes
// one off the rounding constant.
//
// Nothing but null pointers is checked: the caller's reference plane must hold the block's samples plus
// one column and one row when a component is odd (the decoder pads its reference frames for that).
#include <cstddef>

#include "lumacore/lumacore.h"

namespace lumacore::c {
namespace {

// Writes the size x size prediction; `Out(x, y, value)` stores one sample.
template <int Size, typename Out>
void Predict(const Lum8u* pSrc, int srcStep, const LumMotionVector& mv, int rounding, Out out) {
    const std::ptrdiff_t step = srcStep;
    const Lum8u* src = pSrc + (mv.dx >> 1) + (mv.dy >> 1) * step;
    const int r = rounding != 0 ? 1 : 0;
    const bool halfX = (mv.dx & 1) != 0, halfY = (mv.dy & 1) != 0;
    for (int y = 0; y < Size; ++y, src += step) {
        const Lum8u* below = src + step;
        for (int x = 0; x < Size; ++x) {
            int v;
            if (!halfX && !halfY)
                v = src[x];
            else if (halfX && !halfY)
                v = (src[x] + src[x + 1] + 1 - r) >> 1;
            else if (!halfX)
                v = (src[x] + below[x] + 1 - r) >> 1;
            else
                v = (src[x] + src[x + 1] + below[x] + below[x + 1] + 2 - r) >> 2;
            out(x, y, v);
        }
    }
}

template <int Size>
LumStatus CopyHalfpel(const Lum8u* pSrc, int srcStep, Lum8u* pDst, int dstStep, const LumMotionVector* pMV,
                      int rounding) {
    if (pSrc == nullptr || pDst == nullptr || pMV == nullptr) return lumStsNullPtrErr;
    Predict<Size>(pSrc, srcStep, *pMV, rounding, [&](int x, int y, int v) {
        pDst[static_cast<std::ptrdiff_t>(y) * dstStep + x] = static_cast<Lum8u>(v);
    });
    return lumStsNoErr;
}

}  // namespace

LumStatus lumiCopyBlockHalfpel_MPEG4_8u(const Lum8u* pSrc, int srcStep, Lum8u* pDst, int dstStep,
                                        const LumMotionVector* pMV, int rounding) {
    return CopyHalfpel<8>(pSrc, srcStep, pDst, dstStep, pMV, rounding);
}

LumStatus lumiCopyMBHalfpel_MPEG4_8u(const Lum8u* pSrc, int srcStep, Lum8u* pDst, int dstStep,
                                     const LumMotionVector* pMV, int rounding) {
    return CopyHalfpel<16>(pSrc, srcStep, pDst, dstStep, pMV, rounding);
}

LumStatus lumiReconBlockHalfpel_MPEG4_8u(const Lum8u* pSrc, int srcStep, const Lum16s* pSrcResidual,
                                         Lum8u* pDst, int dstStep, const LumMotionVector* pMV, int rounding) {
    if (pSrc == nullptr || pDst == nullptr || pSrcResidual == nullptr || pMV == nullptr)
        return lumStsNullPtrErr;
    Predict<8>(pSrc, srcStep, *pMV, rounding, [&](int x, int y, int v) {
        const int s = v + pSrcResidual[8 * y + x];
        pDst[static_cast<std::ptrdiff_t>(y) * dstStep + x] =
            static_cast<Lum8u>(s < 0 ? 0 : (s > 255 ? 255 : s));
    });
    return lumStsNoErr;
}

}  // namespace lumacore::c
