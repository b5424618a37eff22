// Reeldeck's main window: the picture area, the skinned buttons, the time and volume sliders, the
// camera-time counter and the information panel; the host of the playback engine.
//
// Threads. Commands, layout, dialogs and painting run on the main thread. The engine's direct calls
// (PlayerHost) may come on its worker threads: ShowPicture and CreateDisplayBuffer work under the
// picture area's lock; the others only store the new state (atomics, or `stateLock_`) and queue one
// refresh of the widgets on the main thread. Posted notifications go through `notifications_` and are
// drained on the main thread.
#ifndef REELDECK_GUI_MAIN_WINDOW_H
#define REELDECK_GUI_MAIN_WINDOW_H

#include <QSlider>
#include <QString>
#include <QWidget>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "gui/capture_viewer.h"
#include "gui/layout_rules.h"
#include "gui/picture_view.h"
#include "gui/player_control.h"
#include "player/notification_queue.h"
#include "player/player_host.h"

class QLabel;

namespace reeldeck::gui {

class InfoPanel;
class SkinButton;

// Command numbers: the buttons' identifiers and what the function keys send.
namespace cmd {
inline constexpr int kPlay = 40001, kPause = 40002, kStop = 40003, kCapture = 40004, kOpen = 40005,
                     kInformation = 40006, kMute = 40007;
inline constexpr int kInformationKey = 40010, kPlayKey = 40018, kPauseKey = 40020, kStopKey = 40023,
                     kCaptureKey = 40024, kOpenKey = 40027, kMuteKey = 40028, kZoomKey = 40029;
}  // namespace cmd

// Asks the user for a file to open. Empty: cancelled.
using OpenDialog = std::function<QString(QWidget* parent)>;

class MainWindow : public QWidget, public PlayerHost {
    Q_OBJECT
  public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The engine behind the buttons (none: nothing opens). The window keeps it and stops it first when
    // it closes.
    void SetPlayer(std::unique_ptr<PlayerControl> player);
    NotificationQueue& Notifications() { return notifications_; }

    // A file from the command line, the open dialog, a drop or another instance: a recording or a still,
    // through the engine. On failure the window is cleared and "Cannot read file." shown. True on success.
    bool OpenPath(const QString& path);
    // The command of a button or a function key; ignored while that control is disabled.
    void Command(int id);
    // The hand-over from a second instance: its data word and (with a file) the path.
    void HandOver(uint32_t dataWord, const QString& path);
    // Files dropped on the window, or given at start: one opens, more give "Cannot chose two or more files.".
    void OpenFiles(const QStringList& paths);

    void SetOpenDialog(OpenDialog dialog) { openDialog_ = std::move(dialog); }
    CaptureSlots& Captures() { return captures_; }

    // State for tests and the screenshots.
    PictureView* Picture() const { return picture_; }
    SkinButton* Button(int id) const;
    QSlider* TimeSlider() const { return timeSlider_; }
    QSlider* VolumeSlider() const { return volumeSlider_; }
    QString CounterText() const;
    InfoPanel* Information() const { return info_; }
    bool InformationShown() const { return infoShown_; }
    int ZoomStep() const { return zoomStep_; }
    uint16_t Volume() const { return volume_; }
    bool SoundOn() const { return soundOn_; }
    unsigned EnabledMask() const { return mask_.load(); }  // WM_APP+112
    bool IsFullScreenView() const { return fullScreen_; }
    void ToggleFullScreen();
    // Files opened lately, newest first (kept in the user's settings).
    QStringList RecentFiles() const;

    // PlayerHost.
    void ShowPicture(const DisplayBuffer& buffer, double frameRate) override;
    int UnitForPosition(int64_t videoPosition) override;
    void MoveSlider(int unit) override;
    void SetSliderRange(int first, int last) override;
    void CameraTimeChanged(std::string_view text) override;
    void CapturePicture(const DisplayBuffer& picture, std::string_view cameraTime) override;
    void SetInformation(const RecordingInfo& info) override;
    void SetPictureSize(int width, int height) override;
    int CreateDisplayBuffer(int width, int height, DisplayBuffer& out) override;
    void SetButtonState(unsigned mask) override;
    void ClearPicture() override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void BuildControls();
    void BuildShortcuts();
    void LayOut(Extent area);
    void ApplyState();    // main thread: mask, slider, counter from the stored state
    void RequestApply();  // any thread: one queued ApplyState
    void DrainNotifications();
    void ClearWindow();
    void ChooseAndOpen();
    void StepUnits(int delta);
    void SeekPaused(int unit);
    void RememberRecent(const QString& path);

    std::unique_ptr<PlayerControl> player_;
    NotificationQueue notifications_;
    PictureView* picture_ = nullptr;
    InfoPanel* info_ = nullptr;
    std::array<SkinButton*, 7> buttons_{};  // 40001 .. 40007
    QSlider* timeSlider_ = nullptr;
    QSlider* volumeSlider_ = nullptr;
    QLabel* counter_ = nullptr;
    CaptureSlots captures_;
    OpenDialog openDialog_;

    int zoomStep_ = 0;
    bool infoShown_ = false;
    bool fullScreen_ = false;
    Extent normalArea_{320, 240};  // the area to return to from full screen
    uint16_t volume_ = 0x7FFF;
    bool soundOn_ = true;

    // Set by the engine on any thread, applied on the main thread.
    std::atomic<unsigned> mask_;
    std::atomic<int> sliderUnit_{0};
    std::atomic<bool> applyPending_{false};
    std::atomic<bool> drainPending_{false};
    mutable std::mutex stateLock_;  // guards cameraTime_
    std::string cameraTime_;
};

}  // namespace reeldeck::gui

#endif
