// How the viewer asks for a user name and password when the camera answers 401: the host answers, with
// its password dialog ("Enter Network Password") or, in tools and tests, from what it was given.
#ifndef OCUVIEW_CORE_CREDENTIALS_H
#define OCUVIEW_CORE_CREDENTIALS_H

#include <optional>
#include <string>

namespace ocuview {

struct Credentials {
    // At most 15 characters each are used (the dialog's limit); longer texts are cut.
    std::string user;
    std::string password;
};

class CredentialsProvider {
  public:
    virtual ~CredentialsProvider() = default;
    // `realm` is the realm the camera offered ("Marlo Network Camera" when it named none). Returns the
    // credentials (OK) or nothing (Cancel). Blocks until answered. Called from any of the viewer's threads:
    // a network thread, or the thread that called Viewer::Start / Viewer::Tick / a command. The viewer
    // serialises the calls: at most one is in progress per viewer at any time.
    virtual std::optional<Credentials> AskCredentials(const std::string& realm) = 0;
};

}  // namespace ocuview

#endif
