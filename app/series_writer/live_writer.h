// Writing a series while its pictures and audio arrive (a live recording). Each file is written beside its
// place and renamed into it once it is whole (its index written, its sizes patched), so a reader never
// sees half a file. A file that would grow past the file limit ends there and the series goes on with the
// next number (MPEG-4: at the next I-VOP). Pictures are stored as given; for JPEG the camera's records are
// added with the picture's camera time unless spec.variants.noRecords (a stream that carries its own records,
// MPEG-4's user data).
//
// Not thread-safe: one thread writes (the recorder's writer thread).
#ifndef REELDECK_SERIES_WRITER_LIVE_WRITER_H
#define REELDECK_SERIES_WRITER_LIVE_WRITER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "series_writer/file_layout.h"
#include "series_writer/series_writer.h"

namespace platform {
class OutputFile;
}

namespace reeldeck::series {

class LiveSeriesWriter {
  public:
    // Far below the reader's limit of 2,040,109,465 bytes per file.
    static constexpr uint64_t kDefaultFileLimit = uint64_t{1} << 30;

    // `spec` as for WriteSeries (fileCount is not used). An empty spec.dateTime becomes the first
    // picture's camera time, and spec.startTimeMs that time (the JPEG time stamps count from it).
    explicit LiveSeriesWriter(SeriesSpec spec, uint64_t fileLimit = kDefaultFileLimit);
    ~LiveSeriesWriter();  // drops a file that Finish did not put in place
    LiveSeriesWriter(const LiveSeriesWriter&) = delete;
    LiveSeriesWriter& operator=(const LiveSeriesWriter&) = delete;

    // One picture and its camera time (milliseconds since 1970, UTC). The audio added since the previous
    // picture is written first, so it follows that picture in the file (it leads a file's first picture).
    [[nodiscard]] bool AddPicture(const Frame& frame, int64_t cameraMs);
    // MPEG-4: the stream's headers (sequence, object, layer). They are written in front of each file's
    // first picture that carries no layer header of its own, and a new file begins only at an I-VOP, so
    // every file of the series opens as a playable stream.
    void SetStreamHeaders(std::vector<uint8_t> headers) { headers_ = std::move(headers); }
    // Raw code words, held until the next picture or Finish; callers give whole codec frames.
    void AddAudio(const uint8_t* data, std::size_t size);
    // Writes the audio held, the index and the sizes, and puts the file in place. Also after a failure:
    // then nothing more is written and the result is false.
    [[nodiscard]] bool Finish();

    [[nodiscard]] const std::string& Error() const { return error_; }
    // The files put in place, in series order.
    [[nodiscard]] const std::vector<std::string>& Paths() const { return paths_; }
    [[nodiscard]] uint64_t Pictures() const { return pictures_; }
    [[nodiscard]] uint64_t AudioBytes() const { return audioBytes_; }

  private:
    bool OpenFile();
    bool CloseFile();
    bool PutChunk(uint32_t chunkTag, const uint8_t* data, std::size_t size);
    bool FlushAudio();
    bool Fail(std::string message);

    SeriesSpec spec_;
    uint64_t fileLimit_;
    std::unique_ptr<platform::OutputFile> out_;
    int number_;               // series number of the open (or next) file
    uint64_t fileBytes_ = 0;   // bytes of the open file
    layout::FileStart start_;  // of the open file
    std::vector<layout::IndexEntry> index_;
    uint64_t picturesInFile_ = 0;
    std::vector<uint8_t> audio_;  // added since the last picture
    std::vector<uint8_t> headers_;
    bool started_ = false;  // the first picture has come
    bool failed_ = false;
    std::string error_;
    std::vector<std::string> paths_;
    uint64_t pictures_ = 0, audioBytes_ = 0;
};

}  // namespace reeldeck::series

#endif
