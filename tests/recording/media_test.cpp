// The series writer on real media: an MPEG-4 stream made by FFmpeg and JPEG images made by cjpeg are
// written into series, read back through the file manager, and checked with the same tools as oracles.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/qxr_file_manager.h"
#include "series_writer/series_writer.h"
#include "series_writer/stream_split.h"
#include "test_support.h"
#include "vello/mpeg4/start_code.h"

namespace reeldeck {
namespace {

using recording_test::ReadWholeFile;
using recording_test::ScratchDir;
using Bytes = std::vector<uint8_t>;

bool HaveTool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

bool Shell(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

Bytes ReadBytes(const std::string& path) {
    const std::string text = ReadWholeFile(path);
    return Bytes(text.begin(), text.end());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadAll(QXRFileManager& m, bool video, int unit) {
    Bytes out(8192);
    Bytes chunk;
    int64_t offset = 0, got = 0;
    while ((video ? m.ReadVideo(out.data(), offset, 8192, got, unit)
                  : m.ReadAudio(out.data(), offset, 256, got, unit)) == 1 &&
           got > 0) {
        chunk.insert(chunk.end(), out.begin(), out.begin() + got);
        offset += got;
    }
    return chunk;
}

// Removes every user-data segment (00 00 01 B2 up to the next start code).
Bytes WithoutUserData(const Bytes& stream) {
    Bytes out;
    std::size_t i = 0;
    while (i < stream.size()) {
        const std::size_t ud = vello::mpeg4::FindStartCode(stream, vello::mpeg4::kUserDataStartCode, i);
        if (ud == vello::mpeg4::kNoStartCode) {
            out.insert(out.end(), stream.begin() + static_cast<std::ptrdiff_t>(i), stream.end());
            break;
        }
        out.insert(out.end(), stream.begin() + static_cast<std::ptrdiff_t>(i),
                   stream.begin() + static_cast<std::ptrdiff_t>(ud));
        const std::size_t next = vello::mpeg4::FindStartCode(stream, 0x00, 0xFF, ud + 4);
        i = next == vello::mpeg4::kNoStartCode ? stream.size() : next;
    }
    return out;
}

// The split keeps every byte: headers travel with the picture they precede, and whatever follows the
// last picture (a sequence end code) stays with it.
TEST(SeriesWriterMedia, Mpeg4SplitKeepsEveryByteAndHeadersWithTheirPicture) {
    const Bytes vol = {0, 0, 1, 0xB0, 0x01, 0, 0, 1, 0xB5, 0x09, 0, 0, 1, 0x00, 0, 0, 1, 0x20, 0x08};
    const Bytes vop = {0, 0, 1, 0xB6, 0x10, 0x20, 0x30};
    const Bytes end = {0, 0, 1, 0xB1};
    Bytes stream;
    for (const Bytes* part : {&vol, &vop, &vol, &vop, &vop, &end})
        stream.insert(stream.end(), part->begin(), part->end());

    const auto pieces = series::SplitMpeg4Stream(stream);
    ASSERT_EQ(pieces.size(), 3u);
    Bytes joined;
    for (const auto& piece : pieces) joined.insert(joined.end(), piece.begin(), piece.end());
    EXPECT_EQ(joined, stream);
    EXPECT_EQ(pieces[1].size(), vol.size() + vop.size());  // the second I-VOP carries its headers
    EXPECT_EQ(pieces[2].size(), vop.size() + end.size());  // the end code stays with the last picture
}

TEST(SeriesWriterMedia, Mpeg4StreamSurvivesTheRecording) {
    if (!HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    ScratchDir dir;
    ASSERT_TRUE(Shell(
        "ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=176x144:rate=5 -t 2 -c:v mpeg4 -f m4v " +
        (dir / "in.m4v")));
    const Bytes stream = ReadBytes(dir / "in.m4v");
    series::PictureGeometry geometry;
    ASSERT_TRUE(series::ParseMpeg4Geometry(stream, geometry));
    EXPECT_EQ(geometry.width, 176u);
    EXPECT_EQ(geometry.height, 144u);
    std::vector<series::Frame> frames;
    for (auto& piece : series::SplitMpeg4Stream(stream)) frames.push_back({std::move(piece), false, false});
    ASSERT_EQ(frames.size(), 10u);
    frames[4].sensorAlarm = true;

    series::SeriesSpec spec;
    spec.directory = dir.path();
    spec.width = geometry.width;
    spec.height = geometry.height;
    spec.fileCount = 3;
    spec.audioCodec = tag::kG711;
    spec.startTimeMs = 1767225600000;  // 2026/01/01 00:00:00.000
    Bytes audio(16000);
    for (std::size_t i = 0; i < audio.size(); ++i) audio[i] = static_cast<uint8_t>(i * 31);
    const series::WriteResult written = series::WriteSeries(spec, frames, audio);
    ASSERT_TRUE(written.ok) << written.error;

    QXRFileManager m;
    ASSERT_EQ(m.Open(written.paths[1]), 3);
    Bytes video, sound;
    for (int k = 0; k < m.UnitCount(); ++k) {
        const Bytes chunk = ReadAll(m, true, k);
        // Each picture's records stand before its VOP start code.
        const std::size_t vop = vello::mpeg4::FindStartCode(chunk, vello::mpeg4::kVopStartCode);
        const std::string head(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(vop));
        const std::size_t camTim = head.find("CamTim: ");
        ASSERT_NE(camTim, std::string::npos) << k;
        EXPECT_EQ(head.substr(camTim + 8, 23), series::CameraTimeText(spec.startTimeMs + 200 * k));
        EXPECT_NE(head.find(k == 4 ? "AlmEvent: 0010" : "AlmEvent: 0000"), std::string::npos) << k;
        video.insert(video.end(), chunk.begin(), chunk.end());
        const Bytes a = ReadAll(m, false, k);
        sound.insert(sound.end(), a.begin(), a.end());
    }
    EXPECT_EQ(sound, audio);
    EXPECT_EQ(WithoutUserData(video), WithoutUserData(stream));

    // A decoder that ignores the records sees the same pictures.
    WriteBytes(dir / "out.m4v", video);
    const std::string hashes = " -f framemd5 - 2>/dev/null | grep -v '^#' > ";
    ASSERT_TRUE(Shell("ffmpeg -nostdin -f m4v -i " + (dir / "in.m4v") + hashes + (dir / "in.md5")));
    ASSERT_TRUE(Shell("ffmpeg -nostdin -f m4v -i " + (dir / "out.m4v") + hashes + (dir / "out.md5")));
    const std::string expected = ReadWholeFile(dir / "in.md5");
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(ReadWholeFile(dir / "out.md5"), expected);
}

TEST(SeriesWriterMedia, JpegImagesCarryTheirRecordsAndStillDecode) {
    if (!HaveTool("cjpeg") || !HaveTool("djpeg")) GTEST_SKIP() << "cjpeg/djpeg are not installed";
    ScratchDir dir;
    std::vector<series::Frame> frames;
    series::PictureGeometry geometry;
    for (int i = 0; i < 4; ++i) {
        // A small gradient picture, different in each frame.
        std::string ppm = "P6\n48 32\n255\n";
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 48; ++x)
                ppm += {static_cast<char>(x * 5 + i * 40), static_cast<char>(y * 7),
                        static_cast<char>((x + y + i) * 3)};
        const std::string base = dir / ("f" + std::to_string(i));
        std::ofstream(base + ".ppm", std::ios::binary) << ppm;
        ASSERT_TRUE(Shell("cjpeg -quality 80 " + base + ".ppm > " + base + ".jpg"));
        series::Frame frame{ReadBytes(base + ".jpg"), false, i == 2};
        std::string error;
        ASSERT_TRUE(series::PrepareJpeg(frame.bytes, geometry, error)) << error;
        frames.push_back(std::move(frame));
    }
    EXPECT_EQ(geometry.width, 48u);
    EXPECT_EQ(geometry.height, 32u);

    series::SeriesSpec spec;
    spec.directory = dir.path();
    spec.prefix = "cam";
    spec.codec = tag::kJpeg;
    spec.width = geometry.width;
    spec.height = geometry.height;
    spec.frameRate = 4;
    spec.firstTimeStamp = 5000;
    const series::WriteResult written = series::WriteSeries(spec, frames, {});
    ASSERT_TRUE(written.ok) << written.error;
    EXPECT_EQ(written.paths[0], dir / "cam00.jpf");

    QXRFileManager m;
    ASSERT_EQ(m.Open(dir / "cam00.jpf"), 0);
    ASSERT_EQ(m.UnitCount(), 4);
    for (int k = 0; k < 4; ++k) {
        const Bytes image = ReadAll(m, true, k);
        ASSERT_GT(image.size(), 128u);
        EXPECT_EQ(image[0], 0xFF);
        EXPECT_EQ(image[1], 0xD8);
        EXPECT_EQ(image[image.size() - 2], 0xFF);
        EXPECT_EQ(image[image.size() - 1], 0xD9);
        const std::string head(image.begin(), image.begin() + 128);
        const std::size_t app2 = head.find("\xFF\xE2");
        const std::size_t dataLen = head.find("DataLen: ");
        const std::size_t end = head.find("\r\n\r\n");
        ASSERT_NE(app2, std::string::npos);
        ASSERT_NE(dataLen, std::string::npos);
        ASSERT_NE(end, std::string::npos);  // the whole text within the first 128 bytes
        EXPECT_LT(app2, dataLen);
        EXPECT_EQ(std::stoul(head.substr(dataLen + 9, 8)), image.size());
        EXPECT_NE(head.find("TimStamp: " + std::string(10 - std::to_string(5000 + 250 * k).size(), '0') +
                            std::to_string(5000 + 250 * k)),
                  std::string::npos);
        EXPECT_NE(head.find(k == 2 ? "AlmEvent: 0001" : "AlmEvent: 0000"), std::string::npos);
        EXPECT_NE(head.find("CamTim: "), std::string::npos);

        // The recorded image decodes to exactly the pixels of the original.
        const std::string base = dir / ("f" + std::to_string(k));
        WriteBytes(base + ".rec.jpg", image);
        ASSERT_TRUE(Shell("djpeg -ppm " + base + ".jpg > " + base + ".a.ppm"));
        ASSERT_TRUE(Shell("djpeg -ppm " + base + ".rec.jpg > " + base + ".b.ppm"));
        EXPECT_EQ(ReadWholeFile(base + ".b.ppm"), ReadWholeFile(base + ".a.ppm"));
    }
}

}  // namespace
}  // namespace reeldeck
