// Intra block decoding: DC and AC prediction from the caller's prediction buffers, coefficient decoding,
// inverse quantisation, inverse DCT and the update of the buffers.
//
// Buffers, as positioned by the caller for the current block:
//   row[0]    reconstructed DC of the block above      row[1..7] first-row levels of the block above
//   row[-8]   reconstructed DC of the block to the left
//   col[0]    reconstructed DC of the block above-left col[1..7] first-column levels of the left block
// A negative DC marks that neighbour as unavailable. pQpBuf[0] and pQpBuf[1] are the quantisers of the
// macroblocks to the left and above.
//
// On a bitstream error nothing is written (block, buffers); the bit position is left after the intra DC
// when the DC was decoded, else where it stood.
#include <bit>
#include <cstdint>
#include <cstring>

#include "jpeg/idct.h"
#include "lumacore/lumacore.h"
#include "mpeg4/bitreader.h"
#include "mpeg4/block_common.h"
#include "mpeg4/block_decode.h"
#include "mpeg4/vlc_tables.h"

namespace lumacore::c {
namespace {

using mpeg4::BitReader;
using mpeg4::Clamp;
using mpeg4::ClampCoef;

bool IsChroma(int blockIndex) {
    return blockIndex == 4 || blockIndex == 5;
}

// ISO/IEC 14496-2 Table 7-1.
int DcScaler(int blockIndex, int qp) {
    if (IsChroma(blockIndex)) {
        if (qp <= 4) return 8;
        if (qp <= 24) return (qp + 13) / 2;
        return qp - 6;
    }
    if (qp <= 4) return 8;
    if (qp <= 8) return 2 * qp;
    if (qp <= 24) return qp + 8;
    return 2 * qp - 16;
}

// dct_dc_size and dct_dc_differential, with the marker after differentials longer than 8 bits.
LumStatus DecodeDcDifferential(BitReader& bits, bool chroma, int* diff) {
    const mpeg4::SmallEntry& e = mpeg4::LookupDcSize(chroma, bits.Peek(mpeg4::kLookupBits));
    if (e.length == 0) return lumStsMP4DCCodeErr;
    bits.Skip(e.length);
    const int size = e.value;
    int value = 0;
    if (size > 0) {
        const int raw = static_cast<int>(bits.Read(size));
        value = (raw >> (size - 1)) != 0 ? raw : raw - ((1 << size) - 1);
        if (size > 8 && bits.Read(1) == 0) return lumStsMP4DCCodeErr;
    }
    *diff = value;
    return lumStsNoErr;
}

// A neighbour's stored level rescaled from its quantiser to the current one, halves away from zero.
int ScaleAcPrediction(int stored, int predQp, int curQp) {
    if (predQp == curQp || stored == 0) return stored;
    if (stored > 0) return (stored * predQp + curQp / 2) / curQp;
    return (stored * predQp - curQp / 2) / curQp;
}

// The DC from its differential and predictor, stored in the prediction buffers for the neighbours.
int ReconstructDc(int dcDiff, int dcPredictor, int blockIndex, int curQp, Lum16s* row, Lum16s* col) {
    const int scaler = DcScaler(blockIndex, curQp);
    const int quantDc = ClampCoef(dcDiff + (dcPredictor + scaler / 2) / scaler);
    const int dc = ClampCoef(quantDc * scaler);
    if (blockIndex == 1) {
        const Lum16s t = col[8];
        col[8] = row[-16];
        row[-16] = t;
        col[0] = row[0];
        row[0] = static_cast<Lum16s>(dc);
    } else if (blockIndex == 3) {
        col[0] = static_cast<Lum16s>(dc);
    } else {
        col[0] = row[0];
        row[0] = static_cast<Lum16s>(dc);
    }
    return dc;
}

// The inverse DCT of a lone DC, (DC + 4) >> 3, clamped to a sample, in all 64 places.
void StoreFlat(int dc, Lum8u* pDst, int dstStep) {
    const Lum8u flat = static_cast<Lum8u>(dc < -4 ? 0 : (dc >= 2044 ? 255 : (dc + 4) >> 3));
    for (int y = 0; y < 8; ++y) std::memset(pDst + static_cast<std::ptrdiff_t>(y) * dstStep, flat, 8);
}

}  // namespace
}  // namespace lumacore::c

