// The simulated camera's configuration: what it answers to inquiries, what it streams and how it fails.
#ifndef CAMSIM_CONFIG_H
#define CAMSIM_CONFIG_H

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace camsim {

// One motion-detection window as the camera keeps it; level curves feed /mddata.cgi.
struct DetectionWindow {
    bool active = false;
    int left = 0, top = 0, right = 0, bottom = 0;
    int sensitivity = 50;
    int threshold = 50;
    // Level curve: level(t) = base + amplitude * sin(2 pi t / periodSeconds), clamped to 0..9999.
    int levelBase = 0;
    int levelAmplitude = 0;
    double levelPeriodSeconds = 4.0;
};

// Faults that a stream can be told to show. Every field's neutral value means "behave".
struct Faults {
    bool refuse = false;               // close the connection (reset) without a reply
    int64_t closeAfterBytes = -1;      // close after this many body bytes
    bool stall = false;                // send the reply header, then nothing, and stay connected
    int garbageBytes = 0;              // bytes of garbage before every boundary (pictures, motion data)
    bool noDataLen = false;            // parts without the "DataLen: " line
    bool hugeDataLen = false;          // "DataLen: " far larger than the part
    bool badPicture = false;           // pictures whose entropy data is destroyed
    int httpStatus = 0;                // answer 400 or 503 instead of streaming
    bool unauthorizedForever = false;  // 401 whatever the credentials
    double rtpLoss = 0, rtpDuplicate = 0, rtpReorder = 0;  // probabilities per packet
    bool noSenderReports = false;
    double earlyByeSeconds = -1;  // send BYE and stop this long after the start
};

struct Config {
    std::string bindAddress = "127.0.0.1";
    uint16_t port = 8080;  // 0 picks a free port

    // Camera description.
    std::string modelName = "QXR-K7";
    std::string serial = "K7000001";
    std::string codec = "jpeg";  // "jpeg" or "mpeg4"
    int jpegFrameRate = 30;      // the highest rate a client may ask for
    int mpeg4FrameRate = 30;
    int width = 640, height = 480;  // 640x480, 320x240 or 160x120
    int jpegQuality = 75;
    bool areaSelect = true;
    bool multicast = true;
    std::string multicastAddress = "239.0.0.7";
    uint16_t mcVideoPort = 60000, mcAudioPort = 60002, ucVideoPort = 60010, ucAudioPort = 60012;
    bool audioIn = true;
    std::string audioCodec = "g711_64";  // g711_64, g726_16, g726_24, g726_32, g726_40
    bool ftpTrigger = true, smtpTrigger = true, memoryTrigger = true, alarmOutTrigger = true;
    bool viewerAuthen = false;
    std::string viewerMode = "0000FFFF";  // eight hex digits, low byte first
    // Window 1 watches the middle of the picture with a level that swings between 100 and 1100.
    std::array<DetectionWindow, 4> windows{{{true, 220, 160, 420, 320, 50, 50, 600, 500, 4.0}, {}, {}, {}}};

    // Media sources. Without an audio file a tone is sent (G.711) or silence codes (G.726).
    std::string mpeg4File;  // elementary stream looped for /mpeg4 and /mdimage
    std::string audioFile;  // raw packed codes in `audioCodec`
    int motionDataPerSecond = 5;

    // HTTP Basic authentication; empty user means none.
    std::string realm = "Marlo Network Camera";
    std::string user, password;

    // Where an RTP session description is written when a UDP stream starts (empty: nowhere).
    std::string sdpFile;

    // Limits that keep clients from starving the camera or leaving it streaming to nobody.
    int requestDeadlineMs = 10000;    // for the whole request head and body; 408 after it
    int maxConnections = 64;          // open HTTP connections; 503 beyond them
    int rtcpTimeoutMs = 60000;        // a unicast RTP session without RTCP from its receiver this long ends
    int maxRtpSessionsPerClient = 8;  // per medium and client address; 503 beyond them
    int stateHistory = 1000;          // requests, commands, reports and BYEs kept for /sim/state

    // Faults per stream name: "image", "mpeg4", "mdimage", "audio", "mddata", "cgi", "rtp-video",
    // "rtp-audio"; "all" applies to every stream that has no entry of its own.
    std::map<std::string, Faults> faults;
};

// Parses "STREAM:KIND[=VALUE]" (e.g. "image:close-after=50000", "rtp-video:loss=0.1", "mpeg4:stall") into
// `config`; "STREAM:clear" removes that stream's faults. Returns an empty string or the reason it failed.
std::string ApplyFaultSpec(Config& config, const std::string& spec);

// True for the picture sizes the camera offers: 640x480, 320x240 and 160x120.
bool IsCameraSize(int width, int height);

// `text` as a whole decimal number from `low` to `high`, or nothing.
std::optional<long> ParseInteger(const std::string& text, long low, long high);

// Reads a window specification "N:left,top,right,bottom[:on|off]" for --window.
std::string ApplyWindowSpec(Config& config, const std::string& spec);

// The audio frame the camera sends for its codec: 256 bytes of G.711 (32 ms) or 360 G.726 codes (45 ms).
int AudioFrameBytes(const std::string& codec);
int AudioFrameMilliseconds(const std::string& codec);

}  // namespace camsim

#endif
