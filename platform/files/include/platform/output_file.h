// Writing an output named by the user so that a failure leaves nothing behind: the bytes go to a temporary
// file beside the target, every write and the close are checked, and only Commit() renames it into place,
// so the previous file stays until then. An output that is one of the command's inputs is refused.
//
// A target that exists and is a device or FIFO (/dev/null, /dev/full, a pipe) is written directly, with
// the same checks; a directory is refused. A symbolic link is followed: the file it names is replaced.
#ifndef PLATFORM_OUTPUT_FILE_H
#define PLATFORM_OUTPUT_FILE_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/file_status.h"

namespace platform {

class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile();  // without Commit() the temporary file is removed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // `inputs` are the files the command reads; the output may be none of them.
    FileStatus Open(const std::string& path, std::span<const std::string> inputs = {});
    FileStatus Write(const void* data, std::size_t size);
    // Overwrites bytes already written (a header whose sizes are known at the end); a file target only.
    FileStatus WriteAt(uint64_t offset, const void* data, std::size_t size);
    // Writes what is buffered, closes, and renames the file into place.
    FileStatus Commit();
    // Drops the output: the temporary file is removed and the target left as it was.
    void Discard();

    uint64_t Written() const { return written_; }
    const std::string& Path() const { return path_; }
    const std::string& Error() const { return error_; }

  private:
    FileStatus Flush();
    FileStatus Failed(FileStatus status, std::string message);

    int fd_ = -1;
    bool direct_ = false;    // a device or FIFO written in place
    std::string path_;       // as the caller named it (for messages)
    std::string target_;     // the file that is replaced (a symbolic link resolved)
    std::string temporary_;  // beside target_, until Commit()
    std::vector<uint8_t> buffer_;
    uint64_t written_ = 0;
    std::string error_;
};

// The whole of an output in one call. On failure *error holds the message and nothing was written.
FileStatus WriteFile(const std::string& path, std::span<const uint8_t> data, std::string* error,
                     std::span<const std::string> inputs = {});

}  // namespace platform

#endif
