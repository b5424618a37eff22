// The Visual Object and VOL headers. The field order and the refusals follow ISO/IEC 14496-2 (6.2.2,
// 6.2.3); the messages are the ones the hosts have always logged.
#include "vello/mpeg4/vol_header.h"

#include <algorithm>
#include <bit>
#include <iterator>

#include "lumacore/zigzag.h"

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

// Past the data every bit reads as 0, so a header cut short usually fails a marker bit or a field first;
// this catches the cuts that leave only flags unread whose 0 is acceptable.
constexpr const char* kCutShort = "Error: header is cut short at the end of the data.";

// One bit that must be 1; a 0 reports the message with the caller's line.
bool Marker(BitReader& bits, const ReportFn& report, int line) {
    if (bits.GetBits(1) == 1) return true;
    ReportAt(report, __FILE__, line, "Error: wrong marker bit in video_header.");
    return false;
}

#define VOL_MARKER(bits, report) Marker((bits), (report), __LINE__)

// Up to 64 values in zigzag order; a 0 ends the list and the last value fills the rest.
void ReadQuantMatrix(BitReader& bits, Lum8u* matrix) {
    int last = 0;
    int i = 0;
    for (; i < 64; ++i) {
        const int v = static_cast<int>(bits.GetBits(8));
        if (v == 0) break;
        last = v;
        matrix[lumacore::kZigzagToNatural[static_cast<std::size_t>(i)]] = static_cast<Lum8u>(v);
    }
    for (; i < 64; ++i)
        matrix[lumacore::kZigzagToNatural[static_cast<std::size_t>(i)]] = static_cast<Lum8u>(last);
}

bool ReadComplexityEstimation(BitReader& bits, VolHeader& v, const ReportFn& report) {
    auto bit = [&bits]() { return static_cast<int>(bits.GetBits(1)); };
    v.estimation_method = static_cast<int>(bits.GetBits(2));
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
    if (!VOL_MARKER(bits, report)) return false;
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
    if (!VOL_MARKER(bits, report)) return false;
    if (v.estimation_method == 1) {
        v.version2_complexity_estimation_disable = bit();
        if (!v.version2_complexity_estimation_disable) {
            v.sadct = bit();
            v.quarterpel = bit();
        }
    }
    return true;
}

Mpeg4Status Refuse(const ReportFn& report, int line, const char* message) {
    ReportAt(report, __FILE__, line, message);
    return Mpeg4Status::kUnsupported;
}

#define VOL_REFUSE(report, message) Refuse((report), __LINE__, (message))

}  // namespace

int TimeIncrementBits(int resolution) {
    if (resolution <= 1) return 1;
    return std::clamp(static_cast<int>(std::bit_width(static_cast<unsigned>(resolution - 1))), 1, 16);
}

Mpeg4Status ParseVisualObjectHeader(BitReader& bits, VisualObjectHeader& vo, const ReportFn& report) {
    auto get = [&bits](int n) { return static_cast<int>(bits.GetBits(n)); };
    vo.is_visual_object_identifier = get(1);
    if (vo.is_visual_object_identifier) {
        vo.visual_object_verid = get(4);
        // The versions ISO/IEC 14496-2 defines (1, 2, 4 and 5; the others are reserved). What a later
        // version adds is refused tool by tool in the VOL, each with its own message.
        const int verid = vo.visual_object_verid;
        if (verid != 1 && verid != 2 && verid != 4 && verid != 5)
            return VOL_REFUSE(report, "Error: wrong VisualObject.verid.");
        vo.visual_object_priority = get(3);
    }
    vo.visual_object_type = get(4);
    if (vo.visual_object_type != 1) {
        VELLO_REPORT(report, "Error: Unsupported object: visual_object_type != video ID.");
        return Mpeg4Status::kUnsupportedObject;
    }
    vo.video_signal_type = get(1);
    if (vo.video_signal_type) {
        vo.video_format = get(3);
        vo.video_range = get(1);
        vo.colour_description = get(1);
        if (vo.colour_description) {
            vo.colour_primaries = get(8);
            vo.transfer_characteristics = get(8);
            vo.matrix_coefficients = get(8);
        }
    }
    if (bits.PastEnd()) return VOL_REFUSE(report, kCutShort);
    return Mpeg4Status::kOk;
}

