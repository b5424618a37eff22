// Reassembly of the Motion JPEG multipart stream: chunks from the picture session's queue are gathered in
// an assembly buffer and cut into parts at "--myboundary"; audio parts go to the audio queue in whole
// frames, pictures to the JPEG decoder, and the "CamTim: " header to the overlay text.
#ifndef OCUVIEW_CORE_MULTIPART_H
#define OCUVIEW_CORE_MULTIPART_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vello/common/lum_memory.h"

namespace ocuview {

struct StreamSession;

// Results of Extract besides a part length.
inline constexpr int kPartNeedMore = -1;
inline constexpr int kPartClosing = -2;

class MultipartAssembly {
  public:
    static constexpr std::size_t kCapacity = 524288;

    MultipartAssembly();
    [[nodiscard]] bool Ok() const { return buffer_.data() != nullptr; }

    // Moves the unread bytes to the head and appends chunks from `session`'s queue until a part is
    // complete, the room is below one chunk, or `stop` (the consuming thread's stop flag) is set. Returns 1
    // when it ended on the stop flag, else 0.
    int Fill(StreamSession& session, const std::atomic<uint32_t>& stop);
    // Appends bytes directly (tests and the fuzz target); returns how many fitted.
    std::size_t Append(const uint8_t* data, std::size_t size);

    // One part (header lines, blank line and payload) into `out`: its length, kPartNeedMore, or
    // kPartClosing at the closing boundary.
    int Extract(std::vector<uint8_t>& out);

    // Forgets everything held (a reconnect starts a new stream, just after its first boundary line).
    void Clear();
    [[nodiscard]] std::size_t Held() const { return fill_ - pos_; }

  private:
    int ExtractBody(std::vector<uint8_t>& out);
    // True when the next part is held whole by its "DataLen: " (without waiting for the boundary after it).
    bool NextPartHeld() const;
    std::string_view View() const;

    vello::LumBuffer<std::uint8_t> buffer_;
    std::size_t fill_ = 0;  // bytes held from the head
    std::size_t pos_ = 0;   // read position
    // True while the position is at the start of a part's header lines (after a boundary line); the
    // stream itself begins so, since the reply-header search ends just after the first boundary line.
    bool atPart_ = true;
};

// The "Content-Type: " of a part; a part without one, or an audio part, is not a picture.
enum class PartKind { kPicture, kAudio, kNone };
[[nodiscard]] PartKind ClassifyPart(std::string_view part);

// The payload of a part: after its first "\r\n\r\n" (the whole part when there is none).
[[nodiscard]] std::string_view PartPayload(std::string_view part);

// The "CamTim: " value of the part's header lines when shorter than 32 characters; empty otherwise.
[[nodiscard]] std::string CameraTimeOf(std::string_view part);

// Audio cut from the audio parts of the multipart stream: payloads accumulate until whole frames can be
// queued on the audio session.
class AudioAccumulator {
  public:
    static constexpr std::size_t kCapacity = 1048576;
    // Appends an audio part's payload and queues whole frames of `session.chunkBytes` on the audio session.
    void Add(StreamSession& audio, std::string_view payload);
    void Clear() { held_.clear(); }
    [[nodiscard]] std::size_t Held() const { return held_.size(); }

  private:
    std::vector<uint8_t> held_;
};

}  // namespace ocuview

#endif
