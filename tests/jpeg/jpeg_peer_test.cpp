// The JPEG codec against libjpeg-turbo on real photographs: every file of the corpus that make_corpus.sh
// wrote with cjpeg, jpegtran and ImageMagick decodes like libjpeg-turbo's decoder (the inverse DCTs
// differ, so within PSNR 45 dB and 4 levels), and our encoder's files decode with djpeg without warnings.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "vello/jpeg/jpeg_decoder.h"
#include "vello/jpeg/jpeg_encoder.h"

namespace vello {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const fs::path kCorpus = JPEG_CORPUS_DIR;

Bytes ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Image {
    int width = 0;
    int height = 0;
    int channels = 0;
    int step = 0;
    Bytes pixels;
};

// Binary PPM or PGM with maxval 255, comments allowed in the header.
Image ReadPnm(const fs::path& p) {
    const Bytes f = ReadAll(p);
    std::size_t pos = 2;
    auto number = [&]() {
        for (;;) {
            while (pos < f.size() && std::isspace(f[pos])) ++pos;
            if (pos < f.size() && f[pos] == '#') {
                while (pos < f.size() && f[pos] != '\n') ++pos;
                continue;
            }
            break;
        }
        int v = 0;
        while (pos < f.size() && std::isdigit(f[pos])) v = v * 10 + (f[pos++] - '0');
        return v;
    };
    Image im;
    if (f.size() < 3 || f[0] != 'P' || (f[1] != '5' && f[1] != '6')) return im;
    im.channels = f[1] == '6' ? 3 : 1;
    im.width = number();
    im.height = number();
    if (number() != 255) return Image{};
    ++pos;
    im.step = im.width * im.channels;
    const std::size_t bytes = static_cast<std::size_t>(im.step) * im.height;
    if (f.size() - pos < bytes) return Image{};
    im.pixels.assign(f.begin() + static_cast<std::ptrdiff_t>(pos),
                     f.begin() + static_cast<std::ptrdiff_t>(pos + bytes));
    return im;
}

// RGB to BGR rows with the callers' step (width * 3 + 3) & ~3.
Image ToBgr(const Image& rgb) {
    Image im = rgb;
    im.step = (rgb.width * 3 + 3) & ~3;
    im.pixels.assign(static_cast<std::size_t>(im.step) * im.height, 0);
    for (int y = 0; y < im.height; ++y)
        for (int x = 0; x < im.width; ++x)
            for (int c = 0; c < 3; ++c)
                im.pixels[static_cast<std::size_t>(y) * im.step + x * 3 + c] =
                    rgb.pixels[static_cast<std::size_t>(y) * rgb.step + x * 3 + (2 - c)];
    return im;
}

struct Ours {
    JpegStatus status = JpegStatus::kOk;
    JpegColour colour = kJpegColourUnknown;
    Image image;
};

// Decodes as the programs do: BGR for 1 and 3 components, CMYK for 4.
Ours DecodeOurs(const Bytes& file) {
    Ours o;
    JpegDecoder dec;
    dec.Reset();
    dec.SetSource(file.data(), static_cast<int>(file.size()));
    int n = 0;
    o.status = dec.ReadHeader(&o.image.width, &o.image.height, &n, &o.colour, nullptr);
    if (o.status != JpegStatus::kOk) return o;
    o.image.channels = n == 4 ? 4 : 3;
    o.image.step = (o.image.width * o.image.channels + 3) & ~3;
    o.image.pixels.assign(static_cast<std::size_t>(o.image.step) * o.image.height, 0);
    dec.SetDestination(o.image.pixels.data(), o.image.width, o.image.step, o.image.height, o.image.channels,
                       n == 4 ? kJpegColourCMYK : kJpegColourBGR);
    o.status = dec.ReadData();
    dec.Clean();
    return o;
}

// libjpeg-turbo's decode of the same file into the same layout (accurate integer IDCT, fancy upsampling).
// With `damaged` its warnings (premature end of data, corrupt data) are expected, not failures.
Image DecodeTurbo(const Bytes& file, int channels, bool damaged = false) {
    Image im;
    tjhandle h = tjInitDecompress();
    int sub = 0, space = 0;
    if (tjDecompressHeader3(h, file.data(), file.size(), &im.width, &im.height, &sub, &space) != 0) {
        ADD_FAILURE() << "libjpeg-turbo: " << tjGetErrorStr2(h);
        tjDestroy(h);
        return Image{};
    }
    im.channels = channels;
    im.step = (im.width * channels + 3) & ~3;
    im.pixels.assign(static_cast<std::size_t>(im.step) * im.height, 0);
    if (tjDecompress2(h, file.data(), file.size(), im.pixels.data(), im.width, im.step, im.height,
                      channels == 4 ? TJPF_CMYK : TJPF_BGR, 0) != 0 &&
        !(damaged && tjGetErrorCode(h) == TJERR_WARNING))
        ADD_FAILURE() << "libjpeg-turbo: " << tjGetErrorStr2(h);
    tjDestroy(h);
    return im;
}

struct Difference {
    double psnr = 99;
    int maxAbs = 0;
};

Difference Compare(const Image& a, const Image& b) {
    Difference d;
    double se = 0;
    std::int64_t n = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width * a.channels; ++x) {
            const int diff = a.pixels[static_cast<std::size_t>(y) * a.step + x] -
                             b.pixels[static_cast<std::size_t>(y) * b.step + x];
            se += diff * diff;
            d.maxAbs = std::max(d.maxAbs, std::abs(diff));
            ++n;
        }
    if (se > 0) d.psnr = 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(n) / se);
    return d;
}

