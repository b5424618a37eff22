#include "core/multipart.h"

#include <cstdlib>
#include <cstring>

#include "core/chunk_queue.h"
#include "core/viewer_state.h"

namespace ocuview {

namespace {

constexpr std::string_view kBoundary = "--myboundary";
constexpr std::size_t kBoundaryLine = 14;  // "--myboundary\r\n"
constexpr std::string_view kDataLen = "DataLen: ";
constexpr std::string_view kContentType = "Content-Type: ";
constexpr std::string_view kCamTim = "CamTim: ";
constexpr std::string_view kHeaderEnd = "\r\n\r\n";

// The header lines of a part (up to and including the blank line), or the whole text when it has none.
std::string_view HeaderOf(std::string_view part) {
    const std::size_t end = part.find(kHeaderEnd);
    return end == std::string_view::npos ? part : part.substr(0, end + kHeaderEnd.size());
}

// The "DataLen: " value within the header lines: leading digits of at most 31 characters that end in
// "\r\n" within 128 characters; -1 when absent.
long long DataLength(std::string_view header) {
    const std::size_t at = header.find(kDataLen);
    if (at == std::string_view::npos) return -1;
    const std::string_view rest = header.substr(at + kDataLen.size());
    const std::size_t end = rest.find("\r\n");
    if (end == std::string_view::npos || end > 128) return -1;
    const std::string_view digits = rest.substr(0, std::min<std::size_t>(end, 31));
    long long value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
        if (value > (1LL << 40)) break;  // far beyond any buffer; the caller treats it as absent
    }
    return value;
}

}  // namespace

MultipartAssembly::MultipartAssembly() {
    (void)buffer_.Allocate(static_cast<std::int64_t>(kCapacity));
}

std::string_view MultipartAssembly::View() const {
    return {reinterpret_cast<const char*>(buffer_.data()) + pos_, fill_ - pos_};
}

void MultipartAssembly::Clear() {
    fill_ = pos_ = 0;
    atPart_ = true;
}

std::size_t MultipartAssembly::Append(const uint8_t* data, std::size_t size) {
    if (pos_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + pos_, fill_ - pos_);
        fill_ -= pos_;
        pos_ = 0;
    }
    const std::size_t n = std::min(size, kCapacity - fill_);
    if (n > 0) std::memcpy(buffer_.data() + fill_, data, n);
    fill_ += n;
    return n;
}

int MultipartAssembly::Fill(StreamSession& session, const std::atomic<uint32_t>& stop) {
    const std::size_t chunk = static_cast<std::size_t>(session.chunkBytes);
    Append(nullptr, 0);  // unread bytes to the head
    if (kCapacity - fill_ < chunk) return 0;
    if (stop.load() != 0) return 1;
    for (;;) {
        // Every block waiting is taken at once, straight into the buffer (one hold of the queue lock).
        const int n = TakeChunks(session, buffer_.data() + fill_, kCapacity - fill_);
        if (n < 0) {
            if (stop.load() != 0) return 1;
            // Woken by the next block or by a stop request; the limit only bounds a wake-up lost to a stop
            // set just before the wait (polling every 10 ms cost 100 wake-ups a second between pictures).
            WaitForChunk(session, 50);
            continue;
        }
        const std::size_t before = fill_;
        fill_ += static_cast<std::size_t>(n);
        // A part is complete once a boundary arrived behind other bytes (one at the very head begins the
        // held data, it ends nothing), or as soon as its "DataLen: " bytes are all held (a picture is shown
        // without waiting for the next part).
        bool complete = false;
        if (n > 0) {
            const std::size_t from = before > kBoundary.size() ? before - kBoundary.size() : 0;
            const std::string_view fresh(reinterpret_cast<const char*>(buffer_.data()) + from, fill_ - from);
            std::size_t at = fresh.find(kBoundary);
            if (at == 0 && before == 0) at = fresh.find(kBoundary, 1);
            complete = at != std::string_view::npos;
        }
        complete = complete || (n > 0 && NextPartHeld());
        if (complete || kCapacity - fill_ < chunk) return 0;
        if (stop.load() != 0) return 1;
    }
}

