// Captures into viewers, the viewer image, its placement, Save (checked with djpeg and ImageMagick as
// outside readers) and Cancel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <cstdio>
#include <cstdlib>

#include "gui/capture_viewer.h"
#include "gui/skin_button.h"
#include "gui_test_support.h"

namespace reeldeck_gui_test {
namespace {

using reeldeck::gui::CaptureViewer;
using reeldeck::gui::MainWindow;

// Decodes `path` to binary PPM with `command` ("djpeg" or "convert ... ppm:-") and returns the pixels
// as an image (null when the tool is missing or fails).
QImage DecodeWith(const std::string& command) {
    std::FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return {};
    std::string bytes;
    char chunk[65536];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) bytes.append(chunk, got);
    if (::pclose(pipe) != 0) return {};
    QImage image;
    image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()), "PPM");
    return image;
}

bool HaveTool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

class CaptureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto owned = std::make_unique<ScriptedPlayer>(window, 64, 48);
        player = owned.get();
        window.SetPlayer(std::move(owned));
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        ASSERT_TRUE(window.OpenPath("/rec/REC00.jpf"));
    }
    // A new viewer takes the focus; the function keys belong to the main window.
    void PressF5() {
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        QCoreApplication::processEvents();  // the focus change that follows the activation
        QTest::keyClick(&window, Qt::Key_F5);
    }
    CaptureViewer* CaptureOne() {
        const int before = window.Captures().OpenViewers();
        PressF5();
        if (!WaitFor([&] { return window.Captures().OpenViewers() == before + 1; })) return nullptr;
        return window.Captures().Viewer(before);
    }

    recording_test::ReportRecorder reports;
    recording_test::ScratchDir scratch;
    MainWindow window;
    ScriptedPlayer* player = nullptr;
};

TEST_F(CaptureTest, ViewerShowsTheFramedPicture) {
    CaptureViewer* viewer = CaptureOne();
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->windowTitle(), "Capture");
    EXPECT_EQ(viewer->size(), QSize(160, 200));
    const QImage& image = viewer->Image();
    EXPECT_EQ(image.pixel(48, 58), PatternRgb(0, 0));
    EXPECT_EQ(image.pixel(48 + 63, 58 + 47), PatternRgb(63, 47));
    EXPECT_EQ(image.pixel(48 - 3, 58), qRgb(255, 255, 255));  // the white mat
    EXPECT_EQ(image.pixel(48 - 8, 58), qRgb(0, 0, 0));        // its black outline
    // Save at ((160 - 122) / 2, 200 - 36), Cancel 65 pixels to its right, both 57 x 22.
    EXPECT_EQ(viewer->SaveButton()->geometry(), QRect(19, 164, 57, 22));
    EXPECT_EQ(viewer->CancelButton()->geometry(), QRect(84, 164, 57, 22));
    EXPECT_EQ(viewer->SaveButton()->toolTip(), "Save");
    EXPECT_EQ(viewer->parentWidget(), &window);
}

TEST_F(CaptureTest, SeventeenthCaptureReports64AndCancelFreesASlot) {
    for (int i = 0; i < 16; ++i) ASSERT_NE(CaptureOne(), nullptr) << i;
    EXPECT_EQ(window.Captures().Viewer(15)->pos() - window.Captures().Viewer(0)->pos(), QPoint(240, 240))
        << "staircase of 16-pixel steps on a tall screen";
    PressF5();
    ASSERT_TRUE(WaitFor([&] { return !reports.boxes.empty(); }));
    EXPECT_EQ(reports.BoxTexts(), std::vector<std::string>{"Cannot capture any more images."});
    EXPECT_EQ(window.Captures().OpenViewers(), 16);
    EXPECT_EQ(player->captures, 17);

    // Cancel on viewer 3 frees slot 3, which the next capture takes.
    QTest::mouseClick(window.Captures().Viewer(3)->CancelButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return window.Captures().Viewer(3) == nullptr; }));
    EXPECT_EQ(window.Captures().OpenViewers(), 15);
    window.Command(reeldeck::gui::cmd::kCaptureKey);
    ASSERT_TRUE(WaitFor([&] { return window.Captures().Viewer(3) != nullptr; }));
}

TEST_F(CaptureTest, ClosingTheLastViewerReturnsTheFocus) {
    CaptureViewer* viewer = CaptureOne();
    ASSERT_NE(viewer, nullptr);
    viewer->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(viewer));
    viewer->close();
    ASSERT_TRUE(WaitFor([&] { return window.Captures().OpenViewers() == 0; }));
    EXPECT_TRUE(WaitFor([&] { return QApplication::activeWindow() == &window; }));
}

TEST_F(CaptureTest, SavesDecodeToTheCapturedPicture) {
    CaptureViewer* viewer = CaptureOne();
    ASSERT_NE(viewer, nullptr);
    QString proposed;
    window.Captures().SetSaveDialog([&](QWidget*, const QString& name) {
        proposed = name;
        return QString::fromStdString(scratch / (name.toStdString() + ".bmp"));
    });
    QTest::mouseClick(viewer->SaveButton(), Qt::LeftButton);
    EXPECT_EQ(proposed, "20261210_143507");
    const std::string bmp = scratch / "20261210_143507.bmp";
    const std::string jpg = scratch / "capture.jpg";
    viewer->SaveTo(QString::fromStdString(jpg));
    EXPECT_TRUE(reports.boxes.empty());
    EXPECT_TRUE(viewer->isVisible()) << "the viewer stays open after saving";

    if (!HaveTool("convert") || !HaveTool("djpeg")) GTEST_SKIP() << "ImageMagick or djpeg missing";
    const QImage fromBmp = DecodeWith("convert '" + bmp + "' ppm:-");
    ASSERT_EQ(fromBmp.size(), QSize(64, 48));
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(fromBmp.pixel(x, y) | 0xFF000000u, PatternRgb(x, y)) << x << "," << y;
    }
    const QImage fromJpg = DecodeWith("djpeg -pnm '" + jpg + "'");
    ASSERT_EQ(fromJpg.size(), QSize(64, 48));
    // Quality 75 with 4:2:0 chroma: close to the picture, not equal.
    double error = 0;
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            const QRgb a = fromJpg.pixel(x, y);
            const QRgb b = PatternRgb(x, y);
            error +=
                std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
        }
    }
    EXPECT_LT(error / (64 * 48 * 3), 6.0);
}

TEST_F(CaptureTest, SaveFailuresReportTheirMessages) {
    CaptureViewer* viewer = CaptureOne();
    ASSERT_NE(viewer, nullptr);
    const std::string nowhere = scratch / "no/such/dir";
    viewer->SaveTo(QString::fromStdString(scratch / "upper.BMP"));
    viewer->SaveTo(QString::fromStdString(scratch / "noextension"));
    viewer->SaveTo(QString::fromStdString(nowhere + "/a.bmp"));
    viewer->SaveTo(QString::fromStdString(nowhere + "/a.jpg"));
    EXPECT_EQ(reports.BoxTexts(),
              (std::vector<std::string>{"Specified file format is not supported.",
                                        "Specified file format is not supported.",
                                        "Cannot create bitmap file.", "Cannot create JPEG file."}));
    EXPECT_FALSE(std::filesystem::exists(scratch / "upper.BMP"));
}

}  // namespace
}  // namespace reeldeck_gui_test
