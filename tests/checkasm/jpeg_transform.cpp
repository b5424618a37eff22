// JPEG transform, quantisation, colour and sampling primitives.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

#include "checkasm.h"
#include "checkasm_util.h"
#include "jpeg/idct.h"

namespace {

using checkasm::Buffers;
using checkasm::CompareVersions;
using checkasm::Expect;
using checkasm::Guarded;
using checkasm::rng;

std::string SizeText(int w, int h) {
    return std::to_string(w) + "x" + std::to_string(h);
}

// A 16-bit value that is often at or near an end of its range.
Lum16s ExtremeCoefficient() {
    switch (rng().Next() % 8) {
        case 0:
            return 32767;
        case 1:
            return -32768;
        case 2:
            return static_cast<Lum16s>(rng().Range(-2048, 2047));
        case 3:
            return 0;
        default:
            return static_cast<Lum16s>(rng().Range(-128, 127));
    }
}

}  // namespace

// ---- Quantisation tables ----

CHECKASM_FUNC(lumiQuantFwdRawTableInit_JPEG_8u) {
    using Fn = decltype(&lumiQuantFwdRawTableInit_JPEG_8u);
    checkasm::Versions<Fn> v("lumiQuantFwdRawTableInit_JPEG_8u");
    static const int kQualities[] = {
        1, 2, 49, 50, 51, 99, 100, 101, 1000, -1, -77, 2147483647, -2147483647 - 1};
    for (int trial = 0; trial < 64 && !checkasm::Failed(); ++trial) {
        const int quality =
            trial < static_cast<int>(std::size(kQualities)) ? kQualities[trial] : rng().Range(1, 100);
        // The table is scaled in place: the pristine buffer is the input.
        const auto pristine = Buffers({64});
        CompareVersions(
            v, pristine, [&](Fn fn, std::vector<Guarded>& out) { return fn(out[0].data(), quality); },
            "quality " + std::to_string(quality), Expect::kSuccess);
    }
    Guarded raw(64);
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;
        checkasm::Bench(v.name(), level, [&] { call(raw.data(), 75); });
    }
}

namespace {

// The forward and inverse table builders: random raw tables (with `zeroEntry`, half of them with a 0
// entry, the forward builder's warning path) into 64 Lum16u.
template <typename Fn>
void CheckQuantTableInit(const char* name, bool zeroEntry) {
    checkasm::Versions<Fn> v(name);
    for (int trial = 0; trial < 32 && !checkasm::Failed(); ++trial) {
        Guarded raw(64);
        if (zeroEntry && trial % 2 == 0) raw.data()[rng().Range(0, 63)] = 0;
        const auto pristine = Buffers({64 * sizeof(Lum16u)});
        CompareVersions(
            v, pristine,
            [&](Fn fn, std::vector<Guarded>& out) { return fn(raw.data(), out[0].as<Lum16u>()); },
            "random table", Expect::kSuccess);
    }
    Guarded raw(64), out(128);
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;
        checkasm::Bench(name, level, [&] { call(raw.data(), out.as<Lum16u>()); });
    }
}

}  // namespace

CHECKASM_FUNC(lumiQuantFwdTableInit_JPEG_8u16u) {
    CheckQuantTableInit<decltype(&lumiQuantFwdTableInit_JPEG_8u16u)>("lumiQuantFwdTableInit_JPEG_8u16u",
                                                                     true);
}

CHECKASM_FUNC(lumiQuantInvTableInit_JPEG_8u16u) {
    CheckQuantTableInit<decltype(&lumiQuantInvTableInit_JPEG_8u16u)>("lumiQuantInvTableInit_JPEG_8u16u",
                                                                     false);
}

// ---- Transforms ----

