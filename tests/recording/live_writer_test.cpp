// The live series writer: files written while pictures and audio arrive, rolled into numbered files,
// read back through the file manager.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/qxr_file_manager.h"
#include "series_writer/live_writer.h"
#include "test_support.h"

namespace {

using namespace reeldeck;
using recording_test::ScratchDir;
using series::Frame;
using series::LiveSeriesWriter;
using series::SeriesSpec;

using Bytes = std::vector<uint8_t>;

Bytes ReadChunk(QXRFileManager& m, bool video, int unit) {
    Bytes out(static_cast<std::size_t>(video ? m.VideoSize(unit) : m.AudioSize(unit)));
    int64_t got = 0;
    if (!out.empty()) {
        const int ok = video ? m.ReadVideo(out.data(), 0, static_cast<int64_t>(out.size()), got, unit)
                             : m.ReadAudio(out.data(), 0, static_cast<int64_t>(out.size()), got, unit);
        EXPECT_EQ(ok, 1);
    }
    out.resize(static_cast<std::size_t>(got));
    return out;
}

Bytes Filler(std::size_t size, int seed) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>(1 + (i * 7 + static_cast<std::size_t>(seed)) % 250);
    return b;
}

bool Contains(const Bytes& hay, const std::string& needle) {
    return std::string(hay.begin(), hay.end()).find(needle) != std::string::npos;
}

SeriesSpec Spec(const std::string& dir, uint32_t codec) {
    SeriesSpec spec;
    spec.directory = dir;
    spec.prefix = "LIVE";
    spec.codec = codec;
    spec.width = 320;
    spec.height = 240;
    spec.frameRate = 10;
    return spec;
}

// Pictures arrive with irregular camera times and audio between them; small files force rolls. Every
// picture and every audio byte comes back in order, the JPEG records carry the given camera times.
TEST(LiveSeriesWriter, JpegWithAudioRollsIntoNumberedFilesAndReadsBack) {
    ScratchDir dir;
    SeriesSpec spec = Spec(dir.path(), tag::kJpeg);
    spec.audioCodec = tag::kG711;
    const uint64_t limit = 3000;
    LiveSeriesWriter writer(spec, limit);
    const int64_t start = 1765370000000;  // 2025/12/10 ...
    std::vector<int64_t> times;
    std::vector<Bytes> pictures, audio;
    audio.push_back(Filler(100, 99));  // before the first picture: it leads
    writer.AddAudio(audio.back().data(), audio.back().size());
    for (int i = 0; i < 12; ++i) {
        Bytes jpeg = {0xFF, 0xD8};
        const Bytes body = Filler(300 + 41 * static_cast<std::size_t>(i % 5), i);
        jpeg.insert(jpeg.end(), body.begin(), body.end());
        jpeg.insert(jpeg.end(), {0xFF, 0xD9});
        pictures.push_back(jpeg);
        times.push_back(start + i * 97 + (i % 3) * 5);
        ASSERT_TRUE(writer.AddPicture(Frame{jpeg, false, false}, times.back())) << writer.Error();
        audio.push_back(Filler(256 * static_cast<std::size_t>(1 + i % 2), 50 + i));
        writer.AddAudio(audio.back().data(), audio.back().size());
    }
    ASSERT_TRUE(writer.Finish()) << writer.Error();
    EXPECT_EQ(writer.Pictures(), 12u);
    ASSERT_GT(writer.Paths().size(), 2u);
    for (std::size_t f = 0; f < writer.Paths().size(); ++f) {
        char name[48];
        std::snprintf(name, sizeof name, "/LIVE%02zu.jpf", f);
        EXPECT_EQ(writer.Paths()[f], dir.path() + name);
        EXPECT_LE(std::filesystem::file_size(writer.Paths()[f]), limit);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}),
              static_cast<std::ptrdiff_t>(writer.Paths().size()));  // no temporary file left

    QXRFileManager m;
    ASSERT_GE(m.Open(writer.Paths()[0]), 0);
    // The leading audio is a unit of its own; an audio that would take a file past its limit leads the
    // next file instead of following its picture, so only the order of all audio bytes is fixed.
    EXPECT_EQ(m.VideoSize(0), 0);
    std::vector<Bytes> chunks;
    Bytes audioRead, audioGiven;
    for (int u = 0; u < m.UnitCount(); ++u) {
        if (m.VideoSize(u) > 0) chunks.push_back(ReadChunk(m, true, u));
        const Bytes a = ReadChunk(m, false, u);
        audioRead.insert(audioRead.end(), a.begin(), a.end());
    }
    for (const Bytes& a : audio) audioGiven.insert(audioGiven.end(), a.begin(), a.end());
    EXPECT_EQ(audioRead, audioGiven);
    ASSERT_EQ(chunks.size(), 12u);
    for (std::size_t i = 0; i < 12; ++i) {
        const Bytes& chunk = chunks[i];
        const Bytes& in = pictures[i];
        ASSERT_GT(chunk.size(), in.size());
        EXPECT_TRUE(Contains(chunk, "CamTim: " + series::CameraTimeText(times[i])));
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "TimStamp: %010lld", static_cast<long long>(times[i] - start));
        EXPECT_TRUE(Contains(chunk, stamp)) << i;
        char dataLen[32];
        std::snprintf(dataLen, sizeof dataLen, "DataLen: %08zu", chunk.size());
        EXPECT_TRUE(Contains(chunk, dataLen)) << i;
        EXPECT_TRUE(
            std::equal(in.begin() + 2, in.end(), chunk.end() - static_cast<std::ptrdiff_t>(in.size() - 2)));
    }
    EXPECT_EQ(writer.AudioBytes(), audioGiven.size());
}

