// Helpers of the widget tests: a backend that records what the widget asks, and picture fixtures.
#ifndef TESTS_VIEWER_WIDGET_WIDGET_SUPPORT_H
#define TESTS_VIEWER_WIDGET_WIDGET_SUPPORT_H

#include <string>
#include <vector>

#include "widget/ocuview_widget.h"

namespace ocuview_test {

class RecordingBackend : public ocuview::ViewerBackend {
  public:
    explicit RecordingBackend(std::vector<std::string>& calls) : calls_(calls) {}
    void Start() override { calls_.push_back("start"); }
    void Stop() override { calls_.push_back("stop"); }
    void Tick() override {}
    void RequestRestart() override { calls_.push_back("restart"); }
    void SetFrameRate(int rate) override { calls_.push_back("rate " + std::to_string(rate)); }
    void SetVolume(int volume) override { calls_.push_back("volume " + std::to_string(volume)); }
    void SetMute(bool muted) override { calls_.push_back(muted ? "mute" : "unmute"); }
    void SendTrigger(const std::string& text) override { calls_.push_back("trigger " + text); }
    void SendMotionDetection(int window, ocuview::MotionCommand command,
                             const std::array<ocuview::MotionWindow, 4>& windows) override {
        static const char* const kNames[] = {"area", "onoff", "sensitivity", "threshold", "all"};
        std::string call = "motion " + std::to_string(window) + " " + kNames[static_cast<int>(command)];
        if (command != ocuview::MotionCommand::kAll) {
            const ocuview::MotionWindow& w = windows[static_cast<std::size_t>(window - 1)];
            call += " " + std::string(w.active ? "on" : "off") + " " + std::to_string(w.left) + "," +
                    std::to_string(w.top) + "," + std::to_string(w.right) + "," + std::to_string(w.bottom) +
                    " s" + std::to_string(w.sensitivity) + " t" + std::to_string(w.threshold);
        }
        calls_.push_back(call);
    }
    void StartRecording(const std::string& path) override { calls_.push_back("record " + path); }
    void StopRecording() override { calls_.push_back("stop recording"); }

  private:
    std::vector<std::string>& calls_;
};

// Camera facts of a full Motion JPEG viewer with every panel bit.
inline ocuview::PanelFacts FullJpegFacts() {
    ocuview::PanelFacts f;
    f.kind = ocuview::ViewerKind::kFull;
    f.codec = ocuview::ImageCodec::kMotionJpeg;
    f.viewerMode = 0xFF010000u;
    f.frameRates = {"15 fps", "10 fps", "8 fps", "6 fps", "5 fps", "4 fps", "3 fps", "2 fps", "1 fps"};
    f.frameRate = 15;
    f.triggers = {"e-Mail", "FTP"};
    f.multicast = false;
    f.sessionMode = ocuview::StreamMode::Tcp;
    return f;
}

// A picture whose pixels tell where they are: B = x / 3, G = y / 2, R = 200 (smooth, so stretching keeps
// values close).
inline std::vector<uint8_t> CoordinatePicture(int width, int height, int* stride) {
    *stride = (width * 3 + 3) & ~3;
    std::vector<uint8_t> bgr(static_cast<std::size_t>(*stride) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &bgr[static_cast<std::size_t>(y * *stride + x * 3)];
            p[0] = static_cast<uint8_t>(x / 3);
            p[1] = static_cast<uint8_t>(y / 2);
            p[2] = 200;
        }
    return bgr;
}

}  // namespace ocuview_test

#endif
