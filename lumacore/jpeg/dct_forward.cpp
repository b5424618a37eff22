// Level shift, forward 8x8 integer DCT and quantisation of one block of 8-bit samples.
//
// A fixed-point butterfly with 12-bit constants, run along the rows and then down the columns. The row pass
// leaves the coefficients scaled by 8 (its DC and the fourth output are plain sums times 8, the others
// round by 2^12); the column pass removes that scale (DC and fourth output round by 2^6, the others by
// 2^21). Between the passes values are kept to 16 bits. The results are exact to the bit.
#include <cstddef>
#include <cstdint>

#include "jpeg/wrap32.h"
#include "lumacore/lumacore.h"

namespace lumacore::c {
namespace {

// With 8-bit input nothing overflows in practice, but the column pass's products come close to 2^31:
// they go through Wrap (jpeg/wrap32.h) like the reference's 32-bit arithmetic.

// One line of eight values, read and written `stride` elements apart. `Column` selects the second pass's
// rounding.
template <bool Column>
inline void FdctLine(Lum16s* line, int stride) {
    const int64_t x0 = line[0 * stride], x1 = line[1 * stride], x2 = line[2 * stride], x3 = line[3 * stride];
    const int64_t x4 = line[4 * stride], x5 = line[5 * stride], x6 = line[6 * stride], x7 = line[7 * stride];
    const int64_t s07 = x0 + x7, s34 = x3 + x4, s16 = x1 + x6, s25 = x2 + x5;
    const int64_t d07 = x0 - x7, d34 = x3 - x4, d16 = x1 - x6, d25 = x2 - x5;

    // Even part.
    const int64_t z = (s07 + s16 - s34 - s25) * 17734;
    const int64_t sum0 = s07 + s34 + s16 + s25;
    const int64_t sum4 = s07 + s34 - s16 - s25;
    const int64_t t2 = (s07 - s34) * 25080 + z;
    const int64_t t6 = z - 60547 * (s16 - s25);

    // Odd part.
    const int64_t u = Wrap(d07 * 46341 + 2048) >> 12;
    const int64_t v = Wrap(d34 * 46341 + 2048) >> 12;
    const int64_t w = (d25 + d16) * 8;
    const int64_t b = (d16 - d25) * 8;
    const int64_t a = w + u;
    const int64_t c = b + v;
    const int64_t d = (a + c) * 799;
    const int64_t t1 = d + 3218 * a;
    const int64_t t7 = d - 4816 * c;
    const int64_t uu = u - w;
    const int64_t vv = v - b;
    const int64_t e = (uu + vv) * 3406;
    const int64_t t3 = e - 5681 * vv;
    const int64_t t5 = e - 1130 * uu;

    auto sum = [](int64_t s) { return static_cast<Lum16s>(Column ? Wrap(s + 32) >> 6 : Wrap(s * 8)); };
    auto term = [](int64_t t) {
        return static_cast<Lum16s>(Column ? Wrap(t + 1048576) >> 21 : Wrap(t + 2048) >> 12);
    };
    line[0 * stride] = sum(sum0);
    line[4 * stride] = sum(sum4);
    line[2 * stride] = term(t2);
    line[6 * stride] = term(t6);
    line[1 * stride] = term(t1);
    line[7 * stride] = term(t7);
    line[3 * stride] = term(t3);
    line[5 * stride] = term(t5);
}

// c * f / 32768 rounded to nearest, ties to even, saturated to 16 bits. |c * f| < 2^31.
inline Lum16s Quantise(int32_t c, int32_t f) {
    const int64_t p = int64_t{c} * f;
    int64_t q = p >> 15;  // floor
    const int64_t r = p - q * 32768;
    if (r > 16384 || (r == 16384 && (q & 1) != 0)) ++q;
    return static_cast<Lum16s>(q < -32768 ? -32768 : (q > 32767 ? 32767 : q));
}

}  // namespace

LumStatus lumiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(const Lum8u* pSrc, int srcStep, Lum16s* pDst,
                                              const Lum16u* pQuantFwdTable) {
    if (pSrc == nullptr || pDst == nullptr) return lumStsNullPtrErr;
    if (srcStep <= 0) return lumStsStepErr;
    if (pQuantFwdTable == nullptr) return lumStsNullPtrErr;

    Lum16s block[64];
    for (int y = 0; y < 8; ++y) {
        const Lum8u* row = pSrc + static_cast<std::ptrdiff_t>(y) * srcStep;
        for (int x = 0; x < 8; ++x) block[y * 8 + x] = static_cast<Lum16s>(row[x] - 128);
    }
    for (int row = 0; row < 8; ++row) FdctLine<false>(block + row * 8, 1);
    for (int col = 0; col < 8; ++col) FdctLine<true>(block + col, 8);
    for (int i = 0; i < 64; ++i) pDst[i] = Quantise(block[i], pQuantFwdTable[i]);
    return lumStsNoErr;
}

}  // namespace lumacore::c
