// The series writer: makes recordings as the camera writes them, for the tests, the demo and users
// without a camera. Given coded pictures (one MPEG-4 VOP or one JPEG image each) and optional raw G.711
// or G.726 audio, it writes a series of numbered .m4f or .jpf files: RIFF form "QXRF" with the main,
// movie and audio headers, the "movi" list in the camera's order (a video chunk, then the audio that
// follows it) and the "idx1" index. It puts the camera's records where the camera does: "CamTim: " and
// "AlmEvent: " as MPEG-4 user data before each VOP start code, and for JPEG those two, "TimStamp: " and
// "DataLen: " in an APP2 segment near the start of each image.
//
// Options write the damaged and unusual variants that a reader must cope with.
#ifndef REELDECK_SERIES_WRITER_SERIES_WRITER_H
#define REELDECK_SERIES_WRITER_SERIES_WRITER_H

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/qxr_format.h"

namespace reeldeck::series {

struct Frame {
    std::vector<uint8_t> bytes;  // an MPEG-4 VOP (with any headers before it) or a complete JPEG image
    bool sensorAlarm = false;    // the "AlmEvent: " flags written with this picture
    bool motionAlarm = false;
};

// Per-file damage and layout variants. File numbers count from 0 in the written series.
struct Variants {
    std::set<int> badMainHeaderSize;   // "qxrh" size 172 instead of 176
    std::set<int> missingAudioHeader;  // stream count 2 without the "audh" block
    std::set<int> truncatedIndex;      // "idx1" claims one entry more than the file holds
    std::set<int> offsetPastEnd;       // the last video entry points past the end of the file
    std::set<int> hugeChunkSize;       // the last video entry claims 0xFFFFFFF0 bytes
    std::set<int> noIndex;             // the file ends after the "movi" list
    std::set<int> emptyFile;           // zero bytes
    bool leadingAudio = false;         // each file opens with an audio chunk: an audio-only first unit
    int audioChunksPerFrame = 1;       // more than 1 splits each picture's audio: audio-only units follow
    bool unknownIndexEntries = false;  // an "ix00" index entry after every video entry
    bool noRecords = false;            // write the pictures without camera records
    bool noTimeStamps = false;         // JPEG: the records without "TimStamp: " (an unpaced recording)
};

struct SeriesSpec {
    std::string directory = ".";
    std::string prefix = "REC";
    int firstNumber = 0;    // series number of the first file (0 .. 99)
    std::string extension;  // "m4f" / "jpf" by default, from the codec; any letter case
    int fileCount = 1;      // pictures are shared out evenly over the files

    uint32_t codec = tag::kMpeg4;  // tag::kMpeg4 or tag::kJpeg
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t frameRate = 5;

    uint32_t audioCodec = 0;  // 0: no audio (stream count 1); tag::kG711 or tag::kG726
    uint32_t audioRate = tag::k64kb;

    uint32_t trigger = tag::kManual;
    std::string ipAddress = "192.168.0.100";
    std::string serial = "0000000000";
    std::string model = "QXR-K7";
    std::string dateTime;         // default: the start time, "YYYY/MM/DD HH:MM:SS"
    int64_t startTimeMs = 0;      // camera clock at the first picture, milliseconds since 1970 (UTC)
    uint32_t firstTimeStamp = 0;  // "TimStamp: " of the first JPEG picture, in milliseconds

    Variants variants;
};

// What a reader should get back for one data unit.
struct ExpectedUnit {
    int file = 0;  // file number in the written series
    std::vector<uint8_t> video;
    std::vector<uint8_t> audio;
    bool hasVideo = false;
    bool hasAudio = false;
};

struct WriteResult {
    bool ok = false;
    std::string error;
    std::vector<std::string> paths;   // the files written, in series order
    std::vector<ExpectedUnit> units;  // every unit of every file, as written (damaged files included)
};

// Writes the series. `audio` is raw code words (G.711 bytes, or packed G.726), shared out over the
// pictures by time.
WriteResult WriteSeries(const SeriesSpec& spec, const std::vector<Frame>& frames,
                        const std::vector<uint8_t>& audio);

// The camera's 23-character time text, "YYYY/MM/DD HH:MM:SS.mmm", for milliseconds since 1970 (UTC).
std::string CameraTimeText(int64_t ms);
// The inverse: "YYYY/MM/DD HH:MM:SS" with an optional ".mmm" into milliseconds since 1970 (UTC).
[[nodiscard]] bool ParseCameraTimeText(std::string_view text, int64_t& ms);

// Bytes per second of an audio codec and rate (0 when unknown).
uint32_t AudioBytesPerSecond(uint32_t codec, uint32_t rate);

}  // namespace reeldeck::series

#endif
