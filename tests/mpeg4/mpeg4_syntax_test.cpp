// Hand-made headers and VOPs: the header fields and refusals, the macroblock-layer error path, not-coded
// and B-VOPs, the bit reader at the end of the data, and the two hosts' refill rules.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "harness.h"

namespace {

using mpeg4test::BitWriter;
using mpeg4test::DecodeOurs;
using mpeg4test::DecodeResult;
using vello::mpeg4::HostVariant;

struct VolSpec {
    int width = 64;
    int height = 48;
    int resolution = 30;
    int markerAfterResolution = 1;
    bool interlaced = false;
    int shape = 0;
    int quantType = 0;
    std::vector<int> intraMatrix;  // empty: load_intra_quant_mat = 0
    int visualObjectVerid = 0;     // 0: no identifier
    int visualObjectType = 1;
};

// VOS, VO, video_object and VOL headers.
void PutHeaders(BitWriter& w, const VolSpec& v) {
    w.StartCode(0xB0);
    w.Put(1, 8);
    w.StartCode(0xB5);
    if (v.visualObjectVerid != 0) {
        w.Put(1, 1);
        w.Put(static_cast<std::uint32_t>(v.visualObjectVerid), 4);
        w.Put(1, 3);
    } else {
        w.Put(0, 1);
    }
    w.Put(static_cast<std::uint32_t>(v.visualObjectType), 4);
    w.Put(0, 1);  // video_signal_type
    w.Stuff();
    w.StartCode(0x00);
    w.StartCode(0x20);
    w.Put(0, 1);  // random_accessible_vol
    w.Put(1, 8);  // simple object
    w.Put(0, 1);  // is_object_layer_identifier
    w.Put(1, 4);  // aspect_ratio_info
    w.Put(0, 1);  // vol_control_parameters
    w.Put(static_cast<std::uint32_t>(v.shape), 2);
    w.Put(1, 1);
    w.Put(static_cast<std::uint32_t>(v.resolution), 16);
    w.Put(static_cast<std::uint32_t>(v.markerAfterResolution), 1);
    w.Put(0, 1);  // fixed_vop_rate
    w.Put(1, 1);
    w.Put(static_cast<std::uint32_t>(v.width), 13);
    w.Put(1, 1);
    w.Put(static_cast<std::uint32_t>(v.height), 13);
    w.Put(1, 1);
    w.Put(v.interlaced ? 1 : 0, 1);
    w.Put(1, 1);  // obmc_disable
    w.Put(0, 1);  // sprite_enable
    w.Put(0, 1);  // not_8_bit
    w.Put(static_cast<std::uint32_t>(v.quantType), 1);
    if (v.quantType) {
        w.Put(v.intraMatrix.empty() ? 0 : 1, 1);
        if (!v.intraMatrix.empty()) {
            for (int m : v.intraMatrix) w.Put(static_cast<std::uint32_t>(m), 8);
            if (v.intraMatrix.size() < 64) w.Put(0, 8);
        }
        w.Put(0, 1);  // load_nonintra_quant_mat
    }
    w.Put(1, 1);  // complexity_estimation_disable
    w.Put(1, 1);  // resync_marker_disable
    w.Put(0, 1);  // data_partitioned
    w.Put(0, 1);  // scalability
    w.Stuff();
}

int TimeBits(int resolution) {
    return vello::mpeg4::TimeIncrementBits(resolution);
}

void PutVopHeader(BitWriter& w, int type, int time, const VolSpec& v, bool coded, int quant, int fcode = 1) {
    w.StartCode(0xB6);
    w.Put(static_cast<std::uint32_t>(type), 2);
    w.Put(0, 1);  // modulo_time_base
    w.Put(1, 1);
    w.Put(static_cast<std::uint32_t>(time), TimeBits(v.resolution));
    w.Put(1, 1);
    w.Put(coded ? 1 : 0, 1);
    if (!coded) return;
    if (type == 1) w.Put(0, 1);  // vop_rounding_type
    w.Put(0, 3);                 // intra_dc_vlc_thr: always the DC VLC
    w.Put(static_cast<std::uint32_t>(quant), 5);
    if (type != 0) w.Put(static_cast<std::uint32_t>(fcode), 3);
    if (type == 2) w.Put(1, 3);
}

// An I-VOP of flat macroblocks: every block carries only a zero DC difference, so every sample is the
// predicted DC, which depends on the quantiser (128 at 4; luma 127 at 31).
void PutFlatIVop(BitWriter& w, const VolSpec& v, int time, int quant, bool stuffing = false) {
    PutVopHeader(w, 0, time, v, true, quant);
    const int mbs = ((v.width + 15) / 16) * ((v.height + 15) / 16);
    for (int i = 0; i < mbs; ++i) {
        if (stuffing && i % 3 == 1) w.Put(0b000000001, 9);  // MCBPC stuffing: the macroblock follows
        w.Put(1, 1);                                        // MCBPC: intra, CBPC 0
        w.Put(0, 1);                                        // ac_pred_flag
        w.Put(0b0011, 4);                                   // CBPY 0
        for (int b = 0; b < 4; ++b) w.Put(0b011, 3);        // luma DC size 0
        for (int b = 0; b < 2; ++b) w.Put(0b11, 2);         // chroma DC size 0
    }
    w.Stuff();
}

// A P-VOP that opens with MCBPC stuffing and then has `notCoded` not-coded macroblocks, followed, when
// `corrupt`, by a macroblock with an impossible MCBPC.
void PutNotCodedPVop(BitWriter& w, const VolSpec& v, int time, int notCoded, bool corrupt) {
    PutVopHeader(w, 1, time, v, true, 4);
    w.Put(0, 1);  // not_coded 0, then MCBPC stuffing: the macroblock starts again
    w.Put(0b000000001, 9);
    for (int i = 0; i < notCoded; ++i) w.Put(1, 1);
    if (corrupt) {
        w.Put(0, 1);  // coded
        w.Put(0, 9);  // MCBPC look-ahead 0
        w.Put(0xFFFF, 16);
    }
    w.Stuff();
}

std::vector<std::uint8_t> Bytes(const BitWriter& w) {
    return w.bytes();
}

DecodeResult Open(const VolSpec& v) {
    BitWriter w;
    PutHeaders(w, v);
    PutFlatIVop(w, v, 0, 4);
    return DecodeOurs(Bytes(w));
}

TEST(Mpeg4Headers, TimeIncrementBits) {
    const std::pair<int, int> cases[] = {{1, 1},  {2, 1},  {3, 2},      {30, 5},
                                         {32, 5}, {33, 6}, {30000, 15}, {65535, 16}};
    for (auto [resolution, bits] : cases) {
        EXPECT_EQ(TimeBits(resolution), bits) << resolution;
    }
    for (int resolution : {1, 30}) {
        VolSpec v;
        v.resolution = resolution;
        const DecodeResult r = Open(v);
        ASSERT_EQ(r.openStatus, 0);
        EXPECT_EQ(r.vol.vop_time_increment_bits, resolution == 1 ? 1 : 5);
        EXPECT_EQ(r.frames.size(), 1u);  // the VOP header after it parses with that many bits
    }
}

TEST(Mpeg4Headers, RefusalsAndMessages) {
    struct Case {
        const char* what;
        VolSpec vol;
        int status;
        const char* message;
    };
    std::vector<Case> cases;
    auto add = [&cases](const char* what, auto change, int status, const char* message) {
        Case c{what, VolSpec{}, status, message};
        change(c.vol);
        cases.push_back(c);
    };
    add(
        "interlaced", [](VolSpec& v) { v.interlaced = true; }, -4, "Error: interlaced vol is not supported.");
    add(
        "shape", [](VolSpec& v) { v.shape = 1; }, -4,
        "Error: video_object_layer_shape != rectangular\nThis mode is not supported.");
    add(
        "resolution 0", [](VolSpec& v) { v.resolution = 0; }, -4,
        "Error: wrong value for vop_time_increment_resolution.");
    add(
        "marker", [](VolSpec& v) { v.markerAfterResolution = 0; }, -4,
        "Error: wrong marker bit in video_header.");
    add(
        "VO verid", [](VolSpec& v) { v.visualObjectVerid = 3; }, -4, "Error: wrong VisualObject.verid.");
    add(
        "VO type", [](VolSpec& v) { v.visualObjectType = 2; }, -3,
        "Error: Unsupported object: visual_object_type != video ID.");
    add(
        "narrow", [](VolSpec& v) { v.width = 8; }, -4, "Error: picture size is not supported.");
    add(
        "too big", [](VolSpec& v) { v.width = 720; }, -4, "Error: picture size is not supported.");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const DecodeResult r = Open(c.vol);
        EXPECT_EQ(r.openStatus, c.status);
        ASSERT_EQ(r.messages.size(), 1u);
        EXPECT_EQ(r.messages[0], c.message);
    }

