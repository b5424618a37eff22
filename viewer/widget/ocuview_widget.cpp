#include "ocuview_widget.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStandardPaths>
#include <QToolButton>
#include <algorithm>
#include <cstring>

#include "capture_dialog.h"
#include "panel_icons.h"
#include "transport_dialog.h"
#include "volume_slider.h"

#ifndef OCUVIEW_VERSION
#define OCUVIEW_VERSION "0.0.0"
#endif

namespace ocuview {

namespace {

constexpr int kTimerMs = 200;
// The control's own background around the panel and the picture: dark, so that the date text (white by
// default) and the picture frame read on it.
const QColor kControlBackground(40, 40, 40);
constexpr Size kStartSize{180, 300};  // the control before the camera has answered
const char* const kViewSizeItems[] = {"Auto", "VGA (640 x 480)", "QVGA (320 x 240)", "QQVGA (160 x 120)"};
constexpr ViewSize kViewSizeCodes[] = {ViewSize::Auto, ViewSize::Vga, ViewSize::Qvga, ViewSize::Qqvga};

std::string_view TriggerText(Trigger trigger) {
    switch (trigger) {
        case Trigger::Smtp:
            return "e-Mail";
        case Trigger::Ftp:
            return "FTP";
        case Trigger::Memory:
            return "Image memory";
        case Trigger::Alarm:
            break;
    }
    return "Alarm output";
}

int ViewSizeIndex(ViewSize code) {
    for (int i = 0; i < 4; ++i)
        if (kViewSizeCodes[i] == code) return i;
    return 0;
}

}  // namespace

// The model's requests to the running view.
class OcuviewWidget::Actions : public ViewActions {
  public:
    explicit Actions(OcuviewWidget& w) : w_(w) {}
    void StartViewer() override {
        w_.statusShown_ = false;
        if (w_.backend_) w_.backend_->Start();
    }
    void StopViewer() override {
        if (w_.backend_) w_.backend_->Stop();
        w_.ViewerStopped();
    }
    void RestartViewer() override {
        if (w_.backend_) w_.backend_->RequestRestart();
    }
    void ChangeFrameRate(int rate) override {
        w_.SelectFrameRate(rate);
        if (w_.backend_) w_.backend_->SetFrameRate(rate);
    }
    void ResizeView(ViewSize size) override {
        w_.viewSizeBox_->setCurrentIndex(ViewSizeIndex(size));
        w_.keepView_ = false;
        w_.Relayout();
    }
    void ChangeVolume(int volume) override {
        w_.SetKnob(KnobFromVolume(volume));
        if (w_.backend_) w_.backend_->SetVolume(volume);
    }
    void ChangeMute(bool on) override { w_.SetMuted(on); }
    void RepaintPanel() override { w_.ApplyColours(); }
    void FireTrigger(Trigger trigger) override {
        if (w_.TriggerOffered(trigger) && w_.backend_)
            w_.backend_->SendTrigger(std::string(TriggerText(trigger)));
    }
    void ZoomAt(int x, int y) override {
        if (!w_.described_ || w_.facts_.kind == ViewerKind::kMotionDetection) return;
        w_.ZoomClick(ZoomClickForPicturePoint(w_.facts_.kind, w_.view_, x, y));
    }
    void ZoomOff() override { w_.EndZoom(); }

  private:
    OcuviewWidget& w_;
};

OcuviewWidget::OcuviewWidget(QWidget* parent)
    : QWidget(parent),
      actions_(std::make_unique<Actions>(*this)),
      model_(*actions_, OCUVIEW_VERSION, "Ocuview") {
    setFixedSize(kStartSize.width, kStartSize.height);
    BuildPanel();
    const Rect picture = ViewRect(ViewerKind::kMotionDetection, {640, 480});
    motion_ = new MotionEditor(
        *this, QRect(picture.x, picture.y, picture.width, picture.height),
        [this](int window, MotionCommand command, const std::array<MotionWindow, 4>& windows) {
            if (backend_) backend_->SendMotionDetection(window, command, windows);
        });
    ApplyColours();  // again, now that the editor exists
    timer_.setInterval(kTimerMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (backend_) backend_->Tick();
    });
    timer_.start();
}

