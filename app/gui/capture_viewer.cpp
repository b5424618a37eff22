#include "gui/capture_viewer.h"

#include <QApplication>
#include <QFileDialog>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <vector>

#include "core/report.h"
#include "gui/skin_button.h"
#include "gui/still_export.h"
#include "gui/string_text.h"

namespace reeldeck::gui {

namespace {

constexpr QRgb kViewerBackground = 0xFF2B2F36;
constexpr QRgb kViewerShadow = 0xFF16181C;
constexpr int kCaptureTitle = 3;  // "Capture"
constexpr int kSaveTip = 14;
constexpr int kCancelTip = 15;
constexpr int kCannotCreateBitmap = 65;
constexpr int kFormatNotSupported = 66;
constexpr int kCannotCreateJpeg = 67;

QString DefaultSaveDialog(QWidget* parent, const QString& proposed) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({"JPEG ( *.jpg ) (*.jpg)", "Bitmap ( *.bmp ) (*.bmp)", "All ( *.* ) (*)"});
    dialog.setDefaultSuffix("jpg");
    // A name typed without an extension takes the one of the chosen filter.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        dialog.setDefaultSuffix(filter.contains("*.bmp") ? "bmp" : "jpg");
    });
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setOption(QFileDialog::HideNameFilterDetails);  // the texts already name their patterns
    dialog.selectFile(proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
}

}  // namespace

CaptureSlots::CaptureSlots(QWidget* owner) : owner_(owner), saveDialog_(DefaultSaveDialog) {}

CaptureSlots::~CaptureSlots() {
    owner_ = nullptr;  // the main window is going: no focus to hand back
    for (QPointer<CaptureViewer>& window : windows_) delete window.data();
}

int CaptureSlots::Store(const DisplayBuffer& picture, std::string_view cameraTime) {
    if (picture.pixels == nullptr || picture.width < 1 || picture.height < 1) return kCaptureSlots;
    std::lock_guard<std::mutex> hold(lock_);
    int slot = 0;
    while (slot < kCaptureSlots && slots_[static_cast<std::size_t>(slot)].held) ++slot;
    if (slot == kCaptureSlots) return kCaptureSlots;

    Slot& s = slots_[static_cast<std::size_t>(slot)];
    const Extent size{picture.width, picture.height};
    const ViewerGeometry g = ComposeViewerGeometry(size);
    QImage image(g.image.width, g.image.height, QImage::Format_RGB32);
    image.fill(kViewerBackground);
    {
        QPainter painter(&image);
        painter.fillRect(g.pictureX + 3, g.pictureY + 3, size.width + 10, size.height + 10,
                         QColor(kViewerShadow));
        painter.fillRect(g.pictureX - 7, g.pictureY - 7, size.width + 14, size.height + 14, Qt::white);
        painter.setPen(Qt::black);
        painter.drawRect(g.pictureX - 8, g.pictureY - 8, size.width + 16 - 1, size.height + 16 - 1);
    }
    for (int y = 0; y < size.height; ++y) {
        const uint8_t* src = picture.pixels + static_cast<std::ptrdiff_t>(y) * picture.step;
        auto* dst = reinterpret_cast<QRgb*>(image.scanLine(g.pictureY + y)) + g.pictureX;
        for (int x = 0; x < size.width; ++x, src += 3) dst[x] = qRgb(src[2], src[1], src[0]);
    }
    s.held = true;
    s.image = std::move(image);
    s.geometry = g;
    s.picture = size;
    s.cameraTime.assign(cameraTime.substr(0, 260));
    return slot;
}

void CaptureSlots::Show(int slot) {
    if (slot < 0 || slot >= kCaptureSlots || windows_[static_cast<std::size_t>(slot)]) return;
    QImage image;
    ViewerGeometry geometry;
    Extent picture;
    std::string cameraTime;
    {
        std::lock_guard<std::mutex> hold(lock_);
        const Slot& s = slots_[static_cast<std::size_t>(slot)];
        if (!s.held) return;
        image = s.image;
        geometry = s.geometry;
        picture = s.picture;
        cameraTime = s.cameraTime;
    }
    auto* viewer =
        new CaptureViewer(*this, slot, std::move(image), geometry, picture, std::move(cameraTime), owner_);
    windows_[static_cast<std::size_t>(slot)] = viewer;
    // The staircase, measured in frame sizes so that the title bar stays on the screen.
    const QScreen* screen = owner_ != nullptr && owner_->screen() != nullptr
                                ? owner_->screen()
                                : QGuiApplication::primaryScreen();
    const QRect available = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const int frameHeight = viewer->frameGeometry().height() + 30;  // a title bar before the window is shown
    const Point at =
        StaircasePosition(slot, std::max(frameHeight, geometry.image.height), available.height());
    viewer->move(available.left() + at.x, available.top() + at.y);
    viewer->show();
    std::lock_guard<std::mutex> hold(lock_);
    ++openCount_;
}

