#include "core/string_table.h"

#include <array>

namespace reeldeck {

namespace {

constexpr std::array<std::string_view, 79> kTexts = {
    "",  // 0: no text
    // Window texts.
    "QXR video player",
    "QXR video player Class",
    "Capture",
    "QXR captured image viewer Class",
    // Tooltips.
    "Open",
    "Play",
    "Pause",
    "Stop",
    "Capture",
    "Mute",
    "Information",
    "Volume",
    "Position",
    "Save",
    "Cancel",
    // Information texts.
    "Unknown",
    "Sensor input",
    "Motion detection",
    "Periodical",
    "Manual",
    "MPEG4",
    "JPEG",
    "G.711 ( 64 kbps )",
    "G.711 ( Unknown )",
    "G.726 ( 16 kbps )",
    "G.726 ( 24 kbps )",
    "G.726 ( 32 kbps )",
    "G.726 ( 40 kbps )",
    "G.726 ( Unknown )",
    // Messages, shown in a box captioned "ERROR".
    "Playback is canceled due to an error.",
    "Cannot start application.",
    "Cannot initialize common control.",
    "Cannot change current directory.",
    "Cannot chose two or more files.",
    "Cannot create heap buffer.",
    "Cannot create main window.",
    "Cannot register main window class.",
    "Cannot read file.",
    "Cannot find heap buffer.",
    "Invalid data ID.",
    "Invalid number of data.",
    "Invalid main movie header.",
    "Invalid movie header.",
    "Invalid audio header.",
    "Invalid frame rate.",
    "Invalid screen size.",
    "Invalid movie codec.",
    "Invalid audio codec.",
    "Invalid audio data packet size.",
    "Cannot create data reading thread.",
    "Cannot create MPEG4 decoding thread.",
    "Cannot create Motion JPEG decoding thread.",
    "Cannot create audio decoding thread.",
    "Cannot read index data.",
    "Movie file is collapsed.",
    "Cannot create synchronization data.",
    "Invalid extension.",
    "Invalid file name.",
    "Invalid time data.",
    "Cannot find a file.",
    "Internal error.",
    "Cannot get data.",
    "Invalid movie data.",
    "Cannot capture any more images.",
    "Cannot create bitmap file.",
    "Specified file format is not supported.",
    "Cannot create JPEG file.",
    "Insufficient memory.",
    "Library error.",
    "Audio device is in use.",
    "Cannot open audio device.",
    "Cannot get audio volume.",
    "waveOutPrepareHeader function error.",
    "waveOutUnprepareHeader function error.",
    "waveOutWrite function error.",
    "Cannot create audio module.",
    "Cannot decode MPEG4 data.",
    "Cannot decode JPEG data.",
};

}  // namespace

std::string_view LoadText(int number) {
    if (number < 0 || number >= static_cast<int>(kTexts.size())) return {};
    return kTexts[static_cast<std::size_t>(number)];
}

}  // namespace reeldeck
