// The WAV-file backend: what would be heard, as 16-bit linear samples at the format's rate and channel
// count, with the volume applied (low word to the first channel, high word to the second).
#include <memory>
#include <vector>

#include "paced_clock.h"
#include "platform/debug_output.h"
#include "platform/wav_file.h"
#include "platform/wave_out.h"

namespace platform {
namespace {

class WavSink : public WaveSink {
  public:
    WavSink(const WaveFormat& f, std::unique_ptr<WavFileWriter> file, bool realTime)
        : format_(f), file_(std::move(file)), realTime_(realTime), clock_(f.samplesPerSec * f.blockAlign) {}
    ~WavSink() override {
        // A sink cannot report; a failed file is not left behind half-written, and the debug channel
        // says why.
        if (ok_ && file_->Finish() == FileStatus::kOk) return;
        DebugOutput("WAV output failed: " + file_->Error() + "\n");
    }

    void Push(const uint8_t* data, uint32_t size, uint32_t volume) override {
        std::vector<int16_t> out;
        const uint32_t frames = size / format_.blockAlign;
        out.reserve(static_cast<std::size_t>(frames) * format_.channels);
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
                out.push_back(ApplyVolume(s, static_cast<uint16_t>(c == 0 ? volume : volume >> 16)));
            }
        }
        if (ok_ && !out.empty()) ok_ = file_->Append(out) == FileStatus::kOk;
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
    const WaveFormat format_;
    const std::unique_ptr<WavFileWriter> file_;
    const bool realTime_;
    waveout::PacedClock clock_;
    uint64_t pushed_ = 0;
    bool ok_ = true;  // false after the first failed write: the rest is dropped and the file discarded
};

}  // namespace

WaveSinkFactory WavFileBackend(const std::string& path, bool realTime) {
    return [path, realTime](const WaveFormat& format) -> std::unique_ptr<WaveSink> {
        auto file = std::make_unique<WavFileWriter>();
        if (file->Open(path, format.channels, format.samplesPerSec) != FileStatus::kOk) {
            DebugOutput("WAV output failed: " + file->Error() + "\n");
            return nullptr;
        }
        return std::make_unique<WavSink>(format, std::move(file), realTime);
    };
}

}  // namespace platform