    // The versions the standard defines are accepted (verid 3 and the others are reserved).
    for (int verid : {1, 2, 4, 5}) {
        VolSpec v;
        v.visualObjectVerid = verid;
        EXPECT_EQ(Open(v).openStatus, 0) << verid;
    }

    // No start codes at all, and no data at all.
    const std::vector<std::uint8_t> noise(3000, 0x55);
    DecodeResult r = DecodeOurs(noise);
    EXPECT_EQ(r.openStatus, -4);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0],
              "Error: Can't find Visual Object or Video Object start codes or short_video_start_marker.");
    EXPECT_EQ(DecodeOurs({}).openStatus, -4);
    EXPECT_EQ(DecodeOurs({}, HostVariant::kOcuview).openStatus, -2);  // Ocuview: nothing could be read
}

TEST(Mpeg4Headers, QuantisationMatrices) {
    VolSpec v;
    v.quantType = 1;
    DecodeResult r = Open(v);
    ASSERT_EQ(r.openStatus, 0);
    EXPECT_EQ(r.vol.intra_quant_mat[0], 8);
    EXPECT_EQ(r.vol.intra_quant_mat[1], 17);
    EXPECT_EQ(r.vol.intra_quant_mat[8], 17);
    EXPECT_EQ(r.vol.intra_quant_mat[63], 45);
    EXPECT_EQ(r.vol.nonintra_quant_mat[0], 16);
    EXPECT_EQ(r.vol.nonintra_quant_mat[63], 33);

    // Ten values, then 0: the other 54 zigzag positions take the tenth.
    v.intraMatrix = {8, 10, 11, 12, 13, 14, 15, 16, 17, 42};
    r = Open(v);
    ASSERT_EQ(r.openStatus, 0);
    const int zigzag[12] = {0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(r.vol.intra_quant_mat[zigzag[i]], v.intraMatrix[i]) << i;
    }
    int tenth = 0;
    for (int i = 0; i < 64; ++i) tenth += r.vol.intra_quant_mat[i] == 42;
    EXPECT_EQ(tenth, 55);
    EXPECT_EQ(r.vol.intra_quant_mat[63], 42);
}

