// JpegDecoder: marker parsing, scan loops and buffer management. Every sample and bit goes through
// Lumacore; this file only moves pointers, counts blocks and copies edge samples.
#include "vello/jpeg/jpeg_decoder.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace vello {

namespace {

enum ColourOp : int {
    kOpNone = 0,  // nothing is written
    kOpCopy1,     // one plane as it is
    kOpCopy3,     // three planes interleaved in order
    kOpCopy4,     // four planes interleaved in order (CMYK, or unknown 4-component)
    kOpGreyTo3,   // plane 1 three times
    kOpRgbToRgb,  // planes 1, 2, 3
    kOpRgbToBgr,  // planes 3, 2, 1
    kOpYccToRgb,
    kOpYccToBgr,
    kOpYcckToCmyk,
};

int OpBytesPerPixel(int op) {
    switch (op) {
        case kOpCopy1:
            return 1;
        case kOpCopy4:
        case kOpYcckToCmyk:
            return 4;
        case kOpNone:
            return 0;
        default:
            return 3;
    }
}

int OpPlanes(int op) {
    switch (op) {
        case kOpCopy1:
        case kOpGreyTo3:
            return 1;
        case kOpCopy4:
        case kOpYcckToCmyk:
            return 4;
        case kOpNone:
            return 0;
        default:
            return 3;
    }
}

int CeilDiv(int a, int b) {
    return (a + b - 1) / b;
}

}  // namespace

// A DQT table: the 64 raw values in zig-zag order as the file carries them, and the dequantisation table
// that the inverse transform takes (natural order).
struct JpegDecoder::QuantTable {
    int id = 0;
    int precision = 0;
    alignas(32) Lum8u raw[64] = {};
    alignas(32) Lum16u inverse[64] = {};
};

// A DHT table and the decoding specification built from it.
struct JpegDecoder::HuffmanTable {
    int id = 0;
    int tableClass = 0;  // 0 DC, 1 AC
    Lum8u counts[16] = {};
    Lum8u values[256] = {};
    LumDecodeHuffmanSpecPtr spec;
};

// One frame component. Samples of a component that is not upsampled live in `plane` (row step rowWidth_);
// those of a subsampled one live in `upsample` with a one-sample border on every side (row step
// upsampleStep), and `plane` receives the upsampled result.
struct JpegDecoder::Component {
    int id = 0;
    int index = 0;
    int h = 1;  // sampling factors from SOF
    int v = 1;
    int hUp = 1;  // upsampling factors, 1 or 2
    int vUp = 1;
    int quantSelector = 0;
    int dcSelector = 0;
    int acSelector = 0;
    bool finalDcDone = false;
    bool finalAcDone = false;
    Lum16s lastDc = 0;
    int sampleWidth = 0;  // real samples of this component, T.81 A.1.1
    int sampleHeight = 0;
    int blockOffset = 0;  // index of its first block in an MCU
    LumBuffer<Lum8u> plane;
    LumBuffer<Lum8u> upsample;
    int upsampleStep = 0;
    int upsampleSlotLines = 0;  // lines per slot including the border lines
};

JpegDecoder::JpegDecoder() {
    Reset();
}

JpegDecoder::~JpegDecoder() {
    Clean();
}

void JpegDecoder::Reset() {
    Clean();
    src_ = nullptr;
    srcLength_ = 0;
    pos_ = 0;
    width_ = height_ = componentCount_ = 0;
    sampling_ = kJpegSampling444;
    fileColour_ = kJpegColourUnknown;
    restartInterval_ = 0;
    progressive_ = false;
    hasJfif_ = hasJfxx_ = hasAdobe_ = false;
    jfif_ = JpegJfifInfo{};
    adobe_ = JpegAdobeInfo{};
    jfxxCode_ = 0;
    dst_ = nullptr;
    dstWidth_ = dstLineStep_ = dstHeight_ = dstChannels_ = 0;
    dstColour_ = kJpegColourUnknown;
}

void JpegDecoder::Clean() {
    for (auto& c : components_) c.reset();
    for (auto& t : quant_) t.reset();
    for (auto& t : dcTables_) t.reset();
    for (auto& t : acTables_) t.reset();
    coefficients_.Release();
    comment_.reset();
    commentLength_ = 0;
    huffState_.reset();
    buffersReady_ = false;
    haveFrame_ = false;
    headerRead_ = false;
    scansDecoded_ = 0;
    scanComponentCount_ = 0;
    pendingMarker_ = 0;
    progressiveDirty_ = false;
    reconstructed_ = false;
}

JpegStatus JpegDecoder::Refuse(const char* why) {
    refusal_ = why;
    return JpegStatus::kNotSupported;
}

const char* JpegDecoder::Reason(JpegStatus status) const {
    return status == JpegStatus::kNotSupported && refusal_ != nullptr ? refusal_ : JpegStatusText(status);
}

int JpegDecoder::SetSource(const std::uint8_t* bytes, int length) {
    refusal_ = nullptr;
    src_ = bytes;
    srcLength_ = (bytes != nullptr && length > 0) ? length : 0;
    pos_ = 0;
    pendingMarker_ = 0;
    return 0;
}

int JpegDecoder::SetDestination(std::uint8_t* pixels, int width, int lineStep, int height, int channels,
                                JpegColour colour) {
    dst_ = pixels;
    dstWidth_ = width;
    dstLineStep_ = lineStep;
    dstHeight_ = height;
    dstChannels_ = channels;
    dstColour_ = colour;
    return 0;
}

// ---- Source reading ----

int JpegDecoder::ReadByte() {
    if (pos_ >= srcLength_) return 0;  // callers check lengths first; this only keeps reads inside
    return src_[pos_++];
}

int JpegDecoder::ReadWord() {
    const int hi = ReadByte();
    return (hi << 8) | ReadByte();
}

