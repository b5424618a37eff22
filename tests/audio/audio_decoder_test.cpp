// AudioDecoder against spandsp: G.726 at every rate and both G.711 laws, sample for sample, whole or in
// the players' packets, at both scales; and what it refuses or leaves out.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "audio_test_util.h"
#include "vello/audio/audio_decoder.h"

extern "C" {
#include <spandsp.h>
}

namespace {

using vello::AudioCoding;
using vello::AudioDecoder;
using vello::AudioStatus;
using vello::SampleScale;

// Two tones with a slow swell, well inside 14 bits, encoded by spandsp: `packets` whole camera packets.
std::vector<uint8_t> SpandspEncodedTones(int bits, int packets) {
    std::vector<int16_t> pcm(static_cast<std::size_t>(packets) * 360);
    for (std::size_t n = 0; n < pcm.size(); ++n) {
        const double t = static_cast<double>(n) / 8000.0;
        const double v = (2000.0 + 1500.0 * std::sin(2 * M_PI * 3.0 * t)) *
                         (std::sin(2 * M_PI * 440.0 * t) + 0.5 * std::sin(2 * M_PI * 1700.0 * t));
        pcm[n] = static_cast<int16_t>(std::lround(v));
    }
    g726_state_t* enc = g726_init(nullptr, bits * 8000, G726_ENCODING_LINEAR, G726_PACKING_NONE);
    std::vector<uint8_t> codes(pcm.size());
    EXPECT_EQ(g726_encode(enc, codes.data(), pcm.data(), static_cast<int>(pcm.size())),
              static_cast<int>(pcm.size()));
    g726_free(enc);
    return codes;
}

// spandsp's linear decode: the 14-bit signal times 4.
std::vector<int16_t> SpandspG726(int bits, const std::vector<uint8_t>& codes) {
    g726_state_t* dec = g726_init(nullptr, bits * 8000, G726_ENCODING_LINEAR, G726_PACKING_NONE);
    std::vector<int16_t> out(codes.size());
    EXPECT_EQ(g726_decode(dec, out.data(), codes.data(), static_cast<int>(codes.size())),
              static_cast<int>(codes.size()));
    g726_free(dec);
    return out;
}

TEST(AudioDecoder, G726MatchesSpandspWholeAndPacketByPacket) {
    const AudioCoding codings[] = {AudioCoding::kG726_16, AudioCoding::kG726_24, AudioCoding::kG726_32,
                                   AudioCoding::kG726_40};
    constexpr int kPackets = 12;
    for (AudioCoding coding : codings) {
        const int bits = vello::CodeBits(coding);
        const std::vector<uint8_t> codes = SpandspEncodedTones(bits, kPackets);
        const std::vector<uint8_t> bytes = audiotest::PackMsbFirst(codes, bits);
        ASSERT_EQ(bytes.size(), static_cast<std::size_t>(kPackets * 45 * bits));
        const std::vector<int16_t> want = SpandspG726(bits, codes);

        // The whole stream in one call at 16-bit full scale (files).
        std::vector<int16_t> whole;
        ASSERT_EQ(vello::DecodeAudio(coding, bytes, whole), AudioStatus::kOk);
        EXPECT_EQ(whole, want) << bits << "-bit codes";

        // Packet by packet into a 360-sample buffer at the 14-bit scale (the players): the state follows.
        AudioDecoder d;
        ASSERT_EQ(d.Open(coding, SampleScale::kSignal14), AudioStatus::kOk);
        const std::size_t packetBytes = static_cast<std::size_t>(45 * bits);
        std::vector<int16_t> pcm(360);
        for (std::size_t p = 0; p < kPackets; ++p) {
            std::size_t produced = 0;
            ASSERT_EQ(d.Decode(std::span(bytes).subspan(p * packetBytes, packetBytes), pcm, produced),
                      AudioStatus::kOk);
            ASSERT_EQ(produced, 360u);
            for (std::size_t i = 0; i < 360; ++i) {
                ASSERT_EQ(4 * pcm[i], want[p * 360 + i])
                    << bits << "-bit codes, packet " << p << ", sample " << i;
            }
        }
    }
}

TEST(AudioDecoder, G711BothLawsMatchSpandspAtBothScales) {
    std::vector<uint8_t> all(256);
    for (int c = 0; c < 256; ++c) all[static_cast<std::size_t>(c)] = static_cast<uint8_t>(c);
    for (AudioCoding coding : {AudioCoding::kG711Mulaw, AudioCoding::kG711Alaw}) {
        const bool mulaw = coding == AudioCoding::kG711Mulaw;
        std::vector<int16_t> full;
        ASSERT_EQ(vello::DecodeAudio(coding, all, full), AudioStatus::kOk);
        AudioDecoder d;
        ASSERT_EQ(d.Open(coding, SampleScale::kSignal14), AudioStatus::kOk);
        std::vector<int16_t> signal(256);
        std::size_t produced = 0;
        ASSERT_EQ(d.Decode(all, signal, produced), AudioStatus::kOk);
        ASSERT_EQ(produced, 256u);
        ASSERT_EQ(full.size(), 256u);
        for (int c = 0; c < 256; ++c) {
            const int16_t want =
                mulaw ? ulaw_to_linear(static_cast<uint8_t>(c)) : alaw_to_linear(static_cast<uint8_t>(c));
            EXPECT_EQ(full[static_cast<std::size_t>(c)], want) << (mulaw ? "mu" : "A") << "-law code " << c;
            EXPECT_EQ(4 * signal[static_cast<std::size_t>(c)], want)
                << (mulaw ? "mu" : "A") << "-law code " << c;
        }
    }
}

TEST(AudioDecoder, CodecIdsLimitsAndRefusals) {
    struct IdCase {
        int id;
        bool known;
        AudioCoding coding;
    };
    const IdCase ids[] = {{100, true, AudioCoding::kG711Mulaw},
                          {101, true, AudioCoding::kG726_16},
                          {102, true, AudioCoding::kG726_24},
                          {103, true, AudioCoding::kG726_32},
                          {104, true, AudioCoding::kG726_40},
                          {99, false, {}},
                          {105, false, {}}};
    for (const IdCase& c : ids) {
        const auto coding = vello::CodingOfCodecId(c.id);
        EXPECT_EQ(coding.has_value(), c.known) << c.id;
        if (coding && c.known) {
            EXPECT_EQ(*coding, c.coding) << c.id;
        }
    }

    std::vector<int16_t> out(400, 77);
    std::size_t produced = 9;
    AudioDecoder unopened;
    EXPECT_EQ(unopened.Decode(std::vector<uint8_t>(10, 0), out, produced), AudioStatus::kInvalidCodec);
    EXPECT_EQ(produced, 0u);

    AudioDecoder d;
    ASSERT_EQ(d.Open(AudioCoding::kG726_40, SampleScale::kSignal14), AudioStatus::kOk);
    // A 40 kbit/s packet longer than 225 bytes into the players' 360 samples: 360, the rest not decoded.
    ASSERT_EQ(d.Decode(std::vector<uint8_t>(230, 0x5A), std::span(out).first(360), produced),
              AudioStatus::kOk);
    EXPECT_EQ(produced, 360u);
    EXPECT_EQ(out[360], 77);
    // Codes that end inside a byte: 2 bytes hold three whole 5-bit codes and one bit over.
    EXPECT_EQ(d.SamplesIn(2), 3u);
    ASSERT_EQ(d.Decode(std::vector<uint8_t>{0x12, 0x34}, out, produced), AudioStatus::kOk);
    EXPECT_EQ(produced, 3u);
    ASSERT_EQ(d.Decode({}, out, produced), AudioStatus::kOk);
    EXPECT_EQ(produced, 0u);
}

}  // namespace
