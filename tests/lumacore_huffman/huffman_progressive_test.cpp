// Progressive Huffman coding: DC first/refine and AC first/refine scans, their statistics and the table
// builder. The main check is a full successive-approximation scan script over random blocks, coded with
// tables optimised from the statistics and decoded back to the original coefficients.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <random>
#include <vector>

#include "huffman_fixtures.h"

namespace huffman_test {
namespace {

using Stats = std::array<Lum32s, 256>;

struct Scan {
    int Ss, Se, Ah, Al;
};

// DC in two steps, then two spectral bands refined from Al = 2 down to 0.
const Scan kScript[] = {{0, 0, 0, 1}, {1, 5, 0, 2},  {6, 63, 0, 2}, {0, 0, 1, 0},
                        {1, 5, 2, 1}, {6, 63, 2, 1}, {1, 5, 1, 0},  {6, 63, 1, 0}};

// Builds a listing from statistics; the encoder and decoder tables made from it must be accepted.
struct OptimisedTables {
    explicit OptimisedTables(const Stats& stats) {
        EXPECT_EQ(lumiEncodeHuffmanRawTableInit_JPEG_8u(stats.data(), bits, vals), lumStsNoErr);
        enc = std::make_unique<EncodeTable>(bits, vals);
        dec = std::make_unique<DecodeTable>(bits, vals);
        EXPECT_EQ(enc->status(), lumStsNoErr);
        EXPECT_EQ(dec->status(), lumStsNoErr);
    }
    Lum8u bits[16] = {}, vals[256] = {};
    std::unique_ptr<EncodeTable> enc;
    std::unique_ptr<DecodeTable> dec;
};

// Encodes one scan over all blocks (statistics first, then the optimised table) and decodes it into
// `coefs`. Returns the stream length.
int RunScan(const Scan& s, const std::vector<Block>& blocks, std::vector<Block>& coefs) {
    const bool dc = s.Ss == 0;
    const int n = static_cast<int>(blocks.size());
    Stats stats{};
    EncodeState state;
    Lum16s lastDc = 0;
    for (int b = 0; b <= n; ++b) {
        const Lum16s* src = b < n ? blocks[static_cast<std::size_t>(b)].data() : nullptr;
        LumStatus st = lumStsNoErr;
        if (dc && s.Ah == 0 && src)
            st = lumiGetHuffmanStatistics8x8_DCFirst_JPEG_16s_C1(src, stats.data(), &lastDc, s.Al);
        if (!dc && s.Ah == 0)
            st = lumiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1(src, stats.data(), s.Ss, s.Se, s.Al,
                                                                 state.get(), b == n);
        if (!dc && s.Ah != 0)
            st = lumiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1(src, stats.data(), s.Ss, s.Se, s.Al,
                                                                  state.get(), b == n);
        EXPECT_EQ(st, lumStsNoErr) << "statistics, block " << b;
    }
    if (dc && s.Ah != 0) stats[0] = 1;  // DC refinement codes no symbols; any table will do
    OptimisedTables tables(stats);

    std::vector<Lum8u> out(static_cast<std::size_t>(n) * 160 + 64, 0);
    int pos = 0;
    lastDc = 0;
    lumiEncodeHuffmanStateInit_JPEG_8u(state.get());
    const int dstLen = static_cast<int>(out.size());
    for (int b = 0; b <= n; ++b) {
        const int flush = b == n;
        const Lum16s* src = b < n ? blocks[static_cast<std::size_t>(b)].data() : nullptr;
        LumStatus st;
        if (dc && s.Ah == 0)
            st = lumiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1(src, out.data(), dstLen, &pos, &lastDc, s.Al,
                                                            tables.enc->get(), state.get(), flush);
        else if (dc)
            st = lumiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1(src, out.data(), dstLen, &pos, s.Al, state.get(),
                                                             flush);
        else if (s.Ah == 0)
            st = lumiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(src, out.data(), dstLen, &pos, s.Ss, s.Se, s.Al,
                                                            tables.enc->get(), state.get(), flush);
        else
            st = lumiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1(src, out.data(), dstLen, &pos, s.Ss, s.Se, s.Al,
                                                             tables.enc->get(), state.get(), flush);
        EXPECT_EQ(st, lumStsNoErr) << "encode, block " << b;
    }
    const int len = pos;

    DecodeState dstate;
    int rpos = 0, marker = 0;
    lastDc = 0;
    for (int b = 0; b < n; ++b) {
        Lum16s* dst = coefs[static_cast<std::size_t>(b)].data();
        LumStatus st;
        if (dc && s.Ah == 0)
            st = lumiDecodeHuffman8x8_DCFirst_JPEG_1u16s_C1(out.data(), len, &rpos, dst, &lastDc, &marker,
                                                            s.Al, tables.dec->get(), dstate.get());
        else if (dc)
            st = lumiDecodeHuffman8x8_DCRefine_JPEG_1u16s_C1(out.data(), len, &rpos, dst, &marker, s.Al,
                                                             dstate.get());
        else if (s.Ah == 0)
            st = lumiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(out.data(), len, &rpos, dst, &marker, s.Ss, s.Se,
                                                            s.Al, tables.dec->get(), dstate.get());
        else
            st = lumiDecodeHuffman8x8_ACRefine_JPEG_1u16s_C1(out.data(), len, &rpos, dst, &marker, s.Ss, s.Se,
                                                             s.Al, tables.dec->get(), dstate.get());
        EXPECT_EQ(st, lumStsNoErr) << "decode, block " << b;
    }
    EXPECT_EQ(rpos, len);
    return len;
}

// The coefficients after scans down to bit position Al: T.81 keeps the magnitude's bits above Al.
Lum16s Truncated(int v, int Al) {
    return static_cast<Lum16s>(v < 0 ? -((-v) >> Al << Al) : v >> Al << Al);
}

TEST(HuffmanProgressive, FullScanScriptRoundTrip) {
    std::mt19937 rng(99);
    std::vector<Block> blocks;
    for (int i = 0; i < 300; ++i) {
        // Runs of empty bands (long end-of-band runs), sparse and dense blocks.
        const double density =
            std::array{0.0, 0.0, 0.02, 0.1, 0.5, 0.95}[static_cast<std::size_t>(i / 7 % 6)];
        blocks.push_back(RandomBlock(rng, std::uniform_int_distribution<int>(-1024, 1023)(rng), density, 10));
    }
    std::vector<Block> coefs(blocks.size(), Block(64, 0));
    int total = 0;
    for (const Scan& s : kScript) {
        SCOPED_TRACE(testing::Message()
                     << "scan Ss " << s.Ss << " Se " << s.Se << " Ah " << s.Ah << " Al " << s.Al);
        total += RunScan(s, blocks, coefs);
        if (HasFailure()) return;
        // After each scan, the bands coded so far hold the coefficients down to that scan's Al.
        if (s.Ss == 1 && s.Se == 5 && s.Ah == 2) {
            for (std::size_t b = 0; b < blocks.size(); ++b)
                for (int k = 1; k <= 5; ++k) {
                    const int z = kZigzag[k];
                    ASSERT_EQ(coefs[b][static_cast<std::size_t>(z)],
                              Truncated(blocks[b][static_cast<std::size_t>(z)], 1))
                        << "block " << b << " position " << k;
                }
        }
    }
    for (std::size_t b = 0; b < blocks.size(); ++b) ASSERT_EQ(coefs[b], blocks[b]) << "block " << b;
    EXPECT_GT(total, 1000);
}

// An AC table of two codes: "0" is an end-of-band run of 4 to 7 blocks (symbol 0x20 and two bits),
// "1" is a coefficient of size 1.
TEST(HuffmanProgressiveDecode, EndOfBandRun) {
    const Lum8u bits[16] = {2}, vals[2] = {0x20, 0x01};
    DecodeTable table(bits, vals);
    // 0 01: run of 4 + 1 = 5 blocks (this one and 4 more); then 1 1: +1 at position 1; padding 1s.
    const Lum8u src[1] = {0x3F};
    DecodeState state;
    int pos = 0, marker = 0;
    std::vector<Block> out(7, Block(64, 77));
    std::vector<LumStatus> statuses;
    for (auto& b : out)
        statuses.push_back(lumiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(src, 1, &pos, b.data(), &marker, 1, 1,
                                                                      0, table.get(), state.get()));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(statuses[static_cast<std::size_t>(i)], lumStsNoErr);
        EXPECT_EQ(out[static_cast<std::size_t>(i)], Block(64, 77)) << "block " << i << " is inside the run";
    }
    EXPECT_EQ(statuses[5], lumStsNoErr);
    EXPECT_EQ(out[5][1], 1);
    EXPECT_EQ(out[5][0], 77);  // only the band is written
    // The padding 1-bits read as another coefficient code, then the data runs out.
    EXPECT_EQ(statuses[6], lumStsNoErr);
    const Lum16s more[64] = {};
    EXPECT_EQ(lumiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(src, 1, &pos, const_cast<Lum16s*>(more), &marker, 1,
                                                         1, 0, table.get(), state.get()),
              lumStsJpegOutOfBufErr);
}

// The end-of-band run is put once it reaches 32767 blocks: as symbol 0xE0 (14 more bits), and the rest
// at the flush. Counted by the statistics and checked by decoding.
TEST(HuffmanProgressive, LongestEndOfBandRun) {
    const int n = 32767 + 1000;
    Stats stats{};
    EncodeState state;
    const Block zero(64, 0);
    for (int b = 0; b < n; ++b) {
        ASSERT_EQ(lumiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1(zero.data(), stats.data(), 1, 63, 0,
                                                                  state.get(), 0),
                  lumStsNoErr);
        if (b == 32765) {
            ASSERT_EQ(stats[0xE0], 0);
        }
    }
    EXPECT_EQ(stats[0xE0], 1);
    ASSERT_EQ(
        lumiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1(nullptr, stats.data(), 1, 63, 0, state.get(), 1),
        lumStsNoErr);
    EXPECT_EQ(stats[0x90], 1);  // 1000 = 2^9 + 488
    int counted = 0;
    for (Lum32s c : stats) counted += c;
    EXPECT_EQ(counted, 2);

    stats[0x01] = 1;  // a coefficient symbol too, so that the table is more than the two runs
    OptimisedTables tables(stats);
    std::vector<Lum8u> out(64);
    int pos = 0;
    for (int b = 0; b <= n; ++b)
        ASSERT_EQ(
            lumiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(b < n ? zero.data() : nullptr, out.data(), 64, &pos, 1,
                                                       63, 0, tables.enc->get(), state.get(), b == n),
            lumStsNoErr);
    DecodeState dstate;
    int rpos = 0, marker = 0;
    Block got(64, 0);
    for (int b = 0; b < n; ++b)
        ASSERT_EQ(lumiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(out.data(), pos, &rpos, got.data(), &marker, 1,
                                                             63, 0, tables.dec->get(), dstate.get()),
                  lumStsNoErr);
    EXPECT_EQ(rpos, pos);
    EXPECT_EQ(got, zero);
}

// In a refinement scan the run and its correction bits go out once more than 937 bits wait: 14 blocks
// of 63 bits (882) and one of `m` bits.
TEST(HuffmanProgressive, CorrectionBitLimit) {
    Block all(64, 6);  // every coefficient already significant: one correction bit each at Al = 1
    for (int m : {55, 56}) {
        SCOPED_TRACE(m);
        Stats stats{};
        EncodeState state;
        for (int b = 0; b < 14; ++b)
            ASSERT_EQ(lumiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1(all.data(), stats.data(), 1, 63, 1,
                                                                       state.get(), 0),
                      lumStsNoErr);
        Block last(64, 0);
        for (int k = 1; k <= m; ++k) last[static_cast<std::size_t>(kZigzag[k])] = -6;
        ASSERT_EQ(lumiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1(last.data(), stats.data(), 1, 63, 1,
                                                                   state.get(), 0),
                  lumStsNoErr);
        EXPECT_EQ(stats[0x30], m == 56 ? 1 : 0);  // a run of 15 blocks
        ASSERT_EQ(
            lumiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1(nullptr, stats.data(), 1, 63, 1, state.get(), 1),
            lumStsNoErr);
        EXPECT_EQ(stats[0x30], 1);
    }
}

TEST(HuffmanProgressive, MagnitudeLimits) {
    struct Case {
        int coef;
        LumStatus encoder, statistics;
    };
    const Case cases[] = {{1023, lumStsNoErr, lumStsNoErr},
                          {-1024, lumStsNoErr, lumStsJpegCoefRangeErr},
                          {2047, lumStsNoErr, lumStsJpegCoefRangeErr},
                          {2048, lumStsJpegCoefRangeErr, lumStsJpegCoefRangeErr},
                          {-32768, lumStsJpegCoefRangeErr, lumStsJpegCoefRangeErr}};
    // A table with every AC symbol, so that only the range check can refuse.
    Stats all;
    all.fill(1);
    OptimisedTables tables(all);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.coef);
        Block b(64, 0);
        b[static_cast<std::size_t>(kZigzag[7])] = static_cast<Lum16s>(c.coef);
        EncodeState es, ss;
        std::vector<Lum8u> out(64);
        int pos = 0;
        Stats stats{};
        EXPECT_EQ(lumiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(b.data(), out.data(), 64, &pos, 1, 63, 0,
                                                             tables.enc->get(), es.get(), 0),
                  c.encoder);
        EXPECT_EQ(
            lumiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1(b.data(), stats.data(), 1, 63, 0, ss.get(), 0),
            c.statistics);
    }
    // DC first: a difference of more than 11 bits.
    Stats stats{};
    Lum16s last = 0;
    Block b(64, 0);
    b[0] = 2047;
    EXPECT_EQ(lumiGetHuffmanStatistics8x8_DCFirst_JPEG_16s_C1(b.data(), stats.data(), &last, 0), lumStsNoErr);
    EXPECT_EQ(stats[11], 1);
    b[0] = -2047;  // difference -4094: 12 bits
    EXPECT_EQ(lumiGetHuffmanStatistics8x8_DCFirst_JPEG_16s_C1(b.data(), stats.data(), &last, 0),
              lumStsJpegCoefRangeErr);
    EncodeState es;
    std::vector<Lum8u> out(64);
    int pos = 0;
    last = 2047;
    EXPECT_EQ(lumiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1(b.data(), out.data(), 64, &pos, &last, 0,
                                                         tables.enc->get(), es.get(), 0),
              lumStsJpegCoefRangeErr);
}

