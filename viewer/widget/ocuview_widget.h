// OcuviewWidget: the live-viewer control as a Qt widget any Qt program can embed. It offers the fourteen
// text properties and fourteen methods of the control (as Qt properties and invokable methods, in their
// scripting order), draws the camera's pictures into its view (stretched to the view size, optionally
// through the digital-zoom window), and carries the control panel: frame rate, view size, digital zoom,
// capture, trigger, transmission, mute and volume, and the date-time/status label.
//
// Every widget is independent: its own model, backend, credentials and dialogs. All members run on the
// GUI thread except PresentPicture, which the decoding threads call.
#ifndef OCUVIEW_WIDGET_OCUVIEW_WIDGET_H
#define OCUVIEW_WIDGET_OCUVIEW_WIDGET_H

#include <QImage>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "control/control_model.h"
#include "control/panel_layout.h"
#include "core/viewer.h"
#include "widget/capture_dialog.h"
#include "widget/motion_editor.h"

class QComboBox;
class QLabel;
class QToolButton;

namespace ocuview {

class VolumeSlider;

// What the widget drives: the viewer core in the programs, a recorder in tests. Calls come from the GUI
// thread; Start returns at once and the outcome comes back through ShowCamera / PresentPicture /
// ShowOverlayText / ShowStatusText / ViewerStopped.
class ViewerBackend {
  public:
    virtual ~ViewerBackend() = default;
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual void Tick() = 0;  // the 200 ms timer
    virtual void RequestRestart() = 0;
    virtual void SetFrameRate(int rate) = 0;
    virtual void SetVolume(int volume) = 0;  // 0..100
    virtual void SetMute(bool muted) = 0;
    virtual void SendTrigger(const std::string& text) = 0;  // "e-Mail", "FTP", "Image memory", "Alarm output"
    // A motion-detection command for window 1..4 (any for kAll) with the four windows as they now stand.
    virtual void SendMotionDetection(int window, MotionCommand command,
                                     const std::array<MotionWindow, 4>& windows) = 0;
    // Recording the live stream as received into a series (Viewer::StartRecording); the outcome comes
    // back through RecordingStarted / RecordingRefused / RecordingEnded.
    virtual void StartRecording(const std::string& /*path*/) {}
    virtual void StopRecording() {}
};

// What the panel is built from once the camera has answered the inquiry.
struct PanelFacts {
    ViewerKind kind = ViewerKind::kFull;
    ImageCodec codec = ImageCodec::kMotionJpeg;
    uint32_t viewerMode = 0xFF010000u;    // after the control's mask
    std::vector<std::string> frameRates;  // "30 fps" ... from the camera's highest rate down
    int frameRate = 0;                    // the current rate
    std::vector<std::string> triggers;    // "e-Mail", "FTP", "Image memory", "Alarm output" as offered
    bool multicast = true;                // the camera allows multicast
    StreamMode sessionMode = StreamMode::Tcp;
    std::array<MotionWindow, 4> motionWindows{};  // the motion-detection view's windows
};

class OcuviewWidget : public QWidget {
    Q_OBJECT
    // The fourteen properties, in their scripting order.
    Q_PROPERTY(QString SetInitialMode READ SetInitialMode WRITE setSetInitialMode)
    Q_PROPERTY(QString ParamCamAddress READ ParamCamAddress WRITE setParamCamAddress)
    Q_PROPERTY(QString ParamCamPort READ ParamCamPort WRITE setParamCamPort)
    Q_PROPERTY(QString ParamViewMode READ ParamViewMode WRITE setParamViewMode)
    Q_PROPERTY(QString ParamStreamMode READ ParamStreamMode WRITE setParamStreamMode)
    Q_PROPERTY(QString ParamColorDateFore READ ParamColorDateFore WRITE setParamColorDateFore)
    Q_PROPERTY(QString ParamColorCtrlBack READ ParamColorCtrlBack WRITE setParamColorCtrlBack)
    Q_PROPERTY(QString ParamColorCtrlFore READ ParamColorCtrlFore WRITE setParamColorCtrlFore)
    Q_PROPERTY(QString ParamColorPictFrame READ ParamColorPictFrame WRITE setParamColorPictFrame)
    Q_PROPERTY(QString ParamFrameRate READ ParamFrameRate WRITE setParamFrameRate)
    Q_PROPERTY(QString ParamViewSize READ ParamViewSize WRITE setParamViewSize)
    Q_PROPERTY(QString ParamVolume READ ParamVolume WRITE setParamVolume)
    Q_PROPERTY(QString ParamMute READ ParamMute WRITE setParamMute)
    Q_PROPERTY(QString ParamAutoStart READ ParamAutoStart WRITE setParamAutoStart)

  public:
    static constexpr int kMaxCaptureDialogs = 10;

