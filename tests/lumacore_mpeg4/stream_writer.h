// Test-side MPEG-4 bitstream writer: packs TCOEF events (choosing among the table code and the three
// escape modes), intra DC differentials and motion vector differences with the same code tables the
// decoders use, so that tests can build valid streams and know what they hold.
#ifndef TESTS_LUMACORE_MPEG4_STREAM_WRITER_H
#define TESTS_LUMACORE_MPEG4_STREAM_WRITER_H

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "mpeg4/vlc_tables.h"

// Its own namespace: tests/mpeg4 has a header-level BitWriter of its own in mpeg4test, and two classes
// of one name in one namespace would break the one-definition rule once linked together.
namespace blockstream {

namespace tables = lumacore::mpeg4;

class BitWriter {
  public:
    // `startOffset` bits (0..7) of the first byte are already used by something else (filled with `fill`).
    explicit BitWriter(int startOffset = 0, uint8_t fill = 0xA5) : bits_(startOffset) {
        if (startOffset > 0) bytes_.push_back(static_cast<uint8_t>(fill & ~(0xFF >> startOffset)));
    }
    void Put(uint32_t value, int n) {
        for (int i = n - 1; i >= 0; --i) {
            if (bits_ % 8 == 0) bytes_.push_back(0);
            if ((value >> i) & 1) bytes_.back() = static_cast<uint8_t>(bytes_.back() | (0x80 >> (bits_ % 8)));
            ++bits_;
        }
    }
    void Put(tables::Vlc v) { Put(v.code, v.length); }
    long bits() const { return bits_; }
    // The stream followed by `padding` zero bytes (the decoders' read-ahead contract).
    std::vector<uint8_t> Bytes(int padding = 8) const {
        std::vector<uint8_t> out = bytes_;
        out.insert(out.end(), static_cast<std::size_t>(padding), 0);
        return out;
    }

