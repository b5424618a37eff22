// Placeholders for the JPEG quantisation, transform, colour and sampling primitives that are not written yet: each refuses its call.
// A primitive's real implementation replaces its placeholder here.
#include "lumacore/lumacore.h"

namespace lumacore::c {

LumStatus lumiQuantFwdRawTableInit_JPEG_8u(Lum8u* /*pQuantRawTable*/, int /*qualityFactor*/) { return lumStsNullPtrErr; }
LumStatus lumiQuantFwdTableInit_JPEG_8u16u(const Lum8u* /*pQuantRawTable*/, Lum16u* /*pQuantFwdTable*/) { return lumStsNullPtrErr; }
LumStatus lumiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(const Lum8u* /*pSrc*/, int /*srcStep*/, Lum16s* /*pDst*/, const Lum16u* /*pQuantFwdTable*/) { return lumStsNullPtrErr; }
LumStatus lumiRGBToYCbCr_JPEG_8u_C3P3R(const Lum8u* /*pSrc*/, int /*srcStep*/, Lum8u* const /*pDst*/[3], int /*dstStep*/, LumiSize /*roiSize*/) { return lumStsNullPtrErr; }
LumStatus lumiBGRToYCbCr_JPEG_8u_C3P3R(const Lum8u* /*pSrc*/, int /*srcStep*/, Lum8u* const /*pDst*/[3], int /*dstStep*/, LumiSize /*roiSize*/) { return lumStsNullPtrErr; }
LumStatus lumiCMYKToYCCK_JPEG_8u_C4P4R(const Lum8u* /*pSrc*/, int /*srcStep*/, Lum8u* const /*pDst*/[4], int /*dstStep*/, LumiSize /*roiSize*/) { return lumStsNullPtrErr; }
LumStatus lumiRGBToY_JPEG_8u_C3C1R(const Lum8u* /*pSrc*/, int /*srcStep*/, Lum8u* /*pDst*/, int /*dstStep*/, LumiSize /*roiSize*/) { return lumStsNullPtrErr; }
LumStatus lumiSampleDownH2V1_JPEG_8u_C1R(const Lum8u* /*pSrc*/, int /*srcStep*/, LumiSize /*srcRoiSize*/, Lum8u* /*pDst*/, int /*dstStep*/, LumiSize /*dstRoiSize*/) { return lumStsNullPtrErr; }
LumStatus lumiSampleDownH2V2_JPEG_8u_C1R(const Lum8u* /*pSrc*/, int /*srcStep*/, LumiSize /*srcRoiSize*/, Lum8u* /*pDst*/, int /*dstStep*/, LumiSize /*dstRoiSize*/) { return lumStsNullPtrErr; }

}  // namespace lumacore::c
