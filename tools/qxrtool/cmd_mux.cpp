// qxrtool mux: write a camera recording series (.m4f or .jpf) from an MPEG-4 elementary stream or JPEG
// images, with optional raw G.711 or G.726 audio.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "command.h"
#include "core/path_string.h"
#include "platform/input_file.h"
#include "series_writer/series_writer.h"
#include "series_writer/stream_split.h"

namespace qxrtool {
namespace {

using reeldeck::MakeTag;
namespace tag = reeldeck::tag;
namespace series = reeldeck::series;

int RunMux(int argc, char** argv);

const Command kMux{
    "mux", "write a camera recording series from an MPEG-4 stream or JPEG images",
    "mux [options] -o OUT/REC00.m4f STREAM.m4v\n"
    "       qxrtool mux [options] -o OUT/REC00.jpf IMAGE.jpg...\n\n"
    "The output names the first file: its directory, prefix, two-digit number and extension (.m4f MPEG-4,\n"
    ".jpf Motion JPEG) set the series.\n"
    "  --audio FILE          raw audio code words to interleave\n"
    "  --audio-codec C       g711 (default), g726-16, g726-24, g726-32, g726-40\n"
    "  --files N             split the pictures over N files (default 1)\n"
    "  --rate FPS            frame rate (default: the stream's fixed rate, else 5)\n"
    "  --size WxH            picture size (default: from the stream)\n"
    "  --trigger T           sens, mdet, peri or manu (default manu)\n"
    "  --ip TEXT, --serial TEXT, --model TEXT, --date TEXT   main-header texts\n"
    "  --start 'YYYY/MM/DD HH:MM:SS[.mmm]'   camera time of the first picture (default: now, UTC)\n"
    "  --alarm N:sensor|motion               an alarm flag on picture N (repeatable)\n"
    "variants for testing readers:\n"
    "  --damage KIND[:FILE]  bad-main-header, no-audio-header, truncated-index, offset-past-end,\n"
    "                        huge-chunk, no-index, empty (FILE counts from 0; default 0; repeatable)\n"
    "  --leading-audio       each file starts with an audio chunk\n"
    "  --audio-chunks N      split each picture's audio into N chunks\n"
    "  --foreign-index       add an unknown index entry after every video entry\n"
    "  --no-records          write no camera records",
    RunMux};

// Each input beyond this is refused before reading; a series of 100 camera files holds far less.
constexpr std::size_t kMaxInputBytes = std::size_t{512} << 20;

bool ReadInput(const std::string& path, std::vector<uint8_t>& out, std::string& error) {
    return platform::ReadFile(path, kMaxInputBytes, &out, &error) == platform::FileStatus::kOk;
}

bool ParseInt(const char* text, long low, long high, long& out) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high) return false;
    out = value;
    return true;
}

