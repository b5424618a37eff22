#include "core/inquiry.h"

#include <filesystem>

#include "core/command.h"
#include "core/viewer_state.h"
#include "platform/debug_output.h"
#include "platform/ini_file.h"

namespace ocuview {

namespace {

constexpr std::string_view kInquiryPath = "/command/inquiry.cgi";

// Decimal value rules: leading digits of the text up to "&"; none gives 0.
int Decimal(std::string_view value) {
    int v = 0;
    for (const char c : value) {
        if (c < '0' || c > '9' || v > 100000000) break;
        v = v * 10 + (c - '0');
    }
    return v;
}

std::string_view UpToAmpersand(std::string_view text) {
    return text.substr(0, text.find('&'));
}

bool StartsWith(std::string_view text, std::string_view word) {
    return text.substr(0, word.size()) == word;
}

void OnOff(std::string_view value, bool& field) {
    if (StartsWith(value, "on")) {
        field = true;
    } else if (StartsWith(value, "off")) {
        field = false;
    }
}

// Keys in the order they are compared: a longer name before any name it begins with.
enum class Key {
    kSerial,
    kAreaSelect,
    kJpFrameRate,
    kImageCodec,
    kM4FrameRate,
    kMulticast,
    kMcAddress,
    kMcVideoPort,
    kMcAudioPort,
    kUcVideoPort,
    kUcAudioPort,
    kAudioIn,
    kAudInCodec,
    kFcManualFunc,
    kAoManualFunc,
    kSmManualFunc,
    kImManualFunc,
    kViewerAuthen,
    kViewerMode,
    kThreshold,
    kSensitivity,
    kArea,
    kWindow,
};

struct KeyName {
    std::string_view name;
    Key key;
    int window;  // 0..3 for the motion-detection keys
};

constexpr KeyName kKeys[] = {
    {"Serial", Key::kSerial, 0},
    {"AreaSelect", Key::kAreaSelect, 0},
    {"JpFrameRate", Key::kJpFrameRate, 0},
    {"ImageCodec", Key::kImageCodec, 0},
    {"M4FrameRate", Key::kM4FrameRate, 0},
    {"Multicast", Key::kMulticast, 0},
    {"McAddress", Key::kMcAddress, 0},
    {"McVideoPort", Key::kMcVideoPort, 0},
    {"McAudioPort", Key::kMcAudioPort, 0},
    {"UcVideoPort", Key::kUcVideoPort, 0},
    {"UcAudioPort", Key::kUcAudioPort, 0},
    {"AudioIn", Key::kAudioIn, 0},
    {"AudInCodec", Key::kAudInCodec, 0},
    {"FcManualFunc", Key::kFcManualFunc, 0},
    {"AoManualFunc", Key::kAoManualFunc, 0},
    {"SmManualFunc", Key::kSmManualFunc, 0},
    {"ImManualFunc", Key::kImManualFunc, 0},
    {"ViewerAuthen", Key::kViewerAuthen, 0},
    {"ViewerMode", Key::kViewerMode, 0},
    {"MdWin1Threshold", Key::kThreshold, 0},
    {"MdWin2Threshold", Key::kThreshold, 1},
    {"MdWin3Threshold", Key::kThreshold, 2},
    {"MdWin4Threshold", Key::kThreshold, 3},
    {"MdWin1Sensitivity", Key::kSensitivity, 0},
    {"MdWin2Sensitivity", Key::kSensitivity, 1},
    {"MdWin3Sensitivity", Key::kSensitivity, 2},
    {"MdWin4Sensitivity", Key::kSensitivity, 3},
    {"MdWin1Area", Key::kArea, 0},
    {"MdWin2Area", Key::kArea, 1},
    {"MdWin3Area", Key::kArea, 2},
    {"MdWin4Area", Key::kArea, 3},
    {"MdWin1", Key::kWindow, 0},
    {"MdWin2", Key::kWindow, 1},
    {"MdWin3", Key::kWindow, 2},
    {"MdWin4", Key::kWindow, 3},
};

void SetTrigger(std::string_view value, CameraDescription& c, uint16_t bit) {
    bool on = (c.triggers & bit) != 0;
    OnOff(value, on);
    c.triggers = static_cast<uint16_t>(on ? (c.triggers | bit) : (c.triggers & ~bit));
}

// Stores one value; returns how many bytes of `value` it consumed.
std::size_t Store(const KeyName& k, std::string_view value, CameraDescription& c) {
    const std::string_view text = UpToAmpersand(value);
    MotionWindow& w = c.windows[static_cast<std::size_t>(k.window)];
    switch (k.key) {
        case Key::kSerial:
            c.serial = std::string(text);
            break;
        case Key::kAreaSelect:
            OnOff(value, c.areaSelect);
            break;
        case Key::kJpFrameRate:
            c.jpegFrameRate = Decimal(text);
            break;
        case Key::kImageCodec:
            if (StartsWith(value, "mpeg4")) {
                c.codec = ImageCodec::kMpeg4;
            } else if (StartsWith(value, "jpeg")) {
                c.codec = ImageCodec::kMotionJpeg;
            }
            break;
        case Key::kM4FrameRate:
            c.mpeg4FrameRate = Decimal(text);
            if (c.mpeg4FrameRate == 0) c.mpeg4FrameRate = 30;
            break;
        case Key::kMulticast:
            OnOff(value, c.multicast);
            break;
        case Key::kMcAddress:
            c.multicastAddress = std::string(text.substr(0, 15));
            break;
        case Key::kMcVideoPort:
            c.mcVideoPort = Decimal(text);
            break;
        case Key::kMcAudioPort:
            c.mcAudioPort = Decimal(text);
            break;
        case Key::kUcVideoPort:
            c.ucVideoPort = Decimal(text);
            break;
        case Key::kUcAudioPort:
            c.ucAudioPort = Decimal(text);
            break;
        case Key::kAudioIn:
            OnOff(value, c.audioIn);
            break;
        case Key::kAudInCodec: {
            constexpr std::pair<std::string_view, AudioCodec> kCodecs[] = {{"g711_64", AudioCodec::kG711_64},
                                                                           {"g726_16", AudioCodec::kG726_16},
                                                                           {"g726_24", AudioCodec::kG726_24},
                                                                           {"g726_32", AudioCodec::kG726_32},
                                                                           {"g726_40", AudioCodec::kG726_40}};
            for (const auto& [name, codec] : kCodecs) {
                if (StartsWith(value, name)) {
                    c.audioCodec = codec;
                    break;
                }
            }
            break;
        }
        case Key::kFcManualFunc:
            SetTrigger(value, c, kTriggerFtp);
            break;
        case Key::kAoManualFunc:
            SetTrigger(value, c, kTriggerAlarmOut);
            break;
        case Key::kSmManualFunc:
            SetTrigger(value, c, kTriggerSmtp);
            break;
        case Key::kImManualFunc:
            SetTrigger(value, c, kTriggerMemory);
            break;
        case Key::kViewerAuthen:
            OnOff(value, c.viewerAuthentication);
            break;
        case Key::kViewerMode:
            c.viewerMode = ViewerModeFromDigits(value.substr(0, 8));
            return std::min<std::size_t>(value.size(), 8);
        case Key::kThreshold:
            w.threshold = Decimal(text);
            break;
        case Key::kSensitivity:
            w.sensitivity = Decimal(text);
            break;
        case Key::kArea: {
            int* fields[4] = {&w.left, &w.top, &w.right, &w.bottom};
            std::size_t at = 0;
            for (int i = 0; i < 4 && at <= value.size(); ++i) {
                const std::string_view rest = value.substr(at);
                const std::size_t end = rest.find_first_of(",&");
                *fields[i] = Decimal(rest.substr(0, end));
                if (end == std::string_view::npos) return value.size();
                at += end + 1;
                if (rest[end] == '&') return at - 1;
            }
            return at > 0 ? at - 1 : 0;
        }
        case Key::kWindow:
            OnOff(value, w.active);
            break;
    }
    return text.size();
}

}  // namespace

int ParseInquiry(std::string_view answer, CameraDescription& camera) {
    answer = answer.substr(0, std::min(answer.size(), kCommandReplyBytes));
    answer = answer.substr(0, answer.find('\0'));
    if (answer.empty()) return -1;
    std::size_t at = 0;
    while (at < answer.size()) {
        const std::string_view here = answer.substr(at);
        const KeyName* found = nullptr;
        for (const KeyName& k : kKeys) {
            if (StartsWith(here, k.name) && here.substr(k.name.size(), 1) == "=") {
                found = &k;
                break;
            }
        }
        if (found == nullptr) {
            ++at;
            continue;
        }
        at += found->name.size() + 1;
        at += Store(*found, answer.substr(at), camera);
    }
    return 0;
}

int InquireCamera(ViewerState& v) {
    std::string answer;
    if (v.settings.motionDetectionView) {
        if (!PostCgi(v, kInquiryPath, "inq=camera&inq=viewermode&inq=motiondetection", &answer))
            return kInquiryRequest;
        if (ParseInquiry(answer, v.camera) != 0) return kInquiryParse;
        if (!(v.camera.codec == ImageCodec::kMpeg4 && !v.camera.areaSelect)) return kInquiryNotAllowed;
        return kInquiryOk;
    }
    if (!PostCgi(v, kInquiryPath, "inq=system&inq=viewermode", &answer)) return kInquiryRequest;
    if (!StartsWith(answer, "ModelName")) return kInquiryRequest;
    if (ParseInquiry(answer, v.camera) != 0) return kInquiryParse;
    if (v.settings.viewModeMask) v.camera.viewerMode &= *v.settings.viewModeMask;
    const char* body = (v.camera.viewerMode & kFullViewerBits) != 0
                           ? "inq=camera&inq=alarmout&inq=ftpclient&inq=smtp&inq=imagememory"
                           : "inq=camera";
    answer.clear();
    if (!PostCgi(v, kInquiryPath, body, &answer)) return kInquiryRequest;
    const int rc = ParseInquiry(answer, v.camera);
    if (v.settings.viewModeMask) v.camera.viewerMode &= *v.settings.viewModeMask;
    return rc;
}

std::string TriggerBody(std::string_view text) {
    std::string_view value;
    if (text == "Alarm output") {
        value = "alarmout";
    } else if (text == "FTP") {
        value = "ftp";
    } else if (text == "Image memory") {
        value = "memory";
    } else if (text == "e-Mail") {
        value = "smtp";
    } else {
        return {};
    }
    return "Trigger=" + std::string(value);
}

std::string MotionDetectionBody(const CameraDescription& camera, int window, MotionCommand command) {
    const auto area = [](const MotionWindow& w) {
        return std::to_string(w.left) + "," + std::to_string(w.top) + "," + std::to_string(w.right) + "," +
               std::to_string(w.bottom);
    };
    if (command == MotionCommand::kAll) {
        std::string body;
        for (int n = 1; n <= 4; ++n) {
            body += "mdwin" + std::to_string(n) +
                    "area=" + area(camera.windows[static_cast<std::size_t>(n - 1)]) + "&";
        }
        for (int n = 1; n <= 4; ++n) {
            body += "mdwin" + std::to_string(n) + "=" +
                    (camera.windows[static_cast<std::size_t>(n - 1)].active ? "on&" : "off&");
        }
        for (int n = 1; n <= 4; ++n) {
            body += "mdwin" + std::to_string(n) + "sensitivity=" +
                    std::to_string(camera.windows[static_cast<std::size_t>(n - 1)].sensitivity) + "&";
        }
        for (int n = 1; n <= 4; ++n) {
            body += "mdwin" + std::to_string(n) +
                    "threshold=" + std::to_string(camera.windows[static_cast<std::size_t>(n - 1)].threshold);
            if (n < 4) body += "&";
        }
        return body;
    }
    if (window < 1 || window > 4) return {};
    const MotionWindow& w = camera.windows[static_cast<std::size_t>(window - 1)];
    const std::string prefix = "mdtwin" + std::to_string(window);
    switch (command) {
        case MotionCommand::kArea:
            return prefix + "area=" + area(w);
        case MotionCommand::kOnOff:
            return prefix + "=" + (w.active ? "on" : "off");
        case MotionCommand::kSensitivity:
            return prefix + "sensitivity=" + std::to_string(w.sensitivity);
        case MotionCommand::kThreshold:
            return prefix + "threshold=" + std::to_string(w.threshold);
        default:
            return {};
    }
}

SessionMode SessionModeFromIni(const std::string& path, const std::string& serial) {
    if (platform::IniSectionNames(path).empty()) {
        SaveSessionMode(path, serial, SessionMode::kTcp);
        return SessionMode::kTcp;
    }
    const std::string mode = platform::IniGetString(path, serial, "SessionMode", "Tcp");
    if (StartsWith(mode, "Tcp")) return SessionMode::kTcp;
    if (StartsWith(mode, "UdpUnicast")) return SessionMode::kUdpUnicast;
    if (StartsWith(mode, "UdpMultica")) return SessionMode::kUdpMulticast;
    return SessionMode::kTcp;
}

void SaveSessionMode(const std::string& path, const std::string& serial, SessionMode mode) {
    const char* line = mode == SessionMode::kUdpMulticast ? "SessionMode=UdpMulticast"
                       : mode == SessionMode::kUdpUnicast ? "SessionMode=UdpUnicast"
                                                          : "SessionMode=Tcp";
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    if (platform::IniWriteSection(path, serial, {line}) != platform::IniStatus::kOk) {
        platform::DebugOutput("SessionMode: cannot write the INI file\n");
    }
}

}  // namespace ocuview
