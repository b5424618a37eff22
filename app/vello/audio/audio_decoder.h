// AudioDecoder: the camera's audio codes in, 16-bit linear samples out. G.711 carries one code per byte;
// G.726 packs codes of 2 to 5 bits most significant bit first (see UnpackG726Codes). The G.726 decoder
// keeps its state from one call to the next, so a stream is decoded by calls in stream order, in pieces
// that end on whole groups of codes (CodeBits() bytes, 8 codes; every camera packet does).
//
// Samples come in one of two scales. The G.726 primitive gives the 14-bit signal (-8192..8191); the
// players hand that to the device as it is (kSignal14). Files and tools want 16-bit full scale
// (kFull16): the 14-bit signal times 4, G.711 expanded as a 16-bit device does it.
#ifndef VELLO_AUDIO_AUDIO_DECODER_H
#define VELLO_AUDIO_AUDIO_DECODER_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "lumacore/lumacore.h"
#include "vello/audio/audio_status.h"
#include "vello/common/lum_memory.h"

namespace vello {

enum class AudioCoding { kG711Mulaw, kG711Alaw, kG726_16, kG726_24, kG726_32, kG726_40 };

enum class SampleScale { kSignal14, kFull16 };

// Codec identifiers from the recorded file's audio header or from the camera.
enum AudioCodecId : int {
    kAudioG711 = 100,
    kAudioG726_16 = 101,
    kAudioG726_24 = 102,
    kAudioG726_32 = 103,
    kAudioG726_40 = 104,
};

// The coding of a codec id (G.711 ids are mu-law); nothing for an id outside the table.
std::optional<AudioCoding> CodingOfCodecId(int codecId);

// Bits per code: 8 for G.711, 2 to 5 for G.726 at 16 to 40 kbit/s.
int CodeBits(AudioCoding coding);

constexpr bool IsG726(AudioCoding coding) {
    return coding != AudioCoding::kG711Mulaw && coding != AudioCoding::kG711Alaw;
}

// 16-bit linear value of an A-law code (G.711: the 13-bit value times 8).
int16_t AlawToLinear16(uint8_t code);

class AudioDecoder {
  public:
    // Sets up for `coding`, a G.726 decoder from its initial state: kOk, kLibraryError when the primitive
    // refuses its set-up, kNoMemory when its state cannot be allocated.
    AudioStatus Open(AudioCoding coding, SampleScale scale);

    // Decodes the codes in `bytes`, at most samples.size() of them (the rest are not decoded), into
    // `samples`; `produced` is the number written (a trailing partial G.726 code gives none). kInvalidCodec
    // before a successful Open, kLibraryError when the primitive refuses a block (`produced` then counts the
    // blocks before it).
    AudioStatus Decode(std::span<const uint8_t> bytes, std::span<int16_t> samples, std::size_t& produced);

    // The samples `bytes` bytes of codes give.
    std::size_t SamplesIn(std::size_t bytes) const;

  private:
    static constexpr int kBlockCodes = 360;  // codes decoded per primitive call: one camera packet

    AudioStatus DecodeG726(std::span<const uint8_t> bytes, std::span<int16_t> samples, std::size_t& produced);

    std::optional<AudioCoding> coding_;
    SampleScale scale_ = SampleScale::kFull16;
    LumBuffer<Lum8u> state_;           // the G.726 decoder state, its size from the library (32-byte aligned)
    uint8_t codes_[kBlockCodes] = {};  // one block of unpacked G.726 codes
};

// One call for a whole stream at 16-bit full scale (files, tools): `samples` holds what `bytes` decode to.
AudioStatus DecodeAudio(AudioCoding coding, std::span<const uint8_t> bytes, std::vector<int16_t>& samples);

}  // namespace vello

#endif
