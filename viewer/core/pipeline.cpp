#include "core/pipeline.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "core/chunk_queue.h"
#include "core/motion_data.h"
#include "core/multipart.h"
#include "core/session_loop.h"
#include "core/stream_request.h"
#include "core/viewer_state.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "vello/audio/VelloAudio.h"
#include "vello/jpeg/jpeg_decoder.h"
#include "vello/mpeg4/mp4dec.h"
#include "vello/mpeg4/start_code.h"

namespace ocuview {

namespace {

// The largest picture the viewer decodes: far above the camera's 640 x 480, small enough that a hostile
// header cannot make it allocate without bound.
constexpr int kMaxPictureSide = 4096;

int BgrStride(int width) {
    return (width * 3 + 3) & ~3;
}

ThreadSlot& Slot(ViewerState& v, int channel) {
    return v.threads[static_cast<std::size_t>(channel)];
}

bool Stopped(ViewerState& v, int channel) {
    return Slot(v, channel).stop.load() != 0;
}

// Starts `body` on the thread of `channel`; the thread clears its stop flag and its running mark as its
// last act, which tells the stopper it has ended.
bool StartThread(ViewerState& v, int channel, std::function<void()> body) {
    ThreadSlot& slot = Slot(v, channel);
    if (slot.thread.joinable()) return false;
    slot.stop = 0;
    slot.running = true;
    try {
        slot.thread = std::thread([&v, &slot, body = std::move(body)] {
            body();
            {
                std::lock_guard<std::mutex> hold(v.stopLock);
                slot.stop = 0;
                slot.running = false;
            }
            v.stopSignal.notify_all();
        });
    } catch (const std::system_error&) {
        slot.running = false;
        return false;
    }
    return true;
}

void WakeAll(ViewerState& v) {
    { std::lock_guard<std::mutex> hold(v.stopLock); }
    v.stopSignal.notify_all();
    v.videoSignal.notify_all();
    v.audioSignal.notify_all();
    v.motionSignal.notify_all();
}

void StopThread(ViewerState& v, int channel) {
    ThreadSlot& slot = Slot(v, channel);
    if (!slot.thread.joinable()) return;
    slot.stop = 1;
    // A network thread blocked in a receive ends at once when its socket is shut down.
    for (StreamSession& s : v.sessions) {
        if (s.channel == channel) ShutdownSocket(s);
    }
    WakeAll(v);
    {
        std::unique_lock<std::mutex> hold(v.stopLock);
        if (!v.stopSignal.wait_for(hold, std::chrono::milliseconds(v.threadStopWaitMs),
                                   [&slot] { return !slot.running.load(); })) {
            // Threads are never killed (that would leave locks held and memory lost); every wait of a
            // viewer thread is bounded, so this one ends soon.
            platform::DebugOutput("StopStreams: a thread did not answer its stop flag in time\n");
        }
    }
    slot.thread.join();
    slot.stop = 0;
    slot.running = false;
}

void Deliver(ViewerState& v, const uint8_t* bgr, int width, int height, uint64_t receivedNs) {
    std::string cameraTime;
    {
        std::lock_guard<std::mutex> hold(v.statusLock);
        cameraTime = v.overlayText;
    }
    std::lock_guard<std::mutex> hold(v.drawLock);
    Frame f;
    f.bgr = bgr;
    f.width = width;
    f.height = height;
    f.stride = BgrStride(width);
    f.cameraTime = cameraTime;
    f.sequence = ++v.frameSequence;
    f.sizeChanged = width != v.pictureWidth || height != v.pictureHeight;
    f.receivedNs = receivedNs;
    if (f.sizeChanged) {
        v.pictureWidth = width;
        v.pictureHeight = height;
    }
    v.sink.OnFrame(f);
    v.sizeKnown = true;
}

void SetOverlay(ViewerState& v, const std::string& text) {
    std::lock_guard<std::mutex> hold(v.statusLock);
    if (text != v.overlayText) v.overlayText = text;
}

// Counts pictures and reports the rate about once a second.
class RateMeter {
  public:
    void Count(ViewerState& v) {
        const uint64_t now = platform::PerformanceCounter();
        if (start_ == 0) start_ = now;
        ++frames_;
        const uint64_t elapsed = now - start_;
        if (elapsed >= platform::PerformanceFrequency()) {
            char text[32];
            std::snprintf(text, sizeof text, "%.1f",
                          static_cast<double>(frames_) *
                              static_cast<double>(platform::PerformanceFrequency()) /
                              static_cast<double>(elapsed));
            v.observer.OnFrameRate(text);
            start_ = now;
            frames_ = 0;
        }
    }

