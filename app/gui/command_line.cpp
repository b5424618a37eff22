#include "gui/command_line.h"

namespace reeldeck::gui {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::vector<std::string> ParseCommandLine(std::string_view line) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (out.size() < kMaxArguments) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i == line.size()) break;
        std::string argument;
        if (line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                const char c = line[i];
                if (c == '"') {
                    closed = true;
                    ++i;
                    break;
                }
                if (c == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) {
                    argument.push_back(line[i + 1]);
                    i += 2;
                } else {
                    argument.push_back(c);
                    ++i;
                }
                if (argument.size() >= kMaxArgumentLength) return out;
            }
            if (!closed) return out;
        } else {
            while (i < line.size() && !IsBlank(line[i])) {
                argument.push_back(line[i++]);
                if (argument.size() >= kMaxArgumentLength) return out;
            }
        }
        out.push_back(std::move(argument));
    }
    return out;
}

std::string JoinArguments(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) {
        if (!line.empty()) line.push_back(' ');
        line.push_back('"');
        for (const char c : argument) {
            if (c == '"' || c == '\\') line.push_back('\\');
            line.push_back(c);
        }
        line.push_back('"');
    }
    return line;
}

HandOverAction ClassifyHandOver(uint32_t dataWord) {
    if ((dataWord & 0xFFFF0000u) != kHandOverMark) return HandOverAction::kIgnore;
    return (dataWord & 0xFFFFu) == 2 ? HandOverAction::kOpen : HandOverAction::kTooManyFiles;
}

}  // namespace reeldeck::gui
