// The motion editor's frame clamping and areas.
#include <gtest/gtest.h>

#include "control/motion_editor.h"

namespace ocuview {
namespace {

constexpr Rect kPicture{0, 20, 640, 480};
constexpr int kOffset = 20;

TEST(MotionEditor, FramesStayInsideThePicture) {
    const struct {
        const char* what;
        Rect proposed;
        Rect clamped;
    } cases[] = {
        {"inside", {100, 100, 200, 150}, {100, 100, 200, 150}},
        {"past the left edge", {-30, 100, 200, 150}, {1, 100, 200, 150}},
        {"past the right edge", {500, 100, 200, 150}, {440, 100, 200, 150}},
        {"above the top", {100, 5, 200, 150}, {100, 20, 200, 150}},
        {"below the bottom", {100, 450, 200, 150}, {100, 370, 200, 150}},
        {"too wide", {0, 100, 900, 150}, {1, 100, 639, 150}},
        {"too short", {100, 100, 200, 10}, {100, 100, 200, kOffset + 32}},
        {"too tall", {100, 20, 200, 800}, {100, 20, 200, kOffset + 480}},
        {"zero width", {100, 100, 0, 150}, {100, 100, 1, 150}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ClampFrame(c.proposed, kPicture, kOffset), c.clamped);
    }
}

TEST(MotionEditor, AreaAndFrameAreInverse) {
    const MotionArea area{10, 20, 110, 220};
    const Rect frame = FrameOfArea(area, kPicture, kOffset);
    EXPECT_EQ(frame, (Rect{10, 40, 100, 220}));
    EXPECT_EQ(AreaOfFrame(frame, kPicture, kOffset), area);
    // A frame at the picture's corner still gives left and top of at least 1.
    EXPECT_EQ(AreaOfFrame({0, 20, 50, 70}, kPicture, kOffset), (MotionArea{1, 1, 51, 51}));
}

}  // namespace
}  // namespace ocuview
