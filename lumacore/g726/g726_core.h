// What the generic G.726 decoder and the tuned ones share: the per-rate tables, the 11-bit floating
// format, and the scalar part of one decoder step (everything but the eight predictor products FMULT and
// the six zero-coefficient updates UPB, which each decoder computes its own way). Integer code only,
// the same on every instruction set.
#ifndef LUMACORE_G726_G726_CORE_H
#define LUMACORE_G726_G726_CORE_H

#include <algorithm>
#include <cstdlib>

#include "g726/g726_state.h"
#include "lumacore/lumacore.h"

namespace lumacore::g726 {

struct RateTables {
    int bits;
    const Lum16s* dqln;      // log2 of the dequantised magnitude, by code; -2048 stands for zero
    const Lum16s* w;         // scale factor multiplier W(I), by code
    const Lum8u* f;          // speed control weight F(I), by code
    const Lum16s* decision;  // quantiser decision levels (for the synchronous coding adjustment)
    int levels;              // number of decision levels
};

// Tables by code: the positive codes count up from 0, the negative ones mirror them from the top.
inline constexpr Lum16s kDqln16[4] = {116, 365, 365, 116};
inline constexpr Lum16s kW16[4] = {-22, 439, 439, -22};
inline constexpr Lum8u kF16[4] = {0, 7, 7, 0};
inline constexpr Lum16s kLevels16[1] = {261};

inline constexpr Lum16s kDqln24[8] = {-2048, 135, 273, 373, 373, 273, 135, -2048};
inline constexpr Lum16s kW24[8] = {-4, 30, 137, 582, 582, 137, 30, -4};
inline constexpr Lum8u kF24[8] = {0, 1, 2, 7, 7, 2, 1, 0};
inline constexpr Lum16s kLevels24[3] = {8, 218, 331};

inline constexpr Lum16s kDqln32[16] = {-2048, 4,   135, 213, 273, 323, 373, 425,
                                       425,   373, 323, 273, 213, 135, 4,   -2048};
inline constexpr Lum16s kW32[16] = {-12,  18,  41,  64,  112, 198, 355, 1122,
                                    1122, 355, 198, 112, 64,  41,  18,  -12};
inline constexpr Lum8u kF32[16] = {0, 0, 0, 1, 1, 1, 3, 7, 7, 3, 1, 1, 1, 0, 0, 0};
inline constexpr Lum16s kLevels32[7] = {-124, 80, 178, 246, 300, 349, 400};

inline constexpr Lum16s kDqln40[32] = {-2048, -66, 28,  104, 169, 224, 274, 318, 358, 395,  429,
                                       459,   488, 514, 539, 566, 566, 539, 514, 488, 459,  429,
                                       395,   358, 318, 274, 224, 169, 104, 28,  -66, -2048};
inline constexpr Lum16s kW40[32] = {14,  14,  24,  39,  40,  41,  58,  100, 141, 179, 219,
                                    280, 358, 440, 529, 696, 696, 529, 440, 358, 280, 219,
                                    179, 141, 100, 58,  41,  40,  39,  24,  14,  14};
inline constexpr Lum8u kF40[32] = {0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 2, 3, 4, 5, 6, 6,
                                   6, 6, 5, 4, 3, 2, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
inline constexpr Lum16s kLevels40[15] = {-122, -16, 68,  139, 198, 250, 298, 339,
                                         378,  413, 445, 475, 502, 528, 553};

inline constexpr RateTables kRates[4] = {
    {2, kDqln16, kW16, kF16, kLevels16, 1},
    {3, kDqln24, kW24, kF24, kLevels24, 3},
    {4, kDqln32, kW32, kF32, kLevels32, 7},
    {5, kDqln40, kW40, kF40, kLevels40, 15},
};

inline constexpr int BitLength(int v) {
    return v == 0 ? 0 : 32 - __builtin_clz(static_cast<unsigned>(v));
}

inline constexpr int Wrap16(int v) {
    return static_cast<int>(static_cast<Lum16s>(static_cast<Lum16u>(v & 0xFFFF)));
}

// A magnitude of up to 15 bits in the 11-bit floating format, without its sign: exponent << 6 | mantissa.
// Branch-free: zero (exponent 0, mantissa 32) is frequent and unpredictable among the differences.
inline constexpr int FloatOf(int magnitude) {
    const int isZero = magnitude == 0 ? 1 : 0;
    const int exp = (32 - __builtin_clz(static_cast<unsigned>(magnitude | 1))) & (isZero - 1);
    const int mant = ((magnitude << 6) >> exp) | (isZero << 5);
    return (exp << 6) | mant;
}

// The decoder's scalar variables, carried from code to code.
struct Scalars {
    int yu, yl, ap, dms, dml, td;
    int pk1, pk2;  // signs of the partial reconstructed signal, one and two steps back
    int a1, a2;    // pole coefficients
};

// What one step leaves for the zero-section update, the history and the output.
struct StepResult {
    int dqs;    // sign of the quantised difference
    int dqmag;  // its magnitude
    int tr;     // transition detected: zero coefficients reset
    int sr;     // reconstructed signal (16-bit wrapped)
    int se;     // signal estimate
    int sez;    // zero-section part of the estimate
    int y;      // scale factor used for this code
};

inline Scalars LoadScalars(const LumsG726DecoderState& s) {
    return {s.yu, s.yl, s.ap, s.dms, s.dml, s.td, s.pk[1], s.pk[2], s.a[0], s.a[1]};
}

inline void StoreScalars(const Scalars& v, int sez, LumsG726DecoderState& s) {
    s.yu = static_cast<Lum16s>(v.yu);
    s.yl = v.yl;
    s.ap = static_cast<Lum16s>(v.ap);
    s.dms = static_cast<Lum16s>(v.dms);
    s.dml = static_cast<Lum16s>(v.dml);
    s.td = static_cast<Lum16s>(v.td);
    s.pk[0] = static_cast<Lum16s>(v.pk1);  // this step's sign, which is also the newest of the two kept
    s.pk[1] = static_cast<Lum16s>(v.pk1);
    s.pk[2] = static_cast<Lum16s>(v.pk2);
    s.sez = static_cast<Lum16s>(sez);
    s.a[0] = static_cast<Lum16s>(v.a1);
    s.a[1] = static_cast<Lum16s>(v.a2);
}

// One step for `code` once the predictor sums are known: `sezi` the six zero-section products summed and
// wrapped to 16 bits, `sei` that plus the two pole products, wrapped. Updates everything in `v`.
template <int kRate>
inline StepResult Step(Scalars& v, int code, int sezi, int sei) {
    const RateTables& r = kRates[kRate];
    StepResult out;
    out.sez = sezi >> 1;
    out.se = sei >> 1;

    // LIMA, MIX: the scale factor.
    // Written without data-dependent branches: the signs of the decoder's variables change from code to
    // code unpredictably, so the step uses masks (0 or -1) and selects instead.
    const int al = v.ap >= 256 ? 64 : v.ap >> 2;
    const int dif = v.yu - (v.yl >> 6);
    const int difSign = dif >> 31;
    const int prod = (((((dif ^ difSign) - difSign) * al) >> 6) ^ difSign) - difSign;
    const int y = ((v.yl >> 6) + prod) & 8191;
    out.y = y;

    // RECONST, ADDA, ANTILOG: the quantised difference, sign and magnitude.
    const int dqs = code >> (r.bits - 1);
    const int dql = (r.dqln[code] + (y >> 2)) & 4095;
    // (1.mantissa << 7) >> (14 - exponent), zero when dql's sign bit is set; the shift is written as
    // << 8 >> (15 - exponent) so that it stays defined for every exponent field, used or not.
    const int dqmag = (((128 + (dql & 127)) << 8) >> (15 - ((dql >> 7) & 15))) & ((dql >> 11) - 1);
    const int dqValue = (dqmag ^ -dqs) + dqs;
    out.dqs = dqs;
    out.dqmag = dqmag;

    // ADDB, ADDC: the reconstructed signal and the partial one without the poles.
    out.sr = Wrap16(out.se + dqValue);
    const int dqsez = Wrap16(out.sez + dqValue);
    const int pkNow = dqsez < 0 ? 1 : 0;
    const int sigpk = dqsez == 0 ? 1 : 0;

    // UPA2, LIMC: second pole.
    const int pks1 = pkNow ^ v.pk1, pks2 = pkNow ^ v.pk2;
    const int fa1 = 4 * std::clamp(v.a1, -8191, 8191);
    const int uga2b = ((16384 ^ -pks2) + pks2) + ((fa1 ^ (pks1 - 1)) - (pks1 - 1));
    const int uga2 = (uga2b >> 7) & (sigpk - 1);
    const int a2p = std::clamp(v.a2 + uga2 - (v.a2 >> 7), -12288, 12288);

    // UPA1, LIMD: first pole, bounded by the second.
    const int uga1 = ((192 ^ -pks1) + pks1) & (sigpk - 1);
    const int a1Limit = 15360 - a2p;
    const int a1p = std::clamp(v.a1 + uga1 - (v.a1 >> 8), -a1Limit, a1Limit);

    // TONE, TRANS: a narrow-band signal that suddenly changes resets the predictor.
    const int tdp = a2p < -11776 ? 1 : 0;
    const int ylint = v.yl >> 15, ylfrac = (v.yl >> 10) & 31;
    const int thr2 = ylint > 9 ? 31 << 10 : (32 + ylfrac) << ylint;
    const int dqthr = (thr2 + (thr2 >> 1)) >> 1;
    const int tr = static_cast<int>(dqmag > dqthr) & static_cast<int>(v.td == 1);
    out.tr = tr;
    v.a1 = a1p & (tr - 1);
    v.a2 = a2p & (tr - 1);

    // FUNCTW, FILTD, LIMB, FILTE: scale factor adaptation.
    const int yut = (y + (((r.w[code] << 5) - y) >> 5)) & 8191;
    const int yup = std::clamp(yut, 544, 5120);
    const int ylp = (v.yl + yup + ((-v.yl) >> 6)) & 524287;

    // FUNCTF, FILTA, FILTB, SUBTC, FILTC, TRIGA: speed control.
    const int fi = r.f[code];
    const int dmsp = (v.dms + (((fi << 9) - v.dms) >> 5)) & 4095;
    const int dmlp = (v.dml + (((fi << 11) - v.dml) >> 7)) & 16383;
    const int difm = std::abs((dmsp << 2) - dmlp);
    const int ax = 1 ^ (static_cast<int>(y >= 1536) & static_cast<int>(difm < (dmlp >> 3)) & (tdp ^ 1));
    const int app = (v.ap + (((ax << 9) - v.ap) >> 4)) & 1023;

    v.pk2 = v.pk1;
    v.pk1 = pkNow;
    v.td = tdp & (tr - 1);
    v.ap = tr ? 256 : app;
    v.yu = yup;
    v.yl = ylp;
    v.dms = dmsp;
    v.dml = dmlp;
    return out;
}

}  // namespace lumacore::g726

#endif
