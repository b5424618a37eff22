// The device core shared by every backend: the queue of written buffers, the player thread that hands
// them to the sink and notices when they have been played, and the notifier thread that runs the
// application's callback.
#include "platform/wave_out.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

namespace {

std::mutex g_registryLock;  // guards g_devices, g_backend and g_registered
std::set<WaveOut*> g_devices;
WaveSinkFactory g_backend;
// Registered device backends in registration order; the first is the default device.
std::vector<std::pair<std::string, WaveSinkFactory>> g_registered;

// Caller holds g_registryLock.
WaveSinkFactory DefaultBackend() {
    if (g_backend) return g_backend;
    const char* choice = std::getenv("QXR_AUDIO_OUTPUT");
    const std::string_view text = choice == nullptr ? "" : choice;
    if (text == "null") return NullWaveBackend();
    if (text.substr(0, 4) == "wav:" && text.size() > 4) return WavFileBackend(std::string(text.substr(4)));
    for (const auto& [name, factory] : g_registered)
        if (name == text) return factory;
    return g_registered.empty() ? WaveSinkFactory() : g_registered.front().second;
}

bool FormatSupported(const WaveFormat& f) {
    if (f.channels < 1 || f.channels > 2) return false;
    if (f.samplesPerSec < 1000 || f.samplesPerSec > 192000) return false;
    if (f.formatTag == kWaveFormatMulaw) return f.bitsPerSample == 8 && f.blockAlign == f.channels;
    if (f.formatTag != kWaveFormatPcm) return false;
    if (f.bitsPerSample != 8 && f.bitsPerSample != 16) return false;
    return f.blockAlign == f.channels * f.bitsPerSample / 8;
}

}  // namespace

class WaveOut {
  public:
    WaveOut(WaveOutProc callback, void* instance, std::unique_ptr<WaveSink> sink, uint32_t bytesPerSecond)
        : callback_(callback), instance_(instance), bytesPerSecond_(bytesPerSecond), sink_(std::move(sink)) {
        messages_.emplace_back(kWomOpen, nullptr);
        player_ = std::thread([this] { PlayerLoop(); });
        notifier_ = std::thread([this] { NotifierLoop(); });
    }

    ~WaveOut() { StopThreads(); }

    MmResult Prepare(WaveHeader* h) {
        if (h == nullptr || (h->data == nullptr && h->bufferLength != 0)) return kMmInvalidParam;
        std::lock_guard<std::mutex> hold(lock_);
        if (h->flags & kWhdrInQueue) return kWaveStillPlaying;
        h->flags |= kWhdrPrepared;
        return kMmNoError;
    }

    MmResult Unprepare(WaveHeader* h) {
        if (h == nullptr) return kMmInvalidParam;
        std::lock_guard<std::mutex> hold(lock_);
        if (h->flags & kWhdrInQueue) return kWaveStillPlaying;
        h->flags &= ~kWhdrPrepared;
        return kMmNoError;
    }

    MmResult Write(WaveHeader* h) {
        if (h == nullptr) return kMmInvalidParam;
        std::lock_guard<std::mutex> hold(lock_);
        if (closing_) return kMmError;
        if (!(h->flags & kWhdrPrepared)) return kWaveUnprepared;
        if (h->flags & kWhdrInQueue) return kWaveStillPlaying;
        h->flags = (h->flags & ~kWhdrDone) | kWhdrInQueue;
        pending_.push_back(h);
        wake_.notify_all();
        return kMmNoError;
    }

    MmResult Reset() {
        std::lock_guard<std::mutex> hold(lock_);
        sink_->Flush();
        for (const InFlight& f : pushed_) ReturnLocked(f.header);
        for (WaveHeader* h : pending_) ReturnLocked(h);
        pushed_.clear();
        pending_.clear();
        pushedBytes_ = 0;
        return kMmNoError;
    }

    MmResult SetPaused(bool paused) {
        std::lock_guard<std::mutex> hold(lock_);
        paused_ = paused;
        sink_->SetPaused(paused);
        wake_.notify_all();
        return kMmNoError;
    }

