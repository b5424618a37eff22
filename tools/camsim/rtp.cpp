#include "rtp.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <cstring>
#include <random>
#include <system_error>

namespace camsim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxPayload = 1400;            // keeps every datagram under the viewer's 1514 bytes
constexpr uint64_t kNtpEpochOffset = 2208988800ULL;  // seconds from 1900 to 1970

void Put16(std::string& s, uint32_t v) {
    s.push_back(static_cast<char>(v >> 8));
    s.push_back(static_cast<char>(v));
}

void Put32(std::string& s, uint32_t v) {
    Put16(s, v >> 16);
    Put16(s, v & 0xFFFF);
}

uint32_t Get32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

}  // namespace

struct RtpChannel::Session {
    sockaddr_in destination{};
    sockaddr_in rtcpDestination{};
    bool multicast = false;
    UnitSource source;
    int senderReportMs = 5000;
    Faults faults;
    uint32_t ssrc = 0;
    uint16_t sequence = 0;
    uint32_t timestamp = 0;
    uint32_t packets = 0, octets = 0;
    int rtcpTimeoutMs = 0;  // 0: no time-out (multicast)
    // Steady-clock nanoseconds when the receiver was last heard on RTCP (set by the RTCP receiver).
    std::atomic<int64_t> lastHeard{0};
    std::atomic<bool> stop{false};
    std::atomic<bool> finished{false};  // the thread has sent its BYE and may be joined
    std::mutex wakeLock;
    std::condition_variable wake;
    std::thread thread;
};

RtpChannel::RtpChannel(std::string medium, int payloadType, SimState& state, std::function<Faults()> faults)
    : medium_(std::move(medium)), payloadType_(payloadType), state_(state), faults_(std::move(faults)) {}

RtpChannel::~RtpChannel() {
    Close();
}

