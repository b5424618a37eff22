#include "motion_editor.h"

#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <algorithm>

#include "control/panel_layout.h"

namespace ocuview {

namespace {

constexpr int kGrip = 8;  // pixels at the right and bottom edges that resize instead of move
const QColor kFrameColours[4] = {QColor(255, 220, 0), QColor(0, 220, 255), QColor(255, 90, 200),
                                 QColor(120, 255, 90)};

Rect ToRect(const QRect& r) {
    return {r.x(), r.y(), r.width(), r.height()};
}
QRect ToQRect(const Rect& r) {
    return QRect(r.x, r.y, r.width, r.height);
}

void Place(QWidget* w, const Slot& s) {
    w->setGeometry(s.x, s.y, s.width, s.height);
}

}  // namespace

MotionFrame::MotionFrame(int number, QRect picture, QWidget* parent)
    : QWidget(parent), number_(number), picture_(picture) {
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    setObjectName(QStringLiteral("motionFrame%1").arg(number));
}

void MotionFrame::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QColor colour = kFrameColours[(number_ - 1) & 3];
    p.setPen(QPen(colour, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(1, 1, width() - 2, height() - 2));
    p.fillRect(QRect(0, 0, width(), kMotionFrameOffset - 2), QColor(0, 0, 0, 150));
    p.setPen(colour);
    QFont f = font();
    f.setPixelSize(11);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(4, 0, width() - 8, kMotionFrameOffset - 2), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("Window %1").arg(number_));
    // The resize grip in the corner.
    p.fillRect(QRect(width() - kGrip, height() - kGrip, kGrip, kGrip), colour);
}

void MotionFrame::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint at = event->position().toPoint();
    drag_ = (at.x() >= width() - kGrip || at.y() >= height() - kGrip) ? Drag::Resize : Drag::Move;
    pressAt_ = mapToParent(at);
    pressFrame_ = geometry();
    raise();
}

void MotionFrame::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (drag_ == Drag::None) {
        const bool grip = at.x() >= width() - kGrip || at.y() >= height() - kGrip;
        setCursor(grip ? Qt::SizeFDiagCursor : Qt::SizeAllCursor);
        return;
    }
    const QPoint delta = mapToParent(at) - pressAt_;
    QRect proposed = pressFrame_;
    if (drag_ == Drag::Move)
        proposed.translate(delta);
    else
        proposed.setSize(pressFrame_.size() + QSize(delta.x(), delta.y()));
    const QRect clamped = ToQRect(ClampFrame(ToRect(proposed), ToRect(picture_), kMotionFrameOffset));
    if (clamped == geometry()) return;
    setGeometry(clamped);
    moved_ = true;
}

void MotionFrame::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || drag_ == Drag::None) return;
    drag_ = Drag::None;
    if (moved_) Q_EMIT released(number_);
}

