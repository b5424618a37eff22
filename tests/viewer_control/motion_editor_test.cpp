// The motion editor's frame clamping and areas, and the level meters read from the motion data.
#include <gtest/gtest.h>

#include <string>

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

// One motion-data record as the camera sends it: levels at 62, 78, 94, 110 after the boundary line.
std::string Record(int l1, int l2, int l3, int l4) {
    std::string body(132, '.');
    const int levels[] = {l1, l2, l3, l4};
    const std::size_t offsets[] = {62, 78, 94, 110};
    for (int i = 0; i < 4; ++i) {
        char field[8];
        std::snprintf(field, sizeof field, "%06d", levels[i]);
        body.replace(offsets[i], 6, field);
    }
    return "--myboundary\r\n" + body;
}

std::optional<std::array<int, 4>> Feed(MotionLevelReader& reader, const std::string& bytes) {
    return reader.Append({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
}

TEST(MotionEditor, LevelReader) {
    MotionLevelReader reader;
    const std::string first = Record(5, 2500, 0, 1999);
    // Cut in the middle of the boundary and of the record: nothing until it is complete.
    EXPECT_FALSE(Feed(reader, first.substr(0, 7)));
    EXPECT_FALSE(Feed(reader, first.substr(7, 100)));
    const auto levels = Feed(reader, first.substr(107));
    ASSERT_TRUE(levels);
    EXPECT_EQ(*levels, (std::array<int, 4>{5, 2000, 0, 1999}));  // 2500 shows as 2000
    // Two records in one chunk: the last one wins; garbage before a boundary is skipped.
    const auto next = Feed(reader, "garbage" + Record(1, 2, 3, 4) + Record(7, 8, 9, 10));
    ASSERT_TRUE(next);
    EXPECT_EQ(*next, (std::array<int, 4>{7, 8, 9, 10}));
    // A long stretch without a boundary does not grow the buffer without end.
    for (int i = 0; i < 100; ++i) EXPECT_FALSE(Feed(reader, std::string(1000, 'x')));
    EXPECT_TRUE(Feed(reader, Record(1, 1, 1, 1)));
}

}  // namespace
}  // namespace ocuview
