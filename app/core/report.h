// The report channel: how Reeldeck tells the user about a failure. A report takes a string-table number;
// its text is appended to the report log, sent to the debugger output and shown in a message box
// captioned "ERROR".
//
// The report log is "report.txt" in Reeldeck's state directory ($XDG_STATE_HOME/reeldeck/, else
// ~/.local/state/reeldeck/): the program's own directory is read-only once installed. The log is created
// afresh at the first report of a run and holds one line per report:
//   "> " + source file name + "(" + line + ") : " + message text + "\n"
// The message box belongs to the GUI, which installs its sink; without one the text goes to standard
// error. Tests install a recording sink and point the log at a scratch directory.
#ifndef REELDECK_CORE_REPORT_H
#define REELDECK_CORE_REPORT_H

#include <functional>
#include <string>
#include <string_view>

namespace reeldeck {

inline constexpr std::string_view kErrorCaption = "ERROR";
inline constexpr std::string_view kReportFileName = "report.txt";

using MessageBoxSink = std::function<void(std::string_view text, std::string_view caption)>;

// Log, debugger output and message box. Call it through REELDECK_REPORT so that the source position is
// the caller's. Safe from any thread; the box sink runs on the calling thread with no lock held.
void ReportError(const char* sourceFile, int line, int number);
// Log and debugger output only: for a worker thread, which hands the number to the main window instead
// of showing a box itself.
void LogReport(const char* sourceFile, int line, int number);

// Log and debugger output of a text that is not in the string table: the codecs' failure messages. Its
// signature is the codecs' report function (vello::ReportFn), so Reeldeck hands it to them as it is.
void LogText(const char* sourceFile, int line, std::string_view text);

// Replaces the message-box sink (an empty function restores the standard-error default) and returns the
// previous one.
MessageBoxSink SetMessageBoxSink(MessageBoxSink sink);

// $XDG_STATE_HOME/reeldeck when that variable holds an absolute path, else $HOME/.local/state/reeldeck;
// empty when neither can be found.
std::string DefaultReportDirectory();
// Puts the log into `directory` (empty: the default) and starts a new run, so the next report creates
// the file afresh.
void SetReportDirectory(std::string directory);
// The log's full path (the directory is created at the first report).
std::string ReportLogPath();

// The log line for a report, without writing it: "> file(line) : text\n", with only the file name part
// of `sourceFile`.
std::string FormatReportLine(const char* sourceFile, int line, std::string_view text);

}  // namespace reeldeck

#define REELDECK_REPORT(number) ::reeldeck::ReportError(__FILE__, __LINE__, (number))

#endif
