// The whole viewer headless against the camera simulator on loopback: pictures, audio, authentication,
// proxies, RTP/RTCP, and the faults the simulator can inject.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "core/command.h"
#include "core/session_loop.h"
#include "core/stream_request.h"
#include "core/viewer.h"
#include "core/viewer_state.h"
#include "platform/wave_out.h"
#include "viewer_test_support.h"

namespace {

using namespace viewer_test;
using namespace std::chrono_literals;
using ocuview::StartResult;

class ViewerStream : public ::testing::Test {
  protected:
    std::string Ini() const {
        return ScratchDir() + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini";
    }
    // A viewer of `camera` with a short settle pause (the limits a test is about are set by the test).
    std::unique_ptr<ocuview::Viewer> MakeViewer(const Camera& camera,
                                                ocuview::CredentialsProvider* creds = nullptr) {
        auto v = std::make_unique<ocuview::Viewer>(sink, creds != nullptr ? *creds : credentials, observer);
        v->Configure(SettingsFor(camera, Ini()));
        v->State().stopSettleMs = 0;
        return v;
    }
    void ExpectAllStopped(ocuview::Viewer& viewer) {
        for (const ocuview::ThreadSlot& slot : viewer.State().threads) {
            EXPECT_FALSE(slot.running.load());
            EXPECT_FALSE(slot.thread.joinable());
        }
        for (const ocuview::StreamSession& s : viewer.State().sessions) {
            EXPECT_EQ(s.socket, -1);
            EXPECT_TRUE(s.queue.empty());
        }
    }
    std::vector<std::pair<int, std::string>> Statuses() {
        std::lock_guard<std::mutex> hold(observer.lock);
        return observer.statuses;
    }
    int Restarts() {
        std::lock_guard<std::mutex> hold(observer.lock);
        return observer.restarts;
    }
    static int CountRequests(Camera& camera, const std::string& path, bool authorized = true) {
        int n = 0;
        for (const auto& r : camera.sim().state().Requests())
            n += r.path == path && r.authorized == authorized;
        return n;
    }
    RecordingSink sink;
    ScriptedCredentials credentials;
    RecordingObserver observer;
};

camsim::Config Small(const std::string& codec = "jpeg") {
    camsim::Config c;
    c.width = 320;
    c.height = 240;
    c.codec = codec;
    if (codec == "mpeg4") c.mpeg4File = Mpeg4File(320, 240);
    return c;
}

TEST_F(ViewerStream, MotionJpegPicturesArriveInOrderWithTheCameraTime) {
    Camera camera(Small());
    auto viewer = MakeViewer(camera);
    ASSERT_EQ(viewer->Start(), StartResult::kStarted);
    ASSERT_TRUE(sink.WaitFor(10, 5s));
    viewer->Tick();
    viewer->Stop();
    ExpectAllStopped(*viewer);
    const auto frames = sink.Frames();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].sequence, i + 1);
        EXPECT_EQ(frames[i].width, 320);
        EXPECT_EQ(frames[i].height, 240);
        EXPECT_EQ(frames[i].sizeChanged, i == 0);
        if (i > 0) {
            EXPECT_LE(frames[i - 1].cameraTime, frames[i].cameraTime);
        }
    }
    EXPECT_EQ(frames.back().cameraTime.size(), 23u);
    EXPECT_NE(frames.back().checksum, frames.front().checksum);  // the scene moves
    std::lock_guard<std::mutex> hold(observer.lock);
    ASSERT_FALSE(observer.overlays.empty());
    EXPECT_EQ(observer.overlays.back().size(), 23u);
}

