#include "core/viewer.h"

#include <cstdlib>

#include "core/command.h"
#include "core/inquiry.h"
#include "core/pipeline.h"
#include "core/stream_request.h"
#include "core/viewer_state.h"
#include "platform/debug_output.h"

namespace ocuview {

namespace {

std::string IniPath(const ViewerState& v) {
    return v.settings.iniPath.empty() ? DefaultIniPath() : v.settings.iniPath;
}

// Ends a recording after its tap is detached: the files are finalised, the host is told.
std::optional<RecordingSummary> EndRecording(ViewerState& v) {
    if (!v.recorder) return std::nullopt;
    {
        std::lock_guard<std::mutex> hold(v.tapLock);
        v.tap.reset();
        v.tapped = false;
    }
    const RecordingSummary summary = v.recorder->Finish();
    v.recorder.reset();
    v.observer.OnRecordingEnded(summary);
    return summary;
}

// The start-up of the control: inquiry, viewer kind, session mode, streams.
StartResult StartViewer(ViewerState& v) {
    v.cameraHost = v.settings.cameraHost;
    v.cameraPort = v.settings.cameraPort.empty() ? "80" : v.settings.cameraPort;
    v.hostField = MakeHostField(v.cameraHost, v.cameraPort);
    v.camera = CameraDescription{};
    ResetSessions(v);

    const int rc = InquireCamera(v);
    if (rc == kInquiryParse) {
        v.audioOn = false;
        v.observer.OnMessageBox("ERROR", "InqCodec error!");
        return StartResult::kInquiryFailed;
    }
    if (rc == kInquiryRequest) {
        // The command path has set the status; the next Tick shows it.
        v.ended = true;
        if (v.authAttempts < 4) v.authAttempts = 4;
        return StartResult::kRequestFailed;
    }
    if (rc == kInquiryNotAllowed) {
        v.statusCode = kStatusCannotConnect;
        v.authAttempts = 4;
        v.ended = true;
        return StartResult::kNotAllowed;
    }

    v.frameRate = v.camera.jpegFrameRate > 0 ? v.camera.jpegFrameRate : 30;
    const int asked = v.settings.frameRate;
    if (asked >= 1 && v.camera.codec == ImageCodec::kMotionJpeg && asked <= v.camera.jpegFrameRate)
        v.frameRate = asked;

    if (v.settings.motionDetectionView) {
        v.kind = ViewerKind::kMotionDetection;
    } else {
        v.kind = ViewerKindFor(v.camera.viewerMode);
        if (v.kind == ViewerKind::kViewOnly) v.camera.viewerMode = 0;
    }
    v.audioOn =
        v.camera.audioIn && (v.settings.motionDetectionView || (v.camera.viewerMode & kModeAudio) != 0);

    if (v.settings.sessionModeRequest) {
        v.sessionMode = *v.settings.sessionModeRequest;
        v.settings.sessionModeRequest.reset();
    } else {
        v.sessionMode = SessionModeFromIni(IniPath(v), v.camera.serial);
    }
    if (v.sessionMode == SessionMode::kUdpMulticast && !v.camera.multicast)
        v.sessionMode = SessionMode::kUdpUnicast;

    v.observer.OnCameraDescribed(v.camera, v.kind);
    v.observer.OnSessionMode(v.sessionMode);
    v.playing = true;
    if (!StartStreams(v)) {
        v.observer.OnMessageBox("ERROR", "SelectStartupModule error!");
        return StartResult::kStreamsFailed;
    }
    return StartResult::kStarted;
}

}  // namespace

Viewer::Viewer(FrameSink& sink, CredentialsProvider& credentials, ViewerObserver& observer)
    : state_(std::make_unique<ViewerState>(sink, credentials, observer)) {
    for (StreamSession& s : state_->sessions) s.viewer = state_.get();
}

Viewer::~Viewer() {
    Stop();
}

void Viewer::Configure(const ViewerSettings& settings) {
    state_->settings = settings;
    state_->volume = settings.volume;
    state_->muted = settings.muted;
}

StartResult Viewer::Start() {
    ViewerState& v = *state_;
    if (v.playing) return StartResult::kAlreadyPlaying;
    v.authAttempts = 0;
    v.errorCount = 0;
    v.statusCode = kStatusNone;
    v.ended = false;
    v.fallbackRequest = 0;
    v.dialogBusy = false;
    return StartViewer(v);
}

void Viewer::Stop() {
    ViewerState& v = *state_;
    StopStreams(v);
    (void)EndRecording(v);
    v.playing = false;
    v.ended = false;
}

bool Viewer::Playing() const {
    return state_->playing;
}

void Viewer::Tick() {
    ViewerState& v = *state_;
    std::string overlay;
    bool changed = false;
    {
        std::lock_guard<std::mutex> hold(v.statusLock);
        if (v.overlayText != v.shownOverlay) {
            v.shownOverlay = v.overlayText;
            overlay = v.overlayText;
            changed = true;
        }
    }
    if (changed) v.observer.OnOverlayText(overlay);
    if (!v.ended) return;

    // ShowStatus: stop, apply a pending fallback, then restart or end with the status text.
    StopStreams(v);
    (void)EndRecording(v);
    v.ended = false;
    if (v.fallbackRequest == 1) {
        v.sessionMode = SessionMode::kUdpUnicast;
        v.settings.sessionModeRequest = v.sessionMode;
    } else if (v.fallbackRequest == 2) {
        v.sessionMode = SessionMode::kTcp;
        v.settings.sessionModeRequest = v.sessionMode;
    }
    v.fallbackRequest = 0;
    if (!v.camera.serial.empty()) SaveSessionMode(IniPath(v), v.camera.serial, v.sessionMode);

    if (v.authAttempts >= 4 || v.errorCount >= 3) {
        v.playing = false;
        int code = v.statusCode.exchange(kStatusNone);
        if (code == kStatusNone && v.errorCount >= 3) code = kStatusCannotConnect;
        v.observer.OnStatus(code, StatusText(code, v.settings.controlWidth));
        return;
    }
    v.observer.OnRestart();
    v.authAttempts = 0;
    v.playing = false;
    if (!v.settings.sessionModeRequest) v.settings.sessionModeRequest = v.sessionMode;
    (void)StartViewer(v);
}

RecordResult Viewer::StartRecording(const std::string& path, std::string* message) {
    ViewerState& v = *state_;
    if (!v.playing) {
        *message = "not playing";
        return RecordResult::kNotPlaying;
    }
    if (v.recorder) {
        *message = v.recorder->FirstPath();
        return RecordResult::kAlreadyRecording;
    }
    RecordingFormat format;
    format.codec = v.camera.codec;
    // Audio is recorded when the viewer receives it (the condition StartStreams uses).
    const bool audio =
        v.audioOn && !v.settings.motionDetectionView && AudioFrameBytes(v.camera.audioCodec) > 0;
    format.audio = audio ? v.camera.audioCodec : AudioCodec::kUnknown;
    format.frameRate = v.camera.codec == ImageCodec::kMpeg4
                           ? (v.camera.mpeg4FrameRate > 0 ? v.camera.mpeg4FrameRate : 30)
                           : v.frameRate.load();
    format.cameraAddress = v.cameraHost;
    format.serial = v.camera.serial;
    auto recorder = std::make_shared<StreamRecorder>(path, format);
    if (!recorder->Start(message)) return RecordResult::kFailed;
    *message = recorder->FirstPath();
    v.recorder = recorder;
    std::lock_guard<std::mutex> hold(v.tapLock);
    v.tap = recorder;
    v.tapped = true;
    return RecordResult::kStarted;
}

std::optional<RecordingSummary> Viewer::StopRecording() {
    return EndRecording(*state_);
}

bool Viewer::Recording() const {
    return state_->recorder != nullptr;
}

void Viewer::RequestRestart() {
    state_->ended = true;
}

void Viewer::SetFrameRate(int rate) {
    if (rate >= 1 && rate <= 30) state_->frameRate = rate;
}

void Viewer::SetVolume(int volume) {
    state_->volume = std::clamp(volume, 0, 100);
    state_->stopSignal.notify_all();
}

void Viewer::SetMute(bool muted) {
    state_->muted = muted;
    state_->stopSignal.notify_all();
}

void Viewer::SendTrigger(std::string_view selectedText) {
    const std::string body = TriggerBody(selectedText);
    std::string reply;
    if (!body.empty()) (void)PostCgi(*state_, "/command/main.cgi", body, &reply);
}

void Viewer::SendMotionDetection(int window, MotionCommand command) {
    const std::string body = MotionDetectionBody(state_->camera, window, command);
    std::string reply;
    if (!body.empty()) (void)PostCgi(*state_, "/command/motiondetection.cgi", body, &reply);
}

CameraDescription Viewer::Camera() const {
    return state_->camera;
}

ViewerKind Viewer::Kind() const {
    return state_->kind;
}

SessionMode Viewer::CurrentSessionMode() const {
    return state_->sessionMode;
}

int Viewer::CurrentFrameRate() const {
    return state_->frameRate;
}

void Viewer::SetMotionWindow(int window, const MotionWindow& value) {
    if (window >= 1 && window <= 4) state_->camera.windows[static_cast<std::size_t>(window - 1)] = value;
}

ViewerState& Viewer::State() {
    return *state_;
}

std::string DefaultIniPath() {
    std::string base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config == '/') {
        base = config;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        base = std::string(home) + "/.config";
    } else {
        base = ".";
    }
    return base + "/ocuview/MarloQXRK7.ini";
}

}  // namespace ocuview
