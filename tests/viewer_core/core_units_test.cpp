// The viewer core's pieces without a camera: Base64, request bytes, proxy rules, reply headers,
// multipart reassembly, the inquiry parser, RTP statistics, the INI session mode and the motion-data levels.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/base64.h"
#include "core/chunk_queue.h"
#include "core/inquiry.h"
#include "core/motion_data.h"
#include "core/multipart.h"
#include "core/proxy.h"
#include "core/session_loop.h"
#include "core/stream_request.h"
#include "core/viewer_state.h"
#include "platform/ini_file.h"

namespace {

using namespace ocuview;

class NoSink : public FrameSink {
  public:
    void OnFrame(const Frame&) override {}
};
class FixedAnswer : public CredentialsProvider {
  public:
    std::optional<Credentials> answer;
    std::vector<std::string> realms;
    std::optional<Credentials> AskCredentials(const std::string& realm) override {
        realms.push_back(realm);
        return answer;
    }
};

// A viewer record with one session of `kind`, its heap made, as the network thread would have it.
struct Fixture {
    NoSink sink;
    FixedAnswer credentials;
    ViewerObserver observer;
    ViewerState v{sink, credentials, observer};
    StreamSession& Session(int slot, StreamKind kind, int chunk = kTcpChunkBytes) {
        StreamSession& s = v.sessions[static_cast<std::size_t>(slot)];
        s.viewer = &v;
        s.kind = kind;
        s.chunkBytes = chunk;
        s.channel = kChannelJpegNet;
        s.stats = &v.videoStats;
        NewHeap(s);
        return s;
    }
    std::vector<std::string> Drain(StreamSession& s) {
        std::vector<std::string> out;
        uint8_t b[kUdpChunkBytes];
        for (int n; (n = TakeChunk(s, b, sizeof b)) >= 0;) out.emplace_back(reinterpret_cast<char*>(b), n);
        return out;
    }
};

TEST(Base64, EncodesTheRfcVectors) {
    const std::pair<const char*, const char*> cases[] = {{"", ""},
                                                         {"f", "Zg=="},
                                                         {"fo", "Zm8="},
                                                         {"foo", "Zm9v"},
                                                         {"foob", "Zm9vYg=="},
                                                         {"fooba", "Zm9vYmE="},
                                                         {"foobar", "Zm9vYmFy"},
                                                         {"admin:secret", "YWRtaW46c2VjcmV0"}};
    for (const auto& [in, out] : cases) EXPECT_EQ(Base64Encode(in), out) << in;
}

TEST(StreamRequest, BytesByKindPortAndCredentials) {
    Fixture f;
    f.v.hostField = MakeHostField("cam.local", "80");
    EXPECT_EQ(f.v.hostField, "cam.local");
    StreamSession& jpeg = f.Session(2, StreamKind::kMotionJpeg);
    f.v.requestRate = 15;
    EXPECT_EQ(BuildStreamRequest(f.v, jpeg),
              "GET http://cam.local/image?speed=15 HTTP/1.1\r\nHOST: cam.local\r\nConnection: close\r\n"
              "Cache-Control: no-cache\r\n\r\n");

    f.v.hostField = MakeHostField("10.0.0.7", "8080");
    f.v.audioOn = true;
    f.v.authorizationLine = "Authorization: Basic YWRtaW46c2VjcmV0\r\n";
    EXPECT_EQ(
        BuildStreamRequest(f.v, jpeg),
        "GET http://10.0.0.7:8080/image?speed=15&AudioIn=on HTTP/1.1\r\nHOST: 10.0.0.7:8080\r\n"
        "Connection: close\r\nCache-Control: no-cache\r\nAuthorization: Basic YWRtaW46c2VjcmV0\r\n\r\n");

    const std::pair<StreamKind, const char*> paths[] = {{StreamKind::kVideo, "/mpeg4 "},
                                                        {StreamKind::kAudio, "/audio "},
                                                        {StreamKind::kMotionData, "/mddata.cgi "}};
    for (const auto& [kind, path] : paths) {
        StreamSession& s = f.Session(0, kind);
        EXPECT_EQ(BuildStreamRequest(f.v, s).rfind(std::string("GET http://10.0.0.7:8080") + path, 0), 0u)
            << path;
    }
    f.v.settings.motionDetectionView = true;
    EXPECT_NE(BuildStreamRequest(f.v, f.Session(0, StreamKind::kVideo)).find("/mdimage "), std::string::npos);
    EXPECT_EQ(MakeHostField("", "8080"), "");
}

TEST(Proxy, ProxyTextForms) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"http=proxy.lan:3128;ftp=other:21", "proxy.lan", "3128"},
        {"proxy.lan:8080", "proxy.lan", "8080"},
        {"http://user:pw@proxy.lan:3128/", "proxy.lan", "3128"},
        {"proxy.lan", "proxy.lan", "80"},
    };
    for (const auto& [text, host, port] : cases) {
        const ProxyAddress a = ParseProxyText(text);
        EXPECT_EQ(a.host, host) << text;
        EXPECT_EQ(a.port, port) << text;
    }
}

