// The one record an Ocuview viewer owns and every one of its threads reaches through a pointer: camera
// address and credentials, status and overlay text, the camera description, the six stream sessions,
// the eleven-slot thread table with stop flags, the queue locks and the drawing lock.
//
// Locks: `videoLock` guards the queues of the video (slot 0) and Motion JPEG (slot 2) sessions, and of the
// RTCP sessions; `audioLock` the audio queue (slot 1) and the Motion JPEG thread's audio accumulation;
// `motionLock` the motion-data queue (slot 5); `drawLock` the picture handed to the frame sink. Each is
// held only to add or remove one block (or to hand over one picture); no thread holds two.
// `authLock` guards the authorization line, realm and the proxy fields; `statusLock` the overlay text.
// Flags written by one thread and polled by others are atomics.
#ifndef OCUVIEW_CORE_VIEWER_STATE_H
#define OCUVIEW_CORE_VIEWER_STATE_H

#include <netinet/in.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/camera_description.h"
#include "core/credentials.h"
#include "core/frame_sink.h"
#include "core/rtp_stats.h"
#include "core/stream_tap.h"
#include "core/viewer.h"
#include "core/viewer_events.h"
#include "platform/fixed_heap.h"

namespace ocuview {

// Bytes of each session's private heap: the data in flight between a receiver and its consumer.
inline constexpr std::size_t kSessionHeapBytes = 20480;
inline constexpr int kTcpChunkBytes = 128;
inline constexpr int kUdpChunkBytes = 1514;
// Audio blocks waiting above this count make the producer drop the oldest kAudioDropCount.
inline constexpr int kAudioQueueLimit = 25;
inline constexpr int kAudioDropCount = 10;

// One received chunk, allocated from the producing session's heap: a pointer to itself, the byte count,
// then the bytes. A block whose first word does not point to itself is not a block and is discarded.
struct ChunkBlock {
    ChunkBlock* self;
    uint32_t count;
    uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(this + 1); }
    const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(this + 1); }
    bool WellFormed() const { return self == this; }
};

enum class StreamKind : int { kVideo = 0, kAudio = 1, kMotionJpeg = 2, kMotionData = 10 };
enum class Transport : int { kNone = 0, kTcp = 1, kUdp = 2, kRtcp = 3 };

// Channels: the thread-table slot of each thread (and the stop flag that ends it).
enum Channel : int {
    kChannelMpeg4Decoder = 0,
    kChannelAudioPlayer = 1,
    kChannelMotionJpeg = 2,
    kChannelMotionDataThread = 3,
    kChannelVideoNet = 5,
    kChannelAudioNet = 6,
    kChannelJpegNet = 7,
    kChannelVideoRtcp = 8,
    kChannelAudioRtcp = 9,
    kChannelMotionDataNet = 10,
};
inline constexpr int kThreadSlots = 11;
// The session slot of the motion data (the motion-detection view's second stream).
inline constexpr std::size_t kMotionDataSlot = 5;

struct ViewerState;
class StreamRecorder;

// One stream: kind, transport, socket and addresses, private heap, queue of chunks.
struct StreamSession {
    StreamKind kind = StreamKind::kVideo;
    Transport transport = Transport::kNone;
    int chunkBytes = kTcpChunkBytes;
    bool headerPassed = false;  // the reply header has been passed (network thread only)
    bool replyLineSeen = false;
    std::atomic<bool> reconnectRequest{false};
    int channel = 0;
    ViewerState* viewer = nullptr;
    StreamSession* partner = nullptr;  // closed together with this one (Motion JPEG's audio)
    RtpStats* stats = nullptr;

    // The heap and the queue are replaced and read under the session's queue lock (QueueLock()).
    std::unique_ptr<platform::FixedHeap> heap;
    std::deque<ChunkBlock*> queue;

    // The socket: the network thread opens and closes it; a stopper may shut it down to end a blocking
    // receive. `socketLock` makes close and shutdown exclusive, so a shutdown never hits a reused number.
    std::mutex socketLock;
    int socket = -1;
    sockaddr_in local{};
    sockaddr_in remote{};
    bool multicast = false;

    // The receive buffer of the stream path: larger than any chunk, plus room for the header search.
    std::array<uint8_t, 4096> receive{};
    std::size_t receiveFill = 0;
    bool pendingBody = false;  // receive[0, receiveFill) is body that found no room in the heap yet

