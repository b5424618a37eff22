// The simulated camera against the requests the viewer sends: CGI answers, authentication, the stream
// framings, faults, and RTP/RTCP on loopback.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <thread>

#include "http.h"
#include "jpeg_encoder_adapter.h"
#include "simulator.h"
#include "test_client.h"

namespace {

using namespace camsim_test;

// A stand-in picture: SOI, filler, EOI; its size tells parts apart.
std::vector<uint8_t> FakeJpeg(const camsim::Picture& p, int) {
    std::vector<uint8_t> j(static_cast<std::size_t>(p.width) * 2, 0x11);
    j[0] = 0xFF;
    j[1] = 0xD8;
    j[j.size() - 2] = 0xFF;
    j[j.size() - 1] = 0xD9;
    return j;
}

class Camsim : public ::testing::Test {
  protected:
    void Start(camsim::Config config = {}) {
        config.port = 0;
        config.ucVideoPort = 0;
        config.ucAudioPort = 0;
        sim_ = std::make_unique<camsim::Simulator>(config, FakeJpeg);
        sim_->SetSenderReportInterval(200);
        std::string error;
        ASSERT_TRUE(sim_->Start(&error)) << error;
        port_ = sim_->port();
    }
    void TearDown() override {
        if (sim_) sim_->Stop();
    }
    std::string Get(const std::string& path, std::size_t maxBytes = 1 << 20, int timeoutMs = 2000,
                    const std::string& auth = {}) {
        return Exchange(port_, ViewerGet(port_, path, auth), maxBytes, timeoutMs);
    }
    std::string Post(const std::string& path, const std::string& body, const std::string& auth = {}) {
        return Exchange(port_, ViewerPost(port_, path, body, auth), 1 << 16, 2000);
    }
    std::unique_ptr<camsim::Simulator> sim_;
    uint16_t port_ = 0;
};

TEST_F(Camsim, InquiriesAnswerTheConfigurationAndCommandsChangeIt) {
    camsim::Config c;
    c.codec = "mpeg4";
    c.jpegFrameRate = 15;
    c.audioCodec = "g726_32";
    Start(c);
    const std::string system = BodyOf(Post("/command/inquiry.cgi", "inq=system&inq=viewermode"));
    EXPECT_EQ(system.rfind("ModelName=QXR-K7&", 0), 0u) << system;
    EXPECT_NE(system.find("&ViewerMode=0000FFFF"), std::string::npos);

    const std::string camera = BodyOf(Post("/command/inquiry.cgi", "inq=camera"));
    for (const char* kv : {"ImageCodec=mpeg4", "JpFrameRate=15", "AudInCodec=g726_32", "Multicast=on"})
        EXPECT_NE(camera.find(kv), std::string::npos) << kv << " in " << camera;
    EXPECT_NE(camera.find("UcVideoPort=" + std::to_string(sim_->CurrentConfig().ucVideoPort)),
              std::string::npos);

    const std::string triggers = BodyOf(
        Post("/command/inquiry.cgi", "inq=camera&inq=alarmout&inq=ftpclient&inq=smtp&inq=imagememory"));
    for (const char* kv : {"AoManualFunc=on", "FcManualFunc=on", "SmManualFunc=on", "ImManualFunc=on"})
        EXPECT_NE(triggers.find(kv), std::string::npos) << kv;

    // Every motion-detection body the viewer sends is understood and shows in the next inquiry.
    EXPECT_EQ(StatusOf(Post("/command/motiondetection.cgi", "mdtwin2area=10,20,110,220")), 200);
    EXPECT_EQ(StatusOf(Post("/command/motiondetection.cgi", "mdtwin2=on")), 200);
    EXPECT_EQ(StatusOf(Post("/command/motiondetection.cgi", "mdtwin3sensitivity=77")), 200);
    EXPECT_EQ(StatusOf(Post("/command/motiondetection.cgi", "mdtwin4threshold=12")), 200);
    EXPECT_EQ(
        StatusOf(Post("/command/motiondetection.cgi",
                      "mdwin1area=1,2,3,4&mdwin2area=10,20,110,220&mdwin3area=0,0,0,0&mdwin4area=5,6,7,8&"
                      "mdwin1=off&mdwin2=on&mdwin3=off&mdwin4=on&mdwin1sensitivity=1&mdwin2sensitivity=2&"
                      "mdwin3sensitivity=77&mdwin4sensitivity=4&mdwin1threshold=9&mdwin2threshold=8&"
                      "mdwin3threshold=7&mdwin4threshold=12")),
        200);
    const std::string md = BodyOf(Post("/command/inquiry.cgi", "inq=motiondetection"));
    for (const char* kv : {"MdWin2=on", "MdWin2Area=10,20,110,220", "MdWin3Sensitivity=77",
                           "MdWin4Threshold=12", "MdWin1Area=1,2,3,4", "MdWin1=off", "MdWin4Area=5,6,7,8"})
        EXPECT_NE((md + "&").find(std::string(kv) + "&"), std::string::npos) << kv << " in " << md;

    for (const char* trigger : {"ftp", "smtp", "memory", "alarmout"})
        EXPECT_EQ(StatusOf(Post("/command/main.cgi", std::string("Trigger=") + trigger)), 200);
    EXPECT_EQ(StatusOf(Post("/command/main.cgi", "Trigger=launch")), 400);
    const auto commands = sim_->state().Commands();
    ASSERT_GE(commands.size(), 4u);
    EXPECT_EQ(commands[commands.size() - 2].cgi, "main");
    EXPECT_EQ(commands[commands.size() - 2].body, "Trigger=alarmout");
}

TEST_F(Camsim, BasicAuthenticationWithRealm) {
    camsim::Config c;
    c.user = "admin";
    c.password = "secret";
    c.realm = "Test Camera";
    Start(c);
    const std::string refused = Post("/command/inquiry.cgi", "inq=system");
    EXPECT_EQ(StatusOf(refused), 401);
    EXPECT_NE(refused.find("WWW-Authenticate: Basic realm=\"Test Camera\"\r\n"), std::string::npos);
    const std::string good = "Authorization: Basic " + camsim::Base64Encode("admin:secret") + "\r\n";
    const std::string bad = "Authorization: Basic " + camsim::Base64Encode("admin:wrong") + "\r\n";
    EXPECT_EQ(StatusOf(Post("/command/inquiry.cgi", "inq=system", bad)), 401);
    EXPECT_EQ(StatusOf(Post("/command/inquiry.cgi", "inq=system", good)), 200);
    EXPECT_EQ(StatusOf(Get("/image?speed=1", 200, 1000, good)), 200);

    ASSERT_EQ(sim_->ApplyFault("all:unauthorized"), "");
    EXPECT_EQ(StatusOf(Post("/command/inquiry.cgi", "inq=system", good)), 401);
}

// Splits a multipart body into its parts' header blocks and payloads, using DataLen.
struct Part {
    std::string headers, payload;
};
std::vector<Part> SplitParts(const std::string& body) {
    std::vector<Part> parts;
    std::size_t pos = 0;
    for (;;) {
        pos = body.find("--myboundary\r\n", pos);
        if (pos == std::string::npos) break;
        pos += 14;
        const auto headEnd = body.find("\r\n\r\n", pos);
        if (headEnd == std::string::npos) break;
        Part p;
        p.headers = body.substr(pos, headEnd + 4 - pos);
        const auto dl = p.headers.find("DataLen: ");
        if (dl == std::string::npos) break;
        const std::size_t len = std::stoul(p.headers.substr(dl + 9));
        if (headEnd + 4 + len > body.size()) break;
        p.payload = body.substr(headEnd + 4, len);
        parts.push_back(p);
        pos = headEnd + 4 + len;
    }
    return parts;
}

TEST_F(Camsim, MotionJpegPartsCarryTypeLengthTimeAndInterleavedAudio) {
    Start();
    const std::string reply = Get("/image?speed=10&AudioIn=on", 1 << 20, 1100);
    ASSERT_EQ(StatusOf(reply), 200);
    EXPECT_NE(reply.find("boundary=myboundary"), std::string::npos);
    const std::string body = BodyOf(reply);
    EXPECT_EQ(body.rfind("--myboundary\r\n", 0), 0u);  // the body opens with the first boundary line
    const auto parts = SplitParts(body);
    int pictures = 0, audio = 0;
    const std::regex camTim("CamTim: \\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\r\n");
    for (const Part& p : parts) {
        if (p.headers.find("Content-Type: image/jpeg\r\n") != std::string::npos) {
            ++pictures;
            EXPECT_TRUE(std::regex_search(p.headers, camTim)) << p.headers;
            EXPECT_EQ(p.payload.size(), 1280u);
            EXPECT_EQ(static_cast<unsigned char>(p.payload[0]), 0xFF);
        } else if (p.headers.find("Content-Type: audio/g711_64\r\n") != std::string::npos) {
            ++audio;
            EXPECT_EQ(p.payload.size(), 256u);
        }
    }
    // About one second at 10 pictures and 31 audio frames per second.
    EXPECT_GE(pictures, 5);
    EXPECT_LE(pictures, 13);
    EXPECT_GE(audio, 15);
    // Without AudioIn=on there is no audio.
    for (const Part& p : SplitParts(BodyOf(Get("/image?speed=5", 1 << 20, 500))))
        EXPECT_EQ(p.headers.find("audio"), std::string::npos);
}

// Width and height from a JPEG's start-of-frame segment.
std::pair<int, int> JpegSize(const std::string& j) {
    for (std::size_t i = 2; i + 9 < j.size(); ++i) {
        if (static_cast<unsigned char>(j[i]) == 0xFF && static_cast<unsigned char>(j[i + 1]) == 0xC0) {
            auto u16 = [&](std::size_t o) {
                return static_cast<unsigned char>(j[o]) << 8 | static_cast<unsigned char>(j[o + 1]);
            };
            return {u16(i + 7), u16(i + 5)};
        }
    }
    return {0, 0};
}

TEST_F(Camsim, PictureSizeSwitchesWhileStreaming) {
    camsim::Config c;
    c.port = 0;
    c.ucVideoPort = 0;
    c.ucAudioPort = 0;
    sim_ = std::make_unique<camsim::Simulator>(c, camsim::MakeJpegEncoder());
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
    port_ = sim_->port();
    std::thread switcher([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_EQ(StatusOf(Get("/sim/size?width=160&height=120", 4096, 1000)), 200);
    });
    const auto parts = SplitParts(BodyOf(Get("/image?speed=10", 1 << 22, 1200)));
    switcher.join();
    ASSERT_GE(parts.size(), 4u);
    EXPECT_EQ(JpegSize(parts.front().payload), std::make_pair(640, 480));
    EXPECT_EQ(JpegSize(parts.back().payload), std::make_pair(160, 120));
    EXPECT_EQ(StatusOf(Get("/sim/size?width=100&height=100", 4096, 1000)), 400);
}

TEST_F(Camsim, StreamFaults) {
    Start();
    struct Case {
        const char* fault;
        std::function<void(const std::string& reply, bool reset)> check;
    } cases[] = {
        {"image:close-after=1000", [](const std::string& r, bool) { EXPECT_EQ(BodyOf(r).size(), 1000u); }},
        {"image:garbage=100",
         [](const std::string& r, bool) {
             const std::string b = BodyOf(r);
             const auto second = b.find("--myboundary", 14);
             ASSERT_NE(second, std::string::npos);
             // CR LF after the payload, then 100 bytes of garbage before the boundary.
             EXPECT_EQ(b.substr(second - 100, 100).find_first_not_of("abcdefghijklmnopqrstuvwxyz"),
                       std::string::npos);
         }},
        {"image:no-datalen",
         [](const std::string& r, bool) { EXPECT_EQ(r.find("DataLen"), std::string::npos); }},
        {"image:huge-datalen",
         [](const std::string& r, bool) { EXPECT_NE(r.find("DataLen: 99999999\r\n"), std::string::npos); }},
        {"image:bad-picture", [](const std::string& r,
                                 bool) { EXPECT_EQ(r.find(std::string("\xFF\xD9", 2)), std::string::npos); }},
        {"image:status=503", [](const std::string& r, bool) { EXPECT_EQ(StatusOf(r), 503); }},
        {"image:status=400", [](const std::string& r, bool) { EXPECT_EQ(StatusOf(r), 400); }},
        {"image:stall",
         [](const std::string& r, bool) {
             EXPECT_EQ(StatusOf(r), 200);
             EXPECT_EQ(BodyOf(r), "");
         }},
        {"image:refuse",
         [](const std::string& r, bool reset) {
             EXPECT_EQ(r, "");
             EXPECT_TRUE(reset);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        ASSERT_EQ(sim_->ApplyFault(c.fault), "");
        bool reset = false;
        const std::string reply = Exchange(port_, ViewerGet(port_, "/image?speed=30"), 1 << 20, 400, &reset);
        c.check(reply, reset);
        ASSERT_EQ(sim_->ApplyFault("image:clear"), "");
    }
    // Faults are per stream: the CGI path is untouched by an image fault.
    ASSERT_EQ(sim_->ApplyFault("image:status=503"), "");
    EXPECT_EQ(StatusOf(Post("/command/inquiry.cgi", "inq=system")), 200);
    // And reachable over HTTP for tests that run the program.
    EXPECT_EQ(StatusOf(Post("/sim/fault", "cgi:status=400")), 200);
    EXPECT_EQ(StatusOf(Post("/command/inquiry.cgi", "inq=system")), 400);
    EXPECT_EQ(StatusOf(Post("/sim/fault", "cgi:explode")), 400);
}

TEST_F(Camsim, MotionDataLevelsStandAtTheViewersOffsets) {
    camsim::Config c;
    c.windows[1] = {true, 0, 0, 10, 10, 50, 50, 1234, 0, 0};
    c.motionDataPerSecond = 20;
    Start(c);
    const std::string body = BodyOf(Get("/mddata.cgi", 1 << 16, 300));
    const auto at = body.find("--myboundary\r\n");
    ASSERT_NE(at, std::string::npos);
    ASSERT_GE(body.size(), at + 2 + 132);
    const std::string record = body.substr(at + 14);
    EXPECT_EQ(record.substr(78, 6), "001234");
    for (std::size_t off : {62u, 94u, 110u})
        EXPECT_EQ(record.substr(off, 6).find_first_not_of("0123456789"), std::string::npos) << off;
}

TEST_F(Camsim, Mpeg4StreamCarriesCameraTimeBeforeEveryPicture) {
    const std::string path = ::testing::TempDir() + "camsim_tiny.m4v";
    {
        // Configuration, then a group header with an I picture and two P pictures (payloads are opaque).
        std::ofstream f(path, std::ios::binary);
        f << std::string("\x00\x00\x01\xB0\x01\x00\x00\x01\xB5\x09\x00\x00\x01\x00\x00\x00\x01\x20\xAA\xBB",
                         20)
          << std::string("\x00\x00\x01\xB3\x00\x10\x07", 7) << std::string("\x00\x00\x01\xB6\x10\x11\x12", 7)
          << std::string("\x00\x00\x01\xB6\x50\x51", 6) << std::string("\x00\x00\x01\xB6\x52\x53", 6);
    }
    camsim::Config c;
    c.mpeg4File = path;
    c.mpeg4FrameRate = 30;
    Start(c);
    const std::string body = BodyOf(Get("/mpeg4", 1 << 16, 400));
    ASSERT_EQ(
        body.substr(0, 20),
        std::string("\x00\x00\x01\xB0\x01\x00\x00\x01\xB5\x09\x00\x00\x01\x00\x00\x00\x01\x20\xAA\xBB", 20));
    // The group header stays in front; the record stands right before each VOP start code.
    const std::string record = std::string("\x00\x00\x01\xB2", 4) + "CamTim: ";
    EXPECT_EQ(body.substr(20, 7), std::string("\x00\x00\x01\xB3\x00\x10\x07", 7));
    EXPECT_EQ(body.substr(27, 12), record);
    std::size_t vops = 0, records = 0;
    for (std::size_t i = 0; (i = body.find(std::string("\x00\x00\x01\xB6", 4), i)) != std::string::npos;
         ++i) {
        ++vops;
        ASSERT_GE(i, 37u);
        if (body.substr(i - 37, 12) == record && body.substr(i - 2, 2) == "\r\n") ++records;
    }
    EXPECT_GE(vops, 6u);  // it loops
    EXPECT_EQ(records, vops);
    unlink(path.c_str());
}

uint32_t Get32(const std::string& s, std::size_t off) {
    return static_cast<uint32_t>(static_cast<unsigned char>(s[off])) << 24 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[off + 1])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[off + 2])) << 8 |
           static_cast<unsigned char>(s[off + 3]);
}

