// JPEG speed: decode and encode of a quality-75 photograph, ours against libjpeg-turbo's TurboJPEG API on
// the same machine in the same run, at every Lumacore level (bench_levels.h). Three cases: 640 x 480 4:2:0,
// 640 x 480 4:4:4 and 1920 x 1080 4:2:0. Prints megapixels per second for each and, last, the ratios:
// "jpeg decode ours/libjpeg-turbo = A / B / C encode ours/libjpeg-turbo = D / E / F" in case order.
// Both run on the calling thread; each is timed in batches of a few milliseconds of the thread's
// processor time, ours and libjpeg-turbo alternating, and its best batch counts (TimeAlternating).
//   bench_jpeg [PHOTO.ppm]   (one 4:2:0 case on that photograph instead)
#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "bench_levels.h"
#include "thread_seconds.h"
#include "vello/jpeg/jpeg_decoder.h"
#include "vello/jpeg/jpeg_encoder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

struct Picture {
    int width = 0;
    int height = 0;
    int step = 0;
    Bytes bgr;
};

bool LoadPpm(const char* path, Picture* pic) {
    std::ifstream in(path, std::ios::binary);
    const Bytes f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t pos = 2;
    auto number = [&]() {
        for (;;) {
            while (pos < f.size() && (f[pos] == ' ' || f[pos] == '\n' || f[pos] == '\r' || f[pos] == '\t'))
                ++pos;
            if (pos < f.size() && f[pos] == '#') {
                while (pos < f.size() && f[pos] != '\n') ++pos;
                continue;
            }
            break;
        }
        int v = 0;
        while (pos < f.size() && f[pos] >= '0' && f[pos] <= '9') v = v * 10 + (f[pos++] - '0');
        return v;
    };
    if (f.size() < 3 || f[0] != 'P' || f[1] != '6') return false;
    pic->width = number();
    pic->height = number();
    if (number() != 255) return false;
    ++pos;
    const std::size_t bytes = static_cast<std::size_t>(pic->width) * pic->height * 3;
    if (f.size() - pos < bytes) return false;
    pic->step = (pic->width * 3 + 3) & ~3;
    pic->bgr.assign(static_cast<std::size_t>(pic->step) * pic->height, 0);
    for (int y = 0; y < pic->height; ++y)
        for (int x = 0; x < pic->width; ++x)
            for (int c = 0; c < 3; ++c)
                pic->bgr[static_cast<std::size_t>(y) * pic->step + x * 3 + c] =
                    f[pos + (static_cast<std::size_t>(y) * pic->width + x) * 3 + (2 - c)];
    return true;
}

// One operation to time (a decode or an encode of one picture, ours or libjpeg-turbo's) and its best
// time per run.
struct Timed {
    std::function<bool()> once;
    int batch = 1;       // runs per timed batch
    double best = 1e30;  // least processor seconds per run over the batches
};

// Batches last about this much processor time: a few milliseconds, shorter than most of the time slices
// the scheduler hands out, so that many batches run without another process in between.
constexpr double kBatchSeconds = 0.004;
// Each pair alternates for this much wall-clock time (and at least kMinRounds batches each).
constexpr double kPairWallSeconds = 3.0;
constexpr int kMinRounds = 10;

// Times `ours` and `peer` alternately, batch by batch, in the thread's processor time, and keeps each
// one's best batch: the time the scheduler gives to other processes is not counted, and the best of many
// short batches leaves out most of what they do to the caches, for both sides alike (whole rounds timed by
// wall clock moved the ratios by a fifth between runs on a loaded machine). Returns false when a run failed.
bool TimeAlternating(Timed* ours, Timed* peer) {
    for (Timed* t : {ours, peer}) {
        if (!t->once()) return false;  // untimed: warms the caches and the tables
        const double t0 = bench::ThreadSeconds();
        if (!t->once()) return false;
        const double once = std::max(1e-6, bench::ThreadSeconds() - t0);
        t->batch = std::max(1, static_cast<int>(kBatchSeconds / once));
    }
    const Clock::time_point start = Clock::now();
    for (int round = 0;
         round < kMinRounds || std::chrono::duration<double>(Clock::now() - start).count() < kPairWallSeconds;
         ++round) {
        for (Timed* t : {ours, peer}) {
            const double t0 = bench::ThreadSeconds();
            for (int i = 0; i < t->batch; ++i) {
                if (!t->once()) return false;
            }
            t->best = std::min(t->best, (bench::ThreadSeconds() - t0) / t->batch);
        }
    }
    return true;
}

struct Ratios {
    double decode = -1;
    double encode = -1;
};

