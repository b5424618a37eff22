// JPEG decoder and encoder on their own: the encoder's segments and tables, the decoder's answers to
// malformed headers, colour pairs, restart resynchronisation, reuse and hostile sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "vello/jpeg/jpeg_decoder.h"
#include "vello/jpeg/jpeg_encoder.h"
#include "vello/jpeg/jpeg_picture.h"

namespace vello {
namespace {

using Bytes = std::vector<std::uint8_t>;

int BgrStep(int width) {
    return (width * 3 + 3) & ~3;
}

// A smooth colour picture with some edges, BGR, callers' row step.
Bytes MakeBgr(int width, int height) {
    Bytes p(static_cast<std::size_t>(BgrStep(width)) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* px = &p[static_cast<std::size_t>(y) * BgrStep(width) + x * 3];
            px[0] = static_cast<std::uint8_t>((x * 255) / (width > 1 ? width - 1 : 1));
            px[1] = static_cast<std::uint8_t>((y * 255) / (height > 1 ? height - 1 : 1));
            px[2] = static_cast<std::uint8_t>(((x / 16 + y / 16) % 2) ? 200 : 40);
        }
    }
    return p;
}

struct Encoded {
    JpegStatus status;
    Bytes file;
};

Encoded Encode(const std::uint8_t* pixels, int width, int height, int channels, int step, JpegColour src,
               JpegColour jpeg, JpegSampling sampling = kJpegSampling420, int quality = 75, int restart = 0,
               int capacity = 1 << 22) {
    JpegEncoder enc;
    enc.Reset();
    enc.SetSource(pixels, width, height, channels, step, src);
    enc.SetParams(quality, sampling, jpeg, 0, restart);
    Encoded e;
    e.file.resize(static_cast<std::size_t>(capacity));
    int size = capacity;
    e.status = enc.WriteImage(e.file.data(), &size);
    if (e.status == JpegStatus::kOk) e.file.resize(static_cast<std::size_t>(size));
    enc.Clean();
    return e;
}

struct Decoded {
    JpegStatus header = JpegStatus::kOk;
    JpegStatus data = JpegStatus::kOk;
    int width = 0, height = 0, components = 0;
    JpegColour colour = kJpegColourUnknown;
    JpegSampling sampling = kJpegSampling444;
    Bytes pixels;
};

Decoded Decode(const Bytes& file, JpegColour want = kJpegColourBGR, int channels = 3) {
    JpegDecoder dec;
    Decoded d;
    dec.SetSource(file.data(), static_cast<int>(file.size()));
    d.header = dec.ReadHeader(&d.width, &d.height, &d.components, &d.colour, &d.sampling);
    if (d.header != JpegStatus::kOk) return d;
    const int step = (d.width * channels + 3) & ~3;
    d.pixels.assign(static_cast<std::size_t>(step) * d.height, 0);
    dec.SetDestination(d.pixels.data(), d.width, step, d.height, channels, want);
    d.data = dec.ReadData();
    dec.Clean();
    return d;
}

double Psnr(const Bytes& a, const Bytes& b) {
    double se = 0;
    for (std::size_t i = 0; i < a.size(); ++i) se += (a[i] - b[i]) * (a[i] - b[i]);
    return se == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(a.size()) / se);
}

struct Segment {
    int marker;
    std::size_t offset;  // of the FF byte
    int length;          // the length field, 0 for markers without one
};

// The marker segments up to SOS, then EOI at the end.
std::vector<Segment> Segments(const Bytes& f) {
    std::vector<Segment> s;
    std::size_t p = 0;
    while (p + 1 < f.size() && f[p] == 0xFF) {
        const int m = f[p + 1];
        if (m == 0xD8) {
            s.push_back({m, p, 0});
            p += 2;
            continue;
        }
        const int len = f[p + 2] << 8 | f[p + 3];
        s.push_back({m, p, len});
        if (m == 0xDA) break;
        p += 2 + static_cast<std::size_t>(len);
    }
    if (f.size() >= 2 && f[f.size() - 2] == 0xFF && f[f.size() - 1] == 0xD9)
        s.push_back({0xD9, f.size() - 2, 0});
    return s;
}

// ---- Encoder ----

