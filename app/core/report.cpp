#include "core/report.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include "core/string_table.h"
#include "platform/debug_output.h"

namespace reeldeck {

namespace {

std::mutex g_logLock;  // guards g_directory, g_directoryChosen and g_logStarted (the report-log lock)
std::string g_directory;
bool g_directoryChosen = false;
bool g_logStarted = false;  // false until the first report of this run has created the file

std::mutex g_sinkLock;  // guards g_boxSink
MessageBoxSink g_boxSink;

void DefaultBox(std::string_view text, std::string_view caption) {
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
}

// mkdir -p with owner-only permissions, as a state directory should have.
bool MakeDirectories(const std::string& path) {
    if (path.empty()) return false;
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}

std::string LogPathLocked() {
    if (!g_directoryChosen) {
        g_directory = DefaultReportDirectory();
        g_directoryChosen = true;
    }
    if (g_directory.empty()) return {};
    return g_directory + "/" + std::string(kReportFileName);
}

void AppendToLog(const std::string& line) {
    std::lock_guard<std::mutex> hold(g_logLock);
    const std::string path = LogPathLocked();
    if (path.empty() || !MakeDirectories(g_directory)) return;
    std::FILE* file = std::fopen(path.c_str(), g_logStarted ? "a" : "w");
    if (file == nullptr) return;  // nowhere to report that; the other two channels still carry it
    g_logStarted = true;
    std::fwrite(line.data(), 1, line.size(), file);
    std::fclose(file);
}

}  // namespace

std::string FormatReportLine(const char* sourceFile, int line, std::string_view text) {
    std::string_view file = sourceFile != nullptr ? sourceFile : "";
    const std::size_t sep = file.find_last_of("\\/");
    if (sep != std::string_view::npos) file.remove_prefix(sep + 1);
    char position[32];
    std::snprintf(position, sizeof position, "(%d) : ", line);
    std::string out;
    out.reserve(2 + file.size() + std::strlen(position) + text.size() + 1);
    out.append("> ").append(file).append(position).append(text).append("\n");
    return out;
}

void LogText(const char* sourceFile, int line, std::string_view text) {
    const std::string entry = FormatReportLine(sourceFile, line, text);
    AppendToLog(entry);
    platform::DebugOutput(entry);
}

void LogReport(const char* sourceFile, int line, int number) {
    LogText(sourceFile, line, LoadText(number));
}

void ReportError(const char* sourceFile, int line, int number) {
    LogReport(sourceFile, line, number);
    MessageBoxSink sink;
    {
        std::lock_guard<std::mutex> hold(g_sinkLock);
        sink = g_boxSink;
    }
    const std::string_view text = LoadText(number);
    if (sink) {
        sink(text, kErrorCaption);
    } else {
        DefaultBox(text, kErrorCaption);
    }
}

MessageBoxSink SetMessageBoxSink(MessageBoxSink sink) {
    std::lock_guard<std::mutex> hold(g_sinkLock);
    return std::exchange(g_boxSink, std::move(sink));
}

std::string DefaultReportDirectory() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') return std::string(state) + "/reeldeck";
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/state/reeldeck";
    return {};
}

void SetReportDirectory(std::string directory) {
    std::lock_guard<std::mutex> hold(g_logLock);
    g_directory = directory.empty() ? DefaultReportDirectory() : std::move(directory);
    g_directoryChosen = true;
    g_logStarted = false;
}

std::string ReportLogPath() {
    std::lock_guard<std::mutex> hold(g_logLock);
    return LogPathLocked();
}

}  // namespace reeldeck