JpegStatus JpegDecoder::SearchMarker(int* marker) {
    for (;;) {
        while (pos_ < srcLength_ && src_[pos_] != 0xFF) ++pos_;
        while (pos_ < srcLength_ && src_[pos_] == 0xFF) ++pos_;  // fill bytes
        if (pos_ >= srcLength_) return JpegStatus::kDataExhausted;
        const int m = src_[pos_++];
        if (m != 0) {  // FF 00 is a stuffed data byte, not a marker
            *marker = m;
            return JpegStatus::kOk;
        }
    }
}

// Reads a segment's length and checks that the whole segment is in the source. `payload` is the
// number of bytes after the length field.
JpegStatus JpegDecoder::BeginSegment(int* payload) {
    if (srcLength_ - pos_ < 2) return JpegStatus::kDataExhausted;
    const int length = ReadWord();
    if (length < 2) return JpegStatus::kBadLength;  // would step backwards and loop forever
    if (length - 2 > srcLength_ - pos_) return JpegStatus::kDataExhausted;
    *payload = length - 2;
    return JpegStatus::kOk;
}

JpegStatus JpegDecoder::SkipSegment() {
    int payload = 0;
    const JpegStatus st = BeginSegment(&payload);
    if (st != JpegStatus::kOk) return st;
    pos_ += payload;
    return JpegStatus::kOk;
}

// ---- Public entry points ----

JpegStatus JpegDecoder::ReadHeader(int* width, int* height, int* components, JpegColour* colour,
                                   JpegSampling* sampling) {
    // Facts of an earlier image must not describe this one: an Adobe marker seen once would turn every
    // later YCbCr picture of a stream into RGB, and a stale restart interval would break its decoding.
    hasJfif_ = hasJfxx_ = hasAdobe_ = false;
    restartInterval_ = 0;
    headerRead_ = false;
    const JpegStatus st = RunMarkers(false);
    if (st != JpegStatus::kOk) return st;
    if (!haveFrame_) return JpegStatus::kBadFrameHeader;
    if (!headerRead_) return JpegStatus::kDataExhausted;  // the image ended before its first scan
    if (width) *width = width_;
    if (height) *height = height_;
    if (components) *components = componentCount_;
    if (colour) *colour = fileColour_;
    if (sampling) *sampling = sampling_;
    return JpegStatus::kOk;
}

JpegStatus JpegDecoder::ReadData() {
    if (!haveFrame_ || !headerRead_) return JpegStatus::kBadFrameHeader;
    const JpegStatus st = PrepareOutput();
    if (st != JpegStatus::kOk) return st;
    return RunMarkers(true);
}

// ---- Marker loop ----

JpegStatus JpegDecoder::RunMarkers(bool dataMode) {
    for (;;) {
        int marker = pendingMarker_;
        pendingMarker_ = 0;
        if (marker == 0xFF) {
            // The bit reader stopped at a fill byte: search again from it.
            if (pos_ > 0) --pos_;
            marker = 0;
        }
        if (marker == 0) {
            const JpegStatus st = SearchMarker(&marker);
            if (st != JpegStatus::kOk) return st;
        }

        JpegStatus st = JpegStatus::kOk;
        if (marker < 0xC0) {
            st = SkipSegment();
        } else if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
            // A second frame after the scans began would not fit the buffers sized for the first.
            if (dataMode) return JpegStatus::kBadFrameHeader;
            st = ReadFrameHeader(marker == 0xC2);
        } else if (marker >= 0xC9 && marker <= 0xCF && marker != 0xCC) {
            return Refuse("arithmetic coding is not supported");
        } else if (marker == 0xC3) {
            return Refuse("lossless coding is not supported");
        } else if (marker >= 0xC5 && marker <= 0xC7) {
            return Refuse("hierarchical coding is not supported");
        } else if (marker == 0xC4) {
            st = ReadHuffmanTables();
        } else if (marker >= 0xD0 && marker <= 0xD7) {
            expectedRestart_ = (expectedRestart_ + 1) & 7;
        } else if (marker == 0xD8) {
            // SOI: nothing to do
        } else if (marker == 0xD9) {
            if (dataMode && progressive_ && progressiveDirty_) return ReconstructProgressive();
            return JpegStatus::kOk;
        } else if (marker == 0xDA) {
            const int sosStart = pos_ - 2;
            st = ReadScanHeader();
            if (st != JpegStatus::kOk) return st;
            if (!dataMode) {
                pos_ = sosStart;
                headerRead_ = true;
                return JpegStatus::kOk;
            }
            st = AllocateBuffers();
            if (st != JpegStatus::kOk) return st;
            if (++scansDecoded_ > limits_.maxScans) return Refuse("more scans than the decoder's limit");
            st = progressive_ ? DecodeProgressiveScan() : DecodeSequential();
        } else if (marker == 0xDB) {
            st = ReadQuantTables();
        } else if (marker == 0xDD) {
            st = ReadRestartInterval();
        } else if (marker == 0xE0) {
            st = ReadApp0();
        } else if (marker == 0xEE) {
            st = ReadApp14();
        } else if (marker == 0xFE) {
            st = ReadComment();
        } else {
            st = SkipSegment();  // JPG, DAC, DNL, DHP, EXP, APPn, JPGn
        }
        if (st != JpegStatus::kOk) return st;
    }
}

// ---- Segments ----

