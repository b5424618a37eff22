#include "module_size.h"

#include <algorithm>
#include <optional>

#include "keywords.h"

namespace ocuview {

namespace {

enum class Mode { Full, Light, View, ViewOnly };

std::optional<Mode> ModeOf(std::string_view text) {
    // "PRM_VIEWMODE_VIEW" begins "PRM_VIEWMODE_VIEWONLY", so the longer keyword is tried first.
    if (MatchesKeyword(text, "PRM_VIEWMODE_FULL")) return Mode::Full;
    if (MatchesKeyword(text, "PRM_VIEWMODE_LIGHT")) return Mode::Light;
    if (MatchesKeyword(text, "PRM_VIEWMODE_VIEWONLY")) return Mode::ViewOnly;
    if (MatchesKeyword(text, "PRM_VIEWMODE_VIEW")) return Mode::View;
    return std::nullopt;
}

struct Size {
    int width, height;
};

std::optional<Size> PictureOf(std::string_view text) {
    if (MatchesKeyword(text, "PRM_VIEWSIZE_VGA")) return Size{640, 480};
    if (MatchesKeyword(text, "PRM_VIEWSIZE_QVGA")) return Size{320, 240};
    if (MatchesKeyword(text, "PRM_VIEWSIZE_QQVGA")) return Size{160, 120};
    return std::nullopt;
}

}  // namespace

std::string CalcModuleWidth(std::string_view viewMode, std::string_view viewSize) {
    const auto mode = ModeOf(viewMode);
    const auto picture = PictureOf(viewSize);
    if (!mode || !picture) return {};
    // Room for the panel left of the picture (180 + margins) or, in the view kind, for the volume row.
    const int base = (*mode == Mode::Full || *mode == Mode::Light) ? 240 : *mode == Mode::View ? 60 : 0;
    return std::to_string(base + picture->width);
}

std::string CalcModuleHeight(std::string_view viewMode, std::string_view viewSize) {
    const auto mode = ModeOf(viewMode);
    const auto picture = PictureOf(viewSize);
    if (!mode || !picture) return {};
    const int h = picture->height;
    switch (*mode) {
        case Mode::Full:
            return std::to_string(std::max(h + 120, 280));
        case Mode::Light:
            return std::to_string(std::max(h + 120, 210));
        case Mode::View:
            return std::to_string(h + 120);
        case Mode::ViewOnly:
            return std::to_string(h);
    }
    return {};
}

}  // namespace ocuview
