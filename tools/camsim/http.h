// The small HTTP/1.1 subset the viewer speaks: one request per connection, absolute-form or origin-form
// targets, header names compared without regard to case, a body by Content-Length.
#ifndef CAMSIM_HTTP_H
#define CAMSIM_HTTP_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace camsim {

struct HttpRequest {
    std::string method;
    std::string target;                          // as sent
    std::string path;                            // target without scheme, authority and query
    std::string query;                           // after '?', without it
    std::map<std::string, std::string> headers;  // names lower-cased
    std::string body;
    std::string peerAddress;  // dotted IPv4 of the client

    const std::string* Header(const std::string& lowerName) const;
    // Value of `key` in the query ("speed" in "speed=5&AudioIn=on"), or nullopt.
    std::optional<std::string> QueryValue(std::string_view key) const;
};

// Limits that keep a hostile client from holding memory: the request head and the body.
inline constexpr std::size_t kMaxRequestHead = 16384;
inline constexpr std::size_t kMaxRequestBody = 65536;

enum class ParseResult { kComplete, kNeedMore, kBad };

// Parses `data` (everything received so far). On kComplete `*consumed` holds the request's length.
ParseResult ParseHttpRequest(std::string_view data, HttpRequest* out, std::size_t* consumed);

// Splits an absolute-form or origin-form target into path and query.
void SplitTarget(std::string_view target, std::string* path, std::string* query);

// RFC 4648 Base64 decoding of the Basic credentials; nullopt on malformed input.
std::optional<std::string> Base64Decode(std::string_view text);
std::string Base64Encode(std::string_view data);

// "HTTP/1.1 <code> <reason>\r\n..." with Content-Length and Connection: close.
std::string SimpleResponse(int code, std::string_view contentType, std::string_view body,
                           std::string_view extraHeaders = {});

}  // namespace camsim

#endif
