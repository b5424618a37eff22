// The control panel's geometry: the thirty widget slots and the six layout tables, the viewer-mode bits
// that hide slots, the control's self-sizing, the volume slider's arithmetic and the digital-zoom
// arithmetic. Pure functions over plain numbers; the widget places its Qt children from them.
//
// Coordinates are pixels in the control. The layout tables are relative to the panel, which sits at
// (margin, margin); PanelLayout returns them moved into the control.
#ifndef OCUVIEW_CONTROL_PANEL_LAYOUT_H
#define OCUVIEW_CONTROL_PANEL_LAYOUT_H

#include <array>
#include <cstdint>

#include "control_model.h"
#include "core/camera_description.h"

namespace ocuview {

struct Point {
    int x = 0, y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};
struct Size {
    int width = 0, height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};
struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Slot {
    int x = 0, y = 0, width = 0, height = 0;
    bool visible = false;
    friend bool operator==(const Slot&, const Slot&) = default;
};
inline constexpr int kSlotCount = 30;
using SlotTable = std::array<Slot, kSlotCount>;

// Slot numbers of the ordinary layouts.
namespace slot {
inline constexpr int kFrameRateLabel = 0, kFrameRateList = 1, kViewSizeLabel = 2, kViewSizeList = 3;
inline constexpr int kZoomButton = 4, kZoomCaption = 5, kCaptureButton = 6, kCaptureCaption = 7;
inline constexpr int kTriggerButton = 8, kTriggerList = 9, kTransmissionButton = 10,
                     kTransmissionCaption = 11;
inline constexpr int kMuteButton = 12, kUnmuteButton = 13, kZoomOffButton = 17;
inline constexpr int kVolumeSlider = 18, kVolumeKnob = 19, kDateTime = 20;
}  // namespace slot
// Slot numbers of the motion-detection layout, for window n = 0..3.
namespace mdslot {
inline constexpr int Meter(int n) {
    return 4 + n;
}
inline constexpr int Enable(int n) {
    return 8 + n;
}
inline constexpr int Sensitivity(int n) {
    return 12 + n;
}
inline constexpr int Threshold(int n) {
    return 16 + n;
}
inline constexpr int ThresholdLabel(int n) {
    return 21 + n;
}
inline constexpr int SensitivityLabel(int n) {
    return 26 + n;
}
inline constexpr int kOk = 25;
}  // namespace mdslot

// The six tables: 0 full with MPEG-4, 1 full with Motion JPEG, 2 light, 3 view, 4 motion detection,
// 5 view-only.
[[nodiscard]] int LayoutTableIndex(ViewerKind kind, ImageCodec codec);
[[nodiscard]] const SlotTable& LayoutTable(int index);

inline constexpr int kMargin = 10;
// The motion-detection view draws its 640 x 480 picture at 0, kMotionPictureTop, left of its widgets.
inline constexpr int kMotionPictureTop = 20;
inline constexpr int kVolumeSliderLength = 82;
inline constexpr Size kKnobSize{7, 23};
inline constexpr Size kIconButton{38, 31};
inline constexpr Size kDateTimeLabel{160, 16};

// Panel size by kind: 180 x 300 with a panel, 0 x 0 without.
[[nodiscard]] Size PanelSize(ViewerKind kind);
// Top-left of the picture area: (margin + panel width + 20, margin + 20), or 0,0 without a panel. The
// picture itself is drawn PictureTopOffset below it (20; 0 in the view-only kind), under the date text.
[[nodiscard]] Point PictureOrigin(ViewerKind kind);
[[nodiscard]] int PictureTopOffset(ViewerKind kind);
// The rectangle the picture is drawn into.
[[nodiscard]] Rect ViewRect(ViewerKind kind, Size view);

// The view size a view-size code asks for (none and AUTO: the picture's size).
[[nodiscard]] Size ViewSizeFor(ViewSize code, Size picture);
// The control's own size for a kind and a view size (VGA with a panel: 880 x 600).
[[nodiscard]] Size ControlSize(ViewerKind kind, Size view);

// The layout for a kind and codec with the slots of clear viewer-mode bits hidden, in control
// coordinates, with the run-time rows placed: mute/unmute, volume slider and knob (at `knob` 0..82) under
// the picture, and the date-time text above it. The motion-detection layout ignores the bits.
[[nodiscard]] SlotTable PanelLayout(ViewerKind kind, ImageCodec codec, uint32_t viewerMode, Size view,
                                    int knob);

// Volume slider: knob position 0..82 to the volume shown (0..100) and the wave-output volume (0..65535),
// and a volume back to the knob (0.82 x volume, truncated).
[[nodiscard]] int VolumeFromKnob(int knob);
[[nodiscard]] int WaveVolumeFromKnob(int knob);
[[nodiscard]] int KnobFromVolume(int volume);

// Digital zoom. A click zooms only strictly inside the picture: left < x < left + view width and
// top + 20 < y < top + view height + 20 (top and left of the picture origin).
[[nodiscard]] bool ZoomClickInside(ViewerKind kind, Size view, Point click);
// The zoom centre in percent of the view for a click inside, clamped so that the 1.414x window stays
// inside the picture.
struct ZoomCentre {
    int xPercent = 50, yPercent = 50;
    friend bool operator==(const ZoomCentre&, const ZoomCentre&) = default;
};
[[nodiscard]] ZoomCentre ZoomCentreFor(ViewerKind kind, Size view, Point click);
// The source window of the picture that is stretched to the view while zoomed.
[[nodiscard]] Rect ZoomWindow(ZoomCentre centre, Size picture);
// PrmExecDZoomControl's picture point (0..639, 0..479) as a click in the control.
[[nodiscard]] Point ZoomClickForPicturePoint(ViewerKind kind, Size view, int x, int y);

}  // namespace ocuview

#endif
