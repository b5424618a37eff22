#include "audio_decode.h"

#include <algorithm>

#include "lumacore/lumacore.h"
#include "platform/wave_out.h"
#include "vello/audio/audio_packets.h"
#include "vello/common/lum_memory.h"

namespace qxrtool {

bool DecodeCameraAudio(const uint8_t* data, std::size_t size, int bits, std::vector<int16_t>& samples) {
    samples.clear();
    if (bits == 0) {
        samples.reserve(size);
        for (std::size_t i = 0; i < size; ++i) samples.push_back(platform::MulawToLinear16(data[i]));
        return true;
    }
    const int maxCodes = static_cast<int>(size * 8 / static_cast<std::size_t>(bits));
    std::vector<uint8_t> codes(static_cast<std::size_t>(maxCodes));
    const int n = vello::UnpackG726Codes(data, static_cast<int>(size), bits, codes.data(), maxCodes);
    int stateSize = 0;
    if (lumsDecodeGetStateSize_G726_8u16s(&stateSize) != lumStsNoErr) return false;
    vello::LumBuffer<uint8_t> state;
    if (!state.Allocate(stateSize)) return false;
    auto* decoder = reinterpret_cast<LumsG726DecoderState*>(state.data());
    if (lumsDecodeInit_G726_8u16s(decoder, bits + 10, 2) != lumStsNoErr) return false;
    samples.resize(static_cast<std::size_t>(std::max(n, 0)));
    for (int at = 0; at < n; at += 360) {
        const int len = std::min(360, n - at);
        lumsDecode_G726_8u16s(decoder, codes.data() + at, samples.data() + at, len);
    }
    for (int16_t& s : samples) s = static_cast<int16_t>(s * 4);
    return true;
}

}  // namespace qxrtool
