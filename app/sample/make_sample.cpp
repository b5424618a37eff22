// reeldeck_sample DIR: writes the sample recording a new user can play at once, DIR/SAMPLE00.jpf and
// DIR/SAMPLE01.jpf: eight seconds of the camera simulator's moving scene (320 x 240, Motion JPEG at
// 10 pictures per second, the camera time drawn in) with G.711 audio (the simulator's quiet tone), as
// the camera records them; a motion alarm marks the pictures of seconds 3 to 4.
#include <cstdio>
#include <string>
#include <vector>

#include "jpeg_encoder_adapter.h"
#include "media.h"
#include "scene.h"
#include "series_writer/series_writer.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kFrameRate = 10;
constexpr int kSeconds = 8;
constexpr int kQuality = 75;
constexpr int64_t kStartMs = 1796889600000;  // 2026/12/10 08:00:00 UTC: a fixed start, so builds agree

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: reeldeck_sample DIR\n");
        return 2;
    }
    namespace series = reeldeck::series;
    const camsim::JpegEncodeFn encode = camsim::MakeJpegEncoder();
    std::vector<series::Frame> frames;
    for (int i = 0; i < kFrameRate * kSeconds; ++i) {
        const int64_t ms = kStartMs + int64_t{i} * 1000 / kFrameRate;
        series::Frame frame;
        frame.bytes =
            encode(camsim::RenderScene(kWidth, kHeight, static_cast<uint64_t>(i), series::CameraTimeText(ms)),
                   kQuality);
        if (frame.bytes.empty()) {
            std::fprintf(stderr, "reeldeck_sample: picture %d could not be encoded\n", i);
            return 1;
        }
        frame.motionAlarm = i >= 3 * kFrameRate && i < 4 * kFrameRate;
        frames.push_back(std::move(frame));
    }
    camsim::AudioFrames tone("g711", nullptr);  // no codes loaded: the generated tone
    std::vector<uint8_t> audio;
    const std::size_t audioBytes =
        series::AudioBytesPerSecond(reeldeck::tag::kG711, reeldeck::tag::k64kb) * kSeconds;
    while (audio.size() < audioBytes) {
        const std::string chunk = tone.Next();
        if (chunk.empty()) break;
        audio.insert(audio.end(), chunk.begin(), chunk.end());
    }
    audio.resize(std::min(audio.size(), audioBytes));

    series::SeriesSpec spec;
    spec.directory = argv[1];
    spec.prefix = "SAMPLE";
    spec.fileCount = 2;
    spec.codec = reeldeck::tag::kJpeg;
    spec.width = kWidth;
    spec.height = kHeight;
    spec.frameRate = kFrameRate;
    spec.audioCodec = reeldeck::tag::kG711;
    spec.audioRate = reeldeck::tag::k64kb;
    spec.trigger = reeldeck::tag::kManual;
    spec.serial = "SAMPLE0001";
    spec.startTimeMs = kStartMs;
    const series::WriteResult result = series::WriteSeries(spec, frames, audio);
    if (!result.ok) {
        std::fprintf(stderr, "reeldeck_sample: %s\n", result.error.c_str());
        return 1;
    }
    for (const std::string& path : result.paths) std::printf("%s\n", path.c_str());
    return 0;
}
