// bench_g726: G.726 decoding speed, Lumacore against spandsp, measured in the same run.
//
// Both decode the same codes (spandsp's encoding of a speech-like signal) to linear samples, 360 codes a
// call like the players, each second of the sound from a fresh state (BestSecondsAlternating). The last
// line is the ratio of our speed to spandsp's, the geometric mean over the four rates. Runs at every Lumacore
// level (bench_levels.h).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "bench_levels.h"
#include "lumacore/lumacore.h"

extern "C" {
#include <spandsp.h>
}

namespace {

constexpr int kBlock = 360;
constexpr int kSeconds = 30;  // of sound, decoded a second at a time
constexpr int kSamples = 8000 * kSeconds;

std::vector<int16_t> SpeechLike() {
    std::vector<int16_t> out(kSamples);
    double phase = 0;
    uint32_t noise = 12345;
    for (int n = 0; n < kSamples; ++n) {
        const double t = n / 8000.0;
        phase += 2 * M_PI * (140.0 + 30.0 * std::sin(2 * M_PI * 0.7 * t)) / 8000.0;
        double v = 0;
        for (int h = 1; h <= 12; ++h) v += std::sin(h * phase + 0.3 * h) / h;
        const double env = 0.5 + 0.5 * std::sin(2 * M_PI * 4.0 * t);
        noise = noise * 1664525u + 1013904223u;
        v = 3000.0 * env * env * v + static_cast<double>(static_cast<int>(noise >> 24) - 128);
        out[static_cast<std::size_t>(n)] = static_cast<int16_t>(std::lround(v));
    }
    return out;
}

// The time of each of two decoders for the whole sound, measured one second (one pass) at a time from a
// freshly initialised state: every second is decoded several times, ours and spandsp's alternating, and
// its best time counts. A pass lasts a fraction of a millisecond, so on a loaded machine the best of a
// few is an undisturbed one for both decoders alike.
template <typename Ours, typename Theirs>
void BestSecondsAlternating(Ours&& ours, Theirs&& theirs, double* oursTotal, double* theirsTotal) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> oursBest(kSeconds, 1e30), theirsBest(kSeconds, 1e30);
    for (int rep = 0; rep < 9; ++rep) {
        for (int second = 0; second < kSeconds; ++second) {
            const auto t0 = Clock::now();
            ours(second);
            const auto t1 = Clock::now();
            theirs(second);
            const auto t2 = Clock::now();
            oursBest[second] = std::min(oursBest[second], std::chrono::duration<double>(t1 - t0).count());
            theirsBest[second] = std::min(theirsBest[second], std::chrono::duration<double>(t2 - t1).count());
        }
    }
    *oursTotal = *theirsTotal = 0;
    for (int second = 0; second < kSeconds; ++second) {
        *oursTotal += oursBest[second];
        *theirsTotal += theirsBest[second];
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (const int status = bench::RunEachLevel(argc, argv); status >= 0) return status;
    const std::vector<int16_t> speech = SpeechLike();
    std::vector<int16_t> out(kSamples);
    double logSum = 0;
    std::printf("G.726 decoding to linear, %d codes a call, %d s of speech-like sound a second at a time\n",
                kBlock, kSeconds);
    for (int rate = 12; rate <= 15; ++rate) {
        const int bitRate = (rate - 10) * 8000;
        g726_state_t* enc = g726_init(nullptr, bitRate, G726_ENCODING_LINEAR, G726_PACKING_NONE);
        std::vector<uint8_t> codes(kSamples);
        g726_encode(enc, codes.data(), speech.data(), kSamples);
        g726_free(enc);

        int size = 0;
        lumsDecodeGetStateSize_G726_8u16s(&size);
        auto* ours = reinterpret_cast<LumsG726DecoderState*>(lumsMalloc_8u(size));
        g726_state_t* dec = g726_init(nullptr, bitRate, G726_ENCODING_LINEAR, G726_PACKING_NONE);
        double oursSeconds = 0, theirSeconds = 0;
        BestSecondsAlternating(
            [&](int second) {
                lumsDecodeInit_G726_8u16s(ours, rate, 2);
                for (int at = 8000 * second; at < 8000 * (second + 1); at += kBlock)
                    lumsDecode_G726_8u16s(ours, codes.data() + at, out.data() + at,
                                          std::min(kBlock, 8000 * (second + 1) - at));
            },
            [&](int second) {
                g726_init(dec, bitRate, G726_ENCODING_LINEAR, G726_PACKING_NONE);
                for (int at = 8000 * second; at < 8000 * (second + 1); at += kBlock)
                    g726_decode(dec, out.data() + at, codes.data() + at,
                                std::min(kBlock, 8000 * (second + 1) - at));
            },
            &oursSeconds, &theirSeconds);
        lumsFree(ours);
        g726_free(dec);

        const double oursRate = kSamples / oursSeconds / 1e6, theirRate = kSamples / theirSeconds / 1e6;
        std::printf("%d kbit/s: ours %.1f Msamples/s, spandsp %.1f Msamples/s, ours/spandsp %.2f\n",
                    bitRate / 1000, oursRate, theirRate, oursRate / theirRate);
        logSum += std::log(oursRate / theirRate);
    }
    std::printf("g726 decode ours/spandsp = %.2f\n", std::exp(logSum / 4));
    return 0;
}
