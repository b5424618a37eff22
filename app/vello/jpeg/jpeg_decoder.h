// JpegDecoder: one complete JPEG image in memory to interleaved 8-bit pixels in a caller's buffer.
//
// Baseline and extended sequential (SOF0, SOF1) and progressive (SOF2) Huffman images, 8-bit samples,
// 1, 3 or 4 components sampled 4:4:4, 4:2:2 or 4:2:0. The decoder parses the markers; Huffman decoding,
// the inverse DCT, chroma upsampling and colour conversion are Lumacore's.
//
// Calling order for one image: SetSource, ReadHeader, SetDestination, ReadData, Clean. One object decodes
// a stream of images: Reset once, then Clean after every image. One object belongs to one thread.
#ifndef VELLO_JPEG_JPEG_DECODER_H
#define VELLO_JPEG_JPEG_DECODER_H

#include <cstdint>
#include <memory>

#include "lumacore/lumacore.h"
#include "vello/common/lum_memory.h"
#include "vello/jpeg/jpeg_types.h"

namespace vello {

// Hard limits that make a hostile file fail with JpegStatus::kNotSupported instead of exhausting memory or
// time. The defaults are far above any camera picture; a fuzzer sets small ones.
struct JpegDecoderLimits {
    int64_t maxPixels = int64_t{1} << 26;            // width x height (64 Mpixel, e.g. 8192 x 8192)
    int64_t maxCoefficientBytes = int64_t{1} << 29;  // the progressive coefficient buffer, in bytes
    int maxScans = 256;                              // SOS segments decoded for one image
    // The decoding work a file may ask for, in coefficient visits: each scan counts the blocks it covers
    // times the coefficients of its band (64 for a sequential scan, 1 for a DC scan). At most this many
    // per byte of input, but always minCoefficientVisits, so that small files of ordinary pictures pass.
    // Real files need from a few to a few hundred per byte; a file of empty refinement scans asks for
    // tens of thousands, and is refused by ReadHeader, before anything is allocated for it.
    int64_t coefficientVisitsPerByte = 4096;
    // 64 Mi visits: a 40 Mpixel 4:2:0 picture decoded sequentially, or about 16 Mpixel progressively.
    int64_t minCoefficientVisits = int64_t{1} << 26;
};

// The JFIF APP0 facts of the last image that had them.
struct JpegJfifInfo {
    int versionMajor = 0;
    int versionMinor = 0;
    int densityUnits = 0;
    int xDensity = 0;
    int yDensity = 0;
    int thumbnailWidth = 0;
    int thumbnailHeight = 0;
};

// The Adobe APP14 facts of the last image that had them.
struct JpegAdobeInfo {
    int version = 0;
    int flags0 = 0;
    int flags1 = 0;
    int transform = 0;  // 0 none (RGB or CMYK), 1 YCbCr, 2 YCCK
};

class JpegDecoder {
  public:
    JpegDecoder();
    ~JpegDecoder();
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    // Back to the empty state: no tables, components, buffers or header facts; restart interval 0.
    void Reset();
    // The compressed image; read from position 0. The bytes must stay valid until Clean. Returns 0.
    int SetSource(const std::uint8_t* bytes, int length);
    // Reads the markers up to the first scan and reports the frame. Any pointer may be null.
    JpegStatus ReadHeader(int* width, int* height, int* components, JpegColour* colour,
                          JpegSampling* sampling);
    // Where the pixels go: `width` x `height` pixels of `channels` bytes, rows `lineStep` bytes apart,
    // top-down, in `colour`. Only the part that the image covers is written. Returns 0.
    int SetDestination(std::uint8_t* pixels, int width, int lineStep, int height, int channels,
                       JpegColour colour);
    // Decodes the scans into the destination.
    JpegStatus ReadData();
    // Releases the components, tables, buffers, comment and bit-reader state of this image.
    void Clean();

