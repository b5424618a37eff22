// The wave-output layer: buffer hand-back on the callback thread, pacing, header rules, reset and
// close, the WAV backend's output with volume, and the SDL backend on SDL's dummy driver.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "audio_test_util.h"
#include "platform/sdl_wave_out.h"
#include "platform/wave_out.h"

namespace {

using namespace platform;

WaveFormat Format(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
    return WaveFormat{tag, channels, rate, rate * align, align, bits, 0};
}

struct Recorder {
    std::mutex lock;
    std::vector<unsigned> messages;
    std::vector<WaveHeader*> done;
    std::vector<uint32_t> flagsSeen;
    std::thread::id thread;

    static void Proc(WaveOut* /*device*/, unsigned message, void* instance, WaveHeader* header) {
        auto* self = static_cast<Recorder*>(instance);
        std::lock_guard<std::mutex> hold(self->lock);
        self->thread = std::this_thread::get_id();
        self->messages.push_back(message);
        if (message == kWomDone) {
            self->done.push_back(header);
            self->flagsSeen.push_back(header->flags);
        }
    }
    std::size_t DoneCount() {
        std::lock_guard<std::mutex> hold(lock);
        return done.size();
    }
};

class BackendScope {
  public:
    explicit BackendScope(WaveSinkFactory f) : previous_(SetWaveOutBackend(std::move(f))) {}
    ~BackendScope() { SetWaveOutBackend(previous_); }

  private:
    WaveSinkFactory previous_;
};

TEST(WaveOut, NullBackendReturnsBuffersInOrderOnItsOwnThreadInRealTime) {
    BackendScope scope(NullWaveBackend());
    Recorder rec;
    WaveOut* dev = nullptr;
    ASSERT_EQ(WaveOutOpen(&dev, Format(kWaveFormatMulaw, 1, 8000, 8), &Recorder::Proc, &rec), kMmNoError);
    std::vector<std::vector<uint8_t>> data(8, std::vector<uint8_t>(160, 0x7F));  // 20 ms each
    std::vector<WaveHeader> headers(8);
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < headers.size(); ++i) {
        headers[i].data = data[i].data();
        headers[i].bufferLength = 160;
        EXPECT_EQ(WaveOutWrite(dev, &headers[i]), kWaveUnprepared);
        ASSERT_EQ(WaveOutPrepareHeader(dev, &headers[i]), kMmNoError);
        ASSERT_EQ(WaveOutWrite(dev, &headers[i]), kMmNoError);
    }
    EXPECT_EQ(WaveOutClose(dev), kWaveStillPlaying);
    EXPECT_EQ(WaveOutUnprepareHeader(dev, &headers[7]), kWaveStillPlaying);
    ASSERT_TRUE(audiotest::WaitUntil([&] { return rec.DoneCount() == 8; }, 2000));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(150));  // 160 ms of sound, not returned at once
    ASSERT_EQ(WaveOutClose(dev), kMmNoError);
    EXPECT_EQ(WaveOutWrite(dev, &headers[0]), kMmInvalidHandle);

    std::lock_guard<std::mutex> hold(rec.lock);
    EXPECT_NE(rec.thread, std::this_thread::get_id());
    ASSERT_EQ(rec.messages.front(), kWomOpen);
    ASSERT_EQ(rec.messages.back(), kWomClose);
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(rec.done[i], &headers[i]);
        EXPECT_EQ(rec.flagsSeen[i] & (kWhdrDone | kWhdrInQueue | kWhdrPrepared), kWhdrDone | kWhdrPrepared);
    }
}

TEST(WaveOut, ResetReturnsQueuedBuffersAndPauseHoldsThem) {
    BackendScope scope(NullWaveBackend());
    Recorder rec;
    WaveOut* dev = nullptr;
    ASSERT_EQ(WaveOutOpen(&dev, Format(kWaveFormatPcm, 1, 8000, 16), &Recorder::Proc, &rec), kMmNoError);
    std::vector<uint8_t> data(16000);  // half a second each
    WaveHeader a{}, b{};
    for (WaveHeader* h : {&a, &b}) {
        h->data = data.data();
        h->bufferLength = static_cast<uint32_t>(data.size());
        ASSERT_EQ(WaveOutPrepareHeader(dev, h), kMmNoError);
    }
    ASSERT_EQ(WaveOutPause(dev), kMmNoError);
    ASSERT_EQ(WaveOutWrite(dev, &a), kMmNoError);
    ASSERT_EQ(WaveOutWrite(dev, &b), kMmNoError);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(rec.DoneCount(), 0u);
    ASSERT_EQ(WaveOutReset(dev), kMmNoError);
    ASSERT_TRUE(audiotest::WaitUntil([&] { return rec.DoneCount() == 2; }, 1000));
    EXPECT_TRUE(a.flags & kWhdrDone);
    EXPECT_FALSE(a.flags & kWhdrInQueue);
    EXPECT_EQ(WaveOutClose(dev), kMmNoError);
}