void ExpectLikeTurbo(const Bytes& file, JpegColour expectedColour) {
    const Ours ours = DecodeOurs(file);
    ASSERT_EQ(ours.status, JpegStatus::kOk) << JpegStatusText(ours.status);
    if (expectedColour != kJpegColourUnknown) {
        EXPECT_EQ(ours.colour, expectedColour);
    }
    const Image turbo = DecodeTurbo(file, ours.image.channels);
    ASSERT_EQ(ours.image.width, turbo.width);
    ASSERT_EQ(ours.image.height, turbo.height);
    const Difference d = Compare(ours.image, turbo);
    EXPECT_GE(d.psnr, 45.0);
    EXPECT_LE(d.maxAbs, 4);
}

TEST(JpegPeer, CorpusDecodesLikeLibjpegTurbo) {
    int files = 0;
    std::vector<fs::path> paths;
    for (const auto& e : fs::directory_iterator(kCorpus))
        if (e.path().extension() == ".jpg" && e.path().filename().string().rfind("refused_", 0) != 0)
            paths.push_back(e.path());
    std::sort(paths.begin(), paths.end());
    for (const fs::path& p : paths) {
        SCOPED_TRACE(p.filename().string());
        ExpectLikeTurbo(ReadAll(p), kJpegColourUnknown);
        ++files;
    }
    EXPECT_GE(files, 20) << "the corpus in " << kCorpus << " is incomplete";
}

TEST(JpegPeer, CutShortFilesShowWhatLibjpegTurboShows) {
    // Cut inside the scans: the decoded part matches, the rest is grey in both; they differ only around
    // the block where the data ends (libjpeg-turbo decodes it from zero bits, we leave it grey).
    for (const char* name :
         {"base_420.jpg", "restart_1.jpg", "progressive_420.jpg", "progressive_restart_1.jpg", "grey.jpg"}) {
        SCOPED_TRACE(name);
        const Bytes whole = ReadAll(kCorpus / name);
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() * 3 / 5));
        const Ours ours = DecodeOurs(cut);
        ASSERT_EQ(ours.status, JpegStatus::kCorruptData) << JpegStatusText(ours.status);
        const Image turbo = DecodeTurbo(cut, 3, true);
        ASSERT_EQ(ours.image.width, turbo.width);
        EXPECT_GE(Compare(ours.image, turbo).psnr, 30.0);
    }
}

