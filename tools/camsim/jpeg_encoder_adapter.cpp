#include "jpeg_encoder_adapter.h"

namespace camsim {

// Until the encoder is wired in, pictures are not encoded (parts carry no payload).
JpegEncodeFn MakeJpegEncoder() {
    return [](const Picture&, int) { return std::vector<uint8_t>(); };
}

}  // namespace camsim
