#include "platform/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

// Writes are gathered up to this many bytes, so that row-by-row writers cost few system calls.
constexpr std::size_t kBufferBytes = 1 << 16;

std::atomic<unsigned> g_temporaryCounter{0};

// Writes all of `size` bytes at the file's position (or at `offset` when it is not negative); false with
// errno set when the system refuses.
bool WriteAll(int fd, const uint8_t* data, std::size_t size, int64_t offset = -1) {
    while (size > 0) {
        const ssize_t n = offset < 0 ? ::write(fd, data, size) : ::pwrite(fd, data, size, offset);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        if (offset >= 0) offset += n;
    }
    return true;
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

OutputFile::~OutputFile() {
    Discard();
}

FileStatus OutputFile::Failed(FileStatus status, std::string message) {
    error_ = path_ + ": " + message;
    Discard();
    return status;
}

void OutputFile::Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
    buffer_.clear();
}

FileStatus OutputFile::Open(const std::string& path, std::span<const std::string> inputs) {
    Discard();
    path_ = path;
    target_ = path;
    error_.clear();
    written_ = 0;
    direct_ = false;
    if (path.empty()) return Failed(FileStatus::kOpenFailed, "empty file name");

    struct stat target {};
    const bool exists = ::stat(path.c_str(), &target) == 0;
    if (!exists && errno != ENOENT) return Failed(FileStatus::kOpenFailed, SystemReason(errno));
    if (exists) {
        for (const std::string& input : inputs) {
            struct stat in {};
            if (::stat(input.c_str(), &in) == 0 && in.st_dev == target.st_dev && in.st_ino == target.st_ino)
                return Failed(FileStatus::kSameAsInput, "is the input " + input + "; name another output");
        }
        if (S_ISDIR(target.st_mode)) return Failed(FileStatus::kNotRegular, "is a directory");
        if (!S_ISREG(target.st_mode)) {
            // A device or FIFO cannot be replaced; it is written where it is.
            fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
            if (fd_ < 0) return Failed(FileStatus::kOpenFailed, SystemReason(errno));
            direct_ = true;
            buffer_.reserve(kBufferBytes);
            return FileStatus::kOk;
        }
        // Replace the file a symbolic link names, not the link.
        struct stat link {};
        if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
            char* resolved = ::realpath(path.c_str(), nullptr);
            if (resolved == nullptr) return Failed(FileStatus::kOpenFailed, SystemReason(errno));
            target_ = resolved;
            std::free(resolved);
        }
    }

    const std::string prefix =
        DirectoryOf(target_) + "/." + BaseOf(target_) + ".tmp-" + std::to_string(::getpid());
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        temporary_ = prefix + "-" + std::to_string(g_temporaryCounter.fetch_add(1));
        // 0666 less the umask, as any newly created output; an existing file's mode is kept below.
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) {
        const int e = errno;
        temporary_.clear();
        return Failed(FileStatus::kOpenFailed,
                      "cannot create a file in " + DirectoryOf(target_) + ": " + SystemReason(e));
    }
    if (exists && ::fchmod(fd_, target.st_mode & 07777) != 0)
        return Failed(FileStatus::kOpenFailed, "cannot keep its permissions: " + SystemReason(errno));
    buffer_.reserve(kBufferBytes);
    return FileStatus::kOk;
}

FileStatus OutputFile::Flush() {
    if (buffer_.empty()) return FileStatus::kOk;
    if (!WriteAll(fd_, buffer_.data(), buffer_.size()))
        return Failed(FileStatus::kWriteFailed, "cannot write: " + SystemReason(errno));
    buffer_.clear();
    return FileStatus::kOk;
}

FileStatus OutputFile::Write(const void* data, std::size_t size) {
    if (fd_ < 0) return Failed(FileStatus::kWriteFailed, "not open");
    const auto* bytes = static_cast<const uint8_t*>(data);
    written_ += size;
    if (buffer_.size() + size <= kBufferBytes) {
        buffer_.insert(buffer_.end(), bytes, bytes + size);
        return FileStatus::kOk;
    }
    if (const FileStatus s = Flush(); s != FileStatus::kOk) return s;
    if (size < kBufferBytes) {
        buffer_.insert(buffer_.end(), bytes, bytes + size);
        return FileStatus::kOk;
    }
    if (!WriteAll(fd_, bytes, size))
        return Failed(FileStatus::kWriteFailed, "cannot write: " + SystemReason(errno));
    return FileStatus::kOk;
}

FileStatus OutputFile::WriteAt(uint64_t offset, const void* data, std::size_t size) {
    if (fd_ < 0) return Failed(FileStatus::kWriteFailed, "not open");
    if (offset > static_cast<uint64_t>(INT64_MAX) || size > written_ || offset > written_ - size)
        return Failed(FileStatus::kWriteFailed, "cannot write past what was written");
    if (const FileStatus s = Flush(); s != FileStatus::kOk) return s;
    if (!WriteAll(fd_, static_cast<const uint8_t*>(data), size, static_cast<int64_t>(offset)))
        return Failed(FileStatus::kWriteFailed, "cannot write: " + SystemReason(errno));
    return FileStatus::kOk;
}

FileStatus OutputFile::Commit() {
    if (fd_ < 0) return Failed(FileStatus::kWriteFailed, "not open");
    if (const FileStatus s = Flush(); s != FileStatus::kOk) return s;
    const int fd = fd_;
    fd_ = -1;
    // The close reports what delayed writes could not store (a full disk on a network file system).
    if (::close(fd) != 0) return Failed(FileStatus::kWriteFailed, "cannot write: " + SystemReason(errno));
    if (direct_) return FileStatus::kOk;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        return Failed(FileStatus::kWriteFailed, "cannot put the file in place: " + SystemReason(errno));
    temporary_.clear();
    return FileStatus::kOk;
}

FileStatus WriteFile(const std::string& path, std::span<const uint8_t> data, std::string* error,
                     std::span<const std::string> inputs) {
    OutputFile file;
    FileStatus status = file.Open(path, inputs);
    if (status == FileStatus::kOk) status = file.Write(data.data(), data.size());
    if (status == FileStatus::kOk) status = file.Commit();
    if (status != FileStatus::kOk) *error = file.Error();
    return status;
}

}  // namespace platform
