#include "core/command.h"

#include <curl/curl.h>

#include <cstring>
#include <mutex>

#include "core/auth.h"
#include "core/proxy.h"
#include "core/viewer_state.h"
#include "platform/debug_output.h"

namespace ocuview {

namespace {

constexpr char kAgent[] = "Lumaro ActiveX Viewer";

enum class Outcome { kOk, kOpenFailed, kAuthenticate, kFailed, kTimedOut };

struct Exchange {
    std::string reply;
    bool full = false;
    std::string authenticate;  // WWW-Authenticate value of the final response
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* ex = static_cast<Exchange*>(user);
    const std::size_t n = size * count;
    const std::size_t room = kCommandReplyBytes - ex->reply.size();
    ex->reply.append(data, std::min(n, room));
    if (n > room) {
        ex->full = true;
        return 0;  // enough: ends the transfer
    }
    return n;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* ex = static_cast<Exchange*>(user);
    const std::size_t n = size * count;
    std::string_view line(data, n);
    if (line.substr(0, 5) == "HTTP/") ex->authenticate.clear();  // a new response (after 100 Continue)
    constexpr std::string_view kName = "www-authenticate:";
    if (line.size() > kName.size() && ::strncasecmp(line.data(), kName.data(), kName.size()) == 0) {
        line.remove_prefix(kName.size());
        while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
        ex->authenticate = std::string(line);
        if (ex->authenticate.empty()) ex->authenticate = " ";
    }
    return n;
}

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlHandle {
    CURL* handle = curl_easy_init();
    curl_slist* headers = nullptr;
    ~CurlHandle() {
        curl_slist_free_all(headers);
        if (handle != nullptr) curl_easy_cleanup(handle);
    }
};

// One request; `post` selects POST with `body`, else GET. The whole exchange, connection included, ends
// within the time-out: libcurl aborts it itself, so no worker thread has to be killed.
Outcome RunRequest(ViewerState& viewer, const std::string& target, bool post, std::string_view body,
                   bool viaProxy, Exchange* ex) {
    GlobalInit();
    CurlHandle c;
    if (c.handle == nullptr) return Outcome::kOpenFailed;
    const std::string url = "http://" + viewer.hostField + target;
    const std::string auth = AuthorizationLine(viewer);
    if (!auth.empty()) c.headers = curl_slist_append(c.headers, auth.substr(0, auth.size() - 2).c_str());
    c.headers = curl_slist_append(c.headers, "Expect:");

    std::string proxy;
    if (viaProxy) {
        const ProxyDecision d = QueryProxy(viewer.cameraHost);
        if (!d.direct) proxy = d.host + ":" + d.port;
    }
    CURL* h = c.handle;
    bool ok = curl_easy_setopt(h, CURLOPT_URL, url.c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_USERAGENT, kAgent) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_HTTPHEADER, c.headers) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
    ok =
        ok && curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(viewer.commandTimeoutMs)) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_PROXY, proxy.c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_WRITEDATA, ex) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_HEADERDATA, ex) == CURLE_OK;
    if (post) {
        ok = ok && curl_easy_setopt(h, CURLOPT_POST, 1L) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size())) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_COPYPOSTFIELDS, std::string(body).c_str()) == CURLE_OK;
    }
    if (!ok) return Outcome::kOpenFailed;
    const CURLcode rc = curl_easy_perform(h);
    if (rc == CURLE_OPERATION_TIMEDOUT) return Outcome::kTimedOut;
    if (rc != CURLE_OK && !(rc == CURLE_WRITE_ERROR && ex->full)) return Outcome::kFailed;
    if (!ex->authenticate.empty()) return Outcome::kAuthenticate;
    return Outcome::kOk;
}

}  // namespace

bool PostCgi(ViewerState& viewer, std::string_view path, std::string_view body, std::string* reply) {
    Outcome last = Outcome::kFailed;
    for (int pass = 0; pass < 4; ++pass) {
        Exchange ex;
        last = RunRequest(viewer, std::string(path), true, body, true, &ex);
        if (last == Outcome::kTimedOut) {
            platform::DebugOutput("PostCgi: command time-out\n");
            viewer.authAttempts = 4;
            viewer.ended = true;
            viewer.statusCode = kStatusCannotConnect;
            return false;
        }
        if (last == Outcome::kOk) {
            *reply = std::move(ex.reply);
            return true;
        }
        if (last != Outcome::kAuthenticate) break;
        const bool given = AskCredentials(viewer, RealmFromHeader(ex.authenticate), AuthPath::kCommand);
        viewer.dialogBusy = false;
        // Without new credentials another pass would only repeat the refusal.
        if (!given) break;
    }
    viewer.statusCode = last == Outcome::kOpenFailed     ? kStatusNone
                        : last == Outcome::kAuthenticate ? kStatusProtected
                                                         : kStatusCannotConnect;
    viewer.authAttempts = 4;
    viewer.ended = true;
    return false;
}

bool StartUdpStream(ViewerState& viewer, const StreamSession& session, int localPort) {
    const std::string query = session.multicast ? std::string("UdpMode=multicast")
                                                : "UdpMode=unicast&UdpPort=" + std::to_string(localPort);
    std::string target;
    if (session.kind == StreamKind::kVideo) {
        target = "/mpeg4?" + query;
    } else if (session.kind == StreamKind::kAudio) {
        target = "/audio?" + query;
    } else {
        return false;
    }
    for (;;) {
        Exchange ex;
        const Outcome o = RunRequest(viewer, target, false, {}, false, &ex);
        if (o != Outcome::kAuthenticate) break;
        const bool given = AskCredentials(viewer, RealmFromHeader(ex.authenticate), AuthPath::kCommand);
        viewer.dialogBusy = false;
        if (!given) break;
    }
    return viewer.authAttempts < 3;
}

}  // namespace ocuview