OcuviewWidget::~OcuviewWidget() {
    timer_.stop();
    // The backend's threads call PresentPicture: stop them before the surface goes.
    if (backend_) backend_->Stop();
    backend_.reset();
    for (auto& dialog : captures_) delete dialog.data();
}

void OcuviewWidget::SetBackend(std::unique_ptr<ViewerBackend> backend) {
    if (backend_) backend_->Stop();
    backend_ = std::move(backend);
}

QColor OcuviewWidget::Colour(ColourRole role) const {
    const Rgb c = model_.colour(role);
    return QColor(c.r, c.g, c.b);
}

void OcuviewWidget::BuildPanel() {
    const auto label = [this](int slot, const QString& text) {
        auto* l = new QLabel(text, this);
        slots_[static_cast<std::size_t>(slot)] = l;
        return l;
    };
    const auto combo = [this](int slot) {
        auto* c = new QComboBox(this);
        c->setFocusPolicy(Qt::NoFocus);
        slots_[static_cast<std::size_t>(slot)] = c;
        return c;
    };
    const auto button = [this](int slot, const QString& tip) {
        auto* b = new QToolButton(this);
        b->setToolTip(tip);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setIconSize(QSize(kIconButton.width, kIconButton.height));
        slots_[static_cast<std::size_t>(slot)] = b;
        return b;
    };

    label(slot::kFrameRateLabel, tr("Frame rate"));
    frameRateBox_ = combo(slot::kFrameRateList);
    label(slot::kViewSizeLabel, tr("View size"));
    viewSizeBox_ = combo(slot::kViewSizeList);
    for (const char* item : kViewSizeItems) viewSizeBox_->addItem(tr(item));
    auto* zoom = button(slot::kZoomButton, tr("Digital zoom: click a point of the picture"));
    label(slot::kZoomCaption, tr("Digital zoom"));
    auto* capture = button(slot::kCaptureButton, tr("Capture the picture"));
    label(slot::kCaptureCaption, tr("Capture"));
    auto* trigger = button(slot::kTriggerButton, tr("Send the chosen trigger"));
    triggerBox_ = combo(slot::kTriggerList);
    auto* transmission = button(slot::kTransmissionButton, tr("Select TCP/UDP"));
    label(slot::kTransmissionCaption, tr("TCP/UDP"));
    auto* mute = button(slot::kMuteButton, tr("Mute"));
    auto* unmute = button(slot::kUnmuteButton, tr("Unmute"));
    auto* zoomOff = button(slot::kZoomOffButton, tr("Zoom off"));
    recordButton_ = new QToolButton(this);
    recordButton_->setObjectName(QStringLiteral("record"));
    recordButton_->setToolTip(tr("Record the live stream"));
    recordButton_->setAutoRaise(true);
    recordButton_->setCheckable(true);
    recordButton_->setFocusPolicy(Qt::NoFocus);
    recordButton_->setIconSize(QSize(kIconButton.width, kIconButton.height));
    recordButton_->hide();
    slider_ = new VolumeSlider(this);
    slots_[slot::kVolumeSlider] = slider_;
    dateTime_ = label(slot::kDateTime, QString());
    QFont dateFont(QStringLiteral("Arial"));
    // A 16-pixel character cell, as the date text's font asks for: about 14 pixels of em.
    dateFont.setPixelSize(14);
    dateFont.setWeight(QFont::Bold);
    dateTime_->setFont(dateFont);

    QFont small = font();
    small.setPixelSize(11);
    for (QComboBox* c : {frameRateBox_, viewSizeBox_, triggerBox_}) c->setFont(small);
    for (int s : {slot::kFrameRateLabel, slot::kViewSizeLabel, slot::kZoomCaption, slot::kCaptureCaption,
                  slot::kTransmissionCaption})
        slots_[static_cast<std::size_t>(s)]->setFont(small);
    for (int s = 0; s < kSlotCount; ++s) {
        QWidget* w = slots_[static_cast<std::size_t>(s)];
        if (!w) continue;
        w->setObjectName(QStringLiteral("slot%1").arg(s));
        w->hide();
    }

    connect(frameRateBox_, &QComboBox::activated, this, [this](int index) {
        const int rate = frameRateBox_->itemText(index).section(QLatin1Char(' '), 0, 0).toInt();
        model_.OnPanelFrameRate(rate);
        if (backend_) backend_->SetFrameRate(rate);
    });
    connect(viewSizeBox_, &QComboBox::activated, this, [this](int index) {
        model_.OnPanelViewSize(kViewSizeCodes[index]);
        keepView_ = false;
        Relayout();
    });
    connect(zoom, &QToolButton::clicked, this, [this] { BeginZoomPick(); });
    connect(zoomOff, &QToolButton::clicked, this, [this] { EndZoom(); });
    connect(capture, &QToolButton::clicked, this, [this] { Capture(); });
    connect(trigger, &QToolButton::clicked, this, [this] {
        if (backend_ && triggerBox_->count() > 0)
            backend_->SendTrigger(triggerBox_->currentText().toStdString());
    });
    connect(transmission, &QToolButton::clicked, this, [this] { OpenTransmissionDialog(); });
    connect(recordButton_, &QToolButton::clicked, this, [this] {
        // The button shows what the viewer does, not the click: it stays as it was until the viewer answers.
        recordButton_->setChecked(recording_);
        if (recording_)
            StopRecording();
        else
            StartRecording();
    });
    connect(mute, &QToolButton::clicked, this, [this] {
        model_.OnPanelMute(true);
        SetMuted(true);
    });
    connect(unmute, &QToolButton::clicked, this, [this] {
        model_.OnPanelMute(false);
        SetMuted(false);
    });
    connect(slider_, &VolumeSlider::knobMoved, this, [this](int knob) {
        knob_ = knob;
        model_.OnPanelVolume(VolumeFromKnob(knob));
        if (backend_) backend_->SetVolume(VolumeFromKnob(knob));
    });
    ApplyColours();
}

