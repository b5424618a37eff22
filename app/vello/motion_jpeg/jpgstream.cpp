#include "vello/motion_jpeg/jpgstream.h"

#include <cstring>
#include <string_view>

namespace vello {

namespace {

constexpr std::string_view kDataLen = "DataLen: ";
constexpr std::size_t kDigits = 8;
// "DataLen: " and its eight digits (and the byte after them) must be buffered.
constexpr std::size_t kDataLenRoom = 17;

// Position of the two-byte marker FF `code` in [from, end), or npos.
std::size_t FindMarker(const uint8_t* data, std::size_t from, std::size_t end, uint8_t code) {
    for (std::size_t i = from; i + 1 < end; ++i)
        if (data[i] == 0xFF && data[i + 1] == code) return i;
    return std::string_view::npos;
}

std::size_t FindText(const uint8_t* data, std::size_t from, std::size_t end, std::string_view text) {
    for (std::size_t i = from; i + text.size() <= end; ++i)
        if (std::memcmp(data + i, text.data(), text.size()) == 0) return i;
    return std::string_view::npos;
}

}  // namespace

bool JpegStreamReader::Allocate() {
    if (buffer_.empty() && !buffer_.Allocate(static_cast<std::int64_t>(kCapacity))) return false;
    Clear();
    return true;
}

void JpegStreamReader::Clear() {
    filled_ = read_ = reported_ = 0;
    stuck_ = false;
}

bool JpegStreamReader::Refill() {
    if (buffer_.empty()) return false;
    uint8_t* data = buffer_.data();
    if (reported_ > 0) {
        source_->Consumed(reported_);
        reported_ = 0;
    }
    if (read_ > 0) {
        std::memmove(data, data + read_, filled_ - read_);
        filled_ -= read_;
        read_ = 0;
    }
    mpeg4::PacketView packet;
    if (!source_->PeekOldest(&packet)) {
        stuck_ = false;
        source_->WaitStep();
        return true;
    }
    if (!packet.intact || packet.size < 1) {
        source_->DropOldest();
        return false;
    }
    // A packet that does not fit stays queued; with nothing left to move out of the way the buffer is
    // stuck, which the extraction reports as an invalid stream instead of waiting forever.
    stuck_ = packet.size > kCapacity - filled_;
    if (stuck_) return true;
    std::memcpy(data + filled_, packet.data, packet.size);
    filled_ += packet.size;
    source_->DropOldest();
    return true;
}

JpegStreamReader::Extract JpegStreamReader::ExtractImage(uint8_t* out, std::size_t* length) {
    *length = 0;
    uint8_t* data = buffer_.data();
    // More data can still come while the source has packets or has not ended; a buffer that is full
    // cannot take any more.
    const bool moreCanCome = !(source_->EndOfData() && source_->QueuedPackets() == 0);
    const bool full = stuck_ && read_ == 0;
    auto needData = [&] {
        if (full) return Extract::kInvalid;
        return moreCanCome ? Extract::kNeedData : Extract::kEndOfData;
    };
    if (data == nullptr || read_ >= filled_) return needData();

    const std::size_t soi = FindMarker(data, read_, filled_, 0xD8);
    if (soi == std::string_view::npos) {
        // Nothing here can start an image; keep a trailing FF that may be the first half of an SOI.
        const std::size_t skipTo = data[filled_ - 1] == 0xFF ? filled_ - 1 : filled_;
        reported_ += skipTo - read_;
        read_ = skipTo;
        return needData();
    }
    // Bytes before the SOI are not part of any image.
    reported_ += soi - read_;
    read_ = soi;
    const std::size_t app2 = FindMarker(data, soi + 2, filled_, 0xE2);
    if (app2 == std::string_view::npos) return needData();
    const std::size_t tag = FindText(data, app2 + 2, filled_, kDataLen);
    if (tag == std::string_view::npos || filled_ - tag < kDataLenRoom + 1) return needData();

    std::size_t imageLength = 0;
    for (std::size_t i = 0; i < kDigits; ++i) {
        const uint8_t c = data[tag + kDataLen.size() + i];
        if (c < '0' || c > '9') return Extract::kInvalid;
        imageLength = imageLength * 10 + (c - '0');
    }
    // A length that can never be satisfied is not worth waiting for: 0, shorter than SOI + EOI, or more
    // than the buffer holds from the image's start.
    if (imageLength < 4 || imageLength > kCapacity) return Extract::kInvalid;
    if (imageLength > filled_ - soi) return needData();
    if (data[soi + imageLength - 2] != 0xFF || data[soi + imageLength - 1] != 0xD9) return Extract::kInvalid;
    std::memcpy(out, data + soi, imageLength);
    reported_ += imageLength;
    read_ = soi + imageLength;
    *length = imageLength;
    return Extract::kImage;
}

}  // namespace vello