std::string ReceiverReport(uint32_t own, uint32_t source, int fraction, int lost, uint32_t highest,
                           uint32_t jitter, uint32_t lsr, uint32_t dlsr) {
    std::string r = {'\x81', static_cast<char>(201), 0, 7};
    auto put = [&r](uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) r.push_back(static_cast<char>(v >> s));
    };
    put(own);
    put(source);
    put(static_cast<uint32_t>(fraction) << 24 | (static_cast<uint32_t>(lost) & 0xFFFFFF));
    put(highest);
    put(jitter);
    put(lsr);
    put(dlsr);
    return r;
}

TEST_F(Camsim, RtpUnicastSenderReportsReceiverReportsAndBye) {
    camsim::Config c;
    c.audioCodec = "g726_32";
    Start(c);
    const UdpPair pair;
    ASSERT_GE(pair.rtcp, 0);
    const int data = pair.data, rtcp = pair.rtcp;
    const uint16_t dataPort = pair.port;
    ASSERT_EQ(StatusOf(Get("/audio?UdpMode=unicast&UdpPort=" + std::to_string(dataPort), 4096, 1000)), 200);

    uint16_t from = 0;
    const std::string first = ReceiveDatagram(data, 1000, &from);
    ASSERT_EQ(first.size(), 12u + 180u);  // one G.726 32 kbit/s frame per packet
    EXPECT_EQ(static_cast<unsigned char>(first[0]) >> 6, 2);
    EXPECT_EQ(static_cast<unsigned char>(first[1]) & 0x7F, 97);
    EXPECT_EQ(from, sim_->CurrentConfig().ucAudioPort);
    const std::string second = ReceiveDatagram(data, 1000);
    ASSERT_EQ(second.size(), first.size());
    EXPECT_EQ((Get32(second, 0) & 0xFFFF) - (Get32(first, 0) & 0xFFFF), 1u);  // sequence + 1
    EXPECT_EQ(Get32(second, 4) - Get32(first, 4), 360u);                      // 360 samples at 8 kHz
    const uint32_t ssrc = Get32(first, 8);

    uint16_t srFrom = 0;
    const std::string sr = ReceiveDatagram(rtcp, 1000, &srFrom);
    ASSERT_GE(sr.size(), 28u);
    EXPECT_EQ(static_cast<unsigned char>(sr[1]), 200);
    EXPECT_EQ(Get32(sr, 4), ssrc);
    EXPECT_GT(Get32(sr, 8), 3900000000u);  // NTP seconds of this century
    EXPECT_EQ(srFrom, sim_->CurrentConfig().ucAudioPort + 1);

    SendDatagram(rtcp, srFrom, ReceiverReport(0x1234, ssrc, 25, 7, 70000, 42, 0xABCD1234, 65536));
    std::string bye = {'\x81', static_cast<char>(203), 0, 1, '\x00', '\x00', '\x12', '\x34'};
    SendDatagram(rtcp, srFrom, bye);
    // The camera reads its RTCP port every 100 ms; a loaded machine may take longer.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (sim_->state().Byes().empty() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto reports = sim_->state().ReceiverReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].medium, "audio");
    EXPECT_EQ(reports[0].sourceSsrc, ssrc);
    EXPECT_EQ(reports[0].fractionLost, 25);
    EXPECT_EQ(reports[0].cumulativeLost, 7);
    EXPECT_EQ(reports[0].highestSequence, 70000u);
    EXPECT_EQ(reports[0].jitter, 42u);
    EXPECT_EQ(reports[0].lastSr, 0xABCD1234u);
    EXPECT_EQ(reports[0].delaySinceLastSr, 65536u);
    ASSERT_EQ(sim_->state().Byes().size(), 1u);
    EXPECT_EQ(sim_->state().Byes()[0].ssrc, 0x1234u);

    // After the client's BYE the camera stops (and says BYE itself).
    while (!ReceiveDatagram(data, 100).empty()) {
    }
    EXPECT_EQ(ReceiveDatagram(data, 300), "");
    bool sawBye = false;
    for (std::string p; !(p = ReceiveDatagram(rtcp, 200)).empty();)
        sawBye = sawBye || static_cast<unsigned char>(p[1]) == 203;
    EXPECT_TRUE(sawBye);
}

