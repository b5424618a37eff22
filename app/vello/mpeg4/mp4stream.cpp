// The stream buffer, its bit reader, the start-code searches and the refill from the host's packet queue.
#include "vello/mpeg4/mp4stream.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "vello/mpeg4/mp4dec.h"
#include "vello/mpeg4/start_code.h"

namespace vello::mpeg4 {

namespace {

// Reeldeck keeps room for one maximum-size packet (8192 payload bytes) before it appends.
constexpr std::size_t kReeldeckMinFree = 8192;
constexpr std::size_t kReeldeckMaxPacket = 8192;
constexpr int kLagMin = -1000;
constexpr int kLagMax = 1000;

// True when the packet holds a user-data or VOP start code, which begins the next picture's data.
bool HoldsPictureStart(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t* const end = data + size;
    for (const std::uint8_t* p = FindStartCode(data, end); p != end; p = FindStartCode(p + 1, end)) {
        if (p[3] == kUserDataStartCode || p[3] == kVopStartCode) return true;
    }
    return false;
}

}  // namespace

// ---- Packet sources ----

PacketSource::~PacketSource() = default;
void PacketSource::WaitStep() {
    platform::SleepMs(1);
}
void PacketSource::Consumed(std::size_t /*bytes*/) {}

MemoryPacketSource::MemoryPacketSource(const std::uint8_t* data, std::size_t size, std::size_t packetSize)
    : data_(data), size_(size), packetSize_(packetSize == 0 ? 1 : packetSize) {}

std::size_t MemoryPacketSource::QueuedPackets() {
    const std::size_t left = size_ - offset_;
    return (left + packetSize_ - 1) / packetSize_;
}

bool MemoryPacketSource::PeekOldest(PacketView* packet) {
    if (offset_ >= size_) return false;
    packet->data = data_ + offset_;
    packet->size = std::min(packetSize_, size_ - offset_);
    packet->intact = true;
    return true;
}

void MemoryPacketSource::DropOldest() {
    if (offset_ < size_) offset_ += std::min(packetSize_, size_ - offset_);
}

bool FilePacketSource::Open(const std::string& path) {
    havePacket_ = false;
    eof_ = file_.Open(path) != platform::FileStatus::kOk;
    return !eof_;
}

bool FilePacketSource::ReadNext() {
    if (havePacket_) return true;
    if (eof_) return false;
    packet_.resize(packetSize_);
    // Fills the packet unless the file ends (or fails) first.
    std::size_t got = 0, piece = 0;
    while (got < packetSize_ &&
           file_.Read(packet_.data() + got, packetSize_ - got, &piece) == platform::FileStatus::kOk &&
           piece > 0)
        got += piece;
    if (got < packetSize_) eof_ = true;
    packet_.resize(got);
    havePacket_ = got > 0;
    return havePacket_;
}

std::size_t FilePacketSource::QueuedPackets() {
    if (!ReadNext()) return 0;
    return eof_ ? 1 : 2;  // at least this one and, the file not being at its end, one more
}

bool FilePacketSource::PeekOldest(PacketView* packet) {
    if (!ReadNext()) return false;
    packet->data = packet_.data();
    packet->size = packet_.size();
    packet->intact = true;
    return true;
}

void FilePacketSource::DropOldest() {
    havePacket_ = false;
}

// ---- Stream buffer and bit reader ----

bool StreamBuffer::Allocate(std::size_t bytes) {
    Release();
    if (bytes == 0 || bytes + kPadding > 0x7FFFFFFF) return false;
    if (!storage.Allocate(static_cast<std::int64_t>(bytes + kPadding))) return false;
    base = storage.data();
    capacity = bytes;
    filled = 0;
    pos = base;
    bitOffset = 0;
    ClearPadding();
    return true;
}

void StreamBuffer::Release() {
    storage.Release();
    base = nullptr;
    capacity = 0;
    filled = 0;
    pos = nullptr;
    bitOffset = 0;
}

void StreamBuffer::ClearPadding() {
    if (base != nullptr) std::memset(base + filled, 0, kPadding);
}

void StreamBuffer::MoveTo(const BitReader& reader) {
    // Past the data the position stops in the zero padding, as SkipBits keeps it.
    const std::size_t bits = std::min(reader.BitPosition(), (filled + 8) * 8);
    pos = base + bits / 8;
    bitOffset = static_cast<int>(bits & 7);
}

void StreamBuffer::ByteAlign() {
    if (bitOffset != 0) {
        ++pos;
        bitOffset = 0;
    } else if (pos < End() && *pos == 0x7F) {
        ++pos;
    }
}

// ---- Refill ----

bool Mpeg4Decoder::Refill() {
    std::size_t appended = 0;
    return config_.variant == HostVariant::kReeldeck ? RefillReeldeck(&appended) : RefillOcuview(&appended);
}

bool Mpeg4Decoder::AppendPacket(const PacketView& packet, bool* startsPicture) {
    if (packet.size > stream_.Free()) return false;
    *startsPicture = HoldsPictureStart(packet.data, packet.size);
    std::memcpy(stream_.base + stream_.filled, packet.data, packet.size);
    stream_.filled += packet.size;
    return true;
}

namespace {

// The start of both hosts' refills: moves the unread bytes to the start of the buffer and reports the
// bytes consumed before them to the source. False when the buffer was never allocated.
bool StartRefill(StreamBuffer& s, PacketSource& source) {
    if (s.base == nullptr) return false;
    const Lum8u* end = s.End();
    const Lum8u* from = s.pos > end ? end : s.pos;
    const std::size_t consumed = static_cast<std::size_t>(from - s.base);
    const std::size_t unread = static_cast<std::size_t>(end - from);
    if (consumed > 0) std::memmove(s.base, from, unread);
    s.filled = unread;
    if (s.pos > end) s.bitOffset = 0;
    s.pos = s.base;
    if (consumed > 0) source.Consumed(consumed);
    return true;
}

// Zeroes the padding after the data however a refill ends (`filled` changes on every path).
struct PaddingGuard {
    StreamBuffer& s;
    ~PaddingGuard() { s.ClearPadding(); }
};

}  // namespace

bool Mpeg4Decoder::RefillReeldeck(std::size_t* appended) {
    *appended = 0;
    if (!StartRefill(stream_, *source_)) return false;
    const PaddingGuard guard{stream_};

    if (stream_.Free() < kReeldeckMinFree) return true;
    for (;;) {
        if (source_->StopRequested()) return true;
        while (source_->QueuedPackets() < 2 && !source_->EndOfData()) {
            source_->WaitStep();
            if (source_->StopRequested() || stream_.Free() < kReeldeckMinFree) return true;
        }
        PacketView packet;
        if (!source_->PeekOldest(&packet)) return true;  // everything queued has been taken
        if (!packet.intact || packet.size < 1 || packet.size > kReeldeckMaxPacket) {
            source_->DropOldest();
            return false;
        }
        const bool heldData = stream_.filled > 0;
        bool startsPicture = false;
        AppendPacket(packet, &startsPicture);  // fits: at least 8192 bytes are free here
        source_->DropOldest();
        *appended += packet.size;
        if (startsPicture && heldData) return true;
        if (stream_.Free() < kReeldeckMinFree) return true;
    }
}

bool Mpeg4Decoder::RefillOcuview(std::size_t* appended) {
    *appended = 0;
    if (!StartRefill(stream_, *source_)) return false;
    const PaddingGuard guard{stream_};

    for (;;) {
        if (source_->StopRequested()) return true;
        while (source_->QueuedPackets() < 2) {
            if (source_->EndOfData()) {
                if (source_->QueuedPackets() > 0) break;  // take what is left
                // Over: a failure only when nothing at all is left to decode.
                return *appended > 0 || stream_.filled > 0;
            }
            source_->WaitStep();
            lag_ = std::max(kLagMin, lag_ - 10);
            if (source_->StopRequested()) return true;
        }
        PacketView packet;
        if (!source_->PeekOldest(&packet)) return *appended > 0 || stream_.filled > 0;
        if (!packet.intact || packet.size == 0 || packet.size > stream_.capacity) {
            // A damaged block, or one that could never fit, is discarded.
            source_->DropOldest();
            continue;
        }
        if (packet.size > stream_.Free()) return true;  // stays queued for the next refill
        const bool heldData = stream_.filled > 0;
        bool startsPicture = false;
        AppendPacket(packet, &startsPicture);
        source_->DropOldest();
        *appended += packet.size;
        lag_ = std::min(kLagMax, lag_ + 1);
        if (startsPicture && heldData) return true;
    }
}

// ---- Start-code searches ----

bool Mpeg4Decoder::RefillForSearch() {
    std::size_t appended = 0;
    const bool ok =
        config_.variant == HostVariant::kReeldeck ? RefillReeldeck(&appended) : RefillOcuview(&appended);
    // A refill that brought nothing new would make the search repeat forever.
    return ok && appended > 0;
}

bool Mpeg4Decoder::ScanForStartCode(bool shortHeaderToo) {
    if (stream_.base == nullptr) return false;
    if (stream_.bitOffset != 0) {
        ++stream_.pos;
        stream_.bitOffset = 0;
    }
    for (;;) {
        if (stream_.pos > stream_.End()) stream_.pos = stream_.End();
        const Lum8u* end = stream_.End();
        // A start code counts only with its value byte buffered (four bytes); the short-video marker
        // needs its three.
        const Lum8u* p =
            shortHeaderToo ? FindStartCodeOrShortHeader(stream_.pos, end) : FindStartCode(stream_.pos, end);
        if (p != end) {
            stream_.pos = p[2] == 1 ? p + 3 : p;
            return true;
        }
        // Keep the last three bytes: a prefix may continue in the next packet.
        stream_.pos = stream_.filled >= 3 ? end - 3 : stream_.base;
        if (!RefillForSearch()) return false;
    }
}

bool Mpeg4Decoder::NextStartCode() {
    return ScanForStartCode(false);
}

bool Mpeg4Decoder::NextStartCodeOrShortHeader() {
    return ScanForStartCode(true);
}

bool Mpeg4Decoder::SeekStartCode(int value) {
    for (;;) {
        if (!NextStartCode()) return false;
        const int found = static_cast<int>(stream_.PeekBits(8));
        if (found >= 0x20 && found <= 0x2F) RereadVolSize();
        if (found == value) {
            stream_.SkipBits(8);
            return true;
        }
    }
}

void Mpeg4Decoder::RereadVolSize() {
    // A VOL met between pictures: its fields up to the picture size, read as the full parse reads them
    // but silently; the size is taken when they are all in place. The search's own position (on the
    // start-code value, after the 3-byte prefix) is left as it was.
    BitReader bits(stream_.base, stream_.filled, stream_.BitPosition() - 24);
    VolHeader vol;
    if (ParseVolUpToSize(bits, vol, {}) != Mpeg4Status::kOk) return;
    vol_.video_object_layer_width = vol.video_object_layer_width;
    vol_.video_object_layer_height = vol.video_object_layer_height;
}

}  // namespace vello::mpeg4
