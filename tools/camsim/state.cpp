#include "state.h"

#include <cstdio>

namespace camsim {
namespace {

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (const char c : s) {
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

void SimState::AddRequest(const SeenRequest& r) {
    std::lock_guard<std::mutex> hold(lock_);
    requests_.push_back(r);
}

void SimState::AddCommand(const SeenCommand& c) {
    std::lock_guard<std::mutex> hold(lock_);
    commands_.push_back(c);
}

void SimState::AddReceiverReport(const SeenReceiverReport& r) {
    std::lock_guard<std::mutex> hold(lock_);
    reports_.push_back(r);
}

void SimState::AddBye(const SeenBye& b) {
    std::lock_guard<std::mutex> hold(lock_);
    byes_.push_back(b);
}

void SimState::AddBytes(const std::string& stream, uint64_t n) {
    std::lock_guard<std::mutex> hold(lock_);
    bytes_[stream] += n;
}

void SimState::AddSenderReport(const std::string& medium) {
    std::lock_guard<std::mutex> hold(lock_);
    ++senderReports_[medium];
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
void AppendArray(std::string& out, const std::vector<T>& items, F item) {
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
    }
    return j;
}

std::vector<SeenRequest> SimState::Requests() const {
    std::lock_guard<std::mutex> hold(lock_);
    return requests_;
}

std::vector<SeenCommand> SimState::Commands() const {
    std::lock_guard<std::mutex> hold(lock_);
    return commands_;
}

std::vector<SeenReceiverReport> SimState::ReceiverReports() const {
    std::lock_guard<std::mutex> hold(lock_);
    return reports_;
}

std::vector<SeenBye> SimState::Byes() const {
    std::lock_guard<std::mutex> hold(lock_);
    return byes_;
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

}  // namespace camsim
