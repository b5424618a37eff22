#include "gui/skin_button.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>

namespace reeldeck::gui {

namespace {
constexpr int kFaceCount = 5;  // normal, hovered, toggled, toggled + hovered, disabled
}

SkinButton::SkinButton(int id, const QString& strip, QSize size, const QString& tip, QWidget* parent)
    : QWidget(parent), id_(id), stripPath_(strip) {
    setFixedSize(size);
    setToolTip(tip);
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
}

void SkinButton::SetToggled(bool toggled) {
    if (toggled_ == toggled) return;
    toggled_ = toggled;
    update();
}

int SkinButton::FaceIndex() const {
    if (!isEnabled()) return kFaceCount - 1;
    if (pressed_) return toggled_ ? 3 : 1;
    return (toggled_ ? 2 : 0) + (hovered_ ? 1 : 0);
}

const QPixmap& SkinButton::StripForScreen() {
    const qreal ratio = devicePixelRatioF();
    if (strip_.isNull() || stripRatio_ != ratio) {
        QSvgRenderer renderer(stripPath_);
        const QSize logical(width() * kFaceCount, height());
        QPixmap pixmap(logical * ratio);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        pixmap.setDevicePixelRatio(ratio);
        strip_ = pixmap;
        stripRatio_ = ratio;
    }
    return strip_;
}

void SkinButton::paintEvent(QPaintEvent*) {
    const QPixmap& strip = StripForScreen();
    const qreal ratio = strip.devicePixelRatio();
    const QRectF source(FaceIndex() * width() * ratio, 0, width() * ratio, height() * ratio);
    QPainter painter(this);
    const int sink = (pressed_ && isEnabled()) ? 1 : 0;
    painter.drawPixmap(QRectF(0, sink, width(), height()), strip, source);
}

void SkinButton::enterEvent(QEnterEvent*) {
    hovered_ = isEnabled();
    update();
}

void SkinButton::leaveEvent(QEvent*) {
    hovered_ = false;
    pressed_ = false;
    update();
}

void SkinButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    pressed_ = true;
    update();
}

void SkinButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed_) return;
    pressed_ = false;
    update();
    if (isEnabled() && rect().contains(event->position().toPoint())) Q_EMIT command(id_);
}

void SkinButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        // A disabled button shows the arrow: the hand means "this does something".
        setCursor(isEnabled() ? Qt::PointingHandCursor : Qt::ArrowCursor);
        if (!isEnabled()) hovered_ = pressed_ = false;
        update();
    }
    QWidget::changeEvent(event);
}

}  // namespace reeldeck::gui
