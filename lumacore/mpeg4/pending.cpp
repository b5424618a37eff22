// Placeholders for the MPEG-4 and H.263 primitives that are not written yet: each refuses its call.
// A primitive's real implementation replaces its placeholder here.
#include "lumacore/lumacore.h"

namespace lumacore::c {

LumStatus lumiDecodeBlockCoef_Intra_MPEG4_1u8u(const Lum8u** /*ppBitStream*/, int* /*pBitOffset*/, Lum8u* /*pDst*/, int /*dstStep*/, Lum16s* /*pCoefBufRow*/, Lum16s* /*pCoefBufCol*/, Lum8u /*curQp*/, Lum8u* /*pQpBuf*/, const Lum8u* /*pQMatrix*/, int /*blockIndex*/, int /*intraDcVlc*/, int /*acPredFlag*/) { return lumStsNullPtrErr; }
LumStatus lumiDecodeBlockCoef_IntraDCOnly_MPEG4_1u8u(const Lum8u** /*ppBitStream*/, int* /*pBitOffset*/, Lum8u* /*pDst*/, int /*dstStep*/, Lum16s* /*pCoefBufRow*/, Lum16s* /*pCoefBufCol*/, Lum8u /*curQp*/, Lum8u* /*pQpBuf*/, const Lum8u* /*pQMatrix*/, int /*blockIndex*/, int /*intraDcVlc*/, int /*acPredFlag*/) { return lumStsNullPtrErr; }
LumStatus lumiDecodeBlockCoef_Inter_MPEG4_1u16s(const Lum8u** /*ppBitStream*/, int* /*pBitOffset*/, Lum16s* /*pDst*/, int /*QP*/, const Lum8u* /*pQMatrix*/) { return lumStsNullPtrErr; }
LumStatus lumiDecodePadMV_PVOP_MPEG4(const Lum8u** /*ppBitStream*/, int* /*pBitOffset*/, const LumMotionVector* /*pSrcMVLeftMB*/, const LumMotionVector* /*pSrcMVUpperMB*/, const LumMotionVector* /*pSrcMVUpperRightMB*/, LumMotionVector* /*pDstMV*/, const Lum32s* /*pAvailLeftMB*/, const Lum32s* /*pAvailUpperMB*/, const Lum32s* /*pAvailUpperRightMB*/, const Lum8u* /*pAvailCurMB*/, int /*fcodeForward*/, int /*mbType*/) { return lumStsNullPtrErr; }
LumStatus lumiComputeChromaMV_MPEG4(const LumMotionVector* /*pSrcMV*/, LumMotionVector* /*pDstMV*/) { return lumStsNullPtrErr; }
LumStatus lumiComputeChroma4MV_MPEG4(const LumMotionVector* /*pSrcMV*/, LumMotionVector* /*pDstMV*/, const Lum8u* /*pAvailCurMB*/) { return lumStsNullPtrErr; }
LumStatus lumiLimitMVToRect_MPEG4(const LumMotionVector* /*pSrcMV*/, LumMotionVector* /*pDstMV*/, const LumiRect* /*pRectVOPRef*/, int /*xCoord*/, int /*yCoord*/, int /*size*/) { return lumStsNullPtrErr; }
LumStatus lumiCopyBlock_H263_8u(const Lum8u* /*pSrc*/, Lum8u* /*pDst*/, int /*step*/) { return lumStsNullPtrErr; }
LumStatus lumiCopyMB_H263_8u(const Lum8u* /*pSrc*/, Lum8u* /*pDst*/, int /*step*/) { return lumStsNullPtrErr; }
LumStatus lumiCopyBlockHalfpel_MPEG4_8u(const Lum8u* /*pSrc*/, int /*srcStep*/, Lum8u* /*pDst*/, int /*dstStep*/, const LumMotionVector* /*pMV*/, int /*rounding*/) { return lumStsNullPtrErr; }
LumStatus lumiCopyMBHalfpel_MPEG4_8u(const Lum8u* /*pSrc*/, int /*srcStep*/, Lum8u* /*pDst*/, int /*dstStep*/, const LumMotionVector* /*pMV*/, int /*rounding*/) { return lumStsNullPtrErr; }
LumStatus lumiReconBlockHalfpel_MPEG4_8u(const Lum8u* /*pSrc*/, int /*srcStep*/, const Lum16s* /*pSrcResidual*/, Lum8u* /*pDst*/, int /*dstStep*/, const LumMotionVector* /*pMV*/, int /*rounding*/) { return lumStsNullPtrErr; }
LumStatus lumiExpandFrame_H263_8u(Lum8u* /*pSrcDstPlane*/, int /*frameWidth*/, int /*frameHeight*/, int /*expandPels*/, int /*step*/) { return lumStsNullPtrErr; }

}  // namespace lumacore::c