CHECKASM_FUNC(lumiDCTQuantFwd8x8LS_JPEG_8u16s_C1R) {
    using Fn = decltype(&lumiDCTQuantFwd8x8LS_JPEG_8u16s_C1R);
    checkasm::Versions<Fn> v("lumiDCTQuantFwd8x8LS_JPEG_8u16s_C1R");
    for (int trial = 0; trial < 400 && !checkasm::Failed(); ++trial) {
        const int srcStep = 8 + rng().Range(0, 40);
        Guarded src(static_cast<std::size_t>(srcStep) * 8), table(64 * sizeof(Lum16u));
        const int kind = trial % 5;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                Lum8u& p = src.data()[y * srcStep + x];
                // Random samples, the largest swings (a 0/255 checkerboard and stripes), flat blocks, then
                // every sample 0 or 255: each transform term is monotonic in each sample, so these reach
                // the ends of every intermediate range.
                if (kind == 1)
                    p = ((x + y) & 1) ? 255 : 0;
                else if (kind == 2)
                    p = (trial & 4 ? x : y) < 4 ? 255 : 0;
                else if (kind == 3)
                    p = static_cast<Lum8u>(trial);
                else if (kind == 4)
                    p = (rng().Next() & 1) ? 255 : 0;
            }
        // Reciprocals of ordinary quantisers, the largest ones (unit quantiser, the 65535 substitute), zero,
        // and multiples of 2^13 and 2^14, whose products with odd or twice-odd coefficients fall exactly
        // halfway (ties go to the even quotient).
        static const Lum16u kSpecial[] = {65535, 32768, 0, 16384, 49152, 8192, 24576, 40960, 57344, 1, 32767};
        for (int i = 0; i < 64; ++i) {
            const uint32_t r = rng().Next();
            table.as<Lum16u>()[i] = static_cast<Lum16u>(r % 3 == 0 ? kSpecial[(r / 3) % std::size(kSpecial)]
                                                                   : 32768 / (1 + (r / 3) % 255));
        }
        const auto pristine = Buffers({64 * sizeof(Lum16s)});
        CompareVersions(
            v, pristine,
            [&](Fn fn, std::vector<Guarded>& out) {
                return fn(src.data(), srcStep, out[0].as<Lum16s>(), table.as<Lum16u>());
            },
            "kind " + std::to_string(kind) + " step " + std::to_string(srcStep), Expect::kSuccess);
    }
    Guarded src(64), table(128), dst(128);
    for (int i = 0; i < 64; ++i) table.as<Lum16u>()[i] = static_cast<Lum16u>(32768 / rng().Range(1, 64));
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;
        checkasm::Bench(v.name(), level, [&] { call(src.data(), 8, dst.as<Lum16s>(), table.as<Lum16u>()); });
    }
}

