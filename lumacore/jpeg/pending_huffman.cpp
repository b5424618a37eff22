// Placeholders for the JPEG Huffman primitives that are not written yet: each refuses its call.
// A primitive's real implementation replaces its placeholder here.
#include "lumacore/lumacore.h"

namespace lumacore::c {

LumStatus lumiEncodeHuffmanRawTableInit_JPEG_8u(const Lum32s /*pStatistics*/[256], Lum8u* /*pListBits*/, Lum8u* /*pListVals*/) { return lumStsNullPtrErr; }
LumStatus lumiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1(const Lum16s* /*pSrc*/, Lum8u* /*pDst*/, int /*dstLen*/, int* /*pDstPos*/, Lum16s* /*pLastDC*/, int /*Al*/, const LumiEncodeHuffmanSpec* /*pDcTable*/, LumiEncodeHuffmanState* /*pState*/, int /*bFlush*/) { return lumStsNullPtrErr; }
LumStatus lumiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1(const Lum16s* /*pSrc*/, Lum8u* /*pDst*/, int /*dstLen*/, int* /*pDstPos*/, int /*Al*/, LumiEncodeHuffmanState* /*pState*/, int /*bFlush*/) { return lumStsNullPtrErr; }
LumStatus lumiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(const Lum16s* /*pSrc*/, Lum8u* /*pDst*/, int /*dstLen*/, int* /*pDstPos*/, int /*Ss*/, int /*Se*/, int /*Al*/, const LumiEncodeHuffmanSpec* /*pAcTable*/, LumiEncodeHuffmanState* /*pState*/, int /*bFlush*/) { return lumStsNullPtrErr; }
LumStatus lumiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1(const Lum16s* /*pSrc*/, Lum8u* /*pDst*/, int /*dstLen*/, int* /*pDstPos*/, int /*Ss*/, int /*Se*/, int /*Al*/, const LumiEncodeHuffmanSpec* /*pAcTable*/, LumiEncodeHuffmanState* /*pState*/, int /*bFlush*/) { return lumStsNullPtrErr; }
LumStatus lumiGetHuffmanStatistics8x8_DCFirst_JPEG_16s_C1(const Lum16s* /*pSrc*/, Lum32s /*pDcStatistics*/[256], Lum16s* /*pLastDC*/, int /*Al*/) { return lumStsNullPtrErr; }
LumStatus lumiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1(const Lum16s* /*pSrc*/, Lum32s /*pAcStatistics*/[256], int /*Ss*/, int /*Se*/, int /*Al*/, LumiEncodeHuffmanState* /*pState*/, int /*bFlush*/) { return lumStsNullPtrErr; }
LumStatus lumiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1(const Lum16s* /*pSrc*/, Lum32s /*pAcStatistics*/[256], int /*Ss*/, int /*Se*/, int /*Al*/, LumiEncodeHuffmanState* /*pState*/, int /*bFlush*/) { return lumStsNullPtrErr; }

}  // namespace lumacore::c
