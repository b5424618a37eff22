// One encoder of the still-picture files the tools write from a shown picture: a 24-bit bitmap, a
// baseline JPEG (quality 75, 4:2:0) or a binary PPM, from top-down B, G, R rows.
#ifndef QXRTOOL_PICTURE_FILE_H
#define QXRTOOL_PICTURE_FILE_H

#include <cstdint>
#include <string_view>
#include <vector>

namespace qxrtool {

// `format` is "bmp", "jpg" or "ppm"; false when the picture cannot be encoded (or the format is unknown).
bool EncodePicture(const uint8_t* bgr, int width, int height, int step, std::string_view format,
                   std::vector<uint8_t>& out);

}  // namespace qxrtool

#endif
