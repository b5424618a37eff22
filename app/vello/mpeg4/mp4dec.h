// Mpeg4Decoder: the MPEG-4 Visual (ISO/IEC 14496-2) decoder of both programs, for rectangular,
// progressive, 8-bit 4:2:0 video with I- and P-VOPs (simple-profile tools). Everything else is refused
// with a message and a status; B- and S-VOPs are passed over and counted.
//
// One decoder per decoding thread:
//   OpenDecoder() -> DecodeStream(display) (possibly several times) -> CloseDecoder().
// The pixel work is Lumacore's; this object owns the stream buffer, the header state, the macroblock
// syntax and the two-picture store. Every failure is an Mpeg4Status.
#ifndef VELLO_MPEG4_MP4DEC_H
#define VELLO_MPEG4_MP4DEC_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

#include "lumacore/lumacore.h"
#include "vello/common/codec_report.h"
#include "vello/mpeg4/mp4status.h"
#include "vello/mpeg4/mp4stream.h"
#include "vello/mpeg4/start_code.h"
#include "vello/mpeg4/vol_header.h"

namespace vello::mpeg4 {

// Codes the decoding loop hands to the host's error notification.
inline constexpr int kHostErrorNoVop = 77;       // no VOP start code, size change, initialisation error
inline constexpr int kHostErrorReadFailed = 63;  // the refill could not read ("Invalid movie data.")

// The two hosts differ in their refill rules, buffer size, messages and size-change handling.
enum class HostVariant {
    kReeldeck,  // stop on flush or stop flag, drop a bad packet with failure, keep 8192 bytes free
    kOcuview,   // lag counter, leave a packet that does not fit queued, follow picture size changes
};

using vello::ReportFn;

struct DecoderConfig {
    HostVariant variant = HostVariant::kReeldeck;
    std::size_t streamCapacity = 131072;
    // The largest picture the frame store may be made for: the hosts' display buffers hold 640 x 480.
    int maxWidth = 640;
    int maxHeight = 480;
    ReportFn report;  // empty: messages are not emitted (Reeldeck's host passes reeldeck::LogText)
};

// Reeldeck: 128 KiB buffer; its host sets `report` to its report channel.
DecoderConfig ReeldeckConfig();
// Ocuview: 512 KiB buffer, no messages, statuses only.
DecoderConfig OcuviewConfig();

// One of the two pictures of the store. The planes carry a border of 16 luma and 8 chroma samples;
// `origin` points at each plane's first picture sample.
struct PictureRecord {
    Lum8u* plane[3] = {};
    int step[3] = {};
    Lum8u* origin[3] = {};
    int timeIncrement = 0;
    std::uint64_t serial = 0;  // 0: nothing decoded into it yet
};

// A picture handed to the host: the record's planes and the picture size.
struct Picture {
    const Lum8u* origin[3];
    int step[3];
    int width;
    int height;
    int timeIncrement;
};

// The host's side of the decoding loop.
class Display {
  public:
    virtual ~Display();
    // The size the host shows pictures at.
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Shows one picture. Runs on the decoding thread; the planes stay valid until the next VOP is decoded.
    virtual void Deliver(const Picture& picture) = 0;
    // An error code for the host's own reporting (77, 63).
    virtual void NotifyError(int code);
    // Before each VOP header is parsed: the buffered bytes from the read position on (camera records).
    virtual void ReadSideInfo(const std::uint8_t* data, std::size_t size);
    // True when the host asks the loop to end after the current picture.
    virtual bool StopRequested();
    // Ocuview: the picture size changed and the decoder reopened; rebuild the surface. False: give up.
    virtual bool Resize(int width, int height);
};

// The BGR row step the hosts use for a picture `width` samples wide: (width * 3 + 3) rounded down to 4.
constexpr int BgrStep(int width) {
    return (width * 3 + 3) & ~3;
}

// Converts a delivered picture into a top-down 24-bit BGR buffer of `width` x `height` with `dstStep`.
LumStatus PictureToBgr(const Picture& picture, Lum8u* dst, int dstStep, int width, int height);

struct VopHeader {
    int vop_coding_type = 0;  // 0 I, 1 P, 2 B, 3 S
    int modulo_time_base = 0;
    int vop_time_increment = 0;
    int vop_coded = 0;
    int vop_rounding_type = 0;
    int vop_reduced_resolution = 0;
    int complexity_values[24] = {};
    int intra_dc_vlc_thr = 0;
    int vop_quant = 0;
    int vop_fcode_forward = 0;
    int vop_fcode_backward = 0;
};

struct DecoderStats {
    std::uint64_t vops = 0;
    std::uint64_t vopsByType[4] = {};  // I, P, B, S
    std::uint64_t vopsNotCoded = 0;
    std::uint64_t picturesDelivered = 0;
    std::uint64_t vopErrors = 0;  // VOPs ended early by a macroblock-layer error
    // What the decoded macroblock layer used, so tests can tell which tools a stream exercised.
    std::uint64_t videoPackets = 0;
    std::uint64_t notCodedMacroblocks = 0;
    std::uint64_t fourVectorMacroblocks = 0;
    std::uint64_t intraMacroblocksInP = 0;
    std::uint64_t quantiserChanges = 0;
    int maxFcodeForward = 0;
    int minQuant = 0;  // of the running quantiser over all coded macroblocks (0: none yet)
    int maxQuant = 0;
};

class Mpeg4Decoder {
  public:
    // `source` must outlive the decoder.
    Mpeg4Decoder(const DecoderConfig& config, PacketSource* source);
    ~Mpeg4Decoder();
    Mpeg4Decoder(const Mpeg4Decoder&) = delete;
    Mpeg4Decoder& operator=(const Mpeg4Decoder&) = delete;

