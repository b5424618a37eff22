// Processor features and the dispatch level they allow.
//
// Levels are chosen by feature tests: 0 generic, 1 SSE2, 2 SSE4.1 with SSSE3, 3 AVX2 (with the operating
// system saving the AVX state) with BMI1 and BMI2 (every AVX2 processor line has them; the level-3 Huffman
// encoder shifts by register without the count register and clears bits in one instruction). Other
// architectures are level 0. The environment variable LUMACORE_LEVEL (0 to 3) caps the level, so tests and
// benchmarks can run every level on one machine.
#ifndef LUMACORE_CPU_CPU_LEVEL_H
#define LUMACORE_CPU_CPU_LEVEL_H

namespace lumacore {

struct CpuFeatures {
    const char* architecture;  // "x86-64" or the name of another architecture
    bool sse2 = false;
    bool ssse3 = false;
    bool sse41 = false;
    bool avx2 = false;
    bool bmi1 = false;
    bool bmi2 = false;
};

struct CpuLevelChoice {
    int detected;         // the highest level the processor supports
    int level;            // the level to bind: `detected` capped by LUMACORE_LEVEL
    bool capped;          // LUMACORE_LEVEL lowered the level
    bool envIgnored;      // LUMACORE_LEVEL was set but not a number from 0 to 3
    const char* envText;  // the variable's text, or null when unset
};

CpuFeatures DetectCpuFeatures();
int LevelForFeatures(const CpuFeatures& features);
// `envValue` is the text of LUMACORE_LEVEL, or null.
CpuLevelChoice ChooseCpuLevel(const CpuFeatures& features, const char* envValue);
const char* LevelName(int level);

}  // namespace lumacore

#endif
