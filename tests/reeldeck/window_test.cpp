// The main window driven for real: stills, the layout rules, the keys, the button states, drops,
// captures into viewers and their saves.
#include <gtest/gtest.h>

#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <QWheelEvent>
#include <cstdlib>

#include "gui/capture_viewer.h"
#include "gui/engine_player.h"
#include "gui/info_panel.h"
#include "gui/skin_button.h"
#include "gui_test_support.h"

namespace reeldeck_gui_test {
namespace {

using reeldeck::gui::Extent;
using reeldeck::gui::MainWindow;
namespace cmd = reeldeck::gui::cmd;

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window.SetPlayer(reeldeck::gui::MakeEnginePlayer(window, window.Notifications()));
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    ScriptedPlayer& UseScriptedPlayer(int w = 64, int h = 48) {
        auto owned = std::make_unique<ScriptedPlayer>(window, w, h);
        ScriptedPlayer& player = *owned;
        window.SetPlayer(std::move(owned));
        return player;
    }
    std::string Still(const std::string& name, int w, int h) {
        const std::string path = scratch / name;
        WriteBitmap(path, Pattern(w, h));
        return path;
    }

    recording_test::ReportRecorder reports;
    recording_test::ScratchDir scratch;
    MainWindow window;
};

TEST_F(WindowTest, StartsIdleWithOnlyOpen) {
    EXPECT_TRUE(window.windowTitle().startsWith("QXR video player ver"));
    EXPECT_EQ(window.EnabledMask(), 16u);
    for (int id : {cmd::kPlay, cmd::kPause, cmd::kStop, cmd::kCapture}) {
        EXPECT_FALSE(window.Button(id)->isEnabled()) << id;
        EXPECT_EQ(window.Button(id)->FaceIndex(), 4) << id;
    }
    EXPECT_TRUE(window.Button(cmd::kOpen)->isEnabled());
    EXPECT_FALSE(window.TimeSlider()->isEnabled());
    EXPECT_EQ(window.Picture()->Area(), (Extent{320, 240}));
    EXPECT_FALSE(window.InformationShown());
    EXPECT_EQ(window.Volume(), 0x7FFF);
    EXPECT_EQ(window.VolumeSlider()->value(), 50);
    EXPECT_TRUE(window.SoundOn());
    EXPECT_TRUE(window.Button(cmd::kMute)->Toggled());
}

TEST_F(WindowTest, StillsAreFittedAndDrawn) {
    const struct {
        int w, h;
        Extent area;
    } cases[] = {{1024, 768, {800, 600}}, {640, 960, {400, 600}}, {64, 48, {64, 48}}};
    for (const auto& c : cases) {
        ASSERT_TRUE(window.OpenPath(QString::fromStdString(Still("still.bmp", c.w, c.h))));
        EXPECT_EQ(window.Picture()->Area(), c.area) << c.w << "x" << c.h;
        ASSERT_TRUE(WaitFor([&] { return window.Picture()->ShownCount() > 0; }));
        const QImage shown = window.Picture()->FrontImage();
        // Nearest-pixel stretching: area pixel (x, y) comes from picture pixel (x * w / aw, y * h / ah).
        for (const QPoint at : {QPoint(0, 0), QPoint(c.area.width - 1, c.area.height - 1), QPoint(37, 21)}) {
            const int sx = at.x() * c.w / c.area.width;
            const int sy = at.y() * c.h / c.area.height;
            EXPECT_EQ(shown.pixel(at), PatternRgb(sx, sy))
                << c.w << "x" << c.h << " at " << at.x() << "," << at.y();
        }
        EXPECT_EQ(window.Information()->Value(0), "Unknown");
        EXPECT_EQ(window.Information()->Value(6), "Unknown");
        // The window holds the picture area and the control panel, which is at least 160 wide.
        EXPECT_GE(window.width(), std::max(c.area.width, 160));
        EXPECT_GE(window.height(), c.area.height);
    }
    EXPECT_TRUE(reports.boxes.empty());
}

TEST_F(WindowTest, JpegStillIsDecodedAndShown) {
    if (std::system("command -v cjpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "cjpeg missing";
    // A grey-free test card: four flat quadrants survive JPEG coding almost unchanged.
    QImage card(96, 64, QImage::Format_RGB888);
    card.fill(Qt::black);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 96; ++x) {
            card.setPixel(x, y,
                          x < 48 ? (y < 32 ? qRgb(200, 40, 40) : qRgb(40, 200, 40))
                                 : (y < 32 ? qRgb(40, 40, 200) : qRgb(230, 230, 230)));
        }
    }
    const std::string ppm = scratch / "card.ppm";
    const std::string jpg = scratch / "card.jpg";
    ASSERT_TRUE(card.save(QString::fromStdString(ppm), "PPM"));
    ASSERT_EQ(std::system(("cjpeg -quality 95 -outfile '" + jpg + "' '" + ppm + "'").c_str()), 0);
    ASSERT_TRUE(window.OpenPath(QString::fromStdString(jpg)));
    EXPECT_EQ(window.Picture()->Area(), (Extent{96, 64}));
    ASSERT_TRUE(WaitFor([&] { return window.Picture()->ShownCount() > 0; }));
    const QImage shown = window.Picture()->FrontImage();
    for (const QPoint at : {QPoint(20, 10), QPoint(70, 10), QPoint(20, 50), QPoint(70, 50)}) {
        const QRgb want = card.pixel(at);
        const QRgb got = shown.pixel(at);
        EXPECT_LE(std::abs(qRed(got) - qRed(want)) + std::abs(qGreen(got) - qGreen(want)) +
                      std::abs(qBlue(got) - qBlue(want)),
                  12)
            << at.x() << "," << at.y();
    }
}

TEST_F(WindowTest, UnreadableStillReports38AndClears) {
    const std::string bad = scratch / "bad.jpg";
    WriteBytes(bad, {0xFF, 0xD8, 0x00, 0x01});
    EXPECT_FALSE(window.OpenPath(QString::fromStdString(bad)));
    EXPECT_FALSE(window.OpenPath(QString::fromStdString(scratch / "missing.bmp")));
    EXPECT_EQ(reports.BoxTexts(), (std::vector<std::string>{"Cannot read file.", "Cannot read file."}));
    EXPECT_EQ(reports.boxes.front().caption, "ERROR");
}

TEST_F(WindowTest, F8DoublesHalvesKeeps) {
    ASSERT_TRUE(window.OpenPath(QString::fromStdString(Still("s.bmp", 320, 240))));
    const Extent expected[] = {{640, 480}, {320, 240}, {320, 240}};
    for (const Extent& want : expected) {
        QTest::keyClick(&window, Qt::Key_F8);
        EXPECT_EQ(window.Picture()->Area(), want);
    }
    // A new file starts again from step 0.
    QTest::keyClick(&window, Qt::Key_F8);
    ASSERT_TRUE(window.OpenPath(QString::fromStdString(Still("s.bmp", 320, 240))));
    EXPECT_EQ(window.ZoomStep(), 0);
}

TEST_F(WindowTest, InformationAndMuteToggle) {
    ScriptedPlayer& player = UseScriptedPlayer();
    ASSERT_TRUE(window.OpenPath("/rec/REC00.jpf"));
    const int narrow = window.width();
    QTest::keyClick(&window, Qt::Key_F1);
    EXPECT_TRUE(window.InformationShown());
    EXPECT_TRUE(window.Button(cmd::kInformation)->Toggled());
    EXPECT_GT(window.width(), narrow + 150);
    EXPECT_EQ(window.Information()->Value(0), "QXR-K7");
    EXPECT_EQ(window.Information()->Value(3), "Motion detection");
    EXPECT_EQ(window.Information()->Value(5), "JPEG ( 15 fps )");
    EXPECT_EQ(window.Information()->Value(6), "Unknown");  // no audio
    QTest::keyClick(&window, Qt::Key_F7);
    EXPECT_FALSE(window.SoundOn());
    EXPECT_FALSE(player.sound);
    EXPECT_FALSE(window.Button(cmd::kMute)->Toggled());
    window.VolumeSlider()->setValue(100);
    EXPECT_EQ(player.volume, 65535);
    window.VolumeSlider()->setValue(10);
    EXPECT_EQ(player.volume, 10 * 65535 / 100);
}

TEST_F(WindowTest, ButtonsFollowTheEngineStates) {
    ScriptedPlayer& player = UseScriptedPlayer();
    ASSERT_TRUE(window.OpenPath("/rec/REC00.jpf"));
    auto enabled = [&] {
        unsigned mask = 0;
        const int ids[] = {cmd::kPlay, cmd::kPause, cmd::kStop, cmd::kCapture, cmd::kOpen};
        for (int bit = 0; bit < 5; ++bit) mask |= window.Button(ids[bit])->isEnabled() ? 1u << bit : 0u;
        return mask | (window.TimeSlider()->isEnabled() ? 32u : 0u);
    };
    EXPECT_EQ(enabled(), 57u);
    QTest::keyClick(&window, Qt::Key_F3);  // Pause is disabled at rest: ignored
    EXPECT_EQ(player.pauses, 0);
    QTest::keyClick(&window, Qt::Key_F2);
    EXPECT_EQ(player.plays, 1);
    EXPECT_EQ(enabled(), 62u);
    QTest::keyClick(&window, Qt::Key_F2);  // Play is disabled while playing
    EXPECT_EQ(player.plays, 1);
    QTest::keyClick(&window, Qt::Key_Space);
    EXPECT_EQ(player.pauses, 1);
    EXPECT_EQ(enabled(), 63u);
    QTest::keyClick(&window, Qt::Key_F4);
    ASSERT_EQ(player.seeks.size(), 1u);
    EXPECT_EQ(player.seeks.back(), std::make_pair(0, true));
    EXPECT_EQ(enabled(), 57u);
    // The engine's worker threads report states too; the buttons follow on the main thread.
    std::thread worker([&] { window.SetButtonState(16); });
    worker.join();
    ASSERT_TRUE(WaitFor([&] { return enabled() == 16u; }));
    EXPECT_EQ(window.Button(cmd::kPlay)->FaceIndex(), 4);
    EXPECT_TRUE(reports.boxes.empty());
}

TEST_F(WindowTest, SliderDragSeeksPausedAndKeysStep) {
    ScriptedPlayer& player = UseScriptedPlayer();
    ASSERT_TRUE(window.OpenPath("/rec/REC00.jpf"));
    EXPECT_EQ(window.TimeSlider()->maximum(), 9);
    QSlider* slider = window.TimeSlider();
    slider->setSliderDown(true);
    slider->setSliderPosition(6);
    // While the user holds the thumb the engine's position does not move it.
    std::thread scan([&] { window.MoveSlider(2); });
    scan.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(slider->value(), 6);
    slider->setSliderDown(false);
    ASSERT_TRUE(WaitFor([&] { return !player.seeks.empty(); }));
    EXPECT_EQ(player.seeks.back(), std::make_pair(6, true));
    QTest::keyClick(&window, Qt::Key_Right);
    ASSERT_TRUE(WaitFor([&] { return player.seeks.size() == 2; }));
    EXPECT_EQ(player.seeks.back(), std::make_pair(7, true));
    QTest::keyClick(&window, Qt::Key_End);
    ASSERT_TRUE(WaitFor([&] { return player.seeks.size() == 3; }));
    EXPECT_EQ(player.seeks.back(), std::make_pair(9, true));
}

TEST_F(WindowTest, DroppedFiles) {
    const QString one = QString::fromStdString(Still("one.bmp", 100, 80));
    const QString two = QString::fromStdString(Still("two.bmp", 90, 70));
    auto drop = [&](const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDropEvent event(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        // The application delivers a drop only to the target of a drag in progress; hand it to the
        // window's own handler as that delivery would.
        static_cast<QObject&>(window).event(&event);
    };
    drop({QUrl::fromLocalFile(one), QUrl::fromLocalFile(two)});
    EXPECT_EQ(reports.BoxTexts(), std::vector<std::string>{"Cannot chose two or more files."});
    EXPECT_EQ(window.Picture()->Area(), (Extent{320, 240}));
    drop({QUrl::fromLocalFile(one)});
    EXPECT_EQ(window.Picture()->Area(), (Extent{100, 80}));
    EXPECT_EQ(reports.boxes.size(), 1u);
}

TEST_F(WindowTest, FullScreenWheelAndRecentFiles) {
    ScriptedPlayer& player = UseScriptedPlayer(320, 240);
    ASSERT_TRUE(window.OpenPath("/rec/REC00.jpf"));
    EXPECT_EQ(window.RecentFiles().value(0), "/rec/REC00.jpf");
    QWheelEvent wheel(QPointF(10, 10), window.Picture()->mapToGlobal(QPointF(10, 10)), QPoint(),
                      QPoint(0, 240), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(window.Picture(), &wheel);
    ASSERT_TRUE(WaitFor([&] { return !player.seeks.empty(); }));
    EXPECT_EQ(player.seeks.back(), std::make_pair(2, true));

    QTest::keyClick(&window, Qt::Key_F11);
    EXPECT_TRUE(window.IsFullScreenView());
    EXPECT_GT(window.Picture()->Area().width, 320);
    EXPECT_FALSE(window.TimeSlider()->isVisible());
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.IsFullScreenView());
    EXPECT_EQ(window.Picture()->Area(), (Extent{320, 240}));
    EXPECT_TRUE(window.TimeSlider()->isVisible());
    QTest::mouseDClick(window.Picture(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_TRUE(window.IsFullScreenView());
}

TEST_F(WindowTest, EngineErrorStopsClearsAndReports) {
    ScriptedPlayer& player = UseScriptedPlayer();
    ASSERT_TRUE(window.OpenPath("/rec/REC00.jpf"));
    EXPECT_FALSE(window.CounterText().isEmpty());
    std::thread worker([&] { window.Notifications().Post(reeldeck::PlayerNotification::kError, 30); });
    worker.join();
    ASSERT_TRUE(WaitFor([&] { return !reports.boxes.empty(); }));
    EXPECT_EQ(reports.BoxTexts(), std::vector<std::string>{"Playback is canceled due to an error."});
    EXPECT_GE(player.stops, 1);
    EXPECT_TRUE(window.CounterText().isEmpty());
    EXPECT_EQ(window.Picture()->FrontImage().pixel(10, 10), qRgb(0, 0, 0));
}

TEST_F(WindowTest, FailedOpenShowsCannotReadFile) {
    UseScriptedPlayer();
    EXPECT_FALSE(window.OpenPath("/rec/missing.m4f"));
    EXPECT_EQ(reports.BoxTexts(), std::vector<std::string>{"Cannot read file."});
}

TEST_F(WindowTest, AlarmBandsOverThePicture) {
    ScriptedPlayer& player = UseScriptedPlayer(160, 120);
    player.alarm = reeldeck::gui::AlarmBand::kSensorInput;
    ASSERT_TRUE(window.OpenPath("/rec/REC00.jpf"));
    ASSERT_TRUE(WaitFor([&] { return window.Picture()->ShownCount() > 0; }));
    const QImage shown = window.Picture()->FrontImage();
    const QRgb band = shown.pixel(3, 119);
    EXPECT_NE(band, PatternRgb(3, 119));
    EXPECT_EQ(shown.pixel(0, 60), band);                 // the frame
    EXPECT_EQ(shown.pixel(80, 60), PatternRgb(80, 60));  // the picture inside
    // The label is white text over the band, centred.
    int white = 0;
    for (int x = 38; x < 122; ++x) white += shown.pixel(x, 110) == qRgb(255, 255, 255) ? 1 : 0;
    EXPECT_GT(white, 5);
}

}  // namespace
}  // namespace reeldeck_gui_test
