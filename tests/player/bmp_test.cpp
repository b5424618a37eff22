// The 24-bit bitmap file: the exact 54-byte header form, the bottom-up rows and their padding, and the
// reader's refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/bmp.h"
#include "core/qxr_format.h"

namespace reeldeck {
namespace {

// A top-down BGR picture whose every byte tells its row, column and channel apart.
std::vector<uint8_t> Pattern(int width, int height, int step) {
    std::vector<uint8_t> p(static_cast<std::size_t>(step) * height, 0xEE);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * 3; ++x)
            p[static_cast<std::size_t>(y) * step + x] = static_cast<uint8_t>(y * 37 + x);
    return p;
}

TEST(Bmp, WritesTheFixedHeaderAndBottomUpPaddedRows) {
    // Widths 1..5 cover every padding amount of a 24-bit row (3, 2, 1, 0 bytes).
    for (int width : {1, 2, 3, 4, 5, 64}) {
        const int height = 3, step = width * 3 + 5;
        const std::vector<uint8_t> picture = Pattern(width, height, step);
        std::vector<uint8_t> file;
        ASSERT_EQ(EncodeBmp(picture.data(), width, height, step, file), BmpStatus::kOk);
        const std::size_t row = BmpRowBytes(width);
        EXPECT_EQ(row % 4, 0u);
        EXPECT_GE(row, static_cast<std::size_t>(width) * 3);
        EXPECT_LT(row, static_cast<std::size_t>(width) * 3 + 4);
        ASSERT_EQ(file.size(), row * height + 54);
        const uint8_t* h = file.data();
        EXPECT_EQ(h[0], 'B');
        EXPECT_EQ(h[1], 'M');
        EXPECT_EQ(LoadLe32(h + 2), file.size());
        EXPECT_EQ(LoadLe32(h + 6), 0u);  // two reserved zeros
        EXPECT_EQ(LoadLe32(h + 10), 54u);
        EXPECT_EQ(LoadLe32(h + 14), 40u);
        EXPECT_EQ(LoadLe32(h + 18), static_cast<uint32_t>(width));
        EXPECT_EQ(LoadLe32(h + 22), static_cast<uint32_t>(height));
        EXPECT_EQ(h[26] | h[27] << 8, 1);
        EXPECT_EQ(h[28] | h[29] << 8, 24);
        EXPECT_EQ(LoadLe32(h + 30), 0u);
        EXPECT_EQ(LoadLe32(h + 34), row * height);
        for (int i = 38; i < 54; i += 4) EXPECT_EQ(LoadLe32(h + i), 0u);
        // File row 0 is the picture's bottom row; padding is zero.
        for (int r = 0; r < height; ++r) {
            const uint8_t* stored = h + 54 + static_cast<std::size_t>(height - 1 - r) * row;
            EXPECT_EQ(std::memcmp(stored, picture.data() + static_cast<std::size_t>(r) * step, width * 3), 0);
            for (std::size_t pad = static_cast<std::size_t>(width) * 3; pad < row; ++pad)
                EXPECT_EQ(stored[pad], 0);
        }
        BgrPicture back;
        ASSERT_EQ(DecodeBmp(file.data(), file.size(), back), BmpStatus::kOk);
        EXPECT_EQ(back.width, width);
        EXPECT_EQ(back.height, height);
        for (int r = 0; r < height; ++r)
            EXPECT_EQ(std::memcmp(back.pixels.data() + static_cast<std::size_t>(r) * back.step,
                                  picture.data() + static_cast<std::size_t>(r) * step, width * 3),
                      0);
    }
}

TEST(Bmp, ReadsTopDownFilesAndLongerInformationHeaders) {
    const int width = 3, height = 2;
    const std::vector<uint8_t> picture = Pattern(width, height, width * 3);
    std::vector<uint8_t> file;
    ASSERT_EQ(EncodeBmp(picture.data(), width, height, width * 3, file), BmpStatus::kOk);
    // Rewrite as a top-down file with a 124-byte information header (70 extra bytes before the pixels).
    std::vector<uint8_t> other(file.begin(), file.begin() + 54);
    other.insert(other.end(), 124 - 40, 0);
    StoreLe32(other.data() + 10, 14 + 124);
    StoreLe32(other.data() + 14, 124);
    StoreLe32(other.data() + 22, static_cast<uint32_t>(-height));
    const std::size_t row = BmpRowBytes(width);
    for (int r = 0; r < height; ++r) {
        const uint8_t* stored = file.data() + 54 + static_cast<std::size_t>(height - 1 - r) * row;
        other.insert(other.end(), stored, stored + row);
    }
    BgrPicture back;
    ASSERT_EQ(DecodeBmp(other.data(), other.size(), back), BmpStatus::kOk);
    ASSERT_EQ(back.height, height);
    for (int r = 0; r < height; ++r)
        EXPECT_EQ(std::memcmp(back.pixels.data() + static_cast<std::size_t>(r) * back.step,
                              picture.data() + static_cast<std::size_t>(r) * width * 3, width * 3),
                  0);
}

TEST(Bmp, RefusesWhatItCannotReadOrWrite) {
    const std::vector<uint8_t> picture = Pattern(4, 4, 12);
    std::vector<uint8_t> good;
    ASSERT_EQ(EncodeBmp(picture.data(), 4, 4, 12, good), BmpStatus::kOk);
    struct Case {
        const char* what;
        std::size_t offset;  // a 32-bit field to change, or a length to cut to
        uint32_t value;
        bool cut;
        BmpStatus expected;
    };
    const Case cases[] = {
        {"shorter than the headers", 53, 0, true, BmpStatus::kNotBitmap},
        {"rows cut short", good.size() - 1, 0, true, BmpStatus::kTruncated},
        {"no BM", 0, 0x0000'4D42u + 1, false, BmpStatus::kNotBitmap},
        {"32 bits per pixel", 28, 32 | 0u << 16, false, BmpStatus::kUnsupported},
        {"compressed", 30, 1, false, BmpStatus::kUnsupported},
        {"small information header", 14, 12, false, BmpStatus::kUnsupported},
        {"width 0", 18, 0, false, BmpStatus::kBadSize},
        {"huge width", 18, 0x7FFF'FFFF, false, BmpStatus::kBadSize},
        {"height -0x80000000", 22, 0x8000'0000u, false, BmpStatus::kBadSize},
        {"pixels past the end", 10, 0xFFFF'FFF0u, false, BmpStatus::kTruncated},
        {"pixels inside the headers", 10, 20, false, BmpStatus::kTruncated},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bad = good;
        if (c.cut) {
            bad.resize(c.offset);
        } else if (c.offset == 0) {
            bad[0] = 'X';
        } else if (c.offset == 28) {
            bad[28] = 32;
        } else {
            StoreLe32(bad.data() + c.offset, c.value);
        }
        BgrPicture out;
        EXPECT_EQ(DecodeBmp(bad.data(), bad.size(), out), c.expected) << c.what;
        EXPECT_TRUE(out.pixels.empty()) << c.what;
    }
    std::vector<uint8_t> file;
    EXPECT_EQ(EncodeBmp(nullptr, 4, 4, 12, file), BmpStatus::kBadArgument);
    EXPECT_EQ(EncodeBmp(picture.data(), 0, 4, 12, file), BmpStatus::kBadArgument);
    EXPECT_EQ(EncodeBmp(picture.data(), 4, 4, 11, file), BmpStatus::kBadArgument);
}

}  // namespace
}  // namespace reeldeck
