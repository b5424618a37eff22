// The widget: its properties and methods through the meta-object system, the panel for each kind, view
// size and codec, drawing with stretch and digital zoom, volume, mute, capture and the status label.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>
#include <set>

#include "control/control_model.h"
#include "widget/capture_dialog.h"
#include "widget/ocuview_widget.h"
#include "widget/volume_slider.h"
#include "widget_support.h"

namespace ocuview {
namespace {

using ocuview_test::FullJpegFacts;
using ocuview_test::RecordingBackend;

TEST(OcuviewWidget, PropertiesAndMethodsInScriptingOrder) {
    const QMetaObject& meta = OcuviewWidget::staticMetaObject;
    const int first = meta.propertyOffset();
    ASSERT_EQ(meta.propertyCount() - first, kPropertyCount);
    for (int i = 0; i < kPropertyCount; ++i) {
        const QMetaProperty p = meta.property(first + i);
        EXPECT_EQ(std::string(p.name()), kPropertyNames[static_cast<std::size_t>(i)]);
        EXPECT_EQ(p.metaType().id(), QMetaType::QString);
        EXPECT_TRUE(p.isWritable());
    }
    std::vector<std::string> invokables;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
        if (meta.method(i).methodType() == QMetaMethod::Method)
            invokables.emplace_back(meta.method(i).name().toStdString());
    ASSERT_EQ(invokables.size(), kMethodNames.size());
    for (std::size_t i = 0; i < invokables.size(); ++i) EXPECT_EQ(invokables[i], kMethodNames[i]);
}

// A property or method rule per row, all through QObject::setProperty / QMetaObject::invokeMethod.
TEST(OcuviewWidget, RulesThroughTheMetaObjectSystem) {
    const struct {
        const char* property;
        const char* value;
        const char* getter;  // a PrmGet... call and its argument
        const char* getArg;
        const char* expected;
    } cases[] = {
        {"ParamCamAddress", "10.0.0.7", "PrmGetNetworkParam", "PRM_NETWORK_IPADDR", "10.0.0.7"},
        {"ParamCamPort", "8080", "PrmGetNetworkParam", "PRM_NETWORK_PORT", "8080"},
        {"ParamViewMode", "000000C1", "PrmGetControlParam", "PRM_PARAM_VIEWMODE", "000000C1"},
        {"ParamViewMode", "0000001", "PrmGetControlParam", "PRM_PARAM_VIEWMODE", ""},
        {"ParamStreamMode", "PRM_MODE_UDPUNICAST", "PrmGetControlParam", "PRM_PARAM_STREAMMODE",
         "PRM_MODE_UDPUNICAST"},
        {"ParamColorCtrlBack", "ff0000", "PrmGetControlColor", "PRM_COLOR_CTRLBACK", "FF0000"},
        {"ParamColorPictFrame", "12345", "PrmGetControlColor", "PRM_COLOR_PICTFRAME", "505050"},
        {"ParamColorDateFore", "0a0B0c", "PrmGetControlColor", "PRM_COLOR_DATEFORE", "0A0B0C"},
        {"ParamColorCtrlFore", "000000", "PrmGetControlColor", "PRM_COLOR_CTRLFORE", "000000"},
        {"ParamFrameRate", "31", "PrmGetControlParam", "PRM_PARAM_FRAMERATE", ""},
        {"ParamFrameRate", "7", "PrmGetControlParam", "PRM_PARAM_FRAMERATE", "7"},
        {"ParamViewSize", "PRM_VIEWSIZE_QVGA", "PrmGetControlParam", "PRM_PARAM_VIEWSIZE",
         "PRM_VIEWSIZE_QVGA"},
        {"ParamVolume", "101", "PrmGetControlParam", "PRM_PARAM_VOLUME", "100"},
        {"ParamMute", "PRM_MUTE_ON", "PrmGetControlParam", "PRM_PARAM_MUTE", "PRM_MUTE_ON"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.property) + "=" + c.value);
        OcuviewWidget w;
        ASSERT_TRUE(w.setProperty(c.property, QString::fromLatin1(c.value)));
        QString got;
        ASSERT_TRUE(QMetaObject::invokeMethod(&w, c.getter, Q_RETURN_ARG(QString, got),
                                              Q_ARG(QString, QString::fromLatin1(c.getArg))));
        EXPECT_EQ(got.toStdString(), c.expected);
    }
    OcuviewWidget w;
    QString width, height, version, name;
    ASSERT_TRUE(QMetaObject::invokeMethod(&w, "PrmCalcModuleWidth", Q_RETURN_ARG(QString, width),
                                          Q_ARG(QString, "PRM_VIEWMODE_LIGHT"),
                                          Q_ARG(QString, "PRM_VIEWSIZE_QQVGA")));
    ASSERT_TRUE(QMetaObject::invokeMethod(&w, "PrmCalcModuleHeight", Q_RETURN_ARG(QString, height),
                                          Q_ARG(QString, "PRM_VIEWMODE_LIGHT"),
                                          Q_ARG(QString, "PRM_VIEWSIZE_QQVGA")));
    ASSERT_TRUE(QMetaObject::invokeMethod(&w, "PrmGetVersion", Q_RETURN_ARG(QString, version)));
    ASSERT_TRUE(QMetaObject::invokeMethod(&w, "PrmGetModuleName", Q_RETURN_ARG(QString, name)));
    EXPECT_EQ(width, "400");
    EXPECT_EQ(height, "240");
    EXPECT_EQ(version.size(), 8);
    EXPECT_EQ(name, "Ocuview");
}

std::set<int> VisibleSlots(const OcuviewWidget& w) {
    std::set<int> visible;
    for (int s = 0; s < kSlotCount; ++s)
        if (QWidget* child = w.slotWidget(s); child && child->isVisibleTo(&w)) visible.insert(s);
    return visible;
}

// Control size and visible slots for each kind x view size x codec.
TEST(OcuviewWidget, PanelForEachKindSizeAndCodec) {
    const std::set<int> fullMpeg4 = {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 18, 20};
    const std::set<int> fullJpeg = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 18, 20};
    const std::set<int> light = {2, 3, 4, 5, 6, 7, 12, 18, 20};
    const std::set<int> view = {12, 18, 20};
    const struct {
        ViewerKind kind;
        const char* size;
        QSize control;
        std::set<int> visibleMpeg4, visibleJpeg;
    } cases[] = {
        {ViewerKind::kFull, "PRM_VIEWSIZE_VGA", {880, 600}, fullMpeg4, fullJpeg},
        {ViewerKind::kFull, "PRM_VIEWSIZE_QVGA", {560, 360}, fullMpeg4, fullJpeg},
        {ViewerKind::kFull, "PRM_VIEWSIZE_QQVGA", {400, 310}, fullMpeg4, fullJpeg},
        {ViewerKind::kLight, "PRM_VIEWSIZE_VGA", {880, 600}, light, light},
        {ViewerKind::kLight, "PRM_VIEWSIZE_QVGA", {560, 360}, light, light},
        {ViewerKind::kLight, "PRM_VIEWSIZE_QQVGA", {400, 310}, light, light},
        {ViewerKind::kView, "PRM_VIEWSIZE_VGA", {700, 600}, view, view},
        {ViewerKind::kView, "PRM_VIEWSIZE_QVGA", {380, 360}, view, view},
        {ViewerKind::kView, "PRM_VIEWSIZE_QQVGA", {220, 240}, view, view},
        {ViewerKind::kViewOnly, "PRM_VIEWSIZE_VGA", {640, 480}, {}, {}},
        {ViewerKind::kViewOnly, "PRM_VIEWSIZE_QVGA", {320, 240}, {}, {}},
        {ViewerKind::kViewOnly, "PRM_VIEWSIZE_QQVGA", {160, 120}, {}, {}},
    };
    for (const auto& c : cases) {
        for (ImageCodec codec : {ImageCodec::kMpeg4, ImageCodec::kMotionJpeg}) {
            SCOPED_TRACE(std::string(c.size) + " kind " + std::to_string(static_cast<int>(c.kind)) +
                         " codec " + std::to_string(static_cast<int>(codec)));
            OcuviewWidget w;
            w.setProperty("ParamViewSize", c.size);
            PanelFacts facts = FullJpegFacts();
            facts.kind = c.kind;
            facts.codec = codec;
            w.ShowCamera(facts);
            EXPECT_EQ(w.size(), c.control);
            EXPECT_EQ(VisibleSlots(w), codec == ImageCodec::kMpeg4 ? c.visibleMpeg4 : c.visibleJpeg);
        }
    }
    // Bit 26 clear: no volume slider and no mute button.
    OcuviewWidget w;
    PanelFacts facts = FullJpegFacts();
    facts.viewerMode &= ~(1u << 26);
    w.ShowCamera(facts);
    EXPECT_EQ(VisibleSlots(w), (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 20}));
}

