// The 8x8 integer DCT butterflies of the JPEG transforms, on whole vectors of 32-bit lanes.
//
// Each lane carries one line (a row or a column) of the block, so one call runs the butterfly on as many
// lines as a vector has lanes. The arithmetic is the generic code's term for term: every sum, difference
// and product wraps at 32 bits, which is what the generic code's 64-bit terms wrapped before each shift
// come to, so the results are the same bits. `O` supplies the vector type `V` and its operations for one
// instruction set; each tuned file defines its own `O` in an unnamed namespace, so the instantiations of
// different instruction sets never merge at link time.
#ifndef LUMACORE_X86_DCT8_LINES_H
#define LUMACORE_X86_DCT8_LINES_H

#include <cstdint>

#include "lumacore/lumacore.h"

namespace lumacore::x86 {
// Internal to each including file, like the `O` it is instantiated with: every tuned file compiles these
// for its own instruction set, and no copy may stand in for another level's at link time.
namespace {

// One inverse pass over x[0..7] (the eight points of each lane's line), rounded by (term + 2^(Shift-1))
// >> Shift and kept to 16 bits. The inputs are 16-bit values in both passes (the dequantised block, then
// the first pass's 16-bit results), so products of a single input go through O::MulW, which may rely on
// that; only the two products of rounded sums (by 5793) need O::Mul's whole 32-bit lanes. With `UpperHalf`,
// x[4..7] are known to be zero and are not read: the terms they would add or subtract are zero, so dropping
// them leaves every other term as it is.
template <int Shift, typename O, bool UpperHalf = false>
inline void IdctLines(typename O::V x[8]) {
    using V = typename O::V;
    // a + b, a - b and a - b * k where b is one of x[4..7].
    auto plus = [](V a, V b) {
        if constexpr (UpperHalf)
            return a;
        else
            return O::Add(a, b);
    };
    auto minus = [](V a, V b) {
        if constexpr (UpperHalf)
            return a;
        else
            return O::Sub(a, b);
    };
    auto minusMul = [](V a, V b, int k) {
        if constexpr (UpperHalf)
            return a;
        else
            return O::Sub(a, O::MulW(b, k));
    };
    // (a + b) k for inputs a, b (O::MulSum), which may take the two products apart.
    auto mulSum = [](V a, V b, int k) {
        if constexpr (UpperHalf)
            return O::MulW(a, k);
        else
            return O::MulSum(a, b, k);
    };
    const V t = mulSum(x[3], x[5], 27246);
    const V u = minusMul(t, x[5], 9041);
    const V v = mulSum(x[1], x[7], 6393);
    const V w = O::Add(O::MulW(x[1], 25746), v);
    const V a = O::Mul(O::template Sra<12>(O::Add(O::Add(u, w), O::Set(2048))), 5793);
    const V b = mulSum(x[2], x[6], 17734);
    const V c = O::template Sll<15>(plus(x[0], x[4]));
    const V d = O::Add(O::MulW(x[2], 25080), b);
    const V vv = minusMul(v, x[7], 38531);
    const V tt = O::Sub(t, O::MulW(x[3], 45451));
    const V e = O::Sub(O::Sub(O::Add(w, vv), u), tt);
    const V f = UpperHalf ? c : O::template Sll<15>(minus(x[0], x[4]));
    const V bb = minusMul(b, x[6], 60547);
    const V ww = O::Sub(O::Sub(O::Add(w, tt), u), vv);
    const V h = O::Mul(O::template Sra<12>(O::Add(O::Add(tt, vv), O::Set(2048))), 5793);

    const V round = O::Set(1 << (Shift - 1));
    auto out = [&](V term) {
        if constexpr (Shift < 16)
            // Bits Shift to Shift + 15 of the rounded term, sign-extended: its 16-bit truncation.
            return O::template Sra<16>(O::template Sll<16 - Shift>(O::Add(term, round)));
        else
            return O::template Sra<Shift>(O::Add(term, round));  // at most 11 bits: a 16-bit value
    };
    const V cd = O::Add(c, d), c_d = O::Sub(c, d), fbb = O::Add(f, bb), f_bb = O::Sub(f, bb);
    x[0] = out(O::Add(a, cd));
    x[7] = out(O::Sub(cd, a));
    x[1] = out(O::Add(e, fbb));
    x[6] = out(O::Sub(fbb, e));
    x[2] = out(O::Add(ww, f_bb));
    x[5] = out(O::Sub(f_bb, ww));
    x[3] = out(O::Add(h, c_d));
    x[4] = out(O::Sub(c_d, h));
}

// The output sample of a block whose only non-zero dequantised input is `dc` (a 16-bit value): both
// passes of IdctLines on such a block leave one value everywhere. The first pass gives
// ((dc << 15) + 2^11) >> 12 = 8 dc, kept to 16 bits; the second ((y << 15) + 2^20) >> 21; the stores
// clamp that to a signed byte and shift the level by 128.
inline Lum8u IdctDcOnlySample(int dc) {
    const int y = static_cast<int16_t>(dc * 8);
    const int z = (y * 32768 + (1 << 20)) >> 21;
    return static_cast<Lum8u>((z < -128 ? -128 : z > 127 ? 127 : z) + 128);
}

// The forward transform's second (column) pass over x[0..7], the first pass's 16-bit results: the sums
// are rounded by 2^6 and the other terms by 2^21. (The first pass runs on 16-bit lanes in each tuned file.)
// Its inputs lie within [-8192, 8160], so its sums within +-2^16 and (s + 32) >> 6 within [-1024, 1020],
// and every other term stays below 2^31 - 2^20 (at most 1.98e9), so >> 21 leaves 11 bits: the results
// are 16-bit values without truncation.
template <typename O>
inline void FdctColumnLines(typename O::V x[8]) {
    using V = typename O::V;
    const V s07 = O::Add(x[0], x[7]), s34 = O::Add(x[3], x[4]), s16 = O::Add(x[1], x[6]);
    const V s25 = O::Add(x[2], x[5]);
    const V d07 = O::Sub(x[0], x[7]), d34 = O::Sub(x[3], x[4]), d16 = O::Sub(x[1], x[6]);
    const V d25 = O::Sub(x[2], x[5]);

    // p, q and the differences d lie within +-32704: 16-bit values, multiplied through O::MulW.
    const V p = O::Sub(s07, s34), q = O::Sub(s16, s25);
    const V z = O::MulSum(p, q, 17734);
    const V sum0 = O::Add(O::Add(s07, s34), O::Add(s16, s25));
    const V sum4 = O::Sub(O::Add(s07, s34), O::Add(s16, s25));
    const V t2 = O::Add(O::MulW(p, 25080), z);
    const V t6 = O::Sub(z, O::MulW(q, 60547));

    const V r2048 = O::Set(2048);
    const V u = O::template Sra<12>(O::Add(O::MulW(d07, 46341), r2048));
    const V v = O::template Sra<12>(O::Add(O::MulW(d34, 46341), r2048));
    const V w = O::template Sll<3>(O::Add(d25, d16));
    const V b = O::template Sll<3>(O::Sub(d16, d25));
    const V a = O::Add(w, u);
    const V c = O::Add(b, v);
    const V d = O::Mul(O::Add(a, c), 799);
    const V t1 = O::Add(d, O::Mul(a, 3218));
    const V t7 = O::Sub(d, O::Mul(c, 4816));
    const V uu = O::Sub(u, w);
    const V vv = O::Sub(v, b);
    const V e = O::Mul(O::Add(uu, vv), 3406);
    const V t3 = O::Sub(e, O::Mul(vv, 5681));
    const V t5 = O::Sub(e, O::Mul(uu, 1130));

    auto sum = [&](V s) { return O::template Sra<6>(O::Add(s, O::Set(32))); };
    auto term = [&](V t) { return O::template Sra<21>(O::Add(t, O::Set(1048576))); };
    x[0] = sum(sum0);
    x[4] = sum(sum4);
    x[2] = term(t2);
    x[6] = term(t6);
    x[1] = term(t1);
    x[7] = term(t7);
    x[3] = term(t3);
    x[5] = term(t5);
}

}  // namespace
}  // namespace lumacore::x86

#endif
