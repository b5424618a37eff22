// The video decoder threads (MovieDecoder for MPEG-4, MotionJpegDecoder for Motion JPEG): their common
// frame, the two decode runs, showing a picture and the pause loop.
#include <algorithm>
#include <cstring>
#include <deque>
#include <utility>

#include "core/report.h"
#include "core/string_table.h"
#include "platform/debug_output.h"
#include "player/player.h"
#include "vello/common/lum_memory.h"
#include "vello/jpeg/jpeg_decoder.h"
#include "vello/motion_jpeg/jpgstream.h"
#include "vello/mpeg4/mp4dec.h"

namespace reeldeck {

namespace {

constexpr uint32_t kMotionJpegStartDelayMs = 10;

}  // namespace

// The video queue as the decoders' packet source.
class Player::VideoSource final : public vello::mpeg4::PacketSource {
  public:
    VideoSource(Player& player, Worker& self) : p_(player), self_(self) {}

    std::size_t QueuedPackets() override { return p_.videoQueue_.Count(); }
    bool PeekOldest(vello::mpeg4::PacketView* view) override {
        DataPacket* packet = p_.videoQueue_.Oldest();
        if (packet == nullptr) return false;
        const bool valid = p_.videoQueue_.Valid(packet);
        *view = {packet->Payload(), valid ? packet->bytes : 0u, valid};
        return true;
    }
    void DropOldest() override { p_.videoQueue_.Release(p_.videoQueue_.Take()); }
    bool StopRequested() override { return p_.FlushOrStop(self_); }
    bool EndOfData() override { return p_.events_.IsSet(Event::kVideoEnd); }
    void WaitStep() override { p_.events_.WaitStep(); }
    void Consumed(std::size_t bytes) override { p_.position_.fetch_add(static_cast<int64_t>(bytes)); }

  private:
    Player& p_;
    Worker& self_;
};

// The MPEG-4 decoder's host side: picture conversion, camera records, pacing by the VOP times.
//
// The camera writes each picture's records in front of its VOP start code, and the decoder shows each
// picture one VOP late (at the next VOP, or at the end of the stream). The records are therefore kept per
// VOP and handed over with the picture they belong to, so that the camera time shown is the picture's.
class Player::Mpeg4Display final : public vello::mpeg4::Display {
  public:
    Mpeg4Display(Player& player, Worker& self, const DisplayBuffer& display,
                 vello::mpeg4::Mpeg4Decoder& decoder)
        : p_(player), self_(self), display_(display), decoder_(decoder) {}

    int Width() const override { return display_.width; }
    int Height() const override { return display_.height; }

    // The records in front of the first VOP, read before the decode loop searches for it.
    void ReadLeadingRecords(const uint8_t* data, std::size_t size) {
        pending_.push_back({0, ScanMpeg4Records(data, size)});
    }

    void ReadSideInfo(const std::uint8_t* data, std::size_t size) override {
        // Called right after VOP `vop_`'s start code: what follows up to the next VOP start code holds
        // the records of VOP vop_ + 1. The previous VOP (its header is still the decoder's) shows no
        // picture when it was not coded or not an I- or P-VOP: its records go.
        if (vop_ > 0) {
            const vello::mpeg4::VopHeader& previous = decoder_.Vop();
            if (!previous.vop_coded || previous.vop_coding_type > 1) {
                std::erase_if(pending_, [&](const auto& entry) { return entry.first == vop_ - 1; });
            }
        }
        pending_.push_back({vop_ + 1, ScanMpeg4Records(data, size)});
        ++vop_;
    }

    void Deliver(const vello::mpeg4::Picture& picture) override {
        vello::mpeg4::PictureToBgr(picture, display_.pixels, display_.step, display_.width, display_.height);
        CameraRecords records;
        if (!pending_.empty()) {
            records = std::move(pending_.front().second);
            pending_.pop_front();
        }
        // The first picture of a run is paced by the header's frame rate, the others by the difference
        // of their VOP times in ms (plus a second when the time within the second wrapped).
        const int resolution = std::max(decoder_.Vol().vop_time_increment_resolution, 1);
        const int ms = static_cast<int>(static_cast<int64_t>(picture.timeIncrement) * 1000 / resolution);
        int argument = p_.frameRate_;
        if (shown_ > 0) {
            int d = ms - previousMs_;
            if (d < 0) d += 1000;
            argument = -d;
        }
        previousMs_ = ms;
        ++shown_;
        p_.ShowPicture(self_, display_, argument, records);
    }