// Grabs the widget and returns the colour at a point of the control.
QColor PixelAt(OcuviewWidget& w, int x, int y) {
    return w.grab().toImage().pixelColor(x, y);
}

void ExpectNear(const QColor& got, int b, int g, int r, int tolerance) {
    EXPECT_NEAR(got.blue(), b, tolerance);
    EXPECT_NEAR(got.green(), g, tolerance);
    EXPECT_NEAR(got.red(), r, tolerance);
}

TEST(OcuviewWidget, DrawsPicturesStretchedAndZoomed) {
    OcuviewWidget w;
    w.ShowCamera(FullJpegFacts());
    int stride = 0;
    const std::vector<uint8_t> picture = ocuview_test::CoordinatePicture(640, 480, &stride);
    w.PresentPicture(picture.data(), 640, 480, stride);
    QApplication::processEvents();
    ASSERT_EQ(w.size(), QSize(880, 600));  // AUTO view follows the VGA picture
    const Rect view = w.viewRect();
    EXPECT_EQ(view, (Rect{210, 50, 640, 480}));
    ExpectNear(PixelAt(w, view.x + 300, view.y + 200), 100, 100, 200, 1);

    // A QVGA view shows the whole picture at half size.
    w.setProperty("ParamViewSize", "PRM_VIEWSIZE_QVGA");
    w.PrmPlayStart();
    w.PrmSetControlParam("PRM_PARAM_VIEWSIZE", "PRM_VIEWSIZE_QVGA");
    ASSERT_EQ(w.size(), QSize(560, 360));
    ExpectNear(PixelAt(w, w.viewRect().x + 150, w.viewRect().y + 100), 100, 100, 200, 3);

    // Zoom at the centre of a VGA view: the window 452 x 339 at 95, 72 fills the view.
    w.PrmSetControlParam("PRM_PARAM_VIEWSIZE", "PRM_VIEWSIZE_VGA");
    w.PrmExecDZoomControl("PRM_DZOOM_ON", "320", "240");
    ASSERT_TRUE(w.zoomed());
    EXPECT_EQ(w.zoomCentre(), (ZoomCentre{50, 50}));
    EXPECT_EQ(ZoomWindow(w.zoomCentre(), w.pictureSize()), (Rect{95, 72, 452, 339}));
    const Rect zoomed = w.viewRect();
    ExpectNear(PixelAt(w, zoomed.x, zoomed.y), 95 / 3, 72 / 2, 200, 2);
    ExpectNear(PixelAt(w, zoomed.x + 639, zoomed.y + 479), (95 + 451) / 3, (72 + 338) / 2, 200, 2);
    EXPECT_FALSE(w.slotWidget(4)->isVisibleTo(&w));
    EXPECT_TRUE(w.slotWidget(17)->isVisibleTo(&w));
    w.PrmExecDZoomControl("PRM_DZOOM_OFF", "", "");
    EXPECT_FALSE(w.zoomed());
    EXPECT_TRUE(w.slotWidget(4)->isVisibleTo(&w));
}