JpegStatus JpegDecoder::ReadFrameHeader(bool progressive) {
    int payload = 0;
    JpegStatus st = BeginSegment(&payload);
    if (st != JpegStatus::kOk) return st;
    if (payload < 6) return JpegStatus::kBadLength;
    const int precision = ReadByte();
    if (precision == 12) return Refuse("12-bit samples are not supported");
    if (precision != 8) return Refuse("sample precision other than 8 bits is not supported");
    const int height = ReadWord();
    const int width = ReadWord();
    const int count = ReadByte();
    if (count > 4) return JpegStatus::kBadFrameHeader;
    if (payload - 6 != 3 * count) return JpegStatus::kBadLength;
    if (count == 0) return JpegStatus::kBadFrameHeader;

    // A new frame: buffers sized for an earlier one must not be reused, even when the caller skipped Clean.
    haveFrame_ = false;
    componentCount_ = 0;
    for (auto& c : components_) c.reset();
    coefficients_.Release();
    buffersReady_ = false;
    scansDecoded_ = 0;
    progressiveDirty_ = false;
    reconstructed_ = false;
    for (int i = 0; i < count; ++i) {
        auto c = std::make_unique<Component>();
        c->id = ReadByte();
        c->index = i;
        const int hv = ReadByte();
        c->h = hv >> 4;
        c->v = hv & 15;
        c->quantSelector = ReadByte();
        if (c->h < 1 || c->v < 1) return JpegStatus::kBadFrameHeader;
        if (c->quantSelector > 3) return JpegStatus::kBadFrameHeader;
        components_[i] = std::move(c);
    }
    componentCount_ = count;
    width_ = width;
    height_ = height;
    progressive_ = progressive;

    // Sampling layout.
    auto is = [&](int i, int h, int v) { return components_[i]->h == h && components_[i]->v == v; };
    if (count == 1) {
        if (!is(0, 1, 1)) return JpegStatus::kBadSampling;
        sampling_ = kJpegSampling444;
    } else if (count == 3 || count == 4) {
        sampling_ = kJpegSamplingOther;
        if (is(1, 1, 1) && is(2, 1, 1)) {
            if (is(0, 1, 1))
                sampling_ = kJpegSampling444;
            else if (is(0, 2, 1))
                sampling_ = kJpegSampling422;
            else if (is(0, 2, 2))
                sampling_ = kJpegSampling420;
            if (count == 4 && !is(3, components_[0]->h, components_[0]->v)) sampling_ = kJpegSamplingOther;
        }
    } else {
        // Two components have no colour conversion to go to; and a layout left over from the previous image
        // would not match these sampling factors.
        sampling_ = kJpegSamplingOther;
    }
    for (int i = 0; i < count; ++i) {
        Component& c = *components_[i];
        const bool chroma = (i == 1 || i == 2);
        c.hUp = (chroma && sampling_ != kJpegSampling444 && sampling_ != kJpegSamplingOther) ? 2 : 1;
        c.vUp = (chroma && sampling_ == kJpegSampling420) ? 2 : 1;
    }

    if (width == 0) return JpegStatus::kBadFrameHeader;
    if (height == 0) return Refuse("a height defined by a DNL segment is not supported");
    if (static_cast<std::int64_t>(width) * height > limits_.maxPixels)
        return Refuse("the picture is larger than the decoder's pixel limit");
    ComputeGeometry();
    haveFrame_ = true;
    return JpegStatus::kOk;
}

void JpegDecoder::ComputeGeometry() {
    mcuWidth_ = (sampling_ == kJpegSampling444) ? 8 : 16;
    mcuHeight_ = (sampling_ == kJpegSampling420) ? 16 : 8;
    mcusPerRow_ = CeilDiv(width_, mcuWidth_);
    mcuRows_ = CeilDiv(height_, mcuHeight_);
    rowWidth_ = mcusPerRow_ * mcuWidth_;
    paddedHeight_ = mcuRows_ * mcuHeight_;
    blocksPerMcu_ = 0;
    const int hMax = mcuWidth_ / 8;
    const int vMax = mcuHeight_ / 8;
    for (int i = 0; i < componentCount_; ++i) {
        Component& c = *components_[i];
        c.blockOffset = blocksPerMcu_;
        blocksPerMcu_ += c.h * c.v;
        c.sampleWidth = CeilDiv(width_ * c.h, hMax);
        c.sampleHeight = CeilDiv(height_ * c.v, vMax);
    }
}

JpegStatus JpegDecoder::ReadHuffmanTables() {
    int remaining = 0;
    JpegStatus st = BeginSegment(&remaining);
    if (st != JpegStatus::kOk) return st;
    while (remaining > 16) {
        auto table = std::make_unique<HuffmanTable>();
        const int classAndId = ReadByte();
        int total = 0;
        for (int i = 0; i < 16; ++i) {
            table->counts[i] = static_cast<Lum8u>(ReadByte());
            total += table->counts[i];
        }
        remaining -= 17;
        if (total > 256 || total > remaining) return JpegStatus::kBadHuffmanTable;
        for (int i = 0; i < total; ++i) table->values[i] = static_cast<Lum8u>(ReadByte());
        remaining -= total;
        table->tableClass = classAndId >> 4;
        table->id = classAndId & 15;
        if (table->id > 3 || table->tableClass > 1) return JpegStatus::kBadHuffmanTable;
        const LumStatus ls =
            LumInitAlloc(table->spec, lumiDecodeHuffmanSpecInitAlloc_JPEG_8u, table->counts, table->values);
        if (ls < 0)
            return ls == lumStsJpegHuffTableErr ? JpegStatus::kBadHuffmanTable : JpegStatus::kInternalError;
        (table->tableClass == 0 ? dcTables_ : acTables_)[table->id] = std::move(table);
    }
    return remaining == 0 ? JpegStatus::kOk : JpegStatus::kBadLength;
}