TEST(Proxy, BypassListRules) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"cam.example.com", "cam.example.com", true},
        {"other;cam.example.com", "cam.example.com", true},
        {"*example.com", "cam.example.com", true},
        {"*exa*", "cam.example.com", true},
        {"*cam*com", "cam.example.com", true},
        {"*cam*exa", "cam.example.com", false},  // Q must end the host
        {"cam*", "cam.example.com", true},
        {"cam*ple", "cam.example.com", true},
        {"cam*zzz", "cam.example.com", false},
        {"cam*exa*com", "cam.example.com", true},
        {"cam*exa*org", "cam.example.com", false},
        {"192.168.*", "192.168.1.20", true},
        {"*.example.com;<local>", "cam.example.com", true},
        {"other.net;<local>", "cam.example.com", false},
        {".example.com", "cam.example.com", true},
        {".example.com", "example.com", true},
        {".example.com", "badexample.com", false},
        {"localhost,127.0.0.1", "127.0.0.1", true},
        {"", "cam.example.com", false},
    };
    for (const auto& [list, host, match] : cases) {
        EXPECT_EQ(MatchBypassList(list, host, false), match) << list << " / " << host;
    }
    EXPECT_TRUE(MatchBypassList("localhost", "127.0.0.1", true));  // by address
}

TEST(Proxy, EnvironmentDecides) {
    ::setenv("http_proxy", "http://127.0.0.1:3128", 1);
    ::setenv("no_proxy", "*.lan", 1);
    EXPECT_FALSE(QueryProxy("cam.example.com").direct);
    EXPECT_EQ(QueryProxy("cam.example.com").port, "3128");
    EXPECT_TRUE(QueryProxy("cam.lan").direct);
    ::unsetenv("http_proxy");
    ::unsetenv("no_proxy");
    EXPECT_TRUE(QueryProxy("cam.example.com").direct);
}

// The reply header over a real socket: split across receives, statuses, and the body cut into blocks.
class ReplyHeader : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds_), 0);
        session_ = &f_.Session(2, StreamKind::kMotionJpeg);
        session_->socket = fds_[0];
    }
    void TearDown() override {
        CloseSocket(*session_);
        ::close(fds_[1]);
    }
    void Send(const std::string& s) {
        ASSERT_EQ(::send(fds_[1], s.data(), s.size(), 0), static_cast<ssize_t>(s.size()));
    }
    Fixture f_;
    StreamSession* session_ = nullptr;
    int fds_[2] = {-1, -1};
};

TEST_F(ReplyHeader, SeparatorSplitAcrossReceivesIsFound) {
    Send("HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace\r\n\r\n--mybou");
    EXPECT_EQ(ReceiveChunk(*session_), kChunkHandled);
    EXPECT_FALSE(session_->headerPassed);
    Send("ndary\r\nContent-Type: image/jpeg\r\n");
    EXPECT_EQ(ReceiveChunk(*session_), kChunkHandled);
    EXPECT_TRUE(session_->headerPassed);
    EXPECT_EQ(f_.Drain(*session_), std::vector<std::string>{"Content-Type: image/jpeg\r\n"});
}

TEST_F(ReplyHeader, StatusRepliesSetTheirCodes) {
    const std::tuple<const char*, int, int> cases[] = {
        {"HTTP/1.1 400 Bad Request\r\n\r\n", kStatusBadRequest, 4},
        {"HTTP/1.1 503 Unavailable\r\n\r\n", kStatusUnavailable, 4}};
    for (const auto& [reply, code, attempts] : cases) {
        f_.v.statusCode = 0;
        f_.v.authAttempts = 0;
        session_->headerPassed = false;
        session_->replyLineSeen = false;
        session_->receiveFill = 0;
        Send(reply);
        EXPECT_EQ(ReceiveChunk(*session_), kChunkRetry) << reply;
        EXPECT_EQ(f_.v.statusCode, code);
        EXPECT_EQ(f_.v.authAttempts, attempts);
    }
}

