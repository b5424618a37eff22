// Level 3 (AVX2) baseline Huffman encoding of one 8x8 block: the same steps as level 2
// (jpeg_huffman_encode_sse41.cpp), compiled with the three-operand vector encoding, which spares the
// register copies of the shuffle scan. Twins: jpeg_huffman_encode_sse2.cpp, jpeg_huffman_encode_sse41.cpp.
#include "x86/jpeg_huffman_encode_body.h"
#include "x86/jpeg_huffman_shuffle_scan.h"

namespace lumacore::avx2 {

LumStatus lumiEncodeHuffman8x8_JPEG_16s1u_C1(const Lum16s* pSrc, Lum8u* pDst, int dstLen, int* pDstPos,
                                             Lum16s* pLastDC, const LumiEncodeHuffmanSpec* pDcTable,
                                             const LumiEncodeHuffmanSpec* pAcTable,
                                             LumiEncodeHuffmanState* pState, int bFlush) {
    return x86::EncodeBaseline<x86::ShuffleScan>(pSrc, pDst, dstLen, pDstPos, pLastDC, pDcTable, pAcTable,
                                                 pState, bFlush);
}

}  // namespace lumacore::avx2