CHECKASM_FUNC(lumiDCTQuantInv8x8LS_JPEG_16s8u_C1R) {
    using Fn = decltype(&lumiDCTQuantInv8x8LS_JPEG_16s8u_C1R);
    checkasm::Versions<Fn> v("lumiDCTQuantInv8x8LS_JPEG_16s8u_C1R");
    for (int trial = 0; trial < 300 && !checkasm::Failed(); ++trial) {
        Guarded coef(64 * sizeof(Lum16s)), table(64 * sizeof(Lum16u));
        const int kind = trial % 4;
        for (int i = 0; i < 64; ++i) {
            // Plain decoder input, hostile coefficients, hostile quantisers, then both.
            coef.as<Lum16s>()[i] =
                (kind & 1) ? ExtremeCoefficient()
                           : static_cast<Lum16s>(i == 0 ? rng().Range(-1024, 1023) : rng().Range(-64, 64));
            table.as<Lum16u>()[i] = static_cast<Lum16u>(
                (kind & 2) ? (rng().Next() % 3 == 0 ? 65535 : rng().Next()) : rng().Range(1, 120));
        }
        // Every third block has no AC coefficient, or only one: the one-value block and its neighbour.
        // Another third codes only its 4x4 lowest frequencies (the sparse path), half of them with one
        // more coefficient in row 4-7 or column 4-7 (just outside it).
        if (trial % 3 == 0) {
            for (int i = 1; i < 64; ++i) coef.as<Lum16s>()[i] = 0;
            if (trial % 2 == 0)
                coef.as<Lum16s>()[rng().Range(1, 63)] = static_cast<Lum16s>(rng().Range(-3, 3));
        } else if (trial % 3 == 1) {
            for (int i = 0; i < 64; ++i)
                if (i >= 32 || (i & 7) >= 4) coef.as<Lum16s>()[i] = 0;
            if (trial % 2 == 0) {
                const int row = rng().Range(0, 7), col = row >= 4 ? rng().Range(0, 7) : rng().Range(4, 7);
                coef.as<Lum16s>()[row * 8 + col] = static_cast<Lum16s>(rng().Next() % 2 ? 1 : -1);
            }
        }
        const int dstStep = 8 + rng().Range(0, 40);
        const auto pristine = Buffers({static_cast<std::size_t>(dstStep) * 7 + 8});
        CompareVersions(
            v, pristine,
            [&](Fn fn, std::vector<Guarded>& out) {
                return fn(coef.as<Lum16s>(), out[0].data(), dstStep, table.as<Lum16u>());
            },
            "kind " + std::to_string(kind) + " step " + std::to_string(dstStep), Expect::kSuccess);
    }
    Guarded coef(128), table(128), dst(64);
    for (int i = 0; i < 64; ++i) {
        coef.as<Lum16s>()[i] = static_cast<Lum16s>(rng().Range(-64, 64));
        table.as<Lum16u>()[i] = static_cast<Lum16u>(rng().Range(1, 64));
    }
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;
        checkasm::Bench(v.name(), level, [&] { call(coef.as<Lum16s>(), dst.data(), 8, table.as<Lum16u>()); });
    }
}

#if defined(__x86_64__)
// The AVX2 inverse DCT that the MPEG-4 block decoders share with the JPEG transform (not an export of its
// own, so the MPEG-4 checkers reach it only through coded blocks): against the generic one on blocks
// coded only in their 4x4 lowest frequencies, those with one more coefficient at each place outside that
// corner, and full blocks of MPEG-4's dequantised range and of any 16-bit value.
CHECKASM_FUNC(InverseDct8x8) {
    if (checkasm::maxLevel() < 3) return;
    auto check = [](const Lum16s(&in)[64], const std::string& what) {
        Lum16s ref[64], out[64];
        std::copy(std::begin(in), std::end(in), ref);
        std::copy(std::begin(in), std::end(in), out);
        lumacore::c::InverseDct8x8(ref);
        lumacore::avx2::InverseDct8x8(out);
        if (!std::equal(std::begin(ref), std::end(ref), out)) checkasm::Fail("InverseDct8x8", 3, what);
    };
    for (int trial = 0; trial < 200 && !checkasm::Failed(); ++trial) {
        const int kind = trial % 4;
        Lum16s block[64] = {};
        for (int i = 0; i < 64; ++i) {
            const bool corner = i < 32 && (i & 7) < 4;
            if (kind < 2 && !corner) continue;
            block[i] = kind == 3 ? ExtremeCoefficient() : static_cast<Lum16s>(rng().Range(-2048, 2047));
        }
        if (kind == 1) {
            // The (trial / 4)-th place outside the corner, in natural order.
            int place = (trial / 4) % 48, i = 0;
            for (;; ++i)
                if ((i >= 32 || (i & 7) >= 4) && place-- == 0) break;
            block[i] = static_cast<Lum16s>(rng().Next() % 2 ? 1 : -2048);
        }
        check(block, "kind " + std::to_string(kind));
    }
}
#endif

// ---- Colour conversion ----

