// The debugger-output channel: developer diagnostics with fixed texts ("Start MovieDataSupplier() !!\n").
//
// Like a debugger's output window it is silent unless someone listens: by default the texts are dropped;
// QXR_DEBUG_OUTPUT=stderr sends them to standard error and QXR_DEBUG_OUTPUT=<file> appends them to a file.
// Tests install a sink of their own. Texts are written as given, without adding a newline.
#ifndef PLATFORM_DEBUG_OUTPUT_H
#define PLATFORM_DEBUG_OUTPUT_H

#include <functional>
#include <string_view>

namespace platform {

using DebugSink = std::function<void(std::string_view)>;

void DebugOutput(std::string_view text);

// Replaces the sink (an empty function restores the default); returns the previous one. Thread-safe.
DebugSink SetDebugSink(DebugSink sink);

}  // namespace platform

#endif