TEST(JpegEncoder, CallersParametersGiveTheSegmentsTablesAndComment) {
    const Bytes src = MakeBgr(640, 480);
    const Encoded e = Encode(src.data(), 640, 480, 3, BgrStep(640), kJpegColourBGR, kJpegColourYCbCr);
    ASSERT_EQ(e.status, JpegStatus::kOk);
    const std::vector<Segment> s = Segments(e.file);
    std::vector<int> markers;
    for (const Segment& g : s) markers.push_back(g.marker);
    EXPECT_EQ(markers,
              (std::vector<int>{0xD8, 0xE0, 0xFE, 0xDB, 0xDB, 0xC0, 0xC4, 0xC4, 0xC4, 0xC4, 0xDA, 0xD9}));

    const Bytes& f = e.file;
    // JFIF 1.02, no density units, 1:1, no thumbnail.
    EXPECT_EQ(Bytes(f.begin() + 6, f.begin() + 22),
              (Bytes{'J', 'F', 'I', 'F', 0, 1, 2, 0, 0, 1, 0, 1, 0, 0, 0xFF, 0xFE}));
    // The comment segment is 25 bytes including its marker.
    EXPECT_EQ(s[2].length + 2, 25);
    EXPECT_EQ(std::memcmp(&f[s[2].offset + 4], "Vellana JPEG encoder\0", 21), 0);
    // Quality 75 tables.
    const std::uint8_t* q0 = &f[s[3].offset + 5];
    const std::uint8_t* q1 = &f[s[4].offset + 5];
    EXPECT_EQ(f[s[3].offset + 4], 0);
    EXPECT_EQ(f[s[4].offset + 4], 1);
    EXPECT_EQ(Bytes(q0, q0 + 8), (Bytes{8, 6, 6, 7, 6, 5, 8, 7}));
    EXPECT_EQ(Bytes(q1, q1 + 8), (Bytes{9, 9, 9, 12, 11, 12, 24, 13}));
    EXPECT_EQ(q1[63], 50);  // a 99 of the chrominance table
    // SOF0: 8-bit, 480 x 640, components 0, 1, 2, the first 2x2 with table 0, the others 1x1 with table 1.
    EXPECT_EQ(Bytes(&f[s[5].offset + 4], &f[s[5].offset + 19]),
              (Bytes{8, 0x01, 0xE0, 0x02, 0x80, 3, 0, 0x22, 0, 1, 0x11, 1, 2, 0x11, 1}));
    // DHT classes and identifiers in order DC 0, DC 1, AC 0, AC 1.
    EXPECT_EQ(f[s[6].offset + 4], 0x00);
    EXPECT_EQ(f[s[7].offset + 4], 0x01);
    EXPECT_EQ(f[s[8].offset + 4], 0x10);
    EXPECT_EQ(f[s[9].offset + 4], 0x11);
    // SOS names components 0, 1, 2 with tables 0/0, 1/1, 1/1, full band.
    EXPECT_EQ(Bytes(&f[s[10].offset + 4], &f[s[10].offset + 14]),
              (Bytes{3, 0, 0x00, 1, 0x11, 2, 0x11, 0, 63, 0}));

    const Decoded d = Decode(e.file);
    ASSERT_EQ(d.data, JpegStatus::kOk);
    EXPECT_EQ(d.sampling, kJpegSampling420);
    EXPECT_GT(Psnr(d.pixels, src), 25.0);  // hard colour edges; photographs are held to 30 dB against djpeg
}

TEST(JpegEncoder, GreyFileHasOneComponentOneQuantTableTwoHuffmanTables) {
    Bytes grey(33 * 20);
    for (std::size_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<std::uint8_t>(i * 7);
    // 4:2:0 is asked for, but one component is always coded 1x1.
    const Encoded e = Encode(grey.data(), 33, 20, 1, 33, kJpegColourGrey, kJpegColourGrey);
    ASSERT_EQ(e.status, JpegStatus::kOk);
    int dqt = 0, dht = 0;
    for (const Segment& g : Segments(e.file)) {
        dqt += g.marker == 0xDB;
        dht += g.marker == 0xC4;
        if (g.marker == 0xC0) {
            EXPECT_EQ(e.file[g.offset + 9], 1);      // one component
            EXPECT_EQ(e.file[g.offset + 11], 0x11);  // sampled 1x1
        }
    }
    EXPECT_EQ(dqt, 1);
    EXPECT_EQ(dht, 2);
    // Decoded as BGR, grey comes out with B = G = R.
    const Decoded d = Decode(e.file);
    ASSERT_EQ(d.data, JpegStatus::kOk);
    EXPECT_EQ(d.colour, kJpegColourGrey);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 33; ++x) {
            const std::uint8_t* px = &d.pixels[static_cast<std::size_t>(y) * BgrStep(33) + x * 3];
            ASSERT_EQ(px[0], px[1]);
            ASSERT_EQ(px[1], px[2]);
        }
}

TEST(JpegEncoder, RefusesWhatItCannotWrite) {
    const Bytes src = MakeBgr(64, 64);
    // Too small for the headers.
    EXPECT_EQ(Encode(src.data(), 64, 64, 3, BgrStep(64), kJpegColourBGR, kJpegColourYCbCr, kJpegSampling420,
                     75, 0, 100)
                  .status,
              JpegStatus::kDataExhausted);
    // Room for the headers but not for the data.
    EXPECT_EQ(Encode(src.data(), 64, 64, 3, BgrStep(64), kJpegColourBGR, kJpegColourYCbCr, kJpegSampling420,
                     75, 0, 700)
                  .status,
              JpegStatus::kDataExhausted);
    // A colour pair without a conversion would code uninitialised planes.
    EXPECT_EQ(Encode(src.data(), 64, 64, 3, BgrStep(64), kJpegColourBGR, kJpegColourRGB).status,
              JpegStatus::kNotSupported);
    // Channels that do not match the source colour, and a line step shorter than a row.
    EXPECT_EQ(Encode(src.data(), 64, 64, 4, BgrStep(64), kJpegColourBGR, kJpegColourYCbCr).status,
              JpegStatus::kNotSupported);
    EXPECT_EQ(Encode(src.data(), 64, 64, 3, 100, kJpegColourBGR, kJpegColourYCbCr).status,
              JpegStatus::kNotSupported);
    // Quality 0 is clamped to 1 rather than dividing by zero.
    EXPECT_EQ(
        Encode(src.data(), 64, 64, 3, BgrStep(64), kJpegColourBGR, kJpegColourYCbCr, kJpegSampling420, 0)
            .status,
        JpegStatus::kOk);
}

// ---- Decoder: geometry and colour pairs ----

