#include "cgi.h"

#include <cstdlib>

namespace camsim {
namespace {

const char* OnOff(bool b) {
    return b ? "on" : "off";
}

std::vector<std::string_view> SplitAmp(std::string_view s) {
    std::vector<std::string_view> out;
    while (true) {
        const auto amp = s.find('&');
        out.push_back(s.substr(0, amp));
        if (amp == std::string_view::npos) break;
        s.remove_prefix(amp + 1);
    }
    return out;
}

std::string Group(const Config& c, std::string_view name) {
    std::string s;
    auto add = [&s](const std::string& key, const std::string& value) {
        if (!s.empty()) s += '&';
        s += key + "=" + value;
    };
    if (name == "system") {
        add("ModelName", c.modelName);
        add("Serial", c.serial);
        add("SoftVersion", "1.00");
    } else if (name == "viewermode") {
        add("ViewerMode", c.viewerMode);
        add("ViewerAuthen", OnOff(c.viewerAuthen));
    } else if (name == "camera") {
        add("ImageCodec", c.codec);
        add("JpFrameRate", std::to_string(c.jpegFrameRate));
        add("M4FrameRate", std::to_string(c.mpeg4FrameRate));
        add("ImageSize", std::to_string(c.width) + "," + std::to_string(c.height));
        add("AreaSelect", OnOff(c.areaSelect));
        add("Multicast", OnOff(c.multicast));
        add("McAddress", c.multicastAddress);
        add("McVideoPort", std::to_string(c.mcVideoPort));
        add("McAudioPort", std::to_string(c.mcAudioPort));
        add("UcVideoPort", std::to_string(c.ucVideoPort));
        add("UcAudioPort", std::to_string(c.ucAudioPort));
        add("AudioIn", OnOff(c.audioIn));
        add("AudInCodec", c.audioCodec);
    } else if (name == "alarmout") {
        add("AoManualFunc", OnOff(c.alarmOutTrigger));
    } else if (name == "ftpclient") {
        add("FcManualFunc", OnOff(c.ftpTrigger));
    } else if (name == "smtp") {
        add("SmManualFunc", OnOff(c.smtpTrigger));
    } else if (name == "imagememory") {
        add("ImManualFunc", OnOff(c.memoryTrigger));
    } else if (name == "motiondetection") {
        for (int n = 1; n <= 4; ++n) {
            const DetectionWindow& w = c.windows[static_cast<std::size_t>(n - 1)];
            const std::string k = "MdWin" + std::to_string(n);
            add(k, OnOff(w.active));
            add(k + "Area", std::to_string(w.left) + "," + std::to_string(w.top) + "," +
                                std::to_string(w.right) + "," + std::to_string(w.bottom));
            add(k + "Sensitivity", std::to_string(w.sensitivity));
            add(k + "Threshold", std::to_string(w.threshold));
        }
    }
    return s;
}

int ToInt(std::string_view s) {
    return std::atoi(std::string(s).c_str());
}

}  // namespace

std::string AnswerInquiry(const Config& config, std::string_view body) {
    std::string answer;
    for (const std::string_view item : SplitAmp(body)) {
        if (item.substr(0, 4) != "inq=") continue;
        const std::string g = Group(config, item.substr(4));
        if (g.empty()) continue;
        if (!answer.empty()) answer += '&';
        answer += g;
    }
    return answer;
}

bool ApplyMotionDetection(Config& config, std::string_view body) {
    bool understood = false;
    for (std::string_view item : SplitAmp(body)) {
        // "mdtwin<n>..." (one setting) and "mdwin<n>..." (the all-windows form) carry the same suffixes.
        if (item.substr(0, 6) == "mdtwin")
            item.remove_prefix(6);
        else if (item.substr(0, 5) == "mdwin")
            item.remove_prefix(5);
        else
            continue;
        if (item.empty() || item[0] < '1' || item[0] > '4') continue;
        DetectionWindow& w = config.windows[static_cast<std::size_t>(item[0] - '1')];
        item.remove_prefix(1);
        const auto eq = item.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = item.substr(0, eq), value = item.substr(eq + 1);
        if (key.empty()) {
            if (value == "on" || value == "off") {
                w.active = value == "on";
                understood = true;
            }
        } else if (key == "area") {
            int v[4] = {};
            std::string_view rest = value;
            int i = 0;
            for (; i < 4 && !rest.empty(); ++i) {
                const auto comma = rest.find(',');
                v[i] = ToInt(rest.substr(0, comma));
                rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
            }
            if (i == 4) {
                w.left = v[0];
                w.top = v[1];
                w.right = v[2];
                w.bottom = v[3];
                understood = true;
            }
        } else if (key == "sensitivity") {
            w.sensitivity = ToInt(value);
            understood = true;
        } else if (key == "threshold") {
            w.threshold = ToInt(value);
            understood = true;
        }
    }
    return understood;
}

std::string TriggerOf(std::string_view body) {
    for (const std::string_view item : SplitAmp(body)) {
        if (item.substr(0, 8) != "Trigger=") continue;
        const std::string_view v = item.substr(8);
        if (v == "ftp" || v == "smtp" || v == "memory" || v == "alarmout") return std::string(v);
    }
    return {};
}

}  // namespace camsim