    void SetLimits(const JpegDecoderLimits& limits) { limits_ = limits; }

    // `status` in words, for a message: for kNotSupported the cause of the last refusal ("arithmetic coding
    // is not supported"), otherwise JpegStatusText.
    const char* Reason(JpegStatus status) const;

    // MCU geometry of the frame last read (valid after ReadHeader).
    int McuWidth() const { return mcuWidth_; }
    int McuHeight() const { return mcuHeight_; }
    int McusPerRow() const { return mcusPerRow_; }
    int McuRows() const { return mcuRows_; }
    int BlocksPerMcu() const { return blocksPerMcu_; }

    // Header facts of the image last read.
    bool Progressive() const { return progressive_; }
    int RestartInterval() const { return restartInterval_; }
    bool HasComment() const { return comment_ != nullptr; }
    const char* Comment() const { return comment_ ? comment_.get() : ""; }  // NUL-terminated
    int CommentLength() const { return commentLength_; }
    bool HasJfif() const { return hasJfif_; }
    const JpegJfifInfo& Jfif() const { return jfif_; }
    bool HasJfxx() const { return hasJfxx_; }
    int JfxxExtensionCode() const { return jfxxCode_; }
    bool HasAdobe() const { return hasAdobe_; }
    const JpegAdobeInfo& Adobe() const { return adobe_; }

  private:
    struct QuantTable;
    struct HuffmanTable;
    struct Component;

    // jpeg_decoder.cpp
    // Remembers why the image is refused and returns kNotSupported.
    JpegStatus Refuse(const char* why);
    // Header mode: up to the first SOS; data mode: from there to EOI, decoding the scans.
    JpegStatus RunMarkers(bool dataMode);

    // jpeg_markers.cpp: source reading, always inside [0, length).
    int ReadByte();
    int ReadWord();
    // From *position: skips to the next marker, leaves *position after it. kDataExhausted at the end.
    JpegStatus FindMarker(int* position, int* marker) const;
    JpegStatus SearchMarker(int* marker);  // FindMarker from the read position
    JpegStatus BeginSegment(int* payload);
    JpegStatus SkipSegment();
    JpegStatus ReadFrameHeader(bool progressive);
    JpegStatus ReadHuffmanTables();
    JpegStatus ReadQuantTables();
    JpegStatus ReadRestartInterval();
    JpegStatus ReadScanHeader();
    JpegStatus ReadApp0();
    JpegStatus ReadApp14();
    JpegStatus ReadComment();
    void ComputeGeometry();
    void DecideFileColour();

    // jpeg_coefficients.cpp
    // Coefficient visits of a scan over frame components `components[0..count)` with band Ss..Se.
    std::int64_t ScanWork(const int* components, int count, int ss, int se) const;
    // The visits allowed for this source.
    std::int64_t WorkBudget() const;
    // The visits of the scan just read and of every later scan header in the source, without decoding.
    std::int64_t PlannedWork() const;
    JpegStatus AllocateBuffers();
    // What every scan starts with: its tables checked, the Huffman state and DC predictors reset, no marker
    // pending and no damaged interval.
    JpegStatus BeginScan();
    JpegStatus DecodeSequential();
    JpegStatus DecodeProgressiveScan();
    JpegStatus RestartStep();
    // Takes one block's Huffman decoding status. Data that breaks off inside the block (a marker or the end
    // of the source where bits were due) damages the rest of the restart interval: the image is marked
    // damaged and the interval's remaining blocks are passed over. Any other failure is the decoder's own.
    JpegStatus BlockDecoded(LumStatus ls);
    // kBadHuffmanTable when a table the scan's blocks need was never defined.
    JpegStatus CheckScanTables() const;
    JpegStatus ReconstructProgressive();
    // Inverse DCT of one MCU row of progressive coefficients into the component sample buffers.
    JpegStatus InverseTransformRow(const Lum16s* coefficients, int mcuRow);
    Lum8u* SampleOrigin(Component& c, int slot);
    int SampleStep(const Component& c) const;
    Lum16s* ProgressiveBlock(int mcuX, int mcuY, int blockInMcu);

