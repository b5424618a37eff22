#include "core_backend.h"

#include <QMessageBox>
#include <chrono>
#include <thread>

#include "widget/password_dialog.h"

namespace ocuview {

namespace {

std::optional<SessionMode> SessionModeOf(StreamMode request) {
    switch (request) {
        case StreamMode::Tcp:
            return SessionMode::kTcp;
        case StreamMode::UdpUnicast:
            return SessionMode::kUdpUnicast;
        case StreamMode::UdpMulticast:
            return SessionMode::kUdpMulticast;
        case StreamMode::None:
            break;
    }
    return std::nullopt;
}

StreamMode StreamModeOf(SessionMode mode) {
    switch (mode) {
        case SessionMode::kUdpUnicast:
            return StreamMode::UdpUnicast;
        case SessionMode::kUdpMulticast:
            return StreamMode::UdpMulticast;
        case SessionMode::kTcp:
            break;
    }
    return StreamMode::Tcp;
}

}  // namespace

CoreBackend::CoreBackend(OcuviewWidget& widget, std::string iniPath)
    : widget_(&widget), iniPath_(std::move(iniPath)), context_(new QObject) {
    context_->moveToThread(&thread_);
    viewer_ =
        std::make_unique<Viewer>(static_cast<FrameSink&>(*this), static_cast<CredentialsProvider&>(*this),
                                 static_cast<ViewerObserver&>(*this));
    thread_.start();
}

CoreBackend::~CoreBackend() {
    // The viewer is stopped and destroyed on its own thread, then the thread ends.
    QMetaObject::invokeMethod(
        context_, [this] { viewer_.reset(); }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
    delete context_;  // its thread has ended: nothing can post to it any more
}

template <typename Job>
void CoreBackend::Post(Job&& job) {
    QMetaObject::invokeMethod(context_, std::forward<Job>(job), Qt::QueuedConnection);
}

ViewerSettings CoreBackend::SettingsFromModel() {
    ViewerSettings s;
    ControlModel& m = widget_->model();
    s.cameraHost = m.cameraHost();
    if (!m.cameraPort().empty()) s.cameraPort = m.cameraPort();
    s.motionDetectionView = m.motionDetectMode();
    s.viewModeMask = m.viewModeMask();
    s.sessionModeRequest = SessionModeOf(m.TakeStreamModeRequest());
    s.frameRate = m.frameRate();
    s.volume = m.volume();
    s.muted = m.muted();
    s.controlWidth = widget_->width();
    s.iniPath = iniPath_;
    return s;
}

void CoreBackend::Start() {
    stopping_ = false;
    pictures_ = 0;
    const ViewerSettings settings = SettingsFromModel();
    Post([this, settings] {
        requestedRate_ = settings.frameRate;
        viewer_->Configure(settings);
        const StartResult result = viewer_->Start();
        // Failures that show a message box end playing at once; the others show their status on the
        // next tick.
        if (result == StartResult::kInquiryFailed || result == StartResult::kStreamsFailed) {
            QMetaObject::invokeMethod(widget_, [w = widget_] {
                if (w) w->ViewerStopped();
            });
        }
    });
}

void CoreBackend::Stop() {
    // A password question in progress is abandoned (as Cancel) so that the viewer can stop.
    stopping_ = true;
    if (dialog_) dialog_->reject();
    // Synchronous: when Stop returns no decoding thread draws into the widget any more.
    QMetaObject::invokeMethod(
        context_, [this] { viewer_->Stop(); }, Qt::BlockingQueuedConnection);
}

void CoreBackend::Tick() {
    // One tick at a time: while the control thread is busy (a start-up waiting for the camera) the GUI
    // timer's ticks are dropped instead of piling up.
    if (tickPending_.exchange(true)) return;
    Post([this] {
        tickPending_ = false;
        viewer_->Tick();
    });
}

void CoreBackend::RequestRestart() {
    const ViewerSettings settings = SettingsFromModel();
    Post([this, settings] {
        requestedRate_ = settings.frameRate;
        viewer_->Configure(settings);
        viewer_->RequestRestart();
    });
}

void CoreBackend::SetFrameRate(int rate) {
    Post([this, rate] { viewer_->SetFrameRate(rate); });
}

void CoreBackend::SetVolume(int volume) {
    Post([this, volume] { viewer_->SetVolume(volume); });
}

void CoreBackend::SetMute(bool muted) {
    Post([this, muted] { viewer_->SetMute(muted); });
}

void CoreBackend::SendTrigger(const std::string& text) {
    Post([this, text] { viewer_->SendTrigger(text); });
}

void CoreBackend::SendMotionDetection(int window, MotionCommand command,
                                      const std::array<MotionWindow, 4>& windows) {
    Post([this, window, command, windows] {
        for (int n = 1; n <= 4; ++n) viewer_->SetMotionWindow(n, windows[static_cast<std::size_t>(n - 1)]);
        viewer_->SendMotionDetection(window, command);
    });
}

void CoreBackend::StartRecording(const std::string& path) {
    Post([this, path] {
        std::string message;
        const RecordResult result = viewer_->StartRecording(path, &message);
        const bool started = result == RecordResult::kStarted || result == RecordResult::kAlreadyRecording;
        QMetaObject::invokeMethod(widget_, [w = widget_, started, m = QString::fromStdString(message)] {
            if (!w) return;
            if (started)
                w->RecordingStarted(m);
            else
                w->RecordingRefused(m);
        });
    });
}

void CoreBackend::StopRecording() {
    Post([this] { (void)viewer_->StopRecording(); });
}

std::optional<RecordingSummary> CoreBackend::FinishRecording() {
    std::optional<RecordingSummary> summary;
    QMetaObject::invokeMethod(
        context_, [this, &summary] { summary = viewer_->StopRecording(); }, Qt::BlockingQueuedConnection);
    return summary;
}

void CoreBackend::OnRecordingEnded(const RecordingSummary& summary) {
    QMetaObject::invokeMethod(widget_, [w = widget_, summary] {
        if (w) w->RecordingEnded(summary);
    });
}

std::string CoreBackend::measuredRate() const {
    std::lock_guard<std::mutex> lock(rateLock_);
    return rate_;
}

void CoreBackend::OnFrame(const Frame& frame) {
    ++pictures_;
    // The widget outlives the viewer (its destructor stops us first), so it is safe to draw into here.
    if (OcuviewWidget* w = widget_.data())
        w->PresentPicture(frame.bgr, frame.width, frame.height, frame.stride);
}

std::optional<Credentials> CoreBackend::AskCredentials(const std::string& realm) {
    // The dialog runs on the GUI thread while this viewer thread waits for its answer, or gives up when the
    // backend is being stopped: the GUI thread may itself be waiting in Stop for this viewer, and a
    // blocking call both ways would never return. The answer goes straight back to the core.
    struct Question {
        std::mutex lock;  // guards done and answer
        bool done = false;
        std::optional<Credentials> answer;
    };
    auto question = std::make_shared<Question>();
    QMetaObject::invokeMethod(widget_, [this, question, realm] {
        std::optional<Credentials> answer;
        if (widget_ && !stopping_) {
            // On the heap and guarded: the control may go away while the dialog's own event loop runs.
            QPointer<PasswordDialog> dialog = new PasswordDialog(
                QString::fromStdString(widget_->model().hostField()), QString::fromStdString(realm), widget_);
            dialog_ = dialog;
            const int result = dialog->exec();
            if (dialog && result == QDialog::Accepted && !stopping_)
                answer = Credentials{dialog->user(), dialog->password()};
            delete dialog.data();
        }
        std::lock_guard<std::mutex> hold(question->lock);
        question->answer = std::move(answer);
        question->done = true;
    });
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(question->lock);
            if (question->done) return std::move(question->answer);
        }
        if (stopping_) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void CoreBackend::OnOverlayText(std::string_view text) {
    QMetaObject::invokeMethod(
        widget_, [w = widget_, t = QString::fromUtf8(text.data(), static_cast<int>(text.size()))] {
            if (w) w->ShowOverlayText(t);
        });
}

void CoreBackend::OnStatus(int, std::string_view text) {
    QMetaObject::invokeMethod(
        widget_, [w = widget_, t = QString::fromUtf8(text.data(), static_cast<int>(text.size()))] {
            if (!w) return;
            if (!t.isEmpty()) w->ShowStatusText(t);
            w->ViewerStopped();
        });
}

void CoreBackend::OnCameraDescribed(const CameraDescription& camera, ViewerKind kind) {
    PanelFacts facts;
    facts.kind = kind;
    facts.codec = camera.codec;
    facts.viewerMode = camera.viewerMode;
    facts.frameRates = FrameRateList(camera.jpegFrameRate);
    // The property's rate when the camera can deliver it, else the camera's highest.
    facts.frameRate = (requestedRate_ >= 1 && requestedRate_ <= camera.jpegFrameRate) ? requestedRate_
                                                                                      : camera.jpegFrameRate;
    facts.triggers = TriggerList(camera.triggers);
    facts.multicast = camera.multicast;
    facts.motionWindows = camera.windows;
    QMetaObject::invokeMethod(widget_, [w = widget_, facts] {
        if (w) w->ShowCamera(facts);
    });
}

void CoreBackend::OnSessionMode(SessionMode mode) {
    QMetaObject::invokeMethod(widget_, [w = widget_, m = StreamModeOf(mode)] {
        if (w) w->SetSessionMode(m);
    });
}

void CoreBackend::OnMessageBox(std::string_view title, std::string_view text) {
    const QString caption = QString::fromUtf8(title.data(), static_cast<int>(title.size()));
    const QString message = QString::fromUtf8(text.data(), static_cast<int>(text.size()));
    QMetaObject::invokeMethod(widget_, [w = widget_, caption, message] {
        if (!w) return;
        auto* box = new QMessageBox(QMessageBox::Warning, caption, message, QMessageBox::Ok, w);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
}

void CoreBackend::OnMotionLevels(const std::array<int, 4>& levels) {
    // As with pictures: the widget outlives the viewer; the meters are set on the GUI thread.
    if (OcuviewWidget* w = widget_.data()) w->ShowMotionLevels(levels);
}

void CoreBackend::OnFrameRate(std::string_view text) {
    std::lock_guard<std::mutex> lock(rateLock_);
    rate_ = std::string(text);
}

}  // namespace ocuview
