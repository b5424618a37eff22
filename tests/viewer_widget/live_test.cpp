// The widget on the viewer core against the camera simulator on loopback: pictures drawn into the view and
// through the digital-zoom window, a frame-rate change reconnecting once, capture of the shown picture, two
// controls on two cameras with their own credentials, the motion editor's commands and live meters, and the
// status label for a camera that cannot be reached, refuses the picture request (400, 503) or whose password
// question is cancelled.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPainter>
#include <QTimer>
#include <functional>

#include <QCheckBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include "viewer_test_support.h"
#include "widget/core_backend.h"
#include "widget/ocuview_widget.h"
#include "widget/password_dialog.h"

namespace ocuview {
namespace {

using viewer_test::Camera;
using viewer_test::ScratchDir;

bool WaitUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

std::string Ini() {
    return ScratchDir() + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini";
}

// A widget on `camera` with the core behind it.
struct LiveControl {
    OcuviewWidget widget;
    CoreBackend* backend = nullptr;
    explicit LiveControl(uint16_t port) {
        widget.setProperty("ParamCamAddress", "127.0.0.1");
        widget.setProperty("ParamCamPort", QString::number(port));
        auto b = std::make_unique<CoreBackend>(widget, Ini());
        backend = b.get();
        widget.SetBackend(std::move(b));
        widget.show();
    }
    bool WaitForPictures(uint64_t n, int limitMs = 20000) {
        return WaitUntil([&] { return backend->pictures() >= n && widget.pictureSize().width > 0; }, limitMs);
    }
};

// Picture requests made at `speed`.
int ImageRequests(Camera& camera, const std::string& speed) {
    int n = 0;
    for (const auto& r : camera.sim().state().Requests())
        if (r.path == "/image" && r.target.find("speed=" + speed) != std::string::npos) ++n;
    return n;
}

TEST(LiveControl, PicturesAreDrawnIntoTheView) {
    camsim::Config c;
    c.width = 320;
    c.height = 240;
    Camera camera(c);
    LiveControl live(camera.port());
    live.widget.PrmPlayStart();
    ASSERT_TRUE(live.WaitForPictures(3));
    ASSERT_TRUE(WaitUntil([&] { return live.widget.size() == QSize(560, 360); }, 5000));
    ASSERT_TRUE(WaitUntil([&] { return live.widget.labelText().size() == 23; }, 5000));  // the camera time
    live.widget.PrmPlayStop();
    QApplication::processEvents();
    // The view shows the last decoded picture 1:1 (AUTO view size).
    const QImage shown = live.widget.grab().toImage();
    const QImage decoded = live.widget.currentPicture();
    ASSERT_EQ(decoded.size(), QSize(320, 240));
    const Rect view = live.widget.viewRect();
    int differing = 0;
    for (int y = 0; y < 240; y += 7)
        for (int x = 0; x < 320; x += 7)
            if (shown.pixelColor(view.x + x, view.y + y) != decoded.pixelColor(x, y)) ++differing;
    EXPECT_EQ(differing, 0);

    // A capture holds exactly that picture.
    live.widget.Capture();
    ASSERT_EQ(live.widget.captureDialogCount(), 1);
    EXPECT_EQ(live.widget.captureDialog(0)->picture(), decoded.convertToFormat(QImage::Format_BGR888));
}

// Digital zoom at 50 %, 50 % of a live VGA picture: the view shows the window 452 x 339 at 95, 72 of the
// decoded picture, stretched to 640 x 480.
TEST(LiveControl, DigitalZoomShowsTheWindowOfTheDecodedPicture) {
    Camera camera;  // 640 x 480
    LiveControl live(camera.port());
    live.widget.PrmPlayStart();
    ASSERT_TRUE(live.WaitForPictures(3));
    ASSERT_TRUE(WaitUntil([&] { return live.widget.size() == QSize(880, 600); }, 5000));
    live.widget.PrmExecDZoomControl("PRM_DZOOM_ON", "320", "240");
    ASSERT_TRUE(live.widget.zoomed());
    ASSERT_EQ(live.widget.zoomCentre(), (ZoomCentre{50, 50}));
    const Rect window = ZoomWindow(live.widget.zoomCentre(), live.widget.pictureSize());
    ASSERT_EQ(window, (Rect{95, 72, 452, 339}));
    ASSERT_TRUE(live.WaitForPictures(live.backend->pictures() + 2));  // drawn zoomed
    live.widget.PrmPlayStop();
    QApplication::processEvents();

    const QImage shown = live.widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage decoded = live.widget.currentPicture();
    ASSERT_EQ(decoded.size(), QSize(640, 480));
    // The window drawn the way a picture is stretched: smooth scaling of that part of the decoded picture.
    // (Two pixels off to the side already makes about 2000 of these samples differ.)
    QImage expected(640, 480, QImage::Format_RGB32);
    {
        QPainter p(&expected);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRect(0, 0, 640, 480), decoded, QRect(window.x, window.y, window.width, window.height));
    }
    const Rect view = live.widget.viewRect();
    int differing = 0, unzoomedMatches = 0, samples = 0;
    for (int y = 0; y < 480; y += 9)
        for (int x = 0; x < 640; x += 9) {
            const QColor a = shown.pixelColor(view.x + x, view.y + y), b = expected.pixelColor(x, y);
            if (std::abs(a.red() - b.red()) > 2 || std::abs(a.green() - b.green()) > 2 ||
                std::abs(a.blue() - b.blue()) > 2)
                ++differing;
            unzoomedMatches += a == decoded.pixelColor(x, y);
            ++samples;
        }
    EXPECT_EQ(differing, 0) << "of " << samples;
    EXPECT_LT(unzoomedMatches, samples / 4);  // not the whole picture
}

TEST(LiveControl, FrameRateChangeReconnectsOnce) {
    camsim::Config c;
    c.width = 160;
    c.height = 120;
    c.jpegFrameRate = 15;
    Camera camera(c);
    LiveControl live(camera.port());
    live.widget.PrmPlayStart();
    ASSERT_TRUE(live.WaitForPictures(2));
    auto* rates = static_cast<QComboBox*>(live.widget.slotWidget(1));
    ASSERT_TRUE(WaitUntil([&] { return rates->count() > 0; }, 5000));
    EXPECT_EQ(rates->itemText(0), "15 fps");
    const int index = rates->findText("10 fps");
    ASSERT_GE(index, 0);
    rates->setCurrentIndex(index);
    Q_EMIT rates->activated(index);
    EXPECT_TRUE(WaitUntil([&] { return ImageRequests(camera, "10") >= 1; }, 10000));
    const uint64_t before = live.backend->pictures();
    EXPECT_TRUE(live.WaitForPictures(before + 3));
    // The change took and stuck: no request at the old rate after the first at the new one. (A loaded
    // machine may see the stream reconnect for other reasons, so the count itself is not asserted.)
    bool changed = false;
    for (const auto& r : camera.sim().state().Requests()) {
        if (r.path != "/image") continue;
        if (r.target.find("speed=10") != std::string::npos) changed = true;
        EXPECT_FALSE(changed && r.target.find("speed=15") != std::string::npos) << r.target;
    }
    EXPECT_EQ(live.widget.ParamFrameRate(), "10");
}

// Answers every "Enter Network Password" dialog from a table by realm.
class PasswordAnswerer {
  public:
    explicit PasswordAnswerer(std::map<QString, std::pair<QString, QString>> answers)
        : answers_(std::move(answers)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<PasswordDialog*>(w);
                if (!dialog || !dialog->isVisible()) continue;
                const QString realm = dialog->findChild<QLineEdit*>("realm")->text();
                realms.push_back(realm);
                const auto& [user, password] = answers_.at(realm);
                dialog->findChild<QLineEdit*>("user")->setText(user);
                dialog->findChild<QLineEdit*>("password")->setText(password);
                dialog->accept();
            }
        });
        timer_.start(20);
    }
    std::vector<QString> realms;

  private:
    std::map<QString, std::pair<QString, QString>> answers_;
    QTimer timer_;
};

