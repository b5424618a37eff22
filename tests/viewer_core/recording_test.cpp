// Recording the live stream: the viewer against the camera simulator records what it receives into a
// series, which the file manager indexes and the playback engine plays with every picture and the audio.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include "../player/player_fixture.h"
#include "core/qxr_file_manager.h"
#include "core/viewer.h"
#include "core/viewer_state.h"
#include "series_writer/series_writer.h"
#include "series_writer/stream_split.h"
#include "viewer_test_support.h"

namespace {

using namespace viewer_test;
using namespace std::chrono_literals;
using ocuview::RecordingSummary;
using ocuview::RecordResult;
using ocuview::StartResult;

class EndObserver : public RecordingObserver {
  public:
    void OnRecordingEnded(const RecordingSummary& summary) override {
        std::lock_guard<std::mutex> hold(lock);
        ended.push_back(summary);
    }
    std::vector<RecordingSummary> ended;
};

// What a series holds, read through the file manager.
struct SeriesContents {
    std::vector<std::vector<uint8_t>> pictures;
    uint64_t audioBytes = 0;
    reeldeck::QxrMovieHeader movie;
    reeldeck::QxrMainHeader main;
};

SeriesContents ReadSeries(const std::string& path) {
    SeriesContents c;
    reeldeck::QXRFileManager m;
    EXPECT_GE(m.Open(path), 0) << path;
    (void)m.MovieHeader(0, c.movie);
    (void)m.MainHeader(0, c.main);
    for (int u = 0; u < m.UnitCount(); ++u) {
        if (m.VideoSize(u) > 0) {
            std::vector<uint8_t> chunk(static_cast<std::size_t>(m.VideoSize(u)));
            int64_t got = 0;
            EXPECT_EQ(m.ReadVideo(chunk.data(), 0, static_cast<int64_t>(chunk.size()), got, u), 1);
            c.pictures.push_back(chunk);
        }
        c.audioBytes += static_cast<uint64_t>(m.AudioSize(u));
    }
    return c;
}

// The pictures the engine shows playing the series unpaced, and their camera times.
std::vector<player_test::Shown> PlayInEngine(const std::string& path, std::vector<int>* errors) {
    player_test::RecordingHost host;
    reeldeck::NotificationQueue queue;
    reeldeck::PlayerOptions options;
    options.paced = false;
    reeldeck::Player player(host, queue, options);
    host.Attach(&player);
    EXPECT_EQ(player.Open(path), 1);
    player.Play();
    host.Pump(
        queue,
        [&] {
            return !host.Errors().empty() || (host.LastState() == reeldeck::kStateAtStart &&
                                              player.EventIsSet(reeldeck::Event::kVideoEnd));
        },
        30000);
    player.Stop();
    *errors = host.Errors();
    return host.Pictures();
}

int64_t Ms(const std::string& cameraTime) {
    int64_t ms = 0;
    EXPECT_TRUE(reeldeck::series::ParseCameraTimeText(cameraTime, ms)) << cameraTime;
    return ms;
}

class Recording : public ::testing::Test {
  protected:
    std::unique_ptr<ocuview::Viewer> MakeViewer(const Camera& camera) {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        auto v = std::make_unique<ocuview::Viewer>(sink, credentials, observer);
        v->Configure(SettingsFor(camera, ScratchDir() + "/" + name + ".ini"));
        v->State().stopSettleMs = 0;
        return v;
    }
    std::string Dir() {
        const std::string dir =
            ScratchDir() + "/rec_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        return dir;
    }
    RecordingSink sink;
    ScriptedCredentials credentials;
    EndObserver observer;
};

camsim::Config Small(const std::string& codec, const std::string& audio) {
    camsim::Config c;
    c.width = 320;
    c.height = 240;
    c.codec = codec;
    c.audioCodec = audio;
    if (codec == "mpeg4") c.mpeg4File = Mpeg4File(320, 240);
    return c;
}

// Motion JPEG with G.711: every picture received is written and played; the audio written covers the
// time the pictures span.
TEST_F(Recording, MotionJpegWithAudioPlaysBackEveryPictureAndTheSound) {
    Camera camera(Small("jpeg", "g711_64"));
    auto viewer = MakeViewer(camera);
    ASSERT_EQ(viewer->Start(), StartResult::kStarted);
    ASSERT_TRUE(sink.WaitFor(3, 5s));
    const std::string dir = Dir();
    std::string message;
    ASSERT_EQ(viewer->StartRecording(dir + "/cam.jpf", &message), RecordResult::kStarted) << message;
    EXPECT_EQ(message, dir + "/cam00.jpf");
    EXPECT_EQ(viewer->StartRecording(dir + "/other", &message), RecordResult::kAlreadyRecording);
    ASSERT_TRUE(sink.WaitFor(sink.Count() + 20, 10s));
    const std::optional<RecordingSummary> s = viewer->StopRecording();
    ASSERT_TRUE(s.has_value());
    EXPECT_FALSE(viewer->Recording());
    viewer->Stop();

    EXPECT_TRUE(s->error.empty()) << s->error;
    ASSERT_EQ(s->paths, std::vector<std::string>{dir + "/cam00.jpf"});
    EXPECT_GE(s->picturesWritten, 20u);
    EXPECT_EQ(s->picturesWritten, s->picturesReceived);
    EXPECT_EQ(s->picturesSkipped, 0u);
    EXPECT_EQ(s->droppedItems, 0u);
    EXPECT_GT(s->audioBytesWritten, 0u);
    // Only the audio before the first picture stays out: a fraction of a second even on a loaded machine.
    EXPECT_LE(s->audioBytesReceived - s->audioBytesWritten, 8000u / 2);

    const SeriesContents c = ReadSeries(s->paths[0]);
    EXPECT_EQ(c.movie.codec, reeldeck::tag::kJpeg);
    EXPECT_EQ(c.movie.width, 320u);
    EXPECT_EQ(c.movie.height, 240u);
    EXPECT_EQ(c.main.streamCount, 2u);
    ASSERT_EQ(c.pictures.size(), s->picturesWritten);
    EXPECT_EQ(c.audioBytes, s->audioBytesWritten);

    std::vector<int> errors;
    const std::vector<player_test::Shown> shown = PlayInEngine(s->paths[0], &errors);
    EXPECT_TRUE(errors.empty());
    ASSERT_EQ(shown.size(), s->picturesWritten);
    for (std::size_t i = 1; i < shown.size(); ++i) {
        EXPECT_LT(shown[i - 1].cameraTime, shown[i].cameraTime) << i;
    }
    // 8000 G.711 bytes a second: the sound lasts as long as the pictures span (plus the last interval).
    const double pictureSeconds =
        static_cast<double>(Ms(shown.back().cameraTime) - Ms(shown.front().cameraTime)) / 1000.0;
    const double audioSeconds = static_cast<double>(c.audioBytes) / 8000.0;
    // The sound runs on the camera's clock, the pictures' span is read from their camera times; the audio
    // that arrived after the last picture (until the recording stopped) is the rest.
    EXPECT_NEAR(audioSeconds, pictureSeconds, 0.5);
}

// MPEG-4 with G.726 joined in the middle of the stream: the series begins at the next I-VOP with the
// stream's headers in front, and the engine plays every picture written.
TEST_F(Recording, Mpeg4JoinedMidStreamBeginsAtAnIVopWithTheStreamHeaders) {
    camsim::Config config = Small("mpeg4", "g726_32");
    if (config.mpeg4File.empty()) GTEST_SKIP() << "FFmpeg could not make the MPEG-4 clip";
    Camera camera(config);
    auto viewer = MakeViewer(camera);
    ASSERT_EQ(viewer->Start(), StartResult::kStarted);
    ASSERT_TRUE(sink.WaitFor(5, 5s));  // past the first I-VOP and the headers
    const std::string dir = Dir();
    std::string message;
    ASSERT_EQ(viewer->StartRecording(dir + "/m4", &message), RecordResult::kStarted) << message;
    EXPECT_EQ(message, dir + "/m400.m4f");
    ASSERT_TRUE(sink.WaitFor(sink.Count() + 40, 10s));
    const std::optional<RecordingSummary> s = viewer->StopRecording();
    viewer->Stop();
    ASSERT_TRUE(s.has_value());
    EXPECT_TRUE(s->error.empty()) << s->error;
    ASSERT_EQ(s->paths.size(), 1u);
    EXPECT_GT(s->picturesSkipped, 0u);  // the P-VOPs before the next I-VOP
    EXPECT_LT(s->picturesSkipped, 15u);
    EXPECT_EQ(s->picturesWritten + s->picturesSkipped, s->picturesReceived);
    EXPECT_EQ(s->droppedItems, 0u);

    const SeriesContents c = ReadSeries(s->paths[0]);
    ASSERT_EQ(c.pictures.size(), s->picturesWritten);
    ASSERT_FALSE(c.pictures.empty());
    EXPECT_TRUE(reeldeck::series::IsIntraVop(c.pictures[0]));
    reeldeck::series::PictureGeometry size;
    ASSERT_TRUE(reeldeck::series::ParseMpeg4Geometry(c.pictures[0], size));
    EXPECT_EQ(size.width, 320u);
    EXPECT_EQ(c.movie.width, 320u);
    EXPECT_EQ(c.movie.codec, reeldeck::tag::kMpeg4);
    EXPECT_EQ(c.audioBytes, s->audioBytesWritten);
    EXPECT_GT(c.audioBytes, 0u);

    std::vector<int> errors;
    const std::vector<player_test::Shown> shown = PlayInEngine(s->paths[0], &errors);
    EXPECT_TRUE(errors.empty());
    // The engine shows each MPEG-4 picture when the next one is decoded, the last at the end of data.
    EXPECT_EQ(shown.size(), s->picturesWritten);
}

// A recording needs a playing viewer and a directory; it ends with the stream, its file in place.
TEST_F(Recording, RefusedWhenNotPlayingAndEndsWithTheStream) {
    Camera camera(Small("jpeg", "g711_64"));
    auto viewer = MakeViewer(camera);
    const std::string dir = Dir();
    std::string message;
    EXPECT_EQ(viewer->StartRecording(dir + "/a", &message), RecordResult::kNotPlaying);
    ASSERT_EQ(viewer->Start(), StartResult::kStarted);
    EXPECT_EQ(viewer->StartRecording(dir + "/missing/a", &message), RecordResult::kFailed);
    EXPECT_NE(message.find("missing"), std::string::npos) << message;
    ASSERT_EQ(viewer->StartRecording(dir + "/REC07.JPF", &message), RecordResult::kStarted) << message;
    EXPECT_EQ(message, dir + "/REC07.jpf");
    ASSERT_TRUE(sink.WaitFor(sink.Count() + 5, 5s));
    viewer->Stop();
    EXPECT_FALSE(viewer->Recording());
    std::lock_guard<std::mutex> hold(observer.lock);
    ASSERT_EQ(observer.ended.size(), 1u);
    ASSERT_EQ(observer.ended[0].paths, std::vector<std::string>{dir + "/REC07.jpf"});
    EXPECT_GE(ReadSeries(dir + "/REC07.jpf").pictures.size(), 5u);
}

}  // namespace
