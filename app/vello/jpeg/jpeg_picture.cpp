// The one-call decode and encode: the five-call sequences of the decoder and encoder, with the hosts'
// choices of output colour and row step.
#include "vello/jpeg/jpeg_picture.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "vello/jpeg/jpeg_encoder.h"

namespace vello {

JpegDecodeResult DecodeJpeg(std::span<const std::uint8_t> file, const JpegDecodeOptions& options) {
    JpegDecodeResult result;
    auto fail = [&result](JpegStatus status, const char* reason) {
        result.status = status;
        result.reason = reason;
        result.picture = JpegPicture{};
        return std::move(result);
    };
    const int align = options.rowAlignment;
    if (file.size() > static_cast<std::size_t>(INT_MAX))
        return fail(JpegStatus::kNotSupported, "the file is larger than 2 GiB");
    if ((options.colour != kJpegColourBGR && options.colour != kJpegColourRGB) || align < 1 || align > 64)
        return fail(JpegStatus::kNotSupported,
                    "the output colour must be BGR or RGB, the row alignment 1 to 64");

    JpegDecoder decoder;
    decoder.SetLimits(options.limits);
    decoder.SetSource(file.data(), static_cast<int>(file.size()));
    int width = 0, height = 0, components = 0;
    JpegColour fileColour = kJpegColourUnknown;
    JpegStatus status = decoder.ReadHeader(&width, &height, &components, &fileColour, nullptr);
    if (status != JpegStatus::kOk) return fail(status, decoder.Reason(status));

    JpegPicture& p = result.picture;
    p.width = width;
    p.height = height;
    if (fileColour == kJpegColourUnknown) {
        p.channels = components;
        p.colour = kJpegColourUnknown;
    } else if (components == 4) {
        p.channels = 4;
        p.colour = kJpegColourCMYK;
    } else {
        p.channels = 3;
        p.colour = options.colour;
    }
    // The frame header limits width and height to 65535 and the components to 4: no overflow here.
    p.step = (width * p.channels + align - 1) / align * align;
    p.pixels.assign(static_cast<std::size_t>(p.step) * static_cast<std::size_t>(height), 0);
    decoder.SetDestination(p.pixels.data(), width, p.step, height, p.channels, p.colour);
    status = decoder.ReadData();
    if (status != JpegStatus::kOk && status != JpegStatus::kCorruptData)
        return fail(status, decoder.Reason(status));
    result.status = status;
    result.reason = decoder.Reason(status);
    return result;
}

JpegEncodeResult EncodeJpeg(const JpegPictureView& picture, const JpegEncodeParams& params) {
    JpegColour fileColour = kJpegColourUnknown;
    switch (picture.colour) {
        case kJpegColourGrey:
            fileColour = kJpegColourGrey;
            break;
        case kJpegColourBGR:
        case kJpegColourRGB:
            fileColour = kJpegColourYCbCr;
            break;
        case kJpegColourCMYK:
            fileColour = kJpegColourYCCK;
            break;
        default:
            break;
    }
    JpegEncodeResult result;
    // A first guess that holds nearly every picture, then the worst case of baseline coding: a 64-sample
    // block takes at most 1665 bits (every coefficient at its longest code), twice that with every byte
    // stuffed, plus a restart marker and a flush per MCU: below 8 bytes a sample of the MCU-padded picture.
    auto clamp = [](std::int64_t v) { return std::clamp<std::int64_t>(v, 0, 65535); };
    const std::int64_t w = clamp(picture.width), h = clamp(picture.height);
    const std::int64_t channels = std::clamp(picture.channels, 0, 4);
    const std::int64_t padded = (w + 15) / 16 * 16 * ((h + 15) / 16 * 16) * channels;
    for (const std::int64_t wanted : {w * h * channels + 65536, 8 * padded + 65536}) {
        const std::int64_t capacity = std::min<std::int64_t>(wanted, INT_MAX);
        JpegEncoder encoder;
        encoder.SetSource(picture.pixels, picture.width, picture.height, picture.channels, picture.step,
                          picture.colour);
        encoder.SetParams(params.quality, params.sampling, fileColour, 0, params.restartInterval);
        result.bytes.resize(static_cast<std::size_t>(capacity));
        int size = static_cast<int>(capacity);
        result.status = encoder.WriteImage(result.bytes.data(), &size);
        if (result.status == JpegStatus::kOk) {
            result.bytes.resize(static_cast<std::size_t>(size));
            return result;
        }
        if (result.status != JpegStatus::kDataExhausted) break;
    }
    result.bytes.clear();
    return result;
}

}  // namespace vello
