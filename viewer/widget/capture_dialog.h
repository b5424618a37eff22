// "Capture": a modeless dialog holding its own copy of the picture that was on screen, drawn into
// 320 x 240 at 10,10, with "Save" (JPEG for a .jpg name, else a bitmap) and "Cancel".
#ifndef OCUVIEW_WIDGET_CAPTURE_DIALOG_H
#define OCUVIEW_WIDGET_CAPTURE_DIALOG_H

#include <QDialog>
#include <QImage>

namespace ocuview {

class CaptureDialog : public QDialog {
    Q_OBJECT
  public:
    // `picture` is copied (BGR, 24 bits per pixel).
    explicit CaptureDialog(const QImage& picture, QWidget* parent = nullptr);

    [[nodiscard]] const QImage& picture() const { return picture_; }
    // Writes the picture to `path`; on success the dialog closes, on failure it says "Cannot open file
    // for writing" (titled "Error") and stays open. Returns whether it was written.
    bool SaveTo(const QString& path);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void Save();
    QImage picture_;
};

}  // namespace ocuview

#endif
