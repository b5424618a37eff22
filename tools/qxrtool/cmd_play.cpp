// qxrtool play and qxrtool frames: Reeldeck's playback engine without a window. `play` shows what the
// engine does (states, pictures per second, camera time) and is the harness of the engine's benchmark;
// `frames` writes every shown picture to a file named from its camera time.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "command.h"
#include "core/bmp.h"
#include "core/string_table.h"
#include "picture_file.h"
#include "platform/clock.h"
#include "platform/input_file.h"
#include "platform/output_file.h"
#include "platform/wave_out.h"
#include "player/notification_queue.h"
#include "player/player.h"
#include "vello/jpeg/jpeg_picture.h"

namespace qxrtool {
namespace {

using reeldeck::DisplayBuffer;
using reeldeck::NotificationQueue;
using reeldeck::Player;
using reeldeck::PlayerNotification;

int RunPlay(int argc, char** argv);
int RunFrames(int argc, char** argv);

const Command kPlay{
    "play", "play a recording with the playback engine, headless",
    "play FILE [--seconds N] [--from UNIT]\n\n"
    "Opens FILE (any file of a .m4f/.jpf series) and plays it from its first unit, or from UNIT,\n"
    "for N seconds or to the end of the data. Prints each state the engine reports, then once a\n"
    "second the pictures shown, the engine's measured rate, the unit and the camera time.\n"
    "Sound goes to the audio output QXR_AUDIO_OUTPUT chooses (sdl, null, wav:FILE).",
    RunPlay};

const Command kFrames{
    "frames", "write every picture a recording shows to files named from their camera time",
    "frames FILE DIR [--from UNIT] [--count N] [--format bmp|jpg|ppm]\n\n"
    "Plays FILE unpaced and without sound and writes each shown picture to DIR as\n"
    "YYYYMMDD_hhmmss_mmm.<format> (its camera time; frame_NNNNNN without one). Starts at the\n"
    "file's first unit or at UNIT, and ends after N pictures or at the end of the data.",
    RunFrames};

bool ParseCount(const char* text, long low, long& out) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < low) return false;
    out = v;
    return true;
}

const char* StateName(unsigned mask) {
    switch (mask) {
        case reeldeck::kStateIdle:
            return "idle or repositioning";
        case reeldeck::kStateAtStart:
            return "at rest at the start";
        case reeldeck::kStatePlaying:
            return "playing";
        case reeldeck::kStatePaused:
            return "paused";
    }
    return "other";
}

// The window's part: a display buffer, the slider and the counters. Pictures arrive on the decoder
// thread; the command's thread reads the counters.
class HeadlessHost : public reeldeck::PlayerHost {
  public:
    using PictureSink = std::function<bool(const DisplayBuffer&, const std::string& cameraTime)>;

    explicit HeadlessHost(bool printStates) : printStates_(printStates) {}
    void Attach(Player* player) { player_ = player; }
    void SetPictureSink(PictureSink sink) { sink_ = std::move(sink); }

    void ShowPicture(const DisplayBuffer& buffer, double frameRate) override {
        std::string time;
        {
            std::lock_guard<std::mutex> hold(lock_);
            ++pictures_;
            rate_ = frameRate;
            time = cameraTime_;
        }
        if (sink_ && !sink_(buffer, time)) failed_ = true;
    }
    int UnitForPosition(int64_t position) override { return player_->Files().UnitForVideoPosition(position); }
    void MoveSlider(int unit) override {
        std::lock_guard<std::mutex> hold(lock_);
        unit_ = unit;
    }
    void SetSliderRange(int /*first*/, int last) override { lastUnit_ = last; }
    void CameraTimeChanged(std::string_view text) override {
        std::lock_guard<std::mutex> hold(lock_);
        cameraTime_ = std::string(text);
    }
    void CapturePicture(const DisplayBuffer&, std::string_view) override {}
    void SetInformation(const reeldeck::RecordingInfo& info) override {
        if (!printStates_) return;
        std::printf("recording: %s, %s, %s, trigger %s, video %s, audio %s\n", info.model.c_str(),
                    info.serial.c_str(), info.dateTime.c_str(), reeldeck::TriggerText(info.trigger).c_str(),
                    reeldeck::VideoCodecText(info.videoCodec).c_str(),
                    reeldeck::AudioCodecText(info.audio, info.hasAudio).c_str());
    }
    void SetPictureSize(int width, int height) override {
        if (printStates_) std::printf("picture: %dx%d\n", width, height);
    }
    int CreateDisplayBuffer(int width, int height, DisplayBuffer& out) override {
        const int step = (width * 3 + 3) & ~3;
        buffer_.assign(static_cast<std::size_t>(step) * static_cast<std::size_t>(height), 0);
        out = {buffer_.data(), width, height, step};
        return 0;
    }
    void SetButtonState(unsigned mask) override {
        std::lock_guard<std::mutex> hold(lock_);
        state_ = mask;
        if (printStates_) {
            std::printf("%8.3f s  state %u (%s)\n", Seconds(), mask, StateName(mask));
            std::fflush(stdout);
        }
    }
    void ClearPicture() override {}

