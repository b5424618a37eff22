#include "series_writer/series_writer.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/byte_stream.h"
#include "platform/output_file.h"
#include "series_writer/stream_split.h"
#include "vello/mpeg4/start_code.h"

namespace reeldeck::series {

namespace {

using Bytes = std::vector<uint8_t>;

void PutTag(Bytes& out, uint32_t value) {
    uint8_t b[4];
    StoreLe32(b, value);
    out.insert(out.end(), b, b + 4);
}

void PatchLe32(Bytes& out, std::size_t at, uint32_t value) {
    StoreLe32(out.data() + at, value);
}

void CopyText(char (&field)[32], const std::string& text) {
    std::memset(field, 0, sizeof field);
    std::memcpy(field, text.data(), std::min<std::size_t>(text.size(), sizeof field - 1));
}

void Append(Bytes& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}

// The picture with its camera records: for MPEG-4 as user data in front of the VOP start code, for JPEG
// as an APP2 text segment behind SOI (behind a JFIF APP0 segment when there is one).
Bytes WithRecords(const SeriesSpec& spec, const Frame& frame, std::size_t index) {
    const int64_t ms =
        spec.startTimeMs + static_cast<int64_t>(index) * 1000 / std::max<uint32_t>(spec.frameRate, 1);
    const std::string camTime = "CamTim: " + CameraTimeText(ms);
    const std::string alarm =
        std::string("AlmEvent: 00") + (frame.sensorAlarm ? '1' : '0') + (frame.motionAlarm ? '1' : '0');
    if (spec.variants.noRecords) return frame.bytes;

    Bytes out;
    if (spec.codec == tag::kMpeg4) {
        std::size_t vop = vello::mpeg4::FindStartCode(frame.bytes, vello::mpeg4::kVopStartCode);
        if (vop == vello::mpeg4::kNoStartCode) vop = 0;
        out.assign(frame.bytes.begin(), frame.bytes.begin() + static_cast<std::ptrdiff_t>(vop));
        for (const std::string& record : {camTime, alarm}) {
            out.insert(out.end(), {0x00, 0x00, 0x01, vello::mpeg4::kUserDataStartCode});
            Append(out, record);
        }
        out.insert(out.end(), frame.bytes.begin() + static_cast<std::ptrdiff_t>(vop), frame.bytes.end());
        return out;
    }

    std::size_t insertAt = 2;
    const Bytes& in = frame.bytes;
    if (in.size() >= 11 && in[2] == 0xFF && in[3] == 0xE0 && std::memcmp(in.data() + 6, "JFIF", 4) == 0)
        insertAt = 4 + (static_cast<std::size_t>(in[4]) << 8 | in[5]);
    insertAt = std::min(insertAt, in.size());
    const uint32_t stamp = static_cast<uint32_t>(
        (spec.firstTimeStamp + static_cast<uint64_t>(ms - spec.startTimeMs)) % 10000000000ull);
    char tail[160];
    if (spec.variants.noTimeStamps) {
        std::snprintf(tail, sizeof tail, "\r\n%s\r\n%s\r\n\r\n", camTime.c_str(), alarm.c_str());
    } else {
        std::snprintf(tail, sizeof tail, "\r\n%s\r\n%s\r\nTimStamp: %010u\r\n\r\n", camTime.c_str(),
                      alarm.c_str(), stamp);
    }
    const std::size_t textLength = 9 + 8 + std::strlen(tail);  // "DataLen: " + 8 digits + the rest
    const std::size_t total = in.size() + 4 + textLength;
    char dataLen[32];
    std::snprintf(dataLen, sizeof dataLen, "DataLen: %08zu", total % 100000000u);
    out.assign(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(insertAt));
    const std::size_t segmentLength = 2 + textLength;
    out.insert(out.end(),
               {0xFF, 0xE2, static_cast<uint8_t>(segmentLength >> 8), static_cast<uint8_t>(segmentLength)});
    Append(out, dataLen);
    Append(out, tail);
    out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(insertAt), in.end());
    return out;
}

struct IndexEntry {
    uint32_t tag;
    uint32_t offset;
    uint32_t size;
};

// True when a reader holds `path` open (readers take a shared lock): such a file is not replaced.
bool HeldByReader(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return held;
}

// Writes one file of the series beside its place; it is put in place with the others once all are
// written (OutputFile::Commit), so a failure leaves no part of a series and a reader never sees half a file.
bool WriteFile(platform::OutputFile& out, const std::string& path, const Bytes& bytes, std::string& error) {
    if (HeldByReader(path)) {
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
    const std::string extension = !spec.extension.empty()     ? spec.extension
                                  : spec.codec == tag::kMpeg4 ? "m4f"
                                                              : "jpf";

    QxrMainHeader main;
    main.streamCount = hasAudio ? 2 : 1;
    main.trigger = spec.trigger;
    CopyText(main.ipAddress, spec.ipAddress);
    CopyText(main.serial, spec.serial);
    CopyText(main.model, spec.model);
    CopyText(main.dateTime,
             !spec.dateTime.empty() ? spec.dateTime : CameraTimeText(spec.startTimeMs).substr(0, 19));
    uint8_t mainBytes[kMainHeaderSize];
    EncodeMainHeader(main, mainBytes);
    uint8_t movieBytes[kMovieHeaderSize];
    EncodeMovieHeader({spec.codec, spec.width, spec.height, spec.frameRate}, movieBytes);
    uint8_t audioBytes[kAudioHeaderSize];
    EncodeAudioHeader({spec.audioCodec, spec.audioRate}, audioBytes);

    const std::vector<std::size_t> bounds = AudioBounds(spec, frames.size(), audio.size());
    const std::size_t group = AudioGroupBytes(spec);
    const int pieces = std::max(1, v.audioChunksPerFrame);

    // Every file stays beside its place until the whole series is written.
    std::vector<platform::OutputFile> outputs(static_cast<std::size_t>(spec.fileCount));
    for (int f = 0; f < spec.fileCount; ++f) {
        char number[8];
        std::snprintf(number, sizeof number, "%02d", spec.firstNumber + f);
        const std::string path = spec.directory + "/" + spec.prefix + number + "." + extension;
        result.paths.push_back(path);

        Bytes file;
        PutTag(file, tag::kRiff);
        PutTag(file, 0);  // RIFF size, patched below
        PutTag(file, tag::kForm);
        PutTag(file, tag::kList);
        const std::size_t hdrlSizeAt = file.size();
        PutTag(file, 0);
        PutTag(file, tag::kHdrl);
        PutTag(file, tag::kMainHeader);
        const uint32_t mainSize = v.badMainHeaderSize.count(f) ? 172 : kMainHeaderSize;
        PutTag(file, mainSize);
        file.insert(file.end(), mainBytes, mainBytes + mainSize);
        PutTag(file, tag::kMovieHeader);
        PutTag(file, kMovieHeaderSize);
        file.insert(file.end(), movieBytes, movieBytes + kMovieHeaderSize);
        if (hasAudio && !v.missingAudioHeader.count(f)) {
            PutTag(file, tag::kAudioHeader);
            PutTag(file, kAudioHeaderSize);
            file.insert(file.end(), audioBytes, audioBytes + kAudioHeaderSize);
        }
        PatchLe32(file, hdrlSizeAt, static_cast<uint32_t>(file.size() - hdrlSizeAt - 4));

        PutTag(file, tag::kList);
        const std::size_t moviSizeAt = file.size();
        PutTag(file, 0);
        const std::size_t moviAt = file.size();
        PutTag(file, tag::kMovi);

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
            const Bytes picture = WithRecords(spec, frames[i], i);
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

        if (!v.noIndex.count(f)) {
            PutTag(file, tag::kIndex);
            const std::size_t extra = v.truncatedIndex.count(f) ? 1 : 0;
            PutTag(file, static_cast<uint32_t>((index.size() + extra) * kIndexEntrySize));
            for (const IndexEntry& e : index) {
                PutTag(file, e.tag);
                PutTag(file, e.offset);
                PutTag(file, e.size);
            }
        }
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
