// PathString: a fixed-capacity path text (259 characters and the NUL), as the recorder's file names and
// the player's dialogs exchange them, with the few operations the player needs on a path.
//
// Every operation that would overflow the capacity keeps what fits and says so by returning false (or
// through Truncated()), so a caller that must not act on a shortened path can refuse it.
#ifndef REELDECK_CORE_PATH_STRING_H
#define REELDECK_CORE_PATH_STRING_H

#include <cstddef>
#include <string_view>

namespace reeldeck {

class PathString {
  public:
    static constexpr std::size_t kCapacity = 260;  // including the terminating NUL
    static constexpr std::size_t kMaxLength = kCapacity - 1;

    PathString() = default;
    explicit PathString(std::string_view text) { Assign(text); }

    // Replaces the text; false when it had to be truncated.
    bool Assign(std::string_view text);
    // Appends as much of `text` as fits; false when something was cut off.
    bool Append(std::string_view text);

    const char* c_str() const { return text_; }
    std::string_view View() const { return {text_, length_}; }
    std::size_t Length() const { return length_; }
    bool Empty() const { return length_ == 0; }
    // True when an Assign or Append since construction could not keep the whole text.
    bool Truncated() const { return truncated_; }

    // The text after the last "\" or "/" (the whole text when there is none).
    PathString FilePart() const;
    // The text before the last "\" or "/" (empty when there is none; "/" for a file in the root).
    PathString DirectoryPart() const;
    // The text after the last "." of the file part (empty when the file part has no dot).
    PathString Extension() const;
    // `count` characters from `start`, clipped to the text.
    PathString Substring(std::size_t start, std::size_t count = kCapacity) const;
    // A copy with a-z changed to A-Z and nothing else changed.
    PathString UpperCase() const;

    friend bool operator==(const PathString& a, const PathString& b) { return a.View() == b.View(); }

  private:
    char text_[kCapacity] = {};
    std::size_t length_ = 0;
    bool truncated_ = false;
};

}  // namespace reeldeck

#endif
