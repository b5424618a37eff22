// The loop of one stream session on its network thread: HTTP over TCP, RTP over UDP (unicast or
// multicast) and the RTCP companion session, with their time-out and fallback rules.
#ifndef OCUVIEW_CORE_SESSION_LOOP_H
#define OCUVIEW_CORE_SESSION_LOOP_H

#include <cstddef>
#include <cstdint>

namespace ocuview {

struct StreamSession;

// Runs until the session's stop flag is set; clears nothing in the thread table (the caller does).
void RunSession(StreamSession& session);

// 0 and the bound port in `localPort` (moved up in steps of 4 while taken), or -1.
[[nodiscard]] int OpenUdpSocket(StreamSession& session, int* localPort, int remotePort);

// Results of ReceiveRtp.
enum RtpResult : int { kRtpHandled = 1, kRtpTimeout = -4, kRtpError = -5 };
// One datagram: statistics, then the payload queued (video) or cut into audio frames.
[[nodiscard]] int ReceiveRtp(StreamSession& session, uint8_t* audio, std::size_t* audioFill);
// The payload step of ReceiveRtp on a datagram already received (also used by the fuzz target).
[[nodiscard]] int HandleRtpDatagram(StreamSession& session, const uint8_t* data, std::size_t size,
                                    uint8_t* audio, std::size_t* audioFill, uint64_t arrivalUs);
// Room of the UDP audio accumulation buffer: a whole datagram behind a partial frame always fits.
inline constexpr std::size_t kRtpAudioBufferBytes = 2048;

// 0 sender report, 1 other packet, -1 nothing within 500 ms.
[[nodiscard]] int ReceiveRtcp(StreamSession& session);
void SendReceiverReport(StreamSession& session);
// RTCP: sends BYE first. Then closes the socket and releases the queue and the heap.
void CloseSession(StreamSession& session);

// Waits until the session's stop flag is set.
void WaitForStop(StreamSession& session);
[[nodiscard]] bool StopRequested(const StreamSession& session);

}  // namespace ocuview

#endif
