#include "gui/picture_view.h"

#include <QPainter>
#include <QThread>
#include <QWheelEvent>
#include <algorithm>
#include <cstring>

#include "gui/skin_resources.h"

namespace reeldeck::gui {

namespace {

constexpr int kBandHeight = 18;
constexpr int kLabelWidth = 84;
constexpr int kLabelHeight = 12;
constexpr int kSensorLabelRow = 36;  // rows of the label glyph strip
constexpr int kMotionLabelRow = 48;
constexpr QRgb kLabelTransparent = 0xFF00FF00;  // the strip's background, not drawn
constexpr QRgb kSensorBand = 0xFFC62828;
constexpr QRgb kMotionBand = 0xFFE08E0B;

void FillRect(QImage& image, int x, int y, int w, int h, QRgb colour) {
    const int x0 = std::max(x, 0);
    const int y0 = std::max(y, 0);
    const int x1 = std::min(x + w, image.width());
    const int y1 = std::min(y + h, image.height());
    for (int row = y0; row < y1; ++row) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
        std::fill(line + x0, line + x1, colour);
    }
}

}  // namespace

PictureView::PictureView(QWidget* parent) : QWidget(parent) {
    InitSkinResources();
    tinyFont_ = QImage(":/skin/tiny_font.png").convertToFormat(QImage::Format_RGB32);
    setAttribute(Qt::WA_OpaquePaintEvent);
    SetArea(area_);
}

void PictureView::SetArea(Extent area) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        const QImage previous = buffers_[front_];
        area_ = area;
        for (QImage& buffer : buffers_) {
            buffer = QImage(std::max(area.width, 1), std::max(area.height, 1), QImage::Format_RGB32);
            buffer.fill(Qt::black);
        }
        StretchTablesLocked();
        // Keep the picture on screen across a new layout. A still's display buffer is the main thread's
        // own and is drawn again at the new size; the engine's may be in use by its decoder, so the
        // last shown picture is scaled instead until the next one comes.
        if (displayFromMainThread_ && displayInfo_.pixels != nullptr) {
            RenderLocked(displayInfo_, buffers_[front_]);
        } else if (!previous.isNull()) {
            QPainter painter(&buffers_[front_]);
            painter.drawImage(buffers_[front_].rect(), previous);
        }
    }
    setFixedSize(area.width, area.height);
    update();
}

Extent PictureView::Area() const {
    std::lock_guard<std::mutex> hold(lock_);
    return area_;
}

int PictureView::CreateDisplayBuffer(int width, int height, DisplayBuffer& out) {
    if (width < 1 || height < 1 || width > 16384 || height > 16384) return -1;
    const int step = (width * 3 + 3) & ~3;
    std::lock_guard<std::mutex> hold(lock_);
    display_.assign(static_cast<std::size_t>(step) * static_cast<std::size_t>(height), 0);
    displayInfo_ = {display_.data(), width, height, step};
    StretchTablesLocked();
    out = displayInfo_;
    return 0;
}

void PictureView::StretchTablesLocked() {
    const int srcW = std::max(displayInfo_.width, 1);
    const int srcH = std::max(displayInfo_.height, 1);
    columnOf_.resize(static_cast<std::size_t>(area_.width));
    rowOf_.resize(static_cast<std::size_t>(area_.height));
    // Nearest source pixel for each target pixel (colour-on-colour stretching drops or repeats pixels).
    for (int x = 0; x < area_.width; ++x) {
        columnOf_[static_cast<std::size_t>(x)] = static_cast<int>(int64_t{x} * srcW / area_.width);
    }
    for (int y = 0; y < area_.height; ++y) {
        rowOf_[static_cast<std::size_t>(y)] = static_cast<int>(int64_t{y} * srcH / area_.height);
    }
}

