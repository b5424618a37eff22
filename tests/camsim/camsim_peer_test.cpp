// The simulator against real clients: curl for the CGI commands, FFmpeg for the Motion JPEG, MPEG-4 and
// RTP streams (and FFmpeg's RTCP receiver reports coming back).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <thread>

#include "jpeg_encoder_adapter.h"
#include "simulator.h"
#include "test_client.h"

namespace {

struct ShellRun {
    int status = -1;
    std::string output;  // standard output and error together
};

ShellRun Shell(const std::string& command) {
    ShellRun r;
    std::FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (p == nullptr) return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
    const int s = pclose(p);
    r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    return r;
}

bool Have(const char* tool) {
    return Shell(std::string("command -v ") + tool).status == 0;
}

class CamsimPeers : public ::testing::Test {
  protected:
    void Start(camsim::Config config) {
        config.port = 0;
        config.ucVideoPort = 0;
        config.ucAudioPort = 0;
        sim_ = std::make_unique<camsim::Simulator>(config, camsim::MakeJpegEncoder());
        sim_->SetSenderReportInterval(500);
        std::string error;
        ASSERT_TRUE(sim_->Start(&error)) << error;
        base_ = "http://127.0.0.1:" + std::to_string(sim_->port());
    }
    void TearDown() override {
        if (sim_) sim_->Stop();
    }
    std::string Temp(const std::string& name) { return ::testing::TempDir() + "camsim_peer_" + name; }
    // A short MPEG-4 elementary stream with I and P pictures; a noisy one makes big pictures.
    std::string MakeMpeg4(bool noisy = false) {
        const std::string path = Temp(noisy ? "noisy.m4v" : "clip.m4v");
        const std::string source = noisy ? "'testsrc=size=352x288:rate=10,noise=alls=60:allf=t' -q:v 2"
                                         : "testsrc=size=176x144:rate=10";
        const ShellRun r = Shell("ffmpeg -hide_banner -v error -y -f lavfi -i " + source +
                                 " -t 2 -c:v mpeg4 -g 10 -f m4v " + path);
        EXPECT_EQ(r.status, 0) << r.output;
        return path;
    }
    std::unique_ptr<camsim::Simulator> sim_;
    std::string base_;
};

TEST_F(CamsimPeers, CurlPostsEveryCommand) {
    if (!Have("curl")) GTEST_SKIP() << "curl is not installed";
    Start({});
    struct Case {
        const char* path;
        const char* body;
        const char* expect;  // in the answer, or empty
    } cases[] = {
        {"/command/inquiry.cgi", "inq=system&inq=viewermode", "ModelName=QXR-K7"},
        {"/command/inquiry.cgi", "inq=camera&inq=alarmout&inq=ftpclient&inq=smtp&inq=imagememory",
         "AoManualFunc=on"},
        {"/command/inquiry.cgi", "inq=camera&inq=viewermode&inq=motiondetection", "MdWin1Area="},
        {"/command/main.cgi", "Trigger=ftp", ""},
        {"/command/main.cgi", "Trigger=smtp", ""},
        {"/command/main.cgi", "Trigger=memory", ""},
        {"/command/main.cgi", "Trigger=alarmout", ""},
        {"/command/motiondetection.cgi", "mdtwin1area=10,20,110,220", ""},
        {"/command/motiondetection.cgi", "mdtwin3=off", ""},
        {"/command/motiondetection.cgi", "mdtwin2sensitivity=40", ""},
        {"/command/motiondetection.cgi", "mdtwin2threshold=60", ""},
    };
    for (const Case& c : cases) {
        const ShellRun r = Shell("curl -sS --fail -A 'Lumaro ActiveX Viewer' --data '" + std::string(c.body) +
                                 "' " + base_ + c.path);
        EXPECT_EQ(r.status, 0) << c.body << ": " << r.output;
        EXPECT_NE(r.output.find(c.expect), std::string::npos) << r.output;
    }
    const ShellRun md = Shell("curl -sS --data 'inq=motiondetection' " + base_ + "/command/inquiry.cgi");
    EXPECT_NE(md.output.find("MdWin1Area=10,20,110,220&"), std::string::npos) << md.output;
    EXPECT_NE(md.output.find("MdWin3=off&"), std::string::npos);
    EXPECT_EQ(sim_->state().Commands().size(), std::size(cases) + 1);
}

TEST_F(CamsimPeers, FfmpegDecodesTheMotionJpegStream) {
    if (!Have("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    camsim::Config c;
    c.width = 320;
    c.height = 240;
    Start(c);
    const ShellRun r = Shell("ffmpeg -hide_banner -nostdin -v error -f mpjpeg -i '" + base_ +
                             "/image?speed=15' -frames:v 12 -f framemd5 -");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("rror"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("320x240"), std::string::npos) << r.output;
}

TEST_F(CamsimPeers, FfmpegDecodesTheMpeg4StreamOverHttp) {
    if (!Have("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    camsim::Config c;
    c.codec = "mpeg4";
    c.mpeg4File = MakeMpeg4();
    Start(c);
    const ShellRun r = Shell("ffmpeg -hide_banner -nostdin -v error -f m4v -i " + base_ +
                             "/mpeg4 -frames:v 40 -f framemd5 -");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("rror"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("176x144"), std::string::npos) << r.output;
}

// A free even port pair on loopback for a client.
uint16_t FreePortPair(uint16_t from) {
    uint16_t probe = 0;
    for (uint16_t p = from; p < from + 400; p += 2) {
        const int a = camsim_test::BindUdp(p, &probe);
        const int b = a >= 0 ? camsim_test::BindUdp(static_cast<uint16_t>(p + 1), &probe) : -1;
        if (a >= 0) close(a);
        if (b >= 0) close(b);
        if (a >= 0 && b >= 0) return p;
    }
    return 0;
}

TEST_F(CamsimPeers, FfmpegReceivesRtpFromTheSessionDescription) {
    if (!Have("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    camsim::Config c;
    c.codec = "mpeg4";
    c.mpeg4File = MakeMpeg4();
    c.sdpFile = Temp("video.sdp");
    Start(c);
    const uint16_t port = FreePortPair(43000);
    ASSERT_NE(port, 0);
    const uint16_t http = sim_->port();
    const std::string reply = camsim_test::Exchange(
        http, camsim_test::ViewerGet(http, "/mpeg4?UdpMode=unicast&UdpPort=" + std::to_string(port)), 4096,
        1000);
    ASSERT_EQ(camsim_test::StatusOf(reply), 200) << reply;
    const ShellRun r =
        Shell("timeout 30 ffmpeg -hide_banner -nostdin -v error -protocol_whitelist file,udp,rtp -i " +
              c.sdpFile + " -frames:v 40 -f framemd5 -");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("176x144"), std::string::npos) << r.output;
}

// FFmpeg's session-description input does not send its receiver reports back here, so the RTCP side is
// checked against GStreamer's RTP session, which answers sender reports as RFC 3550 asks.
TEST_F(CamsimPeers, GstreamerReceiverReportsReachTheCamera) {
    if (!Have("gst-launch-1.0")) GTEST_SKIP() << "gst-launch-1.0 is not installed";
    Start({});
    const uint16_t port = FreePortPair(44000);
    ASSERT_NE(port, 0);
    const uint16_t http = sim_->port();
    const uint16_t cameraRtcp = static_cast<uint16_t>(sim_->CurrentConfig().ucAudioPort + 1);
    const std::string reply = camsim_test::Exchange(
        http, camsim_test::ViewerGet(http, "/audio?UdpMode=unicast&UdpPort=" + std::to_string(port)), 4096,
        1000);
    ASSERT_EQ(camsim_test::StatusOf(reply), 200) << reply;
    const ShellRun r =
        Shell("timeout 4 gst-launch-1.0 -q rtpsession name=s udpsrc port=" + std::to_string(port) +
              " caps='application/x-rtp,media=audio,clock-rate=8000,encoding-name=PCMU,payload=0' ! "
              "s.recv_rtp_sink "
              "s.recv_rtp_src ! rtppcmudepay ! fakesink udpsrc port=" +
              std::to_string(port + 1) +
              " caps=application/x-rtcp ! s.recv_rtcp_sink s.send_rtcp_src ! udpsink host=127.0.0.1 port=" +
              std::to_string(cameraRtcp) + " sync=false async=false");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto reports = sim_->state().ReceiverReports();
    ASSERT_FALSE(reports.empty()) << "no receiver report reached the camera: " << r.output;
    const auto& last = reports.back();
    EXPECT_EQ(last.medium, "audio");
    EXPECT_NE(last.lastSr, 0u);            // it heard a sender report
    EXPECT_GT(last.delaySinceLastSr, 0u);  // and says how long ago, in 1/65536 s
    EXPECT_LT(last.delaySinceLastSr, 65536u * 2);
    EXPECT_LE(last.fractionLost, 0);
    EXPECT_LT(last.jitter, 800u);  // under 100 ms of jitter in 8 kHz units on loopback
}

}  // namespace