TEST_F(ReplyHeader, UnauthorizedAsksWithTheRealmAndStoresTheLine) {
    f_.credentials.answer = Credentials{"admin", "secret"};
    Send("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"Lab camera\"\r\n\r\n");
    EXPECT_EQ(ReceiveChunk(*session_), kChunkRetry);
    EXPECT_EQ(f_.credentials.realms, std::vector<std::string>{"Lab camera"});
    EXPECT_EQ(f_.v.authorizationLine, "Authorization: Basic YWRtaW46c2VjcmV0\r\n");
    EXPECT_EQ(f_.v.authAttempts, 1);
    EXPECT_FALSE(f_.v.dialogBusy);
}

TEST_F(ReplyHeader, BodyWithoutReplyLineAndFullHeapKeepsTheBytes) {
    session_->chunkBytes = 128;
    std::string body(128, 'x');
    // Fill the heap so that the next block cannot be allocated; the bytes must wait, not vanish.
    std::vector<uint8_t> filler(128, 'f');
    while (PushChunk(*session_, filler.data(), filler.size())) {
    }
    const std::size_t held = QueuedChunks(*session_);
    Send(body);
    EXPECT_EQ(ReceiveChunk(*session_), kChunkNoMemory);
    uint8_t b[256];
    ASSERT_EQ(TakeChunk(*session_, b, sizeof b), 128);
    EXPECT_EQ(ReceiveChunk(*session_), kChunkHandled);
    const auto rest = f_.Drain(*session_);
    ASSERT_EQ(rest.size(), held);
    EXPECT_EQ(rest.back(), body);
}

// One receive may bring many chunks' worth: the body is still queued in chunk-size blocks, in order, and
// what a full heap cannot take waits (nothing lost, nothing read meanwhile) and goes first next time.
TEST_F(ReplyHeader, LongBodyIsQueuedInChunksAndWaitsForRoom) {
    session_->headerPassed = true;
    std::string body;
    for (int i = 0; i < 1000; ++i) body += static_cast<char>('a' + i % 26);
    std::vector<uint8_t> filler(128, 'f');
    // Leave room for three blocks only.
    while (PushChunk(*session_, filler.data(), filler.size())) {
    }
    const std::size_t fillers = QueuedChunks(*session_);
    uint8_t b[256];
    for (int i = 0; i < 3; ++i) ASSERT_EQ(TakeChunk(*session_, b, sizeof b), 128);
    Send(body);
    EXPECT_EQ(ReceiveChunk(*session_), kChunkNoMemory);
    EXPECT_EQ(QueuedChunks(*session_), fillers);
    std::vector<std::string> blocks = f_.Drain(*session_);
    blocks.erase(blocks.begin(), blocks.begin() + static_cast<std::ptrdiff_t>(fillers - 3));
    EXPECT_EQ(ReceiveChunk(*session_), kChunkHandled);  // the waiting bytes, before any new receive
    for (const std::string& block : f_.Drain(*session_)) blocks.push_back(block);
    std::string joined;
    for (const std::string& block : blocks) {
        EXPECT_LE(block.size(), 128u);
        joined += block;
    }
    EXPECT_EQ(joined, body);
    EXPECT_EQ(blocks.size(), 8u);
}

TEST(ChunkQueue, TakeChunksTakesWholeBlocksThatFit) {
    Fixture f;
    StreamSession& s = f.Session(2, StreamKind::kMotionJpeg);
    const std::string data = "0123456789";
    ASSERT_EQ(PushChunks(s, reinterpret_cast<const uint8_t*>(data.data()), data.size(), 4), data.size());
    EXPECT_EQ(QueuedChunks(s), 3u);  // 4 + 4 + 2
    uint8_t out[16] = {};
    EXPECT_EQ(TakeChunks(s, out, 7), 4);  // the second block does not fit whole: it stays
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 4), "0123");
    EXPECT_EQ(TakeChunks(s, out, sizeof out), 6);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 6), "456789");
    EXPECT_EQ(TakeChunks(s, out, sizeof out), -1);
    // A block that is not well formed ends a batch and is then dropped unread.
    ASSERT_EQ(PushChunks(s, reinterpret_cast<const uint8_t*>(data.data()), data.size(), 4), data.size());
    s.queue[1]->self = nullptr;
    EXPECT_EQ(TakeChunks(s, out, sizeof out), 4);
    EXPECT_EQ(TakeChunks(s, out, sizeof out), 2);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 2), "89");
    EXPECT_EQ(TakeChunks(s, out, sizeof out), -1);
    EXPECT_EQ(s.heap->LiveBlocks(), 0u);
}