void PictureView::ShowPicture(const DisplayBuffer& picture) {
    const AlarmBand band = alarmProbe_ ? alarmProbe_() : AlarmBand::kNone;
    const bool mainThread = QThread::currentThread() == thread();
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (picture.pixels == nullptr || picture.width < 1 || picture.height < 1) return;
        if (picture.width != displayInfo_.width || picture.height != displayInfo_.height) {
            displayInfo_.width = picture.width;
            displayInfo_.height = picture.height;
            StretchTablesLocked();
        }
        displayFromMainThread_ = mainThread;
        QImage& back = buffers_[front_ ^ 1];
        RenderLocked(picture, back);
        DrawAlarmLocked(back, band);
        front_ ^= 1;
        hasPicture_ = true;
    }
    shown_.fetch_add(1);
    RequestRepaint();
}

void PictureView::RenderLocked(const DisplayBuffer& picture, QImage& target) const {
    const bool oneToOne = picture.width == area_.width && picture.height == area_.height;
    for (int y = 0; y < area_.height; ++y) {
        const int srcRow = oneToOne ? y : rowOf_[static_cast<std::size_t>(y)];
        const uint8_t* src = picture.pixels + static_cast<std::ptrdiff_t>(srcRow) * picture.step;
        auto* dst = reinterpret_cast<QRgb*>(target.scanLine(y));
        for (int x = 0; x < area_.width; ++x) {
            const uint8_t* p = src + 3 * (oneToOne ? x : columnOf_[static_cast<std::size_t>(x)]);
            dst[x] = qRgb(p[2], p[1], p[0]);
        }
    }
}

void PictureView::DrawAlarmLocked(QImage& target, AlarmBand band) const {
    if (band == AlarmBand::kNone) return;
    const QRgb colour = band == AlarmBand::kSensorInput ? kSensorBand : kMotionBand;
    const int w = target.width();
    const int h = target.height();
    FillRect(target, 0, h - kBandHeight, w, kBandHeight, colour);
    // Two-pixel frame around the picture.
    FillRect(target, 0, 0, w, 2, colour);
    FillRect(target, 0, h - 2, w, 2, colour);
    FillRect(target, 0, 0, 2, h, colour);
    FillRect(target, w - 2, 0, 2, h, colour);
    // The label, centred, 15 pixels above the bottom; the strip's green is transparent.
    const int labelRow = band == AlarmBand::kSensorInput ? kSensorLabelRow : kMotionLabelRow;
    const int left = (w - kLabelWidth) / 2;
    const int top = h - 15;
    for (int y = 0; y < kLabelHeight; ++y) {
        const int ty = top + y;
        if (ty < 0 || ty >= h || labelRow + y >= tinyFont_.height()) continue;
        const auto* glyphs = reinterpret_cast<const QRgb*>(tinyFont_.constScanLine(labelRow + y));
        auto* line = reinterpret_cast<QRgb*>(target.scanLine(ty));
        for (int x = 0; x < kLabelWidth && x < tinyFont_.width(); ++x) {
            const int tx = left + x;
            if (tx < 0 || tx >= w || glyphs[x] == kLabelTransparent) continue;
            line[tx] = glyphs[x];
        }
    }
}

void PictureView::Clear() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        for (QImage& buffer : buffers_) buffer.fill(Qt::black);
        hasPicture_ = false;
        display_.clear();
        display_.shrink_to_fit();
        displayInfo_ = {};
    }
    RequestRepaint();
}

void PictureView::RequestRepaint() {
    // One queued repaint at a time, however fast pictures come.
    if (repaintPending_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            repaintPending_ = false;
            update();
        },
        Qt::QueuedConnection);
}

QImage PictureView::FrontImage() const {
    std::lock_guard<std::mutex> hold(lock_);
    return buffers_[front_].copy();
}

void PictureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    std::lock_guard<std::mutex> hold(lock_);
    painter.drawImage(QRect(0, 0, width(), height()), buffers_[front_]);
    if (!hasPicture_ && width() >= 120) {
        // An empty player says how to fill it.
        painter.setPen(QColor(0x8a, 0x8f, 0x98));
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                         "Open a recording or a picture (F6)\nor drop a file here");
    }
}

void PictureView::mouseDoubleClickEvent(QMouseEvent*) {
    Q_EMIT doubleClicked();
}

void PictureView::wheelEvent(QWheelEvent* event) {
    const int notches = event->angleDelta().y() / 120;
    if (notches != 0) Q_EMIT wheelSteps(notches);
    event->accept();
}

}  // namespace reeldeck::gui
