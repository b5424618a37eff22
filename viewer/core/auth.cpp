#include "core/auth.h"

#include "core/base64.h"
#include "core/viewer_state.h"

namespace ocuview {

namespace {
constexpr std::string_view kPresetRealm = "Marlo Network Camera";
constexpr std::size_t kCredentialLimit = 15;  // characters of each dialog field
}  // namespace

std::string RealmFromStreamReply(std::string_view reply) {
    const std::size_t at = reply.find("realm=");
    if (at == std::string_view::npos) return {};
    const std::size_t start = at + 7;
    const std::size_t end = reply.find("\r\n", start);
    if (start > reply.size() || end == std::string_view::npos || end < start + 1) return {};
    return std::string(reply.substr(start, end - 1 - start));
}

std::string RealmFromHeader(std::string_view header) {
    while (!header.empty() && (header.back() == '\r' || header.back() == '\n' || header.back() == ' ')) {
        header.remove_suffix(1);
    }
    const std::size_t at = header.find("realm=");
    if (at == std::string_view::npos || at + 7 > header.size() || header.size() < at + 8) return {};
    return std::string(header.substr(at + 7, header.size() - 1 - (at + 7)));
}

bool AskCredentials(ViewerState& viewer, const std::string& realmOffered, AuthPath path) {
    const std::string realm = realmOffered.empty() ? std::string(kPresetRealm) : realmOffered;
    {
        std::lock_guard<std::mutex> hold(viewer.authLock);
        viewer.realm = realm;
    }
    if (viewer.authAttempts >= 3) {
        if (path == AuthPath::kStream) {
            viewer.authAttempts = 4;
            viewer.statusCode = kStatusProtected;
        }
        return false;
    }
    std::optional<Credentials> answer = viewer.credentials.AskCredentials(realm);
    if (!answer) {
        if (path == AuthPath::kStream) {
            viewer.authAttempts = 4;
            viewer.statusCode = kStatusProtected;
        } else {
            viewer.authAttempts = 3;
        }
        return false;
    }
    // The line is built in this viewer's own record: two viewers in one process never see each other's
    // credentials.
    const std::string user = answer->user.substr(0, kCredentialLimit);
    const std::string password = answer->password.substr(0, kCredentialLimit);
    const std::string line = "Authorization: Basic " + Base64Encode(user + ":" + password) + "\r\n";
    {
        std::lock_guard<std::mutex> hold(viewer.authLock);
        viewer.authorizationLine = line;
    }
    ++viewer.authAttempts;
    return true;
}

std::string AuthorizationLine(const ViewerState& viewer) {
    std::lock_guard<std::mutex> hold(viewer.authLock);
    return viewer.authorizationLine;
}

}  // namespace ocuview
