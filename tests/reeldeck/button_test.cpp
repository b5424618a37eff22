// The skinned button's faces and its command, driven by real mouse events.
#include <gtest/gtest.h>

#include <QEnterEvent>
#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QWidget>

#include "gui/skin_button.h"
#include "gui/skin_resources.h"

namespace reeldeck::gui {
namespace {

void Mouse(QWidget* w, QEvent::Type type, QPoint at) {
    QMouseEvent event(type, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

TEST(SkinButton, FacesFollowHoverToggleAndEnable) {
    InitSkinResources();
    QWidget parent;
    SkinButton button(40006, ":/skin/button_info.svg", QSize(22, 22), "Information", &parent);
    QSignalSpy commands(&button, &SkinButton::command);
    EXPECT_EQ(button.FaceIndex(), 0);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(&button, &enter);
    EXPECT_EQ(button.FaceIndex(), 1);
    button.SetToggled(true);
    EXPECT_EQ(button.FaceIndex(), 3);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&button, &leave);
    EXPECT_EQ(button.FaceIndex(), 2);

    Mouse(&button, QEvent::MouseButtonPress, {5, 5});
    Mouse(&button, QEvent::MouseButtonRelease, {5, 5});
    ASSERT_EQ(commands.count(), 1);
    EXPECT_EQ(commands.at(0).at(0).toInt(), 40006);
    // Released outside the button: no command.
    Mouse(&button, QEvent::MouseButtonPress, {5, 5});
    Mouse(&button, QEvent::MouseButtonRelease, {40, 5});
    EXPECT_EQ(commands.count(), 1);

    button.setEnabled(false);
    EXPECT_EQ(button.FaceIndex(), 4);
    // The disabled face is drawn: grab it and compare with the normal face's pixels.
    const QImage disabled = button.grab().toImage();
    button.setEnabled(true);
    button.SetToggled(false);
    const QImage normal = button.grab().toImage();
    EXPECT_NE(disabled, normal);
    EXPECT_FALSE(normal.isNull());
}

}  // namespace
}  // namespace reeldeck::gui
