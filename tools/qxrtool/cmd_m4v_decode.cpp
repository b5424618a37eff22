// qxrtool m4v-decode: decodes an MPEG-4 Visual elementary stream into raw 4:2:0 pictures.
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "platform/output_file.h"
#include "vello/mpeg4/mp4dec.h"

namespace qxrtool {
namespace {

int RunM4vDecode(int argc, char** argv);

const Command kM4vDecode{"m4v-decode", "decode an MPEG-4 Visual stream into raw 4:2:0 pictures",
                         "m4v-decode IN.m4v OUT.yuv\n"
                         "  Writes every picture in delivery order: the luma plane, then Cb, then Cr,\n"
                         "  without borders (chroma planes of ceil(width/2) x ceil(height/2) samples).",
                         RunM4vDecode};

// Writes each delivered picture's planes to the output file; after a failed write the rest is dropped.
class YuvWriter : public vello::mpeg4::Display {
  public:
    YuvWriter(platform::OutputFile* out, int width, int height) : out_(out), width_(width), height_(height) {}

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void Deliver(const vello::mpeg4::Picture& picture) override {
        const int cw = (picture.width + 1) / 2;
        const int ch = (picture.height + 1) / 2;
        for (int c = 0; c < 3; ++c) {
            const int w = c == 0 ? picture.width : cw;
            const int h = c == 0 ? picture.height : ch;
            for (int y = 0; y < h && !writeFailed_; ++y) {
                writeFailed_ = out_->Write(picture.origin[c] + y * picture.step[c],
                                           static_cast<std::size_t>(w)) != platform::FileStatus::kOk;
            }
        }
        ++pictures_;
    }

    int pictures() const { return pictures_; }
    bool writeFailed() const { return writeFailed_; }

  private:
    platform::OutputFile* out_;
    int width_;
    int height_;
    int pictures_ = 0;
    bool writeFailed_ = false;
};

int RunM4vDecode(int argc, char** argv) {
    if (WantsHelp(argc, argv)) return PrintCommandHelp(kM4vDecode);
    if (argc != 3) return UsageError(kM4vDecode, "expects IN.m4v and OUT.yuv");

    vello::mpeg4::FilePacketSource source;
    if (!source.Open(argv[1])) return Fail(kM4vDecode.name, source.Error());

    // Reeldeck's refill rules over the file, with Ocuview's larger buffer so that big I-VOPs fit, and
    // room for pictures beyond the cameras' 640 x 480.
    vello::mpeg4::DecoderConfig config = vello::mpeg4::ReeldeckConfig();
    config.streamCapacity = 524288;
    config.maxWidth = 4096;
    config.maxHeight = 4096;
    std::string lastMessage;
    config.report = [&lastMessage](const char*, int, std::string_view message) {
        lastMessage.assign(message);
    };
    vello::mpeg4::Mpeg4Decoder decoder(config, &source);
    using vello::mpeg4::Mpeg4Status;
    auto failure = [&](Mpeg4Status status) {
        std::string text = lastMessage.empty() ? "decoding failed" : lastMessage;
        text += " (status " + std::to_string(vello::mpeg4::StatusCode(status)) + ")";
        return Fail(kM4vDecode.name, text);
    };
    Mpeg4Status status = decoder.OpenDecoder();
    if (status != Mpeg4Status::kOk) return failure(status);

    platform::OutputFile out;
    const std::string inputs[] = {argv[1]};
    if (out.Open(argv[2], inputs) != platform::FileStatus::kOk) return Fail(kM4vDecode.name, out.Error());
    YuvWriter writer(&out, decoder.Width(), decoder.Height());
    status = decoder.DecodeStream(writer);
    if (writer.writeFailed()) return Fail(kM4vDecode.name, out.Error());
    if (status != Mpeg4Status::kOk) return failure(status);
    if (!source.Error().empty()) return Fail(kM4vDecode.name, source.Error());
    if (out.Commit() != platform::FileStatus::kOk) return Fail(kM4vDecode.name, out.Error());

    const vello::mpeg4::DecoderStats& stats = decoder.Stats();
    std::printf("%dx%d, %d pictures", decoder.Width(), decoder.Height(), writer.pictures());
    if (stats.vopsByType[2] + stats.vopsByType[3] > 0) {
        std::printf(" (%llu B-VOPs and %llu S-VOPs passed over)",
                    static_cast<unsigned long long>(stats.vopsByType[2]),
                    static_cast<unsigned long long>(stats.vopsByType[3]));
    }
    if (stats.vopErrors > 0) std::printf(", %llu damaged", static_cast<unsigned long long>(stats.vopErrors));
    std::printf("\n");
    return 0;
}

}  // namespace

QXRTOOL_COMMAND(kM4vDecode);

}  // namespace qxrtool