  private:
    std::vector<uint8_t> bytes_;
    long bits_;
};

inline const tables::TcoefCode* FindTcoef(bool intra, int last, int run, int level) {
    for (const tables::TcoefCode& c : intra ? tables::kIntraTcoefCodes : tables::kInterTcoefCodes)
        if (c.last == last && c.run == run && c.level == level) return &c;
    return nullptr;
}

// How an event can be written: 0 table code, 1..3 escape modes. Mode 3 takes any level 1..2047 in
// magnitude (and -2048) with a run up to 63.
inline bool CanWrite(bool intra, int last, int run, int level, int mode) {
    const int mag = std::abs(level);
    if (level == 0 || run < 0 || run > 63) return false;
    switch (mode) {
        case 0:
            return FindTcoef(intra, last, run, mag) != nullptr;
        case 1: {
            const int lmax = tables::TcoefLmax(intra, last, run);
            return lmax > 0 && mag > lmax && FindTcoef(intra, last, run, mag - lmax) != nullptr;
        }
        case 2: {
            const int rmax = tables::TcoefRmax(intra, last, mag);
            return rmax >= 0 && run > rmax && FindTcoef(intra, last, run - rmax - 1, mag) != nullptr;
        }
        default:
            return level >= -2048 && level <= 2047;
    }
}

inline void PutTable(BitWriter& w, bool intra, int last, int run, int level) {
    w.Put(FindTcoef(intra, last, run, std::abs(level))->vlc);
    w.Put(level < 0 ? 1 : 0, 1);
}

// Writes one event in `mode` (which CanWrite must allow).
inline void PutTcoef(BitWriter& w, bool intra, int last, int run, int level, int mode) {
    const int mag = std::abs(level);
    const int sign = level < 0 ? -1 : 1;
    switch (mode) {
        case 0:
            PutTable(w, intra, last, run, level);
            break;
        case 1:
            w.Put(tables::kTcoefEscape);
            w.Put(0, 1);
            PutTable(w, intra, last, run, sign * (mag - tables::TcoefLmax(intra, last, run)));
            break;
        case 2:
            w.Put(tables::kTcoefEscape);
            w.Put(0b10, 2);
            PutTable(w, intra, last, run - tables::TcoefRmax(intra, last, mag) - 1, level);
            break;
        default:
            w.Put(tables::kTcoefEscape);
            w.Put(0b11, 2);
            w.Put(static_cast<uint32_t>(last), 1);
            w.Put(static_cast<uint32_t>(run), 6);
            w.Put(1, 1);
            w.Put(static_cast<uint32_t>(level) & 0xFFF, 12);
            w.Put(1, 1);
            break;
    }
}

// The shortest way to write an event.
inline void PutTcoef(BitWriter& w, bool intra, int last, int run, int level) {
    for (int mode = 0; mode < 4; ++mode)
        if (CanWrite(intra, last, run, level, mode)) return PutTcoef(w, intra, last, run, level, mode);
}

// An intra DC differential (-4095..4095 by the size tables; the marker follows sizes above 8).
inline void PutDcDiff(BitWriter& w, bool chroma, int diff) {
    int size = 0;
    while ((std::abs(diff) >> size) != 0) ++size;
    w.Put((chroma ? tables::kDcSizeChromaCodes : tables::kDcSizeLumaCodes)[static_cast<std::size_t>(size)]);
    if (size == 0) return;
    w.Put(static_cast<uint32_t>(diff > 0 ? diff : diff + (1 << size) - 1), size);
    if (size > 8) w.Put(1, 1);
}

// One motion vector difference component; |diff| <= 32 << (fcode - 1).
inline void PutMvd(BitWriter& w, int diff, int fcode) {
    if (diff == 0) return w.Put(tables::kMvdCodes[0]);
    const int f = 1 << (fcode - 1);
    const int mag = std::abs(diff);
    const int code = (mag - 1) / f + 1;
    w.Put(tables::kMvdCodes[static_cast<std::size_t>(code)]);
    w.Put(diff < 0 ? 1 : 0, 1);
    w.Put(static_cast<uint32_t>((mag - 1) % f), fcode - 1);
}

struct Event {
    int last, run, level;
};

// A random event list for scan positions start..63: mostly small levels, some needing escapes, a few
// near the 12-bit limit. `next()` returns random 32-bit values.
template <typename Next>
std::vector<Event> RandomEvents(Next&& next, int start) {
    std::vector<int> positions;
    const int density = static_cast<int>(next() % 4);  // 0: sparse .. 3: dense
    for (int pos = start; pos < 64; ++pos)
        if (static_cast<int>(next() % 8) <= density) positions.push_back(pos);
    if (positions.empty())
        positions.push_back(start + static_cast<int>(next() % static_cast<uint32_t>(64 - start)));
    std::vector<Event> events;
    int prev = start - 1;
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const uint32_t r = next() % 100;
        int mag = r < 70   ? 1 + static_cast<int>(next() % 3)
                  : r < 92 ? 4 + static_cast<int>(next() % 30)
                           : 1 + static_cast<int>(next() % 2047);
        int level = (next() & 1) ? -mag : mag;
        if (next() % 500 == 0) level = -2048;
        events.push_back({i + 1 == positions.size() ? 1 : 0, positions[i] - prev - 1, level});
        prev = positions[i];
    }
    return events;
}

// Writes events, each in a random one of the ways it can be written.
template <typename Next>
void PutEvents(BitWriter& w, bool intra, const std::vector<Event>& events, Next&& next) {
    for (const Event& e : events) {
        int modes[4], n = 0;
        for (int m = 0; m < 4; ++m)
            if (CanWrite(intra, e.last, e.run, e.level, m)) modes[n++] = m;
        PutTcoef(w, intra, e.last, e.run, e.level, modes[next() % static_cast<uint32_t>(n)]);
    }
}

// The levels of events at their natural positions through `scan`.
inline void PlaceEvents(const std::vector<Event>& events, int start, const uint8_t* scan, int levels[64]) {
    int pos = start;
    for (const Event& e : events) {
        pos += e.run;
        levels[scan[pos]] = e.level;
        ++pos;
    }
}

}  // namespace blockstream

#endif
