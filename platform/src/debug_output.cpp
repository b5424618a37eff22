#include "platform/debug_output.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

namespace platform {
namespace {

std::mutex g_lock;  // guards g_sink and the default sink's file
DebugSink g_sink;

void DefaultSink(std::string_view text) {
    static const char* target = std::getenv("QXR_DEBUG_OUTPUT");
    if (target == nullptr || target[0] == '\0') return;
    if (std::strcmp(target, "stderr") == 0) {
        std::fwrite(text.data(), 1, text.size(), stderr);
        return;
    }
    static std::FILE* file = std::fopen(target, "a");
    if (file != nullptr) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::fflush(file);
    }
}

}  // namespace

void DebugOutput(std::string_view text) {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_sink) {
        g_sink(text);
    } else {
        DefaultSink(text);
    }
}

DebugSink SetDebugSink(DebugSink sink) {
    std::lock_guard<std::mutex> hold(g_lock);
    return std::exchange(g_sink, std::move(sink));
}

}  // namespace platform
