#include "gui/layout_rules.h"

#include <algorithm>
#include <cstdint>

namespace reeldeck::gui {

Extent FitPicture(Extent picture) {
    // 64-bit products: a hostile still may claim a size near the int range.
    int64_t w = picture.width;
    int64_t h = picture.height;
    if (w > kMaxPictureWidth) {
        h = h * kMaxPictureWidth / w;
        w = kMaxPictureWidth;
    }
    if (h > kMaxPictureHeight) {
        w = w * kMaxPictureHeight / h;
        h = kMaxPictureHeight;
    }
    return {static_cast<int>(w), static_cast<int>(h)};
}

Extent ZoomedArea(Extent area, int step) {
    switch (step) {
        case 0:
            return FitPicture({area.width * 2, area.height * 2});
        case 1:
            return FitPicture({area.width / 2, area.height / 2});
        default:
            return FitPicture(area);
    }
}

ViewerGeometry ComposeViewerGeometry(Extent picture) {
    const int frameW = std::max(picture.width, 112);
    const int frameH = std::max(picture.height, 120);
    ViewerGeometry g;
    g.image = {frameW + 48, frameH + 80};
    g.pictureX = (frameW - picture.width) / 2 + 24;
    g.pictureY = (frameH - picture.height) / 2 + 22;
    return g;
}

Point StaircasePosition(int slot, int windowHeight, int screenHeight) {
    Point at;
    int columnX = 0;
    for (int step = 0; step < slot; ++step) {
        at.x += 16;
        at.y += 16;
        if (at.y + windowHeight > screenHeight) {
            columnX += 32;
            at = {columnX, 0};
        }
    }
    return at;
}

}  // namespace reeldeck::gui
