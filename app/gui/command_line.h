// Reeldeck's command line and the hand-over between two instances.
//
// A command line is one text: arguments separated by blanks or tabs; an argument that starts with a
// double quote runs to the next unescaped double quote, and inside it backslash + quote or backslash +
// backslash stand for that character (any other backslash is kept). An argument that reaches the end of
// the line inside its quotes, or reaches 1024 characters, ends the parsing and is not counted. At most
// eight arguments are kept, the program's name first.
//
// On Linux the shell or the desktop launcher has already split the line into argv; JoinArguments quotes
// argv back into one line so that the same rules (and limits) apply to every way the program is started.
#ifndef REELDECK_GUI_COMMAND_LINE_H
#define REELDECK_GUI_COMMAND_LINE_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace reeldeck::gui {

inline constexpr std::size_t kMaxArguments = 8;
inline constexpr std::size_t kMaxArgumentLength = 1024;

std::vector<std::string> ParseCommandLine(std::string_view line);
// Each argument in double quotes, with its quotes and backslashes escaped.
std::string JoinArguments(const std::vector<std::string>& arguments);

// The hand-over: a second instance sends the first a data word and, with a file, that file's path.
// The data word's high half is 0x1234 and its low half the second instance's argument count.
inline constexpr uint32_t kHandOverMark = 0x12340000u;
constexpr uint32_t HandOverWord(std::size_t argumentCount) {
    return kHandOverMark + static_cast<uint32_t>(argumentCount & 0xFFFFu);
}

enum class HandOverAction {
    kIgnore,        // not ours: the high half is not 0x1234
    kOpen,          // program and one file: open the path
    kTooManyFiles,  // message 34
};
HandOverAction ClassifyHandOver(uint32_t dataWord);

}  // namespace reeldeck::gui

#endif
