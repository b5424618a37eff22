// Argument checks shared by the generic and tuned whole-block copies and reference-plane expansion, in
// the order their callers rely on (pointers first, then the step, then the sizes).
#ifndef LUMACORE_MPEG4_COPY_CHECK_H
#define LUMACORE_MPEG4_COPY_CHECK_H

#include "lumacore/lumacore.h"

namespace lumacore::c {

// An 8x8 block (Size 8) or a 16x16 macroblock (Size 16) copied between planes of one step.
template <int Size>
inline LumStatus CheckSquareCopyArgs(const Lum8u* pSrc, const Lum8u* pDst, int step) {
    static_assert(Size == 8 || Size == 16);
    if (pSrc == nullptr || pDst == nullptr) return lumStsNullPtrErr;
    if (step < Size) return Size == 8 ? lumStsH263BlockStepErr : lumStsH263MBStepErr;
    return lumStsNoErr;
}

// The plane holds the picture with `expandPels` border samples on each side; the step must span them.
inline LumStatus CheckExpandFrameArgs(const Lum8u* pSrcDstPlane, int frameWidth, int frameHeight,
                                      int expandPels, int step) {
    if (pSrcDstPlane == nullptr) return lumStsNullPtrErr;
    if (frameWidth < 8) return lumStsH263FrameWidthErr;
    if (frameHeight <= 0) return lumStsH263FrameHeightErr;
    if (expandPels < 8) return lumStsH263ExpandPelsErr;
    if (step < 8) return lumStsH263BlockStepErr;
    if (static_cast<long long>(step) < static_cast<long long>(frameWidth) + 2LL * expandPels)
        return lumStsH263PlaneStepErr;
    return lumStsNoErr;
}

}  // namespace lumacore::c

#endif
