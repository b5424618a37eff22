#include "series_writer/live_writer.h"

#include <utility>

#include "platform/output_file.h"
#include "series_writer/stream_split.h"
#include "vello/mpeg4/start_code.h"

namespace reeldeck::series {

namespace {

// Chunk header (tag and size) and the pad byte of an odd size.
uint64_t ChunkBytes(std::size_t size) {
    return 8 + static_cast<uint64_t>(size) + (size & 1);
}

}  // namespace

LiveSeriesWriter::LiveSeriesWriter(SeriesSpec spec, uint64_t fileLimit)
    : spec_(std::move(spec)), fileLimit_(fileLimit), number_(spec_.firstNumber) {}

LiveSeriesWriter::~LiveSeriesWriter() = default;

bool LiveSeriesWriter::Fail(std::string message) {
    if (!failed_) error_ = std::move(message);
    failed_ = true;
    if (out_) out_->Discard();
    out_.reset();
    return false;
}

bool LiveSeriesWriter::OpenFile() {
    if (number_ < 0 || number_ > 99) return Fail("the series numbers must lie in 0 to 99");
    const std::string path = layout::SeriesFilePath(spec_, number_);
    if (layout::HeldByReader(path)) return Fail(path + ": in use by a reader");
    out_ = std::make_unique<platform::OutputFile>();
    if (out_->Open(path) != platform::FileStatus::kOk) return Fail(out_->Error());
    layout::Bytes head;
    start_ = layout::AppendFileStart(head, spec_, kMainHeaderSize, spec_.audioCodec != 0);
    if (out_->Write(head.data(), head.size()) != platform::FileStatus::kOk) return Fail(out_->Error());
    fileBytes_ = head.size();
    index_.clear();
    picturesInFile_ = 0;
    return true;
}

bool LiveSeriesWriter::CloseFile() {
    if (!out_) return !failed_;
    layout::Bytes tail;
    layout::AppendIndex(tail, index_);
    if (out_->Write(tail.data(), tail.size()) != platform::FileStatus::kOk) return Fail(out_->Error());
    const uint64_t total = fileBytes_ + tail.size();
    uint8_t size[4];
    StoreLe32(size, static_cast<uint32_t>(fileBytes_ - start_.moviAt));
    if (out_->WriteAt(start_.moviSizeAt, size, 4) != platform::FileStatus::kOk) return Fail(out_->Error());
    StoreLe32(size, static_cast<uint32_t>(total - 8));
    if (out_->WriteAt(4, size, 4) != platform::FileStatus::kOk) return Fail(out_->Error());
    if (out_->Commit() != platform::FileStatus::kOk) return Fail(out_->Error());
    paths_.push_back(out_->Path());
    out_.reset();
    ++number_;
    return true;
}

bool LiveSeriesWriter::PutChunk(uint32_t chunkTag, const uint8_t* data, std::size_t size) {
    index_.push_back(
        {chunkTag, static_cast<uint32_t>(fileBytes_ - (start_.moviAt + 4)), static_cast<uint32_t>(size)});
    uint8_t header[8];
    StoreLe32(header, chunkTag);
    StoreLe32(header + 4, static_cast<uint32_t>(size));
    const uint8_t pad = 0;
    if (out_->Write(header, 8) != platform::FileStatus::kOk ||
        out_->Write(data, size) != platform::FileStatus::kOk ||
        ((size & 1) != 0 && out_->Write(&pad, 1) != platform::FileStatus::kOk))
        return Fail(out_->Error());
    fileBytes_ += ChunkBytes(size);
    return true;
}

bool LiveSeriesWriter::FlushAudio() {
    if (audio_.empty()) return true;
    if (!PutChunk(tag::kAudioChunk, audio_.data(), audio_.size())) return false;
    audioBytes_ += audio_.size();
    audio_.clear();
    return true;
}

bool LiveSeriesWriter::AddPicture(const Frame& frame, int64_t cameraMs) {
    if (failed_) return false;
    if (!started_) {
        started_ = true;
        spec_.startTimeMs = cameraMs;
        if (spec_.dateTime.empty()) spec_.dateTime = CameraTimeText(cameraMs).substr(0, 19);
    }
    layout::Bytes picture = layout::WithRecords(spec_, frame, cameraMs);
    const bool mpeg4 = spec_.codec == tag::kMpeg4;
    // Bytes the open file would end with: what it holds, the audio held, this picture and the index.
    const uint64_t audioBytes = audio_.empty() ? 0 : ChunkBytes(audio_.size());
    const uint64_t index = (index_.size() + 2) * kIndexEntrySize + 8;
    const bool roll =
        out_ && picturesInFile_ > 0 && (!mpeg4 || IsIntraVop(picture)) &&
        fileBytes_ + audioBytes + ChunkBytes(picture.size() + headers_.size()) + index > fileLimit_;
    // The audio held belongs behind the previous picture, in its file; when even it would take that file
    // past the limit it leads the next one instead.
    if (out_ && (!roll || fileBytes_ + audioBytes + index - kIndexEntrySize <= fileLimit_) && !FlushAudio())
        return false;
    if (roll && !CloseFile()) return false;
    if (!out_ && !OpenFile()) return false;
    if (mpeg4 && picturesInFile_ == 0 && !headers_.empty() &&
        vello::mpeg4::FindStartCode(picture, 0x20, 0x2F) == vello::mpeg4::kNoStartCode)
        picture.insert(picture.begin(), headers_.begin(), headers_.end());
    if (!FlushAudio()) return false;  // audio that came before the first picture leads it
    if (!PutChunk(tag::kVideoChunk, picture.data(), picture.size())) return false;
    ++picturesInFile_;
    ++pictures_;
    return true;
}

void LiveSeriesWriter::AddAudio(const uint8_t* data, std::size_t size) {
    if (failed_ || spec_.audioCodec == 0) return;
    audio_.insert(audio_.end(), data, data + size);
}

bool LiveSeriesWriter::Finish() {
    if (failed_) return false;
    if (out_ && !FlushAudio()) return false;
    audio_.clear();
    return CloseFile();
}

}  // namespace reeldeck::series
