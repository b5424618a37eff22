#include "series_writer/stream_split.h"

#include <algorithm>

#include "vello/mpeg4/start_code.h"
#include "vello/mpeg4/vol_header.h"

namespace reeldeck::series {

using vello::mpeg4::FindStartCode;
using vello::mpeg4::FindStartCodeIf;
using vello::mpeg4::kNoStartCode;
using vello::mpeg4::kVopStartCode;

namespace {

// Start codes that open a picture or the headers in front of one: VOP, visual object sequence (B0,
// B1 end), user data (B2), group of VOPs (B3), visual object (B5), video object and layer (00..2F).
// Values inside a VOP's coded data that follow a 00 00 01 pattern cannot be among these.
bool OpensPictureOrHeaders(uint8_t value) {
    return value == kVopStartCode || (value >= 0xB0 && value <= 0xB5) || value <= 0x2F;
}

}  // namespace

std::vector<std::vector<uint8_t>> SplitMpeg4Stream(const std::vector<uint8_t>& stream) {
    std::vector<std::vector<uint8_t>> pieces;
    std::size_t vop = FindStartCode(stream, kVopStartCode);
    if (vop == kNoStartCode) return pieces;
    std::size_t begin = 0;
    while (vop != kNoStartCode) {
        // A picture's piece ends where the next picture or its headers begin, so that the headers an
        // I-VOP needs (sequence, object, layer, group) travel in its own unit: a player that starts at
        // that unit finds them.
        const std::size_t next = FindStartCode(stream, kVopStartCode, vop + 4);
        const std::size_t headers = FindStartCodeIf(stream, OpensPictureOrHeaders, vop + 4);
        // After the last picture everything left (a sequence end code, say) stays with it.
        const std::size_t end = next == kNoStartCode ? stream.size() : headers;
        pieces.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(begin),
                            stream.begin() + static_cast<std::ptrdiff_t>(end));
        begin = end;
        vop = next;
    }
    return pieces;
}

bool IsIntraVop(const std::vector<uint8_t>& piece) {
    const std::size_t vop = FindStartCode(piece, kVopStartCode);
    return vop != kNoStartCode && vop + 4 < piece.size() && (piece[vop + 4] >> 6) == 0;
}

bool ParseMpeg4Geometry(const std::vector<uint8_t>& stream, PictureGeometry& out) {
    // The video object layer start codes are 00 00 01 20 .. 2F.
    const std::size_t at = FindStartCode(stream, 0x20, 0x2F);
    if (at == kNoStartCode) return false;
    vello::mpeg4::BitReader bits(stream.data(), stream.size(), at * 8);
    vello::mpeg4::VolHeader vol;
    if (vello::mpeg4::ParseVolUpToSize(bits, vol, {}) != vello::mpeg4::Mpeg4Status::kOk) return false;
    if (vol.video_object_layer_width == 0 || vol.video_object_layer_height == 0) return false;
    const int increment = vol.fixed_vop_rate ? vol.fixed_vop_time_increment : 0;
    out.width = static_cast<uint32_t>(vol.video_object_layer_width);
    out.height = static_cast<uint32_t>(vol.video_object_layer_height);
    out.frameRate = increment != 0 ? static_cast<uint32_t>(vol.vop_time_increment_resolution / increment) : 0;
    return true;
}

bool PrepareJpeg(std::vector<uint8_t>& image, PictureGeometry& out, std::string& error) {
    if (image.size() < 4 || image[0] != 0xFF || image[1] != 0xD8) {
        error = "does not start with a JPEG SOI marker";
        return false;
    }
    std::size_t eoi = std::string::npos;
    for (std::size_t i = image.size() - 1; i >= 3; --i) {
        if (image[i - 1] == 0xFF && image[i] == 0xD9) {
            eoi = i + 1;
            break;
        }
    }
    if (eoi == std::string::npos) {
        error = "has no JPEG EOI marker";
        return false;
    }
    image.resize(eoi);
    // Walk the marker segments up to the frame header (SOF0..SOF15 except DHT, JPG and DAC).
    std::size_t p = 2;
    while (p + 4 <= image.size()) {
        if (image[p] != 0xFF) break;
        const uint8_t marker = image[p + 1];
        if (marker == 0xFF) {
            ++p;
            continue;
        }
        const std::size_t length = static_cast<std::size_t>(image[p + 2]) << 8 | image[p + 3];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            if (p + 9 > image.size() || length < 7) break;
            out.height = static_cast<uint32_t>(image[p + 5]) << 8 | image[p + 6];
            out.width = static_cast<uint32_t>(image[p + 7]) << 8 | image[p + 8];
            out.frameRate = 0;
            if (out.width == 0 || out.height == 0) break;
            return true;
        }
        if (marker == 0xDA || length < 2) break;
        p += 2 + length;
    }
    error = "has no readable JPEG frame header";
    return false;
}

}  // namespace reeldeck::series
