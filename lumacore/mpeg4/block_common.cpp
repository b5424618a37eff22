// Scans (ISO/IEC 14496-2 Figure 7-2), the TCOEF event loop with its three escape modes, and mismatch
// control.
#include "mpeg4/block_common.h"

#include "mpeg4/vlc_tables.h"

namespace lumacore::mpeg4 {

const std::array<uint8_t, 64> kAlternateHorizontalScan = {
    0,  1,  2,  3,  8,  9,  16, 17, 10, 11, 4,  5,  6,  7,  15, 14, 13, 12, 19, 18, 24, 25,
    32, 33, 26, 27, 20, 21, 22, 23, 28, 29, 30, 31, 34, 35, 40, 41, 48, 49, 42, 43, 36, 37,
    38, 39, 44, 45, 46, 47, 50, 51, 56, 57, 58, 59, 52, 53, 54, 55, 60, 61, 62, 63,
};

const std::array<uint8_t, 64> kAlternateVerticalScan = {
    0,  8,  16, 24, 1,  9,  2,  10, 17, 25, 32, 40, 48, 56, 57, 49, 41, 33, 26, 18, 3,  11,
    4,  12, 19, 27, 34, 42, 50, 58, 35, 43, 51, 59, 20, 28, 5,  13, 6,  14, 21, 29, 36, 44,
    52, 60, 37, 45, 53, 61, 22, 30, 7,  15, 23, 31, 38, 46, 54, 62, 39, 47, 55, 63,
};

namespace {

struct Event {
    int last;
    int run;
    int level;  // signed
};

// One table code and its sign bit; false for an unknown code or the escape code.
inline bool ReadTableEvent(BitReader& bits, const TcoefEntry* table, Event* e) {
    const uint32_t w = bits.Window();
    const TcoefEntry& t = table[w >> (32 - kLookupBits)];
    if (t.length == 0 || t.escape) return false;
    const bool negative = ((w << t.length) >> 31) != 0;
    bits.Skip(t.length + 1);
    *e = {t.last, t.run, negative ? -t.level : t.level};
    return true;
}

}  // namespace

[[gnu::noinline]] EscapedEvent ReadEscapedEvent(BitReader bits, bool intra) {
    const TcoefEntry* table = intra ? kIntraTcoefLookup.data() : kInterTcoefLookup.data();
    EscapedEvent out{bits, 0, 0, 0, false};
    BitReader& b = out.bits;
    Event e{};
    b.Skip(kTcoefEscape.length);
    if (b.Read(1) == 0) {  // mode 1: the level is offset by LMAX of its (last, run)
        if (!ReadTableEvent(b, table, &e)) return out;
        const int lmax = TcoefLmax(intra, e.last, e.run);
        e.level = e.level < 0 ? e.level - lmax : e.level + lmax;
    } else if (b.Read(1) == 0) {  // mode 2: the run is offset by RMAX of its (last, level) plus one
        if (!ReadTableEvent(b, table, &e)) return out;
        e.run += TcoefRmax(intra, e.last, e.level < 0 ? -e.level : e.level) + 1;
    } else {
        // Mode 3: last (1), run (6), marker, level (12, two's complement), marker.
        const uint32_t fields = b.Read(21);
        const int level12 = static_cast<int>((fields >> 1) & 0xFFF);
        if (((fields >> 13) & 1) == 0 || (fields & 1) == 0) return out;
        const int level = level12 >= 2048 ? level12 - 4096 : level12;
        if (level == 0) return out;
        e = {static_cast<int>(fields >> 20), static_cast<int>((fields >> 14) & 63), level};
    }
    out.last = e.last;
    out.run = e.run;
    out.level = e.level;
    out.ok = true;
    return out;
}

LumStatus DecodeTcoef(BitReader& bits, bool intra, const uint8_t* scan, int start, Lum16s levels[64],
                      uint64_t* written) {
    return DecodeTcoefWith(bits, intra, scan, start, levels, written, StoreLevel{});
}

void MismatchControl(int coef[64]) {
    int sum = 0;
    for (int i = 0; i < 64; ++i) sum += coef[i];
    if ((sum & 1) == 0) coef[63] += (coef[63] & 1) != 0 ? -1 : 1;
}

}  // namespace lumacore::mpeg4
