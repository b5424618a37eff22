// qxrtool jpeg-decode and jpeg-encode: JPEG files to and from PPM/PGM, BMP and PAM pictures, through the
// suite's own decoder and encoder with the parameters the programs use.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "command.h"
#include "platform/input_file.h"
#include "platform/output_file.h"
#include "vello/jpeg/jpeg_picture.h"

namespace qxrtool {
namespace {

int RunJpegDecode(int argc, char** argv);
int RunJpegEncode(int argc, char** argv);

const Command kJpegDecode{"jpeg-decode", "decode a JPEG file to PPM or BMP (PAM with four channels for CMYK)",
                          "jpeg-decode IN.jpg OUT.ppm|OUT.bmp|OUT.pam", RunJpegDecode};
const Command kJpegEncode{"jpeg-encode", "encode a PPM, PGM or 24-bit BMP picture as a baseline JPEG file",
                          "jpeg-encode IN.ppm|IN.pgm|IN.bmp OUT.jpg [--quality N] [--sampling 444|422|420] "
                          "[--restart N]",
                          RunJpegEncode};

// A picture in memory: interleaved 8-bit samples, rows top-down and `step` bytes apart.
struct Picture {
    int width = 0;
    int height = 0;
    int channels = 0;
    int step = 0;
    vello::JpegColour colour = vello::kJpegColourUnknown;
    std::vector<std::uint8_t> pixels;
};

bool EndsWith(std::string_view s, std::string_view suffix) {
    if (s.size() < suffix.size()) return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char c = s[s.size() - suffix.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

// Inputs beyond this are refused before reading (a 8192 x 8192 RGB picture is 192 MiB).
constexpr std::size_t kMaxInputBytes = std::size_t{256} << 20;

// Writes header then data to `path` in one piece; nothing is left there on failure. `input` is the file the
// command read, which the output may not be.
bool WritePicture(const char* path, const std::string& header, const std::uint8_t* data, std::size_t size,
                  const std::string& input, std::string* error) {
    platform::OutputFile out;
    const std::string inputs[] = {input};
    platform::FileStatus st = out.Open(path, inputs);
    if (st == platform::FileStatus::kOk) st = out.Write(header.data(), header.size());
    if (st == platform::FileStatus::kOk) st = out.Write(data, size);
    if (st == platform::FileStatus::kOk) st = out.Commit();
    if (st != platform::FileStatus::kOk) *error = out.Error();
    return st == platform::FileStatus::kOk;
}

std::string StatusMessage(const char* path, vello::JpegStatus status, const char* reason) {
    return std::string(path) + ": JpegStatus " + std::to_string(vello::JpegStatusCode(status)) + " (" +
           reason + ")";
}

// ---- PPM / PGM (binary, maxval 255) ----

bool ParsePnm(const std::vector<std::uint8_t>& file, Picture* pic, std::string* error) {
    std::size_t pos = 2;
    auto number = [&](int* out) {
        for (;;) {
            while (pos < file.size() && std::strchr(" \t\r\n", file[pos]) != nullptr) ++pos;
            if (pos < file.size() && file[pos] == '#') {
                while (pos < file.size() && file[pos] != '\n') ++pos;
                continue;
            }
            break;
        }
        long value = 0;
        const std::size_t start = pos;
        while (pos < file.size() && file[pos] >= '0' && file[pos] <= '9' && value < 1000000)
            value = value * 10 + (file[pos++] - '0');
        *out = static_cast<int>(value);
        return pos > start;
    };
    if (file.size() < 3 || file[0] != 'P' || (file[1] != '5' && file[1] != '6')) {
        *error = "not a binary PPM (P6) or PGM (P5) file";
        return false;
    }
    int maxval = 0;
    if (!number(&pic->width) || !number(&pic->height) || !number(&maxval) || pos >= file.size()) {
        *error = "bad PNM header";
        return false;
    }
    ++pos;  // the single white-space byte before the samples
    if (maxval != 255) {
        *error = "only 8-bit PNM files (maxval 255) are supported";
        return false;
    }
    pic->channels = file[1] == '6' ? 3 : 1;
    pic->colour = file[1] == '6' ? vello::kJpegColourRGB : vello::kJpegColourGrey;
    pic->step = pic->width * pic->channels;
    const std::size_t bytes = static_cast<std::size_t>(pic->step) * static_cast<std::size_t>(pic->height);
    if (pic->width < 1 || pic->height < 1 || file.size() - pos < bytes) {
        *error = "PNM file shorter than its header says";
        return false;
    }
    pic->pixels.assign(file.begin() + static_cast<std::ptrdiff_t>(pos),
                       file.begin() + static_cast<std::ptrdiff_t>(pos + bytes));
    return true;
}

// ---- BMP (uncompressed 24-bit) ----

std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
int Le16(const std::uint8_t* p) {
    return p[0] | p[1] << 8;
}

bool ParseBmp(const std::vector<std::uint8_t>& file, Picture* pic, std::string* error) {
    if (file.size() < 54 || file[0] != 'B' || file[1] != 'M') {
        *error = "not a BMP file";
        return false;
    }
    const std::uint32_t offset = Le32(&file[10]);
    const std::int32_t width = static_cast<std::int32_t>(Le32(&file[18]));
    const std::int32_t rawHeight = static_cast<std::int32_t>(Le32(&file[22]));
    const int bits = Le16(&file[28]);
    const std::uint32_t compression = Le32(&file[30]);
    if (bits != 24 || compression != 0) {
        *error = "only uncompressed 24-bit BMP files are supported";
        return false;
    }
    if (width < 1 || width > 65535 || rawHeight == 0 || rawHeight < -65535 || rawHeight > 65535) {
        *error = "bad BMP size";
        return false;
    }
    const bool bottomUp = rawHeight > 0;
    const int height = bottomUp ? rawHeight : -rawHeight;
    const std::size_t fileStep = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    if (offset > file.size() || file.size() - offset < fileStep * static_cast<std::size_t>(height)) {
        *error = "BMP file shorter than its header says";
        return false;
    }
    pic->width = width;
    pic->height = height;
    pic->channels = 3;
    pic->colour = vello::kJpegColourBGR;
    pic->step = static_cast<int>(fileStep);
    pic->pixels.resize(fileStep * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const std::size_t fileRow = static_cast<std::size_t>(bottomUp ? height - 1 - y : y);
        std::memcpy(&pic->pixels[static_cast<std::size_t>(y) * fileStep], &file[offset + fileRow * fileStep],
                    fileStep);
    }
    return true;
}

void PutLe(std::string* s, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// Writes top-down BGR rows (step (width * 3 + 3) & ~3, as a bitmap wants) as a bottom-up 24-bit BMP.
bool WriteBmp(const char* path, const Picture& pic, const std::string& input, std::string* error) {
    const std::uint32_t imageBytes =
        static_cast<std::uint32_t>(pic.step) * static_cast<std::uint32_t>(pic.height);
    std::string header;
    header += "BM";
    PutLe(&header, 54 + imageBytes, 4);
    PutLe(&header, 0, 4);
    PutLe(&header, 54, 4);
    PutLe(&header, 40, 4);
    PutLe(&header, static_cast<std::uint32_t>(pic.width), 4);
    PutLe(&header, static_cast<std::uint32_t>(pic.height), 4);
    PutLe(&header, 1, 2);
    PutLe(&header, 24, 2);
    PutLe(&header, 0, 4);
    PutLe(&header, imageBytes, 4);
    PutLe(&header, 2835, 4);  // 72 dpi
    PutLe(&header, 2835, 4);
    PutLe(&header, 0, 4);
    PutLe(&header, 0, 4);
    std::vector<std::uint8_t> rows(imageBytes);
    for (int y = 0; y < pic.height; ++y)
        std::memcpy(&rows[static_cast<std::size_t>(pic.height - 1 - y) * static_cast<std::size_t>(pic.step)],
                    &pic.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(pic.step)],
                    static_cast<std::size_t>(pic.step));
    return WritePicture(path, header, rows.data(), rows.size(), input, error);
}

// Writes packed rows (step width * channels) as PPM, PGM or PAM.
bool WritePacked(const char* path, const Picture& pic, bool pam, const std::string& input,
                 std::string* error) {
    std::string header;
    const std::string size = std::to_string(pic.width) + " " + std::to_string(pic.height);
    if (pam) {
        const char* tuple = pic.channels == 4 ? "CMYK" : pic.channels == 3 ? "RGB" : "GRAYSCALE";
        header = "P7\nWIDTH " + std::to_string(pic.width) + "\nHEIGHT " + std::to_string(pic.height) +
                 "\nDEPTH " + std::to_string(pic.channels) + "\nMAXVAL 255\nTUPLTYPE " + tuple + "\nENDHDR\n";
    } else {
        header = "P6\n" + size + "\n255\n";
    }
    return WritePicture(path, header, pic.pixels.data(), pic.pixels.size(), input, error);
}

int RunJpegDecode(int argc, char** argv) {
    if (WantsHelp(argc, argv)) return PrintCommandHelp(kJpegDecode);
    if (argc != 3) return UsageError(kJpegDecode, "expected an input and an output file");
    const char* in = argv[1];
    const char* out = argv[2];
    const bool toBmp = EndsWith(out, ".bmp");
    const bool toPam = EndsWith(out, ".pam");
    if (!toBmp && !toPam && !EndsWith(out, ".ppm"))
        return UsageError(kJpegDecode, "the output must end in .ppm, .bmp or .pam");

    std::vector<std::uint8_t> file;
    std::string error;
    if (platform::ReadFile(in, kMaxInputBytes, &file, &error) != platform::FileStatus::kOk)
        return Fail(kJpegDecode.name, error);

    // Bitmaps take BGR rows on 4-byte steps, PPM and PAM packed RGB rows.
    vello::JpegDecodeOptions options;
    options.colour = toBmp ? vello::kJpegColourBGR : vello::kJpegColourRGB;
    options.rowAlignment = toBmp ? 4 : 1;
    vello::JpegDecodeResult decoded = vello::DecodeJpeg(file, options);
    if (decoded.picture.empty())
        return Fail(kJpegDecode.name, StatusMessage(in, decoded.status, decoded.reason));
    if (decoded.picture.channels == 4 && !toPam)
        return Fail(kJpegDecode.name, std::string(in) + ": a 4-component image needs a .pam output");
    Picture pic;
    pic.width = decoded.picture.width;
    pic.height = decoded.picture.height;
    pic.channels = decoded.picture.channels;
    pic.step = decoded.picture.step;
    pic.colour = decoded.picture.colour;
    pic.pixels = std::move(decoded.picture.pixels);
    // A damaged or cut-off file still gives its picture, the part that could not be decoded grey.
    if (decoded.status != vello::JpegStatus::kOk)
        Fail(kJpegDecode.name,
             StatusMessage(in, decoded.status, decoded.reason) + "; the picture is written");

    const bool written = toBmp ? WriteBmp(out, pic, in, &error) : WritePacked(out, pic, toPam, in, &error);
    if (!written) return Fail(kJpegDecode.name, error);
    return 0;
}

bool ParseInt(const char* text, int low, int high, int* out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != 0 || v < low || v > high) return false;
    *out = static_cast<int>(v);
    return true;
}

int RunJpegEncode(int argc, char** argv) {
    if (WantsHelp(argc, argv)) return PrintCommandHelp(kJpegEncode);
    // The programs save stills with quality 75, 4:2:0 and YCbCr, without restart markers.
    int quality = 75;
    vello::JpegSampling sampling = vello::kJpegSampling420;
    int restart = 0;
    const char* files[2] = {nullptr, nullptr};
    int fileCount = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--quality" || a == "--sampling" || a == "--restart") {
            if (i + 1 >= argc) return UsageError(kJpegEncode, std::string(a) + " needs a value");
            const char* v = argv[++i];
            if (a == "--quality" && !ParseInt(v, 1, 100, &quality))
                return UsageError(kJpegEncode, "--quality takes 1 to 100");
            if (a == "--restart" && !ParseInt(v, 0, 65535, &restart))
                return UsageError(kJpegEncode, "--restart takes 0 to 65535 MCUs");
            if (a == "--sampling") {
                const std::string_view s = v;
                if (s == "444")
                    sampling = vello::kJpegSampling444;
                else if (s == "422")
                    sampling = vello::kJpegSampling422;
                else if (s == "420")
                    sampling = vello::kJpegSampling420;
                else
                    return UsageError(kJpegEncode, "--sampling takes 444, 422 or 420");
            }
        } else if (fileCount < 2 && (a.empty() || a[0] != '-')) {
            files[fileCount++] = argv[i];
        } else {
            return UsageError(kJpegEncode, "unexpected argument '" + std::string(a) + "'");
        }
    }
    if (fileCount != 2) return UsageError(kJpegEncode, "expected an input and an output file");

