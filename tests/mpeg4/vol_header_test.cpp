// The header module on its own: Visual Object and VOL headers of the layouts the camera, FFmpeg and Xvid
// write, cut short at every byte, with each marker bit broken, and with each unsupported tool.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"
#include "vello/mpeg4/vol_header.h"

namespace {

using mpeg4test::BitWriter;
using vello::mpeg4::BitReader;
using vello::mpeg4::Mpeg4Status;
using vello::mpeg4::VolHeader;

constexpr const char* kMarkerMessage = "Error: wrong marker bit in video_header.";
constexpr const char* kCutShort = "Error: header is cut short at the end of the data.";

// The fields of a VOL that choose its layout or a refusal.
struct Vol {
    int verid = 0;  // 0: no is_object_layer_identifier (version 1)
    int aspect = 1;
    bool control = false;
    int chroma = 1;
    bool vbv = false;
    int shape = 0;
    int resolution = 30;
    int fixedIncrement = 0;  // 0: fixed_vop_rate 0
    int width = 176;
    int height = 144;
    int interlaced = 0;
    int sprite = 0;
    int not8bit = 0;
    bool defaultMatrices = false;  // quant_type 1 with both default matrices
    int quarterSample = 0;
    int estimationMethod = -1;  // -1: complexity_estimation_disable
    int dataPartitioned = 0;
    int reversibleVlc = 0;
    int newpred = 0;
    int scalability = 0;
};

struct Written {
    std::vector<std::uint8_t> bytes;
    std::vector<int> markers;  // bit positions of the marker bits
    int sizeEnd = 0;           // bit position after the marker that follows the height
    int end = 0;               // bit position after the last field
};

Written Write(const Vol& v) {
    BitWriter w;
    Written out;
    auto marker = [&] {
        out.markers.push_back(w.bitPosition());
        w.Put(1, 1);
    };
    auto put = [&w](int value, int bits) { w.Put(static_cast<std::uint32_t>(value), bits); };
    w.StartCode(0x21);  // layer 1
    put(0, 1);          // random_accessible_vol
    put(v.verid == 0 ? 1 : 17, 8);
    put(v.verid != 0, 1);
    if (v.verid != 0) {
        put(v.verid, 4);
        put(1, 3);
    }
    put(v.aspect, 4);
    if (v.aspect == 15) put(0x0B0B, 16);
    put(v.control, 1);
    if (v.control) {
        put(v.chroma, 2);
        put(1, 1);  // low_delay
        put(v.vbv, 1);
        if (v.vbv) {
            for (int bits : {15, 15, 15}) {
                put(0x1234, bits);
                marker();
            }
            put(5, 3);
            put(0x123, 11);
            marker();
            put(0x4321, 15);
            marker();
        }
    }
    put(v.shape, 2);
    marker();
    put(v.resolution, 16);
    marker();
    put(v.fixedIncrement != 0, 1);
    if (v.fixedIncrement != 0) put(v.fixedIncrement, vello::mpeg4::TimeIncrementBits(v.resolution));
    marker();
    put(v.width, 13);
    marker();
    put(v.height, 13);
    marker();
    out.sizeEnd = w.bitPosition();
    put(v.interlaced, 1);
    put(1, 1);  // obmc_disable
    put(v.sprite, v.verid == 0 || v.verid == 1 ? 1 : 2);
    put(v.not8bit, 1);
    put(v.defaultMatrices, 1);
    if (v.defaultMatrices) put(0, 2);
    if (v.verid > 1) put(v.quarterSample, 1);
    put(v.estimationMethod < 0, 1);
    if (v.estimationMethod >= 0) {
        put(v.estimationMethod, 2);
        put(0, 1);  // shape estimation enabled, its six flags
        put(0b101010, 6);
        put(1, 1);  // texture set 1 disabled
        marker();
        put(0, 1);  // texture set 2 enabled, its four flags
        put(0b1111, 4);
        put(1, 1);  // motion compensation disabled
        marker();
        if (v.estimationMethod == 1) put(1, 1);  // version 2 disabled
    }
    put(1, 1);  // resync_marker_disable
    put(v.dataPartitioned, 1);
    if (v.dataPartitioned) put(v.reversibleVlc, 1);
    if (v.verid > 1) {
        put(v.newpred, 1);
        put(0, 1);  // reduced_resolution_vop_enable
    }
    put(v.scalability, 1);
    out.end = w.bitPosition();
    out.bytes = w.bytes();
    return out;
}

struct Parsed {
    Mpeg4Status status;
    VolHeader vol;
    std::size_t position;
    std::vector<std::string> messages;
};

Parsed Parse(const std::vector<std::uint8_t>& bytes, bool upToSize = false) {
    Parsed p{Mpeg4Status::kOk, {}, 0, {}};
    BitReader bits(bytes.data(), bytes.size());
    const vello::ReportFn report = [&p](const char*, int, std::string_view text) {
        p.messages.emplace_back(text);
    };
    p.status = upToSize ? vello::mpeg4::ParseVolUpToSize(bits, p.vol, report)
                        : vello::mpeg4::ParseVolHeader(bits, p.vol, report);
    p.position = bits.BitPosition();
    return p;
}

// The camera's layout, FFmpeg's (version 2 identifier, control parameters, MPEG matrices) and Xvid's
// (VBV parameters, a fixed rate, an own pixel aspect), and one with complexity estimation.
std::vector<std::pair<const char*, Vol>> Layouts() {
    Vol camera;
    camera.width = 640;
    camera.height = 480;
    Vol encoder;
    encoder.verid = 2;
    encoder.control = true;
    encoder.resolution = 25;
    encoder.defaultMatrices = true;
    encoder.width = 203;
    encoder.height = 117;
    Vol vbv;
    vbv.verid = 1;
    vbv.aspect = 15;
    vbv.control = true;
    vbv.vbv = true;
    vbv.resolution = 30000;
    vbv.fixedIncrement = 1001;
    Vol estimation;
    estimation.verid = 5;
    estimation.estimationMethod = 1;
    estimation.resolution = 1;
    return {{"camera", camera}, {"encoder", encoder}, {"vbv", vbv}, {"estimation", estimation}};
}

TEST(Mpeg4VolHeader, LayoutsInUseParseToTheirEnd) {
    for (const auto& [name, vol] : Layouts()) {
        SCOPED_TRACE(name);
        const Written w = Write(vol);
        const Parsed whole = Parse(w.bytes);
        ASSERT_EQ(whole.status, Mpeg4Status::kOk);
        EXPECT_TRUE(whole.messages.empty());
        EXPECT_EQ(whole.position, static_cast<std::size_t>(w.end));
        EXPECT_EQ(whole.vol.layer_id, 1);
        EXPECT_EQ(whole.vol.video_object_layer_width, vol.width);
        EXPECT_EQ(whole.vol.video_object_layer_height, vol.height);
        EXPECT_EQ(whole.vol.vop_time_increment_resolution, vol.resolution);
        EXPECT_EQ(whole.vol.fixed_vop_time_increment, vol.fixedIncrement);
        EXPECT_EQ(whole.vol.video_object_layer_verid, vol.verid == 0 ? 1 : vol.verid);
        // The quick readers' part stops right after the size and agrees with the whole parse.
        const Parsed quick = Parse(w.bytes, true);
        ASSERT_EQ(quick.status, Mpeg4Status::kOk);
        EXPECT_EQ(quick.position, static_cast<std::size_t>(w.sizeEnd));
        EXPECT_EQ(quick.vol.video_object_layer_width, vol.width);
        EXPECT_EQ(quick.vol.video_object_layer_height, vol.height);
    }
}

// Cut at every byte: refused with one message (the field the zeros after the cut break, or the cut
// itself), never reading beyond the bytes given (the copy is exactly that long).
TEST(Mpeg4VolHeader, CutShortIsRefusedAtEveryByte) {
    for (const auto& [name, vol] : Layouts()) {
        SCOPED_TRACE(name);
        const Written w = Write(vol);
        for (std::size_t size = 0; size < w.bytes.size(); ++size) {
            const std::vector<std::uint8_t> cut(w.bytes.begin(),
                                                w.bytes.begin() + static_cast<std::ptrdiff_t>(size));
            const Parsed whole = Parse(cut);
            EXPECT_EQ(whole.status, Mpeg4Status::kUnsupported) << size;
            EXPECT_EQ(whole.messages.size(), 1u) << size;  // what the zeros after the cut break
            if (size * 8 < static_cast<std::size_t>(w.sizeEnd)) {
                EXPECT_NE(Parse(cut, true).status, Mpeg4Status::kOk) << size;
            }
        }
    }
}

TEST(Mpeg4VolHeader, EachBrokenMarkerIsRefused) {
    for (const auto& [name, vol] : Layouts()) {
        SCOPED_TRACE(name);
        const Written w = Write(vol);
        for (int marker : w.markers) {
            std::vector<std::uint8_t> bytes = w.bytes;
            bytes[static_cast<std::size_t>(marker / 8)] &=
                static_cast<std::uint8_t>(~(0x80u >> (marker % 8)));
            const Parsed p = Parse(bytes);
            EXPECT_EQ(p.status, Mpeg4Status::kUnsupported) << marker;
            ASSERT_EQ(p.messages.size(), 1u);
            EXPECT_EQ(p.messages[0], kMarkerMessage);
            EXPECT_EQ(Parse(bytes, true).status == Mpeg4Status::kOk, marker >= w.sizeEnd) << marker;
        }
    }
}

TEST(Mpeg4VolHeader, EachUnsupportedToolHasItsOwnMessage) {
    struct Case {
        const char* message;
        void (*change)(Vol&);
        bool beforeSize;  // the quick readers refuse it too
    };
    const Case cases[] = {
        {"Error: vol_control_parameters.chroma_format != 4:2:0.",
         [](Vol& v) {
             v.control = true;
             v.chroma = 2;
         },
         true},
        {"Error: video_object_layer_shape != rectangular\nThis mode is not supported.",
         [](Vol& v) { v.shape = 2; }, true},
        {"Error: wrong value for vop_time_increment_resolution.", [](Vol& v) { v.resolution = 0; }, true},
        {"Error: interlaced vol is not supported.", [](Vol& v) { v.interlaced = 1; }, false},
        {"Error: sprites are not supported.", [](Vol& v) { v.sprite = 1; }, false},
        {"Error: sprites are not supported.",  // GMC: two bits from version 2 on
         [](Vol& v) {
             v.verid = 2;
             v.sprite = 2;
         },
         false},
        {"Error: only 8-bits data is supported.", [](Vol& v) { v.not8bit = 1; }, false},
        {"Error: Quarter sample is not supported.",
         [](Vol& v) {
             v.verid = 5;
             v.quarterSample = 1;
         },
         false},
        {"Error: reversible_vlc for data_partitioned VOL is not supported.",
         [](Vol& v) {
             v.dataPartitioned = 1;
             v.reversibleVlc = 1;
         },
         false},
        {"Error: data_partitioned VOL is not supported.", [](Vol& v) { v.dataPartitioned = 1; }, false},
        {"Error: NEWPRED mode is not supported.",
         [](Vol& v) {
             v.verid = 2;
             v.newpred = 1;
         },
         false},
        {"Error: VOL scalability is not supported.", [](Vol& v) { v.scalability = 1; }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        Vol vol;
        c.change(vol);
        const Written w = Write(vol);
        const Parsed p = Parse(w.bytes);
        EXPECT_EQ(p.status, Mpeg4Status::kUnsupported);
        ASSERT_EQ(p.messages.size(), 1u);
        EXPECT_EQ(p.messages[0], c.message);
        const Parsed quick = Parse(w.bytes, true);
        EXPECT_EQ(quick.status, c.beforeSize ? Mpeg4Status::kUnsupported : Mpeg4Status::kOk);
    }
}

TEST(Mpeg4VolHeader, VisualObjectHeader) {
    struct Case {
        std::vector<std::pair<int, int>> fields;  // value, bits
        Mpeg4Status status;
        const char* message;
    };
    // identifier, verid, priority, type, video_signal_type, format, range, colour_description, 3 x 8 bits
    const Case cases[] = {
        {{{0, 1}, {1, 4}, {0, 1}}, Mpeg4Status::kOk, nullptr},
        {{{1, 1}, {5, 4}, {1, 3}, {1, 4}, {1, 1}, {5, 3}, {1, 1}, {1, 1}, {1, 8}, {2, 8}, {6, 8}},
         Mpeg4Status::kOk,
         nullptr},
        {{{1, 1}, {3, 4}, {1, 3}, {1, 4}, {0, 1}},
         Mpeg4Status::kUnsupported,
         "Error: wrong VisualObject.verid."},
        {{{0, 1}, {2, 4}, {0, 1}},
         Mpeg4Status::kUnsupportedObject,
         "Error: Unsupported object: visual_object_type != video ID."},
        {{{0, 1}, {1, 4}, {1, 1}, {5, 3}, {1, 1}, {1, 1}, {1, 8}}, Mpeg4Status::kUnsupported, kCutShort},
    };
    for (const Case& c : cases) {
        BitWriter w;
        int bitCount = 0;
        for (auto [value, bits] : c.fields) {
            w.Put(static_cast<std::uint32_t>(value), bits);
            bitCount += bits;
        }
        std::vector<std::string> messages;
        BitReader bits(w.bytes().data(), w.bytes().size());
        vello::mpeg4::VisualObjectHeader vo;
        const Mpeg4Status status = vello::mpeg4::ParseVisualObjectHeader(
            bits, vo, [&messages](const char*, int, std::string_view text) { messages.emplace_back(text); });
        SCOPED_TRACE(bitCount);
        EXPECT_EQ(status, c.status);
        if (c.message == nullptr) {
            EXPECT_TRUE(messages.empty());
            EXPECT_EQ(bits.BitPosition(), static_cast<std::size_t>(bitCount));
        } else {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0], c.message);
        }
    }
}

}  // namespace
