// Quantisation tables and the 8x8 transforms: fixed cases, and a round trip against the input.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "lumacore/lumacore.h"

namespace {

using Block8u = std::array<Lum8u, 64>;
using Table16u = std::array<Lum16u, 64>;

Table16u Flat16u(Lum16u v) {
    Table16u t;
    t.fill(v);
    return t;
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
