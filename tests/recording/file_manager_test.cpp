// QXRFileManager on series made by the series writer: series search and order, skipped files, unit
// pairing, reads, position lookups, and the failures of Open with their messages.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <numeric>
#include <random>
#include <set>
#include <thread>

#include "core/qxr_file_manager.h"
#include "core/string_table.h"
#include "series_writer/series_writer.h"
#include "test_support.h"

namespace reeldeck {
namespace {

using recording_test::ReportRecorder;
using recording_test::ScratchDir;
using series::ExpectedUnit;
using series::Frame;
using series::SeriesSpec;
using series::WriteResult;
using series::WriteSeries;

// Pictures with distinct, varied payloads; nothing in them looks like a start code.
std::vector<Frame> MakeFrames(uint32_t codec, int count) {
    std::vector<Frame> frames;
    for (int i = 0; i < count; ++i) {
        Frame f;
        if (codec == tag::kMpeg4) {
            if (i == 0) f.bytes = {0x00, 0x00, 0x01, 0xB0, 0x08, 0x00, 0x00, 0x01, 0x20, 0x11};
            f.bytes.insert(f.bytes.end(), {0x00, 0x00, 0x01, 0xB6});
        } else {
            f.bytes = {0xFF, 0xD8};
        }
        const int payload = 40 + (i * 37) % 300;
        for (int b = 0; b < payload; ++b) f.bytes.push_back(static_cast<uint8_t>(1 + (b * 7 + i) % 250));
        if (codec == tag::kJpeg) f.bytes.insert(f.bytes.end(), {0xFF, 0xD9});
        f.sensorAlarm = i % 5 == 1;
        f.motionAlarm = i % 7 == 2;
        frames.push_back(std::move(f));
    }
    return frames;
}

std::vector<uint8_t> MakeAudio(std::size_t bytes) {
    std::vector<uint8_t> audio(bytes);
    for (std::size_t i = 0; i < bytes; ++i) audio[i] = static_cast<uint8_t>(i * 13 + i / 256);
    return audio;
}

SeriesSpec BaseSpec(const std::string& dir, uint32_t codec, int files) {
    SeriesSpec spec;
    spec.directory = dir;
    spec.codec = codec;
    spec.width = 176;
    spec.height = 144;
    spec.frameRate = 5;
    spec.fileCount = files;
    spec.trigger = tag::kMotion;
    spec.serial = "SN12345678";
    spec.startTimeMs = 1767225600000;  // 2026/01/01 00:00:00.000
    return spec;
}

// Files the reader skips, by the variants they were written with.
std::set<int> SkippedFiles(const SeriesSpec& spec) {
    const series::Variants& v = spec.variants;
    std::set<int> skipped;
    for (const auto* set : {&v.badMainHeaderSize, &v.noIndex, &v.emptyFile})
        skipped.insert(set->begin(), set->end());
    if (spec.audioCodec != 0) skipped.insert(v.missingAudioHeader.begin(), v.missingAudioHeader.end());
    return skipped;
}

std::vector<uint8_t> ReadChunk(QXRFileManager& m, bool video, int unit, int64_t slice) {
    std::vector<uint8_t> out;
    std::vector<uint8_t> buffer(static_cast<std::size_t>(slice));
    int64_t offset = 0;
    int64_t got = 0;
    while ((video ? m.ReadVideo(buffer.data(), offset, slice, got, unit)
                  : m.ReadAudio(buffer.data(), offset, slice, got, unit)) == 1) {
        if (got <= 0) break;
        out.insert(out.end(), buffer.begin(), buffer.begin() + got);
        offset += got;
    }
    return out;
}

struct RoundTripCase {
    const char* name;
    uint32_t codec;
    uint32_t audioCodec;
    uint32_t audioRate;
    int files;
    int frames;
    int openFile;
    void (*vary)(series::Variants&);
};

void PrintTo(const RoundTripCase& c, std::ostream* os) {
    *os << c.name;
}

class RoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, EveryUnitReadsBackAsWritten) {
    const RoundTripCase& c = GetParam();
    ScratchDir dir;
    ReportRecorder reports;
    SeriesSpec spec = BaseSpec(dir.path(), c.codec, c.files);
    spec.audioCodec = c.audioCodec;
    spec.audioRate = c.audioRate;
    if (c.vary != nullptr) c.vary(spec.variants);
    const std::vector<Frame> frames = MakeFrames(c.codec, c.frames);
    const uint32_t perSecond = series::AudioBytesPerSecond(c.audioCodec, c.audioRate);
    const std::vector<uint8_t> audio =
        MakeAudio(perSecond * static_cast<uint32_t>(c.frames) / spec.frameRate + 77 * (perSecond > 0));
    const WriteResult written = WriteSeries(spec, frames, audio);
    ASSERT_TRUE(written.ok) << written.error;