// Sequence numbers of the RTP packets from the camera's port `from` that arrive on `fd`, until `enough` have
// arrived or `ms` have passed. Packets from any other sender (a stale session of another run that still
// sends to this port) are not counted.
std::vector<uint16_t> Sequences(int fd, uint16_t from, std::size_t enough, int ms) {
    std::vector<uint16_t> seqs;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (seqs.size() < enough && std::chrono::steady_clock::now() < end) {
        uint16_t sender = 0;
        const std::string p = ReceiveDatagram(fd, 50, &sender);
        if (p.size() >= 12 && sender == from) seqs.push_back(static_cast<uint16_t>(Get32(p, 0) & 0xFFFF));
    }
    return seqs;
}

TEST_F(Camsim, RtpFaults) {
    Start();
    // Each case reads data packets until `enough` arrived or `windowMs` passed (a bound that only a fault
    // reaches, wide enough for a loaded machine), then the camera's RTCP packets until `rtcpType` (200: a
    // sender report, 203: BYE, 0: none awaited) arrived or a few seconds passed.
    struct Case {
        const char* fault;
        std::size_t enough;
        int windowMs;
        int rtcpType;
        std::function<void(const std::vector<uint16_t>& seqs, int senderReports, bool bye)> check;
    } cases[] = {
        {"rtp-audio:loss=1", 1, 700, 200,
         [](const std::vector<uint16_t>& seqs, int senderReports, bool) {
             EXPECT_TRUE(seqs.empty());
             EXPECT_GT(senderReports, 0);  // reports still go out
         }},
        {"rtp-audio:duplicate=1", 8, 10000, 0,
         [](const std::vector<uint16_t>& seqs, int, bool) {
             ASSERT_GE(seqs.size(), 8u);
             for (std::size_t i = 0; i + 1 < seqs.size(); i += 2) EXPECT_EQ(seqs[i], seqs[i + 1]);
         }},
        {"rtp-audio:reorder=1", 8, 10000, 0,
         [](const std::vector<uint16_t>& seqs, int, bool) {
             ASSERT_GE(seqs.size(), 8u);
             // Every packet is held back and sent after the next one: pairs arrive swapped.
             for (std::size_t i = 0; i + 1 < seqs.size(); i += 2)
                 EXPECT_EQ(static_cast<uint16_t>(seqs[i] - seqs[i + 1]), 1) << i;
         }},
        {"rtp-audio:no-sr", 4, 10000, 0,
         [](const std::vector<uint16_t>& seqs, int senderReports, bool) {
             EXPECT_GE(seqs.size(), 4u);
             EXPECT_EQ(senderReports, 0);
         }},
        {"rtp-audio:early-bye=0.2", 13, 1000, 203,
         [](const std::vector<uint16_t>& seqs, int, bool bye) {
             EXPECT_TRUE(bye);
             EXPECT_LE(seqs.size(), 12u);  // about 0.2 s of 32 ms frames, then nothing
         }},
    };
    const uint16_t camera = sim_->CurrentConfig().ucAudioPort;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        ASSERT_EQ(sim_->ApplyFault(c.fault), "");
        // A pair of its own, chosen by the system: the BYE that ends the previous session (or a session of
        // another run) may still be on its way and would end a new session on a reused pair.
        const UdpPair pair;
        ASSERT_GE(pair.rtcp, 0);
        ASSERT_EQ(StatusOf(Get("/audio?UdpMode=unicast&UdpPort=" + std::to_string(pair.port), 4096, 1000)),
                  200);
        const std::vector<uint16_t> seqs = Sequences(pair.data, camera, c.enough, c.windowMs);
        int senderReports = 0;
        bool bye = false;
        const auto rtcpEnd = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (;;) {
            const bool awaited = (c.rtcpType == 200 && senderReports > 0) || (c.rtcpType == 203 && bye);
            const bool waiting = c.rtcpType != 0 && !awaited && std::chrono::steady_clock::now() < rtcpEnd;
            uint16_t sender = 0;
            const std::string p = ReceiveDatagram(pair.rtcp, waiting ? 200 : 50, &sender);
            if (p.empty() && !waiting) break;
            if (p.size() < 2 || sender != camera + 1) continue;
            senderReports += static_cast<unsigned char>(p[1]) == 200;
            bye = bye || static_cast<unsigned char>(p[1]) == 203;
        }
        c.check(seqs, senderReports, bye);
        // Say goodbye so the camera stops sending to this pair.
        SendDatagram(pair.rtcp, static_cast<uint16_t>(camera + 1),
                     std::string{'\x81', static_cast<char>(203), 0, 1, 0, 0, 0, 1});
        ASSERT_EQ(sim_->ApplyFault("rtp-audio:clear"), "");
    }
    EXPECT_EQ(StatusOf(Get("/audio?UdpMode=unicast&UdpPort=0", 4096, 1000)), 400);
    EXPECT_EQ(StatusOf(Get("/mpeg4?UdpMode=unicast&UdpPort=5000", 4096, 1000)), 503);  // no MPEG-4 source
    EXPECT_EQ(StatusOf(Get("/audio?UdpMode=broadcast", 4096, 1000)), 400);
}

