// The camera's text records inside the picture stream: "CamTim: " (23 characters of camera time),
// "AlmEvent: " (4 flag characters: the third is the sensor input, the fourth motion detection) and, in
// Motion JPEG only, "TimStamp: " (10 decimal digits, milliseconds).
#ifndef REELDECK_PLAYER_CAMERA_RECORDS_H
#define REELDECK_PLAYER_CAMERA_RECORDS_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace reeldeck {

inline constexpr std::size_t kCameraTimeLength = 23;

struct CameraRecords {
    bool hasTime = false;
    std::string cameraTime;  // 23 characters when hasTime
    bool sensorAlarm = false;
    bool motionAlarm = false;
    bool hasStamp = false;    // a "TimStamp: " record was met
    bool stampValid = false;  // ... and its 10 characters were all digits
    uint32_t stamp = 0;
};

// The records in a Motion JPEG image: its first min(length, 128) - 4 bytes, up to CR LF CR LF.
CameraRecords ScanJpegRecords(const uint8_t* image, std::size_t length);

// The records in an MPEG-4 stream from `data` up to the first VOP start code (00 00 01 B6), or the end
// of the data. A record is taken only when all its characters are there.
CameraRecords ScanMpeg4Records(const uint8_t* data, std::size_t size);

// Follows "TimStamp: " values: the interval between the last two consecutive valid stamps.
class StampTracker {
  public:
    // Feeds one image's records; an image without a stamp, or with an invalid one, breaks the run.
    void Feed(const CameraRecords& records);
    // -d for the pacer: d the difference of the last two consecutive valid stamps in ms, else 0 (no
    // wait).
    int PacerArgument() const;
    void Reset() { count_ = 0; }

  private:
    int count_ = 0;  // consecutive valid stamps seen, up to 2
    uint32_t previous_ = 0;
    uint32_t last_ = 0;
};

}  // namespace reeldeck

#endif
