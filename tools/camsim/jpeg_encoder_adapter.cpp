#include "jpeg_encoder_adapter.h"

#include "vello/jpeg/jpeg_encoder.h"

namespace camsim {

// One encoder per stream (an encoder is used by one thread at a time), with the parameters the camera
// uses: BGR source, YCbCr 4:2:0, no restart interval.
JpegEncodeFn MakeJpegEncoder() {
    return [](const Picture& p, int quality) {
        vello::JpegEncoder encoder;
        encoder.Reset();
        encoder.SetSource(p.bgr.data(), p.width, p.height, 3, p.stride, vello::kJpegColourBGR);
        encoder.SetParams(quality, vello::kJpegSampling420, vello::kJpegColourYCbCr, 0, 0);
        // A picture never grows beyond its raw size plus the headers.
        std::vector<uint8_t> out(static_cast<std::size_t>(p.stride) * static_cast<std::size_t>(p.height) +
                                 4096);
        int size = static_cast<int>(out.size());
        const vello::JpegStatus status = encoder.WriteImage(out.data(), &size);
        encoder.Clean();
        if (status != vello::JpegStatus::kOk) return std::vector<uint8_t>();
        out.resize(static_cast<std::size_t>(size));
        return out;
    };
}

}  // namespace camsim