TEST(OcuviewWidget, ZoomPickByClick) {
    OcuviewWidget w;
    w.ShowCamera(FullJpegFacts());
    int stride = 0;
    const std::vector<uint8_t> picture = ocuview_test::CoordinatePicture(640, 480, &stride);
    w.PresentPicture(picture.data(), 640, 480, stride);
    QApplication::processEvents();
    w.show();
    QTest::mouseClick(static_cast<QToolButton*>(w.slotWidget(4)), Qt::LeftButton);
    ASSERT_TRUE(w.zoomPicking());
    QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(210, 300));  // exactly on the left edge
    EXPECT_FALSE(w.zoomPicking());
    EXPECT_FALSE(w.zoomed());
    w.BeginZoomPick();
    QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(215, 55));
    EXPECT_TRUE(w.zoomed());
    EXPECT_EQ(w.zoomCentre(), (ZoomCentre{35, 35}));
}

TEST(OcuviewWidget, VolumeMuteFrameRateAndTrigger) {
    std::vector<std::string> calls;
    OcuviewWidget w;
    w.SetBackend(std::make_unique<RecordingBackend>(calls));
    w.ShowCamera(FullJpegFacts());
    w.show();
    calls.clear();
    auto* slider = static_cast<VolumeSlider*>(w.slotWidget(18));
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(41 + 3, 10));  // knob at 41
    EXPECT_EQ(w.knob(), 41);
    EXPECT_EQ(w.ParamVolume(), "50");
    QTest::mouseClick(static_cast<QToolButton*>(w.slotWidget(12)), Qt::LeftButton);
    EXPECT_EQ(w.ParamMute(), "PRM_MUTE_ON");
    EXPECT_FALSE(w.slotWidget(12)->isVisibleTo(&w));
    EXPECT_TRUE(w.slotWidget(13)->isVisibleTo(&w));
    QTest::mouseClick(static_cast<QToolButton*>(w.slotWidget(13)), Qt::LeftButton);
    EXPECT_EQ(w.ParamMute(), "PRM_MUTE_OFF");

    auto* rates = static_cast<QComboBox*>(w.slotWidget(1));
    EXPECT_EQ(rates->currentText(), "15 fps");
    rates->setCurrentIndex(1);
    Q_EMIT rates->activated(1);
    EXPECT_EQ(w.ParamFrameRate(), "10");

    auto* triggers = static_cast<QComboBox*>(w.slotWidget(9));
    triggers->setCurrentIndex(1);
    QTest::mouseClick(static_cast<QToolButton*>(w.slotWidget(8)), Qt::LeftButton);
    w.PrmPlayStart();
    w.PrmExecTriggerControl("PRM_TRIGGER_SMTP");
    w.PrmExecTriggerControl("PRM_TRIGGER_ALARM");  // not offered by this camera
    EXPECT_EQ(calls, (std::vector<std::string>{"volume 50", "mute", "unmute", "rate 10", "trigger FTP",
                                               "start", "trigger e-Mail"}));
    // A volume set by a method places the knob at 0.82 x volume.
    w.PrmSetControlParam("PRM_PARAM_VOLUME", "100");
    EXPECT_EQ(w.knob(), 82);
}

