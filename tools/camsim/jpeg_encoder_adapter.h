// The simulator's pictures go through the suite's own JPEG encoder, as the camera's would through its.
#ifndef CAMSIM_JPEG_ENCODER_ADAPTER_H
#define CAMSIM_JPEG_ENCODER_ADAPTER_H

#include "simulator.h"

namespace camsim {

JpegEncodeFn MakeJpegEncoder();

}  // namespace camsim

#endif