    MmResult Close() {
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (!pending_.empty() || !pushed_.empty()) return kWaveStillPlaying;
            // The callback must not close its own device: that thread would wait for itself.
            if (std::this_thread::get_id() == notifier_.get_id()) return kMmError;
        }
        StopThreads();
        return kMmNoError;
    }

    MmResult GetVolume(uint32_t* volume) {
        if (volume == nullptr) return kMmInvalidParam;
        std::lock_guard<std::mutex> hold(lock_);
        *volume = volume_;
        return kMmNoError;
    }

    MmResult SetVolume(uint32_t volume) {
        std::lock_guard<std::mutex> hold(lock_);
        volume_ = volume;
        return kMmNoError;
    }

  private:
    struct InFlight {
        WaveHeader* header;
        uint64_t end;  // the sink's byte count at which this buffer has been played
    };

    // Marks a buffer done and queues its kWomDone for the notifier. Caller holds lock_.
    void ReturnLocked(WaveHeader* h) {
        h->flags = (h->flags & ~kWhdrInQueue) | kWhdrDone;
        messages_.emplace_back(kWomDone, h);
        messageReady_.notify_all();
    }

    void PlayerLoop() {
        std::unique_lock<std::mutex> hold(lock_);
        while (!closing_) {
            if (!paused_) {
                while (!pending_.empty()) {
                    WaveHeader* h = pending_.front();
                    pending_.pop_front();
                    sink_->Push(h->data, h->bufferLength, volume_);
                    pushedBytes_ += h->bufferLength;
                    pushed_.push_back({h, pushedBytes_});
                }
                const uint64_t played = pushed_.empty() ? 0 : sink_->Played();
                while (!pushed_.empty() && pushed_.front().end <= played) {
                    ReturnLocked(pushed_.front().header);
                    pushed_.pop_front();
                }
            }
            // While something plays, look again when the oldest buffer is due (at the format's byte rate;
            // 2 to 20 ms, since a device's count moves in steps of its own; polling every 2 ms woke this
            // thread 500 times a second for every open device). Otherwise sleep until a write, pause change
            // or close. A restart with buffers already at the sink must wake the player too, or they never
            // come back.
            if (!pushed_.empty() && !paused_) {
                const uint64_t played = sink_->Played();
                const uint64_t left = pushed_.front().end > played ? pushed_.front().end - played : 0;
                const uint64_t dueMs = left * 1000 / std::max<uint32_t>(bytesPerSecond_, 1);
                wake_.wait_for(hold, std::chrono::milliseconds(std::clamp<uint64_t>(dueMs, 2, 20)));
            } else {
                wake_.wait(hold, [this] {
                    return closing_ || (!paused_ && (!pending_.empty() || !pushed_.empty()));
                });
            }
        }
    }

    void NotifierLoop() {
        std::unique_lock<std::mutex> hold(lock_);
        for (;;) {
            messageReady_.wait(hold, [this] { return notifierStop_ || !messages_.empty(); });
            if (messages_.empty()) break;  // asked to stop and nothing left to deliver
            const auto [message, header] = messages_.front();
            messages_.pop_front();
            hold.unlock();
            if (callback_ != nullptr) callback_(this, message, instance_, header);
            hold.lock();
        }
    }

    void StopThreads() {
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (stopped_) return;
            stopped_ = true;
            closing_ = true;
            wake_.notify_all();
        }
        player_.join();
        {
            std::lock_guard<std::mutex> hold(lock_);
            messages_.emplace_back(kWomClose, nullptr);
            notifierStop_ = true;
            messageReady_.notify_all();
        }
        notifier_.join();
        sink_.reset();
    }

    const WaveOutProc callback_;
    void* const instance_;
    const uint32_t bytesPerSecond_;  // of the device's format

    std::mutex lock_;                       // guards every member below and the flags of queued headers
    std::condition_variable wake_;          // the player: new buffers, pause, close
    std::condition_variable messageReady_;  // the notifier: messages, stop
    std::unique_ptr<WaveSink> sink_;
    std::deque<WaveHeader*> pending_;  // written, not yet given to the sink
    std::deque<InFlight> pushed_;      // given to the sink, not yet played
    uint64_t pushedBytes_ = 0;
    uint32_t volume_ = 0xFFFFFFFFu;
    bool paused_ = false;
    bool closing_ = false;
    bool notifierStop_ = false;
    bool stopped_ = false;
    std::deque<std::pair<unsigned, WaveHeader*>> messages_;
    std::thread player_;
    std::thread notifier_;
};

