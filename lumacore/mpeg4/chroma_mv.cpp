// Chroma vectors from luma vectors (ISO/IEC 14496-2 7.6.2): half the luma vector, rounded towards the
// half-sample positions; for four-vector macroblocks, the rounding tables by the number of vectors summed.
#include <cstdlib>

#include "lumacore/lumacore.h"

namespace lumacore::c {
namespace {

int HalveOne(int v) {
    const int m = std::abs(v);
    const int c = (m >> 1) | ((m & 3) != 0 ? 1 : 0);
    return v < 0 ? -c : c;
}

// Rounding by remainder of the sum, for 1 to 4 vectors summed (divisors 4, 8, 12, 16).
constexpr int kRound16[16] = {0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2};
constexpr int kRound12[12] = {0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 2, 2};
constexpr int kRound8[8] = {0, 0, 1, 1, 1, 1, 1, 2};
constexpr int kRound4[4] = {0, 1, 1, 1};

// The divisor 4 * count (4 for no vector) is a constant in each case, so no division instruction is
// needed; four vectors (every four-vector macroblock without transparent blocks) come first.
template <int kCount>
int HalveSumBy(int sum) {
    static constexpr const int* kTables[5] = {kRound4, kRound4, kRound8, kRound12, kRound16};
    constexpr int kDivisor = kCount <= 1 ? 4 : 4 * kCount;
    const int m = std::abs(sum);
    const int c = (m / kDivisor) * 2 + kTables[kCount][m % kDivisor];
    return sum < 0 ? -c : c;
}

LumMotionVector HalveSums(int sx, int sy, int count) {
    switch (count) {
        case 4:
            return {static_cast<Lum16s>(HalveSumBy<4>(sx)), static_cast<Lum16s>(HalveSumBy<4>(sy))};
        case 3:
            return {static_cast<Lum16s>(HalveSumBy<3>(sx)), static_cast<Lum16s>(HalveSumBy<3>(sy))};
        case 2:
            return {static_cast<Lum16s>(HalveSumBy<2>(sx)), static_cast<Lum16s>(HalveSumBy<2>(sy))};
        default:
            return {static_cast<Lum16s>(HalveSumBy<1>(sx)), static_cast<Lum16s>(HalveSumBy<1>(sy))};
    }
}

}  // namespace

LumStatus lumiComputeChromaMV_MPEG4(const LumMotionVector* pSrcMV, LumMotionVector* pDstMV) {
    if (pSrcMV == nullptr || pDstMV == nullptr) return lumStsNullPtrErr;
    const LumMotionVector in = *pSrcMV;
    *pDstMV = {static_cast<Lum16s>(HalveOne(in.dx)), static_cast<Lum16s>(HalveOne(in.dy))};
    return lumStsNoErr;
}

LumStatus lumiComputeChroma4MV_MPEG4(const LumMotionVector* pSrcMV, LumMotionVector* pDstMV,
                                     const Lum8u* pAvailCurMB) {
    if (pSrcMV == nullptr || pDstMV == nullptr || pAvailCurMB == nullptr) return lumStsNullPtrErr;
    int sx = 0, sy = 0, n = 0;
    for (int i = 0; i < 4; ++i) {
        if (pAvailCurMB[i] == 0) continue;
        sx += pSrcMV[i].dx;
        sy += pSrcMV[i].dy;
        ++n;
    }
    *pDstMV = HalveSums(sx, sy, n);
    return lumStsNoErr;
}

}  // namespace lumacore::c