namespace lumacore::mpeg4 {

LumStatus DecodeIntraBlock(const Lum8u** ppBitStream, int* pBitOffset, Lum8u* pDst, int dstStep, Lum16s* row,
                           Lum16s* col, Lum8u curQpByte, Lum8u* pQpBuf, const Lum8u* pQMatrix, int blockIndex,
                           int intraDcVlc, int acPredFlag, bool codedAc, InverseDctFn idct) {
    using c::DecodeDcDifferential;
    using c::IsChroma;
    using c::ScaleAcPrediction;
    if (ppBitStream == nullptr || pBitOffset == nullptr || pDst == nullptr || *ppBitStream == nullptr)
        return lumStsNullPtrErr;
    if (*pBitOffset < 0 || *pBitOffset > 7) return lumStsMP4BitOffsetErr;
    if (dstStep <= 0) return lumStsStepErr;
    if (pQpBuf == nullptr || row == nullptr || col == nullptr) return lumStsNullPtrErr;
    if (blockIndex < 0 || blockIndex > 9) return lumStsMP4BlockIdxErr;
    const int curQp = curQpByte;
    if (curQp < 1 || curQp > 31) return lumStsMP4QPErr;

    // Prediction direction from the gradients of the neighbouring DCs (7.4.3).
    const int dcLeft = row[-8], dcAboveLeft = col[0], dcAbove = row[0];
    const int a = dcLeft < 0 ? 1024 : dcLeft;
    const int b = dcAboveLeft < 0 ? 1024 : dcAboveLeft;
    const int c = dcAbove < 0 ? 1024 : dcAbove;
    const int gradLeft = a - b < 0 ? b - a : a - b;
    const int gradAbove = b - c < 0 ? c - b : b - c;
    const bool fromAbove = gradLeft < gradAbove;
    const int dcPredictor = fromAbove ? c : a;

    const bool useAcPred = acPredFlag != 0 && (fromAbove ? dcAbove : dcLeft) >= 0;
    int predQp = curQp;
    if (useAcPred) {
        // The blocks above 2 and 3 and left of 1 and 3 lie in this macroblock and share its quantiser.
        if (fromAbove && blockIndex != 2 && blockIndex != 3) predQp = pQpBuf[1];
        if (!fromAbove && blockIndex != 1 && blockIndex != 3) predQp = pQpBuf[0];
        if (predQp < 1 || predQp > 31) return lumStsMP4QPErr;
    }
    const uint8_t* scan = acPredFlag == 0 ? mpeg4::kZigzagScan.data()
                          : fromAbove     ? mpeg4::kAlternateHorizontalScan.data()
                                          : mpeg4::kAlternateVerticalScan.data();

    BitReader bits(*ppBitStream, *pBitOffset);
    int dcDiff = 0;
    if (intraDcVlc != 0) {
        const LumStatus st = DecodeDcDifferential(bits, IsChroma(blockIndex), &dcDiff);
        if (st != lumStsNoErr) return st;
    }
    if (!codedAc && !useAcPred && pQMatrix == nullptr) {
        // The usual uncoded block: no AC coefficient at all, so the neighbours get zero levels and the
        // block is flat.
        bits.Commit(ppBitStream, pBitOffset);
        std::memset(row + 1, 0, 7 * sizeof(Lum16s));
        std::memset(col + 1, 0, 7 * sizeof(Lum16s));
        c::StoreFlat(c::ReconstructDc(dcDiff, dcPredictor, blockIndex, curQp, row, col), pDst, dstStep);
        return lumStsNoErr;
    }
    Lum16s levels[64] = {};
    uint64_t nonZero = 0;  // bit p: levels[p] is not 0
    if (codedAc) {
        BitReader afterDc = bits;
        const LumStatus st = mpeg4::DecodeTcoef(bits, true, scan, intraDcVlc != 0 ? 1 : 0, levels, &nonZero);
        if (st != lumStsNoErr) {
            if (intraDcVlc != 0) afterDc.Commit(ppBitStream, pBitOffset);
            return st;
        }
        if (intraDcVlc == 0) dcDiff = levels[0];
        nonZero &= ~uint64_t{1};  // position 0 is the DC, reconstructed below
    }
    bits.Commit(ppBitStream, pBitOffset);

    // AC prediction of the first row or column, then the levels this block leaves for its neighbours.
    if (useAcPred) {
        for (int k = 1; k < 8; ++k) {
            const int pos = fromAbove ? k : 8 * k;
            const int stored = fromAbove ? row[k] : col[k];
            const int level = ClampCoef(levels[pos] + ScaleAcPrediction(stored, predQp, curQp));
            levels[pos] = static_cast<Lum16s>(level);
            const uint64_t bit = uint64_t{1} << pos;
            nonZero = level != 0 ? nonZero | bit : nonZero & ~bit;
        }
    }
    for (int k = 1; k < 8; ++k) row[k] = levels[k];
    for (int k = 1; k < 8; ++k) col[k] = levels[8 * k];

    const int dc = c::ReconstructDc(dcDiff, dcPredictor, blockIndex, curQp, row, col);

    // Inverse quantisation of the AC coefficients.
    Lum16s block[64];
    if (pQMatrix == nullptr) {
        if (nonZero == 0) {
            c::StoreFlat(dc, pDst, dstStep);
            return lumStsNoErr;
        }
        std::memset(block, 0, sizeof block);
        const int twoQp = 2 * curQp, qpTerm = curQp - ((curQp & 1) == 0 ? 1 : 0);
        for (uint64_t m = nonZero; m != 0; m &= m - 1) {
            const int p = std::countr_zero(m);
            block[p] = mpeg4::DequantH263NonZero(levels[p], twoQp, qpTerm);
        }
        block[0] = static_cast<Lum16s>(dc);
        mpeg4::InverseDctSparse(block, nonZero | 1, idct);
    } else {
        int coef[64];
        coef[0] = dc;
        for (int i = 1; i < 64; ++i) coef[i] = ClampCoef(levels[i] * pQMatrix[i] * curQp / 8);
        mpeg4::MismatchControl(coef);
        for (int i = 0; i < 64; ++i) block[i] = static_cast<Lum16s>(coef[i]);
        idct(block);
    }
    for (int y = 0; y < 8; ++y) {
        Lum8u* out = pDst + static_cast<std::ptrdiff_t>(y) * dstStep;
        for (int x = 0; x < 8; ++x) out[x] = static_cast<Lum8u>(Clamp(block[8 * y + x], 0, 255));
    }
    return lumStsNoErr;
}

}  // namespace lumacore::mpeg4