  private:
    uint64_t start_ = 0;
    int frames_ = 0;
};

// Decodes one JPEG picture into `out` as BGR; false when its header cannot be read or it is not a 1- or
// 3-channel picture within the size limit. A picture whose data is damaged is still shown as far as it
// was decoded, on a cleared buffer.
bool DecodePicture(vello::JpegDecoder& decoder, std::string_view payload, std::vector<uint8_t>& out,
                   int* width, int* height) {
    const auto readHeader = [&](int* w, int* h, int* channels) {
        decoder.SetSource(reinterpret_cast<const uint8_t*>(payload.data()), static_cast<int>(payload.size()));
        return decoder.ReadHeader(w, h, channels, nullptr, nullptr) == vello::JpegStatus::kOk;
    };
    int w = 0, h = 0, channels = 0;
    const bool ok = readHeader(&w, &h, &channels) && w > 0 && h > 0 && w <= kMaxPictureSide &&
                    h <= kMaxPictureSide && (channels == 1 || channels == 3);
    if (ok) {
        const int stride = BgrStride(w);
        // The buffer is kept from picture to picture: a decode that ends well writes every row, so
        // clearing 900 KiB per VGA picture first was wasted. Only a decode that does not (damaged or cut
        // data, rare) leaves rows of the picture before; it is then done again on a cleared buffer.
        const std::size_t bytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(h);
        if (out.size() != bytes) out.assign(bytes, 0);
        decoder.SetDestination(out.data(), w, stride, h, 3, vello::kJpegColourBGR);
        if (decoder.ReadData() != vello::JpegStatus::kOk) {
            decoder.Clean();
            std::fill(out.begin(), out.end(), uint8_t{0});
            if (readHeader(&w, &h, &channels)) {
                decoder.SetDestination(out.data(), w, stride, h, 3, vello::kJpegColourBGR);
                (void)decoder.ReadData();
            }
        }
        *width = w;
        *height = h;
    }
    decoder.Clean();
    return ok;
}

void MotionJpegThread(ViewerState& v) {
    StreamSession& jpeg = v.sessions[2];
    StreamSession& audio = v.sessions[1];
    NewHeap(audio);  // the audio parts of the multipart stream are cut into slot 1's queue
    MultipartAssembly assembly;
    AudioAccumulator audioParts;
    vello::JpegDecoder decoder;
    vello::JpegDecoderLimits limits;
    limits.maxPixels = int64_t{kMaxPictureSide} * kMaxPictureSide;
    decoder.SetLimits(limits);
    decoder.Reset();
    std::vector<uint8_t> part, picture;
    RateMeter meter;
    if (!assembly.Ok()) return;
    while (!Stopped(v, kChannelMotionJpeg)) {
        if (assembly.Fill(jpeg, Slot(v, kChannelMotionJpeg).stop) == 1) break;
        const uint64_t received = platform::PerformanceCounter();
        int rc;
        bool closing = false;
        while ((rc = assembly.Extract(part)) >= 0 || rc == kPartClosing) {
            if (rc == kPartClosing) {
                closing = true;
                break;
            }
            const std::string_view text(reinterpret_cast<const char*>(part.data()), part.size());
            const PartKind kind = ClassifyPart(text);
            if (kind == PartKind::kAudio) {
                audioParts.Add(audio, PartPayload(text));
                continue;
            }
            if (kind != PartKind::kPicture) continue;
            const std::string time = CameraTimeOf(text);
            if (!time.empty()) SetOverlay(v, time);
            if (const std::shared_ptr<StreamTap> tap = CurrentTap(v)) {
                const std::string_view payload = PartPayload(text);
                tap->OnJpegPicture({reinterpret_cast<const uint8_t*>(payload.data()), payload.size()}, time);
            }
            int w = 0, h = 0;
            if (!DecodePicture(decoder, PartPayload(text), picture, &w, &h)) continue;
            Deliver(v, picture.data(), w, h, received);
            meter.Count(v);
            // A new frame rate asks the network thread for a new request; what is held belongs to the old.
            if (v.frameRate != v.requestRate) {
                jpeg.reconnectRequest = true;
                assembly.Clear();
                audioParts.Clear();
                while (jpeg.reconnectRequest && !Stopped(v, kChannelMotionJpeg) && !v.ended)
                    platform::SleepMs(1);
                break;
            }
        }
        if (closing) break;
    }
}

// The MPEG-4 decoder's view of slot 0's queue.
class VideoQueueSource : public vello::mpeg4::PacketSource {
  public:
    explicit VideoQueueSource(ViewerState& v) : v_(v), s_(v.sessions[0]) {}
    std::size_t QueuedPackets() override { return QueuedChunks(s_); }
    bool PeekOldest(vello::mpeg4::PacketView* packet) override {
        std::lock_guard<std::mutex> hold(s_.QueueLock());
        if (s_.queue.empty()) return false;
        const ChunkBlock* b = s_.queue.front();
        const bool intact = s_.heap && s_.heap->Owns(b) && b->WellFormed();
        peeked_.assign(intact ? b->Bytes() : nullptr, intact ? b->Bytes() + b->count : nullptr);
        peekedIntact_ = intact && !peeked_.empty();
        packet->data = peeked_.data();
        packet->size = peeked_.size();
        packet->intact = intact;
        return true;
    }
    void DropOldest() override {
        if (peekedIntact_) Taken();
        peekedIntact_ = false;
        uint8_t ignored[1];
        (void)TakeChunk(s_, ignored, 0);
    }
    bool StopRequested() override { return Stopped(v_, kChannelMpeg4Decoder) || v_.ended; }
    bool EndOfData() override { return StopRequested(); }
    void WaitStep() override { WaitForChunk(s_, 1); }

