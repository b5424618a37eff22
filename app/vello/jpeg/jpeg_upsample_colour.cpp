// JpegDecoder, upsampling and colour: the choice of colour operation for the file's colour and the
// requested one, the edge replication and triangle upsampling of subsampled chroma, and the colour
// conversion of finished rows into the destination.
#include <algorithm>

#include "vello/jpeg/jpeg_decoder.h"
#include "vello/jpeg/jpeg_decoder_parts.h"

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

}  // namespace

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

// Upsampling and colour conversion of the whole reconstructed progressive image.
JpegStatus JpegDecoder::FinishProgressive() {
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
