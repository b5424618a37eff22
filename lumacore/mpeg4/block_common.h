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
#include "mpeg4/vlc_tables.h"

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

// The escape code at a position (its three modes), out of line: the event loop decodes the table codes
// inline and takes the position back by value, so that its own stays in registers. `ok` false for a bad
// escape (unknown code after it, missing marker, zero fixed-length level).
struct EscapedEvent {
    BitReader bits;
    int last;
    int run;
    int level;  // signed
    bool ok;
};
EscapedEvent ReadEscapedEvent(BitReader bits, bool intra);

// What the event loop stores for a level: the level itself (`Table` from a code's magnitude and sign,
// `Escaped` for an escaped level), or a value derived from it.
struct StoreLevel {
    static Lum16s Table(int magnitude, bool negative) {
        return static_cast<Lum16s>(negative ? -magnitude : magnitude);
    }
    static Lum16s Escaped(int level) { return static_cast<Lum16s>(level); }
};

// Decodes (last, run, level) events with the intra or inter TCOEF table from scan position `start` until
// an event with last = 1, storing `store`'s value of each level at its natural position in `out`. Only the
// positions set in `*written` (bit p for natural position p) are stored, each with a non-zero level; the
// others are left as they were. Returns lumStsNoErr or lumStsMP4VLCCodeErr (unknown code, missing marker,
// zero fixed-length level, run past position 63); on an error `bits` is left as it was.
template <typename Store>
[[gnu::always_inline]] inline LumStatus DecodeTcoefWith(BitReader& bits, bool intra, const uint8_t* scan,
                                                        int start, Lum16s out[64], uint64_t* written,
                                                        const Store& store) {
    const TcoefEntry* table = intra ? kIntraTcoefLookup.data() : kInterTcoefLookup.data();
    const uint32_t* packed = intra ? kIntraTcoefPacked.data() : kInterTcoefPacked.data();
    BitReader r = bits;
    int pos = start;
    uint64_t mask = 0;
    for (;;) {
        // A table code and its sign bit from one window (12 + 1 bits at most, bit offset 7 at most).
        const uint32_t w = r.Window();
        const uint32_t p = packed[w >> (32 - kLookupBits)];
        int last, run;
        Lum16s value;
        if (p != 0) [[likely]] {
            const int length = static_cast<int>(p & 0xFF);
            value = store.Table(static_cast<int>(p >> 24), ((w >> (32 - length)) & 1) != 0);
            run = static_cast<int>((p >> 8) & 0xFF);
            last = static_cast<int>((p >> 16) & 1);
            r.Skip(length);
        } else {
            if (table[w >> (32 - kLookupBits)].length == 0) return lumStsMP4VLCCodeErr;
            const EscapedEvent x = ReadEscapedEvent(r, intra);
            if (!x.ok) return lumStsMP4VLCCodeErr;
            r = x.bits;
            last = x.last;
            run = x.run;
            value = store.Escaped(x.level);
        }
        pos += run;
        if (pos > 63) return lumStsMP4VLCCodeErr;
        const int natural = scan[pos];
        out[natural] = value;
        mask |= uint64_t{1} << natural;
        ++pos;
        // After position 63 the next event fails at the check above (or as a bad code) without writing.
        if (last != 0) break;
    }
    bits = r;
    *written = mask;
    return lumStsNoErr;
}

// DecodeTcoefWith storing the levels themselves.
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

// The event loop's store of H.263 inverse quantisation, 2 QP and the constant term prepared once a block.
// A table code's level is at most 27 (intra) or 12 (inter), so 27 * 62 + 31 stays inside [-2048, 2047]
// and needs no clamping; escaped levels do.
struct StoreDequantH263 {
    int twoQp;
    int qpTerm;
    Lum16s Table(int magnitude, bool negative) const {
        const int mag = magnitude * twoQp + qpTerm;
        return static_cast<Lum16s>(negative ? -mag : mag);
    }
    Lum16s Escaped(int level) const { return DequantH263NonZero(level, twoQp, qpTerm); }
};

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