    double Seconds() const { return (platform::TickCountMs() - start_) / 1000.0; }
    uint64_t Pictures() const {
        std::lock_guard<std::mutex> hold(lock_);
        return pictures_;
    }
    unsigned State() const {
        std::lock_guard<std::mutex> hold(lock_);
        return state_;
    }
    void PrintProgress(uint64_t previous) const {
        std::lock_guard<std::mutex> hold(lock_);
        std::printf("%8.3f s  %3" PRIu64 " pictures  rate %5.1f  unit %d/%d  camera time %s\n", Seconds(),
                    pictures_ - previous, rate_, unit_, lastUnit_, cameraTime_.c_str());
        std::fflush(stdout);
    }
    bool Failed() const { return failed_; }

  private:
    const bool printStates_;
    const uint32_t start_ = platform::TickCountMs();
    Player* player_ = nullptr;
    PictureSink sink_;
    std::vector<uint8_t> buffer_;  // written by the decoder thread only between pictures
    std::atomic<bool> failed_{false};
    int lastUnit_ = 0;
    mutable std::mutex lock_;  // guards the counters below
    uint64_t pictures_ = 0;
    double rate_ = 0;
    int unit_ = 0;
    unsigned state_ = 0;
    std::string cameraTime_;
};

// The main window's message loop for `timeoutMs`: WM_APP+105 seeks, WM_APP+115 stops with the message.
// False after an error.
bool Drain(NotificationQueue& queue, Player& player, uint32_t timeoutMs, std::string& error) {
    const uint32_t start = platform::TickCountMs();
    while (platform::TickCountMs() - start < timeoutMs) {
        auto n = queue.WaitTake(timeoutMs - (platform::TickCountMs() - start));
        if (!n) break;
        if (n->code == PlayerNotification::kSeekRequest) {
            player.Seek(static_cast<int>(n->wParam), static_cast<int>(n->lParam));
        } else if (n->code == PlayerNotification::kError) {
            player.Stop();
            error = "playback error " + std::to_string(n->wParam);
            const std::string_view text = reeldeck::LoadText(static_cast<int>(n->wParam));
            if (!text.empty()) error += ": " + std::string(text);
            return false;
        }
    }
    return true;
}

// True once the engine rests at the end of the data after playing.
bool AtEnd(const HeadlessHost& host, Player& player) {
    return host.State() == reeldeck::kStateAtStart && player.EventIsSet(reeldeck::Event::kStopped) &&
           player.EventIsSet(reeldeck::Event::kVideoEnd);
}

int RunPlay(int argc, char** argv) {
    if (WantsHelp(argc, argv)) return PrintCommandHelp(kPlay);
    std::string file;
    long seconds = -1, from = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--seconds" || arg == "--from") && i + 1 < argc) {
            if (!ParseCount(argv[++i], 0, arg == "--seconds" ? seconds : from))
                return UsageError(kPlay, arg + " takes a number from 0");
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError(kPlay, "unknown option " + arg);
        } else if (file.empty()) {
            file = arg;
        } else {
            return UsageError(kPlay, "one file only");
        }
    }
    if (file.empty()) return UsageError(kPlay, "needs a recording");

    HeadlessHost host(true);
    NotificationQueue queue;
    Player player(host, queue);
    host.Attach(&player);
    if (std::string reason; platform::CheckInput(file, &reason) != platform::FileStatus::kOk)
        return Fail("play", reason);
    if (player.Open(file) != 1) return Fail("play", "cannot open " + file);
    if (from >= 0) {
        player.Seek(static_cast<int>(from), 0);
    } else {
        player.Play();
    }
    std::string error;
    uint64_t shown = 0;
    for (long second = 0; seconds < 0 || second < seconds; ++second) {
        const bool ok = Drain(queue, player, 1000, error);
        host.PrintProgress(shown);
        shown = host.Pictures();
        if (!ok) break;
        if (AtEnd(host, player)) break;
    }
    player.Stop();
    std::printf("%" PRIu64 " pictures in %.3f s\n", shown, host.Seconds());
    if (!error.empty()) return Fail("play", error);
    return 0;
}

