// The control's scripting surface without any toolkit: the fourteen text properties and the fourteen
// methods, every parsing rule, default and getter text, and what each asks of the running view.
//
// One model per control; nothing is shared between controls. The widget exposes it as Qt properties and
// invokable methods, the D-Bus adaptor as strings, and the tests drive it directly with a fake view.
// Not thread-safe: the user-interface thread owns it.
#ifndef OCUVIEW_CONTROL_CONTROL_MODEL_H
#define OCUVIEW_CONTROL_CONTROL_MODEL_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "keywords.h"

namespace ocuview {

// The fourteen properties; the order is the scripting order (dispatch identifiers 1 to 14).
enum class Property : int {
    SetInitialMode,
    ParamCamAddress,
    ParamCamPort,
    ParamViewMode,
    ParamStreamMode,
    ParamColorDateFore,
    ParamColorCtrlBack,
    ParamColorCtrlFore,
    ParamColorPictFrame,
    ParamFrameRate,
    ParamViewSize,
    ParamVolume,
    ParamMute,
    ParamAutoStart,
};
inline constexpr int kPropertyCount = 14;
inline constexpr std::array<std::string_view, kPropertyCount> kPropertyNames = {
    "SetInitialMode",      "ParamCamAddress",    "ParamCamPort",       "ParamViewMode",
    "ParamStreamMode",     "ParamColorDateFore", "ParamColorCtrlBack", "ParamColorCtrlFore",
    "ParamColorPictFrame", "ParamFrameRate",     "ParamViewSize",      "ParamVolume",
    "ParamMute",           "ParamAutoStart"};
// The fourteen methods in their order (dispatch identifiers 15 to 28).
inline constexpr std::array<std::string_view, 14> kMethodNames = {
    "PrmPlayStart",       "PrmPlayStop",           "PrmSetControlParam",  "PrmSetControlColor",
    "PrmSetNetworkParam", "PrmExecTriggerControl", "PrmExecDZoomControl", "PrmGetControlParam",
    "PrmGetControlColor", "PrmGetNetworkParam",    "PrmGetVersion",       "PrmGetModuleName",
    "PrmCalcModuleWidth", "PrmCalcModuleHeight"};
[[nodiscard]] std::optional<Property> PropertyByName(std::string_view name);

// Session-mode request codes (0: none pending).
enum class StreamMode : int { None = 0, Tcp = 16, UdpUnicast = 17, UdpMulticast = 18 };
// View-size codes (0: none, treated as AUTO).
enum class ViewSize : int { None = 0, Auto = 16, Vga = 17, Qvga = 18, Qqvga = 19 };
enum class Trigger { Smtp, Ftp, Memory, Alarm };
enum class ColourRole { DateFore, CtrlBack, CtrlFore, PictFrame };

// What the model asks of the running view. Implemented by the widget; the tests record the calls.
class ViewActions {
  public:
    virtual ~ViewActions() = default;
    // Inquiry and streams. The view reports the end of playing through ControlModel::OnStopped.
    virtual void StartViewer() = 0;
    virtual void StopViewer() = 0;
    // Raises the ended flag so that the view restarts with the settings now in the model.
    virtual void RestartViewer() = 0;
    virtual void ChangeFrameRate(int rate) = 0;  // moves the frame-rate box and reconnects
    virtual void ResizeView(ViewSize size) = 0;
    virtual void ChangeVolume(int volume) = 0;  // moves the knob to 0.82 x volume
    virtual void ChangeMute(bool on) = 0;       // swaps the mute buttons
    virtual void RepaintPanel() = 0;
    virtual void FireTrigger(Trigger trigger) = 0;        // the view checks that the camera offers it
    virtual void ZoomAt(int pictureX, int pictureY) = 0;  // 0..639, 0..479 in a 640 x 480 frame
    virtual void ZoomOff() = 0;
};

class ControlModel {
  public:
    // `version` is the build's dotted version ("0.1.0"), `moduleName` the library's internal name.
    ControlModel(ViewActions& view, std::string_view version, std::string moduleName);

    // Properties by their order; the getter returns the text last accepted (empty by default).
    [[nodiscard]] const std::string& GetProperty(Property p) const { return texts_[static_cast<int>(p)]; }
    void SetProperty(Property p, std::string_view text);

