// G.726 family: state size, initialisation and block decoding at every rate and law.
#include "checkasm.h"

namespace {

using checkasm::Guarded;
using checkasm::rng;

constexpr std::size_t kStateBytes = 92;

}  // namespace

CHECKASM_FUNC(lumsDecodeGetStateSize_G726_8u16s) {
    checkasm::Versions<decltype(&lumsDecodeGetStateSize_G726_8u16s)> v("lumsDecodeGetStateSize_G726_8u16s");
    for (const auto& [level, fn] : v.all()) {
        int size = -1;
        if (fn(&size) != lumStsNoErr || size != 92) checkasm::Fail(v.name(), level, "size is not 92");
    }
}

CHECKASM_FUNC(lumsDecodeInit_G726_8u16s) {
    checkasm::Versions<decltype(&lumsDecodeInit_G726_8u16s)> v("lumsDecodeInit_G726_8u16s");
    struct Case {
        int rate, law;
    };
    static const Case kCases[] = {{12, 0}, {13, 1},  {14, 2}, {15, 2}, {11, 2},
                                  {16, 0}, {14, -1}, {14, 3}, {99, 7}};
    for (const Case& c : kCases) {
        Guarded pristine(kStateBytes);
        Guarded refOut(kStateBytes);
        refOut.CopyFrom(pristine);
        const LumStatus refStatus = v.ref()(refOut.as<LumsG726DecoderState>(), c.rate, c.law);
        const bool valid = c.rate >= 12 && c.rate <= 15 && c.law >= 0 && c.law <= 2;
        if (refStatus != (valid ? lumStsNoErr : lumStsRangeErr))
            checkasm::Fail(v.name(), 0,
                           "status for rate " + std::to_string(c.rate) + " law " + std::to_string(c.law));
        if (!valid && !refOut.SameAs(pristine)) checkasm::Fail(v.name(), 0, "refused call wrote the state");
        if (!refOut.GuardsMatch(pristine)) checkasm::Fail(v.name(), 0, "wrote outside the state");
        for (const auto& [level, fn] : v.all()) {
            if (level == 0) continue;
            Guarded out(kStateBytes);
            out.CopyFrom(pristine);
            if (fn(out.as<LumsG726DecoderState>(), c.rate, c.law) != refStatus || !out.SameAs(refOut))
                checkasm::Fail(v.name(), level, "differs from the generic version");
        }
    }
}

CHECKASM_FUNC(lumsDecode_G726_8u16s) {
    checkasm::Versions<decltype(&lumsDecode_G726_8u16s)> v("lumsDecode_G726_8u16s");
    for (int trial = 0; trial < 48 && !checkasm::Failed(); ++trial) {
        const int rate = rng().Range(12, 15), law = rng().Range(0, 2);
        const int len = trial % 4 == 0 ? 360 : rng().Range(1, 2000);
        const int bits = rate - 10;
        Guarded codes(static_cast<std::size_t>(len));
        for (int i = 0; i < len; ++i) codes.data()[i] = static_cast<Lum8u>(rng().Next() & ((1u << bits) - 1));

        // Start from a state that earlier random codes moved away from its initial values.
        Guarded warm(kStateBytes);
        auto* warmState = warm.as<LumsG726DecoderState>();
        lumsDecodeInit_G726_8u16s(warmState, rate, law);
        Lum16s scratch[64];
        lumsDecode_G726_8u16s(warmState, codes.data(), scratch, len < 64 ? len : 64);

        Guarded pristineOut(static_cast<std::size_t>(len) * 2);
        Guarded refState(kStateBytes), refOut(pristineOut.size());
        refState.CopyFrom(warm);
        refOut.CopyFrom(pristineOut);
        if (v.ref()(refState.as<LumsG726DecoderState>(), codes.data(), refOut.as<Lum16s>(), len) !=
            lumStsNoErr)
            checkasm::Fail(v.name(), 0, "valid call refused");
        if (!refOut.GuardsMatch(pristineOut) || !refState.GuardsMatch(warm))
            checkasm::Fail(v.name(), 0, "wrote outside its region");
        for (int i = 0; i < len; ++i) {
            const int s = refOut.as<Lum16s>()[i];
            if (law == 2 ? (s < -8192 || s > 8191) : (s < 0 || s > 255))
                checkasm::Fail(v.name(), 0, "output out of range: " + std::to_string(s));
        }
        for (const auto& [level, fn] : v.all()) {
            if (level == 0) continue;
            Guarded state(kStateBytes), out(pristineOut.size());
            state.CopyFrom(warm);
            out.CopyFrom(pristineOut);
            fn(state.as<LumsG726DecoderState>(), codes.data(), out.as<Lum16s>(), len);
            if (!out.SameAs(refOut) || !state.SameAs(refState))
                checkasm::Fail(v.name(), level, "samples or state differ, rate " + std::to_string(rate));
        }
    }
    Guarded codes(360), out(720), state(kStateBytes);
    for (int i = 0; i < 360; ++i) codes.data()[i] &= 15;
    for (const auto& [level, fn] : v.all()) {
        auto call = fn;
        lumsDecodeInit_G726_8u16s(state.as<LumsG726DecoderState>(), 14, 2);
        checkasm::Bench(v.name(), level,
                        [&] { call(state.as<LumsG726DecoderState>(), codes.data(), out.as<Lum16s>(), 360); });
    }
}
