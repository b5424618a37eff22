#include "core/bmp.h"

#include <cstring>

#include "core/qxr_format.h"

namespace reeldeck {

namespace {

constexpr uint32_t kInfoHeaderSize = 40;

void Store16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

uint16_t Load16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

bool DimensionOk(int64_t v) {
    return v >= 1 && v <= kBmpMaxDimension;
}

}  // namespace

const char* BmpStatusText(BmpStatus status) {
    switch (status) {
        case BmpStatus::kOk:
            return "ok";
        case BmpStatus::kBadArgument:
            return "bad picture for a bitmap";
        case BmpStatus::kNotBitmap:
            return "not a bitmap file";
        case BmpStatus::kUnsupported:
            return "not an uncompressed 24-bit bitmap";
        case BmpStatus::kBadSize:
            return "bitmap size out of range";
        case BmpStatus::kTruncated:
            return "bitmap file is truncated";
    }
    return "unknown bitmap status";
}

BmpStatus EncodeBmp(const uint8_t* bgr, int width, int height, int step, std::vector<uint8_t>& file) {
    if (bgr == nullptr || !DimensionOk(width) || !DimensionOk(height) ||
        step < static_cast<int64_t>(width) * 3)
        return BmpStatus::kBadArgument;
    const std::size_t rowBytes = BmpRowBytes(width);
    const std::size_t imageBytes = rowBytes * static_cast<std::size_t>(height);
    file.assign(kBmpHeaderSize + imageBytes, 0);
    uint8_t* h = file.data();
    h[0] = 'B';
    h[1] = 'M';
    StoreLe32(h + 2, static_cast<uint32_t>(file.size()));
    // Bytes 6..9: two reserved 16-bit zeros.
    StoreLe32(h + 10, static_cast<uint32_t>(kBmpHeaderSize));
    StoreLe32(h + 14, kInfoHeaderSize);
    StoreLe32(h + 18, static_cast<uint32_t>(width));
    StoreLe32(h + 22, static_cast<uint32_t>(height));  // positive: rows bottom-up
    Store16(h + 26, 1);                                // planes
    Store16(h + 28, 24);                               // bits per pixel
    // 30: compression 0; 34: image size; 38, 42: resolution 0; 46, 50: colours 0.
    StoreLe32(h + 34, static_cast<uint32_t>(imageBytes));
    for (int r = 0; r < height; ++r) {
        const uint8_t* src = bgr + static_cast<std::size_t>(r) * static_cast<std::size_t>(step);
        uint8_t* dst = h + kBmpHeaderSize + static_cast<std::size_t>(height - 1 - r) * rowBytes;
        std::memcpy(dst, src, static_cast<std::size_t>(width) * 3);
    }
    return BmpStatus::kOk;
}

BmpStatus DecodeBmp(const uint8_t* data, std::size_t size, BgrPicture& out) {
    out = BgrPicture{};
    if (data == nullptr || size < kBmpHeaderSize || data[0] != 'B' || data[1] != 'M')
        return BmpStatus::kNotBitmap;
    const uint32_t pixelOffset = LoadLe32(data + 10);
    const uint32_t infoSize = LoadLe32(data + 14);
    const int64_t width = static_cast<int32_t>(LoadLe32(data + 18));
    const int64_t rawHeight = static_cast<int32_t>(LoadLe32(data + 22));
    if (infoSize < kInfoHeaderSize || Load16(data + 26) != 1 || Load16(data + 28) != 24 ||
        LoadLe32(data + 30) != 0)
        return BmpStatus::kUnsupported;
    const bool topDown = rawHeight < 0;
    const int64_t height = topDown ? -rawHeight : rawHeight;
    if (!DimensionOk(width) || !DimensionOk(height)) return BmpStatus::kBadSize;
    const std::size_t rowBytes = BmpRowBytes(static_cast<int>(width));
    const std::size_t imageBytes = rowBytes * static_cast<std::size_t>(height);
    if (pixelOffset < 14 + infoSize || pixelOffset > size || size - pixelOffset < imageBytes)
        return BmpStatus::kTruncated;
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.step = static_cast<int>(rowBytes);
    out.pixels.assign(imageBytes, 0);
    for (int64_t r = 0; r < height; ++r) {
        const int64_t stored = topDown ? r : height - 1 - r;
        std::memcpy(out.pixels.data() + static_cast<std::size_t>(r) * rowBytes,
                    data + pixelOffset + static_cast<std::size_t>(stored) * rowBytes, rowBytes);
    }
    return BmpStatus::kOk;
}

}  // namespace reeldeck
