// Everything the viewer core reads from a camera: the stream reply (header handling and the body cut
// into blocks, through a real socket), the multipart body, inquiry answers, RTP/RTCP datagrams and the
// motion data. The first byte picks the path.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/chunk_queue.h"
#include "core/inquiry.h"
#include "core/motion_data.h"
#include "core/multipart.h"
#include "core/session_loop.h"
#include "core/stream_request.h"
#include "core/viewer_state.h"

namespace {

class NoSink : public ocuview::FrameSink {
  public:
    void OnFrame(const ocuview::Frame&) override {}
};
class Cancel : public ocuview::CredentialsProvider {
  public:
    std::optional<ocuview::Credentials> AskCredentials(const std::string&) override { return std::nullopt; }
};

struct Viewer {
    NoSink sink;
    Cancel credentials;
    ocuview::ViewerObserver observer;
    ocuview::ViewerState v{sink, credentials, observer};
    ocuview::StreamSession& Session(int slot, ocuview::StreamKind kind, int chunk) {
        ocuview::StreamSession& s = v.sessions[static_cast<std::size_t>(slot)];
        s.viewer = &v;
        s.kind = kind;
        s.chunkBytes = chunk;
        s.channel = ocuview::kChannelJpegNet;
        s.stats = kind == ocuview::StreamKind::kAudio ? &v.audioStats : &v.videoStats;
        ocuview::NewHeap(s);
        return s;
    }
};

void Drain(ocuview::StreamSession& s) {
    uint8_t block[ocuview::kUdpChunkBytes];
    while (ocuview::TakeChunk(s, block, sizeof block) >= 0) {
    }
}

// The stream path: the bytes arrive on a socket and go through ReceiveChunk until the camera closes.
void Reply(const uint8_t* data, std::size_t size, bool audio) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return;
    Viewer viewer;
    ocuview::StreamSession& s =
        audio ? viewer.Session(1, ocuview::StreamKind::kAudio, 180)
              : viewer.Session(2, ocuview::StreamKind::kMotionJpeg, ocuview::kTcpChunkBytes);
    s.socket = fds[0];
    (void)::send(fds[1], data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
    ::close(fds[1]);
    for (int i = 0; i < 100000; ++i) {
        const int rc = ocuview::ReceiveChunk(s);
        if (rc == ocuview::kChunkRetry) break;  // the session loop would reconnect
        if (rc < ocuview::kChunkRetry) break;
        if (s.receiveFill > s.receive.size()) __builtin_trap();
        Drain(s);
    }
    ocuview::CloseSocket(s);
    ocuview::ClearQueue(s, true);
}

void Multipart(const uint8_t* data, std::size_t size) {
    Viewer viewer;
    ocuview::StreamSession& audio = viewer.Session(1, ocuview::StreamKind::kAudio, 90);
    ocuview::MultipartAssembly assembly;
    ocuview::AudioAccumulator accumulator;
    std::vector<uint8_t> part;
    for (std::size_t at = 0; at < size;) {
        const std::size_t n = std::min<std::size_t>(size - at, 1 + data[at] % 200);
        assembly.Append(data + at, n);
        at += n;
        int rc;
        while ((rc = assembly.Extract(part)) >= 0) {
            const std::string_view text(reinterpret_cast<const char*>(part.data()), part.size());
            if (ocuview::ClassifyPart(text) == ocuview::PartKind::kAudio) {
                accumulator.Add(audio, ocuview::PartPayload(text));
                Drain(audio);
            }
            if (ocuview::CameraTimeOf(text).size() >= 32) __builtin_trap();
        }
        if (rc == ocuview::kPartClosing) break;
    }
}

void Rtp(const uint8_t* data, std::size_t size) {
    Viewer viewer;
    ocuview::StreamSession& video = viewer.Session(0, ocuview::StreamKind::kVideo, ocuview::kUdpChunkBytes);
    ocuview::StreamSession& audio = viewer.Session(1, ocuview::StreamKind::kAudio, 135);
    viewer.v.videoStats.Clear();
    uint8_t buffer[ocuview::kRtpAudioBufferBytes];
    std::size_t fill = 0;
    uint64_t now = 1000;
    // Length-prefixed datagrams: one byte of length (times 8), then the bytes.
    for (std::size_t at = 0; at < size;) {
        const std::size_t n = std::min<std::size_t>(size - at - 1, std::size_t{data[at]} * 8);
        const uint8_t* d = data + at + 1;
        at += 1 + n;
        now += 20000 + (n % 7) * 1000;
        if (n > ocuview::kUdpChunkBytes) continue;
        (void)ocuview::HandleRtpDatagram(video, d, n, buffer, &fill, now);
        (void)ocuview::HandleRtpDatagram(audio, d, n, buffer, &fill, now);
        if (fill >= ocuview::kRtpAudioBufferBytes) __builtin_trap();
        (void)ocuview::HandleRtcp(d, n, viewer.v.videoStats, now);
        (void)viewer.v.videoStats.MakeReceiverReport(now, 1);
        Drain(video);
        Drain(audio);
    }
}

// The motion data in chunks of 1 to 200 bytes: levels stay in 0..2000 and the reader's buffer bounded.
void MotionData(const uint8_t* data, std::size_t size) {
    ocuview::MotionLevelReader reader;
    for (std::size_t at = 0; at < size;) {
        const std::size_t n = std::min<std::size_t>(size - at, 1 + data[at] % 200);
        const auto levels = reader.Append({data + at, n});
        at += n;
        if (reader.Held() > ocuview::MotionLevelReader::kBufferBytes) __builtin_trap();
        if (levels) {
            for (const int l : *levels)
                if (l < 0 || l > ocuview::kMotionLevelMax) __builtin_trap();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t* rest = data + 1;
    const std::size_t n = size - 1;
    switch (data[0] % 6) {
        case 0:
            Reply(rest, std::min<std::size_t>(n, 65536), false);
            break;
        case 1:
            Reply(rest, std::min<std::size_t>(n, 65536), true);
            break;
        case 2:
            Multipart(rest, n);
            break;
        case 3: {
            ocuview::CameraDescription c;
            (void)ocuview::ParseInquiry(std::string_view(reinterpret_cast<const char*>(rest), n), c);
            if (c.multicastAddress.size() > 15) __builtin_trap();
            break;
        }
        case 4:
            Rtp(rest, n);
            break;
        default:
            MotionData(rest, n);
            break;
    }
    return 0;
}
