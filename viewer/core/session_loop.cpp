#include "core/session_loop.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "core/chunk_queue.h"
#include "core/command.h"
#include "core/stream_request.h"
#include "core/viewer_state.h"
#include "platform/clock.h"
#include "platform/debug_output.h"

namespace ocuview {

namespace {

uint64_t NowUs() {
    return platform::PerformanceCounter() / 1000;
}

ThreadSlot& SlotOf(const StreamSession& s) {
    return s.viewer->threads[static_cast<std::size_t>(s.channel)];
}

// The session has ended for good: flag it for the viewer and idle until stopped.
void EndAndWait(StreamSession& s, bool countError) {
    if (countError) ++s.viewer->errorCount;
    s.viewer->ended = true;
    WaitForStop(s);
}

bool SocketOpen(StreamSession& s) {
    std::lock_guard<std::mutex> hold(s.socketLock);
    return s.socket >= 0;
}

void RunTcp(StreamSession& s) {
    ViewerState& v = *s.viewer;
    NewHeap(s);
    s.headerPassed = false;
    s.pendingBody = false;
    s.receiveFill = 0;
    int failures = 0;
    const bool audio = s.kind == StreamKind::kAudio;
    for (;;) {
        // A new connection whenever the last one was closed; a reply header still being searched for
        // goes on over the same connection.
        if (!SocketOpen(s)) {
            s.headerPassed = false;
            bool connected = false;
            while (!connected && failures < 3 && !StopRequested(s)) {
                connected = ConnectTcp(s) == 0;
                if (!connected) ++failures;
            }
            if (StopRequested(s)) break;
            if (!connected) {
                CloseSocket(s);
                // Three failed connections: an error like a time-out, so that three of them end the viewer
                // with "Can not connect." instead of restarting it for ever.
                EndAndWait(s, !audio);
                break;
            }
            if (v.authAttempts >= 4 || v.ended) {
                WaitForStop(s);
                break;
            }
            if (s.kind == StreamKind::kMotionJpeg) v.requestRate = v.frameRate.load();
            if (!SendStreamRequest(s)) {
                ++failures;
                continue;
            }
        }
        const int rc = ReceiveChunk(s);
        if (rc == kChunkError) {
            // A reset connection (a camera refusing the stream) counts like a failed connection.
            CloseSocket(s);
            s.headerPassed = false;
            ++failures;
        } else if (rc == kChunkTimeout || rc == kChunkClosed || (rc == kChunkRetry && v.authAttempts >= 4)) {
            CloseSocket(s);
            EndAndWait(s, !audio && rc != kChunkClosed);
            break;
        } else if (rc == kChunkRetry) {
            CloseSocket(s);
            s.headerPassed = false;
        } else if (rc == kChunkHandled) {
            failures = 0;
        }
        if (StopRequested(s)) break;
        if (s.reconnectRequest) {
            // The rate of the request about to be made, before the decoding thread is let go: otherwise it
            // still sees the old rate and asks for another reconnect with every picture until the new
            // request is out.
            if (s.kind == StreamKind::kMotionJpeg) v.requestRate = v.frameRate.load();
            CloseSocket(s);
            NewHeap(s);
            s.headerPassed = false;
            s.pendingBody = false;
            s.receiveFill = 0;
            failures = 0;
            s.reconnectRequest = false;
        }
    }
    CloseSession(s);
    if (s.partner != nullptr) CloseSession(*s.partner);
}

void RunUdp(StreamSession& s) {
    ViewerState& v = *s.viewer;
    const bool video = s.kind == StreamKind::kVideo;
    int local, remote;
    if (s.multicast) {
        local = video ? v.camera.mcVideoPort : v.camera.mcAudioPort;
        remote = video ? v.udpBasePortVideo : v.udpBasePortAudio;
    } else {
        local = video ? v.udpBasePortVideo : v.udpBasePortAudio;
        remote = video ? v.camera.ucVideoPort : v.camera.ucAudioPort;
    }
    NewHeap(s);
    bool open = false;
    for (int attempt = 0; attempt < 3 && !open && !StopRequested(s); ++attempt) {
        if (attempt > 0) platform::SleepMs(500);
        int port = local;
        open = OpenUdpSocket(s, &port, remote) == 0;
        if (open) local = port;
    }
    if (!open) {
        v.fallbackRequest = 2;
        if (!StopRequested(s)) EndAndWait(s, false);
        CloseSession(s);
        return;
    }
    (video ? v.videoLocalPort : v.audioLocalPort) = local;
    s.stats->payloadType = 255;
    (void)StartUdpStream(v, s, local);

    uint8_t audio[kRtpAudioBufferBytes] = {};
    std::size_t audioFill = 0;
    int timeouts = 0;
    while (!StopRequested(s)) {
        const int rc = ReceiveRtp(s, audio, &audioFill);
        if (rc == kRtpTimeout) {
            if (++timeouts > v.udpTimeoutLimit) {
                v.fallbackRequest = 2;
                EndAndWait(s, false);
                break;
            }
        } else if (rc == kRtpHandled) {
            timeouts = 0;
        }
    }
    CloseSession(s);
}

void RunRtcp(StreamSession& s) {
    ViewerState& v = *s.viewer;
    const bool video = s.kind == StreamKind::kVideo;
    int local, remote;
    if (s.multicast) {
        local = remote = (video ? v.camera.mcVideoPort : v.camera.mcAudioPort) + 1;
    } else {
        std::atomic<int>& published = video ? v.videoLocalPort : v.audioLocalPort;
        while (published == 0 && !StopRequested(s)) platform::SleepMs(10);
        if (StopRequested(s)) return;
        local = published + 1;
        remote = (video ? v.camera.ucVideoPort : v.camera.ucAudioPort) + 1;
    }
    if (OpenUdpSocket(s, &local, remote) != 0) {
        v.observer.OnMessageBox("Error", "RTCP Socket Error!");
        return;
    }
    uint32_t lastReport = platform::TickCountMs();
    while (!StopRequested(s)) {
        const int rc = ReceiveRtcp(s);
        if (rc == 0) {
            lastReport = platform::TickCountMs();
            SendReceiverReport(s);
        } else if (rc == -1 && platform::TickCountMs() - lastReport >=
                                   static_cast<uint32_t>(v.senderReportSilenceS) * 1000u) {
            EndAndWait(s, false);
        }
    }
    CloseSession(s);
}

int ReceiveDatagram(StreamSession& s, uint8_t* buffer, std::size_t capacity) {
    int fd;
    {
        std::lock_guard<std::mutex> hold(s.socketLock);
        fd = s.socket;
    }
    if (fd < 0) return -2;
    for (;;) {
        const ssize_t n = s.multicast ? ::recvfrom(fd, buffer, capacity, 0, nullptr, nullptr)
                                      : ::recv(fd, buffer, capacity, 0);
        if (n >= 0) return static_cast<int>(n);
        if (errno == EINTR) continue;
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? -1 : -2;
    }
}

void SendDatagram(StreamSession& s, const uint8_t* data, std::size_t size) {
    std::lock_guard<std::mutex> hold(s.socketLock);
    if (s.socket < 0) return;
    if (s.multicast) {
        ::sendto(s.socket, data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&s.remote),
                 sizeof s.remote);
    } else {
        ::send(s.socket, data, size, MSG_NOSIGNAL);
    }
}

// Queues one block, waiting in 1 ms steps while the heap is full; false when stopped meanwhile.
bool PushWaiting(StreamSession& s, const uint8_t* data, std::size_t size, std::size_t blockBytes) {
    while (!PushChunk(s, data, size, blockBytes)) {
        if (StopRequested(s)) return false;
        platform::SleepMs(1);
    }
    return true;
}

}  // namespace

