// RTP reception statistics of one medium (RFC 3550 appendix A, with the viewer's differences), shared by
// its UDP data session and its RTCP session, and the RTCP packets built and read from them.
//
// The data session writes the sequence state and the jitter, the RTCP session the sender fields and the
// report priors; the fields are atomics so that each side reads the other's last value without a lock.
#ifndef OCUVIEW_CORE_RTP_STATS_H
#define OCUVIEW_CORE_RTP_STATS_H

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace ocuview {

struct RtpHeader {
    int version = 0;
    int payloadType = 0;
    uint16_t sequence = 0;
    uint32_t timestamp = 0;
    uint32_t ssrc = 0;
};
// The fixed 12-byte header; false when fewer than 12 bytes arrived.
[[nodiscard]] bool ParseRtpHeader(const uint8_t* data, std::size_t size, RtpHeader* header);

struct RtpStats {
    std::atomic<uint32_t> maxSeq{0};
    std::atomic<uint32_t> cycles{0};  // sequence wraps times 65536
    std::atomic<uint32_t> baseSeq{0};
    std::atomic<uint32_t> badSeq{65537};  // candidate for a new run; 65537 none
    std::atomic<bool> initialised{false};
    std::atomic<uint32_t> received{0};
    std::atomic<uint32_t> expectedPrior{0}, receivedPrior{0};
    std::atomic<uint32_t> jitter{0};      // timestamp units (8000 per second)
    std::atomic<int> payloadType{255};    // first payload type seen; 255 none yet
    std::atomic<uint32_t> senderSsrc{0};  // of the camera, from its last sender report
    std::atomic<uint32_t> ownSsrc{0};     // taken once from the millisecond tick count
    std::atomic<bool> haveOwnSsrc{false};
    std::atomic<uint32_t> lastSr{0};       // middle 32 bits of the last sender report's NTP time
    std::atomic<uint64_t> srArrivalUs{0};  // when it arrived (microseconds of the millisecond timer); 0 none
    // Jitter state (data session only).
    bool havePrevious = false;
    uint64_t prevArrivalUs = 0;
    uint32_t prevTimestamp = 0;
    std::atomic<int32_t> cumulativeLost{0};  // last value reported

    // Back to the state of a new viewer.
    void Clear();
    // One packet with a valid header of the session's payload type: sequence state and jitter.
    // `arrivalUs` is the arrival time in microseconds.
    void Update(uint16_t sequence, uint32_t timestamp, uint64_t arrivalUs);
    // A 32-byte receiver report for the current state (updates the priors); `nowUs` for the DLSR.
    std::array<uint8_t, 32> MakeReceiverReport(uint64_t nowUs, uint32_t tickCountMs);
    // An 8-byte BYE carrying the camera's SSRC.
    std::array<uint8_t, 8> MakeBye() const;

  private:
    void Init(uint16_t sequence);
};

// What one received RTCP packet means to the RTCP session.
enum class RtcpKind { kSenderReport, kOwnBye, kOther };
// Reads a compound packet's first packet: a sender report updates `stats` (sender SSRC, last SR, arrival);
// a BYE counts only when it carries the camera's SSRC.
[[nodiscard]] RtcpKind HandleRtcp(const uint8_t* data, std::size_t size, RtpStats& stats, uint64_t arrivalUs);

}  // namespace ocuview

#endif
