// What the JPEG decoder's files share: the records of its tables and components, and small helpers.
// Only the decoder's own sources include this.
#ifndef VELLO_JPEG_JPEG_DECODER_PARTS_H
#define VELLO_JPEG_JPEG_DECODER_PARTS_H

#include "vello/jpeg/jpeg_decoder.h"

namespace vello {

namespace jpeg_detail {

inline int CeilDiv(int a, int b) {
    return (a + b - 1) / b;
}

}  // namespace jpeg_detail

// A DQT table: the 64 raw values in zig-zag order as the file carries them, and the dequantisation table
// that the inverse transform takes (natural order).
struct JpegDecoder::QuantTable {
    int id = 0;
    int precision = 0;
    alignas(32) Lum8u raw[64] = {};
    alignas(32) Lum16u inverse[64] = {};
};

// A DHT table and the decoding specification built from it.
struct JpegDecoder::HuffmanTable {
    int id = 0;
    int tableClass = 0;  // 0 DC, 1 AC
    Lum8u counts[16] = {};
    Lum8u values[256] = {};
    LumDecodeHuffmanSpecPtr spec;
};

// One frame component. Samples of a component that is not upsampled live in `plane` (row step rowWidth_);
// those of a subsampled one live in `upsample` with a one-sample border on every side (row step
// upsampleStep), and `plane` receives the upsampled result.
struct JpegDecoder::Component {
    int id = 0;
    int index = 0;
    int h = 1;  // sampling factors from SOF
    int v = 1;
    int hUp = 1;  // upsampling factors, 1 or 2
    int vUp = 1;
    int quantSelector = 0;
    int dcSelector = 0;
    int acSelector = 0;
    bool finalDcDone = false;
    bool finalAcDone = false;
    Lum16s lastDc = 0;
    int sampleWidth = 0;  // real samples of this component, T.81 A.1.1
    int sampleHeight = 0;
    int blockOffset = 0;  // index of its first block in an MCU
    LumBuffer<Lum8u> plane;
    LumBuffer<Lum8u> upsample;
    int upsampleStep = 0;
    int upsampleSlotLines = 0;  // lines per slot including the border lines
};

}  // namespace vello

#endif