// The Record toggle shows what the viewer does: it asks the backend and follows its answer.
TEST(OcuviewWidget, RecordToggleFollowsTheViewer) {
    std::vector<std::string> calls;
    OcuviewWidget w;
    w.SetBackend(std::make_unique<RecordingBackend>(calls));
    w.ShowCamera(FullJpegFacts());
    w.show();
    calls.clear();
    QToolButton* record = w.recordButton();
    ASSERT_TRUE(record->isVisibleTo(&w));
    // Under the picture at its right edge, clear of the volume slider.
    EXPECT_EQ(record->geometry(), QRect(850 - 38, w.slotWidget(12)->y(), 38, 31));
    EXPECT_FALSE(record->geometry().intersects(w.slotWidget(18)->geometry()));

    w.SetRecordDirectory("/records");
    QTest::mouseClick(record, Qt::LeftButton);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(QString::fromStdString(calls[0]).contains(
        QRegularExpression("^record /records/ocuview_\\d{8}_\\d{6}_00$")))
        << calls[0];
    EXPECT_FALSE(record->isChecked());  // no answer yet
    w.RecordingRefused("/records: no such directory");
    EXPECT_FALSE(record->isChecked());
    EXPECT_EQ(w.recordingState(), "refused: /records: no such directory");

    w.StartRecording("/tmp/cam.jpf");
    w.RecordingStarted("/tmp/cam00.jpf");
    EXPECT_TRUE(record->isChecked());
    EXPECT_TRUE(w.recording());
    EXPECT_EQ(w.recordingState(), "on /tmp/cam00.jpf");
    QTest::mouseClick(record, Qt::LeftButton);
    EXPECT_TRUE(record->isChecked());  // until the files are in place
    RecordingSummary summary;
    summary.paths = {"/tmp/cam00.jpf"};
    summary.picturesWritten = 42;
    summary.audioBytesWritten = 11264;
    w.RecordingEnded(summary);
    EXPECT_FALSE(record->isChecked());
    EXPECT_FALSE(w.recording());
    EXPECT_EQ(w.recordingState(), "ended /tmp/cam00.jpf: 42 pictures, 11264 bytes of audio");
    EXPECT_EQ(calls, (std::vector<std::string>{calls[0], "record /tmp/cam.jpf", "stop recording"}));

    w.ShowStatusText("Can not connect.");
    EXPECT_FALSE(record->isVisibleTo(&w));
}

