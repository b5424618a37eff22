// Colour conversions: fixed points of the JFIF and BT.601 conversions, agreement with the floating-point
// formulas, and the argument check orders.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "lumacore/lumacore.h"

namespace {

int Clamp(double v) {
    return static_cast<int>(std::lround(std::fmin(255.0, std::fmax(0.0, v))));
}

struct Triple {
    int a, b, c;
};

// One pixel through lumiYCbCrToRGB / lumiYCbCrToBGR.
Triple ToRgb(int y, int cb, int cr, bool bgr) {
    const Lum8u ys = static_cast<Lum8u>(y), cbs = static_cast<Lum8u>(cb), crs = static_cast<Lum8u>(cr);
    const Lum8u* planes[3] = {&ys, &cbs, &crs};
    Lum8u out[3] = {};
    const LumStatus st = bgr ? lumiYCbCrToBGR_JPEG_8u_P3C3R(planes, 1, out, 3, LumiSize{1, 1})
                             : lumiYCbCrToRGB_JPEG_8u_P3C3R(planes, 1, out, 3, LumiSize{1, 1});
    EXPECT_EQ(st, lumStsNoErr);
    return bgr ? Triple{out[2], out[1], out[0]} : Triple{out[0], out[1], out[2]};
}

// One pixel through the conversions to YCbCr: {Y, Cb, Cr} from (a, b, c) given in the source byte order.
Triple FromPixel(int r, int g, int b) {
    const Lum8u rgb[3] = {static_cast<Lum8u>(r), static_cast<Lum8u>(g), static_cast<Lum8u>(b)};
    const Lum8u bgr[3] = {rgb[2], rgb[1], rgb[0]};
    Lum8u y = 0, cb = 0, cr = 0, y2 = 0, cb2 = 0, cr2 = 0, luma = 0;
    Lum8u* planes[3] = {&y, &cb, &cr};
    Lum8u* planes2[3] = {&y2, &cb2, &cr2};
    EXPECT_EQ(lumiRGBToYCbCr_JPEG_8u_C3P3R(rgb, 3, planes, 1, LumiSize{1, 1}), lumStsNoErr);
    EXPECT_EQ(lumiBGRToYCbCr_JPEG_8u_C3P3R(bgr, 3, planes2, 1, LumiSize{1, 1}), lumStsNoErr);
    EXPECT_EQ(lumiRGBToY_JPEG_8u_C3C1R(rgb, 3, &luma, 1, LumiSize{1, 1}), lumStsNoErr);
    EXPECT_TRUE(y == y2 && cb == cb2 && cr == cr2 && luma == y) << "RGB, BGR and Y-only disagree";
    return Triple{y, cb, cr};
}

TEST(RgbToYCbCr, FixedPoints) {
    const struct {
        int r, g, b;
        Triple ycc;
    } cases[] = {
        {255, 255, 255, {255, 128, 128}}, {0, 0, 0, {0, 128, 128}},   {255, 0, 0, {76, 85, 255}},
        {0, 0, 255, {29, 255, 107}},      {0, 255, 0, {150, 44, 21}},
    };
    for (const auto& c : cases) {
        const Triple t = FromPixel(c.r, c.g, c.b);
        EXPECT_TRUE(t.a == c.ycc.a && t.b == c.ycc.b && t.c == c.ycc.c)
            << c.r << "," << c.g << "," << c.b << " gave " << t.a << "," << t.b << "," << t.c;
    }
}

TEST(RgbToYCbCr, AgreesWithJfifWithinOne) {
    // JFIF: Y = 0.299 R + 0.587 G + 0.114 B; Cb = 128 - 0.168736 R - 0.331264 G + 0.5 B;
    // Cr = 128 + 0.5 R - 0.418688 G - 0.081312 B.
    std::vector<Lum8u> rgb;
    for (int r = 0; r < 256; r += 5)
        for (int g = 0; g < 256; g += 5)
            for (int b = 0; b < 256; ++b)
                rgb.insert(rgb.end(), {static_cast<Lum8u>(r), static_cast<Lum8u>(g), static_cast<Lum8u>(b)});
    const int width = 256, height = static_cast<int>(rgb.size() / 3 / 256);
    std::vector<Lum8u> y(rgb.size() / 3), cb(y.size()), cr(y.size());
    Lum8u* planes[3] = {y.data(), cb.data(), cr.data()};
    ASSERT_EQ(lumiRGBToYCbCr_JPEG_8u_C3P3R(rgb.data(), width * 3, planes, width, LumiSize{width, height}),
              lumStsNoErr);
    int worst = 0;
    for (std::size_t i = 0; i < y.size(); ++i) {
        const double r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
        worst = std::max({worst, std::abs(y[i] - Clamp(0.299 * r + 0.587 * g + 0.114 * b)),
                          std::abs(cb[i] - Clamp(128 - 0.168736 * r - 0.331264 * g + 0.5 * b)),
                          std::abs(cr[i] - Clamp(128 + 0.5 * r - 0.418688 * g - 0.081312 * b))});
    }
    EXPECT_LE(worst, 1);
}

TEST(CmykToYcck, InvertedColourConvertedAndKCopied) {
    // Inverted CMYK: 0, 0, 0 is white, 255, 0, 255 is green.
    const Lum8u cmyk[8] = {0, 0, 0, 9, 255, 0, 255, 210};
    Lum8u y[2], cb[2], cr[2], k[2];
    Lum8u* planes[4] = {y, cb, cr, k};
    ASSERT_EQ(lumiCMYKToYCCK_JPEG_8u_C4P4R(cmyk, 8, planes, 2, LumiSize{2, 1}), lumStsNoErr);
    const Triple green = FromPixel(0, 255, 0);
    EXPECT_TRUE(y[0] == 255 && cb[0] == 128 && cr[0] == 128 && k[0] == 9);
    EXPECT_TRUE(y[1] == green.a && cb[1] == green.b && cr[1] == green.c && k[1] == 210);
}

TEST(YCbCrToRgb, AgreesWithJfifWithinOne) {
    // JFIF: R = Y + 1.402 (Cr - 128), G = Y - 0.344136 (Cb - 128) - 0.714136 (Cr - 128), B = Y + 1.772 (Cb -
    // 128). Every Y and every Cb, Cr on a grid of 5, through one image so the row loop is exercised too.
    std::vector<Lum8u> ys, cbs, crs;
    for (int y = 0; y < 256; ++y)
        for (int cb = 0; cb < 256; cb += 5)
            for (int cr = 0; cr < 256; cr += 5) {
                ys.push_back(static_cast<Lum8u>(y));
                cbs.push_back(static_cast<Lum8u>(cb));
                crs.push_back(static_cast<Lum8u>(cr));
            }
    const int width = 52 * 52, height = 256;
    const Lum8u* planes[3] = {ys.data(), cbs.data(), crs.data()};
    std::vector<Lum8u> rgb(ys.size() * 3), bgr(ys.size() * 3);
    ASSERT_EQ(lumiYCbCrToRGB_JPEG_8u_P3C3R(planes, width, rgb.data(), width * 3, LumiSize{width, height}),
              lumStsNoErr);
    ASSERT_EQ(lumiYCbCrToBGR_JPEG_8u_P3C3R(planes, width, bgr.data(), width * 3, LumiSize{width, height}),
              lumStsNoErr);
    int worst = 0;
    for (std::size_t i = 0; i < ys.size(); ++i) {
        const double y = ys[i], cb = cbs[i] - 128.0, cr = crs[i] - 128.0;
        const int r = Clamp(y + 1.402 * cr), g = Clamp(y - 0.344136 * cb - 0.714136 * cr),
                  b = Clamp(y + 1.772 * cb);
        worst = std::max(
            {worst, std::abs(rgb[3 * i] - r), std::abs(rgb[3 * i + 1] - g), std::abs(rgb[3 * i + 2] - b)});
        ASSERT_TRUE(bgr[3 * i] == rgb[3 * i + 2] && bgr[3 * i + 1] == rgb[3 * i + 1] &&
                    bgr[3 * i + 2] == rgb[3 * i])
            << "BGR is not RGB reversed at Y " << int{ys[i]} << " Cb " << int{cbs[i]} << " Cr "
            << int{crs[i]};
    }
    EXPECT_LE(worst, 1);
}

TEST(YCbCrToRgb, FixedPoints) {
    const struct {
        int y, cb, cr;
        Triple rgb;
    } cases[] = {
        {255, 128, 128, {255, 255, 255}}, {0, 128, 128, {0, 0, 0}},
        {76, 85, 255, {254, 0, 0}},    // the encoder's red comes back within one
        {128, 0, 255, {255, 81, 0}},   // R clamped high, B low
        {128, 255, 0, {0, 176, 255}},  // R clamped low, B high
    };
    for (const auto& c : cases)
        for (bool bgr : {false, true}) {
            const Triple t = ToRgb(c.y, c.cb, c.cr, bgr);
            EXPECT_TRUE(t.a == c.rgb.a && t.b == c.rgb.b && t.c == c.rgb.c)
                << "Y " << c.y << " Cb " << c.cb << " Cr " << c.cr << " gave " << t.a << "," << t.b << ","
                << t.c;
        }
}

TEST(YcckToCmyk, InvertsTheColourAndCopiesK) {
    const Lum8u y[2] = {255, 0}, cb[2] = {128, 128}, cr[2] = {128, 128}, k[2] = {7, 200};
    const Lum8u* planes[4] = {y, cb, cr, k};
    Lum8u out[9];
    out[8] = 0xEE;
    ASSERT_EQ(lumiYCCKToCMYK_JPEG_8u_P4C4R(planes, 2, out, 8, LumiSize{2, 1}), lumStsNoErr);
    const Lum8u expected[9] = {0, 0, 0, 7, 255, 255, 255, 200, 0xEE};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(out[i], expected[i]) << "byte " << i;
}

// ---- Video-range 4:2:0 ----

struct Bgr {
    int b, g, r;
};

Bgr Convert420(int y, int cb, int cr) {
    const Lum8u ys = static_cast<Lum8u>(y), cbs = static_cast<Lum8u>(cb), crs = static_cast<Lum8u>(cr);
    const Lum8u* planes[3] = {&ys, &cbs, &crs};
    const int steps[3] = {1, 1, 1};
    Lum8u out[3] = {};
    EXPECT_EQ(lumiYCbCr420ToBGR_8u_P3C3R(planes, steps, out, 3, LumiSize{1, 1}), lumStsNoErr);
    return Bgr{out[0], out[1], out[2]};
}

TEST(YCbCr420ToBgr, VideoRangeEnds) {
    const struct {
        int y;
        int expected;
    } cases[] = {{16, 0}, {15, 0}, {235, 254}, {236, 255}, {255, 255}, {126, 128}};
    for (const auto& c : cases) {
        const Bgr p = Convert420(c.y, 128, 128);
        EXPECT_TRUE(p.b == c.expected && p.g == c.expected && p.r == c.expected)
            << "Y " << c.y << " gave " << p.b << "," << p.g << "," << p.r;
    }
}

TEST(YCbCr420ToBgr, AgreesWithBt601WithinOne) {
    int worst = 0;
    for (int y = 0; y < 256; y += 3)
        for (int cb = 0; cb < 256; cb += 3)
            for (int cr = 0; cr < 256; cr += 3) {
                const double l = 1.164 * (y - 16);
                const int r = Clamp(l + 1.596 * (cr - 128)),
                          g = Clamp(l - 0.392 * (cb - 128) - 0.813 * (cr - 128)),
                          b = Clamp(l + 2.017 * (cb - 128));
                const Bgr p = Convert420(y, cb, cr);
                worst = std::max({worst, std::abs(p.r - r), std::abs(p.g - g), std::abs(p.b - b)});
            }
    EXPECT_LE(worst, 1);
}

TEST(YCbCr420ToBgr, OddSizeReadsTheCoveringChromaOnly) {
    // 3x3 luma with exactly 2x2 chroma samples (no padding: the sanitizer sees any read beyond them).
    std::vector<Lum8u> luma(9, 126);
    std::vector<Lum8u> cb{128, 128, 128, 228}, cr{128, 128, 128, 28};
    const Lum8u* planes[3] = {luma.data(), cb.data(), cr.data()};
    const int steps[3] = {3, 2, 2};
    std::vector<Lum8u> out(9 * 3);
    ASSERT_EQ(lumiYCbCr420ToBGR_8u_P3C3R(planes, steps, out.data(), 9, LumiSize{3, 3}), lumStsNoErr);
    const Bgr corner = Convert420(126, 228, 28);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) {
            const Lum8u* p = &out[static_cast<std::size_t>(y * 9 + x * 3)];
            const bool last = x == 2 && y == 2;  // the only pixel covered by chroma (1, 1)
            EXPECT_EQ(p[0], last ? corner.b : 128) << x << "," << y;
            EXPECT_EQ(p[2], last ? corner.r : 128) << x << "," << y;
        }
}

