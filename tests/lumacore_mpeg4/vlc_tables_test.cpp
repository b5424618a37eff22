// The Annex B code tables: sizes, prefix-freeness and Kraft sums (a dropped or mistyped code shows up as
// a wrong sum or a prefix clash), the derived escape limits, and the decoders' look-up tables.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "mpeg4/vlc_tables.h"

namespace {

namespace t = lumacore::mpeg4;

// Kraft sum in units of 2^-16 (all codes, sign bits included, are at most 13 bits long).
long KraftUnits(const std::vector<int>& lengths) {
    long sum = 0;
    for (int len : lengths) sum += 1L << (16 - len);
    return sum;
}

bool IsPrefix(t::Vlc a, t::Vlc b) {
    return a.length <= b.length && (b.code >> (b.length - a.length)) == a.code;
}

void ExpectPrefixFree(const std::vector<t::Vlc>& codes) {
    for (std::size_t i = 0; i < codes.size(); ++i)
        for (std::size_t j = 0; j < codes.size(); ++j) {
            if (i != j) {
                EXPECT_FALSE(IsPrefix(codes[i], codes[j])) << "codes " << i << " and " << j;
            }
        }
}

TEST(Mpeg4Tables, TcoefTablesAreCompletePrefixCodesWithTheEscape) {
    for (bool intra : {true, false}) {
        const auto& table = intra ? t::kIntraTcoefCodes : t::kInterTcoefCodes;
        ASSERT_EQ(table.size(), 102u);
        std::vector<t::Vlc> codes{t::kTcoefEscape};
        std::vector<int> lengths{t::kTcoefEscape.length};
        int lastCount = 0;
        for (const auto& c : table) {
            codes.push_back(c.vlc);
            lengths.push_back(c.vlc.length);
            lastCount += c.last;
            EXPECT_LE(c.vlc.length, t::kLookupBits);
        }
        ExpectPrefixFree(codes);
        // Only the nine-zero prefix is left unused: 511/512.
        EXPECT_EQ(KraftUnits(lengths), 65536 - 128) << (intra ? "intra" : "inter");
        EXPECT_EQ(lastCount, intra ? 35 : 44);
    }
}

TEST(Mpeg4Tables, DcSizeAndMotionCodeTables) {
    std::vector<t::Vlc> luma(t::kDcSizeLumaCodes.begin(), t::kDcSizeLumaCodes.end());
    std::vector<t::Vlc> chroma(t::kDcSizeChromaCodes.begin(), t::kDcSizeChromaCodes.end());
    std::vector<t::Vlc> mvd(t::kMvdCodes.begin(), t::kMvdCodes.end());
    ExpectPrefixFree(luma);
    ExpectPrefixFree(chroma);
    ExpectPrefixFree(mvd);
    std::vector<int> lumaLengths, chromaLengths, mvdLengths;
    for (auto v : luma) lumaLengths.push_back(v.length);
    for (auto v : chroma) chromaLengths.push_back(v.length);
    for (std::size_t i = 0; i < mvd.size(); ++i) {
        mvdLengths.push_back(mvd[i].length + (i == 0 ? 0 : 1));  // sign bit
        if (i > 0) mvdLengths.push_back(mvd[i].length + 1);
    }
    EXPECT_EQ(KraftUnits(lumaLengths), 65536 - 32);    // 2047/2048
    EXPECT_EQ(KraftUnits(chromaLengths), 65536 - 16);  // 4095/4096
    EXPECT_EQ(KraftUnits(mvdLengths), 65536 - 32);     // 2047/2048, 65 codes
    EXPECT_EQ(mvdLengths.size(), 65u);
}

// Tables B-19 to B-22 as the Annex prints them.
TEST(Mpeg4Tables, EscapeLimitsMatchTheAnnex) {
    struct Range {
        int from, to, value;
    };
    auto check = [](bool intra, int last, bool lmax, std::vector<Range> ranges) {
        for (const Range& r : ranges)
            for (int i = r.from; i <= r.to; ++i)
                EXPECT_EQ(lmax ? t::TcoefLmax(intra, last, i) : t::TcoefRmax(intra, last, i), r.value)
                    << (intra ? "intra" : "inter") << " last " << last << (lmax ? " run " : " level ") << i;
    };
    check(true, 0, true,
          {{0, 0, 27}, {1, 1, 10}, {2, 2, 5}, {3, 3, 4}, {4, 7, 3}, {8, 9, 2}, {10, 14, 1}, {15, 63, 0}});
    check(true, 1, true, {{0, 0, 8}, {1, 1, 3}, {2, 6, 2}, {7, 20, 1}, {21, 63, 0}});
    check(false, 0, true,
          {{0, 0, 12}, {1, 1, 6}, {2, 2, 4}, {3, 6, 3}, {7, 10, 2}, {11, 26, 1}, {27, 63, 0}});
    check(false, 1, true, {{0, 0, 3}, {1, 1, 2}, {2, 40, 1}, {41, 63, 0}});
    check(true, 0, false, {{1, 1, 14}, {2, 2, 9}, {3, 3, 7}, {4, 4, 3}, {5, 5, 2}, {6, 10, 1}, {11, 27, 0}});
    check(true, 1, false, {{1, 1, 20}, {2, 2, 6}, {3, 3, 1}, {4, 8, 0}});
    check(false, 0, false, {{1, 1, 26}, {2, 2, 10}, {3, 3, 6}, {4, 4, 2}, {5, 6, 1}, {7, 12, 0}});
    check(false, 1, false, {{1, 1, 40}, {2, 2, 1}, {3, 3, 0}});
}

TEST(Mpeg4Tables, LookupFindsEveryCodeAndRejectsTwelveZeros) {
    for (bool intra : {true, false}) {
        for (const auto& c : intra ? t::kIntraTcoefCodes : t::kInterTcoefCodes) {
            // Any continuation after the code decodes to the same entry.
            for (uint32_t tail : {0u, (1u << (12 - c.vlc.length)) - 1}) {
                const auto& e = t::LookupTcoef(intra, (uint32_t{c.vlc.code} << (12 - c.vlc.length)) | tail);
                EXPECT_EQ(e.length, c.vlc.length);
                EXPECT_EQ(e.escape, 0);
                EXPECT_EQ(e.last, c.last);
                EXPECT_EQ(e.run, c.run);
                EXPECT_EQ(e.level, c.level);
            }
        }
        EXPECT_EQ(t::LookupTcoef(intra, 0b000001100000).escape, 1);
        EXPECT_EQ(t::LookupTcoef(intra, 0).length, 0);
        EXPECT_EQ(t::LookupTcoef(intra, 0b000000000111).length, 0);
    }
    for (std::size_t size = 0; size < 13; ++size) {
        const auto& l = t::LookupDcSize(
            false, uint32_t{t::kDcSizeLumaCodes[size].code} << (12 - t::kDcSizeLumaCodes[size].length));
        EXPECT_EQ(l.value, size);
        const auto& c = t::LookupDcSize(
            true, uint32_t{t::kDcSizeChromaCodes[size].code} << (12 - t::kDcSizeChromaCodes[size].length));
        EXPECT_EQ(c.value, size);
    }
    EXPECT_EQ(t::LookupDcSize(false, 0).length, 0);
    EXPECT_EQ(t::LookupDcSize(true, 0).length, 0);
    for (std::size_t m = 0; m < 33; ++m)
        EXPECT_EQ(t::LookupMvd(uint32_t{t::kMvdCodes[m].code} << (12 - t::kMvdCodes[m].length)).value, m);
    EXPECT_EQ(t::LookupMvd(0).length, 0);
    EXPECT_EQ(t::LookupMvd(1).length, 0);
}

}  // namespace
