// Header parsing: the header search of OpenDecoder (the Visual Object and VOL headers themselves are
// vol_header.cpp's), the VOP and video-packet headers. Every refusal reports its message and returns its
// status.
#include "vello/mpeg4/mp4dec.h"

namespace vello::mpeg4 {

namespace {

constexpr const char* kNoStartCodes =
    "Error: Can't find Visual Object or Video Object start codes or short_video_start_marker.";

}  // namespace

bool Mpeg4Decoder::MarkerBit(int line) {
    if (stream_.GetBits(1) == 1) return true;
    ReportAt(config_.report, __FILE__, line, "Error: wrong marker bit in video_header.");
    return false;
}

Mpeg4Status Mpeg4Decoder::ParseHeadersAndAllocate() {
    if (!NextStartCodeOrShortHeader()) {
        VELLO_REPORT(config_.report, kNoStartCodes);
        return Mpeg4Status::kUnsupported;
    }
    bool shortHeader = false;
    for (;;) {
        if ((stream_.PeekBits(24) & 0xFFFFFC) == 0x80) {
            shortHeader = true;
            break;
        }
        const int value = static_cast<int>(stream_.GetBits(8));
        if (value == kVisualObjectStartCode && !sawVisualObject_) {
            sawVisualObject_ = true;
            BitReader bits = stream_.Reader();
            const Mpeg4Status status = ParseVisualObjectHeader(bits, vo_, config_.report);
            if (status != Mpeg4Status::kOk) return status;
            stream_.MoveTo(bits);
        } else if (value <= 0x1F) {
            break;  // video_object: the VOL follows
        }           // visual_object_sequence and any other code: passed over
        if (!NextStartCodeOrShortHeader()) {
            VELLO_REPORT(config_.report, kNoStartCodes);
            return Mpeg4Status::kUnsupported;
        }
    }
    if (shortHeader) {
        // H.263 baseline pictures have no VOL; reading their bits as one would decode garbage.
        VELLO_REPORT(config_.report, "Error: short_video_header is not supported.");
        return Mpeg4Status::kUnsupported;
    }
    // The VOL start code: other codes between the video_object and it (user data) are passed over.
    for (;;) {
        if (!NextStartCode()) {
            VELLO_REPORT(config_.report, kNoStartCodes);
            return Mpeg4Status::kUnsupported;
        }
        const int value = static_cast<int>(stream_.PeekBits(8));
        if (value >= 0x20 && value <= 0x2F) break;
    }
    // Back onto the prefix: the VOL header begins with its 32-bit start code.
    BitReader bits(stream_.base, stream_.filled, stream_.BitPosition() - 24);
    const Mpeg4Status status = ParseVolHeader(bits, vol_, config_.report);
    if (status != Mpeg4Status::kOk) return status;
    stream_.MoveTo(bits);

    const int width = vol_.video_object_layer_width;
    const int height = vol_.video_object_layer_height;
    // The chroma planes need 8 samples for their border padding; the hosts' display buffers bound the
    // top end, and the frame store is never made for a picture they could not take.
    if (width < 16 || height < 16 || width > config_.maxWidth || height > config_.maxHeight) {
        VELLO_REPORT(config_.report, "Error: picture size is not supported.");
        return Mpeg4Status::kUnsupported;
    }
    if (AllocateFrameStore() != Mpeg4Status::kOk) {
        ReleaseFrameStore();
        VELLO_REPORT(config_.report, "Error: No memory to allocate buffers for decoded frames.");
        return Mpeg4Status::kNoMemory;
    }
    return Mpeg4Status::kOk;
}

Mpeg4Status Mpeg4Decoder::ParseVop() {
    StreamBuffer& s = stream_;
    VopHeader& h = vop_;
    const VolHeader& v = vol_;
    auto get = [&s](int n) { return static_cast<int>(s.GetBits(n)); };
    h = VopHeader{};
    h.vop_coding_type = get(2);
    while (get(1) == 1) ++h.modulo_time_base;  // ends at the 0 (past the data everything reads as 0)
    if (!MarkerBit(__LINE__)) return Mpeg4Status::kUnsupported;
    h.vop_time_increment = get(v.vop_time_increment_bits);
    if (!MarkerBit(__LINE__)) return Mpeg4Status::kUnsupported;
    h.vop_coded = get(1);
    if (!h.vop_coded) return Mpeg4Status::kOk;
    const bool intra = h.vop_coding_type == 0;
    const bool predicted = h.vop_coding_type == 1;
    if (predicted) h.vop_rounding_type = get(1);
    if (v.reduced_resolution_vop_enable && (intra || predicted)) {
        h.vop_reduced_resolution = get(1);
        if (h.vop_reduced_resolution) {
            VELLO_REPORT(config_.report, "Error: Reduced Resolution VOP is not supported.");
            return Mpeg4Status::kUnsupported;
        }
    }
    if (!v.complexity_estimation_disable && v.estimation_method == 0) {
        // The estimation values of the enabled flags, by coding type; vlc_bits has 4 bits.
        struct Field {
            int enabled;
            int bits;
        };
        const Field shape[] = {{v.opaque, 8},    {v.transparent, 8}, {v.intra_cae, 8},
                               {v.inter_cae, 8}, {v.no_update, 8},   {v.upsampling, 8}};
        const Field texture[] = {{v.intra_blocks, 8}, {v.not_coded_blocks, 8}, {v.dct_coefs, 8},
                                 {v.dct_lines, 8},    {v.vlc_symbols, 8},      {v.vlc_bits, 4}};
        const Field motion[] = {{v.inter_blocks, 8},   {v.inter4v_blocks, 8}, {v.apm, 8},     {v.npm, 8},
                                {v.forw_back_mc_q, 8}, {v.halfpel2, 8},       {v.halfpel4, 8}};
        int n = 0;
        auto read = [&](const Field* fields, int count) {
            for (int i = 0; i < count; ++i) {
                if (!fields[i].enabled) continue;
                const int value = get(fields[i].bits);
                if (n < 24) h.complexity_values[n++] = value;
            }
        };
        const int type = h.vop_coding_type;
        if (type != 3) read(shape, 6);
        read(texture, 6);
        if (type != 0) read(motion, 7);
        if ((type == 2 || type == 3) && v.interpolate_mc_q) {
            const int value = get(8);
            if (n < 24) h.complexity_values[n++] = value;
        }
    }
    h.intra_dc_vlc_thr = get(3);
    h.vop_quant = get(5);
    if (!intra) h.vop_fcode_forward = get(3);
    if (h.vop_coding_type == 2) h.vop_fcode_backward = get(3);
    return Mpeg4Status::kOk;
}

Mpeg4Decoder::PacketHeader Mpeg4Decoder::ParseVideoPacketHeader(int markerLength, int macroblockNumberBits,
                                                                int* quantScale) {
    StreamBuffer& s = stream_;
    if (!s.ResyncMarkerAhead(markerLength)) return PacketHeader::kNone;
    auto get = [&s](int n) { return static_cast<int>(s.GetBits(n)); };
    s.ByteAlign();
    s.SkipBits(markerLength);
    (void)get(macroblockNumberBits);  // decoding goes on with the next macroblock in order
    *quantScale = get(5);
    if (get(1)) {  // header_extension_code
        while (get(1) == 1) {
        }
        if (!MarkerBit(__LINE__)) return PacketHeader::kBrokenMarker;
        (void)get(vol_.vop_time_increment_bits);
        if (!MarkerBit(__LINE__)) return PacketHeader::kBrokenMarker;
        const int type = get(2);
        (void)get(3);  // intra_dc_vlc_thr: the VOP's own stays in force
        if (vol_.reduced_resolution_vop_enable && (type == 0 || type == 1)) (void)get(1);
        if (type != 0) {
            const int fcode = get(3);
            if (vop_.vop_coding_type == 1) vop_.vop_fcode_forward = fcode;
        }
        if (type == 2) (void)get(3);
    }
    return PacketHeader::kFound;
}

}  // namespace vello::mpeg4