    std::mutex& QueueLock() const;
    std::condition_variable& QueueSignal() const;
};

// One slot of the thread table.
struct ThreadSlot {
    std::thread thread;
    // 1 asks the thread to end; the thread clears it as its last act.
    std::atomic<uint32_t> stop{0};
    std::atomic<bool> running{false};
};

struct ViewerState {
    ViewerState(FrameSink& s, CredentialsProvider& c, ViewerObserver& o)
        : sink(s), credentials(c), observer(o) {}

    FrameSink& sink;
    CredentialsProvider& credentials;
    ViewerObserver& observer;
    ViewerSettings settings;

    // Camera address (Part of the request path).
    std::string cameraHost;
    std::string cameraPort = "80";
    std::string hostField;  // host, or host:port when the port is not "80"

    // Guarded by authLock.
    mutable std::mutex authLock;
    std::string realm = "Marlo Network Camera";
    std::string authorizationLine;  // "Authorization: Basic ...\r\n" or empty
    std::string proxyHost, proxyPort;

    // The credential dialog: one asker at a time; others wait for it.
    std::atomic<bool> dialogBusy{false};
    std::atomic<int> authAttempts{0};  // 0..3 accepted dialogs, 4 given up
    std::atomic<int> statusCode{0};
    std::atomic<bool> ended{false};
    std::atomic<int> errorCount{0};
    std::atomic<int> fallbackRequest{0};  // 0 none, 1 to UDP, 2 to TCP
    std::atomic<bool> stopping{false};
    std::atomic<bool> playing{false};

    // Camera description (written by the start-up before threads run; read-only while streaming).
    CameraDescription camera;
    ViewerKind kind = ViewerKind::kFull;
    SessionMode sessionMode = SessionMode::kTcp;
    std::atomic<int> frameRate{30};   // current Motion JPEG rate
    std::atomic<int> requestRate{0};  // the rate of the running picture request (JPEG network thread)
    bool audioOn = false;
    std::atomic<int> volume{100};  // 0..100, applied by the audio player thread
    std::atomic<bool> muted{false};

    // Published bound data ports of the UDP sessions (0 until bound).
    std::atomic<int> videoLocalPort{0}, audioLocalPort{0};
    RtpStats videoStats, audioStats;

    std::array<StreamSession, 6> sessions;
    std::array<ThreadSlot, kThreadSlots> threads;

    // Stop requests wake threads that only wait for their stop flag.
    std::mutex stopLock;
    std::condition_variable stopSignal;

    // Queue locks and their signals (a consumer sleeps on the signal instead of polling).
    std::mutex videoLock, audioLock, motionLock;
    std::condition_variable videoSignal, audioSignal, motionSignal;
    // Guards the picture handed to the sink and the picture size below.
    std::mutex drawLock;
    int pictureWidth = 0, pictureHeight = 0;
    std::atomic<bool> sizeKnown{false};
    uint64_t frameSequence = 0;

    // The overlay text (camera time) and the copy last shown by Tick; guarded by statusLock.
    mutable std::mutex statusLock;
    std::string overlayText;
    std::string shownOverlay;

    // The recording tap: set and cleared by the control thread; a pipeline thread copies the pointer
    // under tapLock and calls it with no lock held (a call may follow the clearing: the tap ignores it).
    std::mutex tapLock;
    std::shared_ptr<StreamTap> tap;
    std::atomic<bool> tapped{false};           // spares the lock while nothing records
    std::shared_ptr<StreamRecorder> recorder;  // control thread only

    // Tunables that tests shorten; the defaults are the viewer's real limits.
    int connectTimeoutMs = 30000;   // TCP receive time-out of the stream path
    int commandTimeoutMs = 30000;   // watchdog of the command path
    int threadStopWaitMs = 4000;    // how long StopStreams waits for each thread
    int stopSettleMs = 500;         // pause at the end of StopStreams
    int udpTimeoutLimit = 30;       // UDP receive time-outs in a row before falling back to TCP
    int senderReportSilenceS = 60;  // seconds without a sender report that end an RTCP session
    int udpBasePortVideo = 50000, udpBasePortAudio = 50002;
};

// The recording tap, or null.
inline std::shared_ptr<StreamTap> CurrentTap(ViewerState& v) {
    if (!v.tapped.load()) return nullptr;
    std::lock_guard<std::mutex> hold(v.tapLock);
    return v.tap;
}

}  // namespace ocuview

#endif