TEST_F(Camsim, RtpMulticastReachesTheGroupOnLoopback) {
    camsim::Config c;
    uint16_t port = 0;
    const int probe = BindUdp(0, &port);
    ASSERT_GE(probe, 0);
    close(probe);
    c.mcAudioPort = port;
    Start(c);
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(port);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
    ip_mreq join{};
    inet_pton(AF_INET, c.multicastAddress.c_str(), &join.imr_multiaddr);
    inet_pton(AF_INET, "127.0.0.1", &join.imr_interface);
    if (setsockopt(fd, SOL_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) != 0) {
        close(fd);
        GTEST_SKIP() << "this machine's loopback cannot join a multicast group";
    }
    ASSERT_EQ(StatusOf(Get("/audio?UdpMode=multicast", 4096, 1000)), 200);
    const std::string packet = ReceiveDatagram(fd, 1000);
    close(fd);
    if (packet.empty()) GTEST_SKIP() << "multicast does not loop back on this machine";
    EXPECT_EQ(packet.size(), 12u + 256u);
}

TEST_F(Camsim, RtpMulticastRefusedWhenTheCameraHasNone) {
    camsim::Config c;
    c.multicast = false;
    Start(c);
    EXPECT_EQ(StatusOf(Get("/audio?UdpMode=multicast", 4096, 1000)), 503);
    EXPECT_NE(BodyOf(Post("/command/inquiry.cgi", "inq=camera")).find("Multicast=off"), std::string::npos);
}