TEST(JpegPeer, CmykAndYcckWithTheAdobeMarker) {
    const Bytes imagemagick = ReadAll(kCorpus / "ycck_adobe_imagemagick.jpg");
    {
        SCOPED_TRACE("YCCK written by ImageMagick");
        ExpectLikeTurbo(imagemagick, kJpegColourYCCK);
    }
    const Image cmyk = DecodeTurbo(imagemagick, 4);
    ASSERT_GT(cmyk.width, 0);
    {
        // libjpeg-turbo writes CMYK pixels as YCCK too, here with 4:2:0 sampling.
        tjhandle h = tjInitCompress();
        unsigned char* out = nullptr;
        unsigned long size = 0;
        ASSERT_EQ(tjCompress2(h, cmyk.pixels.data(), cmyk.width, cmyk.step, cmyk.height, TJPF_CMYK, &out,
                              &size, TJSAMP_420, 85, 0),
                  0);
        const Bytes ycck(out, out + size);
        tjFree(out);
        tjDestroy(h);
        SCOPED_TRACE("YCCK 4:2:0 written by libjpeg-turbo");
        ExpectLikeTurbo(ycck, kJpegColourYCCK);
    }
    {
        // Plain CMYK with Adobe transform 0, as our encoder writes it.
        JpegEncoder enc;
        enc.SetSource(cmyk.pixels.data(), cmyk.width, cmyk.height, 4, cmyk.step, kJpegColourCMYK);
        enc.SetParams(90, kJpegSampling444, kJpegColourCMYK, 0, 0);
        Bytes file(static_cast<std::size_t>(cmyk.step) * cmyk.height + 65536);
        int size = static_cast<int>(file.size());
        ASSERT_EQ(enc.WriteImage(file.data(), &size), JpegStatus::kOk);
        file.resize(static_cast<std::size_t>(size));
        SCOPED_TRACE("CMYK, Adobe transform 0");
        ExpectLikeTurbo(file, kJpegColourCMYK);
    }
}

TEST(JpegPeer, RefusesArithmeticCodingAndTwelveBitSamples) {
    const Bytes arithmetic = ReadAll(kCorpus / "refused_arithmetic.jpg");
    ASSERT_FALSE(arithmetic.empty());
    EXPECT_EQ(DecodeOurs(arithmetic).status, JpegStatus::kNotSupported);

    Bytes twelve = ReadAll(kCorpus / "base_420.jpg");
    std::size_t sof = 2;
    while (sof + 4 < twelve.size() && !(twelve[sof] == 0xFF && twelve[sof + 1] == 0xC0))
        sof += 2 + (static_cast<std::size_t>(twelve[sof + 2]) << 8 | twelve[sof + 3]);
    ASSERT_LT(sof + 4, twelve.size());
    twelve[sof + 1] = 0xC1;  // extended sequential, which allows 12-bit samples
    twelve[sof + 4] = 12;
    EXPECT_EQ(DecodeOurs(twelve).status, JpegStatus::kNotSupported);
}

struct Encoded {
    JpegStatus status;
    Bytes file;
};

Encoded EncodeBgr(const Image& bgr, JpegSampling sampling, int quality, int restart) {
    JpegEncoder enc;
    enc.Reset();
    enc.SetSource(bgr.pixels.data(), bgr.width, bgr.height, 3, bgr.step, kJpegColourBGR);
    enc.SetParams(quality, sampling, kJpegColourYCbCr, 0, restart);
    Encoded e;
    e.file.resize(static_cast<std::size_t>(bgr.width) * bgr.height * 3 + 65536);
    int size = static_cast<int>(e.file.size());
    e.status = enc.WriteImage(e.file.data(), &size);
    e.file.resize(e.status == JpegStatus::kOk ? static_cast<std::size_t>(size) : 0);
    enc.Clean();
    return e;
}

Bytes EncodeTurbo(const Image& bgr, JpegSampling sampling, int quality) {
    const int sub = sampling == kJpegSampling444   ? TJSAMP_444
                    : sampling == kJpegSampling422 ? TJSAMP_422
                                                   : TJSAMP_420;
    tjhandle h = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    Bytes file;
    if (tjCompress2(h, bgr.pixels.data(), bgr.width, bgr.step, bgr.height, TJPF_BGR, &out, &size, sub,
                    quality, 0) == 0)
        file.assign(out, out + size);
    tjFree(out);
    tjDestroy(h);
    return file;
}

