// The camera's recorded-file format: a RIFF form "QXRF" holding a main header, a movie header, an
// optional audio header, the "movi" chunk list and an "idx1" index. All integers are 32-bit little-endian;
// a tag is four ASCII bytes in file order, handled as the little-endian word they make.
#ifndef REELDECK_CORE_QXR_FORMAT_H
#define REELDECK_CORE_QXR_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace reeldeck {

constexpr uint32_t MakeTag(const char (&text)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24;
}

inline uint32_t LoadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline void StoreLe32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// The four bytes of a tag as text ("mpeg").
std::string TagText(uint32_t tag);

namespace tag {
inline constexpr uint32_t kRiff = MakeTag("RIFF");
inline constexpr uint32_t kForm = MakeTag("QXRF");
inline constexpr uint32_t kList = MakeTag("LIST");
inline constexpr uint32_t kHdrl = MakeTag("hdrl");
inline constexpr uint32_t kMainHeader = MakeTag("qxrh");
inline constexpr uint32_t kMovieHeader = MakeTag("movh");
inline constexpr uint32_t kAudioHeader = MakeTag("audh");
inline constexpr uint32_t kMovi = MakeTag("movi");
inline constexpr uint32_t kIndex = MakeTag("idx1");
inline constexpr uint32_t kVideoChunk = MakeTag("00dc");
inline constexpr uint32_t kAudioChunk = MakeTag("00wb");
// Record triggers.
inline constexpr uint32_t kSensor = MakeTag("sens");
inline constexpr uint32_t kMotion = MakeTag("mdet");
inline constexpr uint32_t kPeriodical = MakeTag("peri");
inline constexpr uint32_t kManual = MakeTag("manu");
// Codecs and rates.
inline constexpr uint32_t kMpeg4 = MakeTag("mpeg");
inline constexpr uint32_t kJpeg = MakeTag("jpeg");
inline constexpr uint32_t kG711 = MakeTag("g711");
inline constexpr uint32_t kG726 = MakeTag("g726");
inline constexpr uint32_t k16kb = MakeTag("16kb");
inline constexpr uint32_t k24kb = MakeTag("24kb");
inline constexpr uint32_t k32kb = MakeTag("32kb");
inline constexpr uint32_t k40kb = MakeTag("40kb");
inline constexpr uint32_t k64kb = MakeTag("64kb");
}  // namespace tag

inline constexpr uint32_t kMainHeaderSize = 176;
inline constexpr uint32_t kMovieHeaderSize = 16;
inline constexpr uint32_t kAudioHeaderSize = 8;
inline constexpr uint32_t kIndexEntrySize = 12;
// The first data byte of a chunk lies at (position of the "movi" tag) + offset + kChunkDataBias.
inline constexpr int64_t kChunkDataBias = 12;

// The main header, as recorded by the camera (176 bytes in the file).
struct QxrMainHeader {
    uint32_t word0 = 0;        // not interpreted by the player
    uint32_t streamCount = 0;  // 1: video only; 2: video and audio
    uint32_t trigger = 0;      // tag::kSensor, kMotion, kPeriodical, kManual; anything else is unknown
    uint8_t reserved[36] = {};
    char ipAddress[32] = {};  // texts: NUL-terminated inside their 32 bytes (or filling them)
    char serial[32] = {};
    char model[32] = {};
    char dateTime[32] = {};
};

struct QxrMovieHeader {
    uint32_t codec = 0;  // tag::kMpeg4 or tag::kJpeg
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t frameRate = 0;  // frames per second
};

struct QxrAudioHeader {
    uint32_t codec = 0;    // tag::kG711 or tag::kG726
    uint32_t bitRate = 0;  // tag::k64kb for G.711; k16kb .. k40kb for G.726
};

void DecodeMainHeader(const uint8_t (&bytes)[kMainHeaderSize], QxrMainHeader& out);
void EncodeMainHeader(const QxrMainHeader& header, uint8_t (&bytes)[kMainHeaderSize]);
void DecodeMovieHeader(const uint8_t (&bytes)[kMovieHeaderSize], QxrMovieHeader& out);
void EncodeMovieHeader(const QxrMovieHeader& header, uint8_t (&bytes)[kMovieHeaderSize]);
void DecodeAudioHeader(const uint8_t (&bytes)[kAudioHeaderSize], QxrAudioHeader& out);
void EncodeAudioHeader(const QxrAudioHeader& header, uint8_t (&bytes)[kAudioHeaderSize]);

// A header text field: at most 32 characters, up to the first NUL.
std::string HeaderText(const char (&field)[32]);

// How the engine reads audio: the audio type code and the bytes per packet (both 0 when invalid).
struct AudioFormat {
    int type = 0;         // 100 G.711; 101..104 G.726 at 16, 24, 32, 40 kbit/s
    int packetBytes = 0;  // 256 G.711; 90, 135, 180, 225 G.726
};
AudioFormat AudioFormatOf(const QxrAudioHeader& header);
// The audio header a video-only file is taken to have: G.711 at 64 kbit/s.
inline QxrAudioHeader DefaultAudioHeader() {
    return {tag::kG711, tag::k64kb};
}

// The information texts the player shows for a header field (string-table texts).
std::string TriggerText(uint32_t trigger);
std::string VideoCodecText(uint32_t codec);
// `present` false (a video-only recording) shows the codec as unknown.
std::string AudioCodecText(const QxrAudioHeader& header, bool present);

}  // namespace reeldeck

#endif
