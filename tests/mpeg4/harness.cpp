#include "harness.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "libavcodec_reference.h"

namespace mpeg4test {

using vello::mpeg4::Picture;

Frame CopyPicture(const Picture& picture) {
    Frame f;
    f.width = picture.width;
    f.height = picture.height;
    for (int c = 0; c < 3; ++c) {
        const int w = c == 0 ? picture.width : (picture.width + 1) / 2;
        const int h = c == 0 ? picture.height : (picture.height + 1) / 2;
        f.plane[c].resize(static_cast<std::size_t>(w) * h);
        for (int y = 0; y < h; ++y) {
            std::memcpy(&f.plane[c][static_cast<std::size_t>(y) * w], picture.origin[c] + y * picture.step[c],
                        static_cast<std::size_t>(w));
        }
    }
    return f;
}

void CollectingDisplay::Deliver(const Picture& picture) {
    frames.push_back(CopyPicture(picture));
    if (decoder != nullptr) vopsAtDelivery.push_back(decoder->Stats().vops);
}

bool CollectingDisplay::Resize(int width, int height) {
    width_ = width;
    height_ = height;
    ++resizes;
    return true;
}

DecodeResult DecodeOurs(const std::vector<std::uint8_t>& data, vello::mpeg4::HostVariant variant,
                        std::size_t packetSize, int maxWidth, int maxHeight, std::size_t streamCapacity) {
    DecodeResult r;
    vello::mpeg4::MemoryPacketSource source(data.data(), data.size(), packetSize);
    vello::mpeg4::DecoderConfig config = variant == vello::mpeg4::HostVariant::kReeldeck
                                             ? vello::mpeg4::ReeldeckConfig()
                                             : vello::mpeg4::OcuviewConfig();
    config.maxWidth = maxWidth;
    config.maxHeight = maxHeight;
    if (streamCapacity != 0) config.streamCapacity = streamCapacity;
    config.report = [&r](const char*, int, std::string_view message) { r.messages.emplace_back(message); };
    vello::mpeg4::Mpeg4Decoder decoder(config, &source);
    r.openStatus = vello::mpeg4::StatusCode(decoder.OpenDecoder());
    r.vol = decoder.Vol();
    if (r.openStatus != 0) return r;
    CollectingDisplay display(decoder.Width(), decoder.Height());
    display.decoder = &decoder;
    r.streamStatus = vello::mpeg4::StatusCode(decoder.DecodeStream(display));
    r.frames = std::move(display.frames);
    r.stats = decoder.Stats();
    r.vol = decoder.Vol();
    r.resizes = display.resizes;
    r.errors = display.errors;
    return r;
}

std::vector<Frame> DecodeWithFfmpeg(const std::vector<std::uint8_t>& data) {
    std::vector<Frame> frames;
    std::vector<std::uint8_t> padded(data);
    padded.resize(data.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    DecodeWithLibavcodec(padded.data(), static_cast<int>(data.size()), [&](const AVFrame* frame) {
        Frame f;
        f.width = frame->width;
        f.height = frame->height;
        f.type = av_get_picture_type_char(frame->pict_type);
        for (int c = 0; c < 3; ++c) {
            const int w = c == 0 ? f.width : (f.width + 1) / 2;
            const int h = c == 0 ? f.height : (f.height + 1) / 2;
            f.plane[c].resize(static_cast<std::size_t>(w) * h);
            for (int y = 0; y < h; ++y) {
                std::memcpy(&f.plane[c][static_cast<std::size_t>(y) * w],
                            frame->data[c] + y * frame->linesize[c], static_cast<std::size_t>(w));
            }
        }
        frames.push_back(std::move(f));
    });
    return frames;
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string StreamPath(const std::string& name) {
    return std::string(MPEG4_STREAM_DIR) + "/" + name + ".m4v";
}

double Psnr(const Frame& a, const Frame& b) {
    if (a.width != b.width || a.height != b.height) return 0.0;
    double sum = 0.0;
    std::size_t count = 0;
    for (int c = 0; c < 3; ++c) {
        for (std::size_t i = 0; i < a.plane[c].size(); ++i) {
            const double d = static_cast<double>(a.plane[c][i]) - b.plane[c][i];
            sum += d * d;
        }
        count += a.plane[c].size();
    }
    if (sum == 0.0) return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(count) / sum);
}

void BitWriter::Put(std::uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
        if (used_ == 8) {
            bytes_.push_back(0);
            used_ = 0;
        }
        if ((value >> i) & 1u) bytes_.back() |= static_cast<std::uint8_t>(0x80u >> used_);
        ++used_;
    }
}

void BitWriter::AlignZero() {
    if (used_ != 8) used_ = 8;
}

void BitWriter::Stuff() {
    Put(0, 1);
    while (used_ != 8) Put(1, 1);
}

void BitWriter::StartCode(int value) {
    AlignZero();
    Put(0x000001, 24);
    Put(static_cast<std::uint32_t>(value), 8);
}

}  // namespace mpeg4test
