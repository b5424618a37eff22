// Inter block decoding: TCOEF events in zig-zag order, inverse quantisation (H.263 rule, or the matrix
// rule with mismatch control) and the inverse DCT into 16-bit residuals.
//
// On a bitstream error the residuals and the bit position are left as they were.
#include <bit>
#include <cstdint>
#include <cstring>

#include "jpeg/idct.h"
#include "lumacore/lumacore.h"
#include "mpeg4/bitreader.h"
#include "mpeg4/block_common.h"
#include "mpeg4/block_decode.h"

namespace lumacore::mpeg4 {

LumStatus DecodeInterBlock(const Lum8u** ppBitStream, int* pBitOffset, Lum16s* pDst, int QP,
                           const Lum8u* pQMatrix, InverseDctFn idct) {
    if (ppBitStream == nullptr || pBitOffset == nullptr || pDst == nullptr || *ppBitStream == nullptr)
        return lumStsNullPtrErr;
    if (*pBitOffset < 0 || *pBitOffset > 7) return lumStsMP4BitOffsetErr;
    if (QP < 1 || QP > 31) return lumStsMP4QPErr;

    mpeg4::BitReader bits(*ppBitStream, *pBitOffset);
    uint64_t written = 0;
    if (pQMatrix == nullptr) {
        // Dequantised as they are decoded, into a cleared block of our own: pDst stays untouched on an
        // error.
        Lum16s block[64];
        std::memset(block, 0, sizeof block);
        const mpeg4::StoreDequantH263 dequant{2 * QP, QP - ((QP & 1) == 0 ? 1 : 0)};
        const LumStatus st =
            mpeg4::DecodeTcoefWith(bits, false, mpeg4::kZigzagScan.data(), 0, block, &written, dequant);
        if (st != lumStsNoErr) return st;
        bits.Commit(ppBitStream, pBitOffset);
        if (written == 1) {
            // A lone DC: the inverse DCT gives (F + 4) >> 3 everywhere.
            const Lum16s r = static_cast<Lum16s>((block[0] + 4) >> 3);
            for (int i = 0; i < 64; ++i) pDst[i] = r;
            return lumStsNoErr;
        }
        mpeg4::InverseDctSparse(block, written, idct);
        std::memcpy(pDst, block, sizeof block);
        return lumStsNoErr;
    }

    Lum16s levels[64];  // only the positions in `written` are set
    const LumStatus st = mpeg4::DecodeTcoef(bits, false, mpeg4::kZigzagScan.data(), 0, levels, &written);
    if (st != lumStsNoErr) return st;
    bits.Commit(ppBitStream, pBitOffset);
    int coef[64];
    for (int i = 0; i < 64; ++i) {
        const int l = (written >> i) & 1 ? levels[i] : 0;
        const int sign = l > 0 ? 1 : (l < 0 ? -1 : 0);
        coef[i] = mpeg4::ClampCoef((2 * l + sign) * pQMatrix[i] * QP / 16);
    }
    mpeg4::MismatchControl(coef);
    for (int i = 0; i < 64; ++i) pDst[i] = static_cast<Lum16s>(coef[i]);
    idct(pDst);
    return lumStsNoErr;
}

}  // namespace lumacore::mpeg4

namespace lumacore::c {

LumStatus lumiDecodeBlockCoef_Inter_MPEG4_1u16s(const Lum8u** ppBitStream, int* pBitOffset, Lum16s* pDst,
                                                int QP, const Lum8u* pQMatrix) {
    return mpeg4::DecodeInterBlock(ppBitStream, pBitOffset, pDst, QP, pQMatrix, &InverseDct8x8);
}

}  // namespace lumacore::c
