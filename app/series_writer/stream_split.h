// Cutting coded video into the pieces a recording stores: an MPEG-4 visual elementary stream into one
// piece per VOP, and a JPEG file into one checked image. Also reads the picture size from the stream.
#ifndef REELDECK_SERIES_WRITER_STREAM_SPLIT_H
#define REELDECK_SERIES_WRITER_STREAM_SPLIT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace reeldeck::series {

// One piece per VOP, each ending where the next VOP or the headers in front of it begin; whatever
// precedes a VOP (sequence, object, layer and group headers, user data) stays in front of it in its own
// piece. Empty when the stream holds no VOP.
std::vector<std::vector<uint8_t>> SplitMpeg4Stream(const std::vector<uint8_t>& stream);

// True when the piece's VOP is an I-VOP (the two bits after its start code are 00): a key frame, where a
// player may start.
bool IsIntraVop(const std::vector<uint8_t>& piece);

struct PictureGeometry {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t frameRate = 0;  // from a fixed VOP rate; 0 when the stream does not say
};

// The size (and fixed frame rate) from the first video object layer header; false when there is none, or
// when the decoder would refuse it before its size (shape not rectangular, chroma not 4:2:0, a marker bit
// out of place, cut short).
bool ParseMpeg4Geometry(const std::vector<uint8_t>& stream, PictureGeometry& out);

// Checks a JPEG file (SOI first, an EOI, a frame header), drops anything after the last EOI and returns
// the picture size. `error` says what is wrong when the result is false.
bool PrepareJpeg(std::vector<uint8_t>& image, PictureGeometry& out, std::string& error);

}  // namespace reeldeck::series

#endif