int CaptureSlots::OpenViewers() const {
    std::lock_guard<std::mutex> hold(lock_);
    return openCount_;
}

CaptureViewer* CaptureSlots::Viewer(int slot) const {
    if (slot < 0 || slot >= kCaptureSlots) return nullptr;
    return windows_[static_cast<std::size_t>(slot)].data();
}

void CaptureSlots::Closed(int slot) {
    bool last = false;
    {
        std::lock_guard<std::mutex> hold(lock_);
        Slot& s = slots_[static_cast<std::size_t>(slot)];
        s = Slot{};
        openCount_ = std::max(openCount_ - 1, 0);
        last = openCount_ == 0;
    }
    windows_[static_cast<std::size_t>(slot)] = nullptr;
    if (last && owner_ != nullptr) {
        owner_->activateWindow();
        owner_->setFocus(Qt::OtherFocusReason);
    }
}

CaptureViewer::CaptureViewer(CaptureSlots& slots, int slot, QImage image, ViewerGeometry geometry,
                             Extent picture, std::string cameraTime, QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      slots_(slots),
      slot_(slot),
      image_(std::move(image)),
      geometry_(geometry),
      picture_(picture),
      cameraTime_(std::move(cameraTime)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(StringText(kCaptureTitle));
    setFixedSize(geometry.image.width, geometry.image.height);
    const int saveX = (geometry.image.width - 122) / 2;
    const int buttonsY = geometry.image.height - 36;
    save_ = new SkinButton(kSaveCommand, ":/skin/button_save.svg", QSize(57, 22), StringText(kSaveTip), this);
    cancel_ = new SkinButton(kCancelCommand, ":/skin/button_cancel.svg", QSize(57, 22),
                             StringText(kCancelTip), this);
    save_->move(saveX, buttonsY);
    cancel_->move(saveX + 65, buttonsY);
    connect(save_, &SkinButton::command, this, &CaptureViewer::OnCommand);
    connect(cancel_, &SkinButton::command, this, &CaptureViewer::OnCommand);
}

CaptureViewer::~CaptureViewer() {
    slots_.Closed(slot_);
}

void CaptureViewer::OnCommand(int id) {
    if (id == kCancelCommand) {
        close();
        return;
    }
    if (id != kSaveCommand) return;
    const QString proposed = QString::fromStdString(ProposedSaveName(cameraTime_));
    const QString path = slots_.saveDialog_ ? slots_.saveDialog_(this, proposed) : QString();
    if (!path.isEmpty()) SaveTo(path);
}

void CaptureViewer::SaveTo(const QString& path) {
    const std::string file = path.toStdString();
    const SaveFormat format = SaveFormatOf(file);
    if (format == SaveFormat::kUnsupported) {
        REELDECK_REPORT(kFormatNotSupported);
        return;
    }
    // The picture rectangle of the viewer image as top-down B, G, R rows.
    const int step = (picture_.width * 3 + 3) & ~3;
    std::vector<uint8_t> bgr(static_cast<std::size_t>(step) * static_cast<std::size_t>(picture_.height), 0);
    for (int y = 0; y < picture_.height; ++y) {
        const auto* src =
            reinterpret_cast<const QRgb*>(image_.constScanLine(geometry_.pictureY + y)) + geometry_.pictureX;
        uint8_t* dst = bgr.data() + static_cast<std::size_t>(y) * step;
        for (int x = 0; x < picture_.width; ++x, dst += 3) {
            dst[0] = static_cast<uint8_t>(qBlue(src[x]));
            dst[1] = static_cast<uint8_t>(qGreen(src[x]));
            dst[2] = static_cast<uint8_t>(qRed(src[x]));
        }
    }
    const BgrView view{bgr.data(), picture_.width, picture_.height, step};
    if (format == SaveFormat::kBitmap) {
        if (!WriteBitmapFile(file, view)) REELDECK_REPORT(kCannotCreateBitmap);
    } else if (!WriteJpegFile(file, view)) {
        REELDECK_REPORT(kCannotCreateJpeg);
    }
}

void CaptureViewer::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
}

}  // namespace reeldeck::gui
