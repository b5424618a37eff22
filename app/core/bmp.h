// The 24-bit bitmap file of the captured-image viewer and the still path: a 14-byte file header and a
// 40-byte information header (54 bytes in all) followed by the pixels, B, G, R per pixel, rows padded to
// four bytes and stored bottom-up (a positive height).
//
// Pictures cross this interface as top-down BGR rows, the layout every decoder of the suite writes.
#ifndef REELDECK_CORE_BMP_H
#define REELDECK_CORE_BMP_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace reeldeck {

inline constexpr std::size_t kBmpHeaderSize = 54;
// The largest picture either side accepts, so that a hostile header cannot ask for unbounded memory
// (16384 x 16384 pixels, 768 MiB of pixels at most).
inline constexpr int kBmpMaxDimension = 16384;

// Bytes of one stored row of a 24-bit picture `width` pixels wide: (24 * width + 7) / 8 rounded up to 4.
constexpr std::size_t BmpRowBytes(int width) {
    return ((static_cast<std::size_t>(width) * 24 + 7) / 8 + 3) & ~static_cast<std::size_t>(3);
}

// A picture as top-down rows of B, G, R bytes, `step` bytes apart.
struct BgrPicture {
    int width = 0;
    int height = 0;
    int step = 0;
    std::vector<uint8_t> pixels;  // step * height bytes
};

enum class [[nodiscard]] BmpStatus{
    kOk = 0,
    kBadArgument,  // writer: no pixels, a size below 1 or above kBmpMaxDimension, a step too small
    kNotBitmap,    // shorter than the headers, or no "BM"
    kUnsupported,  // not the uncompressed 24-bit form (information header, planes, bits, compression)
    kBadSize,      // width or height below 1 or above kBmpMaxDimension
    kTruncated,    // the pixel offset or the rows reach past the end of the data
};

// A short description of a status ("not a bitmap file").
const char* BmpStatusText(BmpStatus status);

// The whole file for a picture of top-down BGR rows: header and pixels, file size row bytes x h + 54.
BmpStatus EncodeBmp(const uint8_t* bgr, int width, int height, int step, std::vector<uint8_t>& file);

// Reads a 24-bit uncompressed bitmap: the 54-byte form, and also a longer information header and a
// negative (top-down) height, as other programs write them. The picture comes back top-down with rows of
// BmpRowBytes(width).
BmpStatus DecodeBmp(const uint8_t* data, std::size_t size, BgrPicture& out);

}  // namespace reeldeck

#endif
