#include "viewer_test_support.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "jpeg_encoder_adapter.h"

namespace viewer_test {

void RecordingSink::OnFrame(const ocuview::Frame& f) {
    SeenFrame s;
    s.width = f.width;
    s.height = f.height;
    s.sequence = f.sequence;
    s.cameraTime = std::string(f.cameraTime);
    s.sizeChanged = f.sizeChanged;
    for (int x = 0; x < f.width * 3; ++x) s.checksum = s.checksum * 31 + f.bgr[x];
    {
        std::lock_guard<std::mutex> hold(lock_);
        frames_.push_back(s);
    }
    arrived_.notify_all();
}

std::vector<SeenFrame> RecordingSink::Frames() const {
    std::lock_guard<std::mutex> hold(lock_);
    return frames_;
}

std::size_t RecordingSink::Count() const {
    std::lock_guard<std::mutex> hold(lock_);
    return frames_.size();
}

bool RecordingSink::WaitFor(std::size_t n, std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> hold(lock_);
    return arrived_.wait_for(hold, limit, [&] { return frames_.size() >= n; });
}

std::optional<ocuview::Credentials> ScriptedCredentials::AskCredentials(const std::string& realm) {
    std::lock_guard<std::mutex> hold(lock_);
    realms_.push_back(realm);
    if (answers_.empty()) return std::nullopt;
    const std::size_t i = std::min(realms_.size(), answers_.size()) - 1;
    return answers_[i];
}

int ScriptedCredentials::Asks() const {
    std::lock_guard<std::mutex> hold(lock_);
    return static_cast<int>(realms_.size());
}

std::vector<std::string> ScriptedCredentials::Realms() const {
    std::lock_guard<std::mutex> hold(lock_);
    return realms_;
}

void RecordingObserver::OnOverlayText(std::string_view text) {
    std::lock_guard<std::mutex> hold(lock);
    overlays.emplace_back(text);
}

void RecordingObserver::OnStatus(int code, std::string_view text) {
    std::lock_guard<std::mutex> hold(lock);
    statuses.emplace_back(code, std::string(text));
}

void RecordingObserver::OnRestart() {
    std::lock_guard<std::mutex> hold(lock);
    ++restarts;
}

void RecordingObserver::OnMessageBox(std::string_view title, std::string_view text) {
    std::lock_guard<std::mutex> hold(lock);
    boxes.push_back(std::string(title) + ": " + std::string(text));
}

void RecordingObserver::OnSessionMode(ocuview::SessionMode mode) {
    std::lock_guard<std::mutex> hold(lock);
    modes.push_back(mode);
}

Camera::Camera(camsim::Config config) : config_(std::move(config)) {
    config_.port = 0;
    config_.ucVideoPort = 0;
    config_.ucAudioPort = 0;
    sim_ = std::make_unique<camsim::Simulator>(config_, camsim::MakeJpegEncoder());
    sim_->SetSenderReportInterval(200);
    std::string error;
    if (!sim_->Start(&error)) throw std::runtime_error("camera simulator: " + error);
    config_ = sim_->CurrentConfig();
}

Camera::~Camera() {
    sim_->Stop();
}

std::string ScratchDir() {
    static const std::string dir = [] {
        const std::string d =
            std::string(QXR_BINARY_DIR) + "/tests/viewer_core/scratch_" + std::to_string(::getpid());
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

ocuview::ViewerSettings SettingsFor(const Camera& camera, const std::string& iniPath) {
    ocuview::ViewerSettings s;
    s.cameraHost = "127.0.0.1";
    s.cameraPort = std::to_string(camera.port());
    s.iniPath = iniPath;
    return s;
}

bool TickUntil(ocuview::Viewer& viewer, const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        viewer.Tick();
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

std::string Mpeg4File(int width, int height) {
    const std::string path =
        ScratchDir() + "/clip_" + std::to_string(width) + "x" + std::to_string(height) + ".m4v";
    if (std::filesystem::exists(path)) return path;
    const std::string command =
        "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=" + std::to_string(width) +
        "x" + std::to_string(height) + ":rate=30 -frames:v 30 -c:v mpeg4 -g 15 -bf 0 -qscale:v 5 -f m4v " +
        path + ".tmp && mv " + path + ".tmp " + path;
    return std::system(command.c_str()) == 0 ? path : std::string();
}

}  // namespace viewer_test
