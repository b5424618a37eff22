#include "core/motion_data.h"

#include <algorithm>
#include <string_view>

#include "core/chunk_queue.h"
#include "core/viewer_state.h"

namespace ocuview {

namespace {

constexpr std::string_view kBoundary = "--myboundary";
constexpr std::size_t kRecordBytes = 132;                 // after the "--"
constexpr std::size_t kLevelBase = kBoundary.size() + 2;  // after "--myboundary\r\n"
constexpr std::array<std::size_t, 4> kLevelOffsets = {62, 78, 94, 110};
static_assert(kLevelBase + kLevelOffsets[3] + 6 <= kRecordBytes + 2, "a complete record holds every field");

int Level(const uint8_t* field) {
    int value = 0;
    for (int i = 0; i < 6 && field[i] >= '0' && field[i] <= '9'; ++i) value = value * 10 + (field[i] - '0');
    return std::min(value, kMotionLevelMax);
}

}  // namespace

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

void MotionDataThread(ViewerState& v) {
    StreamSession& session = v.sessions[kMotionDataSlot];
    const std::atomic<uint32_t>& stop = v.threads[kChannelMotionDataThread].stop;
    MotionLevelReader reader;
    // A block holds at most one receive buffer (a chunk behind a kept piece of the reply header).
    std::array<uint8_t, sizeof session.receive> block;
    while (stop.load() == 0) {
        const int n = TakeChunk(session, block.data(), block.size());
        if (n < 0) {
            // Woken by a new block or a stop request; the limit only bounds a wake-up lost to the stop flag.
            WaitForChunk(session, 50);
            continue;
        }
        if (const auto levels = reader.Append({block.data(), static_cast<std::size_t>(n)}))
            v.observer.OnMotionLevels(*levels);
    }
}

}  // namespace ocuview
