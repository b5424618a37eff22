// The command path: short CGI requests over libcurl (inquiry, triggers, motion detection) and the GET
// that asks the camera to start a UDP stream. Each request carries the viewer's authorization line and
// the agent "Lumaro ActiveX Viewer", and ends within the viewer's command time-out (30 s) whatever the
// camera does.
#ifndef OCUVIEW_CORE_COMMAND_H
#define OCUVIEW_CORE_COMMAND_H

#include <cstddef>
#include <string>
#include <string_view>

namespace ocuview {

struct ViewerState;
struct StreamSession;

// The most reply bytes a command keeps.
inline constexpr std::size_t kCommandReplyBytes = 10240;

// POSTs `body` to `path` ("/command/inquiry.cgi"); on success `reply` holds at most 10240 bytes of the
// answer. A 401 asks for credentials and sends again (4 passes at most). Failures set the status code
// (17 time-out or no answer, 18 protected), the attempts to 4 and the ended flag.
[[nodiscard]] bool PostCgi(ViewerState& viewer, std::string_view path, std::string_view body,
                           std::string* reply);

// Asks the camera to send the session's medium over UDP to `localPort` ("UdpMode=unicast&UdpPort=")
// or to its multicast group ("UdpMode=multicast"), directly (never through a proxy).
[[nodiscard]] bool StartUdpStream(ViewerState& viewer, const StreamSession& session, int localPort);

}  // namespace ocuview

#endif