std::uint8_t LumaAt(const mpeg4test::Frame& f, int mb, int mbWidth) {
    const int x = (mb % mbWidth) * 16 + 3;
    const int y = (mb / mbWidth) * 16 + 5;
    return f.plane[0][static_cast<std::size_t>(y) * f.width + x];
}

// I0 (flat 128), I1 (flat 127), P2 not coded up to macroblock 10 and corrupt there, P3 all not coded:
// P2 keeps I1 before macroblock 10 and, from it on, what its buffer held (I0); P3 reproduces P2.
TEST(Mpeg4Vop, CorruptMcbpcEndsOnlyThatVop) {
    const VolSpec v;  // 64 x 48: 4 x 3 macroblocks
    BitWriter w;
    PutHeaders(w, v);
    PutFlatIVop(w, v, 0, 4);
    PutFlatIVop(w, v, 1, 31);
    PutNotCodedPVop(w, v, 2, 10, true);
    PutNotCodedPVop(w, v, 3, 12, false);
    const DecodeResult r = DecodeOurs(Bytes(w));
    ASSERT_EQ(r.openStatus, 0);
    EXPECT_EQ(r.streamStatus, 0);
    ASSERT_EQ(r.frames.size(), 4u);
    EXPECT_EQ(r.stats.vopErrors, 1u);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0], "Error: when decode mcbpc of P-VOP macroblock.");
    for (int mb = 0; mb < 12; ++mb) {
        EXPECT_EQ(LumaAt(r.frames[0], mb, 4), 128) << mb;
        EXPECT_EQ(LumaAt(r.frames[1], mb, 4), 127) << mb;
        EXPECT_EQ(LumaAt(r.frames[2], mb, 4), mb < 10 ? 127 : 128) << mb;
    }
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(r.frames[3].plane[c], r.frames[2].plane[c]);
    }
}

