// Still pictures opened in the main window: a 24-bit bitmap or a JPEG file, read whole and turned into
// top-down B, G, R rows.
#ifndef REELDECK_GUI_STILL_IMAGE_H
#define REELDECK_GUI_STILL_IMAGE_H

#include <string>
#include <string_view>

#include "core/bmp.h"

namespace reeldeck::gui {

enum class StillKind { kNone, kBitmap, kJpeg };

// By the upper-cased extension: "BMP" a bitmap; "JPG", "JPE", "JPEG" a JPEG file; anything else none
// (a recording, or a file the engine refuses).
StillKind StillKindOf(std::string_view path);

// Reads and decodes the still; false (and `out` untouched) when the file cannot be read or decoded or
// its width or height is below 1. A four-component (CMYK) JPEG is converted for display.
bool LoadStill(const std::string& path, StillKind kind, BgrPicture& out);

}  // namespace reeldeck::gui

#endif
