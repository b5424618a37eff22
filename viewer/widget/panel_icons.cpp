#include "panel_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace ocuview {

namespace {

constexpr int kWidth = 38, kHeight = 31;

void DrawSymbol(QPainter& p, PanelIcon icon, QColor fore, bool lit) {
    p.setPen(QPen(fore, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    switch (icon) {
        case PanelIcon::Zoom:
        case PanelIcon::ZoomOff:
            p.drawEllipse(QPointF(17, 14), 7, 7);
            p.drawLine(QPointF(22, 19), QPointF(28, 25));
            p.drawLine(QPointF(14, 14), QPointF(20, 14));
            if (icon == PanelIcon::Zoom) p.drawLine(QPointF(17, 11), QPointF(17, 17));
            break;
        case PanelIcon::Capture:
            p.drawRoundedRect(QRectF(8, 10, 22, 14), 2, 2);
            p.drawEllipse(QPointF(19, 17), 4, 4);
            p.drawLine(QPointF(12, 8), QPointF(16, 8));
            break;
        case PanelIcon::Trigger: {
            QPainterPath bolt;
            bolt.moveTo(21, 5);
            bolt.lineTo(13, 17);
            bolt.lineTo(19, 17);
            bolt.lineTo(16, 27);
            bolt.lineTo(25, 13);
            bolt.lineTo(19, 13);
            bolt.closeSubpath();
            p.setBrush(fore);
            p.drawPath(bolt);
            break;
        }
        case PanelIcon::Transmission:
            p.drawLine(QPointF(9, 11), QPointF(27, 11));
            p.drawLine(QPointF(23, 7), QPointF(27, 11));
            p.drawLine(QPointF(29, 20), QPointF(11, 20));
            p.drawLine(QPointF(15, 24), QPointF(11, 20));
            break;
        case PanelIcon::Mute:
        case PanelIcon::Unmute: {
            QPainterPath speaker;
            speaker.moveTo(9, 12);
            speaker.lineTo(13, 12);
            speaker.lineTo(19, 7);
            speaker.lineTo(19, 24);
            speaker.lineTo(13, 19);
            speaker.lineTo(9, 19);
            speaker.closeSubpath();
            p.setBrush(fore);
            p.drawPath(speaker);
            p.setBrush(Qt::NoBrush);
            if (icon == PanelIcon::Mute) {
                // Sound is on: the button mutes it; waves show the sound.
                p.drawArc(QRectF(17, 10, 8, 11), -60 * 16, 120 * 16);
                p.drawArc(QRectF(17, 6, 13, 19), -60 * 16, 120 * 16);
            } else {
                p.drawLine(QPointF(23, 11), QPointF(30, 20));
                p.drawLine(QPointF(30, 11), QPointF(23, 20));
            }
            break;
        }
        case PanelIcon::Record:
            // A recording light in a ring: lit (red) while recording.
            p.drawEllipse(QPointF(19, 15.5), 9, 9);
            p.setPen(Qt::NoPen);
            p.setBrush(lit ? QColor(0xE0, 0x20, 0x20) : fore);
            p.drawEllipse(QPointF(19, 15.5), 5.5, 5.5);
            break;
    }
}

QPixmap Face(PanelIcon icon, QColor fore, QColor back, qreal ratio, bool pressed) {
    QPixmap pixmap(static_cast<int>(kWidth * ratio), static_cast<int>(kHeight * ratio));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor face = pressed ? back.darker(130) : back.lighter(115);
    p.setPen(QPen(fore, 1));
    p.setBrush(face);
    p.drawRoundedRect(QRectF(0.5, 0.5, kWidth - 1, kHeight - 1), 5, 5);
    if (pressed) p.translate(1, 1);
    DrawSymbol(p, icon, fore, pressed);
    return pixmap;
}

}  // namespace

QIcon MakePanelIcon(PanelIcon icon, QColor fore, QColor back, qreal pixelRatio) {
    QIcon result;
    result.addPixmap(Face(icon, fore, back, pixelRatio, false), QIcon::Normal, QIcon::Off);
    result.addPixmap(Face(icon, fore, back, pixelRatio, true), QIcon::Active, QIcon::On);
    result.addPixmap(Face(icon, fore, back, pixelRatio, true), QIcon::Selected, QIcon::Off);
    return result;
}

}  // namespace ocuview
