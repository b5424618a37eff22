#include "core/camera_description.h"

#include "core/viewer.h"
#include "core/viewer_events.h"

namespace ocuview {

namespace {

uint8_t HexDigit(char c) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
    return 0;
}

}  // namespace

uint8_t HexDigitPair(char high, char low) {
    return static_cast<uint8_t>(HexDigit(high) << 4 | HexDigit(low));
}

uint32_t ViewerModeFromDigits(std::string_view digits) {
    if (digits.size() < 8) return 0;
    uint32_t value = 0;
    for (std::size_t byte = 0; byte < 4; ++byte)
        value |= uint32_t{HexDigitPair(digits[2 * byte], digits[2 * byte + 1])} << (8 * byte);
    return value;
}

int AudioFrameBytes(AudioCodec codec) {
    switch (codec) {
        case AudioCodec::kG711_64:
            return 256;
        case AudioCodec::kG726_16:
            return 90;
        case AudioCodec::kG726_24:
            return 135;
        case AudioCodec::kG726_32:
            return 180;
        case AudioCodec::kG726_40:
            return 225;
        default:
            return 0;
    }
}

std::vector<std::string> FrameRateList(int highestRate) {
    static constexpr int kRates[] = {30, 25, 20, 15, 10, 8, 6, 5, 4, 3, 2, 1};
    std::vector<std::string> list;
    for (const int r : kRates) {
        if (r <= highestRate) list.push_back(std::to_string(r) + " fps");
    }
    return list;
}

std::vector<std::string> TriggerList(uint16_t triggers) {
    std::vector<std::string> list;
    if (triggers & kTriggerSmtp) list.emplace_back("e-Mail");
    if (triggers & kTriggerFtp) list.emplace_back("FTP");
    if (triggers & kTriggerMemory) list.emplace_back("Image memory");
    if (triggers & kTriggerAlarmOut) list.emplace_back("Alarm output");
    return list;
}

ViewerKind ViewerKindFor(uint32_t viewerMode) {
    if ((viewerMode & kModePanel) == 0) return ViewerKind::kViewOnly;
    if (viewerMode & kFullViewerBits) return ViewerKind::kFull;
    if (viewerMode & kLightViewerBits) return ViewerKind::kLight;
    return ViewerKind::kView;
}

std::string_view StatusText(int code, int controlWidth) {
    switch (code) {
        case kStatusCannotConnect:
            return "Can not connect.";
        case kStatusProtected:
            return controlWidth < 320 ? "Protected Object." : "Protected Object. This object is protected.";
        case kStatusBadRequest:
            return "Bad request.";
        case kStatusUnavailable:
            return "Service unavailable.";
        default:
            return {};
    }
}

}  // namespace ocuview
