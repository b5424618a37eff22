#include "core/stream_request.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/auth.h"
#include "core/chunk_queue.h"
#include "core/proxy.h"
#include "core/session_loop.h"
#include "core/viewer_state.h"
#include "platform/clock.h"

namespace ocuview {

namespace {

constexpr std::string_view kReplyPrefix = "HTTP/1.";
constexpr std::string_view kJpegSeparator = "--myboundary\r\n";
constexpr std::string_view kHeaderEnd = "\r\n\r\n";

// Connects with a poll loop so that a stop request ends a slow connect within 100 ms.
bool ConnectInterruptibly(StreamSession& s, int fd, const sockaddr_in& to) {
    const int flags = ::fcntl(fd, F_GETFL, 0);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (rc != 0 && errno != EINPROGRESS) return false;
    const uint32_t start = platform::TickCountMs();
    while (rc != 0) {
        pollfd p{fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, 100);
        if (ready > 0) {
            int error = 0;
            socklen_t len = sizeof error;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
            if (error != 0) return false;
            rc = 0;
        } else if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (rc != 0 && (StopRequested(s) || platform::TickCountMs() - start >=
                                                static_cast<uint32_t>(s.viewer->connectTimeoutMs))) {
            return false;
        }
    }
    ::fcntl(fd, F_SETFL, flags);
    return true;
}

}  // namespace

bool ResolveIPv4(const std::string& host, in_addr* address) {
    if (::inet_pton(AF_INET, host.c_str(), address) == 1) return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
    *address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return true;
}

std::string MakeHostField(std::string_view host, std::string_view port) {
    if (port == "80" || host.empty() || port.empty()) return std::string(host);
    return std::string(host) + ":" + std::string(port);
}

std::string BuildStreamRequest(const ViewerState& viewer, const StreamSession& session) {
    std::string path;
    switch (session.kind) {
        case StreamKind::kVideo:
            path = viewer.settings.motionDetectionView ? "/mdimage" : "/mpeg4";
            break;
        case StreamKind::kAudio:
            path = "/audio";
            break;
        case StreamKind::kMotionJpeg:
            path = "/image?speed=" + std::to_string(viewer.requestRate);
            if (viewer.audioOn) path += "&AudioIn=on";
            break;
        case StreamKind::kMotionData:
            path = "/mddata.cgi";
            break;
        default:
            return {};
    }
    std::string text = "GET http://" + viewer.hostField + path + " HTTP/1.1\r\nHOST: " + viewer.hostField +
                       "\r\nConnection: close\r\nCache-Control: no-cache\r\n";
    text += AuthorizationLine(viewer);
    text += "\r\n";
    return text;
}

void CloseSocket(StreamSession& session) {
    std::lock_guard<std::mutex> hold(session.socketLock);
    if (session.socket >= 0) {
        ::shutdown(session.socket, SHUT_RDWR);
        ::close(session.socket);
        session.socket = -1;
    }
}

void ShutdownSocket(StreamSession& session) {
    std::lock_guard<std::mutex> hold(session.socketLock);
    if (session.socket >= 0) ::shutdown(session.socket, SHUT_RD);
}

int ConnectTcp(StreamSession& session) {
    CloseSocket(session);
    ViewerState& v = *session.viewer;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    {
        std::lock_guard<std::mutex> hold(session.socketLock);
        session.socket = fd;
    }
    sockaddr_in any{};
    any.sin_family = AF_INET;
    timeval tv{v.connectTimeoutMs / 1000, (v.connectTimeoutMs % 1000) * 1000};
    sockaddr_in to{};
    to.sin_family = AF_INET;
    bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any) == 0 &&
              ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0 &&
              ResolveIPv4(v.cameraHost, &to.sin_addr);
    const int port = std::atoi(v.cameraPort.c_str());
    to.sin_port = htons(static_cast<uint16_t>(port));
    if (ok) {
        const ProxyDecision proxy = QueryProxy(v.cameraHost);
        if (!proxy.direct) {
            {
                std::lock_guard<std::mutex> hold(v.authLock);
                v.proxyHost = proxy.host;
                v.proxyPort = proxy.port;
            }
            to.sin_port = htons(static_cast<uint16_t>(std::atoi(proxy.port.c_str())));
            in_addr proxyAddress{};
            if (ResolveIPv4(proxy.host, &proxyAddress)) to.sin_addr = proxyAddress;
        }
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
        ok = ConnectInterruptibly(session, fd, to);
    }
    if (!ok) {
        CloseSocket(session);
        return -1;
    }
    session.remote = to;
    session.receiveFill = 0;
    session.replyLineSeen = false;
    return 0;
}

bool SendStreamRequest(StreamSession& session) {
    const std::string text = BuildStreamRequest(*session.viewer, session);
    int fd;
    {
        std::lock_guard<std::mutex> hold(session.socketLock);
        fd = session.socket;
    }
    if (text.empty() || fd < 0 ||
        ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(text.size())) {
        CloseSocket(session);
        return false;
    }
    return true;
}