TEST_F(ViewerStream, FrameRateChangeReconnectsOnceWithTheNewRate) {
    Camera camera(Small());
    auto viewer = MakeViewer(camera);
    ASSERT_EQ(viewer->Start(), StartResult::kStarted);
    ASSERT_TRUE(sink.WaitFor(3, 5s));
    viewer->SetFrameRate(5);
    ASSERT_TRUE(sink.WaitFor(sink.Count() + 3, 5s));
    viewer->Stop();
    std::vector<std::string> targets;
    for (const auto& r : camera.sim().state().Requests()) {
        if (r.path == "/image") targets.push_back(r.target);
    }
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_NE(targets[0].find("speed=30"), std::string::npos);
    EXPECT_NE(targets[1].find("speed=5"), std::string::npos);
}

TEST_F(ViewerStream, Mpeg4OverTcpPicturesWithTheCameraTime) {
    camsim::Config c = Small("mpeg4");
    ASSERT_FALSE(c.mpeg4File.empty());
    c.audioIn = false;
    Camera camera(c);
    auto viewer = MakeViewer(camera);
    ASSERT_EQ(viewer->Start(), StartResult::kStarted);
    ASSERT_TRUE(sink.WaitFor(10, 5s));
    viewer->Stop();
    ExpectAllStopped(*viewer);
    const auto frames = sink.Frames();
    EXPECT_EQ(frames.front().width, 320);
    EXPECT_EQ(frames.front().height, 240);
    EXPECT_EQ(frames.back().cameraTime.size(), 23u);
    EXPECT_EQ(CountRequests(camera, "/mpeg4"), 1);
}

// Pictures larger than the camera's 640 x 480 must not overrun anything.
TEST_F(ViewerStream, PicturesAboveVgaAreShownWhole) {
    camsim::Config c = Small("mpeg4");
    c.mpeg4File = Mpeg4File(800, 608);
    c.audioIn = false;
    Camera camera(c);
    auto viewer = MakeViewer(camera);
    ASSERT_EQ(viewer->Start(), StartResult::kStarted);
    ASSERT_TRUE(sink.WaitFor(3, 5s));
    viewer->Stop();
    EXPECT_EQ(sink.Frames().back().width, 800);
    EXPECT_EQ(sink.Frames().back().height, 608);
}

struct AudioCase {
    const char* codec;
    const char* audioCodec;
};

class ViewerAudio : public ViewerStream, public ::testing::WithParamInterface<AudioCase> {};

TEST_P(ViewerAudio, AudioReachesTheOutput) {
    const std::string wav =
        ScratchDir() + "/audio_" + GetParam().audioCodec + "_" + GetParam().codec + ".wav";
    std::filesystem::remove(wav);
    const auto previous = platform::SetWaveOutBackend(platform::WavFileBackend(wav, true));
    camsim::Config c = Small(GetParam().codec);
    c.audioCodec = GetParam().audioCodec;
    Camera camera(c);
    auto viewer = MakeViewer(camera);
    ASSERT_EQ(viewer->Start(), StartResult::kStarted);
    ASSERT_TRUE(sink.WaitFor(5, 5s));
    std::this_thread::sleep_for(1500ms);
    viewer->Stop();
    platform::SetWaveOutBackend(previous);
    ASSERT_TRUE(std::filesystem::exists(wav));
    // Over a second of 8 kHz sound (16-bit or mu-law bytes) after the priming buffers.
    EXPECT_GT(std::filesystem::file_size(wav), 44u + 4000u);
}

INSTANTIATE_TEST_SUITE_P(Codecs, ViewerAudio,
                         ::testing::Values(AudioCase{"jpeg", "g711_64"}, AudioCase{"jpeg", "g726_32"},
                                           AudioCase{"mpeg4", "g726_24"}, AudioCase{"mpeg4", "g711_64"}),
                         [](const auto& p) { return std::string(p.param.codec) + "_" + p.param.audioCodec; });