TEST(LiveControl, TwoControlsOnTwoCamerasWithTheirOwnCredentials) {
    camsim::Config a, b;
    a.width = b.width = 160;
    a.height = b.height = 120;
    a.user = "alice";
    a.password = "first";
    a.realm = "Camera A";
    b.user = "bob";
    b.password = "second";
    b.realm = "Camera B";
    Camera cameraA(a), cameraB(b);
    PasswordAnswerer answerer({{"Camera A", {"alice", "first"}}, {"Camera B", {"bob", "second"}}});
    LiveControl liveA(cameraA.port()), liveB(cameraB.port());
    liveA.widget.PrmPlayStart();
    liveB.widget.PrmPlayStart();
    EXPECT_TRUE(liveA.WaitForPictures(3));
    EXPECT_TRUE(liveB.WaitForPictures(3));
    // Each camera let its own user in; each control asked for its own realm.
    for (Camera* camera : {&cameraA, &cameraB}) {
        int authorizedImages = 0;
        for (const auto& r : camera->sim().state().Requests())
            if (r.path == "/image" && r.authorized) ++authorizedImages;
        EXPECT_GE(authorizedImages, 1);
    }
    EXPECT_GE(std::count(answerer.realms.begin(), answerer.realms.end(), "Camera A"), 1);
    EXPECT_GE(std::count(answerer.realms.begin(), answerer.realms.end(), "Camera B"), 1);
}