  private:
    // The packet just peeked leaves the queue: the stream's headers are kept until its first picture (a
    // recording that begins later needs them), and a tap sees every packet in order.
    void Taken() {
        const std::shared_ptr<StreamTap> tap = CurrentTap(v_);
        if (tap != tap_) {
            tap_ = tap;
            // A tap attached while the headers are still arriving gets the stream from its start instead.
            if (tap_ && headersDone_) tap_->OnMpeg4Headers(headers_);
            if (tap_ && !headersDone_) {
                tap_->OnMpeg4Headers({});
                tap_->OnMpeg4Bytes(headers_);
            }
        }
        if (!headersDone_) {
            const std::size_t old = headers_.size();
            headers_.insert(headers_.end(), peeked_.begin(), peeked_.end());
            const std::size_t vop =
                vello::mpeg4::FindStartCode(headers_, vello::mpeg4::kVopStartCode, old >= 3 ? old - 3 : 0);
            if (vop != vello::mpeg4::kNoStartCode) {
                headers_.resize(vop);
                headersDone_ = true;
            } else if (headers_.size() > kMaxHeaderBytes) {
                headers_.clear();  // no picture in sight: not a stream's headers
                headersDone_ = true;
            }
        }
        if (tap_) tap_->OnMpeg4Bytes(peeked_);
    }

