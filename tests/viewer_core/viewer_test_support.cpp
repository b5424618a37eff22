#include "viewer_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
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

void RecordingObserver::OnMotionLevels(const std::array<int, 4>& levels) {
    std::lock_guard<std::mutex> hold(lock);
    motionLevels.push_back(levels);
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

namespace viewer_test {

namespace {

int Listen(uint16_t* port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 16) != 0) {
        ::close(fd);
        return -1;
    }
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    *port = ntohs(a.sin_port);
    return fd;
}

// Accepts within 50 ms, or -1.
int AcceptSoon(int listener) {
    pollfd p{listener, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) return -1;
    return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}

}  // namespace

SilentServer::SilentServer() {
    listener_ = Listen(&port_);
    thread_ = std::thread([this] {
        while (!stop_) {
            const int fd = AcceptSoon(listener_);
            if (fd >= 0) accepted_.push_back(fd);
        }
    });
}

SilentServer::~SilentServer() {
    stop_ = true;
    thread_.join();
    for (const int fd : accepted_) ::close(fd);
    ::close(listener_);
}

RecordingProxy::RecordingProxy() {
    listener_ = Listen(&port_);
    thread_ = std::thread([this] {
        while (!stop_) {
            const int fd = AcceptSoon(listener_);
            if (fd >= 0) relays_.emplace_back([this, fd] { Relay(fd); });
        }
    });
}

RecordingProxy::~RecordingProxy() {
    stop_ = true;
    thread_.join();
    for (auto& t : relays_) t.join();
    ::close(listener_);
}

std::vector<std::string> RecordingProxy::RequestLines() const {
    std::lock_guard<std::mutex> hold(lock_);
    return lines_;
}

void RecordingProxy::Relay(int client) {
    std::string head;
    char buf[4096];
    while (head.find("\r\n\r\n") == std::string::npos && !stop_) {
        pollfd p{client, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const ssize_t n = ::recv(client, buf, sizeof buf, 0);
        if (n <= 0) break;
        head.append(buf, static_cast<std::size_t>(n));
    }
    const std::string line = head.substr(0, head.find("\r\n"));
    {
        std::lock_guard<std::mutex> hold(lock_);
        lines_.push_back(line);
    }
    // "METHOD http://127.0.0.1:PORT/..." names where to go.
    const std::size_t at = line.find("http://127.0.0.1:");
    int server = -1;
    if (at != std::string::npos) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(std::atoi(line.c_str() + at + 17)));
        server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(server);
            server = -1;
        }
    }
    if (server >= 0 &&
        ::send(server, head.data(), head.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(head.size())) {
        pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        while (!stop_) {
            if (::poll(p, 2, 50) <= 0) continue;
            const int from = (p[0].revents != 0) ? client : server;
            const int to = from == client ? server : client;
            const ssize_t n = ::recv(from, buf, sizeof buf, 0);
            if (n <= 0 || ::send(to, buf, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) break;
        }
    }
    if (server >= 0) ::close(server);
    ::close(client);
}

}  // namespace viewer_test