MotionEditor::MotionEditor(QWidget& control, QRect picture, MotionSender send)
    : QObject(&control), picture_(picture), send_(std::move(send)) {
    const SlotTable& table = LayoutTable(LayoutTableIndex(ViewerKind::kMotionDetection, ImageCodec::kMpeg4));
    QFont small = control.font();
    small.setPixelSize(11);
    for (int n = 0; n < 4; ++n) {
        const auto i = static_cast<std::size_t>(n);
        frames_[i] = new MotionFrame(n + 1, picture, &control);
        connect(frames_[i], &MotionFrame::released, this, [this](int number) { FrameReleased(number - 1); });

        enable_[i] = new QCheckBox(QStringLiteral("Window %1").arg(n + 1), &control);
        Place(enable_[i], table[static_cast<std::size_t>(mdslot::Enable(n))]);
        connect(enable_[i], &QCheckBox::toggled, this, [this, n, i](bool on) {
            if (filling_) return;
            windows_[i].active = on;
            frames_[i]->setVisible(on);
            if (!on) meters_[i]->setValue(0);
            Send(n, MotionCommand::kOnOff);
        });

        auto* thresholdLabel = new QLabel(tr("Threshold"), &control);
        Place(thresholdLabel, table[static_cast<std::size_t>(mdslot::ThresholdLabel(n))]);
        auto* sensitivityLabel = new QLabel(tr("Sensitivity"), &control);
        Place(sensitivityLabel, table[static_cast<std::size_t>(mdslot::SensitivityLabel(n))]);
        labels_[i * 2] = thresholdLabel;
        labels_[i * 2 + 1] = sensitivityLabel;

        const auto slider = [&](int slotNumber, int MotionWindow::*field, MotionCommand command) {
            auto* s = new QSlider(Qt::Horizontal, &control);
            Place(s, table[static_cast<std::size_t>(slotNumber)]);
            connect(s, &QSlider::valueChanged, this, [this, n, i, field, command](int value) {
                if (filling_) return;
                windows_[i].*field = value;
                Send(n, command);
            });
            return s;
        };
        threshold_[i] = slider(mdslot::Threshold(n), &MotionWindow::threshold, MotionCommand::kThreshold);
        sensitivity_[i] =
            slider(mdslot::Sensitivity(n), &MotionWindow::sensitivity, MotionCommand::kSensitivity);

        meters_[i] = new QProgressBar(&control);
        meters_[i]->setRange(0, kMotionLevelMax);
        meters_[i]->setTextVisible(false);
        Place(meters_[i], table[static_cast<std::size_t>(mdslot::Meter(n))]);
        for (QWidget* w : std::initializer_list<QWidget*>{enable_[i], thresholdLabel, sensitivityLabel})
            w->setFont(small);
    }
    ok_ = new QPushButton(tr("OK"), &control);
    Place(ok_, table[mdslot::kOk]);
    connect(ok_, &QPushButton::clicked, this, [this] { Send(0, MotionCommand::kAll); });
    Hide();
}

void MotionEditor::Show(const std::array<MotionWindow, 4>& windows) {
    windows_ = windows;
    filling_ = true;
    for (std::size_t i = 0; i < 4; ++i) {
        const MotionWindow& w = windows_[i];
        frames_[i]->setGeometry(
            ToQRect(FrameOfArea({w.left, w.top, w.right, w.bottom}, ToRect(picture_), kMotionFrameOffset)));
        frames_[i]->setVisible(w.active);
        frames_[i]->clearMoved();
        enable_[i]->setChecked(w.active);
        threshold_[i]->setValue(w.threshold);
        sensitivity_[i]->setValue(w.sensitivity);
        meters_[i]->setValue(0);
        for (QWidget* widget :
             std::initializer_list<QWidget*>{enable_[i], threshold_[i], sensitivity_[i], meters_[i]})
            widget->show();
    }
    for (QWidget* label : labels_) label->show();
    ok_->show();
    filling_ = false;
}

void MotionEditor::Hide() {
    for (std::size_t i = 0; i < 4; ++i)
        for (QWidget* widget : std::initializer_list<QWidget*>{frames_[i], enable_[i], threshold_[i],
                                                               sensitivity_[i], meters_[i]})
            widget->hide();
    for (QWidget* label : labels_) label->hide();
    ok_->hide();
}

void MotionEditor::ShowLevels(const std::array<int, 4>& levels) {
    for (std::size_t i = 0; i < 4; ++i)
        meters_[i]->setValue(windows_[i].active ? std::clamp(levels[i], 0, kMotionLevelMax) : 0);
}

void MotionEditor::SetTextColour(const QColor& colour) {
    const QString style = QStringLiteral("color: %1; background: transparent;").arg(colour.name());
    for (QWidget* w : labels_) w->setStyleSheet(style);
    for (QCheckBox* box : enable_) box->setStyleSheet(QStringLiteral("QCheckBox { %1 }").arg(style));
}

void MotionEditor::FrameReleased(int n) {
    // Every frame moved since the last release sends its area once.
    for (int k = 0; k < 4; ++k) {
        const auto i = static_cast<std::size_t>(k);
        if (!frames_[i]->moved() && k != n) continue;
        const MotionArea a =
            AreaOfFrame(ToRect(frames_[i]->geometry()), ToRect(picture_), kMotionFrameOffset);
        windows_[i].left = a.left;
        windows_[i].top = a.top;
        windows_[i].right = a.right;
        windows_[i].bottom = a.bottom;
        frames_[i]->clearMoved();
        Send(k, MotionCommand::kArea);
    }
}

}  // namespace ocuview