TEST(JpegDecoder, McuGeometryFollowsTheSampling) {
    struct Case {
        int width, height;
        JpegSampling sampling;
        int mcuW, mcuH, perRow, rows, blocks;
    } cases[] = {
        {640, 480, kJpegSampling420, 16, 16, 40, 30, 6},
        {642, 482, kJpegSampling420, 16, 16, 41, 31, 6},
        {17, 9, kJpegSampling422, 16, 8, 2, 2, 4},
        {17, 9, kJpegSampling444, 8, 8, 3, 2, 3},
    };
    for (const Case& c : cases) {
        const Bytes src = MakeBgr(c.width, c.height);
        const Encoded e = Encode(src.data(), c.width, c.height, 3, BgrStep(c.width), kJpegColourBGR,
                                 kJpegColourYCbCr, c.sampling);
        ASSERT_EQ(e.status, JpegStatus::kOk);
        JpegDecoder dec;
        dec.SetSource(e.file.data(), static_cast<int>(e.file.size()));
        JpegSampling sampling = kJpegSamplingOther;
        ASSERT_EQ(dec.ReadHeader(nullptr, nullptr, nullptr, nullptr, &sampling), JpegStatus::kOk);
        EXPECT_EQ(sampling, c.sampling);
        EXPECT_EQ(dec.McuWidth(), c.mcuW);
        EXPECT_EQ(dec.McuHeight(), c.mcuH);
        EXPECT_EQ(dec.McusPerRow(), c.perRow);
        EXPECT_EQ(dec.McuRows(), c.rows);
        EXPECT_EQ(dec.BlocksPerMcu(), c.blocks);
    }
}

TEST(JpegDecoder, AdobeTransformZeroIsRgbAndComesOutSwappedAsBgr) {
    const int w = 48, h = 32;
    Bytes rgb(static_cast<std::size_t>(w) * h * 3);
    for (std::size_t i = 0; i < rgb.size(); i += 3) {
        rgb[i] = 220;  // R
        rgb[i + 1] = static_cast<std::uint8_t>(i % 256);
        rgb[i + 2] = 30;  // B
    }
    const Encoded e =
        Encode(rgb.data(), w, h, 3, w * 3, kJpegColourRGB, kJpegColourRGB, kJpegSampling444, 95);
    ASSERT_EQ(e.status, JpegStatus::kOk);
    const Decoded d = Decode(e.file);
    ASSERT_EQ(d.data, JpegStatus::kOk);
    EXPECT_EQ(d.colour, kJpegColourRGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* out = &d.pixels[static_cast<std::size_t>(y) * BgrStep(w) + x * 3];
            const std::uint8_t* in = &rgb[(static_cast<std::size_t>(y) * w + x) * 3];
            ASSERT_NEAR(out[0], in[2], 8);
            ASSERT_NEAR(out[2], in[0], 8);
        }
}

TEST(JpegDecoder, FourComponentsWithoutAdobeAreUnknownAndNotWrittenAsCmyk) {
    const int w = 24, h = 16;
    Bytes cmyk(static_cast<std::size_t>(w) * h * 4, 77);
    const Encoded e =
        Encode(cmyk.data(), w, h, 4, w * 4, kJpegColourUnknown, kJpegColourUnknown, kJpegSampling444);
    ASSERT_EQ(e.status, JpegStatus::kOk);
    const Decoded asCmyk = Decode(e.file, kJpegColourCMYK, 4);
    ASSERT_EQ(asCmyk.header, JpegStatus::kOk);
    EXPECT_EQ(asCmyk.colour, kJpegColourUnknown);
    EXPECT_EQ(asCmyk.data, JpegStatus::kOk);
    for (std::uint8_t b : asCmyk.pixels) ASSERT_EQ(b, 0);
    // Asked for as unknown, the planes are copied out.
    const Decoded raw = Decode(e.file, kJpegColourUnknown, 4);
    ASSERT_EQ(raw.data, JpegStatus::kOk);
    EXPECT_NEAR(raw.pixels[0], 77, 2);
}

// ---- Decoder: malformed headers ----

// A small valid baseline file to take apart.
Bytes SmallFile(JpegSampling sampling = kJpegSampling420, int restart = 0) {
    const Bytes src = MakeBgr(40, 24);
    return Encode(src.data(), 40, 24, 3, BgrStep(40), kJpegColourBGR, kJpegColourYCbCr, sampling, 75, restart)
        .file;
}

std::size_t Find(const Bytes& f, int marker) {
    for (const Segment& s : Segments(f))
        if (s.marker == marker) return s.offset;
    ADD_FAILURE() << "marker not found";
    return 0;
}

// Replaces the segment at `offset` (marker included) by `replacement`.
Bytes Splice(Bytes f, std::size_t offset, const Bytes& replacement) {
    const std::size_t len = 2 + (static_cast<std::size_t>(f[offset + 2]) << 8 | f[offset + 3]);
    f.erase(f.begin() + static_cast<std::ptrdiff_t>(offset),
            f.begin() + static_cast<std::ptrdiff_t>(offset + len));
    f.insert(f.begin() + static_cast<std::ptrdiff_t>(offset), replacement.begin(), replacement.end());
    return f;
}

Bytes Insert(Bytes f, std::size_t offset, const Bytes& what) {
    f.insert(f.begin() + static_cast<std::ptrdiff_t>(offset), what.begin(), what.end());
    return f;
}

JpegStatus FirstFailure(const Bytes& f) {
    const Decoded d = Decode(f);
    return d.header != JpegStatus::kOk ? d.header : d.data;
}