TEST(LiveControl, MotionEditorCommandsReachTheCamera) {
    // The camera allows the editor when it streams MPEG-4 with area selection off.
    camsim::Config c;
    c.codec = "mpeg4";
    c.areaSelect = false;
    c.mpeg4File = viewer_test::Mpeg4File(640, 480);
    if (c.mpeg4File.empty()) GTEST_SKIP() << "FFmpeg could not make the MPEG-4 clip";
    Camera camera(c);
    LiveControl live(camera.port());
    live.widget.setProperty("SetInitialMode", "MotionDetect");
    live.widget.PrmPlayStart();
    ASSERT_TRUE(WaitUntil([&] { return live.widget.kind() == ViewerKind::kMotionDetection; }, 20000));
    MotionEditor& editor = live.widget.motionEditor();
    // The simulator's window 1 watches 220, 160 - 420, 320.
    EXPECT_EQ(editor.windows()[0].left, 220);
    EXPECT_TRUE(editor.frame(0)->isVisibleTo(&live.widget));
    // Its level (100 to 1100) reaches window 1's meter from the motion data; window 4 is off and shows 0.
    EXPECT_TRUE(WaitUntil([&] { return editor.meter(0)->value() >= 100; }, 10000));
    EXPECT_LE(editor.meter(0)->value(), 1100);
    EXPECT_EQ(editor.meter(3)->value(), 0);
    editor.okButton()->click();
    const auto sent = [&](const std::string& prefix) {
        for (const auto& command : camera.sim().state().Commands())
            if (command.cgi == "motiondetection" && command.body.rfind(prefix, 0) == 0) return true;
        return false;
    };
    EXPECT_TRUE(WaitUntil([&] { return sent("mdwin1area=220,160,420,320&"); }, 10000));
    editor.enableBox(2)->setChecked(true);
    EXPECT_TRUE(WaitUntil([&] { return sent("mdtwin3=on"); }, 10000));
    live.widget.PrmPlayStop();
}

