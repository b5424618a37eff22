// Baseline (sequential) Huffman block coding: the bit reader's byte handling (FF 00 stuffing, markers,
// the end of the data), exact bit patterns of the encoder and its flush, argument checks, and round trips
// of random blocks through the T.81 example tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <vector>

#include "huffman_fixtures.h"

namespace huffman_test {
namespace {

// A table of 255 codes of 8 bits: every code is one whole byte (00 to FE), so a stream built from it can
// be read byte by byte. The DC version gives category 8 for every code (the next byte is the
// difference); the AC version gives end of block for every code.
struct ByteTables {
    ByteTables() {
        Lum8u bits[16] = {0, 0, 0, 0, 0, 0, 0, 255};
        Lum8u dcVals[255], acVals[255];
        std::fill(std::begin(dcVals), std::end(dcVals), Lum8u{8});
        std::fill(std::begin(acVals), std::end(acVals), Lum8u{0});
        lumiDecodeHuffmanSpecInitAlloc_JPEG_8u(bits, dcVals, &dc);
        lumiDecodeHuffmanSpecInitAlloc_JPEG_8u(bits, acVals, &ac);
    }
    ~ByteTables() {
        lumiDecodeHuffmanSpecFree_JPEG_8u(dc);
        lumiDecodeHuffmanSpecFree_JPEG_8u(ac);
    }
    LumiDecodeHuffmanSpec* dc = nullptr;
    LumiDecodeHuffmanSpec* ac = nullptr;
};

// An 8-bit difference byte b: top bit set is b itself, top bit clear is b - 255 (T.81 F.2.2.1).
TEST(HuffmanBaselineDecode, ByteHandling) {
    struct Case {
        const char* what;
        std::vector<Lum8u> src;
        std::vector<LumStatus> statuses;  // one per block decoded
        std::vector<int> dc;              // the predictor after each block
        int endPos, endMarker;
    };
    const Case cases[] = {
        {"plain bytes", {0x00, 0x90, 0x00, 0x01, 0x02, 0x03}, {0, 0}, {0x90, 0x90 + 2 - 255}, 6, 0},
        {"FF 00 is the data byte FF", {0x00, 0xFF, 0x00, 0x00}, {0}, {0xFF}, 4, 0},
        {"FF D0 is a marker, read past", {0x00, 0xFF, 0xD0, 0x00}, {lumStsJpegOutOfBufErr}, {0}, 3, 0xD0},
        {"blocks after a marker use the bits held, then run out",
         {0x01, 0x82, 0x03, 0x04, 0x85, 0x06, 0xFF, 0xD0, 0x07, 0x88, 0x09},
         {0, 0, lumStsJpegOutOfBufErr, lumStsJpegOutOfBufErr},
         {0x82, 0x82 + 0x85, 0x82 + 0x85, 0x82 + 0x85},
         8,
         0xD0},
        {"FF as the last byte", {0x00, 0x80, 0x00, 0xFF}, {lumStsJpegOutOfBufErr}, {0}, 4, 0},
        {"empty data", {}, {lumStsJpegOutOfBufErr}, {0}, 0, 0},
        {"data ends inside the extra bits", {0x00}, {lumStsJpegOutOfBufErr}, {0}, 1, 0},
    };
    ByteTables tables;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DecodeState state;
        int pos = 0, marker = 0;
        Lum16s dc = 0;
        const Lum8u none = 0;
        const Lum8u* src = c.src.empty() ? &none : c.src.data();  // a valid pointer with length 0
        for (std::size_t i = 0; i < c.statuses.size(); ++i) {
            std::array<Lum16s, 64> block;
            block.fill(99);
            const LumStatus st =
                lumiDecodeHuffman8x8_JPEG_1u16s_C1(src, static_cast<int>(c.src.size()), &pos, block.data(),
                                                   &dc, &marker, tables.dc, tables.ac, state.get());
            EXPECT_EQ(st, c.statuses[i]) << "block " << i;
            EXPECT_EQ(dc, static_cast<Lum16s>(c.dc[i])) << "block " << i;
            if (st == lumStsNoErr) {
                EXPECT_EQ(block[0], dc);
                EXPECT_TRUE(std::all_of(block.begin() + 1, block.end(), [](Lum16s v) { return v == 0; }));
            }
        }
        EXPECT_EQ(pos, c.endPos);
        EXPECT_EQ(marker, c.endMarker);
    }
}

TEST(HuffmanBaselineDecode, ArgumentChecks) {
    DecodeTable dcT(DcLuminance()), acT(AcLuminance());
    DecodeState state;
    const Lum8u src[4] = {0x2B, 0, 0, 0};
    int pos = 0, marker = 0;
    Lum16s dc = 0, block[64] = {7};
    auto call = [&](const Lum8u* s, int len, int* p, Lum16s* b, Lum16s* d, int* m,
                    const LumiDecodeHuffmanSpec* t1, const LumiDecodeHuffmanSpec* t2,
                    LumiDecodeHuffmanState* st) {
        return lumiDecodeHuffman8x8_JPEG_1u16s_C1(s, len, p, b, d, m, t1, t2, st);
    };
    // The source pointer comes first, then its length (negative only), then the other pointers.
    EXPECT_EQ(call(nullptr, -1, &pos, block, &dc, &marker, dcT.get(), acT.get(), state.get()),
              lumStsNullPtrErr);
    EXPECT_EQ(call(src, -1, nullptr, block, &dc, &marker, dcT.get(), acT.get(), state.get()),
              lumStsBadArgErr);
    EXPECT_EQ(call(src, 4, nullptr, block, &dc, &marker, dcT.get(), acT.get(), state.get()),
              lumStsNullPtrErr);
    EXPECT_EQ(call(src, 4, &pos, nullptr, &dc, &marker, dcT.get(), acT.get(), state.get()), lumStsNullPtrErr);
    EXPECT_EQ(call(src, 4, &pos, block, nullptr, &marker, dcT.get(), acT.get(), state.get()),
              lumStsNullPtrErr);
    EXPECT_EQ(call(src, 4, &pos, block, &dc, nullptr, dcT.get(), acT.get(), state.get()), lumStsNullPtrErr);
    EXPECT_EQ(call(src, 4, &pos, block, &dc, &marker, nullptr, acT.get(), state.get()), lumStsNullPtrErr);
    EXPECT_EQ(call(src, 4, &pos, block, &dc, &marker, dcT.get(), nullptr, state.get()), lumStsNullPtrErr);
    EXPECT_EQ(call(src, 4, &pos, block, &dc, &marker, dcT.get(), acT.get(), nullptr), lumStsNullPtrErr);
    int negative = -1;
    EXPECT_EQ(call(src, 4, &negative, block, &dc, &marker, dcT.get(), acT.get(), state.get()),
              lumStsBadArgErr);
    EXPECT_EQ(block[0], 7);  // refused calls write nothing
    EXPECT_EQ(pos, 0);
    // A zero length is accepted: the data simply runs out.
    EXPECT_EQ(call(src, 0, &pos, block, &dc, &marker, dcT.get(), acT.get(), state.get()),
              lumStsJpegOutOfBufErr);
    EXPECT_EQ(call(src, 4, &pos, block, &dc, &marker, dcT.get(), acT.get(), state.get()), lumStsNoErr);
}

struct StdEncoder {
    EncodeTable dc{DcLuminance()}, ac{AcLuminance()};
    EncodeState state;
    std::vector<Lum8u> out = std::vector<Lum8u>(64 * 1024, 0xEE);
    int pos = 0;
    Lum16s lastDc = 0;
    LumStatus Encode(const Block& b) {
        return lumiEncodeHuffman8x8_JPEG_16s1u_C1(b.data(), out.data(), static_cast<int>(out.size()), &pos,
                                                  &lastDc, dc.get(), ac.get(), state.get(), 0);
    }
    LumStatus Flush() {
        return lumiEncodeHuffman8x8_JPEG_16s1u_C1(nullptr, out.data(), static_cast<int>(out.size()), &pos,
                                                  nullptr, nullptr, nullptr, state.get(), 1);
    }
};

// DC 5 after a predictor of 0: category 3 ("100"), bits "101", then EOB "1010", padded with 1-bits.
TEST(HuffmanBaselineEncode, AllZeroAcIsDcThenExactlyEob) {
    StdEncoder enc;
    Block b(64, 0);
    b[0] = 5;
    ASSERT_EQ(enc.Encode(b), lumStsNoErr);
    EXPECT_EQ(enc.lastDc, 5);
    EXPECT_EQ(enc.pos, 1);  // 10 bits: one whole byte so far
    ASSERT_EQ(enc.Flush(), lumStsNoErr);
    ASSERT_EQ(enc.pos, 2);
    EXPECT_EQ(enc.out[0], 0x96);
    EXPECT_EQ(enc.out[1], 0xBF);
    EXPECT_EQ(enc.out[2], 0xEE);
}

// A one-bit DC code and a two-bit EOB code leave 3 pending bits per block.
TEST(HuffmanBaselineEncode, FlushPadsWithOnes) {
    const Lum8u oneCode[16] = {1}, twoBit[16] = {0, 1}, sym0[1] = {0};
    EncodeTable dc(oneCode, sym0), ac(twoBit, sym0);
    EncodeState state;
    std::vector<Lum8u> out(8, 0xEE);
    int pos = 0;
    Lum16s last = 0;
    const Block zero(64, 0);
    auto flush = [&] {
        return lumiEncodeHuffman8x8_JPEG_16s1u_C1(nullptr, out.data(), 8, &pos, nullptr, nullptr, nullptr,
                                                  state.get(), 1);
    };
    // Nothing pending: nothing written.
    ASSERT_EQ(flush(), lumStsNoErr);
    EXPECT_EQ(pos, 0);
    ASSERT_EQ(lumiEncodeHuffman8x8_JPEG_16s1u_C1(zero.data(), out.data(), 8, &pos, &last, dc.get(), ac.get(),
                                                 state.get(), 0),
              lumStsNoErr);
    EXPECT_EQ(pos, 0);
    ASSERT_EQ(flush(), lumStsNoErr);
    ASSERT_EQ(pos, 1);
    EXPECT_EQ(out[0], 0x1F);  // "000" then five 1-bits
    // The flush cleared the state: a second one writes nothing.
    ASSERT_EQ(flush(), lumStsNoErr);
    EXPECT_EQ(pos, 1);
}

TEST(HuffmanBaselineEncode, ArgumentChecksAndFullBuffer) {
    StdEncoder enc;
    const Block b(64, 0);
    Lum8u* out = enc.out.data();
    auto call = [&](const Lum16s* s, Lum8u* d, int len, int* p, Lum16s* last, const LumiEncodeHuffmanSpec* t1,
                    const LumiEncodeHuffmanSpec* t2, LumiEncodeHuffmanState* st, int flush) {
        return lumiEncodeHuffman8x8_JPEG_16s1u_C1(s, d, len, p, last, t1, t2, st, flush);
    };
    int pos = 0;
    Lum16s last = 0;
    EXPECT_EQ(call(b.data(), nullptr, 0, &pos, &last, enc.dc.get(), enc.ac.get(), enc.state.get(), 0),
              lumStsNullPtrErr);
    EXPECT_EQ(call(b.data(), out, 0, nullptr, &last, enc.dc.get(), enc.ac.get(), enc.state.get(), 0),
              lumStsSizeErr);
    EXPECT_EQ(call(b.data(), out, 8, nullptr, &last, enc.dc.get(), enc.ac.get(), enc.state.get(), 0),
              lumStsNullPtrErr);
    EXPECT_EQ(call(b.data(), out, 8, &pos, &last, enc.dc.get(), enc.ac.get(), nullptr, 0), lumStsNullPtrErr);
    // A flush needs neither the block nor the tables ...
    EXPECT_EQ(call(nullptr, out, 8, &pos, nullptr, nullptr, nullptr, enc.state.get(), 1), lumStsNoErr);
    // ... a block does.
    EXPECT_EQ(call(nullptr, out, 8, &pos, &last, enc.dc.get(), enc.ac.get(), enc.state.get(), 0),
              lumStsNullPtrErr);
    EXPECT_EQ(call(b.data(), out, 8, &pos, nullptr, enc.dc.get(), enc.ac.get(), enc.state.get(), 0),
              lumStsNullPtrErr);
    EXPECT_EQ(call(b.data(), out, 8, &pos, &last, nullptr, enc.ac.get(), enc.state.get(), 0),
              lumStsNullPtrErr);
    EXPECT_EQ(call(b.data(), out, 8, &pos, &last, enc.dc.get(), nullptr, enc.state.get(), 0),
              lumStsNullPtrErr);
    EXPECT_EQ(pos, 0);

    // The output runs out: the bytes that fit stay written.
    Block busy(64, 0);
    for (int i = 0; i < 64; ++i) busy[static_cast<std::size_t>(i)] = static_cast<Lum16s>(i % 2 ? 300 : -300);
    std::vector<Lum8u> small(3, 0xEE);
    pos = 0;
    EXPECT_EQ(call(busy.data(), small.data(), 3, &pos, &last, enc.dc.get(), enc.ac.get(), enc.state.get(), 0),
              lumStsJpegOutOfBufErr);
    EXPECT_EQ(pos, 3);

    // A symbol without a code.
    const Lum8u bits[16] = {1}, onlyZero[1] = {0};
    EncodeTable poor(bits, onlyZero);
    EncodeState st;
    pos = 0;
    last = 0;
    EXPECT_EQ(call(busy.data(), out, 64, &pos, &last, enc.dc.get(), poor.get(), st.get(), 0),
              lumStsJpegHuffTableErr);
}

// A byte of eight 1-bits is written as FF 00; with room for the FF only, the output runs out after it.
// Code 00 is category 1 and code FE is symbol 0 (EOB): DC +1 gives 00000000 1 1111111|0 = 00 FF ...
TEST(HuffmanBaselineEncode, StuffingNeedsRoom) {
    Lum8u bits[16] = {0, 0, 0, 0, 0, 0, 0, 255}, vals[255];
    for (int i = 0; i < 255; ++i) vals[i] = static_cast<Lum8u>(i + 1);
    vals[254] = 0;
    EncodeTable table(bits, vals);
    ASSERT_EQ(table.status(), lumStsNoErr);
    Block b(64, 0);
    b[0] = 1;
    for (int room : {2, 3}) {
        EncodeState state;
        Lum8u out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        int pos = 0;
        Lum16s last = 0;
        EXPECT_EQ(lumiEncodeHuffman8x8_JPEG_16s1u_C1(b.data(), out, room, &pos, &last, table.get(),
                                                     table.get(), state.get(), 0),
                  room == 2 ? lumStsJpegOutOfBufErr : lumStsNoErr);
        EXPECT_EQ(pos, room);
        EXPECT_EQ(out[0], 0x00);
        EXPECT_EQ(out[1], 0xFF);
        EXPECT_EQ(out[2], room == 3 ? 0x00 : 0xEE);
    }
}

// Random blocks through the example tables and back, several thousand bytes with stuffed FF bytes.
TEST(HuffmanBaseline, RoundTrip) {
    std::mt19937 rng(1234);
    StdEncoder enc;
    std::vector<Block> blocks;
    for (int i = 0; i < 400; ++i) {
        const double density = std::array{0.0, 0.05, 0.3, 0.9}[static_cast<std::size_t>(i % 4)];
        blocks.push_back(RandomBlock(rng, std::uniform_int_distribution<int>(-1024, 1023)(rng), density, 10));
        ASSERT_EQ(enc.Encode(blocks.back()), lumStsNoErr) << i;
    }
    ASSERT_EQ(enc.Flush(), lumStsNoErr);
    int stuffed = 0;
    for (int i = 0; i + 1 < enc.pos; ++i) stuffed += enc.out[static_cast<std::size_t>(i)] == 0xFF;
    EXPECT_GT(stuffed, 0);
    // The end-of-image marker after the data, as in a file.
    enc.out[static_cast<std::size_t>(enc.pos)] = 0xFF;
    enc.out[static_cast<std::size_t>(enc.pos) + 1] = 0xD9;
    const int len = enc.pos + 2;

    DecodeTable dc(DcLuminance()), ac(AcLuminance());
    DecodeState state;
    int pos = 0, marker = 0;
    Lum16s lastDc = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        Block got(64, 0x5555);
        ASSERT_EQ(lumiDecodeHuffman8x8_JPEG_1u16s_C1(enc.out.data(), len, &pos, got.data(), &lastDc, &marker,
                                                     dc.get(), ac.get(), state.get()),
                  lumStsNoErr)
            << i;
        ASSERT_EQ(got, blocks[i]) << i;
    }
    EXPECT_EQ(marker, 0xD9);
    EXPECT_EQ(pos, len);
}

}  // namespace
}  // namespace huffman_test