TEST(JpegDecoder, MalformedSegmentsGiveTheirStatus) {
    const Bytes base = SmallFile();
    ASSERT_EQ(FirstFailure(base), JpegStatus::kOk);
    const std::size_t sof = Find(base, 0xC0);
    const std::size_t sos = Find(base, 0xDA);
    const std::size_t dqt = Find(base, 0xDB);
    Bytes counts257 = {0xFF, 0xC4, 0x01, 0x13, 0x00};
    for (int i = 0; i < 16; ++i) counts257.push_back(i == 15 ? 17 : 16);  // 15 x 16 + 17 = 257
    counts257.resize(counts257.size() + 257, 0);
    struct Case {
        const char* what;
        Bytes file;
        JpegStatus expected;
    } cases[] = {
        {"12-bit precision",
         [&] {
             Bytes f = base;
             f[sof + 4] = 12;
             return f;
         }(),
         JpegStatus::kNotSupported},
        {"arithmetic frame (SOF9)",
         [&] {
             Bytes f = base;
             f[sof + 1] = 0xC9;
             return f;
         }(),
         JpegStatus::kNotSupported},
        {"lossless frame (SOF3)",
         [&] {
             Bytes f = base;
             f[sof + 1] = 0xC3;
             return f;
         }(),
         JpegStatus::kNotSupported},
        {"five components", Splice(base, sof, {0xFF, 0xC0, 0, 23, 8,    0, 24, 0,    40, 5, 1,    0x11, 0,
                                               2,    0x11, 0, 3,  0x11, 0, 4,  0x11, 0,  5, 0x11, 0}),
         JpegStatus::kBadFrameHeader},
        {"sampling factor 0",
         [&] {
             Bytes f = base;
             f[sof + 11] = 0x20;
             return f;
         }(),
         JpegStatus::kBadFrameHeader},
        {"SOF length",
         [&] {
             Bytes f = base;
             f[sof + 3] += 1;
             return f;
         }(),
         JpegStatus::kBadLength},
        {"single component sampled 2x2",
         Splice(base, sof, {0xFF, 0xC0, 0, 11, 8, 0, 24, 0, 40, 1, 0, 0x22, 0}), JpegStatus::kBadSampling},
        {"DQT identifier 4",
         [&] {
             Bytes f = base;
             f[dqt + 4] = 4;
             return f;
         }(),
         JpegStatus::kBadQuantTable},
        {"DQT length",
         [&] {
             Bytes f = base;
             f[dqt + 3] -= 1;
             return f;
         }(),
         JpegStatus::kBadLength},
        {"DHT counts 257", Insert(base, sof, counts257), JpegStatus::kBadHuffmanTable},
        {"DHT identifier 4",
         [&] {
             Bytes f = base;
             f[Find(base, 0xC4) + 4] = 0x04;
             return f;
         }(),
         JpegStatus::kBadHuffmanTable},
        {"scan with 0 components",
         [&] {
             Bytes f = base;
             f[sos + 4] = 0;
             return f;
         }(),
         JpegStatus::kBadScanHeader},
        {"sequential scan of one component of three",
         Splice(base, sos, {0xFF, 0xDA, 0, 8, 1, 0, 0x00, 0, 63, 0}), JpegStatus::kNotSupported},
        {"scan names component 9",
         [&] {
             Bytes f = base;
             f[sos + 5] = 9;
             return f;
         }(),
         JpegStatus::kBadComponentId},
        {"scan table selector 5",
         [&] {
             Bytes f = base;
             f[sos + 6] = 0x50;
             return f;
         }(),
         JpegStatus::kBadScanHeader},
        {"scan uses Huffman tables never defined (and a non-zero Ah, which must not matter)",
         [&] {
             Bytes f = base;
             f[sos + 6] = 0x33;
             f[sos + 13] = 0x10;
             return f;
         }(),
         JpegStatus::kBadHuffmanTable},
        {"DRI length", Insert(base, sos, {0xFF, 0xDD, 0, 5, 0, 1, 0}), JpegStatus::kBadLength},
        {"segment length 0 (would loop forever)", Insert(base, sof, {0xFF, 0xE5, 0, 0}),
         JpegStatus::kBadLength},
        {"segment running past the end",
         Bytes(base.begin(), base.begin() + static_cast<std::ptrdiff_t>(sof + 8)),
         JpegStatus::kDataExhausted},
        {"no frame before EOI", Bytes{0xFF, 0xD8, 0xFF, 0xD9}, JpegStatus::kBadFrameHeader},
        {"empty", Bytes{}, JpegStatus::kDataExhausted},
        {"height 0 (DNL)",
         [&] {
             Bytes f = base;
             f[sof + 5] = 0;
             f[sof + 6] = 0;
             return f;
         }(),
         JpegStatus::kNotSupported},
        {"larger than the pixel limit",
         [&] {
             Bytes f = base;
             f[sof + 5] = f[sof + 7] = 0xFF;
             return f;
         }(),
         JpegStatus::kNotSupported},
    };
    for (const Case& c : cases) EXPECT_EQ(FirstFailure(c.file), c.expected) << c.what;
}

// The reason a refused file gives, as a message would show it.
std::string RefusalOf(const Bytes& f) {
    JpegDecoder dec;
    dec.SetSource(f.data(), static_cast<int>(f.size()));
    int w = 0, h = 0;
    JpegStatus st = dec.ReadHeader(&w, &h, nullptr, nullptr, nullptr);
    if (st == JpegStatus::kOk) {
        Bytes out(static_cast<std::size_t>(BgrStep(w)) * h);
        dec.SetDestination(out.data(), w, BgrStep(w), h, 3, kJpegColourBGR);
        st = dec.ReadData();
    }
    return std::to_string(JpegStatusCode(st)) + " " + dec.Reason(st);
}

TEST(JpegDecoder, RefusalsNameTheirCause) {
    const Bytes base = SmallFile();
    const std::size_t sof = Find(base, 0xC0);
    const std::size_t sos = Find(base, 0xDA);
    auto with = [&](std::size_t at, std::uint8_t value) {
        Bytes f = base;
        f[at] = value;
        return f;
    };
    const struct {
        Bytes file;
        const char* reason;
    } cases[] = {
        {with(sof + 4, 12), "-1 12-bit samples are not supported"},
        {with(sof + 4, 16), "-1 sample precision other than 8 bits is not supported"},
        {with(sof + 1, 0xC9), "-1 arithmetic coding is not supported"},
        {with(sof + 1, 0xCA), "-1 arithmetic coding is not supported"},
        {with(sof + 1, 0xC3), "-1 lossless coding is not supported"},
        {with(sof + 1, 0xC5), "-1 hierarchical coding is not supported"},
        {with(sof + 14, 0x21), "-1 this sampling layout is not supported (4:4:4, 4:2:2 and 4:2:0 are)"},
        {Splice(base, sos, {0xFF, 0xDA, 0, 8, 1, 0, 0x00, 0, 63, 0}),
         "-1 non-interleaved sequential scans are not supported"},
        {[&] {
             Bytes f = with(sof + 5, 0);
             f[sof + 6] = 0;
             return f;
         }(),
         "-1 a height defined by a DNL segment is not supported"},
        {with(sof + 4, 8), "0 success"},
    };
    for (const auto& c : cases) EXPECT_EQ(RefusalOf(c.file), c.reason);
}