namespace {

// Receives into the session buffer after `offset`, at most `want` bytes.
int ReceiveInto(StreamSession& session, std::size_t offset, std::size_t want, std::size_t* got) {
    int fd;
    {
        std::lock_guard<std::mutex> hold(session.socketLock);
        fd = session.socket;
    }
    if (fd < 0) return kChunkError;
    want = std::min(want, session.receive.size() - offset);
    for (;;) {
        const ssize_t n = ::recv(fd, session.receive.data() + offset, want, 0);
        if (n > 0) {
            *got = static_cast<std::size_t>(n);
            return kChunkHandled;
        }
        if (n == 0) return kChunkClosed;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return kChunkTimeout;
        return kChunkError;
    }
}

// Queues the first audio frame of the receive buffer and keeps the rest; with the heap full the frame
// stays for the next call.
int QueueAudioFrame(StreamSession& session, std::size_t chunk) {
    TrimAudioQueue(session);
    if (!PushChunk(session, session.receive.data(), chunk)) {
        platform::SleepMs(1);
        return kChunkNoMemory;
    }
    std::memmove(session.receive.data(), session.receive.data() + chunk, session.receiveFill - chunk);
    session.receiveFill -= chunk;
    return kChunkHandled;
}

// Queues the `size` body bytes at the buffer head in chunk-size blocks. What the heap has no room for
// moves to the head and waits as pending body (after a 1 ms pause: the heap is the flow control).
int QueueBody(StreamSession& session, std::size_t size) {
    const std::size_t queued =
        PushChunks(session, session.receive.data(), size, static_cast<std::size_t>(session.chunkBytes));
    session.receiveFill = size - queued;
    session.pendingBody = queued < size;
    if (!session.pendingBody) return kChunkHandled;
    std::memmove(session.receive.data(), session.receive.data() + queued, size - queued);
    platform::SleepMs(1);
    return kChunkNoMemory;
}

// A 401 on the stream path: one thread asks, the others wait for its outcome.
int Authenticate(StreamSession& session, std::size_t size) {
    ViewerState& v = *session.viewer;
    bool expected = false;
    if (!v.dialogBusy.compare_exchange_strong(expected, true)) {
        while (v.authAttempts < 4 && v.dialogBusy && !StopRequested(session)) platform::SleepMs(1);
        if (v.authAttempts >= 4) v.statusCode = kStatusProtected;
        return kChunkRetry;
    }
    std::string reply(reinterpret_cast<const char*>(session.receive.data()), size);
    // The realm may come in a later receive: up to 3 more reads of at most 2048 bytes.
    for (int more = 0; more < 3 && reply.find("realm=") == std::string::npos; ++more) {
        std::size_t got = 0;
        if (ReceiveInto(session, 0, 2048, &got) != kChunkHandled) break;
        reply.append(reinterpret_cast<const char*>(session.receive.data()), got);
    }
    if (AskCredentials(v, RealmFromStreamReply(reply), AuthPath::kStream)) v.dialogBusy = false;
    return kChunkRetry;
}

}  // namespace

int HandleReplyHeader(StreamSession& session, std::size_t size, std::size_t* bodyStart) {
    ViewerState& v = *session.viewer;
    const std::string_view data(reinterpret_cast<const char*>(session.receive.data()), size);
    *bodyStart = size;
    if (!session.replyLineSeen) {
        if (data.substr(0, std::min(data.size(), kReplyPrefix.size())) !=
            kReplyPrefix.substr(0, std::min(data.size(), kReplyPrefix.size()))) {
            // No reply line: the bytes are body.
            session.headerPassed = true;
            *bodyStart = 0;
            return kChunkHandled;
        }
        if (data.size() >= 12) {
            const std::string_view status = data.substr(9, 3);
            if (status == "401") return Authenticate(session, size);
            if (status == "400" || status == "503") {
                v.statusCode = status == "400" ? kStatusBadRequest : kStatusUnavailable;
                v.authAttempts = 4;
                session.headerPassed = false;
                return kChunkRetry;
            }
        }
    }
    const std::string_view separator = session.kind == StreamKind::kMotionJpeg ? kJpegSeparator : kHeaderEnd;
    const std::size_t at = data.find(separator);
    if (at != std::string_view::npos) {
        session.headerPassed = true;
        *bodyStart = at + separator.size();
        return kChunkHandled;
    }
    // Keep enough of the tail that a separator split across two receives is still found.
    if (data.size() >= 12) session.replyLineSeen = true;
    const std::size_t keep = std::min(size, separator.size() - 1);
    std::memmove(session.receive.data(), session.receive.data() + size - keep, keep);
    session.receiveFill = keep;
    return kChunkHandled;
}

int ReceiveChunk(StreamSession& session) {
    const bool audio = session.kind == StreamKind::kAudio;
    const std::size_t chunk = static_cast<std::size_t>(session.chunkBytes);

    // Body bytes that found no room in the heap last time go first; nothing new is read until they did.
    if (session.pendingBody) return QueueBody(session, session.receiveFill);
    // Audio frames still held from a header read come out one per call.
    if (audio && session.headerPassed && session.receiveFill >= chunk) return QueueAudioFrame(session, chunk);

    // One receive takes whatever the socket holds, up to the buffer; the body is still queued in blocks of
    // the chunk size (one receive per chunk cost a system call and a consumer wake-up per 128 bytes).
    const std::size_t offset = (audio || !session.headerPassed) ? session.receiveFill : 0;
    const std::size_t want =
        audio ? (session.headerPassed ? chunk - offset : chunk) : session.receive.size() - offset;
    std::size_t got = 0;
    if (const int rc = ReceiveInto(session, offset, want, &got); rc != kChunkHandled) return rc;
    std::size_t size = offset + got;
    std::size_t body = 0;
    if (!session.headerPassed) {
        session.receiveFill = 0;
        const int rc = HandleReplyHeader(session, size, &body);
        if (rc != kChunkHandled) return rc;
        if (!session.headerPassed) return kChunkHandled;  // still searching; the tail is kept
        std::memmove(session.receive.data(), session.receive.data() + body, size - body);
        size -= body;
        if (size == 0) return kChunkHandled;
    }
    session.receiveFill = size;
    if (audio) {
        // One block per whole audio frame; a partial frame waits for the next receive.
        return size < chunk ? kChunkHandled : QueueAudioFrame(session, chunk);
    }
    return QueueBody(session, size);
}

}  // namespace ocuview
