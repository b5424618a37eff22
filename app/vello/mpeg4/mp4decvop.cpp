// VOP decoding: the macroblock layer of I- and P-VOPs, the intra prediction stores, the motion vector
// store and the two-picture store. Block work (coefficients, prediction, IDCT, motion vectors and
// compensation, border padding) is done by the Lumacore primitives.
//
// Intra prediction stores. The primitives take, per block, a row pointer R and a column pointer C:
//   R[0] DC of the block above, R[-8] DC of the block to the left, R[1..7] first row of the block above;
//   C[0] DC of the block above-left, C[1..7] first column of the block to the left.
// The row stores hold 8 entries per 8-sample block column of the picture, after one leading slot that
// stands for the column left of the picture. The luma left store holds two column buffers (entries
// 0..7 for blocks 0 and 1, 8..15 for blocks 2 and 3). Block 3's DC goes to the bottom column buffer
// and reaches the row store only when the next macroblock's block 1 exchanges it (or the row ends, or
// the next macroblock is not intra): until then the row store keeps block 1's DC, which the next
// macroblock's block 0 needs as its left neighbour.
#include <algorithm>
#include <array>
#include <utility>

#include "vello/mpeg4/mp4dec.h"

namespace vello::mpeg4 {

namespace {

// Use the intra DC VLC while the quantiser is below the threshold of intra_dc_vlc_thr.
constexpr int kIntraDcThreshold[8] = {512, 13, 15, 17, 19, 21, 23, 0};
constexpr int kDquant[4] = {-1, -2, 1, 2};

struct McbpcEntry {
    std::int8_t type;  // 0..4; 5 stuffing
    std::int8_t cbpc;
    std::int8_t length;  // 0: no such code
};

struct CbpyEntry {
    std::int8_t value;
    std::int8_t length;
};

struct VlcCode {
    int type;
    int cbpc;
    unsigned code;
    int length;
};

// P-VOP MCBPC (ISO/IEC 14496-2 Table B-7), by macroblock type and CBPC; type 5 is stuffing.
constexpr VlcCode kPMcbpcCodes[] = {
    {0, 0, 0b1, 1},         {0, 1, 0b0011, 4},      {0, 2, 0b0010, 4},      {0, 3, 0b000101, 6},
    {1, 0, 0b011, 3},       {1, 1, 0b0000111, 7},   {1, 2, 0b0000110, 7},   {1, 3, 0b000000101, 9},
    {2, 0, 0b010, 3},       {2, 1, 0b0000101, 7},   {2, 2, 0b0000100, 7},   {2, 3, 0b00000101, 8},
    {3, 0, 0b00011, 5},     {3, 1, 0b00000100, 8},  {3, 2, 0b00000011, 8},  {3, 3, 0b0000011, 7},
    {4, 0, 0b000100, 6},    {4, 1, 0b000000100, 9}, {4, 2, 0b000000011, 9}, {4, 3, 0b000000010, 9},
    {5, 0, 0b000000001, 9},
};

// CBPY for intra macroblocks (Table B-8), by value; inter macroblocks take 15 minus the value.
constexpr std::pair<unsigned, int> kCbpyCodes[16] = {
    {0b0011, 4},   {0b00101, 5}, {0b00100, 5}, {0b1001, 4},   {0b00011, 5}, {0b0111, 4},
    {0b000010, 6}, {0b1011, 4},  {0b00010, 5}, {0b000011, 6}, {0b0101, 4},  {0b1010, 4},
    {0b0100, 4},   {0b1000, 4},  {0b0110, 4},  {0b11, 2},
};

constexpr std::array<McbpcEntry, 512> BuildPMcbpc() {
    std::array<McbpcEntry, 512> t{};
    for (const VlcCode& c : kPMcbpcCodes) {
        const unsigned first = c.code << (9 - c.length);
        const unsigned count = 1u << (9 - c.length);
        for (unsigned i = 0; i < count; ++i) {
            t[first + i] = McbpcEntry{static_cast<std::int8_t>(c.type), static_cast<std::int8_t>(c.cbpc),
                                      static_cast<std::int8_t>(c.length)};
        }
    }
    return t;
}

constexpr std::array<CbpyEntry, 64> BuildCbpy() {
    std::array<CbpyEntry, 64> t{};
    for (int v = 0; v < 16; ++v) {
        const unsigned first = kCbpyCodes[v].first << (6 - kCbpyCodes[v].second);
        const unsigned count = 1u << (6 - kCbpyCodes[v].second);
        for (unsigned i = 0; i < count; ++i) {
            t[first + i] =
                CbpyEntry{static_cast<std::int8_t>(v), static_cast<std::int8_t>(kCbpyCodes[v].second)};
        }
    }
    return t;
}

constexpr std::array<McbpcEntry, 512> kPMcbpc = BuildPMcbpc();
constexpr std::array<CbpyEntry, 64> kCbpy = BuildCbpy();

// Decodes the I-VOP MCBPC (Table B-6) from a 9-bit look-ahead: type 3 or 4, or stuffing (type 5).
McbpcEntry DecodeIMcbpc(unsigned v) {
    if (v >= 64) {
        const int c = static_cast<int>(v >> 6);
        return c >= 4 ? McbpcEntry{3, 0, 1} : McbpcEntry{3, static_cast<std::int8_t>(c), 3};
    }
    const int c = static_cast<int>(v >> 3);
    if (c >= 4) return McbpcEntry{4, 0, 4};
    if (c >= 1) return McbpcEntry{4, static_cast<std::int8_t>(c), 6};
    if (v == 1) return McbpcEntry{5, 0, 9};
    return McbpcEntry{0, 0, 0};
}

// Vectors read for a neighbour that is not available (outside the picture or the video packet).
constexpr LumMotionVector kZeroVectors[4] = {};
// A neighbour's availability flag by whether it is available, and the current macroblock's block flags
// (rectangular VOPs have no transparent blocks).
alignas(4) constexpr Lum32s kAvailable[2] = {0, 1};
alignas(4) constexpr Lum8u kAllBlocksPresent[4] = {1, 1, 1, 1};

// `mv` (half samples) of the block of `size` samples at (x, y), limited to `rect` as
// lumiLimitMVToRect_MPEG4 limits it. Limiting leaves a vector whose block lies inside the rectangle as it
// is, and most do: those are answered here without the call. False when the primitive fails.
bool LimitVector(LumMotionVector mv, LumMotionVector* out, const LumiRect& rect, int x, int y, int size) {
    // In half samples from the rectangle's first allowed position: inside when 0 .. 2 * (extent - size),
    // one unsigned compare per component.
    const auto fromX = static_cast<unsigned>(mv.dx + 2 * (x - rect.x));
    const auto fromY = static_cast<unsigned>(mv.dy + 2 * (y - rect.y));
    if (fromX <= static_cast<unsigned>(2 * (rect.width - size)) &&
        fromY <= static_cast<unsigned>(2 * (rect.height - size))) {
        *out = mv;
        return true;
    }
    return lumiLimitMVToRect_MPEG4(&mv, out, &rect, x, y, size) == lumStsNoErr;
}

}  // namespace

void Mpeg4Decoder::ResetPredictionStores() {
    std::fill_n(rowY_.data(), 16 + 16 * mbWidth_, Lum16s{-1});
    std::fill_n(rowCb_.data(), 8 + 8 * mbWidth_, Lum16s{-1});
    std::fill_n(rowCr_.data(), 8 + 8 * mbWidth_, Lum16s{-1});
    StartPredictionRow();
}

void Mpeg4Decoder::StartPredictionRow() {
    // Nothing to the left of the first macroblock: the leading slot and the left stores are missing.
    std::fill_n(rowY_.data(), 16, Lum16s{-1});
    std::fill_n(rowCb_.data(), 8, Lum16s{-1});
    std::fill_n(rowCr_.data(), 8, Lum16s{-1});
    std::fill_n(leftY_.data(), 16, Lum16s{-1});
    std::fill_n(leftCb_.data(), 8, Lum16s{-1});
    std::fill_n(leftCr_.data(), 8, Lum16s{-1});
}

void Mpeg4Decoder::EndPredictionRow() {
    // The last macroblock's block 3 DC has no right neighbour to move it into the row store.
    std::swap(rowY_.data()[16 + 8 * (2 * mbWidth_ - 1)], leftY_.data()[8]);
}

inline void Mpeg4Decoder::MarkNonIntraPrediction(int mbx) {
    // What the intra primitives would have done to the stores, for a macroblock with no intra blocks.
    Lum16s* const rowY = rowY_.data();
    Lum16s* const leftY = leftY_.data();
    const int c0 = 16 + 16 * mbx;       // block column 2 * mbx
    std::swap(rowY[c0 - 8], leftY[8]);  // the left macroblock's block 3 DC into the row store
    leftY[0] = rowY[c0 + 8];            // corner of the next macroblock: the block above-right
    rowY[c0] = -1;
    rowY[c0 + 8] = -1;
    leftY[8] = -1;
    const int cc = 8 + 8 * mbx;
    leftCb_.data()[0] = rowCb_.data()[cc];
    leftCr_.data()[0] = rowCr_.data()[cc];
    rowCb_.data()[cc] = -1;
    rowCr_.data()[cc] = -1;
}

void Mpeg4Decoder::NoteQuant() {
    if (stats_.minQuant == 0 || quant_ < stats_.minQuant) stats_.minQuant = quant_;
    if (quant_ > stats_.maxQuant) stats_.maxQuant = quant_;
}

void Mpeg4Decoder::ApplyDquant(int dquant) {
    quant_ = std::clamp(quant_ + kDquant[dquant & 3], 1, 31);
    ++stats_.quantiserChanges;
}

Mpeg4Status Mpeg4Decoder::CheckVideoPacket(int* packetStart, int nextMb) {
    int quantScale = 0;
    const PacketHeader found = ParseVideoPacketHeader(PacketMarkerLength(), mbNumberBits_, &quantScale);
    if (found == PacketHeader::kNone) return Mpeg4Status::kOk;
    // A packet header with a broken marker bit cannot be trusted for its quantiser or position: the VOP
    // ends here like any other macroblock-layer error.
    if (found == PacketHeader::kBrokenMarker) return Mpeg4Status::kMacroblockError;
    quant_ = quantScale;
    // No prediction crosses a packet boundary: neither intra DC/AC nor motion vectors.
    ResetPredictionStores();
    *packetStart = nextMb;
    firstCodedInPacket_ = true;
    ++stats_.videoPackets;
    return Mpeg4Status::kOk;
}

Mpeg4Status Mpeg4Decoder::DecodeVop() {
    ++stats_.vops;
    ++stats_.vopsByType[vop_.vop_coding_type & 3];
    if (!vop_.vop_coded) {
        ++stats_.vopsNotCoded;
        return Mpeg4Status::kOk;
    }
    Mpeg4Status status = Mpeg4Status::kOk;
    if (vop_.vop_coding_type == 0) {
        if (decodedAny_) {
            std::swap(current_, reference_);
            output_ = reference_;
        } else {
            output_ = nullptr;
        }
        status = DecodeIVop();
    } else if (vop_.vop_coding_type == 1) {
        std::swap(current_, reference_);
        output_ = reference_;
        if (vop_.vop_fcode_forward > stats_.maxFcodeForward) stats_.maxFcodeForward = vop_.vop_fcode_forward;
        status = DecodePVop();
    } else {
        return Mpeg4Status::kOk;  // B- and S-VOPs are passed over
    }
    decodedAny_ = true;
    current_->serial = nextSerial_++;
    current_->timeIncrement = vop_.vop_time_increment;
    if (status == Mpeg4Status::kOk) {
        // Borders for the unrestricted vectors of the next P-VOP, expanded from the picture in whole
        // macroblocks as ISO/IEC 14496-2 pads the reference (and FFmpeg does): expanding from the
        // displayed size, as some old encoders did, makes P-VOPs of other sizes drift. After an error
        // the picture keeps whatever it held and its borders are not refreshed.
        const int w = 16 * mbWidth_;
        const int h = 16 * mbHeight_;
        lumiExpandFrame_H263_8u(current_->plane[0], w, h, 16, current_->step[0]);
        lumiExpandFrame_H263_8u(current_->plane[1], w / 2, h / 2, 8, current_->step[1]);
        lumiExpandFrame_H263_8u(current_->plane[2], w / 2, h / 2, 8, current_->step[2]);
    }
    return status;
}

Mpeg4Status Mpeg4Decoder::DecodeIntraMacroblock(int mbx, int mby, int cbp, bool acPred,
                                                int quantBeforeChange) {
    // The DC VLC choice follows running_QP: the quantiser of the previous coded macroblock, or this
    // macroblock's own for the first coded one of a VOP or video packet.
    const int runningQp = firstCodedInPacket_ ? quant_ : quantBeforeChange;
    const int intraDcVlc = runningQp < kIntraDcThreshold[vop_.intra_dc_vlc_thr & 7] ? 1 : 0;
    Lum8u qp[2] = {static_cast<Lum8u>(mbx > 0 ? quantLeft_ : quant_), quantAbove_.data()[mbx]};
    PictureRecord& cur = *current_;
    // Each block's destination, step and prediction stores (see the top of this file).
    const int lumaStep = cur.step[0];
    Lum8u* const luma = cur.origin[0] + 16 * mby * lumaStep + 16 * mbx;
    Lum16s* const rowY = rowY_.data() + 16 + 16 * mbx;
    Lum16s* const leftY = leftY_.data();
    struct Block {
        Lum8u* dst;
        int step;
        Lum16s* row;
        Lum16s* col;
    };
    const Block blocks[6] = {
        {luma, lumaStep, rowY, leftY},
        {luma + 8, lumaStep, rowY + 8, leftY},
        {luma + 8 * lumaStep, lumaStep, rowY, leftY + 8},
        {luma + 8 * lumaStep + 8, lumaStep, rowY + 8, leftY + 8},
        {cur.origin[1] + 8 * mby * cur.step[1] + 8 * mbx, cur.step[1], rowCb_.data() + 8 + 8 * mbx,
         leftCb_.data()},
        {cur.origin[2] + 8 * mby * cur.step[2] + 8 * mbx, cur.step[2], rowCr_.data() + 8 + 8 * mbx,
         leftCr_.data()},
    };
    for (int b = 0; b < 6; ++b) {
        if (stream_.PastEnd()) return Mpeg4Status::kMacroblockError;
        const bool coded = (cbp >> (5 - b)) & 1;
        auto* decode =
            coded ? lumiDecodeBlockCoef_Intra_MPEG4_1u8u : lumiDecodeBlockCoef_IntraDCOnly_MPEG4_1u8u;
        const Block& k = blocks[b];
        const LumStatus st =
            decode(&stream_.pos, &stream_.bitOffset, k.dst, k.step, k.row, k.col, static_cast<Lum8u>(quant_),
                   qp, intraMatrix_, b, intraDcVlc, acPred ? 1 : 0);
        if (st != lumStsNoErr) return Mpeg4Status::kMacroblockError;
    }
    return Mpeg4Status::kOk;
}

// State every VOP starts from: no macroblock decoded, the VOP's quantiser everywhere, empty prediction
// stores, the quantiser matrices of the VOL, and the areas vectors are limited to. The vector store is not
// cleared: every macroblock of a P-VOP writes its four vectors (zeros when it has none) before a later
// one can read them as a neighbour's, and I-VOPs read none.
void Mpeg4Decoder::BeginVop() {
    quant_ = vop_.vop_quant;
    lumsSet_8u(static_cast<Lum8u>(quant_), quantAbove_.data(), mbWidth_ + 1);
    quantLeft_ = quant_;
    ResetPredictionStores();
    firstCodedInPacket_ = true;
    intraMatrix_ = vol_.quant_type ? vol_.intra_quant_mat : nullptr;
    interMatrix_ = vol_.quant_type ? vol_.nonintra_quant_mat : nullptr;
    // The padded references: 16 samples round the luma picture in whole macroblocks, 8 round the chroma.
    lumaRect_ = LumiRect{-16, -16, 16 * mbWidth_ + 32, 16 * mbHeight_ + 32};
    chromaRect_ = LumiRect{-8, -8, 8 * mbWidth_ + 16, 8 * mbHeight_ + 16};
}

Mpeg4Status Mpeg4Decoder::DecodeInterMacroblock(int mbx, int mby, int mbType, int cbp, int packetStart) {
    const int mb = mby * mbWidth_ + mbx;
    LumMotionVector* mv = mvs_.data() + 4 * mb;
    // A neighbour predicts only from inside the picture and the current video packet.
    const bool left = mbx > 0 && mb - 1 >= packetStart;
    const bool up = mby > 0 && mb - mbWidth_ >= packetStart;
    const bool upRight = mby > 0 && mbx + 1 < mbWidth_ && mb - mbWidth_ + 1 >= packetStart;
    if (stream_.PastEnd()) return Mpeg4Status::kMacroblockError;
    LumStatus st = lumiDecodePadMV_PVOP_MPEG4(
        &stream_.pos, &stream_.bitOffset, left ? mv - 4 : kZeroVectors, up ? mv - 4 * mbWidth_ : kZeroVectors,
        upRight ? mv - 4 * mbWidth_ + 4 : kZeroVectors, mv, &kAvailable[left], &kAvailable[up],
        &kAvailable[upRight], kAllBlocksPresent, vop_.vop_fcode_forward, mbType);
    if (st != lumStsNoErr) {
        VELLO_REPORT(config_.report, "Error: when decode motion vector.");
        return Mpeg4Status::kMacroblockError;
    }

    // The stored vectors stay as decoded (they predict later ones); compensation uses them limited to
    // the padded reference.
    const bool fourVectors = mbType == 2;
    LumMotionVector limited[4];
    if (fourVectors) {
        for (int i = 0; i < 4; ++i) {
            if (!LimitVector(mv[i], &limited[i], lumaRect_, 16 * mbx + 8 * (i & 1), 16 * mby + 8 * (i >> 1),
                             8))
                return Mpeg4Status::kMacroblockError;
        }
    } else {
        if (!LimitVector(mv[0], &limited[0], lumaRect_, 16 * mbx, 16 * mby, 16))
            return Mpeg4Status::kMacroblockError;
        limited[1] = limited[2] = limited[3] = limited[0];
    }

    const PictureRecord& ref = *reference_;
    PictureRecord& cur = *current_;
    const int rounding = vop_.vop_rounding_type;
    const int step = cur.step[0];
    const int offset = 16 * mby * step + 16 * mbx;
    if ((cbp >> 2) == 0 && !fourVectors) {
        st = lumiCopyMBHalfpel_MPEG4_8u(ref.origin[0] + offset, step, cur.origin[0] + offset, step,
                                        &limited[0], rounding);
        if (st != lumStsNoErr) return Mpeg4Status::kMacroblockError;
    } else {
        for (int i = 0; i < 4; ++i) {
            const int o = offset + 8 * (i >> 1) * step + 8 * (i & 1);
            if ((cbp >> (5 - i)) & 1) {
                if (stream_.PastEnd()) return Mpeg4Status::kMacroblockError;
                st = lumiDecodeBlockCoef_Inter_MPEG4_1u16s(&stream_.pos, &stream_.bitOffset, residual_.data(),
                                                           quant_, interMatrix_);
                if (st != lumStsNoErr) return Mpeg4Status::kMacroblockError;
                st = lumiReconBlockHalfpel_MPEG4_8u(ref.origin[0] + o, step, residual_.data(),
                                                    cur.origin[0] + o, step, &limited[i], rounding);
            } else {
                st = lumiCopyBlockHalfpel_MPEG4_8u(ref.origin[0] + o, step, cur.origin[0] + o, step,
                                                   &limited[i], rounding);
            }
            if (st != lumStsNoErr) return Mpeg4Status::kMacroblockError;
        }
    }

    // Chroma: one vector from the decoded luma vectors, limited to the chroma reference area. A single
    // zero vector gives a zero chroma vector.
    LumMotionVector chroma{};
    if (fourVectors) {
        st = lumiComputeChroma4MV_MPEG4(mv, &chroma, kAllBlocksPresent);
    } else if (mv[0].dx != 0 || mv[0].dy != 0) {
        st = lumiComputeChromaMV_MPEG4(&mv[0], &chroma);
    }
    if (st != lumStsNoErr) return Mpeg4Status::kMacroblockError;
    LumMotionVector chromaLimited;
    if (!LimitVector(chroma, &chromaLimited, chromaRect_, 8 * mbx, 8 * mby, 8))
        return Mpeg4Status::kMacroblockError;
    for (int c = 1; c <= 2; ++c) {
        const int cstep = cur.step[c];
        const int o = 8 * mby * cstep + 8 * mbx;
        if ((cbp >> (2 - c)) & 1) {
            if (stream_.PastEnd()) return Mpeg4Status::kMacroblockError;
            st = lumiDecodeBlockCoef_Inter_MPEG4_1u16s(&stream_.pos, &stream_.bitOffset, residual_.data(),
                                                       quant_, interMatrix_);
            if (st != lumStsNoErr) return Mpeg4Status::kMacroblockError;
            st = lumiReconBlockHalfpel_MPEG4_8u(ref.origin[c] + o, cstep, residual_.data(), cur.origin[c] + o,
                                                cstep, &chromaLimited, rounding);
        } else {
            st = lumiCopyBlockHalfpel_MPEG4_8u(ref.origin[c] + o, cstep, cur.origin[c] + o, cstep,
                                               &chromaLimited, rounding);
        }
        if (st != lumStsNoErr) return Mpeg4Status::kMacroblockError;
    }
    return Mpeg4Status::kOk;
}

// The macroblock loop of I-VOPs (kPredicted false) and P-VOPs. Intra macroblocks take the same path in
// both; P-VOPs add not-coded and inter macroblocks.
template <bool kPredicted>
Mpeg4Status Mpeg4Decoder::DecodeMacroblocks() {
    BeginVop();
    const int total = mbWidth_ * mbHeight_;
    int packetStart = 0;
    int markerLength = PacketMarkerLength();
    int mbx = 0;
    int mby = 0;
    for (int mb = 0; mb < total;) {
        std::uint32_t header = stream_.PeekBits(32);
        // Most macroblocks are followed by the next one, not by the stuffing and resync marker of a
        // video packet: only a marker ahead reads the packet header.
        if (mb > 0 && stream_.ResyncMarkerIn(header, markerLength)) {
            const Mpeg4Status packet = CheckVideoPacket(&packetStart, mb);
            if (packet != Mpeg4Status::kOk) return packet;
            markerLength = PacketMarkerLength();  // a header extension may change the P-VOP's fcode
            header = stream_.PeekBits(32);
        }
        if (mbx == 0) StartPredictionRow();
        // The macroblock header (not_coded, MCBPC of 9 bits at most, ac_pred_flag, CBPY of 6 at most and
        // DQUANT: 19 bits) is read from one 32-bit look-ahead; `used` counts the bits taken from it.
        bool notCoded = false;
        McbpcEntry m{};
        int used = 0;
        for (;;) {
            used = 0;
            if constexpr (kPredicted) {
                used = 1;
                if ((header >> 31) != 0) {
                    notCoded = true;
                    break;
                }
                m = kPMcbpc[(header << 1) >> 23];
            } else {
                m = DecodeIMcbpc(header >> 23);
            }
            if (m.length == 0) {
                stream_.SkipBits(used);
                VELLO_REPORT(config_.report, kPredicted ? "Error: when decode mcbpc of P-VOP macroblock."
                                                        : "Error: when decode mcbpc of I-VOP macroblock.");
                return Mpeg4Status::kMacroblockError;
            }
            used += m.length;
            if (m.type != 5) break;  // stuffing: the macroblock starts again (at not_coded in a P-VOP)
            stream_.SkipBits(used);
            header = stream_.PeekBits(32);
        }
        LumMotionVector* const mv = mvs_.data() + 4 * mb;
        if (notCoded) {
            stream_.SkipBits(1);
            PictureRecord& cur = *current_;
            const PictureRecord& ref = *reference_;
            const int lumaOffset = 16 * mby * cur.step[0] + 16 * mbx;
            LumStatus st =
                lumiCopyMB_H263_8u(ref.origin[0] + lumaOffset, cur.origin[0] + lumaOffset, cur.step[0]);
            for (int c = 1; c <= 2 && st == lumStsNoErr; ++c) {
                const int o = 8 * mby * cur.step[c] + 8 * mbx;
                st = lumiCopyBlock_H263_8u(ref.origin[c] + o, cur.origin[c] + o, cur.step[c]);
            }
            if (st != lumStsNoErr) return Mpeg4Status::kMacroblockError;
            std::fill_n(mv, 4, LumMotionVector{});
            MarkNonIntraPrediction(mbx);
            ++stats_.notCodedMacroblocks;
        } else {
            const bool intra = m.type >= 3;
            const bool acPred = intra && ((header << used) >> 31) != 0;
            used += intra ? 1 : 0;
            const CbpyEntry cbpy = kCbpy[(header << used) >> 26];
            if (cbpy.length == 0) {
                stream_.SkipBits(used);
                VELLO_REPORT(config_.report, kPredicted ? "Error: when decode cbpy of P-VOP macroblock."
                                                        : "Error: when decode cbpy of I-VOP macroblock.");
                return Mpeg4Status::kMacroblockError;
            }
            used += cbpy.length;
            const int cbpyValue = intra ? cbpy.value : 15 - cbpy.value;
            const int quantBefore = quant_;
            if (m.type == 1 || m.type == 4) {
                ApplyDquant(static_cast<int>((header << used) >> 30));
                used += 2;
            }
            stream_.SkipBits(used);
            NoteQuant();
            const int cbp = (cbpyValue << 2) | m.cbpc;
            Mpeg4Status status;
            if (intra) {
                status = DecodeIntraMacroblock(mbx, mby, cbp, acPred, quantBefore);
                if constexpr (kPredicted) {
                    std::fill_n(mv, 4, LumMotionVector{});
                    ++stats_.intraMacroblocksInP;
                }
            } else {
                status = DecodeInterMacroblock(mbx, mby, m.type, cbp, packetStart);
                if (m.type == 2) ++stats_.fourVectorMacroblocks;
                MarkNonIntraPrediction(mbx);
            }
            if (status != Mpeg4Status::kOk) return status;
            firstCodedInPacket_ = false;
        }
        quantAbove_.data()[mbx] = static_cast<Lum8u>(quant_);
        quantLeft_ = quant_;
        ++mb;
        if (++mbx == mbWidth_) {
            EndPredictionRow();
            mbx = 0;
            ++mby;
        }
    }
    return Mpeg4Status::kOk;
}

Mpeg4Status Mpeg4Decoder::DecodeIVop() {
    return DecodeMacroblocks<false>();
}

Mpeg4Status Mpeg4Decoder::DecodePVop() {
    return DecodeMacroblocks<true>();
}

}  // namespace vello::mpeg4