// ---- Argument check orders ----

TEST(ColourArguments, PointersThenStepsThenSizes) {
    Lum8u plane[4] = {1, 2, 3, 4}, packed[8] = {};
    const Lum8u* planes[4] = {plane, plane, plane, plane};
    const Lum8u* holed[4] = {plane, plane, nullptr, plane};
    const struct {
        const Lum8u* const* src;
        Lum8u* dst;
        int srcStep;
        LumiSize roi;
        LumStatus expected;
    } cases[] = {
        {nullptr, packed, 1, {1, 1}, lumStsNullPtrErr}, {planes, nullptr, 1, {1, 1}, lumStsNullPtrErr},
        {holed, packed, 0, {0, 0}, lumStsNullPtrErr},  // a plane pointer before the step
        {planes, packed, 0, {0, 0}, lumStsStepErr},    // the step before the size
        {planes, packed, -3, {1, 1}, lumStsStepErr},    {planes, packed, 1, {0, 1}, lumStsSizeErr},
        {planes, packed, 1, {1, -1}, lumStsSizeErr},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lumiYCbCrToRGB_JPEG_8u_P3C3R(c.src, c.srcStep, c.dst, 3, c.roi), c.expected);
        EXPECT_EQ(lumiYCbCrToBGR_JPEG_8u_P3C3R(c.src, c.srcStep, c.dst, 3, c.roi), c.expected);
        EXPECT_EQ(lumiYCCKToCMYK_JPEG_8u_P4C4R(c.src, c.srcStep, c.dst, 4, c.roi), c.expected);
    }
    Lum8u* outPlanes[4] = {plane, plane, plane, plane};
    Lum8u* outHoled[4] = {plane, plane, plane, nullptr};
    const struct {
        const Lum8u* src;
        Lum8u* const* dst;
        int srcStep;
        LumiSize roi;
        LumStatus expected;
    } toPlanar[] = {
        {nullptr, outPlanes, 3, {1, 1}, lumStsNullPtrErr},
        {packed, nullptr, 3, {1, 1}, lumStsNullPtrErr},
        {packed, outPlanes, 0, {0, 0}, lumStsStepErr},
        {packed, outPlanes, 3, {1, 0}, lumStsSizeErr},
    };
    for (const auto& c : toPlanar) {
        EXPECT_EQ(lumiRGBToYCbCr_JPEG_8u_C3P3R(c.src, c.srcStep, c.dst, 1, c.roi), c.expected);
        EXPECT_EQ(lumiBGRToYCbCr_JPEG_8u_C3P3R(c.src, c.srcStep, c.dst, 1, c.roi), c.expected);
        EXPECT_EQ(lumiCMYKToYCCK_JPEG_8u_C4P4R(c.src, c.srcStep, c.dst, 1, c.roi), c.expected);
        EXPECT_EQ(lumiRGBToY_JPEG_8u_C3C1R(c.src, c.srcStep, c.dst ? c.dst[0] : nullptr, 1, c.roi),
                  c.expected);
    }
    // Only the four-plane conversion looks at a fourth plane.
    EXPECT_EQ(lumiCMYKToYCCK_JPEG_8u_C4P4R(packed, 0, outHoled, 1, LumiSize{0, 0}), lumStsNullPtrErr);
    EXPECT_EQ(lumiRGBToYCbCr_JPEG_8u_C3P3R(packed, 0, outHoled, 1, LumiSize{0, 0}), lumStsStepErr);
    // The destination step too, before the size.
    EXPECT_EQ(lumiYCbCrToRGB_JPEG_8u_P3C3R(planes, 1, packed, 0, LumiSize{0, 0}), lumStsStepErr);
    EXPECT_EQ(lumiRGBToYCbCr_JPEG_8u_C3P3R(packed, 3, outPlanes, 0, LumiSize{1, 0}), lumStsStepErr);
    // Nothing was written on either side.
    for (Lum8u b : packed) EXPECT_EQ(b, 0);
    EXPECT_EQ(plane[0], 1);
    EXPECT_EQ(plane[3], 4);
}

