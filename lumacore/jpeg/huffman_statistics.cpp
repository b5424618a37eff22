// Symbol statistics of progressive scans, for building optimised tables: the same walk over the
// coefficients as the encoders, counting the symbols they would put. Counters are only ever incremented
// (wrapping as unsigned 32-bit numbers), so several scans can add into one set.
#include "jpeg/huffman_progressive.h"

namespace lumacore::c {

LumStatus lumiGetHuffmanStatistics8x8_DCFirst_JPEG_16s_C1(const Lum16s* pSrc, Lum32s pDcStatistics[256],
                                                          Lum16s* pLastDC, int Al) {
    if (pSrc == nullptr || pDcStatistics == nullptr || pLastDC == nullptr) return lumStsNullPtrErr;
    if (huffman::BadBitPosition(Al)) return lumStsBadArgErr;
    const int value = pSrc[0] >> Al;
    const int diff = value - *pLastDC;
    *pLastDC = static_cast<Lum16s>(value);
    const int size = huffman::BitLength(static_cast<uint32_t>(diff < 0 ? -diff : diff));
    if (size > 11) return lumStsJpegCoefRangeErr;
    huffman::CountSink sink(pDcStatistics);
    return sink.Symbol(size);
}

LumStatus lumiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1(const Lum16s* pSrc, Lum32s pAcStatistics[256],
                                                          int Ss, int Se, int Al,
                                                          LumiEncodeHuffmanState* pState, int bFlush) {
    if (pAcStatistics == nullptr || pState == nullptr) return lumStsNullPtrErr;
    if (huffman::BadSpectralRange(Ss, Se, Al)) return lumStsBadArgErr;
    huffman::CountSink sink(pAcStatistics);
    if (bFlush) {
        const LumStatus st = huffman::PutEobRun(sink, pState);
        huffman::ResetEncoderState(pState);
        return st;
    }
    if (pSrc == nullptr) return lumStsNullPtrErr;
    return huffman::CodeAcFirst(sink, pSrc, Ss, Se, Al, pState);
}

LumStatus lumiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1(const Lum16s* pSrc, Lum32s pAcStatistics[256],
                                                           int Ss, int Se, int Al,
                                                           LumiEncodeHuffmanState* pState, int bFlush) {
    if (pAcStatistics == nullptr || pState == nullptr) return lumStsNullPtrErr;
    if (huffman::BadSpectralRange(Ss, Se, Al)) return lumStsBadArgErr;
    huffman::CountSink sink(pAcStatistics);
    if (bFlush) {
        const LumStatus st = huffman::PutEobRunWithBits(sink, pState);
        huffman::ResetEncoderState(pState);
        return st;
    }
    if (pSrc == nullptr) return lumStsNullPtrErr;
    return huffman::CodeAcRefine(sink, pSrc, Ss, Se, Al, pState);
}

}  // namespace lumacore::c