// A P-VOP of not-coded macroblocks reproduces its reference exactly (also at the picture's edges).
TEST(Mpeg4Vop, NotCodedPVopCopiesTheReference) {
    const std::vector<std::uint8_t> real = mpeg4test::ReadFile(mpeg4test::StreamPath("odd_width"));
    ASSERT_FALSE(real.empty());
    // The first I-VOP of the stream, then a hand-made P-VOP after it.
    std::size_t second = 0;
    int vops = 0;
    for (std::size_t i = 0; i + 4 <= real.size(); ++i) {
        if (real[i] == 0 && real[i + 1] == 0 && real[i + 2] == 1 && real[i + 3] == 0xB6 && ++vops == 2) {
            second = i;
            break;
        }
    }
    ASSERT_GT(second, 0u);
    BitWriter w;
    for (std::size_t i = 0; i < second; ++i) w.Put(real[i], 8);
    VolSpec v;
    v.width = 200;
    v.height = 120;
    v.resolution = 25;
    PutNotCodedPVop(w, v, 1, 13 * 8, false);
    const DecodeResult r = DecodeOurs(Bytes(w));
    ASSERT_EQ(r.streamStatus, 0);
    ASSERT_EQ(r.frames.size(), 2u);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(r.frames[1].plane[c], r.frames[0].plane[c]);
    }
}

// vop_coded = 0 and B-VOPs change no picture and deliver none; both are counted. The last I-VOP carries
// MCBPC stuffing between macroblocks.
TEST(Mpeg4Vop, NotCodedAndBVopsArePassedOver) {
    const VolSpec v;
    BitWriter w;
    PutHeaders(w, v);
    PutFlatIVop(w, v, 0, 4);
    PutVopHeader(w, 0, 1, v, false, 0);
    w.Stuff();
    PutVopHeader(w, 2, 2, v, true, 4);
    w.Put(0xABCD, 16);  // macroblocks that are never read
    w.Stuff();
    PutFlatIVop(w, v, 3, 31, true);
    const DecodeResult r = DecodeOurs(Bytes(w));
    ASSERT_EQ(r.streamStatus, 0);
    EXPECT_EQ(r.stats.vopErrors, 0u);  // the I-VOP's MCBPC stuffing is passed over
    EXPECT_EQ(r.stats.vops, 4u);
    EXPECT_EQ(r.stats.vopsNotCoded, 1u);
    EXPECT_EQ(r.stats.vopsByType[0], 3u);  // two coded I-VOPs and the not-coded one
    EXPECT_EQ(r.stats.vopsByType[2], 1u);
    ASSERT_EQ(r.frames.size(), 2u);
    EXPECT_EQ(LumaAt(r.frames[0], 0, 4), 128);
    EXPECT_EQ(LumaAt(r.frames[1], 0, 4), 127);
}

