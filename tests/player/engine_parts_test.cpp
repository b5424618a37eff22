// The engine's parts on their own: the Motion JPEG stream reader, the frame pacer's arithmetic, the
// camera records and the packet queue's fixed heap.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "player/camera_records.h"
#include "player/data_packet.h"
#include "player/frame_pacer.h"
#include "vello/motion_jpeg/jpgstream.h"

namespace reeldeck {
namespace {

using Bytes = std::vector<uint8_t>;

// A fake image: SOI, an APP2 text with "DataLen: " and the given length text, filler, and EOI.
Bytes Image(std::size_t length, const char* lengthText = nullptr, bool eoi = true) {
    Bytes b = {0xFF, 0xD8, 0xFF, 0xE2, 0x00, 0x20};
    char text[32];
    std::snprintf(text, sizeof text, "DataLen: %08zu\r\n", length);
    if (lengthText != nullptr) std::snprintf(text, sizeof text, "DataLen: %s\r\n", lengthText);
    b.insert(b.end(), text, text + std::strlen(text));
    while (b.size() < length - 2) b.push_back(0x11);
    b.push_back(0xFF);
    b.push_back(eoi ? 0xD9 : 0x00);
    return b;
}

// Packets from a byte string, all queued from the start.
class Packets : public vello::mpeg4::PacketSource {
  public:
    Packets(const Bytes& stream, std::size_t size) {
        for (std::size_t at = 0; at < stream.size(); at += size)
            packets.emplace_back(
                stream.begin() + static_cast<std::ptrdiff_t>(at),
                stream.begin() + static_cast<std::ptrdiff_t>(std::min(stream.size(), at + size)));
    }
    std::size_t QueuedPackets() override { return packets.size(); }
    bool PeekOldest(vello::mpeg4::PacketView* view) override {
        if (packets.empty()) return false;
        *view = {packets.front().data(), packets.front().size(), true};
        return true;
    }
    void DropOldest() override { packets.pop_front(); }
    bool StopRequested() override { return false; }
    bool EndOfData() override { return true; }
    void WaitStep() override {}
    void Consumed(std::size_t bytes) override { consumed += bytes; }