JpegStatus JpegDecoder::ReadQuantTables() {
    int remaining = 0;
    JpegStatus st = BeginSegment(&remaining);
    if (st != JpegStatus::kOk) return st;
    while (remaining > 0) {
        const int pq = ReadByte();
        auto table = std::make_unique<QuantTable>();
        table->precision = pq >> 4;
        table->id = pq & 15;
        if (table->id > 3 || table->precision > 1) return JpegStatus::kBadQuantTable;
        const int bytes = 65 + 64 * table->precision;
        if (bytes > remaining) return JpegStatus::kBadLength;
        for (int i = 0; i < 64; ++i) {
            // The primitives take 8-bit tables; a 16-bit value (meant for 12-bit samples) saturates
            // rather than wrapping to a small or zero quantiser.
            const int value = table->precision ? ReadWord() : ReadByte();
            table->raw[i] = static_cast<Lum8u>(std::min(value, 255));
        }
        remaining -= bytes;
        if (lumiQuantInvTableInit_JPEG_8u16u(table->raw, table->inverse) < 0)
            return JpegStatus::kInternalError;
        quant_[table->id] = std::move(table);
    }
    return JpegStatus::kOk;
}

JpegStatus JpegDecoder::ReadRestartInterval() {
    int payload = 0;
    const JpegStatus st = BeginSegment(&payload);
    if (st != JpegStatus::kOk) return st;
    if (payload != 2) return JpegStatus::kBadLength;
    restartInterval_ = ReadWord();
    restartsToGo_ = restartInterval_;
    return JpegStatus::kOk;
}

JpegStatus JpegDecoder::ReadScanHeader() {
    int payload = 0;
    JpegStatus st = BeginSegment(&payload);
    if (st != JpegStatus::kOk) return st;
    if (payload < 1) return JpegStatus::kBadLength;
    const int count = ReadByte();
    if (count < 1 || count > 4) return JpegStatus::kBadScanHeader;
    if (!progressive_ && count != componentCount_)
        return Refuse("non-interleaved sequential scans are not supported");
    if (payload != 2 * count + 4) return JpegStatus::kBadLength;
    bool named[4] = {false, false, false, false};
    for (int i = 0; i < count; ++i) {
        const int id = ReadByte();
        const int selectors = ReadByte();
        int found = -1;
        for (int k = 0; k < componentCount_; ++k) {
            if (components_[k] && components_[k]->id == id) {
                found = k;
                break;
            }
        }
        if (found < 0) return JpegStatus::kBadComponentId;
        if (named[found]) return JpegStatus::kBadScanHeader;  // the same component twice in one scan
        named[found] = true;
        if ((selectors >> 4) > 3 || (selectors & 15) > 3) return JpegStatus::kBadScanHeader;
        Component& c = *components_[found];
        c.dcSelector = selectors >> 4;
        c.acSelector = selectors & 15;
        scanComponents_[i] = found;
    }
    scanComponentCount_ = count;
    ss_ = ReadByte();
    se_ = ReadByte();
    const int ahal = ReadByte();
    ah_ = ahal >> 4;
    al_ = ahal & 15;
    // An AC band belongs to one component (T.81 G.1.1.1.1).
    if (progressive_ && ss_ != 0 && se_ != 0 && count != 1) return JpegStatus::kBadScanHeader;

    DecideFileColour();
    restartsToGo_ = restartInterval_;
    expectedRestart_ = 0;
    return JpegStatus::kOk;
}

void JpegDecoder::DecideFileColour() {
    const int n = componentCount_;
    fileColour_ = n == 1 ? kJpegColourGrey : n == 3 ? kJpegColourYCbCr : kJpegColourUnknown;
    if (hasAdobe_) {
        switch (adobe_.transform) {
            case 0:
                fileColour_ = n == 1   ? kJpegColourGrey
                              : n == 3 ? kJpegColourRGB
                              : n == 4 ? kJpegColourCMYK
                                       : kJpegColourUnknown;
                break;
            case 1:
                fileColour_ = kJpegColourYCbCr;
                break;
            case 2:
                fileColour_ = kJpegColourYCCK;
                break;
            default:
                fileColour_ = kJpegColourUnknown;
                break;
        }
    }
}

JpegStatus JpegDecoder::ReadApp0() {
    int payload = 0;
    const JpegStatus st = BeginSegment(&payload);
    if (st != JpegStatus::kOk) return st;
    const int end = pos_ + payload;
    if (payload >= 14 && std::memcmp(src_ + pos_, "JFIF", 5) == 0) {
        pos_ += 5;
        hasJfif_ = true;
        jfif_.versionMajor = ReadByte();
        jfif_.versionMinor = ReadByte();
        jfif_.densityUnits = ReadByte();
        jfif_.xDensity = ReadWord();
        jfif_.yDensity = ReadWord();
        jfif_.thumbnailWidth = ReadByte();
        jfif_.thumbnailHeight = ReadByte();
    }
    if (end - pos_ >= 6 && std::memcmp(src_ + pos_, "JFXX", 5) == 0) {
        pos_ += 5;
        hasJfxx_ = true;
        jfxxCode_ = ReadByte();
    }
    pos_ = end;  // thumbnails are never decoded
    return JpegStatus::kOk;
}

JpegStatus JpegDecoder::ReadApp14() {
    int payload = 0;
    const JpegStatus st = BeginSegment(&payload);
    if (st != JpegStatus::kOk) return st;
    const int end = pos_ + payload;
    if (payload >= 12 && std::memcmp(src_ + pos_, "Adobe", 5) == 0) {
        pos_ += 5;
        hasAdobe_ = true;
        adobe_.version = ReadWord();
        adobe_.flags0 = ReadWord();
        adobe_.flags1 = ReadWord();
        adobe_.transform = ReadByte();
    }
    pos_ = end;
    return JpegStatus::kOk;
}

JpegStatus JpegDecoder::ReadComment() {
    int payload = 0;
    const JpegStatus st = BeginSegment(&payload);
    if (st != JpegStatus::kOk) return st;
    comment_ = std::make_unique<char[]>(static_cast<std::size_t>(payload) + 1);
    if (payload > 0) std::memcpy(comment_.get(), src_ + pos_, static_cast<std::size_t>(payload));
    comment_[static_cast<std::size_t>(payload)] = 0;
    commentLength_ = payload;
    pos_ += payload;
    return JpegStatus::kOk;
}