    void NotifyError(int code) override {
        notified_ = true;
        if (!p_.FlushOrStop(self_)) p_.posted_.Post(PlayerNotification::kError, code);
    }
    bool Notified() const { return notified_; }
    bool StopRequested() override { return p_.FlushOrStop(self_); }

  private:
    Player& p_;
    Worker& self_;
    const DisplayBuffer& display_;
    vello::mpeg4::Mpeg4Decoder& decoder_;
    std::deque<std::pair<int, CameraRecords>> pending_;  // VOP number and its records, oldest first
    int vop_ = 0;                                        // VOPs whose start code was passed
    int shown_ = 0;
    int previousMs_ = 0;
    bool notified_ = false;
};

bool Player::FlushOrStop(const Worker& self) const {
    return Stopping(self) || events_.IsSet(Event::kDecoderFlush);
}

void Player::PauseLoop(Worker& self, const DisplayBuffer& display) {
    for (;;) {
        if (events_.IsSet(Event::kCaptureRequest)) {
            host_.CapturePicture(display, CameraTime());
            events_.Reset(Event::kCaptureRequest);
        }
        if (!events_.IsSet(Event::kPaused) || FlushOrStop(self)) return;
        events_.WaitUntil([&] {
            return events_.IsSet(Event::kCaptureRequest) || !events_.IsSet(Event::kPaused) ||
                   FlushOrStop(self);
        });
    }
}

void Player::ShowPicture(Worker& self, const DisplayBuffer& display, int pacerArgument,
                         const CameraRecords& records) {
    if (records.hasTime) {
        {
            std::lock_guard<std::mutex> hold(cameraTimeLock_);
            cameraTime_ = records.cameraTime;
        }
        host_.CameraTimeChanged(records.cameraTime);
    }
    if (records.sensorAlarm) {
        sensorSince_.store(platform::TickCountMs());
        events_.Set(Event::kSensorAlarm);
    } else if (records.motionAlarm) {
        motionSince_.store(platform::TickCountMs());
        events_.Set(Event::kMotionAlarm);
    }
    host_.MoveSlider(host_.UnitForPosition(position_.load()));
    const double rate = pacer_.Pace(pacerArgument);
    host_.ShowPicture(display, rate);
    events_.Set(Event::kFrameShown);
    PauseLoop(self, display);
}

void Player::RunMpeg4(Worker& self, const DisplayBuffer& display) {
    VideoSource source(*this, self);
    vello::mpeg4::DecoderConfig config = vello::mpeg4::ReeldeckConfig();
    config.report = LogText;  // the decoder's messages go to the report log and the debugger output
    vello::mpeg4::Mpeg4Decoder decoder(config, &source);
    const vello::mpeg4::Mpeg4Status status = decoder.OpenDecoder();
    events_.Reset(Event::kVideoRebooting);
    if (status != vello::mpeg4::Mpeg4Status::kOk) {
        if (!FlushOrStop(self)) posted_.Post(PlayerNotification::kError, msg::kCannotDecodeMpeg4);
        return;
    }
    platform::DebugOutput("Start mp4_Decoder() !!\n");
    Mpeg4Display host(*this, self, display, decoder);
    vello::mpeg4::StreamBuffer& stream = decoder.Stream();
    host.ReadLeadingRecords(stream.pos, stream.Unread());
    // A stream that ends the loop with a failure the decoder did not hand over itself (a header it cannot
    // parse) is reported as undecodable too, instead of resting silently as if the data had ended.
    if (decoder.DecodeStream(host) != vello::mpeg4::Mpeg4Status::kOk && !host.Notified() &&
        !FlushOrStop(self))
        posted_.Post(PlayerNotification::kError, msg::kCannotDecodeMpeg4);
}

void Player::RunMotionJpeg(Worker& self, const DisplayBuffer& display, uint8_t* image, uint8_t* picture,
                           int pictureStep) {
    VideoSource source(*this, self);
    vello::JpegStreamReader reader(&source);
    if (!reader.Allocate()) {
        events_.Reset(Event::kVideoRebooting);
        posted_.Post(PlayerNotification::kError, msg::kCannotDecodeJpeg);
        return;
    }
    events_.Reset(Event::kVideoRebooting);
    platform::SleepMs(kMotionJpegStartDelayMs);
    StampTracker stamps;
    vello::JpegDecoder decoder;
    auto failed = [&](int number) {
        if (!FlushOrStop(self)) posted_.Post(PlayerNotification::kError, number);
    };
    if (!reader.Refill()) return failed(msg::kNoText);
    for (;;) {
        if (FlushOrStop(self)) return;
        std::size_t length = 0;
        const vello::JpegStreamReader::Extract got = reader.ExtractImage(image, &length);
        if (got == vello::JpegStreamReader::Extract::kNeedData) {
            if (!reader.Refill()) return failed(msg::kNoText);
            continue;
        }
        if (got == vello::JpegStreamReader::Extract::kEndOfData) return;
        if (got == vello::JpegStreamReader::Extract::kInvalid) return failed(msg::kNoText);

        const CameraRecords records = ScanJpegRecords(image, length);
        stamps.Feed(records);
        decoder.Reset();
        decoder.SetSource(image, static_cast<int>(length));
        int width = 0, height = 0;
        if (decoder.ReadHeader(&width, &height, nullptr, nullptr, nullptr) != vello::JpegStatus::kOk) {
            decoder.Clean();
            return failed(msg::kCannotDecodeJpeg);
        }
        if (width != display.width || height != display.height) {
            decoder.Clean();
            platform::DebugOutput("Error: Screen Size Changed.\n");
            return failed(msg::kCannotDecodeJpeg);
        }
        decoder.SetDestination(picture, width, pictureStep, height, 3, vello::kJpegColourBGR);
        const vello::JpegStatus decoded = decoder.ReadData();
        decoder.Clean();
        if (decoded != vello::JpegStatus::kOk) return failed(msg::kCannotDecodeJpeg);
        for (int y = 0; y < height; ++y)
            std::memcpy(display.pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(display.step),
                        picture + static_cast<std::size_t>(y) * static_cast<std::size_t>(pictureStep),
                        static_cast<std::size_t>(width) * 3);
        ShowPicture(self, display, stamps.PacerArgument(), records);
        if (!reader.Refill()) return failed(msg::kNoText);
    }
}

void Player::VideoThread(Worker& self) {
    const bool mpeg4 = kind_ == VideoKind::kMpeg4;
    DisplayBuffer display;
    vello::LumBuffer<uint8_t> image, picture;
    // The working picture: rows padded to 16 bytes, with 32 spare rows.
    const int pictureStep = (width_ * 3 + 15) & ~15;
    const bool ready = host_.CreateDisplayBuffer(width_, height_, display) == 0 &&
                       display.pixels != nullptr && display.width == width_ && display.height == height_ &&
                       display.step >= width_ * 3 &&
                       (mpeg4 || (image.Allocate(static_cast<int64_t>(vello::JpegStreamReader::kCapacity)) &&
                                  picture.Allocate(static_cast<int64_t>(pictureStep) * (height_ + 32))));
    if (ready) {
        position_.store(0);
        pacer_.Reset();
        events_.Set(Event::kDecoderReady);
        platform::DebugOutput(mpeg4 ? "-----> Start MovieDecoder()\n" : "-----> Start MotionJpegDecoder()\n");
        for (;;) {
            pacer_.Reset();
            if (mpeg4) {
                RunMpeg4(self, display);
            } else {
                RunMotionJpeg(self, display, image.data(), picture.data(), pictureStep);
            }
            // The run is over: a seek, the stop, or the end of the data once the sound has drained.
            events_.WaitUntil([&] {
                return FlushOrStop(self) || (events_.IsSet(Event::kAudioEnd) && audioQueue_.Count() == 0);
            });
            if (!FlushOrStop(self)) {
                events_.Set(Event::kStopped);
                events_.Set(Event::kPaused);
                ReportState(kStateAtStart);
                PauseLoop(self, display);
                if (!FlushOrStop(self)) {
                    // Play at the end of the data starts again from the first unit.
                    posted_.Post(PlayerNotification::kSeekRequest, 0, 0);
                    events_.WaitUntil([&] { return FlushOrStop(self); });
                }
            }
            if (Stopping(self)) break;
            // The seek handshake: acknowledge, wait for the new position, acknowledge again.
            events_.Reset(Event::kDecoderFlush);
            events_.WaitUntil([&] { return events_.IsSet(Event::kDecoderFlush) || Stopping(self); });
            if (Stopping(self)) break;
            events_.Reset(Event::kDecoderFlush);
        }
    }
    events_.Reset(Event::kDecoderReady);
    platform::DebugOutput(mpeg4 ? "-----> End MovieDecoder()\n" : "-----> End MotionJpegDecoder()\n");
    if (!Stopping(self)) posted_.Post(PlayerNotification::kError, msg::kPlaybackCanceled);
}

}  // namespace reeldeck
