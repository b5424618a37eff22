// The HTTP proxy of the stream and command paths, from the environment as Linux tools read it:
// `http_proxy` (else `HTTP_PROXY`) names the proxy, `no_proxy` (else `NO_PROXY`) lists the hosts reached
// directly. The bypass list is matched entry by entry with the viewer's wildcard rules, plus the usual
// leading-dot suffix form (".example.com").
#ifndef OCUVIEW_CORE_PROXY_H
#define OCUVIEW_CORE_PROXY_H

#include <string>
#include <string_view>

namespace ocuview {

struct ProxyDecision {
    bool direct = true;
    std::string host;  // the proxy when not direct
    std::string port;
};

// Host and port from a proxy text: "http=host:port;ftp=..." (the part after "http="), "host:port", or a
// URL "http://host:port/". The port defaults to "80" when the text names none.
struct ProxyAddress {
    std::string host, port;
};
[[nodiscard]] ProxyAddress ParseProxyText(std::string_view text);

// Tests one bypass entry against the camera host: equal names, the wildcard table ("*P", "*P*", "*P*Q",
// "P*", "P*Q", "P*Q*R"), a leading-dot suffix, or equal first IPv4 addresses (`resolve` true).
[[nodiscard]] bool MatchBypassEntry(std::string_view entry, std::string_view cameraHost, bool resolve);

// Walks a list separated by ";" or "," (a trailing ";<local>" removed); true on a match.
[[nodiscard]] bool MatchBypassList(std::string_view list, std::string_view cameraHost, bool resolve = true);

// The decision for `cameraHost` from the environment.
[[nodiscard]] ProxyDecision QueryProxy(std::string_view cameraHost);

}  // namespace ocuview

#endif
