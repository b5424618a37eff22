// HTTP Basic authentication of every path (stream, command, UDP start): the realm the camera offers, the
// host's credential dialog, the attempts counter and the authorization line all later requests carry.
#ifndef OCUVIEW_CORE_AUTH_H
#define OCUVIEW_CORE_AUTH_H

#include <string>
#include <string_view>

namespace ocuview {

struct ViewerState;

// The realm of a reply text: from 7 characters after "realm=" (past the opening quote) to one character
// before the next "\r\n" (the closing quote dropped); empty when absent or malformed.
[[nodiscard]] std::string RealmFromStreamReply(std::string_view reply);
// The command path's form: the header value alone, so the realm runs to the end of the text less one.
[[nodiscard]] std::string RealmFromHeader(std::string_view header);

// Which path asks: the stream path gives up for good (status 18) at the limit or on Cancel, the command
// and UDP-start paths leave the outcome to their pass limit.
enum class AuthPath { kStream, kCommand };

// Sets the realm (or the preset "Marlo Network Camera"), then unless the attempts have reached 3 asks the
// host for credentials; on OK stores "Authorization: Basic <base64 of user:password>\r\n" and counts the
// attempt. False when no credentials were given (limit reached or Cancel).
[[nodiscard]] bool AskCredentials(ViewerState& viewer, const std::string& realmOffered, AuthPath path);

// The authorization line to send now (empty when none).
[[nodiscard]] std::string AuthorizationLine(const ViewerState& viewer);

}  // namespace ocuview

#endif