    static constexpr std::size_t kMaxHeaderBytes = 65536;
    ViewerState& v_;
    StreamSession& s_;
    std::vector<uint8_t> peeked_;
    bool peekedIntact_ = false;
    std::vector<uint8_t> headers_;
    bool headersDone_ = false;
    std::shared_ptr<StreamTap> tap_;
};

// Converts each picture to BGR, takes the camera time from the user data ahead of it, and shows it by its
// due time (the camera's rate, 1000 / rate milliseconds less 10).
class VideoDisplay : public vello::mpeg4::Display {
  public:
    explicit VideoDisplay(ViewerState& v) : v_(v) {
        const int rate = v.camera.mpeg4FrameRate > 0 ? std::min(v.camera.mpeg4FrameRate, 30) : 30;
        intervalNs_ = std::max(0, 1000 / rate - 10) * uint64_t{1000000};
    }
    void SetSize(int w, int h) {
        width_ = w;
        height_ = h;
        bgr_.assign(static_cast<std::size_t>(BgrStride(w)) * static_cast<std::size_t>(h), 0);
    }
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void Deliver(const vello::mpeg4::Picture& picture) override {
        if (width_ <= 0 || height_ <= 0) return;
        if (vello::mpeg4::PictureToBgr(picture, bgr_.data(), BgrStride(width_), width_, height_) < 0) return;
        const uint64_t now = platform::PerformanceCounter();
        if (due_ != 0) {
            int passes = 0;
            while (platform::PerformanceCounter() < due_ && !StopRequested()) {
                if (++passes % 50 == 0) {
                    platform::SleepMs(1);
                } else {
                    std::this_thread::yield();
                }
            }
        }
        due_ = std::max(now, due_) + intervalNs_;
        ocuview::Deliver(v_, bgr_.data(), width_, height_, now);
        meter_.Count(v_);
    }
    void ReadSideInfo(const std::uint8_t* data, std::size_t size) override {
        // "CamTim: " in the user data before the first picture start code, all but the last 72 bytes.
        if (size <= 72) return;
        const std::string_view text(reinterpret_cast<const char*>(data), size - 72);
        std::size_t limit = text.find(std::string_view("\x00\x00\x01\xB6", 4));
        if (limit == std::string_view::npos) limit = text.size();
        const std::size_t at = text.substr(0, limit).find("CamTim: ");
        if (at == std::string_view::npos) return;
        const std::string_view rest = text.substr(at + 8);
        const std::size_t end = rest.find("\r\n");
        if (end == std::string_view::npos || end >= 32 || end != 23) return;
        SetOverlay(v_, std::string(rest.substr(0, end)));
    }
    bool StopRequested() override { return Stopped(v_, kChannelMpeg4Decoder) || v_.ended; }
    bool Resize(int width, int height) override {
        if (width > kMaxPictureSide || height > kMaxPictureSide) return false;
        SetSize(width, height);
        return true;
    }

  private:
    ViewerState& v_;
    int width_ = 0, height_ = 0;
    std::vector<uint8_t> bgr_;
    uint64_t intervalNs_;
    uint64_t due_ = 0;
    RateMeter meter_;
};

void Mpeg4Thread(ViewerState& v) {
    VideoQueueSource source(v);
    vello::mpeg4::DecoderConfig config = vello::mpeg4::OcuviewConfig();
    config.maxWidth = kMaxPictureSide;
    config.maxHeight = kMaxPictureSide;
    VideoDisplay display(v);
    while (!source.StopRequested()) {
        vello::mpeg4::Mpeg4Decoder decoder(config, &source);
        if (decoder.OpenDecoder() == vello::mpeg4::Mpeg4Status::kOk) {
            display.SetSize(decoder.Width(), decoder.Height());
            (void)decoder.DecodeStream(display);
        } else if (!source.StopRequested()) {
            WaitForChunk(v.sessions[0], 10);
        }
        decoder.CloseDecoder();
    }
}

// VelloAudio's view of slot 1's queue.
class AudioQueueSource : public vello::AudioPacketSource {
  public:
    explicit AudioQueueSource(ViewerState& v) : v_(v), s_(v.sessions[1]) {}
    int Count() override { return static_cast<int>(QueuedChunks(s_)); }
    int Take(uint8_t* out, int capacity) override {
        return TakeChunk(s_, out, static_cast<std::size_t>(std::max(capacity, 0)));
    }
    bool Stopping() override { return Stopped(v_, kChannelAudioPlayer) || v_.stopping; }

