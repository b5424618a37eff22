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

#include "g726/g726_state.h"
#include "lumacore/lumacore.h"

namespace lumacore::c {
namespace {

struct RateTables {
    int bits;
    const Lum16s* dqln;      // log2 of the dequantised magnitude, by code; -2048 stands for zero
    const Lum16s* w;         // scale factor multiplier W(I), by code
    const Lum8u* f;          // speed control weight F(I), by code
    const Lum16s* decision;  // quantiser decision levels (for the synchronous coding adjustment)
    int levels;              // number of decision levels
};

// Tables by code: the positive codes count up from 0, the negative ones mirror them from the top.
constexpr Lum16s kDqln16[4] = {116, 365, 365, 116};
constexpr Lum16s kW16[4] = {-22, 439, 439, -22};
constexpr Lum8u kF16[4] = {0, 7, 7, 0};
constexpr Lum16s kLevels16[1] = {261};

constexpr Lum16s kDqln24[8] = {-2048, 135, 273, 373, 373, 273, 135, -2048};
constexpr Lum16s kW24[8] = {-4, 30, 137, 582, 582, 137, 30, -4};
constexpr Lum8u kF24[8] = {0, 1, 2, 7, 7, 2, 1, 0};
constexpr Lum16s kLevels24[3] = {8, 218, 331};

constexpr Lum16s kDqln32[16] = {-2048, 4,   135, 213, 273, 323, 373, 425,
                                425,   373, 323, 273, 213, 135, 4,   -2048};
constexpr Lum16s kW32[16] = {-12, 18, 41, 64, 112, 198, 355, 1122, 1122, 355, 198, 112, 64, 41, 18, -12};
constexpr Lum8u kF32[16] = {0, 0, 0, 1, 1, 1, 3, 7, 7, 3, 1, 1, 1, 0, 0, 0};
constexpr Lum16s kLevels32[7] = {-124, 80, 178, 246, 300, 349, 400};

constexpr Lum16s kDqln40[32] = {-2048, -66, 28,  104, 169, 224, 274, 318, 358, 395,  429,
                                459,   488, 514, 539, 566, 566, 539, 514, 488, 459,  429,
                                395,   358, 318, 274, 224, 169, 104, 28,  -66, -2048};
constexpr Lum16s kW40[32] = {14,  14,  24,  39,  40,  41,  58,  100, 141, 179, 219, 280, 358, 440, 529, 696,
                             696, 529, 440, 358, 280, 219, 179, 141, 100, 58,  41,  40,  39,  24,  14,  14};
constexpr Lum8u kF40[32] = {0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 2, 3, 4, 5, 6, 6,
                            6, 6, 5, 4, 3, 2, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
constexpr Lum16s kLevels40[15] = {-122, -16, 68, 139, 198, 250, 298, 339, 378, 413, 445, 475, 502, 528, 553};

constexpr RateTables kRates[4] = {
    {2, kDqln16, kW16, kF16, kLevels16, 1},
    {3, kDqln24, kW24, kF24, kLevels24, 3},
    {4, kDqln32, kW32, kF32, kLevels32, 7},
    {5, kDqln40, kW40, kF40, kLevels40, 15},
};

inline int BitLength(int v) {
    return v == 0 ? 0 : 32 - __builtin_clz(static_cast<unsigned>(v));
}

inline int Wrap16(int v) {
    return static_cast<int>(static_cast<Lum16s>(static_cast<Lum16u>(v & 0xFFFF)));
}

// A magnitude of up to 15 bits in the 11-bit floating format, without its sign: exponent << 6 | mantissa.
inline int FloatOf(int magnitude) {
    const int exp = BitLength(magnitude);
    const int mant = magnitude == 0 ? 32 : (magnitude << 6) >> exp;
    return (exp << 6) | mant;
}

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
    const int signShift = r.bits - 1;

    int yu = s.yu, yl = s.yl, ap = s.ap, dms = s.dms, dml = s.dml, td = s.td;
    int pk1 = s.pk[1], pk2 = s.pk[2];
    int a1 = s.a[0], a2 = s.a[1];
    int b[6], dq[6], dqSign[6];
    for (int i = 0; i < 6; ++i) {
        b[i] = s.b[i];
        dq[i] = s.dq[i];
        dqSign[i] = s.dqSign[i];
    }
    int sr1 = s.sr[0], sr2 = s.sr[1], sr1Sign = s.srSign[0], sr2Sign = s.srSign[1];
    int pk0 = s.pk[0], sez = s.sez;

    for (int n = 0; n < len; ++n) {
        const int code = src[n] & codeMask;

        // FMULT, ACCUM: the signal estimate from the six zeros and two poles.
        int sezi = 0;
        for (int i = 0; i < 6; ++i) sezi += Fmult(b[i], dqSign[i], dq[i]);
        sezi = Wrap16(sezi);
        const int sei = Wrap16(sezi + Fmult(a1, sr1Sign, sr1) + Fmult(a2, sr2Sign, sr2));
        sez = sezi >> 1;
        const int se = sei >> 1;

        // LIMA, MIX: the scale factor.
        const int al = ap >= 256 ? 64 : ap >> 2;
        const int dif = yu - (yl >> 6);
        const int prod = dif < 0 ? -((-dif * al) >> 6) : (dif * al) >> 6;
        const int y = ((yl >> 6) + prod) & 8191;

        // RECONST, ADDA, ANTILOG: the quantised difference, sign and magnitude.
        const int dqs = code >> signShift;
        const int dql = (r.dqln[code] + (y >> 2)) & 4095;
        const int dqmag = (dql >> 11) ? 0 : ((128 + (dql & 127)) << 7) >> (14 - ((dql >> 7) & 15));
        const int dqValue = dqs ? -dqmag : dqmag;

        // ADDB, ADDC: the reconstructed signal and the partial one without the poles.
        const int sr = Wrap16(se + dqValue);
        const int dqsez = Wrap16(sez + dqValue);
        const int pkNow = dqsez < 0 ? 1 : 0;
        const int sigpk = dqsez == 0 ? 1 : 0;

        // UPA2, LIMC: second pole.
        const int pks1 = pkNow ^ pk1, pks2 = pkNow ^ pk2;
        const int fa1 = 4 * std::clamp(a1, -8191, 8191);
        const int uga2b = (pks2 ? -16384 : 16384) + (pks1 ? fa1 : -fa1);
        const int uga2 = sigpk ? 0 : uga2b >> 7;
        const int a2p = std::clamp(a2 + uga2 - (a2 >> 7), -12288, 12288);

        // UPA1, LIMD: first pole, bounded by the second.
        const int uga1 = sigpk ? 0 : ((pkNow ^ pk1) ? -192 : 192);
        const int a1Limit = 15360 - a2p;
        const int a1p = std::clamp(a1 + uga1 - (a1 >> 8), -a1Limit, a1Limit);

        // TONE, TRANS: a narrow-band signal that suddenly changes resets the predictor.
        const int tdp = a2p < -11776 ? 1 : 0;
        const int ylint = yl >> 15, ylfrac = (yl >> 10) & 31;
        const int thr2 = ylint > 9 ? 31 << 10 : (32 + ylfrac) << ylint;
        const int dqthr = (thr2 + (thr2 >> 1)) >> 1;
        const int tr = (dqmag > dqthr && td == 1) ? 1 : 0;

        // UPB, TRIGB: zero coefficients with their leak.
        for (int i = 0; i < 6; ++i) {
            const int ugb = dqmag == 0 ? 0 : ((dqs ^ dqSign[i]) ? -128 : 128);
            const int ulb = kRate == 3 ? -(b[i] >> 9) : -(b[i] >> 8);
            b[i] = tr ? 0 : Wrap16(b[i] + ugb + ulb);
        }
        a1 = tr ? 0 : a1p;
        a2 = tr ? 0 : a2p;

        // FUNCTW, FILTD, LIMB, FILTE: scale factor adaptation.
        const int yut = (y + (((r.w[code] << 5) - y) >> 5)) & 8191;
        const int yup = std::clamp(yut, 544, 5120);
        const int ylp = (yl + yup + ((-yl) >> 6)) & 524287;

        // FUNCTF, FILTA, FILTB, SUBTC, FILTC, TRIGA: speed control.
        const int fi = r.f[code];
        const int dmsp = (dms + (((fi << 9) - dms) >> 5)) & 4095;
        const int dmlp = (dml + (((fi << 11) - dml) >> 7)) & 16383;
        const int difm = std::abs((dmsp << 2) - dmlp);
        const int ax = (y >= 1536 && difm < (dmlp >> 3) && tdp == 0) ? 0 : 1;
        const int app = (ap + (((ax << 9) - ap) >> 4)) & 1023;

        // FLOATA, FLOATB and the delays.
        for (int i = 5; i > 0; --i) {
            dq[i] = dq[i - 1];
            dqSign[i] = dqSign[i - 1];
        }
        dq[0] = FloatOf(dqmag);
        dqSign[0] = dqs;
        sr2 = sr1;
        sr2Sign = sr1Sign;
        sr1Sign = sr < 0 ? 1 : 0;
        sr1 = FloatOf(sr1Sign ? (-sr) & 32767 : sr);
        pk2 = pk1;
        pk1 = pkNow;
        pk0 = pkNow;
        td = tr ? 0 : tdp;
        ap = tr ? 256 : app;
        yu = yup;
        yl = ylp;
        dms = dmsp;
        dml = dmlp;

        if constexpr (kLaw == 2) {
            dst[n] = static_cast<Lum16s>(std::clamp(sr, -8192, 8191));
        } else {
            // COMPRESS, then SYNC. -32768 has no magnitude in sign-and-magnitude form; it is taken as the
            // smallest value of its law.
            int sp;
            if constexpr (kLaw == 0) {
                sp = LinearToUlaw(sr == -32768 ? 0 : std::clamp(sr, -8192, 8191));
            } else {
                sp = LinearToAlaw((sr == -32768 ? -2 : std::clamp(sr, -8192, 8191)) >> 1);
            }
            dst[n] = static_cast<Lum16s>(SyncAdjust(r, kLaw, sp, se, y, code));
        }
    }

    s.yu = static_cast<Lum16s>(yu);
    s.yl = yl;
    s.ap = static_cast<Lum16s>(ap);
    s.dms = static_cast<Lum16s>(dms);
    s.dml = static_cast<Lum16s>(dml);
    s.td = static_cast<Lum16s>(td);
    s.pk[0] = static_cast<Lum16s>(pk0);
    s.pk[1] = static_cast<Lum16s>(pk1);
    s.pk[2] = static_cast<Lum16s>(pk2);
    s.sez = static_cast<Lum16s>(sez);
    s.a[0] = static_cast<Lum16s>(a1);
    s.a[1] = static_cast<Lum16s>(a2);
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
