// bench_player: figures of Reeldeck's playback engine on recordings it writes itself.
//
//   seek latency   100 random paused seeks in a 10-file Motion JPEG series: from Seek to the first
//                  picture of the new unit, median and worst, with event waits and with 1 ms polls
//   cost           CPU time (user + system, the whole process) per second of playing a 640x480, 30
//                  pictures per second Motion JPEG recording with G.726 audio to the null output
//   drift          the camera time of the picture shown against the sound played, after --drift-seconds
//                  (default 60; the goal is stated for 600) of a 30 pictures per second recording
//
// usage: bench_player [--drift-seconds N] [--cost-seconds N]
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "core/report.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/wave_out.h"
#include "player/notification_queue.h"
#include "player/player.h"
#include "series_writer/series_writer.h"
#include "vello/jpeg/jpeg_picture.h"

namespace {

using reeldeck::DisplayBuffer;
namespace tag = reeldeck::tag;
namespace series = reeldeck::series;

constexpr int64_t kStartMs = 1772366400000;

// A host that counts pictures and remembers when each was shown and with which camera time.
class BenchHost : public reeldeck::PlayerHost {
  public:
    void Attach(reeldeck::Player* p) { player_ = p; }
    void ShowPicture(const DisplayBuffer&, double) override {
        std::lock_guard<std::mutex> hold(lock_);
        ++pictures_;
        lastTick_ = platform::PerformanceCounter();
        shownTime_ = time_;
    }
    int UnitForPosition(int64_t position) override { return player_->Files().UnitForVideoPosition(position); }
    void MoveSlider(int) override {}
    void SetSliderRange(int, int) override {}
    void CameraTimeChanged(std::string_view text) override {
        std::lock_guard<std::mutex> hold(lock_);
        time_ = std::string(text);
    }
    void CapturePicture(const DisplayBuffer&, std::string_view) override {}
    void SetInformation(const reeldeck::RecordingInfo&) override {}
    void SetPictureSize(int, int) override {}
    int CreateDisplayBuffer(int w, int h, DisplayBuffer& out) override {
        const int step = (w * 3 + 3) & ~3;
        buffer_.assign(static_cast<std::size_t>(step) * static_cast<std::size_t>(h), 0);
        out = {buffer_.data(), w, h, step};
        return 0;
    }
    void SetButtonState(unsigned) override {}
    void ClearPicture() override {}

    uint64_t Pictures() {
        std::lock_guard<std::mutex> hold(lock_);
        return pictures_;
    }
    uint64_t LastTick() {
        std::lock_guard<std::mutex> hold(lock_);
        return lastTick_;
    }
    std::string ShownTime() {
        std::lock_guard<std::mutex> hold(lock_);
        return shownTime_;
    }

  private:
    reeldeck::Player* player_ = nullptr;
    std::vector<uint8_t> buffer_;
    std::mutex lock_;
    uint64_t pictures_ = 0;
    uint64_t lastTick_ = 0;
    std::string time_, shownTime_;
};

// Milliseconds of a camera time text "YYYY/MM/DD hh:mm:ss.mmm" within its day.
double DayMs(const std::string& t) {
    if (t.size() < 23) return 0;
    return ((std::atoi(t.substr(11, 2).c_str()) * 60 + std::atoi(t.substr(14, 2).c_str())) * 60 +
            std::atoi(t.substr(17, 2).c_str())) *
               1000.0 +
           std::atoi(t.substr(20, 3).c_str());
}

// A textured picture (so that it codes like a camera picture, tens of kilobytes at VGA) that moves.
std::vector<uint8_t> Picture(int w, int h, int index) {
    const int step = w * 3;
    std::vector<uint8_t> bgr(static_cast<std::size_t>(step) * static_cast<std::size_t>(h));
    std::mt19937 noise(static_cast<unsigned>(index));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &bgr[static_cast<std::size_t>(y) * step + static_cast<std::size_t>(x) * 3];
            const int v = ((x + index * 4) / 16 + y / 16) % 2 ? 170 : 60;
            p[0] = static_cast<uint8_t>(v + noise() % 24);
            p[1] = static_cast<uint8_t>((x * 255) / w);
            p[2] = static_cast<uint8_t>((y * 255) / h);
        }
    return vello::EncodeJpeg({bgr.data(), w, h, 3, step, vello::kJpegColourBGR}).bytes;
}