// "YYYY/MM/DD hh:mm:ss.mmm" to "YYYYMMDD_hhmmss_mmm"; empty when the text is not laid out so.
std::string FileStem(const std::string& time) {
    if (time.size() != reeldeck::kCameraTimeLength) return {};
    const int picks[] = {0, 1, 2, 3, 5, 6, 8, 9, -1, 11, 12, 14, 15, 17, 18, -1, 20, 21, 22};
    std::string stem;
    for (int p : picks) {
        if (p < 0) {
            stem += '_';
            continue;
        }
        const char c = time[static_cast<std::size_t>(p)];
        if (c < '0' || c > '9') return {};
        stem += c;
    }
    return stem;
}

int RunFrames(int argc, char** argv) {
    if (WantsHelp(argc, argv)) return PrintCommandHelp(kFrames);
    std::vector<std::string> positional;
    long from = -1, count = -1;
    std::string format = "bmp";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--from" || arg == "--count") && i + 1 < argc) {
            if (!ParseCount(argv[++i], arg == "--count" ? 1 : 0, arg == "--from" ? from : count))
                return UsageError(kFrames, arg + " takes a number");
        } else if (arg == "--format" && i + 1 < argc) {
            format = argv[++i];
            if (format != "bmp" && format != "jpg" && format != "ppm")
                return UsageError(kFrames, "--format takes bmp, jpg or ppm");
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError(kFrames, "unknown option " + arg);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2) return UsageError(kFrames, "needs a recording and a directory");
    const std::string& file = positional[0];
    const std::string& directory = positional[1];

    // No sound: a device that cannot open makes the engine discard the audio as it comes.
    platform::SetWaveOutBackend(
        [](const platform::WaveFormat&) { return std::unique_ptr<platform::WaveSink>(); });
    HeadlessHost host(false);
    NotificationQueue queue;
    reeldeck::PlayerOptions options;
    options.paced = false;
    Player player(host, queue, options);
    host.Attach(&player);

    std::mutex namesLock;  // guards names, written, writeError (the decoder thread writes the files)
    std::set<std::string> names;
    long written = 0;
    std::string writeError;
    host.SetPictureSink([&](const DisplayBuffer& picture, const std::string& time) {
        std::lock_guard<std::mutex> hold(namesLock);
        if (count >= 0 && written >= count) return true;
        std::string stem = FileStem(time);
        if (stem.empty()) {
            char fallback[32];
            std::snprintf(fallback, sizeof fallback, "frame_%06ld", written);
            stem = fallback;
        }
        std::string name = stem;
        for (int n = 2; !names.insert(name).second; ++n) name = stem + "-" + std::to_string(n);
        std::vector<uint8_t> bytes;
        if (!EncodePicture(picture.pixels, picture.width, picture.height, picture.step, format, bytes)) {
            writeError = "cannot encode picture " + std::to_string(written);
            return false;
        }
        std::string error;
        if (platform::WriteFile(directory + "/" + name + "." + format, bytes, &error, {}) !=
            platform::FileStatus::kOk) {
            writeError = error;
            return false;
        }
        ++written;
        return true;
    });

    if (std::string reason; platform::CheckInput(file, &reason) != platform::FileStatus::kOk)
        return Fail("frames", reason);
    if (player.Open(file) != 1) return Fail("frames", "cannot open " + file);
    if (from >= 0) {
        player.Seek(static_cast<int>(from), 0);
    } else {
        player.Play();
    }
    std::string error;
    for (;;) {
        if (!Drain(queue, player, 50, error)) break;
        if (host.Failed()) break;
        {
            std::lock_guard<std::mutex> hold(namesLock);
            if (count >= 0 && written >= count) break;
        }
        if (AtEnd(host, player)) break;
    }
    player.Stop();
    std::lock_guard<std::mutex> hold(namesLock);
    if (!writeError.empty()) return Fail("frames", writeError);
    if (!error.empty()) return Fail("frames", error);
    std::printf("%ld pictures written to %s\n", written, directory.c_str());
    return 0;
}

}  // namespace

QXRTOOL_COMMAND(kPlay);
QXRTOOL_COMMAND(kFrames);

}  // namespace qxrtool
