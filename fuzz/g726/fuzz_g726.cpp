// Input: one byte choosing rate and law, then packets, each a length byte and up to that many bytes.
// Every packet is unpacked and decoded with one decoder state, so that the state sees any sequence.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "lumacore/lumacore.h"
#include "vello/audio/audio_packets.h"

namespace lumacore::c {
LumStatus lumsDecodeInit_G726_8u16s(LumsG726DecoderState* pState, int rate, int law);
LumStatus lumsDecode_G726_8u16s(LumsG726DecoderState* pState, const Lum8u* pSrc, Lum16s* pDst, int len);
}  // namespace lumacore::c

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int rate = 12 + (data[0] & 3);
    const int law = (data[0] >> 2) % 3;
    const bool raw = (data[0] & 0x10) != 0;  // codes straight from the input, upper bits and all
    alignas(32) unsigned char state[92];
    auto* st = reinterpret_cast<LumsG726DecoderState*>(state);
    if (lumacore::c::lumsDecodeInit_G726_8u16s(st, rate, law) != lumStsNoErr) std::abort();
    uint8_t codes[360];
    Lum16s pcm[360];
    std::size_t at = 1;
    while (at < size) {
        const std::size_t want = data[at++];
        const std::size_t n = want < size - at ? want : size - at;
        int count;
        if (raw) {
            count = static_cast<int>(n < 360 ? n : 360);
            for (int i = 0; i < count; ++i) codes[i] = data[at + static_cast<std::size_t>(i)];
        } else {
            count = vello::UnpackG726Codes(data + at, static_cast<int>(n), rate - 10, codes, 360);
        }
        at += n;
        if (count == 0) continue;
        if (lumacore::c::lumsDecode_G726_8u16s(st, codes, pcm, count) != lumStsNoErr) std::abort();
        for (int i = 0; i < count; ++i) {
            const int s = pcm[i];
            if (law == 2 ? (s < -8192 || s > 8191) : (s < 0 || s > 255)) std::abort();
        }
    }
    return 0;
}
