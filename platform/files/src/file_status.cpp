#include "platform/file_status.h"

#include <cstring>

namespace platform {

std::string SystemReason(int error) {
    char buffer[256];
    // The GNU strerror_r returns the text, either in `buffer` or a static string.
    return ::strerror_r(error, buffer, sizeof buffer);
}

}  // namespace platform
