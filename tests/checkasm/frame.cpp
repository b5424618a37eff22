// Frame family: vector copy, set and zero, image copies, allocators and the time-stamp counter.
#include "checkasm.h"

namespace {

using checkasm::Guarded;
using checkasm::rng;

// Lengths around the tuned copy's 64- and 16-byte steps, around page multiples from 8 KiB to 20 KiB
// (where a copy that changes its method by size would change it), and small odd ones.
int PickLength() {
    static const int kEdges[] = {1,    15,   16,    17,    63,    64,    65,   8191,
                                 8192, 8193, 16383, 16384, 20479, 20480, 20481};
    if (rng().Next() % 2) return kEdges[rng().Next() % std::size(kEdges)];
    return rng().Range(1, 70000);
}

// Runs every version of a vector primitive on copies of one pristine output buffer.
template <typename Fn, typename Call>
void CompareVector(const checkasm::Versions<Fn>& v, int len, Call call) {
    Guarded pristine(static_cast<std::size_t>(len));
    Guarded refOut(pristine.size());
    refOut.CopyFrom(pristine);
    const LumStatus refStatus = call(v.ref(), refOut.data(), len);
    if (!refOut.GuardsMatch(pristine)) checkasm::Fail(v.name(), 0, "wrote outside its region");
    for (const auto& [level, fn] : v.all()) {
        if (level == 0) continue;
        Guarded out(pristine.size());
        out.CopyFrom(pristine);
        const LumStatus status = call(fn, out.data(), len);
        if (status != refStatus) checkasm::Fail(v.name(), level, "status differs");
        if (!out.SameAs(refOut))
            checkasm::Fail(v.name(), level, "output or guard bands differ, len " + std::to_string(len));
    }
}

}  // namespace

CHECKASM_FUNC(lumsCopy_8u) {
    checkasm::Versions<decltype(&lumsCopy_8u)> v("lumsCopy_8u");
    for (int trial = 0; trial < 64 && !checkasm::Failed(); ++trial) {
        const int len = PickLength();
        Guarded src(static_cast<std::size_t>(len) + 16);
        const int offset = rng().Range(0, 15);  // unaligned sources too
        CompareVector(v, len,
                      [&](auto fn, Lum8u* dst, int n) { return fn(src.data() + offset, dst + 0, n); });
    }
    Guarded src(1 << 16), dst(1 << 16);
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;  // structured bindings cannot be captured before C++20 compilers catch up
        checkasm::Bench(v.name(), level, [&] { call(src.data(), dst.data(), 1 << 16); });
    }
}

CHECKASM_FUNC(lumsSet_8u) {
    checkasm::Versions<decltype(&lumsSet_8u)> v("lumsSet_8u");
    for (int trial = 0; trial < 64 && !checkasm::Failed(); ++trial) {
        const Lum8u value = static_cast<Lum8u>(rng().Next());
        const int offset = rng().Range(0, 15);
        CompareVector(v, PickLength() + offset, [&](auto fn, Lum8u* dst, int n) {
            return fn(value, dst + offset, n - offset > 0 ? n - offset : 1);
        });
    }
    Guarded dst(1 << 16);
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;
        checkasm::Bench(v.name(), level, [&] { call(0x5A, dst.data(), 1 << 16); });
    }
}

CHECKASM_FUNC(lumsZero_8u) {
    checkasm::Versions<decltype(&lumsZero_8u)> v("lumsZero_8u");
    for (int trial = 0; trial < 64 && !checkasm::Failed(); ++trial)
        CompareVector(v, PickLength(), [&](auto fn, Lum8u* dst, int n) { return fn(dst, n); });
    Guarded dst(1 << 16);
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;
        checkasm::Bench(v.name(), level, [&] { call(dst.data(), 1 << 16); });
    }
}