    std::deque<Bytes> packets;
    std::size_t consumed = 0;
};

using Extract = vello::JpegStreamReader::Extract;

// Reads the whole stream: the image lengths, then the final result.
std::pair<std::vector<std::size_t>, Extract> ReadAll(const Bytes& stream, std::size_t packetSize,
                                                     std::size_t* consumed) {
    Packets source(stream, packetSize);
    vello::JpegStreamReader reader(&source);
    EXPECT_TRUE(reader.Allocate());
    std::vector<std::size_t> lengths;
    Bytes out(vello::JpegStreamReader::kCapacity);
    for (int guard = 0; guard < 10000; ++guard) {
        std::size_t length = 0;
        const Extract got = reader.ExtractImage(out.data(), &length);
        if (got == Extract::kImage) {
            lengths.push_back(length);
        } else if (got == Extract::kNeedData) {
            if (!reader.Refill()) return {lengths, Extract::kInvalid};
        } else {
            static_cast<void>(reader.Refill());  // reports what the last images consumed
            if (consumed != nullptr) *consumed = source.consumed;
            return {lengths, got};
        }
    }
    return {lengths, Extract::kNeedData};
}

TEST(JpegStreamReader, CutsImagesAcrossPacketsAndRefusesWhatCannotBeAnImage) {
    struct Case {
        const char* what;
        Bytes stream;
        std::vector<std::size_t> images;
        Extract end;
    };
    auto cat = [](std::initializer_list<Bytes> parts) {
        Bytes b;
        for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
        return b;
    };
    const Bytes longImage = Image(500);
    const Bytes cutShort(longImage.begin(), longImage.begin() + 300);
    const Case cases[] = {
        {"three images", cat({Image(100), Image(9000), Image(40)}), {100, 9000, 40}, Extract::kEndOfData},
        {"junk before and between",
         cat({Bytes(7, 0x42), Image(60), Bytes(3, 0xFF), Image(60)}),
         {60, 60},
         Extract::kEndOfData},
        {"no EOI where DataLen says", cat({Image(80), Image(80, nullptr, false)}), {80}, Extract::kInvalid},
        {"DataLen not digits", Image(80, "12x45678"), {}, Extract::kInvalid},
        {"DataLen 0", Image(80, "00000000"), {}, Extract::kInvalid},
        {"DataLen beyond the buffer", Image(80, "00200000"), {}, Extract::kInvalid},
        {"cut short at the end", cat({Image(80), cutShort}), {80}, Extract::kEndOfData},
        {"empty", {}, {}, Extract::kEndOfData},
    };
    for (const Case& c : cases) {
        for (std::size_t packet : {std::size_t{7}, std::size_t{8192}}) {
            std::size_t consumed = 0;
            const auto [images, end] = ReadAll(c.stream, packet, &consumed);
            EXPECT_EQ(images, c.images) << c.what << ", packets of " << packet;
            EXPECT_EQ(end, c.end) << c.what << ", packets of " << packet;
        }
    }
    // The consumed bytes (the shared position) count the images and what was skipped before them.
    std::size_t consumed = 0;
    ReadAll(cat({Bytes(5, 0x42), Image(100), Image(200)}), 64, &consumed);
    EXPECT_EQ(consumed, 305u);
}

TEST(JpegStreamReader, AnImageThatCannotBeGatheredEndsTheStreamInsteadOfWaiting) {
    // 7000-byte packets cannot fill the buffer to the 130072 bytes this image needs: the packet that would
    // complete it never fits, so the reader gives up instead of waiting for room that never comes.
    Bytes stream = Image(vello::JpegStreamReader::kCapacity - 1000);
    const Bytes next = Image(10000);
    stream.insert(stream.end(), next.begin(), next.end());
    const auto [images, end] = ReadAll(stream, 7000, nullptr);
    EXPECT_TRUE(images.empty());
    EXPECT_EQ(end, Extract::kInvalid);
}

TEST(FramePacer, WaitsTheIntervalLessTheLatenessAndMeasuresTheRate) {
    uint32_t now = 1000;
    std::vector<uint32_t> sleeps;
    FramePacer pacer([&] { return now; },
                     [&](uint32_t due) {
                         sleeps.push_back(due - now);
                         now = due;
                     });
    struct Step {
        uint32_t work;  // ms spent before the picture is paced
        int a;
        uint32_t wait;
    };
    const Step steps[] = {
        {0, 25, 0},               // the first picture waits nothing
        {10, 25, 30},             // 1000 / 25 = 40 ms, 10 already spent
        {50, -40, 0},             // late by 10: no wait, and the next interval counts from this picture
        {5, -40, 35}, {0, 0, 0},  // interval 0: unpaced
        {0, 7, 142},              // integer division
    };
    for (const Step& s : steps) {
        now += s.work;
        pacer.Pace(s.a);
        EXPECT_EQ(pacer.LastWait(), s.wait);
    }
    // Rate over a window of at least one second of pictures 50 ms apart (the window counts the picture
    // that closes it too).
    FramePacer rate([&] { return now; }, [&](uint32_t due) { now = due; });
    double measured = 0;
    for (int i = 0; i < 22; ++i) measured = rate.Pace(20);
    EXPECT_NEAR(measured, 21.0, 1.01);
}

TEST(CameraRecords, JpegAndMpeg4RecordsAndTheStampInterval) {
    const std::string app2 =
        "DataLen: 00001234\r\nCamTim: 2026/03/01 12:00:00.040\r\nAlmEvent: 0010\r\nTimStamp: "
        "0000005040\r\n\r\n"
        "CamTim: 2099/01/01 00:00:00.000";  // after CR LF CR LF: not read
    CameraRecords r = ScanJpegRecords(reinterpret_cast<const uint8_t*>(app2.data()), app2.size());
    EXPECT_TRUE(r.hasTime);
    EXPECT_EQ(r.cameraTime, "2026/03/01 12:00:00.040");
    EXPECT_TRUE(r.sensorAlarm);
    EXPECT_FALSE(r.motionAlarm);
    EXPECT_TRUE(r.stampValid);
    EXPECT_EQ(r.stamp, 5040u);

    const uint8_t m4v[] = {0,   0,   1,   0xB2, 'A', 'l', 'm',  'E', 'v', 'e', 'n', 't', ':', ' ', '0',
                           '0', '0', '1', 0,    0,   1,   0xB6, 'C', 'a', 'm', 'T', 'i', 'm', ':', ' '};
    r = ScanMpeg4Records(m4v, sizeof m4v);
    EXPECT_TRUE(r.motionAlarm);
    EXPECT_FALSE(r.hasTime);  // behind the VOP start code
    // A record cut off by the end of the data is not taken.
    const std::string cut = "CamTim: 2026/03/01 12:0";
    EXPECT_FALSE(ScanMpeg4Records(reinterpret_cast<const uint8_t*>(cut.data()), cut.size()).hasTime);

    StampTracker stamps;
    auto feed = [&](bool valid, uint32_t stamp) {
        CameraRecords c;
        c.hasStamp = true;
        c.stampValid = valid;
        c.stamp = stamp;
        stamps.Feed(c);
        return stamps.PacerArgument();
    };
    EXPECT_EQ(feed(true, 1000), 0);  // one stamp: no interval yet
    EXPECT_EQ(feed(true, 1040), -40);
    EXPECT_EQ(feed(false, 0), 0);  // an invalid stamp restarts the count
    EXPECT_EQ(feed(true, 1120), 0);
    EXPECT_EQ(feed(true, 1160), -40);
}

TEST(PacketQueue, TheFixedHeapRefusesOnceFullAndTakesPacketsBack) {
    PacketQueue queue(kVideoHeapBytes, kVideoPayload);
    std::vector<DataPacket*> held;
    while (DataPacket* p = queue.Allocate(static_cast<int32_t>(held.size()))) {
        EXPECT_EQ(p->self, p);
        EXPECT_EQ(p->bytes, 0u);
        p->bytes = kVideoPayload;
        EXPECT_TRUE(queue.Valid(p));
        held.push_back(p);
    }
    EXPECT_EQ(held.size(), 3u);  // 32768 bytes hold three 8192-byte packets and their headers
    for (DataPacket* p : held) queue.Append(p);
    // A packet whose header was overwritten fails the check and is still freed.
    queue.Oldest()->self = nullptr;
    uint8_t out[kVideoPayload];
    EXPECT_EQ(queue.TakeCopy(out, sizeof out), 0);
    EXPECT_EQ(queue.TakeCopy(out, sizeof out), static_cast<int>(kVideoPayload));
    EXPECT_NE(queue.Allocate(9), nullptr);  // room again
    PacketQueue audio(kAudioHeapBytes, kAudioPayload);
    DataPacket* a = audio.Allocate(0);
    a->bytes = kVideoPayload;  // claims more than an audio packet holds
    EXPECT_FALSE(audio.Valid(a));
    audio.Release(a);
}

}  // namespace
}  // namespace reeldeck