TEST(CamsimHttp, ParsesTheViewersRequestForms) {
    camsim::HttpRequest r;
    std::size_t used = 0;
    const std::string get =
        "GET http://10.0.0.5:8080/image?speed=5&AudioIn=on HTTP/1.1\r\nHOST: 10.0.0.5:8080\r\n"
        "Connection: close\r\nCache-Control: no-cache\r\n\r\n";
    ASSERT_EQ(camsim::ParseHttpRequest(get, &r, &used), camsim::ParseResult::kComplete);
    EXPECT_EQ(used, get.size());
    EXPECT_EQ(r.path, "/image");
    EXPECT_EQ(r.QueryValue("speed"), "5");
    EXPECT_EQ(r.QueryValue("AudioIn"), "on");
    ASSERT_NE(r.Header("host"), nullptr);
    EXPECT_EQ(*r.Header("host"), "10.0.0.5:8080");

    ASSERT_EQ(camsim::ParseHttpRequest("GET mpeg4?UdpMode=unicast&UdpPort=50000 HTTP/1.1\r\n\r\n", &r, &used),
              camsim::ParseResult::kComplete);
    EXPECT_EQ(r.path, "/mpeg4");
    EXPECT_EQ(r.QueryValue("UdpPort"), "50000");

    const std::string post = "POST /command/inquiry.cgi HTTP/1.1\r\nContent-Length: 10\r\n\r\ninq=system";
    EXPECT_EQ(camsim::ParseHttpRequest(post.substr(0, post.size() - 3), &r, &used),
              camsim::ParseResult::kNeedMore);
    ASSERT_EQ(camsim::ParseHttpRequest(post, &r, &used), camsim::ParseResult::kComplete);
    EXPECT_EQ(r.body, "inq=system");

    for (const char* bad :
         {"GARBAGE\r\n\r\n", "GET / FTP/1.0\r\n\r\n", "POST / HTTP/1.1\r\nContent-Length: 99999999\r\n\r\n",
          "GET / HTTP/1.1\r\nno colon here\r\n\r\n"})
        EXPECT_EQ(camsim::ParseHttpRequest(bad, &r, &used), camsim::ParseResult::kBad) << bad;
    EXPECT_EQ(camsim::ParseHttpRequest(std::string(20000, 'a'), &r, &used), camsim::ParseResult::kBad);

    EXPECT_EQ(camsim::Base64Decode(camsim::Base64Encode("user:pass")), "user:pass");
    EXPECT_EQ(camsim::Base64Encode("a"), "YQ==");
    EXPECT_FALSE(camsim::Base64Decode("YQ=").has_value());
    EXPECT_FALSE(camsim::Base64Decode("Y=Q=").has_value());
}

}  // namespace
