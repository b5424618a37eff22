// Level 1 (SSE2) G.726 decoding to linear samples, also bound at levels 2 and 3.
//
// The eight predictor products (FMULT of the six zero and two pole coefficients with their history
// values) and the six zero-coefficient updates of a step run in two vectors of four 32-bit lanes:
// coefficients b1..b4 | b5, b6, a1, a2, history dq1..dq4 | dq5, dq6, sr1, sr2, each history value kept as
// sign << 10 | exponent << 6 | mantissa. The rest of the step is the generic scalar code (g726_core.h).
//
// FMULT without a per-lane bit count or variable shift: the coefficient's magnitude (13 bits) is exact in
// single precision, so its exponent field gives the bit length and its top fraction bits the 6-bit
// mantissa; the product's magnitude (mant << 7) >> (26 - exp), or << (exp - 26) kept to 15 bits, is
// mant * 2^(exp - 19) (mant < 256, exp <= 28), also exact in single precision and truncated back.
// Laws 0 and 1 (G.711 codes with the synchronous coding adjustment) and every argument error go to the
// generic decoder.
#include <emmintrin.h>

#include <algorithm>

#include "dispatch/level_impls.h"
#include "g726/g726_core.h"
#include "g726/g726_state.h"
#include "lumacore/lumacore.h"

namespace lumacore::sse2 {
namespace {

inline __m128i Set1(int v) {
    return _mm_set1_epi32(v);
}

// The sign of each history value as a lane mask (0 or -1).
inline __m128i HistorySign(__m128i hist) {
    return _mm_srai_epi32(_mm_slli_epi32(hist, 21), 31);
}

// FMULT of four coefficients (16-bit values, sign-extended) with four history values.
inline __m128i Fmult4(__m128i coef, __m128i hist) {
    const __m128i anSign = _mm_srai_epi32(coef, 31);
    const __m128i quarter = _mm_srai_epi32(coef, 2);
    const __m128i anMag = _mm_and_si128(_mm_sub_epi32(_mm_xor_si128(quarter, anSign), anSign), Set1(8191));
    const __m128i anBits = _mm_castps_si128(_mm_cvtepi32_ps(anMag));
    // Biased exponent less 126 is the bit length; 0 for a zero magnitude (its exponent field is 0).
    const __m128i anExp = _mm_subs_epu16(_mm_srli_epi32(anBits, 23), Set1(126));
    const __m128i anMant = _mm_or_si128(_mm_and_si128(_mm_srli_epi32(anBits, 18), Set1(31)), Set1(32));
    const __m128i waExp = _mm_add_epi32(_mm_and_si128(_mm_srli_epi32(hist, 6), Set1(15)), anExp);
    const __m128i waMant =
        _mm_srli_epi32(_mm_add_epi32(_mm_mullo_epi16(_mm_and_si128(hist, Set1(63)), anMant), Set1(48)), 4);
    const __m128 scale = _mm_castsi128_ps(_mm_slli_epi32(_mm_add_epi32(waExp, Set1(127 - 19)), 23));
    const __m128i waMag =
        _mm_and_si128(_mm_cvttps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(waMant), scale)), Set1(32767));
    const __m128i sign = _mm_xor_si128(anSign, HistorySign(hist));
    return _mm_sub_epi32(_mm_xor_si128(waMag, sign), sign);
}

// The sum of the four lanes, in every lane.
inline __m128i SumLanes(__m128i v) {
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
    return _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
}

// UPB, TRIGB on four zero coefficients: +-128 by the agreement of the signs (none for a zero
// difference), the leak b >> leakShift taken off, wrapped to 16 bits; all cleared on a transition.
inline __m128i UpdateZeros(__m128i b, __m128i hist, __m128i dqsMask, __m128i nonZeroMask, __m128i keepMask,
                           int leakShift) {
    const __m128i differ = _mm_xor_si128(HistorySign(hist), dqsMask);
    const __m128i ugb = _mm_and_si128(_mm_sub_epi32(_mm_xor_si128(Set1(128), differ), differ), nonZeroMask);
    const __m128i sum = _mm_sub_epi32(_mm_add_epi32(b, ugb), _mm_sra_epi32(b, _mm_cvtsi32_si128(leakShift)));
    return _mm_and_si128(_mm_srai_epi32(_mm_slli_epi32(sum, 16), 16), keepMask);
}

inline __m128i Pair(int lo, int hi) {
    return _mm_unpacklo_epi32(_mm_cvtsi32_si128(lo), _mm_cvtsi32_si128(hi));
}

inline int HistoryWord(int sign, int floatValue) {
    return (sign << 10) | floatValue;
}