namespace {

struct Region {
    int width, height, planarStep, packedStep;
};

Region RandomRegion(int channels) {
    Region r{};
    r.width = rng().Range(1, 70);
    r.height = rng().Range(1, 12);
    const bool tight = rng().Next() % 4 == 0;
    r.planarStep = r.width + (tight ? 0 : rng().Range(1, 17));
    r.packedStep = r.width * channels + (tight ? 0 : rng().Range(1, 17));
    return r;
}

std::size_t Bytes(int step, int height, int lastRow) {
    return static_cast<std::size_t>(step) * static_cast<std::size_t>(height - 1) +
           static_cast<std::size_t>(lastRow);
}

// Planar (n planes) to interleaved (n channels) conversions.
template <typename Fn>
void CheckPlanarToPacked(const char* name, int n) {
    checkasm::Versions<Fn> v(name);
    for (int trial = 0; trial < 40 && !checkasm::Failed(); ++trial) {
        const Region r = RandomRegion(n);
        std::vector<Guarded> src = Buffers({});
        for (int p = 0; p < n; ++p) src.emplace_back(Bytes(r.planarStep, r.height, r.width));
        const auto pristine = Buffers({Bytes(r.packedStep, r.height, r.width * n)});
        CompareVersions(
            v, pristine,
            [&](Fn fn, std::vector<Guarded>& out) {
                const Lum8u* planes[4] = {};
                for (int p = 0; p < n; ++p) planes[p] = src[p].data();
                return fn(planes, r.planarStep, out[0].data(), r.packedStep, LumiSize{r.width, r.height});
            },
            SizeText(r.width, r.height), Expect::kSuccess);
    }
    std::vector<Guarded> src = Buffers({});
    for (int p = 0; p < n; ++p) src.emplace_back(640 * 8);
    Guarded dst(640 * 8 * 4);
    const Lum8u* planes[4] = {};
    for (int p = 0; p < n; ++p) planes[p] = src[p].data();
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;
        checkasm::Bench(name, level, [&] { call(planes, 640, dst.data(), 640 * n, LumiSize{640, 8}); });
    }
}

// Interleaved (n channels) to planar (`planes` planes) conversions.
template <typename Fn>
void CheckPackedToPlanar(const char* name, int n, int planes) {
    checkasm::Versions<Fn> v(name);
    auto call = [planes](Fn fn, const Lum8u* src, int srcStep, std::vector<Guarded>& out, int dstStep,
                         LumiSize roi) {
        Lum8u* d[4] = {};
        for (int p = 0; p < planes; ++p) d[p] = out[p].data();
        if constexpr (std::is_same_v<Fn, decltype(&lumiRGBToY_JPEG_8u_C3C1R)>)
            return fn(src, srcStep, d[0], dstStep, roi);
        else
            return fn(src, srcStep, d, dstStep, roi);
    };
    for (int trial = 0; trial < 40 && !checkasm::Failed(); ++trial) {
        const Region r = RandomRegion(n);
        Guarded src(Bytes(r.packedStep, r.height, r.width * n));
        std::vector<Guarded> pristine = Buffers({});
        for (int p = 0; p < planes; ++p) pristine.emplace_back(Bytes(r.planarStep, r.height, r.width));
        CompareVersions(
            v, pristine,
            [&](Fn fn, std::vector<Guarded>& out) {
                return call(fn, src.data(), r.packedStep, out, r.planarStep, LumiSize{r.width, r.height});
            },
            SizeText(r.width, r.height), Expect::kSuccess);
    }
    Guarded src(640 * 8 * 4);
    std::vector<Guarded> out = Buffers({});
    for (int p = 0; p < planes; ++p) out.emplace_back(640 * 8);
    for (const auto& [level, fn] : v.all()) {
        auto f = fn;
        checkasm::Bench(name, level, [&] { call(f, src.data(), 640 * n, out, 640, LumiSize{640, 8}); });
    }
}

}  // namespace

