// Level 3 (AVX2) MPEG-4 intra and inter block decoding: the generic decoding (VLC, prediction, inverse
// quantisation) with the AVX2 inverse DCT of jpeg_dct_avx2.cpp, which gives the generic transform's bits.
#include "dispatch/level_impls.h"
#include "lumacore/lumacore.h"
#include "mpeg4/block_decode.h"

namespace lumacore::avx2 {

LumStatus lumiDecodeBlockCoef_Intra_MPEG4_1u8u(const Lum8u** ppBitStream, int* pBitOffset, Lum8u* pDst,
                                               int dstStep, Lum16s* pCoefBufRow, Lum16s* pCoefBufCol,
                                               Lum8u curQp, Lum8u* pQpBuf, const Lum8u* pQMatrix,
                                               int blockIndex, int intraDcVlc, int acPredFlag) {
    return mpeg4::DecodeIntraBlock(ppBitStream, pBitOffset, pDst, dstStep, pCoefBufRow, pCoefBufCol, curQp,
                                   pQpBuf, pQMatrix, blockIndex, intraDcVlc, acPredFlag, true,
                                   &InverseDct8x8);
}

LumStatus lumiDecodeBlockCoef_IntraDCOnly_MPEG4_1u8u(const Lum8u** ppBitStream, int* pBitOffset, Lum8u* pDst,
                                                     int dstStep, Lum16s* pCoefBufRow, Lum16s* pCoefBufCol,
                                                     Lum8u curQp, Lum8u* pQpBuf, const Lum8u* pQMatrix,
                                                     int blockIndex, int intraDcVlc, int acPredFlag) {
    return mpeg4::DecodeIntraBlock(ppBitStream, pBitOffset, pDst, dstStep, pCoefBufRow, pCoefBufCol, curQp,
                                   pQpBuf, pQMatrix, blockIndex, intraDcVlc, acPredFlag, false,
                                   &InverseDct8x8);
}

LumStatus lumiDecodeBlockCoef_Inter_MPEG4_1u16s(const Lum8u** ppBitStream, int* pBitOffset, Lum16s* pDst,
                                                int QP, const Lum8u* pQMatrix) {
    return mpeg4::DecodeInterBlock(ppBitStream, pBitOffset, pDst, QP, pQMatrix, &InverseDct8x8);
}

}  // namespace lumacore::avx2
