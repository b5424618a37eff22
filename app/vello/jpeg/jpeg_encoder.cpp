// JpegEncoder: table set-up, marker writing and the MCU loop. Every sample and bit goes through Lumacore.
#include "vello/jpeg/jpeg_encoder.h"

#include "lumacore/zigzag.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vello {

namespace {

constexpr std::array<Lum8u, 64> ToZigzag(const std::array<Lum8u, 64>& natural) {
    std::array<Lum8u, 64> z{};
    for (int i = 0; i < 64; ++i)
        z[static_cast<std::size_t>(i)] = natural[lumacore::kZigzagToNatural[static_cast<std::size_t>(i)]];
    return z;
}

// T.81 Table K.1 (luminance) and K.2 (chrominance), row by row; the DQT segments carry them zig-zagged.
constexpr std::array<Lum8u, 64> kLumaQuantNatural = {
    16, 11,  10,  16, 24, 40, 51, 61, 12,  12,  14,  19,  26, 58, 60, 55,  14,  13,  16,  24, 40, 57,
    69, 56,  14,  17, 22, 29, 51, 87, 80,  62,  18,  22,  37, 56, 68, 109, 103, 77,  24,  35, 55, 64,
    81, 104, 113, 92, 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98,  112, 100, 103, 99};
constexpr std::array<Lum8u, 64> kChromaQuantNatural = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
constexpr std::array<Lum8u, 64> kBaseQuant[2] = {ToZigzag(kLumaQuantNatural), ToZigzag(kChromaQuantNatural)};

// T.81 Tables K.3 to K.6: code counts by length 1..16 and the symbols.
constexpr Lum8u kDcLumaBits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
constexpr Lum8u kDcChromaBits[16] = {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
constexpr Lum8u kDcValues[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
constexpr Lum8u kAcLumaBits[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
constexpr Lum8u kAcLumaValues[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22,
    0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0, 0x24, 0x33,
    0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x34,
    0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55,
    0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76,
    0x77, 0x78, 0x79, 0x7a, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96,
    0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5,
    0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4,
    0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1,
    0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};
constexpr Lum8u kAcChromaBits[16] = {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77};
constexpr Lum8u kAcChromaValues[162] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71, 0x13,
    0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33, 0x52, 0xf0, 0x15, 0x62,
    0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18, 0x19, 0x1a, 0x26, 0x27, 0x28, 0x29,
    0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54,
    0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75,
    0x76, 0x77, 0x78, 0x79, 0x7a, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94,
    0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3,
    0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2,
    0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea,
    0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

struct HuffmanSource {
    const Lum8u* bits;
    const Lum8u* values;
    int count;
};
// DC 0, DC 1, AC 0, AC 1 in the order the DHT segments are written.
constexpr HuffmanSource kHuffman[4] = {{kDcLumaBits, kDcValues, 12},
                                       {kDcChromaBits, kDcValues, 12},
                                       {kAcLumaBits, kAcLumaValues, 162},
                                       {kAcChromaBits, kAcChromaValues, 162}};

enum Conversion : int {
    kConvNone = 0,
    kConvCopy1,
    kConvCopy3,
    kConvCopy4,
    kConvRgbToY,
    kConvRgbToYcc,
    kConvBgrToYcc,
    kConvCmykToYcck,
};

int ComponentsFor(JpegColour c, int channels) {
    switch (c) {
        case kJpegColourGrey:
            return 1;
        case kJpegColourRGB:
        case kJpegColourYCbCr:
            return 3;
        case kJpegColourCMYK:
        case kJpegColourYCCK:
            return 4;
        case kJpegColourUnknown:
            return channels;
        default:
            return 0;
    }
}

JpegStatus LumFailure(LumStatus ls) {
    return ls == lumStsJpegOutOfBufErr ? JpegStatus::kDataExhausted : JpegStatus::kInternalError;
}

}  // namespace

JpegEncoder::JpegEncoder() {
    Reset();
}

JpegEncoder::~JpegEncoder() {
    ReleaseTables();
}

void JpegEncoder::ReleaseTables() {
    for (auto& s : dcSpec_) s.reset();
    for (auto& s : acSpec_) s.reset();
    huffState_.reset();
    for (auto& c : components_) c = Component{};
}

void JpegEncoder::Reset() {
    ReleaseTables();
    src_ = nullptr;
    width_ = height_ = channels_ = lineStep_ = 0;
    srcColour_ = kJpegColourUnknown;
    quality_ = 100;
    sampling_ = kJpegSampling444;
    jpegColour_ = kJpegColourUnknown;
    mode_ = 0;
    restartInterval_ = 0;
    componentCount_ = 0;
    out_ = nullptr;
    capacity_ = written_ = 0;
    restartsToGo_ = restartNumber_ = 0;
}

void JpegEncoder::Clean() {
    Reset();
}

int JpegEncoder::SetSource(const std::uint8_t* pixels, int width, int height, int channels, int lineStep,
                           JpegColour colour) {
    src_ = pixels;
    width_ = width;
    height_ = height;
    channels_ = channels;
    lineStep_ = lineStep;
    srcColour_ = colour;
    written_ = 0;
    return 0;
}

int JpegEncoder::SetParams(int quality, JpegSampling sampling, JpegColour jpegColour, int mode,
                           int restartInterval) {
    quality_ = quality;
    sampling_ = sampling;
    jpegColour_ = jpegColour;
    mode_ = mode;
    restartInterval_ = restartInterval;
    restartsToGo_ = restartInterval;
    return 0;
}

// Checks the source and parameters, derives the geometry, builds components, tables and state.
JpegStatus JpegEncoder::SetUp() {
    ReleaseTables();
    if (mode_ != 0) return JpegStatus::kNotSupported;
    if (src_ == nullptr || width_ < 1 || height_ < 1 || width_ > 65535 || height_ > 65535)
        return JpegStatus::kNotSupported;
    if (restartInterval_ < 0 || restartInterval_ > 65535) return JpegStatus::kNotSupported;
    if (sampling_ < kJpegSampling444 || sampling_ > kJpegSampling420) return JpegStatus::kNotSupported;

    // Source and file colours. A pair the table below does not convert would leave the planes
    // uninitialised and put heap contents into the file, so it is refused.
    const JpegColour s = srcColour_;
    const JpegColour j = jpegColour_;
    int conversion = kConvNone;
    int bytesPerPixel = 0;
    if (s == kJpegColourUnknown && j == kJpegColourUnknown) {
        if (channels_ == 1) conversion = kConvCopy1;
        if (channels_ == 3) conversion = kConvCopy3;
        if (channels_ == 4) conversion = kConvCopy4;
        bytesPerPixel = channels_;
    } else if (s == kJpegColourGrey && j == kJpegColourGrey) {
        conversion = kConvCopy1;
        bytesPerPixel = 1;
    } else if (s == kJpegColourRGB && j == kJpegColourGrey) {
        conversion = kConvRgbToY;
        bytesPerPixel = 3;
    } else if (s == kJpegColourRGB && j == kJpegColourRGB) {
        conversion = kConvCopy3;
        bytesPerPixel = 3;
    } else if (s == kJpegColourRGB && j == kJpegColourYCbCr) {
        conversion = kConvRgbToYcc;
        bytesPerPixel = 3;
    } else if (s == kJpegColourBGR && j == kJpegColourYCbCr) {
        conversion = kConvBgrToYcc;
        bytesPerPixel = 3;
    } else if (s == kJpegColourCMYK && j == kJpegColourCMYK) {
        conversion = kConvCopy4;
        bytesPerPixel = 4;
    } else if (s == kJpegColourCMYK && j == kJpegColourYCCK) {
        conversion = kConvCmykToYcck;
        bytesPerPixel = 4;
    }
    if (conversion == kConvNone || channels_ != bytesPerPixel) return JpegStatus::kNotSupported;
    if (static_cast<std::int64_t>(width_) * bytesPerPixel > lineStep_) return JpegStatus::kNotSupported;
    conversion_ = conversion;

    componentCount_ = ComponentsFor(j, channels_);
    // A single-component scan is coded block by block in raster order whatever its sampling factors, so
    // a grey file is always 4:4:4 (2x2 factors would put its blocks in an order no decoder reads).
    const JpegSampling sampling = componentCount_ == 1 ? kJpegSampling444 : sampling_;
    mcuWidth_ = sampling == kJpegSampling444 ? 8 : 16;
    mcuHeight_ = sampling == kJpegSampling420 ? 16 : 8;
    mcusPerRow_ = (width_ + mcuWidth_ - 1) / mcuWidth_;
    mcuRows_ = (height_ + mcuHeight_ - 1) / mcuHeight_;
    rowWidth_ = mcusPerRow_ * mcuWidth_;
    rightPadding_ = rowWidth_ - width_;
    bottomPadding_ = mcuRows_ * mcuHeight_ - height_;

    const bool chromaTables = (j == kJpegColourYCbCr || j == kJpegColourYCCK);
    for (int i = 0; i < componentCount_; ++i) {
        Component& c = components_[i];
        c = Component{};
        c.id = i;
        const bool chroma = (i == 1 || i == 2);
        if (!chroma) {
            c.h = mcuWidth_ / 8;
            c.v = mcuHeight_ / 8;
        } else {
            c.downH = mcuWidth_ / 8;
            c.downV = mcuHeight_ / 8;
        }
        c.quantTable = (chroma && chromaTables) ? 1 : 0;
        c.huffTable = chroma ? 1 : 0;
        if (!c.full.Allocate(static_cast<std::int64_t>(rowWidth_) * mcuHeight_))
            return JpegStatus::kInternalError;
        if ((c.downH != 1 || c.downV != 1) &&
            !c.down.Allocate(static_cast<std::int64_t>(rowWidth_ / c.downH) * (mcuHeight_ / c.downV)))
            return JpegStatus::kInternalError;
    }

    const int quality = std::clamp(quality_, 1, 100);  // the scaling divides by the quality
    for (int t = 0; t < 2; ++t) {
        std::memcpy(rawQuant_[t], kBaseQuant[t].data(), 64);
        if (lumiQuantFwdRawTableInit_JPEG_8u(rawQuant_[t], quality) < 0) return JpegStatus::kInternalError;
        if (lumiQuantFwdTableInit_JPEG_8u16u(rawQuant_[t], fwdQuant_[t]) < 0)
            return JpegStatus::kInternalError;
    }
    for (int t = 0; t < 4; ++t) {
        LumEncodeHuffmanSpecPtr& spec = t < 2 ? dcSpec_[t] : acSpec_[t - 2];
        if (LumInitAlloc(spec, lumiEncodeHuffmanSpecInitAlloc_JPEG_8u, kHuffman[t].bits, kHuffman[t].values) <
            0)
            return JpegStatus::kInternalError;
    }
    if (LumInitAlloc(huffState_, lumiEncodeHuffmanStateInitAlloc_JPEG_8u) < 0)
        return JpegStatus::kInternalError;
    PlanMcuBlocks();
    return JpegStatus::kOk;
}

// The MCU's blocks: each component's V rows of H blocks, from its downsampled plane when it has one.
void JpegEncoder::PlanMcuBlocks() {
    mcuBlockCount_ = 0;
    for (int i = 0; i < componentCount_; ++i) {
        Component& c = components_[i];
        const bool down = !c.down.empty();
        const Lum8u* plane = down ? c.down.data() : c.full.data();
        const int step = down ? rowWidth_ / c.downH : rowWidth_;
        for (int v = 0; v < c.v; ++v) {
            for (int h = 0; h < c.h; ++h) {
                McuBlock& b = mcuBlocks_[mcuBlockCount_++];
                b.samples = plane + static_cast<std::ptrdiff_t>(v) * 8 * step + h * 8;
                b.step = step;
                b.mcuStride = c.h * 8;
                b.quant = fwdQuant_[c.quantTable];
                b.lastDc = &c.lastDc;
                b.dc = dcSpec_[c.huffTable].get();
                b.ac = acSpec_[c.huffTable].get();
            }
        }
    }
}

JpegStatus JpegEncoder::WriteImage(std::uint8_t* destination, int* size) {
    if (destination == nullptr || size == nullptr || *size <= 0) return JpegStatus::kDataExhausted;
    out_ = destination;
    capacity_ = *size;
    written_ = 0;
    JpegStatus st = SetUp();
    if (st == JpegStatus::kOk) st = WriteHeaders();
    if (st == JpegStatus::kOk) st = WriteScanData();
    if (st != JpegStatus::kOk) return st;
    if (!Room(2)) return JpegStatus::kDataExhausted;
    Put16(0xFFD9);  // EOI
    *size = written_;
    return JpegStatus::kOk;
}

JpegStatus JpegEncoder::WriteHeaders() {
    const JpegColour j = jpegColour_;
    if (!Room(2)) return JpegStatus::kDataExhausted;
    Put16(0xFFD8);  // SOI

    if (j == kJpegColourGrey || j == kJpegColourYCbCr) {
        static constexpr Lum8u kJfif[18] = {0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0,
                                            1,    2,    0, 0,  1,   0,   1,   0,   0};
        if (!Room(18)) return JpegStatus::kDataExhausted;
        for (Lum8u b : kJfif) Put8(b);
    }
    if (j == kJpegColourRGB || j == kJpegColourCMYK || j == kJpegColourYCCK) {
        static constexpr Lum8u kAdobe[15] = {0xFF, 0xEE, 0, 14, 'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0};
        if (!Room(16)) return JpegStatus::kDataExhausted;
        for (Lum8u b : kAdobe) Put8(b);
        Put8(j == kJpegColourYCCK ? 2 : 0);  // transform
    }

    const int commentLength = static_cast<int>(std::strlen(kComment)) + 1;  // with its zero byte
    if (!Room(4 + commentLength)) return JpegStatus::kDataExhausted;
    Put16(0xFFFE);
    Put16(commentLength + 2);
    for (int i = 0; i < commentLength; ++i) Put8(kComment[i]);

    const int quantTables = componentCount_ > 1 ? 2 : 1;
    for (int t = 0; t < quantTables; ++t) {
        if (!Room(69)) return JpegStatus::kDataExhausted;
        Put16(0xFFDB);
        Put16(67);
        Put8(t);  // 8-bit precision, identifier t
        for (int i = 0; i < 64; ++i) Put8(rawQuant_[t][i]);
    }

    if (!Room(10 + 3 * componentCount_)) return JpegStatus::kDataExhausted;
    Put16(0xFFC0);
    Put16(8 + 3 * componentCount_);
    Put8(8);
    Put16(height_);
    Put16(width_);
    Put8(componentCount_);
    for (int i = 0; i < componentCount_; ++i) {
        const Component& c = components_[i];
        Put8(c.id);
        Put8((c.h << 4) | c.v);
        Put8(c.quantTable);
    }

    for (int t = 0; t < 4; ++t) {
        const int tableClass = t / 2;
        const int id = t % 2;
        if (id == 1 && componentCount_ == 1) continue;
        const HuffmanSource& h = kHuffman[t];
        if (!Room(21 + h.count)) return JpegStatus::kDataExhausted;
        Put16(0xFFC4);
        Put16(19 + h.count);
        Put8((tableClass << 4) | id);
        for (int i = 0; i < 16; ++i) Put8(h.bits[i]);
        for (int i = 0; i < h.count; ++i) Put8(h.values[i]);
    }

    if (restartInterval_ != 0) {
        if (!Room(6)) return JpegStatus::kDataExhausted;
        Put16(0xFFDD);
        Put16(4);
        Put16(restartInterval_);
    }
    restartsToGo_ = restartInterval_;
    restartNumber_ = 0;

    if (!Room(8 + 2 * componentCount_)) return JpegStatus::kDataExhausted;
    Put16(0xFFDA);
    Put16(6 + 2 * componentCount_);
    Put8(componentCount_);
    for (int i = 0; i < componentCount_; ++i) {
        Put8(components_[i].id);
        Put8((components_[i].huffTable << 4) | components_[i].huffTable);
    }
    Put8(0);   // Ss
    Put8(63);  // Se
    Put8(0);   // Ah, Al
    return JpegStatus::kOk;
}

JpegStatus JpegEncoder::WriteScanData() {
    if (lumiEncodeHuffmanStateInit_JPEG_8u(huffState_.get()) < 0) return JpegStatus::kInternalError;
    for (int i = 0; i < componentCount_; ++i) components_[i].lastDc = 0;
    for (int row = 0; row < mcuRows_; ++row) {
        const int rows = std::min(mcuHeight_, height_ - row * mcuHeight_);
        JpegStatus st = ConvertRow(row, rows);
        if (st != JpegStatus::kOk) return st;
        for (int i = 0; i < componentCount_; ++i) {
            st = ExtendAndDownsample(components_[i], rows);
            if (st != JpegStatus::kOk) return st;
        }
        for (int mx = 0; mx < mcusPerRow_; ++mx) {
            if (restartInterval_ != 0 && restartsToGo_ == 0) {
                st = FlushBits();
                if (st != JpegStatus::kOk) return st;
                if (lumiEncodeHuffmanStateInit_JPEG_8u(huffState_.get()) < 0)
                    return JpegStatus::kInternalError;
                if (!Room(2)) return JpegStatus::kDataExhausted;
                Put8(0xFF);
                Put8(0xD0 + restartNumber_);
                restartNumber_ = (restartNumber_ + 1) & 7;
                for (int i = 0; i < componentCount_; ++i) components_[i].lastDc = 0;
                restartsToGo_ = restartInterval_;
            }
            st = EncodeMcu(mx);
            if (st != JpegStatus::kOk) return st;
            if (restartInterval_ != 0) --restartsToGo_;
        }
    }
    return FlushBits();
}

JpegStatus JpegEncoder::FlushBits() {
    const LumStatus ls = lumiEncodeHuffman8x8_JPEG_16s1u_C1(nullptr, out_, capacity_, &written_, nullptr,
                                                            nullptr, nullptr, huffState_.get(), 1);
    return ls < 0 ? LumFailure(ls) : JpegStatus::kOk;
}

JpegStatus JpegEncoder::ConvertRow(int mcuRow, int rows) {
    const std::uint8_t* src = src_ + static_cast<std::ptrdiff_t>(lineStep_) * mcuHeight_ * mcuRow;
    const LumiSize size{width_, rows};
    Lum8u* const planes[4] = {components_[0].full.data(), components_[1].full.data(),
                              components_[2].full.data(), components_[3].full.data()};
    LumStatus ls = lumStsNoErr;
    switch (conversion_) {
        case kConvCopy1:
            ls = lumiCopy_8u_C1R(src, lineStep_, planes[0], rowWidth_, size);
            break;
        case kConvCopy3:
            ls = lumiCopy_8u_C3P3R(src, lineStep_, planes, rowWidth_, size);
            break;
        case kConvCopy4:
            ls = lumiCopy_8u_C4P4R(src, lineStep_, planes, rowWidth_, size);
            break;
        case kConvRgbToY:
            ls = lumiRGBToY_JPEG_8u_C3C1R(src, lineStep_, planes[0], rowWidth_, size);
            break;
        case kConvRgbToYcc:
            ls = lumiRGBToYCbCr_JPEG_8u_C3P3R(src, lineStep_, planes, rowWidth_, size);
            break;
        case kConvBgrToYcc:
            ls = lumiBGRToYCbCr_JPEG_8u_C3P3R(src, lineStep_, planes, rowWidth_, size);
            break;
        case kConvCmykToYcck:
            ls = lumiCMYKToYCCK_JPEG_8u_C4P4R(src, lineStep_, planes, rowWidth_, size);
            break;
        default:
            return JpegStatus::kNotSupported;
    }
    return ls < 0 ? JpegStatus::kInternalError : JpegStatus::kOk;
}

// Repeats the last real column and line into the MCU padding, then downsamples the row.
JpegStatus JpegEncoder::ExtendAndDownsample(Component& c, int rows) {
    Lum8u* full = c.full.data();
    if (rightPadding_ > 0) {
        for (int y = 0; y < rows; ++y) {
            Lum8u* line = full + static_cast<std::ptrdiff_t>(y) * rowWidth_;
            if (lumsSet_8u(line[width_ - 1], line + width_, rightPadding_) < 0)
                return JpegStatus::kInternalError;
        }
    }
    for (int y = rows; y < mcuHeight_; ++y) {
        if (lumsCopy_8u(full + static_cast<std::ptrdiff_t>(rows - 1) * rowWidth_,
                        full + static_cast<std::ptrdiff_t>(y) * rowWidth_, rowWidth_) < 0)
            return JpegStatus::kInternalError;
    }
    if (c.downH == 1 && c.downV == 1) return JpegStatus::kOk;  // blocks are read from `full` directly
    const LumiSize srcSize{rowWidth_, mcuHeight_};
    const LumiSize dstSize{rowWidth_ / c.downH, mcuHeight_ / c.downV};
    const LumStatus ls =
        c.downV == 2
            ? lumiSampleDownH2V2_JPEG_8u_C1R(full, rowWidth_, srcSize, c.down.data(), dstSize.width, dstSize)
            : lumiSampleDownH2V1_JPEG_8u_C1R(full, rowWidth_, srcSize, c.down.data(), dstSize.width, dstSize);
    return ls < 0 ? JpegStatus::kInternalError : JpegStatus::kOk;
}

JpegStatus JpegEncoder::EncodeMcu(int mcuX) {
    LumiEncodeHuffmanState* const state = huffState_.get();
    for (int i = 0; i < mcuBlockCount_; ++i) {
        const McuBlock& b = mcuBlocks_[i];
        if (lumiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(b.samples + static_cast<std::ptrdiff_t>(mcuX) * b.mcuStride,
                                                b.step, block_, b.quant) < 0)
            return JpegStatus::kInternalError;
        const LumStatus ls = lumiEncodeHuffman8x8_JPEG_16s1u_C1(block_, out_, capacity_, &written_, b.lastDc,
                                                                b.dc, b.ac, state, 0);
        if (ls < 0) return LumFailure(ls);
    }
    return JpegStatus::kOk;
}

}  // namespace vello
