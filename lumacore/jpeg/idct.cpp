// 8x8 integer inverse DCT: a fixed-point butterfly with 12-bit constants (cos(k*pi/16) scaled by 2^15 or
// 2^12), run down the columns and then along the rows. The arithmetic is exact to the bit: the first pass
// rounds by (x + 2^11) >> 12 and keeps 16 bits, the second rounds by (x + 2^20) >> 21.
#include "jpeg/idct.h"

#include <cstdint>
#include <cstring>

#include "jpeg/wrap32.h"

namespace lumacore::c {
namespace {

// One line of eight values, read and written `stride` elements apart.
template <int Shift>
inline void IdctLine(Lum16s* line, int stride) {
    const int64_t x0 = line[0 * stride], x1 = line[1 * stride], x2 = line[2 * stride], x3 = line[3 * stride];
    const int64_t x4 = line[4 * stride], x5 = line[5 * stride], x6 = line[6 * stride], x7 = line[7 * stride];

    const int64_t t = (x5 + x3) * 27246;
    const int64_t u = t - 9041 * x5;
    const int64_t v = (x1 + x7) * 6393;
    const int64_t w = 25746 * x1 + v;
    const int64_t a = static_cast<int64_t>(Wrap(u + w + 2048) >> 12) * 5793;
    const int64_t b = (x2 + x6) * 17734;
    const int64_t c = (x0 + x4) * 32768;
    const int64_t d = 25080 * x2 + b;
    const int64_t vv = v - 38531 * x7;
    const int64_t tt = t - 45451 * x3;
    const int64_t e = w + vv - u - tt;
    const int64_t f = (x0 - x4) * 32768;
    const int64_t bb = b - 60547 * x6;
    const int64_t ww = w + tt - u - vv;
    const int64_t h = 5793 * static_cast<int64_t>(Wrap(tt + vv + 2048) >> 12);

    constexpr int64_t kRound = int64_t{1} << (Shift - 1);
    auto out = [](int64_t term) { return static_cast<Lum16s>(Wrap(term + kRound) >> Shift); };
    line[0 * stride] = out(a + c + d);
    line[7 * stride] = out(c + d - a);
    line[1 * stride] = out(e + f + bb);
    line[6 * stride] = out(f + bb - e);
    line[2 * stride] = out(ww + f - bb);
    line[5 * stride] = out(f - bb - ww);
    line[3 * stride] = out(h + c - d);
    line[4 * stride] = out(c - d - h);
}

}  // namespace

void InverseDct8x8(Lum16s block[64]) {
    for (int col = 0; col < 8; ++col) IdctLine<12>(block + col, 8);
    for (int row = 0; row < 8; ++row) IdctLine<21>(block + row * 8, 1);
}

// A column holding only X0 gives (X0 * 2^15 + 2^11) >> 12 = 8 X0 in every row of the first pass, so the
// eight rows enter the second pass alike.
void InverseDct8x8FirstRow(Lum16s block[64]) {
    for (int col = 0; col < 8; ++col) block[col] = static_cast<Lum16s>(block[col] * 8);
    IdctLine<21>(block, 1);
    for (int row = 1; row < 8; ++row) std::memcpy(block + 8 * row, block, 8 * sizeof(Lum16s));
}

// An all-zero column stays zero in the first pass, so each row enters the second pass holding only X0,
// which gives (X0 * 2^15 + 2^20) >> 21 in all eight places.
void InverseDct8x8FirstColumn(Lum16s block[64]) {
    IdctLine<12>(block, 8);
    for (int row = 0; row < 8; ++row) {
        const Lum16s v =
            static_cast<Lum16s>(Wrap(int64_t{block[8 * row]} * 32768 + (int64_t{1} << 20)) >> 21);
        for (int x = 0; x < 8; ++x) block[8 * row + x] = v;
    }
}

}  // namespace lumacore::c
