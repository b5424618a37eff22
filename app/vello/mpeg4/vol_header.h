// The MPEG-4 stream headers in front of the pictures: the Visual Object header and the Video Object
// Layer (VOL) header, parsed from a BitReader. The decoder parses them whole when it opens; the quick
// readers (the stream buffer's size re-read between pictures, the series writer's splitter) parse the VOL
// only up to its picture size. Every refusal reports its message through `report` (may be empty) and
// returns its status.
#ifndef VELLO_MPEG4_VOL_HEADER_H
#define VELLO_MPEG4_VOL_HEADER_H

#include "lumacore/lumacore.h"
#include "vello/common/codec_report.h"
#include "vello/mpeg4/bit_reader.h"
#include "vello/mpeg4/mp4status.h"

namespace vello::mpeg4 {

// Header fields, named as in ISO/IEC 14496-2.
struct VisualObjectHeader {
    int is_visual_object_identifier = 0;
    int visual_object_verid = 0;
    int visual_object_priority = 0;
    int visual_object_type = 0;
    int video_signal_type = 0;
    int video_format = 0;
    int video_range = 0;
    int colour_description = 0;
    int colour_primaries = 0;
    int transfer_characteristics = 0;
    int matrix_coefficients = 1;
};

struct VolHeader {
    int layer_id = 0;
    int short_video_header = 0;
    int random_accessible_vol = 0;
    int video_object_type_indication = 0;
    int is_object_layer_identifier = 0;
    int video_object_layer_verid = 1;
    int video_object_layer_priority = 0;
    int aspect_ratio_info = 0;
    int par_width = 0;
    int par_height = 0;
    int vol_control_parameters = 0;
    int chroma_format = 0;
    int low_delay = 0;
    int vbv_parameters = 0;
    int first_half_bit_rate = 0;
    int latter_half_bit_rate = 0;
    int first_half_vbv_buffer_size = 0;
    int latter_half_vbv_buffer_size = 0;
    int first_half_vbv_occupancy = 0;
    int latter_half_vbv_occupancy = 0;
    int video_object_layer_shape = 0;
    int vop_time_increment_resolution = 0;
    int vop_time_increment_bits = 0;
    int fixed_vop_rate = 0;
    int fixed_vop_time_increment = 0;
    int video_object_layer_width = 0;
    int video_object_layer_height = 0;
    int interlaced = 0;
    int obmc_disable = 0;
    int sprite_enable = 0;
    int not_8_bit = 0;
    int quant_precision = 5;
    int bits_per_pixel = 8;
    int quant_type = 0;
    int load_intra_quant_mat = 0;
    Lum8u intra_quant_mat[64] = {};  // natural (row-major) order
    int load_nonintra_quant_mat = 0;
    Lum8u nonintra_quant_mat[64] = {};
    int quarter_sample = 0;
    int complexity_estimation_disable = 1;
    int estimation_method = 0;
    // Complexity-estimation flags in the order the VOL carries them; kept, not used for decoding.
    int shape_complexity_estimation_disable = 1;
    int opaque = 0, transparent = 0, intra_cae = 0, inter_cae = 0, no_update = 0, upsampling = 0;
    int texture_complexity_estimation_set_1_disable = 1;
    int intra_blocks = 0, inter_blocks = 0, inter4v_blocks = 0, not_coded_blocks = 0;
    int texture_complexity_estimation_set_2_disable = 1;
    int dct_coefs = 0, dct_lines = 0, vlc_symbols = 0, vlc_bits = 0;
    int motion_compensation_complexity_disable = 1;
    int apm = 0, npm = 0, interpolate_mc_q = 0, forw_back_mc_q = 0, halfpel2 = 0, halfpel4 = 0;
    int version2_complexity_estimation_disable = 1;
    int sadct = 0, quarterpel = 0;
    int resync_marker_disable = 0;
    int data_partitioned = 0;
    int reversible_vlc = 0;
    int newpred_enable = 0;
    int reduced_resolution_vop_enable = 0;
    int scalability = 0;
};

// Bits of vop_time_increment for a vop_time_increment_resolution: enough for resolution - 1, 1 to 16.
int TimeIncrementBits(int resolution);

// The Visual Object header, from the bit after its start code (00 00 01 B5) to its last field.
Mpeg4Status ParseVisualObjectHeader(BitReader& bits, VisualObjectHeader& vo, const ReportFn& report);

// The VOL header, from its start code (00 00 01 20..2F, whose low 4 bits are the layer id) to its last
// field (scalability). Unsupported tools are refused, each by its own message.
Mpeg4Status ParseVolHeader(BitReader& bits, VolHeader& vol, const ReportFn& report);

// The VOL header from its start code up to and including the marker after the picture height: every
// field before the size (control parameters, shape, time resolution, fixed rate), refused as
// ParseVolHeader refuses it. ParseVolHeader goes on from where this ends.
Mpeg4Status ParseVolUpToSize(BitReader& bits, VolHeader& vol, const ReportFn& report);

}  // namespace vello::mpeg4

#endif