template <int kRate>
void DecodeLinear(LumsG726DecoderState& s, const Lum8u* src, Lum16s* dst, int len) {
    const int codeMask = (1 << g726::kRates[kRate].bits) - 1;
    const int leakShift = kRate == 3 ? 9 : 8;

    g726::Scalars v = g726::LoadScalars(s);
    __m128i coefLo = _mm_setr_epi32(s.b[0], s.b[1], s.b[2], s.b[3]);
    __m128i coefHi = _mm_setr_epi32(s.b[4], s.b[5], s.a[0], s.a[1]);
    __m128i histLo = _mm_setr_epi32(HistoryWord(s.dqSign[0], s.dq[0]), HistoryWord(s.dqSign[1], s.dq[1]),
                                    HistoryWord(s.dqSign[2], s.dq[2]), HistoryWord(s.dqSign[3], s.dq[3]));
    __m128i histHi = _mm_setr_epi32(HistoryWord(s.dqSign[4], s.dq[4]), HistoryWord(s.dqSign[5], s.dq[5]),
                                    HistoryWord(s.srSign[0], s.sr[0]), HistoryWord(s.srSign[1], s.sr[1]));
    int sez = s.sez;

    for (int n = 0; n < len; ++n) {
        const int code = src[n] & codeMask;

        // FMULT, ACCUM: the zero section is lanes 0..3 of the low products and 0..1 of the high ones.
        const __m128i prodLo = Fmult4(coefLo, histLo), prodHi = Fmult4(coefHi, histHi);
        const __m128i zeros = SumLanes(_mm_add_epi32(prodLo, _mm_move_epi64(prodHi)));
        const __m128i poles = _mm_add_epi32(prodHi, _mm_shuffle_epi32(prodHi, _MM_SHUFFLE(2, 3, 0, 1)));
        const int sezi = g726::Wrap16(_mm_cvtsi128_si32(zeros));
        const int sei = g726::Wrap16(sezi + _mm_cvtsi128_si32(_mm_unpackhi_epi64(poles, poles)));
        const g726::StepResult st = g726::Step<kRate>(v, code, sezi, sei);
        sez = st.sez;

        // UPB, TRIGB on b1..b6 (the old history's signs), then the new pole coefficients into lanes 2, 3.
        const __m128i dqsMask = Set1(-st.dqs), nonZeroMask = Set1(st.dqmag != 0 ? -1 : 0);
        const __m128i keepMask = Set1(st.tr != 0 ? 0 : -1);
        coefLo = UpdateZeros(coefLo, histLo, dqsMask, nonZeroMask, keepMask, leakShift);
        const __m128i zerosHi = UpdateZeros(coefHi, histHi, dqsMask, nonZeroMask, keepMask, leakShift);
        coefHi = _mm_unpacklo_epi64(zerosHi, Pair(v.a1, v.a2));

        // FLOATA, FLOATB and the delays: dq1..dq4 | dq5, dq6, sr1, sr2 move on by one.
        const int srSign = st.sr < 0 ? 1 : 0;
        const int dqWord = HistoryWord(st.dqs, g726::FloatOf(st.dqmag));
        const int srWord = HistoryWord(srSign, g726::FloatOf(srSign ? (-st.sr) & 32767 : st.sr));
        const __m128i movedHi = _mm_unpacklo_epi32(_mm_srli_si128(histLo, 12), histHi);  // dq4, dq5, -, -
        const __m128i newSr = _mm_unpacklo_epi32(_mm_cvtsi32_si128(srWord), _mm_srli_si128(histHi, 8));
        histHi = _mm_unpacklo_epi64(movedHi, newSr);
        histLo = _mm_or_si128(_mm_slli_si128(histLo, 4), _mm_cvtsi32_si128(dqWord));

        dst[n] = static_cast<Lum16s>(std::clamp(st.sr, -8192, 8191));
    }

    g726::StoreScalars(v, sez, s);
    alignas(16) int b[8], hist[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(b), coefLo);
    _mm_store_si128(reinterpret_cast<__m128i*>(b + 4), coefHi);
    _mm_store_si128(reinterpret_cast<__m128i*>(hist), histLo);
    _mm_store_si128(reinterpret_cast<__m128i*>(hist + 4), histHi);
    for (int i = 0; i < 6; ++i) {
        s.b[i] = static_cast<Lum16s>(b[i]);
        s.dq[i] = static_cast<Lum16s>(hist[i] & 1023);
        s.dqSign[i] = static_cast<Lum16s>(hist[i] >> 10);
    }
    for (int i = 0; i < 2; ++i) {
        s.sr[i] = static_cast<Lum16s>(hist[6 + i] & 1023);
        s.srSign[i] = static_cast<Lum16s>(hist[6 + i] >> 10);
    }
}

using LinearFn = void (*)(LumsG726DecoderState&, const Lum8u*, Lum16s*, int);
constexpr LinearFn kLinear[4] = {DecodeLinear<0>, DecodeLinear<1>, DecodeLinear<2>, DecodeLinear<3>};

}  // namespace

LumStatus lumsDecode_G726_8u16s(LumsG726DecoderState* pState, const Lum8u* pSrc, Lum16s* pDst, int len) {
    if (pState == nullptr || pSrc == nullptr || pDst == nullptr || len <= 0 || pState->law != 2 ||
        pState->rateIndex < 0 || pState->rateIndex > 3)
        return c::lumsDecode_G726_8u16s(pState, pSrc, pDst, len);
    kLinear[pState->rateIndex](*pState, pSrc, pDst, len);
    return lumStsNoErr;
}

}  // namespace lumacore::sse2
