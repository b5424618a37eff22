// qxrtool watch: the Ocuview core headless against a camera: pictures per second, camera time, RTP loss
// and jitter, and the status texts; optionally the last picture saved.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "command.h"
#include "control/control_model.h"
#include "core/viewer.h"
#include "core/viewer_state.h"
#include "picture_file.h"
#include "platform/clock.h"
#include "platform/output_file.h"

namespace qxrtool {
namespace {

int RunWatch(int argc, char** argv);

const Command kWatch{
    "watch", "watch a camera live with the viewer core, headless",
    "watch URL [--seconds N] [--user U --password W] [--udp|--multicast] [--rate N] [--snapshot FILE]\n"
    "  URL is the camera's address, e.g. http://127.0.0.1:8080/. Prints once a second the pictures\n"
    "  per second, the camera time, and over RTP the packets lost and the jitter; prints every status\n"
    "  text. --seconds (default 10) limits the run; --snapshot saves the last picture as BMP, JPEG or\n"
    "  PPM by the file's extension. Exit status 0 when pictures arrived, 1 when the viewer ended on a\n"
    "  status (its text printed) or none arrived.",
    RunWatch};

struct Picture {
    const uint8_t* bgr = nullptr;
    int width = 0, height = 0, stride = 0;
};

// Counts pictures and keeps a copy of the last one for the snapshot.
class WatchSink : public ocuview::FrameSink {
  public:
    void OnFrame(const ocuview::Frame& f) override {
        ++count_;
        if (!keep_) return;
        std::lock_guard<std::mutex> hold(lock_);
        last_.assign(f.bgr, f.bgr + static_cast<std::size_t>(f.stride) * static_cast<std::size_t>(f.height));
        width_ = f.width;
        height_ = f.height;
        stride_ = f.stride;
    }
    void Keep() { keep_ = true; }
    uint64_t Count() const { return count_; }
    Picture Last() {
        std::lock_guard<std::mutex> hold(lock_);
        return {last_.data(), width_, height_, stride_};
    }

  private:
    std::atomic<uint64_t> count_{0};
    bool keep_ = false;
    std::mutex lock_;  // guards the picture copy
    std::vector<uint8_t> last_;
    int width_ = 0, height_ = 0, stride_ = 0;
};

// Answers every password dialog with the credentials given on the command line (or Cancel without).
class CommandLineCredentials : public ocuview::CredentialsProvider {
  public:
    CommandLineCredentials(std::string user, std::string password)
        : user_(std::move(user)), password_(std::move(password)) {}
    std::optional<ocuview::Credentials> AskCredentials(const std::string& realm) override {
        std::printf("credentials asked for \"%s\"%s\n", realm.c_str(), user_.empty() ? ": none given" : "");
        if (user_.empty()) return std::nullopt;
        return ocuview::Credentials{user_, password_};
    }

  private:
    std::string user_, password_;
};

class WatchObserver : public ocuview::ViewerObserver {
  public:
    void OnStatus(int code, std::string_view text) override {
        ended_ = true;
        code_ = code;
        std::printf("status %d: %.*s\n", code, static_cast<int>(text.size()), text.data());
    }
    void OnRestart() override { std::printf("restarting the viewer\n"); }
    void OnMessageBox(std::string_view title, std::string_view text) override {
        std::printf("%.*s: %.*s\n", static_cast<int>(title.size()), title.data(),
                    static_cast<int>(text.size()), text.data());
    }
    void OnSessionMode(ocuview::SessionMode mode) override {
        std::printf("session mode %s\n", mode == ocuview::SessionMode::kTcp          ? "TCP"
                                         : mode == ocuview::SessionMode::kUdpUnicast ? "UDP unicast"
                                                                                     : "UDP multicast");
    }
    bool Ended() const { return ended_; }

  private:
    std::atomic<bool> ended_{false};
    std::atomic<int> code_{0};
};

bool EndsWith(const std::string& s, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i]) return false;
    }
    return true;
}

// The snapshot's format by the file's extension: ".bmp", ".jpg" or ".ppm" (any case).
std::string_view SnapshotFormat(const std::string& path) {
    for (const char* format : {"bmp", "jpg", "ppm"}) {
        if (EndsWith(path, (std::string(".") + format).c_str())) return format;
    }
    return {};
}

