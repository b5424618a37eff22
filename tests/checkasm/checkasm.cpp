// The checkasm driver: seeds, runs every registered checker, reports coverage of the dispatch table.
#include "checkasm.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include "cpu/cpu_level.h"

namespace checkasm {
namespace {

struct State {
    uint64_t seed = 0;
    bool bench = false;
    int maxLevel = 0;
    Rng rng;
    bool currentFailed = false;
    int failures = 0;
};

State& state() {
    static State s;
    return s;
}

std::map<std::string, CheckFn>& registry() {
    static std::map<std::string, CheckFn> r;
    return r;
}

uint64_t Mix(uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return x;
}

uint64_t HashName(const std::string& s) {
    uint64_t h = 1469598103934665603ULL;
    for (unsigned char ch : s) h = (h ^ ch) * 1099511628211ULL;
    return h;
}

}  // namespace

void Rng::Seed(uint64_t seed) {
    s0_ = Mix(seed + 0x9E3779B97F4A7C15ULL) | 1;
    s1_ = Mix(seed ^ 0xD1B54A32D192ED03ULL);
}

uint32_t Rng::Next() {
    uint64_t a = s0_;
    const uint64_t b = s1_;
    s0_ = b;
    a ^= a << 23;
    s1_ = a ^ b ^ (a >> 17) ^ (b >> 26);
    return static_cast<uint32_t>((s1_ + b) >> 32);
}

void Rng::Fill(void* p, std::size_t n) {
    auto* bytes = static_cast<Lum8u*>(p);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<Lum8u>(Next());
}

Rng& rng() {
    return state().rng;
}
bool benchMode() {
    return state().bench;
}
int maxLevel() {
    return state().maxLevel;
}

void Fail(const char* name, int level, const std::string& what) {
    std::fprintf(stderr, "FAIL %s level %d (%s): %s\n", name, level, lumacore::LevelName(level),
                 what.c_str());
    state().currentFailed = true;
}

bool Failed() {
    return state().currentFailed;
}

Guarded::Guarded(std::size_t bytes) : bytes_(bytes), storage_(bytes + 2 * kGuard + 32) {
    auto addr = reinterpret_cast<std::uintptr_t>(storage_.data());
    base_ = storage_.data() + ((32 - (addr & 31)) & 31);
    rng().Fill(storage_.data(), storage_.size());
}

void Guarded::CopyFrom(const Guarded& other) {
    bytes_ = other.bytes_;
    std::memcpy(base_, other.base_, bytes_ + 2 * kGuard);
}

void Guarded::Randomize() {
    rng().Fill(data(), bytes_);
}

bool Guarded::GuardsMatch(const Guarded& before) const {
    return bytes_ == before.bytes_ && std::memcmp(base_, before.base_, kGuard) == 0 &&
           std::memcmp(base_ + kGuard + bytes_, before.base_ + kGuard + bytes_, kGuard) == 0;
}

bool Guarded::SameAs(const Guarded& other) const {
    return bytes_ == other.bytes_ && std::memcmp(base_, other.base_, bytes_ + 2 * kGuard) == 0;
}

void ReportBench(const char* name, int level, double nsPerCall) {
    std::printf("  bench %-48s level %d %-8s %12.1f ns\n", name, level, lumacore::LevelName(level),
                nsPerCall);
}

bool Register(const char* exportName, CheckFn fn) {
    registry()[exportName] = fn;
    return true;
}

}  // namespace checkasm

int main(int argc, char** argv) {
    using namespace checkasm;
    State& st = state();
    st.seed =
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) & 0xFFFFFFFFu;
    std::string filter;
    bool list = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--seed=", 0) == 0) {
            st.seed = std::strtoull(a.c_str() + 7, nullptr, 10);
        } else if (a.rfind("--test=", 0) == 0) {
            filter = a.substr(7);
        } else if (a == "--bench") {
            st.bench = true;
        } else if (a == "--list") {
            list = true;
        } else {
            std::fprintf(stderr, "usage: checkasm [--seed=N] [--test=SUBSTRING] [--bench] [--list]\n");
            return 2;
        }
    }
    const auto choice =
        lumacore::ChooseCpuLevel(lumacore::DetectCpuFeatures(), std::getenv("LUMACORE_LEVEL"));
    st.maxLevel = choice.level;
    std::printf("checkasm: seed %llu, levels 0 to %d (%s)\n", static_cast<unsigned long long>(st.seed),
                st.maxLevel, lumacore::LevelName(st.maxLevel));

    int checked = 0, failed = 0;
    std::set<std::string> covered;
    for (const auto& [name, fn] : registry()) {
        covered.insert(name);
        if (list) {
            std::printf("%s\n", name.c_str());
            continue;
        }
        if (!filter.empty() && name.find(filter) == std::string::npos) continue;
        st.rng.Seed(st.seed ^ HashName(name));
        st.currentFailed = false;
        fn();
        ++checked;
        if (st.currentFailed) ++failed;
        std::printf("  %-56s %s\n", name.c_str(), st.currentFailed ? "FAILED" : "ok");
    }
    if (list) return 0;

    // Coverage of the table: a primitive with tuned versions must have a checker; one without is listed.
    int uncheckedTuned = 0;
    std::vector<std::string> uncheckedPlain;
    for (int i = 0; i < lumacore::kDispatchTableCount; ++i) {
        const lumacore::DispatchRecord& r = lumacore::DispatchTable()[i];
        if (covered.count(r.name)) continue;
        const bool tuned = r.impl[1] != r.impl[0] || r.impl[2] != r.impl[0] || r.impl[3] != r.impl[0];
        if (tuned) {
            std::fprintf(stderr, "FAIL %s has tuned versions but no checker\n", r.name);
            ++uncheckedTuned;
        } else {
            uncheckedPlain.push_back(r.name);
        }
    }
    if (!uncheckedPlain.empty())
        std::printf("checkasm: %zu primitives without a checker yet\n", uncheckedPlain.size());

    if (failed || uncheckedTuned) {
        std::printf("checkasm: %d of %d checkers failed; replay with --seed=%llu\n", failed, checked,
                    static_cast<unsigned long long>(st.seed));
        return 1;
    }
    std::printf("checkasm: %d checkers passed\n", checked);
    return 0;
}
