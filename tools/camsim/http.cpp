#include "http.h"

#include <cctype>
#include <cstdlib>

namespace camsim {
namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

const char* ReasonPhrase(int code) {
    switch (code) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 413:
            return "Payload Too Large";
        case 503:
            return "Service Unavailable";
        default:
            return "Status";
    }
}

}  // namespace

const std::string* HttpRequest::Header(const std::string& lowerName) const {
    const auto it = headers.find(lowerName);
    return it == headers.end() ? nullptr : &it->second;
}

std::optional<std::string> HttpRequest::QueryValue(std::string_view key) const {
    std::string_view q = query;
    while (!q.empty()) {
        const auto amp = q.find('&');
        const std::string_view item = q.substr(0, amp);
        const auto eq = item.find('=');
        if (item.substr(0, eq) == key)
            return std::string(eq == std::string_view::npos ? "" : item.substr(eq + 1));
        if (amp == std::string_view::npos) break;
        q.remove_prefix(amp + 1);
    }
    return std::nullopt;
}

void SplitTarget(std::string_view target, std::string* path, std::string* query) {
    std::string_view t = target;
    // Absolute form: "http://host[:port]/path?query".
    if (const auto scheme = t.find("://"); scheme != std::string_view::npos && scheme < 8) {
        t.remove_prefix(scheme + 3);
        const auto slash = t.find('/');
        t = slash == std::string_view::npos ? std::string_view("/") : t.substr(slash);
    }
    const auto q = t.find('?');
    *path = std::string(t.substr(0, q));
    *query = q == std::string_view::npos ? std::string() : std::string(t.substr(q + 1));
    // The viewer asks for "mpeg4?UdpMode=..." relative to the root.
    if (path->empty() || (*path)[0] != '/') path->insert(path->begin(), '/');
}

ParseResult ParseHttpRequest(std::string_view data, HttpRequest* out, std::size_t* consumed) {
    const auto headEnd = data.find("\r\n\r\n");
    if (headEnd == std::string_view::npos)
        return data.size() > kMaxRequestHead ? ParseResult::kBad : ParseResult::kNeedMore;
    if (headEnd > kMaxRequestHead) return ParseResult::kBad;
    std::string_view head = data.substr(0, headEnd);

    const auto lineEnd = head.find("\r\n");
    const std::string_view requestLine = head.substr(0, lineEnd);
    const auto sp1 = requestLine.find(' ');
    const auto sp2 = requestLine.rfind(' ');
    if (sp1 == std::string_view::npos || sp2 == sp1) return ParseResult::kBad;
    const std::string_view version = requestLine.substr(sp2 + 1);
    if (version.substr(0, 7) != "HTTP/1.") return ParseResult::kBad;
    out->method = std::string(requestLine.substr(0, sp1));
    out->target = std::string(requestLine.substr(sp1 + 1, sp2 - sp1 - 1));
    if (out->method.empty() || out->target.empty()) return ParseResult::kBad;
    SplitTarget(out->target, &out->path, &out->query);

    out->headers.clear();
    std::string_view rest = lineEnd == std::string_view::npos ? std::string_view() : head.substr(lineEnd + 2);
    while (!rest.empty()) {
        const auto e = rest.find("\r\n");
        const std::string_view line = rest.substr(0, e);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) return ParseResult::kBad;
        out->headers[Lower(Trim(line.substr(0, colon)))] = std::string(Trim(line.substr(colon + 1)));
        if (e == std::string_view::npos) break;
        rest.remove_prefix(e + 2);
    }

    std::size_t bodyLength = 0;
    if (const std::string* cl = out->Header("content-length")) {
        char* end = nullptr;
        const unsigned long long n = std::strtoull(cl->c_str(), &end, 10);
        if (end == cl->c_str() || *end != '\0' || n > kMaxRequestBody) return ParseResult::kBad;
        bodyLength = static_cast<std::size_t>(n);
    }
    const std::size_t total = headEnd + 4 + bodyLength;
    if (data.size() < total) return ParseResult::kNeedMore;
    out->body = std::string(data.substr(headEnd + 4, bodyLength));
    *consumed = total;
    return ParseResult::kComplete;
}

std::optional<std::string> Base64Decode(std::string_view text) {
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    if (text.size() % 4 != 0) return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        int v[4];
        int pad = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = text[i + static_cast<std::size_t>(k)];
            if (c == '=' && i + 4 == text.size() && k >= 2) {
                v[k] = 0;
                ++pad;
            } else if (pad > 0 || (v[k] = value(c)) < 0) {
                return std::nullopt;
            }
        }
        const uint32_t n = static_cast<uint32_t>(v[0] << 18 | v[1] << 12 | v[2] << 6 | v[3]);
        out.push_back(static_cast<char>(n >> 16));
        if (pad < 2) out.push_back(static_cast<char>((n >> 8) & 0xFF));
        if (pad < 1) out.push_back(static_cast<char>(n & 0xFF));
    }
    return out;
}

std::string Base64Encode(std::string_view data) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < data.size(); i += 3) {
        const std::size_t n = data.size() - i < 3 ? data.size() - i : 3;
        uint32_t v = 0;
        for (std::size_t k = 0; k < 3; ++k)
            v = v << 8 | (k < n ? static_cast<unsigned char>(data[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k) out.push_back(k <= n ? kAlphabet[(v >> (18 - 6 * k)) & 63] : '=');
    }
    return out;
}

std::string SimpleResponse(int code, std::string_view contentType, std::string_view body,
                           std::string_view extraHeaders) {
    std::string r = "HTTP/1.1 " + std::to_string(code) + " " + ReasonPhrase(code) + "\r\n";
    if (!contentType.empty()) r += "Content-Type: " + std::string(contentType) + "\r\n";
    r += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    r += extraHeaders;
    r += "Connection: close\r\n\r\n";
    r += body;
    return r;
}

}  // namespace camsim
