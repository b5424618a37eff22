// Quantisation tables and the 8x8 transforms: fixed cases, and a round trip against the input.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>

#include "lumacore/lumacore.h"

namespace {

using Block8u = std::array<Lum8u, 64>;
using Table16u = std::array<Lum16u, 64>;

Table16u Flat16u(Lum16u v) {
    Table16u t;
    t.fill(v);
    return t;
}

// The example luminance table of T.81 Annex K, in zig-zag order.
constexpr std::array<Lum8u, 64> kLumaZigzag = {
    16, 11,  12, 14, 12, 10, 16,  14,  13,  14, 18, 17,  16,  19,  24,  40,  26, 24,  22,  22, 24, 49,
    35, 37,  29, 40, 58, 51, 61,  60,  57,  51, 56, 55,  64,  72,  92,  78,  64, 68,  87,  69, 55, 56,
    80, 109, 81, 87, 95, 98, 103, 104, 103, 62, 77, 113, 121, 112, 100, 120, 92, 101, 103, 99};

TEST(QuantRawTable, QualityScaling) {
    const struct {
        int quality;
        int in, out;
    } cases[] = {
        {50, 16, 16}, {50, 99, 99},  {50, 1, 1},    // unchanged
        {100, 16, 1}, {100, 255, 1},                // all ones
        {1, 16, 255}, {1, 5, 250},   {1, 1, 50},    // times 50, clamped at 255
        {75, 16, 8},  {75, 11, 6},   {75, 99, 50},  // scale 50: (50 v + 50) / 100
        {25, 16, 32}, {10, 3, 15},   {99, 16, 1},   // scale 200, 500, 2 ((32 + 50) / 100 = 0 -> 1)
        {-1, 16, 1},  {1000, 16, 1},                // out-of-range qualities still give a usable table
    };
    for (const auto& c : cases) {
        std::array<Lum8u, 64> t;
        t.fill(static_cast<Lum8u>(c.in));
        t[63] = 77;  // a second value shows the order is kept
        std::array<Lum8u, 64> other;
        other.fill(77);
        ASSERT_EQ(lumiQuantFwdRawTableInit_JPEG_8u(other.data(), c.quality), lumStsNoErr);
        ASSERT_EQ(lumiQuantFwdRawTableInit_JPEG_8u(t.data(), c.quality), lumStsNoErr);
        EXPECT_EQ(t[0], c.out) << "quality " << c.quality << " value " << c.in;
        EXPECT_EQ(t[62], c.out);
        EXPECT_EQ(t[63], other[0]);
    }
}

TEST(QuantRawTable, ZeroQualityIsRefusedNotDividedBy) {
    std::array<Lum8u, 64> t;
    t.fill(16);
    EXPECT_EQ(lumiQuantFwdRawTableInit_JPEG_8u(t.data(), 0), lumStsBadArgErr);
    EXPECT_EQ(t[0], 16);
    EXPECT_EQ(lumiQuantFwdRawTableInit_JPEG_8u(nullptr, 0), lumStsNullPtrErr);
}

TEST(QuantFwdTable, ReciprocalsRoundedAndZeroWarned) {
    const struct {
        Lum8u q;
        Lum16u reciprocal;
        LumStatus status;
    } cases[] = {
        {16, 2048, lumStsNoErr},     {3, 10923, lumStsNoErr}, {2, 16384, lumStsNoErr},
        {1, 32768, lumStsNoErr},     {255, 129, lumStsNoErr}, {7, 4681, lumStsNoErr},
        {200, 164, lumStsNoErr},  // 4681.14, 163.84
        {0, 65535, lumStsDivByZero},
    };
    for (const auto& c : cases) {
        std::array<Lum8u, 64> raw;
        raw.fill(c.q);
        Table16u fwd{};
        EXPECT_EQ(lumiQuantFwdTableInit_JPEG_8u16u(raw.data(), fwd.data()), c.status);
        for (Lum16u v : fwd) ASSERT_EQ(v, c.reciprocal) << "raw " << int{c.q};
    }
    // One zero among ordinary values: the rest of the table is still built, in natural order.
    std::array<Lum8u, 64> raw;
    raw.fill(16);
    raw[2] = 0;  // zig-zag position 2 is natural index 8
    raw[1] = 2;  // zig-zag position 1 is natural index 1
    Table16u fwd{};
    EXPECT_EQ(lumiQuantFwdTableInit_JPEG_8u16u(raw.data(), fwd.data()), lumStsDivByZero);
    EXPECT_EQ(fwd[8], 65535);
    EXPECT_EQ(fwd[1], 16384);
    EXPECT_EQ(fwd[63], 2048);
    EXPECT_EQ(lumiQuantFwdTableInit_JPEG_8u16u(nullptr, fwd.data()), lumStsNullPtrErr);
    EXPECT_EQ(lumiQuantFwdTableInit_JPEG_8u16u(raw.data(), nullptr), lumStsNullPtrErr);
}

TEST(QuantInvTable, ReordersZigzagToNaturalWithValuesUnchanged) {
    std::array<Lum8u, 64> raw;
    for (int k = 0; k < 64; ++k) raw[k] = static_cast<Lum8u>(k + 1);  // value = zig-zag position + 1
    Table16u inv{};
    ASSERT_EQ(lumiQuantInvTableInit_JPEG_8u16u(raw.data(), inv.data()), lumStsNoErr);
    // Natural index -> zig-zag position (T.81 Figure A.6): the start of the first two rows, a corner, the
    // end.
    const struct {
        int natural, zigzag;
    } cases[] = {{0, 0}, {1, 1}, {8, 2}, {16, 3}, {9, 4}, {2, 5}, {7, 28}, {56, 35}, {62, 62}, {63, 63}};
    for (const auto& c : cases) EXPECT_EQ(inv[c.natural], c.zigzag + 1) << "natural index " << c.natural;
    EXPECT_EQ(lumiQuantInvTableInit_JPEG_8u16u(nullptr, inv.data()), lumStsNullPtrErr);
    EXPECT_EQ(lumiQuantInvTableInit_JPEG_8u16u(raw.data(), nullptr), lumStsNullPtrErr);
}

std::array<Lum16s, 64> Forward(const Block8u& block, const Table16u& fwd) {
    std::array<Lum16s, 64> coef;
    coef.fill(0x5555);
    EXPECT_EQ(lumiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(block.data(), 8, coef.data(), fwd.data()), lumStsNoErr);
    return coef;
}

TEST(DctQuantFwd, FlatBlocksGiveOnlyDcRoundedTiesToEven) {
    // A flat block of v has DC (v - 128) * 8; with the quantiser 16 (reciprocal 2048) that is (v - 128) / 2,
    // a tie whenever v is odd.
    const struct {
        Lum8u v;
        Lum16u reciprocal;
        Lum16s dc;
    } cases[] = {
        {128, 32768, 0}, {255, 32768, 1016}, {0, 32768, -1024},  // unit quantiser: the raw DC
        {129, 2048, 0},  {131, 2048, 2},     {133, 2048, 2},     // 0.5, 1.5, 2.5
        {127, 2048, 0},  {125, 2048, -2},    {123, 2048, -2},    // -0.5, -1.5, -2.5
        {255, 2048, 64}, {200, 65535, 1152},                     // 63.5 -> 64; 576 * 65535 / 32768 = 1151.98
    };
    for (const auto& c : cases) {
        Block8u block;
        block.fill(c.v);
        const auto coef = Forward(block, Flat16u(c.reciprocal));
        EXPECT_EQ(coef[0], c.dc) << "flat " << int{c.v} << " reciprocal " << c.reciprocal;
        for (int i = 1; i < 64; ++i) ASSERT_EQ(coef[i], 0) << "AC " << i << " of flat " << int{c.v};
    }
}

TEST(DctQuantFwd, ArgumentChecksComeBeforeAnyOutput) {
    Block8u src{};
    const Table16u q = Flat16u(1);
    std::array<Lum16s, 64> dst;
    dst.fill(7);
    EXPECT_EQ(lumiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(nullptr, 0, dst.data(), nullptr), lumStsNullPtrErr);
    EXPECT_EQ(lumiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(src.data(), 8, nullptr, q.data()), lumStsNullPtrErr);
    EXPECT_EQ(lumiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(src.data(), 0, dst.data(), nullptr), lumStsStepErr);
    EXPECT_EQ(lumiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(src.data(), 8, dst.data(), nullptr), lumStsNullPtrErr);
    for (Lum16s v : dst) EXPECT_EQ(v, 7);
}

// T.81 A.3.3: F(u,v) = 1/4 C(u) C(v) sum f(x,y) cos((2x+1) u pi / 16) cos((2y+1) v pi / 16).
double Basis(int k, int x) {
    return (k == 0 ? std::sqrt(0.5) : 1.0) * std::cos((2 * x + 1) * k * std::numbers::pi / 16);
}

TEST(DctQuantFwd, MatchesTheDefinitionOfTheDct) {
    std::mt19937 gen(7);
    std::uniform_int_distribution<int> sample(0, 255);
    int worst = 0;
    for (int trial = 0; trial < 200; ++trial) {
        Block8u block;
        for (Lum8u& p : block) p = static_cast<Lum8u>(sample(gen));
        const auto coef = Forward(block, Flat16u(32768));
        for (int v = 0; v < 8; ++v)
            for (int u = 0; u < 8; ++u) {
                double f = 0;
                for (int y = 0; y < 8; ++y)
                    for (int x = 0; x < 8; ++x) f += (block[y * 8 + x] - 128) * Basis(u, x) * Basis(v, y);
                worst = std::max(worst, std::abs(coef[v * 8 + u] - static_cast<int>(std::lround(f / 4))));
            }
    }
    EXPECT_LE(worst, 1);
}

// Forward transform and quantisation, then dequantisation and inverse transform: the PSNR of the round trip.
double RoundTripPsnr(const std::array<Lum8u, 64>& rawZigzag, bool smooth) {
    Table16u fwd{}, inv{};
    EXPECT_EQ(lumiQuantFwdTableInit_JPEG_8u16u(rawZigzag.data(), fwd.data()), lumStsNoErr);
    EXPECT_EQ(lumiQuantInvTableInit_JPEG_8u16u(rawZigzag.data(), inv.data()), lumStsNoErr);
    std::mt19937 gen(11);
    std::uniform_int_distribution<int> sample(0, 255), slope(-12, 12);
    double squared = 0;
    const int blocks = 500;
    for (int trial = 0; trial < blocks; ++trial) {
        Block8u block;
        const int base = sample(gen), dx = slope(gen), dy = slope(gen);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const int v = smooth ? base + dx * (x - 4) + dy * (y - 4) + slope(gen) / 4 : sample(gen);
                block[y * 8 + x] = static_cast<Lum8u>(std::clamp(v, 0, 255));
            }
        const auto coef = Forward(block, fwd);
        Block8u back{};
        EXPECT_EQ(lumiDCTQuantInv8x8LS_JPEG_16s8u_C1R(coef.data(), back.data(), 8, inv.data()), lumStsNoErr);
        for (int i = 0; i < 64; ++i) squared += (block[i] - back[i]) * (block[i] - back[i]);
    }
    const double mse = squared / (64.0 * blocks);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

TEST(DctQuantRoundTrip, StaysCloseToTheInput) {
    std::array<Lum8u, 64> ones;
    ones.fill(1);
    EXPECT_GT(RoundTripPsnr(ones, false), 55.0) << "unit quantisers, noise";
    std::array<Lum8u, 64> luma = kLumaZigzag;
    ASSERT_EQ(lumiQuantFwdRawTableInit_JPEG_8u(luma.data(), 75), lumStsNoErr);
    EXPECT_GT(RoundTripPsnr(luma, true), 40.0) << "quality 75, smooth blocks";
}

TEST(DctQuantInv, DcOnlyBlocksLevelShiftAndClamp) {
    const struct {
        Lum16s dc;
        Lum16u q;
        Lum8u expected;
    } cases[] = {
        {8, 1, 129},     // DC 8 with unit quantisers: one step above mid-grey
        {0, 1, 128},     // nothing: mid-grey
        {1016, 1, 255},  // the forward DC of a flat 255 block
        {-1024, 1, 0},   // the forward DC of a flat 0 block
        {4, 2, 129},     // dequantised to 8
        {2000, 1, 255},  // clamped high
        {-2000, 1, 0},   // clamped low
    };
    for (const auto& c : cases) {
        std::array<Lum16s, 64> coef{};
        coef[0] = c.dc;
        const Table16u q = Flat16u(c.q);
        std::array<Lum8u, 8 * 11> dst;
        dst.fill(0xEE);
        ASSERT_EQ(lumiDCTQuantInv8x8LS_JPEG_16s8u_C1R(coef.data(), dst.data(), 11, q.data()), lumStsNoErr);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 11; ++x)
                EXPECT_EQ(dst[y * 11 + x], x < 8 ? c.expected : 0xEE)
                    << "DC " << c.dc << " at " << x << "," << y;
    }
}

