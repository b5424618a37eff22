#include "gui/still_image.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/path_string.h"
#include "platform/input_file.h"
#include "vello/jpeg/jpeg_picture.h"

namespace reeldeck::gui {

namespace {

// Larger than any bitmap DecodeBmp accepts (16384 x 16384 x 3 plus padding) would be refused anyway; a
// JPEG of this size is far beyond a camera still.
constexpr std::size_t kMaxStillBytes = std::size_t{800} << 20;

bool ToBgr(const vello::JpegPicture& picture, BgrPicture& out) {
    if (picture.width < 1 || picture.height < 1) return false;
    const int step = (picture.width * 3 + 3) & ~3;
    BgrPicture bgr{picture.width, picture.height, step, {}};
    if (picture.channels == 3) {
        bgr.step = picture.step;
        bgr.pixels = picture.pixels;
        out = std::move(bgr);
        return true;
    }
    if (picture.channels != 4) return false;
    // Adobe CMYK as decoders deliver it (inverted): each of C, M, Y times K gives R, G, B.
    bgr.pixels.assign(static_cast<std::size_t>(step) * static_cast<std::size_t>(picture.height), 0);
    for (int y = 0; y < picture.height; ++y) {
        const uint8_t* src = picture.pixels.data() + static_cast<std::size_t>(y) * picture.step;
        uint8_t* dst = bgr.pixels.data() + static_cast<std::size_t>(y) * step;
        for (int x = 0; x < picture.width; ++x, src += 4, dst += 3) {
            dst[0] = static_cast<uint8_t>(src[2] * src[3] / 255);
            dst[1] = static_cast<uint8_t>(src[1] * src[3] / 255);
            dst[2] = static_cast<uint8_t>(src[0] * src[3] / 255);
        }
    }
    out = std::move(bgr);
    return true;
}

}  // namespace

StillKind StillKindOf(std::string_view path) {
    const PathString extension = PathString(path).Extension().UpperCase();
    const std::string_view ext = extension.View();
    if (ext == "BMP") return StillKind::kBitmap;
    if (ext == "JPG" || ext == "JPE" || ext == "JPEG") return StillKind::kJpeg;
    return StillKind::kNone;
}

bool LoadStill(const std::string& path, StillKind kind, BgrPicture& out) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (platform::ReadFile(path, kMaxStillBytes, &bytes, &error) != platform::FileStatus::kOk) return false;
    if (kind == StillKind::kBitmap) {
        BgrPicture picture;
        if (DecodeBmp(bytes.data(), bytes.size(), picture) != BmpStatus::kOk) return false;
        out = std::move(picture);
        return true;
    }
    if (kind != StillKind::kJpeg) return false;
    const vello::JpegDecodeResult decoded = vello::DecodeJpeg(bytes);
    if (decoded.picture.empty()) return false;
    return ToBgr(decoded.picture, out);
}

}  // namespace reeldeck::gui