  private:
    ViewerState& v_;
    StreamSession& s_;
};

int CodecId(AudioCodec codec) {
    switch (codec) {
        case AudioCodec::kG711_64:
            return vello::kAudioG711;
        case AudioCodec::kG726_16:
            return vello::kAudioG726_16;
        case AudioCodec::kG726_24:
            return vello::kAudioG726_24;
        case AudioCodec::kG726_32:
            return vello::kAudioG726_32;
        case AudioCodec::kG726_40:
            return vello::kAudioG726_40;
        default:
            return 0;
    }
}

void AudioPlayerThread(ViewerState& v) {
    AudioQueueSource source(v);
    vello::AudioHooks hooks;
    hooks.errorBox = [&v](std::string_view text) { v.observer.OnMessageBox("ERROR", text); };
    vello::VelloAudio player(vello::kOcuviewAudio, CodecId(v.camera.audioCodec), &source, hooks);
    const bool started =
        player.Status() == vello::AudioStatus::kOk && player.StartPlayback() == vello::AudioStatus::kOk;
    int volume = -1;
    int muted = -1;
    std::unique_lock<std::mutex> hold(v.stopLock);
    while (!Stopped(v, kChannelAudioPlayer)) {
        if (started && (volume != v.volume || muted != static_cast<int>(v.muted))) {
            volume = v.volume;
            muted = v.muted;
            hold.unlock();
            player.SetVolume(static_cast<uint16_t>(volume * 0xFFFF / 100));
            player.SetMute(muted != 0);
            hold.lock();
        }
        v.stopSignal.wait_for(hold, std::chrono::milliseconds(20));
    }
    hold.unlock();
    if (started) player.StopPlayback();
}

void SetUpSession(ViewerState& v, int slot, StreamKind kind, Transport transport, int chunk, int channel) {
    StreamSession& s = v.sessions[static_cast<std::size_t>(slot)];
    s.kind = kind;
    s.transport = transport;
    s.chunkBytes = chunk;
    s.channel = channel;
    s.viewer = &v;
    s.multicast = transport != Transport::kTcp && v.sessionMode == SessionMode::kUdpMulticast;
    s.stats = kind == StreamKind::kAudio ? &v.audioStats : &v.videoStats;
    s.reconnectRequest = false;
    s.headerPassed = false;
}

bool StartNetworkThread(ViewerState& v, int slot) {
    StreamSession& s = v.sessions[static_cast<std::size_t>(slot)];
    const bool ok = StartThread(v, s.channel, [&s] {
        RunSession(s);
        platform::DebugOutput("-----> delete pNetworkModule\r\n");
    });
    platform::SleepMs(10);
    return ok;
}

}  // namespace

void ResetSessions(ViewerState& v) {
    for (StreamSession& s : v.sessions) {
        ClearQueue(s, true);
        s.transport = Transport::kNone;
        s.partner = nullptr;
        s.viewer = &v;
        s.channel = -1;
        s.receiveFill = 0;
        s.pendingBody = false;
        s.headerPassed = false;
        s.replyLineSeen = false;
    }
    v.videoStats.Clear();
    v.audioStats.Clear();
    v.videoLocalPort = 0;
    v.audioLocalPort = 0;
    v.sizeKnown = false;
    {
        std::lock_guard<std::mutex> hold(v.drawLock);
        v.pictureWidth = v.pictureHeight = 0;
        v.frameSequence = 0;
    }
}

bool StartStreams(ViewerState& v) {
    v.stopping = false;
    const bool motionView = v.settings.motionDetectionView;
    const bool udp = v.sessionMode != SessionMode::kTcp && !motionView;
    const Transport data = udp ? Transport::kUdp : Transport::kTcp;
    const int audioChunk = AudioFrameBytes(v.camera.audioCodec);
    const bool audio = v.audioOn && !motionView && audioChunk > 0;
    bool ok = true;
    // Slot 1 is set up before any thread that reads its queue starts: with MPEG-4 its own network
    // session, with Motion JPEG the audio parts of the multipart stream (no network of its own).
    const bool mpeg4 = v.camera.codec == ImageCodec::kMpeg4;
    SetUpSession(v, 1, StreamKind::kAudio, mpeg4 ? data : Transport::kNone, audioChunk, kChannelAudioNet);
    if (audio) {
        ok = ok && StartThread(v, kChannelAudioPlayer, [&v] { AudioPlayerThread(v); });
        platform::SleepMs(10);
        if (mpeg4) {
            ok = ok && StartNetworkThread(v, 1);
            if (udp) {
                SetUpSession(v, 4, StreamKind::kAudio, Transport::kRtcp, kUdpChunkBytes, kChannelAudioRtcp);
                ok = ok && StartNetworkThread(v, 4);
            }
        }
    }
    if (v.camera.codec == ImageCodec::kMpeg4) {
        SetUpSession(v, 0, StreamKind::kVideo, data, udp ? kUdpChunkBytes : kTcpChunkBytes, kChannelVideoNet);
        ok = ok && StartNetworkThread(v, 0);
        if (udp) {
            SetUpSession(v, 3, StreamKind::kVideo, Transport::kRtcp, kUdpChunkBytes, kChannelVideoRtcp);
            ok = ok && StartNetworkThread(v, 3);
        }
        ok = ok && StartThread(v, kChannelMpeg4Decoder, [&v] { Mpeg4Thread(v); });
        platform::SleepMs(10);
    } else if (v.camera.codec == ImageCodec::kMotionJpeg) {
        SetUpSession(v, 2, StreamKind::kMotionJpeg, Transport::kTcp, kTcpChunkBytes, kChannelJpegNet);
        v.sessions[2].partner = &v.sessions[1];
        v.requestRate = v.frameRate.load();
        ok = ok && StartNetworkThread(v, 2);
        ok = ok && StartThread(v, kChannelMotionJpeg, [&v] { MotionJpegThread(v); });
        platform::SleepMs(10);
        // Bounded: a camera whose pictures never decode must not hold the start-up for ever.
        const uint32_t start = platform::TickCountMs();
        while (ok && !v.sizeKnown && !v.stopping && !v.ended &&
               platform::TickCountMs() - start < static_cast<uint32_t>(v.connectTimeoutMs)) {
            std::unique_lock<std::mutex> hold(v.stopLock);
            v.stopSignal.wait_for(hold, std::chrono::milliseconds(1));
        }
    } else {
        ok = false;
    }
    if (ok && motionView) {
        // The motion data: its reader first (set up with its session, so that it never sees a half-made
        // one), then the stream that feeds it.
        SetUpSession(v, static_cast<int>(kMotionDataSlot), StreamKind::kMotionData, Transport::kTcp,
                     kTcpChunkBytes, kChannelMotionDataNet);
        ok = StartThread(v, kChannelMotionDataThread, [&v] { MotionDataThread(v); });
        platform::SleepMs(100);
        ok = ok && StartNetworkThread(v, static_cast<int>(kMotionDataSlot));
    }
    return ok;
}

void StopStreams(ViewerState& v) {
    v.stopping = true;
    static constexpr int kOrder[] = {kChannelAudioPlayer,  kChannelAudioNet,  kChannelMotionJpeg,
                                     kChannelMpeg4Decoder, kChannelJpegNet,   kChannelVideoNet,
                                     kChannelVideoRtcp,    kChannelAudioRtcp, kChannelMotionDataThread,
                                     kChannelMotionDataNet};
    bool any = false;
    for (const int channel : kOrder) {
        any = any || Slot(v, channel).thread.joinable();
        StopThread(v, channel);
    }
    for (StreamSession& s : v.sessions) ClearQueue(s, true);
    if (any) platform::SleepMs(static_cast<uint32_t>(v.stopSettleMs));
}

}  // namespace ocuview
