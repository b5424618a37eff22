// Shared helpers of the recording tests: a scratch directory and a recorder of reports.
#ifndef TESTS_RECORDING_TEST_SUPPORT_H
#define TESTS_RECORDING_TEST_SUPPORT_H

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/report.h"
#include "platform/debug_output.h"

namespace recording_test {

// A fresh directory under the system's temporary folder, removed with everything in it.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "reeldeck-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Catches what the report channel shows: message boxes and debugger output, and keeps the report log in
// a scratch directory for the duration.
class ReportRecorder {
  public:
    struct Box {
        std::string text;
        std::string caption;
    };

    ReportRecorder() {
        reeldeck::SetReportDirectory(dir_.path());
        previousBox_ = reeldeck::SetMessageBoxSink([this](std::string_view text, std::string_view caption) {
            boxes.push_back({std::string(text), std::string(caption)});
        });
        previousDebug_ = platform::SetDebugSink([this](std::string_view text) { debug.emplace_back(text); });
    }
    ~ReportRecorder() {
        reeldeck::SetMessageBoxSink(std::move(previousBox_));
        platform::SetDebugSink(std::move(previousDebug_));
        reeldeck::SetReportDirectory({});
    }
    ReportRecorder(const ReportRecorder&) = delete;
    ReportRecorder& operator=(const ReportRecorder&) = delete;

    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const Box& box : boxes) texts.push_back(box.text);
        return texts;
    }
    std::string Log() const { return ReadWholeFile(reeldeck::ReportLogPath()); }
    const std::string& Directory() const { return dir_.path(); }

    std::vector<Box> boxes;
    std::vector<std::string> debug;

  private:
    ScratchDir dir_;
    reeldeck::MessageBoxSink previousBox_;
    platform::DebugSink previousDebug_;
};

}  // namespace recording_test

#endif
