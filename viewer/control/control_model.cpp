#include "control_model.h"

#include <cstdio>

#include "core/camera_description.h"
#include "module_size.h"

namespace ocuview {

namespace {

struct Keyword {
    std::string_view text;
    int code;
};

// The first keyword that `text` begins with, in table order.
std::optional<int> Lookup(std::string_view text, std::initializer_list<Keyword> table) {
    for (const Keyword& k : table)
        if (MatchesKeyword(text, k.text)) return k.code;
    return std::nullopt;
}

constexpr std::string_view kTcp = "PRM_MODE_TCPUNICAST", kUdpUnicast = "PRM_MODE_UDPUNICAST",
                           kUdpMulticast = "PRM_MODE_UDPMULTICAST";
constexpr std::string_view kSizeAuto = "PRM_VIEWSIZE_AUTO", kSizeVga = "PRM_VIEWSIZE_VGA",
                           kSizeQvga = "PRM_VIEWSIZE_QVGA", kSizeQqvga = "PRM_VIEWSIZE_QQVGA";
constexpr std::string_view kMuteOnText = "PRM_MUTE_ON", kMuteOffText = "PRM_MUTE_OFF";

std::optional<int> StreamModeOf(std::string_view text) {
    return Lookup(text, {{kTcp, 16}, {kUdpUnicast, 17}, {kUdpMulticast, 18}});
}

std::optional<int> ViewSizeOf(std::string_view text) {
    return Lookup(text, {{kSizeAuto, 16}, {kSizeVga, 17}, {kSizeQvga, 18}, {kSizeQqvga, 19}});
}

std::optional<int> MuteOf(std::string_view text) {
    return Lookup(text, {{kMuteOnText, 17}, {kMuteOffText, 16}});
}

std::optional<ColourRole> ColourParamOf(std::string_view text) {
    const auto code = Lookup(text, {{"PRM_COLOR_DATEFORE", 0},
                                    {"PRM_COLOR_CTRLBACK", 1},
                                    {"PRM_COLOR_CTRLFORE", 2},
                                    {"PRM_COLOR_PICTFRAME", 3}});
    if (!code) return std::nullopt;
    return static_cast<ColourRole>(*code);
}

Property PropertyOfColour(ColourRole role) {
    switch (role) {
        case ColourRole::DateFore:
            return Property::ParamColorDateFore;
        case ColourRole::CtrlBack:
            return Property::ParamColorCtrlBack;
        case ColourRole::CtrlFore:
            return Property::ParamColorCtrlFore;
        case ColourRole::PictFrame:
            break;
    }
    return Property::ParamColorPictFrame;
}

std::string_view StreamModeText(StreamMode mode) {
    switch (mode) {
        case StreamMode::Tcp:
            return kTcp;
        case StreamMode::UdpUnicast:
            return kUdpUnicast;
        case StreamMode::UdpMulticast:
            return kUdpMulticast;
        case StreamMode::None:
            break;
    }
    return "UNKNOWN";
}

std::string_view ViewSizeText(ViewSize size) {
    switch (size) {
        case ViewSize::Vga:
            return kSizeVga;
        case ViewSize::Qvga:
            return kSizeQvga;
        case ViewSize::Qqvga:
            return kSizeQqvga;
        case ViewSize::Auto:
        case ViewSize::None:
            break;
    }
    return kSizeAuto;
}

std::optional<int> InRange(std::string_view text, int low, int high) {
    const auto value = ParseWholeDecimal(text);
    if (!value || *value < low || *value > high) return std::nullopt;
    return value;
}

}  // namespace

std::optional<Property> PropertyByName(std::string_view name) {
    for (int i = 0; i < kPropertyCount; ++i)
        if (kPropertyNames[static_cast<std::size_t>(i)] == name) return static_cast<Property>(i);
    return std::nullopt;
}

ControlModel::ControlModel(ViewActions& view, std::string_view version, std::string moduleName)
    : view_(view), version_(FormatVersion(version)), moduleName_(std::move(moduleName)) {
    colours_[static_cast<int>(ColourRole::DateFore)] = Rgb{255, 255, 255};
    colours_[static_cast<int>(ColourRole::CtrlBack)] = Rgb{96, 184, 79};
    colours_[static_cast<int>(ColourRole::CtrlFore)] = Rgb{255, 255, 255};
    colours_[static_cast<int>(ColourRole::PictFrame)] = Rgb{80, 80, 80};
}

void ControlModel::SetProperty(Property p, std::string_view text) {
    // Empty text changes nothing, except for the auto-start switch and the view mode (whose empty text
    // is how the property page says "no mask").
    if (text.empty() && p != Property::ParamAutoStart && p != Property::ParamViewMode) return;
    switch (p) {
        case Property::SetInitialMode:
            motionDetect_ = MatchesKeyword(text, "MotionDetect");
            break;
        case Property::ParamCamAddress:
            address_ = std::string(text);
            break;
        case Property::ParamCamPort: {
            const auto port = InRange(text, 1, 65535);
            if (!port) return;
            port_ = std::to_string(*port);
            break;
        }
        case Property::ParamViewMode:
            ApplyViewMode(text);
            break;
        case Property::ParamStreamMode:
            streamRequest_ = static_cast<StreamMode>(StreamModeOf(text).value_or(0));
            break;
        case Property::ParamColorDateFore:
            if (!ApplyColour(ColourRole::DateFore, text)) return;
            break;
        case Property::ParamColorCtrlBack:
            if (!ApplyColour(ColourRole::CtrlBack, text)) return;
            break;
        case Property::ParamColorCtrlFore:
            if (!ApplyColour(ColourRole::CtrlFore, text)) return;
            break;
        case Property::ParamColorPictFrame:
            if (!ApplyColour(ColourRole::PictFrame, text)) return;
            break;
        case Property::ParamFrameRate: {
            const auto rate = InRange(text, 1, 30);
            if (!rate) return;
            frameRate_ = *rate;
            break;
        }
        case Property::ParamViewSize:
            viewSize_ = static_cast<ViewSize>(ViewSizeOf(text).value_or(0));
            break;
        case Property::ParamVolume: {
            const auto volume = InRange(text, 0, 100);
            if (!volume) return;
            volume_ = *volume;
            break;
        }
        case Property::ParamMute:
            muteCode_ = MuteOf(text).value_or(0);
            break;
        case Property::ParamAutoStart:
            Store(p, text);
            autoStart_ = !MatchesKeyword(text, "PRM_AUTOSTART_OFF");
            if (ready_) {
                if (autoStart_)
                    PrmPlayStart();
                else
                    PrmPlayStop();
            }
            return;
    }
    Store(p, text);
}

bool ControlModel::ApplyColour(ColourRole role, std::string_view text) {
    if (text.size() != 6) return false;
    colours_[static_cast<int>(role)] = ParseRgbDigits(text);
    return true;
}

void ControlModel::ApplyViewMode(std::string_view text) {
    if (text.size() == 8)
        viewModeMask_ = ViewerModeFromDigits(text);
    else
        viewModeMask_.reset();
}

void ControlModel::PrmPlayStart() {
    if (playing_) return;
    autoStart_ = true;
    playing_ = true;
    view_.StartViewer();
}

void ControlModel::PrmPlayStop() {
    if (playing_) view_.StopViewer();
}

void ControlModel::PrmSetControlParam(std::string_view param, std::string_view arg) {
    if (MatchesKeyword(param, "PRM_PARAM_STREAMMODE")) {
        // Any other text asks for TCP here (the property would clear the request instead).
        const auto mode = static_cast<StreamMode>(StreamModeOf(arg).value_or(16));
        streamRequest_ = mode;
        Store(Property::ParamStreamMode, StreamModeText(mode));
        if (playing_) view_.RestartViewer();
    } else if (MatchesKeyword(param, "PRM_PARAM_VIEWMODE")) {
        ApplyViewMode(arg);
        Store(Property::ParamViewMode, viewModeMask_ ? arg : std::string_view{});
        if (playing_) view_.RestartViewer();
    } else if (MatchesKeyword(param, "PRM_PARAM_FRAMERATE")) {
        const auto rate = InRange(arg, 1, 30);
        if (!rate) return;
        frameRate_ = *rate;
        Store(Property::ParamFrameRate, std::to_string(*rate));
        if (playing_) view_.ChangeFrameRate(*rate);
    } else if (MatchesKeyword(param, "PRM_PARAM_VIEWSIZE")) {
        const auto size = ViewSizeOf(arg);
        if (!size) return;
        viewSize_ = static_cast<ViewSize>(*size);
        Store(Property::ParamViewSize, ViewSizeText(viewSize_));
        if (playing_) view_.ResizeView(viewSize_);
    } else if (MatchesKeyword(param, "PRM_PARAM_VOLUME")) {
        const auto volume = InRange(arg, 0, 100);
        if (!volume) return;
        volume_ = *volume;
        Store(Property::ParamVolume, std::to_string(*volume));
        if (playing_) view_.ChangeVolume(*volume);
    } else if (MatchesKeyword(param, "PRM_PARAM_MUTE")) {
        const auto mute = MuteOf(arg);
        if (!mute) return;
        muteCode_ = *mute;
        Store(Property::ParamMute, muted() ? kMuteOnText : kMuteOffText);
        if (playing_) view_.ChangeMute(muted());
    }
}

void ControlModel::PrmSetControlColor(std::string_view param, std::string_view arg) {
    const auto role = ColourParamOf(param);
    if (!role || !ApplyColour(*role, arg)) return;
    Store(PropertyOfColour(*role), arg);
    if (playing_) view_.RepaintPanel();
}

void ControlModel::PrmSetNetworkParam(std::string_view param, std::string_view arg) {
    if (MatchesKeyword(param, "PRM_NETWORK_IPADDR"))
        SetProperty(Property::ParamCamAddress, arg);
    else if (MatchesKeyword(param, "PRM_NETWORK_PORT"))
        SetProperty(Property::ParamCamPort, arg);
}

void ControlModel::PrmExecTriggerControl(std::string_view param) {
    if (!playing_) return;
    const auto trigger = Lookup(param, {{"PRM_TRIGGER_SMTP", static_cast<int>(Trigger::Smtp)},
                                        {"PRM_TRIGGER_FTP", static_cast<int>(Trigger::Ftp)},
                                        {"PRM_TRIGGER_MEMORY", static_cast<int>(Trigger::Memory)},
                                        {"PRM_TRIGGER_ALARM", static_cast<int>(Trigger::Alarm)}});
    if (trigger) view_.FireTrigger(static_cast<Trigger>(*trigger));
}

void ControlModel::PrmExecDZoomControl(std::string_view flag, std::string_view x, std::string_view y) {
    if (!playing_) return;
    if (MatchesKeyword(flag, "PRM_DZOOM_ON")) {
        const auto px = InRange(x, 0, 639);
        const auto py = InRange(y, 0, 479);
        if (px && py) view_.ZoomAt(*px, *py);
    } else if (MatchesKeyword(flag, "PRM_DZOOM_OFF")) {
        view_.ZoomOff();
    }
}

std::string ControlModel::PrmGetControlParam(std::string_view param) const {
    if (MatchesKeyword(param, "PRM_PARAM_STREAMMODE")) {
        // The pending request, else the mode the running view settled on.
        const StreamMode mode = streamRequest_ != StreamMode::None ? streamRequest_ : sessionMode_;
        return std::string(StreamModeText(mode));
    }
    if (MatchesKeyword(param, "PRM_PARAM_VIEWMODE"))
        return viewModeMask_ ? FormatViewerModeDigits(*viewModeMask_) : std::string{};
    if (MatchesKeyword(param, "PRM_PARAM_FRAMERATE"))
        return frameRate_ ? std::to_string(frameRate_) : std::string{};
    if (MatchesKeyword(param, "PRM_PARAM_VIEWSIZE")) return std::string(ViewSizeText(viewSize_));
    if (MatchesKeyword(param, "PRM_PARAM_VOLUME")) return std::to_string(volume_);
    if (MatchesKeyword(param, "PRM_PARAM_MUTE")) return std::string(muted() ? kMuteOnText : kMuteOffText);
    return {};
}

std::string ControlModel::PrmGetControlColor(std::string_view param) const {
    const auto role = ColourParamOf(param);
    return role ? FormatRgb(colour(*role)) : std::string{};
}

std::string ControlModel::PrmGetNetworkParam(std::string_view param) const {
    if (MatchesKeyword(param, "PRM_NETWORK_IPADDR")) return cameraHost();
    if (MatchesKeyword(param, "PRM_NETWORK_PORT")) return cameraPort();
    return {};
}

std::string ControlModel::PrmCalcModuleWidth(std::string_view viewMode, std::string_view viewSize) {
    return CalcModuleWidth(viewMode, viewSize);
}

std::string ControlModel::PrmCalcModuleHeight(std::string_view viewMode, std::string_view viewSize) {
    return CalcModuleHeight(viewMode, viewSize);
}

void ControlModel::SetPageUrl(std::string_view url) {
    if (const auto page = ParsePageUrl(url)) {
        pageHost_ = page->host;
        pagePort_ = page->port;
    }
}

void ControlModel::SetReady() {
    if (ready_) return;
    ready_ = true;
    if (autoStart_) PrmPlayStart();
}

void ControlModel::OnPanelFrameRate(int rate) {
    if (rate < 1 || rate > 30) return;
    frameRate_ = rate;
    Store(Property::ParamFrameRate, std::to_string(rate));
}

void ControlModel::OnPanelViewSize(ViewSize size) {
    viewSize_ = size;
    Store(Property::ParamViewSize, ViewSizeText(size));
}

void ControlModel::OnPanelVolume(int volume) {
    if (volume < 0 || volume > 100) return;
    volume_ = volume;
    Store(Property::ParamVolume, std::to_string(volume));
}

void ControlModel::OnPanelMute(bool on) {
    muteCode_ = on ? kMuteOn : kMuteOff;
    Store(Property::ParamMute, on ? kMuteOnText : kMuteOffText);
}

std::string ControlModel::cameraHost() const {
    return address_.empty() ? pageHost_ : address_;
}

std::string ControlModel::cameraPort() const {
    return port_.empty() ? pagePort_ : port_;
}

std::string ControlModel::hostField() const {
    const std::string host = cameraHost();
    const std::string port = cameraPort();
    if (host.empty() || port.empty() || port == "80") return host;
    return host + ":" + port;
}

StreamMode ControlModel::TakeStreamModeRequest() {
    const StreamMode request = streamRequest_;
    streamRequest_ = StreamMode::None;
    return request;
}

std::string FormatVersion(std::string_view dotted) {
    int parts[4] = {0, 0, 0, 0};
    int count = 0;
    while (!dotted.empty()) {
        const std::size_t dot = dotted.find('.');
        const auto number = ParseWholeDecimal(dotted.substr(0, dot));
        if (!number || *number > 99 || count == 4) return {};
        parts[count++] = *number;
        if (dot == std::string_view::npos) break;
        dotted.remove_prefix(dot + 1);
        if (dotted.empty()) return {};
    }
    if (count == 0) return {};
    char text[9];
    std::snprintf(text, sizeof text, "%02d%02d%02d%02d", parts[0], parts[1], parts[2], parts[3]);
    return text;
}

std::optional<PageAddress> ParsePageUrl(std::string_view url) {
    const std::size_t scheme = url.find("://");
    if (scheme != std::string_view::npos) url.remove_prefix(scheme + 3);
    const std::size_t slash = url.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const std::string_view stretch = url.substr(0, slash);
    const std::size_t colon = stretch.find(':');
    if (colon == std::string_view::npos) return PageAddress{std::string(stretch), "80"};
    return PageAddress{std::string(stretch.substr(0, colon)), std::string(stretch.substr(colon + 1))};
}

}  // namespace ocuview