// A buffer already handed to the sink when playback is paused must still come back after a restart,
// with no further write to wake the player.
TEST(WaveOut, RestartAfterPauseFinishesTheBufferAlreadyPlaying) {
    BackendScope scope(NullWaveBackend());
    Recorder rec;
    WaveOut* dev = nullptr;
    ASSERT_EQ(WaveOutOpen(&dev, Format(kWaveFormatMulaw, 1, 8000, 8), &Recorder::Proc, &rec), kMmNoError);
    std::vector<uint8_t> data(800, 0x7F);  // 100 ms
    WaveHeader h{};
    h.data = data.data();
    h.bufferLength = static_cast<uint32_t>(data.size());
    ASSERT_EQ(WaveOutPrepareHeader(dev, &h), kMmNoError);
    ASSERT_EQ(WaveOutWrite(dev, &h), kMmNoError);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the player has pushed it by now
    ASSERT_EQ(WaveOutPause(dev), kMmNoError);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(WaveOutRestart(dev), kMmNoError);
    EXPECT_TRUE(audiotest::WaitUntil([&] { return rec.DoneCount() == 1; }, 2000));
    if (rec.DoneCount() != 1) {
        ASSERT_EQ(WaveOutReset(dev), kMmNoError);
    }
    EXPECT_EQ(WaveOutClose(dev), kMmNoError);
}

TEST(WaveOut, WavBackendWritesWhatWouldBeHeardWithTheVolumeOfEachChannel) {
    const std::string path = audiotest::ScratchPath("stereo.wav");
    {
        BackendScope scope(WavFileBackend(path, false));
        Recorder rec;
        WaveOut* dev = nullptr;
        ASSERT_EQ(WaveOutOpen(&dev, Format(kWaveFormatPcm, 2, 8032, 16), &Recorder::Proc, &rec), kMmNoError);
        uint32_t volume = 0;
        ASSERT_EQ(WaveOutGetVolume(dev, &volume), kMmNoError);
        EXPECT_EQ(volume, 0xFFFFFFFFu);
        ASSERT_EQ(WaveOutSetVolume(dev, 0x40008000u), kMmNoError);  // left half, right quarter
        const int16_t frames[] = {1000, 1000, -2000, -2000, 32767, -32768};
        WaveHeader h{};
        h.data = reinterpret_cast<uint8_t*>(const_cast<int16_t*>(frames));
        h.bufferLength = sizeof frames;
        ASSERT_EQ(WaveOutPrepareHeader(dev, &h), kMmNoError);
        ASSERT_EQ(WaveOutWrite(dev, &h), kMmNoError);
        ASSERT_TRUE(audiotest::WaitUntil([&] { return rec.DoneCount() == 1; }, 1000));
        ASSERT_EQ(WaveOutClose(dev), kMmNoError);
    }
    const audiotest::Wav w = audiotest::ReadWav(path);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.rate, 8032u);
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.samples, (std::vector<int16_t>{500, 250, -1000, -500, 16383, -8192}));

    // mu-law is expanded to linear in the layer.
    const std::string mulawPath = audiotest::ScratchPath("mulaw.wav");
    {
        BackendScope scope(WavFileBackend(mulawPath, false));
        Recorder rec;
        WaveOut* dev = nullptr;
        ASSERT_EQ(WaveOutOpen(&dev, Format(kWaveFormatMulaw, 1, 8000, 8), &Recorder::Proc, &rec), kMmNoError);
        uint8_t codes[] = {0xFF, 0x7F, 0x80, 0x00, 0xEF};
        WaveHeader h{};
        h.data = codes;
        h.bufferLength = sizeof codes;
        ASSERT_EQ(WaveOutPrepareHeader(dev, &h), kMmNoError);
        ASSERT_EQ(WaveOutWrite(dev, &h), kMmNoError);
        ASSERT_TRUE(audiotest::WaitUntil([&] { return rec.DoneCount() == 1; }, 1000));
        ASSERT_EQ(WaveOutClose(dev), kMmNoError);
    }
    const audiotest::Wav m = audiotest::ReadWav(mulawPath);
    ASSERT_TRUE(m.ok);
    EXPECT_EQ(m.samples, (std::vector<int16_t>{0, 0, 32124, -32124, 132}));
}

