#include "volume_slider.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "control/panel_layout.h"

namespace ocuview {

VolumeSlider::VolumeSlider(QWidget* parent) : QWidget(parent) {
    setFixedSize(kVolumeSliderLength + kKnobSize.width, kKnobSize.height);
    setCursor(Qt::PointingHandCursor);
    setToolTip(tr("Volume"));
}

void VolumeSlider::setKnob(int knob) {
    knob_ = std::clamp(knob, 0, kVolumeSliderLength);
    update();
}

void VolumeSlider::setColours(QColor fore, QColor back) {
    fore_ = fore;
    back_ = back;
    update();
}

void VolumeSlider::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal mid = height() / 2.0;
    const qreal half = kKnobSize.width / 2.0;
    // The track rises from left to right like a volume wedge; the part left of the knob is filled.
    QPolygonF wedge;
    wedge << QPointF(half, mid + 3) << QPointF(half + kVolumeSliderLength, mid + 6)
          << QPointF(half + kVolumeSliderLength, mid - 6);
    p.setPen(QPen(back_.darker(160), 1));
    p.setBrush(back_.darker(125));
    p.drawPolygon(wedge);
    p.save();
    p.setClipRect(QRectF(0, 0, half + knob_, height()));
    p.setBrush(fore_);
    p.drawPolygon(wedge);
    p.restore();
    p.setPen(QPen(back_.darker(200), 1));
    p.setBrush(fore_);
    p.drawRoundedRect(QRectF(knob_ + 0.5, 0.5, kKnobSize.width - 1, kKnobSize.height - 1), 2, 2);
}

void VolumeSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) MoveTo(event->position().toPoint().x());
}

void VolumeSlider::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) MoveTo(event->position().toPoint().x());
}

void VolumeSlider::MoveTo(int x) {
    const int knob = std::clamp(x - kKnobSize.width / 2, 0, kVolumeSliderLength);
    if (knob == knob_) return;
    knob_ = knob;
    update();
    Q_EMIT knobMoved(knob_);
}

}  // namespace ocuview
