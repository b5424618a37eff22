#include "simulator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <span>
#include <system_error>

#include "cgi.h"
#include "http.h"
#include "platform/output_file.h"

namespace camsim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kBoundaryLine[] = "--myboundary\r\n";
// A refused connection is kept this long for its 503 to be read before it is closed, and at most this
// many are kept; beyond them a refused connection is closed at once.
constexpr auto kRefusedLinger = std::chrono::seconds(1);
constexpr std::size_t kMaxRefused = 256;

// Counts a stream's body bytes and ends the connection where a close-after fault says so.
class BodySender {
  public:
    BodySender(int fd, SimState& state, std::string stream, int64_t closeAfter)
        : fd_(fd), state_(state), stream_(std::move(stream)), limit_(closeAfter) {}

    bool Send(std::string_view data) {
        if (limit_ >= 0 && sent_ + static_cast<int64_t>(data.size()) >= limit_) {
            data = data.substr(0, static_cast<std::size_t>(limit_ - sent_));
            if (!data.empty() && SendAll(fd_, data)) Count(data.size());
            ::shutdown(fd_, SHUT_RDWR);
            return false;
        }
        if (!SendAll(fd_, data)) return false;
        Count(data.size());
        return true;
    }

  private:
    void Count(std::size_t n) {
        sent_ += static_cast<int64_t>(n);
        state_.AddBytes(stream_, n);
    }
    int fd_;
    SimState& state_;
    std::string stream_;
    int64_t limit_;
    int64_t sent_ = 0;
};

std::string Garbage(std::mt19937& random, int n) {
    std::string g(static_cast<std::size_t>(n), '\0');
    // Bytes without '-' cannot form a boundary.
    for (char& c : g) c = static_cast<char>('a' + random() % 26);
    return g;
}

std::string AudioContentType(const std::string& codec) {
    return "audio/" + codec;
}

bool PeerClosed(int fd) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return false;
    char b;
    return ::recv(fd, &b, 1, MSG_PEEK | MSG_DONTWAIT) == 0 || (p.revents & (POLLHUP | POLLERR)) != 0;
}

}  // namespace

struct Simulator::Refused {
    Fd fd;
    Clock::time_point closeBy;
};

struct Simulator::Connection {
    Fd fd;
    sockaddr_in peer{};
    std::thread thread;
    std::atomic<bool> done{false};
    bool reset = false;  // set by Serve() to end the connection with a reset
};

Simulator::Simulator(Config config, JpegEncodeFn encoder)
    : config_(std::move(config)),
      encoder_(std::move(encoder)),
      state_(static_cast<std::size_t>(std::max(1, config_.stateHistory))) {}

Simulator::~Simulator() {
    Stop();
}