TEST(DctQuantInv, ArgumentChecksComeBeforeAnyOutput) {
    std::array<Lum16s, 64> coef{};
    const Table16u q = Flat16u(1);
    Block8u dst;
    dst.fill(7);
    EXPECT_EQ(lumiDCTQuantInv8x8LS_JPEG_16s8u_C1R(nullptr, dst.data(), 0, nullptr), lumStsNullPtrErr);
    EXPECT_EQ(lumiDCTQuantInv8x8LS_JPEG_16s8u_C1R(coef.data(), dst.data(), 0, nullptr), lumStsStepErr);
    EXPECT_EQ(lumiDCTQuantInv8x8LS_JPEG_16s8u_C1R(coef.data(), dst.data(), 8, nullptr), lumStsNullPtrErr);
    EXPECT_EQ(lumiDCTQuantInv8x8LS_JPEG_16s8u_C1R(coef.data(), nullptr, 8, q.data()), lumStsNullPtrErr);
    for (Lum8u b : dst) EXPECT_EQ(b, 7);
}

TEST(DctQuantInv, DequantisationSaturatesInsteadOfWrapping) {
    // 300 * 200 = 60000 saturates to 32767 and must give the block of a DC of 32767; wrapped to 16 bits
    // (-5536) it would give another one.
    std::array<Lum16s, 64> coef{};
    coef[0] = 300;
    const Table16u q = Flat16u(200);
    Block8u dst{};
    ASSERT_EQ(lumiDCTQuantInv8x8LS_JPEG_16s8u_C1R(coef.data(), dst.data(), 8, q.data()), lumStsNoErr);
    std::array<Lum16s, 64> same{};
    same[0] = 32767;
    Block8u ref{};
    ASSERT_EQ(lumiDCTQuantInv8x8LS_JPEG_16s8u_C1R(same.data(), ref.data(), 8, Flat16u(1).data()),
              lumStsNoErr);
    EXPECT_EQ(dst, ref);
}

}  // namespace
