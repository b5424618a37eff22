// Where the viewer's decoded pictures go: the control draws them, qxrtool counts and saves them, tests
// check them. The core never draws.
#ifndef OCUVIEW_CORE_FRAME_SINK_H
#define OCUVIEW_CORE_FRAME_SINK_H

#include <cstdint>
#include <string_view>

namespace ocuview {

// One decoded picture: top-down rows of 8-bit B, G, R, `stride` bytes apart ((width * 3 + 3) rounded down
// to a multiple of 4). Everything it points to is valid only during the OnFrame call.
struct Frame {
    const uint8_t* bgr = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    // The camera's time text of this picture ("CamTim: " value, e.g. "2026/12/10 14:31:52"), or empty
    // when the camera sent none yet.
    std::string_view cameraTime;
    // Pictures handed to the sink since the viewer started, from 1; a restart begins again at 1.
    uint64_t sequence = 0;
    // True for the first picture after a change of picture size (and for the very first picture).
    bool sizeChanged = false;
    // Steady-clock nanoseconds (platform::PerformanceCounter) when the picture's last bytes were taken
    // from the network queue, for latency measurements.
    uint64_t receivedNs = 0;
};

class FrameSink {
  public:
    virtual ~FrameSink() = default;
    // Runs on the decoding thread (Motion JPEG or MPEG-4) of the viewer; must not block for long, since
    // the stream's receiver stalls while the decoding thread is busy. Never called after Viewer::Stop
    // returned.
    virtual void OnFrame(const Frame& frame) = 0;
};

}  // namespace ocuview

#endif