    std::vector<std::uint8_t> file;
    std::string error;
    if (platform::ReadFile(files[0], kMaxInputBytes, &file, &error) != platform::FileStatus::kOk)
        return Fail(kJpegEncode.name, error);
    Picture pic;
    const bool parsed =
        EndsWith(files[0], ".bmp") ? ParseBmp(file, &pic, &error) : ParsePnm(file, &pic, &error);
    if (!parsed) return Fail(kJpegEncode.name, std::string(files[0]) + ": " + error);

    // Grey pictures become grey files, colour ones YCbCr.
    vello::JpegEncodeParams params;
    params.quality = quality;
    params.sampling = sampling;
    params.restartInterval = restart;
    const vello::JpegEncodeResult encoded = vello::EncodeJpeg(
        vello::JpegPictureView{pic.pixels.data(), pic.width, pic.height, pic.channels, pic.step, pic.colour},
        params);
    if (encoded.status != vello::JpegStatus::kOk)
        return Fail(kJpegEncode.name,
                    StatusMessage(files[1], encoded.status, vello::JpegStatusText(encoded.status)));
    if (!WritePicture(files[1], std::string(), encoded.bytes.data(), encoded.bytes.size(), files[0], &error))
        return Fail(kJpegEncode.name, error);
    return 0;
}

}  // namespace

QXRTOOL_COMMAND(kJpegDecode);
QXRTOOL_COMMAND(kJpegEncode);

}  // namespace qxrtool