bool RtpChannel::Open(const std::string& bindAddress, uint16_t dataPort, std::string* error) {
    sockaddr_in a{};
    if (!MakeAddress(bindAddress, 0, &a)) {
        *error = "bad bind address " + bindAddress;
        return false;
    }
    // Binds the pair (port, port + 1); port 0 asks for any free even pair.
    Fd data, rtcp;
    auto bindPair = [&](uint16_t port) {
        data = Fd(::socket(AF_INET, SOCK_DGRAM, 0));
        rtcp = Fd(::socket(AF_INET, SOCK_DGRAM, 0));
        a.sin_port = htons(port);
        if (::bind(data.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return false;
        a.sin_port = htons(static_cast<uint16_t>(port + 1));
        return ::bind(rtcp.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    };
    bool bound = false;
    if (dataPort != 0) {
        bound = bindPair(dataPort);
    } else {
        std::random_device rd;
        for (int attempt = 0; attempt < 200 && !bound; ++attempt) {
            dataPort = static_cast<uint16_t>(20000 + 2 * (rd() % 20000));
            bound = bindPair(dataPort);
        }
    }
    if (!bound) {
        *error = medium_ + " RTP ports " + std::to_string(dataPort) + "/" + std::to_string(dataPort + 1) +
                 ": " + std::strerror(errno);
        return false;
    }
    // Multicast leaves through the loopback interface and loops back to local receivers.
    in_addr loopback{};
    inet_pton(AF_INET, "127.0.0.1", &loopback);
    const unsigned char ttl = 1, loop = 1;
    for (int fd : {data.get(), rtcp.get()}) {
        setsockopt(fd, SOL_IP, IP_MULTICAST_IF, &loopback, sizeof loopback);
        setsockopt(fd, SOL_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
        setsockopt(fd, SOL_IP, IP_MULTICAST_LOOP, &loop, sizeof loop);
    }
    data_ = std::move(data);
    rtcp_ = std::move(rtcp);
    dataPort_ = dataPort;
    closing_ = false;
    receiver_ = std::thread([this] { ReceiveRtcp(); });
    return true;
}

bool RtpChannel::StartSession(const sockaddr_in& destination, bool multicast, UnitSource source,
                              int senderReportMs, int rtcpTimeoutMs, int maxPerClient) {
    auto s = std::make_unique<Session>();
    s->destination = destination;
    s->rtcpDestination = destination;
    s->rtcpDestination.sin_port = htons(static_cast<uint16_t>(ntohs(destination.sin_port) + 1));
    s->multicast = multicast;
    s->source = std::move(source);
    s->senderReportMs = senderReportMs;
    s->rtcpTimeoutMs = multicast ? 0 : rtcpTimeoutMs;
    s->lastHeard = Clock::now().time_since_epoch().count();
    s->faults = faults_();
    std::random_device rd;
    s->ssrc = rd();
    s->sequence = static_cast<uint16_t>(rd());
    s->timestamp = rd();

    std::list<std::unique_ptr<Session>> ended;  // joined outside the lock
    bool started = false;
    {
        std::lock_guard<std::mutex> hold(lock_);
        int sameClient = 0;
        for (auto it = sessions_.begin(); it != sessions_.end();) {
            Session& other = **it;
            const bool sameDestination = other.destination.sin_addr.s_addr == destination.sin_addr.s_addr &&
                                         other.destination.sin_port == destination.sin_port;
            if (other.finished || sameDestination) {
                ended.splice(ended.end(), sessions_, it++);
                continue;
            }
            sameClient += other.destination.sin_addr.s_addr == destination.sin_addr.s_addr;
            ++it;
        }
        if (multicast || sameClient < maxPerClient) {
            Session* raw = s.get();
            try {
                raw->thread = std::thread([this, raw] { RunSession(raw); });
                sessions_.push_back(std::move(s));
                started = true;
            } catch (const std::system_error&) {
                // Out of threads: refused like a session over the cap.
            }
        }
    }
    for (auto& e : ended) {
        e->stop = true;
        e->wake.notify_all();
    }
    for (auto& e : ended) e->thread.join();
    return started;
}

void RtpChannel::Close() {
    closing_ = true;
    std::list<std::unique_ptr<Session>> sessions;
    {
        std::lock_guard<std::mutex> hold(lock_);
        sessions.swap(sessions_);
    }
    for (auto& s : sessions) {
        s->stop = true;
        s->wake.notify_all();
    }
    for (auto& s : sessions) s->thread.join();
    if (receiver_.joinable()) receiver_.join();
    data_.Close();
    rtcp_.Close();
}

void RtpChannel::SendRtcp(const Session& s, const std::string& packet) {
    ::sendto(rtcp_.get(), packet.data(), packet.size(), MSG_NOSIGNAL,
             reinterpret_cast<const sockaddr*>(&s.rtcpDestination), sizeof s.rtcpDestination);
}

void RtpChannel::RunSession(Session* s) {
    const std::string stream = "rtp-" + medium_;
    state_.StreamStarted(stream);
    std::mt19937 random(s->ssrc);
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    std::string held;  // a packet kept back to be sent after the next one (reordering)

    auto sendPacket = [&](const std::string& p) {
        const ssize_t n = ::sendto(data_.get(), p.data(), p.size(), MSG_NOSIGNAL,
                                   reinterpret_cast<const sockaddr*>(&s->destination), sizeof s->destination);
        if (n > 0) state_.AddBytes(stream, static_cast<uint64_t>(n));
    };
    auto senderReport = [&] {
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        const uint64_t us =
            static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
        const uint64_t ntpSeconds = us / 1000000 + kNtpEpochOffset;
        const uint64_t ntpFraction = ((us % 1000000) << 32) / 1000000;
        std::string sr;
        sr.push_back(static_cast<char>(0x80));
        sr.push_back(static_cast<char>(200));
        Put16(sr, 6);
        Put32(sr, s->ssrc);
        Put32(sr, static_cast<uint32_t>(ntpSeconds));
        Put32(sr, static_cast<uint32_t>(ntpFraction));
        Put32(sr, s->timestamp);
        Put32(sr, s->packets);
        Put32(sr, s->octets);
        SendRtcp(*s, sr);
        state_.AddSenderReport(medium_);
    };

    const auto start = Clock::now();
    auto due = start;
    auto nextReport = start;
    const auto heardLately = [&] {
        if (s->rtcpTimeoutMs <= 0) return true;
        const Clock::time_point heard{Clock::duration{s->lastHeard.load()}};
        return Clock::now() - heard < std::chrono::milliseconds(s->rtcpTimeoutMs);
    };
    while (!s->stop && !closing_) {
        if (!heardLately()) {
            state_.AddRtcpTimeout(medium_);
            break;
        }
        if (s->faults.earlyByeSeconds >= 0 &&
            Clock::now() - start >= std::chrono::duration<double>(s->faults.earlyByeSeconds))
            break;
        if (!s->faults.noSenderReports && Clock::now() >= nextReport) {
            senderReport();
            nextReport += std::chrono::milliseconds(s->senderReportMs);
        }
        std::string unit;
        uint32_t ticks = 0;
        if (!s->source(&unit, &ticks)) break;
        for (std::size_t off = 0; off < unit.size(); off += kMaxPayload) {
            const std::size_t len = std::min(kMaxPayload, unit.size() - off);
            const bool last = off + len == unit.size();
            std::string p;
            p.push_back(static_cast<char>(0x80));
            p.push_back(static_cast<char>((last ? 0x80 : 0) | payloadType_));
            Put16(p, s->sequence++);
            Put32(p, s->timestamp);
            Put32(p, s->ssrc);
            p.append(unit, off, len);
            ++s->packets;
            s->octets += static_cast<uint32_t>(len);
            if (chance(random) < s->faults.rtpLoss) continue;
            if (held.empty() && chance(random) < s->faults.rtpReorder) {
                held = p;
                continue;
            }
            sendPacket(p);
            if (chance(random) < s->faults.rtpDuplicate) sendPacket(p);
            if (!held.empty()) {
                sendPacket(held);
                held.clear();
            }
        }
        s->timestamp += ticks;
        due += std::chrono::microseconds(static_cast<int64_t>(ticks) * 125);  // 8000 ticks per second
        std::unique_lock<std::mutex> wait(s->wakeLock);
        s->wake.wait_until(wait, std::min(due, nextReport),
                           [&] { return s->stop.load() || closing_.load(); });
        // Sleep on until the unit is due (a sender report may have woken us first).
        while (!s->stop && !closing_ && Clock::now() < due) {
            if (!s->faults.noSenderReports && Clock::now() >= nextReport) {
                wait.unlock();
                senderReport();
                nextReport += std::chrono::milliseconds(s->senderReportMs);
                wait.lock();
            }
            s->wake.wait_until(wait, std::min(due, nextReport),
                               [&] { return s->stop.load() || closing_.load(); });
        }
    }
    std::string bye;
    bye.push_back(static_cast<char>(0x81));
    bye.push_back(static_cast<char>(203));
    Put16(bye, 1);
    Put32(bye, s->ssrc);
    SendRtcp(*s, bye);
    state_.StreamEnded(stream);
    s->finished = true;
}

void RtpChannel::ReceiveRtcp() {
    unsigned char buf[1600];
    while (!closing_) {
        pollfd p{rtcp_.get(), POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        sockaddr_in from{};
        socklen_t fromLen = sizeof from;
        const ssize_t n =
            ::recvfrom(rtcp_.get(), buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
        if (n < 8) continue;
        const std::string peer = AddressText(from);
        std::vector<SeenReceiverReport> reports;
        std::vector<uint32_t> byes;
        ParseRtcpCompound(buf, static_cast<std::size_t>(n), &reports, &byes);
        for (SeenReceiverReport& r : reports) {
            r.medium = medium_;
            r.peer = peer;
            state_.AddReceiverReport(r);
        }
        {
            // Anything from a session's receiver, or a report on its source, shows someone still listens.
            const int64_t now = Clock::now().time_since_epoch().count();
            std::lock_guard<std::mutex> hold(lock_);
            for (auto& s : sessions_) {
                bool heard = s->rtcpDestination.sin_addr.s_addr == from.sin_addr.s_addr &&
                             s->rtcpDestination.sin_port == from.sin_port;
                for (const SeenReceiverReport& r : reports) heard = heard || r.sourceSsrc == s->ssrc;
                if (heard) s->lastHeard = now;
            }
        }
        if (byes.empty()) continue;
        for (const uint32_t ssrc : byes) state_.AddBye({medium_, peer, ssrc});
        // A client that says goodbye gets no more packets.
        std::lock_guard<std::mutex> hold(lock_);
        for (auto& s : sessions_) {
            if (s->rtcpDestination.sin_addr.s_addr == from.sin_addr.s_addr &&
                s->rtcpDestination.sin_port == from.sin_port) {
                s->stop = true;
                s->wake.notify_all();
            }
        }
    }
}

void ParseRtcpCompound(const unsigned char* data, std::size_t size, std::vector<SeenReceiverReport>* reports,
                       std::vector<uint32_t>* byeSources) {
    std::size_t off = 0;
    while (off + 8 <= size) {
        const unsigned char* h = data + off;
        const std::size_t partSize = ((static_cast<std::size_t>(h[2]) << 8 | h[3]) + 1) * 4;
        if ((h[0] >> 6) != 2 || off + partSize > size) break;
        const int count = h[0] & 0x1F;
        if (h[1] == 201) {
            for (int i = 0; i < count && 8 + static_cast<std::size_t>(i + 1) * 24 <= partSize; ++i) {
                const unsigned char* b = h + 8 + i * 24;
                SeenReceiverReport r;
                r.reporterSsrc = Get32(h + 4);
                r.sourceSsrc = Get32(b);
                r.fractionLost = b[4];
                const uint32_t lost =
                    static_cast<uint32_t>(b[5]) << 16 | static_cast<uint32_t>(b[6]) << 8 | b[7];
                r.cumulativeLost = static_cast<int32_t>(lost & 0x800000 ? lost | 0xFF000000u : lost);
                r.highestSequence = Get32(b + 8);
                r.jitter = Get32(b + 12);
                r.lastSr = Get32(b + 16);
                r.delaySinceLastSr = Get32(b + 20);
                reports->push_back(r);
            }
        } else if (h[1] == 203) {
            for (int i = 0; i < count && 4 + static_cast<std::size_t>(i + 1) * 4 <= partSize; ++i)
                byeSources->push_back(Get32(h + 4 + i * 4));
        }
        off += partSize;
    }
}

std::string SessionDescription(const std::string& medium, const std::string& destination, uint16_t port,
                               int payloadType, const std::string& encoding, const std::string& mpeg4Config) {
    std::string sdp =
        "v=0\r\no=- 0 0 IN IP4 127.0.0.1\r\ns=QXR-K7 camera\r\nc=IN IP4 " + destination + "\r\nt=0 0\r\n";
    sdp += "m=" + medium + " " + std::to_string(port) + " RTP/AVP " + std::to_string(payloadType) + "\r\n";
    sdp += "a=rtpmap:" + std::to_string(payloadType) + " " + encoding + "\r\n";
    if (!mpeg4Config.empty()) {
        static const char kHex[] = "0123456789abcdef";
        std::string hex;
        for (const char c : mpeg4Config) {
            hex.push_back(kHex[static_cast<unsigned char>(c) >> 4]);
            hex.push_back(kHex[static_cast<unsigned char>(c) & 15]);
        }
        sdp += "a=fmtp:" + std::to_string(payloadType) + " profile-level-id=1;config=" + hex + "\r\n";
    }
    return sdp;
}

}  // namespace camsim
