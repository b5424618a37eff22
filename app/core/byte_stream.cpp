#include "core/byte_stream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace reeldeck {

int PositionedStream::Seek(int64_t position) {
    if (position < 0 || position >= Size()) return 0;
    position_ = position;
    return 1;
}

int PositionedStream::Skip(int64_t count) {
    // Sizes are below 2^31, so a sum that would overflow is out of range anyway.
    if (count > Size() || count < -Size()) return 0;
    return Seek(position_ + count);
}

int PositionedStream::Write(const void*, int64_t, int64_t& bytesWritten) {
    bytesWritten = 0;
    return 0;
}

int64_t PositionedStream::Readable(int64_t count) const {
    if (count <= 0 || position_ >= Size()) return 0;
    return std::min(count, Size() - position_);
}

FileStream::~FileStream() {
    Close();
}

int FileStream::Open(const std::string& path) {
    Close();
    // O_NONBLOCK so that opening a FIFO cannot hang; it is refused below as not a regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return 0;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 || st.st_size >= kMaxFileSize ||
        ::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        ::close(fd);
        return 0;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    fd_ = fd;
    size_ = st.st_size;
    position_ = 0;
    return 1;
}

void FileStream::Close() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the advisory lock
    fd_ = -1;
    size_ = 0;
    position_ = 0;
}

int FileStream::Read(void* buffer, int64_t count, int64_t& bytesRead) {
    bytesRead = 0;
    if (fd_ < 0 || count < 0 || (count > 0 && buffer == nullptr)) return 0;
    const int64_t want = Readable(count);
    auto* out = static_cast<char*>(buffer);
    while (bytesRead < want) {
        const ssize_t got = ::pread(fd_, out + bytesRead, static_cast<std::size_t>(want - bytesRead),
                                    static_cast<off_t>(position_ + bytesRead));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;  // an error, or the file shrank under us
        bytesRead += got;
    }
    position_ += bytesRead;
    return bytesRead == want ? 1 : 0;
}

MemoryStream::MemoryStream(const void* data, std::size_t size)
    : bytes_(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size) {}

int MemoryStream::Read(void* buffer, int64_t count, int64_t& bytesRead) {
    bytesRead = 0;
    if (count < 0 || (count > 0 && buffer == nullptr)) return 0;
    const int64_t want = Readable(count);
    if (want > 0) std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(want));
    bytesRead = want;
    position_ += want;
    return 1;
}

bool ReadExactly(ByteStream& stream, void* buffer, int64_t count) {
    int64_t got = 0;
    return stream.Read(buffer, count, got) == 1 && got == count;
}

}  // namespace reeldeck
