// The window with the real engine over the sample recording the build writes: open, play, pause, seek
// by the slider, capture, save as JPEG and BMP, cancel, stop; the buttons follow 16/57/62/63. Then the
// screenshots of the window playing and of the capture viewer (PNG files in the build tree, suffixed with
// the device pixel ratio), checked for the decoded picture inside the picture area.
#include <gtest/gtest.h>

#include <QDir>
#include <QTest>
#include <cstdlib>

#include "gui/capture_viewer.h"
#include "gui/engine_player.h"
#include "gui/info_panel.h"
#include "gui/skin_button.h"
#include "gui_test_support.h"

namespace reeldeck_gui_test {
namespace {

using reeldeck::gui::CaptureViewer;
using reeldeck::gui::Extent;
using reeldeck::gui::MainWindow;

const QString kSample = QString(QXR_BINARY_DIR) + "/share/reeldeck/sample/SAMPLE00.jpf";

QString ShotPath(const QString& name, qreal ratio) {
    const QString dir = QString(QXR_BINARY_DIR) + "/screenshots";
    QDir().mkpath(dir);
    return QString("%1/%2@%3x.png").arg(dir, name).arg(ratio);
}

// The pixel at the centre of logical pixel `logical` of a grab made at `ratio`.
QRgb At(const QImage& grab, QPoint logical, qreal ratio) {
    return grab.pixel(static_cast<int>((logical.x() + 0.5) * ratio),
                      static_cast<int>((logical.y() + 0.5) * ratio));
}

class PlaybackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("QXR_AUDIO_OUTPUT", "null", 1);
        window.SetPlayer(reeldeck::gui::MakeEnginePlayer(window, window.Notifications()));
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        ASSERT_TRUE(QFile::exists(kSample)) << "the build writes the sample recording";
    }
    void Key(Qt::Key key) {
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        QCoreApplication::processEvents();
        QTest::keyClick(&window, key);
    }
    bool WaitForMask(unsigned mask) {
        return WaitFor([&] {
            return window.EnabledMask() == mask && window.Button(reeldeck::gui::cmd::kOpen)->isEnabled();
        });
    }

    recording_test::ReportRecorder reports;
    recording_test::ScratchDir scratch;
    MainWindow window;
};

TEST_F(PlaybackTest, PlayPauseSeekCaptureSaveStop) {
    ASSERT_TRUE(window.OpenPath(kSample));
    ASSERT_TRUE(WaitForMask(57));
    EXPECT_EQ(window.Picture()->Area(), (Extent{320, 240}));
    ASSERT_TRUE(WaitFor([&] { return window.Picture()->ShownCount() > 0; }));
    EXPECT_EQ(window.TimeSlider()->maximum(), 79);
    EXPECT_EQ(window.Information()->Value(0), "QXR-K7");
    EXPECT_EQ(window.Information()->Value(2), "SAMPLE0001");
    EXPECT_EQ(window.Information()->Value(3), "Manual");
    EXPECT_EQ(window.Information()->Value(5), "JPEG ( 10 fps )");
    EXPECT_EQ(window.Information()->Value(6), "G.711 ( 64 kbps )");

    Key(Qt::Key_F2);
    ASSERT_TRUE(WaitForMask(62));
    ASSERT_TRUE(WaitFor([&] { return window.TimeSlider()->value() >= 3; }));
    EXPECT_TRUE(window.CounterText().startsWith("2026/12/10"));
    Key(Qt::Key_F3);
    ASSERT_TRUE(WaitForMask(63));

    // A drag of the thumb to unit 60: the player repositions there, paused.
    QSlider* slider = window.TimeSlider();
    slider->setSliderDown(true);
    slider->setSliderPosition(60);
    slider->setSliderDown(false);
    ASSERT_TRUE(WaitFor([&] { return window.TimeSlider()->value() == 60 && window.EnabledMask() == 63; }));

    const uint64_t before = window.Picture()->ShownCount();
    Key(Qt::Key_F5);
    ASSERT_TRUE(WaitFor([&] { return window.Captures().Viewer(0) != nullptr; }));
    CaptureViewer* viewer = window.Captures().Viewer(0);
    EXPECT_EQ(viewer->size(), QSize(368, 320));
    EXPECT_GE(window.Picture()->ShownCount(), before);

    const std::string jpg = scratch / "capture.jpg";
    const std::string bmp = scratch / "capture.bmp";
    viewer->SaveTo(QString::fromStdString(jpg));
    viewer->SaveTo(QString::fromStdString(bmp));
    EXPECT_EQ(reports.BoxTexts(), std::vector<std::string>{});
    QImage fromBmp(QString::fromStdString(bmp));  // Qt's own reader stands in where ImageMagick is missing
    ASSERT_EQ(fromBmp.size(), QSize(320, 240));
    for (int y = 0; y < 240; y += 7) {
        for (int x = 0; x < 320; x += 5) {
            ASSERT_EQ(fromBmp.pixel(x, y), viewer->Image().pixel(24 + x, 22 + y)) << x << "," << y;
        }
    }
    QImage fromJpg(QString::fromStdString(jpg));
    ASSERT_EQ(fromJpg.size(), QSize(320, 240));

    QTest::mouseClick(viewer->CancelButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return window.Captures().OpenViewers() == 0; }));

    Key(Qt::Key_F4);
    ASSERT_TRUE(WaitForMask(57));
    EXPECT_TRUE(WaitFor([&] { return window.TimeSlider()->value() == 0; }));
    EXPECT_EQ(reports.BoxTexts(), std::vector<std::string>{});
}

