// Huffman table and state objects: construction from DHT-style code counts and symbols, invalid tables,
// null arguments, and robustness of the decoder against tables and streams that make no sense.
#include <gtest/gtest.h>

#include <array>
#include <random>

#include "huffman_fixtures.h"

namespace huffman_test {
namespace {

TEST(HuffmanTables, StandardTablesBuild) {
    for (const TableSpec* t : {&DcLuminance(), &DcChrominance(), &AcLuminance(), &AcChrominance()}) {
        int sum = 0;
        for (Lum8u b : t->bits) sum += b;
        ASSERT_EQ(sum, static_cast<int>(t->vals.size()));
        EXPECT_EQ(DecodeTable(*t).status(), lumStsNoErr);
        EXPECT_EQ(EncodeTable(*t).status(), lumStsNoErr);
    }
}

// Counts that cannot form a code: the decoder only refuses more than 256 codes, the encoder also
// refuses a code that does not fit its length.
TEST(HuffmanTables, InvalidCodeCounts) {
    struct Case {
        const char* what;
        std::array<Lum8u, 16> bits;
        LumStatus decoder, encoder;
    };
    const Case cases[] = {
        {"257 codes", {0, 0, 0, 0, 0, 0, 255, 2}, lumStsJpegHuffTableErr, lumStsJpegHuffTableErr},
        {"257 codes over two lengths",
         {0, 0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0, 0, 0, 0, 2},
         lumStsJpegHuffTableErr,
         lumStsJpegHuffTableErr},
        {"three codes of length 1", {3}, lumStsNoErr, lumStsJpegHuffTableErr},
        {"five codes after one of length 1", {1, 4}, lumStsNoErr, lumStsJpegHuffTableErr},
        {"two codes of length 1 (the second all ones)", {2}, lumStsNoErr, lumStsNoErr},
        {"255 codes of 8 bits", {0, 0, 0, 0, 0, 0, 0, 255}, lumStsNoErr, lumStsNoErr},
        {"no codes", {}, lumStsNoErr, lumStsNoErr},
    };
    Lum8u vals[256];
    for (int i = 0; i < 256; ++i) vals[i] = static_cast<Lum8u>(i);
    for (const Case& c : cases) {
        std::array<Lum8u, 16> bits = c.bits;
        SCOPED_TRACE(c.what);
        DecodeTable dec(bits.data(), vals);
        EncodeTable enc(bits.data(), vals);
        EXPECT_EQ(dec.status(), c.decoder);
        EXPECT_EQ(enc.status(), c.encoder);
        // The object is handed out even when the counts are refused, so that it can be freed.
        EXPECT_NE(dec.get(), nullptr);
        EXPECT_NE(enc.get(), nullptr);
    }
}

TEST(HuffmanTables, NullArguments) {
    const TableSpec& t = DcLuminance();
    LumiDecodeHuffmanSpec* dspec = reinterpret_cast<LumiDecodeHuffmanSpec*>(&dspec);
    LumiDecodeHuffmanSpec* const dsentinel = dspec;
    EXPECT_EQ(lumiDecodeHuffmanSpecInitAlloc_JPEG_8u(nullptr, t.vals.data(), &dspec), lumStsNullPtrErr);
    EXPECT_EQ(lumiDecodeHuffmanSpecInitAlloc_JPEG_8u(t.bits, nullptr, &dspec), lumStsNullPtrErr);
    EXPECT_EQ(lumiDecodeHuffmanSpecInitAlloc_JPEG_8u(t.bits, t.vals.data(), nullptr), lumStsNullPtrErr);
    EXPECT_EQ(dspec, dsentinel);
    LumiEncodeHuffmanSpec* espec = nullptr;
    EXPECT_EQ(lumiEncodeHuffmanSpecInitAlloc_JPEG_8u(nullptr, t.vals.data(), &espec), lumStsNullPtrErr);
    EXPECT_EQ(lumiEncodeHuffmanSpecInitAlloc_JPEG_8u(t.bits, nullptr, &espec), lumStsNullPtrErr);
    EXPECT_EQ(lumiEncodeHuffmanSpecInitAlloc_JPEG_8u(t.bits, t.vals.data(), nullptr), lumStsNullPtrErr);
    EXPECT_EQ(espec, nullptr);

    EXPECT_EQ(lumiDecodeHuffmanStateInitAlloc_JPEG_8u(nullptr), lumStsNullPtrErr);
    EXPECT_EQ(lumiEncodeHuffmanStateInitAlloc_JPEG_8u(nullptr), lumStsNullPtrErr);
    EXPECT_EQ(lumiDecodeHuffmanStateInit_JPEG_8u(nullptr), lumStsNullPtrErr);
    EXPECT_EQ(lumiEncodeHuffmanStateInit_JPEG_8u(nullptr), lumStsNullPtrErr);
    EXPECT_EQ(lumiDecodeHuffmanSpecFree_JPEG_8u(nullptr), lumStsNullPtrErr);
    EXPECT_EQ(lumiDecodeHuffmanStateFree_JPEG_8u(nullptr), lumStsNullPtrErr);
    EXPECT_EQ(lumiEncodeHuffmanSpecFree_JPEG_8u(nullptr), lumStsNullPtrErr);
    EXPECT_EQ(lumiEncodeHuffmanStateFree_JPEG_8u(nullptr), lumStsNullPtrErr);
}

// Random bytes through tables that overflow, are empty or are standard: every call ends with a status
// and never reads or writes outside its buffers (the sanitizer build checks that).
TEST(HuffmanTables, HostileStreamsAndTables) {
    std::mt19937 rng(7);
    Lum8u vals[256];
    for (int i = 0; i < 256; ++i) vals[i] = static_cast<Lum8u>(rng());
    const std::array<Lum8u, 16> odd[] = {{3},
                                         {1, 4},
                                         {},
                                         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 200},
                                         {0, 0, 0, 0, 0, 0, 0, 255},
                                         {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 9}};
    for (const auto& bits : odd) {
        DecodeTable table(bits.data(), vals);
        DecodeTable ac(AcLuminance());
        for (int trial = 0; trial < 50; ++trial) {
            std::vector<Lum8u> src(static_cast<std::size_t>(rng() % 200));
            for (auto& b : src) b = static_cast<Lum8u>(rng() % 4 == 0 ? 0xFF : rng());
            DecodeState state;
            int pos = 0, marker = 0;
            Lum16s dc = 0, block[64];
            for (int i = 0; i < 100; ++i) {
                const LumStatus st = lumiDecodeHuffman8x8_JPEG_1u16s_C1(
                    src.data(), static_cast<int>(src.size()), &pos, block, &dc, &marker, table.get(),
                    trial % 2 ? table.get() : ac.get(), state.get());
                ASSERT_TRUE(st == lumStsNoErr || st == lumStsJpegOutOfBufErr) << st;
                ASSERT_LE(pos, static_cast<int>(src.size()));
                if (st != lumStsNoErr) break;
            }
        }
    }
}

}  // namespace
}  // namespace huffman_test
