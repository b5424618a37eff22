#include "platform/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace platform {
namespace {

// Reads go to the system in pieces of at most this many bytes, so that a stream without end is noticed
// at the caller's limit rather than after the memory is gone.
constexpr std::size_t kPieceBytes = 1 << 20;

const char* KindText(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// Whether `mode` may be read as `kind` wants; *why says what it is otherwise.
bool Acceptable(mode_t mode, InputKind kind, std::string* why) {
    if (S_ISREG(mode)) return true;
    if (kind == InputKind::kFileOrStream && (S_ISCHR(mode) || S_ISFIFO(mode) || S_ISSOCK(mode))) return true;
    *why = std::string("is ") + KindText(mode) + ", not a regular file";
    return false;
}

}  // namespace

InputFile::~InputFile() {
    if (fd_ >= 0) ::close(fd_);
}

FileStatus InputFile::Failed(FileStatus status, std::string message) {
    error_ = path_ + ": " + message;
    return status;
}

FileStatus InputFile::Open(const std::string& path, InputKind kind) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    path_ = path;
    error_.clear();
    // Non-blocking so that a FIFO without a writer cannot hold the open; cleared once the kind is known.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return Failed(FileStatus::kOpenFailed, SystemReason(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int e = errno;
        ::close(fd);
        return Failed(FileStatus::kOpenFailed, SystemReason(e));
    }
    std::string why;
    if (!Acceptable(st.st_mode, kind, &why)) {
        ::close(fd);
        return Failed(FileStatus::kNotRegular, why);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int e = errno;
        ::close(fd);
        return Failed(FileStatus::kOpenFailed, SystemReason(e));
    }
    fd_ = fd;
    regular_ = S_ISREG(st.st_mode);
    size_ = regular_ ? static_cast<uint64_t>(st.st_size) : 0;
    id_ = {st.st_dev, st.st_ino};
    return FileStatus::kOk;
}

FileStatus InputFile::Read(void* buffer, std::size_t capacity, std::size_t* got) {
    *got = 0;
    if (fd_ < 0) return Failed(FileStatus::kReadFailed, "not open");
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, std::min(capacity, kPieceBytes));
        if (n >= 0) {
            *got = static_cast<std::size_t>(n);
            return FileStatus::kOk;
        }
        if (errno != EINTR) return Failed(FileStatus::kReadFailed, "cannot read: " + SystemReason(errno));
    }
}

FileStatus InputFile::ReadAll(std::size_t maxBytes, std::vector<uint8_t>* out) {
    out->clear();
    auto tooLarge = [&] {
        out->clear();
        out->shrink_to_fit();
        return Failed(FileStatus::kTooLarge,
                      "larger than the " + std::to_string(maxBytes) + " bytes this command reads");
    };
    if (regular_) {
        if (size_ > maxBytes) {
            error_ = path_ + ": " + std::to_string(size_) + " bytes, more than the " +
                     std::to_string(maxBytes) + " this command reads";
            return FileStatus::kTooLarge;
        }
        // Room for the file and the piece that finds its end, so that the end costs no reallocation.
        const auto size = static_cast<std::size_t>(size_);
        out->reserve(size + std::min(kPieceBytes, maxBytes - size + 1));
    }
    for (;;) {
        // One byte past the limit tells a file that grew, or a stream, that is too large.
        const std::size_t room = maxBytes - out->size() + 1;
        const std::size_t piece = std::min(room, kPieceBytes);
        const std::size_t at = out->size();
        out->resize(at + piece);
        std::size_t got = 0;
        const FileStatus status = Read(out->data() + at, piece, &got);
        out->resize(at + got);
        if (status != FileStatus::kOk) {
            out->clear();
            return status;
        }
        if (got == 0) return FileStatus::kOk;
        if (out->size() > maxBytes) return tooLarge();
    }
}

FileStatus ReadFile(const std::string& path, std::size_t maxBytes, std::vector<uint8_t>* out,
                    std::string* error, InputKind kind) {
    InputFile file;
    FileStatus status = file.Open(path, kind);
    if (status == FileStatus::kOk) status = file.ReadAll(maxBytes, out);
    if (status != FileStatus::kOk) *error = file.Error();
    return status;
}

FileStatus CheckInput(const std::string& path, std::string* error, InputKind kind) {
    InputFile file;
    const FileStatus status = file.Open(path, kind);
    if (status != FileStatus::kOk) *error = file.Error();
    return status;
}

}  // namespace platform