namespace {

// Image copies: random regions with padded steps, every version from one pristine destination.
template <typename Fn>
void CheckImageCopy(const char* name, int srcChannels, int srcPlanes, int dstChannels, int dstPlanes) {
    checkasm::Versions<Fn> v(name);
    // `s` and `d` hold the planes, or the interleaved image in their first entry.
    auto invoke = [](Fn fn, const Lum8u* const* s, int srcStep, Lum8u* const* d, int dstStep, LumiSize roi) {
        if constexpr (std::is_same_v<Fn, decltype(&lumiCopy_8u_C1R)>)
            return fn(s[0], srcStep, d[0], dstStep, roi);
        else if constexpr (std::is_same_v<Fn, decltype(&lumiCopy_8u_C3P3R)> ||
                           std::is_same_v<Fn, decltype(&lumiCopy_8u_C4P4R)>)
            return fn(s[0], srcStep, d, dstStep, roi);
        else
            return fn(s, srcStep, d[0], dstStep, roi);
    };
    for (int trial = 0; trial < 48 && !checkasm::Failed(); ++trial) {
        const int width = rng().Range(1, 70), height = rng().Range(1, 20);
        const bool contiguous = rng().Next() % 3 == 0;
        const int srcStep = width * srcChannels + (contiguous ? 0 : rng().Range(0, 9));
        const int dstStep = width * dstChannels + (contiguous ? 0 : rng().Range(0, 9));
        std::vector<Guarded> src, pristine, refOut;
        for (int p = 0; p < srcPlanes; ++p) src.emplace_back(static_cast<std::size_t>(srcStep) * height);
        for (int p = 0; p < dstPlanes; ++p) {
            pristine.emplace_back(static_cast<std::size_t>(dstStep) * height);
            refOut.emplace_back(pristine.back().size());
            refOut.back().CopyFrom(pristine.back());
        }
        auto run = [&](Fn fn, std::vector<Guarded>& out) {
            const Lum8u* s[4] = {};
            Lum8u* d[4] = {};
            for (int p = 0; p < srcPlanes; ++p) s[p] = src[p].data();
            for (int p = 0; p < dstPlanes; ++p) d[p] = out[p].data();
            return invoke(fn, s, srcStep, d, dstStep, LumiSize{width, height});
        };
        const LumStatus refStatus = run(v.ref(), refOut);
        if (refStatus != lumStsNoErr) checkasm::Fail(name, 0, "valid call refused");
        for (int p = 0; p < dstPlanes; ++p)
            if (!refOut[p].GuardsMatch(pristine[p])) checkasm::Fail(name, 0, "wrote outside its region");
        for (const auto& [level, fn] : v.all()) {
            if (level == 0) continue;
            std::vector<Guarded> out;
            for (int p = 0; p < dstPlanes; ++p) {
                out.emplace_back(pristine[p].size());
                out.back().CopyFrom(pristine[p]);
            }
            if (run(fn, out) != refStatus) checkasm::Fail(name, level, "status differs");
            for (int p = 0; p < dstPlanes; ++p)
                if (!out[p].SameAs(refOut[p])) checkasm::Fail(name, level, "output or guard bands differ");
        }
    }
    // A 640 x 8 region of a picture.
    std::vector<Guarded> src, dst;
    for (int p = 0; p < srcPlanes; ++p) src.emplace_back(640 * 8 * srcChannels);
    for (int p = 0; p < dstPlanes; ++p) dst.emplace_back(640 * 8 * dstChannels);
    const Lum8u* s[4] = {};
    Lum8u* d[4] = {};
    for (int p = 0; p < srcPlanes; ++p) s[p] = src[p].data();
    for (int p = 0; p < dstPlanes; ++p) d[p] = dst[p].data();
    const int srcStep = 640 * srcChannels, dstStep = 640 * dstChannels;
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;
        checkasm::Bench(name, level, [&] { invoke(call, s, srcStep, d, dstStep, LumiSize{640, 8}); });
    }
}

}  // namespace

// Interleaved-to-planar steps: the planar side takes the step of a one-channel row.
CHECKASM_FUNC(lumiCopy_8u_C1R) {
    CheckImageCopy<decltype(&lumiCopy_8u_C1R)>("lumiCopy_8u_C1R", 1, 1, 1, 1);
}
CHECKASM_FUNC(lumiCopy_8u_C3P3R) {
    CheckImageCopy<decltype(&lumiCopy_8u_C3P3R)>("lumiCopy_8u_C3P3R", 3, 1, 1, 3);
}
CHECKASM_FUNC(lumiCopy_8u_C4P4R) {
    CheckImageCopy<decltype(&lumiCopy_8u_C4P4R)>("lumiCopy_8u_C4P4R", 4, 1, 1, 4);
}
CHECKASM_FUNC(lumiCopy_8u_P3C3R) {
    CheckImageCopy<decltype(&lumiCopy_8u_P3C3R)>("lumiCopy_8u_P3C3R", 1, 3, 3, 1);
}
CHECKASM_FUNC(lumiCopy_8u_P4C4R) {
    CheckImageCopy<decltype(&lumiCopy_8u_P4C4R)>("lumiCopy_8u_P4C4R", 1, 4, 4, 1);
}

CHECKASM_FUNC(lumsMalloc_8u) {
    checkasm::Versions<decltype(&lumsMalloc_8u)> v("lumsMalloc_8u");
    for (const auto& [level, fn] : v.all()) {
        for (int trial = 0; trial < 32; ++trial) {
            const int len = rng().Range(1, 100000);
            Lum8u* p = fn(len);
            if (p == nullptr || reinterpret_cast<std::uintptr_t>(p) % 32 != 0)
                checkasm::Fail(v.name(), level, "alignment");
            if (p != nullptr) std::memset(p, 0xCD, static_cast<std::size_t>(len));
            lumsFree(p);
        }
    }
}

CHECKASM_FUNC(lumsMalloc_16s) {
    checkasm::Versions<decltype(&lumsMalloc_16s)> v("lumsMalloc_16s");
    for (const auto& [level, fn] : v.all()) {
        Lum16s* p = fn(12345);
        if (p == nullptr || reinterpret_cast<std::uintptr_t>(p) % 32 != 0)
            checkasm::Fail(v.name(), level, "alignment");
        if (p != nullptr) std::memset(p, 0xCD, 2 * 12345);
        lumsFree(p);
    }
}

CHECKASM_FUNC(lumsFree) {
    checkasm::Versions<decltype(&lumsFree)> v("lumsFree");
    for (const auto& [level, fn] : v.all()) {
        fn(lumsMalloc_8u(100));
    }
}

CHECKASM_FUNC(lumGetCpuClocks) {
    checkasm::Versions<decltype(&lumGetCpuClocks)> v("lumGetCpuClocks");
    for (const auto& [level, fn] : v.all()) {
        const Lum64u a = fn(), b = fn();
        if (b < a) checkasm::Fail(v.name(), level, "counter went backwards");
    }
}
