// RTP over UDP (RFC 3550) from the camera's ports: one channel per medium with a data socket on the
// camera's port and an RTCP socket on the next port up. Each started session paces its units to one
// client (or a multicast group), sends sender reports and a BYE when it stops; the RTCP socket records
// the receiver reports and BYEs that come back.
//
// Timestamps count 8000 per second for both media: the viewer computes its jitter in those units.
#ifndef CAMSIM_RTP_H
#define CAMSIM_RTP_H

#include <netinet/in.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config.h"
#include "socket_util.h"
#include "state.h"

namespace camsim {

// Produces the next unit to send (a picture or an audio frame) and its duration in 8 kHz ticks; returns
// false when there is nothing more.
using UnitSource = std::function<bool(std::string* unit, uint32_t* ticks)>;

class RtpChannel {
  public:
    // `medium` is "video" or "audio"; `faults` is asked for the current faults at each session start.
    RtpChannel(std::string medium, int payloadType, SimState& state, std::function<Faults()> faults);
    ~RtpChannel();

    // Binds the data port and the RTCP port (data + 1) on `bindAddress` and starts the RTCP receiver.
    bool Open(const std::string& bindAddress, uint16_t dataPort, std::string* error);

    // Starts sending to `destination` (its port + 1 gets the sender reports); a session already sending
    // to the same destination is replaced. Multicast destinations are sent through the loopback interface.
    // A unicast session ends (with a BYE) when nothing has come from its receiver's RTCP for
    // `rtcpTimeoutMs`: receiver reports keep it going. False, and nothing started, when the client's
    // address already has `maxPerClient` sessions on this channel or no thread can be started.
    bool StartSession(const sockaddr_in& destination, bool multicast, UnitSource source, int senderReportMs,
                      int rtcpTimeoutMs, int maxPerClient);

    // Stops every session (each sends its BYE) and the receiver.
    void Close();

    uint16_t dataPort() const { return dataPort_; }

  private:
    struct Session;
    void RunSession(Session* s);
    void ReceiveRtcp();
    void SendRtcp(const Session& s, const std::string& packet);

    std::string medium_;
    int payloadType_;
    SimState& state_;
    std::function<Faults()> faults_;
    Fd data_, rtcp_;
    uint16_t dataPort_ = 0;
    std::atomic<bool> closing_{false};
    std::thread receiver_;
    std::mutex lock_;  // guards sessions_; sessions that ended are joined and dropped by the next start
    std::list<std::unique_ptr<Session>> sessions_;
};

// The receiver-report blocks and BYE sources of one RTCP compound packet; parts that are not version 2 or
// run past the end stop the walk. Report fields `medium` and `peer` are left empty.
void ParseRtcpCompound(const unsigned char* data, std::size_t size, std::vector<SeenReceiverReport>* reports,
                       std::vector<uint32_t>* byeSources);

// Builds the session description a client (FFmpeg among them) reads to receive a stream.
std::string SessionDescription(const std::string& medium, const std::string& destination, uint16_t port,
                               int payloadType, const std::string& encoding, const std::string& mpeg4Config);

}  // namespace camsim

#endif