TEST(ChunkQueue, MalformedBlockIsDiscarded) {
    Fixture f;
    StreamSession& s = f.Session(2, StreamKind::kMotionJpeg);
    const uint8_t data[4] = {1, 2, 3, 4};
    ASSERT_TRUE(PushChunk(s, data, 4));
    ASSERT_TRUE(PushChunk(s, data, 4));
    s.queue.front()->self = nullptr;  // a block that does not point to itself
    uint8_t out[8];
    EXPECT_EQ(TakeChunk(s, out, sizeof out), 0);
    EXPECT_EQ(TakeChunk(s, out, sizeof out), 4);
    EXPECT_EQ(s.heap->LiveBlocks(), 0u);
}

// Multipart extraction: the assembly starts just after the stream's first boundary line.
class Multipart : public ::testing::Test {
  protected:
    void Add(const std::string& s) {
        ASSERT_EQ(assembly_.Append(reinterpret_cast<const uint8_t*>(s.data()), s.size()), s.size());
    }
    std::string Next(int* rc) {
        *rc = assembly_.Extract(part_);
        return *rc >= 0 ? std::string(part_.begin(), part_.end()) : std::string();
    }
    MultipartAssembly assembly_;
    std::vector<uint8_t> part_;
};

TEST_F(Multipart, PartsByLengthByBoundaryGarbageAndClosing) {
    int rc;
    Add("Content-Type: image/jpeg\r\nDataLen: 5\r\n\r\nABCDE\r\n");
    EXPECT_EQ(Next(&rc), "Content-Type: image/jpeg\r\nDataLen: 5\r\n\r\nABCDE");
    // Garbage before the next boundary is skipped; a part without DataLen ends at "\r\n--".
    Add(std::string(100, 'g') + "--myboundary\r\nContent-Type: image/jpeg\r\n\r\nXYZ\r\n--myboundary\r\n");
    EXPECT_EQ(Next(&rc), "Content-Type: image/jpeg\r\n\r\nXYZ");
    // A length beyond the bytes held: nothing until they arrive.
    Add("Content-Type: image/jpeg\r\nDataLen: 8\r\n\r\n1234");
    EXPECT_EQ(Next(&rc), "");
    EXPECT_EQ(rc, kPartNeedMore);
    Add("5678\r\n--myboundary--\r\n");
    EXPECT_EQ(Next(&rc), "Content-Type: image/jpeg\r\nDataLen: 8\r\n\r\n12345678");
    Next(&rc);
    EXPECT_EQ(rc, kPartClosing);
}

TEST_F(Multipart, LengthIsNotBorrowedAndHugeLengthsDoNotStall) {
    int rc;
    // The first part has no DataLen; the second's must not be taken for it.
    Add("Content-Type: image/jpeg\r\n\r\nAB\r\n--myboundary\r\nContent-Type: image/jpeg\r\nDataLen: "
        "3\r\n\r\nCDE\r\n");
    EXPECT_EQ(Next(&rc), "Content-Type: image/jpeg\r\n\r\nAB");
    EXPECT_EQ(Next(&rc), "Content-Type: image/jpeg\r\nDataLen: 3\r\n\r\nCDE");
    // A length no buffer could hold counts as absent: the part ends at the next boundary.
    Add("--myboundary\r\nContent-Type: image/jpeg\r\nDataLen: 99999999\r\n\r\nFG\r\n--myboundary\r\n");
    EXPECT_EQ(Next(&rc), "Content-Type: image/jpeg\r\nDataLen: 99999999\r\n\r\nFG");
}

