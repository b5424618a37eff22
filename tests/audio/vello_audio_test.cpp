// VelloAudio through the WAV backend (paced in real time): what each variant plays from a queue, in which
// order, and what it reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "audio_test_util.h"
#include "lumacore/lumacore.h"
#include "platform/wave_out.h"
#include "vello/audio/VelloAudio.h"

namespace {

using vello::AudioStatus;
using vello::VelloAudio;

class BackendScope {
  public:
    explicit BackendScope(platform::WaveSinkFactory f)
        : previous_(platform::SetWaveOutBackend(std::move(f))) {}
    ~BackendScope() { platform::SetWaveOutBackend(previous_); }

  private:
    platform::WaveSinkFactory previous_;
};

struct Reports {
    std::vector<int> numbers;
    std::vector<std::string> boxes;
    std::vector<std::string> diagnostics;
    int started = 0;
    vello::AudioHooks Hooks() {
        vello::AudioHooks h;
        h.notify = [this](int n) { numbers.push_back(n); };
        h.errorBox = [this](std::string_view t) { boxes.emplace_back(t); };
        h.started = [this] { ++started; };
        h.diagnostic = [this](const char* sourceFile, int, std::string_view text) {
            const std::string_view source(sourceFile);
            diagnostics.push_back(std::string(source.substr(source.rfind('/') + 1)) + ": " +
                                  std::string(text));
        };
        return h;
    }
};

// Decodes the given packets of a stream in order with one decoder; returns each packet's samples.
std::vector<std::vector<int16_t>> Decode(const audiotest::Stream& s, const std::vector<int>& order) {
    alignas(32) unsigned char raw[92];
    auto* st = reinterpret_cast<LumsG726DecoderState*>(raw);
    EXPECT_EQ(lumsDecodeInit_G726_8u16s(st, s.bits + 10, 2), lumStsNoErr);
    std::vector<std::vector<int16_t>> out;
    for (int i : order) {
        std::vector<int16_t> pcm(360);
        lumsDecode_G726_8u16s(st, s.codes[static_cast<std::size_t>(i)].data(), pcm.data(), 360);
        out.push_back(pcm);
    }
    return out;
}

std::vector<int16_t> Concat(std::initializer_list<std::vector<int16_t>> parts) {
    std::vector<int16_t> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// True when `wav` is `prefix` followed only by silent samples (0xFFFF from the 0xFF silence bytes).
::testing::AssertionResult PrefixThenSilence(const std::vector<int16_t>& wav,
                                             const std::vector<int16_t>& prefix) {
    if (wav.size() < prefix.size())
        return ::testing::AssertionFailure() << "only " << wav.size() << " samples";
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (wav[i] != prefix[i])
            return ::testing::AssertionFailure() << "sample " << i << ": " << wav[i] << " != " << prefix[i];
    for (std::size_t i = prefix.size(); i < wav.size(); ++i)
        if (wav[i] != -1)
            return ::testing::AssertionFailure() << "sample " << i << " is not silence: " << wav[i];
    return ::testing::AssertionSuccess();
}

std::vector<int16_t> Silence(std::size_t n) {
    return std::vector<int16_t>(n, -1);
}

TEST(VelloAudio, CodecIdOutsideTheTableIsRefused) {
    int opens = 0;
    BackendScope scope([&](const platform::WaveFormat& f) {
        ++opens;
        return platform::NullWaveBackend()(f);
    });
    vello::LockedPacketQueue queue;
    Reports r;
    {
        VelloAudio reel(vello::kReeldeckAudio, 105, &queue, r.Hooks());
        EXPECT_EQ(reel.Status(), AudioStatus::kInvalidCodec);
        EXPECT_EQ(reel.StartPlayback(), AudioStatus::kInvalidCodec);
        VelloAudio ocu(vello::kOcuviewAudio, 105, &queue, r.Hooks());
        EXPECT_EQ(ocu.Status(), AudioStatus::kInvalidCodec);
        EXPECT_EQ(ocu.StartPlayback(), AudioStatus::kInvalidCodec);
    }
    EXPECT_EQ(r.numbers, std::vector<int>{48});
    EXPECT_EQ(vello::AudioMessageText(48), "Invalid audio codec.");
    EXPECT_EQ(r.boxes, std::vector<std::string>{"Select bad codec!"});
    EXPECT_EQ(opens, 0);
}

TEST(VelloAudio, FormatsOfTheTwoVariants) {
    vello::LockedPacketQueue queue;
    VelloAudio reel(vello::kReeldeckAudio, vello::kAudioG711, &queue);
    EXPECT_EQ(reel.Format().formatTag, platform::kWaveFormatMulaw);
    EXPECT_EQ(reel.Format().samplesPerSec, 8000u);
    EXPECT_EQ(reel.BufferCount(), 4);
    VelloAudio ocu(vello::kOcuviewAudio, vello::kAudioG726_24, &queue);
    EXPECT_EQ(ocu.Format().formatTag, platform::kWaveFormatPcm);
    EXPECT_EQ(ocu.Format().samplesPerSec, 8032u);
    EXPECT_EQ(ocu.Format().avgBytesPerSec, 16064u);
    EXPECT_EQ(ocu.Format().blockAlign, 2);
    EXPECT_EQ(ocu.BufferCount(), 3);
}

TEST(VelloAudio, ReeldeckPlaysEveryPacketInOrderAfterItsFourPrimingBuffers) {
    const std::string path = audiotest::ScratchPath("reel40.wav");
    const audiotest::Stream s = audiotest::MakeStream(5, 6, 1);
    ASSERT_EQ(s.packets[0].size(), 225u);  // 40 kbit/s: 225 bytes give 360 samples
    {
        BackendScope scope(platform::WavFileBackend(path));
        vello::LockedPacketQueue queue;
        for (const auto& p : s.packets) queue.Push(p);
        Reports r;
        VelloAudio audio(vello::kReeldeckAudio, vello::kAudioG726_40, &queue, r.Hooks());
        ASSERT_EQ(audio.Status(), AudioStatus::kOk);
        ASSERT_EQ(audio.StartPlayback(), AudioStatus::kOk);
        ASSERT_TRUE(audiotest::WaitUntil([&] { return queue.Count() == 0; }, 2000));
        // With nothing queued the four buffers keep cycling as 2-byte silences.
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        EXPECT_TRUE(audiotest::WaitUntil([&] { return audio.QueuedBuffers() == 4; }, 1000));
        audio.StopPlayback();
        EXPECT_TRUE(r.numbers.empty());
    }
    const audiotest::Wav w = audiotest::ReadWav(path);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.rate, 8000u);
    const auto pcm = Decode(s, {0, 1, 2, 3, 4, 5});
    EXPECT_TRUE(
        PrefixThenSilence(w.samples, Concat({Silence(4), pcm[0], pcm[1], pcm[2], pcm[3], pcm[4], pcm[5]})));
    EXPECT_GT(w.samples.size(), 4u + 6 * 360 + 20);  // plenty of 2-byte silences afterwards
}

TEST(VelloAudio, ReeldeckSoundOffKeepsTakingPacketsAndTheDecoderFollowsTheStream) {
    const std::string path = audiotest::ScratchPath("reeloff.wav");
    const audiotest::Stream s = audiotest::MakeStream(4, 6, 2);
    {
        BackendScope scope(platform::WavFileBackend(path));
        vello::LockedPacketQueue queue;
        VelloAudio audio(vello::kReeldeckAudio, vello::kAudioG726_32, &queue);
        ASSERT_EQ(audio.StartPlayback(), AudioStatus::kOk);
        audio.SetSound(0);
        for (int i = 0; i < 4; ++i) queue.Push(s.packets[static_cast<std::size_t>(i)]);
        ASSERT_TRUE(audiotest::WaitUntil([&] { return queue.Count() == 0; }, 2000));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the silent packets finish playing
        audio.SetSound(1);
        queue.Push(s.packets[4]);
        queue.Push(s.packets[5]);
        ASSERT_TRUE(audiotest::WaitUntil([&] { return queue.Count() == 0; }, 2000));
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        audio.StopPlayback();
    }
    const audiotest::Wav w = audiotest::ReadWav(path);
    ASSERT_TRUE(w.ok);
    // The two audible packets are decoded as the continuation of the four silent ones.
    const auto pcm = Decode(s, {0, 1, 2, 3, 4, 5});
    const std::vector<int16_t> audible = Concat({pcm[4], pcm[5]});
    const auto at = std::search(w.samples.begin(), w.samples.end(), audible.begin(), audible.end());
    ASSERT_NE(at, w.samples.end()) << "packets 5 and 6 not found as decoded in stream order";
    std::vector<int16_t> rest(w.samples.begin(), at);
    rest.insert(rest.end(), at + static_cast<std::ptrdiff_t>(audible.size()), w.samples.end());
    EXPECT_TRUE(std::all_of(rest.begin(), rest.end(), [](int16_t v) { return v == -1; }));
    EXPECT_GE(rest.size(), 4u * 360);  // the muted packets took their time as silence
}

TEST(VelloAudio, Reeldeck24kPacketNotInWholeGroupsPlaysAsSilenceAndTheChainGoesOn) {
    const std::string path = audiotest::ScratchPath("reel24.wav");
    const audiotest::Stream s = audiotest::MakeStream(3, 2, 3);
    ASSERT_EQ(s.packets[0].size(), 135u);
    {
        BackendScope scope(platform::WavFileBackend(path));
        vello::LockedPacketQueue queue;
        queue.Push(s.packets[0]);
        queue.Push(std::vector<uint8_t>(134, 0x55));
        queue.Push(s.packets[1]);
        VelloAudio audio(vello::kReeldeckAudio, vello::kAudioG726_24, &queue);
        ASSERT_EQ(audio.StartPlayback(), AudioStatus::kOk);
        ASSERT_TRUE(audiotest::WaitUntil([&] { return queue.Count() == 0; }, 2000));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_TRUE(audiotest::WaitUntil([&] { return audio.QueuedBuffers() == 4; }, 1000));
        audio.StopPlayback();
    }
    const audiotest::Wav w = audiotest::ReadWav(path);
    ASSERT_TRUE(w.ok);
    const auto pcm = Decode(s, {0, 1});
    EXPECT_TRUE(PrefixThenSilence(w.samples, Concat({Silence(4), pcm[0], Silence(134 * 8 / 3), pcm[1]})));
}

TEST(VelloAudio, OcuviewPrimesWithThreePacketsDiscardsDownToOneAndPlaysIt) {
    const std::string path = audiotest::ScratchPath("ocu.wav");
    const audiotest::Stream s = audiotest::MakeStream(4, 10, 4);
    {
        BackendScope scope(platform::WavFileBackend(path));
        vello::LockedPacketQueue queue;
        for (const auto& p : s.packets) queue.Push(p);
        Reports r;
        VelloAudio audio(vello::kOcuviewAudio, vello::kAudioG726_32, &queue, r.Hooks());
        ASSERT_EQ(audio.StartPlayback(), AudioStatus::kOk);
        EXPECT_EQ(r.started, 1);
        EXPECT_LE(queue.Count(), 1);  // 3 primed, 6 discarded, 1 left (which playback may have taken)
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(queue.Count(), 0);
        audio.StopPlayback();
        EXPECT_TRUE(r.boxes.empty());
    }
    const audiotest::Wav w = audiotest::ReadWav(path);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.rate, 8032u);
    // Three silent buffers, the last packet (decoded after all nine before it), then whole silent buffers.
    const auto pcm = Decode(s, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_TRUE(PrefixThenSilence(w.samples, Concat({Silence(3 * 360), pcm[9]})));
    EXPECT_EQ(w.samples.size() % 360, 0u);
    EXPECT_GE(w.samples.size(), 6u * 360);
}

// A host queue that is slow to hand over a packet while the first buffers are being written: the first
// buffer comes back before the others are at the device, which must not count as the end of the chain.
TEST(VelloAudio, OcuviewSlowPrimingDoesNotEndTheChain) {
    struct SlowQueue : vello::LockedPacketQueue {
        std::atomic<int> takes{0};
        int Take(uint8_t* out, int capacity) override {
            if (takes++ == 1) std::this_thread::sleep_for(std::chrono::milliseconds(150));  // > one buffer
            return LockedPacketQueue::Take(out, capacity);
        }
    };
    const audiotest::Stream s = audiotest::MakeStream(4, 3, 5);
    BackendScope scope(platform::NullWaveBackend());
    SlowQueue queue;
    for (const auto& p : s.packets) queue.Push(p);
    Reports r;
    {
        VelloAudio audio(vello::kOcuviewAudio, vello::kAudioG726_32, &queue, r.Hooks());
        ASSERT_EQ(audio.StartPlayback(), AudioStatus::kOk);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(audio.QueuedBuffers(), 3);
        audio.StopPlayback();
    }
    EXPECT_TRUE(r.boxes.empty()) << r.boxes.front();
}

TEST(VelloAudio, OcuviewMuteDropsPacketsAtThePlaybackRateAndPlaysSilence) {
    const std::string path = audiotest::ScratchPath("ocumute.wav");
    const std::vector<uint8_t> loud(256, 0x80);  // mu-law full positive scale, 32124
    {
        BackendScope scope(platform::WavFileBackend(path));
        vello::LockedPacketQueue queue;
        for (int i = 0; i < 3; ++i) queue.Push(loud);
        VelloAudio audio(vello::kOcuviewAudio, vello::kAudioG711, &queue);
        ASSERT_EQ(audio.StartPlayback(), AudioStatus::kOk);
        audio.SetMute(true);
        for (int i = 0; i < 3; ++i) queue.Push(loud);
        ASSERT_TRUE(audiotest::WaitUntil([&] { return queue.Count() == 0; }, 2000));
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
        audio.SetMute(false);
        queue.Push(loud);
        ASSERT_TRUE(audiotest::WaitUntil([&] { return queue.Count() == 0; }, 2000));
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
        audio.StopPlayback();
    }
    const audiotest::Wav w = audiotest::ReadWav(path);
    ASSERT_TRUE(w.ok);
    // Only the packet after unmuting is heard; everything else is whole 256-byte silent buffers.
    EXPECT_EQ(std::count(w.samples.begin(), w.samples.end(), int16_t{32124}), 256);
    EXPECT_EQ(std::count(w.samples.begin(), w.samples.end(), int16_t{0}) + 256,
              static_cast<long>(w.samples.size()));
    EXPECT_EQ(w.samples.size() % 256, 0u);
}

TEST(VelloAudio, ReeldeckTakesNoPacketsWhileThePlayerMayNotTake) {
    BackendScope scope(platform::NullWaveBackend());
    vello::LockedPacketQueue queue;
    queue.SetMayTake(false);  // paused, or the supplier is not running
    for (int i = 0; i < 3; ++i) queue.Push(std::vector<uint8_t>(256, 0x80));
    VelloAudio audio(vello::kReeldeckAudio, vello::kAudioG711, &queue);
    ASSERT_EQ(audio.StartPlayback(), AudioStatus::kOk);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(queue.Count(), 3);
    queue.SetMayTake(true);
    EXPECT_TRUE(audiotest::WaitUntil([&] { return queue.Count() == 0; }, 1000));
}

TEST(VelloAudio, OcuviewStopsWaitingForItsFirstPacketsWhenTheHostStops) {
    struct StoppingQueue : vello::LockedPacketQueue {
        bool Stopping() override { return true; }
    };
    BackendScope scope(platform::NullWaveBackend());
    StoppingQueue queue;
    queue.Push(std::vector<uint8_t>(180, 0x11));
    Reports r;
    VelloAudio audio(vello::kOcuviewAudio, vello::kAudioG726_32, &queue, r.Hooks());
    EXPECT_EQ(audio.StartPlayback(), AudioStatus::kStopped);
    EXPECT_EQ(r.started, 1);
    EXPECT_EQ(audio.QueuedBuffers(), 0);
    EXPECT_EQ(queue.Count(), 1);
}

TEST(VelloAudio, VolumeGoesToBothChannelsAndHalvesTheSound) {
    const std::string path = audiotest::ScratchPath("volume.wav");
    {
        BackendScope scope(platform::WavFileBackend(path));
        vello::LockedPacketQueue queue;
        VelloAudio audio(vello::kReeldeckAudio, vello::kAudioG711, &queue);
        audio.SetVolume(0x1234);  // not open yet: ignored
        ASSERT_EQ(audio.StartPlayback(), AudioStatus::kOk);
        EXPECT_EQ(audio.GetVolume(), 0xFFFF);
        audio.SetVolume(0x8000);
        EXPECT_EQ(audio.GetVolume(), 0x8000);
        queue.Push(std::vector<uint8_t>(256, 0x80));  // mu-law full positive scale, 32124
        ASSERT_TRUE(audiotest::WaitUntil([&] { return queue.Count() == 0; }, 1000));
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        audio.StopPlayback();
    }
    const audiotest::Wav w = audiotest::ReadWav(path);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(std::count(w.samples.begin(), w.samples.end(), int16_t{16062}), 256);
}

TEST(VelloAudio, DeviceFailuresAreReportedTheVariantsWay) {
    Reports r;
    vello::LockedPacketQueue queue;
    {
        BackendScope scope(
            [](const platform::WaveFormat&) -> std::unique_ptr<platform::WaveSink> { return nullptr; });
        VelloAudio reel(vello::kReeldeckAudio, vello::kAudioG726_32, &queue, r.Hooks());
        EXPECT_EQ(reel.StartPlayback(), AudioStatus::kNoDevice);
        VelloAudio ocu(vello::kOcuviewAudio, vello::kAudioG726_32, &queue, r.Hooks());
        EXPECT_EQ(ocu.StartPlayback(), AudioStatus::kNoDevice);
    }
    EXPECT_EQ(r.diagnostics, std::vector<std::string>{"VelloAudio.cpp: Cannot open audio device."});
    EXPECT_EQ(r.boxes, std::vector<std::string>{"waveOutOpen error!"});

    BackendScope scope(platform::NullWaveBackend());
    VelloAudio reel(vello::kReeldeckAudio, vello::kAudioG711, &queue, r.Hooks());
    ASSERT_EQ(reel.StartPlayback(), AudioStatus::kOk);
    EXPECT_EQ(reel.StartPlayback(), AudioStatus::kDeviceInUse);
    // A stopped player has given its buffers back: it does not start again, and says so quietly.
    reel.StopPlayback();
    EXPECT_EQ(reel.Status(), AudioStatus::kStopped);
    EXPECT_EQ(reel.StartPlayback(), AudioStatus::kStopped);
    EXPECT_EQ(r.numbers, std::vector<int>{70});
    EXPECT_EQ(vello::AudioMessageText(70), "Audio device is in use.");
}

}  // namespace