    const std::set<int> skipped = SkippedFiles(spec);
    std::vector<ExpectedUnit> expected;
    int expectedStart = -1;
    for (const ExpectedUnit& u : written.units) {
        if (skipped.count(u.file)) continue;
        if (expectedStart < 0 && u.file == c.openFile) expectedStart = static_cast<int>(expected.size());
        expected.push_back(u);
    }

    QXRFileManager m;
    ASSERT_EQ(m.Open(written.paths[static_cast<std::size_t>(c.openFile)]), std::max(expectedStart, 0));
    EXPECT_TRUE(reports.boxes.empty());
    ASSERT_EQ(m.UnitCount(), static_cast<int>(expected.size()));
    EXPECT_EQ(m.FileCount(), c.files);
    for (int f = 0; f < c.files; ++f) {
        SeriesFileInfo info;
        ASSERT_EQ(m.FileInfo(f, info), 1);
        EXPECT_EQ(info.parsed, skipped.count(f) == 0) << f;
        EXPECT_EQ(info.path, written.paths[static_cast<std::size_t>(f)]);
    }

    const int64_t packet = AudioFormatOf({c.audioCodec, c.audioRate}).packetBytes;
    int64_t videoStart = 0;
    int64_t audioTotal = 0;
    std::vector<int64_t> starts;
    for (int k = 0; k < m.UnitCount(); ++k) {
        const ExpectedUnit& u = expected[static_cast<std::size_t>(k)];
        SCOPED_TRACE("unit " + std::to_string(k));
        EXPECT_EQ(m.VideoSize(k), static_cast<int32_t>(u.video.size()));
        EXPECT_EQ(m.AudioSize(k), static_cast<int32_t>(u.audio.size()));
        EXPECT_EQ(m.VideoStart(k), videoStart);
        EXPECT_EQ(ReadChunk(m, true, k, 8192), u.video);
        EXPECT_EQ(ReadChunk(m, false, k, packet > 0 ? packet : 256), u.audio);
        ChunkRef audioRef;
        m.AudioRef(k, audioRef);
        audioTotal += static_cast<int64_t>(u.audio.size());
        EXPECT_EQ(audioRef.cumulative, audioTotal);
        starts.push_back(videoStart);
        videoStart += static_cast<int64_t>(u.video.size());
    }
    EXPECT_EQ(m.VideoSize(m.UnitCount()), 0);

    // Position lookups agree with a plain search over the starts, walked forward, backward and at random.
    auto bruteForce = [&](int64_t position) {
        const auto it = std::upper_bound(starts.begin(), starts.end(), position);
        return it == starts.begin() ? 0 : static_cast<int>(it - starts.begin()) - 1;
    };
    std::vector<int64_t> positions = {-10, 0, videoStart, videoStart + 100000};
    for (const int64_t s : starts) positions.insert(positions.end(), {s - 1, s, s + 1});
    std::sort(positions.begin(), positions.end());
    for (const int64_t p : positions) EXPECT_EQ(m.UnitForVideoPosition(p), bruteForce(p)) << p;
    std::reverse(positions.begin(), positions.end());
    for (const int64_t p : positions) EXPECT_EQ(m.UnitForVideoPosition(p), bruteForce(p)) << p;
    std::shuffle(positions.begin(), positions.end(), std::mt19937(3));
    for (const int64_t p : positions) EXPECT_EQ(m.UnitForVideoPosition(p), bruteForce(p)) << p;

