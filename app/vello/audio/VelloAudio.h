// VelloAudio: plays the camera's audio, G.711 mu-law as it is or G.726 decoded to 16-bit linear, through
// a small ring of wave-output buffers that the device's done-callback refills from the host's packet
// queue, one packet per returned buffer. What Reeldeck and Ocuview do differently is their AudioPolicy
// (vello/audio/audio_policy.h), given at construction.
//
// Threads: construction, StartPlayback, the setters and StopPlayback run on the host's audio thread; the
// refill runs on the device's callback thread. The queued-buffer count and the stop and sound states
// are shared between them; the decoder, the packet and the PCM buffer belong to whichever thread is
// filling a buffer, and only one does at a time (StartPlayback before the chain runs, the callback after).
#ifndef VELLO_AUDIO_VELLOAUDIO_H
#define VELLO_AUDIO_VELLOAUDIO_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "lumacore/lumacore.h"
#include "platform/wave_out.h"
#include "vello/audio/audio_decoder.h"
#include "vello/audio/audio_packets.h"
#include "vello/audio/audio_policy.h"
#include "vello/audio/audio_status.h"
#include "vello/common/codec_report.h"
#include "vello/common/lum_memory.h"

namespace vello {

// How the object tells its host about failures and progress. Unset hooks fall back to the debugger
// output.
struct AudioHooks {
    std::function<void(int number)> notify;               // AudioReports::kNumbered
    std::function<void(std::string_view text)> errorBox;  // AudioReports::kMessageBoxes, titled "ERROR"
    std::function<void()> started;                        // AudioStart::kPrimeWithPackets: starting now
    // The host's diagnostic log (Reeldeck passes reeldeck::LogText).
    ReportFn diagnostic;
};

class VelloAudio {
  public:
    // Sets up the codec; Status() tells how that went (failures are already reported).
    VelloAudio(const AudioPolicy& policy, int codecId, AudioPacketSource* source, AudioHooks hooks = {});
    ~VelloAudio();
    VelloAudio(const VelloAudio&) = delete;
    VelloAudio& operator=(const VelloAudio&) = delete;

    // kOk once set up; the set-up's failure; kStopped after StopPlayback.
    AudioStatus Status() const { return status_; }

    // Opens the default output device and starts the buffer chain (failures are already reported).
    AudioStatus StartPlayback();
    // Stops the chain, closes the device and releases everything. Also run by the destructor.
    void StopPlayback();

    // Both channels at `volume` (0 to 0xFFFF); only while the device is open.
    void SetVolume(uint16_t volume);
    uint16_t GetVolume() const { return volume_.load(); }
    // 1 turns sound on, anything else off (SetMute(true) likewise). Only while the device is open.
    void SetSound(int on);
    void SetMute(bool muted);

    // Buffers currently at the device.
    int QueuedBuffers() const { return queued_.load(); }
    int BufferCount() const { return policy_.bufferCount; }
    const platform::WaveFormat& Format() const { return format_; }

  private:
    static void DeviceCallback(platform::WaveOut* device, unsigned message, void* instance,
                               platform::WaveHeader* header);
    void Refill(platform::WaveHeader* header);
    // Fills `header`'s buffer from one packet, or with silence; returns the bytes to play.
    uint32_t FillFromPacket(uint8_t* buffer);
    // Decodes one G.726 packet into pcm_; returns the samples decoded, -1 on a decoder error.
    int DecodeG726(const uint8_t* packet, int length);
    // Takes the oldest packet into packet_; returns its length or -1.
    int TakePacket();
    bool WriteBuffer(platform::WaveHeader* header);
    // Reports a failure the policy's way (`boxText` for message boxes); returns `status`.
    AudioStatus Fail(AudioStatus status, std::string_view boxText);
    AudioStatus SetUpCodec(int codecId);
    AudioStatus SetUpDecoder();
    bool MakeBuffers();
    AudioStatus StartWithShortSilences();
    AudioStatus StartWithPackets();
    void HoldChain();
    void ReleaseChain();

    const AudioPolicy policy_;
    AudioPacketSource* const source_;
    AudioHooks hooks_;
    AudioStatus status_ = AudioStatus::kOk;

    AudioCoding coding_ = AudioCoding::kG711Mulaw;
    uint32_t bufferSize_ = 0;
    uint8_t silence_ = 0;
    platform::WaveFormat format_{};
    platform::WaveOut* device_ = nullptr;

    // The fixed heap that holds the wave buffers and their headers for the object's whole life.
    std::unique_ptr<uint8_t[]> heap_;
    std::vector<platform::WaveHeader*> headers_;

    // G.726: the decoder (the primitive's 14-bit signal, played as it is) and 360 decoded samples in
    // Lumacore memory.
    AudioDecoder decoder_;
    LumBuffer<Lum16s> pcm_;
    std::vector<uint8_t> packet_;  // the packet being decoded (up to 8192 payload bytes)

    // Guards decoder_, pcm_ and packet_: the starting thread and the callback thread both decode.
    std::mutex decodeLock_;
    std::atomic<int> queued_{0};
    std::atomic<uint16_t> volume_{0};
    std::atomic<bool> stopRequested_{false};  // no buffer is written again; the chain drains
    std::atomic<bool> chainEnded_{false};     // the last buffer is back (or none went out)
    std::atomic<bool> soundOff_{false};
};

}  // namespace vello

#endif
