// Fuzzes the MPEG-4 decoder over a whole stream: OpenDecoder, then DecodeStream with every picture read
// back. The input's last byte picks the host variant and the packet size, so both refill rules and
// start codes split between packets are exercised.
#include <cstddef>
#include <cstdint>

#include "vello/mpeg4/mp4dec.h"

namespace {

class ReadingDisplay : public vello::mpeg4::Display {
  public:
    ReadingDisplay(int width, int height) : width_(width), height_(height) {}
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void Deliver(const vello::mpeg4::Picture& picture) override {
        // Touch every sample the host's conversion would read.
        for (int c = 0; c < 3; ++c) {
            const int w = c == 0 ? picture.width : (picture.width + 1) / 2;
            const int h = c == 0 ? picture.height : (picture.height + 1) / 2;
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) sum_ += picture.origin[c][y * picture.step[c] + x];
            }
        }
    }
    bool Resize(int width, int height) override {
        width_ = width;
        height_ = height;
        return true;
    }
    unsigned sum() const { return sum_; }

  private:
    int width_;
    int height_;
    unsigned sum_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t control = data[size - 1];
    static const std::size_t kPacketSizes[8] = {8192, 1, 7, 64, 512, 1500, 4096, 8192};
    const auto variant =
        (control & 1) ? vello::mpeg4::HostVariant::kOcuview : vello::mpeg4::HostVariant::kReeldeck;
    vello::mpeg4::DecoderConfig config = variant == vello::mpeg4::HostVariant::kReeldeck
                                             ? vello::mpeg4::ReeldeckConfig()
                                             : vello::mpeg4::OcuviewConfig();
    config.report = nullptr;
    vello::mpeg4::MemoryPacketSource source(data, size, kPacketSizes[(control >> 1) & 7]);
    vello::mpeg4::Mpeg4Decoder decoder(config, &source);
    if (decoder.OpenDecoder() != vello::mpeg4::Mpeg4Status::kOk) return 0;
    ReadingDisplay display(decoder.Width(), decoder.Height());
    // Any status is fine here: the fuzzer looks for crashes, hangs and reads outside the pictures.
    (void)decoder.DecodeStream(display);
    decoder.CloseDecoder();
    return display.sum() == 0xFFFFFFFFu ? 1 : 0;
}