// ---- Output and buffers ----

// Chooses the colour conversion for the file's colour and the requested one, and checks that the
// destination can take what it writes.
JpegStatus JpegDecoder::PrepareOutput() {
    const JpegColour in = fileColour_;
    const JpegColour out = dstColour_;
    int op = kOpNone;
    if (in == kJpegColourUnknown && out == kJpegColourUnknown) {
        if (componentCount_ == 1)
            op = kOpCopy1;
        else if (componentCount_ == 3)
            op = kOpCopy3;
        else if (componentCount_ == 4)
            op = kOpCopy4;
        else
            return Refuse("no colour conversion for this component count");
    } else if (in == kJpegColourGrey && out == kJpegColourGrey) {
        op = kOpCopy1;
    } else if (in == kJpegColourGrey && (out == kJpegColourRGB || out == kJpegColourBGR)) {
        op = kOpGreyTo3;
    } else if (in == kJpegColourRGB && out == kJpegColourRGB) {
        op = kOpRgbToRgb;
    } else if (in == kJpegColourRGB && out == kJpegColourBGR) {
        op = kOpRgbToBgr;
    } else if (in == kJpegColourYCbCr && out == kJpegColourRGB) {
        op = kOpYccToRgb;
    } else if (in == kJpegColourYCbCr && out == kJpegColourBGR) {
        op = kOpYccToBgr;
    } else if (in == kJpegColourCMYK && out == kJpegColourCMYK) {
        op = kOpCopy4;
    } else if (in == kJpegColourYCCK && out == kJpegColourCMYK) {
        op = kOpYcckToCmyk;
    }
    // An Adobe transform can claim more colour planes than the frame has.
    if (OpPlanes(op) > componentCount_)
        return Refuse("the colour transform needs more components than the frame has");
    outWidth_ = std::min(dstWidth_, width_);
    if (outWidth_ <= 0 || dstHeight_ <= 0) op = kOpNone;
    if (op != kOpNone) {
        // Rows must not overlap or run past the line step.
        if (dst_ == nullptr) return Refuse("no destination");
        if (static_cast<std::int64_t>(outWidth_) * OpBytesPerPixel(op) > dstLineStep_)
            return Refuse("the destination's line step is too short for its width");
    }
    colourOp_ = op;
    return JpegStatus::kOk;
}

JpegStatus JpegDecoder::AllocateBuffers() {
    if (buffersReady_) return JpegStatus::kOk;
    if (componentCount_ == 2) return Refuse("2-component images are not supported");
    if (sampling_ == kJpegSamplingOther)
        return Refuse("this sampling layout is not supported (4:4:4, 4:2:2 and 4:2:0 are)");
    // The coefficient buffer is checked first, so that a refused file allocates nothing.
    const std::int64_t mcuCoefficientBytes = static_cast<std::int64_t>(blocksPerMcu_) * 64 * 2;
    std::int64_t coefficientBytes = mcuCoefficientBytes * mcusPerRow_;
    if (progressive_) {
        coefficientBytes *= mcuRows_;
        if (coefficientBytes > limits_.maxCoefficientBytes)
            return Refuse("the progressive coefficients exceed the decoder's memory limit");
        // Every block takes at least one bit in the DC scans, so a file too short for that many blocks is
        // cut off or hostile: refuse it before allocating for the whole picture.
        std::int64_t blocks = 0;
        for (int i = 0; i < componentCount_; ++i) {
            const Component& c = *components_[i];
            blocks += static_cast<std::int64_t>(CeilDiv(c.sampleWidth, 8)) * CeilDiv(c.sampleHeight, 8);
        }
        if (static_cast<std::int64_t>(srcLength_) * 8 < blocks) return JpegStatus::kDataExhausted;
    }
    const std::int64_t rowWidth = rowWidth_;
    for (int i = 0; i < componentCount_; ++i) {
        Component& c = *components_[i];
        const std::int64_t planeRows =
            progressive_ ? paddedHeight_ : 2 * mcuHeight_;  // sequential: two slots
        if (!c.plane.Allocate(rowWidth * planeRows)) return JpegStatus::kInternalError;
        if (c.hUp != 1 || c.vUp != 1) {
            c.upsampleStep = rowWidth_ / c.hUp + 2;
            std::int64_t lines = 0;
            if (progressive_) {
                c.upsampleSlotLines = paddedHeight_ / c.vUp + 2;
                lines = c.upsampleSlotLines;
            } else {
                c.upsampleSlotLines = c.v * 8 + 2;
                lines = 2 * c.upsampleSlotLines;
            }
            if (!c.upsample.Allocate(lines * c.upsampleStep)) return JpegStatus::kInternalError;
        }
    }
    if (!coefficients_.Allocate(coefficientBytes / 2)) return JpegStatus::kInternalError;
    if (huffState_ == nullptr && LumInitAlloc(huffState_, lumiDecodeHuffmanStateInitAlloc_JPEG_8u) < 0)
        return JpegStatus::kInternalError;
    buffersReady_ = true;
    return JpegStatus::kOk;
}

Lum8u* JpegDecoder::SampleOrigin(Component& c, int slot) {
    if (c.hUp == 1 && c.vUp == 1)
        return c.plane.data() + static_cast<std::ptrdiff_t>(slot) * rowWidth_ * mcuHeight_;
    return c.upsample.data() + static_cast<std::ptrdiff_t>(slot) * c.upsampleSlotLines * c.upsampleStep +
           c.upsampleStep + 1;
}

int JpegDecoder::SampleStep(const Component& c) const {
    return (c.hUp == 1 && c.vUp == 1) ? rowWidth_ : c.upsampleStep;
}

