// JpegDecoder: the object's life, its entry points and the marker loop that drives the other parts
// (jpeg_markers.cpp: reading segments; jpeg_coefficients.cpp: entropy-coded data and the inverse
// transform; jpeg_upsample_colour.cpp: upsampling and colour conversion into the destination).
#include <utility>

#include "vello/jpeg/jpeg_decoder.h"
#include "vello/jpeg/jpeg_decoder_parts.h"

namespace vello {

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
    damaged_ = false;
    skipping_ = false;
    workDone_ = 0;
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
    JpegStatus st = PrepareOutput();
    if (st != JpegStatus::kOk) return st;
    damaged_ = false;
    workDone_ = 0;
    st = RunMarkers(true);
    // Damaged entropy-coded data, or a file that ends early, still gives what its scans held; the rest
    // of the picture is grey (a progressive image is reconstructed from the coefficients it has).
    const bool cutShort = st == JpegStatus::kDataExhausted;
    if (scansDecoded_ == 0 || !(cutShort || (damaged_ && st == JpegStatus::kOk))) return st;
    if (progressive_ && progressiveDirty_) {
        st = ReconstructProgressive();
        if (st != JpegStatus::kOk) return st;
    }
    return JpegStatus::kCorruptData;
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
            // RSTn outside a scan: the restart number is not checked (a damaged interval resynchronises
            // at whichever marker comes next), so there is nothing to do
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
                // The work bound, for the whole file before anybody allocates for its picture: every
                // scan header is there to read. ReadData keeps it scan by scan as a hard limit.
                if (PlannedWork() > WorkBudget())
                    return Refuse("the file asks for more decoding work than its size allows");
                pos_ = sosStart;
                headerRead_ = true;
                return JpegStatus::kOk;
            }
            workDone_ += ScanWork(scanComponents_, scanComponentCount_, ss_, se_);
            if (workDone_ > WorkBudget())
                return Refuse("the file asks for more decoding work than its size allows");
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

}  // namespace vello
