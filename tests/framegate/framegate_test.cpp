// framegate's driver in user space: its file operations, interrupt handlers and deferred step, driven
// through the test shim (interrupts raised by the test, deferred work run by the test).
#include <fcntl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "fg_shim_test.h"
#include "framegate.h"

namespace {

constexpr unsigned kVif = FG_VIF_IRQ;
constexpr unsigned kOsd = FG_OSD_IRQ;

std::string kernel_log() {
    std::vector<char> buf(64 * 1024);
    size_t n = fgshim_log(buf.data(), buf.size());
    return std::string(buf.data(), n);
}

size_t count_of(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Waits (bounded) until `n` threads sleep in the driver.
bool wait_for_sleepers(int n) {
    for (int i = 0; i < 5000; ++i) {
        if (fgshim_sleepers() == n) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

class Framegate : public ::testing::Test {
  protected:
    void SetUp() override {
        fgshim_fail_chrdev(0);
        ASSERT_EQ(fgshim_load(), 0);
        ASSERT_EQ(fgshim_open(0, &file_), 0);
        fgshim_log_clear();
    }

    void TearDown() override {
        if (file_) fgshim_release(file_);
        if (fgshim_chrdev_registered()) fgshim_unload();
        EXPECT_EQ(fgshim_bad_irq_frees(), 0);
        EXPECT_EQ(fgshim_module_use_count(), 0);
    }

    long io(unsigned cmd, unsigned long arg = 0) { return fgshim_ioctl(file_, cmd, arg); }
    long set_addr(unsigned cmd, uint32_t value) { return io(cmd, reinterpret_cast<unsigned long>(&value)); }
    long get_u32(unsigned cmd, uint32_t* value) { return io(cmd, reinterpret_cast<unsigned long>(value)); }

    // Progressive input at the given rate, messages on, interrupts attached.
    void start(int rate, bool interlaced = false, bool messages = true) {
        ASSERT_EQ(io(FG_IOC_SET_INTERLACE, interlaced ? 1 : 0), 0);
        ASSERT_EQ(io(FG_IOC_SET_RATE, static_cast<unsigned long>(rate)), 0);
        ASSERT_EQ(io(FG_IOC_SET_MSGFLAG, messages ? 1 : 0), 0);
        ASSERT_EQ(io(FG_IOC_ATTACH), 0);
    }

    // One captured frame (two fields when interlaced), then the deferred step.
    void frame(bool interlaced = false) {
        ASSERT_TRUE(fgshim_raise_irq(kVif));
        if (interlaced) {
            ASSERT_TRUE(fgshim_raise_irq(kVif));
        }
        fgshim_run_work();
    }

    // Did the next frame go to the application? (The full flag is cleared first.)
    bool frame_passes(bool interlaced = false) {
        EXPECT_EQ(io(FG_IOC_CLEAR_FULL), 0);
        frame(interlaced);
        return s_vif.fullBufValid != 0;
    }

    struct file* file_ = nullptr;
};

// ---- load, open, release ----

TEST(FramegateLoad, PrintsBannerAndFailsWhenTheMajorIsTaken) {
    fgshim_fail_chrdev(1);
    EXPECT_EQ(fgshim_load(), -1);
    std::string log = kernel_log();
    EXPECT_EQ(log,
              "Video Interface Interrupt Driver v2.0.17.pelto, Vellana camera software group\n"
              "Can't get major number 80.");
    EXPECT_FALSE(fgshim_chrdev_registered());

    fgshim_fail_chrdev(0);
    ASSERT_EQ(fgshim_load(), 0);
    EXPECT_TRUE(fgshim_chrdev_registered());
    fgshim_unload();
    EXPECT_FALSE(fgshim_chrdev_registered());
}

TEST(FramegateLoad, UnloadWhileAttachedFreesTheInterrupts) {
    ASSERT_EQ(fgshim_load(), 0);
    struct file* f = nullptr;
    ASSERT_EQ(fgshim_open(0, &f), 0);
    ASSERT_EQ(fgshim_ioctl(f, FG_IOC_ATTACH, 0), 0);
    fgshim_unload();
    EXPECT_FALSE(fgshim_irq_requested(kVif));
    EXPECT_FALSE(fgshim_irq_requested(kOsd));
    EXPECT_EQ(*intEnableReg & FG_INT_VIF_OSD, 0);
    EXPECT_EQ(fgshim_bad_irq_frees(), 0);
    fgshim_discard(f);
}

TEST_F(Framegate, OpenSetsTheInitialState) {
    EXPECT_EQ(s_vif.driverRequested, 1);
    EXPECT_EQ(s_vif.attachIRQ, 0);
    EXPECT_EQ(s_vif.frameCount, 1);
    EXPECT_EQ(s_vif.msqid, -1);
    EXPECT_EQ(s_vif.interlaceFlag, 1);
    EXPECT_EQ(s_vif.videoPath, 0);
    EXPECT_EQ(s_vif.frameSkip, 0);
    EXPECT_EQ(s_vif.msgFlag, 0);
    EXPECT_EQ(*intClearReg, 0x10);
    EXPECT_EQ(fgshim_module_use_count(), 1);
}

TEST_F(Framegate, SecondOpenFailsAndLeavesTheFirstUsersState) {
    ASSERT_EQ(set_addr(FG_IOC_SET_CAPTURE, 0x100000), 0);
    ASSERT_EQ(io(FG_IOC_SET_MSGTYPE, 5), 0);
    start(20);
    frame();
    unsigned char before[sizeof s_vif];
    std::memcpy(before, &s_vif, sizeof s_vif);

    struct file* second = nullptr;
    EXPECT_EQ(fgshim_open(0, &second), -EACCES);
    EXPECT_EQ(-EACCES, -13);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(kernel_log().find("Driver already in use.\n"), std::string::npos);
    EXPECT_EQ(std::memcmp(before, &s_vif, sizeof before), 0);
    EXPECT_TRUE(fgshim_irq_requested(kVif));
    EXPECT_EQ(fgshim_module_use_count(), 1);

    // Released, the device is free again and reopening starts afresh.
    ASSERT_EQ(fgshim_release(file_), 0);
    file_ = nullptr;
    EXPECT_FALSE(fgshim_irq_requested(kVif));
    EXPECT_FALSE(fgshim_irq_requested(kOsd));
    EXPECT_EQ(*intEnableReg & FG_INT_VIF_OSD, 0);
    EXPECT_EQ(ccdcReg->syncen, 3);
    EXPECT_EQ(s_vif.driverRequested, 0);
    ASSERT_EQ(fgshim_open(0, &file_), 0);
    EXPECT_EQ(s_vif.capBuf, 0u);
    EXPECT_EQ(s_vif.interruptCounter, 0u);
}

// ---- attach and detach ----

TEST_F(Framegate, AttachAndDetachTwice) {
    for (int round = 0; round < 2; ++round) {
        fgshim_log_clear();
        EXPECT_EQ(io(FG_IOC_ATTACH), 0);
        EXPECT_TRUE(fgshim_irq_requested(kVif));
        EXPECT_TRUE(fgshim_irq_requested(kOsd));
        EXPECT_EQ(*intEnableReg & FG_INT_VIF_OSD, FG_INT_VIF_OSD);
        EXPECT_EQ(io(FG_IOC_ATTACH), -1);
        EXPECT_EQ(io(FG_IOC_DETACH), 0);
        EXPECT_FALSE(fgshim_irq_requested(kVif));
        EXPECT_FALSE(fgshim_irq_requested(kOsd));
        EXPECT_EQ(*intEnableReg & FG_INT_VIF_OSD, 0);
        EXPECT_EQ(io(FG_IOC_DETACH), -1);
        EXPECT_EQ(kernel_log(), "IRQ already attached.FRAMEGATE detached.\nIRQ already detached.\n");
    }
}

TEST_F(Framegate, AttachFailsCleanlyWhenAnInterruptIsTaken) {
    fgshim_fail_irq(kVif, 1);
    EXPECT_EQ(io(FG_IOC_ATTACH), -1);
    EXPECT_EQ(kernel_log(), "Unable to get IRQ 4 for VIF_IRQ");
    fgshim_fail_irq(kVif, 0);

    fgshim_log_clear();
    fgshim_fail_irq(kOsd, 1);
    EXPECT_EQ(io(FG_IOC_ATTACH), -1);
    EXPECT_EQ(kernel_log(), "Unable to get IRQ 7 for OSD_IRQ");
    EXPECT_FALSE(fgshim_irq_requested(kVif));  // given back, so a later attach can have it
    EXPECT_EQ(s_vif.attachIRQ, 0);
    EXPECT_EQ(*intEnableReg & FG_INT_VIF_OSD, 0);
    fgshim_fail_irq(kOsd, 0);
    EXPECT_EQ(io(FG_IOC_ATTACH), 0);
}

// ---- frame pacing ----

struct RateCase {
    int rate;
    bool interlaced;
    const char* pattern;  // P: frame passed, .: dropped; from the first frame after open
};

class FramegateRate : public Framegate, public ::testing::WithParamInterface<RateCase> {};

TEST_P(FramegateRate, PassesFramesByTheTable) {
    const RateCase& c = GetParam();
    start(c.rate, c.interlaced);
    std::string got;
    for (size_t i = 0; i < std::strlen(c.pattern); ++i) got += frame_passes(c.interlaced) ? 'P' : '.';
    EXPECT_EQ(got, c.pattern);
    EXPECT_EQ(s_vif.interruptCounter, std::strlen(c.pattern) * (c.interlaced ? 2 : 1));
}

// The count starts at 1 at open. 30 passes every frame; 20 drops every third; 1 passes every thirtieth
// and restarts the count; 8 (an "up to 60" rate) passes every fourth. Interlaced input counts frames,
// not fields, so the rates hold for it too.
const std::string kRate1 =
    std::string(28, '.') + "P" + std::string(29, '.') + "P" + std::string(29, '.') + "P";
INSTANTIATE_TEST_SUITE_P(
    Rates, FramegateRate,
    ::testing::Values(RateCase{30, false, "PPPPPPPPP"}, RateCase{30, true, "PPPPPP"},
                      RateCase{20, false, "P.PP.PP.PP.P"}, RateCase{20, true, "P.PP.PP.PP.P"},
                      RateCase{15, false, "P.P.P.P."}, RateCase{8, false, "..P...P...P...P."},
                      RateCase{1, false, kRate1.c_str()}, RateCase{1, true, kRate1.c_str()}));

TEST_F(Framegate, UnknownRateReportsAndKeepsTheParameters) {
    ASSERT_EQ(io(FG_IOC_SET_RATE, 20), 0);
    for (unsigned long rate : {7ul, 0ul, 60ul}) {
        fgshim_log_clear();
        EXPECT_EQ(io(FG_IOC_SET_RATE, rate), 0);
        EXPECT_EQ(kernel_log(), ": frame rate value error.\n");
        EXPECT_EQ(s_vif.frameSkip, 0);
        EXPECT_EQ(s_vif.isCheckUpto60, 0);
        EXPECT_EQ(s_vif.invframeSkip, 3);
    }
    EXPECT_EQ(setFrmRateParam(25), 1);
    EXPECT_EQ(s_vif.invframeSkip, 6);
}

TEST_F(Framegate, WithoutARatePassesEverySixtiethFrame) {
    ASSERT_EQ(io(FG_IOC_SET_INTERLACE, 0), 0);
    ASSERT_EQ(io(FG_IOC_ATTACH), 0);
    std::vector<int> passed;
    for (int i = 1; i <= 130; ++i)
        if (frame_passes()) passed.push_back(i);
    EXPECT_EQ(passed, (std::vector<int>{59, 119}));
}

// ---- buffers and registers ----

TEST_F(Framegate, PassedFramesRotateTheBuffersAndProgramTheCcdc) {
    ASSERT_EQ(set_addr(FG_IOC_SET_CAPTURE, 0x01000000), 0);
    ASSERT_EQ(set_addr(FG_IOC_SET_FULL, 0x01100000), 0);
    ASSERT_EQ(set_addr(FG_IOC_SET_PREV, 0x01200000), 0);
    EXPECT_EQ(kernel_log(),
              "Capture Buffer Addr: 0x01000000\n"
              "Full Buffer Addr:    0x01100000\n"
              "Prev Buffer Addr:    0x01200000\n");
    start(30, false, false);

    frame();  // passes: full and prev swap, the CCDC writes the new prev buffer next
    EXPECT_EQ(s_vif.fullBuf, 0x01200000u);
    EXPECT_EQ(s_vif.prevBuf, 0x01100000u);
    EXPECT_EQ(ccdcReg->cadu, 0x01100000u >> 21);
    EXPECT_EQ(ccdcReg->cadl, (0x01100000u >> 5) & 0xFFFF);
    EXPECT_EQ(s_vif.fullBufValid, 1);
    EXPECT_EQ(fgshim_run_work(), 0);  // messages are off: nothing queued

    uint32_t cap = 0;  // swaps the full buffer in as the capture buffer
    ASSERT_EQ(get_u32(FG_IOC_GET_CAPTURE, &cap), 0);
    EXPECT_EQ(cap, 0x01200000u);
    EXPECT_EQ(s_vif.fullBuf, 0x01000000u);
    EXPECT_EQ(s_vif.fullBufValid, 0);

    char buf[32];
    ASSERT_EQ(fgshim_release(file_), 0);  // reopen without blocking to look for messages
    file_ = nullptr;
    ASSERT_EQ(fgshim_open(O_NONBLOCK, &file_), 0);
    EXPECT_EQ(fgshim_read(file_, buf, sizeof buf), -EAGAIN);
}

TEST_F(Framegate, PreviewPathProgramsReadAndWriteAddresses) {
    ASSERT_EQ(set_addr(FG_IOC_SET_FULL, 0x00A00000), 0);  // becomes the buffer being filled
    fgshim_log_clear();
    ASSERT_EQ(set_addr(FG_IOC_SET_OSD_DONE, 0x00C00000), 0);
    ASSERT_EQ(set_addr(FG_IOC_SET_OSD_WRITE, 0x00E00000), 0);
    ASSERT_EQ(io(FG_IOC_PATH_PREVIEW), 0);
    EXPECT_EQ(s_vif.videoPath, 1);
    start(30);
    frame();
    // The OSD buffers swapped first: the completed one is the preview engine's input.
    EXPECT_EQ(s_vif.osdCmpBuf, 0x00E00000u);
    EXPECT_EQ(previewReg->raddu, 0x00E00000u >> 21);
    EXPECT_EQ(previewReg->raddl, (0x00E00000u >> 5) & 0xFFFF);
    EXPECT_EQ(previewReg->wadu, 0x00A00000u >> 21);
    EXPECT_EQ(previewReg->wadl, (0x00A00000u >> 5) & 0xFFFF);
    EXPECT_EQ(ccdcReg->syncen, 3);
    EXPECT_EQ(kernel_log(),
              "OSD Buffer3 Addr: 0x00C00000\nOSD Buffer1 Addr: 0x00E00000\n"
              "Video path is set to PREVIEW ENGINE 27406");
}

TEST_F(Framegate, SyncEnableFollowsFieldAndInterlace) {
    start(30, false);
    std::vector<int> syncen;
    for (int i = 0; i < 4; ++i) {
        frame();
        syncen.push_back(ccdcReg->syncen);
    }
    EXPECT_EQ(syncen, (std::vector<int>{1, 3, 1, 3}));  // progressive: field parity * 2 + 1
    ASSERT_EQ(io(FG_IOC_SET_INTERLACE, 1), 0);
    frame();
    EXPECT_EQ(ccdcReg->syncen, 3);
}

TEST_F(Framegate, OsdAddressesAndTheOsdInterrupt) {
    osdReg->vidwin_ad0 = 0xAB00;  // the high byte belongs to video window 1
    ASSERT_EQ(set_addr(FG_IOC_SET_OSD_WRITE, 0x12345678), 0);
    EXPECT_EQ(ccdcReg->cadu, 0x91);
    EXPECT_EQ(ccdcReg->cadl, 0xA2B3);
    ASSERT_EQ(set_addr(FG_IOC_SET_OSD_READ, 0x12345678), 0);
    EXPECT_EQ(osdReg->vidwin_ad0, 0xAB91);
    EXPECT_EQ(osdReg->vidwin0_ad1, 0xA2B3);

    ASSERT_EQ(set_addr(FG_IOC_SET_OSD_WRITE, 0x00200000), 0);
    ASSERT_EQ(set_addr(FG_IOC_SET_OSD_READ, 0x00400000), 0);
    ASSERT_EQ(set_addr(FG_IOC_SET_OSD_DONE, 0x00600000), 0);
    start(30);
    frame();  // write and completed swap: the frame in 0x200000 is complete
    EXPECT_EQ(s_vif.osdCmpBuf, 0x00200000u);
    EXPECT_EQ(s_vif.fullBufValidOsd, 1);

    // The application takes the shown buffer and holds it: the OSD shows the buffer being written.
    uint32_t shown = 0;
    ASSERT_EQ(get_u32(FG_IOC_GET_OSD_READ, &shown), 0);
    EXPECT_EQ(shown, 0x00400000u);
    EXPECT_EQ(s_vif.fullBufValidOsdBlock, 1);
    ASSERT_TRUE(fgshim_raise_irq(kOsd));
    EXPECT_EQ(osdReg->vidwin0_ad1, (0x00600000u >> 5) & 0xFFFF);
    EXPECT_EQ(s_vif.osdRdBuf, 0x00400000u);

    // Released, the next OSD interrupt shows the completed buffer.
    ASSERT_EQ(io(FG_IOC_RELEASE_OSD), 0);
    ASSERT_TRUE(fgshim_raise_irq(kOsd));
    EXPECT_EQ(s_vif.osdRdBuf, 0x00200000u);
    EXPECT_EQ(s_vif.osdCmpBuf, 0x00400000u);
    EXPECT_EQ(osdReg->vidwin0_ad1, (0x00200000u >> 5) & 0xFFFF);
    EXPECT_EQ(osdReg->vidwin_ad0, 0xAB01);
    EXPECT_EQ(s_vif.fullBufValidOsd, 0);
}

TEST_F(Framegate, CounterAndBadUserAddresses) {
    start(30);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(fgshim_raise_irq(kVif));
    uint32_t counter = 0;
    ASSERT_EQ(get_u32(FG_IOC_GET_COUNTER, &counter), 0);
    EXPECT_EQ(counter, 5u);

    fgshim_log_clear();
    EXPECT_EQ(io(FG_IOC_GET_COUNTER, 0), -EFAULT);
    EXPECT_EQ(io(FG_IOC_SET_CAPTURE, 0), -EFAULT);
    EXPECT_EQ(io(FG_IOC_SET_OSD_READ, 0), -EFAULT);
    EXPECT_EQ(kernel_log(), "");
}

// ---- requests ----

struct RequestCase {
    unsigned cmd;
    long result;
    const char* printed;
};

TEST_F(Framegate, RequestsOfAnotherTypeOrNumber) {
    const RequestCase cases[] = {
        {0x6A00, -EINVAL, ""},                                 // type 'j'
        {0x40046C02, -EINVAL, ""},                             // type 'l'
        {0x6B17, -EINVAL, ""},                                 // number 23
        {0x80046BFF, -EINVAL, ""},                             // number 255
        {0x6B16, 0, "Undefined ioctl number 27414"},           // number 22 without its direction
        {0x6B02, 0, "Undefined ioctl number 27394"},           // number 2 without its size
        {0x40046B00, 0, "Undefined ioctl number 1074031360"},  // number 0 with a size
        {FG_IOC_PATH_CCDC, 0, "Video path is set to CCD controller 27405"},
    };
    for (const RequestCase& c : cases) {
        SCOPED_TRACE(c.cmd);
        fgshim_log_clear();
        EXPECT_EQ(io(c.cmd), c.result);
        EXPECT_EQ(kernel_log(), c.printed);
    }
    EXPECT_EQ(-EINVAL, -22);
}

// ---- messages ----

TEST_F(Framegate, MessagesCarryTheFieldsSet) {
    ASSERT_EQ(io(FG_IOC_SET_MSGTYPE, static_cast<unsigned long>(-7L)), 0);
    ASSERT_EQ(io(FG_IOC_SET_MSGSRC, 0x1234), 0);
    ASSERT_EQ(io(FG_IOC_SET_MSGDST, 0x5678), 0);
    ASSERT_EQ(io(FG_IOC_SET_MSGMSG, 0x9ABC), 0);
    ASSERT_EQ(io(FG_IOC_SET_MSQID, 42), 0);
    EXPECT_EQ(s_vif.msqid, 42);
    start(30);
    frame();
    frame();  // the buffer is still full: no second message
    vif_msgbuf m;
    std::memset(&m, 0xEE, sizeof m);
    ASSERT_EQ(fgshim_read(file_, &m, sizeof m), 28);
    EXPECT_EQ(m.mtype, -7);
    EXPECT_EQ(m.src, 0x1234);
    EXPECT_EQ(m.dst, 0x5678);
    EXPECT_EQ(m.msg, 0x9ABC);
    EXPECT_EQ(m.link | m.s_msg | m.size | m.blk, 0u);
    EXPECT_EQ(m.retid | m.r_mtype, 0);
}

TEST_F(Framegate, NineMessagesWithoutAReadLeaveTheNewestEight) {
    start(30);
    for (unsigned long i = 1; i <= 9; ++i) {
        ASSERT_EQ(io(FG_IOC_SET_MSGMSG, i), 0);
        ASSERT_TRUE(frame_passes());
    }
    EXPECT_EQ(count_of(kernel_log(), "vif_msg_ready_list not empty\n"), 1u);

    ASSERT_EQ(fgshim_release(file_), 0);
    file_ = nullptr;
    ASSERT_EQ(fgshim_open(O_NONBLOCK, &file_), 0);  // unread messages stay for the next user
    std::vector<int> got;
    vif_msgbuf m;
    while (fgshim_read(file_, &m, sizeof m) == 28) got.push_back(m.msg);
    EXPECT_EQ(got, (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(fgshim_read(file_, &m, sizeof m), -EAGAIN);
}

TEST_F(Framegate, ReadCopiesTheTypeAndAtMost28BytesOfText) {
    struct Case {
        size_t size;
        long result;
        size_t copied;
    };
    const Case cases[] = {{10, 10, 14}, {100, 28, 32}, {28, 28, 32}, {0, 0, 4}};
    ASSERT_EQ(io(FG_IOC_SET_MSGTYPE, 3), 0);
    ASSERT_EQ(io(FG_IOC_SET_MSGSRC, 0xA1A2), 0);
    ASSERT_EQ(io(FG_IOC_SET_MSGDST, 0xB1B2), 0);
    ASSERT_EQ(io(FG_IOC_SET_MSGMSG, 0xC1C2), 0);
    start(30);
    vif_msgbuf expected;
    std::memset(&expected, 0, sizeof expected);
    expected.mtype = 3;
    expected.src = 0xA1A2;
    expected.dst = 0xB1B2;
    expected.msg = 0xC1C2;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        ASSERT_TRUE(frame_passes());
        unsigned char buf[128];
        std::memset(buf, 0xEE, sizeof buf);
        ASSERT_EQ(fgshim_read(file_, buf, c.size), c.result);
        EXPECT_EQ(std::memcmp(buf, &expected, c.copied), 0);
        for (size_t i = c.copied; i < sizeof buf; ++i) ASSERT_EQ(buf[i], 0xEE) << "byte " << i;
    }
    ASSERT_TRUE(frame_passes());
    EXPECT_EQ(fgshim_read(file_, nullptr, 28), -EFAULT);
}

TEST_F(Framegate, ReadSleepsUntilAMessageOrASignal) {
    start(30);
    std::atomic<long> result{1};
    vif_msgbuf m;
    std::thread reader([&] { result = fgshim_read(file_, &m, sizeof m); });
    ASSERT_TRUE(wait_for_sleepers(1));
    EXPECT_EQ(result.load(), 1);
    frame();
    reader.join();
    EXPECT_EQ(result.load(), 28);

    std::thread interrupted([&] { result = fgshim_read(file_, &m, sizeof m); });
    ASSERT_TRUE(wait_for_sleepers(1));
    fgshim_send_signal();
    interrupted.join();
    EXPECT_EQ(result.load(), -EINTR);
}

// ---- waits for a buffer ----

TEST_F(Framegate, BufferWaitsFailWithoutInterrupts) {
    uint32_t addr = 0;
    EXPECT_EQ(get_u32(FG_IOC_GET_CAPTURE, &addr), -EIO);
    EXPECT_EQ(get_u32(FG_IOC_GET_OSD_READ, &addr), -EIO);
    EXPECT_EQ(fgshim_sleepers(), 0);
}

TEST_F(Framegate, BufferWaitsSleepUntilTheVifInterrupt) {
    ASSERT_EQ(set_addr(FG_IOC_SET_CAPTURE, 0xC0000), 0);
    ASSERT_EQ(set_addr(FG_IOC_SET_FULL, 0xF0000), 0);
    ASSERT_EQ(set_addr(FG_IOC_SET_PREV, 0xA0000), 0);
    ASSERT_EQ(set_addr(FG_IOC_SET_OSD_WRITE, 0x20000), 0);
    ASSERT_EQ(set_addr(FG_IOC_SET_OSD_READ, 0x40000), 0);
    ASSERT_EQ(set_addr(FG_IOC_SET_OSD_DONE, 0x60000), 0);
    start(30);

    // Waits across one VIF interrupt; returns the address the request hands out.
    auto wait_across_vif = [&](unsigned cmd, uint32_t* addr) {
        std::atomic<long> result{1};
        std::thread waiter([&] { result = get_u32(cmd, addr); });
        EXPECT_TRUE(wait_for_sleepers(1));
        EXPECT_TRUE(fgshim_raise_irq(kVif));
        waiter.join();
        return result.load();
    };
    uint32_t addr = 0;
    EXPECT_EQ(wait_across_vif(FG_IOC_GET_CAPTURE, &addr), 0);
    EXPECT_EQ(addr, 0xA0000u);  // the frame just completed, swapped in as the capture buffer
    EXPECT_EQ(s_vif.fullBuf, 0xC0000u);
    EXPECT_EQ(s_vif.fullBufValid, 0);

    ASSERT_TRUE(fgshim_raise_irq(kOsd));  // shows the completed OSD buffer 0x20000
    EXPECT_EQ(wait_across_vif(FG_IOC_GET_OSD_READ, &addr), 0);
    EXPECT_EQ(addr, 0x20000u);
    EXPECT_EQ(s_vif.fullBufValidOsdBlock, 1);
    fgshim_run_work();

    // Ended by a signal, or by a detach from another thread.
    for (bool by_signal : {true, false}) {
        SCOPED_TRACE(by_signal);
        ASSERT_EQ(io(FG_IOC_CLEAR_FULL), 0);
        std::atomic<long> result{1};
        std::thread waiter([&] { result = get_u32(FG_IOC_GET_CAPTURE, &addr); });
        ASSERT_TRUE(wait_for_sleepers(1));
        if (by_signal) {
            fgshim_send_signal();
        } else {
            ASSERT_EQ(io(FG_IOC_DETACH), 0);
        }
        waiter.join();
        EXPECT_EQ(result.load(), by_signal ? -EINTR : -EIO);
    }
}

// ---- asynchronous notification ----

TEST_F(Framegate, RegisteredFilesAreSignalledWhenABufferBecomesFull) {
    ASSERT_EQ(fgshim_fasync(file_, 1), 0);
    start(30, false, false);
    frame();
    frame();  // still full: no second signal
    EXPECT_EQ(fgshim_sigio_count(file_), 1u);
    ASSERT_TRUE(frame_passes());
    EXPECT_EQ(fgshim_sigio_count(file_), 2u);
    ASSERT_EQ(fgshim_fasync(file_, 0), 0);
    ASSERT_TRUE(frame_passes());
    EXPECT_EQ(fgshim_sigio_count(file_), 2u);
    ASSERT_EQ(fgshim_fasync(file_, 1), 0);  // left registered: release removes it
}

}  // namespace
