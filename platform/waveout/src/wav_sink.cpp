// The WAV-file backend: what would be heard, as 16-bit linear samples at the format's rate and channel
// count, with the volume applied (low word to the first channel, high word to the second).
#include <cstdio>
#include <vector>

#include "paced_clock.h"
#include "platform/wave_out.h"

namespace platform {
namespace {

void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

class WavSink : public WaveSink {
  public:
    WavSink(const WaveFormat& f, std::FILE* file, bool realTime)
        : format_(f), file_(file), realTime_(realTime), clock_(f.samplesPerSec * f.blockAlign) {
        WriteHeader();
    }
    ~WavSink() override {
        WriteHeader();  // now with the sizes
        std::fclose(file_);
    }

    void Push(const uint8_t* data, uint32_t size, uint32_t volume) override {
        std::vector<uint8_t> out;
        out.reserve(size * 2u);
        const uint32_t frames = size / format_.blockAlign;
        for (uint32_t i = 0; i < frames; ++i) {
            for (int c = 0; c < format_.channels; ++c) {
                const uint8_t* p = data + i * format_.blockAlign + c * (format_.bitsPerSample / 8);
                int16_t s;
                if (format_.formatTag == kWaveFormatMulaw) {
                    s = MulawToLinear16(p[0]);
                } else if (format_.bitsPerSample == 8) {
                    s = static_cast<int16_t>((p[0] - 128) * 256);
                } else {
                    s = static_cast<int16_t>(p[0] | (p[1] << 8));
                }
                s = ApplyVolume(s, static_cast<uint16_t>(c == 0 ? volume : volume >> 16));
                PutLe(out, static_cast<uint16_t>(s), 2);
            }
        }
        if (!out.empty()) std::fwrite(out.data(), 1, out.size(), file_);
        std::fflush(file_);
        dataBytes_ += static_cast<uint32_t>(out.size());
        if (realTime_) {
            clock_.Pushed(size);
        } else {
            pushed_ += size;
        }
    }
    uint64_t Played() override { return realTime_ ? clock_.Played() : pushed_; }
    void Flush() override {
        clock_.Flush();
        pushed_ = 0;
    }
    void SetPaused(bool paused) override { clock_.SetPaused(paused); }

  private:
    void WriteHeader() {
        std::vector<uint8_t> h;
        const uint32_t blockAlign = 2u * format_.channels;
        h.insert(h.end(), {'R', 'I', 'F', 'F'});
        PutLe(h, 36 + dataBytes_, 4);
        h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
        PutLe(h, 16, 4);
        PutLe(h, 1, 2);
        PutLe(h, format_.channels, 2);
        PutLe(h, format_.samplesPerSec, 4);
        PutLe(h, format_.samplesPerSec * blockAlign, 4);
        PutLe(h, blockAlign, 2);
        PutLe(h, 16, 2);
        h.insert(h.end(), {'d', 'a', 't', 'a'});
        PutLe(h, dataBytes_, 4);
        const long end = std::ftell(file_);
        std::fseek(file_, 0, SEEK_SET);
        std::fwrite(h.data(), 1, h.size(), file_);
        std::fseek(file_, end > 44 ? end : 44, SEEK_SET);
        std::fflush(file_);
    }

    const WaveFormat format_;
    std::FILE* const file_;
    const bool realTime_;
    waveout::PacedClock clock_;
    uint64_t pushed_ = 0;
    uint32_t dataBytes_ = 0;
};

}  // namespace

WaveSinkFactory WavFileBackend(const std::string& path, bool realTime) {
    return [path, realTime](const WaveFormat& format) -> std::unique_ptr<WaveSink> {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr) return nullptr;
        return std::make_unique<WavSink>(format, file, realTime);
    };
}

}  // namespace platform