    // jpeg_upsample_colour.cpp
    JpegStatus PrepareOutput();
    // Upsampling and colour conversion of sequential MCU row `mcuRow`, held in `slot`.
    JpegStatus SetLineAbove(int mcuRow, int slot);
    JpegStatus FinishSequentialRow(int mcuRow, int slot, bool nextRowDecoded);
    JpegStatus FinishProgressive();
    JpegStatus ExtendEdges(Component& c, Lum8u* lines, int lineCount, int firstRealLine, int realLines);
    JpegStatus Upsample(Component& c, const Lum8u* firstLine, int outRows, Lum8u* plane);
    JpegStatus ConvertColour(const Lum8u* const planes[4], int firstRow, int rows);

    JpegDecoderLimits limits_;
    const char* refusal_ = nullptr;  // a static text, set with kNotSupported

    // Source.
    const std::uint8_t* src_ = nullptr;
    int srcLength_ = 0;
    int pos_ = 0;

    // Frame.
    int width_ = 0;
    int height_ = 0;
    int componentCount_ = 0;
    JpegSampling sampling_ = kJpegSampling444;
    JpegColour fileColour_ = kJpegColourUnknown;
    int restartInterval_ = 0;
    bool progressive_ = false;
    bool haveFrame_ = false;
    bool headerRead_ = false;

    // Header facts.
    std::unique_ptr<char[]> comment_;
    int commentLength_ = 0;
    bool hasJfif_ = false;
    JpegJfifInfo jfif_;
    bool hasJfxx_ = false;
    int jfxxCode_ = 0;
    bool hasAdobe_ = false;
    JpegAdobeInfo adobe_;

    // Destination.
    std::uint8_t* dst_ = nullptr;
    int dstWidth_ = 0;
    int dstLineStep_ = 0;
    int dstHeight_ = 0;
    int dstChannels_ = 0;
    JpegColour dstColour_ = kJpegColourUnknown;
    int colourOp_ = 0;  // chosen by PrepareOutput
    int outWidth_ = 0;  // pixels written per row: the smaller of the image and destination widths

    // MCU geometry.
    int mcusPerRow_ = 0;
    int mcuRows_ = 0;
    int mcuWidth_ = 8;
    int mcuHeight_ = 8;
    int rowWidth_ = 0;      // samples per plane row: mcusPerRow * mcuWidth
    int paddedHeight_ = 0;  // mcuRows * mcuHeight
    int blocksPerMcu_ = 0;

    // Scan state.
    int restartsToGo_ = 0;
    int scanComponents_[4] = {0, 0, 0, 0};  // frame indices, in scan order
    int scanComponentCount_ = 0;
    int ss_ = 0;
    int se_ = 0;
    int ah_ = 0;
    int al_ = 0;
    int scansDecoded_ = 0;
    int pendingMarker_ = 0;          // second byte of a marker the bit reader met, 0 for none
    bool progressiveDirty_ = false;  // coefficients changed since the last reconstruction
    bool reconstructed_ = false;
    std::int64_t workDone_ = 0;  // coefficient visits of the scans decoded so far
    bool damaged_ = false;       // some entropy-coded data of this image could not be decoded
    bool skipping_ = false;      // passing over the rest of a damaged restart interval

    // Buffers.
    LumBuffer<Lum16s> coefficients_;  // progressive: the whole image; sequential: one MCU
    bool buffersReady_ = false;
    LumDecodeHuffmanStatePtr huffState_;

    // Tables.
    std::unique_ptr<QuantTable> quant_[4];
    std::unique_ptr<HuffmanTable> dcTables_[4];
    std::unique_ptr<HuffmanTable> acTables_[4];
    std::unique_ptr<Component> components_[4];
};

}  // namespace vello

#endif