    explicit OcuviewWidget(QWidget* parent = nullptr);
    ~OcuviewWidget() override;

    QString SetInitialMode() const { return Text(Property::SetInitialMode); }
    QString ParamCamAddress() const { return Text(Property::ParamCamAddress); }
    QString ParamCamPort() const { return Text(Property::ParamCamPort); }
    QString ParamViewMode() const { return Text(Property::ParamViewMode); }
    QString ParamStreamMode() const { return Text(Property::ParamStreamMode); }
    QString ParamColorDateFore() const { return Text(Property::ParamColorDateFore); }
    QString ParamColorCtrlBack() const { return Text(Property::ParamColorCtrlBack); }
    QString ParamColorCtrlFore() const { return Text(Property::ParamColorCtrlFore); }
    QString ParamColorPictFrame() const { return Text(Property::ParamColorPictFrame); }
    QString ParamFrameRate() const { return Text(Property::ParamFrameRate); }
    QString ParamViewSize() const { return Text(Property::ParamViewSize); }
    QString ParamVolume() const { return Text(Property::ParamVolume); }
    QString ParamMute() const { return Text(Property::ParamMute); }
    QString ParamAutoStart() const { return Text(Property::ParamAutoStart); }
    void setSetInitialMode(const QString& v) { SetText(Property::SetInitialMode, v); }
    void setParamCamAddress(const QString& v) { SetText(Property::ParamCamAddress, v); }
    void setParamCamPort(const QString& v) { SetText(Property::ParamCamPort, v); }
    void setParamViewMode(const QString& v) { SetText(Property::ParamViewMode, v); }
    void setParamStreamMode(const QString& v) { SetText(Property::ParamStreamMode, v); }
    void setParamColorDateFore(const QString& v) { SetText(Property::ParamColorDateFore, v); }
    void setParamColorCtrlBack(const QString& v) { SetText(Property::ParamColorCtrlBack, v); }
    void setParamColorCtrlFore(const QString& v) { SetText(Property::ParamColorCtrlFore, v); }
    void setParamColorPictFrame(const QString& v) { SetText(Property::ParamColorPictFrame, v); }
    void setParamFrameRate(const QString& v) { SetText(Property::ParamFrameRate, v); }
    void setParamViewSize(const QString& v) { SetText(Property::ParamViewSize, v); }
    void setParamVolume(const QString& v) { SetText(Property::ParamVolume, v); }
    void setParamMute(const QString& v) { SetText(Property::ParamMute, v); }
    void setParamAutoStart(const QString& v) { SetText(Property::ParamAutoStart, v); }

    // The fourteen methods, in their scripting order.
    Q_INVOKABLE void PrmPlayStart();
    Q_INVOKABLE void PrmPlayStop();
    Q_INVOKABLE void PrmSetControlParam(const QString& param, const QString& arg);
    Q_INVOKABLE void PrmSetControlColor(const QString& param, const QString& arg);
    Q_INVOKABLE void PrmSetNetworkParam(const QString& param, const QString& arg);
    Q_INVOKABLE void PrmExecTriggerControl(const QString& param);
    Q_INVOKABLE void PrmExecDZoomControl(const QString& flag, const QString& x, const QString& y);
    Q_INVOKABLE QString PrmGetControlParam(const QString& param) const;
    Q_INVOKABLE QString PrmGetControlColor(const QString& param) const;
    Q_INVOKABLE QString PrmGetNetworkParam(const QString& param) const;
    Q_INVOKABLE QString PrmGetVersion() const;
    Q_INVOKABLE QString PrmGetModuleName() const;
    Q_INVOKABLE QString PrmCalcModuleWidth(const QString& viewMode, const QString& viewSize) const;
    Q_INVOKABLE QString PrmCalcModuleHeight(const QString& viewMode, const QString& viewSize) const;

    [[nodiscard]] ControlModel& model() { return model_; }
    [[nodiscard]] const ControlModel& model() const { return model_; }
    // The address of the page that embeds the control (the host program's --page-url).
    void SetPageUrl(const QString& url) { model_.SetPageUrl(url.toStdString()); }
    void SetBackend(std::unique_ptr<ViewerBackend> backend);

    // The view, fed by the backend (and by tests).
    void ShowCamera(const PanelFacts& facts);
    // Any thread: copies one picture of top-down BGR rows into the picture bitmap and schedules a paint.
    void PresentPicture(const uint8_t* bgr, int width, int height, int stride);
    void ShowOverlayText(const QString& text);
    // Any thread: the four motion levels read from the camera's motion data (motion-detection view).
    void ShowMotionLevels(const std::array<int, 4>& levels);
    // The viewer ended with a status: the picture and the panel hide and the label shows the text.
    void ShowStatusText(const QString& text);
    // The backend has stopped (after PrmPlayStop or a final status).
    void ViewerStopped();
    void SetSessionMode(StreamMode mode);

