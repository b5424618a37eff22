// The whole viewer headless against the camera simulator on loopback: pictures, audio, authentication,
// proxies, RTP/RTCP, and every fault the simulator can inject.
#include <gtest/gtest.h>

#include <thread>

#include "core/viewer.h"
#include "core/viewer_state.h"
#include "viewer_test_support.h"

namespace {

using namespace viewer_test;
using namespace std::chrono_literals;

class ViewerStream : public ::testing::Test {
  protected:
    std::string Ini() const {
        return ScratchDir() + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini";
    }
    // A viewer with shortened stop pauses (the real limits are kept where a test is about them).
    std::unique_ptr<ocuview::Viewer> MakeViewer(const Camera& camera) {
        auto v = std::make_unique<ocuview::Viewer>(sink, credentials, observer);
        v->Configure(SettingsFor(camera, Ini()));
        v->State().stopSettleMs = 0;
        return v;
    }
    RecordingSink sink;
    ScriptedCredentials credentials;
    RecordingObserver observer;
};

TEST_F(ViewerStream, MotionJpegPicturesArriveInOrderWithTheCameraTime) {
    camsim::Config c;
    c.width = 320;
    c.height = 240;
    c.jpegFrameRate = 30;
    Camera camera(c);
    auto viewer = MakeViewer(camera);
    ASSERT_EQ(viewer->Start(), ocuview::StartResult::kStarted);
    ASSERT_TRUE(sink.WaitFor(10, 5s));
    viewer->Tick();
    viewer->Stop();
    const auto frames = sink.Frames();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].sequence, i + 1);
        EXPECT_EQ(frames[i].width, 320);
        EXPECT_EQ(frames[i].height, 240);
        EXPECT_EQ(frames[i].sizeChanged, i == 0);
    }
    EXPECT_EQ(frames.back().cameraTime.size(), 23u);
    EXPECT_LE(frames.front().cameraTime, frames.back().cameraTime);
    std::lock_guard<std::mutex> hold(observer.lock);
    ASSERT_FALSE(observer.overlays.empty());
    EXPECT_EQ(observer.overlays.back().size(), 23u);
}

}  // namespace
