// Huffman encoding of one 8x8 block: baseline (T.81 F.1.2) and the four progressive scan kinds (G.1.2).
//
// Every encoder takes bFlush: a flush call puts out what the scan still holds back, pads the last byte
// with 1-bits and clears the state; its block argument is not used.
#include "jpeg/huffman_bitwriter.h"
#include "jpeg/huffman_progressive.h"

namespace lumacore::c {

using huffman::BitWriter;
using huffman::kZigzag;

namespace {

// The code of (run << 4) | size category of `v`, then the category's extra bits (for a negative value
// the low bits of v - 1). An AC symbol has four bits for the category, so the AC value -32768
// (category 16) cannot be coded; a DC difference may reach category 16.
LumStatus PutValue(BitWriter& out, const LumiEncodeHuffmanSpec* table, int run, int v, int maxSize) {
    const int size = huffman::BitLength(static_cast<uint32_t>(v < 0 ? -v : v));
    if (size > maxSize) return lumStsJpegCoefRangeErr;
    LumStatus st = out.PutSymbol(table, (run << 4) | size);
    if (st == lumStsNoErr && size > 0) st = out.Put(static_cast<uint32_t>(v < 0 ? v - 1 : v), size);
    return st;
}

// Puts out what the scan holds back (`pending`, given the writer), pads, then clears the state whatever
// happened. A failure to put out the pending part is reported even when the padding fits.
template <typename Pending>
LumStatus Flush(Lum8u* pDst, int dstLen, int* pDstPos, LumiEncodeHuffmanState* pState, Pending pending) {
    LumStatus st, padding;
    {
        BitWriter out(pDst, dstLen, pDstPos, pState);
        st = pending(out);
        padding = out.PutPadding();
    }
    huffman::ResetEncoderState(pState);
    return padding != lumStsNoErr ? padding : st;
}

LumStatus FlushPadding(Lum8u* pDst, int dstLen, int* pDstPos, LumiEncodeHuffmanState* pState) {
    return Flush(pDst, dstLen, pDstPos, pState, [](BitWriter&) { return lumStsNoErr; });
}

// The checks every encoder starts with: the output, its size, the position and the state.
inline LumStatus CheckOutput(const Lum8u* pDst, int dstLen, const int* pDstPos,
                             const LumiEncodeHuffmanState* pState) {
    if (pDst == nullptr) return lumStsNullPtrErr;
    if (dstLen <= 0) return lumStsSizeErr;
    if (pDstPos == nullptr || pState == nullptr) return lumStsNullPtrErr;
    return lumStsNoErr;
}

}  // namespace

LumStatus lumiEncodeHuffman8x8_JPEG_16s1u_C1(const Lum16s* pSrc, Lum8u* pDst, int dstLen, int* pDstPos,
                                             Lum16s* pLastDC, const LumiEncodeHuffmanSpec* pDcTable,
                                             const LumiEncodeHuffmanSpec* pAcTable,
                                             LumiEncodeHuffmanState* pState, int bFlush) {
    if (pDst == nullptr) return lumStsNullPtrErr;
    if (dstLen <= 0) return lumStsSizeErr;
    if (pDstPos == nullptr || pState == nullptr) return lumStsNullPtrErr;
    if (*pDstPos < 0) return lumStsBadArgErr;
    if (bFlush) return FlushPadding(pDst, dstLen, pDstPos, pState);
    if (pSrc == nullptr || pLastDC == nullptr || pDcTable == nullptr || pAcTable == nullptr)
        return lumStsNullPtrErr;

    BitWriter out(pDst, dstLen, pDstPos, pState);
    // The difference is kept in int: 16-bit predictors and values differ by up to 65535 (category 16).
    const int diff = pSrc[0] - *pLastDC;
    *pLastDC = pSrc[0];
    LumStatus st = PutValue(out, pDcTable, 0, diff, 16);
    if (st != lumStsNoErr) return st;

    int run = 0;
    for (int k = 1; k <= 63; ++k) {
        const int v = pSrc[kZigzag[k]];
        if (v == 0) {
            ++run;
            continue;
        }
        for (; run > 15; run -= 16)
            if ((st = out.PutSymbol(pAcTable, 0xF0)) != lumStsNoErr) return st;
        if ((st = PutValue(out, pAcTable, run, v, 15)) != lumStsNoErr) return st;
        run = 0;
    }
    if (run > 0) st = out.PutSymbol(pAcTable, 0x00);
    return st;
}

LumStatus lumiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1(const Lum16s* pSrc, Lum8u* pDst, int dstLen,
                                                     int* pDstPos, Lum16s* pLastDC, int Al,
                                                     const LumiEncodeHuffmanSpec* pDcTable,
                                                     LumiEncodeHuffmanState* pState, int bFlush) {
    if (const LumStatus st = CheckOutput(pDst, dstLen, pDstPos, pState); st != lumStsNoErr) return st;
    if (huffman::BadBitPosition(Al) || *pDstPos < 0) return lumStsBadArgErr;
    if (bFlush) return FlushPadding(pDst, dstLen, pDstPos, pState);
    if (pSrc == nullptr || pLastDC == nullptr || pDcTable == nullptr) return lumStsNullPtrErr;

    BitWriter out(pDst, dstLen, pDstPos, pState);
    // The predictor holds the previous block's DC already scaled down by Al.
    const int value = pSrc[0] >> Al;
    const int diff = value - *pLastDC;
    *pLastDC = static_cast<Lum16s>(value);
    return PutValue(out, pDcTable, 0, diff, 11);
}

LumStatus lumiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1(const Lum16s* pSrc, Lum8u* pDst, int dstLen,
                                                      int* pDstPos, int Al, LumiEncodeHuffmanState* pState,
                                                      int bFlush) {
    if (const LumStatus st = CheckOutput(pDst, dstLen, pDstPos, pState); st != lumStsNoErr) return st;
    if (huffman::BadBitPosition(Al) || *pDstPos < 0) return lumStsBadArgErr;
    if (bFlush) return FlushPadding(pDst, dstLen, pDstPos, pState);
    if (pSrc == nullptr) return lumStsNullPtrErr;

    BitWriter out(pDst, dstLen, pDstPos, pState);
    return out.Put(static_cast<uint32_t>(pSrc[0] >> Al) & 1u, 1);
}

LumStatus lumiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(const Lum16s* pSrc, Lum8u* pDst, int dstLen,
                                                     int* pDstPos, int Ss, int Se, int Al,
                                                     const LumiEncodeHuffmanSpec* pAcTable,
                                                     LumiEncodeHuffmanState* pState, int bFlush) {
    if (const LumStatus st = CheckOutput(pDst, dstLen, pDstPos, pState); st != lumStsNoErr) return st;
    if (pAcTable == nullptr) return lumStsNullPtrErr;
    if (huffman::BadSpectralRange(Ss, Se, Al) || *pDstPos < 0) return lumStsBadArgErr;
    if (bFlush) {
        return Flush(pDst, dstLen, pDstPos, pState, [&](BitWriter& out) {
            huffman::EncodeSink sink(out, pAcTable);
            return huffman::PutEobRun(sink, pState);
        });
    }
    if (pSrc == nullptr) return lumStsNullPtrErr;

    BitWriter out(pDst, dstLen, pDstPos, pState);
    huffman::EncodeSink sink(out, pAcTable);
    return huffman::CodeAcFirst(sink, pSrc, Ss, Se, Al, pState);
}

LumStatus lumiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1(const Lum16s* pSrc, Lum8u* pDst, int dstLen,
                                                      int* pDstPos, int Ss, int Se, int Al,
                                                      const LumiEncodeHuffmanSpec* pAcTable,
                                                      LumiEncodeHuffmanState* pState, int bFlush) {
    if (const LumStatus st = CheckOutput(pDst, dstLen, pDstPos, pState); st != lumStsNoErr) return st;
    if (pAcTable == nullptr) return lumStsNullPtrErr;
    if (huffman::BadSpectralRange(Ss, Se, Al) || *pDstPos < 0) return lumStsBadArgErr;
    if (bFlush) {
        return Flush(pDst, dstLen, pDstPos, pState, [&](BitWriter& out) {
            huffman::EncodeSink sink(out, pAcTable);
            LumStatus st = huffman::PutEobRunWithBits(sink, pState);
            // Correction bits without a run are not built up by this coder; they go out all the same.
            if (st == lumStsNoErr) st = huffman::PutCorrectionBits(sink, pState->corrBits, pState->nCorrBits);
            return st;
        });
    }
    if (pSrc == nullptr) return lumStsNullPtrErr;

    BitWriter out(pDst, dstLen, pDstPos, pState);
    huffman::EncodeSink sink(out, pAcTable);
    return huffman::CodeAcRefine(sink, pSrc, Ss, Se, Al, pState);
}

}  // namespace lumacore::c
