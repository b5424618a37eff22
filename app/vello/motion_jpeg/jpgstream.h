// The Motion JPEG stream reader of Reeldeck's engine: gathers the video packets of a .jpf recording in a
// stream buffer and cuts the complete JPEG images out of it.
//
// Each image starts with SOI (FF D8), carries an APP2 segment (FF E2) whose text holds "DataLen: " and
// eight decimal digits (the image's length from SOI to EOI inclusive), and ends with EOI (FF D9). One
// reader belongs to one decoding thread.
#ifndef VELLO_MOTION_JPEG_JPGSTREAM_H
#define VELLO_MOTION_JPEG_JPGSTREAM_H

#include <cstddef>
#include <cstdint>

#include "vello/common/lum_memory.h"
#include "vello/mpeg4/mp4stream.h"

namespace vello {

class JpegStreamReader {
  public:
    // The stream buffer; an image must fit in it whole.
    static constexpr std::size_t kCapacity = 131072;

    enum class Extract {
        kImage,      // an image was copied out
        kNeedData,   // no complete image is buffered yet: refill and try again
        kEndOfData,  // nothing more is buffered and nothing more will come
        kInvalid,    // the data cannot be an image: no digits after "DataLen: ", a length that cannot
                     // fit the buffer, no EOI where the length says
    };

    // `source` is the host's video queue (the same interface the MPEG-4 decoder reads); it must outlive
    // the reader.
    explicit JpegStreamReader(mpeg4::PacketSource* source) : source_(source) {}

    // Allocates the buffer (once per thread); false when memory ran out.
    bool Allocate();
    // Empties the buffer, for a new run.
    void Clear();

    // Reports the bytes consumed since the last refill to the source, moves the unread rest to the start
    // and appends at most one packet (waiting one step when none is queued). False when the packet failed
    // its check (it is taken off the queue) or the buffer was never allocated.
    [[nodiscard]] bool Refill();

    // Copies the next complete image to `out` (at least kCapacity bytes) and sets `length`.
    Extract ExtractImage(uint8_t* out, std::size_t* length);

    std::size_t Buffered() const { return filled_ - read_; }

  private:
    mpeg4::PacketSource* source_;
    LumBuffer<uint8_t> buffer_;
    std::size_t filled_ = 0;    // bytes held from the buffer start
    std::size_t read_ = 0;      // the read position
    std::size_t reported_ = 0;  // bytes consumed and not yet reported to the source
    bool stuck_ = false;        // the last refill could not fit the oldest packet
};

}  // namespace vello

#endif
