// Panel tables, viewer-mode bits, self-sizing, volume slider and digital zoom arithmetic.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "control/panel_layout.h"

namespace ocuview {
namespace {

std::set<int> VisibleSlots(const SlotTable& t) {
    std::set<int> visible;
    for (int s = 0; s < kSlotCount; ++s)
        if (t[static_cast<std::size_t>(s)].visible) visible.insert(s);
    return visible;
}

constexpr uint32_t kAllBits = 0xFF010000u;

// The visible slots of every kind and codec with every bit set, and a few rows against the tables.
TEST(PanelLayout, VisibleSlotsByKindAndCodec) {
    const Size vga{640, 480};
    const struct {
        ViewerKind kind;
        ImageCodec codec;
        std::set<int> visible;
    } cases[] = {
        {ViewerKind::kFull, ImageCodec::kMpeg4, {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 15, 18, 19, 20}},
        {ViewerKind::kFull, ImageCodec::kMotionJpeg, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 14, 15, 18, 19, 20}},
        {ViewerKind::kLight, ImageCodec::kMotionJpeg, {2, 3, 4, 5, 6, 7, 12, 14, 15, 18, 19, 20}},
        {ViewerKind::kLight, ImageCodec::kMpeg4, {2, 3, 4, 5, 6, 7, 12, 14, 15, 18, 19, 20}},
        {ViewerKind::kView, ImageCodec::kMotionJpeg, {12, 14, 15, 18, 19, 20}},
        {ViewerKind::kViewOnly, ImageCodec::kMpeg4, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(LayoutTableIndex(c.kind, c.codec));
        EXPECT_EQ(VisibleSlots(PanelLayout(c.kind, c.codec, kAllBits, vga, 41)), c.visible);
    }
    // Rows in control coordinates (the panel sits at the 10-pixel margin).
    const SlotTable jpeg = PanelLayout(ViewerKind::kFull, ImageCodec::kMotionJpeg, kAllBits, vga, 41);
    EXPECT_EQ(jpeg[1], (Slot{20, 50, 170, 15, true}));
    EXPECT_EQ(jpeg[slot::kZoomOffButton], (Slot{20, 140, 38, 31, false}));
    EXPECT_EQ(jpeg[11], (Slot{70, 300, 80, 15, false}));
    const SlotTable mpeg4 = PanelLayout(ViewerKind::kFull, ImageCodec::kMpeg4, kAllBits, vga, 41);
    EXPECT_EQ(mpeg4[9], (Slot{70, 195, 120, 15, true}));
    EXPECT_EQ(mpeg4[slot::kZoomOffButton], (Slot{20, 90, 38, 31, false}));
    // Run-time rows: knob at picture x + knob + 40, picture y + view height + 40; the date text above
    // the picture.
    EXPECT_EQ(mpeg4[slot::kVolumeKnob], (Slot{210 + 41 + 40, 30 + 480 + 40, 7, 23, true}));
    EXPECT_EQ(mpeg4[slot::kDateTime], (Slot{210, 30, 160, 16, true}));

    const SlotTable md = PanelLayout(ViewerKind::kMotionDetection, ImageCodec::kMpeg4, 0, vga, 0);
    EXPECT_EQ(md[mdslot::Enable(2)], (Slot{650, 250, 100, 15, true}));
    EXPECT_EQ(md[mdslot::Meter(3)], (Slot{650, 415, 100, 15, true}));
    EXPECT_EQ(md[mdslot::kOk], (Slot{650, 480, 100, 20, true}));
    EXPECT_EQ(VisibleSlots(md).size(), 25u);
}

TEST(PanelLayout, ClearViewerModeBitsHideTheirSlots) {
    const struct {
        int bit;
        std::set<int> hidden;
    } cases[] = {{30, {0, 1}},       {27, {2, 3}}, {29, {4, 5}},
                 {28, {6, 7}},       {31, {8, 9}}, {16, {}},  // transmission is hidden for Motion JPEG anyway
                 {26, {12, 18, 19}}, {25, {20}}};
    const SlotTable all = PanelLayout(ViewerKind::kFull, ImageCodec::kMotionJpeg, kAllBits, {640, 480}, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bit);
        const SlotTable t =
            PanelLayout(ViewerKind::kFull, ImageCodec::kMotionJpeg, kAllBits & ~(1u << c.bit), {640, 480}, 0);
        std::set<int> hidden;
        for (int s : VisibleSlots(all))
            if (!t[static_cast<std::size_t>(s)].visible) hidden.insert(s);
        EXPECT_EQ(hidden, c.hidden);
    }
    const SlotTable noTransmission =
        PanelLayout(ViewerKind::kFull, ImageCodec::kMpeg4, kAllBits & ~(1u << 16), {640, 480}, 0);
    EXPECT_FALSE(noTransmission[10].visible);
    EXPECT_FALSE(noTransmission[11].visible);
}

TEST(PanelLayout, ControlSelfSizing) {
    const struct {
        ViewerKind kind;
        ViewSize code;
        Size picture;
        Size view;
        Size control;
    } cases[] = {
        {ViewerKind::kFull, ViewSize::Vga, {320, 240}, {640, 480}, {880, 600}},
        {ViewerKind::kFull, ViewSize::Qvga, {640, 480}, {320, 240}, {560, 360}},
        {ViewerKind::kFull, ViewSize::Qqvga, {640, 480}, {160, 120}, {400, 310}},  // the panel's 300 + 10
        {ViewerKind::kLight, ViewSize::Auto, {640, 480}, {640, 480}, {880, 600}},
        {ViewerKind::kLight, ViewSize::None, {320, 240}, {320, 240}, {560, 360}},
        {ViewerKind::kView, ViewSize::Vga, {320, 240}, {640, 480}, {700, 600}},
        {ViewerKind::kView, ViewSize::Qvga, {640, 480}, {320, 240}, {380, 360}},
        {ViewerKind::kView, ViewSize::Qqvga, {640, 480}, {160, 120}, {220, 240}},
        {ViewerKind::kViewOnly, ViewSize::Qvga, {640, 480}, {320, 240}, {320, 240}},
        {ViewerKind::kViewOnly, ViewSize::Auto, {176, 144}, {176, 144}, {176, 144}},
        {ViewerKind::kMotionDetection, ViewSize::Vga, {640, 480}, {640, 480}, {750, 520}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.code));
        const Size view = ViewSizeFor(c.code, c.picture);
        EXPECT_EQ(view, c.view);
        EXPECT_EQ(ControlSize(c.kind, view), c.control);
    }
    EXPECT_EQ(ViewRect(ViewerKind::kFull, {640, 480}), (Rect{210, 50, 640, 480}));
    EXPECT_EQ(ViewRect(ViewerKind::kView, {320, 240}), (Rect{30, 50, 320, 240}));
    EXPECT_EQ(ViewRect(ViewerKind::kViewOnly, {320, 240}), (Rect{0, 0, 320, 240}));
}

