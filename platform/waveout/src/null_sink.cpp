// The null backend: no sound, but buffers come back when they would have finished playing.
#include "paced_clock.h"
#include "platform/wave_out.h"

namespace platform {
namespace {

class NullSink : public WaveSink {
  public:
    explicit NullSink(const WaveFormat& f) : clock_(f.samplesPerSec * f.blockAlign) {}
    void Push(const uint8_t* /*data*/, uint32_t size, uint32_t /*volume*/) override { clock_.Pushed(size); }
    uint64_t Played() override { return clock_.Played(); }
    void Flush() override { clock_.Flush(); }
    void SetPaused(bool paused) override { clock_.SetPaused(paused); }

  private:
    waveout::PacedClock clock_;
};

}  // namespace

WaveSinkFactory NullWaveBackend() {
    return [](const WaveFormat& format) -> std::unique_ptr<WaveSink> {
        return std::make_unique<NullSink>(format);
    };
}

}  // namespace platform