// MPEG-4: a file begins only at an I-VOP, and one that does not carry the layer header gets the stream's
// headers in front, so each file opens as a playable stream. The pictures are stored as given.
TEST(LiveSeriesWriter, Mpeg4FilesBeginAtAnIVopWithTheStreamHeaders) {
    ScratchDir dir;
    SeriesSpec spec = Spec(dir.path(), tag::kMpeg4);
    spec.variants.noRecords = true;
    LiveSeriesWriter writer(spec, 200);  // every picture would want a file of its own
    const Bytes headers = {0x00, 0x00, 0x01, 0xB0, 0x08, 0x00, 0x00, 0x01, 0x20, 0x11, 0x22};
    writer.SetStreamHeaders(headers);
    std::vector<Bytes> pieces;
    for (int i = 0; i < 9; ++i) {
        Bytes piece = {
            0x00, 0x00, 0x01, 0xB2, 'u',
            0x00, 0x00, 0x01, 0xB6, static_cast<uint8_t>(i % 3 == 0 ? 0x10 : 0x50)};  // I every third, P else
        const Bytes body = Filler(90, i);
        piece.insert(piece.end(), body.begin(), body.end());
        pieces.push_back(piece);
        ASSERT_TRUE(writer.AddPicture(Frame{piece, false, false}, 1000 * i)) << writer.Error();
    }
    ASSERT_TRUE(writer.Finish()) << writer.Error();
    ASSERT_EQ(writer.Paths().size(), 3u);
    EXPECT_EQ(writer.Paths()[0], dir.path() + "/LIVE00.m4f");

    QXRFileManager m;
    ASSERT_EQ(m.Open(writer.Paths()[0]), 0);
    ASSERT_EQ(m.UnitCount(), 9);
    for (int i = 0; i < 9; ++i) {
        Bytes expected = pieces[static_cast<std::size_t>(i)];
        if (i % 3 == 0) expected.insert(expected.begin(), headers.begin(), headers.end());
        EXPECT_EQ(ReadChunk(m, true, i), expected) << i;
        ChunkRef ref;
        ASSERT_EQ(m.VideoRef(i, ref), 1);
        EXPECT_EQ(ref.fileNumber, i / 3) << i;
    }
}

TEST(LiveSeriesWriter, FailuresAreReportedAndLeaveNoFile) {
    ScratchDir dir;
    {
        LiveSeriesWriter writer(Spec(dir / "missing", tag::kJpeg));
        EXPECT_FALSE(writer.AddPicture(Frame{{0xFF, 0xD8, 0xFF, 0xD9}, false, false}, 0));
        EXPECT_NE(writer.Error().find("missing"), std::string::npos) << writer.Error();
        EXPECT_FALSE(writer.AddPicture(Frame{{0xFF, 0xD8, 0xFF, 0xD9}, false, false}, 0));
        EXPECT_FALSE(writer.Finish());
        EXPECT_TRUE(writer.Paths().empty());
    }
    {
        // Nothing recorded: no file at all.
        LiveSeriesWriter writer(Spec(dir.path(), tag::kJpeg));
        EXPECT_TRUE(writer.Finish());
        EXPECT_TRUE(writer.Paths().empty());
    }
    {
        // Dropped without Finish (a crash of the recording): the temporary file goes, nothing is in place.
        LiveSeriesWriter writer(Spec(dir.path(), tag::kJpeg));
        ASSERT_TRUE(writer.AddPicture(Frame{{0xFF, 0xD8, 0xFF, 0xD9}, false, false}, 0));
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