CHECKASM_FUNC(lumiYCbCrToRGB_JPEG_8u_P3C3R) {
    CheckPlanarToPacked<decltype(&lumiYCbCrToRGB_JPEG_8u_P3C3R)>("lumiYCbCrToRGB_JPEG_8u_P3C3R", 3);
}
CHECKASM_FUNC(lumiYCbCrToBGR_JPEG_8u_P3C3R) {
    CheckPlanarToPacked<decltype(&lumiYCbCrToBGR_JPEG_8u_P3C3R)>("lumiYCbCrToBGR_JPEG_8u_P3C3R", 3);
}
CHECKASM_FUNC(lumiRGBToYCbCr_JPEG_8u_C3P3R) {
    CheckPackedToPlanar<decltype(&lumiRGBToYCbCr_JPEG_8u_C3P3R)>("lumiRGBToYCbCr_JPEG_8u_C3P3R", 3, 3);
}
CHECKASM_FUNC(lumiBGRToYCbCr_JPEG_8u_C3P3R) {
    CheckPackedToPlanar<decltype(&lumiBGRToYCbCr_JPEG_8u_C3P3R)>("lumiBGRToYCbCr_JPEG_8u_C3P3R", 3, 3);
}
CHECKASM_FUNC(lumiRGBToY_JPEG_8u_C3C1R) {
    CheckPackedToPlanar<decltype(&lumiRGBToY_JPEG_8u_C3C1R)>("lumiRGBToY_JPEG_8u_C3C1R", 3, 1);
}
CHECKASM_FUNC(lumiCMYKToYCCK_JPEG_8u_C4P4R) {
    CheckPackedToPlanar<decltype(&lumiCMYKToYCCK_JPEG_8u_C4P4R)>("lumiCMYKToYCCK_JPEG_8u_C4P4R", 4, 4);
}
CHECKASM_FUNC(lumiYCCKToCMYK_JPEG_8u_P4C4R) {
    CheckPlanarToPacked<decltype(&lumiYCCKToCMYK_JPEG_8u_P4C4R)>("lumiYCCKToCMYK_JPEG_8u_P4C4R", 4);
}

CHECKASM_FUNC(lumiYCbCr420ToBGR_8u_P3C3R) {
    using Fn = decltype(&lumiYCbCr420ToBGR_8u_P3C3R);
    checkasm::Versions<Fn> v("lumiYCbCr420ToBGR_8u_P3C3R");
    for (int trial = 0; trial < 40 && !checkasm::Failed(); ++trial) {
        const int width = rng().Range(1, 70), height = rng().Range(1, 12);
        const int cw = (width + 1) / 2, ch = (height + 1) / 2;
        // Each plane has its own step, as in the decoder's bordered picture.
        const int steps[3] = {width + rng().Range(0, 40), cw + rng().Range(0, 20), cw + rng().Range(0, 20)};
        const int dstStep = width * 3 + rng().Range(0, 9);
        std::vector<Guarded> src =
            Buffers({Bytes(steps[0], height, width), Bytes(steps[1], ch, cw), Bytes(steps[2], ch, cw)});
        const auto pristine = Buffers({Bytes(dstStep, height, width * 3)});
        CompareVersions(
            v, pristine,
            [&](Fn fn, std::vector<Guarded>& out) {
                const Lum8u* planes[3] = {src[0].data(), src[1].data(), src[2].data()};
                return fn(planes, steps, out[0].data(), dstStep, LumiSize{width, height});
            },
            SizeText(width, height), Expect::kSuccess);
    }
    // A CIF picture.
    std::vector<Guarded> src = Buffers({352 * 288, 176 * 144, 176 * 144});
    Guarded dst(352 * 288 * 3);
    const Lum8u* planes[3] = {src[0].data(), src[1].data(), src[2].data()};
    const int steps[3] = {352, 176, 176};
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;
        checkasm::Bench(v.name(), level, [&] {
            call(planes, steps, dst.data(), 352 * 3, LumiSize{352, 288});
        });
    }
}

// ---- Chroma resampling ----

