// checkasm: every level's implementation of every dispatched primitive against the generic level.
//
// Each checker runs its primitive's generic implementation and every distinct tuned implementation that
// this machine can run (capped by LUMACORE_LEVEL) on the same seeded random inputs, and compares outputs,
// status codes and the guard bands around every output buffer bit for bit. The generic code alone is
// still checked for writes outside its region. With --bench, each version is timed. Argument errors
// (their codes and check order) are left to the unit tests in tests/lumacore*/, which run at every level.
//
//   checkasm [--seed=N] [--test=SUBSTRING] [--bench] [--list]
//
// A failure prints the seed; the same seed replays the same inputs.
#ifndef CHECKASM_CHECKASM_H
#define CHECKASM_CHECKASM_H

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "dispatch/dispatch_table.h"
#include "lumacore/lumacore.h"

namespace checkasm {

// xorshift128+ generator seeded per checker from the run's seed and the checker's name.
class Rng {
  public:
    void Seed(uint64_t seed);
    uint32_t Next();
    // Uniform in [lo, hi].
    int Range(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<uint32_t>(hi - lo + 1)); }
    void Fill(void* p, std::size_t n);

  private:
    uint64_t s0_ = 1, s1_ = 2;
};

Rng& rng();
bool benchMode();
int maxLevel();

// Records a failure of `name` at `level`.
void Fail(const char* name, int level, const std::string& what);
// True when the current checker has failed; checkers may stop early.
bool Failed();

// The implementations of one dispatched export: level 0, then each level up to maxLevel() whose
// implementation differs from every lower one.
template <typename Fn>
class Versions {
  public:
    explicit Versions(const char* name) : name_(name) {
        std::vector<lumacore::GenericFn> seen;
        for (int i = 0; i < lumacore::kDispatchTableCount; ++i) {
            const lumacore::DispatchRecord& r = lumacore::DispatchTable()[i];
            if (std::strcmp(r.name, name) != 0) continue;
            for (int level = 0; level <= maxLevel(); ++level) {
                bool dup = false;
                for (auto s : seen) dup = dup || s == r.impl[level];
                if (dup) continue;
                seen.push_back(r.impl[level]);
                all_.emplace_back(level, reinterpret_cast<Fn>(r.impl[level]));
            }
        }
        if (all_.empty()) Fail(name, 0, "no such dispatched export");
    }
    const char* name() const { return name_; }
    Fn ref() const { return all_.at(0).second; }
    // Level 0 first.
    const std::vector<std::pair<int, Fn>>& all() const { return all_; }

  private:
    const char* name_;
    std::vector<std::pair<int, Fn>> all_;
};

// A buffer with random guard bands of 64 bytes on both sides; the data start is 32-byte aligned.
// Typical use: fill a `pristine` buffer, CopyFrom() it into one output per version, call, then require
// SameAs() between versions and GuardsMatch(pristine) for each.
class Guarded {
  public:
    explicit Guarded(std::size_t bytes);
    Lum8u* data() { return base_ + kGuard; }
    const Lum8u* data() const { return base_ + kGuard; }
    template <typename T>
    T* as() {
        return reinterpret_cast<T*>(data());
    }
    std::size_t size() const { return bytes_; }
    // Copies the whole buffer, guards included, so two runs can start from identical contents.
    void CopyFrom(const Guarded& other);
    void Randomize();
    // True when both guard bands equal those of `before` (a copy taken before the call).
    bool GuardsMatch(const Guarded& before) const;
    bool SameAs(const Guarded& other) const;

  private:
    static constexpr std::size_t kGuard = 64;
    std::size_t bytes_;
    std::vector<Lum8u> storage_;
    Lum8u* base_ = nullptr;  // 32-byte aligned start of the leading guard
};

// Times `call` for one version when --bench is given and prints nanoseconds per call.
template <typename Call>
void Bench(const char* name, int level, Call&& call);
void ReportBench(const char* name, int level, double nsPerCall);

// Registration: CHECKASM_FUNC(lumsCopy_8u) { ... } defines the checker of one export.
using CheckFn = void (*)();
bool Register(const char* exportName, CheckFn fn);

}  // namespace checkasm

#include "checkasm_bench.inc"

#define CHECKASM_FUNC(exportName)                                        \
    static void checkasm_##exportName();                                 \
    [[maybe_unused]] static const bool checkasmRegistered_##exportName = \
        ::checkasm::Register(#exportName, checkasm_##exportName);        \
    static void checkasm_##exportName()

#endif
