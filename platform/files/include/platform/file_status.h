// The one status of the file helpers. Every failure also leaves a message for the user in the helper's
// Error(): the path, what went wrong, and the system's reason where the system gave one.
#ifndef PLATFORM_FILE_STATUS_H
#define PLATFORM_FILE_STATUS_H

#include <string>

namespace platform {

enum class [[nodiscard]] FileStatus{
    kOk,
    kOpenFailed,   // the system refused to open or create the file
    kNotRegular,   // a directory, device, FIFO or socket where a regular file is needed
    kTooLarge,     // more bytes than the caller reads (or than the format can hold)
    kReadFailed,   // a read failed
    kWriteFailed,  // a write, the close or the rename into place failed
    kSameAsInput,  // the output is one of the inputs (same device and inode)
};

// The system's text for errno value `error` ("No such file or directory"); thread-safe.
std::string SystemReason(int error);

}  // namespace platform

#endif