    // What the control shows, for the host program, the D-Bus adaptor and tests.
    [[nodiscard]] ViewerKind kind() const { return facts_.kind; }
    [[nodiscard]] Size viewSize() const { return view_; }
    [[nodiscard]] Size pictureSize() const { return picture_; }
    [[nodiscard]] Rect viewRect() const { return ViewRect(facts_.kind, view_); }
    [[nodiscard]] bool zoomed() const { return zoomOn_; }
    [[nodiscard]] bool zoomPicking() const { return picking_; }
    [[nodiscard]] ZoomCentre zoomCentre() const { return zoomCentre_; }
    [[nodiscard]] QWidget* slotWidget(int slot) const { return slots_[static_cast<std::size_t>(slot)]; }
    [[nodiscard]] QString labelText() const;
    [[nodiscard]] int captureDialogCount() const;
    [[nodiscard]] CaptureDialog* captureDialog(int index) const {
        return captures_[static_cast<std::size_t>(index)];
    }
    // A copy of the last picture (BGR888), empty before the first.
    [[nodiscard]] QImage currentPicture() const;
    [[nodiscard]] int knob() const { return knob_; }
    [[nodiscard]] MotionEditor& motionEditor() const { return *motion_; }

    // Panel actions (the buttons call these; so may scripts and tests).
    void BeginZoomPick();
    void ZoomClick(Point click);
    void EndZoom();
    void Capture();
    void OpenTransmissionDialog();

    // Recording the live stream (the Record toggle, the host's --record, D-Bus): an empty path starts a
    // new series in recordDirectory() named after the date and time.
    void StartRecording(const QString& path = {});
    void StopRecording();
    [[nodiscard]] bool recording() const { return recording_; }
    // "off", "on FILE", "ended FILE...: N pictures, S s of audio" or "refused: REASON".
    [[nodiscard]] QString recordingState() const { return recordState_; }
    void SetRecordDirectory(const QString& directory) { recordDirectory_ = directory; }
    [[nodiscard]] QString recordDirectory() const;
    [[nodiscard]] QToolButton* recordButton() const { return recordButton_; }
    // From the backend, on the GUI thread.
    void RecordingStarted(const QString& firstFile);
    void RecordingRefused(const QString& reason);
    void RecordingEnded(const RecordingSummary& summary);

  Q_SIGNALS:
    void captureOpened(ocuview::CaptureDialog* dialog);
    // The control changed size (after the first picture, a view-size change, a restart).
    void controlResized(QSize size);
    // A recording started (`on`, text: its first file) or ended (text: the state).
    void recordingChanged(bool on, QString text);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    class Actions;
    friend class Actions;

    QString Text(Property p) const { return QString::fromStdString(model_.GetProperty(p)); }
    void SetText(Property p, const QString& v) { model_.SetProperty(p, v.toStdString()); }
    QColor Colour(ColourRole role) const;

    void BuildPanel();
    void ApplyColours();
    void Relayout();
    void OnPicture(int width, int height);
    void SetMuted(bool muted);
    void FitDateLabel();
    void SetKnob(int knob);
    void SelectFrameRate(int rate);
    bool TriggerOffered(Trigger trigger) const;

    std::unique_ptr<Actions> actions_;
    ControlModel model_;
    std::unique_ptr<ViewerBackend> backend_;
    QTimer timer_;

    PanelFacts facts_;
    bool described_ = false;  // the camera has been described: the panel is built
    Size picture_{};          // size of the pictures now arriving (0 x 0 before the first)
    Size view_{};
    bool keepView_ = false;  // the transmission dialog keeps the view size across its restart
    bool statusShown_ = false;
    bool zoomOn_ = false;
    bool picking_ = false;
    ZoomCentre zoomCentre_{};
    int knob_ = 82;
    bool muted_ = false;
    QString overlay_;

    // The picture bitmap: one per picture size, written by the decoding thread, drawn by paintEvent.
    mutable std::mutex surfaceLock_;  // guards surface_
    QImage surface_;

    std::array<QWidget*, kSlotCount> slots_{};
    QLabel* dateTime_ = nullptr;
    QComboBox* frameRateBox_ = nullptr;
    QComboBox* viewSizeBox_ = nullptr;
    QComboBox* triggerBox_ = nullptr;
    VolumeSlider* slider_ = nullptr;
    MotionEditor* motion_ = nullptr;
    std::array<QPointer<CaptureDialog>, kMaxCaptureDialogs> captures_{};
    QToolButton* recordButton_ = nullptr;  // under the picture, right of the volume slider
    bool recording_ = false;
    QString recordState_ = QStringLiteral("off");
    QString recordDirectory_;
};

}  // namespace ocuview

#endif
