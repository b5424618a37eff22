// A stand-in QXR-K7 camera on loopback: the CGI commands, the Motion JPEG, MPEG-4, audio and motion-data
// streams over HTTP, RTP over UDP, Basic authentication, fault injection and an inspection channel.
//
// Every connection carries one request and runs on its own thread; streams pace themselves in real time
// and end when the client goes away, a fault ends them, or the simulator stops.
#ifndef CAMSIM_SIMULATOR_H
#define CAMSIM_SIMULATOR_H

#include <atomic>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config.h"
#include "media.h"
#include "rtp.h"
#include "scene.h"
#include "socket_util.h"
#include "state.h"

namespace camsim {

struct HttpRequest;

// Turns a picture into a JPEG file image; returns an empty vector on failure.
using JpegEncodeFn = std::function<std::vector<uint8_t>(const Picture& picture, int quality)>;

class Simulator {
  public:
    Simulator(Config config, JpegEncodeFn encoder);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Binds the HTTP port (and the RTP ports) and starts serving. False with a reason on failure.
    bool Start(std::string* error);
    // Closes the listener, ends every stream (RTP sessions send BYE) and joins every thread.
    void Stop();

    uint16_t port() const { return port_; }
    SimState& state() { return state_; }

    // Changes while running (also reachable over HTTP, see the inspection channel).
    std::string ApplyFault(const std::string& spec);
    bool SetPictureSize(int width, int height);
    Config CurrentConfig() const;
    // Interval of the RTP sender reports in milliseconds (5000 unless a test wants them faster).
    void SetSenderReportInterval(int ms) { senderReportMs_ = ms; }

  private:
    struct Connection;
    struct Refused;
    void AcceptLoop();
    // Serves `fd` on a thread of its own, or answers 503 when the connections are at the cap.
    void Admit(Fd fd, const sockaddr_in& peer);
    void Refuse(Fd fd);
    // Joins finished connections and closes refused ones that are done; the accept thread's work.
    void Reap();
    void Serve(Connection* c);
    Faults FaultsFor(const std::string& stream) const;
    bool Authorized(const HttpRequest& r) const;

    // Streams; each returns when the client is gone or the stream ends.
    void StreamMotionJpeg(Connection* c, const HttpRequest& r);
    void StreamMpeg4(Connection* c, const std::string& stream);
    void StreamAudio(Connection* c);
    void StreamMotionData(Connection* c);
    void StartUdp(Connection* c, const HttpRequest& r, bool video);
    void Stall(Connection* c);
    void AnswerSimRequest(Connection* c, const HttpRequest& r);
    void AnswerUnauthorized(Connection* c, SeenRequest seen);

    // Sleeps until `until`; false when stopping.
    bool SleepUntil(std::chrono::steady_clock::time_point until);

    mutable std::mutex configLock_;  // guards config_ and mpeg4_
    Config config_;
    std::shared_ptr<const Mpeg4Stream> mpeg4_;
    std::shared_ptr<const std::string> audioCodes_;  // set by Start() before any thread, then read-only
    JpegEncodeFn encoder_;
    SimState state_;
    Fd listener_;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> senderReportMs_{5000};
    std::mutex stopLock_;
    std::condition_variable stopped_;
    std::thread acceptThread_;
    std::mutex connectionsLock_;  // guards connections_
    std::list<std::unique_ptr<Connection>> connections_;
    std::list<Refused> refused_;  // the accept thread's own: answered 503, closed once the peer is done
    std::unique_ptr<RtpChannel> videoRtp_, audioRtp_;
};

}  // namespace camsim

#endif
