// What the viewer-core tests share: a camera simulator on loopback, and recording stand-ins for the
// frame sink, the credentials dialog and the observer.
#ifndef TESTS_VIEWER_CORE_VIEWER_TEST_SUPPORT_H
#define TESTS_VIEWER_CORE_VIEWER_TEST_SUPPORT_H

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/viewer.h"
#include "simulator.h"

namespace viewer_test {

struct SeenFrame {
    int width = 0, height = 0;
    uint64_t sequence = 0;
    std::string cameraTime;
    bool sizeChanged = false;
    uint32_t checksum = 0;  // of the first row, to tell black from drawn pictures
};

class RecordingSink : public ocuview::FrameSink {
  public:
    void OnFrame(const ocuview::Frame& f) override;
    std::vector<SeenFrame> Frames() const;
    std::size_t Count() const;
    // Waits until at least `n` frames arrived; false on time-out.
    bool WaitFor(std::size_t n, std::chrono::milliseconds limit) const;

  private:
    mutable std::mutex lock_;
    mutable std::condition_variable arrived_;
    std::vector<SeenFrame> frames_;
};

// Answers the dialog from a script: each entry is one answer (nullopt = Cancel); the last one repeats.
class ScriptedCredentials : public ocuview::CredentialsProvider {
  public:
    explicit ScriptedCredentials(std::vector<std::optional<ocuview::Credentials>> answers = {})
        : answers_(std::move(answers)) {}
    std::optional<ocuview::Credentials> AskCredentials(const std::string& realm) override;
    int Asks() const;
    std::vector<std::string> Realms() const;

  private:
    mutable std::mutex lock_;
    std::vector<std::optional<ocuview::Credentials>> answers_;
    std::vector<std::string> realms_;
};

class RecordingObserver : public ocuview::ViewerObserver {
  public:
    void OnOverlayText(std::string_view text) override;
    void OnStatus(int code, std::string_view text) override;
    void OnRestart() override;
    void OnMessageBox(std::string_view title, std::string_view text) override;
    void OnSessionMode(ocuview::SessionMode mode) override;
    void OnMotionLevels(const std::array<int, 4>& levels) override;

    mutable std::mutex lock;
    std::vector<std::string> overlays;
    std::vector<std::pair<int, std::string>> statuses;
    std::vector<std::string> boxes;
    std::vector<ocuview::SessionMode> modes;
    std::vector<std::array<int, 4>> motionLevels;
    int restarts = 0;
};

// A simulator on 127.0.0.1 with free ports, pictures from the suite's JPEG encoder.
class Camera {
  public:
    explicit Camera(camsim::Config config = {});
    ~Camera();
    camsim::Simulator& sim() { return *sim_; }
    uint16_t port() const { return sim_->port(); }
    camsim::Config& config() { return config_; }

  private:
    camsim::Config config_;
    std::unique_ptr<camsim::Simulator> sim_;
};

// Settings for a viewer of `camera`, with an INI file of the test's own.
ocuview::ViewerSettings SettingsFor(const Camera& camera, const std::string& iniPath);
// A scratch folder for this test process.
std::string ScratchDir();

// Calls Tick every 20 ms until `done` or the time limit; true when done.
bool TickUntil(ocuview::Viewer& viewer, const std::function<bool()>& done, std::chrono::milliseconds limit);

// A short MPEG-4 stream made by FFmpeg (cached in the scratch folder); empty when FFmpeg failed.
std::string Mpeg4File(int width, int height);

}  // namespace viewer_test

#endif

namespace viewer_test {

// A listening socket on 127.0.0.1 that accepts and never answers (a hung camera).
class SilentServer {
  public:
    SilentServer();
    ~SilentServer();
    uint16_t port() const { return port_; }

  private:
    int listener_ = -1;
    uint16_t port_ = 0;
    std::vector<int> accepted_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A plain HTTP proxy on 127.0.0.1: records each request line and relays the exchange to the address the
// absolute URI names.
class RecordingProxy {
  public:
    RecordingProxy();
    ~RecordingProxy();
    uint16_t port() const { return port_; }
    std::vector<std::string> RequestLines() const;

  private:
    void Relay(int client);
    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex lock_;
    std::vector<std::string> lines_;
    std::vector<std::thread> relays_;
    std::thread thread_;
};

}  // namespace viewer_test
