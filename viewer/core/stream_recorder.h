// Records the live stream as received into a .jpf (Motion JPEG) or .m4f (MPEG-4) series: the pictures as
// the camera sent them (no re-encoding) with its camera times, and the audio code words.
//
// Threads: the pipeline threads call the StreamTap side; it copies into a queue of at most kQueueBytes and
// returns at once (a full queue drops what comes and counts it, so a slow disk never stalls the stream).
// One writer thread of the recorder's own cuts and writes. Start and Finish are called from one thread
// (the control thread). `lock_` guards the queue, the counters and `closed_`.
#ifndef OCUVIEW_CORE_STREAM_RECORDER_H
#define OCUVIEW_CORE_STREAM_RECORDER_H

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/camera_description.h"
#include "core/stream_tap.h"

namespace ocuview {

struct RecordingFormat {
    ImageCodec codec = ImageCodec::kMotionJpeg;
    AudioCodec audio = AudioCodec::kUnknown;  // kUnknown: the stream carries no audio
    int frameRate = 30;                       // pictures per second for the movie header (1 .. 600)
    std::string cameraAddress;                // main-header texts
    std::string serial;
};

// What a recording received and wrote; `paths` are the files put in place, in series order.
struct RecordingSummary {
    std::vector<std::string> paths;
    uint64_t picturesReceived = 0;  // pictures handed to the tap (MPEG-4: VOPs cut from the stream)
    uint64_t picturesWritten = 0;
    uint64_t picturesSkipped = 0;  // not recordable: damaged JPEG, MPEG-4 before the first I-VOP
    uint64_t audioBytesReceived = 0;
    uint64_t audioBytesWritten = 0;  // audio before the first picture is not written
    uint64_t droppedItems = 0;       // refused by the full queue
    std::string error;               // the first write failure; empty when none
};

class StreamRecorder : public StreamTap {
  public:
    static constexpr std::size_t kQueueBytes = std::size_t{16} << 20;

    // `path` names the series: its directory and prefix, with or without the two digits of its first
    // number (00 when absent) and the extension; the extension is the codec's (.jpf, .m4f).
    StreamRecorder(std::string path, RecordingFormat format);
    ~StreamRecorder() override;  // Finish
    StreamRecorder(const StreamRecorder&) = delete;
    StreamRecorder& operator=(const StreamRecorder&) = delete;

    // Checks the path (an existing directory) and starts the writer thread; false with `error` set.
    [[nodiscard]] bool Start(std::string* error);
    // Refuses further parts, writes what is queued, finalises the files and ends the writer thread.
    RecordingSummary Finish();
    // The first file of the series (directory, prefix, number, extension).
    [[nodiscard]] std::string FirstPath() const;

    void OnJpegPicture(std::span<const uint8_t> jpeg, std::string_view cameraTime) override;
    void OnMpeg4Headers(std::span<const uint8_t> headers) override;
    void OnMpeg4Bytes(std::span<const uint8_t> bytes) override;
    void OnAudio(std::span<const uint8_t> codes) override;

  private:
    enum class ItemKind { kJpeg, kMpeg4Headers, kMpeg4Bytes, kAudio, kGap };
    struct Item {
        ItemKind kind;
        std::vector<uint8_t> bytes;
        std::string cameraTime;
        uint64_t receivedMs;  // steady clock: a camera time stand-in when the camera sent none
    };
    class Writer;

    void Push(ItemKind kind, std::span<const uint8_t> bytes, std::string_view cameraTime);
    void WriterLoop();

    std::string directory_, prefix_;
    int firstNumber_ = 0;
    RecordingFormat format_;

    std::mutex lock_;
    std::condition_variable signal_;
    std::deque<Item> queue_;
    std::size_t queuedBytes_ = 0;
    bool closed_ = false;
    bool gapPending_ = false;  // MPEG-4 bytes were dropped: the writer resumes at the next I-VOP
    uint64_t droppedItems_ = 0, audioReceived_ = 0, jpegReceived_ = 0;

    std::unique_ptr<Writer> writer_;  // writer thread only, until joined
    std::thread thread_;
    bool finished_ = false;
    RecordingSummary summary_;
};

}  // namespace ocuview

#endif