void OcuviewWidget::ApplyColours() {
    const QColor fore = Colour(ColourRole::CtrlFore);
    const QColor back = Colour(ColourRole::CtrlBack);
    const qreal ratio = devicePixelRatioF();
    const std::pair<int, PanelIcon> icons[] = {{slot::kZoomButton, PanelIcon::Zoom},
                                               {slot::kZoomOffButton, PanelIcon::ZoomOff},
                                               {slot::kCaptureButton, PanelIcon::Capture},
                                               {slot::kTriggerButton, PanelIcon::Trigger},
                                               {slot::kTransmissionButton, PanelIcon::Transmission},
                                               {slot::kMuteButton, PanelIcon::Mute},
                                               {slot::kUnmuteButton, PanelIcon::Unmute}};
    for (const auto& [s, icon] : icons)
        static_cast<QToolButton*>(slots_[static_cast<std::size_t>(s)])
            ->setIcon(MakePanelIcon(icon, fore, back, ratio));
    recordButton_->setIcon(MakePanelIcon(PanelIcon::Record, fore, back, ratio));
    const QString labelStyle = QStringLiteral("color: %1; background: transparent;").arg(fore.name());
    for (int s : {slot::kFrameRateLabel, slot::kViewSizeLabel, slot::kZoomCaption, slot::kCaptureCaption,
                  slot::kTransmissionCaption})
        slots_[static_cast<std::size_t>(s)]->setStyleSheet(labelStyle);
    const QString comboStyle =
        QStringLiteral("QComboBox { color: #202020; background: %1; border: 1px solid %2; padding: 0 4px; }")
            .arg(back.lighter(170).name(), back.darker(150).name());
    for (QComboBox* c : {frameRateBox_, viewSizeBox_, triggerBox_}) c->setStyleSheet(comboStyle);
    dateTime_->setStyleSheet(
        QStringLiteral("color: %1; background: transparent;").arg(Colour(ColourRole::DateFore).name()));
    if (motion_) motion_->SetTextColour(fore);
    // The volume slider sits on the control's own background, under the picture.
    slider_->setColours(back, kControlBackground.lighter(180));
    update();
}

