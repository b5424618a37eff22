// Limiting a vector so that the block it predicts from stays inside the (padded) reference rectangle.
#include <cstdint>

#include "lumacore/lumacore.h"

namespace lumacore::c {
namespace {

// One component in half samples: the block at `coord` (size samples) must start no earlier than `lo` and
// no later than `lo + extent - size`. Computed in 64 bits: coordinates and extents are any int.
Lum16s LimitComponent(int mv, int coord, int lo, int extent, int size) {
    const int64_t pos = int64_t{mv} + 2 * int64_t{coord};
    const int64_t first = 2 * int64_t{lo};
    const int64_t last = 2 * (int64_t{lo} + extent - size);
    int64_t v = mv;
    if (pos < first)
        v = first - 2 * int64_t{coord};
    else if (pos >= last)
        v = last - 2 * int64_t{coord};
    return static_cast<Lum16s>(v);
}

}  // namespace

LumStatus lumiLimitMVToRect_MPEG4(const LumMotionVector* pSrcMV, LumMotionVector* pDstMV,
                                  const LumiRect* pRectVOPRef, int xCoord, int yCoord, int size) {
    if (pSrcMV == nullptr || pDstMV == nullptr || pRectVOPRef == nullptr) return lumStsNullPtrErr;
    if (size != 8 && size != 16) return lumStsMP4BlockSizeErr;
    const LumiRect r = *pRectVOPRef;
    if (r.width < 2 * size || r.height < 2 * size) return lumStsSizeErr;
    const LumMotionVector in = *pSrcMV;
    *pDstMV = {LimitComponent(in.dx, xCoord, r.x, r.width, size),
               LimitComponent(in.dy, yCoord, r.y, r.height, size)};
    return lumStsNoErr;
}

}  // namespace lumacore::c