// Spectral ranges and bit positions are checked by every progressive function.
TEST(HuffmanProgressive, RangeChecks) {
    Stats all;
    all.fill(1);
    OptimisedTables tables(all);
    const Block b(64, 0);
    Block dst(64, 0);
    const Lum8u src[4] = {};
    std::vector<Lum8u> out(64);
    struct Args {
        int Ss, Se, Al;
        bool ok;
    };
    const Args cases[] = {{0, 5, 0, false},   {1, 64, 0, false},  {6, 5, 0, false},  {64, 64, 0, false},
                          {1, 63, 14, false}, {1, 63, -1, false}, {1, 63, 13, true}, {63, 63, 0, true}};
    for (const Args& a : cases) {
        SCOPED_TRACE(testing::Message() << a.Ss << " " << a.Se << " " << a.Al);
        const LumStatus want = a.ok ? lumStsNoErr : lumStsBadArgErr;
        DecodeState ds;
        EncodeState es;
        int pos = 0, marker = 0;
        Stats stats{};
        // A decoder with valid arguments runs out of this empty data instead.
        const LumStatus dwant = a.ok ? lumStsJpegOutOfBufErr : lumStsBadArgErr;
        EXPECT_EQ(lumiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(src, 0, &pos, dst.data(), &marker, a.Ss, a.Se,
                                                             a.Al, tables.dec->get(), ds.get()),
                  dwant);
        EXPECT_EQ(lumiDecodeHuffman8x8_ACRefine_JPEG_1u16s_C1(src, 0, &pos, dst.data(), &marker, a.Ss, a.Se,
                                                              a.Al, tables.dec->get(), ds.get()),
                  dwant);
        EXPECT_EQ(lumiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(b.data(), out.data(), 64, &pos, a.Ss, a.Se, a.Al,
                                                             tables.enc->get(), es.get(), 0),
                  want);
        EXPECT_EQ(lumiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1(b.data(), out.data(), 64, &pos, a.Ss, a.Se,
                                                              a.Al, tables.enc->get(), es.get(), 0),
                  want);
        EXPECT_EQ(lumiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1(b.data(), stats.data(), a.Ss, a.Se, a.Al,
                                                                  es.get(), 0),
                  want);
        EXPECT_EQ(lumiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1(b.data(), stats.data(), a.Ss, a.Se, a.Al,
                                                                   es.get(), 0),
                  want);
    }
    for (int Al : {-1, 14}) {
        SCOPED_TRACE(Al);
        DecodeState ds;
        EncodeState es;
        int pos = 0, marker = 0;
        Lum16s last = 0;
        Stats stats{};
        EXPECT_EQ(lumiDecodeHuffman8x8_DCFirst_JPEG_1u16s_C1(src, 4, &pos, dst.data(), &last, &marker, Al,
                                                             tables.dec->get(), ds.get()),
                  lumStsBadArgErr);
        EXPECT_EQ(
            lumiDecodeHuffman8x8_DCRefine_JPEG_1u16s_C1(src, 4, &pos, dst.data(), &marker, Al, ds.get()),
            lumStsBadArgErr);
        EXPECT_EQ(lumiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1(b.data(), out.data(), 64, &pos, &last, Al,
                                                             tables.enc->get(), es.get(), 0),
                  lumStsBadArgErr);
        EXPECT_EQ(
            lumiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1(b.data(), out.data(), 64, &pos, Al, es.get(), 0),
            lumStsBadArgErr);
        EXPECT_EQ(lumiGetHuffmanStatistics8x8_DCFirst_JPEG_16s_C1(b.data(), stats.data(), &last, Al),
                  lumStsBadArgErr);
    }
    // The DC decoders need at least one byte of data; DC first checks it before its other pointers.
    int pos = 0, marker = 0;
    Lum16s last = 0;
    DecodeState ds;
    EXPECT_EQ(lumiDecodeHuffman8x8_DCFirst_JPEG_1u16s_C1(src, 0, nullptr, dst.data(), &last, &marker, 0,
                                                         tables.dec->get(), ds.get()),
              lumStsSizeErr);
    EXPECT_EQ(lumiDecodeHuffman8x8_DCRefine_JPEG_1u16s_C1(src, 0, &pos, dst.data(), &marker, 0, ds.get()),
              lumStsSizeErr);
}