// RTP unicast with an RTCP session: pictures decode, and the receiver reports the camera records agree
// with the loss it injected; reordered packets are not counted as lost.
TEST_F(ViewerStream, RtpUnicastReportsInjectedLoss) {
    camsim::Config c = Small("mpeg4");
    c.audioIn = false;
    c.faults["rtp-video"].rtpLoss = 0.1;
    c.faults["rtp-video"].rtpReorder = 0.1;
    Camera camera(c);
    auto viewer = MakeViewer(camera);
    ocuview::ViewerSettings s = SettingsFor(camera, Ini());
    s.sessionModeRequest = ocuview::SessionMode::kUdpUnicast;
    viewer->Configure(s);
    ASSERT_EQ(viewer->Start(), StartResult::kStarted);
    ASSERT_TRUE(sink.WaitFor(5, 5s));
    std::vector<camsim::SeenReceiverReport> reports;
    for (int i = 0; i < 200 && reports.size() < 8; ++i) {
        std::this_thread::sleep_for(50ms);
        reports = camera.sim().state().ReceiverReports();
    }
    viewer->Stop();
    ExpectAllStopped(*viewer);
    ASSERT_GE(reports.size(), 3u);
    const auto& last = reports.back();
    EXPECT_EQ(last.medium, "video");
    EXPECT_GT(last.cumulativeLost, 0);
    // Between the first and the last report about a tenth of the packets went missing.
    const auto& first = reports.front();
    const double expected = static_cast<double>(last.highestSequence - first.highestSequence);
    const double lost = static_cast<double>(last.cumulativeLost - first.cumulativeLost);
    if (expected >= 50) {
        EXPECT_GT(lost / expected, 0.02);
        EXPECT_LT(lost / expected, 0.25);
    }
    EXPECT_LT(last.jitter, 8000u);  // well under a second of 8 kHz units
    EXPECT_NE(last.lastSr, 0u);
    EXPECT_LT(last.delaySinceLastSr, 65536u);  // answered within a second of the sender report
    int withLoss = 0;
    for (const auto& r : reports) withLoss += r.fractionLost > 0;
    EXPECT_GT(withLoss, 0);
    // The RTCP session says goodbye (the camera reads its RTCP port every 100 ms).
    for (int i = 0; i < 50 && camera.sim().state().Byes().empty(); ++i) std::this_thread::sleep_for(20ms);
    EXPECT_EQ(camera.sim().state().Byes().size(), 1u);
}

TEST_F(ViewerStream, RtpMulticastPictures) {
    camsim::Config c = Small("mpeg4");
    c.audioIn = false;
    c.mcVideoPort = 46000 + static_cast<uint16_t>(::getpid() % 1000) * 4;
    Camera camera(c);
    auto viewer = MakeViewer(camera);
    ocuview::ViewerSettings s = SettingsFor(camera, Ini());
    s.sessionModeRequest = ocuview::SessionMode::kUdpMulticast;
    viewer->Configure(s);
    ASSERT_EQ(viewer->Start(), StartResult::kStarted);
    const bool arrived = sink.WaitFor(5, 5s);
    viewer->Stop();
    ExpectAllStopped(*viewer);
    if (!arrived && viewer->State().fallbackRequest == 2)
        GTEST_SKIP() << "no multicast on this machine's loopback";
    EXPECT_TRUE(arrived);
}

// A UDP start whose socket cannot be bound falls back to TCP at the restart.
TEST_F(ViewerStream, UdpBindFailureRestartsOverTcp) {
    camsim::Config c = Small("mpeg4");
    c.audioIn = false;
    Camera camera(c);
    auto viewer = MakeViewer(camera);
    ocuview::ViewerSettings s = SettingsFor(camera, Ini());
    s.sessionModeRequest = ocuview::SessionMode::kUdpUnicast;
    viewer->Configure(s);
    // Every port the video socket may try (base + 4 i, i <= 64) is held here. The base is drawn by the
    // system, so no other run holds the same ports; a draw where any of them is taken is tried again.
    std::vector<int> taken;
    for (int attempt = 0; attempt < 50 && taken.empty(); ++attempt) {
        for (int i = 0; i <= 64; ++i) {
            const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            if (i > 0) a.sin_port = htons(static_cast<uint16_t>(viewer->State().udpBasePortVideo + 4 * i));
            socklen_t len = sizeof a;
            const bool held = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                              ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0 &&
                              ntohs(a.sin_port) + 4 * 64 <= 65535;
            if (fd >= 0 && !held) ::close(fd);
            if (!held) {
                for (const int t : taken) ::close(t);
                taken.clear();
                break;
            }
            if (i == 0) viewer->State().udpBasePortVideo = ntohs(a.sin_port);
            taken.push_back(fd);
        }
    }
    ASSERT_EQ(taken.size(), 65u);
    ASSERT_EQ(viewer->Start(), StartResult::kStarted);
    EXPECT_TRUE(TickUntil(
        *viewer, [&] { return sink.Count() >= 3; }, 20s));
    viewer->Stop();
    for (const int fd : taken) ::close(fd);
    std::lock_guard<std::mutex> hold(observer.lock);
    EXPECT_EQ(observer.modes, (std::vector<ocuview::SessionMode>{ocuview::SessionMode::kUdpUnicast,
                                                                 ocuview::SessionMode::kTcp}));
}