namespace {

// Up-sampling: the source has a valid border of one sample on each side of every row and, for H2V2,
// one row above and below, all of them inside the source buffer.
template <typename Fn>
void CheckUp(const char* name, bool vertical) {
    checkasm::Versions<Fn> v(name);
    for (int trial = 0; trial < 48 && !checkasm::Failed(); ++trial) {
        const int dstW = rng().Range(1, 80), dstH = rng().Range(1, 12);
        const int srcW = (dstW + 1) / 2, srcH = vertical ? (dstH + 1) / 2 : dstH;
        const int srcStep = srcW + 2 + rng().Range(0, 9);
        const int dstStep = dstW + rng().Range(0, 9);
        const int rows = srcH + (vertical ? 2 : 0);
        Guarded src(static_cast<std::size_t>(srcStep) * static_cast<std::size_t>(rows));
        const Lum8u* first = src.data() + 1 + (vertical ? srcStep : 0);
        const auto pristine = Buffers({Bytes(dstStep, dstH, dstW)});
        CompareVersions(
            v, pristine,
            [&](Fn fn, std::vector<Guarded>& out) {
                return fn(first, srcStep, LumiSize{srcW, srcH}, out[0].data(), dstStep, LumiSize{dstW, dstH});
            },
            SizeText(dstW, dstH), Expect::kSuccess);
    }
    Guarded src(330 * 122), dst(640 * 240);
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;
        checkasm::Bench(name, level, [&] {
            call(src.data() + 331, 330, LumiSize{320, vertical ? 120 : 240}, dst.data(), 640,
                 LumiSize{640, 240});
        });
    }
}

// Down-sampling: the source covers exactly twice the destination (rounded up) in each halved direction.
template <typename Fn>
void CheckDown(const char* name, bool vertical) {
    checkasm::Versions<Fn> v(name);
    for (int trial = 0; trial < 48 && !checkasm::Failed(); ++trial) {
        const int dstW = rng().Range(1, 80), dstH = rng().Range(1, 12);
        const int srcW = 2 * dstW, srcH = vertical ? 2 * dstH : dstH;
        const int srcStep = srcW + rng().Range(0, 9);
        const int dstStep = dstW + rng().Range(0, 9);
        Guarded src(Bytes(srcStep, srcH, srcW));
        const auto pristine = Buffers({Bytes(dstStep, dstH, dstW)});
        CompareVersions(
            v, pristine,
            [&](Fn fn, std::vector<Guarded>& out) {
                return fn(src.data(), srcStep, LumiSize{srcW, srcH}, out[0].data(), dstStep,
                          LumiSize{dstW, dstH});
            },
            SizeText(dstW, dstH), Expect::kSuccess);
    }
    Guarded src(640 * 240), dst(320 * 240);
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;
        checkasm::Bench(name, level, [&] {
            call(src.data(), 640, LumiSize{640, 240}, dst.data(), 320, LumiSize{320, vertical ? 120 : 240});
        });
    }
}

}  // namespace

CHECKASM_FUNC(lumiSampleDownH2V1_JPEG_8u_C1R) {
    CheckDown<decltype(&lumiSampleDownH2V1_JPEG_8u_C1R)>("lumiSampleDownH2V1_JPEG_8u_C1R", false);
}
CHECKASM_FUNC(lumiSampleDownH2V2_JPEG_8u_C1R) {
    CheckDown<decltype(&lumiSampleDownH2V2_JPEG_8u_C1R)>("lumiSampleDownH2V2_JPEG_8u_C1R", true);
}
CHECKASM_FUNC(lumiSampleUpH2V1_JPEG_8u_C1R) {
    CheckUp<decltype(&lumiSampleUpH2V1_JPEG_8u_C1R)>("lumiSampleUpH2V1_JPEG_8u_C1R", false);
}
CHECKASM_FUNC(lumiSampleUpH2V2_JPEG_8u_C1R) {
    CheckUp<decltype(&lumiSampleUpH2V2_JPEG_8u_C1R)>("lumiSampleUpH2V2_JPEG_8u_C1R", true);
}
