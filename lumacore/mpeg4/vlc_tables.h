// Variable-length codes of MPEG-4 Visual (ISO/IEC 14496-2 Annex B) used by the block and motion-vector
// decoders: the intra and inter TCOEF tables with their escape limits, the intra DC size tables and the
// motion vector difference table. The code lists are kept in the Annex's own order and spelling; the
// decoders look codes up in 4096-entry tables (12 bits of look-ahead) built from them at compile time.
#ifndef LUMACORE_MPEG4_VLC_TABLES_H
#define LUMACORE_MPEG4_VLC_TABLES_H

#include <array>
#include <cstdint>

namespace lumacore::mpeg4 {

// One code word, most significant bit first: `length` bits of `code`.
struct Vlc {
    uint16_t code;
    uint8_t length;
};

// A TCOEF event and its code; the sign of the level is one more bit after the code (1 = negative).
struct TcoefCode {
    uint8_t last;
    uint8_t run;
    uint8_t level;
    Vlc vlc;
};

inline constexpr int kTcoefCodeCount = 102;
extern const std::array<TcoefCode, kTcoefCodeCount> kIntraTcoefCodes;  // Table B-16
extern const std::array<TcoefCode, kTcoefCodeCount> kInterTcoefCodes;  // Table B-17

// The escape code shared by both TCOEF tables; it is followed by "0" (mode 1: level offset by LMAX),
// "10" (mode 2: run offset by RMAX + 1) or "11" (mode 3: last, 6-bit run, marker, 12-bit level, marker).
inline constexpr Vlc kTcoefEscape{0b0000011, 7};

// dct_dc_size_luminance and dct_dc_size_chrominance (Tables B-13, B-14), indexed by the size 0..12.
extern const std::array<Vlc, 13> kDcSizeLumaCodes;
extern const std::array<Vlc, 13> kDcSizeChromaCodes;

// motion_code magnitudes 0..32 (Table B-12); every non-zero magnitude is followed by a sign bit.
extern const std::array<Vlc, 33> kMvdCodes;

// The longest code of any table above, sign bits excluded: every look-up peeks this many bits.
inline constexpr int kLookupBits = 12;

// Decoding entry of a TCOEF table. `length` 0: no code starts with these bits; `escape`: the escape code.
struct TcoefEntry {
    uint8_t length;
    uint8_t escape;
    uint8_t last;
    uint8_t run;
    uint8_t level;
};

// Decoding entry of the DC size and motion code tables; `length` 0 when no code matches.
struct SmallEntry {
    uint8_t length;
    uint8_t value;
};

// The look-up tables, indexed by the next 12 bits of the stream. Defined here so that the decoders'
// per-code look-ups inline.
inline constexpr int kLookupSpan = 1 << kLookupBits;
extern const std::array<TcoefEntry, kLookupSpan> kIntraTcoefLookup;
extern const std::array<TcoefEntry, kLookupSpan> kInterTcoefLookup;
extern const std::array<SmallEntry, kLookupSpan> kDcSizeLumaLookup;
extern const std::array<SmallEntry, kLookupSpan> kDcSizeChromaLookup;
extern const std::array<SmallEntry, kLookupSpan> kMvdLookup;

// The TCOEF tables packed for the decoders' event loop, one word a code: bits 0-7 the code's length with
// its sign bit, 8-15 the run, bit 16 last, bits 24-31 the level's magnitude. 0 for the escape code and
// for bits no code starts with (the loop then takes the entries above).
inline constexpr uint32_t PackTcoef(const TcoefEntry& e) {
    return e.length == 0 || e.escape != 0 ? 0
                                          : uint32_t{e.length + 1u} | (uint32_t{e.run} << 8) |
                                                (uint32_t{e.last} << 16) | (uint32_t{e.level} << 24);
}
extern const std::array<uint32_t, kLookupSpan> kIntraTcoefPacked;
extern const std::array<uint32_t, kLookupSpan> kInterTcoefPacked;

// `next12` is the next 12 bits of the stream, right-aligned.
inline const TcoefEntry& LookupTcoef(bool intra, uint32_t next12) {
    return (intra ? kIntraTcoefLookup : kInterTcoefLookup)[next12 & (kLookupSpan - 1)];
}
inline const SmallEntry& LookupDcSize(bool chroma, uint32_t next12) {
    return (chroma ? kDcSizeChromaLookup : kDcSizeLumaLookup)[next12 & (kLookupSpan - 1)];
}
inline const SmallEntry& LookupMvd(uint32_t next12) {
    return kMvdLookup[next12 & (kLookupSpan - 1)];
}

// LMAX: the largest level the table codes for (last, run), 0 when the run has no code.
// RMAX: the longest run the table codes for (last, level), -1 when the level has no code.
int TcoefLmax(bool intra, int last, int run);
int TcoefRmax(bool intra, int last, int level);

}  // namespace lumacore::mpeg4

#endif
