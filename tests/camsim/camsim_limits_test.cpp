// The simulator against clients that misbehave: slow or idle connections, too many of them, a process out
// of descriptors, RTP receivers that vanish, floods of requests, hostile targets, wrong credentials, bad
// faults and bad settings. Each must leave the camera serving everyone else.
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "config.h"
#include "http.h"
#include "simulator.h"
#include "test_client.h"

namespace {

using namespace camsim_test;
using Clock = std::chrono::steady_clock;

std::vector<uint8_t> NoPicture(const camsim::Picture&, int) {
    return {0xFF, 0xD8, 0xFF, 0xD9};
}

camsim::Config LoopbackConfig() {
    camsim::Config c;
    c.port = 0;
    c.ucVideoPort = 0;
    c.ucAudioPort = 0;
    return c;
}

class CamsimLimits : public ::testing::Test {
  protected:
    void Start(camsim::Config config) {
        sim_ = std::make_unique<camsim::Simulator>(config, NoPicture);
        sim_->SetSenderReportInterval(200);
        std::string error;
        ASSERT_TRUE(sim_->Start(&error)) << error;
        port_ = sim_->port();
    }
    void TearDown() override {
        for (int fd : held_) ::close(fd);
        if (sim_) sim_->Stop();
    }
    std::string Get(const std::string& path, const std::string& auth = {}) {
        return Exchange(port_, ViewerGet(port_, path, auth), 1 << 16, 2000);
    }
    std::string Post(const std::string& path, const std::string& body, const std::string& auth = {}) {
        return Exchange(port_, ViewerPost(port_, path, body, auth), 1 << 16, 2000);
    }
    // A connection that says nothing, closed at the end of the test.
    int Hold() {
        const int fd = Connect(port_);
        if (fd >= 0) held_.push_back(fd);
        return fd;
    }
    std::unique_ptr<camsim::Simulator> sim_;
    uint16_t port_ = 0;
    std::vector<int> held_;
};

TEST(CamsimSettings, SizesAndNumbersOutsideTheCamerasAreRefused) {
    for (const auto& [w, h] :
         std::vector<std::pair<int, int>>{{100000, 100000}, {0, 0}, {-640, -480}, {640, 481}}) {
        camsim::Config c = LoopbackConfig();
        c.width = w;
        c.height = h;
        camsim::Simulator sim(c, NoPicture);
        std::string error;
        EXPECT_FALSE(sim.Start(&error)) << w << "x" << h;
        EXPECT_NE(error.find("640x480"), std::string::npos) << error;
    }
    struct Case {
        const char* text;
        long low, high;
        std::optional<long> value;
    };
    const Case cases[] = {
        {"8080", 0, 65535, 8080},
        {"0", 0, 65535, 0},
        {"65535", 0, 65535, 65535},
        {"70000", 0, 65535, {}},
        {"abc", 0, 65535, {}},
        {"", 0, 65535, {}},
        {"80x", 0, 65535, {}},
        {" 80", 0, 65535, {}},
        {"+80", 0, 65535, {}},
        {"-1", 0, 65535, {}},
        {"99999999999999999999", 0, 65535, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(camsim::ParseInteger(c.text, c.low, c.high), c.value) << c.text;
}

TEST_F(CamsimLimits, ARejectedFaultChangesNothing) {
    Start(LoopbackConfig());
    ASSERT_EQ(sim_->ApplyFault("all:status=503"), "");
    ASSERT_EQ(sim_->ApplyFault("cgi:status=400"), "");
    ASSERT_EQ(sim_->ApplyFault("cgi:clear"), "");
    // Bad kinds and bad values alike; none may create a "cgi" entry that hides the "all" fault.
    for (const char* bad : {"cgi:bogus", "cgi:status=200", "cgi:loss=2", "cgi:garbage=x"}) {
        EXPECT_NE(sim_->ApplyFault(bad), "") << bad;
        EXPECT_EQ(StatusOf(Post("/command/inquiry.cgi", "inq=system")), 503) << bad;
    }
    // Nor may a bad value change a stream's existing faults.
    ASSERT_EQ(sim_->ApplyFault("image:close-after=1000"), "");
    EXPECT_NE(sim_->ApplyFault("image:loss=7"), "");
    EXPECT_EQ(sim_->CurrentConfig().faults.at("image").closeAfterBytes, 1000);
    EXPECT_EQ(sim_->CurrentConfig().faults.at("image").rtpLoss, 0.0);
}

TEST_F(CamsimLimits, InspectionAndFaultsNeedTheCredentialsWhenSet) {
    camsim::Config c = LoopbackConfig();
    c.user = "admin";
    c.password = "secret";
    Start(c);
    const std::string good = "Authorization: Basic " + camsim::Base64Encode("admin:secret") + "\r\n";
    const std::string bad = "Authorization: Basic " + camsim::Base64Encode("admin:guess") + "\r\n";
    for (const std::string& auth : {std::string(), bad}) {
        EXPECT_EQ(StatusOf(Get("/sim/state", auth)), 401);
        EXPECT_EQ(StatusOf(Get("/sim/size?width=160&height=120", auth)), 401);
        EXPECT_EQ(StatusOf(Post("/sim/fault", "all:status=503", auth)), 401);
    }
    EXPECT_EQ(sim_->CurrentConfig().width, 640);
    EXPECT_TRUE(sim_->CurrentConfig().faults.empty());
    EXPECT_EQ(StatusOf(Get("/sim/state", good)), 200);
    EXPECT_EQ(StatusOf(Get("/sim/size?width=160&height=120", good)), 200);
    EXPECT_EQ(StatusOf(Post("/sim/fault", "cgi:status=400", good)), 200);
    EXPECT_EQ(StatusOf(Post("/command/inquiry.cgi", "inq=system", good)), 400);
}

TEST_F(CamsimLimits, StateKeepsTheLastEntriesAsValidJson) {
    camsim::Config c = LoopbackConfig();
    c.stateHistory = 3;
    Start(c);
    for (int i = 0; i < 5; ++i) Post("/command/inquiry.cgi", "inq=system&n=" + std::to_string(i));
    // A target that is not UTF-8 (a lone 0xFF, a cut sequence) next to one that is (e with acute).
    const std::string raw = "GET /x\xFF\xC3\xA9\xE2\x82 HTTP/1.1\r\nHost: x\r\n\r\n";
    Exchange(port_, raw, 4096, 1000);
    const auto commands = sim_->state().Commands();
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands.back().body, "inq=system&n=4");
    ASSERT_EQ(sim_->state().Requests().size(), 3u);

    const std::string json = BodyOf(Get("/sim/state"));
    EXPECT_NE(json.find("\"target\":\"/x\\u00ff\xC3\xA9\\u00e2\\u0082\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"dropped\":{\"commands\":2,\"requests\":4}"), std::string::npos) << json;
}

TEST_F(CamsimLimits, ARequestMustArriveWithinItsDeadline) {
    camsim::Config c = LoopbackConfig();
    c.requestDeadlineMs = 300;
    Start(c);
    // A byte every 100 ms would restart a time-out per read for ever; one deadline ends it.
    const int fd = Hold();
    ASSERT_GE(fd, 0);
    const auto start = Clock::now();
    std::string reply;
    const std::string head = "GET /command/inquiry.cgi?inq=system HTTP/1.1\r\nHost: x\r\n";
    for (std::size_t i = 0; i < head.size() && reply.empty(); ++i) {
        ::send(fd, &head[i], 1, MSG_NOSIGNAL);
        reply = ReadAll(fd, 100);
    }
    reply += ReadAll(fd, 500);
    EXPECT_EQ(StatusOf(reply), 408);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    // Everyone else is still served.
    EXPECT_EQ(StatusOf(Post("/command/inquiry.cgi", "inq=system")), 200);
}

TEST_F(CamsimLimits, ConnectionsBeyondTheCapGetA503AndServiceResumes) {
    camsim::Config c = LoopbackConfig();
    c.maxConnections = 3;
    Start(c);
    for (int i = 0; i < 3; ++i) ASSERT_GE(Hold(), 0);
    // The held connections are accepted in the background; wait until the cap is reached.
    std::string refused;
    for (int i = 0; i < 50 && StatusOf(refused) != 503; ++i)
        refused = Post("/command/inquiry.cgi", "inq=system");
    EXPECT_EQ(StatusOf(refused), 503);
    EXPECT_NE(BodyOf(refused).find("Too many connections"), std::string::npos);
    for (int fd : held_) ::close(fd);
    held_.clear();
    std::string served;
    for (int i = 0; i < 50 && StatusOf(served) != 200; ++i) {
        served = Post("/command/inquiry.cgi", "inq=system");
        if (StatusOf(served) != 200) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(StatusOf(served), 200);
}

TEST(CamsimDescriptors, AtTheDescriptorLimitTheAcceptLoopWaitsInsteadOfSpinning) {
    int ready[2], quit[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(quit), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A simulator whose process has room for only a few more descriptors than it starts with.
        camsim::Config c = LoopbackConfig();
        c.maxConnections = 1000;
        camsim::Simulator sim(c, NoPicture);
        std::string error;
        if (!sim.Start(&error)) ::_exit(3);
        // New descriptors take the lowest free number, and the limit bounds that number.
        const int lowestFree = ::dup(0);
        ::close(lowestFree);
        const rlimit limit{static_cast<rlim_t>(lowestFree + 6), static_cast<rlim_t>(lowestFree + 6)};
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(4);
        const uint16_t port = sim.port();
        if (::write(ready[1], &port, sizeof port) != sizeof port) ::_exit(5);
        // 'c' asks for the count of failed accepts so far; anything else (or the end) stops.
        char byte = 0;
        while (::read(quit[0], &byte, 1) == 1 && byte == 'c') {
            const uint64_t failures = sim.state().AcceptFailures();
            if (::write(ready[1], &failures, sizeof failures) != sizeof failures) ::_exit(6);
        }
        sim.Stop();
        ::_exit(0);
    }
    uint16_t port = 0;
    ASSERT_EQ(::read(ready[0], &port, sizeof port), static_cast<ssize_t>(sizeof port));
    std::vector<int> clients;
    for (int i = 0; i < 20; ++i) clients.push_back(Connect(port));
    // The CPU a spinning loop would take depends on who else runs; the count of attempts does not.
    auto failures = [&] {
        uint64_t n = 0;
        EXPECT_EQ(::write(quit[1], "c", 1), 1);
        EXPECT_EQ(::read(ready[0], &n, sizeof n), static_cast<ssize_t>(sizeof n));
        return n;
    };
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const uint64_t before = failures();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const uint64_t during = failures() - before;
    EXPECT_GT(during, 0u) << "the limit was not reached";
    EXPECT_LT(during, 30u) << "accepts refused for want of descriptors in one second";
    // Once the idle clients go, the waiting connections are served.
    for (std::size_t i = 0; i + 1 < clients.size(); ++i) ::close(clients[i]);
    const std::string reply =
        Exchange(port, ViewerPost(port, "/command/inquiry.cgi", "inq=system"), 4096, 3000);
    EXPECT_EQ(StatusOf(reply), 200);
    ::close(clients.back());
    ASSERT_EQ(::write(quit[1], "q", 1), 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    for (int fd : {ready[0], ready[1], quit[0], quit[1]}) ::close(fd);
}

TEST_F(CamsimLimits, RtpSessionsEndWithoutReceiverReportsAndAreCappedPerClient) {
    camsim::Config c = LoopbackConfig();
    c.rtcpTimeoutMs = 400;
    c.maxRtpSessionsPerClient = 2;
    Start(c);
    const uint16_t cameraRtcp = static_cast<uint16_t>(sim_->CurrentConfig().ucAudioPort + 1);
    UdpPair silent, reporting, third;
    ASSERT_GE(third.rtcp, 0);
    auto start = [&](const UdpPair& p) {
        return StatusOf(Get("/audio?UdpMode=unicast&UdpPort=" + std::to_string(p.port)));
    };
    ASSERT_EQ(start(silent), 200);
    ASSERT_EQ(start(reporting), 200);
    EXPECT_EQ(start(third), 503);  // two sessions for 127.0.0.1 already

    // The reporting receiver sends an (empty) receiver report every 100 ms; the silent one never does.
    const std::string report{'\x80', static_cast<char>(201), 0, 1, 0, 0, 0, 9};
    bool silentBye = false;
    const auto end = Clock::now() + std::chrono::milliseconds(1200);
    while (Clock::now() < end) {
        SendDatagram(reporting.rtcp, cameraRtcp, report);
        for (std::string p; !(p = ReceiveDatagram(silent.rtcp, 100)).empty();)
            silentBye = silentBye || static_cast<unsigned char>(p[1]) == 203;
    }
    EXPECT_TRUE(silentBye);
    EXPECT_EQ(sim_->state().RtcpTimeouts("audio"), 1);
    EXPECT_EQ(sim_->state().ActiveStreams("rtp-audio"), 1);
    // The slot of the ended session is free again.
    EXPECT_EQ(start(third), 200);
}

}  // namespace
