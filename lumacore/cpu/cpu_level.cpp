#include "cpu/cpu_level.h"

namespace lumacore {

CpuFeatures DetectCpuFeatures() {
    CpuFeatures f;
#if defined(__x86_64__)
    f.architecture = "x86-64";
    __builtin_cpu_init();
    f.sse2 = __builtin_cpu_supports("sse2");
    f.ssse3 = __builtin_cpu_supports("ssse3");
    f.sse41 = __builtin_cpu_supports("sse4.1");
    // The compiler's runtime reports AVX2 only when the operating system also saves the YMM state.
    f.avx2 = __builtin_cpu_supports("avx2");
    f.bmi1 = __builtin_cpu_supports("bmi");
    f.bmi2 = __builtin_cpu_supports("bmi2");
#elif defined(__aarch64__)
    f.architecture = "aarch64";
#elif defined(__i386__)
    f.architecture = "x86";
#else
    f.architecture = "other";
#endif
    return f;
}

int LevelForFeatures(const CpuFeatures& f) {
    if (!f.sse2) return 0;
    if (!(f.ssse3 && f.sse41)) return 1;
    if (!(f.avx2 && f.bmi1 && f.bmi2)) return 2;
    return 3;
}

CpuLevelChoice ChooseCpuLevel(const CpuFeatures& features, const char* envValue) {
    CpuLevelChoice c{};
    c.detected = LevelForFeatures(features);
    c.level = c.detected;
    c.envText = envValue;
    if (envValue != nullptr && envValue[0] != '\0') {
        const bool valid = envValue[0] >= '0' && envValue[0] <= '3' && envValue[1] == '\0';
        if (!valid) {
            c.envIgnored = true;
        } else if (envValue[0] - '0' < c.level) {
            c.level = envValue[0] - '0';
            c.capped = true;
        }
    }
    return c;
}

const char* LevelName(int level) {
    switch (level) {
        case 0:
            return "generic";
        case 1:
            return "sse2";
        case 2:
            return "sse4.1";
        case 3:
            return "avx2";
        default:
            return "none";
    }
}

}  // namespace lumacore
