// Shared pieces of the MPEG-4 decoder tests: running our decoder over a byte stream, decoding the same
// stream with FFmpeg's libavcodec for reference, and a bit writer for hand-made headers.
#ifndef TESTS_MPEG4_HARNESS_H
#define TESTS_MPEG4_HARNESS_H

#include <cstdint>
#include <string>
#include <vector>

#include "vello/mpeg4/mp4dec.h"

namespace mpeg4test {

// One picture as three tight 4:2:0 planes (chroma ceil(width/2) x ceil(height/2)).
struct Frame {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> plane[3];
    char type = '?';  // reference frames: 'I', 'P', 'B', 'S'
};

Frame CopyPicture(const vello::mpeg4::Picture& picture);

// Collects delivered pictures; the display size is fixed at construction.
class CollectingDisplay : public vello::mpeg4::Display {
  public:
    CollectingDisplay(int width, int height) : width_(width), height_(height) {}
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void Deliver(const vello::mpeg4::Picture& picture) override;
    void NotifyError(int code) override { errors.push_back(code); }
    bool Resize(int width, int height) override;

    std::vector<Frame> frames;
    std::vector<int> errors;
    std::vector<std::uint64_t> vopsAtDelivery;  // the decoder's VOP count when each picture came
    int resizes = 0;
    const vello::mpeg4::Mpeg4Decoder* decoder = nullptr;

  private:
    int width_;
    int height_;
};

struct DecodeResult {
    int openStatus = 0;
    int streamStatus = 0;
    std::vector<Frame> frames;
    std::vector<std::string> messages;
    vello::mpeg4::DecoderStats stats;
    vello::mpeg4::VolHeader vol;
    int resizes = 0;
    std::vector<int> errors;
};

// Decodes `data` with our decoder (the given host variant, packets of `packetSize` bytes).
DecodeResult DecodeOurs(const std::vector<std::uint8_t>& data,
                        vello::mpeg4::HostVariant variant = vello::mpeg4::HostVariant::kReeldeck,
                        std::size_t packetSize = 8192, int maxWidth = 640, int maxHeight = 480,
                        std::size_t streamCapacity = 0);  // 0: the variant's own

// Decodes `data` with libavcodec's mpeg4 decoder on one thread; frames in its output order.
std::vector<Frame> DecodeWithFfmpeg(const std::vector<std::uint8_t>& data);

std::vector<std::uint8_t> ReadFile(const std::string& path);
std::string StreamPath(const std::string& name);  // a stream made by make_streams.sh

// PSNR over all three planes, in dB (99 for identical pictures).
double Psnr(const Frame& a, const Frame& b);

// MSB-first bit writer for hand-made streams.
class BitWriter {
  public:
    void Put(std::uint32_t value, int bits);
    void StartCode(int value);  // byte-aligns with zeros first
    // next_start_code() stuffing: a 0 and then 1s up to the byte boundary (a whole 0x7F when aligned).
    void Stuff();
    void AlignZero();
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    int bitPosition() const { return static_cast<int>(bytes_.size()) * 8 - (8 - used_) % 8; }

  private:
    std::vector<std::uint8_t> bytes_;
    int used_ = 8;  // bits used in the last byte
};

}  // namespace mpeg4test

#endif