// Writes a Motion JPEG series; `distinct` pictures are coded and repeated to make `frames`.
std::string MakeSeries(const std::string& dir, int w, int h, int frames, int distinct, int files,
                       uint32_t rate, uint32_t audioRate) {
    std::vector<std::vector<uint8_t>> coded;
    for (int i = 0; i < distinct; ++i) coded.push_back(Picture(w, h, i));
    std::vector<series::Frame> all;
    for (int i = 0; i < frames; ++i)
        all.push_back({coded[static_cast<std::size_t>(i % distinct)], false, false});
    series::SeriesSpec spec;
    spec.directory = dir;
    spec.fileCount = files;
    spec.codec = tag::kJpeg;
    spec.width = static_cast<uint32_t>(w);
    spec.height = static_cast<uint32_t>(h);
    spec.frameRate = rate;
    spec.startTimeMs = kStartMs;
    spec.audioCodec = tag::kG726;
    spec.audioRate = audioRate;
    std::vector<uint8_t> audio(static_cast<std::size_t>(series::AudioBytesPerSecond(tag::kG726, audioRate)) *
                               static_cast<std::size_t>(frames) / rate);
    std::mt19937 noise(1);
    for (uint8_t& b : audio) b = static_cast<uint8_t>(noise());
    const series::WriteResult written = series::WriteSeries(spec, all, audio);
    if (!written.ok) {
        std::fprintf(stderr, "cannot write the series: %s\n", written.error.c_str());
        std::exit(1);
    }
    return written.paths.front();
}

