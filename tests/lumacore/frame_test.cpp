// The frame primitives through the shared library: allocation, alignment, vector and image copies, and
// the fixed order of argument checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "lumacore/lumacore.h"

namespace {

bool AlignedTo(const void* p, std::uintptr_t a) {
    return reinterpret_cast<std::uintptr_t>(p) % a == 0;
}

TEST(Allocation, NonPositiveLengthsGiveNullAndFreeNullIsHarmless) {
    EXPECT_EQ(lumsMalloc_8u(0), nullptr);
    EXPECT_EQ(lumsMalloc_8u(-1), nullptr);
    EXPECT_EQ(lumsMalloc_16s(0), nullptr);
    EXPECT_EQ(lumMalloc(-5), nullptr);
    lumsFree(nullptr);
    lumFree(nullptr);
}

TEST(Allocation, BlocksAre32ByteAlignedAndHoldTheirLength) {
    for (int len : {1, 7, 31, 32, 33, 1000, 1 << 20}) {
        Lum8u* p = lumsMalloc_8u(len);
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(AlignedTo(p, 32));
        lumsSet_8u(0xA5, p, len);  // the sanitizer checks every byte is inside the block
        lumsFree(p);

        Lum16s* q = lumsMalloc_16s(len);
        ASSERT_NE(q, nullptr);
        EXPECT_TRUE(AlignedTo(q, 32));
        q[len - 1] = -1;
        lumFree(q);

        void* r = lumMalloc(len);
        ASSERT_NE(r, nullptr);
        EXPECT_TRUE(AlignedTo(r, 32));
        lumsFree(r);  // the free functions share one implementation
    }
}

TEST(Allocation, HiddenStartSurvivesHighAddresses) {
    // Many live blocks at once: on 64-bit their system addresses do not fit in 32 bits, so a truncated
    // hidden start would free the wrong address (the sanitizer reports it).
    std::vector<Lum8u*> blocks;
    for (int i = 0; i < 64; ++i) blocks.push_back(lumsMalloc_8u(4096 + i));
    for (Lum8u* b : blocks) lumsFree(b);
}

TEST(AlignPtr, RoundsUpToPowerOfTwo) {
    alignas(64) static Lum8u buffer[128];
    EXPECT_EQ(lumAlignPtr(buffer, 16), buffer);
    EXPECT_EQ(lumAlignPtr(buffer + 1, 16), buffer + 16);
    EXPECT_EQ(lumAlignPtr(buffer + 15, 16), buffer + 16);
    EXPECT_EQ(lumAlignPtr(buffer + 17, 32), buffer + 32);
    EXPECT_EQ(lumAlignPtr(buffer + 3, 1), buffer + 3);
}

TEST(VectorPrimitives, ArgumentOrderAndResults) {
    Lum8u src[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    Lum8u dst[8] = {};
    EXPECT_EQ(lumsCopy_8u(src, dst, 0), lumStsSizeErr);
    EXPECT_EQ(dst[0], 0);
    EXPECT_EQ(lumsCopy_8u(nullptr, dst, 0), lumStsNullPtrErr);  // null before size
    EXPECT_EQ(lumsCopy_8u(src, nullptr, 8), lumStsNullPtrErr);
    EXPECT_EQ(lumsCopy_8u(src, dst, 8), lumStsNoErr);
    EXPECT_EQ(std::vector<Lum8u>(dst, dst + 8), std::vector<Lum8u>(src, src + 8));

    EXPECT_EQ(lumsSet_8u(9, nullptr, -1), lumStsNullPtrErr);
    EXPECT_EQ(lumsSet_8u(9, dst, -1), lumStsSizeErr);
    EXPECT_EQ(dst[0], 1);  // a refused call writes nothing
    EXPECT_EQ(lumsSet_8u(9, dst, 3), lumStsNoErr);
    EXPECT_EQ(dst[2], 9);
    EXPECT_EQ(dst[3], 4);
    EXPECT_EQ(lumsZero_8u(dst, 0), lumStsSizeErr);
    EXPECT_EQ(lumsZero_8u(dst + 1, 2), lumStsNoErr);
    EXPECT_EQ(dst[0], 9);
    EXPECT_EQ(dst[1], 0);
    EXPECT_EQ(dst[3], 4);
}

TEST(ImageCopies, ArgumentChecksComeInOrder) {
    Lum8u src[64] = {}, a[16] = {}, c[16] = {};
    Lum8u* planes[3] = {a, nullptr, c};
    EXPECT_EQ(lumiCopy_8u_C3P3R(src, 12, planes, 4, {4, 4}), lumStsNullPtrErr);
    planes[1] = a;
    EXPECT_EQ(lumiCopy_8u_C3P3R(src, 0, planes, 0, {0, 4}), lumStsSizeErr);  // size before step
    EXPECT_EQ(lumiCopy_8u_C3P3R(src, 0, planes, 4, {4, 4}), lumStsStepErr);
    EXPECT_EQ(lumiCopy_8u_C3P3R(nullptr, 12, planes, 4, {4, 4}), lumStsNullPtrErr);
    EXPECT_EQ(lumiCopy_8u_C1R(src, 4, a, -4, {4, 4}), lumStsStepErr);
    EXPECT_EQ(lumiCopy_8u_C1R(src, 4, a, 4, {4, -1}), lumStsSizeErr);
    const Lum8u* four[4] = {a, a, nullptr, a};
    EXPECT_EQ(lumiCopy_8u_P4C4R(four, 4, src, 16, {4, 4}), lumStsNullPtrErr);
}

TEST(ImageCopies, SinglePixelP4C4RWritesExactlyFourBytes) {
    const Lum8u c = 1, m = 2, y = 3, k = 4;
    const Lum8u* planes[4] = {&c, &m, &y, &k};
    Lum8u out[8];
    std::fill(out, out + 8, 0xEE);
    EXPECT_EQ(lumiCopy_8u_P4C4R(planes, 1, out, 4, {1, 1}), lumStsNoErr);
    EXPECT_EQ(std::vector<Lum8u>(out, out + 8), (std::vector<Lum8u>{1, 2, 3, 4, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST(ImageCopies, InterleavedPlanarRoundTripWithPaddedAndContiguousSteps) {
    struct Layout {
        int width, height, interleavedStep, planeStep;
    } layouts[] = {{5, 3, 17, 7}, {4, 4, 12, 4}, {1, 9, 3, 1}, {13, 2, 40, 13}};
    for (const Layout& l : layouts) {
        std::vector<Lum8u> src(l.interleavedStep * l.height), back(src.size(), 0);
        for (std::size_t i = 0; i < src.size(); ++i) src[i] = static_cast<Lum8u>(i * 7 + 3);
        std::vector<Lum8u> p0(l.planeStep * l.height), p1(p0.size()), p2(p0.size());
        Lum8u* planes[3] = {p0.data(), p1.data(), p2.data()};
        ASSERT_EQ(lumiCopy_8u_C3P3R(src.data(), l.interleavedStep, planes, l.planeStep, {l.width, l.height}),
                  lumStsNoErr);
        for (int y = 0; y < l.height; ++y)
            for (int x = 0; x < l.width; ++x)
                for (int ch = 0; ch < 3; ++ch)
                    ASSERT_EQ(planes[ch][y * l.planeStep + x], src[y * l.interleavedStep + x * 3 + ch]);
        const Lum8u* cplanes[3] = {p0.data(), p1.data(), p2.data()};
        ASSERT_EQ(
            lumiCopy_8u_P3C3R(cplanes, l.planeStep, back.data(), l.interleavedStep, {l.width, l.height}),
            lumStsNoErr);
        for (int y = 0; y < l.height; ++y)
            for (int x = 0; x < l.width * 3; ++x)
                ASSERT_EQ(back[y * l.interleavedStep + x], src[y * l.interleavedStep + x]);
    }
}

}  // namespace