Lum16s* JpegDecoder::ProgressiveBlock(int mcuX, int mcuY, int blockInMcu) {
    const std::ptrdiff_t mcu = static_cast<std::ptrdiff_t>(mcuY) * mcusPerRow_ + mcuX;
    return coefficients_.data() + (mcu * blocksPerMcu_ + blockInMcu) * 64;
}

// ---- Entropy-coded data ----

JpegStatus JpegDecoder::RestartStep() {
    if (lumiDecodeHuffmanStateInit_JPEG_8u(huffState_.get()) < 0) return JpegStatus::kInternalError;
    for (int i = 0; i < componentCount_; ++i) components_[i]->lastDc = 0;
    if (pendingMarker_ == 0xFF) {
        if (pos_ > 0) --pos_;
        pendingMarker_ = 0;
    }
    if (pendingMarker_ == 0) {
        // Resynchronise at the next marker after a damaged interval. A marker other than RSTn (the end of
        // the image, say) stays pending, so that the blocks after it fail instead of reading a segment's
        // bytes as entropy-coded data; not finding any marker is not an error by itself.
        int marker = 0;
        if (SearchMarker(&marker) == JpegStatus::kOk && (marker < 0xD0 || marker > 0xD7))
            pendingMarker_ = marker;
    } else if (pendingMarker_ >= 0xD0 && pendingMarker_ <= 0xD7) {
        pendingMarker_ = 0;
    }
    expectedRestart_ = (expectedRestart_ + 1) & 7;
    restartsToGo_ = restartInterval_;
    return JpegStatus::kOk;
}

JpegStatus JpegDecoder::DecodeSequential() {
    if (lumiDecodeHuffmanStateInit_JPEG_8u(huffState_.get()) < 0) return JpegStatus::kInternalError;
    pendingMarker_ = 0;
    for (int i = 0; i < componentCount_; ++i) components_[i]->lastDc = 0;
    Lum16s* const rowCoefficients = coefficients_.data();
    // Row r is entropy-decoded and transformed into slot r % 2 before row r - 1 is upsampled and
    // converted: the triangle filter of a 4:2:0 image needs the first chroma line of the next row.
    for (int row = 0; row <= mcuRows_; ++row) {
        if (row < mcuRows_) {
            Lum16s* block = rowCoefficients;
            for (int mx = 0; mx < mcusPerRow_; ++mx) {
                if (restartInterval_ != 0 && restartsToGo_ == 0) {
                    const JpegStatus st = RestartStep();
                    if (st != JpegStatus::kOk) return st;
                }
                for (int i = 0; i < componentCount_; ++i) {
                    Component& c = *components_[i];
                    const HuffmanTable* dc = dcTables_[c.dcSelector].get();
                    const HuffmanTable* ac = acTables_[c.acSelector].get();
                    for (int b = 0; b < c.h * c.v; ++b) {
                        const LumStatus ls = lumiDecodeHuffman8x8_JPEG_1u16s_C1(
                            src_, srcLength_, &pos_, block, &c.lastDc, &pendingMarker_,
                            dc ? dc->spec.get() : nullptr, ac ? ac->spec.get() : nullptr, huffState_.get());
                        if (ls < 0) return JpegStatus::kInternalError;
                        block += 64;
                    }
                }
                if (restartInterval_ != 0) --restartsToGo_;
            }
            JpegStatus st = InverseTransformRow(rowCoefficients, row, row & 1);
            if (st == JpegStatus::kOk) st = SetLineAbove(row, row & 1);
            if (st != JpegStatus::kOk) return st;
        }
        if (row > 0) {
            const JpegStatus st = FinishSequentialRow(row - 1, (row - 1) & 1, row < mcuRows_);
            if (st != JpegStatus::kOk) return st;
        }
    }
    return JpegStatus::kOk;
}

JpegStatus JpegDecoder::InverseTransformRow(const Lum16s* coefficients, int mcuRow, int slot) {
    for (int mx = 0; mx < mcusPerRow_; ++mx) {
        const Lum16s* block = coefficients + static_cast<std::ptrdiff_t>(mx) * blocksPerMcu_ * 64;
        for (int i = 0; i < componentCount_; ++i) {
            Component& c = *components_[i];
            const QuantTable* q = quant_[c.quantSelector].get();
            const int step = SampleStep(c);
            Lum8u* origin = SampleOrigin(c, slot);
            const int firstLine = progressive_ ? mcuRow * c.v * 8 : 0;
            for (int v = 0; v < c.v; ++v) {
                for (int h = 0; h < c.h; ++h) {
                    Lum8u* out =
                        origin + static_cast<std::ptrdiff_t>(firstLine + v * 8) * step + (mx * c.h + h) * 8;
                    if (lumiDCTQuantInv8x8LS_JPEG_16s8u_C1R(block, out, step, q ? q->inverse : nullptr) < 0)
                        return JpegStatus::kInternalError;
                    block += 64;
                }
            }
        }
    }
    return JpegStatus::kOk;
}

// Fills the border of a subsampled component's lines for the triangle filter: `lines` points at the
// buffer's first (border) line, which holds `lineCount` lines; real samples are lines
// firstRealLine .. firstRealLine + realLines - 1 and columns 1 .. sampleWidth. The samples just past the
// real ones repeat the last real sample, as if the picture continued flat beyond its edge.
JpegStatus JpegDecoder::ExtendEdges(Component& c, Lum8u* lines, int lineCount, int firstRealLine,
                                    int realLines) {
    const int step = c.upsampleStep;
    const int last = rowWidth_ / c.hUp;  // column of the last decoded sample
    for (int y = 0; y < lineCount; ++y) {
        Lum8u* line = lines + static_cast<std::ptrdiff_t>(y) * step;
        line[0] = line[1];
        line[last + 1] = line[last];
        line[c.sampleWidth + 1] = line[c.sampleWidth];
    }
    if (realLines > 0 && firstRealLine + realLines < lineCount) {
        const Lum8u* lastReal = lines + static_cast<std::ptrdiff_t>(firstRealLine + realLines - 1) * step;
        if (lumsCopy_8u(lastReal, lines + static_cast<std::ptrdiff_t>(firstRealLine + realLines) * step,
                        step) < 0)
            return JpegStatus::kInternalError;
    }
    return JpegStatus::kOk;
}