// Runs djpeg on `file`; returns its exit status and what it wrote to standard error. The runs of this
// test at each Lumacore level may run at the same time, so each writes to a folder of its level's: one
// must not rewrite a file while djpeg reads another run's.
int RunDjpeg(const Bytes& file, const std::string& name, std::string* errors) {
    const char* level = std::getenv("LUMACORE_LEVEL");
    const fs::path dir = fs::path(QXR_BINARY_DIR) / "tests" / "jpeg" / "encoded" /
                         (std::string("level-") + (level != nullptr ? level : "default"));
    fs::create_directories(dir);
    const fs::path jpg = dir / (name + ".jpg");
    const fs::path err = dir / (name + ".err");
    std::ofstream(jpg, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    const std::string cmd =
        std::string(DJPEG_PROGRAM) + " -outfile /dev/null '" + jpg.string() + "' 2> '" + err.string() + "'";
    const int rc = std::system(cmd.c_str());
    const Bytes text = ReadAll(err);
    errors->assign(text.begin(), text.end());
    return rc;
}

TEST(JpegPeer, OurFilesDecodeWithDjpegAndStayCloseToTheSource) {
    struct Case {
        const char* photo;
        JpegSampling sampling;
        int quality;
        int restart;
        double minPsnr;
    } cases[] = {
        // The programs' parameters: quality 75, 4:2:0.
        {"chelsea.ppm", kJpegSampling420, 75, 0, 30},
        {"coffee.ppm", kJpegSampling420, 75, 0, 30},
        {"astronaut.ppm", kJpegSampling420, 75, 0, 30},
        {"photo_642x482.ppm", kJpegSampling420, 75, 0, 30},
        {"photo_17x9.ppm", kJpegSampling420, 75, 0, 20},  // almost all detail, little to keep
        // Other layouts and restart intervals.
        {"chelsea.ppm", kJpegSampling444, 90, 1, 33},
        {"coffee.ppm", kJpegSampling422, 75, 7, 30},
        {"photo_2000x1.ppm", kJpegSampling420, 75, 3, 28},
    };
    for (const Case& c : cases) {
        const std::string name = std::string(c.photo) + "_" + std::to_string(c.sampling) + "_q" +
                                 std::to_string(c.quality) + "_r" + std::to_string(c.restart);
        SCOPED_TRACE(name);
        const Image rgb = ReadPnm(kCorpus / c.photo);
        ASSERT_GT(rgb.width, 0);
        const Image bgr = ToBgr(rgb);
        const Encoded e = EncodeBgr(bgr, c.sampling, c.quality, c.restart);
        ASSERT_EQ(e.status, JpegStatus::kOk) << JpegStatusText(e.status);

        std::string errors;
        EXPECT_EQ(RunDjpeg(e.file, name, &errors), 0);
        EXPECT_EQ(errors, "");

        const Image turbo = DecodeTurbo(e.file, 3);
        ASSERT_EQ(turbo.width, bgr.width);
        ASSERT_EQ(turbo.height, bgr.height);
        const double psnr = Compare(turbo, bgr).psnr;
        EXPECT_GE(psnr, c.minPsnr);
        // And about as close as libjpeg-turbo's own encoder gets with the same settings.
        const Bytes theirs = EncodeTurbo(bgr, c.sampling, c.quality);
        EXPECT_GE(psnr, Compare(DecodeTurbo(theirs, 3), bgr).psnr - 1.0);

        // Our decoder reads our file back at its size (642 x 482 included) and like libjpeg-turbo does.
        const Ours ours = DecodeOurs(e.file);
        ASSERT_EQ(ours.status, JpegStatus::kOk);
        EXPECT_EQ(ours.image.width, bgr.width);
        EXPECT_EQ(ours.image.height, bgr.height);
        const Difference d = Compare(ours.image, turbo);
        EXPECT_GE(d.psnr, 45.0);
        EXPECT_LE(d.maxAbs, 4);
    }
}

}  // namespace
}  // namespace vello
