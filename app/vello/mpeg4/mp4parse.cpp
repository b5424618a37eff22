// Header parsing: Visual Object, Video Object Layer, VOP and video-packet headers, and the header search
// of OpenDecoder. Every refusal reports its message and returns its status.
#include <algorithm>
#include <bit>

#include "lumacore/zigzag.h"
#include "vello/mpeg4/mp4dec.h"

namespace vello::mpeg4 {

namespace {

// The default matrices of ISO/IEC 14496-2 (6.3.3), natural order.
constexpr Lum8u kDefaultIntraMatrix[64] = {8,  17, 18, 19, 21, 23, 25, 27, 17, 18, 19, 21, 23, 25, 27, 28,
                                           20, 21, 22, 23, 24, 26, 28, 30, 21, 22, 23, 24, 26, 28, 30, 32,
                                           22, 23, 24, 26, 28, 30, 32, 35, 23, 24, 26, 28, 30, 32, 35, 38,
                                           25, 26, 28, 30, 32, 35, 38, 41, 27, 28, 30, 32, 35, 38, 41, 45};
constexpr Lum8u kDefaultNonIntraMatrix[64] = {16, 17, 18, 19, 20, 21, 22, 23, 17, 18, 19, 20, 21, 22, 23, 24,
                                              18, 19, 20, 21, 22, 23, 24, 25, 19, 20, 21, 22, 23, 24, 26, 27,
                                              20, 21, 22, 23, 25, 26, 27, 28, 21, 22, 23, 24, 26, 27, 28, 30,
                                              22, 23, 24, 26, 27, 28, 30, 31, 23, 24, 25, 27, 28, 30, 31, 33};

constexpr const char* kNoStartCodes =
    "Error: Can't find Visual Object or Video Object start codes or short_video_start_marker.";

}  // namespace

int TimeIncrementBits(int resolution) {
    if (resolution <= 1) return 1;
    return std::clamp(static_cast<int>(std::bit_width(static_cast<unsigned>(resolution - 1))), 1, 16);
}

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
            const Mpeg4Status status = ParseVisualObject();
            if (status != Mpeg4Status::kOk) return status;
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
    stream_.pos -= 3;  // back onto the prefix: the VOL header begins with its 32-bit start code
    const Mpeg4Status status = ParseVol();
    if (status != Mpeg4Status::kOk) return status;

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

Mpeg4Status Mpeg4Decoder::ParseVisualObject() {
    StreamBuffer& s = stream_;
    vo_.is_visual_object_identifier = static_cast<int>(s.GetBits(1));
    if (vo_.is_visual_object_identifier) {
        vo_.visual_object_verid = static_cast<int>(s.GetBits(4));
        // The versions ISO/IEC 14496-2 defines (1, 2, 4 and 5; the others are reserved). What a later
        // version adds is refused tool by tool in the VOL, each with its own message.
        const int verid = vo_.visual_object_verid;
        if (verid != 1 && verid != 2 && verid != 4 && verid != 5) {
            VELLO_REPORT(config_.report, "Error: wrong VisualObject.verid.");
            return Mpeg4Status::kUnsupported;
        }
        vo_.visual_object_priority = static_cast<int>(s.GetBits(3));
    }
    vo_.visual_object_type = static_cast<int>(s.GetBits(4));
    if (vo_.visual_object_type != 1) {
        VELLO_REPORT(config_.report, "Error: Unsupported object: visual_object_type != video ID.");
        return Mpeg4Status::kUnsupportedObject;
    }
    vo_.video_signal_type = static_cast<int>(s.GetBits(1));
    if (vo_.video_signal_type) {
        vo_.video_format = static_cast<int>(s.GetBits(3));
        vo_.video_range = static_cast<int>(s.GetBits(1));
        vo_.colour_description = static_cast<int>(s.GetBits(1));
        if (vo_.colour_description) {
            vo_.colour_primaries = static_cast<int>(s.GetBits(8));
            vo_.transfer_characteristics = static_cast<int>(s.GetBits(8));
            vo_.matrix_coefficients = static_cast<int>(s.GetBits(8));
        }
    }
    return Mpeg4Status::kOk;
}

void Mpeg4Decoder::ReadQuantMatrix(Lum8u* matrix) {
    // Up to 64 values in zigzag order; a 0 ends the list and the last value fills the rest.
    int last = 0;
    int i = 0;
    for (; i < 64; ++i) {
        const int v = static_cast<int>(stream_.GetBits(8));
        if (v == 0) break;
        last = v;
        matrix[lumacore::kZigzagToNatural[static_cast<std::size_t>(i)]] = static_cast<Lum8u>(v);
    }
    for (; i < 64; ++i)
        matrix[lumacore::kZigzagToNatural[static_cast<std::size_t>(i)]] = static_cast<Lum8u>(last);
}

bool Mpeg4Decoder::ReadComplexityEstimationVol() {
    StreamBuffer& s = stream_;
    VolHeader& v = vol_;
    auto bit = [&s]() { return static_cast<int>(s.GetBits(1)); };
    v.estimation_method = static_cast<int>(s.GetBits(2));
    if (v.estimation_method != 0 && v.estimation_method != 1) return true;
    v.shape_complexity_estimation_disable = bit();
    if (!v.shape_complexity_estimation_disable) {
        v.opaque = bit();
        v.transparent = bit();
        v.intra_cae = bit();
        v.inter_cae = bit();
        v.no_update = bit();
        v.upsampling = bit();
    }
    v.texture_complexity_estimation_set_1_disable = bit();
    if (!v.texture_complexity_estimation_set_1_disable) {
        v.intra_blocks = bit();
        v.inter_blocks = bit();
        v.inter4v_blocks = bit();
        v.not_coded_blocks = bit();
    }
    if (!MarkerBit(__LINE__)) return false;
    v.texture_complexity_estimation_set_2_disable = bit();
    if (!v.texture_complexity_estimation_set_2_disable) {
        v.dct_coefs = bit();
        v.dct_lines = bit();
        v.vlc_symbols = bit();
        v.vlc_bits = bit();
    }
    v.motion_compensation_complexity_disable = bit();
    if (!v.motion_compensation_complexity_disable) {
        v.apm = bit();
        v.npm = bit();
        v.interpolate_mc_q = bit();
        v.forw_back_mc_q = bit();
        v.halfpel2 = bit();
        v.halfpel4 = bit();
    }
    if (!MarkerBit(__LINE__)) return false;
    if (v.estimation_method == 1) {
        v.version2_complexity_estimation_disable = bit();
        if (!v.version2_complexity_estimation_disable) {
            v.sadct = bit();
            v.quarterpel = bit();
        }
    }
    return true;
}

Mpeg4Status Mpeg4Decoder::ParseVol() {
    StreamBuffer& s = stream_;
    VolHeader& v = vol_;
    auto get = [&s](int n) { return static_cast<int>(s.GetBits(n)); };
    const std::uint32_t startCode = s.PeekBits(32);
    s.SkipBits(32);
    v.layer_id = static_cast<int>(startCode & 0x0F);
    v.short_video_header = 0;
    v.random_accessible_vol = get(1);
    v.video_object_type_indication = get(8);
    v.is_object_layer_identifier = get(1);
    v.video_object_layer_verid = 1;
    if (v.is_object_layer_identifier) {
        v.video_object_layer_verid = get(4);
        v.video_object_layer_priority = get(3);
    }
    v.aspect_ratio_info = get(4);
    if (v.aspect_ratio_info == 15) {
        v.par_width = get(8);
        v.par_height = get(8);
    }
    v.vol_control_parameters = get(1);
    if (v.vol_control_parameters) {
        v.chroma_format = get(2);
        if (v.chroma_format != 1) {
            VELLO_REPORT(config_.report, "Error: vol_control_parameters.chroma_format != 4:2:0.");
            return Mpeg4Status::kUnsupported;
        }
        v.low_delay = get(1);
        v.vbv_parameters = get(1);
        if (v.vbv_parameters) {
            v.first_half_bit_rate = get(15);
            if (!MarkerBit(__LINE__)) return Mpeg4Status::kUnsupported;
            v.latter_half_bit_rate = get(15);
            if (!MarkerBit(__LINE__)) return Mpeg4Status::kUnsupported;
            v.first_half_vbv_buffer_size = get(15);
            if (!MarkerBit(__LINE__)) return Mpeg4Status::kUnsupported;
            v.latter_half_vbv_buffer_size = get(3);
            v.first_half_vbv_occupancy = get(11);
            if (!MarkerBit(__LINE__)) return Mpeg4Status::kUnsupported;
            v.latter_half_vbv_occupancy = get(15);
            if (!MarkerBit(__LINE__)) return Mpeg4Status::kUnsupported;
        }
    }
    v.video_object_layer_shape = get(2);
    if (v.video_object_layer_shape != 0) {
        VELLO_REPORT(config_.report,
                     "Error: video_object_layer_shape != rectangular\nThis mode is not supported.");
        return Mpeg4Status::kUnsupported;
    }
    if (!MarkerBit(__LINE__)) return Mpeg4Status::kUnsupported;
    v.vop_time_increment_resolution = get(16);
    if (v.vop_time_increment_resolution == 0) {
        VELLO_REPORT(config_.report, "Error: wrong value for vop_time_increment_resolution.");
        return Mpeg4Status::kUnsupported;
    }
    if (!MarkerBit(__LINE__)) return Mpeg4Status::kUnsupported;
    v.vop_time_increment_bits = TimeIncrementBits(v.vop_time_increment_resolution);
    v.fixed_vop_rate = get(1);
    if (v.fixed_vop_rate) v.fixed_vop_time_increment = get(v.vop_time_increment_bits);
    if (!MarkerBit(__LINE__)) return Mpeg4Status::kUnsupported;
    v.video_object_layer_width = get(13);
    if (!MarkerBit(__LINE__)) return Mpeg4Status::kUnsupported;
    v.video_object_layer_height = get(13);
    if (!MarkerBit(__LINE__)) return Mpeg4Status::kUnsupported;
    v.interlaced = get(1);
    if (v.interlaced) {
        VELLO_REPORT(config_.report, "Error: interlaced vol is not supported.");
        return Mpeg4Status::kUnsupported;
    }
    v.obmc_disable = get(1);
    v.sprite_enable = get(v.video_object_layer_verid == 1 ? 1 : 2);
    if (v.sprite_enable) {
        VELLO_REPORT(config_.report, "Error: sprites are not supported.");
        return Mpeg4Status::kUnsupported;
    }
    v.not_8_bit = get(1);
    if (v.not_8_bit) {
        VELLO_REPORT(config_.report, "Error: only 8-bits data is supported.");
        return Mpeg4Status::kUnsupported;
    }
    v.quant_precision = 5;
    v.bits_per_pixel = 8;
    v.quant_type = get(1);
    if (v.quant_type) {
        v.load_intra_quant_mat = get(1);
        if (v.load_intra_quant_mat) {
            ReadQuantMatrix(v.intra_quant_mat);
        } else {
            std::copy(std::begin(kDefaultIntraMatrix), std::end(kDefaultIntraMatrix), v.intra_quant_mat);
        }
        v.load_nonintra_quant_mat = get(1);
        if (v.load_nonintra_quant_mat) {
            ReadQuantMatrix(v.nonintra_quant_mat);
        } else {
            std::copy(std::begin(kDefaultNonIntraMatrix), std::end(kDefaultNonIntraMatrix),
                      v.nonintra_quant_mat);
        }
    }
    if (v.video_object_layer_verid != 1) {
        v.quarter_sample = get(1);
        if (v.quarter_sample) {
            VELLO_REPORT(config_.report, "Error: Quarter sample is not supported.");
            return Mpeg4Status::kUnsupported;
        }
    }
    v.complexity_estimation_disable = get(1);
    if (!v.complexity_estimation_disable && !ReadComplexityEstimationVol()) return Mpeg4Status::kUnsupported;
    v.resync_marker_disable = get(1);
    v.data_partitioned = get(1);
    if (v.data_partitioned) {
        v.reversible_vlc = get(1);
        if (v.reversible_vlc) {
            VELLO_REPORT(config_.report, "Error: reversible_vlc for data_partitioned VOL is not supported.");
            return Mpeg4Status::kUnsupported;
        }
        // The macroblock layer has no data-partitioned syntax: its motion and texture parts would be
        // read as ordinary macroblocks.
        VELLO_REPORT(config_.report, "Error: data_partitioned VOL is not supported.");
        return Mpeg4Status::kUnsupported;
    }
    if (v.video_object_layer_verid != 1) {
        v.newpred_enable = get(1);
        if (v.newpred_enable) {
            VELLO_REPORT(config_.report, "Error: NEWPRED mode is not supported.");
            return Mpeg4Status::kUnsupported;
        }
        v.reduced_resolution_vop_enable = get(1);
    }
    v.scalability = get(1);
    if (v.scalability) {
        VELLO_REPORT(config_.report, "Error: VOL scalability is not supported.");
        return Mpeg4Status::kUnsupported;
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
