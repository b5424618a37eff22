// P-VOP motion vectors of one macroblock: median prediction from the neighbours (ISO/IEC 14496-2 7.6.5),
// motion vector differences with f_code residuals, wrapping into the f_code range, and padding of the
// vectors of absent (transparent) blocks.
//
// Vectors are stored as decoded: on a bitstream error the vectors before the failing one are kept, the
// bit position stands after the last complete vector and no padding is done.
#include <algorithm>
#include <cstdint>

#include "lumacore/lumacore.h"
#include "mpeg4/bitreader.h"
#include "mpeg4/vlc_tables.h"

namespace lumacore::c {
namespace {

int Median3(int a, int b, int c) {
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// The predictor from three candidates, each null when invalid: their component-wise median with an
// invalid one counting as 0, the only valid one's vector, or (0, 0) with none.
inline LumMotionVector Predict(const LumMotionVector* c1, const LumMotionVector* c2,
                               const LumMotionVector* c3) {
    if (c1 != nullptr && c2 != nullptr && c3 != nullptr) {
        return {static_cast<Lum16s>(Median3(c1->dx, c2->dx, c3->dx)),
                static_cast<Lum16s>(Median3(c1->dy, c2->dy, c3->dy))};
    }
    const int valid = (c1 != nullptr) + (c2 != nullptr) + (c3 != nullptr);
    if (valid == 0) return {0, 0};
    if (valid == 1) return *(c1 != nullptr ? c1 : c2 != nullptr ? c2 : c3);
    const LumMotionVector v1 = c1 != nullptr ? *c1 : LumMotionVector{};
    const LumMotionVector v2 = c2 != nullptr ? *c2 : LumMotionVector{};
    const LumMotionVector v3 = c3 != nullptr ? *c3 : LumMotionVector{};
    return {static_cast<Lum16s>(Median3(v1.dx, v2.dx, v3.dx)),
            static_cast<Lum16s>(Median3(v1.dy, v2.dy, v3.dy))};
}

// One component: motion_code, its sign and the f_code residual, and the wrap into [-high, high). The
// code (at most 12 bits), the sign and the residual (at most 6 bits) all lie in one window of 25 bits.
inline bool DecodeComponent(mpeg4::BitReader& bits, int predictor, int fcode, int* out) {
    const uint32_t window = bits.Window();
    const mpeg4::SmallEntry e = mpeg4::LookupMvd(window >> (32 - mpeg4::kLookupBits));
    if (e.length == 0) return false;
    int diff = 0;
    int used = e.length;
    if (e.value != 0) {
        const uint32_t rest = window << e.length;  // the sign bit, then the residual
        const int residual = fcode > 1 ? static_cast<int>((rest << 1) >> (33 - fcode)) : 0;
        diff = ((e.value - 1) << (fcode - 1)) + residual + 1;
        if ((rest >> 31) != 0) diff = -diff;
        used += fcode;
    }
    bits.Skip(used);
    const int high = 16 << fcode;
    int v = predictor + diff;
    if (v < -high)
        v += 2 * high;
    else if (v >= high)
        v -= 2 * high;
    *out = v;
    return true;
}

inline bool DecodeVector(mpeg4::BitReader& bits, LumMotionVector pred, int fcode, LumMotionVector* out) {
    int x = 0, y = 0;
    if (!DecodeComponent(bits, pred.dx, fcode, &x) || !DecodeComponent(bits, pred.dy, fcode, &y))
        return false;
    *out = {static_cast<Lum16s>(x), static_cast<Lum16s>(y)};
    return true;
}

bool Aligned4(const void* p) {
    return (reinterpret_cast<std::uintptr_t>(p) & 3) == 0;
}

}  // namespace

LumStatus lumiDecodePadMV_PVOP_MPEG4(const Lum8u** ppBitStream, int* pBitOffset,
                                     const LumMotionVector* pSrcMVLeftMB,
                                     const LumMotionVector* pSrcMVUpperMB,
                                     const LumMotionVector* pSrcMVUpperRightMB, LumMotionVector* pDstMV,
                                     const Lum32s* pAvailLeftMB, const Lum32s* pAvailUpperMB,
                                     const Lum32s* pAvailUpperRightMB, const Lum8u* pAvailCurMB,
                                     int fcodeForward, int mbType) {
    if (ppBitStream == nullptr || pBitOffset == nullptr || *ppBitStream == nullptr) return lumStsNullPtrErr;
    if (*pBitOffset < 0 || *pBitOffset > 7) return lumStsMP4BitOffsetErr;
    // The neighbours' vector arrays may be null: their candidates are then invalid.
    if (pDstMV == nullptr || pAvailLeftMB == nullptr || pAvailUpperMB == nullptr ||
        pAvailUpperRightMB == nullptr || pAvailCurMB == nullptr)
        return lumStsNullPtrErr;
    if (!Aligned4(pAvailLeftMB) || !Aligned4(pAvailUpperMB) || !Aligned4(pAvailUpperRightMB) ||
        !Aligned4(pAvailCurMB))
        return lumStsMP4AlignErr;
    if (fcodeForward < 1 || fcodeForward > 7) return lumStsMP4FcodeErr;

    // Each neighbour's vector array, null when the neighbour is unavailable.
    const LumMotionVector* const left = *pAvailLeftMB != 0 ? pSrcMVLeftMB : nullptr;
    const LumMotionVector* const upper = *pAvailUpperMB != 0 ? pSrcMVUpperMB : nullptr;
    const LumMotionVector* const upperRight = *pAvailUpperRightMB != 0 ? pSrcMVUpperRightMB : nullptr;
    auto at = [](const LumMotionVector* mvs, int i) { return mvs != nullptr ? mvs + i : nullptr; };

    mpeg4::BitReader bits(*ppBitStream, *pBitOffset);
    if (mbType != 2 && mbType != 5) {
        LumMotionVector mv{};
        if (!DecodeVector(bits, Predict(at(left, 1), at(upper, 2), at(upperRight, 2)), fcodeForward, &mv))
            return lumStsMP4MVCodeErr;
        for (int i = 0; i < 4; ++i) pDstMV[i] = mv;
        bits.Commit(ppBitStream, pBitOffset);
        return lumStsNoErr;
    }

    const bool present[4] = {pAvailCurMB[0] != 0, pAvailCurMB[1] != 0, pAvailCurMB[2] != 0,
                             pAvailCurMB[3] != 0};
    auto current = [&](int i) { return present[i] ? pDstMV + i : nullptr; };
    for (int i = 0; i < 4; ++i) {
        if (!present[i]) continue;
        LumMotionVector pred{};
        switch (i) {
            case 0:
                pred = Predict(at(left, 1), at(upper, 2), at(upperRight, 2));
                break;
            case 1:
                pred = Predict(current(0), at(upper, 3), at(upperRight, 2));
                break;
            case 2:
                pred = Predict(at(left, 3), current(0), current(1));
                break;
            default:
                pred = Predict(current(2), current(0), current(1));
                break;
        }
        if (!DecodeVector(bits, pred, fcodeForward, &pDstMV[i])) return lumStsMP4MVCodeErr;
        bits.Commit(ppBitStream, pBitOffset);
    }

    // Absent blocks take a present neighbour's vector, in block order; with no block present at all the
    // macroblock gets zero vectors rather than whatever the output held.
    if (!present[0] && !present[1] && !present[2] && !present[3]) {
        for (int i = 0; i < 4; ++i) pDstMV[i] = {0, 0};
        return lumStsNoErr;
    }
    static constexpr int kPadOrder[4][3] = {{1, 2, 3}, {0, 3, 2}, {3, 0, 1}, {2, 1, 0}};
    for (int i = 0; i < 4; ++i) {
        if (present[i]) continue;
        const int* order = kPadOrder[i];
        pDstMV[i] = present[order[0]]   ? pDstMV[order[0]]
                    : present[order[1]] ? pDstMV[order[1]]
                                        : pDstMV[order[2]];
    }
    return lumStsNoErr;
}

}  // namespace lumacore::c