// intra_dc_vlc_thr 1 (threshold 13): the DC VLC is used while running_QP is below 13, so at exactly 13 the
// DC travels with the AC coefficients (here: no DC bits at all). running_QP is the previous coded
// macroblock's quantiser, but the first macroblock's own (after its DQUANT). Each row lists, per
// macroblock, its DQUANT code (-1: none) and whether DC bits follow; the rest carry no DQUANT.
TEST(Mpeg4Vop, IntraDcVlcFollowsRunningQp) {
    struct Macroblock {
        int dquant;
        bool dcBits;
    };
    struct Case {
        const char* what;
        int vopQuant;
        std::vector<Macroblock> mbs;
        bool restDcBits;
    };
    const Case cases[] = {
        // 0: -2 -> 12, its own: VLC. 1: running 12. 2: +2 -> 14, running 12: VLC. 3 on: running 14.
        {"below and above", 14, {{1, true}, {-1, true}, {3, true}}, false},
        // 0: -1 -> 13, its own: no VLC. 1: running 13. 2: -1 -> 12, running 13: no VLC. 3 on: running 12.
        {"exactly 13", 14, {{0, false}, {-1, false}, {0, false}}, true},
    };
    const VolSpec v;  // 12 macroblocks
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BitWriter w;
        PutHeaders(w, v);
        w.StartCode(0xB6);
        w.Put(0, 2);  // I
        w.Put(0, 1);
        w.Put(1, 1);
        w.Put(0, TimeBits(v.resolution));
        w.Put(1, 1);
        w.Put(1, 1);  // vop_coded
        w.Put(1, 3);  // intra_dc_vlc_thr 1
        w.Put(static_cast<std::uint32_t>(c.vopQuant), 5);
        for (int i = 0; i < 12; ++i) {
            const Macroblock mb =
                i < static_cast<int>(c.mbs.size()) ? c.mbs[i] : Macroblock{-1, c.restDcBits};
            if (mb.dquant >= 0) {
                w.Put(0b0001, 4);  // MCBPC: intra with DQUANT, CBPC 0
            } else {
                w.Put(1, 1);  // MCBPC: intra, CBPC 0
            }
            w.Put(0, 1);       // ac_pred_flag
            w.Put(0b0011, 4);  // CBPY 0
            if (mb.dquant >= 0) w.Put(static_cast<std::uint32_t>(mb.dquant), 2);
            if (mb.dcBits) {
                for (int b = 0; b < 4; ++b) w.Put(0b011, 3);  // luma DC size 0
                for (int b = 0; b < 2; ++b) w.Put(0b11, 2);   // chroma DC size 0
            }
        }
        w.Stuff();
        const DecodeResult r = DecodeOurs(Bytes(w));
        ASSERT_EQ(r.streamStatus, 0);
        EXPECT_EQ(r.stats.vopErrors, 0u);
        EXPECT_TRUE(r.messages.empty());
        EXPECT_EQ(r.stats.quantiserChanges, 2u);
        ASSERT_EQ(r.frames.size(), 1u);
        for (std::uint8_t y : r.frames[0].plane[0]) {
            ASSERT_GE(y, 126);
            ASSERT_LE(y, 129);
        }
    }
}

// Resync marker, macroblock_number, quant_scale and header_extension_code of a video packet; with the
// extension: modulo_time_base, vop_time_increment, vop_coding_type, intra_dc_vlc_thr and (P) the fcode.
void PutVideoPacket(BitWriter& w, int markerLength, int mbNumber, int quant, int hecType = -1,
                    int hecFcode = 1, int hecMarker = 1) {
    w.Stuff();
    w.Put(0, markerLength - 1);
    w.Put(1, 1);
    w.Put(static_cast<std::uint32_t>(mbNumber), 4);  // 12 macroblocks: 4 bits
    w.Put(static_cast<std::uint32_t>(quant), 5);
    w.Put(hecType >= 0 ? 1 : 0, 1);
    if (hecType < 0) return;
    w.Put(0, 1);  // modulo_time_base
    w.Put(static_cast<std::uint32_t>(hecMarker), 1);
    w.Put(0, TimeBits(VolSpec{}.resolution));
    w.Put(1, 1);
    w.Put(static_cast<std::uint32_t>(hecType), 2);
    w.Put(0, 3);  // intra_dc_vlc_thr
    if (hecType != 0) w.Put(static_cast<std::uint32_t>(hecFcode), 3);
}

