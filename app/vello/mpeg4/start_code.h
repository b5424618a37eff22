// The one scanner for MPEG-4 Visual start codes: the prefix 00 00 01 followed by a value byte (0xB6 a VOP,
// 0xB3 a group of VOPs, 0x20..0x2F a video object layer, ...). The decoder's searches, its refill, the
// recording writer's splitter and the camera simulator all find start codes through it.
#ifndef VELLO_MPEG4_START_CODE_H
#define VELLO_MPEG4_START_CODE_H

#include <cstddef>
#include <cstdint>
#include <span>

namespace vello::mpeg4 {

// Start-code values: the user-data and VOP codes end a refill; the others guide the header search.
inline constexpr std::uint8_t kUserDataStartCode = 0xB2;
inline constexpr std::uint8_t kVopStartCode = 0xB6;
inline constexpr std::uint8_t kVisualObjectStartCode = 0xB5;

inline constexpr std::size_t kNoStartCode = static_cast<std::size_t>(-1);

// The first start code in [begin, end) whose value byte is held too (four bytes); `end` when none is.
const std::uint8_t* FindStartCode(const std::uint8_t* begin, const std::uint8_t* end);

// The same, also stopping at a short-video start marker (00 00 and a byte whose top six bits are
// 100000), for which three bytes are enough.
const std::uint8_t* FindStartCodeOrShortHeader(const std::uint8_t* begin, const std::uint8_t* end);

// The first start code at or after `from` whose value byte `accept` takes: its offset (the first 00), or
// kNoStartCode.
template <typename Accept>
std::size_t FindStartCodeIf(std::span<const std::uint8_t> bytes, Accept accept, std::size_t from = 0) {
    if (from >= bytes.size()) return kNoStartCode;
    const std::uint8_t* const end = bytes.data() + bytes.size();
    for (const std::uint8_t* p = bytes.data() + from;; ++p) {
        p = FindStartCode(p, end);
        if (p == end) return kNoStartCode;
        if (accept(p[3])) return static_cast<std::size_t>(p - bytes.data());
    }
}

// The first one whose value lies in [low, high], or is `value`.
inline std::size_t FindStartCode(std::span<const std::uint8_t> bytes, int low, int high,
                                 std::size_t from = 0) {
    return FindStartCodeIf(
        bytes, [low, high](std::uint8_t v) { return v >= low && v <= high; }, from);
}
inline std::size_t FindStartCode(std::span<const std::uint8_t> bytes, int value, std::size_t from = 0) {
    return FindStartCode(bytes, value, value, from);
}

}  // namespace vello::mpeg4

#endif
