#include "series_writer/file_layout.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "vello/mpeg4/start_code.h"

namespace reeldeck::series::layout {

namespace {

void CopyText(char (&field)[32], const std::string& text) {
    std::memset(field, 0, sizeof field);
    std::memcpy(field, text.data(), std::min<std::size_t>(text.size(), sizeof field - 1));
}

void Append(Bytes& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}

}  // namespace

void PutTag(Bytes& out, uint32_t value) {
    uint8_t b[4];
    StoreLe32(b, value);
    out.insert(out.end(), b, b + 4);
}

void PatchLe32(Bytes& out, std::size_t at, uint32_t value) {
    StoreLe32(out.data() + at, value);
}

FileStart AppendFileStart(Bytes& file, const SeriesSpec& spec, uint32_t mainSize, bool audioHeader) {
    QxrMainHeader main;
    main.streamCount = spec.audioCodec != 0 ? 2 : 1;
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

    PutTag(file, tag::kRiff);
    PutTag(file, 0);  // RIFF size, patched when the file is whole
    PutTag(file, tag::kForm);
    PutTag(file, tag::kList);
    const std::size_t hdrlSizeAt = file.size();
    PutTag(file, 0);
    PutTag(file, tag::kHdrl);
    PutTag(file, tag::kMainHeader);
    PutTag(file, mainSize);
    file.insert(file.end(), mainBytes, mainBytes + std::min(mainSize, kMainHeaderSize));
    PutTag(file, tag::kMovieHeader);
    PutTag(file, kMovieHeaderSize);
    file.insert(file.end(), movieBytes, movieBytes + kMovieHeaderSize);
    if (audioHeader) {
        PutTag(file, tag::kAudioHeader);
        PutTag(file, kAudioHeaderSize);
        file.insert(file.end(), audioBytes, audioBytes + kAudioHeaderSize);
    }
    PatchLe32(file, hdrlSizeAt, static_cast<uint32_t>(file.size() - hdrlSizeAt - 4));

    FileStart start;
    PutTag(file, tag::kList);
    start.moviSizeAt = file.size();
    PutTag(file, 0);
    start.moviAt = file.size();
    PutTag(file, tag::kMovi);
    return start;
}

Bytes WithRecords(const SeriesSpec& spec, const Frame& frame, int64_t ms) {
    if (spec.variants.noRecords) return frame.bytes;
    const std::string camTime = "CamTim: " + CameraTimeText(ms);
    const std::string alarm =
        std::string("AlmEvent: 00") + (frame.sensorAlarm ? '1' : '0') + (frame.motionAlarm ? '1' : '0');

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

void AppendIndex(Bytes& file, const std::vector<IndexEntry>& index, std::size_t extraEntries) {
    PutTag(file, tag::kIndex);
    PutTag(file, static_cast<uint32_t>((index.size() + extraEntries) * kIndexEntrySize));
    for (const IndexEntry& e : index) {
        PutTag(file, e.tag);
        PutTag(file, e.offset);
        PutTag(file, e.size);
    }
}

// True when a reader holds `path` open (readers take a shared lock): such a file is not replaced.
bool HeldByReader(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return held;
}

std::string SeriesFilePath(const SeriesSpec& spec, int number) {
    const std::string extension = !spec.extension.empty()     ? spec.extension
                                  : spec.codec == tag::kMpeg4 ? "m4f"
                                                              : "jpf";
    char digits[8];
    std::snprintf(digits, sizeof digits, "%02d", number % 100);
    return spec.directory + "/" + spec.prefix + digits + "." + extension;
}

}  // namespace reeldeck::series::layout
