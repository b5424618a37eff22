// Fuzz target for the recorded-file parser: header parsing, the index build over one to three files,
// unit reads and position lookups; plus the writer's input parsers (MPEG-4 splitting and layer header,
// JPEG checks). The first byte chooses the number of files and the opened one; the rest is cut into
// equal parts, one per file.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/qxr_file_manager.h"
#include "core/report.h"
#include "series_writer/stream_split.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

void ExerciseManager(const uint8_t* data, std::size_t size) {
    const int files = 1 + data[0] % 3;
    const int chosen = (data[0] / 3) % files;
    ++data;
    --size;
    std::vector<std::unique_ptr<reeldeck::ByteStream>> streams;
    const std::size_t part = size / static_cast<std::size_t>(files);
    for (int f = 0; f < files; ++f) {
        const std::size_t length = f + 1 == files ? size - part * static_cast<std::size_t>(f) : part;
        streams.push_back(
            std::make_unique<reeldeck::MemoryStream>(data + part * static_cast<std::size_t>(f), length));
    }
    reeldeck::QXRFileManager manager;
    const int start = manager.OpenStreams(std::move(streams), chosen);
    const int units = manager.UnitCount();
    if (start < 0) {
        Check(units == 0);
        return;
    }
    Check(start == 0 || start < units);
    // Every unit's bytes lie inside the input: each chunk reads back whole and no larger than the input.
    std::vector<uint8_t> buffer(8192);
    int64_t previousStart = 0;
    for (int k = 0; k < units; ++k) {
        const int64_t videoStart = manager.VideoStart(k);
        Check(videoStart >= previousStart);
        previousStart = videoStart;
        for (const bool video : {true, false}) {
            const int32_t chunk = video ? manager.VideoSize(k) : manager.AudioSize(k);
            Check(chunk >= 0 && static_cast<std::size_t>(chunk) <= size);
            int64_t offset = 0, got = 0;
            while ((video ? manager.ReadVideo(buffer.data(), offset, 8192, got, k)
                          : manager.ReadAudio(buffer.data(), offset, 256, got, k)) == 1) {
                Check(got > 0);
                offset += got;
            }
            Check(offset == chunk);
        }
        const int found = manager.UnitForVideoPosition(videoStart);
        Check(manager.VideoStart(found) == videoStart);
    }
    Check(manager.UnitForVideoPosition(-1) == 0);
    reeldeck::QxrMainHeader main;
    reeldeck::QxrMovieHeader movie;
    reeldeck::QxrAudioHeader audio;
    for (int i = 0; i < 3; ++i) {
        manager.MainHeader(i, main);
        manager.MovieHeader(i, movie);
        manager.AudioHeader(i, audio);
        reeldeck::AudioFormatOf(audio);
    }
}

void ExerciseWriterInputs(const uint8_t* data, std::size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    reeldeck::series::PictureGeometry geometry;
    reeldeck::series::ParseMpeg4Geometry(bytes, geometry);
    std::size_t total = 0;
    for (const auto& piece : reeldeck::series::SplitMpeg4Stream(bytes)) total += piece.size();
    Check(total == 0 || total == size);
    std::string error;
    reeldeck::series::PrepareJpeg(bytes, geometry, error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const bool quiet = [] {
        // No boxes, and a log directory that cannot exist (under a file), so nothing is written.
        reeldeck::SetMessageBoxSink([](std::string_view, std::string_view) {});
        reeldeck::SetReportDirectory("/dev/null/reeldeck");
        return true;
    }();
    (void)quiet;
    if (size < 1) return 0;
    ExerciseManager(data, size);
    ExerciseWriterInputs(data, size);
    return 0;
}