    Mpeg4Status OpenDecoder();
    Mpeg4Status DecodeStream(Display& display);
    void CloseDecoder();

    // The picture size of the frame store (0 before OpenDecoder succeeded).
    int Width() const { return storeWidth_; }
    int Height() const { return storeHeight_; }
    const VisualObjectHeader& VisualObject() const { return vo_; }
    const VolHeader& Vol() const { return vol_; }
    const VopHeader& Vop() const { return vop_; }
    const DecoderStats& Stats() const { return stats_; }
    // Ocuview's display thinning reads it: down 10 per refill wait step, up 1 per packet (-1000..1000).
    int LagCounter() const { return lag_; }

    // The stream buffer, for the decoder's own parts and for tests of the reader.
    StreamBuffer& Stream() { return stream_; }
    // Refill: moves the unread bytes to the buffer start and appends packets by the host's rules.
    // True when the buffer holds what could be fetched, false when nothing could be fetched.
    [[nodiscard]] bool Refill();

  private:
    // mp4stream.cpp
    [[nodiscard]] bool RefillReeldeck(std::size_t* appended);
    [[nodiscard]] bool RefillOcuview(std::size_t* appended);
    bool AppendPacket(const PacketView& packet, bool* startsPicture);
    bool NextStartCode();
    bool NextStartCodeOrShortHeader();
    bool SeekStartCode(int value);
    bool ScanForStartCode(bool shortHeaderToo);
    bool RefillForSearch();
    bool MarkerBit(int line);
    void RereadVolSize();

    // mp4parse.cpp
    Mpeg4Status ParseVop();
    enum class [[nodiscard]] PacketHeader{kNone, kFound, kBrokenMarker};
    PacketHeader ParseVideoPacketHeader(int markerLength, int macroblockNumberBits, int* quantScale);
    Mpeg4Status ParseHeadersAndAllocate();

    // mp4dec.cpp
    Mpeg4Status AllocateFrameStore();
    void ReleaseFrameStore();
    void DeliverPicture(Display& display, PictureRecord& record);
    bool SizeMatches(const Display& display) const;

    // mp4decvop.cpp
    Mpeg4Status DecodeVop();
    Mpeg4Status DecodeIVop();
    Mpeg4Status DecodePVop();
    template <bool kPredicted>
    Mpeg4Status DecodeMacroblocks();
    void ResetPredictionStores();
    void BeginVop();
    void StartPredictionRow();
    void EndPredictionRow();
    void MarkNonIntraPrediction(int mbx);
    Mpeg4Status DecodeIntraMacroblock(int mbx, int mby, int cbp, bool acPred, int quantBeforeChange);
    Mpeg4Status DecodeInterMacroblock(int mbx, int mby, int mbType, int cbp, int packetStart);
    void ApplyDquant(int dquant);  // the 2-bit DQUANT code
    Mpeg4Status CheckVideoPacket(int* packetStart, int nextMb);
    // Bits of the resync marker of this VOP's video packets (its fcode can change within a P-VOP).
    int PacketMarkerLength() const { return vop_.vop_coding_type == 0 ? 17 : 16 + vop_.vop_fcode_forward; }
    void NoteQuant();

    DecoderConfig config_;
    PacketSource* source_;
    StreamBuffer stream_;

    VisualObjectHeader vo_;
    VolHeader vol_;
    VopHeader vop_;
    DecoderStats stats_;
    bool sawVisualObject_ = false;
    int lag_ = 0;

    // Frame store, from OpenDecoder to CloseDecoder.
    int storeWidth_ = 0;
    int storeHeight_ = 0;
    int mbWidth_ = 0;
    int mbHeight_ = 0;
    int mbNumberBits_ = 1;
    PictureRecord pictures_[2];
    PictureRecord* current_ = nullptr;
    PictureRecord* reference_ = nullptr;
    PictureRecord* output_ = nullptr;
    std::uint64_t nextSerial_ = 1;
    std::uint64_t lastDeliveredSerial_ = 0;
    bool decodedAny_ = false;

    // The frame store's Lumacore memory. The picture records' plane pointers view planeMemory_[i] for
    // pictures_[i]; the records are swapped by pointer, the memory never moves.
    LumBuffer<Lum8u> planeMemory_[2][3];
    // Per macroblock: four vectors in half samples.
    LumBuffer<LumMotionVector> mvs_;
    // Intra DC/AC prediction stores (-1 DC marks a missing intra neighbour). Row stores: 8 entries per
    // 8-sample block column after one leading macroblock's worth of entries standing for the column left
    // of the picture; left stores: the left neighbour's first column and the corner DC.
    LumBuffer<Lum16s> rowY_;   // 16 + 16 * MBW
    LumBuffer<Lum16s> rowCb_;  // 8 + 8 * MBW
    LumBuffer<Lum16s> rowCr_;
    LumBuffer<Lum16s> leftY_;   // 16: top block row, then bottom block row
    LumBuffer<Lum16s> leftCb_;  // 8
    LumBuffer<Lum16s> leftCr_;
    LumBuffer<Lum8u> quantAbove_;  // quantiser each macroblock of the row above used
    LumBuffer<Lum16s> residual_;   // 64 coefficients of one inter block
    int quantLeft_ = 0;

    // The VOP being decoded.
    int quant_ = 1;
    bool firstCodedInPacket_ = true;  // no coded macroblock yet in this VOP or video packet
    const Lum8u* intraMatrix_ = nullptr;
    const Lum8u* interMatrix_ = nullptr;
    LumiRect lumaRect_{};  // the padded references vectors are limited to
    LumiRect chromaRect_{};
};

}  // namespace vello::mpeg4

#endif