bool StopRequested(const StreamSession& session) {
    return SlotOf(session).stop.load() != 0;
}

void WaitForStop(StreamSession& session) {
    ViewerState& v = *session.viewer;
    std::unique_lock<std::mutex> hold(v.stopLock);
    while (!StopRequested(session)) v.stopSignal.wait_for(hold, std::chrono::milliseconds(50));
}

void RunSession(StreamSession& session) {
    switch (session.transport) {
        case Transport::kTcp:
            RunTcp(session);
            break;
        case Transport::kUdp:
            RunUdp(session);
            break;
        case Transport::kRtcp:
            RunRtcp(session);
            break;
        default:
            break;
    }
}

int OpenUdpSocket(StreamSession& s, int* localPort, int remotePort) {
    ViewerState& v = *s.viewer;
    CloseSocket(s);
    // The default protocol of a datagram socket is UDP, multicast or not.
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    {
        std::lock_guard<std::mutex> hold(s.socketLock);
        s.socket = fd;
    }
    in_addr peer{};
    const std::string peerName = s.multicast ? v.camera.multicastAddress : v.cameraHost;
    if (!ResolveIPv4(peerName, &peer)) {
        CloseSocket(s);
        return -1;
    }
    if (s.multicast) {
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    int port = *localPort;
    bool bound = false;
    for (int more = 0; more <= 64 && port <= 65535; ++more, port += 4) {
        local.sin_port = htons(static_cast<uint16_t>(port));
        if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0) {
            bound = true;
            break;
        }
    }
    if (!bound) {
        CloseSocket(s);
        return -1;
    }
    *localPort = port;
    if (s.multicast) {
        // Joined on the interface that reaches the camera: loopback for a camera on this machine.
        in_addr camera{};
        ip_mreq join{};
        join.imr_multiaddr = peer;
        join.imr_interface.s_addr = htonl(INADDR_ANY);
        if (ResolveIPv4(v.cameraHost, &camera) && (ntohl(camera.s_addr) >> 24) == 127) {
            join.imr_interface = camera;
            ::setsockopt(fd, SOL_IP, IP_MULTICAST_IF, &camera, sizeof camera);
        }
        if (::setsockopt(fd, SOL_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) != 0) {
            CloseSocket(s);
            return -1;
        }
    }
    timeval tv{0, 500000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    s.remote = sockaddr_in{};
    s.remote.sin_family = AF_INET;
    s.remote.sin_addr = peer;
    s.remote.sin_port = htons(static_cast<uint16_t>(remotePort));
    s.local = local;
    if (!s.multicast && ::connect(fd, reinterpret_cast<sockaddr*>(&s.remote), sizeof s.remote) != 0) {
        CloseSocket(s);
        return -1;
    }
    return 0;
}

int HandleRtpDatagram(StreamSession& s, const uint8_t* data, std::size_t size, uint8_t* audio,
                      std::size_t* audioFill, uint64_t arrivalUs) {
    RtpHeader h;
    if (!ParseRtpHeader(data, size, &h)) return kRtpHandled;  // too short to carry anything
    if (h.version == 2) {
        int expected = 255;
        s.stats->payloadType.compare_exchange_strong(expected, h.payloadType);
        if (s.stats->payloadType == h.payloadType) s.stats->Update(h.sequence, h.timestamp, arrivalUs);
    }
    const uint8_t* payload = data + 12;
    const std::size_t length = size - 12;
    if (s.kind == StreamKind::kVideo) {
        return PushWaiting(s, payload, length, kUdpChunkBytes) ? kRtpHandled : kRtpError;
    }
    TrimAudioQueue(s);
    const std::size_t frame = static_cast<std::size_t>(s.chunkBytes);
    if (frame == 0 || *audioFill + length > kRtpAudioBufferBytes) {
        *audioFill = 0;  // cannot happen with the camera's frame sizes; start afresh rather than overrun
        if (frame == 0 || length > kRtpAudioBufferBytes) return kRtpHandled;
    }
    std::memcpy(audio + *audioFill, payload, length);
    *audioFill += length;
    std::size_t used = 0;
    while (*audioFill - used >= frame) {
        if (!PushWaiting(s, audio + used, frame, frame)) return kRtpError;
        used += frame;
    }
    std::memmove(audio, audio + used, *audioFill - used);
    *audioFill -= used;
    std::memset(audio + *audioFill, 0, kRtpAudioBufferBytes - *audioFill);
    return kRtpHandled;
}

int ReceiveRtp(StreamSession& s, uint8_t* audio, std::size_t* audioFill) {
    uint8_t datagram[kUdpChunkBytes];
    const int n = ReceiveDatagram(s, datagram, sizeof datagram);
    if (n == -1) return kRtpTimeout;
    if (n < 0 || StopRequested(s)) return kRtpError;
    return HandleRtpDatagram(s, datagram, static_cast<std::size_t>(n), audio, audioFill, NowUs());
}

int ReceiveRtcp(StreamSession& s) {
    uint8_t packet[kUdpChunkBytes];
    const int n = ReceiveDatagram(s, packet, sizeof packet);
    if (n < 0) {
        platform::SleepMs(1);
        return -1;
    }
    switch (HandleRtcp(packet, static_cast<std::size_t>(n), *s.stats, NowUs())) {
        case RtcpKind::kSenderReport:
            return 0;
        case RtcpKind::kOwnBye:
            EndAndWait(s, false);
            return 1;
        default:
            return 1;
    }
}

void SendReceiverReport(StreamSession& s) {
    const auto rr = s.stats->MakeReceiverReport(NowUs(), platform::TickCountMs());
    SendDatagram(s, rr.data(), rr.size());
}

void CloseSession(StreamSession& s) {
    if (s.transport == Transport::kRtcp && s.stats != nullptr) {
        const auto bye = s.stats->MakeBye();
        SendDatagram(s, bye.data(), bye.size());
    }
    CloseSocket(s);
    ClearQueue(s, true);
}

}  // namespace ocuview
