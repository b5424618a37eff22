// What the camera told the viewer about itself in the start-up inquiry, and the decisions taken from it:
// the viewer kind, the frame-rate list and the trigger list. Filled by the inquiry parser; read by the
// pipeline and, through Viewer::Camera(), by the control's panel.
#ifndef OCUVIEW_CORE_CAMERA_DESCRIPTION_H
#define OCUVIEW_CORE_CAMERA_DESCRIPTION_H

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ocuview {

enum class ImageCodec { kUnknown, kMotionJpeg, kMpeg4 };

// Audio codecs with the byte size of one camera audio frame: 256 G.711 samples (32 ms) or 360 G.726
// codes (45 ms) packed at 2 to 5 bits.
enum class AudioCodec { kUnknown, kG711_64, kG726_16, kG726_24, kG726_32, kG726_40 };
[[nodiscard]] int AudioFrameBytes(AudioCodec codec);  // 256, 90, 135, 180, 225; 0 for kUnknown

enum class ViewerKind { kFull, kLight, kView, kViewOnly, kMotionDetection };

// How the streams travel.
enum class SessionMode { kTcp, kUdpUnicast, kUdpMulticast };

// Viewer-mode bits: each clear bit hides its panel controls.
enum ViewerModeBit : uint32_t {
    kModeTransmission = 1u << 16,
    kModePanel = 1u << 24,  // clear: view-only
    kModeDateTime = 1u << 25,
    kModeAudio = 1u << 26,  // volume, mute and the audio itself
    kModeViewSize = 1u << 27,
    kModeCapture = 1u << 28,
    kModeDigitalZoom = 1u << 29,
    kModeFrameRate = 1u << 30,
    kModeTrigger = 1u << 31,
};
inline constexpr uint32_t kFullViewerBits = 0xC0010000u;   // trigger, frame rate, transmission
inline constexpr uint32_t kLightViewerBits = 0x38000000u;  // capture, digital zoom, view size

// One byte from two hexadecimal characters, each upper-cased first; anything but 0-9 and A-F counts as 0.
[[nodiscard]] uint8_t HexDigitPair(char high, char low);
// The viewer-mode form, in the camera's "ViewerMode" answer and the control's view-mode property: eight
// characters read as four digit pairs (HexDigitPair), the first pair the lowest byte ("000000C1" is
// 0xC1000000). Fewer than eight characters read as 0.
[[nodiscard]] uint32_t ViewerModeFromDigits(std::string_view digits);

// Trigger capability word: one bit per trigger function the camera offers.
enum TriggerBit : uint16_t {
    kTriggerFtp = 1u << 0,
    kTriggerSmtp = 1u << 4,
    kTriggerMemory = 1u << 8,
    kTriggerAlarmOut = 1u << 12,
};

struct MotionWindow {
    bool active = false;
    int left = 0, top = 0, right = 0, bottom = 0;
    int sensitivity = 0;
    int threshold = 0;
};

struct CameraDescription {
    std::string serial;
    bool areaSelect = false;
    int jpegFrameRate = 0;  // the camera's highest Motion JPEG rate
    ImageCodec codec = ImageCodec::kUnknown;
    int mpeg4FrameRate = 0;  // 0 in the answer is taken as 30
    bool multicast = false;
    std::string multicastAddress;  // dotted, at most 15 characters
    int mcVideoPort = 0, mcAudioPort = 0, ucVideoPort = 0, ucAudioPort = 0;
    bool audioIn = false;
    AudioCodec audioCodec = AudioCodec::kUnknown;
    uint16_t triggers = 0;  // TriggerBit
    bool viewerAuthentication = false;
    uint32_t viewerMode = 0;  // ViewerModeBit, after the control's mask
    std::array<MotionWindow, 4> windows{};
};

// The frame-rate box: the entries of "30 fps" ... "1 fps" from the camera's highest rate downward.
[[nodiscard]] std::vector<std::string> FrameRateList(int highestRate);
// The trigger box: "e-Mail", "FTP", "Image memory", "Alarm output", each when the camera offers it.
[[nodiscard]] std::vector<std::string> TriggerList(uint16_t triggers);
// The viewer kind for viewer-mode bits outside the motion-detection view.
[[nodiscard]] ViewerKind ViewerKindFor(uint32_t viewerMode);

}  // namespace ocuview

#endif