void OcuviewWidget::ShowCamera(const PanelFacts& facts) {
    facts_ = facts;
    described_ = true;
    statusShown_ = false;
    frameRateBox_->clear();
    for (const std::string& rate : facts_.frameRates) frameRateBox_->addItem(QString::fromStdString(rate));
    SelectFrameRate(facts_.frameRate);
    triggerBox_->clear();
    for (const std::string& trigger : facts_.triggers) triggerBox_->addItem(QString::fromStdString(trigger));
    viewSizeBox_->setCurrentIndex(ViewSizeIndex(model_.viewSize()));
    model_.OnSessionMode(facts_.sessionMode);
    SetKnob(KnobFromVolume(model_.volume()));
    SetMuted(model_.muted());
    if (facts_.kind == ViewerKind::kMotionDetection)
        motion_->Show(facts_.motionWindows);
    else
        motion_->Hide();
    Relayout();
}

void OcuviewWidget::ShowMotionLevels(const std::array<int, 4>& levels) {
    QMetaObject::invokeMethod(
        this, [this, levels] { motion_->ShowLevels(levels); }, Qt::QueuedConnection);
}

void OcuviewWidget::SelectFrameRate(int rate) {
    const int index = frameRateBox_->findText(QStringLiteral("%1 fps").arg(rate));
    if (index >= 0) frameRateBox_->setCurrentIndex(index);
}

bool OcuviewWidget::TriggerOffered(Trigger trigger) const {
    const std::string text(TriggerText(trigger));
    return std::find(facts_.triggers.begin(), facts_.triggers.end(), text) != facts_.triggers.end();
}

void OcuviewWidget::SetSessionMode(StreamMode mode) {
    facts_.sessionMode = mode;
    model_.OnSessionMode(mode);
}

void OcuviewWidget::Relayout() {
    if (!described_) return;
    const ViewerKind kind = facts_.kind;
    if (kind == ViewerKind::kMotionDetection)
        view_ = {640, 480};
    else if (!keepView_ || view_.width == 0)
        view_ = ViewSizeFor(model_.viewSize(), picture_.width ? picture_ : Size{640, 480});
    const Size control = ControlSize(kind, view_);
    const SlotTable table = PanelLayout(kind, facts_.codec, facts_.viewerMode, view_, knob_);
    for (int s = 0; s < kSlotCount; ++s) {
        QWidget* w = slots_[static_cast<std::size_t>(s)];
        if (!w || s == slot::kVolumeKnob) continue;
        const Slot& row = table[static_cast<std::size_t>(s)];
        bool visible = row.visible && !statusShown_;
        // One of each pair shows: zoom or zoom-off, mute or unmute.
        if (s == slot::kZoomButton) visible = visible && !zoomOn_;
        if (s == slot::kZoomOffButton) visible = table[slot::kZoomButton].visible && zoomOn_ && !statusShown_;
        if (s == slot::kMuteButton) visible = visible && !muted_;
        if (s == slot::kUnmuteButton) visible = table[slot::kMuteButton].visible && muted_ && !statusShown_;
        if (s == slot::kDateTime && statusShown_) continue;  // placed by ShowStatusText
        w->setGeometry(row.x, row.y, row.width, row.height);
        w->setVisible(visible);
    }
    if (!statusShown_) FitDateLabel();
    // Record sits in the row under the picture at its right edge, clear of the volume slider.
    const Slot& mute = table[slot::kMuteButton];
    const Slot& volume = table[slot::kVolumeSlider];
    const Rect view = ViewRect(kind, view_);
    const bool panel = kind != ViewerKind::kMotionDetection && kind != ViewerKind::kViewOnly;
    recordButton_->setGeometry(std::max(view.x + view.width - kIconButton.width, volume.x + volume.width + 8),
                               mute.y, kIconButton.width, kIconButton.height);
    recordButton_->setVisible(panel && !statusShown_);
    if (kind == ViewerKind::kMotionDetection) {
        for (QWidget* w : slots_)
            if (w) w->hide();
    }
    if (size() != QSize(control.width, control.height)) {
        setFixedSize(control.width, control.height);
        Q_EMIT controlResized(size());
    }
    update();
}

