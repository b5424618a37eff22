// The first scans of progressive decoding (T.81 G.2.1 and G.2.2, DC and AC), one block a call. The
// generic level decodes each symbol with DecodeSymbol and Receive; the tuned levels (`LookAhead`) take
// short codes with their extra bits from the table's look-ahead entries (BitReader::DecodeValue), with
// the same coefficients, statuses and reader state.
#ifndef LUMACORE_JPEG_HUFFMAN_FIRST_SCANS_H
#define LUMACORE_JPEG_HUFFMAN_FIRST_SCANS_H

#include "jpeg/huffman_bitreader.h"

namespace lumacore::c::huffman {

template <bool LookAhead>
LumStatus DecodeDcFirst(const Lum8u* pSrc, int srcLen, int* pSrcPos, Lum16s* pDst, Lum16s* pLastDC,
                        int* pMarker, int Al, const LumiDecodeHuffmanSpec* pDcTable,
                        LumiDecodeHuffmanState* pState) {
    if (pSrc == nullptr) return lumStsNullPtrErr;
    if (srcLen < 1) return lumStsSizeErr;
    if (pSrcPos == nullptr || pDst == nullptr || pLastDC == nullptr || pMarker == nullptr ||
        pDcTable == nullptr || pState == nullptr)
        return lumStsNullPtrErr;
    if (BadBitPosition(Al) || *pSrcPos < 0) return lumStsBadArgErr;

    BitReader in(pSrc, srcLen, pSrcPos, pMarker, pState);
    int symbol, value;
    const LumStatus st = in.DecodeValue<LookAhead>(pDcTable, &symbol, &value);
    if (st != lumStsNoErr) return st;
    *pLastDC = static_cast<Lum16s>(*pLastDC + value);
    pDst[0] = static_cast<Lum16s>(*pLastDC * (1 << Al));
    return lumStsNoErr;
}

template <bool LookAhead>
LumStatus DecodeAcFirst(const Lum8u* pSrc, int srcLen, int* pSrcPos, Lum16s* pDst, int* pMarker, int Ss,
                        int Se, int Al, const LumiDecodeHuffmanSpec* pAcTable,
                        LumiDecodeHuffmanState* pState) {
    if (pSrc == nullptr || pSrcPos == nullptr || pDst == nullptr || pMarker == nullptr ||
        pAcTable == nullptr || pState == nullptr)
        return lumStsNullPtrErr;
    if (BadSpectralRange(Ss, Se, Al) || *pSrcPos < 0) return lumStsBadArgErr;

    if (pState->eobRun > 0) {  // this block lies inside an end-of-band run: nothing of it is coded
        --pState->eobRun;
        return lumStsNoErr;
    }
    BitReader in(pSrc, srcLen, pSrcPos, pMarker, pState);
    LumStatus st;
    for (int k = Ss; k <= Se; ++k) {
        int symbol, value;
        if ((st = in.DecodeValue<LookAhead>(pAcTable, &symbol, &value)) != lumStsNoErr) return st;
        const int r = symbol >> 4, s = symbol & 15;
        if (s > 0) {
            k += r;
            pDst[kZigzag[k]] = static_cast<Lum16s>(value * (1 << Al));
        } else if (r == 15) {
            k += 15;
        } else {
            int extra = 0;
            if ((st = in.GetBits(r, &extra)) != lumStsNoErr) return st;
            pState->eobRun = (1 << r) + extra - 1;  // this block is the run's first
            break;
        }
    }
    return lumStsNoErr;
}

}  // namespace lumacore::c::huffman

#endif