// ---- Damaged and cut-off data ----

// Whether rows [first, last) of two BGR pictures of width `w` are identical.
bool SameRows(const Bytes& a, const Bytes& b, int w, int first, int last) {
    const auto from = static_cast<std::ptrdiff_t>(first) * BgrStep(w);
    const auto to = static_cast<std::ptrdiff_t>(last) * BgrStep(w);
    return std::equal(a.begin() + from, a.begin() + to, b.begin() + from);
}

TEST(JpegDecoder, DamagedOrCutShortDataStillGivesThePictureWithTheRestGrey) {
    const int w = 64, h = 48;  // 4 x 3 MCUs of 16 x 16
    const Bytes src = MakeBgr(w, h);
    for (const int restart : {0, 1}) {
        SCOPED_TRACE(restart);
        const Bytes clean = Encode(src.data(), w, h, 3, BgrStep(w), kJpegColourBGR, kJpegColourYCbCr,
                                   kJpegSampling420, 75, restart)
                                .file;
        const JpegDecodeResult reference = DecodeJpeg(clean);
        ASSERT_EQ(reference.status, JpegStatus::kOk);
        const std::size_t data = Find(clean, 0xDA) + 14;  // first byte after the 3-component SOS
        const std::size_t dataBytes = clean.size() - 2 - data;

        // Cut off half-way: the first MCU row is there, the last MCU row is plain grey (but for its top line,
        // which the chroma upsampling blends with the row above).
        const JpegDecodeResult cut = DecodeJpeg(
            Bytes(clean.begin(), clean.begin() + static_cast<std::ptrdiff_t>(data + dataBytes / 2)));
        ASSERT_EQ(cut.status, JpegStatus::kCorruptData);
        EXPECT_STREQ(cut.reason, "corrupt entropy-coded data");
        ASSERT_EQ(cut.picture.pixels.size(), reference.picture.pixels.size());
        EXPECT_TRUE(SameRows(cut.picture.pixels, reference.picture.pixels, w, 0, 8));
        for (int y = 33; y < h; ++y)
            for (int x = 0; x < w * 3; ++x)
                ASSERT_EQ(cut.picture.pixels[static_cast<std::size_t>(y * BgrStep(w) + x)], 128) << y;
        // No EOI, otherwise whole: the picture is all there and the file still reported damaged.
        const JpegDecodeResult noEoi = DecodeJpeg(Bytes(clean.begin(), clean.end() - 2));
        EXPECT_EQ(noEoi.status, JpegStatus::kCorruptData);
        EXPECT_EQ(noEoi.picture.pixels, reference.picture.pixels);
        if (restart == 0) continue;

        // The second restart interval (MCU 1) loses bytes, so that RST1 comes early: that interval is
        // grey, decoding resumes at RST1, and the last MCU row is exactly as in the clean file.
        std::size_t rst0 = 0, rst1 = 0;
        for (std::size_t i = data; i + 1 < clean.size(); ++i) {
            if (clean[i] == 0xFF && clean[i + 1] == 0xD0 && rst0 == 0) rst0 = i;
            if (clean[i] == 0xFF && clean[i + 1] == 0xD1 && rst1 == 0) rst1 = i;
        }
        ASSERT_GT(rst1, rst0 + 8);
        Bytes damaged = clean;
        damaged.erase(damaged.begin() + static_cast<std::ptrdiff_t>(rst0 + 4),
                      damaged.begin() + static_cast<std::ptrdiff_t>(rst1));
        const JpegDecodeResult d = DecodeJpeg(damaged);
        ASSERT_EQ(d.status, JpegStatus::kCorruptData);
        EXPECT_TRUE(SameRows(d.picture.pixels, reference.picture.pixels, w, 32, h));
        const std::uint8_t* mcu1 = &d.picture.pixels[static_cast<std::size_t>(4 * BgrStep(w) + 20 * 3)];
        EXPECT_NEAR(mcu1[0], 128, 2);  // inside MCU 1 (x 16..31), away from the upsampling's reach
        EXPECT_NEAR(mcu1[1], 128, 2);
        EXPECT_NEAR(mcu1[2], 128, 2);
    }
}

TEST(JpegDecoder, HeaderFactsAndShortApp0) {
    Bytes f = SmallFile();
    // An APP0 of 15 bytes is not read as JFIF even though it starts with the name.
    f = Splice(f, Find(f, 0xE0), {0xFF, 0xE0, 0, 13, 'J', 'F', 'I', 'F', 0, 9, 9, 9, 9, 9, 9});
    JpegDecoder dec;
    dec.SetSource(f.data(), static_cast<int>(f.size()));
    int w = 0, h = 0;
    ASSERT_EQ(dec.ReadHeader(&w, &h, nullptr, nullptr, nullptr), JpegStatus::kOk);
    EXPECT_FALSE(dec.HasJfif());
    EXPECT_TRUE(dec.HasComment());
    EXPECT_STREQ(dec.Comment(), JpegEncoder::kComment);
    EXPECT_EQ(dec.CommentLength(), 21);
    dec.Clean();

    const Bytes g = SmallFile();
    dec.SetSource(g.data(), static_cast<int>(g.size()));
    ASSERT_EQ(dec.ReadHeader(&w, &h, nullptr, nullptr, nullptr), JpegStatus::kOk);
    EXPECT_TRUE(dec.HasJfif());
    EXPECT_EQ(dec.Jfif().versionMajor, 1);
    EXPECT_EQ(dec.Jfif().versionMinor, 2);
    EXPECT_EQ(dec.Jfif().xDensity, 1);
}

