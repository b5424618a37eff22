// Reading an input named by the user: a regular file unless the caller means to read a stream, its size
// checked against the caller's limit before anything is read, read in bounded pieces, and every failure
// a message with the system's reason (never an exception).
#ifndef PLATFORM_INPUT_FILE_H
#define PLATFORM_INPUT_FILE_H

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_status.h"

namespace platform {

enum class InputKind {
    kRegularFile,   // directories, devices, FIFOs and sockets are refused
    kFileOrStream,  // also character devices, FIFOs and sockets (still bounded by the caller's limit)
};

// The identity of a file on this system, for telling whether two names are one file.
struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileId&) const = default;
};

class InputFile {
  public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    FileStatus Open(const std::string& path, InputKind kind = InputKind::kRegularFile);
    // Reads up to `capacity` bytes; *got is 0 at the end of the input.
    FileStatus Read(void* buffer, std::size_t capacity, std::size_t* got);
    // Reads what is left into *out, refusing (before reading, for a regular file) more than maxBytes.
    FileStatus ReadAll(std::size_t maxBytes, std::vector<uint8_t>* out);

    bool IsOpen() const { return fd_ >= 0; }
    bool IsRegular() const { return regular_; }
    uint64_t Size() const { return size_; }  // of a regular file when opened; 0 for a stream
    FileId Id() const { return id_; }
    const std::string& Path() const { return path_; }
    const std::string& Error() const { return error_; }

  private:
    FileStatus Failed(FileStatus status, std::string message);

    int fd_ = -1;
    bool regular_ = false;
    uint64_t size_ = 0;
    FileId id_;
    std::string path_;
    std::string error_;
};

// The whole of a file in one call: Open and ReadAll. On failure *error holds the message.
FileStatus ReadFile(const std::string& path, std::size_t maxBytes, std::vector<uint8_t>* out,
                    std::string* error, InputKind kind = InputKind::kRegularFile);

// Checks that `path` names an existing regular file (or, with kFileOrStream, a stream) without reading it;
// for programs whose readers open the file themselves. On failure *error holds the message.
FileStatus CheckInput(const std::string& path, std::string* error, InputKind kind = InputKind::kRegularFile);

}  // namespace platform

#endif
