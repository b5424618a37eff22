#include "core/qxr_format.h"

#include <cstring>

#include "core/string_table.h"

namespace reeldeck {

std::string TagText(uint32_t value) {
    std::string text(4, '\0');
    for (int i = 0; i < 4; ++i) text[static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
    return text;
}

void DecodeMainHeader(const uint8_t (&bytes)[kMainHeaderSize], QxrMainHeader& out) {
    out.word0 = LoadLe32(bytes + 0);
    out.streamCount = LoadLe32(bytes + 4);
    out.trigger = LoadLe32(bytes + 8);
    std::memcpy(out.reserved, bytes + 12, sizeof out.reserved);
    std::memcpy(out.ipAddress, bytes + 48, 32);
    std::memcpy(out.serial, bytes + 80, 32);
    std::memcpy(out.model, bytes + 112, 32);
    std::memcpy(out.dateTime, bytes + 144, 32);
}

void EncodeMainHeader(const QxrMainHeader& header, uint8_t (&bytes)[kMainHeaderSize]) {
    StoreLe32(bytes + 0, header.word0);
    StoreLe32(bytes + 4, header.streamCount);
    StoreLe32(bytes + 8, header.trigger);
    std::memcpy(bytes + 12, header.reserved, sizeof header.reserved);
    std::memcpy(bytes + 48, header.ipAddress, 32);
    std::memcpy(bytes + 80, header.serial, 32);
    std::memcpy(bytes + 112, header.model, 32);
    std::memcpy(bytes + 144, header.dateTime, 32);
}

void DecodeMovieHeader(const uint8_t (&bytes)[kMovieHeaderSize], QxrMovieHeader& out) {
    out.codec = LoadLe32(bytes + 0);
    out.width = LoadLe32(bytes + 4);
    out.height = LoadLe32(bytes + 8);
    out.frameRate = LoadLe32(bytes + 12);
}

void EncodeMovieHeader(const QxrMovieHeader& header, uint8_t (&bytes)[kMovieHeaderSize]) {
    StoreLe32(bytes + 0, header.codec);
    StoreLe32(bytes + 4, header.width);
    StoreLe32(bytes + 8, header.height);
    StoreLe32(bytes + 12, header.frameRate);
}

void DecodeAudioHeader(const uint8_t (&bytes)[kAudioHeaderSize], QxrAudioHeader& out) {
    out.codec = LoadLe32(bytes + 0);
    out.bitRate = LoadLe32(bytes + 4);
}

void EncodeAudioHeader(const QxrAudioHeader& header, uint8_t (&bytes)[kAudioHeaderSize]) {
    StoreLe32(bytes + 0, header.codec);
    StoreLe32(bytes + 4, header.bitRate);
}

std::string HeaderText(const char (&field)[32]) {
    const void* nul = std::memchr(field, '\0', sizeof field);
    const std::size_t length =
        nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : 32;
    return std::string(field, length);
}

AudioFormat AudioFormatOf(const QxrAudioHeader& header) {
    if (header.codec == tag::kG711) return {100, 256};
    if (header.codec == tag::kG726) {
        switch (header.bitRate) {
            case tag::k16kb:
                return {101, 90};
            case tag::k24kb:
                return {102, 135};
            case tag::k32kb:
                return {103, 180};
            case tag::k40kb:
                return {104, 225};
            default:
                break;
        }
    }
    return {};
}

std::string TriggerText(uint32_t trigger) {
    switch (trigger) {
        case tag::kSensor:
            return std::string(LoadText(info::kSensorInput));
        case tag::kMotion:
            return std::string(LoadText(info::kMotionDetection));
        case tag::kPeriodical:
            return std::string(LoadText(info::kPeriodical));
        case tag::kManual:
            return std::string(LoadText(info::kManual));
        default:
            return std::string(LoadText(info::kUnknown));
    }
}

std::string VideoCodecText(uint32_t codec) {
    if (codec == tag::kMpeg4) return std::string(LoadText(info::kMpeg4));
    if (codec == tag::kJpeg) return std::string(LoadText(info::kJpeg));
    return std::string(LoadText(info::kUnknown));
}

std::string AudioCodecText(const QxrAudioHeader& header, bool present) {
    if (!present) return std::string(LoadText(info::kUnknown));
    if (header.codec == tag::kG711)
        return std::string(LoadText(header.bitRate == tag::k64kb ? info::kG711At64 : info::kG711Unknown));
    if (header.codec == tag::kG726) {
        switch (header.bitRate) {
            case tag::k16kb:
                return std::string(LoadText(info::kG726At16));
            case tag::k24kb:
                return std::string(LoadText(info::kG726At16 + 1));
            case tag::k32kb:
                return std::string(LoadText(info::kG726At16 + 2));
            case tag::k40kb:
                return std::string(LoadText(info::kG726At16 + 3));
            default:
                return std::string(LoadText(info::kG726Unknown));
        }
    }
    return std::string(LoadText(info::kUnknown));
}

}  // namespace reeldeck