// The fcode of a P-VOP's header extension replaces the VOP's: the next resync marker is one bit longer.
TEST(Mpeg4Vop, HeaderExtensionFcodeLengthensTheNextMarker) {
    const VolSpec v;
    BitWriter w;
    PutHeaders(w, v);
    PutFlatIVop(w, v, 0, 4);
    PutVopHeader(w, 1, 1, v, true, 4, 1);  // fcode 1: marker 17 bits
    for (int mb = 0; mb < 12; ++mb) {
        if (mb == 4) PutVideoPacket(w, 17, mb, 4, 1, 2);  // fcode 2 from here: marker 18 bits
        if (mb == 8) PutVideoPacket(w, 18, mb, 4);
        w.Put(1, 1);  // not_coded
    }
    w.Stuff();
    const DecodeResult r = DecodeOurs(Bytes(w));
    ASSERT_EQ(r.streamStatus, 0);
    EXPECT_TRUE(r.messages.empty());
    EXPECT_EQ(r.stats.vopErrors, 0u);
    EXPECT_EQ(r.stats.videoPackets, 2u);
    EXPECT_EQ(r.stats.maxFcodeForward, 1);  // of the VOP headers
    ASSERT_EQ(r.frames.size(), 2u);
    EXPECT_EQ(r.frames[1].plane[0], r.frames[0].plane[0]);
}

// A video packet header whose marker bit is broken ends the VOP as a macroblock-layer error: the
// macroblocks after it keep what their buffer held, and the next VOP decodes normally.
TEST(Mpeg4Vop, BrokenPacketMarkerEndsTheVop) {
    const VolSpec v;
    BitWriter w;
    PutHeaders(w, v);
    PutFlatIVop(w, v, 0, 4);  // flat 128
    PutVopHeader(w, 0, 1, v, true, 31);
    for (int mb = 0; mb < 12; ++mb) {
        if (mb == 6) PutVideoPacket(w, 17, mb, 31, 0, 1, 0);
        w.Put(1, 1), w.Put(0, 1), w.Put(0b0011, 4);
        for (int b = 0; b < 4; ++b) w.Put(0b011, 3);
        for (int b = 0; b < 2; ++b) w.Put(0b11, 2);
    }
    w.Stuff();
    PutFlatIVop(w, v, 2, 31);
    const DecodeResult r = DecodeOurs(Bytes(w));
    ASSERT_EQ(r.streamStatus, 0);
    EXPECT_EQ(r.stats.vopErrors, 1u);
    EXPECT_EQ(r.stats.videoPackets, 0u);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0], "Error: wrong marker bit in video_header.");
    ASSERT_EQ(r.frames.size(), 3u);
    for (int mb = 0; mb < 12; ++mb) {
        EXPECT_EQ(LumaAt(r.frames[1], mb, 4), mb < 6 ? 127 : 128) << mb;
        EXPECT_EQ(LumaAt(r.frames[2], mb, 4), 127) << mb;
    }
}

TEST(Mpeg4Stream, ReaderNeverReadsPastTheData) {
    vello::mpeg4::StreamBuffer s;
    ASSERT_TRUE(s.Allocate(64));
    const std::uint8_t data[5] = {0xA5, 0xFF, 0x00, 0x01, 0x7F};
    std::copy(data, data + 5, s.base);
    s.filled = 5;
    s.ClearPadding();
    s.base[5] = 0xEE;  // beyond the data: must read as 0 even if the padding were disturbed
    EXPECT_EQ(s.PeekBits(8), 0xA5u);
    s.SkipBits(36);  // 4 bytes and 4 bits: in 0x7F
    EXPECT_EQ(s.PeekBits(4), 0xFu);
    EXPECT_EQ(s.PeekBits(12), 0xF00u);
    s.SkipBits(4);
    EXPECT_FALSE(s.PastEnd());
    EXPECT_EQ(s.PeekBits(32), 0u);
    s.SkipBits(1);
    EXPECT_TRUE(s.PastEnd());
    s.SkipBits(32 * 100);  // stays within the padding
    EXPECT_LE(s.pos, s.End() + 8);
    EXPECT_EQ(s.GetBits(25), 0u);
    s.Release();
}

