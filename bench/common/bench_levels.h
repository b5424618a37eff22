// Every benchmark runs once per Lumacore level: the first process starts itself again for each level
// from 0 (generic) to the processor's own, with LUMACORE_LEVEL set, passes each run's lines through
// under a heading, and ends with the last line of the run at the processor's level (the level the
// library binds by default, its best), so the ratio line stays last.
#ifndef BENCH_COMMON_BENCH_LEVELS_H
#define BENCH_COMMON_BENCH_LEVELS_H

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cpu/cpu_level.h"

namespace bench {

// Set in the runs started for one level.
inline constexpr char kLevelRunVariable[] = "QXR_BENCH_LEVEL_RUN";

inline std::string ShellQuoted(const char* s) {
    std::string q(1, '\'');
    for (; *s != '\0'; ++s) {
        if (*s == '\'')
            q.append("'\\''");
        else
            q.push_back(*s);
    }
    q.push_back('\'');
    return q;
}

// In a run for one level returns -1: the caller measures. Otherwise runs every level and returns the
// exit status for main (the first failing run's, else 0).
inline int RunEachLevel(int argc, char** argv) {
    if (std::getenv(kLevelRunVariable) != nullptr) return -1;
    const lumacore::CpuLevelChoice choice =
        lumacore::ChooseCpuLevel(lumacore::DetectCpuFeatures(), std::getenv("LUMACORE_LEVEL"));
    std::string last;
    for (int level = 0; level <= choice.level; ++level) {
        std::string command(kLevelRunVariable);
        command.append("=1 LUMACORE_LEVEL=").append(std::to_string(level));
        for (int i = 0; i < argc; ++i) command.append(" ").append(ShellQuoted(argv[i]));
        std::printf("== Lumacore level %d (%s)\n", level, lumacore::LevelName(level));
        std::fflush(stdout);
        FILE* run = popen(command.c_str(), "r");
        if (run == nullptr) return 1;
        char line[512];
        while (std::fgets(line, sizeof line, run) != nullptr) {
            std::fputs(line, stdout);
            last = line;
        }
        const int status = pclose(run);
        if (status != 0) return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
    }
    std::printf("== at level %d (%s), the library's default here:\n%s", choice.level,
                lumacore::LevelName(choice.level), last.c_str());
    return 0;
}

}  // namespace bench

#endif