// Measures one photograph at one sampling; prints its lines and returns the two ratios (negative when
// a decode or encode failed).
Ratios RunCase(const Picture& pic, const char* label, int turboSampling, vello::JpegSampling ourSampling) {
    const double pixels = static_cast<double>(pic.width) * pic.height;

    // The file both decoders read: libjpeg-turbo's, quality 75.
    tjhandle compressor = tjInitCompress();
    tjhandle decompressor = tjInitDecompress();
    unsigned char* turboFile = nullptr;
    unsigned long turboSize = 0;
    if (tjCompress2(compressor, pic.bgr.data(), pic.width, pic.step, pic.height, TJPF_BGR, &turboFile,
                    &turboSize, turboSampling, 75, 0) != 0) {
        std::fprintf(stderr, "bench_jpeg: libjpeg-turbo: %s\n", tjGetErrorStr2(compressor));
        return {};
    }
    const Bytes file(turboFile, turboFile + turboSize);
    tjFree(turboFile);

    Bytes out(static_cast<std::size_t>(pic.step) * pic.height);
    vello::JpegDecoder decoder;
    decoder.Reset();
    auto decodeOurs = [&] {
        decoder.SetSource(file.data(), static_cast<int>(file.size()));
        int w = 0, h = 0;
        if (decoder.ReadHeader(&w, &h, nullptr, nullptr, nullptr) != vello::JpegStatus::kOk) return false;
        decoder.SetDestination(out.data(), w, pic.step, h, 3, vello::kJpegColourBGR);
        const bool ok = decoder.ReadData() == vello::JpegStatus::kOk;
        decoder.Clean();
        return ok;
    };
    auto decodeTurbo = [&] {
        return tjDecompress2(decompressor, file.data(), file.size(), out.data(), pic.width, pic.step,
                             pic.height, TJPF_BGR, 0) == 0;
    };

    Bytes encoded(static_cast<std::size_t>(pic.step) * pic.height + 65536);
    vello::JpegEncoder encoder;
    encoder.Reset();
    auto encodeOurs = [&] {
        encoder.SetSource(pic.bgr.data(), pic.width, pic.height, 3, pic.step, vello::kJpegColourBGR);
        encoder.SetParams(75, ourSampling, vello::kJpegColourYCbCr, 0, 0);
        int size = static_cast<int>(encoded.size());
        const bool ok = encoder.WriteImage(encoded.data(), &size) == vello::JpegStatus::kOk;
        encoder.Clean();
        return ok;
    };
    unsigned char* turboOut = tjAlloc(static_cast<int>(tjBufSize(pic.width, pic.height, turboSampling)));
    auto encodeTurbo = [&] {
        unsigned long size = tjBufSize(pic.width, pic.height, turboSampling);
        return tjCompress2(compressor, pic.bgr.data(), pic.width, pic.step, pic.height, TJPF_BGR, &turboOut,
                           &size, turboSampling, 75, TJFLAG_NOREALLOC) == 0;
    };

    Timed decOurs{decodeOurs}, decTurbo{decodeTurbo}, encOurs{encodeOurs}, encTurbo{encodeTurbo};
    const bool ok = TimeAlternating(&decOurs, &decTurbo) && TimeAlternating(&encOurs, &encTurbo);
    tjFree(turboOut);
    tjDestroy(compressor);
    tjDestroy(decompressor);
    if (!ok) {
        std::fprintf(stderr, "bench_jpeg: a decode or encode failed (%s)\n", label);
        return {};
    }
    const auto rate = [&](const Timed& t) { return pixels / t.best / 1e6; };
    std::printf("%s, quality 75 (%lu bytes from libjpeg-turbo)\n", label, turboSize);
    std::printf("  decode  ours %8.2f Mpixel/s   libjpeg-turbo %8.2f Mpixel/s\n", rate(decOurs),
                rate(decTurbo));
    std::printf("  encode  ours %8.2f Mpixel/s   libjpeg-turbo %8.2f Mpixel/s\n", rate(encOurs),
                rate(encTurbo));
    return Ratios{decTurbo.best / decOurs.best, encTurbo.best / encOurs.best};
}

// The photograph at `width` x `height`, scaled from the original with ImageMagick on first use.
bool LoadScaled(int width, int height, Picture* pic) {
    const std::string path = std::string(BENCH_JPEG_PHOTO_DIR) + "/photo_" + std::to_string(width) + "x" +
                             std::to_string(height) + ".ppm";
    if (LoadPpm(path.c_str(), pic)) return true;
    const std::string command = std::string("convert '") + BENCH_JPEG_ORIGINAL + "' -resize '" +
                                std::to_string(width) + "x" + std::to_string(height) + "!' '" + path + "'";
    if (std::system(command.c_str()) != 0 || !LoadPpm(path.c_str(), pic)) {
        std::fprintf(stderr, "bench_jpeg: could not make the photograph: %s\n", command.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (const int status = bench::RunEachLevel(argc, argv); status >= 0) return status;

    struct Case {
        std::string label;
        Picture pic;
        int turboSampling;
        vello::JpegSampling ourSampling;
    };
    std::vector<Case> cases;
    if (argc > 1) {
        Case c{std::string(argv[1]) + ", 4:2:0", {}, TJSAMP_420, vello::kJpegSampling420};
        if (!LoadPpm(argv[1], &c.pic)) {
            std::fprintf(stderr, "bench_jpeg: cannot read the photograph %s\n", argv[1]);
            return 1;
        }
        cases.push_back(std::move(c));
    } else {
        Picture vga, hd;
        if (!LoadScaled(640, 480, &vga) || !LoadScaled(1920, 1080, &hd)) return 1;
        cases.push_back({"640 x 480, 4:2:0", vga, TJSAMP_420, vello::kJpegSampling420});
        cases.push_back({"640 x 480, 4:4:4", vga, TJSAMP_444, vello::kJpegSampling444});
        cases.push_back({"1920 x 1080, 4:2:0", hd, TJSAMP_420, vello::kJpegSampling420});
    }
    std::string decode, encode;
    for (const Case& c : cases) {
        const Ratios r = RunCase(c.pic, c.label.c_str(), c.turboSampling, c.ourSampling);
        if (r.decode < 0) return 1;
        char text[32];
        std::snprintf(text, sizeof text, "%s%.2f", decode.empty() ? "" : " / ", r.decode);
        decode += text;
        std::snprintf(text, sizeof text, "%s%.2f", encode.empty() ? "" : " / ", r.encode);
        encode += text;
    }
    std::printf("jpeg decode ours/libjpeg-turbo = %s encode ours/libjpeg-turbo = %s\n", decode.c_str(),
                encode.c_str());
    return 0;
}