namespace lumacore::c {

LumStatus lumiDecodeBlockCoef_Intra_MPEG4_1u8u(const Lum8u** ppBitStream, int* pBitOffset, Lum8u* pDst,
                                               int dstStep, Lum16s* pCoefBufRow, Lum16s* pCoefBufCol,
                                               Lum8u curQp, Lum8u* pQpBuf, const Lum8u* pQMatrix,
                                               int blockIndex, int intraDcVlc, int acPredFlag) {
    return mpeg4::DecodeIntraBlock(ppBitStream, pBitOffset, pDst, dstStep, pCoefBufRow, pCoefBufCol, curQp,
                                   pQpBuf, pQMatrix, blockIndex, intraDcVlc, acPredFlag, true,
                                   &InverseDct8x8);
}

// An intra block whose pattern bit is clear: only its DC differential is coded (or nothing, when the DC
// is not coded separately). AC prediction still applies: with ac_pred_flag set the predicted first row or
// column becomes the block's AC coefficients, as for a coded block without AC events.
LumStatus lumiDecodeBlockCoef_IntraDCOnly_MPEG4_1u8u(const Lum8u** ppBitStream, int* pBitOffset, Lum8u* pDst,
                                                     int dstStep, Lum16s* pCoefBufRow, Lum16s* pCoefBufCol,
                                                     Lum8u curQp, Lum8u* pQpBuf, const Lum8u* pQMatrix,
                                                     int blockIndex, int intraDcVlc, int acPredFlag) {
    return mpeg4::DecodeIntraBlock(ppBitStream, pBitOffset, pDst, dstStep, pCoefBufRow, pCoefBufCol, curQp,
                                   pQpBuf, pQMatrix, blockIndex, intraDcVlc, acPredFlag, false,
                                   &InverseDct8x8);
}

}  // namespace lumacore::c
