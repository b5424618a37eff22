// The playback engine's side of the main window: what the engine tells the window, and how.
//
// Two channels, as the window framework had them:
//   - direct calls: the engine calls a PlayerHost member on its own thread (a decoder thread, the
//     supplier, or the main thread inside a command) and may use the result. A handler must not call back
//     into the Player's commands (they take the command lock or wait for the worker threads).
//   - posted notifications: the engine appends a PostedNotification to the host's NotificationQueue and
//     goes on; the host drains the queue on its own (main) thread and acts there (WM_APP+105: call
//     Player::Seek; WM_APP+115: Player::Stop, clear the window, show the message).
// Each code is WM_APP + n; the enumerators carry n.
#ifndef REELDECK_PLAYER_PLAYER_HOST_H
#define REELDECK_PLAYER_PLAYER_HOST_H

#include <cstdint>
#include <string>
#include <string_view>

#include "core/qxr_format.h"

namespace reeldeck {

// The window-message base the codes count from.
inline constexpr int kAppMessageBase = 0x8000;

enum class PlayerNotification : int {
    kShowPicture = 100,          // direct: show the picture now in the display buffer
    kUnitForPosition = 102,      // direct: the unit for a shared video position
    kMoveSlider = 103,           // direct: move the time slider to a unit
    kSliderRange = 104,          // sent (direct, on the main thread inside Open): 0 .. unit count - 1
    kSeekRequest = 105,          // posted: wParam unit, lParam paused flag; the host calls Seek
    kCameraTime = 106,           // direct: the camera time text changed
    kCapture = 107,              // direct: capture the current picture
    kCaptureReady = 108,         // posted by the host to itself: a captured picture is in a slot
    kInformation = 109,          // direct: the recording's information texts
    kPictureSize = 110,          // direct: lay out for this picture size
    kCreateDisplayBuffer = 111,  // direct: create the display buffer; 0 on success
    kGetButtonState = 112,       // the host's own query of its enabled controls
    kButtonState = 113,          // direct: enable controls from a mask
    kClearPicture = 114,         // direct: clear the picture
    kError = 115,                // posted: wParam is a string-table number (0: no text)
};

constexpr int MessageCode(PlayerNotification n) {
    return kAppMessageBase + static_cast<int>(n);
}

// Bits of the button-state mask (WM_APP+113); a set bit enables the control.
enum ButtonBit : unsigned {
    kButtonPlay = 1u << 0,
    kButtonPause = 1u << 1,
    kButtonStop = 1u << 2,
    kButtonCapture = 1u << 3,
    kButtonOpen = 1u << 4,
    kButtonSlider = 1u << 5,
};

// The four masks the engine reports.
enum ButtonState : unsigned {
    kStateIdle = kButtonOpen,                                                    // 16: idle, or repositioning
    kStateAtStart = kButtonPlay | kButtonCapture | kButtonOpen | kButtonSlider,  // 57: at rest at unit 0
    kStatePlaying = kButtonPause | kButtonStop | kButtonCapture | kButtonOpen | kButtonSlider,  // 62
    kStatePaused = kStatePlaying | kButtonPlay,  // 63: paused (or at rest) elsewhere
};
static_assert(kStateIdle == 16 && kStateAtStart == 57 && kStatePlaying == 62 && kStatePaused == 63);

// The picture buffer the host creates for the engine (WM_APP+111): 24-bit B, G, R pixels, rows top-down,
// `step` bytes apart ((width * 3 + 3) rounded down to 4). The host owns the memory; it stays valid and in
// place until the host's next CreateDisplayBuffer or ClearPicture, or until the Player that asked for it
// is stopped. The engine writes it only on the thread that asked for it, and only between pictures; the
// host reads it inside ShowPicture and CapturePicture (and must copy what it keeps).
struct DisplayBuffer {
    uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int step = 0;
};

// What WM_APP+109 carries: the first file's header fields. A still picture has empty texts, no trigger,
// no codec, frame rate 0 and no audio; the host shows "Unknown" for those (core/qxr_format.h has the
// texts: TriggerText, VideoCodecText, AudioCodecText).
struct RecordingInfo {
    std::string model;
    std::string ipAddress;
    std::string serial;
    std::string dateTime;
    uint32_t trigger = 0;     // tag::kSensor ...; 0 for none
    uint32_t videoCodec = 0;  // tag::kMpeg4 or tag::kJpeg; 0 for none
    uint32_t frameRate = 0;
    QxrAudioHeader audio{};  // meaningful only when hasAudio
    bool hasAudio = false;   // false: a video-only recording or a still; the audio text is "Unknown"
};

class PlayerHost {
  public:
    virtual ~PlayerHost() = default;

    // WM_APP+100, on a decoder thread or (stills) the main thread: `buffer` holds a new picture; the
    // measured frame rate (pictures per second over the last second or more; 0 before the first window).
    virtual void ShowPicture(const DisplayBuffer& buffer, double frameRate) = 0;
    // WM_APP+102, on a decoder thread: the unit that holds this byte of the series' video
    // (QXRFileManager::UnitForVideoPosition over the Player's file manager).
    virtual int UnitForPosition(int64_t videoPosition) = 0;
    // WM_APP+103, on a decoder thread: move the time slider (unless the user holds it).
    virtual void MoveSlider(int unit) = 0;
    // WM_APP+104, on the main thread inside Open: the slider's range.
    virtual void SetSliderRange(int first, int last) = 0;
    // WM_APP+106, on a decoder thread: the camera time text of the picture being shown (23 characters,
    // "YYYY/MM/DD HH:MM:SS.mmm" as the camera writes it).
    virtual void CameraTimeChanged(std::string_view text) = 0;
    // WM_APP+107, on a decoder thread: a capture was asked for; `picture` is the display buffer with the
    // picture now shown and `cameraTime` its camera time text. Copy what is kept.
    virtual void CapturePicture(const DisplayBuffer& picture, std::string_view cameraTime) = 0;
    // WM_APP+109, on the main thread.
    virtual void SetInformation(const RecordingInfo& info) = 0;
    // WM_APP+110, on the main thread: lay the window out for a picture of this size.
    virtual void SetPictureSize(int width, int height) = 0;
    // WM_APP+111, on a decoder thread or (stills) the main thread: make a display buffer of this size and
    // fill in `out`; 0 on success, anything else when it cannot (the decoder thread then ends).
    virtual int CreateDisplayBuffer(int width, int height, DisplayBuffer& out) = 0;
    // WM_APP+113, on any engine thread: enable the controls of `mask` (ButtonState values).
    virtual void SetButtonState(unsigned mask) = 0;
    // WM_APP+114, on the main thread inside Stop: clear the picture.
    virtual void ClearPicture() = 0;
};

}  // namespace reeldeck

#endif
