#include "series_writer/stream_split.h"

#include <algorithm>

#include "vello/mpeg4/start_code.h"

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

namespace {

// MSB-first bit reader that yields zeros past the end (the caller checks Overrun()).
class BitReader {
  public:
    BitReader(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    uint32_t Get(int bits) {
        uint32_t value = 0;
        for (int i = 0; i < bits; ++i) {
            const std::size_t byte = position_ >> 3;
            const uint32_t bit = byte < size_ ? (data_[byte] >> (7 - (position_ & 7))) & 1u : 0u;
            value = value << 1 | bit;
            ++position_;
        }
        return value;
    }
    bool Overrun() const { return position_ > size_ * 8; }

  private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

}  // namespace

bool ParseMpeg4Geometry(const std::vector<uint8_t>& stream, PictureGeometry& out) {
    // The video object layer start codes are 00 00 01 20 .. 2F.
    std::size_t at = FindStartCode(stream, 0x20, 0x2F);
    if (at == kNoStartCode) return false;
    at += 4;
    BitReader bits(stream.data() + at, stream.size() - at);
    bits.Get(1);  // random_accessible_vol
    bits.Get(8);  // video_object_type_indication
    uint32_t verid = 1;
    if (bits.Get(1)) {  // is_object_layer_identifier
        verid = bits.Get(4);
        bits.Get(3);  // priority
    }
    if (bits.Get(4) == 15) bits.Get(16);  // aspect_ratio_info, extended PAR
    if (bits.Get(1)) {                    // vol_control_parameters
        bits.Get(2);                      // chroma_format
        bits.Get(1);                      // low_delay
        if (bits.Get(1)) bits.Get(15 + 1 + 15 + 1 + 15 + 1 + 3 + 11 + 1 + 15 + 1);  // vbv_parameters
    }
    const uint32_t shape = bits.Get(2);
    if (shape == 3 && verid != 1) bits.Get(4);  // video_object_layer_shape_extension
    bits.Get(1);                                // marker
    const uint32_t resolution = bits.Get(16);   // vop_time_increment_resolution
    bits.Get(1);                                // marker
    uint32_t rate = 0;
    if (bits.Get(1)) {  // fixed_vop_rate
        int length = 1;
        while (length < 16 && (1u << length) < resolution) ++length;
        const uint32_t increment = bits.Get(length);
        if (increment != 0) rate = resolution / increment;
    }
    if (shape != 0) return false;  // only rectangular layers carry a size here
    bits.Get(1);
    const uint32_t width = bits.Get(13);
    bits.Get(1);
    const uint32_t height = bits.Get(13);
    if (bits.Overrun() || width == 0 || height == 0) return false;
    out = {width, height, rate};
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
