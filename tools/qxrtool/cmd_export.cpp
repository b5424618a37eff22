// qxrtool export: a recording series to a file every common player opens. The video chunks go in as
// they are (Motion JPEG, or MPEG-4 Visual without re-encoding); the camera's G.711/G.726 audio becomes
// 16-bit PCM. The container is written by FFmpeg's libavformat, which knows AVI, MP4 and Matroska well;
// its output goes through our output helper, so a failed export leaves nothing and the recording cannot
// be overwritten by its own export.
extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "command.h"
#include "core/path_string.h"
#include "core/qxr_file_manager.h"
#include "core/qxr_format.h"
#include "platform/output_file.h"
#include "series_writer/stream_split.h"
#include "vello/audio/audio_decoder.h"
#include "vello/mpeg4/start_code.h"

namespace qxrtool {
namespace {

namespace tag = reeldeck::tag;

int RunExport(int argc, char** argv);

const Command kExport{
    "export", "a recording series to an AVI, QuickTime or Matroska file every common player opens",
    "export FILE OUT.avi|OUT.mov|OUT.mkv|OUT.mp4\n\n"
    "Writes the whole series that FILE belongs to: the pictures as recorded (Motion JPEG, or\n"
    "MPEG-4 Visual without re-encoding) at the header's frame rate, and the audio as 16-bit\n"
    "PCM at 8000 Hz. MP4 only for MPEG-4 recordings without sound (it has no place for\n"
    "Motion JPEG or PCM).",
    RunExport};

constexpr int kPcmRate = 8000;
constexpr int kAudioPacketSamples = 1024;

// libavformat's writes into an OutputFile: appended at the end, or over bytes already written when the
// muxer seeks back to fill in a header.
struct Sink {
    platform::OutputFile file;
    int64_t position = 0;
    bool failed = false;
};

int WritePacket(void* opaque, uint8_t* data, int size) {
    auto* sink = static_cast<Sink*>(opaque);
    const auto written = static_cast<int64_t>(sink->file.Written());
    int64_t at = sink->position;
    int64_t done = 0;
    if (at < written) {
        // Overwrite what is there, then append the rest.
        const int64_t over = std::min<int64_t>(size, written - at);
        if (sink->file.WriteAt(static_cast<uint64_t>(at), data, static_cast<std::size_t>(over)) !=
            platform::FileStatus::kOk)
            sink->failed = true;
        done = over;
        at += over;
    }
    if (done < size) {
        if (at != written) {
            sink->failed = true;  // a hole: the muxers here never seek past the end
        } else if (sink->file.Write(data + done, static_cast<std::size_t>(size - done)) !=
                   platform::FileStatus::kOk) {
            sink->failed = true;
        }
    }
    sink->position += size;
    return sink->failed ? AVERROR(EIO) : size;
}

int64_t Seek(void* opaque, int64_t offset, int whence) {
    auto* sink = static_cast<Sink*>(opaque);
    const auto size = static_cast<int64_t>(sink->file.Written());
    switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return size;
        case SEEK_SET:
            break;
        case SEEK_CUR:
            offset += sink->position;
            break;
        case SEEK_END:
            offset += size;
            break;
        default:
            return AVERROR(EINVAL);
    }
    if (offset < 0 || offset > size) return AVERROR(EINVAL);
    sink->position = offset;
    return offset;
}

// Bytes of a unit's video or audio chunk.
std::vector<uint8_t> ReadChunk(reeldeck::QXRFileManager& files, int unit, bool video) {
    const int32_t size = video ? files.VideoSize(unit) : files.AudioSize(unit);
    std::vector<uint8_t> bytes(static_cast<std::size_t>(std::max(size, 0)));
    int64_t offset = 0;
    while (offset < size) {
        int64_t got = 0;
        const int ok = video ? files.ReadVideo(bytes.data() + offset, offset, size - offset, got, unit)
                             : files.ReadAudio(bytes.data() + offset, offset, size - offset, got, unit);
        if (ok != 1 || got <= 0) break;
        offset += got;
    }
    bytes.resize(static_cast<std::size_t>(offset));
    return bytes;
}

struct Muxer {
    AVFormatContext* context = nullptr;
    AVIOContext* io = nullptr;
    ~Muxer() {
        if (io != nullptr) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
        avformat_free_context(context);
    }
};

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

int RunExport(int argc, char** argv) {
    if (WantsHelp(argc, argv)) return PrintCommandHelp(kExport);
    if (argc != 3) return UsageError(kExport, "needs a recording and an output file");
    const std::string input = argv[1], output = argv[2];
    const std::string extension(reeldeck::PathString(output).Extension().UpperCase().View());
    // MP4 as FFmpeg writes it has no place for PCM audio: QuickTime's .mov, its parent format, has.
    const char* format = extension == "AVI"   ? "avi"
                         : extension == "MOV" ? "mov"
                         : extension == "MKV" ? "matroska"
                         : extension == "MP4" ? "mp4"
                                              : nullptr;
    if (format == nullptr) return UsageError(kExport, "the output must end in .avi, .mov, .mkv or .mp4");

    reeldeck::QXRFileManager files;
    if (files.Open(input) < 0) return Fail("export", "cannot open " + input);
    reeldeck::QxrMainHeader main;
    reeldeck::QxrMovieHeader movie;
    reeldeck::QxrAudioHeader audio;
    const int units = files.UnitCount();
    if (units < 1 || files.MainHeader(0, main) != 1 || files.MovieHeader(0, movie) != 1)
        return Fail("export", input + ": no data units");
    const bool hasAudio = main.streamCount == 2 && files.AudioHeader(0, audio) == 1;
    const bool jpeg = movie.codec == tag::kJpeg;
    if (!jpeg && movie.codec != tag::kMpeg4) return Fail("export", input + ": unknown video codec");
    if (movie.frameRate < 1 || movie.frameRate > 600 || movie.width < 1 || movie.height < 1)
        return Fail("export", input + ": bad movie header");
    if (std::strcmp(format, "mp4") == 0 && (jpeg || hasAudio))
        return Fail("export", "MP4 takes neither Motion JPEG nor PCM audio: write .avi, .mov or .mkv");
    // The audio type code 100 is G.711; 101 to 104 are G.726 with codes of 2 to 5 bits.
    const reeldeck::AudioFormat audioFormat = reeldeck::AudioFormatOf(audio);
    if (hasAudio && audioFormat.type == 0) return Fail("export", input + ": unknown audio codec or rate");
    const std::optional<vello::AudioCoding> audioCoding = vello::CodingOfCodecId(audioFormat.type);
    if (hasAudio && !audioCoding) return Fail("export", input + ": unknown audio codec or rate");

    Muxer mux;
    if (avformat_alloc_output_context2(&mux.context, nullptr, format, nullptr) < 0 || mux.context == nullptr)
        return Fail("export", "cannot set up the container");
    AVStream* video = avformat_new_stream(mux.context, nullptr);
    AVStream* sound = hasAudio ? avformat_new_stream(mux.context, nullptr) : nullptr;
    if (video == nullptr || (hasAudio && sound == nullptr)) return Fail("export", "cannot add the streams");
    const AVRational frameTime{1, static_cast<int>(movie.frameRate)};
    video->time_base = frameTime;
    video->avg_frame_rate = av_inv_q(frameTime);
    video->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    video->codecpar->codec_id = jpeg ? AV_CODEC_ID_MJPEG : AV_CODEC_ID_MPEG4;
    video->codecpar->width = static_cast<int>(movie.width);
    video->codecpar->height = static_cast<int>(movie.height);
    if (!jpeg) {
        // The decoder configuration (everything before the first VOP) as the stream's global header.
        const std::vector<uint8_t> first = ReadChunk(files, 0, true);
        const std::size_t vop = vello::mpeg4::FindStartCode(first, vello::mpeg4::kVopStartCode);
        if (vop != vello::mpeg4::kNoStartCode && vop > 0) {
            video->codecpar->extradata =
                static_cast<uint8_t*>(av_mallocz(vop + AV_INPUT_BUFFER_PADDING_SIZE));
            if (video->codecpar->extradata == nullptr) return Fail("export", "out of memory");
            std::memcpy(video->codecpar->extradata, first.data(), vop);
            video->codecpar->extradata_size = static_cast<int>(vop);
        }
    }
    if (sound != nullptr) {
        sound->time_base = {1, kPcmRate};
        sound->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
        sound->codecpar->codec_id = AV_CODEC_ID_PCM_S16LE;
        sound->codecpar->sample_rate = kPcmRate;
        av_channel_layout_default(&sound->codecpar->ch_layout, 1);
        sound->codecpar->bits_per_coded_sample = 16;
        sound->codecpar->block_align = 2;
        sound->codecpar->bit_rate = kPcmRate * 16;
    }

    Sink sink;
    const std::string inputs[] = {input};
    if (sink.file.Open(output, inputs) != platform::FileStatus::kOk) return Fail("export", sink.file.Error());
    constexpr int kIoBuffer = 65536;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBuffer));
    if (buffer == nullptr) return Fail("export", "out of memory");
    mux.io = avio_alloc_context(buffer, kIoBuffer, 1, &sink, nullptr, WritePacket, Seek);
    if (mux.io == nullptr) {
        av_free(buffer);
        return Fail("export", "out of memory");
    }
    mux.context->pb = mux.io;
    int rc = avformat_write_header(mux.context, nullptr);
    if (rc < 0) return Fail("export", "cannot write the container header: " + AvError(rc));

    AVPacket* packet = av_packet_alloc();
    if (packet == nullptr) return Fail("export", "out of memory");
    auto write = [&](AVStream* stream, const uint8_t* data, std::size_t size, int64_t pts, int64_t duration,
                     AVRational base, bool key) {
        if (av_new_packet(packet, static_cast<int>(size)) < 0) return AVERROR(ENOMEM);
        std::memcpy(packet->data, data, size);
        packet->stream_index = stream->index;
        packet->pts = packet->dts = pts;
        packet->duration = duration;
        if (key) packet->flags |= AV_PKT_FLAG_KEY;
        av_packet_rescale_ts(packet, base, stream->time_base);
        const int result = av_interleaved_write_frame(mux.context, packet);
        av_packet_unref(packet);
        return result;
    };

    // Pictures one per frame time, audio in blocks at its own clock; the muxer interleaves them.
    int64_t pictures = 0, samplesWritten = 0;
    std::vector<int16_t> pending;
    std::vector<uint8_t> audioBytes;
    for (int unit = 0; unit < units && rc >= 0; ++unit) {
        const std::vector<uint8_t> chunk = ReadChunk(files, unit, true);
        if (!chunk.empty()) {
            rc = write(video, chunk.data(), chunk.size(), pictures, 1, frameTime,
                       jpeg || reeldeck::series::IsIntraVop(chunk));
            ++pictures;
        }
        if (sound == nullptr) continue;
        const std::vector<uint8_t> bytes = ReadChunk(files, unit, false);
        audioBytes.insert(audioBytes.end(), bytes.begin(), bytes.end());
    }
    if (sound != nullptr && rc >= 0) {
        // G.726 is decoded as one stream so that the decoder's state follows it across chunks.
        if (vello::DecodeAudio(*audioCoding, audioBytes, pending) != vello::AudioStatus::kOk)
            return Fail("export", "cannot decode the audio");
        for (std::size_t at = 0; at < pending.size() && rc >= 0; at += kAudioPacketSamples) {
            const std::size_t n = std::min<std::size_t>(kAudioPacketSamples, pending.size() - at);
            rc = write(sound, reinterpret_cast<const uint8_t*>(pending.data() + at), n * 2, samplesWritten,
                       static_cast<int64_t>(n), {1, kPcmRate}, true);
            samplesWritten += static_cast<int64_t>(n);
        }
    }
    av_packet_free(&packet);
    if (rc < 0) return Fail("export", "cannot write " + output + ": " + AvError(rc));
    rc = av_write_trailer(mux.context);
    avio_flush(mux.io);
    if (rc < 0 || sink.failed) return Fail("export", "cannot finish " + output + ": " + sink.file.Error());
    if (sink.file.Commit() != platform::FileStatus::kOk) return Fail("export", sink.file.Error());
    std::printf("%s: %" PRId64 " pictures (%.3f s)", output.c_str(), pictures,
                static_cast<double>(pictures) / movie.frameRate);
    if (sound != nullptr)
        std::printf(", %" PRId64 " audio samples (%.3f s)", samplesWritten, samplesWritten / 8000.0);
    std::printf("\n");
    return 0;
}

}  // namespace

QXRTOOL_COMMAND(kExport);

}  // namespace qxrtool
