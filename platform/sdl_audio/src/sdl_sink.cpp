// The SDL2 backend: a push-mode audio device at the format's own rate, always opened as 16-bit stereo so
// that mu-law is expanded here and each channel gets its half of the volume.
#include <SDL.h>

#include <mutex>
#include <vector>

#include "platform/sdl_wave_out.h"

namespace platform {
namespace {

std::mutex g_sdlLock;  // SDL's audio subsystem is initialised and shut down under this

class SdlSink : public WaveSink {
  public:
    SdlSink(const WaveFormat& f, SDL_AudioDeviceID device) : format_(f), device_(device) {}
    ~SdlSink() override {
        std::lock_guard<std::mutex> hold(g_sdlLock);
        SDL_CloseAudioDevice(device_);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

    void Push(const uint8_t* data, uint32_t size, uint32_t volume) override {
        const uint32_t frames = size / format_.blockAlign;
        std::vector<int16_t> out(static_cast<std::size_t>(frames) * 2);
        for (uint32_t i = 0; i < frames; ++i) {
            int16_t ch[2] = {0, 0};
            for (int c = 0; c < format_.channels; ++c) {
                const uint8_t* p = data + i * format_.blockAlign + c * (format_.bitsPerSample / 8);
                if (format_.formatTag == kWaveFormatMulaw) {
                    ch[c] = MulawToLinear16(p[0]);
                } else if (format_.bitsPerSample == 8) {
                    ch[c] = static_cast<int16_t>((p[0] - 128) * 256);
                } else {
                    ch[c] = static_cast<int16_t>(p[0] | (p[1] << 8));
                }
            }
            if (format_.channels == 1) ch[1] = ch[0];
            out[2 * i] = ApplyVolume(ch[0], static_cast<uint16_t>(volume));
            out[2 * i + 1] = ApplyVolume(ch[1], static_cast<uint16_t>(volume >> 16));
        }
        // Whole frames only count; a trailing partial frame is dropped like a device would.
        pushedIn_ += size;
        partialIn_ += size - frames * format_.blockAlign;
        if (!out.empty())
            SDL_QueueAudio(device_, out.data(), static_cast<Uint32>(out.size() * sizeof(int16_t)));
        pushedOut_ += out.size() * sizeof(int16_t);
    }

    uint64_t Played() override {
        const uint64_t queued = SDL_GetQueuedAudioSize(device_);
        const uint64_t playedOut = pushedOut_ > queued ? pushedOut_ - queued : 0;
        const uint64_t played =
            playedOut / 4 * format_.blockAlign + (playedOut == pushedOut_ ? partialIn_ : 0);
        return played < pushedIn_ ? played : pushedIn_;
    }

    void Flush() override {
        SDL_ClearQueuedAudio(device_);
        pushedIn_ = pushedOut_ = partialIn_ = 0;
    }

    void SetPaused(bool paused) override { SDL_PauseAudioDevice(device_, paused ? 1 : 0); }

  private:
    const WaveFormat format_;
    const SDL_AudioDeviceID device_;
    uint64_t pushedIn_ = 0, pushedOut_ = 0, partialIn_ = 0;
};

}  // namespace

WaveSinkFactory SdlWaveBackend() {
    return [](const WaveFormat& format) -> std::unique_ptr<WaveSink> {
        std::lock_guard<std::mutex> hold(g_sdlLock);
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
        SDL_AudioSpec want{};
        want.freq = static_cast<int>(format.samplesPerSec);
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = 512;
        SDL_AudioSpec have{};
        // No changes allowed: SDL converts our rate (8032 Hz included) to whatever the device runs at.
        const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (device == 0) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return nullptr;
        }
        SDL_PauseAudioDevice(device, 0);
        return std::make_unique<SdlSink>(format, device);
    };
}

void RegisterSdlWaveBackend() {
    RegisterWaveBackend("sdl", SdlWaveBackend());
}

}  // namespace platform
