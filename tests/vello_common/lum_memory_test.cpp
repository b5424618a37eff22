// The Lumacore holders: one owner per allocation, handed over by moves, freed once (the sanitizers'
// leak and double-free checks see the rest), refusing sizes the allocator cannot take.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <utility>

#include "vello/common/lum_memory.h"

namespace vello {
namespace {

TEST(LumBuffer, AllocatesZeroedOrFilledAlignedArraysAndRefusesImpossibleSizes) {
    LumBuffer<Lum16s> b;
    ASSERT_TRUE(b.Allocate(1000));
    EXPECT_EQ(b.size(), 1000);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b.data()) % 32, 0u);
    for (std::int64_t i = 0; i < b.size(); ++i) ASSERT_EQ(b.data()[i], 0);
    b.data()[999] = 7;
    ASSERT_TRUE(b.Allocate(10));  // replaces the first array, which is freed
    EXPECT_EQ(b.data()[9], 0);
    ASSERT_TRUE(b.Allocate(33, 0x80));  // every byte of every element
    for (std::int64_t i = 0; i < b.size(); ++i) ASSERT_EQ(static_cast<std::uint16_t>(b.data()[i]), 0x8080u);

    // Sizes whose bytes do not fit the allocator's int length, and empty ones, leave the holder empty.
    for (const std::int64_t count : {std::int64_t{0}, std::int64_t{-1}, std::int64_t{INT_MAX / 2}}) {
        EXPECT_FALSE(b.Allocate(count)) << count;
        EXPECT_TRUE(b.empty());
        EXPECT_EQ(b.size(), 0);
    }
}

TEST(LumBuffer, MovesHandOwnershipOver) {
    LumBuffer<Lum8u> a;
    ASSERT_TRUE(a.Allocate(64));
    Lum8u* const block = a.data();
    LumBuffer<Lum8u> b(std::move(a));
    EXPECT_TRUE(a.empty());  // NOLINT: a moved-from holder is empty by contract
    EXPECT_EQ(b.data(), block);
    LumBuffer<Lum8u> c;
    ASSERT_TRUE(c.Allocate(16));
    c = std::move(b);  // c's own array is freed, b's is taken
    EXPECT_EQ(c.data(), block);
    EXPECT_TRUE(b.empty());  // NOLINT
}

TEST(LumObject, InitAllocFillsTheHolderOrLeavesItEmpty) {
    LumDecodeHuffmanStatePtr state;
    ASSERT_GE(LumInitAlloc(state, lumiDecodeHuffmanStateInitAlloc_JPEG_8u), 0);
    EXPECT_NE(state, nullptr);

    // T.81 Table K.3 builds; counts adding up to more than 256 codes do not, and the primitive hands out
    // its half-built object with the failure: the holder must free it rather than keep it.
    const Lum8u bits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
    const Lum8u values[256] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    LumDecodeHuffmanSpecPtr spec;
    ASSERT_GE(LumInitAlloc(spec, lumiDecodeHuffmanSpecInitAlloc_JPEG_8u, bits, values), 0);
    EXPECT_NE(spec, nullptr);
    const Lum8u tooMany[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 2};
    EXPECT_LT(LumInitAlloc(spec, lumiDecodeHuffmanSpecInitAlloc_JPEG_8u, tooMany, values), 0);
    EXPECT_EQ(spec, nullptr);
}

}  // namespace
}  // namespace vello
