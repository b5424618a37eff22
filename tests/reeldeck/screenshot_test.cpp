// Screenshots of the main window (playing, with the information panel) and of a capture viewer, written
// as PNG files into the build tree (screenshots/, suffixed with the device pixel ratio) and checked for
// the picture really being drawn inside the picture area.
#include <gtest/gtest.h>

#include <QDir>
#include <QPixmap>
#include <QTest>

#include "gui/capture_viewer.h"
#include "gui_test_support.h"

namespace reeldeck_gui_test {
namespace {

QString ShotPath(const QString& name, qreal ratio) {
    const QString dir = QString(QXR_BINARY_DIR) + "/screenshots";
    QDir().mkpath(dir);
    return QString("%1/%2@%3x.png").arg(dir, name).arg(ratio);
}

// The pixel at the centre of logical pixel (x, y) of a grab made at `ratio`.
QRgb At(const QImage& grab, QPoint logical, qreal ratio) {
    return grab.pixel(static_cast<int>((logical.x() + 0.5) * ratio),
                      static_cast<int>((logical.y() + 0.5) * ratio));
}

TEST(Screenshots, MainWindowPlayingAndCaptureViewer) {
    recording_test::ReportRecorder reports;
    reeldeck::gui::MainWindow window;
    auto owned = std::make_unique<ScriptedPlayer>(window, 320, 240);
    ScriptedPlayer& player = *owned;
    window.SetPlayer(std::move(owned));
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ASSERT_TRUE(window.OpenPath("/rec/REC00.m4f"));
    window.Command(reeldeck::gui::cmd::kInformationKey);
    window.Command(reeldeck::gui::cmd::kPlayKey);
    ASSERT_TRUE(WaitFor([&] { return window.CounterText() == "2026/12/10 Thu 14:35:07"; }));
    QCoreApplication::processEvents();

    const QImage shot = window.grab().toImage();
    const qreal ratio = shot.devicePixelRatio();
    ASSERT_TRUE(shot.save(ShotPath("main_window_playing", ratio)));
    const QPoint origin = window.Picture()->geometry().topLeft();
    for (const QPoint p : {QPoint(0, 0), QPoint(319, 239), QPoint(100, 50), QPoint(250, 200)}) {
        EXPECT_EQ(At(shot, origin + p, ratio), PatternRgb(p.x(), p.y())) << p.x() << "," << p.y();
    }

    window.Command(reeldeck::gui::cmd::kCaptureKey);
    ASSERT_EQ(player.captures, 1);
    ASSERT_TRUE(WaitFor([&] { return window.Captures().Viewer(0) != nullptr; }));
    reeldeck::gui::CaptureViewer* viewer = window.Captures().Viewer(0);
    QCoreApplication::processEvents();
    const QImage viewerShot = viewer->grab().toImage();
    ASSERT_TRUE(viewerShot.save(ShotPath("capture_viewer", ratio)));
    // A 320 x 240 picture sits at (24, 22) of the viewer.
    for (const QPoint p : {QPoint(0, 0), QPoint(319, 239), QPoint(160, 120)}) {
        EXPECT_EQ(At(viewerShot, QPoint(24, 22) + p, ratio), PatternRgb(p.x(), p.y()))
            << p.x() << "," << p.y();
    }
    EXPECT_TRUE(reports.boxes.empty());
}

}  // namespace
}  // namespace reeldeck_gui_test
