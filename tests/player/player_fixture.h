// What the engine tests share: recordings made at test time with the series writer, and a host that
// records every notification and plays the main window's part (it drains the posted queue and answers
// WM_APP+105 with Seek and WM_APP+115 with Stop).
#ifndef TESTS_PLAYER_PLAYER_FIXTURE_H
#define TESTS_PLAYER_PLAYER_FIXTURE_H

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "player/notification_queue.h"
#include "player/player.h"
#include "player/player_host.h"
#include "series_writer/series_writer.h"

namespace player_test {

// One picture as the host saw it.
struct Shown {
    std::string cameraTime;  // the camera time text at the moment it was shown
    int grey = 0;            // the picture's first pixel (the fixtures' pictures are flat grey)
    uint32_t tick = 0;       // when it was shown (ms)
    double rate = 0;
};

struct Capture {
    std::string cameraTime;
    int grey = 0;
    int width = 0;
    int height = 0;
};

class RecordingHost : public reeldeck::PlayerHost {
  public:
    void Attach(reeldeck::Player* player) { player_ = player; }

    void ShowPicture(const reeldeck::DisplayBuffer& buffer, double frameRate) override;
    int UnitForPosition(int64_t videoPosition) override;
    void MoveSlider(int unit) override;
    void SetSliderRange(int first, int last) override;
    void CameraTimeChanged(std::string_view text) override;
    void CapturePicture(const reeldeck::DisplayBuffer& picture, std::string_view cameraTime) override;
    void SetInformation(const reeldeck::RecordingInfo& info) override;
    void SetPictureSize(int width, int height) override;
    int CreateDisplayBuffer(int width, int height, reeldeck::DisplayBuffer& out) override;
    void SetButtonState(unsigned mask) override;
    void ClearPicture() override;

    // Copies under the host's lock.
    std::vector<Shown> Pictures() const;
    std::vector<unsigned> States() const;
    std::vector<Capture> Captures() const;
    std::vector<int> Errors() const;
    unsigned LastState() const;
    int SliderLast() const;
    int LastSliderUnit() const;
    reeldeck::RecordingInfo Info() const;
    int Clears() const;
    void ClearRecords();

    // Settings for a test.
    int failDisplayBuffer = 0;  // CreateDisplayBuffer's result
    uint32_t holdMs = 0;        // a slow host: each ShowPicture takes this long

    // The main window's message loop: drains the posted queue (Seek on 105, Stop on 115) until `done`
    // holds or `timeoutMs` passed; true when it holds.
    bool Pump(reeldeck::NotificationQueue& queue, const std::function<bool()>& done,
              uint32_t timeoutMs = 10000);

  private:
    friend class Fixture;
    mutable std::mutex lock_;  // guards everything below
    reeldeck::Player* player_ = nullptr;
    std::vector<uint8_t> buffer_;
    std::string cameraTime_;
    std::vector<Shown> pictures_;
    std::vector<unsigned> states_;
    std::vector<Capture> captures_;
    std::vector<int> errors_;
    reeldeck::RecordingInfo info_;
    int sliderLast_ = -1;
    int sliderUnit_ = -1;
    int clears_ = 0;
};

// Pictures of the fixtures: flat grey, level 40 + 8 * index (mod 200), so the shown picture tells its unit.
int GreyOf(int index);
int IndexOfGrey(int grey);

struct SeriesOptions {
    uint32_t codec = reeldeck::tag::kJpeg;
    int frames = 12;
    int files = 3;
    uint32_t frameRate = 25;
    uint32_t audioCodec = 0;  // 0 none; tag::kG711 or tag::kG726
    uint32_t audioRate = reeldeck::tag::k64kb;
    bool noTimeStamps = false;
    int width = 64;
    int height = 48;
    int gop = 1;  // MPEG-4 pictures per I-VOP
    // Motion JPEG: the size the images are coded at when it differs from the header's (0: the same).
    int codedWidth = 0;
    int codedHeight = 0;
    // Motion JPEG: image `brokenImage` ends without EOI where its "DataLen: " says (-1: none).
    int brokenImage = -1;
    int sensorAlarmAt = -1;  // the picture whose "AlmEvent: " has the sensor flag (-1: none)
    int motionAlarmAt = -1;
};

// Changes a 32-bit field of a written file: the movie header's codec, width, height and frame rate lie at
// 216, 220, 224 and 228, the audio header's codec and rate at 240 and 244.
bool PatchFile(const std::string& path, std::size_t offset, uint32_t value);
inline constexpr std::size_t kMovieCodecOffset = 216;
inline constexpr std::size_t kWidthOffset = 220;
inline constexpr std::size_t kHeightOffset = 224;
inline constexpr std::size_t kFrameRateOffset = 228;
inline constexpr std::size_t kAudioCodecOffset = 240;

// Writes a series into `directory` and returns the path of its first file (empty and `skip` set when a
// tool it needs, FFmpeg for MPEG-4, is missing).
std::string MakeSeries(const std::string& directory, const SeriesOptions& options,
                       std::string* skip = nullptr);
// The camera time the series writer gives picture `index` of a series made by MakeSeries.
std::string CameraTimeOf(int index, uint32_t frameRate);

bool HaveTool(const char* name);

}  // namespace player_test

#endif
