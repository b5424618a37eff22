// Inter block decoding: argument checks, the lone-DC and first-row/column shortcuts, mismatch control,
// errors that leave the stream position alone, and random blocks against an inverse-quantisation model.
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

struct Decoded {
    LumStatus status;
    std::array<Lum16s, 64> residual;
    long bitsConsumed;
};

Decoded DecodeInter(const std::vector<uint8_t>& stream, int offset, int qp, const Lum8u* matrix) {
    Decoded d{};
    d.residual.fill(0x5A5A);
    const Lum8u* p = stream.data();
    int bit = offset;
    d.status = lumiDecodeBlockCoef_Inter_MPEG4_1u16s(&p, &bit, d.residual.data(), qp, matrix);
    d.bitsConsumed = (p - stream.data()) * 8L + bit - offset;
    return d;
}

// The rules restated: H.263 quantisation or the matrix rule with mismatch control, then the inverse DCT.
std::array<Lum16s, 64> ModelInter(const int levels[64], int qp, const Lum8u* matrix) {
    int coef[64];
    for (int i = 0; i < 64; ++i) {
        const int l = levels[i], mag = std::abs(l);
        int f = 0;
        if (l != 0 && matrix == nullptr) f = ((2 * mag + 1) * qp - (qp % 2 == 0 ? 1 : 0)) * (l < 0 ? -1 : 1);
        if (l != 0 && matrix != nullptr) f = (2 * l + (l < 0 ? -1 : 1)) * matrix[i] * qp / 16;
        coef[i] = f < -2048 ? -2048 : (f > 2047 ? 2047 : f);
    }
    if (matrix != nullptr) {
        int sum = 0;
        for (int c : coef) sum += c;
        if (sum % 2 == 0) coef[63] += (coef[63] % 2 != 0) ? -1 : 1;
    }
    std::array<Lum16s, 64> block{};
    for (int i = 0; i < 64; ++i) block[static_cast<std::size_t>(i)] = static_cast<Lum16s>(coef[i]);
    lumacore::c::InverseDct8x8(block.data());
    return block;
}

std::vector<uint8_t> OneEvent(int last, int run, int level, int mode, int offset = 0) {
    BitWriter w(offset);
    if (mode < 0)
        blockstream::PutTcoef(w, false, last, run, level);  // the shortest way
    else
        blockstream::PutTcoef(w, false, last, run, level, mode);
    return w.Bytes();
}

TEST(Mpeg4InterBlock, ArgumentChecksInOrderLeaveEverythingAlone) {
    const std::vector<uint8_t> s = OneEvent(1, 0, 1, 0);
    const Lum8u* p = s.data();
    const Lum8u* nullStream = nullptr;
    Lum16s out[64] = {7};
    int bit = 0, badBit = 8, negBit = -1;
    EXPECT_EQ(lumiDecodeBlockCoef_Inter_MPEG4_1u16s(nullptr, &bit, out, 4, nullptr), lumStsNullPtrErr);
    EXPECT_EQ(lumiDecodeBlockCoef_Inter_MPEG4_1u16s(&p, nullptr, out, 4, nullptr), lumStsNullPtrErr);
    EXPECT_EQ(lumiDecodeBlockCoef_Inter_MPEG4_1u16s(&p, &bit, nullptr, 4, nullptr), lumStsNullPtrErr);
    EXPECT_EQ(lumiDecodeBlockCoef_Inter_MPEG4_1u16s(&nullStream, &badBit, out, 0, nullptr), lumStsNullPtrErr);
    EXPECT_EQ(lumiDecodeBlockCoef_Inter_MPEG4_1u16s(&p, &badBit, out, 0, nullptr), lumStsMP4BitOffsetErr);
    EXPECT_EQ(lumiDecodeBlockCoef_Inter_MPEG4_1u16s(&p, &negBit, out, 4, nullptr), lumStsMP4BitOffsetErr);
    EXPECT_EQ(lumiDecodeBlockCoef_Inter_MPEG4_1u16s(&p, &bit, out, 0, nullptr), lumStsMP4QPErr);
    EXPECT_EQ(lumiDecodeBlockCoef_Inter_MPEG4_1u16s(&p, &bit, out, 32, nullptr), lumStsMP4QPErr);
    EXPECT_EQ(p, s.data());
    EXPECT_EQ(bit, 0);
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(out[1], 0);
}