// What each simulator fault ends in: a status text after three failures, a restart, or nothing at all
// (pictures go on).
struct FaultCase {
    const char* name;
    const char* codec;
    const char* fault;
    int status;     // status shown; -1: the viewer keeps running
    bool restarts;  // at least one restart seen
    bool pictures;  // pictures arrive
};

class ViewerFault : public ViewerStream, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(ViewerFault, EndsAsItShould) {
    const FaultCase& fc = GetParam();
    camsim::Config c = Small(fc.codec);
    c.audioIn = false;
    ASSERT_EQ(camsim::ApplyFaultSpec(c, fc.fault), "");
    Camera camera(c);
    auto viewer = MakeViewer(camera);
    ocuview::ViewerState& state = viewer->State();
    state.connectTimeoutMs = 1500;  // a stalled camera times out soon
    state.threadStopWaitMs = 1000;
    state.senderReportSilenceS = 1;
    state.udpTimeoutLimit = 2;
    if (std::string(fc.fault).rfind("rtp", 0) == 0) {
        ocuview::ViewerSettings s = SettingsFor(camera, Ini());
        s.sessionModeRequest = ocuview::SessionMode::kUdpUnicast;
        viewer->Configure(s);
    }
    (void)viewer->Start();
    if (fc.status >= 0) {
        EXPECT_TRUE(TickUntil(
            *viewer, [&] { return !Statuses().empty(); }, 20s))
            << fc.fault;
        ASSERT_EQ(Statuses().size(), 1u);
        EXPECT_EQ(Statuses()[0].first, fc.status);
        EXPECT_FALSE(viewer->Playing());
    } else {
        TickUntil(
            *viewer, [&] { return sink.Count() >= 8 && (!fc.restarts || Restarts() > 0); }, 10s);
        EXPECT_TRUE(Statuses().empty());
    }
    viewer->Stop();
    ExpectAllStopped(*viewer);
    EXPECT_EQ(Restarts() > 0, fc.restarts) << fc.fault;
    if (fc.pictures) {
        EXPECT_GE(sink.Count(), 8u) << fc.fault;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Simulator, ViewerFault,
    ::testing::Values(FaultCase{"refuse", "jpeg", "image:refuse", 17, true, false},
                      FaultCase{"stall", "jpeg", "image:stall", 17, true, false},
                      FaultCase{"bad_request", "jpeg", "image:status=400", 19, false, false},
                      FaultCase{"unavailable", "mpeg4", "mpeg4:status=503", 20, false, false},
                      FaultCase{"command_refused", "jpeg", "cgi:refuse", 17, false, false},
                      FaultCase{"close_after", "jpeg", "image:close-after=60000", -1, true, true},
                      FaultCase{"garbage", "jpeg", "image:garbage=100", -1, false, true},
                      FaultCase{"no_datalen", "jpeg", "image:no-datalen", -1, false, true},
                      FaultCase{"huge_datalen", "jpeg", "image:huge-datalen", -1, false, true},
                      FaultCase{"bad_picture", "jpeg", "image:bad-picture", -1, false, false},
                      FaultCase{"mpeg4_close", "mpeg4", "mpeg4:close-after=30000", -1, true, true},
                      FaultCase{"rtp_early_bye", "mpeg4", "rtp-video:early-bye=0.5", -1, true, true},
                      FaultCase{"rtp_no_sender_reports", "mpeg4", "rtp-video:no-sr", -1, true, true},
                      FaultCase{"rtp_duplicate_reorder", "mpeg4", "rtp-video:duplicate=0.1", -1, false, true},
                      FaultCase{"rtp_silent", "mpeg4", "rtp-video:loss=1", -1, true, false}),
    [](const auto& p) { return std::string(p.param.name); });

// A command that does not finish: "Can not connect." after the command limit, and no retry.
TEST_F(ViewerStream, HungCommandEndsWithCannotConnect) {
    SilentServer hung;
    ocuview::Viewer viewer(sink, credentials, observer);
    ocuview::ViewerSettings s;
    s.cameraHost = "127.0.0.1";
    s.cameraPort = std::to_string(hung.port());
    s.iniPath = Ini();
    viewer.Configure(s);
    viewer.State().commandTimeoutMs = 300;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(viewer.Start(), StartResult::kRequestFailed);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    viewer.Tick();
    ASSERT_EQ(Statuses().size(), 1u);
    EXPECT_EQ(Statuses()[0], std::make_pair(17, std::string("Can not connect.")));
    EXPECT_EQ(Restarts(), 0);
}

camsim::Config Protected() {
    camsim::Config c = Small();
    c.audioIn = false;
    c.user = "admin";
    c.password = "secret";
    c.realm = "Lab camera";
    return c;
}

TEST_F(ViewerStream, CredentialsAskedOnceThenEveryRequestCarriesThem) {
    Camera camera(Protected());
    ScriptedCredentials good({ocuview::Credentials{"admin", "secret"}});
    auto viewer = MakeViewer(camera, &good);
    ASSERT_EQ(viewer->Start(), StartResult::kStarted);
    const bool got = sink.WaitFor(3, 5s);
    ASSERT_TRUE(got);
    viewer->Stop();
    EXPECT_EQ(good.Asks(), 1);
    EXPECT_EQ(good.Realms(), std::vector<std::string>{"Lab camera"});
    EXPECT_EQ(CountRequests(camera, "/command/inquiry.cgi", false), 1);
    EXPECT_EQ(CountRequests(camera, "/command/inquiry.cgi", true), 2);
    EXPECT_EQ(CountRequests(camera, "/image", true), 1);
    EXPECT_EQ(CountRequests(camera, "/image", false), 0);
}

TEST_F(ViewerStream, CancelAndWrongCredentialsEndProtected) {
    Camera camera(Protected());
    {
        ScriptedCredentials cancel({std::nullopt});
        auto viewer = MakeViewer(camera, &cancel);
        EXPECT_EQ(viewer->Start(), StartResult::kRequestFailed);
        viewer->Tick();
        EXPECT_EQ(cancel.Asks(), 1);
    }
    {
        ScriptedCredentials wrong({ocuview::Credentials{"admin", "wrong"}});
        auto viewer = MakeViewer(camera, &wrong);
        EXPECT_EQ(viewer->Start(), StartResult::kRequestFailed);
        viewer->Tick();
        EXPECT_EQ(wrong.Asks(), 3);  // no fourth dialog
    }
    const auto statuses = Statuses();
    ASSERT_EQ(statuses.size(), 2u);
    for (const auto& s : statuses)
        EXPECT_EQ(s, std::make_pair(18, std::string("Protected Object. This object is protected.")));
}

// The stream and UDP-start paths ask on a 401 and repeat the request with the new line.
TEST_F(ViewerStream, StreamAndUdpStartPathsAskAndRepeat) {
    camsim::Config c = Protected();
    c.codec = "mpeg4";
    c.mpeg4File = Mpeg4File(320, 240);
    Camera camera(c);
    ScriptedCredentials good({ocuview::Credentials{"admin", "secret"}});
    RecordingSink nothing;
    ocuview::ViewerObserver quiet;
    ocuview::ViewerState v(nothing, good, quiet);
    v.cameraHost = "127.0.0.1";
    v.cameraPort = std::to_string(camera.port());
    v.hostField = ocuview::MakeHostField(v.cameraHost, v.cameraPort);
    ocuview::StreamSession& s = v.sessions[0];
    s.viewer = &v;
    s.kind = ocuview::StreamKind::kVideo;
    s.transport = ocuview::Transport::kTcp;
    s.channel = ocuview::kChannelVideoNet;
    s.stats = &v.videoStats;
    std::thread net([&] { ocuview::RunSession(s); });
    for (int i = 0; i < 200 && CountRequests(camera, "/mpeg4", true) == 0; ++i)
        std::this_thread::sleep_for(10ms);
    v.threads[ocuview::kChannelVideoNet].stop = 1;
    ocuview::ShutdownSocket(s);
    { std::lock_guard<std::mutex> hold(v.stopLock); }
    v.stopSignal.notify_all();
    net.join();
    EXPECT_EQ(good.Asks(), 1);
    EXPECT_EQ(CountRequests(camera, "/mpeg4", false), 1);
    EXPECT_EQ(CountRequests(camera, "/mpeg4", true), 1);

    // The UDP start: a fresh record without a line asks once more and repeats the GET.
    v.authorizationLine.clear();
    v.authAttempts = 0;
    s.transport = ocuview::Transport::kUdp;
    EXPECT_TRUE(ocuview::StartUdpStream(v, s, 50000));
    EXPECT_EQ(good.Asks(), 2);
    int udpStarts = 0;
    for (const auto& r : camera.sim().state().Requests()) {
        if (r.target.find("UdpMode=unicast&UdpPort=50000") != std::string::npos)
            udpStarts += r.authorized ? 10 : 1;
    }
    EXPECT_EQ(udpStarts, 11);
}

// Two viewers in one process keep their own credentials.
TEST_F(ViewerStream, TwoViewersDoNotShareCredentials) {
    Camera camera(Protected());
    ScriptedCredentials good({ocuview::Credentials{"admin", "secret"}});
    ScriptedCredentials cancel({std::nullopt});
    RecordingSink otherSink;
    RecordingObserver otherObserver;
    auto first = MakeViewer(camera, &good);
    ocuview::Viewer second(otherSink, cancel, otherObserver);
    second.Configure(SettingsFor(camera, Ini()));
    ASSERT_EQ(first->Start(), StartResult::kStarted);
    EXPECT_EQ(second.Start(), StartResult::kRequestFailed);
    EXPECT_EQ(cancel.Asks(), 1);
    EXPECT_TRUE(sink.WaitFor(3, 5s));
    first->Stop();
    EXPECT_EQ(otherSink.Count(), 0u);
}

// The stream path goes through the proxy of http_proxy with an absolute URI; no_proxy bypasses it.
TEST_F(ViewerStream, ProxySeesAbsoluteUriAndBypassListAvoidsIt) {
    Camera camera(Small());
    RecordingProxy proxy;
    ::setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(proxy.port())).c_str(), 1);
    ::unsetenv("no_proxy");
    ::unsetenv("NO_PROXY");
    {
        auto viewer = MakeViewer(camera);
        ASSERT_EQ(viewer->Start(), StartResult::kStarted);
        EXPECT_TRUE(sink.WaitFor(3, 5s));
        viewer->Stop();
    }
    const std::string prefix = "http://127.0.0.1:" + std::to_string(camera.port());
    bool sawImage = false, sawCommand = false;
    for (const std::string& line : proxy.RequestLines()) {
        sawImage = sawImage || line.rfind("GET " + prefix + "/image?speed=30", 0) == 0;
        sawCommand = sawCommand || line.rfind("POST " + prefix + "/command/inquiry.cgi", 0) == 0;
    }
    EXPECT_TRUE(sawImage);
    EXPECT_TRUE(sawCommand);
    const std::size_t seen = proxy.RequestLines().size();
    ::setenv("no_proxy", "127.0.0.*;<local>", 1);
    {
        auto viewer = MakeViewer(camera);
        ASSERT_EQ(viewer->Start(), StartResult::kStarted);
        EXPECT_TRUE(sink.WaitFor(sink.Count() + 3, 5s));
        viewer->Stop();
    }
    ::unsetenv("http_proxy");
    ::unsetenv("no_proxy");
    EXPECT_EQ(proxy.RequestLines().size(), seen);
}

