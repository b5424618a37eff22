// qxrtool cpu: the processor features found and the primitives level the library binds.
#include <cstdio>
#include <cstdlib>

#include "command.h"
#include "cpu/cpu_level.h"
#include "lumacore/lumacore.h"

namespace qxrtool {
namespace {

int RunCpu(int argc, char** argv);

const Command kCpu{"cpu", "show the processor features and the primitives level bound", "cpu", RunCpu};

int RunCpu(int argc, char** argv) {
    if (WantsHelp(argc, argv)) return PrintCommandHelp(kCpu);
    if (argc > 1) return UsageError(kCpu, "takes no arguments");

    const lumacore::CpuFeatures f = lumacore::DetectCpuFeatures();
    const lumacore::CpuLevelChoice choice = lumacore::ChooseCpuLevel(f, std::getenv("LUMACORE_LEVEL"));
    auto yesNo = [](bool b) { return b ? "yes" : "no"; };
    std::printf("architecture: %s\n", f.architecture);
    std::printf("features:     sse2 %s, ssse3 %s, sse4.1 %s, avx2 %s, bmi1 %s, bmi2 %s\n", yesNo(f.sse2),
                yesNo(f.ssse3), yesNo(f.sse41), yesNo(f.avx2), yesNo(f.bmi1), yesNo(f.bmi2));
    std::printf("level found:  %d (%s)\n", choice.detected, lumacore::LevelName(choice.detected));
    std::printf("level bound:  %d (%s)", choice.level, lumacore::LevelName(choice.level));
    if (choice.capped) std::printf(", capped by LUMACORE_LEVEL=%s", choice.envText);
    if (choice.envIgnored) std::printf(", LUMACORE_LEVEL=%s ignored (expected 0 to 3)", choice.envText);
    std::printf("\n");
    // One call through the library shows that its binding ran.
    std::printf("time stamp:   %llu\n", static_cast<unsigned long long>(lumGetCpuClocks()));
    return 0;
}

}  // namespace

QXRTOOL_COMMAND(kCpu);

}  // namespace qxrtool
