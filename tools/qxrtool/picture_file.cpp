#include "picture_file.h"

#include <string>

#include "core/bmp.h"
#include "vello/jpeg/jpeg_picture.h"

namespace qxrtool {

bool EncodePicture(const uint8_t* bgr, int width, int height, int step, std::string_view format,
                   std::vector<uint8_t>& out) {
    if (format == "bmp")
        return reeldeck::EncodeBmp(bgr, width, height, step, out) == reeldeck::BmpStatus::kOk;
    if (format == "jpg") {
        vello::JpegEncodeResult encoded =
            vello::EncodeJpeg({bgr, width, height, 3, step, vello::kJpegColourBGR});
        out = std::move(encoded.bytes);
        return encoded.status == vello::JpegStatus::kOk;
    }
    if (format != "ppm") return false;
    // Binary PPM: RGB rows top-down.
    const std::string header = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    out.assign(header.begin(), header.end());
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = bgr + static_cast<std::size_t>(y) * static_cast<std::size_t>(step);
        for (int x = 0; x < width; ++x) out.insert(out.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
    }
    return true;
}

}  // namespace qxrtool
