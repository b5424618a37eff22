#include "core/stream_recorder.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <utility>

#include "platform/clock.h"
#include "series_writer/live_writer.h"
#include "series_writer/stream_split.h"
#include "vello/mpeg4/start_code.h"

namespace ocuview {

namespace series = reeldeck::series;
namespace tag = reeldeck::tag;

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

uint32_t AudioCodecTag(AudioCodec codec) {
    return codec == AudioCodec::kUnknown ? 0 : codec == AudioCodec::kG711_64 ? tag::kG711 : tag::kG726;
}

uint32_t AudioRateTag(AudioCodec codec) {
    switch (codec) {
        case AudioCodec::kG726_16:
            return tag::k16kb;
        case AudioCodec::kG726_24:
            return tag::k24kb;
        case AudioCodec::kG726_32:
            return tag::k32kb;
        case AudioCodec::kG726_40:
            return tag::k40kb;
        default:
            return tag::k64kb;
    }
}

uint64_t SteadyMs() {
    return platform::PerformanceCounter() / 1000000;
}

int64_t WallMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The "CamTim: " text of an MPEG-4 picture: the user data in front of its VOP start code.
std::string_view Mpeg4CameraTime(const std::vector<uint8_t>& piece) {
    const std::size_t vop = vello::mpeg4::FindStartCode(piece, vello::mpeg4::kVopStartCode);
    const std::string_view head(reinterpret_cast<const char*>(piece.data()),
                                vop == vello::mpeg4::kNoStartCode ? piece.size() : vop);
    const std::size_t at = head.find("CamTim: ");
    if (at == std::string_view::npos) return {};
    return head.substr(at + 8, 23);
}

}  // namespace

// The writer thread's side: cuts the MPEG-4 stream into pictures, keeps one series writer per picture
// size (a new size goes on in a new file of the series) and counts.
class StreamRecorder::Writer {
  public:
    explicit Writer(const StreamRecorder& r) : r_(r), nextNumber_(r.firstNumber_) {}

    void Jpeg(Item& item) {
        series::PictureGeometry size;
        std::string ignored;
        if (!series::PrepareJpeg(item.bytes, size, ignored)) {
            ++skipped_;
            return;
        }
        series::Frame frame;
        frame.bytes = std::move(item.bytes);
        Write(frame, size, CameraMs(item.cameraTime, item.receivedMs));
    }

    void Mpeg4Headers(Item& item) {
        headers_ = std::move(item.bytes);
        pending_.clear();
        synced_ = false;
    }

    void Mpeg4Bytes(const Item& item) {
        const std::size_t old = pending_.size();
        pending_.insert(pending_.end(), item.bytes.begin(), item.bytes.end());
        // Cut only once a second VOP start code is held: the first picture is then whole.
        const std::size_t first = vello::mpeg4::FindStartCode(pending_, vello::mpeg4::kVopStartCode);
        if (first == vello::mpeg4::kNoStartCode) {
            Bound();
            return;
        }
        const std::size_t from = std::max(first + 4, old >= 3 ? old - 3 : 0);
        if (vello::mpeg4::FindStartCode(pending_, vello::mpeg4::kVopStartCode, from) ==
            vello::mpeg4::kNoStartCode) {
            Bound();
            return;
        }
        std::vector<std::vector<uint8_t>> pieces = series::SplitMpeg4Stream(pending_);
        pending_ = std::move(pieces.back());
        pieces.pop_back();
        for (std::vector<uint8_t>& piece : pieces) Picture(piece, item.receivedMs);
    }

    void Audio(const Item& item) {
        // Audio before the first picture has nothing to follow; it is counted as received only.
        if (series_) series_->AddAudio(item.bytes.data(), item.bytes.size());
    }

    void Gap() {
        pending_.clear();
        synced_ = false;
    }

    void Finish(RecordingSummary& summary) {
        Close();
        summary.paths = paths_;
        summary.picturesReceived += received_;
        summary.picturesWritten = written_;
        summary.picturesSkipped = skipped_;
        summary.audioBytesWritten = audioWritten_;
        if (summary.error.empty()) summary.error = error_;
    }

