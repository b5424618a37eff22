// Whole 8x8 and 16x16 block copies between two planes of the same step (not-coded macroblocks).
#include <cstddef>
#include <cstring>

#include "lumacore/lumacore.h"
#include "mpeg4/copy_check.h"

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
    if (const LumStatus s = c::CheckSquareCopyArgs<8>(pSrc, pDst, step); s != lumStsNoErr) return s;
    CopySquare<8>(pSrc, pDst, step);
    return lumStsNoErr;
}

LumStatus lumiCopyMB_H263_8u(const Lum8u* pSrc, Lum8u* pDst, int step) {
    if (const LumStatus s = c::CheckSquareCopyArgs<16>(pSrc, pDst, step); s != lumStsNoErr) return s;
    CopySquare<16>(pSrc, pDst, step);
    return lumStsNoErr;
}

}  // namespace lumacore::c