Mpeg4Status ParseVolUpToSize(BitReader& bits, VolHeader& v, const ReportFn& report) {
    auto get = [&bits](int n) { return static_cast<int>(bits.GetBits(n)); };
    const std::uint32_t startCode = bits.GetBits(32);
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
        if (v.chroma_format != 1)
            return VOL_REFUSE(report, "Error: vol_control_parameters.chroma_format != 4:2:0.");
        v.low_delay = get(1);
        v.vbv_parameters = get(1);
        if (v.vbv_parameters) {
            v.first_half_bit_rate = get(15);
            if (!VOL_MARKER(bits, report)) return Mpeg4Status::kUnsupported;
            v.latter_half_bit_rate = get(15);
            if (!VOL_MARKER(bits, report)) return Mpeg4Status::kUnsupported;
            v.first_half_vbv_buffer_size = get(15);
            if (!VOL_MARKER(bits, report)) return Mpeg4Status::kUnsupported;
            v.latter_half_vbv_buffer_size = get(3);
            v.first_half_vbv_occupancy = get(11);
            if (!VOL_MARKER(bits, report)) return Mpeg4Status::kUnsupported;
            v.latter_half_vbv_occupancy = get(15);
            if (!VOL_MARKER(bits, report)) return Mpeg4Status::kUnsupported;
        }
    }
    v.video_object_layer_shape = get(2);
    if (v.video_object_layer_shape != 0)
        return VOL_REFUSE(report,
                          "Error: video_object_layer_shape != rectangular\nThis mode is not supported.");
    if (!VOL_MARKER(bits, report)) return Mpeg4Status::kUnsupported;
    v.vop_time_increment_resolution = get(16);
    if (v.vop_time_increment_resolution == 0)
        return VOL_REFUSE(report, "Error: wrong value for vop_time_increment_resolution.");
    if (!VOL_MARKER(bits, report)) return Mpeg4Status::kUnsupported;
    v.vop_time_increment_bits = TimeIncrementBits(v.vop_time_increment_resolution);
    v.fixed_vop_rate = get(1);
    if (v.fixed_vop_rate) v.fixed_vop_time_increment = get(v.vop_time_increment_bits);
    if (!VOL_MARKER(bits, report)) return Mpeg4Status::kUnsupported;
    v.video_object_layer_width = get(13);
    if (!VOL_MARKER(bits, report)) return Mpeg4Status::kUnsupported;
    v.video_object_layer_height = get(13);
    // A cut before here shows as this marker (or an earlier field) read as 0.
    if (!VOL_MARKER(bits, report)) return Mpeg4Status::kUnsupported;
    return Mpeg4Status::kOk;
}

Mpeg4Status ParseVolHeader(BitReader& bits, VolHeader& v, const ReportFn& report) {
    const Mpeg4Status size = ParseVolUpToSize(bits, v, report);
    if (size != Mpeg4Status::kOk) return size;
    auto get = [&bits](int n) { return static_cast<int>(bits.GetBits(n)); };
    v.interlaced = get(1);
    if (v.interlaced) return VOL_REFUSE(report, "Error: interlaced vol is not supported.");
    v.obmc_disable = get(1);
    v.sprite_enable = get(v.video_object_layer_verid == 1 ? 1 : 2);
    if (v.sprite_enable) return VOL_REFUSE(report, "Error: sprites are not supported.");
    v.not_8_bit = get(1);
    if (v.not_8_bit) return VOL_REFUSE(report, "Error: only 8-bits data is supported.");
    v.quant_precision = 5;
    v.bits_per_pixel = 8;
    v.quant_type = get(1);
    if (v.quant_type) {
        v.load_intra_quant_mat = get(1);
        if (v.load_intra_quant_mat) {
            ReadQuantMatrix(bits, v.intra_quant_mat);
        } else {
            std::copy(std::begin(kDefaultIntraMatrix), std::end(kDefaultIntraMatrix), v.intra_quant_mat);
        }
        v.load_nonintra_quant_mat = get(1);
        if (v.load_nonintra_quant_mat) {
            ReadQuantMatrix(bits, v.nonintra_quant_mat);
        } else {
            std::copy(std::begin(kDefaultNonIntraMatrix), std::end(kDefaultNonIntraMatrix),
                      v.nonintra_quant_mat);
        }
    }
    if (v.video_object_layer_verid != 1) {
        v.quarter_sample = get(1);
        if (v.quarter_sample) return VOL_REFUSE(report, "Error: Quarter sample is not supported.");
    }
    v.complexity_estimation_disable = get(1);
    if (!v.complexity_estimation_disable && !ReadComplexityEstimation(bits, v, report))
        return Mpeg4Status::kUnsupported;
    v.resync_marker_disable = get(1);
    v.data_partitioned = get(1);
    if (v.data_partitioned) {
        v.reversible_vlc = get(1);
        if (v.reversible_vlc)
            return VOL_REFUSE(report, "Error: reversible_vlc for data_partitioned VOL is not supported.");
        // The macroblock layer has no data-partitioned syntax: its motion and texture parts would be
        // read as ordinary macroblocks.
        return VOL_REFUSE(report, "Error: data_partitioned VOL is not supported.");
    }
    if (v.video_object_layer_verid != 1) {
        v.newpred_enable = get(1);
        if (v.newpred_enable) return VOL_REFUSE(report, "Error: NEWPRED mode is not supported.");
        v.reduced_resolution_vop_enable = get(1);
    }
    v.scalability = get(1);
    if (v.scalability) return VOL_REFUSE(report, "Error: VOL scalability is not supported.");
    if (bits.PastEnd()) return VOL_REFUSE(report, kCutShort);
    return Mpeg4Status::kOk;
}

}  // namespace vello::mpeg4