TEST_F(Multipart, FullBufferWithoutBoundaryIsDropped) {
    int rc;
    Next(&rc);
    std::string junk(MultipartAssembly::kCapacity, 'j');
    Add("x\r\n\r\n");
    assembly_.Append(reinterpret_cast<const uint8_t*>(junk.data()), junk.size());
    for (int i = 0; i < 3 && rc != kPartNeedMore; ++i) Next(&rc);
    EXPECT_EQ(Next(&rc), "");
    EXPECT_LE(assembly_.Held(), 14u);
    Add("--myboundary\r\nContent-Type: image/jpeg\r\nDataLen: 1\r\n\r\nZ");
    EXPECT_EQ(Next(&rc), "Content-Type: image/jpeg\r\nDataLen: 1\r\n\r\nZ");
}

// Filling from the queue stops as soon as a part is held whole by its DataLen: the picture is shown
// without waiting for the part after it.
TEST(MultipartFill, StopsWhenThePartIsWhole) {
    Fixture f;
    StreamSession& s = f.Session(2, StreamKind::kMotionJpeg);
    const std::string part = "Content-Type: image/jpeg\r\nDataLen: 300\r\n\r\n" + std::string(300, 'p');
    for (std::size_t at = 0; at < part.size(); at += 128) {
        const std::string chunk = part.substr(at, 128);
        ASSERT_TRUE(PushChunk(s, reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size()));
    }
    MultipartAssembly assembly;
    std::atomic<uint32_t> stop{0};
    EXPECT_EQ(assembly.Fill(s, stop), 0);
    EXPECT_EQ(QueuedChunks(s), 0u);
    std::vector<uint8_t> out;
    EXPECT_EQ(assembly.Extract(out), static_cast<int>(part.size()));
}