    // The fourteen methods.
    void PrmPlayStart();
    void PrmPlayStop();
    void PrmSetControlParam(std::string_view param, std::string_view arg);
    void PrmSetControlColor(std::string_view param, std::string_view arg);
    void PrmSetNetworkParam(std::string_view param, std::string_view arg);
    void PrmExecTriggerControl(std::string_view param);
    void PrmExecDZoomControl(std::string_view flag, std::string_view x, std::string_view y);
    [[nodiscard]] std::string PrmGetControlParam(std::string_view param) const;
    [[nodiscard]] std::string PrmGetControlColor(std::string_view param) const;
    [[nodiscard]] std::string PrmGetNetworkParam(std::string_view param) const;
    [[nodiscard]] std::string PrmGetVersion() const { return version_; }
    [[nodiscard]] std::string PrmGetModuleName() const { return moduleName_; }
    [[nodiscard]] static std::string PrmCalcModuleWidth(std::string_view viewMode, std::string_view viewSize);
    [[nodiscard]] static std::string PrmCalcModuleHeight(std::string_view viewMode,
                                                         std::string_view viewSize);

    // The address of the embedding page (the host program's --page-url): the camera host and port when
    // the properties do not name them.
    void SetPageUrl(std::string_view url);

    // The control's window exists: from now on ParamAutoStart acts at once, and a stored auto-start
    // begins playing now. Before, property handlers only store values.
    void SetReady();
    // The view has stopped (PrmPlayStop, a fault shown as status, the control going away).
    void OnStopped() { playing_ = false; }
    [[nodiscard]] bool playing() const { return playing_; }

    // Panel feedback: the user changed a setting on the panel; the properties follow.
    void OnPanelFrameRate(int rate);
    void OnPanelViewSize(ViewSize size);
    void OnPanelVolume(int volume);
    void OnPanelMute(bool on);
    // The session mode the view settled on at start-up (after the INI file and any fallback).
    void OnSessionMode(StreamMode mode) { sessionMode_ = mode; }

    // Settings read by the view at start-up.
    [[nodiscard]] bool motionDetectMode() const { return motionDetect_; }
    [[nodiscard]] std::string cameraHost() const;
    [[nodiscard]] std::string cameraPort() const;
    // The host field of the requests: the host alone when the port is "80" or empty, else host:port.
    [[nodiscard]] std::string hostField() const;
    [[nodiscard]] std::optional<uint32_t> viewModeMask() const { return viewModeMask_; }
    // A pending session-mode request wins over the INI file once; taking it clears it.
    [[nodiscard]] StreamMode TakeStreamModeRequest();
    [[nodiscard]] StreamMode streamModeRequest() const { return streamRequest_; }
    [[nodiscard]] Rgb colour(ColourRole role) const { return colours_[static_cast<int>(role)]; }
    [[nodiscard]] int frameRate() const { return frameRate_; }  // 0: none requested
    [[nodiscard]] ViewSize viewSize() const { return viewSize_; }
    [[nodiscard]] int volume() const { return volume_; }
    [[nodiscard]] bool muted() const { return muteCode_ == kMuteOn; }
    [[nodiscard]] bool autoStart() const { return autoStart_; }

  private:
    static constexpr int kMuteOff = 16, kMuteOn = 17;
    static constexpr int kDefaultVolume = 100;

    void Store(Property p, std::string_view text) { texts_[static_cast<int>(p)] = std::string(text); }
    bool ApplyColour(ColourRole role, std::string_view text);
    void ApplyViewMode(std::string_view text);

    ViewActions& view_;
    std::string version_;
    std::string moduleName_;
    std::array<std::string, kPropertyCount> texts_;

    bool ready_ = false;
    bool playing_ = false;
    bool autoStart_ = false;
    bool motionDetect_ = false;
    std::string address_, port_;       // from the properties (empty: not set)
    std::string pageHost_, pagePort_;  // from the embedding page's address
    std::optional<uint32_t> viewModeMask_;
    StreamMode streamRequest_ = StreamMode::None;
    StreamMode sessionMode_ = StreamMode::None;
    std::array<Rgb, 4> colours_;
    int frameRate_ = 0;
    ViewSize viewSize_ = ViewSize::None;
    int volume_ = kDefaultVolume;
    int muteCode_ = 0;
};

// "%02d%02d%02d%02d" of up to four dotted numbers ("0.1.0" gives "00010000"); empty when the text is not
// such a version or a number exceeds 99.
[[nodiscard]] std::string FormatVersion(std::string_view dotted);

// Host and port from the address of the embedding page: the text after "://" (or from the start) up to
// the next "/"; nothing when no "/" follows. A ":" splits host and port; without one the port is "80".
struct PageAddress {
    std::string host, port;
};
[[nodiscard]] std::optional<PageAddress> ParsePageUrl(std::string_view url);

}  // namespace ocuview

#endif
