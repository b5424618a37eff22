#include "gui/still_export.h"

#include <span>
#include <vector>

#include "core/bmp.h"
#include "platform/output_file.h"
#include "vello/jpeg/jpeg_picture.h"

namespace reeldeck::gui {

namespace {

bool WriteWhole(const std::string& path, std::span<const uint8_t> bytes) {
    std::string error;
    return platform::WriteFile(path, bytes, &error) == platform::FileStatus::kOk;
}

}  // namespace

std::string ProposedSaveName(std::string_view cameraTime) {
    auto take = [&](std::string& out, std::size_t first, std::size_t count) {
        if (first < cameraTime.size()) out.append(cameraTime.substr(first, count));
    };
    // "YYYY/MM/DD Www hh:mm:ss": the time at 15, 18 and 21. The same 23 characters also come as
    // "YYYY/MM/DD hh:mm:ss.mmm" (the time at 11, 14 and 17); taking 15/18/21 there would put ':' and '.'
    // into the name, so that layout is recognised by its colons.
    const bool milliseconds = cameraTime.size() >= 19 && cameraTime[13] == ':' && cameraTime[16] == ':';
    const std::size_t time = milliseconds ? 11 : 15;
    std::string name;
    take(name, 0, 4);
    take(name, 5, 2);
    take(name, 8, 2);
    name.push_back('_');
    take(name, time, 2);
    take(name, time + 3, 2);
    take(name, time + 6, 2);
    return name;
}

SaveFormat SaveFormatOf(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) return SaveFormat::kUnsupported;
    const std::string_view extension = path.substr(dot + 1);
    if (extension == "bmp") return SaveFormat::kBitmap;
    if (extension == "jpg") return SaveFormat::kJpeg;
    return SaveFormat::kUnsupported;
}

bool WriteBitmapFile(const std::string& path, const BgrView& picture) {
    std::vector<uint8_t> file;
    if (EncodeBmp(picture.pixels, picture.width, picture.height, picture.step, file) != BmpStatus::kOk) {
        return false;
    }
    return WriteWhole(path, file);
}

bool WriteJpegFile(const std::string& path, const BgrView& picture) {
    const vello::JpegPictureView view{picture.pixels, picture.width,        picture.height, 3,
                                      picture.step,   vello::kJpegColourBGR};
    vello::JpegEncodeParams params;
    params.quality = 75;
    params.sampling = vello::kJpegSampling420;
    params.restartInterval = 0;
    const vello::JpegEncodeResult encoded = vello::EncodeJpeg(view, params);
    if (encoded.status != vello::JpegStatus::kOk || encoded.bytes.empty()) return false;
    return WriteWhole(path, encoded.bytes);
}

}  // namespace reeldeck::gui
