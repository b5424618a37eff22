// libFuzzer target for the JPEG decoder: any bytes through ReadHeader and ReadData. The limits are small
// so that every input runs in milliseconds; the default limits are tested separately.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "vello/jpeg/jpeg_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 20)) return 0;
    vello::JpegDecoderLimits limits;
    limits.maxPixels = 1 << 20;
    limits.maxCoefficientBytes = 4 << 20;
    limits.maxScans = 64;
    vello::JpegDecoder decoder;
    decoder.SetLimits(limits);
    decoder.SetSource(data, static_cast<int>(size));
    int width = 0, height = 0, components = 0;
    vello::JpegColour colour = vello::kJpegColourUnknown;
    vello::JpegSampling sampling = vello::kJpegSampling444;
    if (decoder.ReadHeader(&width, &height, &components, &colour, &sampling) == vello::JpegStatus::kOk) {
        // The last byte picks the requested colour, so that every conversion is reached.
        static const vello::JpegColour kWanted[] = {vello::kJpegColourBGR, vello::kJpegColourRGB,
                                                    vello::kJpegColourGrey, vello::kJpegColourCMYK,
                                                    vello::kJpegColourUnknown};
        const vello::JpegColour wanted = kWanted[data[size - 1] % 5];
        const int channels = wanted == vello::kJpegColourGrey      ? 1
                             : wanted == vello::kJpegColourCMYK    ? 4
                             : wanted == vello::kJpegColourUnknown ? components
                                                                   : 3;
        const int step = (width * channels + 3) & ~3;
        std::vector<std::uint8_t> pixels(static_cast<std::size_t>(step) * static_cast<std::size_t>(height));
        decoder.SetDestination(pixels.data(), width, step, height, channels, wanted);
        static_cast<void>(decoder.ReadData());  // every status is fine here; crashes and leaks are not
    }
    decoder.Clean();
    return 0;
}
