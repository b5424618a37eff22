// MPEG-4 decode speed: our decoder against FFmpeg's libavcodec mpeg4 decoder on one thread, both over the
// same stream held in memory, measured in the same run and alternated so that both see the same machine
// state, at every Lumacore level (bench_levels.h). Two streams: 640 x 480, and 1280 x 720 with
// four-vector macroblocks. Prints pictures per second for each and, last, the ratios in stream order:
// "mpeg4 decode ours/ffmpeg = A / B".
//   bench_mpeg4 [STREAM.m4v] [ROUNDS]   (one stream instead)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench_levels.h"
#include "libavcodec_reference.h"
#include "vello/mpeg4/mp4dec.h"

namespace {

using Clock = std::chrono::steady_clock;

class CountingDisplay : public vello::mpeg4::Display {
  public:
    CountingDisplay(int width, int height) : width_(width), height_(height) {}
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void Deliver(const vello::mpeg4::Picture& picture) override {
        ++pictures;
        check += picture.origin[0][0];
    }
    int pictures = 0;
    unsigned check = 0;

  private:
    int width_;
    int height_;
};

// Decodes the whole stream with our decoder; returns the pictures delivered (-1 on failure).
int DecodeOurs(const std::vector<std::uint8_t>& data) {
    vello::mpeg4::MemoryPacketSource source(data.data(), data.size());
    vello::mpeg4::DecoderConfig config = vello::mpeg4::OcuviewConfig();
    config.maxWidth = 4096;  // qxrtool's limit: the benchmark streams are larger than the hosts' pictures
    config.maxHeight = 4096;
    vello::mpeg4::Mpeg4Decoder decoder(config, &source);
    if (decoder.OpenDecoder() != vello::mpeg4::Mpeg4Status::kOk) return -1;
    CountingDisplay display(decoder.Width(), decoder.Height());
    if (decoder.DecodeStream(display) != vello::mpeg4::Mpeg4Status::kOk) return -1;
    return display.pictures;
}

// The same with libavcodec (its MPEG-4 parser splits the stream into pictures); -1 when it cannot open.
int DecodeFfmpeg(const std::vector<std::uint8_t>& padded, int size) {
    int pictures = 0;
    if (!mpeg4test::DecodeWithLibavcodec(padded.data(), size, [&](const AVFrame*) { ++pictures; })) return -1;
    return pictures;
}

// Measures one stream; prints its lines and returns ours/ffmpeg (negative on failure).
double RunStream(const char* path, int rounds) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
    if (data.empty()) {
        std::fprintf(stderr, "bench_mpeg4: cannot read %s\n", path);
        return -1;
    }
    std::vector<std::uint8_t> padded(data);
    padded.resize(data.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);

    // One untimed pass each, to warm caches and check that both decode the same number of pictures.
    const int oursPictures = DecodeOurs(data);
    const int ffmpegPictures = DecodeFfmpeg(padded, static_cast<int>(data.size()));
    if (oursPictures <= 0 || oursPictures != ffmpegPictures) {
        std::fprintf(stderr, "bench_mpeg4: pictures differ: ours %d, ffmpeg %d\n", oursPictures,
                     ffmpegPictures);
        return -1;
    }

    double oursBest = 1e30;
    double ffmpegBest = 1e30;
    for (int r = 0; r < rounds; ++r) {
        const auto t0 = Clock::now();
        DecodeOurs(data);
        const auto t1 = Clock::now();
        DecodeFfmpeg(padded, static_cast<int>(data.size()));
        const auto t2 = Clock::now();
        oursBest = std::min(oursBest, std::chrono::duration<double>(t1 - t0).count());
        ffmpegBest = std::min(ffmpegBest, std::chrono::duration<double>(t2 - t1).count());
    }
    const double oursFps = oursPictures / oursBest;
    const double ffmpegFps = ffmpegPictures / ffmpegBest;
    std::printf("stream: %s, %zu bytes, %d pictures, best of %d rounds\n", path, data.size(), oursPictures,
                rounds);
    std::printf("  ours:   %8.1f pictures/s\n", oursFps);
    std::printf("  ffmpeg: %8.1f pictures/s (libavcodec mpeg4, 1 thread)\n", ffmpegFps);
    return oursFps / ffmpegFps;
}

}  // namespace

int main(int argc, char** argv) {
    if (const int status = bench::RunEachLevel(argc, argv); status >= 0) return status;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    std::vector<const char*> streams;
    if (argc > 1)
        streams.push_back(argv[1]);
    else
        streams = {BENCH_MPEG4_STREAM, BENCH_MPEG4_STREAM_4MV};
    std::string ratios;
    for (const char* path : streams) {
        const double ratio = RunStream(path, rounds);
        if (ratio < 0) return 1;
        char text[32];
        std::snprintf(text, sizeof text, "%s%.2f", ratios.empty() ? "" : " / ", ratio);
        ratios += text;
    }
    std::printf("mpeg4 decode ours/ffmpeg = %s\n", ratios.c_str());
    return 0;
}
