// A button drawn from a strip of faces: frame 0 normal, 1 hovered, 2 toggled, 3 toggled + hovered, and
// the disabled face last. Pressing shows the hovered face one pixel lower; releasing over the enabled
// button emits `command` with the button's identifier. The strip is an SVG, rendered for the screen's
// device pixel ratio so that the faces stay sharp.
#ifndef REELDECK_GUI_SKIN_BUTTON_H
#define REELDECK_GUI_SKIN_BUTTON_H

#include <QPixmap>
#include <QString>
#include <QWidget>

namespace reeldeck::gui {

class SkinButton : public QWidget {
    Q_OBJECT
  public:
    // `strip`: resource path of the face strip; `size`: one face in logical pixels.
    SkinButton(int id, const QString& strip, QSize size, const QString& tip, QWidget* parent);

    int Id() const { return id_; }
    bool Toggled() const { return toggled_; }
    void SetToggled(bool toggled);
    // The frame index that paintEvent draws now (tests check the state machine through it).
    int FaceIndex() const;

  Q_SIGNALS:
    void command(int id);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    const QPixmap& StripForScreen();

    int id_;
    QString stripPath_;
    QPixmap strip_;  // rendered at stripRatio_
    qreal stripRatio_ = 0;
    bool toggled_ = false;
    bool hovered_ = false;
    bool pressed_ = false;
};

}  // namespace reeldeck::gui

#endif
