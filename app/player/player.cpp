// Player: construction, Open, Stop and the commands of the main window.
#include "player/player.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "core/path_string.h"
#include "core/report.h"
#include "core/string_table.h"
#include "platform/clock.h"
#include "platform/debug_output.h"

namespace reeldeck {

namespace {

constexpr uint32_t kMaxFrameRate = 600;
constexpr uint32_t kMaxWidth = 640;
constexpr uint32_t kMaxHeight = 480;
constexpr uint32_t kAlarmDurationMs = 1000;

bool DefaultStartThread(std::thread& thread, std::function<void()> body) {
    try {
        thread = std::thread(std::move(body));
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

}  // namespace

Player::Player(PlayerHost& host, NotificationQueue& posted, PlayerOptions options)
    : host_(host),
      posted_(posted),
      options_(std::move(options)),
      events_(options_.pollEvents),
      videoQueue_(kVideoHeapBytes, kVideoPayload),
      audioQueue_(kAudioHeapBytes, kAudioPayload),
      pacer_(options_.paced ? FramePacer() : FramePacer(platform::TickCountMs, [](uint32_t) {})) {
    if (!options_.startThread) options_.startThread = DefaultStartThread;
    // A freed packet may be what the supplier waits for.
    videoQueue_.SetFreedHook([this] { events_.Touch(); });
    audioQueue_.SetFreedHook([this] { events_.Touch(); });
}

Player::~Player() {
    Stop();
}

int Player::Fail(int line, int number) {
    ReportError(__FILE__, line, number);
    return 0;
}

bool Player::StartWorker(Worker& worker, std::function<void()> body) {
    worker.stop.store(0);
    worker.alive.store(true);
    auto run = [this, &worker, body = std::move(body)] {
        body();
        worker.alive.store(false);
        events_.Touch();
    };
    if (options_.startThread(worker.thread, std::move(run))) return true;
    worker.stop.store(1);
    worker.alive.store(false);
    return false;
}

void Player::RaiseStop(Worker& worker) {
    worker.stop.store(1);
    events_.Touch();
}

void Player::EndWorker(Worker& worker) {
    RaiseStop(worker);
    if (worker.thread.joinable()) worker.thread.join();
}

void Player::ClearAlarms() {
    events_.Reset(Event::kSensorAlarm);
    events_.Reset(Event::kMotionAlarm);
}

bool Player::AlarmActive(Event alarm, std::atomic<uint32_t>& since) {
    if (!events_.IsSet(alarm)) return false;
    if (platform::TickCountMs() - since.load() < kAlarmDurationMs) return true;
    events_.Reset(alarm);
    return false;
}

bool Player::SensorAlarmActive() {
    return AlarmActive(Event::kSensorAlarm, sensorSince_);
}

bool Player::MotionAlarmActive() {
    return AlarmActive(Event::kMotionAlarm, motionSince_);
}

std::string Player::CameraTime() const {
    std::lock_guard<std::mutex> hold(cameraTimeLock_);
    return cameraTime_;
}

void Player::SetVolume(uint16_t volume) {
    volume_.store(volume);
    events_.Touch();  // the audio thread applies it
}

void Player::SetSound(bool on) {
    soundOn_.store(on);
    events_.Touch();
}

int Player::Open(const std::string& path) {
    Stop();
    const PathString extension = PathString(path).Extension().UpperCase();
    if (extension.View() == "BMP") return OpenStill(path, true);
    if (extension.View() == "JPG" || extension.View() == "JPE" || extension.View() == "JPEG")
        return OpenStill(path, false);

    const int startUnit = files_.Open(path);
    if (startUnit < 0) return Fail(__LINE__, msg::kInvalidDataId);
    // From here on a failed check also closes the series again.
    auto fail = [this](int line, int number) {
        files_.Clear();
        return Fail(line, number);
    };
    const int count = files_.UnitCount();
    if (count < 1) return fail(__LINE__, msg::kInvalidCount);
    QxrMainHeader main;
    QxrMovieHeader movie;
    QxrAudioHeader audio = DefaultAudioHeader();
    if (files_.MainHeader(0, main) != 1) return fail(__LINE__, msg::kInvalidMainHeader);
    if (files_.MovieHeader(0, movie) != 1) return fail(__LINE__, msg::kInvalidMovieHeader);
    const bool hasAudio = main.streamCount != 1;
    if (hasAudio && files_.AudioHeader(0, audio) != 1) return fail(__LINE__, msg::kInvalidAudioHeader);
    if (movie.frameRate == 0 || movie.frameRate > kMaxFrameRate)
        return fail(__LINE__, msg::kInvalidFrameRate);
    if (movie.width < 1 || movie.height < 1 || movie.width > kMaxWidth || movie.height > kMaxHeight)
        return fail(__LINE__, msg::kInvalidScreenSize);
    if (movie.codec == tag::kJpeg) {
        kind_ = VideoKind::kMotionJpeg;
    } else if (movie.codec == tag::kMpeg4) {
        kind_ = VideoKind::kMpeg4;
    } else {
        return fail(__LINE__, msg::kInvalidMovieCodec);
    }
    const AudioFormat format = AudioFormatOf(audio);
    if (format.type == 0) return fail(__LINE__, msg::kInvalidAudioCodec);
    if (format.packetBytes == 0) return fail(__LINE__, msg::kInvalidPacketSize);

    RecordingInfo info;
    info.model = HeaderText(main.model);
    info.ipAddress = HeaderText(main.ipAddress);
    info.serial = HeaderText(main.serial);
    info.dateTime = HeaderText(main.dateTime);
    info.trigger = main.trigger;
    info.videoCodec = movie.codec;
    info.frameRate = movie.frameRate;
    info.audio = audio;
    info.hasAudio = hasAudio;
    host_.SetInformation(info);
    host_.SetPictureSize(static_cast<int>(movie.width), static_cast<int>(movie.height));
    host_.SetSliderRange(0, count - 1);

    width_ = static_cast<int>(movie.width);
    height_ = static_cast<int>(movie.height);
    frameRate_ = static_cast<int>(movie.frameRate);
    audioType_ = format.type;
    audioPacketBytes_ = format.packetBytes;
    unitCount_ = count;

    if (startUnit == 0) {
        events_.Set(Event::kStopped);
    } else {
        events_.Reset(Event::kStopped);
    }
    events_.Set(Event::kPaused);
    for (Event e : {Event::kFrameShown, Event::kCaptureRequest, Event::kVideoEnd, Event::kAudioEnd,
                    Event::kSupplierRestart, Event::kDecoderFlush, Event::kSupplierRunning,
                    Event::kDecoderReady, Event::kAudioReady})
        events_.Reset(e);
    for (Event e : {Event::kSupplierRebooting, Event::kVideoRebooting, Event::kAudioRebooting})
        events_.Set(e);
    ClearAlarms();
    {
        std::lock_guard<std::mutex> hold(cameraTimeLock_);
        cameraTime_.clear();
    }

    startUnit_.store(startUnit);
    if (!StartWorker(supplier_, [this] { SupplierThread(); })) return fail(__LINE__, msg::kNoReadingThread);
    Worker& video = VideoWorker();
    if (!StartWorker(video, [this, &video] { VideoThread(video); })) {
        Stop();
        return Fail(__LINE__, kind_ == VideoKind::kMpeg4 ? msg::kNoMpeg4Thread : msg::kNoMotionJpegThread);
    }
    Worker& sound = workers_[kAudioWorker];
    if (events_.IsSet(Event::kAudioReady) || !StartWorker(sound, [this, &sound] { AudioThread(sound); })) {
        Stop();
        return Fail(__LINE__, msg::kNoAudioThread);
    }

    events_.WaitUntil([&] {
        return (!events_.IsSet(Event::kSupplierRebooting) && !events_.IsSet(Event::kVideoRebooting) &&
                !events_.IsSet(Event::kAudioRebooting)) ||
               Gone(supplier_) || Gone(video) || Gone(sound);
    });
    ReportState(startUnit == 0 ? kStateAtStart : kStatePaused);
    return 1;
}

void Player::Stop() {
    ReportState(kStateIdle);
    if (supplier_.thread.joinable()) EndWorker(supplier_);
    for (Event e : {Event::kSupplierRunning, Event::kSupplierRestart, Event::kSupplierRebooting})
        events_.Reset(e);
    EndWorker(workers_[kMpeg4Worker]);
    EndWorker(workers_[kMotionJpegWorker]);
    for (Event e : {Event::kDecoderReady, Event::kDecoderFlush, Event::kVideoRebooting}) events_.Reset(e);
    EndWorker(workers_[kAudioWorker]);
    for (Event e : {Event::kAudioReady, Event::kAudioRebooting}) events_.Reset(e);
    videoQueue_.Clear();
    audioQueue_.Clear();
    ClearAlarms();
    host_.ClearPicture();
    ReportState(kStateIdle);
    files_.Clear();
}

bool Player::IsActive() {
    if (!events_.IsSet(Event::kSupplierRunning) || !events_.IsSet(Event::kDecoderReady) ||
        !events_.IsSet(Event::kAudioReady)) {
        platform::DebugOutput("Player - Inactive.\n");
        return false;
    }
    if (events_.IsSet(Event::kSupplierRebooting) || events_.IsSet(Event::kVideoRebooting) ||
        events_.IsSet(Event::kAudioRebooting)) {
        platform::DebugOutput("Player - Now Rebooting.\n");
        return false;
    }
    return true;
}

void Player::Play() {
    if (!IsActive()) return;
    std::lock_guard<std::mutex> hold(commandLock_);
    events_.Reset(Event::kStopped);
    events_.Reset(Event::kPaused);
    ReportState(kStatePlaying);
}

void Player::TogglePause() {
    if (!IsActive()) return;
    std::lock_guard<std::mutex> hold(commandLock_);
    if (events_.IsSet(Event::kStopped)) return;
    if (!events_.IsSet(Event::kPaused)) {
        events_.Set(Event::kPaused);
        ReportState(kStatePaused);
    } else {
        events_.Reset(Event::kFrameShown);
        events_.Reset(Event::kPaused);
        ReportState(kStatePlaying);
    }
}

void Player::Rewind() {
    if (!IsActive()) return;
    std::lock_guard<std::mutex> hold(commandLock_);
    events_.Set(Event::kStopped);
    events_.Set(Event::kPaused);
    Seek(0, 1);
}

void Player::Capture() {
    if (!IsActive()) return;
    std::lock_guard<std::mutex> hold(commandLock_);
    events_.Set(Event::kCaptureRequest);
}

void Player::Seek(int unit, int paused) {
    if (!IsActive()) return;
    Worker& video = VideoWorker();
    // Each step waits for its worker's acknowledgement, or for the worker to be gone (its stop flag
    // raised, or its thread ended on an error), so that a dead worker cannot hang the main thread.
    auto decoderGone = [&] { return Gone(video); };
    auto supplierGone = [&] { return Gone(supplier_); };
    auto handshake = [&](Event e, auto gone) {
        events_.Set(e);
        events_.WaitUntil([&] { return !events_.IsSet(e) || gone(); });
    };

    ReportState(kStateIdle);
    events_.Set(Event::kSupplierRebooting);
    events_.Set(Event::kVideoRebooting);
    ClearAlarms();
    handshake(Event::kDecoderFlush, decoderGone);      // the decoder has left its decode run
    handshake(Event::kSupplierRestart, supplierGone);  // the supplier has left its pass

    const int clamped = std::clamp(unit, 0, std::max(unitCount_ - 1, 0));
    startUnit_.store(clamped);
    videoQueue_.Clear();
    audioQueue_.Clear();
    if (paused == 1) {
        events_.Set(Event::kStopped);
        events_.Set(Event::kPaused);
    } else {
        events_.Reset(Event::kStopped);
        events_.Reset(Event::kPaused);
    }
    handshake(Event::kSupplierRestart, supplierGone);  // a new pass at the start unit has begun
    handshake(Event::kDecoderFlush, decoderGone);      // the decoder has begun a new run

    if (paused == 1) {
        ReportState(clamped == 0 ? kStateAtStart : kStatePaused);
    } else {
        ReportState(kStatePlaying);
    }
    events_.WaitUntil([&] {
        return (!events_.IsSet(Event::kSupplierRebooting) && !events_.IsSet(Event::kVideoRebooting) &&
                !events_.IsSet(Event::kAudioRebooting)) ||
               supplierGone() || decoderGone() || Gone(workers_[kAudioWorker]);
    });
}

}  // namespace reeldeck
