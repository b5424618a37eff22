#include "jpeg_encoder_adapter.h"

#include <utility>

#include "vello/jpeg/jpeg_picture.h"

namespace camsim {

// The camera's parameters: BGR source, YCbCr 4:2:0, no restart interval. Each call has its own encoder,
// so streams may encode on their own threads.
JpegEncodeFn MakeJpegEncoder() {
    return [](const Picture& p, int quality) {
        vello::JpegEncodeParams params;
        params.quality = quality;
        vello::JpegEncodeResult encoded = vello::EncodeJpeg(
            vello::JpegPictureView{p.bgr.data(), p.width, p.height, 3, p.stride, vello::kJpegColourBGR},
            params);
        return std::move(encoded.bytes);  // empty when the picture could not be encoded
    };
}

}  // namespace camsim
