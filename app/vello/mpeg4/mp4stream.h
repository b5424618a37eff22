// The MPEG-4 decoder's stream side: where its bytes come from (a host's packet queue behind
// `PacketSource`), the stream buffer they are gathered in, and the bit reader over that buffer.
#ifndef VELLO_MPEG4_MP4STREAM_H
#define VELLO_MPEG4_MP4STREAM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "lumacore/lumacore.h"
#include "platform/input_file.h"
#include "vello/common/lum_memory.h"
#include "vello/mpeg4/bit_reader.h"

namespace vello::mpeg4 {

// The oldest packet of a host's video queue, as seen by the decoding thread.
struct PacketView {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    bool intact = true;  // false when the packet failed its host's self-check
};

// The host's video packet queue as the decoder's `Refill` sees it. Reeldeck and Ocuview implement it over
// their own queues and locks; every call is made from the decoding thread, and each implementation takes
// its queue's lock inside the call for as long as the call needs it (never across calls).
class PacketSource {
  public:
    virtual ~PacketSource();

    // Packets queued now. A snapshot: the producer may add more at any time.
    virtual std::size_t QueuedPackets() = 0;
    // Looks at the oldest packet without taking it off the queue; false when the queue is empty. The
    // view stays valid until `DropOldest`, since only the decoding thread removes packets.
    virtual bool PeekOldest(PacketView* packet) = 0;
    // Takes the oldest packet off the queue and releases it.
    virtual void DropOldest() = 0;
    // True when the decoding thread must stop: its stop flag, or Reeldeck's flush request.
    virtual bool StopRequested() = 0;
    // True once nothing more will be queued: Reeldeck's `VideoEnd`, Ocuview's session end.
    virtual bool EndOfData() = 0;
    // One wait step while too few packets are queued: 1 ms.
    virtual void WaitStep();
    // Bytes the decoder consumed since the previous refill (Reeldeck keeps its shared position with it).
    virtual void Consumed(std::size_t bytes);
};

// A whole stream held in memory, queued as packets of at most `packetSize` bytes, all queued from the
// start. For tools, tests and fuzzing.
class MemoryPacketSource : public PacketSource {
  public:
    MemoryPacketSource(const std::uint8_t* data, std::size_t size, std::size_t packetSize = 8192);

    std::size_t QueuedPackets() override;
    bool PeekOldest(PacketView* packet) override;
    void DropOldest() override;
    bool StopRequested() override { return false; }
    bool EndOfData() override { return true; }
    void WaitStep() override {}

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t packetSize_;
    std::size_t offset_ = 0;
};

// A stream file (a regular file) read in packets of at most `packetSize` bytes as the decoder asks for
// them. A read error ends the data early; Error() then says why.
class FilePacketSource : public PacketSource {
  public:
    explicit FilePacketSource(std::size_t packetSize = 8192) : packetSize_(packetSize) {}

    // False with Error() set when the path is no readable regular file.
    bool Open(const std::string& path);
    const std::string& Error() const { return file_.Error(); }

    std::size_t QueuedPackets() override;
    bool PeekOldest(PacketView* packet) override;
    void DropOldest() override;
    bool StopRequested() override { return false; }
    bool EndOfData() override { return true; }
    void WaitStep() override {}

  private:
    bool ReadNext();

    platform::InputFile file_;
    std::size_t packetSize_;
    std::vector<std::uint8_t> packet_;
    bool havePacket_ = false;
    bool eof_ = false;
};

// The stream buffer and its bit reader. `capacity` bytes of stream data are followed by `kPadding` bytes
// that are kept zero, so that a block primitive (which reads from a byte position without a length) that
// runs off the end of the data meets zeros and stops with a code error instead of reading past the
// allocation. The reader's own operations never look beyond the padding either: past the filled data
// they see zeros. The buffer owns its Lumacore memory: it moves, it is never copied.
struct StreamBuffer {
    static constexpr std::size_t kPadding = 512;

    StreamBuffer() = default;
    StreamBuffer(StreamBuffer&&) noexcept = default;
    StreamBuffer& operator=(StreamBuffer&&) noexcept = default;
    StreamBuffer(const StreamBuffer&) = delete;
    StreamBuffer& operator=(const StreamBuffer&) = delete;
    ~StreamBuffer() = default;

    LumBuffer<Lum8u> storage;  // capacity + kPadding bytes; `base` points into it
    Lum8u* base = nullptr;
    std::size_t capacity = 0;  // bytes of stream data it can hold
    std::size_t filled = 0;    // bytes of stream data held, from `base`
    const Lum8u* pos = nullptr;
    int bitOffset = 0;  // bits of *pos already read, from the most significant (0..7)

    bool Allocate(std::size_t bytes);
    void Release();

    const Lum8u* End() const { return base + filled; }
    std::size_t Free() const { return capacity - filled; }
    // Bytes from the current byte to the end of the data (0 when the position is past it).
    std::size_t Unread() const { return pos < End() ? static_cast<std::size_t>(End() - pos) : 0; }
    // True when the position has run beyond the data held.
    bool PastEnd() const { return pos > End() || (pos == End() && bitOffset > 0); }
    // Zeroes the padding after the data; called whenever `filled` changes.
    void ClearPadding();

    // The position in bits from `base`.
    std::size_t BitPosition() const {
        return static_cast<std::size_t>(pos - base) * 8 + static_cast<std::size_t>(bitOffset);
    }
    // A reader over the data held, at the current position (the header module reads through it), and
    // the way back: the position the reader reached becomes the buffer's.
    BitReader Reader() const { return BitReader(base, filled, BitPosition()); }
    void MoveTo(const BitReader& reader);

    // n from 1 to 32; bits beyond the data read as 0.
    std::uint32_t PeekBits(int n) const { return PeekBitsAt(pos, End(), bitOffset, n); }
    void SkipBits(int n) {
        const int bits = bitOffset + n;
        pos += bits >> 3;
        bitOffset = bits & 7;
        // Past the data everything reads as 0; keep the position in the zero padding.
        if (pos > End() + 8) {
            pos = End() + 8;
            bitOffset = 0;
        }
    }
    std::uint32_t GetBits(int n) {
        const std::uint32_t v = PeekBits(n);
        SkipBits(n);
        return v;
    }
    // To the next byte boundary; on a boundary, steps over one stuffing byte 0x7F.
    void ByteAlign();
    // True when what follows is the stuffing before a resync marker (a 0 and then 1s up to the byte
    // boundary, or a whole 0x7F on a boundary) followed by `length` bits 0...01.
    bool ResyncMarkerAhead(int length) const { return ResyncMarkerIn(PeekBits(32), length); }
    // The same test on `next32`, what PeekBits(32) answers at the current position.
    bool ResyncMarkerIn(std::uint32_t next32, int length) const {
        const int stuffing = 8 - bitOffset;
        const std::uint32_t ones = (1u << (stuffing - 1)) - 1;
        const int total = stuffing + length;
        if (total > 32) return false;
        const std::uint32_t expected = (ones << length) | 1u;
        return (next32 >> (32 - total)) == expected;
    }
};

}  // namespace vello::mpeg4

#endif