TEST_F(PlaybackTest, MotionAlarmShowsItsBand) {
    // The sample's pictures of its fourth second (units 30 to 39) carry a motion alarm record.
    ASSERT_TRUE(window.OpenPath(kSample));
    ASSERT_TRUE(WaitForMask(57));
    window.TimeSlider()->setSliderDown(true);
    window.TimeSlider()->setSliderPosition(35);
    window.TimeSlider()->setSliderDown(false);
    // The picture at unit 35 comes after the seek's handshake; its alarm record draws the band.
    const QRgb band = qRgb(0xE0, 0x8E, 0x0B);
    QImage picture;
    EXPECT_TRUE(WaitFor([&] {
        picture = window.Picture()->FrontImage();
        return picture.pixel(5, 235) == band;
    }));
    EXPECT_EQ(picture.pixel(0, 100), band);  // the two-pixel frame
    EXPECT_EQ(picture.pixel(319, 100), band);
    EXPECT_NE(picture.pixel(160, 100), band);
}

TEST_F(PlaybackTest, ScreenshotsShowTheDecodedPicture) {
    // Idle (only Open enabled), and a small still with the narrow control panel, for a look at the skin.
    QCoreApplication::processEvents();
    const QImage idle = window.grab().toImage();
    ASSERT_TRUE(idle.save(ShotPath("main_window_idle", idle.devicePixelRatio())));
    const std::string small = scratch / "small.bmp";
    WriteBitmap(small, Pattern(64, 48));
    ASSERT_TRUE(window.OpenPath(QString::fromStdString(small)));
    QCoreApplication::processEvents();
    const QImage narrow = window.grab().toImage();
    ASSERT_TRUE(narrow.save(ShotPath("main_window_small_still", narrow.devicePixelRatio())));
    EXPECT_EQ(At(narrow, window.Picture()->geometry().topLeft() + QPoint(40, 30), narrow.devicePixelRatio()),
              PatternRgb(40, 30));

    ASSERT_TRUE(window.OpenPath(kSample));
    window.Command(reeldeck::gui::cmd::kInformationKey);
    window.Command(reeldeck::gui::cmd::kPlayKey);
    ASSERT_TRUE(WaitFor([&] { return window.TimeSlider()->value() >= 5; }));
    window.Command(reeldeck::gui::cmd::kPauseKey);
    ASSERT_TRUE(WaitForMask(63));
    window.Command(reeldeck::gui::cmd::kCaptureKey);
    ASSERT_TRUE(WaitFor([&] { return window.Captures().Viewer(0) != nullptr; }));
    CaptureViewer* viewer = window.Captures().Viewer(0);
    QCoreApplication::processEvents();

    const QImage shot = window.grab().toImage();
    const qreal ratio = shot.devicePixelRatio();
    ASSERT_TRUE(shot.save(ShotPath("main_window_playing", ratio)));
    ASSERT_TRUE(viewer->grab().toImage().save(ShotPath("capture_viewer", ratio)));
    // The captured picture is the decoded frame on screen: the window shows the same pixels at 1:1.
    const QPoint origin = window.Picture()->geometry().topLeft();
    int same = 0, total = 0;
    for (int y = 2; y < 240; y += 9) {
        for (int x = 2; x < 320; x += 9) {
            ++total;
            same += At(shot, origin + QPoint(x, y), ratio) == viewer->Image().pixel(24 + x, 22 + y) ? 1 : 0;
        }
    }
    EXPECT_EQ(same, total);
    // And it is a picture, not a flat fill.
    EXPECT_NE(viewer->Image().pixel(24 + 10, 22 + 10), viewer->Image().pixel(24 + 300, 22 + 200));
    EXPECT_EQ(reports.BoxTexts(), std::vector<std::string>{});
}

}  // namespace
}  // namespace reeldeck_gui_test
