// One call per picture: JPEG file bytes to a picture, a picture to JPEG file bytes. The decoder and
// encoder classes stay for callers that reuse one object over a stream or need header facts; everybody
// else (stills, capture saves, tools, the simulator) uses these.
//
//   const vello::JpegDecodeResult d = vello::DecodeJpeg(bytes);
//   if (d.picture.empty()) report(d.reason);          // refused or unreadable
//   else show(d.picture);                              // kOk, or kCorruptData with the damage grey
//
//   const vello::JpegEncodeResult e = vello::EncodeJpeg(vello::JpegPictureView{bgr, w, h, 3, step,
//                                                                               vello::kJpegColourBGR});
#ifndef VELLO_JPEG_JPEG_PICTURE_H
#define VELLO_JPEG_JPEG_PICTURE_H

#include <cstdint>
#include <span>
#include <vector>

#include "vello/jpeg/jpeg_decoder.h"
#include "vello/jpeg/jpeg_types.h"

namespace vello {

// A picture that owns its pixels: interleaved 8-bit samples, rows top-down and `step` bytes apart.
struct JpegPicture {
    int width = 0;
    int height = 0;
    int channels = 0;  // 3 (BGR or RGB), 4 (CMYK), or the component count when the colour is unknown
    int step = 0;      // bytes from one row to the next, at least width * channels
    JpegColour colour = kJpegColourUnknown;
    std::vector<std::uint8_t> pixels;  // step * height bytes

    bool empty() const { return pixels.empty(); }
};

// A picture somebody else owns, to be encoded.
struct JpegPictureView {
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int channels = 0;
    int step = 0;
    JpegColour colour = kJpegColourUnknown;  // BGR, RGB, grey, CMYK, or unknown (planes kept as they are)
};

struct JpegDecodeOptions {
    // What 1- and 3-component files come out as: BGR (the hosts' bitmaps) or RGB. 4-component files come
    // out as CMYK; files whose colour space is unknown keep their planes as they are.
    JpegColour colour = kJpegColourBGR;
    int rowAlignment = 4;  // the row step is width * channels rounded up to a multiple of this (1 to 64)
    JpegDecoderLimits limits;
};

struct JpegDecodeResult {
    // kOk; kCorruptData when the entropy-coded data is damaged or cut short (the picture is whole, what
    // could not be decoded is grey); any other status leaves the picture empty.
    JpegStatus status = JpegStatus::kOk;
    const char* reason = "success";  // the status in words, naming the cause of a refusal
    JpegPicture picture;
};

[[nodiscard]] JpegDecodeResult DecodeJpeg(std::span<const std::uint8_t> file,
                                          const JpegDecodeOptions& options = {});

struct JpegEncodeParams {
    int quality = 75;                          // 1 to 100
    JpegSampling sampling = kJpegSampling420;  // of the chroma of a colour file; grey files are 4:4:4
    int restartInterval = 0;                   // MCUs between restart markers, 0 for none
};

struct JpegEncodeResult {
    JpegStatus status = JpegStatus::kOk;
    std::vector<std::uint8_t> bytes;  // the whole file; empty unless the status is kOk
};

// Grey pictures become grey files, BGR and RGB become YCbCr, CMYK becomes YCCK (Adobe), unknown stays
// unknown. The output grows as needed: no capacity to guess.
[[nodiscard]] JpegEncodeResult EncodeJpeg(const JpegPictureView& picture,
                                          const JpegEncodeParams& params = {});

}  // namespace vello

#endif
