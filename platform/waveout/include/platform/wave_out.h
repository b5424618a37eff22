// Waveform-audio output: the buffer-queue interface the audio players were designed against.
//
// The application opens a device with a format and a done-callback, prepares buffer headers, writes
// them, and gets each one back through the callback (kWomDone) once the device has played it. The
// callback runs on a thread of its own that the device owns, one call at a time, in the order the
// buffers were written; it may unprepare, refill, prepare and write buffers again. It must not close
// the device.
//
// Backends:
//   - null (built in): plays nothing, but returns each buffer when it would have finished playing, in
//     real time.
//   - WAV file (built in): writes what would be heard (16-bit linear, volume applied) to a file, paced in
//     real time like the null backend, or as fast as buffers arrive.
//   - devices, registered by the programs that play sound (RegisterWaveBackend): "sdl", the system's
//     sound device (platform/sdl_wave_out.h, library platform_sdl_audio).
// The process-wide default is chosen by SetWaveOutBackend() or, failing that, by the environment
// variable QXR_AUDIO_OUTPUT: "null", "wav:<path>" or a registered name; unset (or a name not
// registered) means the first device registered. With none, WaveOutOpen fails with kMmNoDriver.
#ifndef PLATFORM_WAVE_OUT_H
#define PLATFORM_WAVE_OUT_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

// Result codes.
enum MmResult : uint32_t {
    kMmNoError = 0,
    kMmError = 1,
    kMmBadDeviceId = 2,
    kMmInvalidHandle = 5,
    kMmNoDriver = 6,
    kMmNoMemory = 7,
    kMmInvalidParam = 11,
    kWaveBadFormat = 32,
    kWaveStillPlaying = 33,
    kWaveUnprepared = 34,
};

// Callback messages.
constexpr unsigned kWomOpen = 0x3BB;
constexpr unsigned kWomClose = 0x3BC;
constexpr unsigned kWomDone = 0x3BD;

// Format tags accepted.
constexpr uint16_t kWaveFormatPcm = 1;
constexpr uint16_t kWaveFormatMulaw = 7;

struct WaveFormat {
    uint16_t formatTag;
    uint16_t channels;
    uint32_t samplesPerSec;
    uint32_t avgBytesPerSec;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
    uint16_t extraSize;
};

// Header flags.
constexpr uint32_t kWhdrDone = 0x01;
constexpr uint32_t kWhdrPrepared = 0x02;
constexpr uint32_t kWhdrInQueue = 0x10;

// One buffer as the application hands it to the device. The device reads `data[0..bufferLength)` and
// changes only `flags`.
struct WaveHeader {
    uint8_t* data;
    uint32_t bufferLength;
    uint32_t bytesRecorded;
    uintptr_t user;
    uint32_t flags;
    uint32_t loops;
    WaveHeader* next;
    uintptr_t reserved;
};

class WaveOut;

// The done-callback: device, message, the instance value given at open, and the header (kWomDone only).
using WaveOutProc = void (*)(WaveOut* device, unsigned message, void* instance, WaveHeader* header);

// Where a device's bytes go and how fast they are consumed. A backend pushes whole buffers and reports
// how many bytes have been played so far.
class WaveSink {
  public:
    virtual ~WaveSink() = default;
    // Queues `size` bytes in the device's format, with the volume (low word left, high word right).
    virtual void Push(const uint8_t* data, uint32_t size, uint32_t volume) = 0;
    // Bytes played since the sink was made or last flushed (never more than pushed).
    virtual uint64_t Played() = 0;
    // Drops whatever is queued and not yet played; Played() starts again from 0.
    virtual void Flush() = 0;
    virtual void SetPaused(bool paused) = 0;
};

// Makes a sink for a format, or returns null when the backend cannot play it (no device, no file).
using WaveSinkFactory = std::function<std::unique_ptr<WaveSink>(const WaveFormat& format)>;

WaveSinkFactory NullWaveBackend();
// `realTime` false: buffers count as played as soon as they are written to the file.
WaveSinkFactory WavFileBackend(const std::string& path, bool realTime = true);

// Registers a device backend under `name` for QXR_AUDIO_OUTPUT (an empty factory removes it). The first
// one registered is the default device.
void RegisterWaveBackend(const std::string& name, WaveSinkFactory factory);

// Sets the process-wide default backend (an empty function returns to QXR_AUDIO_OUTPUT); returns the
// previous one.
WaveSinkFactory SetWaveOutBackend(WaveSinkFactory factory);

// The device interface. Opening uses the default backend.
MmResult WaveOutOpen(WaveOut** device, const WaveFormat& format, WaveOutProc callback, void* instance);
MmResult WaveOutPrepareHeader(WaveOut* device, WaveHeader* header);
MmResult WaveOutUnprepareHeader(WaveOut* device, WaveHeader* header);
MmResult WaveOutWrite(WaveOut* device, WaveHeader* header);
// Stops playback and returns every queued buffer through the callback, marked done.
MmResult WaveOutReset(WaveOut* device);
MmResult WaveOutPause(WaveOut* device);
MmResult WaveOutRestart(WaveOut* device);
// Fails with kWaveStillPlaying while buffers are queued; otherwise ends the device's threads.
MmResult WaveOutClose(WaveOut* device);
MmResult WaveOutGetVolume(WaveOut* device, uint32_t* volume);
MmResult WaveOutSetVolume(WaveOut* device, uint32_t volume);

// 16-bit linear value of a mu-law code, and one buffer's samples scaled by a 16-bit volume
// (0xFFFF leaves them alone, 0x8000 halves them).
int16_t MulawToLinear16(uint8_t code);
int16_t ApplyVolume(int16_t sample, uint16_t volume);

}  // namespace platform

#endif
