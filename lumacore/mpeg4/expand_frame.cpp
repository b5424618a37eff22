// Padding of a reference plane's border: the picture's edge samples are repeated outwards so that motion
// compensation may read up to `expandPels` samples outside the picture without clamping.
#include <cstddef>
#include <cstring>

#include "lumacore/lumacore.h"
#include "mpeg4/copy_check.h"

namespace lumacore::c {

LumStatus lumiExpandFrame_H263_8u(Lum8u* pSrcDstPlane, int frameWidth, int frameHeight, int expandPels,
                                  int step) {
    if (const LumStatus s = c::CheckExpandFrameArgs(pSrcDstPlane, frameWidth, frameHeight, expandPels, step);
        s != lumStsNoErr)
        return s;

    const std::ptrdiff_t s = step;
    Lum8u* picture = pSrcDstPlane + expandPels * s + expandPels;
    const Lum8u* firstRow = picture;
    const Lum8u* lastRow = picture + (frameHeight - 1) * s;
    for (int y = 1; y <= expandPels; ++y) {
        std::memcpy(picture - y * s, firstRow, static_cast<std::size_t>(frameWidth));
        std::memcpy(picture + (frameHeight - 1 + y) * s, lastRow, static_cast<std::size_t>(frameWidth));
    }
    const int rows = frameHeight + 2 * expandPels;
    for (int y = 0; y < rows; ++y) {
        Lum8u* row = pSrcDstPlane + y * s;
        std::memset(row, row[expandPels], static_cast<std::size_t>(expandPels));
        std::memset(row + expandPels + frameWidth, row[expandPels + frameWidth - 1],
                    static_cast<std::size_t>(expandPels));
    }
    return lumStsNoErr;
}

}  // namespace lumacore::c
