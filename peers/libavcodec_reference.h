// libavcodec's mpeg4 decoder as the reference for our MPEG-4 decoder: used by the tests (for the pictures)
// and by the benchmark (for the time), so both drive it the same way.
#ifndef PEERS_LIBAVCODEC_REFERENCE_H
#define PEERS_LIBAVCODEC_REFERENCE_H

#include <cstdint>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace mpeg4test {

// Decodes `size` bytes of an elementary stream on one thread, libavcodec's parser cutting the pictures, and
// calls `onFrame(const AVFrame*)` for each picture in output order. `padded` must hold
// AV_INPUT_BUFFER_PADDING_SIZE zero bytes after the stream. Returns false when the decoder cannot open.
template <typename OnFrame>
bool DecodeWithLibavcodec(const std::uint8_t* padded, int size, OnFrame&& onFrame) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->thread_count = 1;
    if (avcodec_open2(ctx, codec, nullptr) < 0) {
        avcodec_free_context(&ctx);
        return false;
    }
    AVCodecParserContext* parser = av_parser_init(AV_CODEC_ID_MPEG4);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&]() {
        while (avcodec_receive_frame(ctx, frame) == 0) {
            onFrame(static_cast<const AVFrame*>(frame));
            av_frame_unref(frame);
        }
    };
    const std::uint8_t* in = padded;
    int left = size;
    int emptyFlushes = 0;  // at the end the parser may need a second empty call to hand out its last frame
    for (;;) {
        const int used = av_parser_parse2(parser, ctx, &packet->data, &packet->size, left > 0 ? in : nullptr,
                                          left, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        in += used;
        left -= used;
        if (packet->size > 0) {
            avcodec_send_packet(ctx, packet);
            drain();
        } else if (left <= 0 && ++emptyFlushes > 2) {
            break;
        }
    }
    avcodec_send_packet(ctx, nullptr);
    drain();
    av_frame_free(&frame);
    av_packet_free(&packet);
    av_parser_close(parser);
    avcodec_free_context(&ctx);
    return true;
}

}  // namespace mpeg4test

#endif