int RunMux(int argc, char** argv) {
    if (WantsHelp(argc, argv)) return PrintCommandHelp(kMux);
    series::SeriesSpec spec;
    std::string output, audioPath, size;
    std::vector<std::string> inputs;
    std::vector<std::pair<long, bool>> alarms;  // picture, true for sensor
    long rate = 0;
    uint32_t audioCodec = tag::kG711, audioRate = tag::k64kb;
    spec.startTimeMs = static_cast<int64_t>(std::time(nullptr)) * 1000;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const bool takesValue = arg == "-o" || arg == "--output" || arg == "--audio" ||
                                arg == "--audio-codec" || arg == "--files" || arg == "--rate" ||
                                arg == "--size" || arg == "--trigger" || arg == "--ip" || arg == "--serial" ||
                                arg == "--model" || arg == "--date" || arg == "--start" || arg == "--alarm" ||
                                arg == "--damage" || arg == "--audio-chunks";
        const char* v = takesValue ? value() : nullptr;
        if (takesValue && v == nullptr) return UsageError(kMux, arg + " needs a value");
        long number = 0;
        if (arg == "-o" || arg == "--output") {
            output = v;
        } else if (arg == "--audio") {
            audioPath = v;
        } else if (arg == "--audio-codec") {
            const std::string c = v;
            if (c == "g711") {
                audioCodec = tag::kG711, audioRate = tag::k64kb;
            } else if (c.rfind("g726-", 0) == 0 && c.size() == 7) {
                audioCodec = tag::kG726;
                const char r[5] = {c[5], c[6], 'k', 'b', '\0'};
                audioRate = MakeTag(r);
                if (series::AudioBytesPerSecond(audioCodec, audioRate) == 0)
                    return UsageError(kMux, "unknown audio codec " + c);
            } else {
                return UsageError(kMux, "unknown audio codec " + c);
            }
        } else if (arg == "--files") {
            if (!ParseInt(v, 1, 100, number)) return UsageError(kMux, "--files takes 1 to 100");
            spec.fileCount = static_cast<int>(number);
        } else if (arg == "--rate") {
            if (!ParseInt(v, 1, 600, rate)) return UsageError(kMux, "--rate takes 1 to 600");
        } else if (arg == "--size") {
            size = v;
        } else if (arg == "--trigger") {
            if (std::strlen(v) != 4) return UsageError(kMux, "--trigger takes a four-letter tag");
            const char t[5] = {v[0], v[1], v[2], v[3], '\0'};
            spec.trigger = MakeTag(t);
        } else if (arg == "--ip") {
            spec.ipAddress = v;
        } else if (arg == "--serial") {
            spec.serial = v;
        } else if (arg == "--model") {
            spec.model = v;
        } else if (arg == "--date") {
            spec.dateTime = v;
        } else if (arg == "--start") {
            if (!series::ParseCameraTimeText(v, spec.startTimeMs))
                return UsageError(kMux, "--start takes 'YYYY/MM/DD HH:MM:SS[.mmm]'");
        } else if (arg == "--alarm") {
            const std::string a = v;
            const std::size_t colon = a.find(':');
            const std::string kind = colon == std::string::npos ? "" : a.substr(colon + 1);
            if (colon == std::string::npos || !ParseInt(a.substr(0, colon).c_str(), 0, 1L << 30, number) ||
                (kind != "sensor" && kind != "motion"))
                return UsageError(kMux, "--alarm takes N:sensor or N:motion");
            alarms.emplace_back(number, kind == "sensor");
        } else if (arg == "--damage") {
            const std::string d = v;
            const std::size_t colon = d.find(':');
            const std::string kind = d.substr(0, colon);
            if (colon != std::string::npos && !ParseInt(d.substr(colon + 1).c_str(), 0, 99, number))
                return UsageError(kMux, "--damage takes KIND[:FILE]");
            const int file = colon == std::string::npos ? 0 : static_cast<int>(number);
            series::Variants& var = spec.variants;
            if (kind == "bad-main-header")
                var.badMainHeaderSize.insert(file);
            else if (kind == "no-audio-header")
                var.missingAudioHeader.insert(file);
            else if (kind == "truncated-index")
                var.truncatedIndex.insert(file);
            else if (kind == "offset-past-end")
                var.offsetPastEnd.insert(file);
            else if (kind == "huge-chunk")
                var.hugeChunkSize.insert(file);
            else if (kind == "no-index")
                var.noIndex.insert(file);
            else if (kind == "empty")
                var.emptyFile.insert(file);
            else
                return UsageError(kMux, "unknown damage " + kind);
        } else if (arg == "--leading-audio") {
            spec.variants.leadingAudio = true;
        } else if (arg == "--audio-chunks") {
            if (!ParseInt(v, 1, 64, number)) return UsageError(kMux, "--audio-chunks takes 1 to 64");
            spec.variants.audioChunksPerFrame = static_cast<int>(number);
        } else if (arg == "--foreign-index") {
            spec.variants.unknownIndexEntries = true;
        } else if (arg == "--no-records") {
            spec.variants.noRecords = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError(kMux, "unknown option " + arg);
        } else {
            inputs.push_back(arg);
        }
    }
    if (output.empty()) return UsageError(kMux, "needs -o with the first output file");
    if (inputs.empty()) return UsageError(kMux, "needs an input stream or images");

    // The output name sets the series: directory, prefix, two-digit number, extension.
    const reeldeck::PathString out(output);
    const std::string name(out.FilePart().View());
    const std::string extension(out.Extension().View());
    const std::string upper(out.Extension().UpperCase().View());
    if (upper != "M4F" && upper != "JPF") return UsageError(kMux, "the output must end in .m4f or .jpf");
    if (name.size() < 6 || !std::isdigit(static_cast<unsigned char>(name[name.size() - 6])) ||
        !std::isdigit(static_cast<unsigned char>(name[name.size() - 5])))
        return UsageError(kMux,
                          "the output name must end in two digits before the extension, e.g. REC00.m4f");
    spec.directory = out.DirectoryPart().Empty() ? "." : std::string(out.DirectoryPart().View());
    spec.prefix = name.substr(0, name.size() - 6);
    spec.firstNumber = (name[name.size() - 6] - '0') * 10 + (name[name.size() - 5] - '0');
    spec.extension = extension;
    spec.codec = upper == "M4F" ? tag::kMpeg4 : tag::kJpeg;
    if (spec.firstNumber + spec.fileCount > 100) return UsageError(kMux, "the series numbers would pass 99");

    std::vector<series::Frame> frames;
    series::PictureGeometry geometry;
    if (spec.codec == tag::kMpeg4) {
        if (inputs.size() != 1) return UsageError(kMux, "an .m4f series takes one MPEG-4 elementary stream");
        std::vector<uint8_t> stream;
        std::string error;
        if (!ReadInput(inputs[0], stream, error)) return Fail("mux", error);
        for (auto& piece : series::SplitMpeg4Stream(stream))
            frames.push_back({std::move(piece), false, false});
        if (frames.empty()) return Fail("mux", inputs[0] + " holds no MPEG-4 VOP");
        series::ParseMpeg4Geometry(stream, geometry);
    } else {
        for (const std::string& input : inputs) {
            series::Frame frame;
            std::string error;
            series::PictureGeometry g;
            if (!ReadInput(input, frame.bytes, error)) return Fail("mux", error);
            if (!series::PrepareJpeg(frame.bytes, g, error)) return Fail("mux", input + " " + error);
            if (frames.empty()) geometry = g;
            frames.push_back(std::move(frame));
        }
    }
    if (!size.empty()) {
        unsigned w = 0, h = 0;
        char tail = 0;
        if (std::sscanf(size.c_str(), "%ux%u%c", &w, &h, &tail) != 2 || w == 0 || h == 0)
            return UsageError(kMux, "--size takes WxH");
        geometry.width = w;
        geometry.height = h;
    }
    if (geometry.width == 0 || geometry.height == 0)
        return Fail("mux", "cannot tell the picture size from the input; give --size");
    spec.width = geometry.width;
    spec.height = geometry.height;
    spec.frameRate = rate > 0 ? static_cast<uint32_t>(rate) : geometry.frameRate > 0 ? geometry.frameRate : 5;
    for (const auto& [picture, sensor] : alarms) {
        if (picture >= static_cast<long>(frames.size()))
            return UsageError(kMux, "--alarm names a picture past the end");
        (sensor ? frames[static_cast<std::size_t>(picture)].sensorAlarm
                : frames[static_cast<std::size_t>(picture)].motionAlarm) = true;
    }

    std::vector<uint8_t> audio;
    if (!audioPath.empty()) {
        std::string error;
        if (!ReadInput(audioPath, audio, error)) return Fail("mux", error);
        spec.audioCodec = audioCodec;
        spec.audioRate = audioRate;
    }

    const series::WriteResult result = series::WriteSeries(spec, frames, audio);
    if (!result.ok) return Fail("mux", result.error);
    for (const std::string& path : result.paths) std::printf("%s\n", path.c_str());
    std::fprintf(stderr,
                 "qxrtool mux: %zu pictures (%ux%u, %u fps), %zu audio bytes, %zu units in %zu files\n",
                 frames.size(), spec.width, spec.height, spec.frameRate, audio.size(), result.units.size(),
                 result.paths.size());
    return 0;
}

}  // namespace

QXRTOOL_COMMAND(kMux);

}  // namespace qxrtool
