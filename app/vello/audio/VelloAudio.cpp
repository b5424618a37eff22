#include "vello/audio/VelloAudio.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <span>
#include <string>

#include "platform/clock.h"
#include "platform/debug_output.h"

namespace vello {

namespace {

constexpr std::size_t kHeapBytes = 144000;
constexpr int kCodesPerPacket = 360;
constexpr uint32_t kG726BufferBytes = 720;
constexpr uint32_t kG711BufferBytes = 256;
constexpr uint32_t kShortSilenceBytes = 2;
constexpr int kMaxPacketBytes = 8192;

}  // namespace

VelloAudio::VelloAudio(const AudioPolicy& policy, int codecId, AudioPacketSource* source, AudioHooks hooks)
    : policy_(policy), source_(source), hooks_(std::move(hooks)) {
    packet_.resize(kMaxPacketBytes);
    status_ = SetUpCodec(codecId);
}

VelloAudio::~VelloAudio() {
    StopPlayback();
}

AudioStatus VelloAudio::Fail(AudioStatus status, std::string_view boxText) {
    if (policy_.reports == AudioReports::kMessageBoxes) {
        if (hooks_.errorBox) {
            hooks_.errorBox(boxText);
        } else {
            platform::DebugOutput(std::string(boxText) + "\n");
        }
        return status;
    }
    if (status == AudioStatus::kNoDevice) {
        // No message number for a device that does not open: the report log says so.
        if (hooks_.diagnostic) {
            VELLO_REPORT(hooks_.diagnostic, "Cannot open audio device.");
        } else {
            platform::DebugOutput("Cannot open audio device.\n");
        }
        return status;
    }
    const int number = AudioMessageNumber(status);
    if (hooks_.notify) {
        hooks_.notify(number);
    } else {
        platform::DebugOutput(std::string(AudioMessageText(number)) + "\n");
    }
    return status;
}

AudioStatus VelloAudio::SetUpCodec(int codecId) {
    const std::optional<AudioCoding> coding = CodingOfCodecId(codecId);
    if (!coding) return Fail(AudioStatus::kInvalidCodec, "Select bad codec!");
    coding_ = *coding;
    const bool g711 = !IsG726(coding_);
    bufferSize_ = g711 ? kG711BufferBytes : kG726BufferBytes;
    silence_ = g711 ? 0x7F : 0xFF;

    const uint32_t rate = policy_.sampleRate;
    format_.formatTag = g711 ? platform::kWaveFormatMulaw : platform::kWaveFormatPcm;
    format_.channels = 1;
    format_.samplesPerSec = rate;
    format_.avgBytesPerSec = g711 ? rate : rate * 2;
    format_.blockAlign = g711 ? 1 : 2;
    format_.bitsPerSample = g711 ? 8 : 16;
    format_.extraSize = 0;

    heap_.reset(new (std::nothrow) uint8_t[kHeapBytes]);
    if (!heap_) return Fail(AudioStatus::kNoHeap, "Create Heap error!");
    if (!MakeBuffers()) {
        heap_.reset();
        return Fail(AudioStatus::kNoMemory, "Create Heap error!");
    }
    if (!g711) {
        const AudioStatus decoder = SetUpDecoder();
        if (decoder != AudioStatus::kOk) {
            heap_.reset();
            headers_.clear();
            return decoder;
        }
    }
    return AudioStatus::kOk;
}

AudioStatus VelloAudio::SetUpDecoder() {
    const AudioStatus opened = decoder_.Open(coding_, SampleScale::kSignal14);
    if (opened != AudioStatus::kOk)
        return Fail(opened,
                    opened == AudioStatus::kNoMemory ? "LUM GetMalloc Error!" : "LUM initialize error!");
    if (!pcm_.Allocate(kCodesPerPacket)) return Fail(AudioStatus::kNoMemory, "LUM Make buff malloc Error!");
    return AudioStatus::kOk;
}

// Carves the buffers and their headers out of the fixed heap, each buffer filled with silence.
bool VelloAudio::MakeBuffers() {
    headers_.clear();
    std::size_t used = 0;
    auto carve = [this, &used](std::size_t bytes) -> uint8_t* {
        const std::size_t start = (used + 31) & ~static_cast<std::size_t>(31);
        if (start + bytes > kHeapBytes) return nullptr;
        used = start + bytes;
        return heap_.get() + start;
    };
    for (int i = 0; i < policy_.bufferCount; ++i) {
        uint8_t* record = carve(sizeof(platform::WaveHeader));
        uint8_t* buffer = carve(bufferSize_);
        if (record == nullptr || buffer == nullptr) return false;
        std::memset(buffer, silence_, bufferSize_);
        auto* header = new (record) platform::WaveHeader{};
        header->data = buffer;
        header->bufferLength = bufferSize_;
        headers_.push_back(header);
    }
    return true;
}

int VelloAudio::TakePacket() {
    return source_ == nullptr ? -1 : source_->Take(packet_.data(), kMaxPacketBytes);
}

int VelloAudio::DecodeG726(const uint8_t* packet, int length) {
    // Only the codes this packet carried: a short packet gives fewer samples, never stale ones.
    std::size_t samples = 0;
    const AudioStatus status = decoder_.Decode(std::span(packet, static_cast<std::size_t>(length)),
                                               std::span(pcm_.data(), kCodesPerPacket), samples);
    return status == AudioStatus::kOk ? static_cast<int>(samples) : -1;
}

uint32_t VelloAudio::FillFromPacket(uint8_t* buffer) {
    const bool asPacketGives = policy_.fill == AudioFill::kWhatThePacketGives;
    std::lock_guard<std::mutex> hold(decodeLock_);
    const bool mayTake = !policy_.hostGatesTaking || source_ == nullptr || source_->MayTake();
    const int length = mayTake ? TakePacket() : -1;
    if (length < 0) {
        const uint32_t n = asPacketGives ? kShortSilenceBytes : bufferSize_;
        std::memset(buffer, silence_, n);
        return n;
    }
    const bool off = soundOff_.load();
    if (!IsG726(coding_)) {
        const uint32_t n = asPacketGives ? std::min(static_cast<uint32_t>(length), bufferSize_) : bufferSize_;
        std::memset(buffer, silence_, n);
        if (!off) std::memcpy(buffer, packet_.data(), std::min(static_cast<uint32_t>(length), n));
        return n;
    }
    uint32_t n = bufferSize_;
    if (asPacketGives) {
        const auto bits = static_cast<uint32_t>(CodeBits(coding_));
        const uint32_t samples = std::min<uint32_t>(static_cast<uint32_t>(length) * 8u / bits, 360u);
        n = std::max<uint32_t>(2u * samples, kShortSilenceBytes);
        if (bits == 3 && length % 3 != 0) {
            // Not whole 3-byte groups: the packet is skipped and its time filled with silence.
            std::memset(buffer, silence_, n);
            return n;
        }
    }
    std::memset(buffer, silence_, n);
    // The decoder sees every packet, heard or not, so that its state follows the stream.
    const int decoded = DecodeG726(packet_.data(), length);
    if (decoded < 0) {
        if (policy_.reportsDecodeErrors) (void)Fail(AudioStatus::kLibraryError, " G726 Decode error!");
        return n;
    }
    if (!off) std::memcpy(buffer, pcm_.data(), std::min<uint32_t>(2u * static_cast<uint32_t>(decoded), n));
    return n;
}

bool VelloAudio::WriteBuffer(platform::WaveHeader* header) {
    header->flags = 0;
    if (platform::WaveOutPrepareHeader(device_, header) != platform::kMmNoError) {
        (void)Fail(AudioStatus::kPrepareFailed, "waveOutPrepareHeader Error!");
        return false;
    }
    // Counted before the write: the device may hand the buffer back before WaveOutWrite returns.
    ++queued_;
    if (platform::WaveOutWrite(device_, header) != platform::kMmNoError) {
        --queued_;
        platform::WaveOutUnprepareHeader(device_, header);
        (void)Fail(AudioStatus::kWriteFailed, "waveOutWrite Error!");
        return false;
    }
    return true;
}

AudioStatus VelloAudio::StartPlayback() {
    if (status_ != AudioStatus::kOk) return status_;
    if (device_ != nullptr) return Fail(AudioStatus::kDeviceInUse, "waveOutOpen error!");
    platform::WaveOut* device = nullptr;
    if (platform::WaveOutOpen(&device, format_, &VelloAudio::DeviceCallback, this) != platform::kMmNoError)
        return Fail(AudioStatus::kNoDevice, "waveOutOpen error!");
    uint32_t volume = 0;
    if (platform::WaveOutGetVolume(device, &volume) != platform::kMmNoError) {
        platform::WaveOutClose(device);
        return Fail(AudioStatus::kNoVolume, "waveOutGetVolume error!");
    }
    volume_ = static_cast<uint16_t>(volume & 0xFFFF);
    device_ = device;
    stopRequested_ = false;
    chainEnded_ = false;

    const AudioStatus started =
        policy_.start == AudioStart::kShortSilences ? StartWithShortSilences() : StartWithPackets();
    if (started != AudioStatus::kOk && queued_ == 0) {
        // Nothing is at the device: give it back so that a later start can open it again.
        platform::WaveOutClose(device_);
        device_ = nullptr;
    }
    return started;
}

AudioStatus VelloAudio::StartWithShortSilences() {
    int written = 0;
    HoldChain();
    for (platform::WaveHeader* header : headers_) {
        std::memset(header->data, silence_, kShortSilenceBytes);
        header->bufferLength = kShortSilenceBytes;
        if (WriteBuffer(header)) ++written;
    }
    ReleaseChain();
    return written > 0 ? AudioStatus::kOk : AudioStatus::kWriteFailed;
}

AudioStatus VelloAudio::StartWithPackets() {
    if (hooks_.started) hooks_.started();
    while (source_ != nullptr && source_->Count() < policy_.bufferCount) {
        if (source_->Stopping() || stopRequested_) return AudioStatus::kStopped;
        platform::SleepMs(1);
    }
    HoldChain();
    for (platform::WaveHeader* header : headers_) {
        {
            // The first packets prime the decoder; their sound is not played.
            std::lock_guard<std::mutex> hold(decodeLock_);
            const int length = TakePacket();
            if (length >= 0 && IsG726(coding_) && DecodeG726(packet_.data(), length) < 0)
                (void)Fail(AudioStatus::kLibraryError, "DecodeG726 error!");
        }
        std::memset(header->data, silence_, bufferSize_);
        header->bufferLength = bufferSize_;
        WriteBuffer(header);
    }
    ReleaseChain();
    // Bound the initial latency: leave at most one packet waiting.
    while (source_ != nullptr && source_->Count() >= 2) {
        std::lock_guard<std::mutex> hold(decodeLock_);
        const int length = TakePacket();
        if (length >= 0 && IsG726(coding_)) DecodeG726(packet_.data(), length);
    }
    return AudioStatus::kOk;
}

// While the first buffers are written, one count stands for the buffers still to come: a buffer that comes
// back before the others reach the device must not look like the last one, which ends the chain.
void VelloAudio::HoldChain() {
    ++queued_;
}

void VelloAudio::ReleaseChain() {
    // Every write failed, so no buffer will come back to end the chain.
    if (--queued_ == 0) chainEnded_ = true;
}

void VelloAudio::DeviceCallback(platform::WaveOut* /*device*/, unsigned message, void* instance,
                                platform::WaveHeader* header) {
    if (message != platform::kWomDone || header == nullptr) return;
    static_cast<VelloAudio*>(instance)->Refill(header);
}

void VelloAudio::Refill(platform::WaveHeader* header) {
    using platform::kWhdrDone;
    using platform::kWhdrPrepared;
    if ((header->flags & (kWhdrDone | kWhdrPrepared)) != (kWhdrDone | kWhdrPrepared)) return;
    if (platform::WaveOutUnprepareHeader(device_, header) != platform::kMmNoError)
        (void)Fail(AudioStatus::kUnprepareFailed, "waveOutUnprepareHeader Error!");
    if (queued_-- == 1) {
        // The last buffer is back: the chain is over.
        chainEnded_ = true;
        return;
    }
    if (stopRequested_) return;
    header->bufferLength = FillFromPacket(header->data);
    if (!WriteBuffer(header) && queued_ == 0) chainEnded_ = true;
}

void VelloAudio::StopPlayback() {
    if (device_ != nullptr) {
        stopRequested_ = true;
        for (int i = 0; i < policy_.stopWaitMs && !chainEnded_ && queued_ > 0; ++i) platform::SleepMs(1);
        if (policy_.pauseBeforeReset) platform::WaveOutPause(device_);
        platform::WaveOutReset(device_);
        // Close waits for the callback thread, so nothing touches the buffers after this. A buffer that a
        // refill wrote just before it saw the stop request keeps the device busy: hand it back and retry,
        // since freeing the buffers under an open device would leave its threads writing into them.
        for (int i = 0; i < 1000 && platform::WaveOutClose(device_) == platform::kWaveStillPlaying; ++i) {
            platform::WaveOutReset(device_);
            platform::SleepMs(1);
        }
        device_ = nullptr;
    }
    decoder_ = AudioDecoder();
    pcm_.Release();
    headers_.clear();
    heap_.reset();
    status_ = AudioStatus::kStopped;
}

void VelloAudio::SetVolume(uint16_t volume) {
    if (device_ == nullptr) return;
    volume_ = volume;
    platform::WaveOutSetVolume(device_, static_cast<uint32_t>(volume) << 16 | volume);
}

void VelloAudio::SetSound(int on) {
    if (device_ == nullptr) return;
    soundOff_ = on != 1;
}

void VelloAudio::SetMute(bool muted) {
    if (device_ == nullptr) return;
    soundOff_ = muted;
}

}  // namespace vello