// A part without "DataLen: " taken in one batch with the boundary after it is complete at once; a
// boundary at the head of what is held begins the part and completes nothing.
TEST(MultipartFill, BoundaryBehindAPartInOneBatchCompletesIt) {
    Fixture f;
    StreamSession& s = f.Session(2, StreamKind::kMotionJpeg);
    const std::string bytes = "Content-Type: image/jpeg\r\n\r\nPICTURE\r\n--myboundary\r\nContent-Type: im";
    ASSERT_EQ(PushChunks(s, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 128), bytes.size());
    MultipartAssembly assembly;
    std::atomic<uint32_t> stop{0};
    // Were the part not seen complete, Fill would wait for more: a stop after 2 s ends that wait.
    std::atomic<bool> returned{false};
    std::thread guard([&] {
        for (int i = 0; i < 200 && !returned; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        stop = 1;
    });
    EXPECT_EQ(assembly.Fill(s, stop), 0);  // returns without waiting for more
    returned = true;
    guard.join();
    std::vector<uint8_t> out;
    ASSERT_GT(assembly.Extract(out), 0);
    EXPECT_EQ(std::string(out.begin(), out.end()), "Content-Type: image/jpeg\r\n\r\nPICTURE");
}

TEST(MultipartParts, KindsAndCameraTime) {
    EXPECT_EQ(ClassifyPart("Content-Type: image/jpeg\r\n\r\nx"), PartKind::kPicture);
    EXPECT_EQ(ClassifyPart("Content-Type: audio/g726_32\r\n\r\nx"), PartKind::kAudio);
    EXPECT_EQ(ClassifyPart("DataLen: 1\r\n\r\nContent-Type: image/jpeg"), PartKind::kNone);
    EXPECT_EQ(CameraTimeOf("Content-Type: image/jpeg\r\nCamTim: 2026/12/10 14:31:52\r\n\r\n"),
              "2026/12/10 14:31:52");
    EXPECT_EQ(CameraTimeOf("CamTim: " + std::string(40, '1') + "\r\n\r\n"), "");
    EXPECT_EQ(PartPayload("A: b\r\n\r\nPAY"), "PAY");
}

TEST(MultipartParts, AudioPartsAreCutIntoFrames) {
    Fixture f;
    StreamSession& audio = f.Session(1, StreamKind::kAudio, 180);  // G.726 32 kbit/s
    AudioAccumulator acc;
    acc.Add(audio, std::string(500, 'a'));
    EXPECT_EQ(QueuedChunks(audio), 2u);
    EXPECT_EQ(acc.Held(), 140u);
    // More than 25 waiting frames: the 10 oldest go before new ones are added.
    for (int i = 0; i < 30; ++i) acc.Add(audio, std::string(180, 'b'));
    EXPECT_LE(QueuedChunks(audio), 26u);
}

TEST(RtpAudio, DatagramIsCutIntoFramesAndTheRestKept) {
    Fixture f;
    StreamSession& audio = f.Session(1, StreamKind::kAudio, 180);
    audio.stats = &f.v.audioStats;
    std::vector<uint8_t> datagram(12 + 200, 0x55);
    datagram[0] = 0x80;
    uint8_t buffer[kRtpAudioBufferBytes] = {};
    std::size_t fill = 0;
    EXPECT_EQ(HandleRtpDatagram(audio, datagram.data(), datagram.size(), buffer, &fill, 1000), kRtpHandled);
    EXPECT_EQ(QueuedChunks(audio), 1u);
    EXPECT_EQ(fill, 20u);
}

TEST(Inquiry, ParsesTheAnswerKeys) {
    CameraDescription c;
    ASSERT_EQ(ParseInquiry("ModelName=QXR-K7&Serial=K7001&ImageCodec=jpeg&JpFrameRate=15&M4FrameRate=0&"
                           "Multicast=off&McAddress=239.1.2.3&McVideoPort=60000&UcAudioPort=60012&AudioIn=on&"
                           "AudInCodec=g726_24&FcManualFunc=on&SmManualFunc=off&ViewerMode=000000c1&"
                           "MdWin2Area=10,20,110,220&MdWin2=on&MdWin2Sensitivity=7&MdWin3Threshold=9&Bogus=1",
                           c),
              0);
    EXPECT_EQ(c.serial, "K7001");
    EXPECT_EQ(c.codec, ImageCodec::kMotionJpeg);
    EXPECT_EQ(c.jpegFrameRate, 15);
    EXPECT_EQ(FrameRateList(c.jpegFrameRate).front(), "15 fps");
    EXPECT_EQ(c.mpeg4FrameRate, 30);
    EXPECT_FALSE(c.multicast);
    EXPECT_EQ(c.multicastAddress, "239.1.2.3");
    EXPECT_EQ(c.mcVideoPort, 60000);
    EXPECT_EQ(c.ucAudioPort, 60012);
    EXPECT_TRUE(c.audioIn);
    EXPECT_EQ(c.audioCodec, AudioCodec::kG726_24);
    EXPECT_EQ(c.triggers, kTriggerFtp);
    EXPECT_EQ(c.viewerMode, 0xC1000000u);
    EXPECT_EQ(ViewerKindFor(c.viewerMode), ViewerKind::kFull);
    const MotionWindow& w = c.windows[1];
    EXPECT_TRUE(w.active);
    EXPECT_EQ(w.left, 10);
    EXPECT_EQ(w.top, 20);
    EXPECT_EQ(w.right, 110);
    EXPECT_EQ(w.bottom, 220);
    EXPECT_EQ(w.sensitivity, 7);
    EXPECT_EQ(c.windows[2].threshold, 9);
    EXPECT_FALSE(c.windows[0].active);
    EXPECT_EQ(ParseInquiry("", c), -1);
}

TEST(Inquiry, ViewerModeDigitsAndKinds) {
    const std::tuple<const char*, uint32_t, ViewerKind> cases[] = {
        {"000000C1", 0xC1000000u, ViewerKind::kFull}, {"00000000", 0u, ViewerKind::kViewOnly},
        {"00000109", 0x09010000u, ViewerKind::kFull}, {"00000011", 0x11000000u, ViewerKind::kLight},
        {"00000001", 0x01000000u, ViewerKind::kView}, {"000000c1", 0xC1000000u, ViewerKind::kFull},
        {"0000zz01", 0x01000000u, ViewerKind::kView},
    };
    for (const auto& [digits, value, kind] : cases) {
        EXPECT_EQ(ViewerModeFromDigits(digits), value) << digits;
        EXPECT_EQ(ViewerKindFor(value), kind) << digits;
    }
}

TEST(Inquiry, CommandBodies) {
    EXPECT_EQ(TriggerBody("FTP"), "Trigger=ftp");
    EXPECT_EQ(TriggerBody("Alarm output"), "Trigger=alarmout");
    EXPECT_EQ(TriggerBody("Image memory"), "Trigger=memory");
    EXPECT_EQ(TriggerBody("e-Mail"), "Trigger=smtp");
    EXPECT_EQ(TriggerBody("Other"), "");
    EXPECT_EQ(TriggerList(kTriggerFtp | kTriggerSmtp | kTriggerAlarmOut),
              (std::vector<std::string>{"e-Mail", "FTP", "Alarm output"}));
    CameraDescription c;
    c.windows[0] = {true, 1, 2, 3, 4, 50, 60};
    EXPECT_EQ(MotionDetectionBody(c, 1, MotionCommand::kArea), "mdtwin1area=1,2,3,4");
    EXPECT_EQ(MotionDetectionBody(c, 1, MotionCommand::kOnOff), "mdtwin1=on");
    EXPECT_EQ(MotionDetectionBody(c, 1, MotionCommand::kSensitivity), "mdtwin1sensitivity=50");
    EXPECT_EQ(MotionDetectionBody(c, 1, MotionCommand::kThreshold), "mdtwin1threshold=60");
    EXPECT_EQ(
        MotionDetectionBody(c, 0, MotionCommand::kAll),
        "mdwin1area=1,2,3,4&mdwin2area=0,0,0,0&mdwin3area=0,0,0,0&mdwin4area=0,0,0,0&mdwin1=on&mdwin2=off&"
        "mdwin3=off&mdwin4=off&mdwin1sensitivity=50&mdwin2sensitivity=0&mdwin3sensitivity=0&"
        "mdwin4sensitivity=0&mdwin1threshold=60&mdwin2threshold=0&mdwin3threshold=0&mdwin4threshold=0");
}

TEST(SessionModeIni, FirstCameraWritesTcpOthersReadTheirSection) {
    const std::string dir =
        std::filesystem::temp_directory_path() / ("ocuview_ini_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    const std::string path = dir + "/ocuview/MarloQXRK7.ini";
    EXPECT_EQ(SessionModeFromIni(path, "K7A"), SessionMode::kTcp);  // no file: written with Tcp
    EXPECT_EQ(platform::IniGetString(path, "K7A", "SessionMode", ""), "Tcp");
    // Another camera without a section: TCP, and nothing is written until the next restart.
    EXPECT_EQ(SessionModeFromIni(path, "K7B"), SessionMode::kTcp);
    EXPECT_EQ(platform::IniSectionNames(path), std::vector<std::string>{"K7A"});
    SaveSessionMode(path, "K7B", SessionMode::kUdpMulticast);
    EXPECT_EQ(SessionModeFromIni(path, "K7B"), SessionMode::kUdpMulticast);
    SaveSessionMode(path, "K7B", SessionMode::kUdpUnicast);
    EXPECT_EQ(SessionModeFromIni(path, "K7B"), SessionMode::kUdpUnicast);
    std::filesystem::remove_all(dir);
}

// RTP statistics after RFC 3550 appendix A.
std::array<uint8_t, 32> Report(RtpStats& s, uint64_t nowUs = 0) {
    return s.MakeReceiverReport(nowUs, 1234);
}
uint32_t Be32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

TEST(RtpStatistics, InOrderStreamReportsNoLoss) {
    RtpStats s;
    s.Clear();
    for (uint16_t q = 1000; q < 1100; ++q) s.Update(q, q * 160u, q * 20000u);
    const auto rr = Report(s);
    EXPECT_EQ(rr[0], 0x81);
    EXPECT_EQ(rr[1], 201);
    EXPECT_EQ(rr[3], 7);
    EXPECT_EQ(rr[12], 0);                     // fraction lost
    EXPECT_EQ(Be32(&rr[12]) & 0xFFFFFF, 0u);  // cumulative lost
    EXPECT_EQ(Be32(&rr[16]), 1099u);          // extended highest sequence
    EXPECT_EQ(Be32(&rr[20]), 0u);             // packets exactly on time: no jitter
}

TEST(RtpStatistics, WrapLossAndDuplicates) {
    RtpStats s;
    s.Clear();
    for (uint32_t q = 65530; q < 65536 + 10; ++q) {
        if (q % 4 == 0) continue;  // every fourth lost
        s.Update(static_cast<uint16_t>(q), q * 160u, q * 20000ull);
    }
    auto rr = Report(s);
    EXPECT_EQ(Be32(&rr[16]), 65536u + 9);  // cycles count the wrap
    EXPECT_EQ(Be32(&rr[12]) & 0xFFFFFF, 4u);
    EXPECT_EQ(rr[12], 4 * 256 / 16);
    // Duplicates: more received than expected in the interval never gives a negative or huge fraction.
    for (int i = 0; i < 20; ++i) s.Update(static_cast<uint16_t>(65536 + 9), 0, 0);
    rr = Report(s);
    EXPECT_EQ(rr[12], 0);
}

TEST(RtpStatistics, JitterFollowsArrivalVariation) {
    RtpStats s;
    s.Clear();
    // 20 ms packets (160 units) arriving alternately 5 ms early and late.
    for (uint16_t q = 0; q < 200; ++q) s.Update(q, q * 160u, q * 20000ull + (q % 2 ? 5000 : 0));
    const auto rr = Report(s);
    // |D| = 5 ms = 40 units; each step is truncated toward zero, so the estimate settles 15 units short.
    EXPECT_EQ(Be32(&rr[20]), 25u);
}

TEST(RtpStatistics, SenderReportsByeAndDelay) {
    RtpStats s;
    s.Clear();
    uint8_t sr[28] = {0x80, 200,  0,    6,    0xCA, 0xFE, 0xBA, 0xBE,
                      0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
    EXPECT_EQ(HandleRtcp(sr, sizeof sr, s, 5000000), RtcpKind::kSenderReport);
    EXPECT_EQ(s.senderSsrc, 0xCAFEBABEu);
    EXPECT_EQ(s.lastSr, 0x56789ABCu);
    const auto rr = Report(s, 5000000 + 1500000);  // 1.5 s later
    EXPECT_EQ(Be32(&rr[8]), 0xCAFEBABEu);
    EXPECT_EQ(Be32(&rr[24]), 0x56789ABCu);
    EXPECT_EQ(Be32(&rr[28]), 98304u);  // 1.5 * 65536
    uint8_t bye[8] = {0x81, 203, 0, 1, 0, 0, 0, 1};
    EXPECT_EQ(HandleRtcp(bye, sizeof bye, s, 0), RtcpKind::kOther);  // another SSRC
    std::memcpy(bye + 4, sr + 4, 4);
    EXPECT_EQ(HandleRtcp(bye, sizeof bye, s, 0), RtcpKind::kOwnBye);
    const auto own = s.MakeBye();
    EXPECT_EQ(Be32(&own[4]), 0xCAFEBABEu);
}

// One motion-data record as the camera sends it: 6-character level fields at 62, 78, 94, 110 after the
// boundary line.
std::string MotionRecord(const char* f1, const char* f2, const char* f3, const char* f4) {
    std::string body(132, '.');
    const char* fields[] = {f1, f2, f3, f4};
    const std::size_t offsets[] = {62, 78, 94, 110};
    for (int i = 0; i < 4; ++i) body.replace(offsets[i], 6, fields[i]);
    return "--myboundary\r\n" + body;
}

std::optional<std::array<int, 4>> Feed(MotionLevelReader& reader, const std::string& bytes) {
    return reader.Append({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
}

TEST(MotionData, LevelReader) {
    MotionLevelReader reader;
    const std::string first = MotionRecord("000005", "002500", "000000", "001999");
    // Cut in the middle of the boundary and of the record: nothing until it is complete (132 bytes after
    // the "--").
    EXPECT_FALSE(Feed(reader, first.substr(0, 7)));
    EXPECT_FALSE(Feed(reader, first.substr(7, 100)));
    EXPECT_FALSE(Feed(reader, first.substr(107, 26)));
    const auto levels = Feed(reader, first.substr(133));
    ASSERT_TRUE(levels);
    EXPECT_EQ(*levels, (std::array<int, 4>{5, 2000, 0, 1999}));  // 2500 shows as 2000
    // Two records in one chunk: the last one wins; garbage before a boundary is skipped; a field is read
    // as far as its leading digits go.
    const auto next = Feed(reader, "garbage" + MotionRecord("000001", "000002", "000003", "000004") +
                                       MotionRecord("12a456", "abcdef", "999999", "   7  "));
    ASSERT_TRUE(next);
    EXPECT_EQ(*next, (std::array<int, 4>{12, 0, 2000, 0}));
    // Long stretches without a boundary, or with boundaries only, hold at most 2048 bytes.
    for (int i = 0; i < 100; ++i) {
        EXPECT_FALSE(Feed(reader, std::string(1000, 'x')));
        EXPECT_LE(reader.Held(), MotionLevelReader::kBufferBytes);
    }
    for (int i = 0; i < 100; ++i) {
        (void)Feed(reader, "--myboundary" + std::string(100, 'x'));
        EXPECT_LE(reader.Held(), MotionLevelReader::kBufferBytes);
    }
    EXPECT_TRUE(Feed(reader, MotionRecord("000001", "000001", "000001", "000001")));
}

}  // namespace
