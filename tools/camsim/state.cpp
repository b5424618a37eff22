#include "state.h"

#include <cstdio>

namespace camsim {
namespace {

// The length of the well-formed UTF-8 sequence at s[i] (shortest form, no surrogates, at most U+10FFFF),
// or 0 when the bytes there are not one.
std::size_t Utf8Length(const std::string& s, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b = at(i);
    std::size_t n;
    unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        if (b == 0xE0) low = 0xA0;
        if (b == 0xED) high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        if (b == 0xF0) low = 0x90;
        if (b == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + n > s.size() || at(i + 1) < low || at(i + 1) > high) return 0;
    for (std::size_t k = 2; k < n; ++k)
        if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
    return n;
}

// A JSON string. Bytes that are not UTF-8 (a request target may hold anything) become the code point of
// the same value, \u00XX, so that the document stays valid and the byte can still be told.
std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (static_cast<unsigned char>(c) >= 0x80) {
            const std::size_t n = Utf8Length(s, i);
            if (n == 0) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
                out += buf;
            } else {
                out.append(s, i, n);
                i += n - 1;
            }
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
                    out += buf;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

}  // namespace

namespace {

// Appends `item` to a history of at most `history` entries, counting the one that falls out.
template <typename T>
void Keep(std::deque<T>& list, const T& item, std::size_t history, uint64_t& dropped) {
    list.push_back(item);
    if (list.size() > history) {
        list.pop_front();
        ++dropped;
    }
}

}  // namespace

void SimState::AddRequest(const SeenRequest& r) {
    std::lock_guard<std::mutex> hold(lock_);
    Keep(requests_, r, history_, dropped_["requests"]);
}

void SimState::AddCommand(const SeenCommand& c) {
    std::lock_guard<std::mutex> hold(lock_);
    Keep(commands_, c, history_, dropped_["commands"]);
}

void SimState::AddReceiverReport(const SeenReceiverReport& r) {
    std::lock_guard<std::mutex> hold(lock_);
    Keep(reports_, r, history_, dropped_["receiverReports"]);
}

void SimState::AddBye(const SeenBye& b) {
    std::lock_guard<std::mutex> hold(lock_);
    Keep(byes_, b, history_, dropped_["byes"]);
}

void SimState::AddBytes(const std::string& stream, uint64_t n) {
    std::lock_guard<std::mutex> hold(lock_);
    bytes_[stream] += n;
}

void SimState::AddSenderReport(const std::string& medium) {
    std::lock_guard<std::mutex> hold(lock_);
    ++senderReports_[medium];
}

void SimState::AddAcceptFailure() {
    std::lock_guard<std::mutex> hold(lock_);
    ++acceptFailures_;
}

void SimState::AddRtcpTimeout(const std::string& medium) {
    std::lock_guard<std::mutex> hold(lock_);
    ++rtcpTimeouts_[medium];
}

void SimState::StreamStarted(const std::string& stream) {
    std::lock_guard<std::mutex> hold(lock_);
    ++active_[stream];
}

void SimState::StreamEnded(const std::string& stream) {
    std::lock_guard<std::mutex> hold(lock_);
    --active_[stream];
}

namespace {

// Appends `"key":value` pairs with commas; built with appends, since long chains of string + string
// trip a false warning in some compilers at high optimisation.
class JsonObject {
  public:
    explicit JsonObject(std::string& out) : out_(out) { out_ += '{'; }
    ~JsonObject() { out_ += '}'; }
    JsonObject& Text(const char* key, const std::string& value) {
        Key(key);
        out_ += Quote(value);
        return *this;
    }
    template <typename N>
    JsonObject& Number(const char* key, N value) {
        Key(key);
        out_ += std::to_string(value);
        return *this;
    }
    JsonObject& Bool(const char* key, bool value) {
        Key(key);
        out_ += value ? "true" : "false";
        return *this;
    }
    std::string& Raw(const char* key) {
        Key(key);
        return out_;
    }