// ---- Decoder: restarts, reuse, destination ----

TEST(JpegDecoder, ResynchronisesAtTheNextRestartMarkerAfterADamagedInterval) {
    const Bytes clean = SmallFile(kJpegSampling420, 1);
    const Decoded reference = Decode(clean);
    ASSERT_EQ(reference.data, JpegStatus::kOk);
    // Garbage after the coded data of the second interval: the interval decodes as before, then the
    // restart step must skip the garbage to RST1 instead of reading it as the next interval.
    std::size_t rst1 = 0;
    for (std::size_t i = Find(clean, 0xDA); i + 1 < clean.size(); ++i)
        if (clean[i] == 0xFF && clean[i + 1] == 0xD1) rst1 = i;
    ASSERT_GT(rst1, 0u);
    const Bytes damaged = Insert(clean, rst1, Bytes(24, 0x5A));
    const Decoded d = Decode(damaged);
    ASSERT_EQ(d.data, JpegStatus::kOk);
    EXPECT_EQ(d.pixels, reference.pixels);
}

TEST(JpegDecoder, OneObjectDecodesAStreamWithoutCarryingFactsOver) {
    const int w = 32, h = 16;
    Bytes rgb(static_cast<std::size_t>(w) * h * 3, 0);
    for (std::size_t i = 0; i < rgb.size(); i += 3) rgb[i] = 250;  // pure red
    const Bytes adobeRgb =
        Encode(rgb.data(), w, h, 3, w * 3, kJpegColourRGB, kJpegColourRGB, kJpegSampling444).file;
    const Bytes ycc =
        Encode(rgb.data(), w, h, 3, w * 3, kJpegColourRGB, kJpegColourYCbCr, kJpegSampling420).file;
    // The second image has no APP0: its colour must come from its own markers, not the first image's.
    const Bytes yccNoApp0 = Splice(ycc, Find(ycc, 0xE0), {});
    JpegDecoder dec;
    dec.Reset();
    for (const Bytes* f : {&adobeRgb, &yccNoApp0}) {
        dec.SetSource(f->data(), static_cast<int>(f->size()));
        int iw = 0, ih = 0, n = 0;
        JpegColour colour = kJpegColourUnknown;
        ASSERT_EQ(dec.ReadHeader(&iw, &ih, &n, &colour, nullptr), JpegStatus::kOk);
        EXPECT_EQ(colour, f == &adobeRgb ? kJpegColourRGB : kJpegColourYCbCr);
        Bytes out(static_cast<std::size_t>(BgrStep(w)) * h, 0);
        dec.SetDestination(out.data(), w, BgrStep(w), h, 3, kJpegColourBGR);
        ASSERT_EQ(dec.ReadData(), JpegStatus::kOk);
        EXPECT_NEAR(out[2], 250, 6);  // R of the first pixel
        EXPECT_NEAR(out[0], 0, 6);
        dec.Clean();
    }
}

TEST(JpegDecoder, ANewImageWithoutCleanDoesNotReuseSmallerBuffers) {
    const Bytes small = SmallFile();
    const Bytes big = [] {
        const Bytes src = MakeBgr(200, 120);
        return Encode(src.data(), 200, 120, 3, BgrStep(200), kJpegColourBGR, kJpegColourYCbCr).file;
    }();
    JpegDecoder dec;
    Bytes out(static_cast<std::size_t>(BgrStep(200)) * 120);
    for (const Bytes* f : {&small, &big}) {
        int w = 0, h = 0;
        dec.SetSource(f->data(), static_cast<int>(f->size()));
        ASSERT_EQ(dec.ReadHeader(&w, &h, nullptr, nullptr, nullptr), JpegStatus::kOk);
        dec.SetDestination(out.data(), w, BgrStep(w), h, 3, kJpegColourBGR);
        ASSERT_EQ(dec.ReadData(), JpegStatus::kOk);  // no Clean in between
    }
}

TEST(JpegDecoder, WritesOnlyWhatTheDestinationHolds) {
    const Bytes f = SmallFile();  // 40 x 24
    JpegDecoder dec;
    dec.SetSource(f.data(), static_cast<int>(f.size()));
    ASSERT_EQ(dec.ReadHeader(nullptr, nullptr, nullptr, nullptr, nullptr), JpegStatus::kOk);
    // A 10 x 5 destination with a guard area after it: nothing beyond it may change.
    Bytes out(static_cast<std::size_t>(BgrStep(10)) * 5 + 64, 0xAB);
    dec.SetDestination(out.data(), 10, BgrStep(10), 5, 3, kJpegColourBGR);
    ASSERT_EQ(dec.ReadData(), JpegStatus::kOk);
    for (std::size_t i = static_cast<std::size_t>(BgrStep(10)) * 5; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0xAB);
    dec.Clean();
    // A line step too short for the pixels asked for is refused before anything is written.
    dec.SetSource(f.data(), static_cast<int>(f.size()));
    ASSERT_EQ(dec.ReadHeader(nullptr, nullptr, nullptr, nullptr, nullptr), JpegStatus::kOk);
    dec.SetDestination(out.data(), 40, 40, 1, 3, kJpegColourBGR);
    EXPECT_EQ(dec.ReadData(), JpegStatus::kNotSupported);
}