  private:
    void Picture(std::vector<uint8_t>& piece, uint64_t receivedMs) {
        ++received_;
        if (!synced_) {
            // A recording begins at an I-VOP; what came before the headers or user data in front of it is
            // the tail of a picture the tap joined in the middle of (whose coded data holds no start code
            // of these values).
            if (!series::IsIntraVop(piece)) {
                ++skipped_;
                return;
            }
            const std::size_t start = vello::mpeg4::FindStartCodeIf(piece, [](uint8_t v) {
                return v == vello::mpeg4::kVopStartCode || (v >= 0xB0 && v <= 0xB5) || v <= 0x2F;
            });
            piece.erase(piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(start));
            synced_ = true;
        }
        series::PictureGeometry size;
        if (!series::ParseMpeg4Geometry(piece, size) && !series::ParseMpeg4Geometry(headers_, size)) {
            size.width = width_;
            size.height = height_;
        }
        if (size.width == 0 || size.height == 0) {
            ++skipped_;  // no layer header seen yet: the picture cannot be described
            synced_ = false;
            return;
        }
        series::Frame frame;
        frame.bytes = std::move(piece);
        Write(frame, size, CameraMs(Mpeg4CameraTime(frame.bytes), receivedMs));
    }

    void Write(const series::Frame& frame, const series::PictureGeometry& size, int64_t ms) {
        if (failed_) return;
        if (!series_ || size.width != width_ || size.height != height_) {
            Close();
            if (failed_) return;
            series::SeriesSpec spec;
            spec.directory = r_.directory_;
            spec.prefix = r_.prefix_;
            spec.firstNumber = nextNumber_;
            const bool mpeg4 = r_.format_.codec == ImageCodec::kMpeg4;
            spec.codec = mpeg4 ? tag::kMpeg4 : tag::kJpeg;
            spec.width = size.width;
            spec.height = size.height;
            spec.frameRate = static_cast<uint32_t>(std::clamp(
                size.frameRate > 0 ? static_cast<int>(size.frameRate) : r_.format_.frameRate, 1, 600));
            spec.audioCodec = AudioCodecTag(r_.format_.audio);
            spec.audioRate = AudioRateTag(r_.format_.audio);
            spec.ipAddress = r_.format_.cameraAddress;
            spec.serial = r_.format_.serial;
            spec.variants.noRecords = mpeg4;  // the stream carries the camera's records as user data
            series_ = std::make_unique<series::LiveSeriesWriter>(spec);
            if (mpeg4) series_->SetStreamHeaders(headers_);
            width_ = size.width;
            height_ = size.height;
        }
        if (!series_->AddPicture(frame, ms)) {
            failed_ = true;
            error_ = series_->Error();
        }
    }

    void Close() {
        if (!series_) return;
        if (!series_->Finish() && error_.empty()) {
            failed_ = true;
            error_ = series_->Error();
        }
        written_ += series_->Pictures();
        audioWritten_ += series_->AudioBytes();
        paths_.insert(paths_.end(), series_->Paths().begin(), series_->Paths().end());
        nextNumber_ = r_.firstNumber_ + static_cast<int>(paths_.size());
        series_.reset();
    }

    // The camera's time of a picture; without a readable one, the last one advanced by the time that
    // passed since (or the clock of this machine for the first picture).
    int64_t CameraMs(std::string_view text, uint64_t receivedMs) {
        int64_t ms = 0;
        if (!series::ParseCameraTimeText(text, ms)) {
            ms = haveTime_ ? lastMs_ + static_cast<int64_t>(receivedMs - lastReceivedMs_) : WallMs();
        }
        haveTime_ = true;
        lastMs_ = ms;
        lastReceivedMs_ = receivedMs;
        return ms;
    }

    // A stream without pictures must not hold memory without bound.
    void Bound() {
        if (pending_.size() > StreamRecorder::kQueueBytes) Gap();
    }

    const StreamRecorder& r_;
    std::unique_ptr<series::LiveSeriesWriter> series_;
    uint32_t width_ = 0, height_ = 0;
    int nextNumber_;
    std::vector<std::string> paths_;
    std::vector<uint8_t> headers_, pending_;
    bool synced_ = false;
    bool failed_ = false;
    std::string error_;
    bool haveTime_ = false;
    int64_t lastMs_ = 0;
    uint64_t lastReceivedMs_ = 0;
    uint64_t received_ = 0, written_ = 0, skipped_ = 0, audioWritten_ = 0;
};