  private:
    void Key(const char* key) {
        if (!first_) out_ += ',';
        first_ = false;
        out_ += '"';
        out_ += key;
        out_ += "\":";
    }
    std::string& out_;
    bool first_ = true;
};

template <typename T, typename F>
void AppendArray(std::string& out, const std::deque<T>& items, F item) {
    out += '[';
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) out += ',';
        item(out, items[i]);
    }
    out += ']';
}

template <typename V>
void AppendMap(std::string& out, const std::map<std::string, V>& m) {
    JsonObject o(out);
    for (const auto& [k, v] : m) o.Number(k.c_str(), v);
}

}  // namespace

std::string SimState::ToJson() const {
    std::lock_guard<std::mutex> hold(lock_);
    std::string j;
    {
        JsonObject root(j);
        AppendArray(root.Raw("requests"), requests_, [](std::string& out, const SeenRequest& r) {
            JsonObject(out)
                .Text("method", r.method)
                .Text("target", r.target)
                .Text("path", r.path)
                .Text("peer", r.peer)
                .Bool("authorized", r.authorized)
                .Number("status", r.status);
        });
        AppendArray(root.Raw("commands"), commands_, [](std::string& out, const SeenCommand& c) {
            JsonObject(out).Text("cgi", c.cgi).Text("body", c.body);
        });
        AppendArray(root.Raw("receiverReports"), reports_, [](std::string& out, const SeenReceiverReport& r) {
            JsonObject(out)
                .Text("medium", r.medium)
                .Text("peer", r.peer)
                .Number("reporterSsrc", r.reporterSsrc)
                .Number("sourceSsrc", r.sourceSsrc)
                .Number("fractionLost", r.fractionLost)
                .Number("cumulativeLost", r.cumulativeLost)
                .Number("highestSequence", r.highestSequence)
                .Number("jitter", r.jitter)
                .Number("lastSr", r.lastSr)
                .Number("delaySinceLastSr", r.delaySinceLastSr);
        });
        AppendArray(root.Raw("byes"), byes_, [](std::string& out, const SeenBye& b) {
            JsonObject(out).Text("medium", b.medium).Text("peer", b.peer).Number("ssrc", b.ssrc);
        });
        AppendMap(root.Raw("bytesSent"), bytes_);
        AppendMap(root.Raw("senderReports"), senderReports_);
        AppendMap(root.Raw("activeStreams"), active_);
        AppendMap(root.Raw("rtcpTimeouts"), rtcpTimeouts_);
        root.Number("acceptFailures", acceptFailures_);
        AppendMap(root.Raw("dropped"), dropped_);
    }
    return j;
}

std::vector<SeenRequest> SimState::Requests() const {
    std::lock_guard<std::mutex> hold(lock_);
    return {requests_.begin(), requests_.end()};
}

std::vector<SeenCommand> SimState::Commands() const {
    std::lock_guard<std::mutex> hold(lock_);
    return {commands_.begin(), commands_.end()};
}

std::vector<SeenReceiverReport> SimState::ReceiverReports() const {
    std::lock_guard<std::mutex> hold(lock_);
    return {reports_.begin(), reports_.end()};
}

std::vector<SeenBye> SimState::Byes() const {
    std::lock_guard<std::mutex> hold(lock_);
    return {byes_.begin(), byes_.end()};
}

uint64_t SimState::BytesSent(const std::string& stream) const {
    std::lock_guard<std::mutex> hold(lock_);
    const auto it = bytes_.find(stream);
    return it == bytes_.end() ? 0 : it->second;
}

int SimState::ActiveStreams(const std::string& stream) const {
    std::lock_guard<std::mutex> hold(lock_);
    const auto it = active_.find(stream);
    return it == active_.end() ? 0 : it->second;
}

int SimState::RtcpTimeouts(const std::string& medium) const {
    std::lock_guard<std::mutex> hold(lock_);
    const auto it = rtcpTimeouts_.find(medium);
    return it == rtcpTimeouts_.end() ? 0 : it->second;
}

uint64_t SimState::AcceptFailures() const {
    std::lock_guard<std::mutex> hold(lock_);
    return acceptFailures_;
}

}  // namespace camsim
