// Level 1 (SSE2) progressive first-scan decoders, also bound at levels 2 and 3: the generic decoders
// with the look-ahead step (jpeg/huffman_first_scans.h). The work is bit handling, which vectors do not
// speed up. Twin of the baseline decoder: jpeg_huffman_decode_sse2.cpp.
#include "dispatch/level_impls.h"
#include "jpeg/huffman_first_scans.h"
#include "lumacore/lumacore.h"

namespace lumacore::sse2 {

LumStatus lumiDecodeHuffman8x8_DCFirst_JPEG_1u16s_C1(const Lum8u* pSrc, int srcLen, int* pSrcPos,
                                                     Lum16s* pDst, Lum16s* pLastDC, int* pMarker, int Al,
                                                     const LumiDecodeHuffmanSpec* pDcTable,
                                                     LumiDecodeHuffmanState* pState) {
    return c::huffman::DecodeDcFirst<true>(pSrc, srcLen, pSrcPos, pDst, pLastDC, pMarker, Al, pDcTable,
                                           pState);
}

LumStatus lumiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(const Lum8u* pSrc, int srcLen, int* pSrcPos,
                                                     Lum16s* pDst, int* pMarker, int Ss, int Se, int Al,
                                                     const LumiDecodeHuffmanSpec* pAcTable,
                                                     LumiDecodeHuffmanState* pState) {
    return c::huffman::DecodeAcFirst<true>(pSrc, srcLen, pSrcPos, pDst, pMarker, Ss, Se, Al, pAcTable,
                                           pState);
}

}  // namespace lumacore::sse2
