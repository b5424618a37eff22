// The motion-detection view's motion data: the camera's level records, received on slot 5's queue, read
// by the motion-data thread and handed to the observer as the four windows' meter levels.
#ifndef OCUVIEW_CORE_MOTION_DATA_H
#define OCUVIEW_CORE_MOTION_DATA_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace ocuview {

struct ViewerState;

// Reads the four window levels from the motion-data stream. Records begin with "--myboundary"; one is
// complete when 132 bytes follow its "--"; counted from the byte after "--myboundary\r\n", the levels are
// 6-character decimal fields (leading digits) at offsets 62, 78, 94 and 110. Incomplete data waits for
// the next chunk. Whatever the camera sends, at most 2048 bytes stay held between calls.
class MotionLevelReader {
  public:
    static constexpr std::size_t kBufferBytes = 2048;

    // Appends a chunk and returns the levels of the last complete record in it, if any, each limited to
    // kMotionLevelMax.
    [[nodiscard]] std::optional<std::array<int, 4>> Append(std::span<const uint8_t> chunk);
    [[nodiscard]] std::size_t Held() const { return buffer_.size(); }

  private:
    std::vector<uint8_t> buffer_;
};

// The motion-data thread (channel kChannelMotionDataThread): takes the blocks of slot 5's queue as they
// arrive and reports each complete record's levels through ViewerObserver::OnMotionLevels, until its
// stop flag is set.
void MotionDataThread(ViewerState& viewer);

}  // namespace ocuview

#endif
