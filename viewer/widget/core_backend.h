// The viewer core behind an OcuviewWidget. The core wants one thread for its start-up, timer and commands,
// and its start-up blocks for the camera's inquiry; so each widget gets its own control thread that makes
// every Viewer call, while the GUI thread stays responsive. The core's reports come back to the widget on
// the GUI thread; pictures go straight from the decoding thread into the widget's bitmap.
#ifndef OCUVIEW_WIDGET_CORE_BACKEND_H
#define OCUVIEW_WIDGET_CORE_BACKEND_H

#include <QObject>
#include <QPointer>
#include <QThread>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "core/viewer.h"
#include "widget/ocuview_widget.h"
#include "widget/password_dialog.h"

namespace ocuview {

class CoreBackend : public ViewerBackend,
                    private FrameSink,
                    private CredentialsProvider,
                    private ViewerObserver {
  public:
    // `iniPath` empty: the core's default INI file.
    explicit CoreBackend(OcuviewWidget& widget, std::string iniPath = {});
    ~CoreBackend() override;

    void Start() override;
    void Stop() override;
    void Tick() override;
    void RequestRestart() override;
    void SetFrameRate(int rate) override;
    void SetVolume(int volume) override;
    void SetMute(bool muted) override;
    void SendTrigger(const std::string& text) override;
    void SendMotionDetection(int window, MotionCommand command,
                             const std::array<MotionWindow, 4>& windows) override;
    void StartRecording(const std::string& path) override;
    void StopRecording() override;
    // Ends a recording now (blocking until its files are in place); nullopt when none was running.
    std::optional<RecordingSummary> FinishRecording();

    // The measured picture rate ("%.1f") and the count of pictures drawn since the last start.
    [[nodiscard]] std::string measuredRate() const;
    [[nodiscard]] uint64_t pictures() const { return pictures_.load(); }

  private:
    // Runs `job` on the control thread, in order.
    template <typename Job>
    void Post(Job&& job);
    ViewerSettings SettingsFromModel();

    void OnFrame(const Frame& frame) override;
    std::optional<Credentials> AskCredentials(const std::string& realm) override;
    void OnOverlayText(std::string_view text) override;
    void OnStatus(int code, std::string_view text) override;
    void OnCameraDescribed(const CameraDescription& camera, ViewerKind kind) override;
    void OnSessionMode(SessionMode mode) override;
    void OnMessageBox(std::string_view title, std::string_view text) override;
    void OnFrameRate(std::string_view text) override;
    void OnMotionLevels(const std::array<int, 4>& levels) override;
    void OnRecordingEnded(const RecordingSummary& summary) override;

    QPointer<OcuviewWidget> widget_;
    std::string iniPath_;
    QThread thread_;
    QObject* context_ = nullptr;      // lives on thread_; jobs are posted to it
    std::unique_ptr<Viewer> viewer_;  // used on thread_ only
    int requestedRate_ = 0;           // thread_ only: the rate the settings asked for
    std::atomic<bool> tickPending_{false};
    std::atomic<bool> stopping_{false};  // Stop is under way: password questions give up
    QPointer<PasswordDialog> dialog_;    // GUI thread: the password dialog on screen, if any
    std::atomic<uint64_t> pictures_{0};
    mutable std::mutex rateLock_;  // guards rate_
    std::string rate_;
};

}  // namespace ocuview

#endif
