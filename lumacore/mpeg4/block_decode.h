// The intra and inter block decoders behind the MPEG-4 block exports, with the inverse DCT as a parameter
// so that every level's export runs the same decoding with its own transform. Only declarations: tuned
// files include this, never the generic helpers' inline code.
#ifndef LUMACORE_MPEG4_BLOCK_DECODE_H
#define LUMACORE_MPEG4_BLOCK_DECODE_H

#include "jpeg/idct.h"
#include "lumacore/lumacore.h"

namespace lumacore::mpeg4 {

// lumiDecodeBlockCoef_Intra_MPEG4_1u8u (codedAc true) and ..._IntraDCOnly_... (codedAc false).
LumStatus DecodeIntraBlock(const Lum8u** ppBitStream, int* pBitOffset, Lum8u* pDst, int dstStep, Lum16s* row,
                           Lum16s* col, Lum8u curQpByte, Lum8u* pQpBuf, const Lum8u* pQMatrix, int blockIndex,
                           int intraDcVlc, int acPredFlag, bool codedAc, InverseDctFn idct);

// lumiDecodeBlockCoef_Inter_MPEG4_1u16s.
LumStatus DecodeInterBlock(const Lum8u** ppBitStream, int* pBitOffset, Lum16s* pDst, int QP,
                           const Lum8u* pQMatrix, InverseDctFn idct);

}  // namespace lumacore::mpeg4

// The three block exports of a tuned level, in that level's namespace, passing its inverse DCT `idct`.
#define LUMACORE_MPEG4_BLOCK_EXPORTS(idct)                                                                  \
    LumStatus lumiDecodeBlockCoef_Intra_MPEG4_1u8u(const Lum8u** ppBitStream, int* pBitOffset, Lum8u* pDst, \
                                                   int dstStep, Lum16s* pCoefBufRow, Lum16s* pCoefBufCol,   \
                                                   Lum8u curQp, Lum8u* pQpBuf, const Lum8u* pQMatrix,       \
                                                   int blockIndex, int intraDcVlc, int acPredFlag) {        \
        return mpeg4::DecodeIntraBlock(ppBitStream, pBitOffset, pDst, dstStep, pCoefBufRow, pCoefBufCol,    \
                                       curQp, pQpBuf, pQMatrix, blockIndex, intraDcVlc, acPredFlag, true,   \
                                       &(idct));                                                            \
    }                                                                                                       \
    LumStatus lumiDecodeBlockCoef_IntraDCOnly_MPEG4_1u8u(                                                   \
        const Lum8u** ppBitStream, int* pBitOffset, Lum8u* pDst, int dstStep, Lum16s* pCoefBufRow,          \
        Lum16s* pCoefBufCol, Lum8u curQp, Lum8u* pQpBuf, const Lum8u* pQMatrix, int blockIndex,             \
        int intraDcVlc, int acPredFlag) {                                                                   \
        return mpeg4::DecodeIntraBlock(ppBitStream, pBitOffset, pDst, dstStep, pCoefBufRow, pCoefBufCol,    \
                                       curQp, pQpBuf, pQMatrix, blockIndex, intraDcVlc, acPredFlag, false,  \
                                       &(idct));                                                            \
    }                                                                                                       \
    LumStatus lumiDecodeBlockCoef_Inter_MPEG4_1u16s(const Lum8u** ppBitStream, int* pBitOffset,             \
                                                    Lum16s* pDst, int QP, const Lum8u* pQMatrix) {          \
        return mpeg4::DecodeInterBlock(ppBitStream, pBitOffset, pDst, QP, pQMatrix, &(idct));               \
    }

#endif
