#include "gui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLinearGradient>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QThread>
#include <QUrl>
#include <algorithm>

#include "core/report.h"
#include "gui/command_line.h"
#include "gui/info_panel.h"
#include "gui/skin_button.h"
#include "gui/skin_resources.h"
#include "gui/string_text.h"

namespace reeldeck::gui {

namespace {

// Window texts and messages (string-table numbers).
constexpr int kTitle = 1;
constexpr int kCannotChooseTwo = 34;
constexpr int kCannotReadFile = 38;
constexpr int kCannotCaptureMore = 64;

// Skin geometry, logical pixels.
constexpr int kMargin = 10;
constexpr int kGap = 8;
constexpr int kButtonSize = 22;
constexpr int kSliderHeight = 18;
constexpr int kRowHeight = 24;
constexpr int kVolumeWidth = 76;
constexpr int kMaxRecent = 8;
constexpr int kFirstButton = cmd::kPlay;

// Two sliders of one look; the thumb widths follow the original controls (8 and 7 pixels).
QString SliderStyle(int thumbWidth) {
    return QString(
               "QSlider::groove:horizontal { height: 4px; background: #1b1d22; border-radius: 2px; }"
               "QSlider::sub-page:horizontal { background: #3f82e8; border-radius: 2px; }"
               "QSlider::add-page:horizontal { background: #1b1d22; border-radius: 2px; }"
               "QSlider::handle:horizontal { width: %1px; margin: -6px 0; border-radius: 3px;"
               " background: #e8eaed; }"
               "QSlider::handle:horizontal:hover { background: #ffffff; }"
               "QSlider::sub-page:horizontal:disabled { background: #3a3e46; }"
               "QSlider::handle:horizontal:disabled { background: #4d525b; }")
        .arg(thumbWidth);
}

struct ButtonFace {
    int id;
    const char* strip;
    int tip;
};
// In panel order: Open, Play, Pause, Stop, Capture, Information, Mute.
constexpr ButtonFace kFaces[] = {
    {cmd::kOpen, ":/skin/button_open.svg", 5},       {cmd::kPlay, ":/skin/button_play.svg", 6},
    {cmd::kPause, ":/skin/button_pause.svg", 7},     {cmd::kStop, ":/skin/button_stop.svg", 8},
    {cmd::kCapture, ":/skin/button_capture.svg", 9}, {cmd::kInformation, ":/skin/button_info.svg", 11},
    {cmd::kMute, ":/skin/button_mute.svg", 10},
};

// Which mask bit enables a command (commands outside the mask are always enabled).
unsigned MaskBitFor(int id) {
    switch (id) {
        case cmd::kPlay:
        case cmd::kPlayKey:
            return kButtonPlay;
        case cmd::kPause:
        case cmd::kPauseKey:
            return kButtonPause;
        case cmd::kStop:
        case cmd::kStopKey:
            return kButtonStop;
        case cmd::kCapture:
        case cmd::kCaptureKey:
            return kButtonCapture;
        case cmd::kOpen:
        case cmd::kOpenKey:
            return kButtonOpen;
        default:
            return 0;
    }
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QWidget(parent), captures_(this), mask_(kStateIdle) {
    InitSkinResources();
    setWindowTitle(StringText(kTitle) + " ver" + QString::fromUtf8(QXR_VERSION_TEXT));
    setWindowIcon(QIcon(":/skin/reeldeck.svg"));
    setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);
    QFont counterFont("DejaVu Sans Mono");
    counterFont.setStyleHint(QFont::Monospace);
    counterFont.setPixelSize(11);
    BuildControls();
    counter_->setFont(counterFont);
    BuildShortcuts();
    notifications_.SetWake([this] {
        if (drainPending_.exchange(true)) return;
        QMetaObject::invokeMethod(this, &MainWindow::DrainNotifications, Qt::QueuedConnection);
    });
    openDialog_ = [](QWidget* owner) {
        return QFileDialog::getOpenFileName(owner, QString(), QString(),
                                            "QXR File ( *.m4f, *.jpf ) (*.m4f *.jpf);;"
                                            "JPEG File ( *.jpg, *.jpe, *.jpeg ) (*.jpg *.jpe *.jpeg);;"
                                            "Bitmap File ( *.bmp ) (*.bmp);;"
                                            "All ( *.* ) (*)",
                                            nullptr, QFileDialog::HideNameFilterDetails);
    };
    picture_->SetAlarmProbe([this] { return player_ ? player_->ActiveAlarm() : AlarmBand::kNone; });
    LayOut({320, 240});
    ApplyState();
}

MainWindow::~MainWindow() {
    // The engine's threads call into this window: stop them before anything here goes away.
    if (player_) player_->Stop();
    player_.reset();
}

void MainWindow::SetPlayer(std::unique_ptr<PlayerControl> player) {
    if (player_) player_->Stop();
    player_ = std::move(player);
    if (player_) {
        player_->SetVolume(volume_);
        player_->SetSound(soundOn_);
    }
}

void MainWindow::BuildControls() {
    picture_ = new PictureView(this);
    connect(picture_, &PictureView::doubleClicked, this, &MainWindow::ToggleFullScreen);
    connect(picture_, &PictureView::wheelSteps, this, [this](int steps) { StepUnits(steps); });
    for (const ButtonFace& face : kFaces) {
        auto* button =
            new SkinButton(face.id, face.strip, QSize(kButtonSize, kButtonSize), StringText(face.tip), this);
        connect(button, &SkinButton::command, this, &MainWindow::Command);
        buttons_[static_cast<std::size_t>(face.id - kFirstButton)] = button;
    }
    Button(cmd::kMute)->SetToggled(soundOn_);  // toggled means sound on

    timeSlider_ = new QSlider(Qt::Horizontal, this);
    timeSlider_->setToolTip(StringText(13));
    timeSlider_->setStyleSheet(SliderStyle(8));
    timeSlider_->setRange(0, 0);
    timeSlider_->setFocusPolicy(Qt::NoFocus);
    // A drag (or a click on the track) positions the player paused at the released unit.
    connect(timeSlider_, &QSlider::sliderReleased, this, [this] { SeekPaused(timeSlider_->value()); });
    connect(timeSlider_, &QSlider::actionTriggered, this, [this](int action) {
        if (action == QAbstractSlider::SliderPageStepAdd || action == QAbstractSlider::SliderPageStepSub) {
            SeekPaused(timeSlider_->sliderPosition());
        }
    });

    volumeSlider_ = new QSlider(Qt::Horizontal, this);
    volumeSlider_->setToolTip(StringText(12));
    volumeSlider_->setStyleSheet(SliderStyle(7));
    volumeSlider_->setRange(0, 100);
    volumeSlider_->setValue((volume_ * 100 + 32767) / 65535);  // 0x7FFF shows as 50
    volumeSlider_->setFocusPolicy(Qt::NoFocus);
    connect(volumeSlider_, &QSlider::valueChanged, this, [this](int v) {
        volume_ = static_cast<uint16_t>(v * 65535 / 100);
        if (player_) player_->SetVolume(volume_);
    });

    counter_ = new QLabel(this);
    counter_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    counter_->setStyleSheet("color: #d6d9de;");

    info_ = new InfoPanel(this);
    info_->hide();
}

void MainWindow::BuildShortcuts() {
    const struct {
        QKeySequence key;
        int command;
    } keys[] = {
        {Qt::Key_F1, cmd::kInformationKey},  {Qt::Key_F2, cmd::kPlayKey},
        {Qt::Key_F3, cmd::kPauseKey},        {Qt::Key_F4, cmd::kStopKey},
        {Qt::Key_F5, cmd::kCaptureKey},      {Qt::Key_F6, cmd::kOpenKey},
        {Qt::Key_F7, cmd::kMuteKey},         {Qt::Key_F8, cmd::kZoomKey},
        {QKeySequence::Open, cmd::kOpenKey},
    };
    for (const auto& k : keys) {
        auto* shortcut = new QShortcut(k.key, this);
        const int command = k.command;
        connect(shortcut, &QShortcut::activated, this, [this, command] { Command(command); });
    }
    auto* full = new QShortcut(Qt::Key_F11, this);
    connect(full, &QShortcut::activated, this, &MainWindow::ToggleFullScreen);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    const unsigned mask = mask_.load();
    switch (event->key()) {
        case Qt::Key_Space:
            Command((mask & kButtonPlay) != 0 && (mask & kButtonPause) == 0 ? cmd::kPlay : cmd::kPause);
            return;
        case Qt::Key_Left:
            StepUnits(-1);
            return;
        case Qt::Key_Right:
            StepUnits(1);
            return;
        case Qt::Key_Home:
            SeekPaused(timeSlider_->minimum());
            return;
        case Qt::Key_End:
            SeekPaused(timeSlider_->maximum());
            return;
        case Qt::Key_Escape:
            if (fullScreen_) ToggleFullScreen();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

SkinButton* MainWindow::Button(int id) const {
    if (id < cmd::kPlay || id > cmd::kMute) return nullptr;
    return buttons_[static_cast<std::size_t>(id - kFirstButton)];
}

QString MainWindow::CounterText() const {
    return counter_->text();
}

void MainWindow::LayOut(Extent area) {
    area = FitPicture(area);
    picture_->SetArea(area);
    if (fullScreen_) return;
    const int panelWidth = std::max(area.width, kMinPanelWidth);
    int y = kMargin;
    picture_->move(kMargin + (panelWidth - area.width) / 2, y);
    y += area.height + kGap;
    timeSlider_->setGeometry(kMargin, y, panelWidth, kSliderHeight);
    y += kSliderHeight + 4;

    // Buttons: spread with 6-pixel gaps when there is room, else packed (7 x 22 + 6 = the 160 minimum).
    const int spreadWidth = 7 * kButtonSize + 6 * 6;
    const int gap = panelWidth >= spreadWidth ? 6 : 1;
    const int buttonsWidth = 7 * kButtonSize + 6 * gap;
    int x = kMargin;
    for (const ButtonFace& face : kFaces) {
        Button(face.id)->move(x, y + (kRowHeight - kButtonSize) / 2);
        x += kButtonSize + gap;
    }
    const int counterWidth = counter_->fontMetrics().horizontalAdvance("0000/00/00 Www 00:00:00") + 8;
    const int right = kMargin + panelWidth;
    if (panelWidth >= buttonsWidth + 2 * kGap + counterWidth + kVolumeWidth) {
        // One row: buttons, the counter, the volume at the right edge.
        volumeSlider_->setGeometry(right - kVolumeWidth, y + 3, kVolumeWidth, kSliderHeight);
        counter_->setGeometry(volumeSlider_->x() - kGap - counterWidth, y, counterWidth, kRowHeight);
        counter_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        y += kRowHeight;
    } else if (panelWidth >= buttonsWidth + kGap + kVolumeWidth) {
        // Buttons and volume, then the counter centred below.
        volumeSlider_->setGeometry(right - kVolumeWidth, y + 3, kVolumeWidth, kSliderHeight);
        y += kRowHeight + 2;
        counter_->setGeometry(kMargin, y, panelWidth, kRowHeight);
        counter_->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        y += kRowHeight;
    } else {
        // Narrow: the counter and the volume get a row each.
        y += kRowHeight + 2;
        counter_->setGeometry(kMargin, y, panelWidth, kRowHeight);
        counter_->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        y += kRowHeight;
        volumeSlider_->setGeometry(kMargin + (panelWidth - kVolumeWidth) / 2, y + 3, kVolumeWidth,
                                   kSliderHeight);
        y += kRowHeight;
    }
    int width = kMargin + panelWidth + kMargin;
    int height = y + kMargin;
    if (infoShown_) {
        const int infoHeight = std::max(height - 2 * kMargin, info_->NeededHeight());
        info_->setGeometry(width, kMargin, InfoPanel::kWidth, infoHeight);
        width += InfoPanel::kWidth + kMargin;
        height = std::max(height, infoHeight + 2 * kMargin);
        info_->show();
    } else {
        info_->hide();
    }
    setFixedSize(width, height);
    update();
}

void MainWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QLinearGradient background(0, 0, 0, height());
    background.setColorAt(0, QColor(0x34, 0x38, 0x40));
    background.setColorAt(1, QColor(0x24, 0x27, 0x2d));
    painter.fillRect(rect(), background);
    if (fullScreen_) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    // A thin frame around the picture area.
    painter.setPen(QColor(0x14, 0x16, 0x1a));
    painter.drawRect(picture_->geometry().adjusted(-1, -1, 0, 0));
}

void MainWindow::ToggleFullScreen() {
    if (!fullScreen_) {
        normalArea_ = picture_->Area();
        fullScreen_ = true;
        for (QWidget* w : std::initializer_list<QWidget*>{timeSlider_, volumeSlider_, counter_, info_})
            w->hide();
        for (SkinButton* b : buttons_) b->hide();
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        showFullScreen();
        const QSize screen = this->screen() != nullptr ? this->screen()->size() : size();
        // The picture keeps its aspect and fills the screen one way.
        const Extent picture = normalArea_;
        Extent area{screen.width(), picture.height * screen.width() / std::max(picture.width, 1)};
        if (area.height > screen.height()) {
            area = {picture.width * screen.height() / std::max(picture.height, 1), screen.height()};
        }
        picture_->SetArea(area);
        picture_->move((screen.width() - area.width) / 2, (screen.height() - area.height) / 2);
    } else {
        fullScreen_ = false;
        showNormal();
        for (QWidget* w : std::initializer_list<QWidget*>{timeSlider_, volumeSlider_, counter_}) w->show();
        for (SkinButton* b : buttons_) b->show();
        picture_->SetArea(normalArea_);
        LayOut(normalArea_);
    }
    update();
}

void MainWindow::Command(int id) {
    const unsigned bit = MaskBitFor(id);
    if (bit != 0 && (mask_.load() & bit) == 0) return;
    switch (id) {
        case cmd::kPlay:
        case cmd::kPlayKey:
            if (player_) player_->Play();
            break;
        case cmd::kPause:
        case cmd::kPauseKey:
            if (player_) player_->TogglePause();
            break;
        case cmd::kStop:
        case cmd::kStopKey:
            if (player_) player_->Rewind();
            break;
        case cmd::kCapture:
        case cmd::kCaptureKey:
            if (player_) player_->Capture();
            break;
        case cmd::kOpen:
        case cmd::kOpenKey:
            ChooseAndOpen();
            break;
        case cmd::kInformation:
        case cmd::kInformationKey:
            infoShown_ = !infoShown_;
            Button(cmd::kInformation)->SetToggled(infoShown_);
            LayOut(picture_->Area());
            break;
        case cmd::kMute:
        case cmd::kMuteKey:
            soundOn_ = !soundOn_;
            Button(cmd::kMute)->SetToggled(soundOn_);
            if (player_) player_->SetSound(soundOn_);
            break;
        case cmd::kZoomKey:
            if (fullScreen_) break;
            LayOut(ZoomedArea(picture_->Area(), zoomStep_));
            zoomStep_ = NextZoomStep(zoomStep_);
            break;
        default:
            break;
    }
}

void MainWindow::ChooseAndOpen() {
    const QString path = openDialog_ ? openDialog_(this) : QString();
    if (!path.isEmpty()) OpenPath(path);
}

bool MainWindow::OpenPath(const QString& path) {
    // Recordings and stills alike go to the engine, which stops what plays first.
    if (player_ == nullptr || !player_->Open(path.toStdString())) {
        ClearWindow();
        REELDECK_REPORT(kCannotReadFile);
        return false;
    }
    zoomStep_ = 0;
    RememberRecent(path);
    return true;
}

void MainWindow::OpenFiles(const QStringList& paths) {
    if (paths.isEmpty()) return;
    if (paths.size() > 1) {
        REELDECK_REPORT(kCannotChooseTwo);
        return;
    }
    OpenPath(paths.front());
}

void MainWindow::HandOver(uint32_t dataWord, const QString& path) {
    switch (ClassifyHandOver(dataWord)) {
        case HandOverAction::kIgnore:
            return;
        case HandOverAction::kOpen:
            OpenPath(path);
            return;
        case HandOverAction::kTooManyFiles:
            REELDECK_REPORT(kCannotChooseTwo);
            return;
    }
}

void MainWindow::ClearWindow() {
    picture_->Clear();
    {
        std::lock_guard<std::mutex> hold(stateLock_);
        cameraTime_.clear();
    }
    sliderUnit_ = 0;
    RequestApply();
}

void MainWindow::StepUnits(int delta) {
    SeekPaused(timeSlider_->value() + delta);
}

void MainWindow::SeekPaused(int unit) {
    if ((mask_.load() & kButtonSlider) == 0) return;
    unit = std::clamp(unit, timeSlider_->minimum(), timeSlider_->maximum());
    // The slider stays where the user put it until the engine reports from the new position.
    sliderUnit_ = unit;
    timeSlider_->setValue(unit);
    notifications_.Post(PlayerNotification::kSeekRequest, unit, 1);
}

void MainWindow::DrainNotifications() {
    drainPending_ = false;
    while (const std::optional<PostedNotification> n = notifications_.TryTake()) {
        switch (n->code) {
            case PlayerNotification::kSeekRequest:
                if (player_) player_->Seek(static_cast<int>(n->wParam), n->lParam != 0);
                break;
            case PlayerNotification::kCaptureReady:
                if (n->wParam < kCaptureSlots) {
                    captures_.Show(static_cast<int>(n->wParam));
                } else {
                    REELDECK_REPORT(kCannotCaptureMore);
                }
                break;
            case PlayerNotification::kError:
                if (player_) player_->Stop();
                ClearWindow();
                REELDECK_REPORT(static_cast<int>(n->wParam));
                break;
            default:
                break;
        }
    }
}

// ---- PlayerHost: may run on the engine's threads ----

void MainWindow::ShowPicture(const DisplayBuffer& buffer, double) {
    picture_->ShowPicture(buffer);
}

int MainWindow::UnitForPosition(int64_t videoPosition) {
    return player_ ? player_->UnitForPosition(videoPosition) : 0;
}

void MainWindow::MoveSlider(int unit) {
    sliderUnit_ = unit;
    RequestApply();
}

void MainWindow::SetSliderRange(int first, int last) {
    // Inside Open, on the main thread.
    timeSlider_->setRange(first, std::max(first, last));
    timeSlider_->setPageStep(std::max(1, (last - first) / 10));
    sliderUnit_ = first;
    RequestApply();
}

void MainWindow::CameraTimeChanged(std::string_view text) {
    {
        std::lock_guard<std::mutex> hold(stateLock_);
        cameraTime_.assign(text);
    }
    RequestApply();
}

void MainWindow::CapturePicture(const DisplayBuffer& picture, std::string_view cameraTime) {
    const int slot = captures_.Store(picture, cameraTime);
    notifications_.Post(PlayerNotification::kCaptureReady, slot);
}

void MainWindow::SetInformation(const RecordingInfo& info) {
    info_->SetInformation(info);
}

void MainWindow::SetPictureSize(int width, int height) {
    if (fullScreen_) ToggleFullScreen();
    LayOut({width, height});
}

int MainWindow::CreateDisplayBuffer(int width, int height, DisplayBuffer& out) {
    return picture_->CreateDisplayBuffer(width, height, out);
}

void MainWindow::SetButtonState(unsigned mask) {
    mask_ = mask;
    RequestApply();
}

void MainWindow::ClearPicture() {
    picture_->Clear();
}

void MainWindow::RequestApply() {
    if (QThread::currentThread() == thread()) {
        ApplyState();
        return;
    }
    if (applyPending_.exchange(true)) return;
    QMetaObject::invokeMethod(this, &MainWindow::ApplyState, Qt::QueuedConnection);
}

void MainWindow::ApplyState() {
    applyPending_ = false;
    const unsigned mask = mask_.load();
    Button(cmd::kPlay)->setEnabled((mask & kButtonPlay) != 0);
    Button(cmd::kPause)->setEnabled((mask & kButtonPause) != 0);
    Button(cmd::kStop)->setEnabled((mask & kButtonStop) != 0);
    Button(cmd::kCapture)->setEnabled((mask & kButtonCapture) != 0);
    Button(cmd::kOpen)->setEnabled((mask & kButtonOpen) != 0);
    timeSlider_->setEnabled((mask & kButtonSlider) != 0);
    if (!timeSlider_->isSliderDown()) timeSlider_->setValue(sliderUnit_.load());
    std::lock_guard<std::mutex> hold(stateLock_);
    counter_->setText(FromUtf8(cameraTime_));
}

// ---- files from outside ----

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) paths.push_back(url.toLocalFile());
    event->acceptProposedAction();
    OpenFiles(paths);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* open = menu.addAction("Open…", [this] { Command(cmd::kOpenKey); });
    open->setEnabled((mask_.load() & kButtonOpen) != 0);
    QMenu* recent = menu.addMenu("Open Recent");
    for (const QString& path : RecentFiles()) {
        recent->addAction(path, [this, path] { OpenPath(path); })->setEnabled(open->isEnabled());
    }
    recent->setEnabled(!recent->isEmpty());
    menu.addSeparator();
    menu.addAction(fullScreen_ ? "Leave Full Screen" : "Full Screen", this, &MainWindow::ToggleFullScreen);
    menu.addAction("Information", [this] { Command(cmd::kInformationKey); });
    menu.exec(event->globalPos());
}

void MainWindow::RememberRecent(const QString& path) {
    QStringList list = RecentFiles();
    list.removeAll(path);
    list.prepend(path);
    while (list.size() > kMaxRecent) list.removeLast();
    QSettings().setValue("recentFiles", list);
}

QStringList MainWindow::RecentFiles() const {
    return QSettings().value("recentFiles").toStringList();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (player_) player_->Stop();
    event->accept();
}

}  // namespace reeldeck::gui