TEST(PanelLayout, VolumeSlider) {
    const struct {
        int knob, volume, wave;
    } cases[] = {{0, 0, 0},       {1, 1, 799},      {41, 50, 32767},
                 {81, 98, 64735}, {82, 100, 65535}, {90, 100, 65535}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.knob);
        EXPECT_EQ(VolumeFromKnob(c.knob), c.volume);
        EXPECT_EQ(WaveVolumeFromKnob(c.knob), c.wave);
    }
    EXPECT_EQ(KnobFromVolume(50), 41);
    EXPECT_EQ(KnobFromVolume(100), 82);
    EXPECT_EQ(KnobFromVolume(1), 0);
}

TEST(PanelLayout, DigitalZoom) {
    const Size vga{640, 480};
    // The picture's view rectangle is 210, 50 .. 850, 530 in the full kind.
    EXPECT_FALSE(ZoomClickInside(ViewerKind::kFull, vga, {210, 300}));  // exactly on the left edge
    EXPECT_TRUE(ZoomClickInside(ViewerKind::kFull, vga, {211, 300}));
    EXPECT_FALSE(ZoomClickInside(ViewerKind::kFull, vga, {850, 300}));
    EXPECT_FALSE(ZoomClickInside(ViewerKind::kFull, vga, {400, 50}));
    EXPECT_TRUE(ZoomClickInside(ViewerKind::kFull, vga, {400, 51}));
    EXPECT_FALSE(ZoomClickInside(ViewerKind::kFull, vga, {400, 530}));

    const struct {
        Point click;
        ZoomCentre centre;
        Rect window;
    } cases[] = {
        {{530, 290}, {50, 50}, {95, 72, 452, 339}},  // the middle of a VGA picture
        {{215, 55}, {35, 35}, {0, 0, 452, 339}},     // near the top-left corner: clamped
        {{845, 525}, {64, 64}, {184, 139, 452, 339}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.click.x) + "," + std::to_string(c.click.y));
        const ZoomCentre centre = ZoomCentreFor(ViewerKind::kFull, vga, c.click);
        EXPECT_EQ(centre, c.centre);
        EXPECT_EQ(ZoomWindow(centre, vga), c.window);
    }
    // A hand-made centre still gives a window inside the picture.
    const Rect edge = ZoomWindow({100, 0}, vga);
    EXPECT_EQ(edge.x + edge.width, 640);
    EXPECT_GE(edge.y, 0);
    // The method's picture point: 320, 240 of 640 x 480 on a QVGA view.
    EXPECT_EQ(ZoomClickForPicturePoint(ViewerKind::kFull, {320, 240}, 320, 240),
              (Point{210 + 160, 30 + 120 + 20}));
    EXPECT_FALSE(
        ZoomClickInside(ViewerKind::kFull, vga, ZoomClickForPicturePoint(ViewerKind::kFull, vga, 0, 10)));
}

}  // namespace
}  // namespace ocuview