TEST_F(ViewerStream, TriggerAndMotionCommandsReachTheCamera) {
    Camera camera(Small());
    auto viewer = MakeViewer(camera);
    ASSERT_EQ(viewer->Start(), StartResult::kStarted);
    viewer->SendTrigger("FTP");
    ocuview::MotionWindow w{true, 10, 20, 110, 220, 40, 60};
    viewer->SetMotionWindow(2, w);
    viewer->SendMotionDetection(2, ocuview::MotionCommand::kArea);
    viewer->Stop();
    std::vector<std::string> bodies;
    for (const auto& cmd : camera.sim().state().Commands()) {
        if (cmd.cgi != "inquiry") bodies.push_back(cmd.cgi + ":" + cmd.body);
    }
    EXPECT_EQ(bodies,
              (std::vector<std::string>{"main:Trigger=ftp", "motiondetection:mdtwin2area=10,20,110,220"}));
}

// The motion-detection view runs the motion image and the motion data (no /mpeg4, no audio). Each
// record's levels reach the observer, limited to 2000 (the editor zeroes inactive windows, not the core);
// garbage between the records changes nothing; a motion-data stream the camera closes restarts the view.
// Stopping the view ends both streams and every thread, and no level comes after it.
struct MotionCase {
    const char* name;
    const char* fault;
    bool restarts;
};

