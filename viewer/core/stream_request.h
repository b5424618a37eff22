// The stream path over TCP: the hand-built request, the connection (directly or through the HTTP proxy),
// the reply-header handling and the cutting of the body into queue blocks.
#ifndef OCUVIEW_CORE_STREAM_REQUEST_H
#define OCUVIEW_CORE_STREAM_REQUEST_H

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ocuview {

struct StreamSession;
struct ViewerState;

// host, or host + ":" + port when the port text is not "80" and the host is not empty.
[[nodiscard]] std::string MakeHostField(std::string_view host, std::string_view port);

// The whole request text of a stream session: absolute URI, HOST, Connection, Cache-Control, the
// authorization line when there is one, and the empty line. Empty for a kind without a stream.
[[nodiscard]] std::string BuildStreamRequest(const ViewerState& viewer, const StreamSession& session);

// 0 connected, -1 failure (socket closed).
[[nodiscard]] int ConnectTcp(StreamSession& session);
[[nodiscard]] bool SendStreamRequest(StreamSession& session);

// Results of ReceiveChunk.
enum ReceiveResult : int {
    kChunkHandled = 0,
    kChunkNoMemory = -1,
    kChunkRetry = -2,
    kChunkTimeout = -3,
    kChunkError = -4,
    kChunkClosed = -5,
};
[[nodiscard]] int ReceiveChunk(StreamSession& session);

// The reply-header step on bytes just received (also used by the fuzz target): `data` holds `size` bytes
// at the buffer head; returns kChunkHandled with the body's offset in `bodyStart` (size when none yet),
// or kChunkRetry after a status event. Sets the session's header flags.
[[nodiscard]] int HandleReplyHeader(StreamSession& session, std::size_t size, std::size_t* bodyStart);

// The first IPv4 address of a host name or dotted text; false when it does not resolve.
[[nodiscard]] bool ResolveIPv4(const std::string& host, in_addr* address);

// Socket helpers shared with the UDP sessions; all take the session's socket lock.
void CloseSocket(StreamSession& session);
void ShutdownSocket(StreamSession& session);

}  // namespace ocuview

#endif
