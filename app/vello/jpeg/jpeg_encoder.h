// JpegEncoder: an interleaved 8-bit picture in memory to a baseline sequential JPEG file image in a
// caller's buffer. The encoder writes the markers; colour conversion, downsampling, the forward DCT with
// quantisation and Huffman coding are Lumacore's.
//
// Calling order: Reset, SetSource, SetParams, WriteImage, Clean; the object can then take another
// picture. One object is used by one thread at a time.
#ifndef VELLO_JPEG_JPEG_ENCODER_H
#define VELLO_JPEG_JPEG_ENCODER_H

#include <cstdint>

#include "lumacore/lumacore.h"
#include "vello/common/lum_memory.h"
#include "vello/jpeg/jpeg_types.h"

namespace vello {

class JpegEncoder {
  public:
    JpegEncoder();
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder&) = delete;
    JpegEncoder& operator=(const JpegEncoder&) = delete;

    // Clears source, parameters and tables; quality 100.
    void Reset();
    // The picture: `width` x `height` pixels of `channels` bytes, rows `lineStep` bytes apart, top-down.
    // The pixels must stay valid until WriteImage returns. Returns 0.
    int SetSource(const std::uint8_t* pixels, int width, int height, int channels, int lineStep,
                  JpegColour colour);
    // quality 1..100 (T.81 Annex K tables scaled; out-of-range values are clamped), sampling 4:4:4, 4:2:2 or
    // 4:2:0, the file's colour, mode 0 (baseline sequential, the only one written) and the restart interval
    // in MCUs (0 for none). Returns 0.
    int SetParams(int quality, JpegSampling sampling, JpegColour jpegColour, int mode, int restartInterval);
    // Writes the file image into `destination`; `size` holds its capacity on entry and the bytes written on
    // success. After a failure the buffer holds a partial image that must not be saved.
    JpegStatus WriteImage(std::uint8_t* destination, int* size);
    // Releases tables, planes and the Huffman state, back to the Reset state.
    void Clean();

    // The comment every file carries.
    static constexpr const char* kComment = "Vellana JPEG encoder";

  private:
    struct Component {
        int id = 0;
        int h = 1;  // sampling factors written in SOF
        int v = 1;
        int downH = 1;  // downsampling factors
        int downV = 1;
        int quantTable = 0;
        int huffTable = 0;  // DC and AC table number
        Lum16s lastDc = 0;
        LumBuffer<Lum8u> full;  // one MCU row at full resolution, step rowWidth_
        LumBuffer<Lum8u>
            down;  // the same row downsampled (empty for 1x1: `full` is used), step rowWidth_ / downH
    };

    // One block of an MCU in scan order, for the MCU loop: where its samples start in the MCU row's
    // plane in MCU 0, how many bytes further on they start in each next MCU, and its tables.
    struct McuBlock {
        const Lum8u* samples;
        int step;
        int mcuStride;
        const Lum16u* quant;
        Lum16s* lastDc;
        const LumiEncodeHuffmanSpec* dc;
        const LumiEncodeHuffmanSpec* ac;
    };
    // 4:2:0 with four components: 4 + 1 + 1 + 4.
    static constexpr int kMaxMcuBlocks = 10;

    JpegStatus SetUp();
    void PlanMcuBlocks();
    JpegStatus WriteHeaders();
    JpegStatus WriteScanData();
    JpegStatus ConvertRow(int mcuRow, int rows);
    JpegStatus ExtendAndDownsample(Component& c, int rows);
    JpegStatus EncodeMcu(int mcuX);
    JpegStatus FlushBits();
    bool Room(int bytes) const { return bytes <= capacity_ - written_; }
    void Put8(int value) { out_[written_++] = static_cast<std::uint8_t>(value); }
    void Put16(int value) {
        Put8(value >> 8);
        Put8(value & 0xFF);
    }
    void ReleaseTables();

    // Source.
    const std::uint8_t* src_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int channels_ = 0;
    int lineStep_ = 0;
    JpegColour srcColour_ = kJpegColourUnknown;

    // Parameters.
    int quality_ = 100;
    JpegSampling sampling_ = kJpegSampling444;
    JpegColour jpegColour_ = kJpegColourUnknown;
    int mode_ = 0;
    int restartInterval_ = 0;

    // Derived.
    int componentCount_ = 0;
    int mcuWidth_ = 8;
    int mcuHeight_ = 8;
    int mcusPerRow_ = 0;
    int mcuRows_ = 0;
    int rowWidth_ = 0;
    int rightPadding_ = 0;
    int bottomPadding_ = 0;
    int conversion_ = 0;

    // Output.
    std::uint8_t* out_ = nullptr;
    int capacity_ = 0;
    int written_ = 0;

    // Restart state.
    int restartsToGo_ = 0;
    int restartNumber_ = 0;

    Component components_[4];
    McuBlock mcuBlocks_[kMaxMcuBlocks] = {};
    int mcuBlockCount_ = 0;
    alignas(32) Lum8u rawQuant_[2][64] = {};
    alignas(32) Lum16u fwdQuant_[2][64] = {};
    LumEncodeHuffmanSpecPtr dcSpec_[2];
    LumEncodeHuffmanSpecPtr acSpec_[2];
    LumEncodeHuffmanStatePtr huffState_;
    alignas(32) Lum16s block_[64] = {};
};

}  // namespace vello

#endif
