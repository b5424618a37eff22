// qxrtool: inspect, decode, encode and mux the QXR-K7 suite's media from the command line.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "command.h"
#include "platform/sdl_wave_out.h"

#ifndef QXR_VERSION
#define QXR_VERSION "0"
#endif

namespace qxrtool {
namespace {

std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}

void PrintHelp(std::FILE* out) {
    std::fprintf(out,
                 "usage: qxrtool <command> [options]\n"
                 "       qxrtool <command> --help\n"
                 "\n"
                 "Tools for QXR-K7 camera media: pictures, streams, recordings and the primitives library.\n"
                 "\n"
                 "commands:\n");
    std::vector<Command> sorted(Commands().begin(), Commands().end());
    std::sort(sorted.begin(), sorted.end(),
              [](const Command& a, const Command& b) { return a.name < b.name; });
    for (const Command& c : sorted)
        std::fprintf(out, "  %-14.*s %.*s\n", static_cast<int>(c.name.size()), c.name.data(),
                     static_cast<int>(c.summary.size()), c.summary.data());
    std::fprintf(out,
                 "\n"
                 "options:\n"
                 "  -h, --help     show this help and exit\n"
                 "  -V, --version  show the version and exit\n"
                 "\n"
                 "environment:\n"
                 "  LUMACORE_LEVEL   cap the primitives library's processor level (0 to 3)\n"
                 "  QXR_DEBUG_OUTPUT stderr, or a file, to see developer diagnostics\n");
}

}  // namespace

bool RegisterCommand(const Command& command) {
    Registry().push_back(command);
    return true;
}

std::span<const Command> Commands() {
    return Registry();
}

int Fail(std::string_view name, std::string_view message) {
    std::fprintf(stderr, "qxrtool %.*s: %.*s\n", static_cast<int>(name.size()), name.data(),
                 static_cast<int>(message.size()), message.data());
    return 1;
}

int UsageError(const Command& command, std::string_view message) {
    std::fprintf(stderr, "qxrtool %.*s: %.*s\nusage: qxrtool %.*s\n", static_cast<int>(command.name.size()),
                 command.name.data(), static_cast<int>(message.size()), message.data(),
                 static_cast<int>(command.usage.size()), command.usage.data());
    return 2;
}

bool WantsHelp(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) return true;
    return false;
}

int PrintCommandHelp(const Command& command) {
    std::printf("usage: qxrtool %.*s\n\n%.*s\n", static_cast<int>(command.usage.size()), command.usage.data(),
                static_cast<int>(command.summary.size()), command.summary.data());
    return 0;
}

}  // namespace qxrtool

int main(int argc, char** argv) {
    using namespace qxrtool;
    platform::RegisterSdlWaveBackend();  // audio-play, play and watch sound on the system's device
    if (argc < 2) {
        PrintHelp(stderr);
        return 2;
    }
    const std::string_view first = argv[1];
    if (first == "-h" || first == "--help" || first == "help") {
        PrintHelp(stdout);
        return 0;
    }
    if (first == "-V" || first == "--version") {
        std::printf("qxrtool %s (QXR-K7 camera suite)\n", QXR_VERSION);
        return 0;
    }
    for (const Command& c : Commands()) {
        if (c.name != first) continue;
        // The commands report their failures as messages; what the library throws (memory or threads
        // running out) ends the command the same way instead of aborting the process.
        try {
            return c.run(argc - 1, argv + 1);
        } catch (const std::bad_alloc&) {
            return Fail(c.name, "out of memory");
        } catch (const std::exception& e) {
            return Fail(c.name, e.what());
        }
    }
    std::fprintf(stderr, "qxrtool: unknown command '%s'; see 'qxrtool --help'\n", argv[1]);
    return 2;
}