void OcuviewWidget::PresentPicture(const uint8_t* bgr, int width, int height, int stride) {
    if (width <= 0 || height <= 0 || stride < width * 3) return;
    bool sizeChanged = false;
    {
        std::lock_guard<std::mutex> lock(surfaceLock_);
        if (surface_.width() != width || surface_.height() != height) {
            surface_ = QImage(width, height, QImage::Format_BGR888);
            sizeChanged = true;
        }
        const std::size_t row = static_cast<std::size_t>(width) * 3;
        for (int y = 0; y < height; ++y)
            std::memcpy(surface_.scanLine(y), bgr + static_cast<std::ptrdiff_t>(y) * stride, row);
    }
    // Paint on the GUI thread; a size change re-lays out the control first.
    QMetaObject::invokeMethod(
        this,
        [this, width, height, sizeChanged] {
            if (sizeChanged || picture_.width != width || picture_.height != height) OnPicture(width, height);
            update(ViewRect(facts_.kind, view_).x, ViewRect(facts_.kind, view_).y, view_.width, view_.height);
        },
        Qt::QueuedConnection);
}

void OcuviewWidget::OnPicture(int width, int height) {
    picture_ = {width, height};
    Relayout();
}

QImage OcuviewWidget::currentPicture() const {
    std::lock_guard<std::mutex> lock(surfaceLock_);
    return surface_.copy();
}

void OcuviewWidget::ShowOverlayText(const QString& text) {
    if (text == overlay_) return;
    overlay_ = text;
    if (statusShown_) return;
    dateTime_->setText(text);
    FitDateLabel();
}

void OcuviewWidget::FitDateLabel() {
    // At least the slot's 160 pixels, wider when the camera time needs it (it would be cut otherwise).
    const int needed = dateTime_->fontMetrics().horizontalAdvance(dateTime_->text()) + 4;
    dateTime_->resize(std::max(kDateTimeLabel.width, needed), dateTime_->height());
}

void OcuviewWidget::ShowStatusText(const QString& text) {
    statusShown_ = true;
    motion_->Hide();
    for (QWidget* w : slots_)
        if (w) w->hide();
    recordButton_->hide();
    dateTime_->setText(text);
    dateTime_->move(20, 20);
    dateTime_->adjustSize();
    dateTime_->show();
    update();
}

void OcuviewWidget::ViewerStopped() {
    model_.OnStopped();
    picking_ = false;
    releaseMouse();
    unsetCursor();
    update();
}

QString OcuviewWidget::recordDirectory() const {
    if (!recordDirectory_.isEmpty()) return recordDirectory_;
    const QString movies = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    return !movies.isEmpty() && QDir(movies).exists() ? movies : QDir::homePath();
}

void OcuviewWidget::StartRecording(const QString& path) {
    if (!backend_ || recording_) return;
    const QString target =
        !path.isEmpty()
            ? path
            : recordDirectory() +
                  QStringLiteral("/ocuview_%1_00")
                      .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_hhmmss")));
    backend_->StartRecording(target.toStdString());
}

void OcuviewWidget::StopRecording() {
    if (backend_ && recording_) backend_->StopRecording();
}

