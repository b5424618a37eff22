#include "core/rtp_stats.h"

namespace ocuview {

namespace {

uint32_t Be32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

void Put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

constexpr uint32_t kMaxDropout = 3000;
constexpr uint32_t kMaxMisorder = 750;
constexpr uint32_t kSeqMod = 65536;

}  // namespace

bool ParseRtpHeader(const uint8_t* data, std::size_t size, RtpHeader* header) {
    if (size < 12) return false;
    header->version = data[0] >> 6;
    header->payloadType = data[1] & 0x7F;
    header->sequence = static_cast<uint16_t>((data[2] << 8) | data[3]);
    header->timestamp = Be32(data + 4);
    header->ssrc = Be32(data + 8);
    return true;
}

void RtpStats::Clear() {
    maxSeq = cycles = baseSeq = received = expectedPrior = receivedPrior = jitter = 0;
    badSeq = kSeqMod + 1;
    initialised = false;
    payloadType = 255;
    senderSsrc = ownSsrc = lastSr = 0;
    haveOwnSsrc = false;
    srArrivalUs = 0;
    havePrevious = false;
    prevArrivalUs = 0;
    prevTimestamp = 0;
    cumulativeLost = 0;
}

void RtpStats::Init(uint16_t sequence) {
    // base_seq is one below this packet: the packet before it (the one that set bad_seq) belongs to the
    // new run, and it is counted below, so that no loss is reported that did not happen.
    maxSeq = sequence;
    baseSeq = static_cast<uint32_t>(sequence) - 1u;
    badSeq = kSeqMod + 1;
    cycles = 0;
    received = 2;
    expectedPrior = 0;
    receivedPrior = 0;
    initialised = true;
}

void RtpStats::Update(uint16_t sequence, uint32_t timestamp, uint64_t arrivalUs) {
    const uint32_t udelta = (static_cast<uint32_t>(sequence) - maxSeq.load()) % kSeqMod;
    if (initialised && udelta < kMaxDropout) {
        if (sequence < maxSeq) cycles += kSeqMod;
        maxSeq = sequence;
        ++received;
    } else if (initialised && udelta > kSeqMod - kMaxMisorder) {
        ++received;  // late or duplicate
    } else if (sequence == badSeq) {
        Init(sequence);  // two packets in a row: a new run (or the first run of the session)
    } else {
        badSeq = (static_cast<uint32_t>(sequence) + 1) % kSeqMod;
    }

    // Interarrival jitter in 8 kHz units, for every packet of the session's payload type; the first
    // packet has no predecessor to compare with.
    const auto units = [](uint64_t us) {
        return static_cast<int64_t>(us / 1000000) * 8000 +
               static_cast<int64_t>(us % 1000000) * 8000 / 1000000;
    };
    if (havePrevious && received > 1) {
        const int64_t d =
            (units(arrivalUs) - units(prevArrivalUs)) - static_cast<int32_t>(timestamp - prevTimestamp);
        const int64_t absD = d < 0 ? -d : d;
        const int64_t j = jitter.load();
        jitter = static_cast<uint32_t>(j + (absD - j) / 16);
    }
    havePrevious = true;
    prevArrivalUs = arrivalUs;
    prevTimestamp = timestamp;
}

std::array<uint8_t, 32> RtpStats::MakeReceiverReport(uint64_t nowUs, uint32_t tickCountMs) {
    if (!haveOwnSsrc.exchange(true)) ownSsrc = tickCountMs;
    const uint32_t extendedMax = cycles + maxSeq;
    const int64_t expected = static_cast<int64_t>(extendedMax) - static_cast<int64_t>(baseSeq.load()) + 1;
    const int64_t got = received.load();
    int64_t lost = expected - got;
    // The 24-bit signed field; duplicates can make the count negative.
    if (lost > 0x7FFFFF) lost = 0x7FFFFF;
    if (lost < -0x800000) lost = -0x800000;
    const int64_t expectedInterval = expected - static_cast<int64_t>(expectedPrior.load());
    const int64_t receivedInterval = got - static_cast<int64_t>(receivedPrior.load());
    expectedPrior = static_cast<uint32_t>(expected);
    receivedPrior = static_cast<uint32_t>(got);
    const int64_t lostInterval = expectedInterval - receivedInterval;
    int fraction = 0;
    if (expectedInterval > 0 && lostInterval > 0)
        fraction = static_cast<int>((lostInterval << 8) / expectedInterval);
    if (fraction > 255) fraction = 255;
    cumulativeLost = static_cast<int32_t>(lost);

    uint32_t dlsr = 0;
    const uint64_t arrival = srArrivalUs.load();
    if (arrival != 0 && nowUs >= arrival) {
        const uint64_t delta = nowUs - arrival;
        dlsr = static_cast<uint32_t>((delta / 1000000) * 65536 + (delta % 1000000) * 65536 / 1000000);
    }

    std::array<uint8_t, 32> rr{};
    rr[0] = 0x81;
    rr[1] = 201;
    rr[2] = 0;
    rr[3] = 7;
    Put32(&rr[4], ownSsrc);
    Put32(&rr[8], senderSsrc);
    rr[12] = static_cast<uint8_t>(fraction);
    const uint32_t lost24 = static_cast<uint32_t>(lost) & 0xFFFFFFu;
    rr[13] = static_cast<uint8_t>(lost24 >> 16);
    rr[14] = static_cast<uint8_t>(lost24 >> 8);
    rr[15] = static_cast<uint8_t>(lost24);
    Put32(&rr[16], extendedMax);
    Put32(&rr[20], jitter);
    Put32(&rr[24], lastSr);
    Put32(&rr[28], dlsr);
    return rr;
}

std::array<uint8_t, 8> RtpStats::MakeBye() const {
    std::array<uint8_t, 8> bye{0x81, 203, 0, 1, 0, 0, 0, 0};
    Put32(&bye[4], senderSsrc);
    return bye;
}

RtcpKind HandleRtcp(const uint8_t* data, std::size_t size, RtpStats& stats, uint64_t arrivalUs) {
    if (size < 8) return RtcpKind::kOther;
    if (data[1] == 200) {
        if (size < 16) return RtcpKind::kOther;
        stats.srArrivalUs = arrivalUs == 0 ? 1 : arrivalUs;
        stats.senderSsrc = Be32(data + 4);
        // Low 16 bits of the NTP seconds, high 16 bits of the fraction.
        stats.lastSr = (Be32(data + 8) << 16) | (Be32(data + 12) >> 16);
        return RtcpKind::kSenderReport;
    }
    if (data[1] == 203 && Be32(data + 4) == stats.senderSsrc) return RtcpKind::kOwnBye;
    return RtcpKind::kOther;
}

}  // namespace ocuview
