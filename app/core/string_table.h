// Reeldeck's string table: window texts, tooltips, information texts and the error messages, by number.
#ifndef REELDECK_CORE_STRING_TABLE_H
#define REELDECK_CORE_STRING_TABLE_H

#include <string_view>

namespace reeldeck {

// The text of string `number`, or "" for a number the table does not hold (0 among them).
std::string_view LoadText(int number);

// Numbers the core refers to by name.
namespace msg {
inline constexpr int kPlaybackCanceled = 30;
inline constexpr int kCannotChangeDirectory = 33;
inline constexpr int kCannotReadIndex = 54;
inline constexpr int kMovieFileCollapsed = 55;
inline constexpr int kCannotCreateSync = 56;
inline constexpr int kInvalidExtension = 57;
inline constexpr int kInvalidFileName = 58;
inline constexpr int kCannotFindFile = 60;
inline constexpr int kCannotGetData = 62;
// The playback engine's: Open's checks, and the errors its threads post.
inline constexpr int kNoText = 0;
inline constexpr int kInvalidDataId = 40;
inline constexpr int kInvalidCount = 41;
inline constexpr int kInvalidMainHeader = 42;
inline constexpr int kInvalidMovieHeader = 43;
inline constexpr int kInvalidAudioHeader = 44;
inline constexpr int kInvalidFrameRate = 45;
inline constexpr int kInvalidScreenSize = 46;
inline constexpr int kInvalidMovieCodec = 47;
inline constexpr int kInvalidAudioCodec = 48;
inline constexpr int kInvalidPacketSize = 49;
inline constexpr int kNoReadingThread = 50;
inline constexpr int kNoMpeg4Thread = 51;
inline constexpr int kNoMotionJpegThread = 52;
inline constexpr int kNoAudioThread = 53;
inline constexpr int kCannotCreateAudioModule = 76;
inline constexpr int kCannotDecodeMpeg4 = 77;
inline constexpr int kCannotDecodeJpeg = 78;
}  // namespace msg

// Information texts.
namespace info {
inline constexpr int kUnknown = 16;
inline constexpr int kSensorInput = 17;
inline constexpr int kMotionDetection = 18;
inline constexpr int kPeriodical = 19;
inline constexpr int kManual = 20;
inline constexpr int kMpeg4 = 21;
inline constexpr int kJpeg = 22;
inline constexpr int kG711At64 = 23;
inline constexpr int kG711Unknown = 24;
inline constexpr int kG726At16 = 25;  // 26, 27, 28 follow for 24, 32 and 40 kbit/s
inline constexpr int kG726Unknown = 29;
}  // namespace info

}  // namespace reeldeck

#endif
