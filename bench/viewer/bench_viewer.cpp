// bench_viewer: the viewer core receiving VGA Motion JPEG at 30 pictures/s with G.726 audio from the
// camera simulator, which runs as a separate process so that only the viewer's work is counted here.
//
// Prints: camera time to frame sink (median and 99th percentile; the camera time is taken when the
// simulator draws the picture, so its JPEG encoding is included), the part-to-sink time (decode and hand
// over), the CPU the viewer uses per stream, 16 viewers in one process (CPU and memory), and FFmpeg reading
// the same stream ("-f mpjpeg ... -f null -") measured in the same run. The last line is the ratio of our
// CPU per stream to FFmpeg's.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/viewer.h"
#include "platform/clock.h"

namespace {

constexpr int kSeconds = 10;

double CpuSeconds(const rusage& u) {
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double SelfCpu() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return CpuSeconds(u);
}

long RssKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return 0;
}

// Milliseconds since the epoch of a camera time "YYYY/MM/DD hh:mm:ss.mmm" (local time), or -1.
double CameraTimeMs(std::string_view text) {
    std::tm tm{};
    int ms = 0;
    if (std::sscanf(std::string(text).c_str(), "%d/%d/%d %d:%d:%d.%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                    &tm.tm_hour, &tm.tm_min, &tm.tm_sec, &ms) != 7)
        return -1;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    tm.tm_isdst = -1;
    return static_cast<double>(std::mktime(&tm)) * 1000.0 + ms;
}

double NowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

class LatencySink : public ocuview::FrameSink {
  public:
    void OnFrame(const ocuview::Frame& f) override {
        const double camera = CameraTimeMs(f.cameraTime);
        const double handOver =
            static_cast<double>(platform::PerformanceCounter() - f.receivedNs) * 1000.0 / 1e9;
        std::lock_guard<std::mutex> hold(lock_);
        ++frames_;
        if (camera > 0) cameraToSink_.push_back(NowMs() - camera);
        partToSink_.push_back(handOver);
    }
    int Frames() {
        std::lock_guard<std::mutex> hold(lock_);
        return frames_;
    }
    std::vector<double> cameraToSink_, partToSink_;
    int frames_ = 0;
    std::mutex lock_;  // guards the samples and the count
};

class NoCredentials : public ocuview::CredentialsProvider {
  public:
    std::optional<ocuview::Credentials> AskCredentials(const std::string&) override { return std::nullopt; }
};

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

struct Simulator {
    pid_t pid = -1;
    int port = 0;
};

Simulator StartSimulator() {
    Simulator s;
    int out[2];
    if (pipe(out) != 0) return s;
    s.pid = fork();
    if (s.pid == 0) {
        dup2(out[1], 1);
        execl(QXRCAMSIM, "qxrcamsim", "--port", "0", "--video-port", "0", "--audio-port", "0", "--size",
              "640x480", "--audio-codec", "g726_32", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    const std::size_t at = line.find("127.0.0.1:");
    if (at != std::string::npos) s.port = std::atoi(line.c_str() + at + 10);
    return s;
}

// FFmpeg reading the same stream for kSeconds: its CPU seconds and the pictures it read.
double FfmpegCpu(int port) {
    // FFmpeg's multipart reader takes picture parts only, so it reads the stream without audio.
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/image?speed=30";
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, 2);
        const std::string seconds = std::to_string(kSeconds);
        execlp("ffmpeg", "ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-f", "mpjpeg", "-t",
               seconds.c_str(), "-i", url.c_str(), "-f", "null", "-", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage u{};
    if (wait4(pid, &status, 0, &u) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return CpuSeconds(u);
}

struct Run {
    double cpuPerStream = 0;  // % of one core
    double picturesPerSecond = 0;
    long rssStartKiB = 0, rssEndKiB = 0;
};

Run RunViewers(int port, int count, LatencySink* sinks, bool audio = true) {
    NoCredentials credentials;
    ocuview::ViewerObserver observer;
    std::vector<std::unique_ptr<ocuview::Viewer>> viewers;
    for (int i = 0; i < count; ++i) {
        auto v = std::make_unique<ocuview::Viewer>(sinks[i], credentials, observer);
        ocuview::ViewerSettings s;
        s.cameraHost = "127.0.0.1";
        s.cameraPort = std::to_string(port);
        s.iniPath = "/tmp/bench_viewer_" + std::to_string(getpid()) + ".ini";
        s.sessionModeRequest = ocuview::SessionMode::kTcp;
        if (!audio) s.viewModeMask = ~uint32_t{ocuview::kModeAudio};  // pictures only, as FFmpeg reads them
        v->Configure(s);
        if (v->Start() != ocuview::StartResult::kStarted)
            std::fprintf(stderr, "viewer %d did not start\n", i);
        viewers.push_back(std::move(v));
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));  // past the start-up
    Run r;
    int before = 0;
    for (int i = 0; i < count; ++i) before += sinks[i].Frames();
    r.rssStartKiB = RssKiB();
    const double cpu0 = SelfCpu();
    const auto t0 = std::chrono::steady_clock::now();
    for (int t = 0; t < kSeconds * 5; ++t) {
        for (auto& v : viewers) v->Tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = SelfCpu() - cpu0;
    r.rssEndKiB = RssKiB();
    int after = 0;
    for (int i = 0; i < count; ++i) after += sinks[i].Frames();
    for (auto& v : viewers) v->Stop();
    r.cpuPerStream = 100.0 * cpu / wall / count;
    r.picturesPerSecond = (after - before) / wall / count;
    std::remove(("/tmp/bench_viewer_" + std::to_string(getpid()) + ".ini").c_str());
    return r;
}

}  // namespace

int main() {
    setenv("QXR_AUDIO_OUTPUT", "null", 1);
    const Simulator sim = StartSimulator();
    if (sim.port == 0) {
        std::fprintf(stderr, "bench_viewer: the simulator did not start\n");
        return 1;
    }
    std::printf("camera simulator on port %d: Motion JPEG 640x480 at 30 pictures/s, G.726 32 kbit/s audio\n",
                sim.port);

    std::vector<LatencySink> one(1);
    const Run single = RunViewers(sim.port, 1, one.data());
    std::printf("1 viewer:   %.1f pictures/s, CPU %.2f %% of one core\n", single.picturesPerSecond,
                single.cpuPerStream);
    std::printf("camera time to frame sink: median %.1f ms, 99th percentile %.1f ms (%zu pictures)\n",
                Percentile(one[0].cameraToSink_, 0.5), Percentile(one[0].cameraToSink_, 0.99),
                one[0].cameraToSink_.size());
    std::printf("part to frame sink (decode and hand-over): median %.2f ms, 99th percentile %.2f ms\n",
                Percentile(one[0].partToSink_, 0.5), Percentile(one[0].partToSink_, 0.99));

    std::vector<LatencySink> many(16);
    const Run sixteen = RunViewers(sim.port, 16, many.data());
    std::printf(
        "16 viewers: %.1f pictures/s each, CPU %.2f %% of one core each, %.1f %% in all; "
        "memory %ld KiB -> %ld KiB\n",
        sixteen.picturesPerSecond, sixteen.cpuPerStream, sixteen.cpuPerStream * 16, sixteen.rssStartKiB,
        sixteen.rssEndKiB);

    std::vector<LatencySink> quiet(1);
    const Run pictures = RunViewers(sim.port, 1, quiet.data(), false);
    std::printf("1 viewer, pictures only: %.1f pictures/s, CPU %.2f %% of one core\n",
                pictures.picturesPerSecond, pictures.cpuPerStream);

    const double ffmpeg = FfmpegCpu(sim.port);
    kill(sim.pid, SIGTERM);
    waitpid(sim.pid, nullptr, 0);
    if (ffmpeg < 0) {
        std::printf("ffmpeg: could not read the stream\n");
        return 1;
    }
    const double ffmpegPercent = 100.0 * ffmpeg / kSeconds;
    std::printf("ffmpeg -f mpjpeg -i URL -f null -, pictures only: CPU %.2f %% of one core\n", ffmpegPercent);
    std::printf("CPU per picture stream, ours / ffmpeg: %.2f\n", pictures.cpuPerStream / ffmpegPercent);
    return 0;
}
