// The volume slider: an 82-pixel track with a 7 x 23 knob; a click or a drag puts the knob under the
// pointer and reports the knob position 0..82.
#ifndef OCUVIEW_WIDGET_VOLUME_SLIDER_H
#define OCUVIEW_WIDGET_VOLUME_SLIDER_H

#include <QColor>
#include <QWidget>

namespace ocuview {

class VolumeSlider : public QWidget {
    Q_OBJECT
  public:
    explicit VolumeSlider(QWidget* parent = nullptr);
    [[nodiscard]] int knob() const { return knob_; }
    void setKnob(int knob);  // no signal
    void setColours(QColor fore, QColor back);

  Q_SIGNALS:
    void knobMoved(int knob);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    void MoveTo(int x);
    int knob_ = 82;
    QColor fore_{Qt::white}, back_{Qt::darkGreen};
};

}  // namespace ocuview

#endif