namespace {

// Runs `fn` on a registered device; a handle that is not (or no longer) open gives kMmInvalidHandle.
template <typename Fn>
MmResult WithDevice(WaveOut* device, Fn&& fn) {
    {
        std::lock_guard<std::mutex> hold(g_registryLock);
        if (device == nullptr || g_devices.count(device) == 0) return kMmInvalidHandle;
    }
    return fn(*device);
}

}  // namespace

void RegisterWaveBackend(const std::string& name, WaveSinkFactory factory) {
    std::lock_guard<std::mutex> hold(g_registryLock);
    const auto at = std::find_if(g_registered.begin(), g_registered.end(),
                                 [&](const auto& entry) { return entry.first == name; });
    if (at == g_registered.end()) {
        if (factory) g_registered.emplace_back(name, std::move(factory));
    } else if (factory) {
        at->second = std::move(factory);  // keeps its place, so the default device stays the same
    } else {
        g_registered.erase(at);
    }
}

WaveSinkFactory SetWaveOutBackend(WaveSinkFactory factory) {
    std::lock_guard<std::mutex> hold(g_registryLock);
    return std::exchange(g_backend, std::move(factory));
}

MmResult WaveOutOpen(WaveOut** device, const WaveFormat& format, WaveOutProc callback, void* instance) {
    if (device == nullptr) return kMmInvalidParam;
    *device = nullptr;
    if (!FormatSupported(format)) return kWaveBadFormat;
    WaveSinkFactory factory;
    {
        std::lock_guard<std::mutex> hold(g_registryLock);
        factory = DefaultBackend();
    }
    std::unique_ptr<WaveSink> sink = factory ? factory(format) : nullptr;
    if (!sink) return kMmNoDriver;
    auto* made = new WaveOut(callback, instance, std::move(sink), format.samplesPerSec * format.blockAlign);
    std::lock_guard<std::mutex> hold(g_registryLock);
    g_devices.insert(made);
    *device = made;
    return kMmNoError;
}

MmResult WaveOutPrepareHeader(WaveOut* device, WaveHeader* header) {
    return WithDevice(device, [&](WaveOut& d) { return d.Prepare(header); });
}

MmResult WaveOutUnprepareHeader(WaveOut* device, WaveHeader* header) {
    return WithDevice(device, [&](WaveOut& d) { return d.Unprepare(header); });
}

MmResult WaveOutWrite(WaveOut* device, WaveHeader* header) {
    return WithDevice(device, [&](WaveOut& d) { return d.Write(header); });
}

MmResult WaveOutReset(WaveOut* device) {
    return WithDevice(device, [](WaveOut& d) { return d.Reset(); });
}

MmResult WaveOutPause(WaveOut* device) {
    return WithDevice(device, [](WaveOut& d) { return d.SetPaused(true); });
}

MmResult WaveOutRestart(WaveOut* device) {
    return WithDevice(device, [](WaveOut& d) { return d.SetPaused(false); });
}

MmResult WaveOutClose(WaveOut* device) {
    const MmResult r = WithDevice(device, [](WaveOut& d) { return d.Close(); });
    if (r != kMmNoError) return r;
    {
        std::lock_guard<std::mutex> hold(g_registryLock);
        g_devices.erase(device);
    }
    delete device;
    return kMmNoError;
}

MmResult WaveOutGetVolume(WaveOut* device, uint32_t* volume) {
    return WithDevice(device, [&](WaveOut& d) { return d.GetVolume(volume); });
}

MmResult WaveOutSetVolume(WaveOut* device, uint32_t volume) {
    return WithDevice(device, [&](WaveOut& d) { return d.SetVolume(volume); });
}

int16_t MulawToLinear16(uint8_t code) {
    const int u = ~code & 0xFF;
    const int t = (((u & 0xF) << 3) + 0x84) << ((u & 0x70) >> 4);
    return static_cast<int16_t>((u & 0x80) ? 0x84 - t : t - 0x84);
}

int16_t ApplyVolume(int16_t sample, uint16_t volume) {
    if (volume == 0xFFFF) return sample;
    return static_cast<int16_t>((static_cast<int32_t>(sample) * volume) >> 16);
}

}  // namespace platform
