// The player's size rules, in logical pixels, without any widget: how big the picture area is for a
// picture, what the zoom step does, how a captured-image viewer is composed and where it is placed.
#ifndef REELDECK_GUI_LAYOUT_RULES_H
#define REELDECK_GUI_LAYOUT_RULES_H

namespace reeldeck::gui {

struct Extent {
    int width = 0;
    int height = 0;
    friend bool operator==(const Extent&, const Extent&) = default;
};

inline constexpr int kMaxPictureWidth = 800;
inline constexpr int kMaxPictureHeight = 600;
inline constexpr int kMinPanelWidth = 160;  // the control panel is never narrower than this

// The picture area for a picture of `picture`: wider than 800 scales to 800 wide, then taller than 600
// scales to 600 high, keeping the aspect (integer arithmetic, truncating).
Extent FitPicture(Extent picture);

// One press of the zoom key: step 0 doubles the area, step 1 halves it, step 2 keeps it; the result is
// fitted again. `step` is the step before the press (0, 1 or 2); NextZoomStep gives the one after it.
Extent ZoomedArea(Extent area, int step);
constexpr int NextZoomStep(int step) {
    return (step + 1) % 3;
}

// A captured-image viewer's image for a picture of w x h: the image size and the picture's top-left
// corner inside it (the picture sits centred on a frame of at least 112 x 120, with room for the
// buttons below).
struct ViewerGeometry {
    Extent image;
    int pictureX = 0;
    int pictureY = 0;
};
ViewerGeometry ComposeViewerGeometry(Extent picture);

// The top-left corner of the viewer window of slot `slot` (0..15): a staircase from (0, 0) stepping 16
// pixels right and down per slot; when a window of height `windowHeight` would pass `screenHeight`,
// the next column starts at the top, 32 pixels right of the previous column's start.
struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};
Point StaircasePosition(int slot, int windowHeight, int screenHeight);

}  // namespace reeldeck::gui

#endif
