// Saving a captured picture as JPEG or bitmap, by the path's extension.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "control/snapshot.h"
#include "core/bmp.h"
#include "vello/jpeg/jpeg_decoder.h"

namespace ocuview {
namespace {

struct Picture {
    int width, height, stride;
    std::vector<uint8_t> bgr;
    Picture(int w, int h)
        : width(w), height(h), stride((w * 3 + 3) & ~3), bgr(static_cast<std::size_t>(stride) * h) {
        // A gentle gradient that JPEG keeps close, also at 2 x 2.
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t* p = &bgr[static_cast<std::size_t>(y * stride + x * 3)];
                p[0] = static_cast<uint8_t>(x * 3 / 4);
                p[1] = static_cast<uint8_t>(y);
                p[2] = 128;
            }
    }
    SnapshotPicture View() const { return {bgr.data(), width, height, stride}; }
};

std::vector<uint8_t> ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class SnapshotTest : public ::testing::Test {
  protected:
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("ocuview_snapshot_" + std::to_string(::getpid()));
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }
};

TEST_F(SnapshotTest, FormatByExtension) {
    EXPECT_EQ(SnapshotFormatFor("a/oneshotimage.jpg"), SnapshotFormat::kJpeg);
    EXPECT_EQ(SnapshotFormatFor("a/oneshotimage.JPG"), SnapshotFormat::kJpeg);
    EXPECT_EQ(SnapshotFormatFor("a/oneshotimage.bmp"), SnapshotFormat::kBitmap);
    EXPECT_EQ(SnapshotFormatFor("a/oneshotimage.jpeg"), SnapshotFormat::kBitmap);
    EXPECT_EQ(SnapshotFormatFor("a.jpg/oneshotimage"), SnapshotFormat::kBitmap);
    EXPECT_EQ(SnapshotFormatFor("oneshotimage"), SnapshotFormat::kBitmap);
    EXPECT_EQ(JpegBufferBytes(2, 2), 4096u);
    EXPECT_EQ(JpegBufferBytes(320, 240), 230400u);
}

TEST_F(SnapshotTest, BitmapWithoutExtensionKeepsTheName) {
    const Picture picture(320, 240);
    const auto path = dir / "oneshotimage";
    ASSERT_EQ(SaveSnapshot(path.string(), picture.View()), SnapshotStatus::kOk);
    const std::vector<uint8_t> file = ReadAll(path);
    EXPECT_EQ(file.size(), 230454u);  // 54 + 960 x 240
    reeldeck::BgrPicture back;
    ASSERT_EQ(reeldeck::DecodeBmp(file.data(), file.size(), back), reeldeck::BmpStatus::kOk);
    EXPECT_EQ(back.pixels, picture.bgr);
}

TEST_F(SnapshotTest, JpegDecodesToThePicture) {
    for (const auto& [w, h] : {std::pair{2, 2}, std::pair{320, 240}}) {
        SCOPED_TRACE(w);
        const Picture picture(w, h);
        const auto path = dir / "shot.JPG";
        ASSERT_EQ(SaveSnapshot(path.string(), picture.View()), SnapshotStatus::kOk);
        const std::vector<uint8_t> file = ReadAll(path);
        vello::JpegDecoder decoder;
        std::vector<uint8_t> out(static_cast<std::size_t>(picture.stride) * h);
        decoder.Reset();
        (void)decoder.SetSource(file.data(), static_cast<int>(file.size()));
        int width = 0, height = 0;
        ASSERT_EQ(decoder.ReadHeader(&width, &height, nullptr, nullptr, nullptr), vello::JpegStatus::kOk);
        ASSERT_EQ(width, w);
        ASSERT_EQ(height, h);
        (void)decoder.SetDestination(out.data(), w, picture.stride, h, 3, vello::kJpegColourBGR);
        ASSERT_EQ(decoder.ReadData(), vello::JpegStatus::kOk);
        decoder.Clean();
        int worst = 0;
        for (std::size_t i = 0; i < out.size(); ++i)
            worst = std::max(worst, std::abs(out[i] - picture.bgr[i]));
        EXPECT_LE(worst, 24);
    }
}

TEST_F(SnapshotTest, UnwritablePathFails) {
    const Picture picture(16, 16);
    EXPECT_EQ(SaveSnapshot((dir / "missing" / "x.bmp").string(), picture.View()),
              SnapshotStatus::kWriteFailed);
    EXPECT_EQ(SaveSnapshot((dir / "missing" / "x.jpg").string(), picture.View()),
              SnapshotStatus::kWriteFailed);
}

}  // namespace
}  // namespace ocuview
