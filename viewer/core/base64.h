// Base64 (RFC 4648 alphabet, "=" padding, no line breaks) for the Basic authorization line.
#ifndef OCUVIEW_CORE_BASE64_H
#define OCUVIEW_CORE_BASE64_H

#include <string>
#include <string_view>

namespace ocuview {

// The input length is taken modulo 65536, as the viewer's encoder always did (credentials are short).
[[nodiscard]] std::string Base64Encode(std::string_view data);

}  // namespace ocuview

#endif
