// The encoder stand-in against the user-space driver: its session runs on a thread of its own while the
// test plays the camera chip, raising VIF and OSD interrupts and running the deferred step.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "fg_encoder.h"
#include "fg_shim_test.h"
#include "framegate.h"

namespace {

// The device as the shim presents it; handles index the open files.
struct ShimDevice {
    std::vector<struct file*> files;

    static int open(void* ctx, const char*) {
        auto* self = static_cast<ShimDevice*>(ctx);
        struct file* f = nullptr;
        int r = fgshim_open(0, &f);
        if (r) return r;
        self->files.push_back(f);
        return static_cast<int>(self->files.size() - 1);
    }
    static void close(void* ctx, int h) {
        auto* self = static_cast<ShimDevice*>(ctx);
        fgshim_release(self->files[static_cast<size_t>(h)]);
        self->files[static_cast<size_t>(h)] = nullptr;
    }
    static long ioctl(void* ctx, int h, unsigned int request, unsigned long arg) {
        return fgshim_ioctl(static_cast<ShimDevice*>(ctx)->files[static_cast<size_t>(h)], request, arg);
    }
    static long read(void* ctx, int h, void* buf, size_t size) {
        return fgshim_read(static_cast<ShimDevice*>(ctx)->files[static_cast<size_t>(h)], buf, size);
    }
};

TEST(FramegateEncoder, SessionAgainstTheUserSpaceDriver) {
    ASSERT_EQ(fgshim_load(), 0);
    ShimDevice dev;
    fg_dev_ops ops{&dev, ShimDevice::open, ShimDevice::close, ShimDevice::ioctl, ShimDevice::read, nullptr};
    fg_encoder_config cfg{"/dev/framegate", 10, 0, 7, 0x11, 0x22, 0x33, 12, 1};
    fg_encoder_result result{};

    char* text = nullptr;
    size_t text_size = 0;
    FILE* out = open_memstream(&text, &text_size);
    ASSERT_NE(out, nullptr);

    std::atomic<bool> done{false};
    std::atomic<int> rc{-1};
    std::thread encoder([&] {
        rc = fg_encoder_run(&ops, &cfg, &result, out);
        done = true;
    });
    // 30 progressive frames a second passed at 10: every third frame reports.
    int frames = 0;
    while (!done && frames < 20000) {
        if (fgshim_irq_requested(FG_VIF_IRQ)) {
            fgshim_raise_irq(FG_VIF_IRQ);
            fgshim_raise_irq(FG_OSD_IRQ);
            fgshim_run_work();
            ++frames;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    encoder.join();
    std::fclose(out);
    std::string printed(text, text_size);
    std::free(text);

    EXPECT_EQ(rc.load(), 0) << printed;
    EXPECT_EQ(result.messages, 12u);
    EXPECT_EQ(result.bad_messages, 0u);
    EXPECT_EQ(result.swaps, 12u);
    EXPECT_GE(result.interrupts, 34u);  // at least 12 passes at every third frame
    EXPECT_NE(printed.find("fg_encoder: second open: -13\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("fg_encoder: message mtype 7 src 17 dst 34 msg 51\n"), std::string::npos)
        << printed;
    EXPECT_NE(printed.find("fg_encoder: ok\n"), std::string::npos) << printed;

    std::vector<char> log(16384);
    std::string kernel(log.data(), fgshim_log(log.data(), log.size()));
    for (const char* line : {"Driver already in use.\n", "Capture Buffer Addr: 0x01000000\n",
                             "Video path is set to CCD controller 27405", "IRQ already attached.",
                             "FRAMEGATE detached.\n", "IRQ already detached.\n"})
        EXPECT_NE(kernel.find(line), std::string::npos) << line;
    EXPECT_EQ(s_vif.driverRequested, 0);
    EXPECT_FALSE(fgshim_irq_requested(FG_VIF_IRQ));
    fgshim_unload();
}

}  // namespace
