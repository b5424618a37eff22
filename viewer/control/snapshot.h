// Saving a captured picture: JPEG (quality 75, 4:2:0, baseline) for a ".jpg" path in any case, else a
// 24-bit bitmap under exactly the path given.
#ifndef OCUVIEW_CONTROL_SNAPSHOT_H
#define OCUVIEW_CONTROL_SNAPSHOT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ocuview {

// Top-down rows of B, G, R, `stride` bytes apart.
struct SnapshotPicture {
    const uint8_t* bgr = nullptr;
    int width = 0, height = 0, stride = 0;
};

enum class SnapshotFormat { kJpeg, kBitmap };
[[nodiscard]] SnapshotFormat SnapshotFormatFor(std::string_view path);

// The encoder's output buffer: width x height x 3 bytes, 4096 when that is below 1024.
[[nodiscard]] std::size_t JpegBufferBytes(int width, int height);

enum class [[nodiscard]] SnapshotStatus{kOk, kEncodeFailed, kWriteFailed};
SnapshotStatus SaveSnapshot(const std::string& path, const SnapshotPicture& picture);

}  // namespace ocuview

#endif