TEST(OcuviewWidget, CaptureDialogsUpToTen) {
    OcuviewWidget w;
    w.ShowCamera(FullJpegFacts());
    w.Capture();  // nothing on screen yet
    EXPECT_EQ(w.captureDialogCount(), 0);
    int stride = 0;
    const std::vector<uint8_t> picture = ocuview_test::CoordinatePicture(320, 240, &stride);
    w.PresentPicture(picture.data(), 320, 240, stride);
    QApplication::processEvents();
    for (int i = 0; i < 11; ++i) w.Capture();
    EXPECT_EQ(w.captureDialogCount(), OcuviewWidget::kMaxCaptureDialogs);
    CaptureDialog* third = w.captureDialog(2);
    ASSERT_NE(third, nullptr);
    EXPECT_FALSE(third->isModal());
    EXPECT_EQ(third->windowTitle(), "Capture");
    EXPECT_EQ(third->picture().pixelColor(30, 40), QColor(200, 20, 10));
    third->close();
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(w.captureDialogCount(), 9);
    w.Capture();  // takes the free place
    EXPECT_NE(w.captureDialog(2), nullptr);
    EXPECT_EQ(w.captureDialogCount(), 10);
}

TEST(OcuviewWidget, StatusLabelAndOverlay) {
    OcuviewWidget w;
    w.ShowCamera(FullJpegFacts());
    w.ShowOverlayText("2026/12/10 14:31:52.120");
    EXPECT_EQ(w.labelText(), "2026/12/10 14:31:52.120");
    EXPECT_EQ(w.slotWidget(20)->geometry().topLeft(), QPoint(210, 30));
    w.ShowStatusText("Can not connect.");
    EXPECT_EQ(w.labelText(), "Can not connect.");
    EXPECT_EQ(w.slotWidget(20)->geometry().topLeft(), QPoint(20, 20));
    EXPECT_EQ(VisibleSlots(w), (std::set<int>{20}));
    w.ShowOverlayText("2026/12/10 14:31:53.120");  // the status stays
    EXPECT_EQ(w.labelText(), "Can not connect.");
}

TEST(OcuviewWidget, TwoWidgetsAreIndependent) {
    OcuviewWidget a, b;
    a.setProperty("ParamCamAddress", "127.0.0.1");
    a.PrmSetControlColor("PRM_COLOR_CTRLBACK", "ff0000");
    a.ShowCamera(FullJpegFacts());
    EXPECT_EQ(b.PrmGetNetworkParam("PRM_NETWORK_IPADDR"), "");
    EXPECT_EQ(b.PrmGetControlColor("PRM_COLOR_CTRLBACK"), "60B84F");
    EXPECT_EQ(b.size(), QSize(180, 300));
}

}  // namespace
}  // namespace ocuview
