// Chroma resampling: the filters' weights and rounding, which neighbours they read, and the check order.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "lumacore/lumacore.h"

namespace {

TEST(SampleDown, AveragesRoundUp) {
    const struct {
        std::array<Lum8u, 4> src;  // H2V1: one row of four; H2V2: two rows of two
        std::array<Lum8u, 2> h2v1;
        Lum8u h2v2;
    } cases[] = {
        {{0, 0, 0, 1}, {0, 1}, 1},  // bias 3: a quarter rounds up
        {{1, 2, 0, 0}, {2, 0}, 1},  // (1 + 2 + 1) >> 1; (3 + 3) >> 2
        {{255, 255, 255, 255}, {255, 255}, 255},
        {{0, 255, 255, 0}, {128, 128}, 128},
        {{1, 1, 1, 0}, {1, 1}, 1},
    };
    for (const auto& c : cases) {
        std::array<Lum8u, 3> out;
        out.fill(0xEE);
        ASSERT_EQ(
            lumiSampleDownH2V1_JPEG_8u_C1R(c.src.data(), 4, LumiSize{4, 1}, out.data(), 2, LumiSize{2, 1}),
            lumStsNoErr);
        EXPECT_TRUE(out[0] == c.h2v1[0] && out[1] == c.h2v1[1] && out[2] == 0xEE) << &c - cases;
        out.fill(0xEE);
        ASSERT_EQ(
            lumiSampleDownH2V2_JPEG_8u_C1R(c.src.data(), 2, LumiSize{2, 2}, out.data(), 1, LumiSize{1, 1}),
            lumStsNoErr);
        EXPECT_TRUE(out[0] == c.h2v2 && out[1] == 0xEE) << &c - cases;
    }
}

TEST(SampleUpH2V1, TriangleFilterWithAsymmetricRounding) {
    // Source rows with their border samples: {left border, samples..., right border}.
    const struct {
        std::vector<Lum8u> row;
        std::vector<Lum8u> expected;
    } cases[] = {
        {{10, 20, 40, 50}, {17, 25, 35, 43}},
        {{2, 0, 2}, {0, 1}},  // even outputs round with +1, odd ones with +2
        {{255, 255, 255}, {255, 255}},
        {{0, 100, 0}, {75, 75}},
        {{10, 20, 40, 99}, {17, 25, 35}},  // odd width: the last source sample gives one output
    };
    for (const auto& c : cases) {
        const int dstW = static_cast<int>(c.expected.size());
        const int srcW = static_cast<int>(c.row.size()) - 2;
        std::vector<Lum8u> dst(c.expected.size() + 1, 0xEE);
        ASSERT_EQ(lumiSampleUpH2V1_JPEG_8u_C1R(c.row.data() + 1, 16, LumiSize{srcW, 1}, dst.data(), 16,
                                               LumiSize{dstW, 1}),
                  lumStsNoErr);
        for (int i = 0; i < dstW; ++i)
            EXPECT_EQ(dst[i], c.expected[i]) << "output " << i << " of case " << &c - cases;
        EXPECT_EQ(dst[dstW], 0xEE);
    }
}

TEST(SampleUpH2V2, EvenRowsLookUpOddRowsLookDown) {
    // Three source rows of two samples each with a one-sample border on both sides (step 4): the row
    // above the image, the image row, the row below.
    const std::array<Lum8u, 12> src = {0,  0,  0,  0,  //
                                       0,  0,  0,  0,  //
                                       16, 16, 16, 16};
    std::array<Lum8u, 8> dst;
    dst.fill(0xEE);
    ASSERT_EQ(lumiSampleUpH2V2_JPEG_8u_C1R(src.data() + 5, 4, LumiSize{2, 1}, dst.data(), 4, LumiSize{4, 2}),
              lumStsNoErr);
    // Row 0 mixes in the (zero) row above; row 1 the row below: (3 * 16 + 16 + 7) >> 4 = 4 and
    // (3 * 16 + 16 + 8) >> 4 = 4.
    const std::array<Lum8u, 8> expected = {0, 0, 0, 0, 4, 4, 4, 4};
    EXPECT_EQ(dst, expected);

    // Rounding: 9c + 3l + 3f + fl + 8 against 9c + 3r + 3f + fr + 7 with both weighted sums 8.
    const std::array<Lum8u, 6> rows = {2, 0, 2,  //
                                       2, 0, 2};
    std::array<Lum8u, 2> pair{};
    ASSERT_EQ(
        lumiSampleUpH2V2_JPEG_8u_C1R(rows.data() + 4, 3, LumiSize{1, 1}, pair.data(), 2, LumiSize{2, 1}),
        lumStsNoErr);
    EXPECT_EQ(pair[0], 1);
    EXPECT_EQ(pair[1], 0);
}

TEST(SamplingArguments, SourceCheckedCompletelyBeforeDestination) {
    Lum8u src[64] = {}, dst[64] = {};
    const LumiSize one{1, 1}, none{0, 1};
    const struct {
        const Lum8u* src;
        int srcStep;
        LumiSize srcRoi;
        Lum8u* dst;
        int dstStep;
        LumiSize dstRoi;
        LumStatus expected;
    } cases[] = {
        {nullptr, 0, none, nullptr, 0, none, lumStsNullPtrErr},
        {src + 16, 0, none, nullptr, 0, none, lumStsStepErr},
        {src + 16, 8, none, nullptr, 0, none, lumStsSizeErr},
        {src + 16, 8, LumiSize{1, -1}, dst, 8, one, lumStsSizeErr},
        {src + 16, 8, one, nullptr, 0, none, lumStsNullPtrErr},
        {src + 16, 8, one, dst, -8, none, lumStsStepErr},
        {src + 16, 8, one, dst, 8, none, lumStsSizeErr},
    };
    using Fn = LumStatus (*)(const Lum8u*, int, LumiSize, Lum8u*, int, LumiSize);
    const Fn all[] = {lumiSampleDownH2V1_JPEG_8u_C1R, lumiSampleDownH2V2_JPEG_8u_C1R,
                      lumiSampleUpH2V1_JPEG_8u_C1R, lumiSampleUpH2V2_JPEG_8u_C1R};
    for (Fn fn : all)
        for (const auto& c : cases)
            EXPECT_EQ(fn(c.src, c.srcStep, c.srcRoi, c.dst, c.dstStep, c.dstRoi), c.expected) << &c - cases;
    for (Lum8u b : dst) EXPECT_EQ(b, 0);
}

}  // namespace