// A lone coefficient at position 0 without a matrix fills the block with (F + 4) >> 3.
TEST(Mpeg4InterBlock, LoneDcIsFlat) {
    struct Case {
        int level, qp, expected;
    } cases[] = {
        {1, 4, 1},       // F = 3 + 8 = 11
        {1, 1, 0},       // F = 3
        {-1, 4, -1},     // F = -11: (-11 + 4) >> 3
        {2, 5, 3},       // F = 25
        {100, 31, 256},  // F clamps to 2047
        {-100, 31, -256},
    };
    for (const Case& c : cases) {
        const Decoded d = DecodeInter(OneEvent(1, 0, c.level, -1), 0, c.qp, nullptr);
        ASSERT_EQ(d.status, lumStsNoErr);
        for (Lum16s r : d.residual) ASSERT_EQ(r, c.expected) << "level " << c.level << " qp " << c.qp;
    }
}

// Two coefficients (positions 0 and 63) over a range of levels and quantisers: the output must be that
// of the toggled coefficient 63 whenever the sum is even, and that toggle must show in some outputs.
TEST(Mpeg4InterBlock, MatrixQuantisationAppliesMismatchControl) {
    Lum8u flat16[64];
    for (auto& w : flat16) w = 16;
    int visible = 0;
    for (int qp = 1; qp <= 8; ++qp) {
        for (int dc = -3; dc <= 3; ++dc) {
            for (int last : {-40, -9, 1, 2, 9, 40}) {
                BitWriter w;
                if (dc != 0) blockstream::PutTcoef(w, false, 0, 0, dc);
                blockstream::PutTcoef(w, false, 1, dc != 0 ? 62 : 63, last);
                const Decoded d = DecodeInter(w.Bytes(), 0, qp, flat16);
                ASSERT_EQ(d.status, lumStsNoErr);
                std::array<Lum16s, 64> plain{};
                plain[0] = static_cast<Lum16s>(dc == 0 ? 0 : (2 * dc + (dc < 0 ? -1 : 1)) * 16 * qp / 16);
                plain[63] = static_cast<Lum16s>((2 * last + (last < 0 ? -1 : 1)) * 16 * qp / 16);
                std::array<Lum16s, 64> toggled = plain;
                if ((plain[0] + plain[63]) % 2 == 0)
                    toggled[63] = static_cast<Lum16s>(plain[63] + (plain[63] % 2 != 0 ? -1 : 1));
                lumacore::c::InverseDct8x8(plain.data());
                lumacore::c::InverseDct8x8(toggled.data());
                ASSERT_EQ(d.residual, toggled) << "qp " << qp << " dc " << dc << " last " << last;
                visible += plain != toggled;
            }
        }
    }
    EXPECT_GT(visible, 0);
}

TEST(Mpeg4InterBlock, EveryEscapeModeDecodesTheSameEvent) {
    struct Case {
        int last, run, level;
    } cases[] = {{0, 0, 13}, {0, 3, -5}, {1, 0, 4}, {1, 2, -2}, {0, 27, 1}, {1, 41, 1}, {0, 11, 2}};
    for (const Case& c : cases) {
        for (int mode = 0; mode < 4; ++mode) {
            if (!blockstream::CanWrite(false, c.last, c.run, c.level, mode)) continue;
            BitWriter w(3);
            blockstream::PutTcoef(w, false, c.last, c.run, c.level, mode);
            if (c.last == 0) blockstream::PutTcoef(w, false, 1, 0, 1, 0);
            int levels[64] = {};
            levels[mpeg4::kZigzagScan[static_cast<std::size_t>(c.run)]] = c.level;
            if (c.last == 0) levels[mpeg4::kZigzagScan[static_cast<std::size_t>(c.run + 1)]] = 1;
            const Decoded d = DecodeInter(w.Bytes(), 3, 7, nullptr);
            ASSERT_EQ(d.status, lumStsNoErr) << "mode " << mode << " run " << c.run;
            EXPECT_EQ(d.bitsConsumed, w.bits() - 3);
            EXPECT_EQ(d.residual, ModelInter(levels, 7, nullptr)) << "mode " << mode << " run " << c.run;
        }
    }
}

