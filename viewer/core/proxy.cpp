#include "core/proxy.h"

#include "core/stream_request.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <cstdlib>
#include <cstring>

namespace ocuview {

namespace {

// The first IPv4 address of a name or dotted text, or 0 (INADDR_ANY never names a host here).
uint32_t FirstAddress(std::string_view name) {
    in_addr a{};
    return !name.empty() && ResolveIPv4(std::string(name), &a) ? a.s_addr : 0;
}

// Finds `piece` in `host` from `from`; returns the position after it, or npos.
std::size_t After(std::string_view host, std::string_view piece, std::size_t from) {
    if (from > host.size()) return std::string_view::npos;
    const std::size_t at = host.find(piece, from);
    return at == std::string_view::npos ? at : at + piece.size();
}

// The piece's first occurrence from `from` must end the host (an empty piece always does).
bool EndsAfter(std::string_view host, std::string_view piece, std::size_t from) {
    if (piece.empty()) return true;
    const std::size_t end = After(host, piece, from);
    return end == host.size();
}

bool MatchPattern(std::string_view entry, std::string_view host) {
    const std::size_t star1 = entry.find('*');
    const std::size_t star2 = entry.find('*', star1 + 1);
    if (star1 == 0) {
        // "*P", "*P*", "*P*Q"
        const std::string_view p =
            entry.substr(1, star2 == std::string_view::npos ? std::string_view::npos : star2 - 1);
        const std::size_t afterP = After(host, p, 0);
        if (afterP == std::string_view::npos) return false;
        if (star2 == std::string_view::npos) return true;
        const std::string_view q = entry.substr(star2 + 1);
        return EndsAfter(host, q, afterP);
    }
    // "P*", "P*Q", "P*Q*R"
    const std::string_view p = entry.substr(0, star1);
    const std::size_t afterP = After(host, p, 0);
    if (afterP == std::string_view::npos) return false;
    if (star2 == std::string_view::npos) {
        const std::string_view q = entry.substr(star1 + 1);
        return q.empty() || After(host, q, afterP) != std::string_view::npos;
    }
    const std::string_view q = entry.substr(star1 + 1, star2 - star1 - 1);
    const std::size_t afterQ = After(host, q, afterP);
    if (afterQ == std::string_view::npos) return false;
    return EndsAfter(host, entry.substr(star2 + 1), afterQ);
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

const char* Environment(const char* lower, const char* upper) {
    const char* v = std::getenv(lower);
    if (v == nullptr || *v == '\0') v = std::getenv(upper);
    return (v != nullptr && *v != '\0') ? v : nullptr;
}

}  // namespace

ProxyAddress ParseProxyText(std::string_view text) {
    if (const std::size_t at = text.find("http="); at != std::string_view::npos) text = text.substr(at + 5);
    if (const std::size_t scheme = text.find("://"); scheme != std::string_view::npos)
        text = text.substr(scheme + 3);
    text = text.substr(0, text.find(';'));
    text = text.substr(0, text.find('/'));
    if (const std::size_t at = text.rfind('@'); at != std::string_view::npos) text = text.substr(at + 1);
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return {std::string(text), "80"};
    return {std::string(text.substr(0, colon)), std::string(text.substr(colon + 1))};
}

bool MatchBypassEntry(std::string_view entry, std::string_view cameraHost, bool resolve) {
    entry = Trim(entry);
    if (entry.empty() || cameraHost.empty()) return false;
    if (entry == cameraHost || entry == "*") return true;
    if (entry.find('*') != std::string_view::npos) return MatchPattern(entry, cameraHost);
    if (entry.front() == '.') {
        // ".example.com" reaches example.com and every name below it.
        const std::string_view bare = entry.substr(1);
        return cameraHost == bare || (cameraHost.size() > entry.size() &&
                                      cameraHost.substr(cameraHost.size() - entry.size()) == entry);
    }
    if (!resolve) return false;
    const uint32_t a = FirstAddress(entry);
    return a != 0 && a == FirstAddress(cameraHost);
}

bool MatchBypassList(std::string_view list, std::string_view cameraHost, bool resolve) {
    constexpr std::string_view kLocal = ";<local>";
    if (list.size() >= kLocal.size() && list.substr(list.size() - kLocal.size()) == kLocal) {
        list.remove_suffix(kLocal.size());
    }
    while (!list.empty()) {
        const std::size_t sep = list.find_first_of(";,");
        if (MatchBypassEntry(list.substr(0, sep), cameraHost, resolve)) return true;
        if (sep == std::string_view::npos) break;
        list.remove_prefix(sep + 1);
    }
    return false;
}

ProxyDecision QueryProxy(std::string_view cameraHost) {
    const char* proxy = Environment("http_proxy", "HTTP_PROXY");
    if (proxy == nullptr) return {};
    const ProxyAddress address = ParseProxyText(proxy);
    if (address.host.empty()) return {};
    if (const char* bypass = Environment("no_proxy", "NO_PROXY")) {
        if (MatchBypassList(bypass, cameraHost)) return {};
    }
    return {false, address.host, address.port};
}

}  // namespace ocuview
