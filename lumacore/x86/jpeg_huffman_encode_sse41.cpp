// Level 2 (SSE4.1 + SSSE3) baseline Huffman encoding of one 8x8 block: the block body of
// jpeg_huffman_encode_body.h with the shuffle scan of jpeg_huffman_shuffle_scan.h. Twins:
// jpeg_huffman_encode_sse2.cpp (level 1), jpeg_huffman_encode_avx2.cpp (level 3).
#include "x86/jpeg_huffman_encode_body.h"
#include "x86/jpeg_huffman_shuffle_scan.h"

namespace lumacore::sse41 {

LumStatus lumiEncodeHuffman8x8_JPEG_16s1u_C1(const Lum16s* pSrc, Lum8u* pDst, int dstLen, int* pDstPos,
                                             Lum16s* pLastDC, const LumiEncodeHuffmanSpec* pDcTable,
                                             const LumiEncodeHuffmanSpec* pAcTable,
                                             LumiEncodeHuffmanState* pState, int bFlush) {
    return x86::EncodeBaseline<x86::ShuffleScan>(pSrc, pDst, dstLen, pDstPos, pLastDC, pDcTable, pAcTable,
                                                 pState, bFlush);
}

}  // namespace lumacore::sse41