TEST(ColourArguments, The420ConversionChecksSizesBeforePlanes) {
    Lum8u plane[4] = {}, packed[4] = {};
    const Lum8u* planes[3] = {plane, plane, plane};
    const Lum8u* holed[3] = {plane, nullptr, plane};
    const int good[3] = {1, 1, 1}, bad[3] = {1, 1, 0};
    const struct {
        const Lum8u* const* src;
        const int* steps;
        Lum8u* dst;
        int dstStep;
        LumiSize roi;
        LumStatus expected;
    } cases[] = {
        {nullptr, good, packed, 3, {1, 1}, lumStsNullPtrErr},
        {planes, good, nullptr, 3, {1, 1}, lumStsNullPtrErr},
        {holed, bad, packed, 0, {0, 1}, lumStsSizeErr},     // size before the plane pointers
        {holed, bad, packed, 0, {1, 1}, lumStsNullPtrErr},  // plane pointers before the steps
        {planes, bad, packed, 3, {1, 1}, lumStsStepErr},
        {planes, good, packed, 0, {1, 1}, lumStsStepErr},
        {planes, nullptr, packed, 3, {1, 1}, lumStsNullPtrErr},  // a missing step array is refused, not read
    };
    for (const auto& c : cases)
        EXPECT_EQ(lumiYCbCr420ToBGR_8u_P3C3R(c.src, c.steps, c.dst, c.dstStep, c.roi), c.expected);
    for (Lum8u b : packed) EXPECT_EQ(b, 0);
}

}  // namespace
