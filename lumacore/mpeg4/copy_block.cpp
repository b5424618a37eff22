// Whole 8x8 and 16x16 block copies between two planes of the same step (not-coded macroblocks).
#include <cstddef>
#include <cstring>

#include "lumacore/lumacore.h"

namespace lumacore::c {
namespace {

template <int Size>
void CopySquare(const Lum8u* pSrc, Lum8u* pDst, int step) {
    for (int y = 0; y < Size; ++y)
        std::memcpy(pDst + static_cast<std::ptrdiff_t>(y) * step,
                    pSrc + static_cast<std::ptrdiff_t>(y) * step, Size);
}

}  // namespace

LumStatus lumiCopyBlock_H263_8u(const Lum8u* pSrc, Lum8u* pDst, int step) {
    if (pSrc == nullptr || pDst == nullptr) return lumStsNullPtrErr;
    if (step < 8) return lumStsH263BlockStepErr;
    CopySquare<8>(pSrc, pDst, step);
    return lumStsNoErr;
}

LumStatus lumiCopyMB_H263_8u(const Lum8u* pSrc, Lum8u* pDst, int step) {
    if (pSrc == nullptr || pDst == nullptr) return lumStsNullPtrErr;
    if (step < 16) return lumStsH263MBStepErr;
    CopySquare<16>(pSrc, pDst, step);
    return lumStsNoErr;
}

}  // namespace lumacore::c
