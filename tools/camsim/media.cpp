#include "media.h"

#include <cmath>
#include <cstdint>
#include <span>

#include "config.h"
#include "platform/input_file.h"
#include "vello/mpeg4/start_code.h"

namespace camsim {
namespace {

// Offsets of every start code 00 00 01 xx with the given xx.
std::vector<std::size_t> FindStartCodes(const std::string& s, unsigned char code) {
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    std::vector<std::size_t> out;
    for (std::size_t at = vello::mpeg4::FindStartCode(bytes, code); at != vello::mpeg4::kNoStartCode;
         at = vello::mpeg4::FindStartCode(bytes, code, at + 4)) {
        out.push_back(at);
    }
    return out;
}

}  // namespace

bool LoadMpeg4Stream(const std::string& path, Mpeg4Stream* out, std::string* error) {
    std::vector<uint8_t> bytes;
    if (platform::ReadFile(path, kMaxMediaFileBytes, &bytes, error) != platform::FileStatus::kOk)
        return false;
    const std::string data(bytes.begin(), bytes.end());
    bytes = {};
    const std::vector<std::size_t> vops = FindStartCodes(data, 0xB6);
    if (vops.empty()) {
        *error = path + " holds no MPEG-4 picture";
        return false;
    }
    const std::vector<std::size_t> groups = FindStartCodes(data, 0xB3);
    // A picture starts at its VOP start code, or at the group header just before it.
    std::vector<std::size_t> starts;
    std::size_t g = 0, previousEnd = 0;
    for (const std::size_t v : vops) {
        std::size_t start = v;
        while (g < groups.size() && groups[g] < v) {
            if (groups[g] >= previousEnd) start = groups[g];
            ++g;
        }
        starts.push_back(start);
        previousEnd = v + 4;
    }
    out->config = data.substr(0, starts[0]);
    out->pictures.clear();
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : data.size();
        out->pictures.push_back(data.substr(starts[i], end - starts[i]));
    }
    return true;
}

std::string WithCameraTime(const std::string& picture, const std::string& cameraTime) {
    const std::string record = std::string("\x00\x00\x01\xB2", 4) + "CamTim: " + cameraTime + "\r\n";
    const std::vector<std::size_t> vop = FindStartCodes(picture, 0xB6);
    const std::size_t at = vop.empty() ? 0 : vop[0];
    return picture.substr(0, at) + record + picture.substr(at);
}

uint8_t LinearToMuLaw(int16_t sample) {
    constexpr int kBias = 0x84, kClip = 32635;
    int s = sample;
    const int sign = s < 0 ? 0x80 : 0;
    if (s < 0) s = -s;
    if (s > kClip) s = kClip;
    s += kBias;
    int exponent = 7;
    for (int mask = 0x4000; (s & mask) == 0 && exponent > 0; mask >>= 1) --exponent;
    const int mantissa = (s >> (exponent + 3)) & 0x0F;
    return static_cast<uint8_t>(~(sign | exponent << 4 | mantissa));
}

bool LoadAudioFile(const std::string& path, const std::string& codec, std::shared_ptr<const std::string>* out,
                   std::string* error) {
    std::vector<uint8_t> bytes;
    if (platform::ReadFile(path, kMaxMediaFileBytes, &bytes, error) != platform::FileStatus::kOk)
        return false;
    if (bytes.size() < static_cast<std::size_t>(AudioFrameBytes(codec))) {
        *error = path + " holds less than one audio frame";
        return false;
    }
    *out = std::make_shared<const std::string>(bytes.begin(), bytes.end());
    return true;
}

AudioFrames::AudioFrames(const std::string& codec, std::shared_ptr<const std::string> codes)
    : codec_(codec),
      codes_(std::move(codes)),
      frameBytes_(AudioFrameBytes(codec)),
      frameMs_(AudioFrameMilliseconds(codec)) {}

int AudioFrames::samplesPerFrame() const {
    return codec_.rfind("g726", 0) == 0 ? 360 : 256;
}

std::string AudioFrames::Next() {
    std::string frame(static_cast<std::size_t>(frameBytes_), '\0');
    if (codes_) {
        for (char& c : frame) {
            c = (*codes_)[pos_];
            pos_ = (pos_ + 1) % codes_->size();
        }
        return frame;
    }
    if (codec_.rfind("g726", 0) != 0) {
        // A 1 kHz tone at about -20 dBFS.
        for (char& c : frame) {
            const double v = 3000.0 * std::sin(2.0 * M_PI * 1000.0 * static_cast<double>(phase_++) / 8000.0);
            c = static_cast<char>(LinearToMuLaw(static_cast<int16_t>(v)));
        }
        return frame;
    }
    // G.726 near silence: the smallest positive and negative codes alternating, packed first code in the
    // most significant bits.
    const int bits = frameBytes_ * 8 / 360;
    uint32_t acc = 0;
    int held = 0;
    std::size_t out = 0;
    for (int i = 0; i < 360; ++i) {
        const uint32_t code = (i & 1) ? (1u << bits) - 1 : 0u;
        acc = acc << bits | code;
        held += bits;
        while (held >= 8) {
            frame[out++] = static_cast<char>(acc >> (held - 8));
            held -= 8;
        }
    }
    return frame;
}

}  // namespace camsim
