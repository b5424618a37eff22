// What the simulator has seen and sent, for tests to inspect (GET /sim/state answers it as JSON).
#ifndef CAMSIM_STATE_H
#define CAMSIM_STATE_H

#include <cstdint>
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

class SimState {
  public:
    void AddRequest(const SeenRequest& r);
    void AddCommand(const SeenCommand& c);
    void AddReceiverReport(const SeenReceiverReport& r);
    void AddBye(const SeenBye& b);
    void AddBytes(const std::string& stream, uint64_t n);
    void AddSenderReport(const std::string& medium);
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

  private:
    mutable std::mutex lock_;  // guards everything below
    std::vector<SeenRequest> requests_;
    std::vector<SeenCommand> commands_;
    std::vector<SeenReceiverReport> reports_;
    std::vector<SeenBye> byes_;
    std::map<std::string, uint64_t> bytes_;
    std::map<std::string, int> senderReports_;
    std::map<std::string, int> active_;
};

}  // namespace camsim

#endif
