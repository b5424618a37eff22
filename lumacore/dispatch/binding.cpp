// The waterfall binding and the library constructor that runs it once at load.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cpu/cpu_level.h"
#include "dispatch/dispatch_table.h"

namespace lumacore {

const int kLevelRows[kLevelCount][5] = {
    {0, kRowEnd, kRowEnd, kRowEnd, kRowEnd},
    {1, 0, kRowEnd, kRowEnd, kRowEnd},
    {2, 1, 0, kRowEnd, kRowEnd},
    {3, 2, 1, 0, kRowEnd},
};

int BindDispatchTable(DispatchRecord* table, int count, int level) {
    if (count <= 0 || level < 0 || level >= kLevelCount) return -1;
    for (const int k : kLevelRows[level]) {
        if (k >= kRowEnd) break;
        bool complete = true;
        for (int i = 0; i < count; ++i) {
            if (table[i].impl[k] == nullptr) {
                complete = false;
                break;
            }
            *table[i].slot = table[i].impl[k];
        }
        if (complete) return k;
    }
    return -1;
}

bool AttachDispatchTable(DispatchRecord* table, int count, int level, BindFailureReport* report) {
    if (BindDispatchTable(table, count, level) >= 0) return true;
    std::memset(report->text, 0, sizeof report->text);
    std::strncpy(report->text, kWaterfallMessage, sizeof report->text - 1);
    report->caption = kWaterfallCaption;
    return false;
}

namespace {

// No message box here: the failure goes to standard error (with the error bell on a terminal) and the
// process ends, which is what a refused load means for the programs linked against the library.
__attribute__((constructor)) void AttachLibrary() {
    const CpuLevelChoice choice = ChooseCpuLevel(DetectCpuFeatures(), std::getenv("LUMACORE_LEVEL"));
    if (choice.envIgnored) {
        std::fprintf(stderr, "lumacore: ignoring LUMACORE_LEVEL=%s (expected 0 to 3)\n", choice.envText);
    }
    BindFailureReport report;
    if (!AttachDispatchTable(DispatchTable(), kDispatchTableCount, choice.level, &report)) {
        std::fprintf(stderr, "%s%s:%s\n", isatty(2) ? "\a" : "", report.caption, report.text);
        _exit(127);
    }
}

}  // namespace
}  // namespace lumacore
