// The motion-detection editor: its layout, frames clamped while dragged with one area command at the end,
// the enable boxes, sliders, meters and "OK".
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "widget/ocuview_widget.h"
#include "widget_support.h"

namespace ocuview {
namespace {

using ocuview_test::RecordingBackend;

PanelFacts MotionFacts() {
    PanelFacts f;
    f.kind = ViewerKind::kMotionDetection;
    f.codec = ImageCodec::kMpeg4;
    f.motionWindows[0] = {true, 220, 160, 420, 320, 50, 60};
    f.motionWindows[1] = {true, 10, 20, 110, 220, 30, 40};
    f.motionWindows[2] = {true, 400, 300, 600, 450, 70, 80};
    return f;
}

struct Editor {
    std::vector<std::string> calls;
    OcuviewWidget widget;
    Editor() {
        widget.SetBackend(std::make_unique<RecordingBackend>(calls));
        widget.ShowCamera(MotionFacts());
        widget.show();
        calls.clear();
    }
    MotionEditor& editor() { return widget.motionEditor(); }
};

TEST(MotionEditorView, LayoutAndFrames) {
    Editor e;
    EXPECT_EQ(e.widget.size(), QSize(750, 520));
    EXPECT_EQ(e.editor().enableBox(2)->geometry(), QRect(650, 250, 100, 15));
    EXPECT_EQ(e.editor().meter(3)->geometry(), QRect(650, 415, 100, 15));
    EXPECT_EQ(e.editor().okButton()->geometry(), QRect(650, 480, 100, 20));
    EXPECT_EQ(e.editor().enableBox(0)->text(), "Window 1");
    // Window 2's area 10, 20, 110, 220 over the picture at 0, 20, with the caption added to its height.
    EXPECT_EQ(e.editor().frame(1)->geometry(), QRect(10, 40, 100, 200 + kMotionFrameOffset));
    EXPECT_TRUE(e.editor().frame(1)->isVisibleTo(&e.widget));
    EXPECT_FALSE(e.editor().frame(3)->isVisibleTo(&e.widget));     // window 4 is off
    EXPECT_FALSE(e.widget.slotWidget(1)->isVisibleTo(&e.widget));  // no ordinary panel
    EXPECT_EQ(e.editor().thresholdSlider(1)->value(), 40);
    EXPECT_EQ(e.editor().sensitivitySlider(1)->value(), 30);
}

TEST(MotionEditorView, DragOutOfThePictureIsClampedAndSendsOneArea) {
    Editor e;
    MotionFrame* frame = e.editor().frame(1);                     // window 2 at 10, 40
    QTest::mousePress(frame, Qt::LeftButton, {}, QPoint(30, 8));  // by the caption
    for (int step = 1; step <= 5; ++step) {
        QMouseEvent move(QEvent::MouseMove, QPointF(30 - 20 * step, 8 - 10 * step),
                         frame->mapToGlobal(QPointF(30 - 20 * step, 8 - 10 * step)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(frame, &move);
    }
    EXPECT_TRUE(e.calls.empty());  // nothing while dragging
    QTest::mouseRelease(frame, Qt::LeftButton, {}, QPoint(30, 8));
    // Pushed left and up past the picture: x at least 1, the top at the picture's top.
    EXPECT_EQ(frame->geometry(), QRect(1, 20, 100, 220));
    EXPECT_EQ(e.calls, (std::vector<std::string>{"motion 2 area on 1,1,101,201 s30 t40"}));
}

TEST(MotionEditorView, BoxesSlidersMetersAndOk) {
    Editor e;
    e.editor().ShowLevels({2500, 700, 900, 300});
    EXPECT_EQ(e.editor().meter(0)->value(), 2000);  // 2500 shows as 2000
    EXPECT_EQ(e.editor().meter(3)->value(), 0);     // window 4 is off
    e.editor().enableBox(2)->setChecked(false);     // window 3 off
    EXPECT_FALSE(e.editor().frame(2)->isVisibleTo(&e.widget));
    EXPECT_EQ(e.editor().meter(2)->value(), 0);
    e.editor().thresholdSlider(0)->setValue(77);
    e.editor().sensitivitySlider(3)->setValue(12);
    QTest::mouseClick(e.editor().okButton(), Qt::LeftButton);
    EXPECT_EQ(e.calls, (std::vector<std::string>{"motion 3 onoff off 400,300,600,450 s70 t80",
                                                 "motion 1 threshold on 220,160,420,320 s50 t77",
                                                 "motion 4 sensitivity off 0,0,0,0 s12 t0", "motion 1 all"}));
    EXPECT_EQ(e.editor().windows()[0].threshold, 77);
}

}  // namespace
}  // namespace ocuview
