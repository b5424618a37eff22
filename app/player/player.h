// Player: Reeldeck's playback engine. It plays one indexed series with four threads beside the main
// window's: the data supplier (reads chunk bytes unit by unit into DataPackets), one video decoder
// (MPEG-4 or Motion JPEG) and the audio thread (owns VelloAudio), coordinated by the manual-reset events
// of PlayerEvents and repositioned by the seek handshake. It reports to its PlayerHost (direct calls) and
// through the host's NotificationQueue (posted). No Qt here.
//
// Threads and locks:
//   - The commands (Open, Stop, Play, TogglePause, Rewind, Seek, Capture) are called on the host's main
//     thread only. Play, TogglePause, Rewind and Capture hold the command lock for their whole run
//     (Rewind's seek included); no wait for another thread holds any other lock.
//   - Each packet queue has its own lock, held to append or take one packet; the file manager's lists
//     have theirs. No thread holds two locks.
//   - Each worker's stop flag is raised by its owner and read by the worker; every wait of a worker also
//     ends when its stop flag rises.
//   - The shared video position is written by the decoder thread (and the supplier at the start of a
//     pass) and read by the host through WM_APP+102.
#ifndef REELDECK_PLAYER_PLAYER_H
#define REELDECK_PLAYER_PLAYER_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/qxr_file_manager.h"
#include "player/camera_records.h"
#include "player/data_packet.h"
#include "player/frame_pacer.h"
#include "player/notification_queue.h"
#include "player/player_events.h"
#include "player/player_host.h"

namespace reeldeck {

struct PlayerOptions {
    // Waits as 1 ms sleep loops instead of waits that wake at once on an event change (for comparing
    // the two; the handshake and the state reports are the same either way).
    bool pollEvents = false;
    // False shows the pictures as fast as they decode (tools that extract pictures); the measured rate
    // is still reported.
    bool paced = true;
    // Starts a worker thread. The default runs `body` on a new std::thread; false when the thread could
    // not be made (Open then reports 50 to 53). Replaceable so that those failures can be tested.
    std::function<bool(std::thread& thread, std::function<void()> body)> startThread;
};

enum class VideoKind : int { kMpeg4 = 0, kMotionJpeg = 2 };

class Player {
  public:
    Player(PlayerHost& host, NotificationQueue& posted, PlayerOptions options = {});
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Opens a recording (any file of a series) or a still picture (".bmp", ".jpg", ".jpe", ".jpeg").
    // 1 on success; 0 on failure, after the message has been reported (a still that cannot be read is not
    // reported here: the host shows 38).
    int Open(const std::string& path);
    // Ends all threads, empties the queues and clears the file manager.
    void Stop();
    void Play();
    void TogglePause();
    // Back to unit 0, at rest.
    void Rewind();
    // Repositions to `unit` (clamped to the series), paused (1) or playing (0).
    void Seek(int unit, int paused);
    // The next shown picture (or the one shown now, when paused) goes to PlayerHost::CapturePicture.
    void Capture();
    // True while all threads run and none is restarting; a command is ignored otherwise.
    bool IsActive();

    // The audio settings the main window keeps; applied to the audio module now and at each open.
    void SetVolume(uint16_t volume);
    void SetSound(bool on);

    // For the painting: an alarm seen in the last 1000 ms. An expired alarm is cleared here.
    bool SensorAlarmActive();
    bool MotionAlarmActive();

    QXRFileManager& Files() { return files_; }
    int64_t VideoPosition() const { return position_.load(); }
    int StartUnit() const { return startUnit_.load(); }
    std::string CameraTime() const;
    VideoKind Kind() const { return kind_; }
    bool EventIsSet(Event e) const { return events_.IsSet(e); }

    // Bytes in use in the two packet heaps, for the back-pressure measurements.
    std::size_t VideoHeapUsed() const { return videoQueue_.HeapUsed(); }
    std::size_t AudioHeapUsed() const { return audioQueue_.HeapUsed(); }

  private:
    // One worker thread: the thread and its stop flag (1 while not running or asked to stop).
    struct Worker {
        std::thread thread;
        std::atomic<int> stop{1};
        std::atomic<bool> alive{false};  // from the start until the thread body returns
    };
    enum WorkerIndex { kMpeg4Worker = 0, kAudioWorker = 1, kMotionJpegWorker = 2 };

    class VideoSource;
    class AudioSource;
    class Mpeg4Display;

    int Fail(int line, int number);
    int OpenStill(const std::string& path, bool bitmap);
    bool StartWorker(Worker& worker, std::function<void()> body);
    void EndWorker(Worker& worker);
    void RaiseStop(Worker& worker);
    bool Stopping(const Worker& worker) const { return worker.stop.load() != 0; }
    // Asked to stop, or already ended (on an error): nothing to wait for any more.
    bool Gone(const Worker& worker) const { return Stopping(worker) || !worker.alive.load(); }
    Worker& VideoWorker() { return workers_[kind_ == VideoKind::kMpeg4 ? kMpeg4Worker : kMotionJpegWorker]; }
    void ReportState(unsigned mask) { host_.SetButtonState(mask); }
    void ClearAlarms();
    bool AlarmActive(Event alarm, std::atomic<uint32_t>& since);

    // Threads (player_supplier.cpp, player_video.cpp, player_audio.cpp).
    void SupplierThread();
    void VideoThread(Worker& self);
    void RunMpeg4(Worker& self, const DisplayBuffer& display);
    void RunMotionJpeg(Worker& self, const DisplayBuffer& display, uint8_t* image, uint8_t* picture,
                       int pictureStep);
    void AudioThread(Worker& self);
    // Shows the picture now in the display buffer: camera records, slider, pacing, WM_APP+100,
    // FrameShown, and the pause loop.
    void ShowPicture(Worker& self, const DisplayBuffer& display, int pacerArgument,
                     const CameraRecords& records);
    void PauseLoop(Worker& self, const DisplayBuffer& display);
    bool FlushOrStop(const Worker& self) const;

    PlayerHost& host_;
    NotificationQueue& posted_;
    PlayerOptions options_;
    PlayerEvents events_;
    QXRFileManager files_;
    PacketQueue videoQueue_;
    PacketQueue audioQueue_;
    std::mutex commandLock_;  // serialises Play, TogglePause, Rewind and Capture

    Worker supplier_;
    Worker workers_[3];

    // The open recording, written by Open before the threads start and read by them afterwards.
    VideoKind kind_ = VideoKind::kMpeg4;
    int width_ = 0;
    int height_ = 0;
    int frameRate_ = 0;
    int audioType_ = 0;
    int audioPacketBytes_ = 0;
    int unitCount_ = 0;

    std::atomic<int> startUnit_{0};
    std::atomic<int64_t> position_{0};  // the shared video byte position
    FramePacer pacer_;                  // the video decoder thread's

    mutable std::mutex cameraTimeLock_;  // guards cameraTime_
    std::string cameraTime_;
    std::atomic<uint32_t> sensorSince_{0};  // tick of the last alarm record of each kind
    std::atomic<uint32_t> motionSince_{0};

    std::atomic<uint16_t> volume_{0x7FFF};
    std::atomic<bool> soundOn_{true};
};

}  // namespace reeldeck

#endif