TEST(HuffmanRawTable, Construction) {
    Lum8u bits[16], vals[256];
    // One symbol in use: one code of length 1.
    Stats one{};
    one[0x42] = 1000;
    ASSERT_EQ(lumiEncodeHuffmanRawTableInit_JPEG_8u(one.data(), bits, vals), lumStsNoErr);
    EXPECT_EQ(bits[0], 1);
    for (int i = 1; i < 16; ++i) EXPECT_EQ(bits[i], 0);
    EXPECT_EQ(vals[0], 0x42);

    // Equal counts: of equal counts the higher symbol number is merged first, so symbol 4 joins the
    // reserved symbol and gets the longer code: lengths 2, 2, 2, 3 (and the reserved one 3, dropped).
    Stats four{};
    for (int s : {1, 2, 3, 4}) four[static_cast<std::size_t>(s)] = 5;
    ASSERT_EQ(lumiEncodeHuffmanRawTableInit_JPEG_8u(four.data(), bits, vals), lumStsNoErr);
    EXPECT_EQ(bits[1], 3);
    EXPECT_EQ(bits[2], 1);
    EXPECT_EQ(std::vector<int>(vals, vals + 4), (std::vector<int>{1, 2, 3, 4}));

    // Counts that make a deep tree are limited to 16 bits and still form a valid code.
    Stats fib{};
    Lum32s a = 1, b = 1;
    for (int s = 0; s < 30; ++s) {
        fib[static_cast<std::size_t>(s)] = a;
        const Lum32s c = a + b;
        a = b;
        b = c;
    }
    ASSERT_EQ(lumiEncodeHuffmanRawTableInit_JPEG_8u(fib.data(), bits, vals), lumStsNoErr);
    int count = 0;
    for (Lum8u n : bits) count += n;
    EXPECT_EQ(count, 30);
    EncodeTable enc(bits, vals);
    EXPECT_EQ(enc.status(), lumStsNoErr);

    // No symbol in use: an empty listing.
    Stats none{};
    ASSERT_EQ(lumiEncodeHuffmanRawTableInit_JPEG_8u(none.data(), bits, vals), lumStsNoErr);
    for (Lum8u n : bits) EXPECT_EQ(n, 0);

    EXPECT_EQ(lumiEncodeHuffmanRawTableInit_JPEG_8u(nullptr, bits, vals), lumStsNullPtrErr);
    EXPECT_EQ(lumiEncodeHuffmanRawTableInit_JPEG_8u(one.data(), nullptr, vals), lumStsNullPtrErr);
    EXPECT_EQ(lumiEncodeHuffmanRawTableInit_JPEG_8u(one.data(), bits, nullptr), lumStsNullPtrErr);
}

}  // namespace
}  // namespace huffman_test
