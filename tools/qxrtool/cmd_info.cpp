// qxrtool info: what a recorded series holds: its files, headers, codecs and data units.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "command.h"
#include "core/qxr_file_manager.h"
#include "core/report.h"
#include "platform/input_file.h"

namespace qxrtool {
namespace {

int RunInfo(int argc, char** argv);

const Command kInfo{"info", "show a recorded series' files, headers, codecs and units",
                    "info [--units] FILE.m4f|FILE.jpf\n\n"
                    "FILE is any file of the series; the other files are found beside it.\n"
                    "  --units   also list every data unit's video and audio chunk",
                    RunInfo};

std::string FileName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int RunInfo(int argc, char** argv) {
    if (WantsHelp(argc, argv)) return PrintCommandHelp(kInfo);
    bool listUnits = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--units") == 0) {
            listUnits = true;
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            return UsageError(kInfo, std::string("unknown option ") + argv[i]);
        } else if (path == nullptr) {
            path = argv[i];
        } else {
            return UsageError(kInfo, "takes one file");
        }
    }
    if (path == nullptr) return UsageError(kInfo, "needs a file");
    // The manager names only the step that failed ("Cannot change current directory."); the system's
    // reason for a file that cannot be opened at all is more use on a command line.
    std::string error;
    if (platform::CheckInput(path, &error) != platform::FileStatus::kOk) return Fail(kInfo.name, error);

    // The manager's messages would go to a message box in the player; here they go to standard error.
    reeldeck::SetMessageBoxSink(
        [](std::string_view text, std::string_view) { Fail("info", std::string(text)); });
    reeldeck::QXRFileManager manager;
    const int start = manager.Open(path);
    if (start < 0) return 1;

    const int units = manager.UnitCount();
    std::printf("Input: %s\n", path);
    std::printf("Series: %d file%s, %d unit%s; this file starts at unit %d\n", manager.FileCount(),
                manager.FileCount() == 1 ? "" : "s", units, units == 1 ? "" : "s", start);
    for (int f = 0; f < manager.FileCount(); ++f) {
        reeldeck::SeriesFileInfo file;
        manager.FileInfo(f, file);
        std::printf("  [%02d] %-24s %10" PRId64 " bytes  ", file.seriesNumber, FileName(file.path).c_str(),
                    file.size);
        if (!file.opened) {
            std::printf("skipped: cannot be opened\n");
        } else if (!file.parsed) {
            std::printf("skipped: bad header or index\n");
        } else if (file.unitCount == 0) {
            std::printf("no units\n");
        } else {
            std::printf("units %d-%d\n", file.firstUnit, file.firstUnit + file.unitCount - 1);
        }
    }

    reeldeck::QxrMainHeader main;
    reeldeck::QxrMovieHeader movie;
    reeldeck::QxrAudioHeader audio;
    if (manager.MainHeader(0, main) != 1 || manager.MovieHeader(0, movie) != 1) {
        std::printf("No file of the series has readable headers.\n");
        return 1;
    }
    const bool hasAudio = main.streamCount == 2 && manager.AudioHeader(0, audio) == 1;
    std::printf("Recording:\n");
    std::printf("  Model name:     %s\n", reeldeck::HeaderText(main.model).c_str());
    std::printf("  IP address:     %s\n", reeldeck::HeaderText(main.ipAddress).c_str());
    std::printf("  Serial number:  %s\n", reeldeck::HeaderText(main.serial).c_str());
    std::printf("  Record trigger: %s (%s)\n", reeldeck::TriggerText(main.trigger).c_str(),
                reeldeck::TagText(main.trigger).c_str());
    std::printf("  Date/time:      %s\n", reeldeck::HeaderText(main.dateTime).c_str());
    std::printf("  Streams:        %u\n", main.streamCount);

    int videoChunks = 0, audioChunks = 0;
    int64_t videoBytes = 0, audioBytes = 0;
    for (int k = 0; k < units; ++k) {
        reeldeck::ChunkRef v, a;
        manager.VideoRef(k, v);
        manager.AudioRef(k, a);
        videoChunks += v.dataPosition != 0;
        audioChunks += a.dataPosition != 0;
        videoBytes += v.size;
        audioBytes += a.size;
    }
    std::printf("  Stream #0: Video: %s (%s), %ux%u, %u fps, %d chunks, %" PRId64 " bytes\n",
                reeldeck::VideoCodecText(movie.codec).c_str(), reeldeck::TagText(movie.codec).c_str(),
                movie.width, movie.height, movie.frameRate, videoChunks, videoBytes);
    if (hasAudio) {
        const reeldeck::AudioFormat format = reeldeck::AudioFormatOf(audio);
        std::printf("  Stream #1: Audio: %s (%s/%s), %d chunks, %" PRId64
                    " bytes, type %d, packet %d bytes\n",
                    reeldeck::AudioCodecText(audio, true).c_str(), reeldeck::TagText(audio.codec).c_str(),
                    reeldeck::TagText(audio.bitRate).c_str(), audioChunks, audioBytes, format.type,
                    format.packetBytes);
    } else {
        std::printf("  Stream #1: Audio: %s (none)\n", reeldeck::AudioCodecText(audio, false).c_str());
    }

    if (listUnits) {
        std::printf("Units:        file    position       size      start | file    position       size\n");
        for (int k = 0; k < units; ++k) {
            reeldeck::ChunkRef v, a;
            manager.VideoRef(k, v);
            manager.AudioRef(k, a);
            std::printf("  %6d  %4d %11" PRId64 " %10d %10" PRId64 " | %4d %11" PRId64 " %10d\n", k,
                        v.fileNumber, v.dataPosition, v.size, v.cumulative - v.size, a.fileNumber,
                        a.dataPosition, a.size);
        }
    }
    return 0;
}

}  // namespace

QXRTOOL_COMMAND(kInfo);

}  // namespace qxrtool
