// JpegDecoder, marker segments: reading the source byte by byte, finding markers, and the frame, table,
// restart, scan and application segments.
#include <algorithm>
#include <cstring>
#include <memory>

#include "vello/jpeg/jpeg_decoder.h"
#include "vello/jpeg/jpeg_decoder_parts.h"

namespace vello {

using jpeg_detail::CeilDiv;

// ---- Source reading ----

int JpegDecoder::ReadByte() {
    if (pos_ >= srcLength_) return 0;  // callers check lengths first; this only keeps reads inside
    return src_[pos_++];
}

int JpegDecoder::ReadWord() {
    const int hi = ReadByte();
    return (hi << 8) | ReadByte();
}

JpegStatus JpegDecoder::FindMarker(int* position, int* marker) const {
    int p = *position;
    for (;;) {
        // memchr: the entropy-coded data a scan plan passes over is most of the file.
        const void* ff =
            p < srcLength_ ? std::memchr(src_ + p, 0xFF, static_cast<std::size_t>(srcLength_ - p)) : nullptr;
        p = ff != nullptr ? static_cast<int>(static_cast<const Lum8u*>(ff) - src_) : srcLength_;
        while (p < srcLength_ && src_[p] == 0xFF) ++p;  // fill bytes
        if (p >= srcLength_) {
            *position = p;
            return JpegStatus::kDataExhausted;
        }
        const int m = src_[p++];
        if (m != 0) {  // FF 00 is a stuffed data byte, not a marker
            *position = p;
            *marker = m;
            return JpegStatus::kOk;
        }
    }
}

JpegStatus JpegDecoder::SearchMarker(int* marker) {
    return FindMarker(&pos_, marker);
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
    if (progressive_) {
        // An AC band belongs to one component (T.81 G.1.1.1.1) and lies inside the block; successive
        // approximation goes no further than 13 bits.
        const bool acScan = ss_ != 0 && se_ != 0;
        if (acScan && (count != 1 || se_ < ss_ || se_ > 63)) return JpegStatus::kBadScanHeader;
        if (ah_ > 13 || al_ > 13) return JpegStatus::kBadScanHeader;
    }

    DecideFileColour();
    restartsToGo_ = restartInterval_;
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

}  // namespace vello
