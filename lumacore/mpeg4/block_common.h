// Pieces shared by the intra and inter block decoders: the scans, the TCOEF event loop and the inverse
// quantisation rules.
#ifndef LUMACORE_MPEG4_BLOCK_COMMON_H
#define LUMACORE_MPEG4_BLOCK_COMMON_H

#include <array>
#include <cstdint>

#include "jpeg/idct.h"
#include "lumacore/lumacore.h"
#include "lumacore/zigzag.h"
#include "mpeg4/bitreader.h"

namespace lumacore::mpeg4 {

// Scan position to natural (row-major) position.
inline constexpr const std::array<uint8_t, 64>& kZigzagScan = lumacore::kZigzagToNatural;
extern const std::array<uint8_t, 64> kAlternateHorizontalScan;  // intra, AC predicted from above
extern const std::array<uint8_t, 64> kAlternateVerticalScan;    // intra, AC predicted from the left

inline constexpr int kCoefMin = -2048;
inline constexpr int kCoefMax = 2047;

inline int Clamp(int v, int lo, int hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}
inline int ClampCoef(int v) {
    return Clamp(v, kCoefMin, kCoefMax);
}

// Decodes (last, run, level) events with the intra or inter TCOEF table from scan position `start` until
// an event with last = 1, storing each level at its natural position in `levels`. Only the positions set
// in `*written` (bit p for natural position p) are stored, each with a non-zero level; the others are
// left as they were, so the caller need not clear the block. Returns lumStsNoErr or lumStsMP4VLCCodeErr
// (unknown code, missing marker, zero fixed-length level, run past position 63).
LumStatus DecodeTcoef(BitReader& bits, bool intra, const uint8_t* scan, int start, Lum16s levels[64],
                      uint64_t* written);

// H.263 inverse quantisation (no matrix): (2|L| + 1) * QP, less one for an even QP, with L's sign.
inline int DequantH263(int level, int qp) {
    if (level == 0) return 0;
    const int mag = (2 * (level < 0 ? -level : level) + 1) * qp - ((qp & 1) == 0 ? 1 : 0);
    return ClampCoef(level < 0 ? -mag : mag);
}

// The same for a non-zero level, with 2 QP and the constant term (QP, less one when even) prepared once a
// block.
inline Lum16s DequantH263NonZero(int level, int twoQp, int qpTerm) {
    const int mag = (level < 0 ? -level : level) * twoQp + qpTerm;
    return static_cast<Lum16s>(level < 0 ? (mag > 2048 ? kCoefMin : -mag)
                                         : (mag > kCoefMax ? kCoefMax : mag));
}

// The inverse DCT of a block dequantised without a matrix, `nonZero` marking its non-zero coefficients:
// blocks coded only in their first row or first column take the short forms, the others `idct`.
inline void InverseDctSparse(Lum16s block[64], uint64_t nonZero, void (*idct)(Lum16s block[64])) {
    constexpr uint64_t kFirstColumn = 0x0101010101010101;
    if ((nonZero & ~uint64_t{0xFF}) == 0)
        c::InverseDct8x8FirstRow(block);
    else if ((nonZero & ~kFirstColumn) == 0)
        c::InverseDct8x8FirstColumn(block);
    else
        idct(block);
}

// Mismatch control of matrix quantisation: when the coefficients sum to an even number, the last one
// moves by one towards odd parity.
void MismatchControl(int coef[64]);

}  // namespace lumacore::mpeg4

#endif