bool Simulator::Start(std::string* error) {
    if (!IsCameraSize(config_.width, config_.height)) {
        *error = "picture size " + std::to_string(config_.width) + "x" + std::to_string(config_.height) +
                 " is none of 640x480, 320x240 and 160x120";
        return false;
    }
    if (!config_.mpeg4File.empty()) {
        auto stream = std::make_shared<Mpeg4Stream>();
        if (!LoadMpeg4Stream(config_.mpeg4File, stream.get(), error)) return false;
        mpeg4_ = stream;
    }
    if (!config_.audioFile.empty() &&
        !LoadAudioFile(config_.audioFile, config_.audioCodec, &audioCodes_, error))
        return false;

    sockaddr_in a{};
    if (!MakeAddress(config_.bindAddress, config_.port, &a)) {
        *error = "not an IPv4 address: " + config_.bindAddress;
        return false;
    }
    Fd l(::socket(AF_INET, SOCK_STREAM, 0));
    const int one = 1;
    setsockopt(l.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(l.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(l.get(), 64) != 0) {
        *error = "cannot listen on " + config_.bindAddress + ":" + std::to_string(config_.port) + ": " +
                 std::strerror(errno);
        return false;
    }
    socklen_t len = sizeof a;
    getsockname(l.get(), reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    config_.port = port_;

    const int audioPt = config_.audioCodec == "g711_64" ? 0 : 97;
    videoRtp_ = std::make_unique<RtpChannel>("video", 96, state_, [this] { return FaultsFor("rtp-video"); });
    audioRtp_ =
        std::make_unique<RtpChannel>("audio", audioPt, state_, [this] { return FaultsFor("rtp-audio"); });
    if (!videoRtp_->Open(config_.bindAddress, config_.ucVideoPort, error) ||
        !audioRtp_->Open(config_.bindAddress, config_.ucAudioPort, error)) {
        videoRtp_.reset();
        audioRtp_.reset();
        return false;
    }
    config_.ucVideoPort = videoRtp_->dataPort();
    config_.ucAudioPort = audioRtp_->dataPort();

    listener_ = std::move(l);
    stopping_ = false;
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    return true;
}

void Simulator::Stop() {
    if (stopping_.exchange(true)) return;
    { std::lock_guard<std::mutex> hold(stopLock_); }
    stopped_.notify_all();
    if (acceptThread_.joinable()) acceptThread_.join();
    {
        std::lock_guard<std::mutex> hold(connectionsLock_);
        for (auto& c : connections_)
            if (c->fd.valid()) ::shutdown(c->fd.get(), SHUT_RDWR);
    }
    for (auto& c : connections_) c->thread.join();
    connections_.clear();
    refused_.clear();
    if (videoRtp_) videoRtp_->Close();
    if (audioRtp_) audioRtp_->Close();
    listener_.Close();
}

std::string Simulator::ApplyFault(const std::string& spec) {
    std::lock_guard<std::mutex> hold(configLock_);
    return ApplyFaultSpec(config_, spec);
}

bool Simulator::SetPictureSize(int width, int height) {
    if (!IsCameraSize(width, height)) return false;
    std::lock_guard<std::mutex> hold(configLock_);
    config_.width = width;
    config_.height = height;
    return true;
}

Config Simulator::CurrentConfig() const {
    std::lock_guard<std::mutex> hold(configLock_);
    return config_;
}

Faults Simulator::FaultsFor(const std::string& stream) const {
    std::lock_guard<std::mutex> hold(configLock_);
    auto it = config_.faults.find(stream);
    if (it == config_.faults.end()) it = config_.faults.find("all");
    return it == config_.faults.end() ? Faults{} : it->second;
}

bool Simulator::SleepUntil(Clock::time_point until) {
    std::unique_lock<std::mutex> wait(stopLock_);
    return !stopped_.wait_until(wait, until, [this] { return stopping_.load(); });
}

void Simulator::AcceptLoop() {
    while (!stopping_) {
        pollfd p{listener_.get(), POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            sockaddr_in peer{};
            socklen_t len = sizeof peer;
            const int fd = ::accept4(listener_.get(), reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
            if (fd >= 0) {
                Admit(Fd(fd), peer);
            } else if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // Out of descriptors or memory: the connection stays queued and the listener readable,
                // so polling again at once would spin. Wait for connections to end first.
                state_.AddAcceptFailure();
                Reap();
                SleepUntil(Clock::now() + std::chrono::milliseconds(100));
            }
        }
        Reap();
    }
}

void Simulator::Admit(Fd fd, const sockaddr_in& peer) {
    int cap;
    {
        std::lock_guard<std::mutex> hold(configLock_);
        cap = config_.maxConnections;
    }
    std::lock_guard<std::mutex> hold(connectionsLock_);
    if (static_cast<int>(connections_.size()) >= cap) return Refuse(std::move(fd));
    auto c = std::make_unique<Connection>();
    c->fd = std::move(fd);
    c->peer = peer;
    Connection* raw = c.get();
    try {
        raw->thread = std::thread([this, raw] {
            Serve(raw);
            if (raw->reset) {
                // Closing with a zero linger sends the reset now (Stop() shuts descriptors down under
                // this lock, so none is closed under its feet).
                std::lock_guard<std::mutex> closing(connectionsLock_);
                raw->fd.Close();
            } else {
                // The peer sees the end at once; the descriptor is closed when reaped.
                ::shutdown(raw->fd.get(), SHUT_RDWR);
            }
            raw->done = true;
        });
    } catch (const std::system_error&) {
        return Refuse(std::move(c->fd));  // out of threads: as busy as over the cap
    }
    connections_.push_back(std::move(c));
}

void Simulator::Refuse(Fd fd) {
    const std::string answer = SimpleResponse(503, "text/plain", "Too many connections\r\n");
    // Never blocks the accept thread: the answer fits any socket buffer, and a peer that cannot take it
    // loses nothing it was promised.
    (void)::send(fd.get(), answer.data(), answer.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    ::shutdown(fd.get(), SHUT_WR);
    // Closing while the request is still arriving would reset the connection and could destroy the
    // answer before the client reads it; so the connection is drained for a while, then closed.
    if (refused_.size() < kMaxRefused) refused_.push_back({std::move(fd), Clock::now() + kRefusedLinger});
}

void Simulator::Reap() {
    {
        std::lock_guard<std::mutex> hold(connectionsLock_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            if ((*it)->done) {
                (*it)->thread.join();
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
    }
    const auto now = Clock::now();
    for (auto it = refused_.begin(); it != refused_.end();) {
        char sink[4096];
        ssize_t n;
        while ((n = ::recv(it->fd.get(), sink, sizeof sink, MSG_DONTWAIT)) > 0) {
        }
        const bool peerDone = n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
        it = (peerDone || now >= it->closeBy) ? refused_.erase(it) : std::next(it);
    }
}

bool Simulator::Authorized(const HttpRequest& r) const {
    std::string user, password;
    {
        std::lock_guard<std::mutex> hold(configLock_);
        user = config_.user;
        password = config_.password;
    }
    if (user.empty()) return true;
    const std::string* h = r.Header("authorization");
    if (h == nullptr || h->compare(0, 6, "Basic ") != 0) return false;
    const auto decoded = Base64Decode(std::string_view(*h).substr(6));
    return decoded && *decoded == user + ":" + password;
}

void Simulator::Serve(Connection* c) {
    const int fd = c->fd.get();
    int deadlineMs;
    {
        std::lock_guard<std::mutex> hold(configLock_);
        deadlineMs = config_.requestDeadlineMs;
    }
    // One deadline for the whole request, so that a client sending a byte now and then cannot hold the
    // connection (a time-out per read would restart with every byte).
    const auto deadline = Clock::now() + std::chrono::milliseconds(deadlineMs);

    std::string data;
    HttpRequest r;
    std::size_t used = 0;
    bool continued = false;
    for (;;) {
        const ParseResult pr = ParseHttpRequest(data, &r, &used);
        if (pr == ParseResult::kComplete) break;
        if (pr == ParseResult::kBad) {
            SendAll(fd, SimpleResponse(400, "text/plain", "Bad request\r\n"));
            return;
        }
        // Clients that wait for permission to send their body get it.
        if (!continued && data.find("\r\n\r\n") != std::string::npos) {
            std::string head = data.substr(0, data.find("\r\n\r\n"));
            std::transform(head.begin(), head.end(), head.begin(),
                           [](unsigned char ch) { return std::tolower(ch); });
            if (head.find("expect: 100-continue") != std::string::npos) {
                SendAll(fd, "HTTP/1.1 100 Continue\r\n\r\n");
                continued = true;
            }
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) == 0) {
            SendAll(fd, SimpleResponse(408, "text/plain", "Request timeout\r\n"));
            return;
        }
        char buf[4096];
        const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
        if (n <= 0 || stopping_) return;
        data.append(buf, static_cast<std::size_t>(n));
    }
    r.peerAddress = HostText(c->peer);

    SeenRequest seen{r.method, r.target, r.path, r.peerAddress, true, 200};
    if (r.path.rfind("/sim/", 0) == 0) {
        // Inspection and faults are the camera's own business: with credentials set they need them.
        if (!Authorized(r)) return AnswerUnauthorized(c, seen);
        state_.AddRequest(seen);
        AnswerSimRequest(c, r);
        return;
    }

    const bool udp = r.QueryValue("UdpMode").has_value();
    std::string stream;
    if (r.path.rfind("/command/", 0) == 0)
        stream = "cgi";
    else if (r.path == "/image")
        stream = "image";
    else if (r.path == "/mpeg4")
        stream = udp ? "rtp-video" : "mpeg4";
    else if (r.path == "/mdimage")
        stream = "mdimage";
    else if (r.path == "/audio")
        stream = udp ? "rtp-audio" : "audio";
    else if (r.path == "/mddata.cgi")
        stream = "mddata";

    const Faults f = FaultsFor(stream.empty() ? "all" : stream);
    if (f.refuse) {
        const linger reset{1, 0};  // close with a reset, as a refusing camera would
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        c->reset = true;
        seen.status = 0;
        state_.AddRequest(seen);
        return;
    }
    if (f.unauthorizedForever || !Authorized(r)) return AnswerUnauthorized(c, seen);
    if (f.httpStatus != 0) {
        seen.status = f.httpStatus;
        state_.AddRequest(seen);
        SendAll(fd, SimpleResponse(f.httpStatus, "text/plain",
                                   f.httpStatus == 400 ? "Bad request\r\n" : "Service unavailable\r\n"));
        return;
    }

    if (stream == "cgi") {
        std::string answer;
        int status = 200;
        {
            std::lock_guard<std::mutex> hold(configLock_);
            if (r.path == "/command/inquiry.cgi") {
                answer = AnswerInquiry(config_, r.body);
            } else if (r.path == "/command/main.cgi") {
                if (TriggerOf(r.body).empty()) status = 400;
            } else if (r.path == "/command/motiondetection.cgi") {
                if (!ApplyMotionDetection(config_, r.body)) status = 400;
            } else {
                status = 404;
            }
        }
        if (status != 404) state_.AddCommand({r.path.substr(9, r.path.size() - 13), r.body});
        seen.status = status;
        state_.AddRequest(seen);
        SendAll(fd, SimpleResponse(status, "text/plain", status == 200 ? answer : "Error\r\n"));
        return;
    }
    if (stream.empty()) {
        seen.status = 404;
        state_.AddRequest(seen);
        SendAll(fd, SimpleResponse(404, "text/plain", "Not found\r\n"));
        return;
    }
    state_.AddRequest(seen);
    if (udp) {
        StartUdp(c, r, stream == "rtp-video");
        return;
    }
    state_.StreamStarted(stream);
    if (stream == "image")
        StreamMotionJpeg(c, r);
    else if (stream == "mpeg4" || stream == "mdimage")
        StreamMpeg4(c, stream);
    else if (stream == "audio")
        StreamAudio(c);
    else if (stream == "mddata")
        StreamMotionData(c);
    state_.StreamEnded(stream);
}

void Simulator::AnswerUnauthorized(Connection* c, SeenRequest seen) {
    std::string realm;
    {
        std::lock_guard<std::mutex> hold(configLock_);
        realm = config_.realm;
    }
    seen.authorized = false;
    seen.status = 401;
    state_.AddRequest(seen);
    SendAll(c->fd.get(), SimpleResponse(401, "text/html", "<html><body>401 Unauthorized</body></html>\r\n",
                                        "WWW-Authenticate: Basic realm=\"" + realm + "\"\r\n"));
}

void Simulator::Stall(Connection* c) {
    while (!stopping_ && !PeerClosed(c->fd.get())) SleepUntil(Clock::now() + std::chrono::milliseconds(50));
}

void Simulator::StreamMotionJpeg(Connection* c, const HttpRequest& r) {
    const Config cfg = CurrentConfig();
    const Faults f = FaultsFor("image");
    int rate = cfg.jpegFrameRate;
    if (const auto speed = r.QueryValue("speed")) {
        const int asked = std::atoi(speed->c_str());
        if (asked >= 1) rate = std::min(asked, cfg.jpegFrameRate);
    }
    const bool withAudio = cfg.audioIn && r.QueryValue("AudioIn") == std::optional<std::string>("on");

    const int fd = c->fd.get();
    if (!SendAll(fd,
                 "HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=myboundary\r\n"
                 "Cache-Control: no-cache\r\n\r\n"))
        return;
    if (f.stall) return Stall(c);

    BodySender out(fd, state_, "image", f.closeAfterBytes);
    std::mt19937 random(7);
    AudioFrames audio(cfg.audioCodec, audioCodes_);
    const auto picturePeriod = std::chrono::microseconds(1000000 / rate);
    const auto audioPeriod = std::chrono::milliseconds(audio.frameMilliseconds());
    auto nextPicture = Clock::now(), nextAudio = Clock::now();
    uint64_t index = 0;
    bool first = true;
    while (!stopping_) {
        const auto now = Clock::now();
        if (withAudio && now >= nextAudio) {
            const std::string frame = audio.Next();
            std::string part = f.garbageBytes > 0 ? Garbage(random, f.garbageBytes) : std::string();
            part += kBoundaryLine;
            part += "Content-Type: " + AudioContentType(cfg.audioCodec) + "\r\n";
            if (!f.noDataLen)
                part += "DataLen: " + std::to_string(f.hugeDataLen ? 99999999 : frame.size()) + "\r\n";
            part += "\r\n" + frame + "\r\n";
            if (!out.Send(part)) return;
            nextAudio += audioPeriod;
            continue;
        }
        if (now >= nextPicture) {
            const Config live = CurrentConfig();  // the size may change while streaming
            const std::string time = CameraTime(std::chrono::system_clock::now());
            std::vector<uint8_t> jpeg =
                encoder_ ? encoder_(RenderScene(live.width, live.height, index++, time), live.jpegQuality)
                         : std::vector<uint8_t>();
            if (f.badPicture) {
                // Keep the start of image marker and destroy everything after it.
                jpeg.resize(std::max<std::size_t>(jpeg.size(), 64));
                for (std::size_t i = 2; i < jpeg.size(); ++i) jpeg[i] = static_cast<uint8_t>(0xA5 ^ i);
            }
            // The first boundary line opens the body: the viewer's header search ends just after it.
            std::string part =
                (f.garbageBytes > 0 && !first) ? Garbage(random, f.garbageBytes) : std::string();
            part += kBoundaryLine;
            part += "Content-Type: image/jpeg\r\n";
            if (!f.noDataLen)
                part += "DataLen: " + std::to_string(f.hugeDataLen ? 99999999 : jpeg.size()) + "\r\n";
            part += "CamTim: " + time + "\r\n\r\n";
            part.append(reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
            part += "\r\n";
            first = false;
            if (!out.Send(part)) return;
            nextPicture += picturePeriod;
            continue;
        }
        if (PeerClosed(fd)) return;
        if (!SleepUntil(withAudio ? std::min(nextPicture, nextAudio) : nextPicture)) return;
    }
}

void Simulator::StreamMpeg4(Connection* c, const std::string& stream) {
    std::shared_ptr<const Mpeg4Stream> m4;
    int rate;
    {
        std::lock_guard<std::mutex> hold(configLock_);
        m4 = mpeg4_;
        rate = config_.mpeg4FrameRate > 0 ? config_.mpeg4FrameRate : 30;
    }
    const int fd = c->fd.get();
    if (!m4) {
        SendAll(fd, SimpleResponse(503, "text/plain", "No MPEG-4 source configured\r\n"));
        return;
    }
    const Faults f = FaultsFor(stream);
    if (!SendAll(fd, "HTTP/1.0 200 OK\r\nContent-Type: video/mp4v-es\r\nCache-Control: no-cache\r\n\r\n"))
        return;
    if (f.stall) return Stall(c);
    BodySender out(fd, state_, stream, f.closeAfterBytes);
    if (!out.Send(m4->config)) return;
    const auto period = std::chrono::microseconds(1000000 / rate);
    auto due = Clock::now();
    for (std::size_t i = 0; !stopping_; i = (i + 1) % m4->pictures.size()) {
        if (!out.Send(WithCameraTime(m4->pictures[i], CameraTime(std::chrono::system_clock::now())))) return;
        due += period;
        if (PeerClosed(fd) || !SleepUntil(due)) return;
    }
}

void Simulator::StreamAudio(Connection* c) {
    const Config cfg = CurrentConfig();
    const Faults f = FaultsFor("audio");
    const int fd = c->fd.get();
    if (!cfg.audioIn) {
        SendAll(fd, SimpleResponse(503, "text/plain", "Audio input is off\r\n"));
        return;
    }
    if (!SendAll(fd, "HTTP/1.0 200 OK\r\nContent-Type: " + AudioContentType(cfg.audioCodec) + "\r\n\r\n"))
        return;
    if (f.stall) return Stall(c);
    BodySender out(fd, state_, "audio", f.closeAfterBytes);
    AudioFrames audio(cfg.audioCodec, audioCodes_);
    auto due = Clock::now();
    while (!stopping_) {
        if (!out.Send(audio.Next())) return;
        due += std::chrono::milliseconds(audio.frameMilliseconds());
        if (PeerClosed(fd) || !SleepUntil(due)) return;
    }
}

void Simulator::StreamMotionData(Connection* c) {
    const Faults f = FaultsFor("mddata");
    const int fd = c->fd.get();
    if (!SendAll(fd,
                 "HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=myboundary\r\n\r\n"))
        return;
    if (f.stall) return Stall(c);
    BodySender out(fd, state_, "mddata", f.closeAfterBytes);
    std::mt19937 random(7);
    const auto start = Clock::now();
    auto due = start;
    while (!stopping_) {
        const Config cfg = CurrentConfig();
        const double t = std::chrono::duration<double>(Clock::now() - start).count();
        // A record of 120 bytes after the boundary line; the four levels are 6-digit fields at offsets 62,
        // 78, 94 and 110 from the record's start.
        std::string record(120, ' ');
        const std::string head = "Content-Type: text/plain\r\n\r\n";
        record.replace(0, head.size(), head);
        for (int w = 0; w < 4; ++w) {
            const DetectionWindow& win = cfg.windows[static_cast<std::size_t>(w)];
            double level = win.levelBase;
            if (win.levelPeriodSeconds > 0)
                level += win.levelAmplitude * std::sin(2 * M_PI * t / win.levelPeriodSeconds);
            const int v = std::clamp(static_cast<int>(std::lround(level)), 0, 999999);
            char field[16];
            std::snprintf(field, sizeof field, "Level%d=%06d\r\n", w + 1,
                          v);  // label 7 bytes, value 6, CR LF
            record.replace(static_cast<std::size_t>(55 + 16 * w), 15, field);
        }
        record.replace(118, 2, "\r\n");
        const std::string garbage = f.garbageBytes > 0 ? Garbage(random, f.garbageBytes) : std::string();
        if (!out.Send(garbage + std::string(kBoundaryLine) + record)) return;
        due += std::chrono::milliseconds(1000 / std::max(1, cfg.motionDataPerSecond));
        if (PeerClosed(fd) || !SleepUntil(due)) return;
    }
}

void Simulator::StartUdp(Connection* c, const HttpRequest& r, bool video) {
    const Config cfg = CurrentConfig();
    const int fd = c->fd.get();
    const std::string mode = r.QueryValue("UdpMode").value_or("");
    sockaddr_in dest{};
    bool multicast = false;
    if (mode == "unicast") {
        const int port = std::atoi(r.QueryValue("UdpPort").value_or("0").c_str());
        if (port < 1 || port > 65534 || !MakeAddress(r.peerAddress, static_cast<uint16_t>(port), &dest)) {
            SendAll(fd, SimpleResponse(400, "text/plain", "Bad request\r\n"));
            return;
        }
    } else if (mode == "multicast" && cfg.multicast) {
        multicast = true;
        if (!MakeAddress(cfg.multicastAddress, video ? cfg.mcVideoPort : cfg.mcAudioPort, &dest)) {
            SendAll(fd, SimpleResponse(503, "text/plain", "Bad multicast address\r\n"));
            return;
        }
    } else {
        SendAll(fd, SimpleResponse(mode == "multicast" ? 503 : 400, "text/plain", "Unsupported mode\r\n"));
        return;
    }

    std::shared_ptr<const Mpeg4Stream> m4;
    {
        std::lock_guard<std::mutex> hold(configLock_);
        m4 = mpeg4_;
    }
    if (video && !m4) {
        SendAll(fd, SimpleResponse(503, "text/plain", "No MPEG-4 source configured\r\n"));
        return;
    }
    UnitSource source;
    std::string encoding, config;
    int pt;
    if (video) {
        const uint32_t ticks =
            8000u / static_cast<uint32_t>(cfg.mpeg4FrameRate > 0 ? cfg.mpeg4FrameRate : 30);
        source = [m4, ticks, i = std::size_t{0}, first = true](std::string* unit, uint32_t* t) mutable {
            *unit = (first ? m4->config : std::string()) +
                    WithCameraTime(m4->pictures[i], CameraTime(std::chrono::system_clock::now()));
            first = false;
            i = (i + 1) % m4->pictures.size();
            *t = ticks;
            return true;
        };
        encoding = "MP4V-ES/8000";
        config = m4->config;
        pt = 96;
    } else {
        auto frames = std::make_shared<AudioFrames>(cfg.audioCodec, audioCodes_);
        source = [frames](std::string* unit, uint32_t* t) {
            *unit = frames->Next();
            *t = static_cast<uint32_t>(frames->samplesPerFrame());
            return true;
        };
        if (cfg.audioCodec == "g711_64") {
            encoding = "PCMU/8000";
            pt = 0;
        } else {
            // The camera packs G.726 codes first in the most significant bits.
            encoding = "AAL2-G726-" + cfg.audioCodec.substr(5) + "/8000";
            pt = 97;
        }
    }
    if (!(video ? videoRtp_ : audioRtp_)
             ->StartSession(dest, multicast, std::move(source), senderReportMs_, cfg.rtcpTimeoutMs,
                            cfg.maxRtpSessionsPerClient)) {
        SendAll(fd, SimpleResponse(503, "text/plain", "Too many RTP sessions for this client\r\n"));
        return;
    }
    if (!cfg.sdpFile.empty()) {
        const std::string sdp = SessionDescription(video ? "video" : "audio", HostText(dest),
                                                   ntohs(dest.sin_port), pt, encoding, config);
        std::string error;
        if (platform::WriteFile(cfg.sdpFile,
                                std::span(reinterpret_cast<const uint8_t*>(sdp.data()), sdp.size()),
                                &error) != platform::FileStatus::kOk)
            std::fprintf(stderr, "qxrcamsim: %s\n", error.c_str());
    }
    SendAll(fd, SimpleResponse(200, "text/plain", "OK\r\n"));
}

void Simulator::AnswerSimRequest(Connection* c, const HttpRequest& r) {
    const int fd = c->fd.get();
    if (r.path == "/sim/state") {
        SendAll(fd, SimpleResponse(200, "application/json", state_.ToJson()));
    } else if (r.path == "/sim/fault") {
        const std::string spec = !r.body.empty() ? r.body : r.QueryValue("spec").value_or("");
        const std::string err = ApplyFault(spec);
        SendAll(fd,
                SimpleResponse(err.empty() ? 200 : 400, "text/plain", err.empty() ? "OK\r\n" : err + "\r\n"));
    } else if (r.path == "/sim/size") {
        const bool ok = SetPictureSize(std::atoi(r.QueryValue("width").value_or("0").c_str()),
                                       std::atoi(r.QueryValue("height").value_or("0").c_str()));
        SendAll(fd, SimpleResponse(ok ? 200 : 400, "text/plain",
                                   ok ? "OK\r\n" : "Sizes: 640x480, 320x240, 160x120\r\n"));
    } else {
        SendAll(fd, SimpleResponse(404, "text/plain", "Not found\r\n"));
    }
}

}  // namespace camsim