TEST(Mpeg4InterBlock, BadCodesFailWithoutMovingOrWriting) {
    std::vector<std::vector<uint8_t>> bad;
    bad.push_back(std::vector<uint8_t>(12, 0));  // nine leading zeros: no code
    {
        BitWriter w;  // mode 3 with a zero level
        w.Put(mpeg4::kTcoefEscape);
        w.Put(0b11, 2);
        w.Put(0b1000001, 7);
        w.Put(0, 12);
        w.Put(1, 1);
        bad.push_back(w.Bytes());
    }
    {
        BitWriter w;  // mode 3 without its second marker
        w.Put(mpeg4::kTcoefEscape);
        w.Put(0b11, 2);
        w.Put(0b1000001, 7);
        w.Put(5, 12);
        w.Put(0, 1);
        bad.push_back(w.Bytes());
    }
    {
        BitWriter w;  // escape inside mode 1
        w.Put(mpeg4::kTcoefEscape);
        w.Put(0, 1);
        w.Put(mpeg4::kTcoefEscape);
        bad.push_back(w.Bytes());
    }
    {
        BitWriter w;  // runs past position 63
        blockstream::PutTcoef(w, false, 0, 40, 1, 3);
        blockstream::PutTcoef(w, false, 1, 23, 1, 3);
        bad.push_back(w.Bytes());
    }
    {
        BitWriter w;  // 64 coefficients and no last
        blockstream::PutTcoef(w, false, 0, 63, 1, 3);
        blockstream::PutTcoef(w, false, 1, 0, 1, 0);
        bad.push_back(w.Bytes());
    }
    for (std::size_t i = 0; i < bad.size(); ++i) {
        const Decoded d = DecodeInter(bad[i], 0, 5, nullptr);
        EXPECT_EQ(d.status, lumStsMP4VLCCodeErr) << "case " << i;
        EXPECT_EQ(d.bitsConsumed, 0) << "case " << i;
        for (Lum16s r : d.residual) ASSERT_EQ(r, 0x5A5A) << "case " << i;
    }
    // The last coefficient at position 63 is fine.
    BitWriter w;
    blockstream::PutTcoef(w, false, 1, 63, -3, 3);
    EXPECT_EQ(DecodeInter(w.Bytes(), 0, 5, nullptr).status, lumStsNoErr);
}

// Blocks coded only in their first row or only in their first column take the short inverse DCTs; their
// residuals must be the full transform's, small and extreme levels alike.
TEST(Mpeg4InterBlock, FirstRowOrFirstColumnBlocksMatchTheModel) {
    std::mt19937 rng(151210);
    for (int trial = 0; trial < 300; ++trial) {
        const bool firstRow = trial % 2 == 0;
        const int qp = 1 + static_cast<int>(rng() % 31);
        std::vector<int> scanPositions;
        for (int s = 0; s < 64; ++s) {
            const int natural = mpeg4::kZigzagScan[static_cast<std::size_t>(s)];
            if ((firstRow ? natural < 8 : natural % 8 == 0) && rng() % 3 == 0) scanPositions.push_back(s);
        }
        if (scanPositions.empty()) scanPositions.push_back(firstRow ? 1 : 2);
        BitWriter w(0);
        int levels[64] = {};
        int previous = -1;
        for (std::size_t i = 0; i < scanPositions.size(); ++i) {
            const int s = scanPositions[i];
            const int mag = 1 + static_cast<int>(rng() % (trial % 5 == 0 ? 2047 : 12));
            const int level = rng() % 2 != 0 ? -mag : mag;
            blockstream::PutTcoef(w, false, i + 1 == scanPositions.size() ? 1 : 0, s - previous - 1, level);
            levels[mpeg4::kZigzagScan[static_cast<std::size_t>(s)]] = level;
            previous = s;
        }
        const Decoded d = DecodeInter(w.Bytes(), 0, qp, nullptr);
        ASSERT_EQ(d.status, lumStsNoErr) << "trial " << trial;
        ASSERT_EQ(d.residual, ModelInter(levels, qp, nullptr)) << "trial " << trial;
    }
}

TEST(Mpeg4InterBlock, RandomBlocksMatchTheModel) {
    std::mt19937 rng(20261210);
    auto next = [&] { return static_cast<uint32_t>(rng()); };
    for (int trial = 0; trial < 400; ++trial) {
        const int offset = static_cast<int>(next() % 8), qp = 1 + static_cast<int>(next() % 31);
        Lum8u matrix[64];
        for (auto& m : matrix) m = static_cast<Lum8u>(1 + next() % 255);
        const bool useMatrix = next() % 2 != 0;
        const auto events = blockstream::RandomEvents(next, 0);
        BitWriter w(offset);
        blockstream::PutEvents(w, false, events, next);
        int levels[64] = {};
        blockstream::PlaceEvents(events, 0, mpeg4::kZigzagScan.data(), levels);
        const Decoded d = DecodeInter(w.Bytes(), offset, qp, useMatrix ? matrix : nullptr);
        ASSERT_EQ(d.status, lumStsNoErr) << "trial " << trial;
        ASSERT_EQ(d.bitsConsumed, w.bits() - offset) << "trial " << trial;
        ASSERT_EQ(d.residual, ModelInter(levels, qp, useMatrix ? matrix : nullptr)) << "trial " << trial;
    }
}

}  // namespace
