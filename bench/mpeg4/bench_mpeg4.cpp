// MPEG-4 decode speed: our decoder against FFmpeg's libavcodec mpeg4 decoder on one thread, both over the
// same stream held in memory, measured in the same run, at every Lumacore level (bench_levels.h). Two
// streams: 640 x 480, and 1280 x 720 with four-vector macroblocks. Prints pictures per second for each
// and, last, the ratios in stream order: "mpeg4 decode ours/ffmpeg = A / B".
//
// The benchmark streams repeat their sequence headers in front of every group of VOPs, so each group
// decodes on its own. Each group is decoded ROUNDS times from a fresh decoder, ours and libavcodec's
// alternating, and its best time (processor time of the thread, ThreadSeconds) counts, like bench_g726's
// seconds: a group lasts a few milliseconds, so the best of a few is an undisturbed pass for both
// decoders alike.
//   bench_mpeg4 [STREAM.m4v] [ROUNDS]   (one stream instead; ROUNDS defaults to 9)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "bench_levels.h"
#include "libavcodec_reference.h"
#include "thread_seconds.h"
#include "vello/mpeg4/mp4dec.h"
#include "vello/mpeg4/start_code.h"

namespace {

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

// Decodes a whole stream with our decoder; returns the pictures delivered (-1 on failure).
int DecodeOurs(std::span<const std::uint8_t> data) {
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
// `padded` holds the stream followed by AV_INPUT_BUFFER_PADDING_SIZE zero bytes.
int DecodeFfmpeg(const std::vector<std::uint8_t>& padded) {
    int pictures = 0;
    const int size = static_cast<int>(padded.size() - AV_INPUT_BUFFER_PADDING_SIZE);
    if (!mpeg4test::DecodeWithLibavcodec(padded.data(), size, [&](const AVFrame*) { ++pictures; })) return -1;
    return pictures;
}

// One self-contained piece of the stream: from a visual object sequence start code to the next one.
struct Group {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> padded;  // for libavcodec
    int pictures = 0;
};

std::vector<Group> SplitGroups(const std::vector<std::uint8_t>& data) {
    constexpr int kSequenceStartCode = 0xB0;
    std::vector<Group> groups;
    std::size_t at = vello::mpeg4::FindStartCode(data, kSequenceStartCode);
    if (at == vello::mpeg4::kNoStartCode) at = 0;
    while (at < data.size()) {
        std::size_t next = vello::mpeg4::FindStartCode(data, kSequenceStartCode, at + 4);
        if (next == vello::mpeg4::kNoStartCode) next = data.size();
        Group g;
        g.bytes.assign(data.begin() + static_cast<std::ptrdiff_t>(at),
                       data.begin() + static_cast<std::ptrdiff_t>(next));
        g.padded = g.bytes;
        g.padded.resize(g.bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        groups.push_back(std::move(g));
        at = next;
    }
    return groups;
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
    std::vector<Group> groups = SplitGroups(data);

    // One untimed pass each, to warm caches and check that both decode the same number of pictures.
    int oursPictures = 0, ffmpegPictures = 0;
    for (Group& g : groups) {
        g.pictures = DecodeOurs(g.bytes);
        const int theirs = DecodeFfmpeg(g.padded);
        if (g.pictures <= 0 || g.pictures != theirs) {
            std::fprintf(stderr, "bench_mpeg4: pictures differ: ours %d, ffmpeg %d\n", g.pictures, theirs);
            return -1;
        }
        oursPictures += g.pictures;
        ffmpegPictures += theirs;
    }

    // Both decoders run on the calling thread (libavcodec with one thread), so the thread's processor time
    // times them alike; wall-clock passes moved the ratio by half between runs at a load of 12.
    std::vector<double> oursBest(groups.size(), 1e30), ffmpegBest(groups.size(), 1e30);
    for (int r = 0; r < rounds; ++r) {
        for (std::size_t i = 0; i < groups.size(); ++i) {
            const double t0 = bench::ThreadSeconds();
            DecodeOurs(groups[i].bytes);
            const double t1 = bench::ThreadSeconds();
            DecodeFfmpeg(groups[i].padded);
            const double t2 = bench::ThreadSeconds();
            oursBest[i] = std::min(oursBest[i], t1 - t0);
            ffmpegBest[i] = std::min(ffmpegBest[i], t2 - t1);
        }
    }
    double oursSeconds = 0, ffmpegSeconds = 0;
    for (std::size_t i = 0; i < groups.size(); ++i) {
        oursSeconds += oursBest[i];
        ffmpegSeconds += ffmpegBest[i];
    }
    const double oursFps = oursPictures / oursSeconds;
    const double ffmpegFps = ffmpegPictures / ffmpegSeconds;
    std::printf("stream: %s, %zu bytes, %d pictures in %zu groups, best of %d passes of each group\n", path,
                data.size(), oursPictures, groups.size(), rounds);
    std::printf("  ours:   %8.1f pictures/s\n", oursFps);
    std::printf("  ffmpeg: %8.1f pictures/s (libavcodec mpeg4, 1 thread)\n", ffmpegFps);
    return oursFps / ffmpegFps;
}

}  // namespace

int main(int argc, char** argv) {
    if (const int status = bench::RunEachLevel(argc, argv); status >= 0) return status;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
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
