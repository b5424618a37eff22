// The code lists of ISO/IEC 14496-2 Annex B and the look-up tables built from them at compile time.
#include "mpeg4/vlc_tables.h"

#include <algorithm>

namespace lumacore::mpeg4 {
namespace {

// A code as the Annex prints it: binary digits, blanks ignored.
constexpr Vlc B(const char* bits) {
    Vlc v{0, 0};
    for (const char* p = bits; *p != '\0'; ++p) {
        if (*p == ' ') continue;
        v.code = static_cast<uint16_t>((v.code << 1) | (*p == '1' ? 1 : 0));
        ++v.length;
    }
    return v;
}

// Table B-16: intra TCOEF, by last, run, level. The sign bit follows each code.
constexpr std::array<TcoefCode, kTcoefCodeCount> kIntra = {{
    {0, 0, 1, B("10")},
    {0, 0, 2, B("110")},
    {0, 0, 3, B("1111")},
    {0, 0, 4, B("0110 1")},
    {0, 0, 5, B("0110 0")},
    {0, 0, 6, B("0101 01")},
    {0, 0, 7, B("0100 11")},
    {0, 0, 8, B("0100 10")},
    {0, 0, 9, B("0010 111")},
    {0, 0, 10, B("0001 1111")},
    {0, 0, 11, B("0001 1110")},
    {0, 0, 12, B("0001 1101")},
    {0, 0, 13, B("0001 0010 1")},
    {0, 0, 14, B("0001 0010 0")},
    {0, 0, 15, B("0001 0001 1")},
    {0, 0, 16, B("0001 0000 1")},
    {0, 0, 17, B("0000 1000 01")},
    {0, 0, 18, B("0000 1000 00")},
    {0, 0, 19, B("0000 0011 11")},
    {0, 0, 20, B("0000 0011 10")},
    {0, 0, 21, B("0000 0000 111")},
    {0, 0, 22, B("0000 0000 110")},
    {0, 0, 23, B("0000 0100 000")},
    {0, 0, 24, B("0000 0100 001")},
    {0, 0, 25, B("0000 0101 0000")},
    {0, 0, 26, B("0000 0101 0001")},
    {0, 0, 27, B("0000 0101 0010")},
    {0, 1, 1, B("1110")},
    {0, 1, 2, B("0101 00")},
    {0, 1, 3, B("0010 110")},
    {0, 1, 4, B("0001 1100")},
    {0, 1, 5, B("0001 0000 0")},
    {0, 1, 6, B("0000 1111 1")},
    {0, 1, 7, B("0000 0011 01")},
    {0, 1, 8, B("0000 0100 010")},
    {0, 1, 9, B("0000 0101 0011")},
    {0, 1, 10, B("0000 0101 0101")},
    {0, 2, 1, B("0101 1")},
    {0, 2, 2, B("0010 101")},
    {0, 2, 3, B("0000 1111 0")},
    {0, 2, 4, B("0000 0011 00")},
    {0, 2, 5, B("0000 0101 0110")},
    {0, 3, 1, B("0100 01")},
    {0, 3, 2, B("0001 1011")},
    {0, 3, 3, B("0000 1110 1")},
    {0, 3, 4, B("0000 0010 11")},
    {0, 4, 1, B("0100 00")},
    {0, 4, 2, B("0001 0001 0")},
    {0, 4, 3, B("0000 0010 10")},
    {0, 5, 1, B("0011 01")},
    {0, 5, 2, B("0000 1110 0")},
    {0, 5, 3, B("0000 0010 00")},
    {0, 6, 1, B("0010 010")},
    {0, 6, 2, B("0000 1101 1")},
    {0, 6, 3, B("0000 0101 0100")},
    {0, 7, 1, B("0010 100")},
    {0, 7, 2, B("0000 1101 0")},
    {0, 7, 3, B("0000 0101 0111")},
    {0, 8, 1, B("0001 1001")},
    {0, 8, 2, B("0000 0010 01")},
    {0, 9, 1, B("0001 1000")},
    {0, 9, 2, B("0000 0100 011")},
    {0, 10, 1, B("0001 0111")},
    {0, 11, 1, B("0000 1100 1")},
    {0, 12, 1, B("0000 1100 0")},
    {0, 13, 1, B("0000 0001 11")},
    {0, 14, 1, B("0000 0101 1000")},
    {1, 0, 1, B("0111")},
    {1, 0, 2, B("0011 00")},
    {1, 0, 3, B("0001 0110")},
    {1, 0, 4, B("0000 1011 1")},
    {1, 0, 5, B("0000 0001 10")},
    {1, 0, 6, B("0000 0000 101")},
    {1, 0, 7, B("0000 0000 100")},
    {1, 0, 8, B("0000 0101 1001")},
    {1, 1, 1, B("0011 11")},
    {1, 1, 2, B("0000 1011 0")},
    {1, 1, 3, B("0000 0001 01")},
    {1, 2, 1, B("0011 10")},
    {1, 2, 2, B("0000 0001 00")},
    {1, 3, 1, B("0010 001")},
    {1, 3, 2, B("0000 0100 100")},
    {1, 4, 1, B("0010 000")},
    {1, 4, 2, B("0000 0100 101")},
    {1, 5, 1, B("0010 011")},
    {1, 5, 2, B("0000 0101 1010")},
    {1, 6, 1, B("0001 0101")},
    {1, 6, 2, B("0000 0101 1011")},
    {1, 7, 1, B("0001 0100")},
    {1, 8, 1, B("0001 0011")},
    {1, 9, 1, B("0001 1010")},
    {1, 10, 1, B("0000 1010 1")},
    {1, 11, 1, B("0000 1010 0")},
    {1, 12, 1, B("0000 1001 1")},
    {1, 13, 1, B("0000 1001 0")},
    {1, 14, 1, B("0000 1000 1")},
    {1, 15, 1, B("0000 0100 110")},
    {1, 16, 1, B("0000 0100 111")},
    {1, 17, 1, B("0000 0101 1100")},
    {1, 18, 1, B("0000 0101 1101")},
    {1, 19, 1, B("0000 0101 1110")},
    {1, 20, 1, B("0000 0101 1111")},
}};

// Table B-17: inter TCOEF (the H.263 table), by last, run, level.
constexpr std::array<TcoefCode, kTcoefCodeCount> kInter = {{
    {0, 0, 1, B("10")},
    {0, 0, 2, B("1111")},
    {0, 0, 3, B("0101 01")},
    {0, 0, 4, B("0010 111")},
    {0, 0, 5, B("0001 1111")},
    {0, 0, 6, B("0001 0010 1")},
    {0, 0, 7, B("0001 0010 0")},
    {0, 0, 8, B("0000 1000 01")},
    {0, 0, 9, B("0000 1000 00")},
    {0, 0, 10, B("0000 0000 111")},
    {0, 0, 11, B("0000 0000 110")},
    {0, 0, 12, B("0000 0100 000")},
    {0, 1, 1, B("110")},
    {0, 1, 2, B("0101 00")},
    {0, 1, 3, B("0001 1110")},
    {0, 1, 4, B("0000 0011 11")},
    {0, 1, 5, B("0000 0100 001")},
    {0, 1, 6, B("0000 0101 0000")},
    {0, 2, 1, B("1110")},
    {0, 2, 2, B("0001 1101")},
    {0, 2, 3, B("0000 0011 10")},
    {0, 2, 4, B("0000 0101 0001")},
    {0, 3, 1, B("0110 1")},
    {0, 3, 2, B("0001 0001 1")},
    {0, 3, 3, B("0000 0011 01")},
    {0, 4, 1, B("0110 0")},
    {0, 4, 2, B("0001 0001 0")},
    {0, 4, 3, B("0000 0101 0010")},
    {0, 5, 1, B("0101 1")},
    {0, 5, 2, B("0000 0011 00")},
    {0, 5, 3, B("0000 0101 0011")},
    {0, 6, 1, B("0100 11")},
    {0, 6, 2, B("0000 0010 11")},
    {0, 6, 3, B("0000 0101 0100")},
    {0, 7, 1, B("0100 10")},
    {0, 7, 2, B("0000 0010 10")},
    {0, 8, 1, B("0100 01")},
    {0, 8, 2, B("0000 0010 01")},
    {0, 9, 1, B("0100 00")},
    {0, 9, 2, B("0000 0010 00")},
    {0, 10, 1, B("0010 110")},
    {0, 10, 2, B("0000 0101 0101")},
    {0, 11, 1, B("0010 101")},
    {0, 12, 1, B("0010 100")},
    {0, 13, 1, B("0001 1100")},
    {0, 14, 1, B("0001 1011")},
    {0, 15, 1, B("0001 0000 1")},
    {0, 16, 1, B("0001 0000 0")},
    {0, 17, 1, B("0000 1111 1")},
    {0, 18, 1, B("0000 1111 0")},
    {0, 19, 1, B("0000 1110 1")},
    {0, 20, 1, B("0000 1110 0")},
    {0, 21, 1, B("0000 1101 1")},
    {0, 22, 1, B("0000 1101 0")},
    {0, 23, 1, B("0000 0100 010")},
    {0, 24, 1, B("0000 0100 011")},
    {0, 25, 1, B("0000 0101 0110")},
    {0, 26, 1, B("0000 0101 0111")},
    {1, 0, 1, B("0111")},
    {1, 0, 2, B("0000 1100 1")},
    {1, 0, 3, B("0000 0000 101")},
    {1, 1, 1, B("0011 11")},
    {1, 1, 2, B("0000 0000 100")},
    {1, 2, 1, B("0011 10")},
    {1, 3, 1, B("0011 01")},
    {1, 4, 1, B("0011 00")},
    {1, 5, 1, B("0010 011")},
    {1, 6, 1, B("0010 010")},
    {1, 7, 1, B("0010 001")},
    {1, 8, 1, B("0010 000")},
    {1, 9, 1, B("0001 1010")},
    {1, 10, 1, B("0001 1001")},
    {1, 11, 1, B("0001 1000")},
    {1, 12, 1, B("0001 0111")},
    {1, 13, 1, B("0001 0110")},
    {1, 14, 1, B("0001 0101")},
    {1, 15, 1, B("0001 0100")},
    {1, 16, 1, B("0001 0011")},
    {1, 17, 1, B("0000 1100 0")},
    {1, 18, 1, B("0000 1011 1")},
    {1, 19, 1, B("0000 1011 0")},
    {1, 20, 1, B("0000 1010 1")},
    {1, 21, 1, B("0000 1010 0")},
    {1, 22, 1, B("0000 1001 1")},
    {1, 23, 1, B("0000 1001 0")},
    {1, 24, 1, B("0000 1000 1")},
    {1, 25, 1, B("0000 0001 11")},
    {1, 26, 1, B("0000 0001 10")},
    {1, 27, 1, B("0000 0001 01")},
    {1, 28, 1, B("0000 0001 00")},
    {1, 29, 1, B("0000 0100 100")},
    {1, 30, 1, B("0000 0100 101")},
    {1, 31, 1, B("0000 0100 110")},
    {1, 32, 1, B("0000 0100 111")},
    {1, 33, 1, B("0000 0101 1000")},
    {1, 34, 1, B("0000 0101 1001")},
    {1, 35, 1, B("0000 0101 1010")},
    {1, 36, 1, B("0000 0101 1011")},
    {1, 37, 1, B("0000 0101 1100")},
    {1, 38, 1, B("0000 0101 1101")},
    {1, 39, 1, B("0000 0101 1110")},
    {1, 40, 1, B("0000 0101 1111")},
}};

// Tables B-13 and B-14 by dct_dc_size 0..12, and Table B-12 by |motion_code| 0..32 (the sign bit that
// follows a non-zero motion code is not part of these codes).
// clang-format off
constexpr std::array<Vlc, 13> kDcLuma = {{
    B("011"),         B("11"),          B("10"),           B("010"),          // 0..3
    B("001"),         B("0001"),        B("0000 1"),       B("0000 01"),      // 4..7
    B("0000 001"),    B("0000 0001"),   B("0000 0000 1"),  B("0000 0000 01"), // 8..11
    B("0000 0000 001"),                                                       // 12
}};

constexpr std::array<Vlc, 13> kDcChroma = {{
    B("11"),          B("10"),          B("01"),           B("001"),          // 0..3
    B("0001"),        B("0000 1"),      B("0000 01"),      B("0000 001"),     // 4..7
    B("0000 0001"),   B("0000 0000 1"), B("0000 0000 01"), B("0000 0000 001"), // 8..11
    B("0000 0000 0001"),                                                      // 12
}};

constexpr std::array<Vlc, 33> kMvd = {{
    B("1"),            B("01"),            B("001"),           B("0001"),           // 0..3
    B("0000 11"),      B("0000 101"),      B("0000 100"),      B("0000 011"),       // 4..7
    B("0000 0101 1"),  B("0000 0101 0"),   B("0000 0100 1"),   B("0000 0100 01"),   // 8..11
    B("0000 0100 00"), B("0000 0011 11"),  B("0000 0011 10"),  B("0000 0011 01"),   // 12..15
    B("0000 0011 00"), B("0000 0010 11"),  B("0000 0010 10"),  B("0000 0010 01"),   // 16..19
    B("0000 0010 00"), B("0000 0001 11"),  B("0000 0001 10"),  B("0000 0001 01"),   // 20..23
    B("0000 0001 00"), B("0000 0000 111"), B("0000 0000 110"), B("0000 0000 101"),  // 24..27
    B("0000 0000 100"), B("0000 0000 011"), B("0000 0000 010"), B("0000 0000 0011"), // 28..31
    B("0000 0000 0010"),                                                             // 32
}};
// clang-format on

constexpr int kSpan = kLookupSpan;

template <std::size_t N>
constexpr std::array<TcoefEntry, kSpan> BuildTcoef(const std::array<TcoefCode, N>& codes) {
    std::array<TcoefEntry, kSpan> table{};
    for (const TcoefCode& c : codes) {
        const int shift = kLookupBits - c.vlc.length;
        for (int i = c.vlc.code << shift; i < (c.vlc.code + 1) << shift; ++i)
            table[static_cast<std::size_t>(i)] = {c.vlc.length, 0, c.last, c.run, c.level};
    }
    const int shift = kLookupBits - kTcoefEscape.length;
    for (int i = kTcoefEscape.code << shift; i < (kTcoefEscape.code + 1) << shift; ++i)
        table[static_cast<std::size_t>(i)] = {kTcoefEscape.length, 1, 0, 0, 0};
    return table;
}

template <std::size_t N>
constexpr std::array<SmallEntry, kSpan> BuildSmall(const std::array<Vlc, N>& codes) {
    std::array<SmallEntry, kSpan> table{};
    for (std::size_t value = 0; value < N; ++value) {
        const int shift = kLookupBits - codes[value].length;
        for (int i = codes[value].code << shift; i < (codes[value].code + 1) << shift; ++i)
            table[static_cast<std::size_t>(i)] = {codes[value].length, static_cast<uint8_t>(value)};
    }
    return table;
}

constexpr std::array<uint32_t, kSpan> Pack(const std::array<TcoefEntry, kSpan>& entries) {
    std::array<uint32_t, kSpan> packed{};
    for (std::size_t i = 0; i < entries.size(); ++i) packed[i] = PackTcoef(entries[i]);
    return packed;
}

// Limits by [last][run] and [last][level]; runs reach 40 and levels 27 in the tables.
struct Limits {
    std::array<std::array<int8_t, 64>, 2> lmax{};
    std::array<std::array<int8_t, 64>, 2> rmax{};
};

constexpr Limits BuildLimits(const std::array<TcoefCode, kTcoefCodeCount>& codes) {
    Limits l{};
    for (auto& row : l.rmax) row.fill(-1);
    for (const TcoefCode& c : codes) {
        l.lmax[c.last][c.run] = std::max<int8_t>(l.lmax[c.last][c.run], static_cast<int8_t>(c.level));
        l.rmax[c.last][c.level] = std::max<int8_t>(l.rmax[c.last][c.level], static_cast<int8_t>(c.run));
    }
    return l;
}

constexpr Limits kIntraLimits = BuildLimits(kIntra);
constexpr Limits kInterLimits = BuildLimits(kInter);

}  // namespace

const std::array<TcoefCode, kTcoefCodeCount> kIntraTcoefCodes = kIntra;
const std::array<TcoefCode, kTcoefCodeCount> kInterTcoefCodes = kInter;
const std::array<Vlc, 13> kDcSizeLumaCodes = kDcLuma;
const std::array<Vlc, 13> kDcSizeChromaCodes = kDcChroma;
const std::array<Vlc, 33> kMvdCodes = kMvd;
constinit const std::array<TcoefEntry, kLookupSpan> kIntraTcoefLookup = BuildTcoef(kIntra);
constinit const std::array<TcoefEntry, kLookupSpan> kInterTcoefLookup = BuildTcoef(kInter);
constinit const std::array<uint32_t, kLookupSpan> kIntraTcoefPacked = Pack(BuildTcoef(kIntra));
constinit const std::array<uint32_t, kLookupSpan> kInterTcoefPacked = Pack(BuildTcoef(kInter));
constinit const std::array<SmallEntry, kLookupSpan> kDcSizeLumaLookup = BuildSmall(kDcLuma);
constinit const std::array<SmallEntry, kLookupSpan> kDcSizeChromaLookup = BuildSmall(kDcChroma);
constinit const std::array<SmallEntry, kLookupSpan> kMvdLookup = BuildSmall(kMvd);

int TcoefLmax(bool intra, int last, int run) {
    if (run < 0 || run > 63) return 0;
    return (intra ? kIntraLimits : kInterLimits).lmax[last != 0][static_cast<std::size_t>(run)];
}

int TcoefRmax(bool intra, int last, int level) {
    if (level < 0 || level > 63) return -1;
    return (intra ? kIntraLimits : kInterLimits).rmax[last != 0][static_cast<std::size_t>(level)];
}

}  // namespace lumacore::mpeg4