int RunWatch(int argc, char** argv) {
    if (WantsHelp(argc, argv)) return PrintCommandHelp(kWatch);
    std::string url, user, password, snapshot;
    int seconds = 10;
    int rate = 0;
    std::optional<ocuview::SessionMode> mode;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--seconds" && hasValue) {
            seconds = std::atoi(argv[++i]);
        } else if (a == "--user" && hasValue) {
            user = argv[++i];
        } else if (a == "--password" && hasValue) {
            password = argv[++i];
        } else if (a == "--snapshot" && hasValue) {
            snapshot = argv[++i];
        } else if (a == "--rate" && hasValue) {
            rate = std::atoi(argv[++i]);
        } else if (a == "--udp") {
            mode = ocuview::SessionMode::kUdpUnicast;
        } else if (a == "--multicast") {
            mode = ocuview::SessionMode::kUdpMulticast;
        } else if (a.rfind("--", 0) == 0 || !url.empty()) {
            return UsageError(kWatch, "unknown argument " + a);
        } else {
            url = a;
        }
    }
    if (url.empty()) return UsageError(kWatch, "expects the camera's URL");
    if (!snapshot.empty() && SnapshotFormat(snapshot).empty())
        return UsageError(kWatch, "the snapshot must end in .bmp, .jpg or .ppm");
    if (seconds < 1 || seconds > 86400) return UsageError(kWatch, "--seconds must be 1 to 86400");
    if (user.empty() != password.empty()) return UsageError(kWatch, "--user and --password go together");
    if (url.find('/', url.find("://") == std::string::npos ? 0 : url.find("://") + 3) == std::string::npos)
        url += "/";
    const auto address = ocuview::ParsePageUrl(url);
    if (!address || address->host.empty()) return UsageError(kWatch, "cannot read a host from " + url);

    WatchSink sink;
    if (!snapshot.empty()) sink.Keep();
    CommandLineCredentials credentials(user, password);
    WatchObserver observer;
    ocuview::Viewer viewer(sink, credentials, observer);
    ocuview::ViewerSettings settings;
    settings.cameraHost = address->host;
    settings.cameraPort = address->port;
    settings.sessionModeRequest = mode;
    settings.frameRate = rate;
    settings.controlWidth = 0;  // no control: the short status texts
    viewer.Configure(settings);

    const auto result = viewer.Start();
    if (result == ocuview::StartResult::kInquiryFailed || result == ocuview::StartResult::kStreamsFailed) {
        viewer.Stop();
        return 1;
    }
    ocuview::ViewerState& state = viewer.State();
    const uint64_t start = platform::PerformanceCounter();
    const uint64_t second = platform::PerformanceFrequency();
    uint64_t lastCount = 0;
    uint64_t nextReport = start + second;
    while (!observer.Ended() &&
           platform::PerformanceCounter() - start < static_cast<uint64_t>(seconds) * second) {
        viewer.Tick();
        const uint64_t now = platform::PerformanceCounter();
        if (now >= nextReport) {
            const uint64_t count = sink.Count();
            std::string cameraTime;
            {
                std::lock_guard<std::mutex> hold(state.statusLock);
                cameraTime = state.overlayText;
            }
            std::printf("%3llus  %5.1f pictures/s  camera time %s",
                        static_cast<unsigned long long>((now - start) / second),
                        static_cast<double>(count - lastCount) * static_cast<double>(second) /
                            static_cast<double>(now - nextReport + second),
                        cameraTime.empty() ? "-" : cameraTime.c_str());
            if (viewer.CurrentSessionMode() != ocuview::SessionMode::kTcp && viewer.Playing()) {
                std::printf("  RTP lost %d  jitter %.1f ms", state.videoStats.cumulativeLost.load(),
                            state.videoStats.jitter.load() / 8.0);
            }
            std::printf("\n");
            std::fflush(stdout);
            lastCount = count;
            nextReport = now + second;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    viewer.Stop();
    const uint64_t total = sink.Count();
    std::printf("%llu pictures in %.1f s\n", static_cast<unsigned long long>(total),
                static_cast<double>(platform::PerformanceCounter() - start) / static_cast<double>(second));
    if (!snapshot.empty() && total > 0) {
        const Picture last = sink.Last();
        std::vector<uint8_t> bytes;
        std::string error;
        if (!EncodePicture(last.bgr, last.width, last.height, last.stride, SnapshotFormat(snapshot), bytes))
            return Fail(kWatch.name, "cannot encode the picture");
        if (platform::WriteFile(snapshot, bytes, &error) != platform::FileStatus::kOk)
            return Fail(kWatch.name, error);
        std::printf("last picture saved to %s\n", snapshot.c_str());
    }
    return (total > 0 && !observer.Ended()) ? 0 : 1;
}

}  // namespace

QXRTOOL_COMMAND(kWatch);

}  // namespace qxrtool