class MotionView : public ViewerStream, public ::testing::WithParamInterface<MotionCase> {
  protected:
    std::vector<std::array<int, 4>> Levels() {
        std::lock_guard<std::mutex> hold(observer.lock);
        return observer.motionLevels;
    }
};

TEST_P(MotionView, LevelsReachTheObserverUntilTheViewStops) {
    const MotionCase& mc = GetParam();
    camsim::Config c = Small("mpeg4");
    ASSERT_FALSE(c.mpeg4File.empty());
    c.areaSelect = false;  // the camera allows the editor only so
    c.motionDataPerSecond = 20;
    c.windows[1] = {true, 10, 20, 110, 220, 50, 50, 2500, 0, 4.0};  // above the meters' top
    c.windows[2] = {false, 0, 0, 0, 0, 50, 50, 300, 0, 4.0};
    if (*mc.fault != '\0') {
        ASSERT_EQ(camsim::ApplyFaultSpec(c, mc.fault), "");
    }
    Camera camera(c);
    auto viewer = MakeViewer(camera);
    ocuview::ViewerSettings settings = SettingsFor(camera, Ini());
    settings.motionDetectionView = true;
    viewer->Configure(settings);
    ASSERT_EQ(viewer->Start(), StartResult::kStarted);
    EXPECT_EQ(viewer->Kind(), ocuview::ViewerKind::kMotionDetection);
    EXPECT_TRUE(TickUntil(
        *viewer,
        [&] { return Levels().size() >= 10 && sink.Count() >= 3 && (!mc.restarts || Restarts() > 0); }, 10s));
    viewer->Stop();
    ExpectAllStopped(*viewer);
    const auto seen = Levels();
    ASSERT_FALSE(seen.empty());
    for (const auto& l : seen) {
        EXPECT_TRUE(l[0] >= 100 && l[0] <= 1100) << l[0];  // window 1 swings between 100 and 1100
        EXPECT_EQ(l[1], 2000);
        EXPECT_EQ(l[2], 300);
        EXPECT_EQ(l[3], 0);
    }
    EXPECT_EQ(Restarts() > 0, mc.restarts);
    EXPECT_TRUE(Statuses().empty());
    EXPECT_GE(CountRequests(camera, "/mdimage"), 1);
    EXPECT_GE(CountRequests(camera, "/mddata.cgi"), 1);
    EXPECT_EQ(CountRequests(camera, "/mpeg4"), 0);
    EXPECT_EQ(CountRequests(camera, "/audio"), 0);
    const auto end = std::chrono::steady_clock::now() + 3s;
    while ((camera.sim().state().ActiveStreams("mddata") > 0 ||
            camera.sim().state().ActiveStreams("mdimage") > 0) &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(camera.sim().state().ActiveStreams("mddata"), 0);
    EXPECT_EQ(camera.sim().state().ActiveStreams("mdimage"), 0);
    EXPECT_EQ(Levels().size(), seen.size());
}

INSTANTIATE_TEST_SUITE_P(Simulator, MotionView,
                         ::testing::Values(MotionCase{"clean", "", false},
                                           MotionCase{"garbage", "mddata:garbage=300", false},
                                           MotionCase{"closed", "mddata:close-after=2000", true}),
                         [](const auto& p) { return std::string(p.param.name); });

// The widget's way of driving the core: Start, then Tick every 200 ms, then Stop, all on one control
// thread, with audio on and the default stop limits. A refused picture request or a cancelled password
// question ends with its status and every thread stopped; a stop waiting on a thread that never answers
// its stop flag would hang here, so the control thread is watched.
struct EndingCase {
    const char* name;
    const char* codec;
    const char* fault;  // simulator fault; empty: a protected camera whose question is cancelled
    int status;
};

class ViewerEnding : public ViewerStream, public ::testing::WithParamInterface<EndingCase> {};

TEST_P(ViewerEnding, ControlThreadTicksToTheStatus) {
    const EndingCase& ec = GetParam();
    camsim::Config c = *ec.fault != '\0' ? Small(ec.codec) : Protected();
    c.audioIn = true;
    if (*ec.fault != '\0') {
        ASSERT_EQ(camsim::ApplyFaultSpec(c, ec.fault), "");
    }
    Camera camera(c);
    ScriptedCredentials cancel({std::nullopt});
    ocuview::Viewer viewer(sink, cancel, observer);
    viewer.Configure(SettingsFor(camera, Ini()));
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    std::thread control([&] {
        (void)viewer.Start();
        const auto end = std::chrono::steady_clock::now() + 15s;
        while (Statuses().empty() && std::chrono::steady_clock::now() < end) {
            viewer.Tick();
            std::this_thread::sleep_for(200ms);
        }
        viewer.Stop();
        std::lock_guard<std::mutex> hold(lock);
        done = true;
        finished.notify_all();
    });
    {
        std::unique_lock<std::mutex> hold(lock);
        if (!finished.wait_for(hold, 40s, [&] { return done; })) {
            // The control thread is stuck in a stop: nothing can be joined or destroyed safely.
            std::fprintf(stderr, "%s: the control thread hangs in Tick or Stop\n", ec.name);
            std::_Exit(1);
        }
    }
    control.join();
    ASSERT_EQ(Statuses().size(), 1u);
    EXPECT_EQ(Statuses()[0].first, ec.status);
    EXPECT_FALSE(viewer.Playing());
    ExpectAllStopped(viewer);
}

INSTANTIATE_TEST_SUITE_P(Widget, ViewerEnding,
                         ::testing::Values(EndingCase{"jpeg_bad_request", "jpeg", "image:status=400", 19},
                                           EndingCase{"jpeg_unavailable", "jpeg", "image:status=503", 20},
                                           EndingCase{"mpeg4_bad_request", "mpeg4", "mpeg4:status=400", 19},
                                           EndingCase{"cancelled", "jpeg", "", 18}),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
