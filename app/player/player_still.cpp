// Still pictures through Open: a bitmap or JPEG file shown in the picture area instead of a recording.
#include <cstring>
#include <utility>
#include <vector>

#include "core/bmp.h"
#include "core/byte_stream.h"
#include "player/player.h"
#include "vello/jpeg/jpeg_picture.h"

namespace reeldeck {

namespace {

// The whole file; false when it cannot be read.
bool ReadWhole(const std::string& path, std::vector<uint8_t>& bytes) {
    FileStream file;
    if (file.Open(path) != 1) return false;
    bytes.resize(static_cast<std::size_t>(file.Size()));
    return ReadExactly(file, bytes.data(), file.Size());
}

bool DecodeJpegFile(const std::vector<uint8_t>& bytes, BgrPicture& out) {
    vello::JpegDecodeResult decoded = vello::DecodeJpeg(bytes);
    // A 4-component (CMYK) file has no 24-bit picture to show.
    if (decoded.status != vello::JpegStatus::kOk || decoded.picture.channels != 3) return false;
    out.width = decoded.picture.width;
    out.height = decoded.picture.height;
    out.step = decoded.picture.step;
    out.pixels = std::move(decoded.picture.pixels);
    return out.width >= 1 && out.height >= 1;
}

}  // namespace

int Player::OpenStill(const std::string& path, bool bitmap) {
    std::vector<uint8_t> bytes;
    BgrPicture still;
    if (!ReadWhole(path, bytes)) return 0;
    if (bitmap ? DecodeBmp(bytes.data(), bytes.size(), still) != BmpStatus::kOk
               : !DecodeJpegFile(bytes, still))
        return 0;
    host_.SetPictureSize(still.width, still.height);
    DisplayBuffer display;
    if (host_.CreateDisplayBuffer(still.width, still.height, display) != 0 || display.pixels == nullptr ||
        display.width != still.width || display.height != still.height || display.step < still.width * 3)
        return 0;
    for (int y = 0; y < still.height; ++y)
        std::memcpy(display.pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(display.step),
                    still.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(still.step),
                    static_cast<std::size_t>(still.width) * 3);
    host_.ShowPicture(display, 0.0);
    host_.SetInformation(RecordingInfo{});
    return 1;
}

}  // namespace reeldeck