// The one start-code scanner: runs of zeros before the prefix, a prefix cut off before its value byte,
// a value range, and the short-video marker.
TEST(Mpeg4Stream, FindStartCode) {
    using vello::mpeg4::FindStartCode;
    using vello::mpeg4::kNoStartCode;
    struct Case {
        std::vector<std::uint8_t> bytes;
        int low;
        int high;
        std::size_t expected;
    };
    const Case cases[] = {
        {{0, 0, 0, 0, 1, 0xB6}, 0xB6, 0xB6, 2},
        {{0xFF, 0, 1, 0, 0, 1, 0xB6}, 0xB6, 0xB6, 3},
        {{0, 0, 1, 0xB3, 0, 0, 1, 0xB6}, 0xB6, 0xB6, 4},  // another value first
        {{0, 0, 1, 0x25}, 0x20, 0x2F, 0},
        {{0, 0, 1, 0x30}, 0x20, 0x2F, kNoStartCode},
        {{7, 0, 0, 1}, 0x00, 0xFF, kNoStartCode},  // no value byte yet
        {{0, 0, 2, 0, 0, 1}, 0x00, 0xFF, kNoStartCode},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindStartCode(c.bytes, c.low, c.high), c.expected) << ::testing::PrintToString(c.bytes);
    }
    const std::uint8_t marker[] = {0x12, 0, 0, 0x83, 0x44};
    EXPECT_EQ(vello::mpeg4::FindStartCodeOrShortHeader(marker, marker + 5), marker + 1);
    EXPECT_EQ(vello::mpeg4::FindStartCode(marker, marker + 5), marker + 5);
}

TEST(Mpeg4Stream, ResyncMarkerAhead) {
    struct Case {
        std::vector<std::uint8_t> bytes;
        int offset;
        int length;
        bool expected;
    };
    const Case cases[] = {
        {{0xEF, 0x00, 0x00, 0x80}, 3, 17, true},   // 0 1111 from offset 3, then 16 zeros and a 1
        {{0xEF, 0x00, 0x00, 0x80}, 3, 18, false},  // a P-VOP marker with f_code 2 is one bit longer
        {{0xEF, 0x00, 0x00, 0x40}, 3, 18, true},
        {{0x7F, 0x00, 0x00, 0x80}, 0, 17, true},  // byte-aligned: a whole 0x7F
        {{0xFF, 0x00, 0x00, 0x80}, 0, 17, false},
        {{0xEB, 0x00, 0x00, 0x80}, 3, 17, false},  // stuffing with a 0 in it
        {{0xEF, 0x00, 0x01, 0x80}, 3, 17, false},
    };
    for (const Case& c : cases) {
        vello::mpeg4::StreamBuffer s;
        ASSERT_TRUE(s.Allocate(16));
        std::copy(c.bytes.begin(), c.bytes.end(), s.base);
        s.filled = c.bytes.size();
        s.bitOffset = c.offset;
        EXPECT_EQ(s.ResyncMarkerAhead(c.length), c.expected);
        s.Release();
    }
}

// A packet queue under the test's control.
class ScriptedSource : public vello::mpeg4::PacketSource {
  public:
    std::size_t QueuedPackets() override { return packets.size(); }
    bool PeekOldest(vello::mpeg4::PacketView* p) override {
        if (packets.empty()) return false;
        p->data = packets.front().data.data();
        p->size = packets.front().data.size();
        p->intact = packets.front().intact;
        return true;
    }
    void DropOldest() override {
        packets.pop_front();
        ++taken;
    }
    bool StopRequested() override { return stop; }
    bool EndOfData() override { return ended || waits >= maxWaits; }
    void WaitStep() override { ++waits; }
    void Consumed(std::size_t bytes) override { consumed += bytes; }

