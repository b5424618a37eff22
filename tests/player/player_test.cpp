// The playback engine on recordings made by the series writer: open, play to the end, pause, seek,
// rewind, capture, stop, the open checks and the run-time errors.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "../recording/test_support.h"
#include "core/qxr_format.h"
#include "platform/clock.h"
#include "platform/wave_out.h"
#include "player_fixture.h"

namespace player_test {
namespace {

using recording_test::ReportRecorder;
using recording_test::ScratchDir;
using reeldeck::Event;
using reeldeck::NotificationQueue;
using reeldeck::Player;
using reeldeck::PlayerOptions;
namespace tag = reeldeck::tag;

// The audio output for the tests: WAV into the scratch directory, not in real time (the sound drains as
// fast as the engine feeds it), or a device that cannot be opened.
class AudioOutput {
  public:
    explicit AudioOutput(const std::string& path, bool openable = true) {
        previous_ = platform::SetWaveOutBackend(
            openable ? platform::WavFileBackend(path, false)
                     : platform::WaveSinkFactory([](const platform::WaveFormat&) { return nullptr; }));
    }
    ~AudioOutput() { platform::SetWaveOutBackend(previous_); }

  private:
    platform::WaveSinkFactory previous_;
};

// One engine with its host and posted queue.
struct Engine {
    explicit Engine(PlayerOptions options = {}) : player(host, queue, std::move(options)) {
        host.Attach(&player);
    }
    ~Engine() { player.Stop(); }
    bool Pump(const std::function<bool()>& done, uint32_t timeoutMs = 10000) {
        return host.Pump(queue, done, timeoutMs);
    }
    std::size_t PictureCount() const { return host.Pictures().size(); }
    // Waits until the engine rests at the end of the data (state 57 after the last picture).
    bool PlayToEnd(std::size_t pictures) {
        return Pump([&] {
            return PictureCount() >= pictures && host.LastState() == reeldeck::kStateAtStart &&
                   player.EventIsSet(Event::kStopped);
        });
    }

    RecordingHost host;
    NotificationQueue queue;
    Player player;
};

// What went on, for a failure message: the states reported, the pictures' camera times, the errors and
// the debugger output.
std::string Describe(const Engine& e, const ReportRecorder& reports) {
    std::string text = "states:";
    for (unsigned s : e.host.States()) text += " " + std::to_string(s);
    text += "\npictures: " + std::to_string(e.host.Pictures().size());
    for (const Shown& s : e.host.Pictures()) text += " " + s.cameraTime.substr(17);
    text += "\nerrors:";
    for (int n : e.host.Errors()) text += " " + std::to_string(n);
    text += "\ndebug:\n";
    for (const std::string& line : reports.debug) text += line;
    return text;
}

struct Recording {
    const char* name;
    uint32_t codec;
    uint32_t audioCodec;
    uint32_t audioRate;
};

class PlayerRecording : public ::testing::TestWithParam<Recording> {};

// Every picture is shown once, in order, with its own camera time; the engine rests at the start and
// at the end; Play at the end starts again from the first unit.
TEST_P(PlayerRecording, OpensAtRestPlaysEveryUnitInOrderAndRestsAtTheEnd) {
    const Recording r = GetParam();
    ScratchDir dir;
    ReportRecorder reports;
    AudioOutput audio(dir / "out.wav");
    SeriesOptions o;
    o.codec = r.codec;
    o.audioCodec = r.audioCodec;
    o.audioRate = r.audioRate;
    std::string skip;
    const std::string first = MakeSeries(dir.path(), o, &skip);
    if (!skip.empty()) GTEST_SKIP() << skip;
    ASSERT_FALSE(first.empty());

    Engine e;
    ASSERT_EQ(e.player.Open(first), 1);
    EXPECT_EQ(e.host.SliderLast(), o.frames - 1);
    EXPECT_EQ(e.host.LastState(), reeldeck::kStateAtStart);
    EXPECT_EQ(e.host.Info().hasAudio, r.audioCodec != 0);
    ASSERT_TRUE(e.Pump([&] { return e.PictureCount() >= 1; }));
    // At rest the supplier holds: nothing more is shown.
    platform::SleepMs(150);
    ASSERT_EQ(e.PictureCount(), 1u);
    EXPECT_EQ(e.host.Pictures()[0].cameraTime, CameraTimeOf(0, o.frameRate));
    EXPECT_TRUE(e.player.IsActive());

    e.player.Play();
    EXPECT_EQ(e.host.LastState(), reeldeck::kStatePlaying);
    ASSERT_TRUE(e.PlayToEnd(static_cast<std::size_t>(o.frames))) << Describe(e, reports);
    const std::vector<Shown> shown = e.host.Pictures();
    ASSERT_EQ(shown.size(), static_cast<std::size_t>(o.frames));
    for (int i = 0; i < o.frames; ++i) {
        EXPECT_EQ(shown[static_cast<std::size_t>(i)].cameraTime, CameraTimeOf(i, o.frameRate)) << i;
        EXPECT_NEAR(shown[static_cast<std::size_t>(i)].grey, GreyOf(i), 3) << i;
    }
    EXPECT_EQ(e.host.LastSliderUnit(), o.frames - 1);

    // Play from the end: the engine asks for a seek to unit 0 and plays the whole series again.
    e.player.Play();
    ASSERT_TRUE(e.PlayToEnd(2 * static_cast<std::size_t>(o.frames))) << Describe(e, reports);
    EXPECT_EQ(e.host.Pictures()[static_cast<std::size_t>(o.frames)].cameraTime, CameraTimeOf(0, o.frameRate));
    EXPECT_TRUE(e.host.Errors().empty());
    EXPECT_TRUE(reports.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Recordings, PlayerRecording,
                         ::testing::Values(Recording{"MotionJpeg", tag::kJpeg, 0, 0},
                                           Recording{"MotionJpegG711", tag::kJpeg, tag::kG711, tag::k64kb},
                                           Recording{"Mpeg4G726", tag::kMpeg4, tag::kG726, tag::k32kb},
                                           Recording{"Mpeg4", tag::kMpeg4, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace player_test
