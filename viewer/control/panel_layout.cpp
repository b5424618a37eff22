#include "panel_layout.h"

#include <algorithm>

namespace ocuview {

namespace {

constexpr Slot At(int x, int y, int w, int h, bool visible = true) {
    return Slot{x, y, w, h, visible};
}

// Slots 12, 14, 15, 18 and 19 are visible in every ordinary layout; 12, 18 and 19 are placed at run time
// under the picture (14 and 15 carry no widget).
constexpr SlotTable WithCommonRows(SlotTable t) {
    for (int s : {12, 14, 15, 18, 19}) t[static_cast<std::size_t>(s)].visible = true;
    t[slot::kDateTime] = At(0, 0, kDateTimeLabel.width, kDateTimeLabel.height);
    return t;
}

constexpr SlotTable FullMpeg4() {
    SlotTable t{};
    t[2] = At(10, 20, 130, 15);
    t[3] = At(10, 40, 170, 15);
    t[4] = At(10, 80, 38, 31);
    t[5] = At(60, 90, 80, 15);
    t[6] = At(10, 130, 38, 31);
    t[7] = At(60, 140, 80, 15);
    t[8] = At(10, 180, 38, 31);
    t[9] = At(60, 185, 120, 15);
    t[10] = At(10, 230, 38, 31);
    t[11] = At(60, 240, 80, 15);
    t[17] = At(10, 80, 38, 31, false);
    return WithCommonRows(t);
}

constexpr SlotTable FullJpeg() {
    SlotTable t{};
    t[0] = At(10, 20, 130, 15);
    t[1] = At(10, 40, 170, 15);
    t[2] = At(10, 70, 130, 15);
    t[3] = At(10, 90, 170, 15);
    t[4] = At(10, 130, 38, 31);
    t[5] = At(60, 140, 80, 15);
    t[6] = At(10, 180, 38, 31);
    t[7] = At(60, 190, 80, 15);
    t[8] = At(10, 230, 38, 31);
    t[9] = At(60, 235, 120, 15);
    // Motion JPEG always travels over TCP: the transmission choice is kept in place but hidden.
    t[10] = At(10, 280, 38, 31, false);
    t[11] = At(60, 290, 80, 15, false);
    t[17] = At(10, 130, 38, 31, false);
    return WithCommonRows(t);
}

constexpr SlotTable Light() {
    SlotTable t{};
    t[2] = At(10, 20, 130, 15);
    t[3] = At(10, 40, 170, 15);
    t[4] = At(10, 80, 38, 31);
    t[5] = At(60, 90, 80, 15);
    t[6] = At(10, 130, 38, 31);
    t[7] = At(60, 140, 80, 15);
    t[17] = At(10, 80, 38, 31, false);
    return WithCommonRows(t);
}

constexpr SlotTable View() {
    return WithCommonRows(SlotTable{});
}

// Per detection window n a column of widgets at x 650, 100 wide, starting at y 10 + 120 n; these are
// coordinates in the control (the motion-detection view has no panel frame).
constexpr SlotTable MotionDetect() {
    SlotTable t{};
    for (int n = 0; n < 4; ++n) {
        const int y0 = 10 + 120 * n;
        t[static_cast<std::size_t>(mdslot::Enable(n))] = At(650, y0, 100, 15);
        t[static_cast<std::size_t>(mdslot::ThresholdLabel(n))] = At(650, y0 + 15, 100, 15);
        t[static_cast<std::size_t>(mdslot::Threshold(n))] = At(650, y0 + 30, 100, 15);
        t[static_cast<std::size_t>(mdslot::Meter(n))] = At(650, y0 + 45, 100, 15);
        t[static_cast<std::size_t>(mdslot::SensitivityLabel(n))] = At(650, y0 + 60, 100, 15);
        t[static_cast<std::size_t>(mdslot::Sensitivity(n))] = At(650, y0 + 75, 100, 15);
    }
    t[mdslot::kOk] = At(650, 480, 100, 20);
    return t;
}

constexpr std::array<SlotTable, 6> kTables = {FullMpeg4(), FullJpeg(),     Light(),
                                              View(),      MotionDetect(), SlotTable{}};

// Viewer-mode bit -> the slots it shows.
struct BitSlots {
    int bit;
    std::array<int, 3> slots;  // -1: none
};
constexpr std::array<BitSlots, 8> kBitSlots = {{{30, {0, 1, -1}},
                                                {27, {2, 3, -1}},
                                                {29, {4, 5, -1}},
                                                {28, {6, 7, -1}},
                                                {31, {8, 9, -1}},
                                                {16, {10, 11, -1}},
                                                {26, {12, 18, 19}},
                                                {25, {20, -1, -1}}}};

constexpr double kHalfZoomWindow = 0.3536067892503536;  // half of 1 / 1.414
constexpr double kZoomWindow = 0.7072135785007072;

}  // namespace

int LayoutTableIndex(ViewerKind kind, ImageCodec codec) {
    switch (kind) {
        case ViewerKind::kFull:
            return codec == ImageCodec::kMpeg4 ? 0 : 1;
        case ViewerKind::kLight:
            return 2;
        case ViewerKind::kView:
            return 3;
        case ViewerKind::kMotionDetection:
            return 4;
        case ViewerKind::kViewOnly:
            break;
    }
    return 5;
}

const SlotTable& LayoutTable(int index) {
    return kTables.at(static_cast<std::size_t>(index));
}

Size PanelSize(ViewerKind kind) {
    return (kind == ViewerKind::kFull || kind == ViewerKind::kLight) ? Size{180, 300} : Size{0, 0};
}

Point PictureOrigin(ViewerKind kind) {
    if (kind == ViewerKind::kViewOnly) return {0, 0};
    if (kind == ViewerKind::kMotionDetection) return {0, kMotionPictureTop};
    return {kMargin + PanelSize(kind).width + 20, kMargin + 20};
}

int PictureTopOffset(ViewerKind kind) {
    return (kind == ViewerKind::kViewOnly || kind == ViewerKind::kMotionDetection) ? 0 : 20;
}

Rect ViewRect(ViewerKind kind, Size view) {
    if (kind == ViewerKind::kMotionDetection) view = {640, 480};
    const Point origin = PictureOrigin(kind);
    return {origin.x, origin.y + PictureTopOffset(kind), view.width, view.height};
}

Size ViewSizeFor(ViewSize code, Size picture) {
    switch (code) {
        case ViewSize::Vga:
            return {640, 480};
        case ViewSize::Qvga:
            return {320, 240};
        case ViewSize::Qqvga:
            return {160, 120};
        case ViewSize::Auto:
        case ViewSize::None:
            break;
    }
    return picture;
}

Size ControlSize(ViewerKind kind, Size view) {
    if (kind == ViewerKind::kMotionDetection) return {750, 520};
    if (kind == ViewerKind::kViewOnly) return view;
    const Size panel = PanelSize(kind);
    return {std::max(panel.width + 2 * kMargin + 200, view.width + 2 * kMargin + 40 + panel.width),
            std::max(panel.height + 10, view.height + 2 * kMargin + 100)};
}

SlotTable PanelLayout(ViewerKind kind, ImageCodec codec, uint32_t viewerMode, Size view, int knob) {
    SlotTable t = LayoutTable(LayoutTableIndex(kind, codec));
    if (kind == ViewerKind::kMotionDetection || kind == ViewerKind::kViewOnly) return t;
    for (Slot& s : t) {
        s.x += kMargin;
        s.y += kMargin;
    }
    // The rows under the picture: mute (or unmute) beside the volume slider, whose knob sits at
    // picture x + knob + 40, picture y + view height + 40.
    const Point origin = PictureOrigin(kind);
    const int rowY = origin.y + view.height + 40;
    const Slot mute = At(origin.x, rowY + kKnobSize.height / 2 - kIconButton.height / 2, kIconButton.width,
                         kIconButton.height);
    t[slot::kMuteButton] = mute;
    t[slot::kUnmuteButton] = mute;
    t[slot::kUnmuteButton].visible = false;
    t[slot::kVolumeSlider] = At(origin.x + 40, rowY, kVolumeSliderLength + kKnobSize.width, kKnobSize.height);
    t[slot::kVolumeKnob] =
        At(origin.x + std::clamp(knob, 0, kVolumeSliderLength) + 40, rowY, kKnobSize.width, kKnobSize.height);
    t[slot::kDateTime] = At(origin.x, origin.y, kDateTimeLabel.width, kDateTimeLabel.height);
    for (const BitSlots& b : kBitSlots) {
        if (viewerMode & (1u << b.bit)) continue;
        for (int s : b.slots)
            if (s >= 0) t[static_cast<std::size_t>(s)].visible = false;
    }
    // The unmute button takes the mute button's place; without bit 26 neither shows.
    return t;
}

int VolumeFromKnob(int knob) {
    return std::clamp(knob, 0, kVolumeSliderLength) * 100 / kVolumeSliderLength;
}

int WaveVolumeFromKnob(int knob) {
    return std::clamp(knob, 0, kVolumeSliderLength) * 65535 / kVolumeSliderLength;
}

int KnobFromVolume(int volume) {
    return std::clamp(volume, 0, 100) * 82 / 100;
}

bool ZoomClickInside(ViewerKind kind, Size view, Point click) {
    const Point o = PictureOrigin(kind);
    const int top = PictureTopOffset(kind);
    return click.x > o.x && click.x < o.x + view.width && click.y > o.y + top &&
           click.y < o.y + view.height + top;
}

ZoomCentre ZoomCentreFor(ViewerKind kind, Size view, Point click) {
    const Point o = PictureOrigin(kind);
    const auto centre = [](int position, int extent) {
        const double edge = kHalfZoomWindow * extent;
        const double clamped = std::clamp(static_cast<double>(position), edge, extent - edge);
        return static_cast<int>(clamped * 100 / extent);
    };
    if (view.width <= 0 || view.height <= 0) return {};
    return {centre(click.x - o.x, view.width), centre(click.y - o.y - PictureTopOffset(kind), view.height)};
}

Rect ZoomWindow(ZoomCentre centre, Size picture) {
    const auto edge = [](int percent, int extent) {
        return static_cast<int>(percent * extent / 100 - kHalfZoomWindow * extent + 2);
    };
    Rect window{edge(centre.xPercent, picture.width), edge(centre.yPercent, picture.height),
                static_cast<int>(kZoomWindow * picture.width),
                static_cast<int>(kZoomWindow * picture.height)};
    // The centre is clamped by the caller's arithmetic already; a hand-made centre (0 or 100 percent)
    // must still not read outside the picture.
    window.x = std::clamp(window.x, 0, picture.width - window.width);
    window.y = std::clamp(window.y, 0, picture.height - window.height);
    return window;
}

Point ZoomClickForPicturePoint(ViewerKind kind, Size view, int x, int y) {
    const Point o = PictureOrigin(kind);
    return {view.width * x / 640 + o.x, view.height * y / 480 + o.y + PictureTopOffset(kind)};
}

}  // namespace ocuview