TEST(JpegDecoder, LimitsStopHostileProgressiveFiles) {
    // A progressive frame of 4000 x 4000 with a DC scan whose every block is coded in a few bits; a small
    // coefficient limit refuses it before allocating.
    const Bytes base = SmallFile();
    Bytes f = base;
    const std::size_t sof = Find(f, 0xC0);
    f[sof + 1] = 0xC2;
    f[sof + 5] = 0x0F;
    f[sof + 6] = 0xA0;
    f[sof + 7] = 0x0F;
    f[sof + 8] = 0xA0;
    JpegDecoderLimits limits;
    limits.maxCoefficientBytes = 1 << 20;
    JpegDecoder dec;
    dec.SetLimits(limits);
    dec.SetSource(f.data(), static_cast<int>(f.size()));
    ASSERT_EQ(dec.ReadHeader(nullptr, nullptr, nullptr, nullptr, nullptr), JpegStatus::kOk);
    Bytes out(16);
    dec.SetDestination(out.data(), 1, 4, 1, 3, kJpegColourBGR);
    EXPECT_EQ(dec.ReadData(), JpegStatus::kNotSupported);
    dec.Clean();
    // Within the limits, but a few hundred bytes cannot code the DC of 375 000 blocks.
    dec.SetLimits(JpegDecoderLimits{});
    dec.SetSource(f.data(), static_cast<int>(f.size()));
    ASSERT_EQ(dec.ReadHeader(nullptr, nullptr, nullptr, nullptr, nullptr), JpegStatus::kOk);
    dec.SetDestination(out.data(), 1, 4, 1, 3, kJpegColourBGR);
    EXPECT_EQ(dec.ReadData(), JpegStatus::kDataExhausted);
    dec.Clean();

    limits = JpegDecoderLimits{};
    limits.maxPixels = 40 * 24;
    dec.SetLimits(limits);
    dec.SetSource(base.data(), static_cast<int>(base.size()));
    EXPECT_EQ(dec.ReadHeader(nullptr, nullptr, nullptr, nullptr, nullptr), JpegStatus::kOk);
    dec.Clean();
    limits.maxPixels = 40 * 24 - 1;
    dec.SetLimits(limits);
    dec.SetSource(base.data(), static_cast<int>(base.size()));
    EXPECT_EQ(dec.ReadHeader(nullptr, nullptr, nullptr, nullptr, nullptr), JpegStatus::kNotSupported);
    dec.Clean();
}

// ---- One-call decode and encode ----

TEST(JpegPicture, DecodeGivesTheHostsPictureAndEncodeRoundTrips) {
    const int w = 41, h = 23;  // odd sizes: padding on both axes, a row step that is not width * 3
    const Bytes bgr = MakeBgr(w, h);
    const JpegEncodeResult e = EncodeJpeg(JpegPictureView{bgr.data(), w, h, 3, BgrStep(w), kJpegColourBGR});
    ASSERT_EQ(e.status, JpegStatus::kOk);
    ASSERT_EQ(Segments(e.bytes).back().marker, 0xD9);

    const JpegDecodeResult d = DecodeJpeg(e.bytes);
    ASSERT_EQ(d.status, JpegStatus::kOk) << d.reason;
    EXPECT_EQ(d.picture.width, w);
    EXPECT_EQ(d.picture.height, h);
    EXPECT_EQ(d.picture.channels, 3);
    EXPECT_EQ(d.picture.colour, kJpegColourBGR);
    EXPECT_EQ(d.picture.step, BgrStep(w));
    EXPECT_GT(Psnr(d.picture.pixels, bgr), 28.0);

    // Packed RGB rows: the same pixels with the outer channels swapped.
    JpegDecodeOptions rgb;
    rgb.colour = kJpegColourRGB;
    rgb.rowAlignment = 1;
    const JpegDecodeResult r = DecodeJpeg(e.bytes, rgb);
    ASSERT_EQ(r.status, JpegStatus::kOk);
    ASSERT_EQ(r.picture.step, w * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int ch = 0; ch < 3; ++ch)
                ASSERT_EQ(r.picture.pixels[static_cast<std::size_t>(y * w * 3 + x * 3 + ch)],
                          d.picture.pixels[static_cast<std::size_t>(y * BgrStep(w) + x * 3 + 2 - ch)]);

    // A grey picture makes a grey file, which comes out with B = G = R.
    Bytes grey(static_cast<std::size_t>(w) * h);
    for (std::size_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<std::uint8_t>(i * 7);
    const JpegEncodeResult g = EncodeJpeg(JpegPictureView{grey.data(), w, h, 1, w, kJpegColourGrey});
    ASSERT_EQ(g.status, JpegStatus::kOk);
    const JpegDecodeResult gd = DecodeJpeg(g.bytes);
    ASSERT_EQ(gd.status, JpegStatus::kOk);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = &gd.picture.pixels[static_cast<std::size_t>(y * gd.picture.step)];
        for (int x = 0; x < w; ++x) ASSERT_TRUE(row[3 * x] == row[3 * x + 1] && row[3 * x] == row[3 * x + 2]);
    }
}