    // Headers: one per parsed file; audio headers only with audio.
    const int parsedFiles = c.files - static_cast<int>(skipped.size());
    QxrMainHeader main;
    QxrMovieHeader movie;
    QxrAudioHeader audioHeader;
    ASSERT_EQ(m.MainHeader(0, main), 1);
    EXPECT_EQ(main.streamCount, c.audioCodec != 0 ? 2u : 1u);
    EXPECT_EQ(main.trigger, tag::kMotion);
    EXPECT_EQ(HeaderText(main.serial), "SN12345678");
    EXPECT_EQ(HeaderText(main.dateTime), "2026/01/01 00:00:00");
    EXPECT_EQ(m.MainHeader(parsedFiles - 1, main), 1);
    EXPECT_EQ(m.MainHeader(parsedFiles, main), 0);
    EXPECT_EQ(main.streamCount, 0u);  // zeroed
    ASSERT_EQ(m.MovieHeader(0, movie), 1);
    EXPECT_EQ(movie.codec, c.codec);
    EXPECT_EQ(movie.width, 176u);
    EXPECT_EQ(movie.frameRate, 5u);
    EXPECT_EQ(m.AudioHeader(0, audioHeader), c.audioCodec != 0 ? 1 : 0);
    EXPECT_EQ(audioHeader.codec, c.audioCodec);
}

const RoundTripCase kRoundTrips[] = {
    {"TenFilesOpenedAtFileFive", tag::kMpeg4, tag::kG711, tag::k64kb, 10, 40, 5, nullptr},
    {"JpegG726SplitAndLeadingAudio", tag::kJpeg, tag::kG726, tag::k24kb, 3, 12, 2,
     [](series::Variants& v) {
         v.audioChunksPerFrame = 3;
         v.leadingAudio = true;
     }},
    {"VideoOnlyWithForeignIndexEntries", tag::kMpeg4, 0, tag::k64kb, 1, 9, 0,
     [](series::Variants& v) { v.unknownIndexEntries = true; }},
    {"BadFilesAreSkipped", tag::kJpeg, tag::kG711, tag::k64kb, 7, 21, 1,
     [](series::Variants& v) {
         v.badMainHeaderSize = {2};
         v.missingAudioHeader = {3};
         v.emptyFile = {4};
         v.noIndex = {5};
     }},
    {"OpenedFileSkipped", tag::kMpeg4, tag::kG711, tag::k64kb, 3, 9, 1,
     [](series::Variants& v) { v.badMainHeaderSize = {1}; }},
    {"ChunksReachingPastTheEnd", tag::kMpeg4, tag::kG726, tag::k40kb, 2, 8, 1,
     [](series::Variants& v) {
         v.offsetPastEnd = {0};
         v.hugeChunkSize = {1};
     }},
};

INSTANTIATE_TEST_SUITE_P(Series, RoundTrip, ::testing::ValuesIn(kRoundTrips),
                         [](const ::testing::TestParamInfo<RoundTripCase>& param) {
                             return param.param.name;
                         });

TEST(FileManager, AudioChunksPairWithThePrecedingVideoChunk) {
    ScratchDir dir;
    SeriesSpec spec = BaseSpec(dir.path(), tag::kMpeg4, 1);
    spec.audioCodec = tag::kG711;
    spec.variants.audioChunksPerFrame = 2;  // index: 00dc 00wb 00wb 00dc 00wb 00wb
    const WriteResult written = WriteSeries(spec, MakeFrames(tag::kMpeg4, 2), MakeAudio(4000));
    ASSERT_TRUE(written.ok) << written.error;
    QXRFileManager m;
    ASSERT_EQ(m.Open(written.paths[0]), 0);
    ASSERT_EQ(m.UnitCount(), 4);
    ChunkRef v0, v1, a1;
    m.VideoRef(0, v0);
    m.VideoRef(1, v1);
    m.AudioRef(1, a1);
    EXPECT_GT(m.AudioSize(0), 0);
    EXPECT_EQ(v1.size, 0);  // the second audio chunk in a row starts an audio-only unit
    EXPECT_EQ(v1.dataPosition, 0);
    EXPECT_EQ(v1.cumulative, v0.cumulative);
    EXPECT_EQ(a1.cumulative, m.AudioSize(0) + m.AudioSize(1));
    EXPECT_GT(m.VideoSize(2), 0);

    spec.variants.audioChunksPerFrame = 1;
    spec.variants.leadingAudio = true;  // index: 00wb 00dc 00dc 00wb
    EXPECT_FALSE(WriteSeries(spec, MakeFrames(tag::kMpeg4, 2), MakeAudio(4000)).ok);  // open in the reader
    m.Clear();
    ASSERT_TRUE(WriteSeries(spec, MakeFrames(tag::kMpeg4, 2), MakeAudio(4000)).ok);
    ASSERT_EQ(m.Open(written.paths[0]), 0);
    ASSERT_EQ(m.UnitCount(), 3);
    EXPECT_EQ(m.VideoSize(0), 0);
    EXPECT_GT(m.AudioSize(0), 0);
    EXPECT_EQ(m.AudioSize(1), 0);
    EXPECT_GT(m.AudioSize(2), 0);
}

void Touch(const std::string& path) {
    std::ofstream(path, std::ios::binary) << "x";
}

TEST(FileManager, SeriesSearchMatchesCaseAndSkipsForeignNames) {
    ScratchDir dir;
    // A six-character name has an empty prefix: 07.JPF, 08.jpf and 03.Jpf form the series.
    SeriesSpec spec = BaseSpec(dir.path(), tag::kJpeg, 1);
    spec.prefix = "";
    spec.firstNumber = 7;
    spec.extension = "JPF";
    const WriteResult a = WriteSeries(spec, MakeFrames(tag::kJpeg, 2), {});
    spec.firstNumber = 8;
    spec.extension = "jpf";
    ASSERT_TRUE(WriteSeries(spec, MakeFrames(tag::kJpeg, 3), {}).ok);
    spec.firstNumber = 3;
    spec.extension = "Jpf";
    ASSERT_TRUE(WriteSeries(spec, MakeFrames(tag::kJpeg, 4), {}).ok);
    ASSERT_TRUE(a.ok) << a.error;
    Touch(dir / "ab.JPF");                                  // not digits: not part of the series
    Touch(dir / "X09.JPF");                                 // another prefix
    Touch(dir / "09.M4F");                                  // another extension
    ASSERT_EQ(::mkdir((dir / "10.JPF").c_str(), 0700), 0);  // a directory

    ReportRecorder reports;
    QXRFileManager m;
    EXPECT_EQ(m.Open(a.paths[0]), 4);  // after 03.Jpf's four units
    EXPECT_EQ(m.UnitCount(), 9);
    ASSERT_EQ(m.FileCount(), 3);
    std::vector<int> numbers;
    for (int f = 0; f < 3; ++f) {
        SeriesFileInfo info;
        m.FileInfo(f, info);
        numbers.push_back(info.seriesNumber);
    }
    EXPECT_EQ(numbers, (std::vector<int>{3, 7, 8}));
    EXPECT_TRUE(reports.boxes.empty());

    // Mixed case in prefix and extension, as a camera's card read on another system may show them.
    ScratchDir mixed;
    SeriesSpec m4 = BaseSpec(mixed.path(), tag::kMpeg4, 1);
    const std::pair<const char*, const char*> names[] = {{"REC", "M4F"}, {"rec", "m4f"}, {"Rec", "M4f"}};
    for (int i = 0; i < 3; ++i) {
        m4.prefix = names[i].first;
        m4.extension = names[i].second;
        m4.firstNumber = i;
        ASSERT_TRUE(WriteSeries(m4, MakeFrames(tag::kMpeg4, 2), {}).ok);
    }
    EXPECT_EQ(m.Open(mixed / "rec01.m4f"), 2);
    EXPECT_EQ(m.UnitCount(), 6);
}

TEST(FileManager, OpenFailuresReportTheirMessages) {
    ScratchDir dir;
    SeriesSpec spec = BaseSpec(dir.path(), tag::kMpeg4, 2);
    spec.variants.truncatedIndex = {1};
    ASSERT_TRUE(WriteSeries(spec, MakeFrames(tag::kMpeg4, 4), {}).ok);
    ScratchDir onlyDirectories;
    ASSERT_EQ(::mkdir((onlyDirectories / "REC00.M4F").c_str(), 0700), 0);

    struct Case {
        std::string path;
        int result;
        std::vector<std::string> boxes;
    };
    const Case cases[] = {
        {dir / "missing/REC00.M4F", QXRFileManager::kBadDirectory, {"Cannot change current directory."}},
        {dir / "REC00.AVI", QXRFileManager::kBadExtension, {"Invalid extension."}},
        {dir / "REC00", QXRFileManager::kBadExtension, {"Invalid extension."}},
        {dir / "0.M4F", QXRFileManager::kBadName, {"Invalid file name."}},
        {dir / "RECx1.M4F", QXRFileManager::kBadName, {"Invalid file name."}},
        {dir / "OTHER00.M4F", QXRFileManager::kNoFile, {"Cannot find a file."}},
        {onlyDirectories / "REC00.M4F", QXRFileManager::kNoFile, {"Cannot find a file."}},
        {dir / "REC00.m4f", QXRFileManager::kNoData, {"Cannot read index data.", "Cannot get data."}},
    };
    QXRFileManager m;
    for (const Case& c : cases) {
        ReportRecorder reports;
        EXPECT_EQ(m.Open(c.path), c.result) << c.path;
        EXPECT_EQ(reports.BoxTexts(), c.boxes) << c.path;
        for (const auto& box : reports.boxes) EXPECT_EQ(box.caption, "ERROR");
        EXPECT_EQ(m.UnitCount(), 0);
        EXPECT_EQ(m.FileCount(), 0);  // a failed open leaves nothing behind
        if (!c.boxes.empty()) {
            EXPECT_EQ(reports.Log().rfind("> qxr_file_manager.cpp(", 0), 0u) << reports.Log();
            EXPECT_NE(reports.Log().find(") : " + c.boxes.back() + "\n"), std::string::npos);
        }
    }
}

TEST(FileManager, ReadsStopAtTheChunkEnd) {
    ScratchDir dir;
    const WriteResult written =
        WriteSeries(BaseSpec(dir.path(), tag::kMpeg4, 1), MakeFrames(tag::kMpeg4, 3), {});
    ASSERT_TRUE(written.ok) << written.error;
    QXRFileManager m;
    ASSERT_EQ(m.Open(written.paths[0]), 0);
    const int32_t size = m.VideoSize(1);
    ASSERT_GT(size, 2);
    uint8_t buffer[16] = {};
    int64_t got = -1;
    EXPECT_EQ(m.ReadVideo(buffer, size, 16, got, 1), 0);
    EXPECT_EQ(got, 0);
    EXPECT_EQ(m.ReadVideo(buffer, size - 1, 16, got, 1), 1);
    EXPECT_EQ(got, 1);
    EXPECT_EQ(buffer[0], written.units[1].video.back());
    EXPECT_EQ(m.ReadVideo(buffer, -1, 16, got, 1), 0);
    EXPECT_EQ(m.ReadVideo(buffer, 0, 16, got, 3), 0);  // past the last unit
    EXPECT_EQ(m.ReadAudio(buffer, 0, 16, got, 0), 0);  // no audio at all

    m.Clear();
    EXPECT_EQ(m.UnitCount(), 0);
    EXPECT_EQ(m.ReadVideo(buffer, 0, 16, got, 0), 0);
    QxrMovieHeader movie;
    EXPECT_EQ(m.MovieHeader(0, movie), 0);
    EXPECT_EQ(m.UnitForVideoPosition(100), 0);
}

// The engine's supplier reads chunks while the main window maps positions and reads headers: both go
// through the same lists and must neither block each other for long nor see torn references.
TEST(FileManager, SupplierReadsWhileTheMainThreadLooksUp) {
    ScratchDir dir;
    SeriesSpec spec = BaseSpec(dir.path(), tag::kMpeg4, 4);
    spec.audioCodec = tag::kG711;
    const WriteResult written = WriteSeries(spec, MakeFrames(tag::kMpeg4, 40), MakeAudio(70000));
    ASSERT_TRUE(written.ok) << written.error;
    QXRFileManager m;
    ASSERT_EQ(m.Open(written.paths[0]), 0);
    const int units = m.UnitCount();
    ASSERT_EQ(units, static_cast<int>(written.units.size()));

    int mismatches = 0;
    std::thread supplier([&] {
        for (int pass = 0; pass < 5; ++pass)
            for (int k = 0; k < units; ++k)
                if (ReadChunk(m, true, k, 8192) != written.units[static_cast<std::size_t>(k)].video ||
                    ReadChunk(m, false, k, 256) != written.units[static_cast<std::size_t>(k)].audio)
                    ++mismatches;
    });
    std::mt19937 random(11);
    const int64_t end = m.VideoStart(units - 1) + m.VideoSize(units - 1);
    for (int i = 0; i < 2000; ++i) {
        const int64_t position = static_cast<int64_t>(random() % static_cast<uint32_t>(end));
        const int unit = m.UnitForVideoPosition(position);
        EXPECT_LE(m.VideoStart(unit), position);
        EXPECT_GT(m.VideoStart(unit) + m.VideoSize(unit), position);
        QxrMainHeader main;
        EXPECT_EQ(m.MainHeader(0, main), 1);
    }
    supplier.join();
    EXPECT_EQ(mismatches, 0);
}

TEST(FileManager, StreamsFromMemoryIndexLikeFiles) {
    ScratchDir dir;
    SeriesSpec spec = BaseSpec(dir.path(), tag::kJpeg, 2);
    spec.audioCodec = tag::kG711;
    const WriteResult written = WriteSeries(spec, MakeFrames(tag::kJpeg, 6), MakeAudio(9000));
    ASSERT_TRUE(written.ok) << written.error;
    std::vector<std::unique_ptr<ByteStream>> streams;
    for (const std::string& path : written.paths) {
        const std::string bytes = recording_test::ReadWholeFile(path);
        streams.push_back(std::make_unique<MemoryStream>(bytes.data(), bytes.size()));
    }
    streams.insert(streams.begin() + 1, nullptr);  // a file that could not be opened is skipped
    QXRFileManager m;
    EXPECT_EQ(m.OpenStreams(std::move(streams), 2), static_cast<int>(written.units.size()) / 2);
    EXPECT_EQ(m.UnitCount(), static_cast<int>(written.units.size()));
}

}  // namespace
}  // namespace reeldeck