// "Select TCP/UDP" on an MPEG-4 camera: OK with UDP unicast restarts the viewer, which asks for the RTP
// stream; the view size stays.
TEST(LiveControl, TransmissionDialogRestartsOverUdp) {
    camsim::Config c;
    c.codec = "mpeg4";
    c.mpeg4File = viewer_test::Mpeg4File(320, 240);
    if (c.mpeg4File.empty()) GTEST_SKIP() << "FFmpeg could not make the MPEG-4 clip";
    c.width = 320;
    c.height = 240;
    Camera camera(c);
    LiveControl live(camera.port());
    live.widget.PrmPlayStart();
    ASSERT_TRUE(live.WaitForPictures(3));
    EXPECT_EQ(live.widget.PrmGetControlParam("PRM_PARAM_STREAMMODE"), "PRM_MODE_TCPUNICAST");
    const Size view = live.widget.viewSize();
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        for (QRadioButton* r : d->findChildren<QRadioButton*>())
            if (r->text() == "UDP" || r->text() == "Unicast") r->setChecked(true);
        d->accept();
    });
    live.widget.OpenTransmissionDialog();
    const auto udpAsked = [&] {
        for (const auto& r : camera.sim().state().Requests())
            if (r.target.find("UdpMode=unicast") != std::string::npos) return true;
        return false;
    };
    EXPECT_TRUE(WaitUntil(udpAsked, 20000));
    EXPECT_TRUE(WaitUntil(
        [&] { return live.widget.PrmGetControlParam("PRM_PARAM_STREAMMODE") == "PRM_MODE_UDPUNICAST"; },
        20000));
    const uint64_t before = live.backend->pictures();
    EXPECT_TRUE(live.WaitForPictures(before + 3));
    EXPECT_EQ(live.widget.viewSize(), view);
}

// Stopping while "Enter Network Password" is open gives up the question instead of waiting on each other.
TEST(LiveControl, StopWhileThePasswordDialogIsOpen) {
    camsim::Config c;
    c.user = "admin";
    c.password = "secret";
    Camera camera(c);
    LiveControl live(camera.port());
    live.widget.PrmPlayStart();
    const auto openDialog = [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<PasswordDialog*>(w); d && d->isVisible()) return d;
        return static_cast<PasswordDialog*>(nullptr);
    };
    // Stop from inside the dialog's own event loop, as a user closing the control would.
    bool stopped = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (stopped || openDialog() == nullptr) return;
        stopped = true;
        live.widget.PrmPlayStop();
    });
    poll.start(20);
    ASSERT_TRUE(WaitUntil([&] { return stopped; }, 30000));
    EXPECT_TRUE(WaitUntil([&] { return openDialog() == nullptr; }, 5000));
    EXPECT_FALSE(live.widget.model().playing());
}

TEST(LiveControl, UnreachableCameraEndsInTheStatusText) {
    // A port nobody listens on: a simulator started and stopped again leaves one free.
    uint16_t port = 0;
    {
        Camera gone;
        port = gone.port();
    }
    LiveControl live(port);
    live.widget.PrmPlayStart();
    EXPECT_TRUE(WaitUntil([&] { return !live.widget.model().playing(); }, 60000));
    EXPECT_EQ(live.widget.labelText(), "Can not connect.");
    EXPECT_EQ(live.widget.slotWidget(20)->pos(), QPoint(20, 20));
}

// A camera refusing the picture request, or a Cancel on its password question, ends playing with the
// status text in the label, without a hang while the core stops its threads.
struct StatusCase {
    const char* name;
    const char* fault;  // simulator fault; empty: a protected camera whose question is cancelled
    const char* text;
};

class LiveStatus : public ::testing::TestWithParam<StatusCase> {};

TEST_P(LiveStatus, EndsWithTheStatusText) {
    const StatusCase& sc = GetParam();
    camsim::Config c;
    c.width = 160;
    c.height = 120;
    if (*sc.fault != '\0') {
        ASSERT_EQ(camsim::ApplyFaultSpec(c, sc.fault), "");
    } else {
        c.user = "admin";
        c.password = "secret";
    }
    Camera camera(c);
    LiveControl live(camera.port());
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<PasswordDialog*>(w); d && d->isVisible()) d->reject();
    });
    cancel.start(20);
    live.widget.PrmPlayStart();
    EXPECT_TRUE(WaitUntil([&] { return !live.widget.model().playing(); }, 20000));
    // A narrow control shows the short form of "Protected Object. This object is protected."
    EXPECT_TRUE(live.widget.labelText().startsWith(sc.text)) << live.widget.labelText().toStdString();
    live.widget.PrmPlayStop();
}

INSTANTIATE_TEST_SUITE_P(Camera, LiveStatus,
                         ::testing::Values(StatusCase{"bad_request", "image:status=400", "Bad request."},
                                           StatusCase{"unavailable", "image:status=503",
                                                      "Service unavailable."},
                                           StatusCase{"cancelled", "", "Protected Object."}),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace ocuview