StreamRecorder::StreamRecorder(std::string path, RecordingFormat format) : format_(std::move(format)) {
    const std::size_t slash = path.find_last_of('/');
    directory_ = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) {
        std::string extension = name.substr(dot + 1);
        for (char& c : extension) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        if (extension == "JPF" || extension == "M4F") name.resize(dot);
    }
    if (name.size() >= 2 && IsDigit(name[name.size() - 2]) && IsDigit(name.back())) {
        firstNumber_ = (name[name.size() - 2] - '0') * 10 + (name.back() - '0');
        name.resize(name.size() - 2);
    }
    prefix_ = name;
}

StreamRecorder::~StreamRecorder() {
    (void)Finish();
}

std::string StreamRecorder::FirstPath() const {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%02d", firstNumber_);
    return directory_ + "/" + prefix_ + digits + (format_.codec == ImageCodec::kMpeg4 ? ".m4f" : ".jpf");
}

bool StreamRecorder::Start(std::string* error) {
    struct stat info {};
    if (::stat(directory_.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        *error = directory_ + ": no such directory";
        return false;
    }
    if (format_.codec != ImageCodec::kMotionJpeg && format_.codec != ImageCodec::kMpeg4) {
        *error = "the camera sends no Motion JPEG or MPEG-4 pictures";
        return false;
    }
    writer_ = std::make_unique<Writer>(*this);
    try {
        thread_ = std::thread([this] { WriterLoop(); });
    } catch (const std::system_error&) {
        writer_.reset();
        *error = "cannot start the recorder's thread";
        return false;
    }
    return true;
}

void StreamRecorder::Push(ItemKind kind, std::span<const uint8_t> bytes, std::string_view cameraTime) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (closed_) return;
        if (kind == ItemKind::kAudio) audioReceived_ += bytes.size();
        if (kind == ItemKind::kJpeg) ++jpegReceived_;
        if (queuedBytes_ + bytes.size() > kQueueBytes) {
            ++droppedItems_;
            // Lost stream bytes break the MPEG-4 stream: the writer starts over at the next I-VOP.
            if (kind == ItemKind::kMpeg4Bytes) gapPending_ = true;
            return;
        }
        if (gapPending_ && kind == ItemKind::kMpeg4Bytes) {
            queue_.push_back(Item{ItemKind::kGap, {}, {}, 0});
            gapPending_ = false;
        }
        queue_.push_back(Item{kind, std::vector<uint8_t>(bytes.begin(), bytes.end()), std::string(cameraTime),
                              SteadyMs()});
        queuedBytes_ += bytes.size();
    }
    signal_.notify_one();
}

void StreamRecorder::OnJpegPicture(std::span<const uint8_t> jpeg, std::string_view cameraTime) {
    Push(ItemKind::kJpeg, jpeg, cameraTime);
}

void StreamRecorder::OnMpeg4Headers(std::span<const uint8_t> headers) {
    Push(ItemKind::kMpeg4Headers, headers, {});
}

void StreamRecorder::OnMpeg4Bytes(std::span<const uint8_t> bytes) {
    Push(ItemKind::kMpeg4Bytes, bytes, {});
}

void StreamRecorder::OnAudio(std::span<const uint8_t> codes) {
    Push(ItemKind::kAudio, codes, {});
}

void StreamRecorder::WriterLoop() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        signal_.wait(hold, [this] { return closed_ || !queue_.empty(); });
        if (queue_.empty()) break;  // closed and everything written
        Item item = std::move(queue_.front());
        queue_.pop_front();
        queuedBytes_ -= item.bytes.size();
        hold.unlock();
        switch (item.kind) {
            case ItemKind::kJpeg:
                writer_->Jpeg(item);
                break;
            case ItemKind::kMpeg4Headers:
                writer_->Mpeg4Headers(item);
                break;
            case ItemKind::kMpeg4Bytes:
                writer_->Mpeg4Bytes(item);
                break;
            case ItemKind::kAudio:
                writer_->Audio(item);
                break;
            case ItemKind::kGap:
                writer_->Gap();
                break;
        }
        hold.lock();
    }
}

RecordingSummary StreamRecorder::Finish() {
    if (finished_) return summary_;
    finished_ = true;
    {
        std::lock_guard<std::mutex> hold(lock_);
        closed_ = true;
    }
    signal_.notify_one();
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> hold(lock_);
    summary_.droppedItems = droppedItems_;
    summary_.audioBytesReceived = audioReceived_;
    summary_.picturesReceived = jpegReceived_;
    if (writer_) writer_->Finish(summary_);
    writer_.reset();
    return summary_;
}

}  // namespace ocuview
