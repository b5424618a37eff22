#include "motion_editor.h"

#include <algorithm>

namespace ocuview {

namespace {

// Moves [start, start + length) into [low, high], shrinking it only when it is longer than the range.
void FitInto(int& start, int& length, int low, int high) {
    length = std::min(length, high - low);
    start = std::clamp(start, low, high - length);
}

}  // namespace

Rect ClampFrame(Rect proposed, Rect picture, int offset) {
    Rect r = proposed;
    r.width = std::clamp(r.width, 1, 640);
    r.height = std::clamp(r.height, offset + 32, offset + 480);
    FitInto(r.x, r.width, picture.x + 1, picture.x + picture.width);
    FitInto(r.y, r.height, picture.y, picture.y + offset + picture.height);
    return r;
}

MotionArea AreaOfFrame(Rect frame, Rect picture, int offset) {
    MotionArea a;
    a.left = std::max(frame.x - picture.x, 1);
    a.top = std::max(frame.y - picture.y, 1);
    a.right = a.left + frame.width;
    a.bottom = a.top + frame.height - offset;
    return a;
}

Rect FrameOfArea(MotionArea area, Rect picture, int offset) {
    return {picture.x + area.left, picture.y + area.top, area.right - area.left,
            area.bottom - area.top + offset};
}

}  // namespace ocuview
