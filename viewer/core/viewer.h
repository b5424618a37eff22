// Viewer: the Qt-free core of one Ocuview control. It asks the camera what it is, receives Motion JPEG,
// MPEG-4 and audio over TCP or RTP/UDP, decodes the pictures and hands them to a FrameSink, plays the
// sound, restarts after failures and reports status texts. The control only draws and offers the panel.
//
// Threads: Start, Stop, Tick, the setters and the commands are called from one thread, the control's
// user-interface thread (in qxrtool: its main thread). Each viewer owns its threads, heaps, sockets and
// credentials; two viewers in one process share nothing.
#ifndef OCUVIEW_CORE_VIEWER_H
#define OCUVIEW_CORE_VIEWER_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/camera_description.h"
#include "core/credentials.h"
#include "core/frame_sink.h"
#include "core/stream_recorder.h"
#include "core/viewer_events.h"

namespace ocuview {

struct ViewerState;

// The settings the control's properties feed into the core; read at each start and restart.
struct ViewerSettings {
    std::string cameraHost;                // name or dotted address
    std::string cameraPort = "80";         // decimal text
    bool motionDetectionView = false;      // SetInitialMode "MotionDetect"
    std::optional<uint32_t> viewModeMask;  // ANDed onto the camera's viewer-mode bits
    // A pending session-mode request wins over the INI file once (the viewer clears it when it starts).
    std::optional<SessionMode> sessionModeRequest;
    int frameRate = 0;  // requested Motion JPEG rate, 1 to 30; 0 none
    int volume = 100;   // 0 to 100
    bool muted = false;
    int controlWidth = 640;  // chooses the short or long "Protected Object." text
    // The INI file that keeps the session mode per camera serial. Empty: MarloQXRK7.ini under
    // $XDG_CONFIG_HOME/ocuview/ (else ~/.config/ocuview/).
    std::string iniPath;
};

// Results of Start, as the start-up reports them.
enum class StartResult {
    kStarted,        // streams are running
    kInquiryFailed,  // the answer could not be parsed: "InqCodec error!" was shown
    kRequestFailed,  // the camera could not be asked; the status (17, 18, ...) is pending for Tick
    kNotAllowed,     // motion-detection view refused by the camera: status 17 pending
    kStreamsFailed,  // "SelectStartupModule error!" was shown
    kAlreadyPlaying,
};

enum class RecordResult { kStarted, kNotPlaying, kAlreadyRecording, kFailed };

// Motion-detection commands for one window (1 to 4) or all four at once.
enum class MotionCommand { kArea, kOnOff, kSensitivity, kThreshold, kAll };

class Viewer {
  public:
    Viewer(FrameSink& sink, CredentialsProvider& credentials, ViewerObserver& observer);
    ~Viewer();  // stops everything
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;

    void Configure(const ViewerSettings& settings);

    // The start-up: inquiry, viewer kind, session mode, then the streams. Blocks for the inquiry (at most
    // about 30 s per request) and, for Motion JPEG, until the first picture size is known.
    StartResult Start();
    // Stops every stream and thread (each gets about 4 s to end before it is abandoned).
    void Stop();
    [[nodiscard]] bool Playing() const;

    // The control's 200 ms timer: sends a changed overlay text, and when a session has ended either
    // restarts the viewer or stops it with its status text.
    void Tick();
    // Makes the next Tick restart the viewer (session mode or view mask changed while playing).
    void RequestRestart();

    // While playing: a new Motion JPEG rate reconnects the picture stream once with "speed=" rate.
    void SetFrameRate(int rate);
    void SetVolume(int volume);  // 0 to 100
    void SetMute(bool muted);

    // Camera commands (through the command path; a failure only sets the pending status).
    void SendTrigger(std::string_view selectedText);  // "e-Mail", "FTP", "Image memory", "Alarm output"
    void SendMotionDetection(int window, MotionCommand command);

    // Recording the live stream as received into a .jpf / .m4f series (StreamRecorder): while playing.
    // `message` gets the first file's path, or why it failed. The recording ends with StopRecording, or
    // when the streams stop (Stop, a restart); either way OnRecordingEnded reports it.
    RecordResult StartRecording(const std::string& path, std::string* message);
    std::optional<RecordingSummary> StopRecording();
    [[nodiscard]] bool Recording() const;

    // What the last inquiry found, and what was decided from it.
    [[nodiscard]] CameraDescription Camera() const;
    [[nodiscard]] ViewerKind Kind() const;
    [[nodiscard]] SessionMode CurrentSessionMode() const;
    [[nodiscard]] int CurrentFrameRate() const;
    // Motion-detection windows as the editor changes them before SendMotionDetection.
    void SetMotionWindow(int window, const MotionWindow& value);

    // The viewer's shared record, for tests and tools that look inside.
    ViewerState& State();

  private:
    std::unique_ptr<ViewerState> state_;
};

// The INI path used when ViewerSettings::iniPath is empty.
[[nodiscard]] std::string DefaultIniPath();

}  // namespace ocuview

#endif
