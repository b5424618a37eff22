// ByteStream: the seekable, read-only byte source that the recorded-file parser and the unit reader
// work against, with a file implementation (FileStream) and an in-memory one (MemoryStream, for tests,
// the fuzz target and data already in memory).
//
// Positions and sizes are 64-bit; a stream is never longer than FileStream::kMaxFileSize anyway.
// A stream is not locked: the file manager reads chunk data from one thread only.
#ifndef REELDECK_CORE_BYTE_STREAM_H
#define REELDECK_CORE_BYTE_STREAM_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace reeldeck {

class ByteStream {
  public:
    virtual ~ByteStream() = default;
    // The stream's length in bytes.
    virtual int64_t Size() const = 0;
    // The current position.
    virtual int64_t Tell() const = 0;
    // Moves to `position`; 0 (and no move) unless 0 <= position < Size().
    virtual int Seek(int64_t position) = 0;
    // Seek(Tell() + count).
    virtual int Skip(int64_t count) = 0;
    // Reads min(count, Size() - Tell()) bytes into `buffer` and advances by the bytes read, which go to
    // `bytesRead`. 1 on success, 0 on failure (bytesRead then 0).
    virtual int Read(void* buffer, int64_t count, int64_t& bytesRead) = 0;
    // None of the streams here can be written: always 0.
    virtual int Write(const void* buffer, int64_t count, int64_t& bytesWritten) = 0;

    ByteStream() = default;
    ByteStream(const ByteStream&) = delete;
    ByteStream& operator=(const ByteStream&) = delete;
};

// Common position handling: Seek, Skip and the clamp of a read to the stream's end.
class PositionedStream : public ByteStream {
  public:
    int64_t Tell() const override { return position_; }
    int Seek(int64_t position) override;
    int Skip(int64_t count) override;
    int Write(const void* buffer, int64_t count, int64_t& bytesWritten) override;

  protected:
    // The number of bytes a Read of `count` may deliver from the current position (0 when none).
    int64_t Readable(int64_t count) const;
    int64_t position_ = 0;
};

// A recorded file, opened read-only. While open it holds a shared advisory lock, so a writer that takes
// the exclusive lock (the series writer does) cannot change it under the reader and the reader never
// sees a file that is still being written.
class FileStream final : public PositionedStream {
  public:
    // Files must be shorter than this (0x79999999 bytes); anything larger is refused at Open.
    static constexpr int64_t kMaxFileSize = 0x79999999;

    FileStream() = default;
    ~FileStream() override;

    // Opens an existing regular file. 1 on success; 0 when it does not exist, is not a regular file
    // (a directory, a pipe, a device), is locked by a writer or is kMaxFileSize bytes or longer.
    int Open(const std::string& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    int64_t Size() const override { return size_; }
    int Read(void* buffer, int64_t count, int64_t& bytesRead) override;

  private:
    int fd_ = -1;
    int64_t size_ = 0;
};

// A stream over bytes it owns.
class MemoryStream final : public PositionedStream {
  public:
    explicit MemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    MemoryStream(const void* data, std::size_t size);

    int64_t Size() const override { return static_cast<int64_t>(bytes_.size()); }
    int Read(void* buffer, int64_t count, int64_t& bytesRead) override;

  private:
    std::vector<uint8_t> bytes_;
};

// Reads exactly `count` bytes; false on a failed or short read.
bool ReadExactly(ByteStream& stream, void* buffer, int64_t count);

}  // namespace reeldeck

#endif
