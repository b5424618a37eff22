#include "vello/audio/audio_decoder.h"

#include <algorithm>

#include "platform/wave_out.h"
#include "vello/audio/audio_packets.h"

namespace vello {

std::optional<AudioCoding> CodingOfCodecId(int codecId) {
    switch (codecId) {
        case kAudioG711:
            return AudioCoding::kG711Mulaw;
        case kAudioG726_16:
            return AudioCoding::kG726_16;
        case kAudioG726_24:
            return AudioCoding::kG726_24;
        case kAudioG726_32:
            return AudioCoding::kG726_32;
        case kAudioG726_40:
            return AudioCoding::kG726_40;
        default:
            return std::nullopt;
    }
}

int CodeBits(AudioCoding coding) {
    switch (coding) {
        case AudioCoding::kG726_16:
            return 2;
        case AudioCoding::kG726_24:
            return 3;
        case AudioCoding::kG726_32:
            return 4;
        case AudioCoding::kG726_40:
            return 5;
        case AudioCoding::kG711Mulaw:
        case AudioCoding::kG711Alaw:
            break;
    }
    return 8;
}

int16_t AlawToLinear16(uint8_t code) {
    const int a = code ^ 0x55;  // the even bits travel inverted
    const int exponent = (a >> 4) & 7;
    // The middle of the quantisation step: mantissa 16 units wide (16-bit scale), plus half a step; from
    // segment 1 on the leading one (0x100) is implied and each segment doubles the step.
    int magnitude = ((a & 0x0F) << 4) + 8;
    if (exponent != 0) magnitude = (magnitude + 0x100) << (exponent - 1);
    return static_cast<int16_t>((a & 0x80) ? magnitude : -magnitude);
}

AudioStatus AudioDecoder::Open(AudioCoding coding, SampleScale scale) {
    coding_.reset();
    scale_ = scale;
    if (IsG726(coding)) {
        int size = 0;
        if (lumsDecodeGetStateSize_G726_8u16s(&size) != lumStsNoErr) return AudioStatus::kLibraryError;
        if (state_.size() < size && !state_.Allocate(size)) return AudioStatus::kNoMemory;
        // Rate selector 12..15 for 2..5 bits; law 2: linear samples out.
        auto* state = reinterpret_cast<LumsG726DecoderState*>(state_.data());
        if (lumsDecodeInit_G726_8u16s(state, CodeBits(coding) + 10, 2) != lumStsNoErr)
            return AudioStatus::kLibraryError;
    }
    coding_ = coding;
    return AudioStatus::kOk;
}

std::size_t AudioDecoder::SamplesIn(std::size_t bytes) const {
    return coding_ ? bytes * 8 / static_cast<std::size_t>(CodeBits(*coding_)) : 0;
}

AudioStatus AudioDecoder::Decode(std::span<const uint8_t> bytes, std::span<int16_t> samples,
                                 std::size_t& produced) {
    produced = 0;
    if (!coding_) return AudioStatus::kInvalidCodec;
    if (IsG726(*coding_)) return DecodeG726(bytes, samples, produced);
    const std::size_t n = std::min(bytes.size(), samples.size());
    const bool mulaw = *coding_ == AudioCoding::kG711Mulaw;
    const int shift = scale_ == SampleScale::kSignal14 ? 2 : 0;
    for (std::size_t i = 0; i < n; ++i) {
        const int16_t s = mulaw ? platform::MulawToLinear16(bytes[i]) : AlawToLinear16(bytes[i]);
        samples[i] = static_cast<int16_t>(s >> shift);  // G.711 values are multiples of 4: exact
    }
    produced = n;
    return AudioStatus::kOk;
}

AudioStatus AudioDecoder::DecodeG726(std::span<const uint8_t> bytes, std::span<int16_t> samples,
                                     std::size_t& produced) {
    const int bits = CodeBits(*coding_);
    // One block of bytes is 45 groups of `bits` bytes, 360 codes that start and end on byte boundaries,
    // so unpacking block by block gives the same codes as unpacking the whole input at once.
    const std::size_t blockBytes = static_cast<std::size_t>(kBlockCodes * bits / 8);
    auto* state = reinterpret_cast<LumsG726DecoderState*>(state_.data());
    std::size_t at = 0;
    while (at < bytes.size() && produced < samples.size()) {
        const std::size_t take = std::min(blockBytes, bytes.size() - at);
        const int room = static_cast<int>(std::min<std::size_t>(kBlockCodes, samples.size() - produced));
        const int codes = UnpackG726Codes(bytes.data() + at, static_cast<int>(take), bits, codes_, room);
        if (codes == 0) break;
        int16_t* out = samples.data() + produced;
        if (lumsDecode_G726_8u16s(state, codes_, out, codes) != lumStsNoErr)
            return AudioStatus::kLibraryError;
        if (scale_ == SampleScale::kFull16)
            for (int i = 0; i < codes; ++i) out[i] = static_cast<int16_t>(out[i] * 4);
        produced += static_cast<std::size_t>(codes);
        at += take;
    }
    return AudioStatus::kOk;
}

AudioStatus DecodeAudio(AudioCoding coding, std::span<const uint8_t> bytes, std::vector<int16_t>& samples) {
    samples.clear();
    AudioDecoder decoder;
    const AudioStatus opened = decoder.Open(coding, SampleScale::kFull16);
    if (opened != AudioStatus::kOk) return opened;
    samples.resize(decoder.SamplesIn(bytes.size()));
    std::size_t produced = 0;
    const AudioStatus status = decoder.Decode(bytes, samples, produced);
    samples.resize(produced);
    return status;
}

}  // namespace vello