void Drain(reeldeck::NotificationQueue& queue, reeldeck::Player& player) {
    while (auto n = queue.TryTake()) {
        if (n->code == reeldeck::PlayerNotification::kSeekRequest) {
            player.Seek(static_cast<int>(n->wParam), static_cast<int>(n->lParam));
        } else if (n->code == reeldeck::PlayerNotification::kError) {
            std::fprintf(stderr, "playback error %lld\n", static_cast<long long>(n->wParam));
            std::exit(1);
        }
    }
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void SeekLatency(const std::string& first, int units, bool polling) {
    BenchHost host;
    reeldeck::NotificationQueue queue;
    reeldeck::PlayerOptions options;
    options.pollEvents = polling;
    reeldeck::Player player(host, queue, options);
    host.Attach(&player);
    if (player.Open(first) != 1) std::exit(1);
    std::mt19937 random(42);
    std::vector<double> ms;
    for (int i = 0; i < 100; ++i) {
        const uint64_t before = host.Pictures();
        const uint64_t start = platform::PerformanceCounter();
        player.Seek(static_cast<int>(random() % static_cast<unsigned>(units)), 1);
        while (host.Pictures() == before) {
            Drain(queue, player);
            platform::SleepMs(0);
        }
        ms.push_back(static_cast<double>(host.LastTick() - start) * 1000.0 /
                     static_cast<double>(platform::PerformanceFrequency()));
    }
    std::sort(ms.begin(), ms.end());
    std::printf("seek latency (%s): median %.2f ms, worst %.2f ms over 100 seeks in %d units\n",
                polling ? "1 ms polls" : "event waits", ms[50], ms.back(), units);
}

// Wraps the null output so that the bench can read how much sound has been played.
std::atomic<uint64_t>* g_played = nullptr;
class CountingSink : public platform::WaveSink {
  public:
    explicit CountingSink(std::unique_ptr<platform::WaveSink> inner) : inner_(std::move(inner)) {}
    void Push(const uint8_t* data, uint32_t size, uint32_t volume) override {
        inner_->Push(data, size, volume);
    }
    uint64_t Played() override {
        const uint64_t p = inner_->Played();
        if (g_played != nullptr) g_played->store(total_ + p);
        return p;
    }
    void Flush() override {
        total_ += inner_->Played();
        inner_->Flush();
    }
    void SetPaused(bool paused) override { inner_->SetPaused(paused); }

  private:
    std::unique_ptr<platform::WaveSink> inner_;
    uint64_t total_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    int driftSeconds = 60, costSeconds = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--drift-seconds") == 0) driftSeconds = std::max(5, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--cost-seconds") == 0) costSeconds = std::max(2, std::atoi(argv[i + 1]));
    }
    const std::string base = (std::filesystem::temp_directory_path() / "bench_player").string();
    std::filesystem::remove_all(base);
    reeldeck::SetReportDirectory(base + "/state");
    platform::SetDebugSink([](std::string_view) {});
    std::atomic<uint64_t> played{0};
    g_played = &played;
    const platform::WaveSinkFactory null = platform::NullWaveBackend();
    platform::SetWaveOutBackend([null](const platform::WaveFormat& f) -> std::unique_ptr<platform::WaveSink> {
        auto inner = null(f);
        if (!inner) return nullptr;
        return std::make_unique<CountingSink>(std::move(inner));
    });

    // Seek latency: 10 files, 300 units of 320x240.
    {
        const std::string dir = base + "/seek";
        std::filesystem::create_directories(dir);
        const std::string first = MakeSeries(dir, 320, 240, 300, 10, 10, 30, tag::k32kb);
        SeekLatency(first, 300, false);
        SeekLatency(first, 300, true);
    }
    // Cost of playing VGA Motion JPEG at 30 pictures per second with G.726 audio.
    {
        const std::string dir = base + "/cost";
        std::filesystem::create_directories(dir);
        const std::string first = MakeSeries(dir, 640, 480, costSeconds * 30 + 30, 30, 1, 30, tag::k32kb);
        BenchHost host;
        reeldeck::NotificationQueue queue;
        reeldeck::Player player(host, queue);
        host.Attach(&player);
        if (player.Open(first) != 1) return 1;
        player.Play();
        const double cpu0 = CpuSeconds();
        const uint32_t t0 = platform::TickCountMs();
        const uint64_t p0 = host.Pictures();
        while (platform::TickCountMs() - t0 < static_cast<uint32_t>(costSeconds) * 1000) {
            Drain(queue, player);
            platform::SleepMs(20);
        }
        const double cpu = CpuSeconds() - cpu0;
        const double wall = (platform::TickCountMs() - t0) / 1000.0;
        const uint64_t shown = host.Pictures() - p0;
        player.Stop();
        std::printf(
            "cost: %.2f %% of one core for 640x480 Motion JPEG at 30 pictures/s with G.726 audio "
            "(%llu pictures in %.1f s, %.1f per second)\n",
            100.0 * cpu / wall, static_cast<unsigned long long>(shown), wall,
            static_cast<double>(shown) / wall);
    }
    // Drift of the pictures against the sound.
    {
        const std::string dir = base + "/drift";
        std::filesystem::create_directories(dir);
        const int frames = (driftSeconds + 5) * 30;
        const std::string first = MakeSeries(dir, 64, 48, frames, 30, 10, 30, tag::k32kb);
        BenchHost host;
        reeldeck::NotificationQueue queue;
        reeldeck::Player player(host, queue);
        host.Attach(&player);
        if (player.Open(first) != 1) return 1;
        while (host.Pictures() == 0) platform::SleepMs(1);
        const double video0 = DayMs(host.ShownTime());
        const uint64_t audio0 = played.load();
        player.Play();
        double worst = 0, last = 0, clock = 0;
        const uint32_t t0 = platform::TickCountMs();
        while (platform::TickCountMs() - t0 < static_cast<uint32_t>(driftSeconds) * 1000) {
            Drain(queue, player);
            platform::SleepMs(100);
            // G.726 plays as 16-bit samples at 8000 Hz: 16 bytes per ms.
            const double audioMs = static_cast<double>(played.load() - audio0) / 16.0;
            const double videoMs = DayMs(host.ShownTime()) - video0;
            last = videoMs - audioMs;
            clock = videoMs - (platform::TickCountMs() - t0);
            if (std::fabs(last) > std::fabs(worst)) worst = last;
        }
        player.Stop();
        std::printf(
            "drift after %d s: pictures %+.1f ms against the sound (largest %+.1f ms; a user notices "
            "beyond about 80 ms), %+.1f ms against the clock\n",
            driftSeconds, last, worst, clock);
    }
    std::filesystem::remove_all(base);
    return 0;
}
