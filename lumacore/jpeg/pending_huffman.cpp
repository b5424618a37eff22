// Placeholders for the JPEG Huffman primitives that are not written yet: each refuses its call.
// A primitive's real implementation replaces its placeholder here.
#include "lumacore/lumacore.h"

namespace lumacore::c {

LumStatus lumiDecodeHuffmanSpecInitAlloc_JPEG_8u(const Lum8u* /*pListBits*/, const Lum8u* /*pListVals*/, LumiDecodeHuffmanSpec** /*ppSpec*/) { return lumStsNullPtrErr; }
LumStatus lumiDecodeHuffmanSpecFree_JPEG_8u(LumiDecodeHuffmanSpec* /*pSpec*/) { return lumStsNullPtrErr; }
LumStatus lumiDecodeHuffmanStateInitAlloc_JPEG_8u(LumiDecodeHuffmanState** /*ppState*/) { return lumStsNullPtrErr; }
LumStatus lumiDecodeHuffmanStateInit_JPEG_8u(LumiDecodeHuffmanState* /*pState*/) { return lumStsNullPtrErr; }
LumStatus lumiDecodeHuffmanStateFree_JPEG_8u(LumiDecodeHuffmanState* /*pState*/) { return lumStsNullPtrErr; }
LumStatus lumiDecodeHuffman8x8_JPEG_1u16s_C1(const Lum8u* /*pSrc*/, int /*srcLen*/, int* /*pSrcPos*/, Lum16s* /*pDst*/, Lum16s* /*pLastDC*/, int* /*pMarker*/, const LumiDecodeHuffmanSpec* /*pDcTable*/, const LumiDecodeHuffmanSpec* /*pAcTable*/, LumiDecodeHuffmanState* /*pState*/) { return lumStsNullPtrErr; }
LumStatus lumiDecodeHuffman8x8_DCFirst_JPEG_1u16s_C1(const Lum8u* /*pSrc*/, int /*srcLen*/, int* /*pSrcPos*/, Lum16s* /*pDst*/, Lum16s* /*pLastDC*/, int* /*pMarker*/, int /*Al*/, const LumiDecodeHuffmanSpec* /*pDcTable*/, LumiDecodeHuffmanState* /*pState*/) { return lumStsNullPtrErr; }
LumStatus lumiDecodeHuffman8x8_DCRefine_JPEG_1u16s_C1(const Lum8u* /*pSrc*/, int /*srcLen*/, int* /*pSrcPos*/, Lum16s* /*pDst*/, int* /*pMarker*/, int /*Al*/, LumiDecodeHuffmanState* /*pState*/) { return lumStsNullPtrErr; }
LumStatus lumiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(const Lum8u* /*pSrc*/, int /*srcLen*/, int* /*pSrcPos*/, Lum16s* /*pDst*/, int* /*pMarker*/, int /*Ss*/, int /*Se*/, int /*Al*/, const LumiDecodeHuffmanSpec* /*pAcTable*/, LumiDecodeHuffmanState* /*pState*/) { return lumStsNullPtrErr; }
LumStatus lumiDecodeHuffman8x8_ACRefine_JPEG_1u16s_C1(const Lum8u* /*pSrc*/, int /*srcLen*/, int* /*pSrcPos*/, Lum16s* /*pDst*/, int* /*pMarker*/, int /*Ss*/, int /*Se*/, int /*Al*/, const LumiDecodeHuffmanSpec* /*pAcTable*/, LumiDecodeHuffmanState* /*pState*/) { return lumStsNullPtrErr; }
LumStatus lumiEncodeHuffmanRawTableInit_JPEG_8u(const Lum32s /*pStatistics*/[256], Lum8u* /*pListBits*/, Lum8u* /*pListVals*/) { return lumStsNullPtrErr; }
LumStatus lumiEncodeHuffmanSpecInitAlloc_JPEG_8u(const Lum8u* /*pListBits*/, const Lum8u* /*pListVals*/, LumiEncodeHuffmanSpec** /*ppSpec*/) { return lumStsNullPtrErr; }
LumStatus lumiEncodeHuffmanSpecFree_JPEG_8u(LumiEncodeHuffmanSpec* /*pSpec*/) { return lumStsNullPtrErr; }
LumStatus lumiEncodeHuffmanStateInitAlloc_JPEG_8u(LumiEncodeHuffmanState** /*ppState*/) { return lumStsNullPtrErr; }
LumStatus lumiEncodeHuffmanStateInit_JPEG_8u(LumiEncodeHuffmanState* /*pState*/) { return lumStsNullPtrErr; }
LumStatus lumiEncodeHuffmanStateFree_JPEG_8u(LumiEncodeHuffmanState* /*pState*/) { return lumStsNullPtrErr; }
LumStatus lumiEncodeHuffman8x8_JPEG_16s1u_C1(const Lum16s* /*pSrc*/, Lum8u* /*pDst*/, int /*dstLen*/, int* /*pDstPos*/, Lum16s* /*pLastDC*/, const LumiEncodeHuffmanSpec* /*pDcTable*/, const LumiEncodeHuffmanSpec* /*pAcTable*/, LumiEncodeHuffmanState* /*pState*/, int /*bFlush*/) { return lumStsNullPtrErr; }
LumStatus lumiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1(const Lum16s* /*pSrc*/, Lum8u* /*pDst*/, int /*dstLen*/, int* /*pDstPos*/, Lum16s* /*pLastDC*/, int /*Al*/, const LumiEncodeHuffmanSpec* /*pDcTable*/, LumiEncodeHuffmanState* /*pState*/, int /*bFlush*/) { return lumStsNullPtrErr; }
LumStatus lumiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1(const Lum16s* /*pSrc*/, Lum8u* /*pDst*/, int /*dstLen*/, int* /*pDstPos*/, int /*Al*/, LumiEncodeHuffmanState* /*pState*/, int /*bFlush*/) { return lumStsNullPtrErr; }
LumStatus lumiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(const Lum16s* /*pSrc*/, Lum8u* /*pDst*/, int /*dstLen*/, int* /*pDstPos*/, int /*Ss*/, int /*Se*/, int /*Al*/, const LumiEncodeHuffmanSpec* /*pAcTable*/, LumiEncodeHuffmanState* /*pState*/, int /*bFlush*/) { return lumStsNullPtrErr; }
LumStatus lumiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1(const Lum16s* /*pSrc*/, Lum8u* /*pDst*/, int /*dstLen*/, int* /*pDstPos*/, int /*Ss*/, int /*Se*/, int /*Al*/, const LumiEncodeHuffmanSpec* /*pAcTable*/, LumiEncodeHuffmanState* /*pState*/, int /*bFlush*/) { return lumStsNullPtrErr; }
LumStatus lumiGetHuffmanStatistics8x8_DCFirst_JPEG_16s_C1(const Lum16s* /*pSrc*/, Lum32s /*pDcStatistics*/[256], Lum16s* /*pLastDC*/, int /*Al*/) { return lumStsNullPtrErr; }
LumStatus lumiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1(const Lum16s* /*pSrc*/, Lum32s /*pAcStatistics*/[256], int /*Ss*/, int /*Se*/, int /*Al*/, LumiEncodeHuffmanState* /*pState*/, int /*bFlush*/) { return lumStsNullPtrErr; }
LumStatus lumiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1(const Lum16s* /*pSrc*/, Lum32s /*pAcStatistics*/[256], int /*Ss*/, int /*Se*/, int /*Al*/, LumiEncodeHuffmanState* /*pState*/, int /*bFlush*/) { return lumStsNullPtrErr; }

}  // namespace lumacore::c
