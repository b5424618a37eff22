// Intra block decoding: argument checks, DC prediction direction, dc_scaler, AC prediction with its
// quantiser rescaling, the prediction buffer updates, the scans, the flat DC-only path, errors, and
// random blocks against a model.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <random>
#include <vector>

#include "jpeg/idct.h"
#include "lumacore/lumacore.h"
#include "mpeg4/block_common.h"
#include "stream_writer.h"

namespace {

using blockstream::BitWriter;
namespace mpeg4 = lumacore::mpeg4;

// The caller's prediction buffers around one block: row[-16..15] and col[0..15].
struct Buffers {
    std::array<Lum16s, 32> rowBuf{};
    std::array<Lum16s, 16> colBuf{};
    Lum8u qp[2] = {10, 10};
    Lum16s* row() { return rowBuf.data() + 16; }
    Lum16s* col() { return colBuf.data(); }
    const Lum16s* row() const { return rowBuf.data() + 16; }
    const Lum16s* col() const { return colBuf.data(); }
    // DCs of the left, above-left and above neighbours; -1 is "unavailable".
    static Buffers WithDcs(int left, int aboveLeft, int above) {
        Buffers b;
        b.rowBuf.fill(0);
        b.colBuf.fill(0);
        b.row()[-8] = static_cast<Lum16s>(left);
        b.col()[0] = static_cast<Lum16s>(aboveLeft);
        b.row()[0] = static_cast<Lum16s>(above);
        return b;
    }
    bool operator==(const Buffers& o) const {
        return rowBuf == o.rowBuf && colBuf == o.colBuf && qp[0] == o.qp[0] && qp[1] == o.qp[1];
    }
};

struct Call {
    bool dcOnly = false;
    int offset = 0;
    int curQp = 1;
    const Lum8u* matrix = nullptr;
    int blockIndex = 0;
    int dcVlc = 1;
    int acPred = 0;
};

struct Result {
    LumStatus status;
    std::array<Lum8u, 64> pixels;
    Buffers buffers;
    long bitsConsumed;
};

constexpr int kStep = 8;

Result DecodeBlock(const std::vector<uint8_t>& stream, Buffers buffers, const Call& c) {
    Result r{};
    r.pixels.fill(0xEE);
    const Lum8u* p = stream.data();
    int bit = c.offset;
    auto fn = c.dcOnly ? lumiDecodeBlockCoef_IntraDCOnly_MPEG4_1u8u : lumiDecodeBlockCoef_Intra_MPEG4_1u8u;
    r.status = fn(&p, &bit, r.pixels.data(), kStep, buffers.row(), buffers.col(), static_cast<Lum8u>(c.curQp),
                  buffers.qp, c.matrix, c.blockIndex, c.dcVlc, c.acPred);
    r.buffers = buffers;
    r.bitsConsumed = (p - stream.data()) * 8L + bit - c.offset;
    return r;
}

// Table 7-1 as printed, Qp 1..31.
constexpr int kLumaScaler[32] = {0,  8,  8,  8,  8,  10, 12, 14, 16, 17, 18, 19, 20, 21, 22, 23,
                                 24, 25, 26, 27, 28, 29, 30, 31, 32, 34, 36, 38, 40, 42, 44, 46};
constexpr int kChromaScaler[32] = {0,  8,  8,  8,  8,  9,  9,  10, 10, 11, 11, 12, 12, 13, 13, 14,
                                   14, 15, 15, 16, 16, 17, 17, 18, 18, 19, 20, 21, 22, 23, 24, 25};

int Clamp(int v, int lo, int hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

// Pixels of a block from its levels (natural order, levels[0] = DC differential) when no neighbour is
// available: the DC predictor is 1024.
std::array<Lum8u, 64> ModelPixels(const int levels[64], int qp, bool chroma, const Lum8u* matrix,
                                  int predictor) {
    const int s = chroma ? kChromaScaler[qp] : kLumaScaler[qp];
    int coef[64];
    coef[0] = Clamp(Clamp(levels[0] + (predictor + s / 2) / s, -2048, 2047) * s, -2048, 2047);
    for (int i = 1; i < 64; ++i) {
        const int l = levels[i], mag = std::abs(l);
        int f = 0;
        if (l != 0 && matrix == nullptr) f = ((2 * mag + 1) * qp - (qp % 2 == 0 ? 1 : 0)) * (l < 0 ? -1 : 1);
        if (l != 0 && matrix != nullptr) f = l * matrix[i] * qp / 8;
        coef[i] = Clamp(f, -2048, 2047);
    }
    if (matrix != nullptr) {
        int sum = 0;
        for (int c : coef) sum += c;
        if (sum % 2 == 0) coef[63] += (coef[63] % 2 != 0) ? -1 : 1;
    }
    Lum16s block[64];
    for (int i = 0; i < 64; ++i) block[i] = static_cast<Lum16s>(coef[i]);
    lumacore::c::InverseDct8x8(block);
    std::array<Lum8u, 64> out{};
    for (int i = 0; i < 64; ++i)
        out[static_cast<std::size_t>(i)] = static_cast<Lum8u>(Clamp(block[i], 0, 255));
    return out;
}

std::vector<uint8_t> DcOnlyStream(int diff, bool chroma = false) {
    BitWriter w;
    blockstream::PutDcDiff(w, chroma, diff);
    return w.Bytes();
}

// A DC differential then one AC event.
std::vector<uint8_t> DcAndOneAc(int diff, int run, int level) {
    BitWriter w;
    blockstream::PutDcDiff(w, false, diff);
    blockstream::PutTcoef(w, true, 1, run, level);
    return w.Bytes();
}

TEST(Mpeg4IntraBlock, ArgumentChecksInOrderLeaveEverythingAlone) {
    const std::vector<uint8_t> s = DcAndOneAc(3, 0, 1);
    for (bool dcOnly : {false, true}) {
        auto fn = dcOnly ? lumiDecodeBlockCoef_IntraDCOnly_MPEG4_1u8u : lumiDecodeBlockCoef_Intra_MPEG4_1u8u;
        struct Case {
            const char* what;
            bool nullPp, nullOffset, nullDst, nullStream;
            int offset, step;
            bool nullQp, nullRow, nullCol;
            int blockIndex, qp;
            LumStatus expected;
        } cases[] = {
            {"null ppBitStream", true, false, false, false, 9, 0, false, false, false, 0, 1,
             lumStsNullPtrErr},
            {"null pBitOffset", false, true, false, false, 0, 0, false, false, false, 0, 1, lumStsNullPtrErr},
            {"null pDst", false, false, true, false, 9, 0, false, false, false, 0, 1, lumStsNullPtrErr},
            {"null stream", false, false, false, true, 9, 0, false, false, false, 0, 1, lumStsNullPtrErr},
            {"offset before step", false, false, false, false, 8, 0, false, false, false, 0, 1,
             lumStsMP4BitOffsetErr},
            {"negative offset", false, false, false, false, -1, 8, false, false, false, 0, 1,
             lumStsMP4BitOffsetErr},
            {"step before buffers", false, false, false, false, 0, 0, true, false, false, 10, 0,
             lumStsStepErr},
            {"null pQpBuf", false, false, false, false, 0, 8, true, false, false, 10, 0, lumStsNullPtrErr},
            {"null row", false, false, false, false, 0, 8, false, true, false, 10, 0, lumStsNullPtrErr},
            {"null col", false, false, false, false, 0, 8, false, false, true, 10, 0, lumStsNullPtrErr},
            {"block index before qp", false, false, false, false, 0, 8, false, false, false, 10, 0,
             lumStsMP4BlockIdxErr},
            {"negative block index", false, false, false, false, 0, 8, false, false, false, -1, 5,
             lumStsMP4BlockIdxErr},
            {"qp 0", false, false, false, false, 0, 8, false, false, false, 9, 0, lumStsMP4QPErr},
            {"qp 32", false, false, false, false, 0, 8, false, false, false, 0, 32, lumStsMP4QPErr},
        };
        for (const Case& c : cases) {
            Buffers b = Buffers::WithDcs(-1, -1, -1);
            const Buffers before = b;
            std::array<Lum8u, 64> pixels;
            pixels.fill(0xEE);
            const Lum8u* p = s.data();
            const Lum8u* nullStream = nullptr;
            int bit = c.offset;
            const LumStatus st =
                fn(c.nullPp ? nullptr : (c.nullStream ? &nullStream : &p), c.nullOffset ? nullptr : &bit,
                   c.nullDst ? nullptr : pixels.data(), c.step, c.nullRow ? nullptr : b.row(),
                   c.nullCol ? nullptr : b.col(), static_cast<Lum8u>(c.qp), c.nullQp ? nullptr : b.qp,
                   nullptr, c.blockIndex, 1, 0);
            EXPECT_EQ(st, c.expected) << c.what;
            EXPECT_EQ(p, s.data()) << c.what;
            EXPECT_TRUE(b == before) << c.what;
            for (Lum8u px : pixels) ASSERT_EQ(px, 0xEE) << c.what;
        }
    }
}

// The neighbour quantiser matters only when AC prediction uses that neighbour.
TEST(Mpeg4IntraBlock, PredictionQuantiserIsCheckedOnlyWhenUsed) {
    struct Case {
        int blockIndex, acPred;
        bool fromAbove;
        LumStatus expected;
    } cases[] = {
        {0, 1, true, lumStsMP4QPErr}, {0, 0, true, lumStsNoErr},     {0, 1, false, lumStsMP4QPErr},
        {2, 1, true, lumStsNoErr},    {3, 1, true, lumStsNoErr},     {2, 1, false, lumStsMP4QPErr},
        {1, 1, false, lumStsNoErr},   {3, 1, false, lumStsNoErr},    {1, 1, true, lumStsMP4QPErr},
        {4, 1, true, lumStsMP4QPErr}, {5, 1, false, lumStsMP4QPErr},
    };
    for (const Case& c : cases) {
        Buffers b = c.fromAbove ? Buffers::WithDcs(96, 80, 240) : Buffers::WithDcs(240, 80, 96);
        b.qp[0] = 0;
        b.qp[1] = 0;
        Call call;
        call.dcOnly = true;
        call.blockIndex = c.blockIndex;
        call.acPred = c.acPred;
        const bool chroma = c.blockIndex >= 4;
        EXPECT_EQ(DecodeBlock(DcOnlyStream(1, chroma), b, call).status, c.expected)
            << "block " << c.blockIndex << (c.fromAbove ? " above" : " left");
    }
}

TEST(Mpeg4IntraBlock, DcPredictionDirection) {
    struct Case {
        int left, aboveLeft, above, expectedDc;
    } cases[] = {
        {-1, -1, -1, 1024},  // nothing available: 1024
        {96, 80, 240, 240},  // |A - B| < |B - C|: from above
        {240, 80, 96, 240},  // otherwise from the left
        {100, 80, 60, 104},  // a tie goes left; (100 + 4) / 8 * 8
        {-1, -1, 400, 400},  // unavailable ones count as 1024
        {400, -1, -1, 400}, {-1, 400, 400, 1024}, {0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const Result r = DecodeBlock(DcOnlyStream(0), Buffers::WithDcs(c.left, c.aboveLeft, c.above),
                                     Call{.dcOnly = true});
        ASSERT_EQ(r.status, lumStsNoErr);
        EXPECT_EQ(r.buffers.row()[0], c.expectedDc) << c.left << " " << c.aboveLeft << " " << c.above;
        // The flat block is the DC over 8.
        EXPECT_EQ(r.pixels[0], Clamp((c.expectedDc + 4) >> 3, 0, 255));
    }
}

TEST(Mpeg4IntraBlock, DcScalerByQuantiserAndComponent) {
    for (int qp = 1; qp <= 31; ++qp) {
        for (int blockIndex : {0, 3, 4, 5, 6, 9}) {
            const bool chroma = blockIndex == 4 || blockIndex == 5;
            const int s = chroma ? kChromaScaler[qp] : kLumaScaler[qp];
            for (int diff : {-3, 0, 5}) {
                Call call;
                call.dcOnly = true;
                call.curQp = qp;
                call.blockIndex = blockIndex;
                const Result r = DecodeBlock(DcOnlyStream(diff, chroma), Buffers::WithDcs(-1, -1, -1), call);
                ASSERT_EQ(r.status, lumStsNoErr);
                const int expected = Clamp((diff + (1024 + s / 2) / s) * s, -2048, 2047);
                const Lum16s stored = blockIndex == 3 ? r.buffers.col()[0] : r.buffers.row()[0];
                EXPECT_EQ(stored, expected) << "qp " << qp << " block " << blockIndex << " diff " << diff;
            }
        }
    }
}

TEST(Mpeg4IntraBlock, AcPredictionRescalesHalvesAwayFromZeroAndClamps) {
    struct Case {
        int stored, predQp, curQp, expected;
    } cases[] = {
        {3, 4, 8, 2},        {-3, 4, 8, -2},        {1, 3, 2, 2},         {-1, 3, 2, -2}, {5, 1, 10, 1},
        {-5, 1, 10, -1},     {4, 1, 10, 0},         {-4, 1, 10, 0},       {7, 8, 8, 7},   {-7, 8, 8, -7},
        {2047, 31, 1, 2047}, {-2048, 31, 1, -2048}, {-2048, 8, 8, -2048},
    };
    for (bool fromAbove : {true, false}) {
        for (const Case& c : cases) {
            Buffers b = fromAbove ? Buffers::WithDcs(96, 80, 240) : Buffers::WithDcs(240, 80, 96);
            (fromAbove ? b.row() : b.col())[3] = static_cast<Lum16s>(c.stored);
            b.qp[fromAbove ? 1 : 0] = static_cast<Lum8u>(c.predQp);
            Call call;
            call.curQp = c.curQp;
            call.acPred = 1;
            call.dcVlc = 0;
            BitWriter w;  // the DC differential as the first TCOEF event, no AC
            blockstream::PutTcoef(w, true, 1, 0, 2);
            const Result r = DecodeBlock(w.Bytes(), b, call);
            ASSERT_EQ(r.status, lumStsNoErr);
            EXPECT_EQ((fromAbove ? r.buffers.row() : r.buffers.col())[3], c.expected)
                << (fromAbove ? "above " : "left ") << c.stored << " " << c.predQp << "/" << c.curQp;
            // The other direction's store takes this block's first column/row: zero but for position 0.
            EXPECT_EQ((fromAbove ? r.buffers.col() : r.buffers.row())[3], 0);
        }
    }
    // A decoded level plus the prediction is clamped too.
    Buffers b = Buffers::WithDcs(96, 80, 240);
    b.row()[1] = 2000;
    b.qp[1] = 1;
    Call call;
    call.acPred = 1;
    BitWriter w;
    blockstream::PutDcDiff(w, false, 0);
    blockstream::PutTcoef(w, true, 1, 0, 100);  // alternate-horizontal position 1 = natural 1
    const Result r = DecodeBlock(w.Bytes(), b, call);
    ASSERT_EQ(r.status, lumStsNoErr);
    EXPECT_EQ(r.buffers.row()[1], 2047);
}

// An unavailable neighbour predicts nothing, but the scan still follows ac_pred_flag and the direction.
TEST(Mpeg4IntraBlock, ScanFollowsAcPredFlagAndDirection) {
    struct Case {
        int acPred;
        bool fromAbove;
        bool available;
        bool inRow;  // the coefficient lands in the first row (else the first column)
        int index;
    } cases[] = {
        {0, true, true, false, 1},   // zig-zag scan position 2 = natural 8
        {1, true, true, true, 2},    // alternate horizontal: natural 2
        {1, false, true, false, 2},  // alternate vertical: natural 16
        {1, true, false, true, 2},  {1, false, false, false, 2},
    };
    for (const Case& c : cases) {
        Buffers b = c.fromAbove ? Buffers::WithDcs(96, 80, 240) : Buffers::WithDcs(240, 80, 96);
        if (!c.available) (c.fromAbove ? b.row()[0] : b.row()[-8]) = -1;
        if (!c.available && c.fromAbove) b.row()[-8] = 1000;  // keep the direction: |A - B| still large
        if (!c.available && !c.fromAbove) {
            b.row()[0] = 1000;
            b.col()[0] = 1000;
        }
        Call call;
        call.acPred = c.acPred;
        const Result r = DecodeBlock(DcAndOneAc(0, 1, 5), b, call);
        ASSERT_EQ(r.status, lumStsNoErr);
        const Lum16s* store = c.inRow ? r.buffers.row() : r.buffers.col();
        for (int k = 1; k < 8; ++k)
            EXPECT_EQ(store[k], k == c.index ? 5 : 0) << "case " << &c - cases << " k " << k;
    }
}

TEST(Mpeg4IntraBlock, BufferUpdateByBlockIndex) {
    for (int blockIndex : {0, 1, 2, 3, 4, 5}) {
        Buffers b = Buffers::WithDcs(-1, 111, -1);
        b.row()[-16] = 222;
        b.col()[8] = 333;
        Call call;
        call.dcOnly = true;
        call.blockIndex = blockIndex;
        const Result r = DecodeBlock(DcOnlyStream(0, blockIndex >= 4), b, call);
        ASSERT_EQ(r.status, lumStsNoErr);
        const Buffers& a = r.buffers;
        // Left and above-left unavailable, above -1: predictor 1024, DC 1024.
        if (blockIndex == 3) {
            EXPECT_EQ(a.col()[0], 1024);
            EXPECT_EQ(a.row()[0], -1);
        } else {
            EXPECT_EQ(a.col()[0], -1);  // the old above DC becomes the next block's above-left
            EXPECT_EQ(a.row()[0], 1024);
        }
        EXPECT_EQ(a.row()[-16], blockIndex == 1 ? 333 : 222);
        EXPECT_EQ(a.col()[8], blockIndex == 1 ? 222 : 333);
        EXPECT_EQ(a.row()[-8], -1);
    }
}

TEST(Mpeg4IntraBlock, DcOnlyFlatValues) {
    struct Case {
        int diff, expected;
    } cases[] = {{0, 128}, {-128, 0}, {-129, 0}, {-200, 0}, {127, 255}, {200, 255}, {-1, 127}, {50, 178}};
    for (const Case& c : cases) {
        const Result r =
            DecodeBlock(DcOnlyStream(c.diff), Buffers::WithDcs(-1, -1, -1), Call{.dcOnly = true});
        ASSERT_EQ(r.status, lumStsNoErr);
        for (Lum8u px : r.pixels) ASSERT_EQ(px, c.expected) << "diff " << c.diff;
    }
    // Without the DC VLC an uncoded block keeps the predicted DC and reads nothing.
    const Result r = DecodeBlock(std::vector<uint8_t>(8, 0xFF), Buffers::WithDcs(-1, -1, 800),
                                 Call{.dcOnly = true, .dcVlc = 0});
    ASSERT_EQ(r.status, lumStsNoErr);
    EXPECT_EQ(r.bitsConsumed, 0);
    for (Lum8u px : r.pixels) ASSERT_EQ(px, 100);
    // With a matrix the DC goes through the inverse DCT with mismatch control (1024 is even: coef 63 = 1).
    Lum8u matrix[64];
    for (auto& m : matrix) m = 16;
    const Result m =
        DecodeBlock(DcOnlyStream(0), Buffers::WithDcs(-1, -1, -1), Call{.dcOnly = true, .matrix = matrix});
    int levels[64] = {};
    EXPECT_EQ(m.pixels, ModelPixels(levels, 1, false, matrix, 1024));
}

// An uncoded block of a macroblock with ac_pred_flag set still takes the predicted row or column.
TEST(Mpeg4IntraBlock, DcOnlyBlockKeepsAcPrediction) {
    Buffers b = Buffers::WithDcs(96, 80, 240);
    b.row()[1] = 4;
    b.row()[5] = -2;
    b.col()[7] = 7;  // the left block's column, not used when predicting from above
    b.qp[1] = 10;
    const Result r = DecodeBlock(
        DcOnlyStream(0), b,
        Call{.dcOnly = true, .curQp = 10, .matrix = nullptr, .blockIndex = 0, .dcVlc = 1, .acPred = 1});
    ASSERT_EQ(r.status, lumStsNoErr);
    EXPECT_EQ(r.buffers.row()[1], 4);
    EXPECT_EQ(r.buffers.row()[5], -2);
    EXPECT_EQ(r.buffers.col()[7], 0);
    int levels[64] = {};
    levels[1] = 4;
    levels[5] = -2;
    EXPECT_EQ(r.pixels, ModelPixels(levels, 10, false, nullptr, 240));
    // Without ac_pred_flag it is flat and its stored row and column are zero.
    const Result flat = DecodeBlock(DcOnlyStream(0), b, Call{.dcOnly = true, .curQp = 10});
    for (int k = 1; k < 8; ++k) {
        EXPECT_EQ(flat.buffers.row()[k], 0) << k;
        EXPECT_EQ(flat.buffers.col()[k], 0) << k;
    }
    for (Lum8u px : flat.pixels) ASSERT_EQ(px, flat.pixels[0]);
}

TEST(Mpeg4IntraBlock, BitstreamErrorsWriteNothing) {
    struct Case {
        const char* what;
        std::vector<uint8_t> stream;
        bool dcOnly;
        LumStatus expected;
        long position;  // bits consumed when the error is reported
    };
    std::vector<Case> cases;
    {
        BitWriter w;  // a 9-bit differential without its marker
        w.Put(mpeg4::kDcSizeLumaCodes[9]);
        w.Put(0x1FF, 9);
        w.Put(0, 1);
        cases.push_back({"DC marker", w.Bytes(), false, lumStsMP4DCCodeErr, 0});
        cases.push_back({"DC marker, DC only", w.Bytes(), true, lumStsMP4DCCodeErr, 0});
    }
    cases.push_back({"DC size code", std::vector<uint8_t>(8, 0), true, lumStsMP4DCCodeErr, 0});
    {
        BitWriter w;  // a good DC and a bad AC code: the position stays after the DC
        blockstream::PutDcDiff(w, false, -7);
        const long afterDc = w.bits();
        w.Put(0, 12);
        cases.push_back({"AC code", w.Bytes(), false, lumStsMP4VLCCodeErr, afterDc});
    }
    {
        BitWriter w;
        blockstream::PutDcDiff(w, false, 300);  // 9 bits and a marker
        const long afterDc = w.bits();
        blockstream::PutTcoef(w, true, 0, 62, 1, 3);  // position 63, not last
        blockstream::PutTcoef(w, true, 1, 0, 1, 0);
        cases.push_back({"run past the block", w.Bytes(), false, lumStsMP4VLCCodeErr, afterDc});
    }
    for (const Case& c : cases) {
        const Buffers before = Buffers::WithDcs(500, 400, 300);
        const Result r = DecodeBlock(c.stream, before, Call{.dcOnly = c.dcOnly});
        EXPECT_EQ(r.status, c.expected) << c.what;
        EXPECT_EQ(r.bitsConsumed, c.position) << c.what;
        EXPECT_TRUE(r.buffers == before) << c.what;
        for (Lum8u px : r.pixels) ASSERT_EQ(px, 0xEE) << c.what;
    }
}

TEST(Mpeg4IntraBlock, RandomBlocksWithoutNeighboursMatchTheModel) {
    std::mt19937 rng(7);
    auto next = [&] { return static_cast<uint32_t>(rng()); };
    for (int trial = 0; trial < 400; ++trial) {
        Call call;
        call.offset = static_cast<int>(next() % 8);
        call.curQp = 1 + static_cast<int>(next() % 31);
        call.blockIndex = static_cast<int>(next() % 6);
        call.dcVlc = static_cast<int>(next() % 2);
        Lum8u matrix[64];
        for (auto& m : matrix) m = static_cast<Lum8u>(1 + next() % 255);
        if (next() % 2) call.matrix = matrix;
        const bool chroma = call.blockIndex >= 4;
        BitWriter w(call.offset);
        int levels[64] = {};
        if (call.dcVlc) {
            levels[0] = static_cast<int>(next() % 511) - 255;
            blockstream::PutDcDiff(w, chroma, levels[0]);
        }
        const auto events = blockstream::RandomEvents(next, call.dcVlc);
        blockstream::PutEvents(w, true, events, next);
        blockstream::PlaceEvents(events, call.dcVlc, mpeg4::kZigzagScan.data(), levels);
        const Result r = DecodeBlock(w.Bytes(), Buffers::WithDcs(-1, -1, -1), call);
        ASSERT_EQ(r.status, lumStsNoErr) << "trial " << trial;
        ASSERT_EQ(r.bitsConsumed, w.bits() - call.offset) << "trial " << trial;
        ASSERT_EQ(r.pixels, ModelPixels(levels, call.curQp, chroma, call.matrix, 1024)) << "trial " << trial;
        // The stores hold this block's first row and column of levels.
        for (int k = 1; k < 8; ++k) ASSERT_EQ(r.buffers.row()[k], levels[k]);
        for (int k = 1; k < 8; ++k) ASSERT_EQ(r.buffers.col()[k], levels[8 * k]);
    }
}

}  // namespace
