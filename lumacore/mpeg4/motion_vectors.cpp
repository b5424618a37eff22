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

struct Candidate {
    const LumMotionVector* mv;  // null when invalid
};

int Median3(int a, int b, int c) {
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

LumMotionVector Predict(Candidate c1, Candidate c2, Candidate c3) {
    const int valid = (c1.mv != nullptr) + (c2.mv != nullptr) + (c3.mv != nullptr);
    if (valid == 0) return {0, 0};
    if (valid == 1) return *(c1.mv != nullptr ? c1.mv : c2.mv != nullptr ? c2.mv : c3.mv);
    auto x = [](Candidate c) { return c.mv != nullptr ? int{c.mv->dx} : 0; };
    auto y = [](Candidate c) { return c.mv != nullptr ? int{c.mv->dy} : 0; };
    return {static_cast<Lum16s>(Median3(x(c1), x(c2), x(c3))),
            static_cast<Lum16s>(Median3(y(c1), y(c2), y(c3)))};
}

// One component: motion_code, the f_code residual, and the wrap into [-high, high).
bool DecodeComponent(mpeg4::BitReader& bits, int predictor, int fcode, int* out) {
    const mpeg4::SmallEntry& e = mpeg4::LookupMvd(bits.Peek(mpeg4::kLookupBits));
    if (e.length == 0) return false;
    bits.Skip(e.length);
    int diff = 0;
    if (e.value != 0) {
        const bool negative = bits.Read(1) != 0;
        const int residual = static_cast<int>(bits.Read(fcode - 1));
        diff = ((e.value - 1) << (fcode - 1)) + residual + 1;
        if (negative) diff = -diff;
    }
    const int high = 16 << fcode;
    int v = predictor + diff;
    if (v < -high)
        v += 2 * high;
    else if (v >= high)
        v -= 2 * high;
    *out = v;
    return true;
}

bool DecodeVector(mpeg4::BitReader& bits, LumMotionVector pred, int fcode, LumMotionVector* out) {
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

    auto neighbour = [](const LumMotionVector* mvs, const Lum32s* avail, int i) {
        return Candidate{mvs != nullptr && *avail != 0 ? mvs + i : nullptr};
    };
    const Candidate left1 = neighbour(pSrcMVLeftMB, pAvailLeftMB, 1);
    const Candidate left3 = neighbour(pSrcMVLeftMB, pAvailLeftMB, 3);
    const Candidate upper2 = neighbour(pSrcMVUpperMB, pAvailUpperMB, 2);
    const Candidate upper3 = neighbour(pSrcMVUpperMB, pAvailUpperMB, 3);
    const Candidate upperRight2 = neighbour(pSrcMVUpperRightMB, pAvailUpperRightMB, 2);

    mpeg4::BitReader bits(*ppBitStream, *pBitOffset);
    if (mbType != 2 && mbType != 5) {
        LumMotionVector mv{};
        if (!DecodeVector(bits, Predict(left1, upper2, upperRight2), fcodeForward, &mv))
            return lumStsMP4MVCodeErr;
        for (int i = 0; i < 4; ++i) pDstMV[i] = mv;
        bits.Commit(ppBitStream, pBitOffset);
        return lumStsNoErr;
    }

    const bool present[4] = {pAvailCurMB[0] != 0, pAvailCurMB[1] != 0, pAvailCurMB[2] != 0,
                             pAvailCurMB[3] != 0};
    auto current = [&](int i) { return Candidate{present[i] ? pDstMV + i : nullptr}; };
    for (int i = 0; i < 4; ++i) {
        if (!present[i]) continue;
        LumMotionVector pred{};
        switch (i) {
            case 0:
                pred = Predict(left1, upper2, upperRight2);
                break;
            case 1:
                pred = Predict(current(0), upper3, upperRight2);
                break;
            case 2:
                pred = Predict(left3, current(0), current(1));
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
