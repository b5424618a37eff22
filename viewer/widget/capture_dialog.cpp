#include "capture_dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>

#include "control/snapshot.h"

namespace ocuview {

namespace {

constexpr QRect kPictureRect(10, 10, 320, 240);

}  // namespace

CaptureDialog::CaptureDialog(const QImage& picture, QWidget* parent)
    : QDialog(parent), picture_(picture.convertToFormat(QImage::Format_BGR888)) {
    setWindowTitle(QStringLiteral("Capture"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setFixedSize(340, 290);
    auto* save = new QPushButton(tr("Save"), this);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    save->setGeometry(170, 258, 75, 24);
    cancel->setGeometry(255, 258, 75, 24);
    save->setDefault(true);
    connect(save, &QPushButton::clicked, this, [this] { Save(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CaptureDialog::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(kPictureRect, picture_);
}

void CaptureDialog::Save() {
    QFileDialog dialog(this, tr("Save As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("jpg"));
    dialog.selectFile(QStringLiteral("oneshotimage"));
    dialog.setNameFilters(
        {tr("JPEG Files (*.jpg)"), tr("Windows Bitmap Files (*.bmp)"), tr("All Files (*.*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    SaveTo(dialog.selectedFiles().front());
}

bool CaptureDialog::SaveTo(const QString& path) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const SnapshotPicture picture{picture_.constBits(), picture_.width(), picture_.height(),
                                  static_cast<int>(picture_.bytesPerLine())};
    const SnapshotStatus status = SaveSnapshot(path.toStdString(), picture);
    QApplication::restoreOverrideCursor();
    if (status != SnapshotStatus::kOk) {
        // Window-modal and asynchronous: the capture stays open behind it for another try.
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Error"),
                                    QStringLiteral("Cannot open file for writing"), QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setObjectName(QStringLiteral("saveError"));
        box->open();
        return false;
    }
    accept();
    return true;
}

}  // namespace ocuview