TEST(WaveOut, NoDeviceIsAFailedOpenAndBadFormatsAreRefused) {
    {
        BackendScope scope([](const WaveFormat&) -> std::unique_ptr<WaveSink> { return nullptr; });
        WaveOut* dev = reinterpret_cast<WaveOut*>(1);
        EXPECT_EQ(WaveOutOpen(&dev, Format(kWaveFormatPcm, 1, 8000, 16), nullptr, nullptr), kMmNoDriver);
        EXPECT_EQ(dev, nullptr);
    }
    BackendScope scope(NullWaveBackend());
    WaveOut* dev = nullptr;
    EXPECT_EQ(WaveOutOpen(&dev, Format(kWaveFormatPcm, 3, 8000, 16), nullptr, nullptr), kWaveBadFormat);
    EXPECT_EQ(WaveOutOpen(&dev, Format(85, 1, 8000, 16), nullptr, nullptr), kWaveBadFormat);
    WaveFormat wrongAlign = Format(kWaveFormatPcm, 1, 8000, 16);
    wrongAlign.blockAlign = 1;
    EXPECT_EQ(WaveOutOpen(&dev, wrongAlign, nullptr, nullptr), kWaveBadFormat);
    EXPECT_EQ(WaveOutClose(nullptr), kMmInvalidHandle);
}

// Which backend an open uses when the program set none: QXR_AUDIO_OUTPUT names a built-in one or a
// registered device; unset or unknown, the first device registered; with none registered the open fails
// as it does without a sound device.
TEST(WaveOut, BackendChosenByNameAmongRegisteredDevices) {
    const char* saved = std::getenv("QXR_AUDIO_OUTPUT");
    const std::string savedValue = saved == nullptr ? "" : saved;
    std::vector<std::string> opened;
    auto device = [&opened](std::string name) {
        return [&opened, name](const WaveFormat& f) {
            opened.push_back(name);
            return NullWaveBackend()(f);
        };
    };
    // The open's result, and which registered device it went to ("" for none).
    auto openWith = [&](const char* choice) {
        if (choice == nullptr) {
            unsetenv("QXR_AUDIO_OUTPUT");
        } else {
            setenv("QXR_AUDIO_OUTPUT", choice, 1);
        }
        opened.clear();
        WaveOut* dev = nullptr;
        const MmResult r = WaveOutOpen(&dev, Format(kWaveFormatPcm, 1, 8000, 16), nullptr, nullptr);
        if (dev != nullptr) {
            EXPECT_EQ(WaveOutClose(dev), kMmNoError);
        }
        return std::make_pair(r, opened.empty() ? std::string() : opened.front());
    };
    using Chosen = std::pair<MmResult, std::string>;
    EXPECT_EQ(openWith(nullptr), (Chosen{kMmNoDriver, ""}));

    RegisterWaveBackend("first", device("first"));
    RegisterWaveBackend("second", device("second"));
    EXPECT_EQ(openWith(nullptr), (Chosen{kMmNoError, "first"}));
    EXPECT_EQ(openWith("second"), (Chosen{kMmNoError, "second"}));
    EXPECT_EQ(openWith("sdl"), (Chosen{kMmNoError, "first"}));  // not registered here
    EXPECT_EQ(openWith("null"), (Chosen{kMmNoError, ""}));
    RegisterWaveBackend("first", device("first again"));  // replaced in place: still the default
    EXPECT_EQ(openWith(nullptr), (Chosen{kMmNoError, "first again"}));
    RegisterWaveBackend("first", {});
    EXPECT_EQ(openWith(nullptr), (Chosen{kMmNoError, "second"}));
    RegisterWaveBackend("second", {});
    EXPECT_EQ(openWith(nullptr), (Chosen{kMmNoDriver, ""}));

    if (saved == nullptr) {
        unsetenv("QXR_AUDIO_OUTPUT");
    } else {
        setenv("QXR_AUDIO_OUTPUT", savedValue.c_str(), 1);
    }
}

TEST(WaveOut, SdlBackendOnTheDummyDriver) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    BackendScope scope(SdlWaveBackend());
    Recorder rec;
    WaveOut* dev = nullptr;
    if (WaveOutOpen(&dev, Format(kWaveFormatMulaw, 1, 8032, 8), &Recorder::Proc, &rec) != kMmNoError)
        GTEST_SKIP() << "SDL has no dummy audio driver here";
    std::vector<uint8_t> data(256, 0x7F);  // 32 ms
    WaveHeader h[2] = {};
    for (WaveHeader& x : h) {
        x.data = data.data();
        x.bufferLength = 256;
        ASSERT_EQ(WaveOutPrepareHeader(dev, &x), kMmNoError);
        ASSERT_EQ(WaveOutWrite(dev, &x), kMmNoError);
    }
    ASSERT_EQ(WaveOutSetVolume(dev, 0x8000FFFFu), kMmNoError);
    EXPECT_TRUE(audiotest::WaitUntil([&] { return rec.DoneCount() == 2; }, 3000));
    WaveOutReset(dev);
    EXPECT_EQ(WaveOutClose(dev), kMmNoError);
}

}  // namespace
