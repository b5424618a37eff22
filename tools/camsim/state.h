// What the simulator has seen and sent, for tests to inspect (GET /sim/state answers it as JSON).
#ifndef CAMSIM_STATE_H
#define CAMSIM_STATE_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace camsim {

struct SeenRequest {
    std::string method, target, path, peer;
    bool authorized = true;
    int status = 0;  // the status answered (200 for streams)
};

struct SeenCommand {
    std::string cgi;  // "inquiry", "main", "motiondetection"
    std::string body;
};

// One report block of a receiver report, with where it came from.
struct SeenReceiverReport {
    std::string medium;  // "video" or "audio"
    std::string peer;    // "address:port"
    uint32_t reporterSsrc = 0, sourceSsrc = 0;
    int fractionLost = 0;
    int32_t cumulativeLost = 0;
    uint32_t highestSequence = 0, jitter = 0, lastSr = 0, delaySinceLastSr = 0;
};

struct SeenBye {
    std::string medium, peer;
    uint32_t ssrc = 0;
};

// Requests, commands, receiver reports and BYEs are kept for the last `history` of each, so that a long
// run or a flood of requests cannot grow the state without end; the counts of those dropped are kept.
class SimState {
  public:
    explicit SimState(std::size_t history = 1000) : history_(history < 1 ? 1 : history) {}

    void AddRequest(const SeenRequest& r);
    void AddCommand(const SeenCommand& c);
    void AddReceiverReport(const SeenReceiverReport& r);
    void AddBye(const SeenBye& b);
    void AddBytes(const std::string& stream, uint64_t n);
    void AddSenderReport(const std::string& medium);
    // An accept failed for want of descriptors or memory.
    void AddAcceptFailure();
    // A unicast RTP session ended because its receiver sent no RTCP for the time-out.
    void AddRtcpTimeout(const std::string& medium);
    void StreamStarted(const std::string& stream);
    void StreamEnded(const std::string& stream);

    std::string ToJson() const;

    // Copies for in-process tests.
    std::vector<SeenRequest> Requests() const;
    std::vector<SeenCommand> Commands() const;
    std::vector<SeenReceiverReport> ReceiverReports() const;
    std::vector<SeenBye> Byes() const;
    uint64_t BytesSent(const std::string& stream) const;
    int ActiveStreams(const std::string& stream) const;
    int RtcpTimeouts(const std::string& medium) const;
    uint64_t AcceptFailures() const;

  private:
    const std::size_t history_;
    mutable std::mutex lock_;  // guards everything below
    std::deque<SeenRequest> requests_;
    std::deque<SeenCommand> commands_;
    std::deque<SeenReceiverReport> reports_;
    std::deque<SeenBye> byes_;
    std::map<std::string, uint64_t> dropped_;  // per list name, entries that fell out of the history
    std::map<std::string, uint64_t> bytes_;
    std::map<std::string, int> senderReports_;
    std::map<std::string, int> rtcpTimeouts_;
    uint64_t acceptFailures_ = 0;
    std::map<std::string, int> active_;
};

}  // namespace camsim

#endif
