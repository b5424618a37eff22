// The motion-detection editor of a control in the motion-detection view: four draggable, resizable frames
// over the 640 x 480 motion picture, and per window an enable box, threshold and sensitivity sliders and a
// level meter; "OK" sends all four windows. Every change goes to the camera at once through the backend.
#ifndef OCUVIEW_WIDGET_MOTION_EDITOR_H
#define OCUVIEW_WIDGET_MOTION_EDITOR_H

#include <QObject>
#include <QWidget>
#include <array>
#include <functional>

#include "control/motion_editor.h"
#include "core/camera_description.h"
#include "core/viewer.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSlider;

namespace ocuview {

// Caption bar plus border of a frame: the part of its height that is not the area.
inline constexpr int kMotionFrameOffset = 20;

// One detection window's frame: a caption "Window n" to drag it by, the rest of the border and the corner
// to resize it by. Positions are clamped to the picture while dragging; `released` tells that a drag that
// moved the frame has ended.
class MotionFrame : public QWidget {
    Q_OBJECT
  public:
    MotionFrame(int number, QRect picture, QWidget* parent);
    [[nodiscard]] bool moved() const { return moved_; }
    void clearMoved() { moved_ = false; }

  Q_SIGNALS:
    void released(int number);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    enum class Drag { None, Move, Resize };
    int number_;
    QRect picture_;
    Drag drag_ = Drag::None;
    QPoint pressAt_;    // in the parent
    QRect pressFrame_;  // the frame's geometry at the press
    bool moved_ = false;
};

// Sends one command for window 1..4 (or all) with the four windows as they now stand.
using MotionSender =
    std::function<void(int window, MotionCommand command, const std::array<MotionWindow, 4>&)>;

class MotionEditor : public QObject {
    Q_OBJECT
  public:
    // The widgets are children of `control`; `picture` is the picture rectangle in the control.
    MotionEditor(QWidget& control, QRect picture, MotionSender send);

    // Shows the editor for the camera's windows, or hides it.
    void Show(const std::array<MotionWindow, 4>& windows);
    void Hide();
    // The levels from the motion data (each limited to 2000; an inactive window shows 0).
    void ShowLevels(const std::array<int, 4>& levels);
    // The column's texts in the panel's foreground colour.
    void SetTextColour(const QColor& colour);

    [[nodiscard]] const std::array<MotionWindow, 4>& windows() const { return windows_; }
    [[nodiscard]] MotionFrame* frame(int n) const { return frames_[static_cast<std::size_t>(n)]; }
    [[nodiscard]] QCheckBox* enableBox(int n) const { return enable_[static_cast<std::size_t>(n)]; }
    [[nodiscard]] QSlider* thresholdSlider(int n) const { return threshold_[static_cast<std::size_t>(n)]; }
    [[nodiscard]] QSlider* sensitivitySlider(int n) const {
        return sensitivity_[static_cast<std::size_t>(n)];
    }
    [[nodiscard]] QProgressBar* meter(int n) const { return meters_[static_cast<std::size_t>(n)]; }
    [[nodiscard]] QPushButton* okButton() const { return ok_; }

  private:
    void Send(int n, MotionCommand command) { send_(n + 1, command, windows_); }
    void FrameReleased(int n);

    QRect picture_;
    MotionSender send_;
    std::array<MotionWindow, 4> windows_{};
    std::array<MotionFrame*, 4> frames_{};
    std::array<QCheckBox*, 4> enable_{};
    std::array<QSlider*, 4> threshold_{};
    std::array<QSlider*, 4> sensitivity_{};
    std::array<QProgressBar*, 4> meters_{};
    std::array<QWidget*, 8> labels_{};
    QPushButton* ok_ = nullptr;
    bool filling_ = false;  // widgets being set from the camera's values: no commands
};

}  // namespace ocuview

#endif