void OcuviewWidget::RecordingStarted(const QString& firstFile) {
    recording_ = true;
    recordState_ = QStringLiteral("on ") + firstFile;
    recordButton_->setChecked(true);
    recordButton_->setToolTip(tr("Recording into %1: press to stop").arg(firstFile));
    Q_EMIT recordingChanged(true, firstFile);
}

void OcuviewWidget::RecordingRefused(const QString& reason) {
    recording_ = false;
    recordState_ = QStringLiteral("refused: ") + reason;
    recordButton_->setChecked(false);
    Q_EMIT recordingChanged(false, recordState_);
}

void OcuviewWidget::RecordingEnded(const RecordingSummary& summary) {
    recording_ = false;
    QStringList files;
    for (const std::string& p : summary.paths) files << QString::fromStdString(p);
    recordState_ = QStringLiteral("ended %1: %2 pictures, %3 bytes of audio")
                       .arg(files.join(QLatin1Char(' ')))
                       .arg(summary.picturesWritten)
                       .arg(summary.audioBytesWritten);
    if (!summary.error.empty()) recordState_ += QStringLiteral("; ") + QString::fromStdString(summary.error);
    recordButton_->setChecked(false);
    recordButton_->setToolTip(tr("Record the live stream"));
    Q_EMIT recordingChanged(false, recordState_);
}

QString OcuviewWidget::labelText() const {
    return dateTime_->text();
}

void OcuviewWidget::SetMuted(bool muted) {
    muted_ = muted;
    if (backend_) backend_->SetMute(muted);
    Relayout();
}

void OcuviewWidget::SetKnob(int knob) {
    knob_ = std::clamp(knob, 0, kVolumeSliderLength);
    slider_->setKnob(knob_);
}

void OcuviewWidget::BeginZoomPick() {
    if (!described_) return;
    picking_ = true;
    setCursor(Qt::CrossCursor);
    grabMouse(Qt::CrossCursor);
}

void OcuviewWidget::ZoomClick(Point click) {
    picking_ = false;
    releaseMouse();
    unsetCursor();
    if (!ZoomClickInside(facts_.kind, view_, click)) return;
    zoomCentre_ = ZoomCentreFor(facts_.kind, view_, click);
    zoomOn_ = true;
    Relayout();
}

void OcuviewWidget::EndZoom() {
    zoomOn_ = false;
    Relayout();
}

void OcuviewWidget::mousePressEvent(QMouseEvent* event) {
    if (picking_ && event->button() == Qt::LeftButton) {
        const QPoint at = event->position().toPoint();
        ZoomClick({at.x(), at.y()});
        return;
    }
    QWidget::mousePressEvent(event);
}

void OcuviewWidget::Capture() {
    const QImage picture = currentPicture();
    if (picture.isNull()) return;
    // At most ten captures are open; the first free place takes the new one.
    for (auto& place : captures_) {
        if (place) continue;
        auto* dialog = new CaptureDialog(picture, this);
        dialog->setWindowFlag(Qt::Window);
        place = dialog;
        dialog->show();
        Q_EMIT captureOpened(dialog);
        return;
    }
}

int OcuviewWidget::captureDialogCount() const {
    return static_cast<int>(
        std::count_if(captures_.begin(), captures_.end(), [](const auto& d) { return !d.isNull(); }));
}

void OcuviewWidget::OpenTransmissionDialog() {
    TransportDialog dialog(facts_.sessionMode, facts_.multicast, this);
    if (dialog.exec() != QDialog::Accepted || dialog.choice() == facts_.sessionMode) return;
    const char* keyword = dialog.choice() == StreamMode::Tcp          ? "PRM_MODE_TCPUNICAST"
                          : dialog.choice() == StreamMode::UdpUnicast ? "PRM_MODE_UDPUNICAST"
                                                                      : "PRM_MODE_UDPMULTICAST";
    keepView_ = true;
    model_.PrmSetControlParam("PRM_PARAM_STREAMMODE", keyword);  // stores the request and restarts
}

