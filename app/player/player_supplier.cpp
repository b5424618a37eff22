// The data supplier thread: reads the series unit by unit into audio and video packets.
#include "platform/debug_output.h"
#include "player/player.h"

namespace reeldeck {

namespace {
constexpr uint32_t kDecoderReadyWaitMs = 1000;
}

void Player::SupplierThread() {
    for (;;) {
        events_.WaitUntil([&] { return events_.IsSet(Event::kDecoderReady) || Stopping(supplier_); },
                          kDecoderReadyWaitMs);
        platform::DebugOutput("Start MovieDataSupplier() !!\n");
        const int start = startUnit_.load();
        const int count = files_.UnitCount();
        if (Stopping(supplier_) || count < 1 || start < 0 || start >= count) break;

        position_.store(files_.VideoStart(start));
        int audioUnit = start, videoUnit = start;
        int64_t audioOffset = 0, videoOffset = 0;
        events_.Reset(Event::kFrameShown);
        events_.Reset(Event::kVideoEnd);
        events_.Reset(Event::kAudioEnd);
        events_.Set(Event::kSupplierRunning);
        events_.Reset(Event::kSupplierRebooting);

        bool restart = false;
        while (!Stopping(supplier_)) {
            if (events_.IsSet(Event::kSupplierRestart)) {
                restart = true;
                break;
            }
            // A paused player is fed until one picture has been shown.
            if (events_.IsSet(Event::kPaused) && events_.IsSet(Event::kFrameShown)) {
                events_.WaitUntil([&] {
                    return !(events_.IsSet(Event::kPaused) && events_.IsSet(Event::kFrameShown)) ||
                           events_.IsSet(Event::kSupplierRestart) || Stopping(supplier_);
                });
                continue;
            }
            bool audioQueued = false, videoQueued = false;
            if (audioUnit < count) {
                if (audioOffset >= files_.AudioSize(audioUnit)) {
                    ++audioUnit;
                    audioOffset = 0;
                }
                if (DataPacket* packet = audioQueue_.Allocate(audioUnit)) {
                    int64_t read = 0;
                    if (files_.ReadAudio(packet->Payload(), audioOffset, audioPacketBytes_, read,
                                         audioUnit) == 1 &&
                        read > 0) {
                        packet->bytes = static_cast<uint32_t>(read);
                        audioQueue_.Append(packet);
                        audioOffset += read;
                        audioQueued = true;
                    } else {
                        audioQueue_.Release(packet);
                    }
                }
            } else {
                events_.Set(Event::kAudioEnd);
            }
            if (videoUnit >= count) {
                events_.Set(Event::kVideoEnd);
            } else {
                if (videoOffset >= files_.VideoSize(videoUnit)) {
                    ++videoUnit;
                    videoOffset = 0;
                }
                if (DataPacket* packet = videoQueue_.Allocate(videoUnit)) {
                    int64_t read = 0;
                    if (files_.ReadVideo(packet->Payload(), videoOffset, kVideoPayload, read, videoUnit) ==
                            1 &&
                        read > 0) {
                        packet->bytes = static_cast<uint32_t>(read);
                        videoQueue_.Append(packet);
                        videoOffset += read;
                        videoQueued = true;
                    } else {
                        videoQueue_.Release(packet);
                    }
                }
            }
            if (audioQueued && videoQueued) continue;
            if (audioUnit >= count && videoUnit >= count && events_.IsSet(Event::kAudioEnd) &&
                events_.IsSet(Event::kVideoEnd)) {
                // Everything is queued: nothing to do until a restart or the stop.
                events_.WaitUntil(
                    [&] { return events_.IsSet(Event::kSupplierRestart) || Stopping(supplier_); });
            } else {
                events_.WaitStep();  // 1 ms, or less when a packet is freed
            }
        }
        if (!restart) break;
        // The seek handshake: acknowledge, wait for the new start unit, acknowledge again.
        events_.Reset(Event::kSupplierRestart);
        events_.WaitUntil([&] { return events_.IsSet(Event::kSupplierRestart) || Stopping(supplier_); });
        if (Stopping(supplier_)) break;
        // The ends of the old pass go before the second acknowledgement: the seek lets the decoder start
        // its new run right after it, and that run must not take the old pass's VideoEnd for its own.
        events_.Reset(Event::kFrameShown);
        events_.Reset(Event::kVideoEnd);
        events_.Reset(Event::kAudioEnd);
        events_.Reset(Event::kSupplierRestart);
    }
    events_.Reset(Event::kSupplierRunning);
    RaiseStop(workers_[kMpeg4Worker]);
    RaiseStop(workers_[kAudioWorker]);
}

}  // namespace reeldeck