JpegStatus JpegDecoder::Upsample(Component& c, const Lum8u* firstLine, int outRows, Lum8u* plane) {
    const LumiSize dstSize{rowWidth_, outRows};
    const LumiSize srcSize{rowWidth_ / c.hUp, (outRows + c.vUp - 1) / c.vUp};
    const LumStatus ls =
        c.vUp == 2
            ? lumiSampleUpH2V2_JPEG_8u_C1R(firstLine, c.upsampleStep, srcSize, plane, rowWidth_, dstSize)
            : lumiSampleUpH2V1_JPEG_8u_C1R(firstLine, c.upsampleStep, srcSize, plane, rowWidth_, dstSize);
    return ls < 0 ? JpegStatus::kInternalError : JpegStatus::kOk;
}

// Line 0 of a 4:2:0 chroma slot is the line above the MCU row: the last chroma line of the previous row
// (still unchanged in the other slot), or the row's own first line at the top of the image.
JpegStatus JpegDecoder::SetLineAbove(int mcuRow, int slot) {
    for (int i = 0; i < componentCount_; ++i) {
        Component& c = *components_[i];
        if (c.vUp != 2) continue;
        const int step = c.upsampleStep;
        Lum8u* lines = c.upsample.data() + static_cast<std::ptrdiff_t>(slot) * c.upsampleSlotLines * step;
        const Lum8u* above = lines + step;
        if (mcuRow > 0) {
            above = c.upsample.data() + static_cast<std::ptrdiff_t>(1 - slot) * c.upsampleSlotLines * step +
                    static_cast<std::ptrdiff_t>(c.v * 8) * step;
        }
        if (lumsCopy_8u(above, lines, step) < 0) return JpegStatus::kInternalError;
    }
    return JpegStatus::kOk;
}

JpegStatus JpegDecoder::FinishSequentialRow(int mcuRow, int slot, bool nextRowDecoded) {
    const int outRows = std::min(mcuHeight_, height_ - mcuRow * mcuHeight_);
    const Lum8u* planes[4] = {nullptr, nullptr, nullptr, nullptr};
    for (int i = 0; i < componentCount_; ++i) {
        Component& c = *components_[i];
        Lum8u* plane = c.plane.data() + static_cast<std::ptrdiff_t>(slot) * rowWidth_ * mcuHeight_;
        planes[i] = plane;
        if (c.hUp == 1 && c.vUp == 1) continue;
        const int step = c.upsampleStep;
        const int sampleLines = c.v * 8;
        Lum8u* lines = c.upsample.data() + static_cast<std::ptrdiff_t>(slot) * c.upsampleSlotLines * step;
        int realLines = sampleLines;
        if (c.vUp == 2) {
            // The line below: the first line of the next MCU row, or (at the bottom) the last real line.
            if (nextRowDecoded) {
                const Lum8u* below = c.upsample.data() +
                                     static_cast<std::ptrdiff_t>(1 - slot) * c.upsampleSlotLines * step +
                                     step;
                if (lumsCopy_8u(below, lines + static_cast<std::ptrdiff_t>(sampleLines + 1) * step, step) < 0)
                    return JpegStatus::kInternalError;
                realLines = sampleLines + 1;  // the line below is real data, not to be overwritten
            } else {
                realLines = std::clamp(c.sampleHeight - mcuRow * sampleLines, 1, sampleLines);
            }
        }
        const JpegStatus st = ExtendEdges(c, lines, c.upsampleSlotLines, 1, realLines);
        if (st != JpegStatus::kOk) return st;
        const JpegStatus us = Upsample(c, lines + step + 1, outRows, plane);
        if (us != JpegStatus::kOk) return us;
    }
    if (colourOp_ == kOpNone) return JpegStatus::kOk;
    return ConvertColour(planes, mcuRow * mcuHeight_, outRows);
}

JpegStatus JpegDecoder::ConvertColour(const Lum8u* const planes[4], int firstRow, int rows) {
    rows = std::min(rows, dstHeight_ - firstRow);
    if (rows <= 0 || colourOp_ == kOpNone) return JpegStatus::kOk;
    Lum8u* out = dst_ + static_cast<std::ptrdiff_t>(firstRow) * dstLineStep_;
    const LumiSize size{outWidth_, rows};
    const int step = rowWidth_;
    const int ds = dstLineStep_;
    LumStatus ls = lumStsNoErr;
    switch (colourOp_) {
        case kOpCopy1:
            ls = lumiCopy_8u_C1R(planes[0], step, out, ds, size);
            break;
        case kOpCopy3:
        case kOpRgbToRgb:
            ls = lumiCopy_8u_P3C3R(planes, step, out, ds, size);
            break;
        case kOpCopy4:
            ls = lumiCopy_8u_P4C4R(planes, step, out, ds, size);
            break;
        case kOpGreyTo3: {
            const Lum8u* const grey[3] = {planes[0], planes[0], planes[0]};
            ls = lumiCopy_8u_P3C3R(grey, step, out, ds, size);
            break;
        }
        case kOpRgbToBgr: {
            const Lum8u* const bgr[3] = {planes[2], planes[1], planes[0]};
            ls = lumiCopy_8u_P3C3R(bgr, step, out, ds, size);
            break;
        }
        case kOpYccToRgb:
            ls = lumiYCbCrToRGB_JPEG_8u_P3C3R(planes, step, out, ds, size);
            break;
        case kOpYccToBgr:
            ls = lumiYCbCrToBGR_JPEG_8u_P3C3R(planes, step, out, ds, size);
            break;
        case kOpYcckToCmyk:
            ls = lumiYCCKToCMYK_JPEG_8u_P4C4R(planes, step, out, ds, size);
            break;
        default:
            break;
    }
    return ls < 0 ? JpegStatus::kInternalError : JpegStatus::kOk;
}

