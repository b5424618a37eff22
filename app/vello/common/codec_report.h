// How a codec hands a failure message to its host: the source file and line it comes from, and the text.
// Reeldeck passes its report channel's reeldeck::LogText (the report log and the debugger output, one
// "> file(line) : text" line each); Ocuview passes nothing, so its copy of the codecs stays silent.
#ifndef VELLO_COMMON_CODEC_REPORT_H
#define VELLO_COMMON_CODEC_REPORT_H

#include <functional>
#include <string_view>

namespace vello {

using ReportFn = std::function<void(const char* sourceFile, int line, std::string_view text)>;

inline void ReportAt(const ReportFn& report, const char* sourceFile, int line, std::string_view text) {
    if (report) report(sourceFile, line, text);
}

}  // namespace vello

// Reports `text` through `report` (a ReportFn, may be empty) with the caller's source position.
#define VELLO_REPORT(report, text) ::vello::ReportAt((report), __FILE__, __LINE__, (text))

#endif