void OcuviewWidget::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    model_.SetReady();
}

void OcuviewWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), kControlBackground);
    if (!described_ || statusShown_) return;
    const ViewerKind kind = facts_.kind;
    p.setRenderHint(QPainter::Antialiasing);
    const Size panel = PanelSize(kind);
    p.setPen(Qt::NoPen);
    p.setBrush(Colour(ColourRole::CtrlBack));
    if (panel.width > 0) p.drawRoundedRect(QRectF(kMargin, kMargin, panel.width, panel.height), 10, 10);
    // The motion-detection view's column of window settings right of the picture.
    if (kind == ViewerKind::kMotionDetection) p.drawRoundedRect(QRectF(644, 4, 104, 512), 10, 10);
    const Rect view = ViewRect(kind, view_);
    const QRect target(view.x, view.y, view.width, view.height);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(Colour(ColourRole::PictFrame), 2));
    p.setBrush(Qt::black);
    p.drawRect(target.adjusted(-1, -1, 1, 1));
    std::lock_guard<std::mutex> lock(surfaceLock_);
    if (surface_.isNull()) return;
    const Size picture{surface_.width(), surface_.height()};
    QRect source(0, 0, picture.width, picture.height);
    if (zoomOn_) {
        const Rect w = ZoomWindow(zoomCentre_, picture);
        source = QRect(w.x, w.y, w.width, w.height);
    }
    // Stretch only when the view differs from the picture (or zoom magnifies it).
    p.setRenderHint(QPainter::SmoothPixmapTransform, source.size() != target.size());
    p.drawImage(target, surface_, source);
}

void OcuviewWidget::PrmPlayStart() {
    model_.PrmPlayStart();
}
void OcuviewWidget::PrmPlayStop() {
    model_.PrmPlayStop();
}
void OcuviewWidget::PrmSetControlParam(const QString& param, const QString& arg) {
    model_.PrmSetControlParam(param.toStdString(), arg.toStdString());
}
void OcuviewWidget::PrmSetControlColor(const QString& param, const QString& arg) {
    model_.PrmSetControlColor(param.toStdString(), arg.toStdString());
}
void OcuviewWidget::PrmSetNetworkParam(const QString& param, const QString& arg) {
    model_.PrmSetNetworkParam(param.toStdString(), arg.toStdString());
}
void OcuviewWidget::PrmExecTriggerControl(const QString& param) {
    model_.PrmExecTriggerControl(param.toStdString());
}
void OcuviewWidget::PrmExecDZoomControl(const QString& flag, const QString& x, const QString& y) {
    model_.PrmExecDZoomControl(flag.toStdString(), x.toStdString(), y.toStdString());
}
QString OcuviewWidget::PrmGetControlParam(const QString& param) const {
    return QString::fromStdString(model_.PrmGetControlParam(param.toStdString()));
}
QString OcuviewWidget::PrmGetControlColor(const QString& param) const {
    return QString::fromStdString(model_.PrmGetControlColor(param.toStdString()));
}
QString OcuviewWidget::PrmGetNetworkParam(const QString& param) const {
    return QString::fromStdString(model_.PrmGetNetworkParam(param.toStdString()));
}
QString OcuviewWidget::PrmGetVersion() const {
    return QString::fromStdString(model_.PrmGetVersion());
}
QString OcuviewWidget::PrmGetModuleName() const {
    return QString::fromStdString(model_.PrmGetModuleName());
}
QString OcuviewWidget::PrmCalcModuleWidth(const QString& viewMode, const QString& viewSize) const {
    return QString::fromStdString(
        ControlModel::PrmCalcModuleWidth(viewMode.toStdString(), viewSize.toStdString()));
}
QString OcuviewWidget::PrmCalcModuleHeight(const QString& viewMode, const QString& viewSize) const {
    return QString::fromStdString(
        ControlModel::PrmCalcModuleHeight(viewMode.toStdString(), viewSize.toStdString()));
}

}  // namespace ocuview
