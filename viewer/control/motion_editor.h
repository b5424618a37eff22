// The motion-detection editor's arithmetic: the four detection windows, the clamping of a frame being
// dragged over the 640 x 480 motion picture and the area a frame stands for. (The levels of its meters
// come from the core's motion-data thread.)
#ifndef OCUVIEW_CONTROL_MOTION_EDITOR_H
#define OCUVIEW_CONTROL_MOTION_EDITOR_H

#include "panel_layout.h"

namespace ocuview {

struct MotionArea {
    int left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const MotionArea&, const MotionArea&) = default;
};

// A frame is a caption bar of `offset` pixels over the area it stands for; `picture` is the view
// rectangle in the control. ClampFrame keeps a proposed frame rectangle (control coordinates) inside the
// picture: width 1..640, left at least picture x + 1, right at most picture x + width, height from
// offset + 32 to offset + 480, top not above the picture, bottom at most picture top + offset + height.
// A frame pushed past an edge is moved back first and shrunk only when it cannot fit.
[[nodiscard]] Rect ClampFrame(Rect proposed, Rect picture, int offset);
// The area of a frame: left/top relative to the picture (each at least 1), right = left + width,
// bottom = top + height - offset.
[[nodiscard]] MotionArea AreaOfFrame(Rect frame, Rect picture, int offset);
// The frame for a stored area (its height grows by the caption).
[[nodiscard]] Rect FrameOfArea(MotionArea area, Rect picture, int offset);

}  // namespace ocuview

#endif
