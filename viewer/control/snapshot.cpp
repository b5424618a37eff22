#include "snapshot.h"

#include <vector>

#include "core/bmp.h"
#include "platform/output_file.h"
#include "vello/jpeg/jpeg_encoder.h"

namespace ocuview {

namespace {

bool EncodeJpeg(const SnapshotPicture& picture, std::size_t capacity, std::vector<uint8_t>& out) {
    vello::JpegEncoder encoder;
    encoder.Reset();
    (void)encoder.SetSource(picture.bgr, picture.width, picture.height, 3, picture.stride,
                            vello::kJpegColourBGR);
    (void)encoder.SetParams(75, vello::kJpegSampling420, vello::kJpegColourYCbCr, 0, 0);
    out.assign(capacity, 0);
    int size = static_cast<int>(capacity);
    const vello::JpegStatus status = encoder.WriteImage(out.data(), &size);
    encoder.Clean();
    if (status != vello::JpegStatus::kOk) return false;
    out.resize(static_cast<std::size_t>(size));
    return true;
}

}  // namespace

SnapshotFormat SnapshotFormatFor(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return SnapshotFormat::kBitmap;
    std::string ext(path.substr(dot));
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext == ".jpg" ? SnapshotFormat::kJpeg : SnapshotFormat::kBitmap;
}

std::size_t JpegBufferBytes(int width, int height) {
    const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
    return bytes < 1024 ? 4096 : bytes;
}

SnapshotStatus SaveSnapshot(const std::string& path, const SnapshotPicture& picture) {
    std::vector<uint8_t> file;
    if (SnapshotFormatFor(path) == SnapshotFormat::kJpeg) {
        // A small or very busy picture can code larger than its raw size: one more try with room for the
        // headers and tables instead of failing the save.
        if (!EncodeJpeg(picture, JpegBufferBytes(picture.width, picture.height), file) &&
            !EncodeJpeg(picture, JpegBufferBytes(picture.width, picture.height) + 65536, file))
            return SnapshotStatus::kEncodeFailed;
    } else if (reeldeck::EncodeBmp(picture.bgr, picture.width, picture.height, picture.stride, file) !=
               reeldeck::BmpStatus::kOk) {
        return SnapshotStatus::kEncodeFailed;
    }
    std::string error;
    return platform::WriteFile(path, file, &error) == platform::FileStatus::kOk
               ? SnapshotStatus::kOk
               : SnapshotStatus::kWriteFailed;
}

}  // namespace ocuview
