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

template <typename T, typename F>
std::string Array(const std::vector<T>& items, F item) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + item(items[i]);
    return out + "]";
}

template <typename V>
std::string Object(const std::map<std::string, V>& m) {
    std::string out = "{";
    bool first = true;
    for (const auto& [k, v] : m) {
        out += (first ? "" : ",") + Quote(k) + ":" + std::to_string(v);
        first = false;
    }
    return out + "}";
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

std::string SimState::ToJson() const {
    std::lock_guard<std::mutex> hold(lock_);
    std::string j = "{\"requests\":";
    j += Array(requests_, [](const SeenRequest& r) {
        return "{\"method\":" + Quote(r.method) + ",\"target\":" + Quote(r.target) +
               ",\"path\":" + Quote(r.path) + ",\"peer\":" + Quote(r.peer) +
               ",\"authorized\":" + (r.authorized ? "true" : "false") +
               ",\"status\":" + std::to_string(r.status) + "}";
    });
    j += ",\"commands\":";
    j += Array(commands_, [](const SeenCommand& c) {
        return "{\"cgi\":" + Quote(c.cgi) + ",\"body\":" + Quote(c.body) + "}";
    });
    j += ",\"receiverReports\":";
    j += Array(reports_, [](const SeenReceiverReport& r) {
        return "{\"medium\":" + Quote(r.medium) + ",\"peer\":" + Quote(r.peer) +
               ",\"reporterSsrc\":" + std::to_string(r.reporterSsrc) +
               ",\"sourceSsrc\":" + std::to_string(r.sourceSsrc) +
               ",\"fractionLost\":" + std::to_string(r.fractionLost) +
               ",\"cumulativeLost\":" + std::to_string(r.cumulativeLost) +
               ",\"highestSequence\":" + std::to_string(r.highestSequence) +
               ",\"jitter\":" + std::to_string(r.jitter) + ",\"lastSr\":" + std::to_string(r.lastSr) +
               ",\"delaySinceLastSr\":" + std::to_string(r.delaySinceLastSr) + "}";
    });
    j += ",\"byes\":";
    j += Array(byes_, [](const SeenBye& b) {
        return "{\"medium\":" + Quote(b.medium) + ",\"peer\":" + Quote(b.peer) +
               ",\"ssrc\":" + std::to_string(b.ssrc) + "}";
    });
    j += ",\"bytesSent\":" + Object(bytes_);
    j += ",\"senderReports\":" + Object(senderReports_);
    j += ",\"activeStreams\":" + Object(active_);
    return j + "}";
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
