#include "player/camera_records.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace reeldeck {

namespace {

constexpr std::string_view kCamTim = "CamTim: ";
constexpr std::string_view kAlmEvent = "AlmEvent: ";
constexpr std::string_view kTimStamp = "TimStamp: ";
constexpr std::size_t kAlarmFlags = 4;
constexpr std::size_t kStampDigits = 10;

bool At(const uint8_t* p, const uint8_t* end, std::string_view tag) {
    return static_cast<std::size_t>(end - p) >= tag.size() && std::memcmp(p, tag.data(), tag.size()) == 0;
}

// Scans [p, end); `stopAtVop` ends at 00 00 01 B6, `stopAtBlankLine` at CR LF CR LF.
CameraRecords Scan(const uint8_t* p, const uint8_t* end, bool stopAtVop, bool stopAtBlankLine, bool stamps) {
    CameraRecords r;
    bool alarmSeen = false;
    for (; p < end; ++p) {
        if (stopAtVop && end - p >= 4 && p[0] == 0 && p[1] == 0 && p[2] == 1 && p[3] == 0xB6) break;
        if (stopAtBlankLine && end - p >= 4 && std::memcmp(p, "\r\n\r\n", 4) == 0) break;
        if (At(p, end, kCamTim)) {
            const uint8_t* text = p + kCamTim.size();
            if (static_cast<std::size_t>(end - text) >= kCameraTimeLength) {
                r.hasTime = true;
                r.cameraTime.assign(reinterpret_cast<const char*>(text), kCameraTimeLength);
                p = text + kCameraTimeLength - 1;
            }
        } else if (!alarmSeen && At(p, end, kAlmEvent)) {
            const uint8_t* flags = p + kAlmEvent.size();
            if (static_cast<std::size_t>(end - flags) >= kAlarmFlags) {
                // The sensor input wins; one alarm per scan.
                if (flags[2] == '1') {
                    r.sensorAlarm = alarmSeen = true;
                } else if (flags[3] == '1') {
                    r.motionAlarm = alarmSeen = true;
                }
                p = flags + kAlarmFlags - 1;
            }
        } else if (stamps && At(p, end, kTimStamp)) {
            const uint8_t* digits = p + kTimStamp.size();
            r.hasStamp = true;
            r.stampValid = static_cast<std::size_t>(end - digits) >= kStampDigits;
            uint64_t value = 0;
            for (std::size_t i = 0; r.stampValid && i < kStampDigits; ++i) {
                if (digits[i] < '0' || digits[i] > '9') r.stampValid = false;
                value = value * 10 + static_cast<uint64_t>(digits[i] - '0');
            }
            // Ten digits can pass 2^32; the stamps are compared modulo 2^32 like tick counts.
            r.stamp = r.stampValid ? static_cast<uint32_t>(value) : 0;
            if (r.stampValid) p = digits + kStampDigits - 1;
        }
    }
    return r;
}

}  // namespace

CameraRecords ScanJpegRecords(const uint8_t* image, std::size_t length) {
    const std::size_t window = std::min<std::size_t>(length, 128);
    if (image == nullptr || window < 4) return {};
    return Scan(image, image + window - 4, false, true, true);
}

CameraRecords ScanMpeg4Records(const uint8_t* data, std::size_t size) {
    if (data == nullptr) return {};
    return Scan(data, data + size, true, false, false);
}

void StampTracker::Feed(const CameraRecords& records) {
    if (!records.stampValid) {
        count_ = 0;
        return;
    }
    previous_ = last_;
    last_ = records.stamp;
    if (count_ < 2) ++count_;
}

int StampTracker::PacerArgument() const {
    if (count_ < 2) return 0;
    const int32_t d = static_cast<int32_t>(last_ - previous_);
    return d > 0 ? -d : 0;
}

}  // namespace reeldeck
