// Saving a captured picture: the proposed file name, the format chosen by the typed extension, and the
// bitmap and JPEG files.
#ifndef REELDECK_GUI_STILL_EXPORT_H
#define REELDECK_GUI_STILL_EXPORT_H

#include <cstdint>
#include <string>
#include <string_view>

namespace reeldeck::gui {

// The date and time of a camera time text in digits, "YYYYMMDD_hhmmss": characters 0-3, 5-6, 8-9, "_",
// then 15-16, 18-19, 21-22 of "YYYY/MM/DD Www hh:mm:ss" (11-12, 14-15, 17-18 of "YYYY/MM/DD
// hh:mm:ss.mmm"). Characters past the end of the text are left out, so no text gives "_".
std::string ProposedSaveName(std::string_view cameraTime);

enum class SaveFormat { kBitmap, kJpeg, kUnsupported };
// The text after the last "." of the name, compared as typed: "bmp" or "jpg".
SaveFormat SaveFormatOf(std::string_view path);

// A top-down B, G, R picture (`step` bytes per row).
struct BgrView {
    const uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int step = 0;
};

// Writes the picture as a 24-bit bitmap; false on any failure (nothing is left behind then).
bool WriteBitmapFile(const std::string& path, const BgrView& picture);
// Writes the picture as a baseline JPEG, quality 75, 4:2:0; false on any failure.
bool WriteJpegFile(const std::string& path, const BgrView& picture);

}  // namespace reeldeck::gui

#endif
