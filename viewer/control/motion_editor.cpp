#include "motion_editor.h"

#include <algorithm>
#include <string_view>

namespace ocuview {

namespace {

// Moves [start, start + length) into [low, high], shrinking it only when it is longer than the range.
void FitInto(int& start, int& length, int low, int high) {
    length = std::min(length, high - low);
    start = std::clamp(start, low, high - length);
}

constexpr std::string_view kBoundary = "--myboundary";
constexpr std::size_t kRecordBytes = 132;                 // after the "--"
constexpr std::size_t kLevelBase = kBoundary.size() + 2;  // after "--myboundary\r\n"
constexpr std::array<std::size_t, 4> kLevelOffsets = {62, 78, 94, 110};

int Level(const uint8_t* field) {
    int value = 0;
    for (int i = 0; i < 6 && field[i] >= '0' && field[i] <= '9'; ++i) value = value * 10 + (field[i] - '0');
    return std::min(value, MotionLevelReader::kMaxLevel);
}

}  // namespace

Rect ClampFrame(Rect proposed, Rect picture, int offset) {
    Rect r = proposed;
    r.width = std::clamp(r.width, 1, 640);
    r.height = std::clamp(r.height, offset + 32, offset + 480);
    FitInto(r.x, r.width, picture.x + 1, picture.x + picture.width);
    FitInto(r.y, r.height, picture.y, picture.y + offset + picture.height);
    return r;
}

MotionArea AreaOfFrame(Rect frame, Rect picture, int offset) {
    MotionArea a;
    a.left = std::max(frame.x - picture.x, 1);
    a.top = std::max(frame.y - picture.y, 1);
    a.right = a.left + frame.width;
    a.bottom = a.top + frame.height - offset;
    return a;
}

Rect FrameOfArea(MotionArea area, Rect picture, int offset) {
    return {picture.x + area.left, picture.y + area.top, area.right - area.left,
            area.bottom - area.top + offset};
}

std::optional<std::array<int, 4>> MotionLevelReader::Append(std::span<const uint8_t> chunk) {
    buffer_.insert(buffer_.end(), chunk.begin(), chunk.end());
    std::optional<std::array<int, 4>> levels;
    std::size_t consumed = 0;
    for (;;) {
        const auto it = std::search(buffer_.begin() + static_cast<std::ptrdiff_t>(consumed), buffer_.end(),
                                    kBoundary.begin(), kBoundary.end());
        if (it == buffer_.end()) {
            // Keep a tail that may be the start of a boundary cut by the chunk edge.
            const std::size_t keep = std::min(buffer_.size() - consumed, kBoundary.size() - 1);
            consumed = buffer_.size() - keep;
            break;
        }
        const std::size_t start = static_cast<std::size_t>(it - buffer_.begin());
        if (buffer_.size() - start - 2 < kRecordBytes) {
            consumed = start;  // incomplete: wait for more
            break;
        }
        std::array<int, 4> record{};
        for (std::size_t w = 0; w < 4; ++w)
            record[w] = Level(&buffer_[start + kLevelBase + kLevelOffsets[w]]);
        levels = record;
        consumed = start + 2;  // search on after this "--"
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(consumed));
    if (buffer_.size() > kBufferBytes)
        buffer_.erase(buffer_.begin(), buffer_.end() - static_cast<std::ptrdiff_t>(kBufferBytes));
    return levels;
}

}  // namespace ocuview
