// Mpeg4Decoder: opening (headers and frame store), the per-VOP decoding loop, picture delivery, closing.
#include "vello/mpeg4/mp4dec.h"

#include <algorithm>
#include <bit>
#include <string>
#include <utility>

#include "platform/debug_output.h"
#include "vello/mpeg4/start_code.h"

namespace vello::mpeg4 {

namespace {

// Extra bytes after each plane: vector loads of the motion compensation may read a little past the
// last sample of a row, and the last row has no next row to read into.
constexpr int kPlaneSlack = 64;

}  // namespace

DecoderConfig ReeldeckConfig() {
    DecoderConfig c;
    c.variant = HostVariant::kReeldeck;
    c.streamCapacity = 131072;
    return c;
}

DecoderConfig OcuviewConfig() {
    DecoderConfig c;
    c.variant = HostVariant::kOcuview;
    c.streamCapacity = 524288;
    return c;
}

Display::~Display() = default;
void Display::NotifyError(int /*code*/) {}
void Display::ReadSideInfo(const std::uint8_t* /*data*/, std::size_t /*size*/) {}
bool Display::StopRequested() {
    return false;
}
bool Display::Resize(int /*width*/, int /*height*/) {
    return true;
}

LumStatus PictureToBgr(const Picture& picture, Lum8u* dst, int dstStep, int width, int height) {
    const Lum8u* const planes[3] = {picture.origin[0], picture.origin[1], picture.origin[2]};
    return lumiYCbCr420ToBGR_8u_P3C3R(planes, picture.step, dst, dstStep, LumiSize{width, height});
}

Mpeg4Decoder::Mpeg4Decoder(const DecoderConfig& config, PacketSource* source)
    : config_(config), source_(source) {}

Mpeg4Decoder::~Mpeg4Decoder() {
    CloseDecoder();
}

Mpeg4Status Mpeg4Decoder::OpenDecoder() {
    CloseDecoder();
    vo_ = VisualObjectHeader{};
    vol_ = VolHeader{};
    vop_ = VopHeader{};
    stats_ = DecoderStats{};
    sawVisualObject_ = false;
    lag_ = 0;
    nextSerial_ = 1;
    lastDeliveredSerial_ = 0;

    if (source_ == nullptr || !stream_.Allocate(config_.streamCapacity)) {
        VELLO_REPORT(config_.report, "Error: No memory to allocate buffer for MPEG-4 bitstream.");
        return Mpeg4Status::kNoMemory;
    }
    if (!Refill()) {
        VELLO_REPORT(config_.report, "Error: reading MPEG-4 bitstream file.");
        return Mpeg4Status::kStreamError;
    }
    return ParseHeadersAndAllocate();
}

void Mpeg4Decoder::CloseDecoder() {
    ReleaseFrameStore();
    stream_.Release();
}

Mpeg4Status Mpeg4Decoder::AllocateFrameStore() {
    ReleaseFrameStore();
    const int w = vol_.video_object_layer_width;
    const int h = vol_.video_object_layer_height;
    storeWidth_ = w;
    storeHeight_ = h;
    mbWidth_ = (w + 15) / 16;
    mbHeight_ = (h + 15) / 16;
    const int mbCount = mbWidth_ * mbHeight_;
    mbNumberBits_ = std::max(1, static_cast<int>(std::bit_width(static_cast<unsigned>(mbCount - 1))));

    // The planes hold whole macroblocks plus the border: the last macroblock column and row are decoded
    // in full, and the border is expanded from them (see DecodeVop). For the cameras' sizes, multiples of
    // 16, this is the picture itself.
    const int lumaStep = 16 * mbWidth_ + 32;
    const int chromaStep = 8 * mbWidth_ + 16;
    const int lumaRows = 16 * mbHeight_ + 32;
    const int chromaRows = 8 * mbHeight_ + 16;
    for (int i = 0; i < 2; ++i) {
        PictureRecord& p = pictures_[i];
        const int steps[3] = {lumaStep, chromaStep, chromaStep};
        const int rows[3] = {lumaRows, chromaRows, chromaRows};
        const int border[3] = {16, 8, 8};
        for (int c = 0; c < 3; ++c) {
            const int bytes = steps[c] * rows[c] + kPlaneSlack;
            // Mid grey, so that a P-VOP without a decoded reference predicts from something defined.
            if (!planeMemory_[i][c].Allocate(bytes, 128)) return Mpeg4Status::kNoMemory;
            p.plane[c] = planeMemory_[i][c].data();
            p.step[c] = steps[c];
            p.origin[c] = p.plane[c] + border[c] * steps[c] + border[c];
        }
        p.timeIncrement = 0;
        p.serial = 0;
    }
    current_ = &pictures_[0];
    reference_ = &pictures_[1];
    output_ = nullptr;
    decodedAny_ = false;

    const bool allocated = mvs_.Allocate(4 * mbCount) && rowY_.Allocate(16 + 16 * mbWidth_) &&
                           rowCb_.Allocate(8 + 8 * mbWidth_) && rowCr_.Allocate(8 + 8 * mbWidth_) &&
                           leftY_.Allocate(16) && leftCb_.Allocate(8) && leftCr_.Allocate(8) &&
                           quantAbove_.Allocate(mbWidth_ + 1) && residual_.Allocate(64);
    if (!allocated) return Mpeg4Status::kNoMemory;
    return Mpeg4Status::kOk;
}

void Mpeg4Decoder::ReleaseFrameStore() {
    for (int i = 0; i < 2; ++i) {
        for (LumBuffer<Lum8u>& plane : planeMemory_[i]) plane.Release();
        pictures_[i] = PictureRecord{};
    }
    current_ = nullptr;
    reference_ = nullptr;
    output_ = nullptr;
    decodedAny_ = false;
    mvs_.Release();
    rowY_.Release();
    rowCb_.Release();
    rowCr_.Release();
    leftY_.Release();
    leftCb_.Release();
    leftCr_.Release();
    quantAbove_.Release();
    residual_.Release();
    storeWidth_ = 0;
    storeHeight_ = 0;
    mbWidth_ = 0;
    mbHeight_ = 0;
}

void Mpeg4Decoder::DeliverPicture(Display& display, PictureRecord& record) {
    // Each decoded picture is shown once: 0 marks a record nothing was decoded into.
    if (record.serial == 0 || record.serial <= lastDeliveredSerial_) return;
    Picture picture{};
    for (int c = 0; c < 3; ++c) {
        picture.origin[c] = record.origin[c];
        picture.step[c] = record.step[c];
    }
    picture.width = storeWidth_;
    picture.height = storeHeight_;
    picture.timeIncrement = record.timeIncrement;
    lastDeliveredSerial_ = record.serial;
    ++stats_.picturesDelivered;
    display.Deliver(picture);
}

bool Mpeg4Decoder::SizeMatches(const Display& display) const {
    return vol_.video_object_layer_width == storeWidth_ && vol_.video_object_layer_height == storeHeight_ &&
           display.Width() == storeWidth_ && display.Height() == storeHeight_;
}

Mpeg4Status Mpeg4Decoder::DecodeStream(Display& display) {
    if (stream_.base == nullptr || current_ == nullptr) return Mpeg4Status::kStreamError;
    if (!SeekStartCode(kVopStartCode)) {
        VELLO_REPORT(config_.report, "Error: Failed seeking VOP Start Code.");
        display.NotifyError(kHostErrorNoVop);
        return Mpeg4Status::kStreamError;
    }
    for (;;) {
        if (!Refill()) {
            display.NotifyError(kHostErrorReadFailed);
            return Mpeg4Status::kStreamError;
        }
        display.ReadSideInfo(stream_.pos, stream_.Unread());
        const Mpeg4Status status = ParseVop();
        if (status != Mpeg4Status::kOk) {
            // A header that ran past the end of a stream that has ended is the last VOP cut short, as
            // a cut in its data would be: a damaged VOP at the end, not a broken stream.
            if (!stream_.PastEnd() || !source_->EndOfData() || source_->QueuedPackets() != 0) return status;
            ++stats_.vopErrors;
            if (current_ != nullptr) DeliverPicture(display, *current_);
            return Mpeg4Status::kOk;
        }

        // Is there another start code in the buffered data? If not, and the host has nothing more queued
        // either, this is the last VOP for now. (A VOP larger than the buffer has no start code after it
        // in the buffer, but the stream goes on behind it.)
        const bool last = source_->EndOfData() && source_->QueuedPackets() == 0 &&
                          FindStartCode(stream_.pos, stream_.End()) == stream_.End();

        // The size is checked before the VOP is decoded: a picture of another size must not be
        // decoded into this frame store, nor a store handed to a display of another size.
        if (!SizeMatches(display)) {
            // The last picture of the old size is complete: show it before the store goes (if the
            // display still has the store's size).
            if (current_ != nullptr && display.Width() == storeWidth_ && display.Height() == storeHeight_) {
                DeliverPicture(display, *current_);
            }
            if (config_.variant == HostVariant::kReeldeck) {
                VELLO_REPORT(config_.report, "Error: Screen Size Changed.");
                display.NotifyError(kHostErrorNoVop);
                return Mpeg4Status::kSizeChanged;
            }
            platform::DebugOutput("Image size changed\n");
            ReleaseFrameStore();
            if (ParseHeadersAndAllocate() != Mpeg4Status::kOk) {
                ReleaseFrameStore();
                return Mpeg4Status::kSizeChanged;
            }
            if (!display.Resize(storeWidth_, storeHeight_)) return Mpeg4Status::kSizeChanged;
        } else {
            // A macroblock-layer error ends only this VOP: the loop goes on with the next one.
            if (DecodeVop() != Mpeg4Status::kOk) ++stats_.vopErrors;
            if (output_ != nullptr) DeliverPicture(display, *output_);
            if (last) {
                DeliverPicture(display, *current_);
                return Mpeg4Status::kOk;
            }
        }
        if (display.StopRequested()) return Mpeg4Status::kOk;
        if (!SeekStartCode(kVopStartCode)) {
            // The data ran out after the last VOP (trailing headers or an end code): show what is
            // still pending and end normally.
            if (current_ != nullptr) DeliverPicture(display, *current_);
            return Mpeg4Status::kOk;
        }
    }
}

}  // namespace vello::mpeg4
