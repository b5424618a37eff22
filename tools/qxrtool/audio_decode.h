// Camera audio to 16-bit linear samples at 8000 Hz, for the qxrtool commands that write PCM.
#ifndef QXRTOOL_AUDIO_DECODE_H
#define QXRTOOL_AUDIO_DECODE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qxrtool {

// `bits` 0 for G.711 mu-law bytes, 2 to 5 for G.726 codes packed most significant bit first (16 to 40
// kbit/s). G.726 is decoded in packets of 360 codes, as the players do, and its 14-bit signal scaled to 16
// bits. False when the G.726 decoder cannot be set up.
bool DecodeCameraAudio(const uint8_t* data, std::size_t size, int bits, std::vector<int16_t>& samples);

}  // namespace qxrtool

#endif
