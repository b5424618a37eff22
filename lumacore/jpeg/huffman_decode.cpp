// Huffman decoding of one 8x8 block: baseline (T.81 F.2.2) and the four progressive scan kinds (G.2).
//
// Coefficients are 16-bit in natural order. Arithmetic runs in int and is narrowed to 16 bits when it is
// stored, so a hostile stream wraps values instead of overflowing.
#include <cstring>

#include "jpeg/huffman_bitreader.h"
#include "jpeg/huffman_first_scans.h"

namespace lumacore::c {

using huffman::BitReader;
using huffman::kZigzag;

LumStatus lumiDecodeHuffman8x8_JPEG_1u16s_C1(const Lum8u* pSrc, int srcLen, int* pSrcPos, Lum16s* pDst,
                                             Lum16s* pLastDC, int* pMarker,
                                             const LumiDecodeHuffmanSpec* pDcTable,
                                             const LumiDecodeHuffmanSpec* pAcTable,
                                             LumiDecodeHuffmanState* pState) {
    if (pSrc == nullptr) return lumStsNullPtrErr;
    if (srcLen < 0) return lumStsBadArgErr;
    if (pSrcPos == nullptr || pDst == nullptr || pLastDC == nullptr || pMarker == nullptr ||
        pDcTable == nullptr || pAcTable == nullptr || pState == nullptr)
        return lumStsNullPtrErr;
    if (*pSrcPos < 0) return lumStsBadArgErr;

    std::memset(pDst, 0, 64 * sizeof(Lum16s));
    BitReader in(pSrc, srcLen, pSrcPos, pMarker, pState);

    int symbol, value;
    LumStatus st = in.DecodeSymbol(pDcTable, &symbol);
    if (st != lumStsNoErr) return st;
    const int s = symbol & 15;
    if (s > 0) {
        if ((st = in.Receive(s, &value)) != lumStsNoErr) return st;
        *pLastDC = static_cast<Lum16s>(*pLastDC + value);
    }
    pDst[0] = *pLastDC;

    for (int k = 1; k <= 63;) {
        if ((st = in.DecodeSymbol(pAcTable, &symbol)) != lumStsNoErr) return st;
        const int r = symbol >> 4, size = symbol & 15;
        if (size > 0) {
            k += r;
            if ((st = in.Receive(size, &value)) != lumStsNoErr) return st;
            pDst[kZigzag[k]] = static_cast<Lum16s>(value);
            ++k;
        } else if (r == 15) {
            k += 16;
        } else {
            break;  // end of block
        }
    }
    return lumStsNoErr;
}

LumStatus lumiDecodeHuffman8x8_DCFirst_JPEG_1u16s_C1(const Lum8u* pSrc, int srcLen, int* pSrcPos,
                                                     Lum16s* pDst, Lum16s* pLastDC, int* pMarker, int Al,
                                                     const LumiDecodeHuffmanSpec* pDcTable,
                                                     LumiDecodeHuffmanState* pState) {
    return huffman::DecodeDcFirst<false>(pSrc, srcLen, pSrcPos, pDst, pLastDC, pMarker, Al, pDcTable, pState);
}

LumStatus lumiDecodeHuffman8x8_DCRefine_JPEG_1u16s_C1(const Lum8u* pSrc, int srcLen, int* pSrcPos,
                                                      Lum16s* pDst, int* pMarker, int Al,
                                                      LumiDecodeHuffmanState* pState) {
    if (pSrc == nullptr || pSrcPos == nullptr || pDst == nullptr || pMarker == nullptr || pState == nullptr)
        return lumStsNullPtrErr;
    if (srcLen <= 0) return lumStsSizeErr;
    if (huffman::BadBitPosition(Al) || *pSrcPos < 0) return lumStsBadArgErr;

    BitReader in(pSrc, srcLen, pSrcPos, pMarker, pState);
    int bit;
    const LumStatus st = in.GetBit(&bit);
    if (st != lumStsNoErr) return st;
    if (bit) pDst[0] = static_cast<Lum16s>(pDst[0] | (1 << Al));
    return lumStsNoErr;
}

LumStatus lumiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(const Lum8u* pSrc, int srcLen, int* pSrcPos,
                                                     Lum16s* pDst, int* pMarker, int Ss, int Se, int Al,
                                                     const LumiDecodeHuffmanSpec* pAcTable,
                                                     LumiDecodeHuffmanState* pState) {
    return huffman::DecodeAcFirst<false>(pSrc, srcLen, pSrcPos, pDst, pMarker, Ss, Se, Al, pAcTable, pState);
}

namespace {

// One correction bit for an already significant coefficient: a 1 moves it one step of the current bit
// position away from zero, unless that bit is set already.
inline LumStatus Correct(BitReader& in, Lum16s* coef, int plus) {
    int bit;
    const LumStatus st = in.GetBit(&bit);
    if (st != lumStsNoErr) return st;
    if (bit && (*coef & plus) == 0) *coef = static_cast<Lum16s>(*coef >= 0 ? *coef + plus : *coef - plus);
    return lumStsNoErr;
}

}  // namespace

LumStatus lumiDecodeHuffman8x8_ACRefine_JPEG_1u16s_C1(const Lum8u* pSrc, int srcLen, int* pSrcPos,
                                                      Lum16s* pDst, int* pMarker, int Ss, int Se, int Al,
                                                      const LumiDecodeHuffmanSpec* pAcTable,
                                                      LumiDecodeHuffmanState* pState) {
    if (pSrc == nullptr || pSrcPos == nullptr || pDst == nullptr || pMarker == nullptr ||
        pAcTable == nullptr || pState == nullptr)
        return lumStsNullPtrErr;
    if (huffman::BadSpectralRange(Ss, Se, Al) || *pSrcPos < 0) return lumStsBadArgErr;

    const int plus = 1 << Al;
    BitReader in(pSrc, srcLen, pSrcPos, pMarker, pState);
    LumStatus st;
    int k = Ss;
    if (pState->eobRun == 0) {
        for (; k <= Se; ++k) {
            int symbol;
            if ((st = in.DecodeSymbol(pAcTable, &symbol)) != lumStsNoErr) return st;
            int r = symbol >> 4;
            int newValue = 0;  // the newly significant coefficient, if the symbol brings one
            if ((symbol & 15) != 0) {
                // Any size but 1 is invalid here; it is read as 1 like the valid symbol.
                int sign;
                if ((st = in.GetBit(&sign)) != lumStsNoErr) return st;
                newValue = sign ? plus : -plus;
            } else if (r != 15) {
                int extra = 0;
                if ((st = in.GetBits(r, &extra)) != lumStsNoErr) return st;
                pState->eobRun = (1 << r) + extra;
                break;  // the rest of the band is handled as part of the run
            }
            // Skip r zero-history coefficients (16 for a ZRL), correcting the significant ones passed.
            for (; k <= Se; ++k) {
                Lum16s* coef = &pDst[kZigzag[k]];
                if (*coef != 0) {
                    if ((st = Correct(in, coef, plus)) != lumStsNoErr) return st;
                } else if (--r < 0) {
                    break;
                }
            }
            if (newValue != 0) pDst[kZigzag[k]] = static_cast<Lum16s>(newValue);
        }
    }
    if (pState->eobRun > 0) {
        // Inside an end-of-band run only the significant coefficients carry (correction) bits.
        for (; k <= Se; ++k) {
            Lum16s* coef = &pDst[kZigzag[k]];
            if (*coef != 0 && (st = Correct(in, coef, plus)) != lumStsNoErr) return st;
        }
        --pState->eobRun;
    }
    return lumStsNoErr;
}

}  // namespace lumacore::c