TEST(JpegPicture, RefusalsLeaveNoPictureAndSayWhy) {
    JpegDecodeOptions cmykOut;
    cmykOut.colour = kJpegColourCMYK;  // 1- and 3-component files come out as BGR or RGB only
    Bytes arithmetic = SmallFile();
    arithmetic[Find(arithmetic, 0xC0) + 1] = 0xC9;
    struct Case {
        const char* what;
        JpegDecodeResult result;
        JpegStatus status;
        const char* reason;
    } cases[] = {
        {"not a JPEG file", DecodeJpeg(Bytes(100, 0x41)), JpegStatus::kDataExhausted, "data exhausted"},
        {"arithmetic coding", DecodeJpeg(arithmetic), JpegStatus::kNotSupported,
         "arithmetic coding is not supported"},
        {"bad options", DecodeJpeg(SmallFile(), cmykOut), JpegStatus::kNotSupported, nullptr},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.result.status, c.status) << c.what;
        EXPECT_TRUE(c.result.picture.empty()) << c.what;
        if (c.reason != nullptr) {
            EXPECT_STREQ(c.result.reason, c.reason) << c.what;
        }
    }
    const JpegEncodeResult e = EncodeJpeg(JpegPictureView{nullptr, 8, 8, 3, 24, kJpegColourBGR});
    EXPECT_EQ(e.status, JpegStatus::kNotSupported);
    EXPECT_TRUE(e.bytes.empty());
}

TEST(JpegPicture, EncodeGrowsItsOutputForPicturesThatCodeLarge) {
    // Noise at quality 100 codes to about twice its raw size, beyond the first guess at the output size.
    const int w = 256, h = 256;
    Bytes noise(static_cast<std::size_t>(w) * h * 3);
    std::uint32_t x = 12345;
    for (auto& b : noise) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    JpegEncodeParams params;
    params.quality = 100;
    params.sampling = kJpegSampling444;
    const JpegEncodeResult e =
        EncodeJpeg(JpegPictureView{noise.data(), w, h, 3, w * 3, kJpegColourRGB}, params);
    ASSERT_EQ(e.status, JpegStatus::kOk);
    EXPECT_GT(e.bytes.size(), noise.size() + 65536);
    JpegDecodeOptions rgb;
    rgb.colour = kJpegColourRGB;
    rgb.rowAlignment = 1;
    const JpegDecodeResult d = DecodeJpeg(e.bytes, rgb);
    ASSERT_EQ(d.status, JpegStatus::kOk);
    EXPECT_GT(Psnr(d.picture.pixels, noise), 40.0);
}

// ---- Work bound ----

// A progressive 8192 x 8192 YCbCr 4:4:4 file of 427 KB: one DC scan coded in one bit a block, then 255
// AC refinement scans that are nothing but end-of-band runs. Within the pixel, memory and scan limits, it
// asks for 16 G coefficient visits (about 14 s and 800 MB before the bound).
Bytes HostileProgressive() {
    Bytes f = {0xFF, 0xD8, 0xFF, 0xC2, 0, 17, 8, 0x20, 0, 0x20, 0, 3, 1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0};
    const Bytes dqt = {0xFF, 0xDB, 0, 67, 0};
    f.insert(f.end(), dqt.begin(), dqt.end());
    f.insert(f.end(), 64, 1);
    for (const std::uint8_t classAndSymbol : {0x00, 0x10}) {  // DC: category 0; AC: EOB run of 2^14
        const Bytes dht = {0xFF,
                           0xC4,
                           0,
                           20,
                           classAndSymbol,
                           1,
                           0,
                           0,
                           0,
                           0,
                           0,
                           0,
                           0,
                           0,
                           0,
                           0,
                           0,
                           0,
                           0,
                           0,
                           0,
                           static_cast<std::uint8_t>(classAndSymbol == 0 ? 0x00 : 0xE0)};
        f.insert(f.end(), dht.begin(), dht.end());
    }
    const Bytes dcScan = {0xFF, 0xDA, 0, 12, 3, 1, 0, 2, 0, 3, 0, 0, 0, 0};
    f.insert(f.end(), dcScan.begin(), dcScan.end());
    f.insert(f.end(), 3 * 1024 * 1024 / 8, 0);
    for (int k = 0; k < 255; ++k) {
        const Bytes acScan = {0xFF, 0xDA, 0, 8, 1, static_cast<std::uint8_t>(1 + k % 3), 0, 1, 63, 0x10};
        f.insert(f.end(), acScan.begin(), acScan.end());
        f.insert(f.end(), 64 * 15 / 8, 0);  // 64 runs of 16384 blocks, 15 bits each
    }
    f.push_back(0xFF);
    f.push_back(0xD9);
    return f;
}

TEST(JpegDecoder, WorkBoundRefusesFilesThatAskForMoreThanTheirSize) {
    const Bytes hostile = HostileProgressive();
    ASSERT_LT(hostile.size(), 430000u);
    // Refused by the header already, so that no caller allocates 200 MB of pixels for it.
    JpegDecoder dec;
    dec.SetSource(hostile.data(), static_cast<int>(hostile.size()));
    const JpegStatus st = dec.ReadHeader(nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(st, JpegStatus::kNotSupported);
    EXPECT_STREQ(dec.Reason(st), "the file asks for more decoding work than its size allows");

    // The budget's edge on a small sequential file: 40 x 24 at 4:2:0 is 6 MCUs of 6 blocks, 2304 visits.
    const Bytes small = SmallFile();
    const std::int64_t size = static_cast<std::int64_t>(small.size());
    const struct {
        std::int64_t perByte, minimum;
        JpegStatus expected;
    } cases[] = {
        {0, 2304, JpegStatus::kOk},
        {0, 2303, JpegStatus::kNotSupported},
        {(2304 + size - 1) / size, 0, JpegStatus::kOk},
        {2303 / size, 0, JpegStatus::kNotSupported},
    };
    for (const auto& c : cases) {
        JpegDecoderLimits limits;
        limits.coefficientVisitsPerByte = c.perByte;
        limits.minCoefficientVisits = c.minimum;
        JpegDecodeOptions options;
        options.limits = limits;
        EXPECT_EQ(DecodeJpeg(small, options).status, c.expected) << c.perByte << " " << c.minimum;
    }
}

}  // namespace
}  // namespace vello
