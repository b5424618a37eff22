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

#endif