// ---- Progressive ----

JpegStatus JpegDecoder::DecodeProgressiveScan() {
    if (lumiDecodeHuffmanStateInit_JPEG_8u(huffState_.get()) < 0) return JpegStatus::kInternalError;
    pendingMarker_ = 0;
    for (int i = 0; i < componentCount_; ++i) components_[i]->lastDc = 0;
    const bool dcScan = (ss_ == 0 || se_ == 0);

    auto decodeBlock = [&](Component& c, Lum16s* block) -> bool {
        LumStatus ls;
        if (dcScan) {
            const HuffmanTable* dc = dcTables_[c.dcSelector].get();
            ls = ah_ == 0 ? lumiDecodeHuffman8x8_DCFirst_JPEG_1u16s_C1(
                                src_, srcLength_, &pos_, block, &c.lastDc, &pendingMarker_, al_,
                                dc ? dc->spec.get() : nullptr, huffState_.get())
                          : lumiDecodeHuffman8x8_DCRefine_JPEG_1u16s_C1(
                                src_, srcLength_, &pos_, block, &pendingMarker_, al_, huffState_.get());
        } else {
            const HuffmanTable* ac = acTables_[c.acSelector].get();
            const LumiDecodeHuffmanSpec* spec = ac ? ac->spec.get() : nullptr;
            ls = ah_ == 0 ? lumiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(src_, srcLength_, &pos_, block,
                                                                       &pendingMarker_, ss_, se_, al_, spec,
                                                                       huffState_.get())
                          : lumiDecodeHuffman8x8_ACRefine_JPEG_1u16s_C1(src_, srcLength_, &pos_, block,
                                                                        &pendingMarker_, ss_, se_, al_, spec,
                                                                        huffState_.get());
        }
        return ls >= 0;
    };

    if (scanComponentCount_ > 1) {
        // Interleaved (DC only): MCU by MCU over the scan's components.
        for (int my = 0; my < mcuRows_; ++my) {
            for (int mx = 0; mx < mcusPerRow_; ++mx) {
                if (restartInterval_ != 0 && restartsToGo_ == 0) {
                    const JpegStatus st = RestartStep();
                    if (st != JpegStatus::kOk) return st;
                }
                for (int k = 0; k < scanComponentCount_; ++k) {
                    Component& c = *components_[scanComponents_[k]];
                    for (int b = 0; b < c.h * c.v; ++b)
                        if (!decodeBlock(c, ProgressiveBlock(mx, my, c.blockOffset + b)))
                            return JpegStatus::kInternalError;
                }
                if (restartInterval_ != 0) --restartsToGo_;
            }
        }
    } else {
        // One component: its blocks in raster order, only those that hold image samples (T.81 A.2.2).
        Component& c = *components_[scanComponents_[0]];
        const int blocksAcross = CeilDiv(c.sampleWidth, 8);
        const int blocksDown = CeilDiv(c.sampleHeight, 8);
        for (int by = 0; by < blocksDown; ++by) {
            for (int bx = 0; bx < blocksAcross; ++bx) {
                if (restartInterval_ != 0 && restartsToGo_ == 0) {
                    const JpegStatus st = RestartStep();
                    if (st != JpegStatus::kOk) return st;
                }
                Lum16s* block =
                    ProgressiveBlock(bx / c.h, by / c.v, c.blockOffset + (by % c.v) * c.h + bx % c.h);
                if (!decodeBlock(c, block)) return JpegStatus::kInternalError;
                if (restartInterval_ != 0) --restartsToGo_;
            }
        }
    }

    for (int k = 0; k < scanComponentCount_; ++k) {
        Component& c = *components_[scanComponents_[k]];
        if (al_ == 0) (dcScan ? c.finalDcDone : c.finalAcDone) = true;
    }
    progressiveDirty_ = true;
    bool complete = true;
    for (int i = 0; i < componentCount_; ++i)
        complete = complete && components_[i]->finalDcDone && components_[i]->finalAcDone;
    // Reconstruct once the last refinement is in. A later scan marks the image dirty again, and the end of
    // the image reconstructs it then, so a hostile run of scans cannot force a reconstruction per scan.
    if (complete && !reconstructed_) return ReconstructProgressive();
    return JpegStatus::kOk;
}

JpegStatus JpegDecoder::ReconstructProgressive() {
    progressiveDirty_ = false;
    reconstructed_ = true;
    const std::ptrdiff_t rowCoefficients = static_cast<std::ptrdiff_t>(mcusPerRow_) * blocksPerMcu_ * 64;
    for (int my = 0; my < mcuRows_; ++my) {
        const JpegStatus st = InverseTransformRow(coefficients_.data() + my * rowCoefficients, my, 0);
        if (st != JpegStatus::kOk) return st;
    }
    const Lum8u* planes[4] = {nullptr, nullptr, nullptr, nullptr};
    for (int i = 0; i < componentCount_; ++i) {
        Component& c = *components_[i];
        planes[i] = c.plane.data();
        if (c.hUp == 1 && c.vUp == 1) continue;
        Lum8u* lines = c.upsample.data();
        if (lumsCopy_8u(lines + c.upsampleStep, lines, c.upsampleStep) < 0) return JpegStatus::kInternalError;
        JpegStatus st = ExtendEdges(c, lines, c.upsampleSlotLines, 1, c.sampleHeight);
        if (st != JpegStatus::kOk) return st;
        st = Upsample(c, lines + c.upsampleStep + 1, height_, c.plane.data());
        if (st != JpegStatus::kOk) return st;
    }
    return ConvertColour(planes, 0, height_);
}

}  // namespace vello
