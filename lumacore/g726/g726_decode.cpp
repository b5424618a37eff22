// G.726 ADPCM decoding at 16, 24, 32 and 40 kbit/s, to linear samples or to G.711 codes.
//
// One step per code follows the fixed-point description of ITU-T G.726 block by block (FMULT/ACCUM,
// MIX, RECONST, ADDB/ADDC, FLOATA/FLOATB, UPA1/UPA2/UPB, LIMC/LIMD, TONE/TRANS/TRIGB, FUNCTW/FILTD/LIMB/
// FILTE, FUNCTF/FILTA/FILTB/SUBTC/FILTC/TRIGA, COMPRESS/EXPAND/SYNC). The standard works in unsigned
// words of fixed widths; here every variable is a signed int holding the same two's-complement value,
// and the word-width wrap-arounds that can actually occur (the 16-bit sums of the predictor and of the
// reconstruction) are applied explicitly. Every other intermediate stays within its word by the bounds
// of the variables (yu 544..5120, |a2| <= 12288, and so on), so no further masking is needed.
#include <algorithm>
#include <cstdlib>

#include "g726/g726_core.h"
#include "g726/g726_state.h"
#include "lumacore/lumacore.h"

namespace lumacore::c {
namespace {

using g726::BitLength;
using g726::FloatOf;
using g726::kRates;
using g726::RateTables;
using g726::Wrap16;

// FMULT: a predictor coefficient (14 fraction bits) times a history value in floating format.
inline int Fmult(int an, int srSign, int srFloat) {
    const int anS = an < 0 ? 1 : 0;
    const int anMag = anS ? ((-(an >> 2)) & 8191) : (an >> 2);
    const int anExp = BitLength(anMag);
    const int anMant = anMag == 0 ? 32 : (anMag << 6) >> anExp;
    const int waExp = (srFloat >> 6) + anExp;
    const int waMant = ((srFloat & 63) * anMant + 48) >> 4;
    const int waMag = waExp <= 26 ? (waMant << 7) >> (26 - waExp) : ((waMant << 7) << (waExp - 26)) & 32767;
    return (srSign ^ anS) ? -waMag : waMag;
}

// G.711 on the 14-bit signal: mu-law takes the 14-bit value, A-law its 13-bit half. Both saturate.
inline int LinearToUlaw(int x) {
    int mag = x < 0 ? -x : x;
    const int mask = x < 0 ? 0x7F : 0xFF;
    mag = std::min(mag + 33, 8191);
    const int seg = BitLength(mag) - 6;
    return (((seg << 4) | ((mag >> (seg + 1)) & 0xF)) ^ mask) & 0xFF;
}

inline int LinearToAlaw(int x13) {
    const int mask = x13 >= 0 ? 0xD5 : 0x55;
    int mag = x13 >= 0 ? x13 : -x13 - 1;
    mag = std::min(mag, 4095);
    const int seg = mag < 32 ? 0 : BitLength(mag) - 5;
    const int code = seg == 0 ? (mag >> 1) : ((seg << 4) | ((mag >> seg) & 0xF));
    return (code ^ mask) & 0xFF;
}

inline int UlawToLinear14(int code) {
    const int u = ~code & 0xFF;
    const int t = (((u & 0xF) << 3) + 0x84) << ((u & 0x70) >> 4);
    return ((u & 0x80) ? 0x84 - t : t - 0x84) >> 2;
}

inline int AlawToLinear14(int code) {
    const int a = code ^ 0x55;
    const int seg = (a & 0x70) >> 4;
    int t = (a & 0xF) << 4;
    if (seg == 0) {
        t += 8;
    } else {
        t = (t + 0x108) << (seg - 1);
    }
    return ((a & 0x80) ? t : -t) >> 2;
}

// QUAN: the code the encoder would send for the difference `d` at scale factor `y`.
int Quantize(const RateTables& r, int d, int y) {
    const int dqm = d < 0 ? -d : d;
    const int exp = dqm < 2 ? 0 : BitLength(dqm) - 1;
    const int mant = ((dqm << 7) >> exp) & 127;
    const int dln = (exp << 7) + mant - (y >> 2);
    int mag = 0;
    while (mag < r.levels && dln >= r.decision[mag]) ++mag;
    const int top = (1 << r.bits) - 1;
    if (d < 0) return top - mag;
    if (mag == 0 && r.bits != 2) return top;  // the all-zero code is never sent
    return mag;
}

// SYNC: re-encode the PCM code; when that would not give the received code, move it one step.
int SyncAdjust(const RateTables& r, int law, int sp, int se, int y, int code) {
    const int slx = law == 0 ? UlawToLinear14(sp) : AlawToLinear14(sp);
    const int id = Quantize(r, Wrap16(slx - se), y);
    if (id == code) return sp;
    const int sign = 1 << (r.bits - 1);
    const bool lower = (id ^ sign) > (code ^ sign);  // the PCM value is too high
    if (law == 0) {
        if (sp & 0x80) {
            if (lower) return sp == 0xFF ? 0x7E : sp + 1;
            return sp == 0x80 ? 0x80 : sp - 1;
        }
        if (lower) return sp == 0x00 ? 0x00 : sp - 1;
        return sp == 0x7F ? 0xFE : sp + 1;
    }
    const int linear = sp ^ 0x55;  // A-law codes in value order within each sign
    if (sp & 0x80) {
        if (lower) return sp == 0xD5 ? 0x55 : ((linear - 1) ^ 0x55);
        return sp == 0xAA ? 0xAA : ((linear + 1) ^ 0x55);
    }
    if (lower) return sp == 0x2A ? 0x2A : ((linear + 1) ^ 0x55);
    return sp == 0x55 ? 0xD5 : ((linear - 1) ^ 0x55);
}

template <int kRate, int kLaw>
void DecodeRun(LumsG726DecoderState& s, const Lum8u* src, Lum16s* dst, int len) {
    const RateTables& r = kRates[kRate];
    const int codeMask = (1 << r.bits) - 1;

    g726::Scalars v = g726::LoadScalars(s);
    int b[6], dq[6], dqSign[6];
    for (int i = 0; i < 6; ++i) {
        b[i] = s.b[i];
        dq[i] = s.dq[i];
        dqSign[i] = s.dqSign[i];
    }
    int sr1 = s.sr[0], sr2 = s.sr[1], sr1Sign = s.srSign[0], sr2Sign = s.srSign[1];
    int sez = s.sez;

    for (int n = 0; n < len; ++n) {
        const int code = src[n] & codeMask;

        // FMULT, ACCUM: the signal estimate from the six zeros and two poles.
        int sezi = 0;
        for (int i = 0; i < 6; ++i) sezi += Fmult(b[i], dqSign[i], dq[i]);
        sezi = Wrap16(sezi);
        const int sei = Wrap16(sezi + Fmult(v.a1, sr1Sign, sr1) + Fmult(v.a2, sr2Sign, sr2));
        const g726::StepResult st = g726::Step<kRate>(v, code, sezi, sei);
        sez = st.sez;

        // UPB, TRIGB: zero coefficients with their leak.
        for (int i = 0; i < 6; ++i) {
            const int ugb = st.dqmag == 0 ? 0 : ((st.dqs ^ dqSign[i]) ? -128 : 128);
            const int ulb = kRate == 3 ? -(b[i] >> 9) : -(b[i] >> 8);
            b[i] = st.tr ? 0 : Wrap16(b[i] + ugb + ulb);
        }

        // FLOATA, FLOATB and the delays.
        for (int i = 5; i > 0; --i) {
            dq[i] = dq[i - 1];
            dqSign[i] = dqSign[i - 1];
        }
        dq[0] = FloatOf(st.dqmag);
        dqSign[0] = st.dqs;
        sr2 = sr1;
        sr2Sign = sr1Sign;
        sr1Sign = st.sr < 0 ? 1 : 0;
        sr1 = FloatOf(sr1Sign ? (-st.sr) & 32767 : st.sr);

        if constexpr (kLaw == 2) {
            dst[n] = static_cast<Lum16s>(std::clamp(st.sr, -8192, 8191));
        } else {
            // COMPRESS, then SYNC. -32768 has no magnitude in sign-and-magnitude form; it is taken as the
            // smallest value of its law.
            int sp;
            if constexpr (kLaw == 0) {
                sp = LinearToUlaw(st.sr == -32768 ? 0 : std::clamp(st.sr, -8192, 8191));
            } else {
                sp = LinearToAlaw((st.sr == -32768 ? -2 : std::clamp(st.sr, -8192, 8191)) >> 1);
            }
            dst[n] = static_cast<Lum16s>(SyncAdjust(r, kLaw, sp, st.se, st.y, code));
        }
    }

    g726::StoreScalars(v, sez, s);
    for (int i = 0; i < 6; ++i) {
        s.b[i] = static_cast<Lum16s>(b[i]);
        s.dq[i] = static_cast<Lum16s>(dq[i]);
        s.dqSign[i] = static_cast<Lum16s>(dqSign[i]);
    }
    s.sr[0] = static_cast<Lum16s>(sr1);
    s.sr[1] = static_cast<Lum16s>(sr2);
    s.srSign[0] = static_cast<Lum16s>(sr1Sign);
    s.srSign[1] = static_cast<Lum16s>(sr2Sign);
}

using RunFn = void (*)(LumsG726DecoderState&, const Lum8u*, Lum16s*, int);

template <int kRate>
constexpr RunFn kRunsOfRate[3] = {DecodeRun<kRate, 0>, DecodeRun<kRate, 1>, DecodeRun<kRate, 2>};
constexpr const RunFn* kRuns[4] = {kRunsOfRate<0>, kRunsOfRate<1>, kRunsOfRate<2>, kRunsOfRate<3>};

}  // namespace

LumStatus lumsDecodeGetStateSize_G726_8u16s(int* pSize) {
    if (pSize == nullptr) return lumStsNullPtrErr;
    *pSize = g726::kStateSize;
    return lumStsNoErr;
}

LumStatus lumsDecodeInit_G726_8u16s(LumsG726DecoderState* pState, int rate, int law) {
    if (pState == nullptr) return lumStsNullPtrErr;
    if (rate < 12 || rate > 15 || law < 0 || law > 2) return lumStsRangeErr;
    LumsG726DecoderState s{};
    s.rateIndex = static_cast<Lum16s>(rate - 12);
    s.law = static_cast<Lum16s>(law);
    s.yu = 544;
    s.yl = 34816;
    for (Lum16s& v : s.dq) v = 32;  // zero: exponent 0, mantissa 32
    for (Lum16s& v : s.sr) v = 32;
    *pState = s;
    return lumStsNoErr;
}

LumStatus lumsDecode_G726_8u16s(LumsG726DecoderState* pState, const Lum8u* pSrc, Lum16s* pDst, int len) {
    if (pState == nullptr || pSrc == nullptr || pDst == nullptr) return lumStsNullPtrErr;
    if (len <= 0) return lumStsSizeErr;
    // A state that did not come from the initialiser must not index past the tables.
    const int rate = pState->rateIndex, law = pState->law;
    if (rate < 0 || rate > 3 || law < 0 || law > 2) return lumStsRangeErr;
    kRuns[rate][law](*pState, pSrc, pDst, len);
    return lumStsNoErr;
}

}  // namespace lumacore::c
