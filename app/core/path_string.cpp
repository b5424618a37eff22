#include "core/path_string.h"

#include <algorithm>
#include <cstring>

namespace reeldeck {

namespace {
// Position of the last path separator, or npos.
std::size_t LastSeparator(std::string_view text) {
    return text.find_last_of("\\/");
}
}  // namespace

bool PathString::Assign(std::string_view text) {
    length_ = 0;
    text_[0] = '\0';
    truncated_ = false;
    return Append(text);
}

bool PathString::Append(std::string_view text) {
    const std::size_t room = kMaxLength - length_;
    const std::size_t take = std::min(room, text.size());
    if (take > 0) std::memcpy(text_ + length_, text.data(), take);
    length_ += take;
    text_[length_] = '\0';
    if (take < text.size()) truncated_ = true;
    return take == text.size();
}

PathString PathString::FilePart() const {
    const std::size_t sep = LastSeparator(View());
    return sep == std::string_view::npos ? *this : Substring(sep + 1);
}

PathString PathString::DirectoryPart() const {
    const std::size_t sep = LastSeparator(View());
    if (sep == std::string_view::npos) return PathString();
    return Substring(0, sep == 0 ? 1 : sep);
}

PathString PathString::Extension() const {
    const PathString file = FilePart();
    const std::size_t dot = file.View().rfind('.');
    return dot == std::string_view::npos ? PathString() : file.Substring(dot + 1);
}

PathString PathString::Substring(std::size_t start, std::size_t count) const {
    if (start >= length_) return PathString();
    return PathString(View().substr(start, count));
}

PathString PathString::UpperCase() const {
    PathString upper = *this;
    for (std::size_t i = 0; i < upper.length_; ++i)
        if (upper.text_[i] >= 'a' && upper.text_[i] <= 'z')
            upper.text_[i] = static_cast<char>(upper.text_[i] - 32);
    return upper;
}

}  // namespace reeldeck
