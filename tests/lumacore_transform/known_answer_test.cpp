// Known answers: the outputs over fixed input sets, hashed, must equal hashes computed once by a separate
// model of the fixed-point arithmetic. The tolerance tests elsewhere cannot see a rounding constant that is
// off by one; these can.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "lumacore/lumacore.h"

namespace {

// FNV-1a over the low 16 bits of each value.
class Hash {
  public:
    void Add(int v) {
        h_ ^= static_cast<uint32_t>(v) & 0xFFFFu;
        h_ *= 16777619u;
    }
    uint32_t value() const { return h_; }

  private:
    uint32_t h_ = 2166136261u;
};

// The classic rand() recurrence; each step gives one byte.
class Lcg {
  public:
    explicit Lcg(uint32_t seed) : s_(seed) {}
    Lum8u Next() {
        s_ = s_ * 1103515245u + 12345u;
        return static_cast<Lum8u>(s_ >> 16);
    }

  private:
    uint32_t s_;
};

// 64 blocks: every eighth a 0/255 checkerboard (the largest AC swing), the others random.
std::vector<std::array<Lum8u, 64>> Blocks() {
    std::vector<std::array<Lum8u, 64>> out(64);
    Lcg gen(2024);
    for (int k = 0; k < 64; ++k)
        for (int i = 0; i < 64; ++i) {
            const int x = i % 8, y = i / 8;
            out[k][i] = k % 8 == 0 ? static_cast<Lum8u>((x + y + k / 8) % 2 ? 255 : 0) : gen.Next();
        }
    return out;
}

uint32_t ForwardHash(const std::array<Lum16u, 64>& table) {
    Hash h;
    for (const auto& block : Blocks()) {
        std::array<Lum16s, 64> coef{};
        EXPECT_EQ(lumiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(block.data(), 8, coef.data(), table.data()),
                  lumStsNoErr);
        for (Lum16s c : coef) h.Add(c);
    }
    return h.value();
}

TEST(KnownAnswers, ForwardTransformAndQuantisation) {
    std::array<Lum16u, 64> unit;
    unit.fill(32768);
    EXPECT_EQ(ForwardHash(unit), 0xd13b9643u) << "unit quantisers";

    // The first random block, in full, for a readable failure.
    std::array<Lum16s, 64> coef{};
    ASSERT_EQ(lumiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(Blocks()[1].data(), 8, coef.data(), unit.data()),
              lumStsNoErr);
    const std::array<Lum16s, 16> firstRows = {-2,  21,  -30, -47, 64, 16, 11,  -61,
                                              -53, -40, 34,  91,  19, 59, -60, 145};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(coef[i], firstRows[i]) << "coefficient " << i;

    // The example luminance table of T.81 Annex K (zig-zag order) through the forward table builder.
    const std::array<Lum8u, 64> luma = {
        16, 11,  12, 14, 12, 10, 16,  14,  13,  14, 18, 17,  16,  19,  24,  40,  26, 24,  22,  22, 24, 49,
        35, 37,  29, 40, 58, 51, 61,  60,  57,  51, 56, 55,  64,  72,  92,  78,  64, 68,  87,  69, 55, 56,
        80, 109, 81, 87, 95, 98, 103, 104, 103, 62, 77, 113, 121, 112, 100, 120, 92, 101, 103, 99};
    std::array<Lum16u, 64> fwd{};
    ASSERT_EQ(lumiQuantFwdTableInit_JPEG_8u16u(luma.data(), fwd.data()), lumStsNoErr);
    EXPECT_EQ(ForwardHash(fwd), 0x940d1600u) << "luminance table";
}

TEST(KnownAnswers, DequantisationInverseTransformAndClamp) {
    // 64 blocks: even ones as a decoder sees them, odd ones with any 16-bit coefficient; the first two of
    // every four with small quantisers, the others with any 16-bit quantiser (saturating products).
    Lcg gen(7);
    auto floorMod = [](int v, int m) { return ((v % m) + m) % m; };
    Hash h;
    for (int k = 0; k < 64; ++k) {
        std::array<Lum16s, 64> coef{};
        std::array<Lum16u, 64> table{};
        for (int i = 0; i < 64; ++i) {
            const int hi = gen.Next();
            const int v = static_cast<Lum16s>((hi << 8) | gen.Next());
            coef[i] = static_cast<Lum16s>(k % 2 != 0 ? v
                                          : i == 0   ? floorMod(v, 2048) - 1024
                                                     : floorMod(v, 129) - 64);
        }
        for (int i = 0; i < 64; ++i) {
            if (k % 4 < 2) {
                table[i] = static_cast<Lum16u>(1 + gen.Next() % 64);
            } else {
                const int hi = gen.Next();
                table[i] = static_cast<Lum16u>((hi << 8) | gen.Next());
            }
        }
        std::array<Lum8u, 64> out{};
        ASSERT_EQ(lumiDCTQuantInv8x8LS_JPEG_16s8u_C1R(coef.data(), out.data(), 8, table.data()), lumStsNoErr);
        for (Lum8u v : out) h.Add(v);
    }
    EXPECT_EQ(h.value(), 0x1204d63au);
}

TEST(KnownAnswers, FullRangeColour) {
    // YCbCr to RGB: every Y, and Cb, Cr on a grid of 5.
    {
        std::vector<Lum8u> y, cb, cr;
        for (int l = 0; l < 256; ++l)
            for (int b = 0; b < 256; b += 5)
                for (int r = 0; r < 256; r += 5) {
                    y.push_back(static_cast<Lum8u>(l));
                    cb.push_back(static_cast<Lum8u>(b));
                    cr.push_back(static_cast<Lum8u>(r));
                }
        const int width = static_cast<int>(y.size());
        const Lum8u* planes[3] = {y.data(), cb.data(), cr.data()};
        std::vector<Lum8u> rgb(y.size() * 3);
        ASSERT_EQ(lumiYCbCrToRGB_JPEG_8u_P3C3R(planes, width, rgb.data(), width * 3, LumiSize{width, 1}),
                  lumStsNoErr);
        Hash h;
        for (Lum8u v : rgb) h.Add(v);
        EXPECT_EQ(h.value(), 0x2eb29781u) << "YCbCr to RGB";
    }
    // RGB to YCbCr: R, G on a grid of 5, every B; the planes hashed one after the other.
    {
        std::vector<Lum8u> rgb;
        for (int r = 0; r < 256; r += 5)
            for (int g = 0; g < 256; g += 5)
                for (int b = 0; b < 256; ++b)
                    rgb.insert(rgb.end(),
                               {static_cast<Lum8u>(r), static_cast<Lum8u>(g), static_cast<Lum8u>(b)});
        const int width = static_cast<int>(rgb.size() / 3);
        std::vector<Lum8u> y(static_cast<std::size_t>(width)), cb(y.size()), cr(y.size());
        Lum8u* planes[3] = {y.data(), cb.data(), cr.data()};
        ASSERT_EQ(lumiRGBToYCbCr_JPEG_8u_C3P3R(rgb.data(), width * 3, planes, width, LumiSize{width, 1}),
                  lumStsNoErr);
        Hash h;
        for (const auto* plane : {&y, &cb, &cr})
            for (Lum8u v : *plane) h.Add(v);
        EXPECT_EQ(h.value(), 0xe27f4e7fu) << "RGB to YCbCr";
    }
}

TEST(KnownAnswers, VideoRange420) {
    // A random 353x287 picture (odd both ways) with 177x144 chroma planes.
    const int width = 353, height = 287, cw = 177, ch = 144;
    Lcg gen(99);
    std::vector<Lum8u> y(width * height), cb(cw * ch), cr(cw * ch);
    for (auto* plane : {&y, &cb, &cr})
        for (Lum8u& v : *plane) v = gen.Next();
    const Lum8u* planes[3] = {y.data(), cb.data(), cr.data()};
    const int steps[3] = {width, cw, cw};
    std::vector<Lum8u> bgr(width * height * 3);
    ASSERT_EQ(lumiYCbCr420ToBGR_8u_P3C3R(planes, steps, bgr.data(), width * 3, LumiSize{width, height}),
              lumStsNoErr);
    Hash h;
    for (Lum8u v : bgr) h.Add(v);
    EXPECT_EQ(h.value(), 0xb6ddfc63u);
}

}  // namespace
