#include "series_writer/series_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/byte_stream.h"
#include "platform/output_file.h"
#include "series_writer/file_layout.h"

namespace reeldeck::series {

namespace {

using layout::Bytes;
using layout::IndexEntry;
using layout::PatchLe32;
using layout::PutTag;

// Writes one file of the series beside its place; it is put in place with the others once all are
// written (OutputFile::Commit), so a failure leaves no part of a series and a reader never sees half a file.
bool WriteFile(platform::OutputFile& out, const std::string& path, const Bytes& bytes, std::string& error) {
    if (layout::HeldByReader(path)) {
        error = path + ": in use by a reader";
        return false;
    }
    if (out.Open(path) != platform::FileStatus::kOk ||
        out.Write(bytes.data(), bytes.size()) != platform::FileStatus::kOk) {
        error = out.Error();
        return false;
    }
    return true;
}

// The byte boundaries of each picture's audio: picture i gets [bounds[i], bounds[i+1]). Boundaries fall
// on the engine's packet size, so no packet straddles two chunks; the last picture takes the rest.
std::vector<std::size_t> AudioBounds(const SeriesSpec& spec, std::size_t frames, std::size_t audioBytes) {
    std::vector<std::size_t> bounds(frames + 1, audioBytes);
    if (frames == 0) return bounds;
    const uint64_t perSecond = AudioBytesPerSecond(spec.audioCodec, spec.audioRate);
    const uint64_t packet =
        static_cast<uint64_t>(std::max(1, AudioFormatOf({spec.audioCodec, spec.audioRate}).packetBytes));
    for (std::size_t i = 0; i < frames; ++i) {
        const uint64_t at = static_cast<uint64_t>(i) * perSecond / std::max<uint32_t>(spec.frameRate, 1);
        bounds[i] = static_cast<std::size_t>(std::min<uint64_t>(at / packet * packet, audioBytes));
    }
    return bounds;
}

// Code words never split: a G.726 group of 8 samples is `bits` bytes.
std::size_t AudioGroupBytes(const SeriesSpec& spec) {
    if (spec.audioCodec != tag::kG726) return 1;
    switch (spec.audioRate) {
        case tag::k16kb:
            return 2;
        case tag::k24kb:
            return 3;
        case tag::k40kb:
            return 5;
        default:
            return 4;
    }
}

}  // namespace

std::string CameraTimeText(int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    const int millis = static_cast<int>(ms - static_cast<int64_t>(seconds) * 1000);
    std::tm t{};
    gmtime_r(&seconds, &t);
    char text[64];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d.%03d", (t.tm_year + 1900) % 10000,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, millis);
    return text;
}

bool ParseCameraTimeText(std::string_view text, int64_t& ms) {
    const std::string copy(text.substr(0, 32));
    std::tm t{};
    int millis = 0;
    const int n = std::sscanf(copy.c_str(), "%d/%d/%d %d:%d:%d.%d", &t.tm_year, &t.tm_mon, &t.tm_mday,
                              &t.tm_hour, &t.tm_min, &t.tm_sec, &millis);
    if (n < 6 || millis < 0 || millis > 999) return false;
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    ms = static_cast<int64_t>(timegm(&t)) * 1000 + millis;
    return true;
}

uint32_t AudioBytesPerSecond(uint32_t codec, uint32_t rate) {
    if (codec == tag::kG711) return 8000;
    if (codec != tag::kG726) return 0;
    switch (rate) {
        case tag::k16kb:
            return 2000;
        case tag::k24kb:
            return 3000;
        case tag::k32kb:
            return 4000;
        case tag::k40kb:
            return 5000;
        default:
            return 0;
    }
}

WriteResult WriteSeries(const SeriesSpec& spec, const std::vector<Frame>& frames,
                        const std::vector<uint8_t>& audio) {
    WriteResult result;
    const Variants& v = spec.variants;
    if (spec.fileCount < 1 || spec.firstNumber < 0 || spec.firstNumber + spec.fileCount > 100) {
        result.error = "the series numbers must lie in 0 to 99";
        return result;
    }
    if (spec.codec != tag::kMpeg4 && spec.codec != tag::kJpeg) {
        result.error = "the video codec must be mpeg or jpeg";
        return result;
    }
    const bool hasAudio = spec.audioCodec != 0;
    if (hasAudio && AudioBytesPerSecond(spec.audioCodec, spec.audioRate) == 0) {
        result.error = "unknown audio codec or rate";
        return result;
    }
    if (!hasAudio && !audio.empty()) {
        result.error = "audio given without an audio codec";
        return result;
    }
    const std::vector<std::size_t> bounds = AudioBounds(spec, frames.size(), audio.size());
    const std::size_t group = AudioGroupBytes(spec);
    const int pieces = std::max(1, v.audioChunksPerFrame);

    // Every file stays beside its place until the whole series is written.
    std::vector<platform::OutputFile> outputs(static_cast<std::size_t>(spec.fileCount));
    for (int f = 0; f < spec.fileCount; ++f) {
        const std::string path = layout::SeriesFilePath(spec, spec.firstNumber + f);
        result.paths.push_back(path);

        Bytes file;
        const uint32_t mainSize = v.badMainHeaderSize.count(f) ? 172 : kMainHeaderSize;
        const layout::FileStart start =
            layout::AppendFileStart(file, spec, mainSize, hasAudio && !v.missingAudioHeader.count(f));
        const std::size_t moviSizeAt = start.moviSizeAt;
        const std::size_t moviAt = start.moviAt;

        std::vector<IndexEntry> index;
        std::vector<std::size_t> unitsOfVideoEntries;  // which expected unit each video entry fills
        auto putChunk = [&](uint32_t chunkTag, const uint8_t* data, std::size_t size) {
            index.push_back(
                {chunkTag, static_cast<uint32_t>(file.size() - (moviAt + 4)), static_cast<uint32_t>(size)});
            PutTag(file, chunkTag);
            PutTag(file, static_cast<uint32_t>(size));
            file.insert(file.end(), data, data + size);
            if (size & 1) file.push_back(0);  // RIFF chunks are padded to even length
        };
        auto putAudioPieces = [&](std::size_t begin, std::size_t end, bool joinsVideo) {
            for (int p = 0; p < pieces; ++p) {
                const std::size_t span = end - begin;
                const std::size_t from =
                    begin +
                    (span * static_cast<std::size_t>(p) / static_cast<std::size_t>(pieces)) / group * group;
                const std::size_t to = p + 1 == pieces ? end
                                                       : begin + (span * static_cast<std::size_t>(p + 1) /
                                                                  static_cast<std::size_t>(pieces)) /
                                                                     group * group;
                if (to <= from) continue;
                putChunk(tag::kAudioChunk, audio.data() + from, to - from);
                if (!joinsVideo) result.units.push_back(ExpectedUnit{f, {}, {}, false, false});
                ExpectedUnit& unit = result.units.back();
                unit.audio.assign(audio.begin() + static_cast<std::ptrdiff_t>(from),
                                  audio.begin() + static_cast<std::ptrdiff_t>(to));
                unit.hasAudio = true;
                joinsVideo = false;
            }
        };

        const std::size_t first =
            frames.size() * static_cast<std::size_t>(f) / static_cast<std::size_t>(spec.fileCount);
        const std::size_t last =
            frames.size() * static_cast<std::size_t>(f + 1) / static_cast<std::size_t>(spec.fileCount);
        for (std::size_t i = first; i < last; ++i) {
            const bool leading = v.leadingAudio && i == first;
            if (leading) putAudioPieces(bounds[i], bounds[i + 1], false);
            const int64_t ms =
                spec.startTimeMs + static_cast<int64_t>(i) * 1000 / std::max<uint32_t>(spec.frameRate, 1);
            const Bytes picture = layout::WithRecords(spec, frames[i], ms);
            putChunk(tag::kVideoChunk, picture.data(), picture.size());
            unitsOfVideoEntries.push_back(index.size() - 1);
            result.units.push_back(ExpectedUnit{f, picture, {}, true, false});
            const std::size_t videoUnit = result.units.size() - 1;
            if (v.unknownIndexEntries) index.push_back({MakeTag("ix00"), 0, 0});
            if (!leading) putAudioPieces(bounds[i], bounds[i + 1], true);
            // Damage to the last video entry of the file.
            if (i + 1 == last && (v.offsetPastEnd.count(f) || v.hugeChunkSize.count(f))) {
                IndexEntry& entry = index[unitsOfVideoEntries.back()];
                result.units[videoUnit].video.clear();
                if (v.offsetPastEnd.count(f)) entry.offset = 0x40000000;
                if (v.hugeChunkSize.count(f))
                    entry.size = 0xFFFFFFF0u;  // expected bytes set once the file is whole
            }
        }
        PatchLe32(file, moviSizeAt, static_cast<uint32_t>(file.size() - moviAt));

        if (!v.noIndex.count(f)) layout::AppendIndex(file, index, v.truncatedIndex.count(f) ? 1 : 0);
        PatchLe32(file, 4, static_cast<uint32_t>(file.size() - 8));

        // A chunk whose size runs past the end reads as the bytes up to the end of the file.
        if (v.hugeChunkSize.count(f) && !v.offsetPastEnd.count(f) && !unitsOfVideoEntries.empty()) {
            const IndexEntry& entry = index[unitsOfVideoEntries.back()];
            const std::size_t data = moviAt + entry.offset + static_cast<std::size_t>(kChunkDataBias);
            for (auto it = result.units.rbegin(); it != result.units.rend(); ++it) {
                if (it->file == f && it->hasVideo) {
                    it->video.assign(file.begin() + static_cast<std::ptrdiff_t>(data), file.end());
                    break;
                }
            }
        }

        if (v.emptyFile.count(f)) file.clear();
        if (file.size() >= static_cast<std::size_t>(FileStream::kMaxFileSize)) {
            result.error = path + ": a file of the series would reach 2 GB; use more files";
            return result;
        }
        if (!WriteFile(outputs[static_cast<std::size_t>(f)], path, file, result.error)) return result;
    }
    for (platform::OutputFile& out : outputs) {
        if (out.Commit() != platform::FileStatus::kOk) {
            result.error = out.Error();
            return result;
        }
    }
    result.ok = true;
    return result;
}

}  // namespace reeldeck::series
