// Shared pieces of the window tests: test pictures, still files, a scripted engine that behaves towards
// the window the way the playback engine does (states 16/57/62/63, pictures from its own thread), and
// waiting for the main thread's queued work.
#ifndef TESTS_REELDECK_GUI_TEST_SUPPORT_H
#define TESTS_REELDECK_GUI_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/bmp.h"
#include "gui/main_window.h"
#include "gui/player_control.h"
#include "recording/test_support.h"

namespace reeldeck_gui_test {

// Runs the main thread's events until `done` holds (false after `timeoutMs`).
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = 15000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// A picture of w x h whose pixel (x, y) is B = x, G = y, R = x + y (mod 256): every position differs.
inline reeldeck::BgrPicture Pattern(int w, int h) {
    reeldeck::BgrPicture p{w, h, (w * 3 + 3) & ~3, {}};
    p.pixels.assign(static_cast<std::size_t>(p.step) * static_cast<std::size_t>(h), 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint8_t* px = p.pixels.data() + static_cast<std::size_t>(y) * p.step + 3 * x;
            px[0] = static_cast<uint8_t>(x);
            px[1] = static_cast<uint8_t>(y);
            px[2] = static_cast<uint8_t>(x + y);
        }
    }
    return p;
}

inline QRgb PatternRgb(int x, int y) {
    return qRgb((x + y) & 0xFF, y & 0xFF, x & 0xFF);
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void WriteBitmap(const std::string& path, const reeldeck::BgrPicture& p) {
    std::vector<uint8_t> file;
    ASSERT_EQ(reeldeck::EncodeBmp(p.pixels.data(), p.width, p.height, p.step, file),
              reeldeck::BmpStatus::kOk);
    WriteBytes(path, file);
}

// The engine's behaviour towards its host, scripted: Open lays out, fills the information and shows a
// first picture; Play/TogglePause/Rewind/Seek report the states; Capture hands the shown picture over
// from a worker thread, as the video decoder does.
class ScriptedPlayer : public reeldeck::gui::PlayerControl {
  public:
    explicit ScriptedPlayer(reeldeck::PlayerHost& host, int width = 64, int height = 48, int units = 10)
        : host_(host), width_(width), height_(height), units_(units) {}

    bool Open(const std::string& path) override {
        opened.push_back(path);
        if (path.find("missing") != std::string::npos) return false;
        reeldeck::RecordingInfo info;
        info.model = "QXR-K7";
        info.ipAddress = "192.168.0.10";
        info.serial = "K7-000123";
        info.dateTime = "2026/12/10 Thu 14:35:00";
        info.trigger = reeldeck::tag::kMotion;
        info.videoCodec = reeldeck::tag::kJpeg;
        info.frameRate = 15;
        host_.SetInformation(info);
        host_.SetPictureSize(width_, height_);
        host_.SetSliderRange(0, units_ - 1);
        std::thread decoder([this] {
            if (host_.CreateDisplayBuffer(width_, height_, buffer_) != 0) return;
            const reeldeck::BgrPicture p = Pattern(width_, height_);
            for (int y = 0; y < height_; ++y) {
                std::copy_n(p.pixels.data() + static_cast<std::size_t>(y) * p.step, width_ * 3,
                            buffer_.pixels + static_cast<std::ptrdiff_t>(y) * buffer_.step);
            }
            host_.CameraTimeChanged("2026/12/10 Thu 14:35:07");
            host_.ShowPicture(buffer_, 15.0);
        });
        decoder.join();
        unit_ = 0;
        host_.SetButtonState(reeldeck::kStateAtStart);
        return true;
    }
    void Stop() override {
        ++stops;
        host_.SetButtonState(reeldeck::kStateIdle);
        host_.ClearPicture();
    }
    void Play() override {
        ++plays;
        paused_ = false;
        host_.SetButtonState(reeldeck::kStatePlaying);
    }
    void TogglePause() override {
        ++pauses;
        paused_ = !paused_;
        host_.SetButtonState(paused_ ? reeldeck::kStatePaused : reeldeck::kStatePlaying);
    }
    void Rewind() override { Seek(0, true); }
    void Seek(int unit, bool paused) override {
        seeks.emplace_back(unit, paused);
        unit_ = std::clamp(unit, 0, units_ - 1);
        paused_ = paused;
        host_.SetButtonState(!paused ? reeldeck::kStatePlaying
                                     : (unit_ == 0 ? reeldeck::kStateAtStart : reeldeck::kStatePaused));
        std::thread scan([this] { host_.MoveSlider(unit_); });
        scan.join();
    }
    void Capture() override {
        ++captures;
        std::thread decoder([this] { host_.CapturePicture(buffer_, "2026/12/10 Thu 14:35:07"); });
        decoder.join();
    }
    void SetVolume(uint16_t v) override { volume = v; }
    void SetSound(bool on) override { sound = on; }
    reeldeck::gui::AlarmBand ActiveAlarm() override { return alarm; }
    int UnitForPosition(int64_t) override { return unit_; }

    std::vector<std::string> opened;
    std::vector<std::pair<int, bool>> seeks;
    int plays = 0, pauses = 0, stops = 0, captures = 0;
    uint16_t volume = 0;
    bool sound = false;
    reeldeck::gui::AlarmBand alarm = reeldeck::gui::AlarmBand::kNone;

  private:
    reeldeck::PlayerHost& host_;
    int width_, height_, units_;
    int unit_ = 0;
    bool paused_ = true;
    reeldeck::DisplayBuffer buffer_;
};

}  // namespace reeldeck_gui_test

#endif
