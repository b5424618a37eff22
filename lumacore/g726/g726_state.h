// The G.726 decoder state that the caller allocates (92 bytes) and the primitives carry between calls.
//
// Field names follow the variables of G.726's fixed-point description. Scale factors and coefficients are
// kept as plain signed integers in the standard's units; the history of quantised differences and
// reconstructed signals is kept in the standard's 11-bit floating format, split into a 10-bit
// exponent-and-mantissa word (exponent << 6 | mantissa) and a separate sign (0 or 1).
#ifndef LUMACORE_G726_G726_STATE_H
#define LUMACORE_G726_G726_STATE_H

#include <cstddef>

#include "lumacore/lumacore.h"

struct LumsG726DecoderState {
    Lum16s rateIndex;  // 0..3 for 16, 24, 32, 40 kbit/s
    Lum16s law;        // 0 mu-law codes, 1 A-law codes, 2 linear samples
    Lum16s pk[3];      // signs of the partial reconstructed signal: this step's, then the two before
    Lum16s yu;         // unlocked scale factor, 544..5120 (2 fraction bits)
    Lum32s yl;         // locked scale factor, 6 more fraction bits than yu
    Lum16s ap;         // speed control, 0..512 (256 = fully unlocked)
    Lum16s dms;        // short-term average of F(I)
    Lum16s dml;        // long-term average of F(I)
    Lum16s td;         // tone flag
    Lum16s sez;        // the last zero-section signal estimate
    Lum16s b[6];       // zero-section coefficients (14 fraction bits)
    Lum16s a[2];       // pole-section coefficients (14 fraction bits)
    Lum16s dq[6];      // previous quantised differences, exponent << 6 | mantissa
    Lum16s sr[2];      // previous reconstructed signals, exponent << 6 | mantissa
    Lum16s dqSign[6];  // their signs
    Lum16s srSign[2];
    Lum16s reserved[9];
};

namespace lumacore::g726 {

constexpr int kStateSize = 92;
static_assert(sizeof(LumsG726DecoderState) == kStateSize, "the decoder state is 92 bytes");

}  // namespace lumacore::g726

#endif
