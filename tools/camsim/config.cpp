#include "config.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace camsim {
namespace {

const std::set<std::string> kStreams = {"all",    "image", "mpeg4",     "mdimage",  "audio",
                                        "mddata", "cgi",   "rtp-video", "rtp-audio"};

bool ParseNumber(const std::string& text, double* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    *out = std::strtod(text.c_str(), &end);
    return end != nullptr && *end == '\0';
}

}  // namespace

std::string ApplyFaultSpec(Config& config, const std::string& spec) {
    const auto colon = spec.find(':');
    if (colon == std::string::npos) return "expected STREAM:KIND[=VALUE], got '" + spec + "'";
    const std::string stream = spec.substr(0, colon);
    if (!kStreams.count(stream)) return "unknown stream '" + stream + "'";
    std::string kind = spec.substr(colon + 1), value;
    if (const auto eq = kind.find('='); eq != std::string::npos) {
        value = kind.substr(eq + 1);
        kind.resize(eq);
    }
    if (kind == "clear") {
        config.faults.erase(stream);
        return {};
    }
    // Changes go to a copy that replaces the stream's faults only when the whole spec is good: a rejected
    // spec must not create an entry that hides the "all" faults.
    const auto existing = config.faults.find(stream);
    Faults f = existing != config.faults.end() ? existing->second : Faults{};
    double number = 0;
    const bool hasNumber = ParseNumber(value, &number);
    auto needNumber = [&](double lo, double hi) -> std::string {
        if (!hasNumber || number < lo || number > hi)
            return kind + " needs a value from " + std::to_string(lo) + " to " + std::to_string(hi);
        return {};
    };
    std::string err;
    if (kind == "refuse")
        f.refuse = true;
    else if (kind == "stall")
        f.stall = true;
    else if (kind == "no-datalen")
        f.noDataLen = true;
    else if (kind == "huge-datalen")
        f.hugeDataLen = true;
    else if (kind == "bad-picture")
        f.badPicture = true;
    else if (kind == "unauthorized")
        f.unauthorizedForever = true;
    else if (kind == "no-sr")
        f.noSenderReports = true;
    else if (kind == "close-after") {
        if ((err = needNumber(0, 1e15)).empty()) f.closeAfterBytes = static_cast<int64_t>(number);
    } else if (kind == "garbage") {
        if ((err = needNumber(1, 1 << 20)).empty()) f.garbageBytes = static_cast<int>(number);
    } else if (kind == "status") {
        if (hasNumber && (number == 400 || number == 503))
            f.httpStatus = static_cast<int>(number);
        else
            err = "status takes 400 or 503";
    } else if (kind == "loss") {
        if ((err = needNumber(0, 1)).empty()) f.rtpLoss = number;
    } else if (kind == "duplicate") {
        if ((err = needNumber(0, 1)).empty()) f.rtpDuplicate = number;
    } else if (kind == "reorder") {
        if ((err = needNumber(0, 1)).empty()) f.rtpReorder = number;
    } else if (kind == "early-bye") {
        if ((err = needNumber(0, 1e6)).empty()) f.earlyByeSeconds = number;
    } else {
        err = "unknown fault '" + kind + "'";
    }
    if (err.empty()) config.faults[stream] = f;
    return err;
}

bool IsCameraSize(int width, int height) {
    return (width == 640 && height == 480) || (width == 320 && height == 240) ||
           (width == 160 && height == 120);
}

std::optional<long> ParseInteger(const std::string& text, long low, long high) {
    // strtol alone would take leading white space and a sign of its own accord.
    if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-'))
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) return std::nullopt;
    return v;
}

std::string ApplyWindowSpec(Config& config, const std::string& spec) {
    int n = 0, l = 0, t = 0, r = 0, b = 0;
    char state[8] = "on";
    const int got = std::sscanf(spec.c_str(), "%d:%d,%d,%d,%d:%7s", &n, &l, &t, &r, &b, state);
    if (got < 5 || n < 1 || n > 4) return "expected N:left,top,right,bottom[:on|off] with N from 1 to 4";
    DetectionWindow& w = config.windows[static_cast<std::size_t>(n - 1)];
    w.left = l;
    w.top = t;
    w.right = r;
    w.bottom = b;
    w.active = std::string(state) != "off";
    return {};
}

int AudioFrameBytes(const std::string& codec) {
    if (codec == "g726_16") return 90;
    if (codec == "g726_24") return 135;
    if (codec == "g726_32") return 180;
    if (codec == "g726_40") return 225;
    return 256;
}

int AudioFrameMilliseconds(const std::string& codec) {
    return codec.rfind("g726", 0) == 0 ? 45 : 32;
}

}  // namespace camsim