    struct Packet {
        std::vector<std::uint8_t> data;
        bool intact = true;
    };
    void Add(std::size_t size, bool startsVop = false, bool intact = true) {
        Packet p{std::vector<std::uint8_t>(size, 0x33), intact};
        if (startsVop && size >= 4) p.data[0] = 0, p.data[1] = 0, p.data[2] = 1, p.data[3] = 0xB6;
        packets.push_back(std::move(p));
    }
    std::deque<Packet> packets;
    bool stop = false;
    bool ended = false;
    int waits = 0;
    int maxWaits = 1000000;
    int taken = 0;
    std::size_t consumed = 0;
};

vello::mpeg4::DecoderConfig Config(HostVariant variant, std::size_t capacity) {
    vello::mpeg4::DecoderConfig c;
    c.variant = variant;
    c.streamCapacity = capacity;
    return c;
}

TEST(Mpeg4Refill, ReeldeckRules) {
    ScriptedSource src;
    vello::mpeg4::Mpeg4Decoder d(Config(HostVariant::kReeldeck, 131072), &src);
    vello::mpeg4::StreamBuffer& s = d.Stream();
    ASSERT_TRUE(s.Allocate(131072));

    // Appends until a packet holding a VOP start code arrives after data; that packet is included.
    src.ended = true;
    src.Add(1000);
    src.Add(1000);
    src.Add(1000, true);
    src.Add(1000);
    EXPECT_TRUE(d.Refill());
    EXPECT_EQ(s.filled, 3000u);
    EXPECT_EQ(src.packets.size(), 1u);

    // Consumed bytes are reported and the unread rest moves to the start.
    s.pos = s.base + 2500;
    EXPECT_TRUE(d.Refill());
    EXPECT_EQ(src.consumed, 2500u);
    EXPECT_EQ(s.filled, 1500u);

    // A damaged packet, or one above 8192 bytes, is dropped and the refill fails.
    src.Add(100, false, false);
    EXPECT_FALSE(d.Refill());
    src.Add(8193);
    EXPECT_FALSE(d.Refill());
    EXPECT_TRUE(src.packets.empty());

    // Fewer than 8192 bytes free: nothing is taken.
    s.pos = s.base;
    s.filled = 131072 - 8000;
    src.Add(10);
    EXPECT_TRUE(d.Refill());
    EXPECT_EQ(src.packets.size(), 1u);

    // A stop request returns at once; waiting for a second packet counts wait steps.
    s.filled = 0;
    src.stop = true;
    EXPECT_TRUE(d.Refill());
    EXPECT_EQ(s.filled, 0u);
    src.stop = false;
    src.ended = false;
    src.maxWaits = 5;
    EXPECT_TRUE(d.Refill());
    EXPECT_EQ(src.waits, 5);
    EXPECT_EQ(s.filled, 10u);
}

TEST(Mpeg4Refill, OcuviewRules) {
    ScriptedSource src;
    vello::mpeg4::Mpeg4Decoder d(Config(HostVariant::kOcuview, 4096), &src);
    vello::mpeg4::StreamBuffer& s = d.Stream();
    ASSERT_TRUE(s.Allocate(4096));

    // A packet that does not fit stays queued; each taken packet raises the lag counter by one.
    src.ended = true;
    src.Add(3000);
    src.Add(2000);
    EXPECT_TRUE(d.Refill());
    EXPECT_EQ(s.filled, 3000u);
    EXPECT_EQ(src.packets.size(), 1u);
    EXPECT_EQ(d.LagCounter(), 1);

    // A damaged block is discarded and the refill goes on; the session's end with nothing taken is 0.
    s.pos = s.End();
    src.packets.push_front({std::vector<std::uint8_t>(10, 1), false});
    EXPECT_TRUE(d.Refill());
    EXPECT_EQ(s.filled, 2000u);
    s.pos = s.End();
    EXPECT_FALSE(d.Refill());

    // Each wait step lowers the counter by 10, not below -1000.
    src.ended = false;
    src.maxWaits = 150;
    src.Add(10);
    EXPECT_TRUE(d.Refill());
    EXPECT_EQ(d.LagCounter(), -1000 + 1);
}

}  // namespace