bool MultipartAssembly::NextPartHeld() const {
    std::string_view held = View();
    if (!atPart_) {
        const std::size_t at = held.find(kBoundary);
        if (at == std::string_view::npos || at + kBoundaryLine > held.size()) return false;
        held.remove_prefix(at + kBoundaryLine);
    }
    // Only the first lines are looked at: a header that long is not waited for here.
    const std::size_t headerEnd = held.substr(0, 1024).find(kHeaderEnd);
    if (headerEnd == std::string_view::npos) return false;
    const std::size_t headerBytes = headerEnd + kHeaderEnd.size();
    const long long length = DataLength(held.substr(0, headerBytes));
    return length >= 0 && static_cast<unsigned long long>(length) <= held.size() - headerBytes;
}

int MultipartAssembly::Extract(std::vector<uint8_t>& out) {
    if (!atPart_) {
        // Skip to the next boundary; the last 14 bytes are kept in case one straddles two reads.
        const std::string_view held = View();
        const std::size_t at = held.find(kBoundary);
        if (at == std::string_view::npos) {
            pos_ = fill_ - std::min(held.size(), kBoundaryLine);
            return kPartNeedMore;
        }
        if (at + kBoundaryLine > held.size()) {
            pos_ += at;  // the boundary line is not whole yet
            return kPartNeedMore;
        }
        if (held.substr(at + kBoundary.size(), 2) == "--") {
            pos_ += at;
            return kPartClosing;
        }
        pos_ += at + kBoundaryLine;
        atPart_ = true;
    }
    const int rc = ExtractBody(out);
    if (rc == kPartNeedMore && fill_ == kCapacity) {
        // A full buffer that cannot hold the part: drop it and look for the next boundary.
        pos_ = fill_ - kBoundaryLine;
        atPart_ = false;
    }
    return rc;
}

int MultipartAssembly::ExtractBody(std::vector<uint8_t>& out) {
    const std::string_view held = View();
    const std::size_t headerEnd = held.find(kHeaderEnd);
    if (headerEnd == std::string_view::npos) return kPartNeedMore;
    const std::size_t headerBytes = headerEnd + kHeaderEnd.size();
    // The length is looked for in this part's own header lines only, so a part without one never borrows
    // the next part's; a length that could never fit the buffer counts as absent.
    long long length = DataLength(held.substr(0, headerBytes));
    if (length > static_cast<long long>(kCapacity - headerBytes)) length = -1;
    std::size_t total;
    if (length >= 0) {
        total = headerBytes + static_cast<std::size_t>(length);
        if (total > held.size()) return kPartNeedMore;
    } else {
        const std::size_t end = held.find("\r\n--", headerBytes > 2 ? headerBytes - 2 : 0);
        if (end == std::string_view::npos) return kPartNeedMore;
        total = std::max(end, headerBytes);
    }
    out.assign(buffer_.data() + pos_, buffer_.data() + pos_ + total);
    pos_ += total;
    atPart_ = false;
    return static_cast<int>(total);
}

PartKind ClassifyPart(std::string_view part) {
    const std::string_view header = HeaderOf(part);
    const std::size_t at = header.find(kContentType);
    if (at == std::string_view::npos) return PartKind::kNone;
    return part.substr(at + kContentType.size(), 5) == "audio" ? PartKind::kAudio : PartKind::kPicture;
}

std::string_view PartPayload(std::string_view part) {
    const std::size_t end = part.find(kHeaderEnd);
    return end == std::string_view::npos ? part : part.substr(end + kHeaderEnd.size());
}

std::string CameraTimeOf(std::string_view part) {
    const std::string_view header = HeaderOf(part);
    const std::size_t at = header.find(kCamTim);
    if (at == std::string_view::npos) return {};
    const std::string_view rest = header.substr(at + kCamTim.size());
    const std::size_t end = rest.find("\r\n");
    if (end == std::string_view::npos || end >= 32) return {};
    return std::string(rest.substr(0, end));
}

void AudioAccumulator::Add(StreamSession& audio, std::string_view payload) {
    if (held_.size() + payload.size() > kCapacity) held_.clear();  // never grows without bound
    if (payload.size() > kCapacity) return;
    held_.insert(held_.end(), payload.begin(), payload.end());
    TrimAudioQueue(audio);
    const std::size_t frame = static_cast<std::size_t>(audio.chunkBytes);
    if (frame == 0) return;
    std::size_t used = 0;
    while (held_.size() - used > frame) {
        if (!PushChunk(audio, held_.data() + used, frame, frame)) break;  // heap full: wait for the next part
        used += frame;
    }
    held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(used));
}

}  // namespace ocuview
