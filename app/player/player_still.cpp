// Still pictures through Open: a bitmap or JPEG file shown in the picture area instead of a recording.
#include <cstring>
#include <vector>

#include "core/bmp.h"
#include "core/byte_stream.h"
#include "player/player.h"
#include "vello/jpeg/jpeg_decoder.h"

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
    vello::JpegDecoder decoder;
    decoder.SetSource(bytes.data(), static_cast<int>(bytes.size()));
    int width = 0, height = 0;
    if (decoder.ReadHeader(&width, &height, nullptr, nullptr, nullptr) != vello::kJpegOk || width < 1 ||
        height < 1)
        return false;
    out.width = width;
    out.height = height;
    out.step = (width * 3 + 3) & ~3;
    out.pixels.assign(static_cast<std::size_t>(out.step) * static_cast<std::size_t>(height), 0);
    decoder.SetDestination(out.pixels.data(), width, out.step, height, 3, vello::kJpegColourBGR);
    const bool ok = decoder.ReadData() == vello::kJpegOk;
    decoder.Clean();
    return ok;
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
